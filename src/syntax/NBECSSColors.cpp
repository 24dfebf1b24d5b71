#include "NBECSSColors.h"

#include "NBEEmbeddedCSS.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <optional>

namespace {

struct NamedColor
{
    const char *name;
    quint32 rgb;
};

constexpr NamedColor kNamedColors[] = {
    {"aliceblue", 0xf0f8ff},
    {"antiquewhite", 0xfaebd7},
    {"aqua", 0x00ffff},
    {"aquamarine", 0x7fffd4},
    {"azure", 0xf0ffff},
    {"beige", 0xf5f5dc},
    {"bisque", 0xffe4c4},
    {"black", 0x000000},
    {"blanchedalmond", 0xffebcd},
    {"blue", 0x0000ff},
    {"blueviolet", 0x8a2be2},
    {"brown", 0xa52a2a},
    {"burlywood", 0xdeb887},
    {"cadetblue", 0x5f9ea0},
    {"chartreuse", 0x7fff00},
    {"chocolate", 0xd2691e},
    {"coral", 0xff7f50},
    {"cornflowerblue", 0x6495ed},
    {"cornsilk", 0xfff8dc},
    {"crimson", 0xdc143c},
    {"cyan", 0x00ffff},
    {"darkblue", 0x00008b},
    {"darkcyan", 0x008b8b},
    {"darkgoldenrod", 0xb8860b},
    {"darkgray", 0xa9a9a9},
    {"darkgreen", 0x006400},
    {"darkgrey", 0xa9a9a9},
    {"darkkhaki", 0xbdb76b},
    {"darkmagenta", 0x8b008b},
    {"darkolivegreen", 0x556b2f},
    {"darkorange", 0xff8c00},
    {"darkorchid", 0x9932cc},
    {"darkred", 0x8b0000},
    {"darksalmon", 0xe9967a},
    {"darkseagreen", 0x8fbc8f},
    {"darkslateblue", 0x483d8b},
    {"darkslategray", 0x2f4f4f},
    {"darkslategrey", 0x2f4f4f},
    {"darkturquoise", 0x00ced1},
    {"darkviolet", 0x9400d3},
    {"deeppink", 0xff1493},
    {"deepskyblue", 0x00bfff},
    {"dimgray", 0x696969},
    {"dimgrey", 0x696969},
    {"dodgerblue", 0x1e90ff},
    {"firebrick", 0xb22222},
    {"floralwhite", 0xfffaf0},
    {"forestgreen", 0x228b22},
    {"fuchsia", 0xff00ff},
    {"gainsboro", 0xdcdcdc},
    {"ghostwhite", 0xf8f8ff},
    {"gold", 0xffd700},
    {"goldenrod", 0xdaa520},
    {"gray", 0x808080},
    {"green", 0x008000},
    {"greenyellow", 0xadff2f},
    {"grey", 0x808080},
    {"honeydew", 0xf0fff0},
    {"hotpink", 0xff69b4},
    {"indianred", 0xcd5c5c},
    {"indigo", 0x4b0082},
    {"ivory", 0xfffff0},
    {"khaki", 0xf0e68c},
    {"lavender", 0xe6e6fa},
    {"lavenderblush", 0xfff0f5},
    {"lawngreen", 0x7cfc00},
    {"lemonchiffon", 0xfffacd},
    {"lightblue", 0xadd8e6},
    {"lightcoral", 0xf08080},
    {"lightcyan", 0xe0ffff},
    {"lightgoldenrodyellow", 0xfafad2},
    {"lightgray", 0xd3d3d3},
    {"lightgreen", 0x90ee90},
    {"lightgrey", 0xd3d3d3},
    {"lightpink", 0xffb6c1},
    {"lightsalmon", 0xffa07a},
    {"lightseagreen", 0x20b2aa},
    {"lightskyblue", 0x87cefa},
    {"lightslategray", 0x778899},
    {"lightslategrey", 0x778899},
    {"lightsteelblue", 0xb0c4de},
    {"lightyellow", 0xffffe0},
    {"lime", 0x00ff00},
    {"limegreen", 0x32cd32},
    {"linen", 0xfaf0e6},
    {"magenta", 0xff00ff},
    {"maroon", 0x800000},
    {"mediumaquamarine", 0x66cdaa},
    {"mediumblue", 0x0000cd},
    {"mediumorchid", 0xba55d3},
    {"mediumpurple", 0x9370db},
    {"mediumseagreen", 0x3cb371},
    {"mediumslateblue", 0x7b68ee},
    {"mediumspringgreen", 0x00fa9a},
    {"mediumturquoise", 0x48d1cc},
    {"mediumvioletred", 0xc71585},
    {"midnightblue", 0x191970},
    {"mintcream", 0xf5fffa},
    {"mistyrose", 0xffe4e1},
    {"moccasin", 0xffe4b5},
    {"navajowhite", 0xffdead},
    {"navy", 0x000080},
    {"oldlace", 0xfdf5e6},
    {"olive", 0x808000},
    {"olivedrab", 0x6b8e23},
    {"orange", 0xffa500},
    {"orangered", 0xff4500},
    {"orchid", 0xda70d6},
    {"palegoldenrod", 0xeee8aa},
    {"palegreen", 0x98fb98},
    {"paleturquoise", 0xafeeee},
    {"palevioletred", 0xdb7093},
    {"papayawhip", 0xffefd5},
    {"peachpuff", 0xffdab9},
    {"peru", 0xcd853f},
    {"pink", 0xffc0cb},
    {"plum", 0xdda0dd},
    {"powderblue", 0xb0e0e6},
    {"purple", 0x800080},
    {"rebeccapurple", 0x663399},
    {"red", 0xff0000},
    {"rosybrown", 0xbc8f8f},
    {"royalblue", 0x4169e1},
    {"saddlebrown", 0x8b4513},
    {"salmon", 0xfa8072},
    {"sandybrown", 0xf4a460},
    {"seagreen", 0x2e8b57},
    {"seashell", 0xfff5ee},
    {"sienna", 0xa0522d},
    {"silver", 0xc0c0c0},
    {"skyblue", 0x87ceeb},
    {"slateblue", 0x6a5acd},
    {"slategray", 0x708090},
    {"slategrey", 0x708090},
    {"snow", 0xfffafa},
    {"springgreen", 0x00ff7f},
    {"steelblue", 0x4682b4},
    {"tan", 0xd2b48c},
    {"teal", 0x008080},
    {"thistle", 0xd8bfd8},
    {"tomato", 0xff6347},
    {"turquoise", 0x40e0d0},
    {"violet", 0xee82ee},
    {"wheat", 0xf5deb3},
    {"white", 0xffffff},
    {"whitesmoke", 0xf5f5f5},
    {"yellow", 0xffff00},
    {"yellowgreen", 0x9acd32},
};

bool isHexDigit(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= '0' && u <= '9') || (u >= 'a' && u <= 'f') || (u >= 'A' && u <= 'F');
}

bool isAsciiLetter(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z');
}

bool isWordChar(QChar c)
{
    const char16_t u = c.unicode();
    return isAsciiLetter(c) || (u >= '0' && u <= '9') || u == '-';
}

// Colour components stay in 0...1; NaN (from "nan" in the text) counts as 0.
double unit(double value)
{
    if (std::isnan(value))
        return 0;
    return std::clamp(value, 0.0, 1.0);
}

// Numbers are read in the C locale whatever the user's locale is; a text that
// is no number, or is NaN, gives nothing.
std::optional<double> number(const QString &text)
{
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || std::isnan(value))
        return std::nullopt;
    return value;
}

QStringList components(const QString &arguments)
{
    static const QRegularExpression separators(QStringLiteral("[, /]+"));
    return arguments.split(separators, Qt::SkipEmptyParts);
}

double channel(const QString &component)
{
    if (component.endsWith(QLatin1Char('%')))
        return number(component.chopped(1)).value_or(0) / 100 * 255;
    return number(component).value_or(0);
}

double alpha(const QString &component)
{
    if (component.endsWith(QLatin1Char('%')))
        return unit(number(component.chopped(1)).value_or(0) / 100);
    return unit(number(component).value_or(1));
}

std::optional<QColor> parseHexString(const QString &digits)
{
    QString full = digits;
    if (digits.size() == 3 || digits.size() == 4) {
        full.clear();
        for (QChar c : digits)
            full += QString(2, c);
    }
    auto byte = [&](int index) {
        bool ok = false;
        const int value = full.mid(index * 2, 2).toInt(&ok, 16);
        return ok ? value / 255.0 : 0.0;
    };
    if (full.size() != 6 && full.size() != 8)
        return std::nullopt;
    return QColor::fromRgbF(byte(0), byte(1), byte(2), full.size() == 8 ? byte(3) : 1.0);
}

std::optional<QColor> parseRGB(const QString &arguments)
{
    const QStringList parts = components(arguments);
    if (parts.size() < 3)
        return std::nullopt;
    return QColor::fromRgbF(unit(channel(parts[0]) / 255), unit(channel(parts[1]) / 255),
                            unit(channel(parts[2]) / 255), parts.size() > 3 ? alpha(parts[3]) : 1);
}

double hueToChannel(double p, double q, double t)
{
    if (t < 0)
        t += 1;
    if (t > 1)
        t -= 1;
    if (t < 1.0 / 6)
        return p + (q - p) * 6 * t;
    if (t < 1.0 / 2)
        return q;
    if (t < 2.0 / 3)
        return p + (q - p) * (2.0 / 3 - t) * 6;
    return p;
}

QColor colorFromHSL(double h, double s, double l, double a)
{
    if (s == 0)
        return QColor::fromRgbF(l, l, l, a);
    const double q = l < 0.5 ? l * (1 + s) : l + s - l * s;
    const double p = 2 * l - q;
    return QColor::fromRgbF(unit(hueToChannel(p, q, h + 1.0 / 3)), unit(hueToChannel(p, q, h)),
                            unit(hueToChannel(p, q, h - 1.0 / 3)), a);
}

std::optional<QColor> parseHSL(const QString &arguments)
{
    const QStringList parts = components(arguments);
    if (parts.size() < 3)
        return std::nullopt;
    double hue = number(QString(parts[0]).remove(QStringLiteral("deg"))).value_or(0);
    hue = std::isfinite(hue) ? std::fmod(hue, 360) / 360 : 0;
    if (hue < 0)
        hue += 1;
    const double s = unit(number(QString(parts[1]).remove(QLatin1Char('%'))).value_or(0) / 100);
    const double l = unit(number(QString(parts[2]).remove(QLatin1Char('%'))).value_or(0) / 100);
    return colorFromHSL(hue, s, l, parts.size() > 3 ? alpha(parts[3]) : 1);
}

// Declaration values: after a ":" inside a block, up to ";" or "}".
QList<NBETextRange> valueRegions(const QString &text)
{
    QList<NBETextRange> regions;
    const qsizetype n = text.size();
    int depth = 0;
    qsizetype valueStart = -1;
    for (qsizetype i = 0; i < n;) {
        const QChar c = text[i];
        if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
            const qsizetype close = text.indexOf(c, i + 1);
            i = close < 0 ? n : close + 1;
            continue;
        }
        if (c == QLatin1Char('/') && i + 1 < n && text[i + 1] == QLatin1Char('*')) {
            const qsizetype close = text.indexOf(QStringLiteral("*/"), i + 2);
            i = close < 0 ? n : close + 2;
            continue;
        }
        if (c == QLatin1Char('{')) {
            ++depth;
            valueStart = -1;
        } else if (c == QLatin1Char(':')) {
            if (depth >= 1 && valueStart < 0)
                valueStart = i + 1;
        } else if (c == QLatin1Char(';')) {
            if (valueStart >= 0)
                regions.append({int(valueStart), int(i - valueStart)});
            valueStart = -1;
        } else if (c == QLatin1Char('}')) {
            if (valueStart >= 0)
                regions.append({int(valueStart), int(i - valueStart)});
            depth = std::max(depth - 1, 0);
            valueStart = -1;
        }
        ++i;
    }
    return regions;
}

void scanColors(const QString &text, NBETextRange region, QList<NBECSSColorsSwatch> &into)
{
    const qsizetype end = region.end();
    qsizetype i = region.location;
    // The first ")" at or after `closeFrom`, found once and reused: looking
    // for it anew after every "rgb(" is quadratic in a run of them.
    qsizetype closeFrom = i;
    qsizetype nextClose = -1;
    const auto closeAfter = [&](qsizetype from) {
        if (nextClose < from || closeFrom > from) {
            closeFrom = from;
            nextClose = QStringView(text).sliced(from, end - from).indexOf(u')');
            nextClose = nextClose < 0 ? end : from + nextClose;
        }
        return nextClose < end ? nextClose : -1;
    };
    while (i < end) {
        const QChar c = text[i];
        if (c == QLatin1Char('#')) {
            qsizetype j = i + 1;
            while (j < end && isHexDigit(text[j]))
                ++j;
            const qsizetype count = j - i - 1;
            if (count == 3 || count == 4 || count == 6 || count == 8) {
                if (const auto color = parseHexString(text.mid(i + 1, count))) {
                    into.append({{int(i), int(count + 1)}, *color});
                    i = j;
                    continue;
                }
            }
            ++i;
            continue;
        }
        if (!isAsciiLetter(c)) {
            ++i;
            continue;
        }
        qsizetype j = i;
        while (j < end && isWordChar(text[j]))
            ++j;
        const QString word = text.mid(i, j - i).toLower();
        const bool isFunction = word == QLatin1String("rgb") || word == QLatin1String("rgba") ||
                                word == QLatin1String("hsl") || word == QLatin1String("hsla");
        if (isFunction && j < end && text[j] == QLatin1Char('(')) {
            const qsizetype close = closeAfter(j + 1);
            if (close >= 0) {
                const QString arguments = text.mid(j + 1, close - j - 1);
                const auto color = word.startsWith(QLatin1String("rgb")) ? parseRGB(arguments)
                                                                         : parseHSL(arguments);
                if (color)
                    into.append({{int(i), int(close + 1 - i)}, *color});
                i = close + 1;
                continue;
            }
        }
        const auto named = NBECSSColors::namedColors().constFind(word);
        if (named != NBECSSColors::namedColors().cend())
            into.append({{int(i), int(j - i)}, QColor::fromRgb(QRgb(0xff000000u | *named))});
        i = j;
    }
}

struct HSL
{
    double h, s, l;
};

HSL hsl(double r, double g, double b)
{
    const double max = std::max({r, g, b});
    const double min = std::min({r, g, b});
    const double l = (max + min) / 2;
    if (max == min)
        return {0, 0, l};
    const double d = max - min;
    const double s = l > 0.5 ? d / (2 - max - min) : d / (max + min);
    double h;
    if (max == r)
        h = (g - b) / d + (g < b ? 6 : 0);
    else if (max == g)
        h = (b - r) / d + 2;
    else
        h = (r - g) / d + 4;
    return {h * 60, s, l};
}

QString trim(double value)
{
    QString text = QString::number(value, 'f', 2);
    static const QRegularExpression zeros(QStringLiteral("0+$"));
    static const QRegularExpression dot(QStringLiteral("\\.$"));
    return text.remove(zeros).remove(dot);
}

} // namespace

namespace NBECSSColors {

const QHash<QString, quint32> &namedColors()
{
    static const QHash<QString, quint32> table = [] {
        QHash<QString, quint32> result;
        for (const auto &entry : kNamedColors)
            result.insert(QString::fromLatin1(entry.name), entry.rgb);
        return result;
    }();
    return table;
}

QList<NBECSSColorsSwatch> swatches(const QString &text)
{
    QList<NBECSSColorsSwatch> result;
    for (const NBETextRange &region : valueRegions(text))
        scanColors(text, region, result);
    return result;
}

QList<NBECSSColorsSwatch> swatches(const QString &text, const std::optional<QString> &languageID)
{
    if (languageID == QLatin1String("css"))
        return swatches(text);
    if (languageID != QLatin1String("html"))
        return {};
    QList<NBECSSColorsSwatch> result;
    for (const NBETextRange &region : NBEEmbeddedCSS::styleRegions(text)) {
        for (NBECSSColorsSwatch swatch : swatches(text.mid(region.location, region.length))) {
            swatch.range.location += region.location;
            result.append(swatch);
        }
    }
    return result;
}

QString replacement(const QColor &color, const QString &original)
{
    QColor rgb = color.toRgb();
    if (!rgb.isValid())
        rgb = color;
    const double r = unit(rgb.redF());
    const double g = unit(rgb.greenF());
    const double b = unit(rgb.blueF());
    const double a = unit(rgb.alphaF());
    const long R = std::lround(r * 255);
    const long G = std::lround(g * 255);
    const long B = std::lround(b * 255);
    const QString lower = original.toLower();
    if (lower.startsWith(QLatin1String("rgb"))) {
        if (a >= 1)
            return QStringLiteral("rgb(%1, %2, %3)").arg(R).arg(G).arg(B);
        return QStringLiteral("rgba(%1, %2, %3, %4)").arg(R).arg(G).arg(B).arg(trim(a));
    }
    if (lower.startsWith(QLatin1String("hsl"))) {
        const HSL value = hsl(r, g, b);
        const long H = std::lround(value.h);
        const long S = std::lround(value.s * 100);
        const long L = std::lround(value.l * 100);
        if (a >= 1)
            return QStringLiteral("hsl(%1, %2%, %3%)").arg(H).arg(S).arg(L);
        return QStringLiteral("hsla(%1, %2%, %3%, %4)").arg(H).arg(S).arg(L).arg(trim(a));
    }
    QString hex = QString::asprintf("#%02lx%02lx%02lx", R, G, B);
    if (a < 1)
        hex += QString::asprintf("%02lx", std::lround(a * 255));
    return hex;
}

} // namespace NBECSSColors
