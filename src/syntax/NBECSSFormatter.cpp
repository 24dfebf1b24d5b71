#include "NBECSSFormatter.h"

#include <QList>
#include <QStringList>

#include <algorithm>
#include <functional>

namespace {

enum class Kind { text, comment, open, close, semicolon };

struct Token
{
    Kind kind;
    QString text;
};

bool isSpace(QChar c)
{
    return c.isSpace();
}

// End (exclusive) of the quoted string that starts at `i`; a backslash skips
// the unit after it. An unclosed string runs to the end.
qsizetype stringEnd(const QString &text, qsizetype i)
{
    const QChar quote = text[i];
    const qsizetype n = text.size();
    for (qsizetype j = i + 1; j < n; ++j) {
        if (text[j] == QLatin1Char('\\'))
            ++j;
        else if (text[j] == quote)
            return j + 1;
    }
    return n;
}

// End (exclusive) of the comment that starts at `i`; unclosed runs to the end.
qsizetype commentEnd(const QString &text, qsizetype i)
{
    const qsizetype close = text.indexOf(QStringLiteral("*/"), i + 2);
    return close < 0 ? text.size() : close + 2;
}

bool startsComment(const QString &text, qsizetype i)
{
    return text[i] == QLatin1Char('/') && i + 1 < text.size() && text[i + 1] == QLatin1Char('*');
}

// An unquoted url(...) holds ";", "{" and "/*" as plain text (data URLs do), so
// it is kept whole. Returns its end (exclusive), or -1 when none starts at `i`.
qsizetype urlEnd(const QString &text, qsizetype i)
{
    if (i + 4 > text.size() || QStringView(text).mid(i, 4).compare(u"url(", Qt::CaseInsensitive))
        return -1;
    if (i > 0 && (text[i - 1].isLetterOrNumber() || text[i - 1] == QLatin1Char('-') ||
                  text[i - 1] == QLatin1Char('_')))
        return -1;
    qsizetype j = i + 4;
    while (j < text.size() && isSpace(text[j]))
        ++j;
    if (j < text.size() && (text[j] == QLatin1Char('"') || text[j] == QLatin1Char('\'')))
        return -1; // a quoted URL is an ordinary function with a string inside
    for (; j < text.size(); ++j) {
        if (text[j] == QLatin1Char('\\'))
            ++j;
        else if (text[j] == QLatin1Char(')'))
            return j + 1;
    }
    return text.size();
}

// Length of the unit at `i` that must be kept whole: a string, a comment, a
// url(...) or a backslash escape; 0 for an ordinary character.
qsizetype opaqueLength(const QString &text, qsizetype i)
{
    const QChar c = text[i];
    if (c == QLatin1Char('"') || c == QLatin1Char('\''))
        return stringEnd(text, i) - i;
    if (startsComment(text, i))
        return commentEnd(text, i) - i;
    if (c == QLatin1Char('\\'))
        return std::min<qsizetype>(2, text.size() - i);
    if (c == QLatin1Char('u') || c == QLatin1Char('U')) {
        const qsizetype end = urlEnd(text, i);
        if (end > 0)
            return end - i;
    }
    return 0;
}

QList<Token> tokenize(const QString &text)
{
    QList<Token> tokens;
    qsizetype mark = 0;
    qsizetype i = 0;
    const qsizetype n = text.size();
    auto flush = [&](qsizetype upTo) {
        if (upTo > mark)
            tokens.append({Kind::text, text.mid(mark, upTo - mark)});
    };
    while (i < n) {
        const QChar c = text[i];
        if (startsComment(text, i)) {
            flush(i);
            const qsizetype end = commentEnd(text, i);
            tokens.append({Kind::comment, text.mid(i, end - i)});
            i = mark = end;
            continue;
        }
        if (const qsizetype skip = opaqueLength(text, i)) {
            i += skip;
            continue;
        }
        if (c == QLatin1Char('{') || c == QLatin1Char('}') || c == QLatin1Char(';')) {
            flush(i);
            tokens.append({c == QLatin1Char('{')   ? Kind::open
                           : c == QLatin1Char('}') ? Kind::close
                                                   : Kind::semicolon,
                           {}});
            i = mark = i + 1;
            continue;
        }
        ++i;
    }
    flush(n);
    return tokens;
}

// Trims the ends and turns each whitespace run into one space, leaving the
// inside of strings, comments and url(...) exactly as written.
QString collapse(const QString &text)
{
    QString result;
    result.reserve(text.size());
    bool pendingSpace = false;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n;) {
        if (isSpace(text[i])) {
            pendingSpace = !result.isEmpty();
            ++i;
            continue;
        }
        if (pendingSpace)
            result += QLatin1Char(' ');
        pendingSpace = false;
        const qsizetype skip = std::max<qsizetype>(1, opaqueLength(text, i));
        result += QStringView(text).mid(i, skip);
        i += skip;
    }
    return result;
}

// Positions of `ch` outside strings, comments and url(...).
QList<qsizetype> positionsOutside(const QString &text, QChar ch)
{
    QList<qsizetype> result;
    for (qsizetype i = 0; i < text.size();) {
        if (const qsizetype skip = opaqueLength(text, i)) {
            i += skip;
            continue;
        }
        if (text[i] == ch)
            result.append(i);
        ++i;
    }
    return result;
}

// Trims whitespace at both ends, except a space kept by a backslash before
// it ("\\ " is an escaped space in a name).
QString trimBlanks(QStringView text)
{
    qsizetype start = 0;
    qsizetype end = text.size();
    while (start < end && isSpace(text[start]))
        ++start;
    while (end > start && isSpace(text[end - 1])) {
        qsizetype backslashes = 0;
        while (end - 2 - backslashes >= start && text[end - 2 - backslashes] == QLatin1Char('\\'))
            ++backslashes;
        if (backslashes % 2 == 1)
            break;
        --end;
    }
    return text.mid(start, end - start).toString();
}

QString formatSelector(const QString &selector, const QString &continuation)
{
    QStringList pieces;
    qsizetype start = 0;
    auto take = [&](qsizetype end) {
        // An empty piece keeps its comma: dropping it would turn an invalid
        // selector list, which browsers ignore, into one that applies.
        pieces.append(trimBlanks(QStringView(selector).mid(start, end - start)));
    };
    for (qsizetype comma : positionsOutside(selector, QLatin1Char(','))) {
        take(comma);
        start = comma + 1;
    }
    if (!selector.isEmpty())
        take(selector.size());
    return pieces.join(QLatin1String(",\n") + continuation);
}

QString formatDeclaration(const QString &declaration)
{
    const QString text = trimBlanks(declaration);
    if (text.isEmpty() || text.startsWith(QLatin1Char('@')))
        return text;
    const QList<qsizetype> colons = positionsOutside(text, QLatin1Char(':'));
    if (colons.isEmpty())
        return text;
    const QString name = trimBlanks(QStringView(text).left(colons.first()));
    const QString value = trimBlanks(QStringView(text).mid(colons.first() + 1));
    if (value.isEmpty()) {
        // A custom property may be empty; dropping its colon would change it.
        return name.startsWith(QLatin1String("--")) ? name + QLatin1Char(':') : name;
    }
    return name + QLatin1String(": ") + value;
}

} // namespace

namespace NBECSSFormatter {

QString format(const QString &text, const QString &indentUnit)
{
    QString output;
    QString pending;
    // Whether `pending` holds more than white space; kept as it grows, since
    // collapsing it for every comment is quadratic in a run of "a/**/".
    bool pendingHasContent = false;
    int depth = 0;
    // Rules nested deeper are indented no further: thousands of unclosed
    // braces would otherwise format to a text quadratic in their number.
    constexpr int maxIndentLevel = 64;
    auto indent = [&](int n) { return indentUnit.repeated(std::clamp(n, 0, maxIndentLevel)); };
    auto writeDeclaration = [&] {
        const QString declaration = formatDeclaration(collapse(pending));
        pending.clear();
        pendingHasContent = false;
        if (!declaration.isEmpty())
            output += indent(depth) + declaration + QLatin1String(";\n");
    };
    for (const Token &token : tokenize(text)) {
        switch (token.kind) {
        case Kind::text:
            pending += token.text;
            pendingHasContent =
                pendingHasContent || !std::all_of(token.text.begin(), token.text.end(), isSpace);
            break;
        case Kind::comment:
            if (!pendingHasContent) {
                output += indent(depth) + token.text + QLatin1Char('\n');
                pending.clear();
            } else {
                pending += QLatin1Char(' ') + token.text;
            }
            break;
        case Kind::open:
            output += indent(depth) + formatSelector(collapse(pending), indent(depth)) +
                      QLatin1String(" {\n");
            pending.clear();
            pendingHasContent = false;
            ++depth;
            break;
        case Kind::semicolon:
            writeDeclaration();
            break;
        case Kind::close: {
            writeDeclaration();
            const int newDepth = depth - 1;
            depth = std::max(newDepth, 0);
            output += indent(depth) + QLatin1String("}\n");
            if (newDepth < 1) {
                output += QLatin1Char('\n');
                depth = 0;
            }
            break;
        }
        }
    }
    // Text after the last brace or semicolon (a declaration or selector left
    // open at the end) is kept as a last line, without a ";" it never had.
    const QString rest = formatDeclaration(collapse(pending));
    if (!rest.isEmpty())
        output += indent(depth) + rest + QLatin1Char('\n');
    qsizetype start = 0;
    qsizetype end = output.size();
    while (start < end && isSpace(output[start]))
        ++start;
    while (end > start && isSpace(output[end - 1]))
        --end;
    return output.mid(start, end - start) + QLatin1Char('\n');
}

} // namespace NBECSSFormatter
