#include "NBESyntaxHighlighter.h"

#include <QHash>
#include <QRegularExpression>

#include <algorithm>
#include <cstring>
#include <map>
#include <optional>
#include <utility>
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
//
// A map's entries stay where they are as it grows: a pass holds on to every
// rule's compiled pattern while it compiles the next.
const QRegularExpression &compiled(const QString &pattern, bool unicode)
{
    thread_local std::map<QString, QRegularExpression> cache[2];
    std::map<QString, QRegularExpression> &patterns = cache[unicode ? 1 : 0];
    auto it = patterns.find(pattern);
    if (it == patterns.end()) {
        QRegularExpression::PatternOptions options = QRegularExpression::MultilineOption;
        if (unicode)
            options |= QRegularExpression::UseUnicodePropertiesOption;
        QRegularExpression expression(QStringLiteral("(*ANY)") + pattern, options);
        if (expression.isValid())
            expression.optimize();
        it = patterns.emplace(pattern, expression).first;
    }
    return it->second;
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

// A language's rules compiled for one pass. Rules that can read across a
// line end are followed across checkpoints; the others never read past the
// end of their line, so at a line start they start afresh.
struct CompiledRules
{
    QList<const QRegularExpression *> expressions; // nullptr: an invalid pattern
    QList<unsigned char> codes;
    QList<int> crossing; // index among the line-crossing rules, or -1
    qsizetype crossingCount = 0;
    // False when a line-crossing rule looks behind further than one
    // character (a "\b" or "^"), which the checks below don't allow for.
    bool followable = true;
};

CompiledRules compiledRules(const NBELanguage &language, bool unicode)
{
    CompiledRules rules;
    for (const NBETokenRule &rule : language.tokenRules) {
        const QRegularExpression &expression = compiled(rule.pattern, unicode);
        rules.expressions.append(expression.isValid() ? &expression : nullptr);
        rules.codes.append(static_cast<unsigned char>(NBETokenTypes::ordinal(rule.tokenType) + 1));
        const bool crossing = expression.isValid() && canSpanLines(rule);
        rules.crossing.append(crossing ? int(rules.crossingCount++) : -1);
        if (crossing && rule.pattern.contains(QLatin1StringView("(?<")))
            rules.followable = false;
    }
    return rules;
}

// Checkpoints are about this far apart: an edit redoes about the stretch
// between the one before it and the one after it.
constexpr qsizetype checkpointSpacing = 2048;

// Whether a line that ends in `last` lets searches stand clean after it: one
// that ends in a word (also "a.b:c-"), white space or a quote leaves
// attempts to match (a word before "=", a string) reading on into the next.
bool endsCleanly(QChar last)
{
    return QStringView(u">;{}()[],").contains(last);
}

// Line starts in [from, to): `from` (itself one), then a line start at least
// `checkpointSpacing` after the one before: among the next few, the first
// after a line that ends cleanly.
std::vector<qsizetype> checkpointsIn(QStringView text, qsizetype from, qsizetype to)
{
    std::vector<qsizetype> checkpoints{from};
    for (qsizetype target = from + checkpointSpacing; target < to;) {
        qsizetype lineBreak = text.indexOf(u'\n', target - 1);
        if (lineBreak < 0 || lineBreak + 1 >= to)
            break;
        for (qsizetype next = lineBreak, tries = 0; next >= 0 && next + 1 < to && tries < 16;
             next = text.indexOf(u'\n', next + 1), ++tries) {
            if (next > 0 && endsCleanly(text[next - 1])) {
                lineBreak = next;
                break;
            }
        }
        checkpoints.push_back(lineBreak + 1);
        target = lineBreak + 1 + checkpointSpacing;
    }
    return checkpoints;
}

// One rule's search through a text, match by match, that also tells where
// it stands clean: at a cut where no attempt to match before the cut read on
// from it, so that the search goes on there exactly as a search started
// there. Such a cut is a place to pick the search up again that is not
// behind its last match, however far back that lies.
class RuleSearch
{
    static constexpr qsizetype cleanReach = 8192;

public:
    enum class Kind { match, clean, none, empty };
    struct Step
    {
        Kind kind = Kind::none;
        qsizetype start = -1;
        qsizetype end = -1;
    };

    RuleSearch(QStringView text, const QRegularExpression &rule, qsizetype origin)
        : m_text(text)
        , m_rule(rule)
        , m_position(origin)
    {}

    // Where the search goes on: after its last match taken, or a clean cut.
    qsizetype position() const { return m_position; }

    // The next match, unless the search stands clean at `cut` (not before
    // `position()`) first; without a cut (-1), the next match or none.
    Step toward(qsizetype cut)
    {
        // Once the search didn't stand clean at a cut, each later one is
        // tried from the same place again, so only so far.
        if (cut >= 0 && !(m_ahead && m_ahead->start >= 0 && m_ahead->start < cut) &&
            !(m_ahead && cut - m_position > cleanReach)) {
            if (cut <= m_position) {
                m_ahead.reset();
                m_position = cut;
                return {Kind::clean};
            }
            const Step step = beforeCut(cut);
            if (step.kind == Kind::clean) {
                m_ahead.reset();
                m_position = cut;
                return step;
            }
            if (step.kind != Kind::none) {
                if (step.kind == Kind::match)
                    m_ahead = step;
                return step;
            }
        }
        if (!m_ahead) {
            const QRegularExpressionMatch match =
                m_rule.match(m_text, m_position, QRegularExpression::NormalMatch,
                             QRegularExpression::DontCheckSubjectStringMatchOption);
            Step step;
            if (match.hasMatch()) {
                step = {Kind::match, match.capturedStart(0), match.capturedEnd(0)};
                if (step.end <= step.start)
                    return {Kind::empty};
            }
            m_ahead = step;
        }
        return *m_ahead;
    }

    // Goes on after the match `toward` gave.
    void take()
    {
        m_position = m_ahead->end;
        m_ahead.reset();
    }

private:
    // What the search finds in the text cut at `cut`: a match that read
    // nothing from the cut on (the same in the whole text), `clean`, or
    // `none` when an attempt read on from the cut.
    Step beforeCut(qsizetype cut) const
    {
        const QStringView subject = m_text.first(cut);
        const QRegularExpressionMatch match =
            m_rule.match(subject, m_position, QRegularExpression::PartialPreferFirstMatch,
                         QRegularExpression::DontCheckSubjectStringMatchOption);
        if (match.hasMatch()) {
            const Step step{Kind::match, match.capturedStart(0), match.capturedEnd(0)};
            return step.end <= step.start ? Step{Kind::empty} : step;
        }
        if (!match.hasPartialMatch())
            return {Kind::clean};
        // A partial match starts at the first unit its attempt read, which
        // may be one before the attempt (a "\b"): one that starts one before
        // the cut is harmless when it came from an attempt at the cut.
        const qsizetype start = match.capturedStart(0);
        if (start >= cut)
            return {Kind::clean};
        if (start == cut - 1 &&
            !m_rule
                 .match(subject, start, QRegularExpression::PartialPreferFirstMatch,
                        QRegularExpression::AnchorAtOffsetMatchOption |
                            QRegularExpression::DontCheckSubjectStringMatchOption)
                 .hasPartialMatch())
            return {Kind::clean};
        return {Kind::none};
    }

    QStringView m_text;
    const QRegularExpression &m_rule;
    qsizetype m_position;
    std::optional<Step> m_ahead; // the next match from `m_position`, once searched
};

enum class PassOutcome { done, fromMoved, toMoved, unfollowable };

struct Pass
{
    PassOutcome outcome = PassOutcome::done;
    QList<NBEToken> tokens;
    // `checkpoints.size()` times `crossingCount` marks.
    std::vector<NBERuleMark> marks;
};

// Claims the matches of every rule over [from, to) of `text`, in rule order:
// a match is dropped whole when any of its units is already claimed. Where
// `atFrom` is given, each line-crossing rule's search starts where it stood
// at `from` in the earlier text, and its first match must stand there as it
// did (a match reaching back over `from` the same and claimed the same way),
// or the pass answers `fromMoved`. Where `atTo` is given, each line-crossing
// rule's match across `to` is the earlier one: it is claimed as before when
// the units before `to` leave it as free as before, else the pass answers
// `toMoved`. Records the marks of `checkpoints` (in [from, to)).
Pass claimTokens(QStringView text, const CompiledRules &rules, qsizetype from, qsizetype to,
                 const NBERuleMark *atFrom, const NBERuleMark *atTo,
                 const std::vector<qsizetype> &checkpoints)
{
    Pass pass;
    const qsizetype n = to - from;
    if (n < 1 && checkpoints.empty())
        return pass;
    const qsizetype crossingCount = rules.crossingCount;
    pass.marks.resize(checkpoints.size() * size_t(crossingCount));
    std::vector<unsigned char> claims(static_cast<size_t>(std::max<qsizetype>(n, 0)), 0);
    std::vector<size_t> pending;
    qsizetype count = 0;
    for (qsizetype r = 0; r < rules.expressions.size(); ++r) {
        const QRegularExpression *expression = rules.expressions[r];
        if (!expression)
            continue;
        const int k = rules.crossing[r];
        const unsigned char code = rules.codes[r];
        const NBERuleMark *before = k >= 0 && atFrom ? atFrom + k : nullptr;
        const NBERuleMark *after = k >= 0 && atTo ? atTo + k : nullptr;
        const bool spannedFrom = before && before->start >= 0 && before->start < from;
        const qsizetype origin = before ? before->origin : from;
        // A rule that can't read across a line end reads nothing from `to`
        // (a line start) on.
        const QStringView subject = k >= 0 ? text : text.first(to);
        // A rule followed across checkpoints is searched match by match and
        // cut at each checkpoint; the others in one go.
        const bool followed = k >= 0 && (atFrom || !checkpoints.empty());
        std::optional<RuleSearch> search;
        std::optional<QRegularExpressionMatchIterator> matches;
        if (followed)
            search.emplace(text, *expression, origin);
        else
            matches =
                expression->globalMatch(subject, origin, QRegularExpression::NormalMatch,
                                        QRegularExpression::DontCheckSubjectStringMatchOption);
        const bool cleanAtTo = after && after->clean;
        size_t checkpoint = 0;
        pending.clear();
        qsizetype previousEnd = origin;
        bool first = true;
        for (;;) {
            qsizetype start = -1;
            qsizetype end = -1;
            if (followed) {
                const bool atLast = checkpoint == checkpoints.size();
                const RuleSearch::Step step = search->toward(!atLast     ? checkpoints[checkpoint]
                                                             : cleanAtTo ? to
                                                                         : -1);
                if (step.kind == RuleSearch::Kind::empty) {
                    // An empty match hides the search after it from the marks.
                    pass.outcome = PassOutcome::unfollowable;
                    return pass;
                }
                if (step.kind == RuleSearch::Kind::clean) {
                    if (atLast)
                        break;
                    NBERuleMark &mark = pass.marks[checkpoint * size_t(crossingCount) + size_t(k)];
                    mark = {};
                    mark.origin = checkpoints[checkpoint++];
                    mark.clean = true;
                    continue;
                }
                if (atLast && cleanAtTo && (step.kind == RuleSearch::Kind::none || step.end > to)) {
                    pass.outcome = PassOutcome::toMoved;
                    return pass;
                }
                if (step.kind == RuleSearch::Kind::none)
                    break;
                if (!atLast && step.start >= checkpoints[checkpoint]) {
                    // Not clean at the checkpoint, and the next match lies
                    // after it: the checkpoints up to it may stand clean.
                    NBERuleMark &mark = pass.marks[checkpoint * size_t(crossingCount) + size_t(k)];
                    mark = {};
                    mark.origin = search->position();
                    mark.start = step.start;
                    mark.end = step.end;
                    pending.push_back(checkpoint++);
                    continue;
                }
                previousEnd = search->position();
                search->take();
                start = step.start;
                end = step.end;
            } else {
                if (!matches->hasNext())
                    break;
                const QRegularExpressionMatch match = matches->next();
                start = match.capturedStart(0);
                end = match.capturedEnd(0);
                if (k >= 0 && end <= start)
                    continue;
            }
            if (followed) {
                if (first && before) {
                    if (end <= from || (start < from) != spannedFrom ||
                        (spannedFrom && start != before->start)) {
                        pass.outcome = PassOutcome::fromMoved;
                        return pass;
                    }
                }
                for (; checkpoint < checkpoints.size() && checkpoints[checkpoint] < end;
                     ++checkpoint) {
                    const qsizetype at = checkpoints[checkpoint];
                    NBERuleMark &mark = pass.marks[checkpoint * size_t(crossingCount) + size_t(k)];
                    mark.origin = previousEnd;
                    mark.start = start;
                    mark.end = end;
                    if (start < at) {
                        const qsizetype left = std::max(start, from);
                        mark.clearBefore = (start >= from || before->clearBefore) &&
                                           !anyClaimed(claims.data() + (left - from), at - left);
                    }
                    pending.push_back(checkpoint);
                }
            }
            first = false;
            if (start >= to)
                break;
            const qsizetype left = std::max(start, from);
            const qsizetype right = std::min(end, to);
            const bool freeLeft = start >= from || before->clearBefore;
            bool accepted = freeLeft && !anyClaimed(claims.data() + (left - from), right - left);
            if (after && end > to) {
                if (freeLeft && !anyClaimed(claims.data() + (left - from), to - left)) {
                    if (!after->clearBefore) {
                        pass.outcome = PassOutcome::toMoved;
                        return pass;
                    }
                } else if (after->clearBefore) {
                    pass.outcome = PassOutcome::toMoved;
                    return pass;
                }
                accepted = after->accepted;
            }
            if (start < from && accepted != before->accepted) {
                pass.outcome = PassOutcome::fromMoved;
                return pass;
            }
            for (size_t index : pending)
                pass.marks[index * size_t(crossingCount) + size_t(k)].accepted = accepted;
            pending.clear();
            if (!accepted || right <= left)
                continue;
            unsigned char *marks = claims.data() + (left - from);
            marks[0] = code | tokenStart;
            std::memset(marks + 1, code, static_cast<size_t>(right - left - 1));
            ++count;
        }
        if (first && spannedFrom) {
            pass.outcome = PassOutcome::fromMoved;
            return pass;
        }
        if (followed) {
            for (; checkpoint < checkpoints.size(); ++checkpoint) {
                NBERuleMark &mark = pass.marks[checkpoint * size_t(crossingCount) + size_t(k)];
                mark.origin = search->position();
            }
        }
    }

    pass.tokens.reserve(count);
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
        pass.tokens.append(NBEToken{from + i, end - i, type});
        i = end;
    }
    return pass;
}

QList<NBEToken> tokenizeView(QStringView text, const NBELanguage &language, qsizetype base)
{
    QString repaired;
    if (!isValidUtf16(text)) {
        repaired = withoutLoneSurrogates(text);
        text = repaired;
    }
    QList<NBEToken> tokens = claimTokens(text, compiledRules(language, !isAscii(text)), 0,
                                         text.size(), nullptr, nullptr, {})
                                 .tokens;
    for (NBEToken &token : tokens)
        token.location += base;
    return tokens;
}

// How a rule's search stands at a line start while the new text is walked
// past the edit: clean there, or with the first match that ends after it
// (-1, -1: none).
struct Standing
{
    bool clean = false;
    qsizetype start = -1;
    qsizetype end = -1;
    bool empty = false;
};

Standing standingAt(RuleSearch &search, qsizetype at)
{
    for (;;) {
        const RuleSearch::Step step = search.toward(at);
        switch (step.kind) {
        case RuleSearch::Kind::clean:
            return {true};
        case RuleSearch::Kind::empty:
            return {false, -1, -1, true};
        case RuleSearch::Kind::none:
            return {};
        case RuleSearch::Kind::match:
            if (step.end > at)
                return {false, step.start, step.end};
            search.take();
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
    const CompiledRules rules = compiledRules(language, state->unicode);
    std::vector<qsizetype> checkpoints = checkpointsIn(text, 0, text.size());
    Pass pass = claimTokens(text, rules, 0, text.size(), nullptr, nullptr, checkpoints);
    if (pass.outcome == PassOutcome::done && rules.followable) {
        state->checkpoints = std::move(checkpoints);
        state->marks = std::move(pass.marks);
        state->ruleCount = rules.crossingCount;
        state->reusable = true;
    } else if (pass.outcome != PassOutcome::done) {
        return tokenize(text, language);
    }
    return pass.tokens;
}

namespace {

// Where an old offset lies in the new text: before the edit it stays, after
// it it moves by the change in length; inside what was removed it has none.
std::optional<qsizetype> moved(qsizetype offset, qsizetype position, qsizetype removed,
                               qsizetype shift)
{
    if (offset < position)
        return offset;
    if (offset >= position + removed)
        return offset + shift;
    return std::nullopt;
}

// A checkpoint that a redo may start from for an edit at `position`: a line
// of it before the edit holds more than white space, so no rule's lookahead
// from a match before the checkpoint (white space, then one character)
// reached the edit.
bool canStartBefore(QStringView text, qsizetype checkpoint, qsizetype position)
{
    if (checkpoint == 0)
        return true;
    for (qsizetype i = checkpoint; i < position; ++i) {
        if (!text[i].isSpace())
            return true;
    }
    return false;
}

} // namespace

NBERetokenization NBESyntaxHighlighter::retokenize(const QString &text, const NBELanguage &language,
                                                   const NBETokenizerState &before,
                                                   qsizetype position, qsizetype removed,
                                                   qsizetype added)
{
    const qsizetype n = text.size();
    NBERetokenization result;
    auto whole = [&] {
        result.from = 0;
        result.to = n;
        result.tokens = tokenize(text, language, &result.state);
        return result;
    };
    // The units around the edit decide whether it split a surrogate pair.
    const qsizetype near = std::clamp<qsizetype>(position - 1, 0, n);
    const bool fits = position >= 0 && removed >= 0 && added >= 0 && position + added <= n;
    const bool unicode =
        before.unicode || (fits && !isAscii(QStringView(text).sliced(position, added)));
    const CompiledRules rules = compiledRules(language, unicode);
    const std::vector<qsizetype> &old = before.checkpoints;
    const qsizetype ruleCount = before.ruleCount;
    if (!before.reusable || !fits || !rules.followable || rules.crossingCount != ruleCount ||
        old.empty() || before.marks.size() != old.size() * size_t(ruleCount) ||
        !isValidUtf16(QStringView(text).sliced(near, std::min(position + added + 1, n) - near)))
        return whole();
    const qsizetype shift = added - removed;
    const qsizetype editEnd = position + removed; // in the old text
    auto marksAt = [&](size_t checkpoint) { return before.marks.data() + checkpoint * ruleCount; };
    auto usable = [&](size_t checkpoint) {
        const NBERuleMark *marks = marksAt(checkpoint);
        return std::none_of(marks, marks + ruleCount,
                            [](const NBERuleMark &mark) { return mark.origin < 0; });
    };

    // From the last checkpoint before the edit that the edit can't have
    // reached back to; a start whose first matches came out otherwise moves
    // to the one before.
    size_t first = size_t(std::upper_bound(old.begin(), old.end(), position) - old.begin()) - 1;
    for (int tries = 0; tries < 6; ++tries) {
        while (first > 0 && (!canStartBefore(text, old[first], position) || !usable(first)))
            --first;
        const qsizetype from = old[first];
        // (The text's start is a start for every search.)
        const NBERuleMark *atFrom = first > 0 ? marksAt(first) : nullptr;

        // Each line-crossing rule is followed through the new text; the
        // stretch ends at the first old checkpoint past the edit where every
        // one stands as before: clean, or with the same next match (so the
        // same searches after it), and where the units before it leave the
        // matches across it as free as before.
        std::vector<RuleSearch> cursors;
        cursors.reserve(size_t(ruleCount));
        for (qsizetype r = 0; r < rules.expressions.size(); ++r) {
            if (const int k = rules.crossing[r]; k >= 0)
                cursors.emplace_back(text, *rules.expressions[r], atFrom ? atFrom[k].origin : 0);
        }
        size_t last = size_t(std::upper_bound(old.begin(), old.end(), editEnd) - old.begin());
        bool fromMoved = false;
        for (;; ++last) {
            qsizetype to = n;
            const NBERuleMark *atTo = nullptr;
            std::vector<NBERuleMark> toMarks;
            for (; last < old.size(); ++last) {
                const qsizetype candidate = old[last] + shift;
                if (candidate <= position + added)
                    continue;
                if (!usable(last))
                    continue;
                const NBERuleMark *marks = marksAt(last);
                bool same = true;
                toMarks.assign(marks, marks + ruleCount);
                for (qsizetype k = 0; k < ruleCount && same; ++k) {
                    const Standing now = standingAt(cursors[size_t(k)], candidate);
                    if (now.empty)
                        return whole();
                    NBERuleMark &mark = toMarks[size_t(k)];
                    if (mark.clean || now.clean) {
                        same = mark.clean && now.clean;
                        mark.origin = candidate;
                        continue;
                    }
                    if (mark.start < 0) {
                        same = now.start < 0;
                        continue;
                    }
                    const std::optional<qsizetype> movedStart =
                        moved(mark.start, position, removed, shift);
                    same = movedStart && now.start == *movedStart && now.end == mark.end + shift;
                    mark.start = now.start;
                    mark.end = now.end;
                }
                if (same) {
                    to = candidate;
                    atTo = toMarks.data();
                    break;
                }
            }
            std::vector<qsizetype> checkpoints = checkpointsIn(text, from, to);
            Pass pass = claimTokens(text, rules, from, to, atFrom, atTo, checkpoints);
            if (pass.outcome == PassOutcome::unfollowable)
                return whole();
            if (pass.outcome == PassOutcome::fromMoved) {
                fromMoved = true;
                break;
            }
            if (pass.outcome == PassOutcome::toMoved)
                continue;

            result.from = from;
            result.to = to;
            result.tokens = std::move(pass.tokens);
            NBETokenizerState &state = result.state;
            state.unicode = unicode;
            state.reusable = true;
            state.ruleCount = ruleCount;
            state.checkpoints.assign(old.begin(), old.begin() + first);
            state.marks.assign(before.marks.begin(),
                               before.marks.begin() + first * size_t(ruleCount));
            // A checkpoint before `from` whose rule's next match ends after
            // `from` has the next match the new search has there, which may
            // lie in the stretch and have changed. (When it reaches back over
            // `from` it starts and is claimed as before, so the part before
            // the checkpoint is as free as before.) Where the new search
            // stands clean at `from`, that match isn't known: the checkpoint
            // is no longer used.
            for (size_t i = 0; i < first; ++i) {
                for (qsizetype k = 0; k < ruleCount; ++k) {
                    NBERuleMark &mark = state.marks[i * size_t(ruleCount) + size_t(k)];
                    if (mark.clean || mark.origin < 0 || (mark.start >= 0 && mark.end <= from))
                        continue;
                    const NBERuleMark &now = pass.marks[size_t(k)];
                    if (now.clean) {
                        mark.origin = -1;
                        continue;
                    }
                    if (now.start < 0 || now.start >= old[i])
                        mark.clearBefore = false;
                    mark.start = now.start;
                    mark.end = now.end;
                    mark.accepted = now.accepted;
                }
            }
            state.checkpoints.insert(state.checkpoints.end(), checkpoints.begin(),
                                     checkpoints.end());
            state.marks.insert(state.marks.end(), pass.marks.begin(), pass.marks.end());
            // The old checkpoints from `to` on, moved. Where a rule's search
            // still starts from where it started at `to`, it starts where the
            // new search does: the match before `to` may have changed or gone
            // (only how it stands at `to` was compared), and a later edit
            // reads the origin back.
            // Up to the end of a rule's next match after `to` (to the end of
            // the text when it has none), an attempt before `to` may now read
            // on past a checkpoint where it didn't before: there the rule's
            // standing is taken anew.
            for (size_t i = last; i < old.size() && to < n; ++i) {
                const qsizetype at = old[i] + shift;
                state.checkpoints.push_back(at);
                const NBERuleMark *marks = marksAt(i);
                for (qsizetype k = 0; k < ruleCount; ++k) {
                    NBERuleMark mark = marks[k];
                    const NBERuleMark &atTo = toMarks[size_t(k)];
                    if (i > last && !atTo.clean && (atTo.start < 0 || at < atTo.end)) {
                        const Standing now = standingAt(cursors[size_t(k)], at);
                        if (now.empty)
                            return whole();
                        NBERuleMark fresh;
                        fresh.origin = now.clean ? at : cursors[size_t(k)].position();
                        fresh.clean = now.clean;
                        fresh.start = now.start;
                        fresh.end = now.end;
                        if (!now.clean && !mark.clean && mark.origin >= 0) {
                            // The same match as before.
                            fresh.clearBefore = mark.clearBefore;
                            fresh.accepted = mark.accepted;
                        } else if (now.start >= 0 && now.start < at) {
                            fresh.origin = -1;
                        }
                        state.marks.push_back(fresh);
                        continue;
                    }
                    if (mark.origin < 0) {
                        state.marks.push_back(mark);
                        continue;
                    }
                    // A search that went on from before `to` goes on from
                    // where the new one stands at `to` or ends its match
                    // across it: a place before may have changed.
                    const qsizetype resumed =
                        atTo.clean ? old[last] : marksAt(last)[k].end; // (old offsets)
                    if (i == last)
                        mark.origin = cursors[size_t(k)].position();
                    else if (!mark.clean && mark.origin < resumed)
                        mark.origin = atTo.clean ? to : atTo.end;
                    else
                        mark.origin += shift;
                    if (mark.start >= 0) {
                        // (A match after `to` begins after the edit.)
                        mark.start = moved(mark.start, position, removed, shift)
                                         .value_or(mark.start + shift);
                        mark.end += shift;
                    }
                    state.marks.push_back(mark);
                }
            }
            return result;
        }
        if (!fromMoved || first == 0)
            break;
        --first;
    }
    return whole();
}

QList<QTextLayout::FormatRange> NBESyntaxHighlighter::attributedLine(
    const QString &line, const std::optional<NBELanguage> &language, const NBETheme &theme)
{
    if (line.isEmpty())
        return {};
    const QList<NBEToken> tokens = language ? tokenize(line, *language) : QList<NBEToken>();
    return coveringRuns(line.size(), tokens, theme, colourFormat);
}
