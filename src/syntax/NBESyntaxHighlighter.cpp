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

// Whether a match of the rule, or a search for one, can read past a line
// end. Conservative: any escape or class that can stand for a line end.
bool canSpanLines(const NBETokenRule &rule)
{
    const QString &p = rule.pattern;
    if (p.contains(QLatin1StringView("[^")) || p.contains(QLatin1StringView("(?s")))
        return true;
    static const QString lineEscapes = QStringLiteral("sSWDvVRnrfHXpPxc0");
    for (qsizetype i = 0; i + 1 < p.size(); ++i) {
        if (p[i] != u'\\')
            continue;
        if (lineEscapes.contains(p[i + 1]))
            return true;
        ++i;
    }
    return false;
}

// The claimed matches of every rule whose searches run over `text` from
// `from` and stop at `to`, as tokens at their places in `text`. Whatever
// `text` holds after `to` is seen by searches (lookaheads, unclosed
// strings) as it is in a whole tokenization.
QList<NBEToken> claimTokens(QStringView text, const NBELanguage &language, bool unicode,
                            qsizetype from, qsizetype to)
{
    const qsizetype n = to - from;
    QList<NBEToken> tokens;
    if (n < 1)
        return tokens;

    std::vector<unsigned char> claims(static_cast<size_t>(n), 0);
    qsizetype count = 0;
    for (const NBETokenRule &rule : language.tokenRules) {
        const QRegularExpression &expression = compiled(rule.pattern, unicode);
        if (!expression.isValid())
            continue;
        const unsigned char code =
            static_cast<unsigned char>(NBETokenTypes::ordinal(rule.tokenType) + 1);
        QRegularExpressionMatchIterator matches =
            expression.globalMatch(text, from, QRegularExpression::NormalMatch,
                                   QRegularExpression::DontCheckSubjectStringMatchOption);
        while (matches.hasNext()) {
            const QRegularExpressionMatch match = matches.next();
            const qsizetype start = match.capturedStart(0);
            const qsizetype length = std::min(match.capturedLength(0), to - start);
            if (start >= to)
                break;
            if (start < from || length < 1)
                continue;
            unsigned char *marks = claims.data() + (start - from);
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
        tokens.append(NBEToken{from + i, end - i, type});
        i = end;
    }
    return tokens;
}

QList<NBEToken> tokenizeView(QStringView text, const NBELanguage &language, qsizetype base)
{
    QString repaired;
    if (!isValidUtf16(text)) {
        repaired = withoutLoneSurrogates(text);
        text = repaired;
    }
    QList<NBEToken> tokens = claimTokens(text, language, !isAscii(text), 0, text.size());
    for (NBEToken &token : tokens)
        token.location += base;
    return tokens;
}

// The rules whose searches can read across a line end, compiled; nothing
// when one looks behind further than one character, which the restart
// checks below don't allow for.
std::optional<QList<const QRegularExpression *>> lineCrossingRules(const NBELanguage &language,
                                                                   bool unicode)
{
    QList<const QRegularExpression *> rules;
    for (const NBETokenRule &rule : language.tokenRules) {
        if (!canSpanLines(rule))
            continue;
        if (rule.pattern.contains(QLatin1StringView("(?<")))
            return std::nullopt;
        const QRegularExpression &expression = compiled(rule.pattern, unicode);
        if (expression.isValid())
            rules.append(&expression);
    }
    return rules;
}

// Whether the searches of `rules` that start in [from, to) neither read
// `to` nor anything after it: then a search may restart at `to`, and an
// edit from `to` on leaves every search before it as it was. Checked by
// matching against the text cut at `to`, where a search that runs into the
// cut reports a partial match.
bool settlesBefore(QStringView text, const QList<const QRegularExpression *> &rules, qsizetype from,
                   qsizetype to)
{
    const QStringView head = text.first(to);
    constexpr auto options = QRegularExpression::DontCheckSubjectStringMatchOption;
    for (const QRegularExpression *rule : rules) {
        for (qsizetype offset = from; offset <= to;) {
            const QRegularExpressionMatch match =
                rule->match(head, offset, QRegularExpression::PartialPreferFirstMatch, options);
            if (match.hasPartialMatch()) {
                // A partial match's start includes the character a "\b" or
                // "^" looked back at, so one at the cut itself (which must
                // read on, and belongs after it) reports the line break
                // before: only a search from the line break is told apart.
                if (match.capturedStart(0) < to - 1)
                    return false;
                const QRegularExpressionMatch fromBreak =
                    rule->match(head, to - 1, QRegularExpression::PartialPreferFirstMatch,
                                options | QRegularExpression::AnchorAtOffsetMatchOption);
                if (fromBreak.hasPartialMatch())
                    return false;
                break;
            }
            if (!match.hasMatch())
                break;
            if (match.capturedLength(0) < 1)
                return false; // an empty match would hide the search after it
            offset = match.capturedEnd(0);
        }
    }
    return true;
}

// Restarts are this far apart at least: each costs a check, and an edit
// redoes about the stretch between two of them.
constexpr qsizetype restartSpacing = 2048;

// Line starts in (from, to) where searches restart, `from` being one. After
// a failed check the next candidate is twice as far, so a stretch without
// any costs about twice its length.
void collectRestarts(QStringView text, const QList<const QRegularExpression *> &rules,
                     qsizetype from, qsizetype to, std::vector<qsizetype> &into)
{
    qsizetype clean = from;
    qsizetype step = restartSpacing;
    while (to - clean > step) {
        const qsizetype lineBreak = text.sliced(0, to).indexOf(u'\n', clean + step - 1);
        if (lineBreak < 0 || lineBreak + 1 >= to)
            return;
        const qsizetype candidate = lineBreak + 1;
        if (settlesBefore(text, rules, clean, candidate)) {
            into.push_back(candidate);
            clean = candidate;
            step = restartSpacing;
        } else {
            step = (candidate - clean) * 2;
        }
    }
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

QList<NBEToken> NBESyntaxHighlighter::tokenize(const QString &text, const NBELanguage &language,
                                               NBETokenizerState *state)
{
    if (!state)
        return tokenize(text, language);
    *state = {};
    if (!isValidUtf16(text))
        return tokenize(text, language);
    state->unicode = !isAscii(text);
    const QList<NBEToken> tokens = claimTokens(text, language, state->unicode, 0, text.size());
    if (const auto rules = lineCrossingRules(language, state->unicode)) {
        collectRestarts(text, *rules, 0, text.size(), state->restarts);
        state->reusable = true;
    }
    return tokens;
}

NBERetokenization NBESyntaxHighlighter::retokenize(const QString &text, const NBELanguage &language,
                                                   const NBETokenizerState &before,
                                                   qsizetype position, qsizetype removed,
                                                   qsizetype added)
{
    const qsizetype n = text.size();
    NBERetokenization result;
    // The units around the edit decide whether it split a surrogate pair.
    const qsizetype near = std::clamp<qsizetype>(position - 1, 0, n);
    const bool fits = position >= 0 && removed >= 0 && added >= 0 && position + added <= n;
    const bool unicode =
        before.unicode || (fits && !isAscii(QStringView(text).sliced(position, added)));
    const auto rules = lineCrossingRules(language, unicode);
    if (!before.reusable || !fits || !rules ||
        !isValidUtf16(QStringView(text).sliced(near, std::min(position + added + 1, n) - near))) {
        result.to = n;
        result.tokens = tokenize(text, language, &result.state);
        return result;
    }
    const std::vector<qsizetype> &old = before.restarts;

    // From the last restart at or before the edit: nothing before it read
    // what the edit changed.
    auto after = std::upper_bound(old.begin(), old.end(), position);
    const qsizetype from = after == old.begin() ? 0 : *(after - 1);

    // To the first restart after the edit (in the new text's places) where
    // the new searches settle as well; further ones are tried at growing
    // distances, and the end of the text always fits.
    const qsizetype shift = added - removed;
    auto next = std::upper_bound(after, old.end(), position + removed);
    qsizetype to = n;
    qsizetype reach = 0;
    for (; next != old.end(); ++next) {
        const qsizetype candidate = *next + shift;
        if (candidate <= position + added || candidate - from < reach)
            continue;
        if (candidate >= n)
            break;
        if (text[candidate - 1] == u'\n' && settlesBefore(text, *rules, from, candidate)) {
            to = candidate;
            break;
        }
        reach = (candidate - from) * 2;
    }

    result.from = from;
    result.to = to;
    result.tokens = claimTokens(text, language, unicode, from, to);
    result.state.unicode = unicode;
    result.state.reusable = true;
    std::vector<qsizetype> &restarts = result.state.restarts;
    restarts.assign(old.begin(), after);
    collectRestarts(text, *rules, from, to, restarts);
    if (to < n) {
        restarts.push_back(to);
        for (++next; next != old.end(); ++next)
            restarts.push_back(*next + shift);
    }
    return result;
}

QList<QTextLayout::FormatRange> NBESyntaxHighlighter::attributedLine(
    const QString &line, const std::optional<NBELanguage> &language, const NBETheme &theme)
{
    if (line.isEmpty())
        return {};
    const QList<NBEToken> tokens = language ? tokenize(line, *language) : QList<NBEToken>();
    return coveringRuns(line.size(), tokens, theme, colourFormat);
}
