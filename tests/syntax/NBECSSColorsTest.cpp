#include "NBECSSColors.h"
#include "NBETestSupport.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

#include <clocale>

namespace {

QColor rgba(int r, int g, int b, double a = 1)
{
    return QColor::fromRgbF(r / 255.0, g / 255.0, b / 255.0, a);
}

QString literal(const QString &text, const NBECSSColorsSwatch &swatch)
{
    return text.mid(swatch.range.location, swatch.range.length);
}

// Colours compared in 8-bit channels and alpha to 1/255.
void expectColor(const QColor &actual, const QColor &expected, const std::string &context)
{
    EXPECT_EQ(actual.red(), expected.red()) << context;
    EXPECT_EQ(actual.green(), expected.green()) << context;
    EXPECT_EQ(actual.blue(), expected.blue()) << context;
    EXPECT_NEAR(actual.alphaF(), expected.alphaF(), 1.0 / 255) << context;
}

} // namespace

TEST(NBECSSColors, FindsLiteralsInValuesOnly)
{
    struct Row
    {
        const char *css;
        QStringList literals;
        QList<QColor> colors;
    };
    const Row rows[] = {
        {"a { color: #FFF; }", {"#FFF"}, {rgba(255, 255, 255)}},
        {"a { color: #ffff; }", {"#ffff"}, {rgba(255, 255, 255)}},
        {"a { color: #12345; }", {}, {}},
        {"a { color: #abcdefg; }", {"#abcdef"}, {rgba(0xab, 0xcd, 0xef)}},
        {"a { color: #11223380 }", {"#11223380"}, {rgba(0x11, 0x22, 0x33, 128 / 255.0)}},
        {"a:hover { color: red }", {"red"}, {rgba(255, 0, 0)}},
        {"a { b: c }", {}, {}},
        {"red { color: blue", {}, {}},
        {"a { color: rgb(255 0 0 / 50%) }", {"rgb(255 0 0 / 50%)"}, {rgba(255, 0, 0, 0.5)}},
        {"a { color: rgb(100%, 0%, 0%) }", {"rgb(100%, 0%, 0%)"}, {rgba(255, 0, 0)}},
        {"a { color: rgb(1,2) red }", {"red"}, {rgba(255, 0, 0)}},
        {"a { color: RGBA(0,0,255,.25) }", {"RGBA(0,0,255,.25)"}, {rgba(0, 0, 255, 0.25)}},
        {"a { color: hsl(120deg, 100%, 50%) }", {"hsl(120deg, 100%, 50%)"}, {rgba(0, 255, 0)}},
        {"a { color: hsl(480, 100%, 50%) }", {"hsl(480, 100%, 50%)"}, {rgba(0, 255, 0)}},
        {"a { color: hsl(0.5turn, 50%, 50%) }", {"hsl(0.5turn, 50%, 50%)"}, {rgba(191, 64, 64)}},
        {"a { color: hsl(-120, 100%, 50%) }", {"hsl(-120, 100%, 50%)"}, {rgba(0, 0, 255)}},
        {"a { color: rgb (1,2,3) }", {}, {}},
        {"a { /* color: red */ }", {}, {}},
        {"a { content: 'red' }", {"red"}, {rgba(255, 0, 0)}},
        {"a { color: Red }", {"Red"}, {rgba(255, 0, 0)}},
        {"a { color: darkred-x }", {}, {}},
        {"a { color: var(--red) }", {"red"}, {rgba(255, 0, 0)}},
        {"a { background: url(http://x/a:b.png) navy }", {"navy"}, {rgba(0, 0, 128)}},
        {"@media x { a:hover { color: tan } }", {"tan"}, {rgba(0xd2, 0xb4, 0x8c)}},
        {"a { b: rgb(hsl(rgb(1,2,3) red) blue; c: rgb(red; d: rgb(0,0,0) }",
         {"rgb(hsl(rgb(1,2,3)", "red", "blue", "red", "rgb(0,0,0)"},
         {rgba(0, 2, 3), rgba(255, 0, 0), rgba(0, 0, 255), rgba(255, 0, 0), rgba(0, 0, 0)}},
        {"a { color: rebeccapurple; border-color: grey }",
         {"rebeccapurple", "grey"},
         {rgba(0x66, 0x33, 0x99), rgba(128, 128, 128)}},
    };
    for (const Row &row : rows) {
        const QString css = QString::fromLatin1(row.css);
        const QList<NBECSSColorsSwatch> found = NBECSSColors::swatches(css);
        QStringList literals;
        for (const auto &swatch : found)
            literals.append(literal(css, swatch));
        EXPECT_EQ(literals, row.literals) << row.css;
        for (qsizetype i = 0; i < std::min(found.size(), row.colors.size()); ++i)
            expectColor(found[i].color, row.colors[i], row.css);
    }
}

TEST(NBECSSColors, OutOfRangeComponentsClamp)
{
    struct Row
    {
        const char *css;
        QColor color;
    };
    const Row rows[] = {
        {"a { color: rgb(-20, 300, 128) }", rgba(0, 255, 128)},
        {"a { color: rgb(nan, 10, 10) }", rgba(0, 10, 10)},
        {"a { color: rgb(10, inf, 10) }", rgba(10, 255, 10)},
        {"a { color: rgba(10, 10, 10, 7) }", rgba(10, 10, 10, 1)},
        {"a { color: rgba(10, 10, 10, -3) }", rgba(10, 10, 10, 0)},
        {"a { color: rgba(10, 10, 10, nan) }", rgba(10, 10, 10, 1)},
        {"a { color: rgba(10, 10, 10, 150%) }", rgba(10, 10, 10, 1)},
        {"a { color: hsl(nan, 100%, 50%) }", rgba(255, 0, 0)},
        {"a { color: hsl(inf, 100%, 50%) }", rgba(255, 0, 0)},
        {"a { color: hsl(0, 250%, -10%) }", rgba(0, 0, 0)},
        {"a { color: hsl(0, -50%, 150%) }", rgba(255, 255, 255)},
    };
    for (const Row &row : rows) {
        const auto found = NBECSSColors::swatches(QString::fromLatin1(row.css));
        ASSERT_EQ(found.size(), 1) << row.css;
        EXPECT_TRUE(found[0].color.isValid()) << row.css;
        expectColor(found[0].color, row.color, row.css);
    }
}

TEST(NBECSSColors, Replacement)
{
    struct Row
    {
        QColor color;
        const char *original;
        const char *expected;
    };
    const Row rows[] = {
        {rgba(0, 0, 255), "red", "#0000ff"},
        {rgba(0, 0, 255, 0.5), "#abc", "#0000ff80"},
        {rgba(255, 0, 0, 0.25), "rgb(1, 2, 3)", "rgba(255, 0, 0, 0.25)"},
        {rgba(255, 0, 0), "RGBA(1, 2, 3, 0.5)", "rgb(255, 0, 0)"},
        {rgba(0, 255, 0), "hsla(0, 0%, 0%, 0.5)", "hsl(120, 100%, 50%)"},
        {rgba(0, 0, 0, 0.3), "hsl(0, 0%, 0%)", "hsla(0, 0%, 0%, 0.3)"},
        {rgba(0, 0, 0, 0), "rgb(0,0,0)", "rgba(0, 0, 0, 0)"},
        {rgba(191, 64, 64), "hsl(1, 2%, 3%)", "hsl(0, 50%, 50%)"},
        {QColor::fromHsvF(0.5, 1, 1), "#000", "#00ffff"},
    };
    for (const Row &row : rows) {
        EXPECT_EQ(NBECSSColors::replacement(row.color, QString::fromLatin1(row.original)),
                  QString::fromLatin1(row.expected))
            << row.original;
    }
}

TEST(NBECSSColors, NumbersIgnoreTheLocale)
{
    // A locale whose decimal separator is a comma must not change how CSS
    // numbers are read or written.
    const char *previous = std::setlocale(LC_ALL, nullptr);
    const std::string saved = previous ? previous : "C";
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8"))
        std::setlocale(LC_NUMERIC, "C.UTF-8");
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const auto found = NBECSSColors::swatches(QStringLiteral("a { color: rgba(0, 0, 0, 0.5) }"));
    ASSERT_EQ(found.size(), 1);
    EXPECT_NEAR(found[0].color.alphaF(), 0.5, 1.0 / 255);
    EXPECT_EQ(NBECSSColors::replacement(rgba(1, 2, 3, 0.25), QStringLiteral("rgb(0,0,0)")),
              QStringLiteral("rgba(1, 2, 3, 0.25)"));
    QLocale::setDefault(QLocale::c());
    std::setlocale(LC_ALL, saved.c_str());
}

TEST(NBECSSColors, ReplacementRoundTrips)
{
    const QString originals[] = {"#fff", "rgb(0,0,0)", "hsl(0,0%,0%)", "teal"};
    const QColor colors[] = {rgba(12, 200, 99), rgba(255, 128, 0, 0.5), rgba(0, 0, 0, 0)};
    for (const QString &original : originals) {
        for (const QColor &color : colors) {
            const QString written = NBECSSColors::replacement(color, original);
            const auto found = NBECSSColors::swatches(QStringLiteral("a{b:") + written + '}');
            ASSERT_EQ(found.size(), 1) << written.toStdString();
            // hsl() rounds to whole degrees and percents: allow one step.
            EXPECT_NEAR(found[0].color.red(), color.red(), 2) << written.toStdString();
            EXPECT_NEAR(found[0].color.green(), color.green(), 2) << written.toStdString();
            EXPECT_NEAR(found[0].color.blue(), color.blue(), 2) << written.toStdString();
            EXPECT_NEAR(found[0].color.alphaF(), color.alphaF(), 0.01) << written.toStdString();
        }
    }
}

TEST(NBECSSColors, NamedColorsMatchTheColorNamePackage)
{
    const QString folder = QStringLiteral(NBE_SOURCE_DIR "/tests/syntax/npm");
    ASSERT_TRUE(QDir(folder + "/node_modules/color-name").exists())
        << "run scripts/setup to install the test packages";
    const auto result = NBETest::run(
        QStringLiteral("node"),
        {"--input-type=module", "-e",
         "import names from 'color-name'; const out = {};"
         "for (const [k, [r, g, b]] of Object.entries(names)) out[k] = r * 65536 + g * 256 + b;"
         "console.log(JSON.stringify(out));"},
        folder);
    ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
    const QJsonObject reference = QJsonDocument::fromJson(result.out).object();
    EXPECT_EQ(reference.size(), 148);
    EXPECT_EQ(NBECSSColors::namedColors().size(), reference.size());
    for (auto it = reference.begin(); it != reference.end(); ++it) {
        EXPECT_EQ(NBECSSColors::namedColors().value(it.key(), 0xfffffffu),
                  quint32(it.value().toInt()))
            << it.key().toStdString();
    }
}

TEST(NBECSSColors, SwatchesOnlyInCSSAndInHTMLStyleElements)
{
    const struct
    {
        const char *name;
        std::optional<QString> language;
        QString text;
        QStringList literals;
    } cases[] = {
        {"css",
         "css",
         QStringLiteral("/* red */ a { color: #fff; background: rgb(1, 2, 3) }\n.red { x: 1 }"),
         {QStringLiteral("#fff"), QStringLiteral("rgb(1, 2, 3)")}},
        {"html style elements, not attributes",
         "html",
         QStringLiteral("<p style=\"color: red\">#fff</p>\n<style>\n p { color: hsl(120, 50%, "
                        "50%); }\n</style>\n<STYLE media=x>b{border:1px solid blue}</STYLE>"),
         {QStringLiteral("hsl(120, 50%, 50%)"), QStringLiteral("blue")}},
        {"javascript",
         "javascript",
         QStringLiteral("const s = { color: '#fff' };\nel.style.color = 'red';"),
         {}},
        {"markdown", "markdown", QStringLiteral("a { color: #fff; }"), {}},
        {"no language", std::nullopt, QStringLiteral("a { color: #fff; }"), {}},
    };
    for (const auto &c : cases) {
        QStringList literals;
        for (const NBECSSColorsSwatch &swatch : NBECSSColors::swatches(c.text, c.language))
            literals.append(c.text.mid(swatch.range.location, swatch.range.length));
        EXPECT_EQ(literals, c.literals) << c.name;
    }
}
