#include "NBESyntaxHighlighter.h"

#include <QHash>
#include <QRegularExpression>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// Patterns are compiled once per thread: QRegularExpression objects are not
// meant to be shared between threads, and compiling (with JIT) for every call
// would dominate the cost of highlighting a single line.
//
// (*ANY) makes "^", "$" and "." treat every Unicode line terminator as a line
// end, and Unicode properties make \w, \d, \s and \b see letters beyond ASCII.
// Those properties make matching markedly slower and change nothing in text
// that is all ASCII, so such text is matched without them.
const QRegularExpression &compiled(const QString &pattern, bool unicode)
{
    thread_local QHash<QString, QRegularExpression> cache[2];
    QHash<QString, QRegularExpression> &patterns = cache[unicode ? 1 : 0];
    auto it = patterns.constFind(pattern);
    if (it == patterns.constEnd()) {
        QRegularExpression::PatternOptions options = QRegularExpression::MultilineOption;
        if (unicode)
            options |= QRegularExpression::UseUnicodePropertiesOption;
        QRegularExpression expression(QStringLiteral("(*ANY)") + pattern, options);
        if (expression.isValid())
            expression.optimize();
        it = patterns.insert(pattern, expression);
    }
    return *it;
}

bool isAscii(QStringView text)
{
    const char16_t *p = text.utf16();
    const char16_t *const end = p + text.size();
    char16_t any = 0;
    for (; p != end; ++p)
        any |= *p;
    return any < 0x80;
}

bool isValidUtf16(QStringView text)
{
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t u = text[i].unicode();
        if (u < 0xD800 || u > 0xDFFF)
            continue;
        if (u >= 0xDC00 || i + 1 >= n || !QChar::isLowSurrogate(text[i + 1].unicode()))
            return false;
        ++i;
    }
    return true;
}

// The matcher refuses text with a lone surrogate; one stand-in character of
// the same length keeps every offset.
QString withoutLoneSurrogates(QStringView text)
{
    QString copy = text.toString();
    const qsizetype n = copy.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t u = copy[i].unicode();
        if (u < 0xD800 || u > 0xDFFF)
            continue;
        if (u < 0xDC00 && i + 1 < n && QChar::isLowSurrogate(copy[i + 1].unicode())) {
            ++i;
            continue;
        }
        copy[i] = QChar::ReplacementCharacter;
    }
    return copy;
}

// One byte per UTF-16 unit: 0 while unclaimed, else the token type's ordinal
// plus one, with the high bit on the first unit of a token. Tokens are read
// back from it in order, so they need no sorting.
constexpr unsigned char tokenStart = 0x80;

bool anyClaimed(const unsigned char *marks, qsizetype length)
{
    qsizetype i = 0;
    for (; i + 8 <= length; i += 8) {
        quint64 word;
        std::memcpy(&word, marks + i, 8);
        if (word)
            return true;
    }
    for (; i < length; ++i) {
        if (marks[i])
            return true;
    }
    return false;
}

QList<NBEToken> tokenizeView(QStringView text, const NBELanguage &language, qsizetype base)
{
    const qsizetype n = text.size();
    QList<NBEToken> tokens;
    if (n < 1)
        return tokens;

    QString repaired;
    if (!isValidUtf16(text)) {
        repaired = withoutLoneSurrogates(text);
        text = repaired;
    }
    const bool unicode = !isAscii(text);

    std::vector<unsigned char> claims(static_cast<size_t>(n), 0);
    qsizetype count = 0;
    for (const NBETokenRule &rule : language.tokenRules) {
        const QRegularExpression &expression = compiled(rule.pattern, unicode);
        if (!expression.isValid())
            continue;
        const unsigned char code =
            static_cast<unsigned char>(NBETokenTypes::ordinal(rule.tokenType) + 1);
        QRegularExpressionMatchIterator matches =
            expression.globalMatch(text, 0, QRegularExpression::NormalMatch,
                                   QRegularExpression::DontCheckSubjectStringMatchOption);
        while (matches.hasNext()) {
            const QRegularExpressionMatch match = matches.next();
            const qsizetype start = match.capturedStart(0);
            const qsizetype length = match.capturedLength(0);
            if (start < 0 || length < 1)
                continue;
            unsigned char *marks = claims.data() + start;
            if (anyClaimed(marks, length))
                continue;
            marks[0] = code | tokenStart;
            std::memset(marks + 1, code, static_cast<size_t>(length - 1));
            ++count;
        }
    }

    tokens.reserve(count);
    const unsigned char *marks = claims.data();
    for (qsizetype i = 0; i < n;) {
        if (!(marks[i] & tokenStart)) {
            ++i;
            continue;
        }
        const auto type = static_cast<NBETokenType>((marks[i] & ~tokenStart) - 1);
        qsizetype end = i + 1;
        while (end < n && marks[end] && !(marks[end] & tokenStart))
            ++end;
        tokens.append(NBEToken{base + i, end - i, type});
        i = end;
    }
    return tokens;
}

QTextCharFormat colourFormat(const QColor &colour)
{
    QTextCharFormat format;
    format.setForeground(colour);
    return format;
}

// Runs covering [0, length): token runs in their colour, gaps in `base`.
template <typename Make>
QList<QTextLayout::FormatRange> coveringRuns(qsizetype length, const QList<NBEToken> &tokens,
                                             const NBETheme &theme, Make make)
{
    QList<QTextLayout::FormatRange> runs;
    const QTextCharFormat base = make(theme.editorText);
    QTextCharFormat byType[NBETokenTypes::count];
    for (NBETokenType type : NBETokenTypes::allCases())
        byType[NBETokenTypes::ordinal(type)] = make(theme.colorFor(type));
    qsizetype cursor = 0;
    for (const NBEToken &token : tokens) {
        if (token.location > cursor)
            runs.append({int(cursor), int(token.location - cursor), base});
        runs.append(
            {int(token.location), int(token.length), byType[NBETokenTypes::ordinal(token.type)]});
        cursor = token.end();
    }
    if (cursor < length)
        runs.append({int(cursor), int(length - cursor), base});
    return runs;
}

} // namespace

QList<NBEToken> NBESyntaxHighlighter::tokenize(const QString &text, const NBELanguage &language)
{
    return tokenizeView(text, language, 0);
}

QList<QTextLayout::FormatRange> NBESyntaxHighlighter::attributedLine(
    const QString &line, const std::optional<NBELanguage> &language, const NBETheme &theme)
{
    if (line.isEmpty())
        return {};
    const QList<NBEToken> tokens = language ? tokenize(line, *language) : QList<NBEToken>();
    return coveringRuns(line.size(), tokens, theme, colourFormat);
}
