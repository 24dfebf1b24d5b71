// How the tokenizer works
//
// A language is an ordered list of token rules (regular expressions with a
// token type, in NBELanguageRegistry.cpp). A whole pass (`tokenize`) runs
// them in order over the whole text; a match is dropped whole when any of its
// units was already claimed by an earlier rule, so the first rule wins every
// overlap. The steps, top to bottom in this file:
//   - CompiledRules: the rules compiled once per thread, and which of them can
//     read across a line end (only those matter after an edit: the others
//     start afresh at every line).
//   - Checkpoints (`checkpointsIn`): line starts about every 2,000 units,
//     preferably after a line that ends cleanly (">", ";", "}" ...).
//   - RuleSearch: one rule's search, match by match, which also tells where it
//     stands *clean*: a cut no earlier attempt read past, so a search started
//     there goes on exactly as the whole one.
//   - ClaimPass: claims every rule's matches over a stretch and records at each
//     checkpoint a mark per line-crossing rule (NBERuleMark: its next match, or
//     "clean").
//   - StretchRedo (`retokenize`): after an edit, starts from a checkpoint before
//     it, walks forward until every line-crossing rule stands at an old
//     checkpoint exactly as its mark says, and answers only that stretch; the
//     rest keeps the old tokens, moved by the edit. When a mark can't be
//     matched (a rule that looks behind, a lone surrogate) it falls back to a
//     whole pass.
// The guard is differential: NBESyntaxHighlighterTest checks that every
// retokenization, and chains of edits, equal a whole pass of the edited text
// (RetokenizingAnEditEqualsAWholePass, EditsAfterEditsColourAsAWholePass),
// and fuzz/NBEIncrementalHighlightFuzz.cpp does the same on random edits.

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

// The units of a match, start to end.
struct Span
{
    qsizetype start = -1;
    qsizetype end = -1;
};

// One rule's walk through a pass: where it stood at both ends before, and
// how far its matches have come.
struct RuleWalk
{
    int k = -1; // index among the line-crossing rules, or -1
    unsigned char code = 0;
    const NBERuleMark *before = nullptr;
    const NBERuleMark *after = nullptr;
    // Its match across `from` began before it.
    bool spannedFrom = false;
    // Searched match by match and cut at each checkpoint, or in one go.
    bool followed = false;
    std::optional<RuleSearch> search;
    std::optional<QRegularExpressionMatchIterator> matches;
    size_t checkpoint = 0; // the first checkpoint not marked yet
    qsizetype previousEnd = 0;
    bool first = true;
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
class ClaimPass
{
public:
    ClaimPass(QStringView text, const CompiledRules &rules, qsizetype from, qsizetype to,
              const NBERuleMark *atFrom, const NBERuleMark *atTo,
              const std::vector<qsizetype> &checkpoints)
        : m_text(text)
        , m_rules(rules)
        , m_from(from)
        , m_to(to)
        , m_atFrom(atFrom)
        , m_atTo(atTo)
        , m_checkpoints(checkpoints)
        , m_claims(static_cast<size_t>(std::max<qsizetype>(to - from, 0)), 0)
    {
        m_pass.marks.resize(checkpoints.size() * size_t(rules.crossingCount));
    }

    Pass run()
    {
        for (qsizetype r = 0; r < m_rules.expressions.size(); ++r) {
            if (m_rules.expressions[r] && !claimRule(r))
                return std::move(m_pass);
        }
        m_pass.tokens = tokens();
        return std::move(m_pass);
    }

private:
    // False when the pass gives up (its outcome says why).
    bool claimRule(qsizetype r)
    {
        RuleWalk walk = walkOf(r);
        m_pending.clear();
        while (const std::optional<Span> match = nextMatch(walk)) {
            if (walk.followed && !markCheckpointsUnder(walk, *match))
                return false;
            walk.first = false;
            if (match->start >= m_to)
                break;
            const std::optional<bool> accepted = acceptance(walk, *match);
            if (!accepted)
                return false;
            for (size_t index : m_pending)
                markOf(index, walk.k).accepted = *accepted;
            m_pending.clear();
            if (*accepted)
                claim(*match, walk.code);
        }
        if (m_pass.outcome != PassOutcome::done)
            return false;
        if (walk.first && walk.spannedFrom) {
            m_pass.outcome = PassOutcome::fromMoved;
            return false;
        }
        for (; walk.followed && walk.checkpoint < m_checkpoints.size(); ++walk.checkpoint)
            markOf(walk.checkpoint, walk.k).origin = walk.search->position();
        return true;
    }

    RuleWalk walkOf(qsizetype r) const
    {
        RuleWalk walk;
        walk.k = m_rules.crossing[r];
        walk.code = m_rules.codes[r];
        walk.before = walk.k >= 0 && m_atFrom ? m_atFrom + walk.k : nullptr;
        walk.after = walk.k >= 0 && m_atTo ? m_atTo + walk.k : nullptr;
        walk.spannedFrom = walk.before && walk.before->start >= 0 && walk.before->start < m_from;
        walk.followed = walk.k >= 0 && (m_atFrom || !m_checkpoints.empty());
        const qsizetype origin = walk.before ? walk.before->origin : m_from;
        walk.previousEnd = origin;
        const QRegularExpression &expression = *m_rules.expressions[r];
        if (walk.followed) {
            walk.search.emplace(m_text, expression, origin);
        } else {
            // A rule that can't read across a line end reads nothing from
            // `to` (a line start) on.
            const QStringView subject = walk.k >= 0 ? m_text : m_text.first(m_to);
            walk.matches =
                expression.globalMatch(subject, origin, QRegularExpression::NormalMatch,
                                       QRegularExpression::DontCheckSubjectStringMatchOption);
        }
        return walk;
    }

    // The rule's next match; none at the end, or when the pass gives up.
    std::optional<Span> nextMatch(RuleWalk &walk)
    {
        if (walk.followed)
            return nextFollowedMatch(walk);
        while (walk.matches->hasNext()) {
            const QRegularExpressionMatch match = walk.matches->next();
            const Span span{match.capturedStart(0), match.capturedEnd(0)};
            if (walk.k < 0 || span.end > span.start)
                return span;
        }
        return std::nullopt;
    }

    // The same for a rule followed across checkpoints, which marks those it
    // stands clean at, and those that lie before its next match.
    std::optional<Span> nextFollowedMatch(RuleWalk &walk)
    {
        const bool cleanAtTo = walk.after && walk.after->clean;
        for (;;) {
            const bool atLast = walk.checkpoint == m_checkpoints.size();
            const qsizetype cut = !atLast ? m_checkpoints[walk.checkpoint] : cleanAtTo ? m_to : -1;
            const RuleSearch::Step step = walk.search->toward(cut);
            if (step.kind == RuleSearch::Kind::empty) {
                // An empty match hides the search after it from the marks.
                m_pass.outcome = PassOutcome::unfollowable;
                return std::nullopt;
            }
            if (step.kind == RuleSearch::Kind::clean && atLast)
                return std::nullopt;
            if (step.kind == RuleSearch::Kind::clean) {
                NBERuleMark &mark = markOf(walk.checkpoint, walk.k);
                mark = {};
                mark.origin = m_checkpoints[walk.checkpoint++];
                mark.clean = true;
                continue;
            }
            if (atLast && cleanAtTo && (step.kind == RuleSearch::Kind::none || step.end > m_to)) {
                m_pass.outcome = PassOutcome::toMoved;
                return std::nullopt;
            }
            if (step.kind == RuleSearch::Kind::none)
                return std::nullopt;
            if (!atLast && step.start >= cut) {
                // Not clean at the checkpoint, and the next match lies after
                // it: the checkpoints up to it may stand clean.
                NBERuleMark &mark = markOf(walk.checkpoint, walk.k);
                mark = {};
                mark.origin = walk.search->position();
                mark.start = step.start;
                mark.end = step.end;
                m_pending.push_back(walk.checkpoint++);
                continue;
            }
            walk.previousEnd = walk.search->position();
            walk.search->take();
            return Span{step.start, step.end};
        }
    }

    // Marks the checkpoints the match reaches over; false (`fromMoved`)
    // when the rule's first match doesn't stand at `from` as it did.
    bool markCheckpointsUnder(RuleWalk &walk, Span match)
    {
        if (walk.first && walk.before &&
            (match.end <= m_from || (match.start < m_from) != walk.spannedFrom ||
             (walk.spannedFrom && match.start != walk.before->start))) {
            m_pass.outcome = PassOutcome::fromMoved;
            return false;
        }
        for (; walk.checkpoint < m_checkpoints.size() && m_checkpoints[walk.checkpoint] < match.end;
             ++walk.checkpoint) {
            const qsizetype at = m_checkpoints[walk.checkpoint];
            NBERuleMark &mark = markOf(walk.checkpoint, walk.k);
            mark.origin = walk.previousEnd;
            mark.start = match.start;
            mark.end = match.end;
            if (match.start < at)
                mark.clearBefore = freeBefore(walk, match) && isFree(match, at);
            m_pending.push_back(walk.checkpoint);
        }
        return true;
    }

    // Whether the match becomes a token: its units up to `to` are free, but
    // one across `to` is taken as before once the units before `to` leave it
    // as free as before (else `toMoved`), and one across `from` must be taken
    // as before (else `fromMoved`). None when the pass gives up.
    std::optional<bool> acceptance(const RuleWalk &walk, Span match)
    {
        bool accepted = freeBefore(walk, match) && isFree(match, std::min(match.end, m_to));
        if (walk.after && match.end > m_to) {
            if ((freeBefore(walk, match) && isFree(match, m_to)) != walk.after->clearBefore) {
                m_pass.outcome = PassOutcome::toMoved;
                return std::nullopt;
            }
            accepted = walk.after->accepted;
        }
        if (match.start < m_from && accepted != walk.before->accepted) {
            m_pass.outcome = PassOutcome::fromMoved;
            return std::nullopt;
        }
        return accepted;
    }

    // Whether the part of the match before `from` was free when it was
    // claimed (it has none when it starts in the stretch).
    bool freeBefore(const RuleWalk &walk, Span match) const
    {
        return match.start >= m_from || walk.before->clearBefore;
    }

    // Whether the match's units in the stretch up to `end` are unclaimed.
    bool isFree(Span match, qsizetype end) const
    {
        const qsizetype left = std::max(match.start, m_from);
        return !anyClaimed(m_claims.data() + (left - m_from), end - left);
    }

    void claim(Span match, unsigned char code)
    {
        const qsizetype left = std::max(match.start, m_from);
        const qsizetype right = std::min(match.end, m_to);
        if (right <= left)
            return;
        unsigned char *marks = m_claims.data() + (left - m_from);
        marks[0] = code | tokenStart;
        std::memset(marks + 1, code, static_cast<size_t>(right - left - 1));
        ++m_count;
    }

    NBERuleMark &markOf(size_t checkpoint, int k)
    {
        return m_pass.marks[checkpoint * size_t(m_rules.crossingCount) + size_t(k)];
    }

    // The claimed units read back as tokens, in order.
    QList<NBEToken> tokens() const
    {
        QList<NBEToken> tokens;
        tokens.reserve(m_count);
        const unsigned char *marks = m_claims.data();
        const qsizetype n = qsizetype(m_claims.size());
        for (qsizetype i = 0; i < n;) {
            if (!(marks[i] & tokenStart)) {
                ++i;
                continue;
            }
            const auto type = static_cast<NBETokenType>((marks[i] & ~tokenStart) - 1);
            qsizetype end = i + 1;
            while (end < n && marks[end] && !(marks[end] & tokenStart))
                ++end;
            tokens.append(NBEToken{m_from + i, end - i, type});
            i = end;
        }
        return tokens;
    }

    QStringView m_text;
    const CompiledRules &m_rules;
    qsizetype m_from;
    qsizetype m_to;
    const NBERuleMark *m_atFrom;
    const NBERuleMark *m_atTo;
    const std::vector<qsizetype> &m_checkpoints;
    Pass m_pass;
    std::vector<unsigned char> m_claims;
    // Checkpoints whose match is the one to be claimed next: they record
    // whether it was.
    std::vector<size_t> m_pending;
    qsizetype m_count = 0;
};

Pass claimTokens(QStringView text, const CompiledRules &rules, qsizetype from, qsizetype to,
                 const NBERuleMark *atFrom, const NBERuleMark *atTo,
                 const std::vector<qsizetype> &checkpoints)
{
    if (to - from < 1 && checkpoints.empty())
        return {};
    return ClaimPass(text, rules, from, to, atFrom, atTo, checkpoints).run();
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

// Whether what a tokenization left can be followed through an edit that put
// `added` units at `position`: it came from rules that can be followed, the
// same ones, and the edit split no surrogate pair (the units around it
// decide).
bool canFollow(QStringView text, const CompiledRules &rules, const NBETokenizerState &before,
               qsizetype position, qsizetype added)
{
    const qsizetype n = text.size();
    const qsizetype near = std::clamp<qsizetype>(position - 1, 0, n);
    return before.reusable && rules.followable && rules.crossingCount == before.ruleCount &&
           !before.checkpoints.empty() &&
           before.marks.size() == before.checkpoints.size() * size_t(before.ruleCount) &&
           isValidUtf16(text.sliced(near, std::min(position + added + 1, n) - near));
}

// Where a redone stretch ends: at old checkpoint `last`, moved to `to`,
// where every line-crossing rule stands as `marks` say (`found`), or at the
// text's end.
struct StretchEnd
{
    size_t last = 0;
    qsizetype to = 0;
    bool found = false;
    std::vector<NBERuleMark> marks;
};

// A redo from one start: the stretch redone (`done`), or why not:
// `fromMoved` (an earlier start may do), `unfollowable` (only a whole
// tokenization will do).
struct Attempt
{
    PassOutcome outcome = PassOutcome::unfollowable;
    NBERetokenization result;
};

// Redoes the stretch of an edited text that the edit can have changed,
// following the searches of the earlier text's tokenization (`before`).
class StretchRedo
{
public:
    StretchRedo(const QString &text, const CompiledRules &rules, const NBETokenizerState &before,
                qsizetype position, qsizetype removed, qsizetype added, bool unicode)
        : m_text(text)
        , m_rules(rules)
        , m_before(before)
        , m_old(before.checkpoints)
        , m_ruleCount(before.ruleCount)
        , m_position(position)
        , m_removed(removed)
        , m_added(added)
        , m_shift(added - removed)
        , m_unicode(unicode)
    {}

    // None when only a whole tokenization will do.
    std::optional<NBERetokenization> run() const
    {
        // From the last checkpoint before the edit that the edit can't have
        // reached back to; a start whose first matches came out otherwise
        // moves to the one before.
        size_t first =
            size_t(std::upper_bound(m_old.begin(), m_old.end(), m_position) - m_old.begin()) - 1;
        for (int tries = 0; tries < 6; ++tries) {
            while (first > 0 &&
                   (!canStartBefore(m_text, m_old[first], m_position) || !usable(first)))
                --first;
            Attempt attempt = redoFrom(first);
            if (attempt.outcome == PassOutcome::done)
                return std::move(attempt.result);
            if (attempt.outcome != PassOutcome::fromMoved || first == 0)
                return std::nullopt;
            --first;
        }
        return std::nullopt;
    }

private:
    Attempt redoFrom(size_t first) const
    {
        const qsizetype from = m_old[first];
        // (The text's start is a start for every search.)
        const NBERuleMark *atFrom = first > 0 ? marksAt(first) : nullptr;
        std::vector<RuleSearch> cursors = cursorsFrom(atFrom);
        StretchEnd end;
        const qsizetype editEnd = m_position + m_removed; // in the old text
        end.last = size_t(std::upper_bound(m_old.begin(), m_old.end(), editEnd) - m_old.begin());
        for (;; ++end.last) {
            if (!findEnd(cursors, end))
                return {};
            const std::vector<qsizetype> checkpoints = checkpointsIn(m_text, from, end.to);
            Pass pass = claimTokens(m_text, m_rules, from, end.to, atFrom,
                                    end.found ? end.marks.data() : nullptr, checkpoints);
            if (pass.outcome == PassOutcome::toMoved)
                continue;
            if (pass.outcome != PassOutcome::done)
                return {pass.outcome};
            std::optional<NBERetokenization> result =
                stretch(first, from, end, cursors, std::move(pass), checkpoints);
            if (!result)
                return {};
            return {PassOutcome::done, std::move(*result)};
        }
    }

    // A search of each line-crossing rule from where it stood at `atFrom`.
    std::vector<RuleSearch> cursorsFrom(const NBERuleMark *atFrom) const
    {
        std::vector<RuleSearch> cursors;
        cursors.reserve(size_t(m_ruleCount));
        for (qsizetype r = 0; r < m_rules.expressions.size(); ++r) {
            if (const int k = m_rules.crossing[r]; k >= 0)
                cursors.emplace_back(m_text, *m_rules.expressions[r],
                                     atFrom ? atFrom[k].origin : 0);
        }
        return cursors;
    }

    // Each line-crossing rule is followed through the new text; the stretch
    // ends at the first old checkpoint from `end.last` on past the edit
    // where every one stands as before: clean, or with the same next match
    // (so the same searches after it), and where the units before it leave
    // the matches across it as free as before. False when a rule matched
    // nothing.
    bool findEnd(std::vector<RuleSearch> &cursors, StretchEnd &end) const
    {
        end.to = m_text.size();
        end.found = false;
        for (; end.last < m_old.size(); ++end.last) {
            const qsizetype candidate = m_old[end.last] + m_shift;
            if (candidate <= m_position + m_added || !usable(end.last))
                continue;
            const std::optional<bool> same =
                standsAsBefore(cursors, end.last, candidate, end.marks);
            if (!same)
                return false;
            if (*same) {
                end.to = candidate;
                end.found = true;
                return true;
            }
        }
        return true;
    }

    // Whether every rule stands at `at` (old checkpoint `i`, moved) as it
    // stood there; `marks` become the old marks there with the new matches.
    // None when a rule matched nothing.
    std::optional<bool> standsAsBefore(std::vector<RuleSearch> &cursors, size_t i, qsizetype at,
                                       std::vector<NBERuleMark> &marks) const
    {
        const NBERuleMark *old = marksAt(i);
        marks.assign(old, old + m_ruleCount);
        bool same = true;
        for (qsizetype k = 0; k < m_ruleCount && same; ++k) {
            const Standing now = standingAt(cursors[size_t(k)], at);
            if (now.empty)
                return std::nullopt;
            NBERuleMark &mark = marks[size_t(k)];
            if (mark.clean || now.clean) {
                same = mark.clean && now.clean;
                mark.origin = at;
                continue;
            }
            if (mark.start < 0) {
                same = now.start < 0;
                continue;
            }
            const std::optional<qsizetype> movedStart =
                moved(mark.start, m_position, m_removed, m_shift);
            same = movedStart && now.start == *movedStart && now.end == mark.end + m_shift;
            mark.start = now.start;
            mark.end = now.end;
        }
        return same;
    }

    // The result of a pass from `from`: the old checkpoints before it, the
    // pass's, and the old ones from the stretch's end on, moved. None when a
    // rule matched nothing.
    std::optional<NBERetokenization> stretch(size_t first, qsizetype from, const StretchEnd &end,
                                             std::vector<RuleSearch> &cursors, Pass pass,
                                             const std::vector<qsizetype> &checkpoints) const
    {
        NBERetokenization result;
        result.from = from;
        result.to = end.to;
        result.tokens = std::move(pass.tokens);
        NBETokenizerState &state = result.state;
        state.unicode = m_unicode;
        state.reusable = true;
        state.ruleCount = m_ruleCount;
        keepBefore(state, first, from, pass.marks);
        state.checkpoints.insert(state.checkpoints.end(), checkpoints.begin(), checkpoints.end());
        state.marks.insert(state.marks.end(), pass.marks.begin(), pass.marks.end());
        if (!moveAfter(state, cursors, end))
            return std::nullopt;
        return result;
    }

    // The old checkpoints before `from`. One whose rule's next match ends
    // after `from` has the next match the new search has there (`atFrom`),
    // which may lie in the stretch and have changed. (When it reaches back
    // over `from` it starts and is claimed as before, so the part before the
    // checkpoint is as free as before.) Where the new search stands clean at
    // `from`, that match isn't known: the checkpoint is no longer used.
    void keepBefore(NBETokenizerState &state, size_t first, qsizetype from,
                    const std::vector<NBERuleMark> &atFrom) const
    {
        state.checkpoints.assign(m_old.begin(), m_old.begin() + first);
        state.marks.assign(m_before.marks.begin(),
                           m_before.marks.begin() + first * size_t(m_ruleCount));
        for (size_t i = 0; i < first; ++i) {
            for (qsizetype k = 0; k < m_ruleCount; ++k) {
                NBERuleMark &mark = state.marks[i * size_t(m_ruleCount) + size_t(k)];
                if (mark.clean || mark.origin < 0 || (mark.start >= 0 && mark.end <= from))
                    continue;
                const NBERuleMark &now = atFrom[size_t(k)];
                if (now.clean) {
                    mark.origin = -1;
                    continue;
                }
                if (now.start < 0 || now.start >= m_old[i])
                    mark.clearBefore = false;
                mark.start = now.start;
                mark.end = now.end;
                mark.accepted = now.accepted;
            }
        }
    }

    // The old checkpoints from the stretch's end on, moved. Up to the end of
    // a rule's next match after `to` (to the end of the text when it has
    // none), an attempt before `to` may now read on past a checkpoint where
    // it didn't before: there the rule's standing is taken anew. False when
    // a rule matched nothing.
    bool moveAfter(NBETokenizerState &state, std::vector<RuleSearch> &cursors,
                   const StretchEnd &end) const
    {
        for (size_t i = end.last; i < m_old.size() && end.to < m_text.size(); ++i) {
            const qsizetype at = m_old[i] + m_shift;
            state.checkpoints.push_back(at);
            const NBERuleMark *marks = marksAt(i);
            for (qsizetype k = 0; k < m_ruleCount; ++k) {
                const NBERuleMark &atTo = end.marks[size_t(k)];
                if (i > end.last && !atTo.clean && (atTo.start < 0 || at < atTo.end)) {
                    const std::optional<NBERuleMark> fresh =
                        standingAnew(cursors[size_t(k)], at, marks[k]);
                    if (!fresh)
                        return false;
                    state.marks.push_back(*fresh);
                } else {
                    state.marks.push_back(movedMark(marks[k], i, k, cursors[size_t(k)], end));
                }
            }
        }
        return true;
    }

    // The mark at `at` of the rule `search` follows, from where it stands
    // there; the old mark's claim holds when it has the same match.
    static std::optional<NBERuleMark> standingAnew(RuleSearch &search, qsizetype at,
                                                   const NBERuleMark &old)
    {
        const Standing now = standingAt(search, at);
        if (now.empty)
            return std::nullopt;
        NBERuleMark fresh;
        fresh.origin = now.clean ? at : search.position();
        fresh.clean = now.clean;
        fresh.start = now.start;
        fresh.end = now.end;
        if (!now.clean && !old.clean && old.origin >= 0) {
            // The same match as before.
            fresh.clearBefore = old.clearBefore;
            fresh.accepted = old.accepted;
        } else if (now.start >= 0 && now.start < at) {
            fresh.origin = -1;
        }
        return fresh;
    }

    // An old mark at checkpoint `i`, from the stretch's end on, moved. Where
    // the rule's search still starts from where it started at `to`, it
    // starts where the new search does: the match before `to` may have
    // changed or gone (only how it stands at `to` was compared), and a later
    // edit reads the origin back.
    NBERuleMark movedMark(NBERuleMark mark, size_t i, qsizetype k, const RuleSearch &search,
                          const StretchEnd &end) const
    {
        if (mark.origin < 0)
            return mark;
        // A search that went on from before `to` goes on from where the new
        // one stands at `to` or ends its match across it: a place before may
        // have changed.
        const NBERuleMark &atTo = end.marks[size_t(k)];
        const qsizetype resumed =
            atTo.clean ? m_old[end.last] : marksAt(end.last)[k].end; // (old offsets)
        if (i == end.last)
            mark.origin = search.position();
        else if (!mark.clean && mark.origin < resumed)
            mark.origin = atTo.clean ? end.to : atTo.end;
        else
            mark.origin += m_shift;
        if (mark.start >= 0) {
            // (A match after `to` begins after the edit.)
            mark.start =
                moved(mark.start, m_position, m_removed, m_shift).value_or(mark.start + m_shift);
            mark.end += m_shift;
        }
        return mark;
    }

    const NBERuleMark *marksAt(size_t checkpoint) const
    {
        return m_before.marks.data() + checkpoint * size_t(m_ruleCount);
    }

    // Whether every rule's next match at the checkpoint is known.
    bool usable(size_t checkpoint) const
    {
        const NBERuleMark *marks = marksAt(checkpoint);
        return std::none_of(marks, marks + m_ruleCount,
                            [](const NBERuleMark &mark) { return mark.origin < 0; });
    }

    const QString &m_text;
    const CompiledRules &m_rules;
    const NBETokenizerState &m_before;
    const std::vector<qsizetype> &m_old; // the checkpoints of the earlier text
    qsizetype m_ruleCount;
    qsizetype m_position;
    qsizetype m_removed;
    qsizetype m_added;
    qsizetype m_shift;
    bool m_unicode;
};

} // namespace

NBERetokenization NBESyntaxHighlighter::retokenize(const QString &text, const NBELanguage &language,
                                                   const NBETokenizerState &before,
                                                   qsizetype position, qsizetype removed,
                                                   qsizetype added)
{
    const bool fits =
        position >= 0 && removed >= 0 && added >= 0 && position + added <= text.size();
    const bool unicode =
        before.unicode || (fits && !isAscii(QStringView(text).sliced(position, added)));
    const CompiledRules rules = compiledRules(language, unicode);
    if (fits && canFollow(text, rules, before, position, added)) {
        const StretchRedo redo(text, rules, before, position, removed, added, unicode);
        if (std::optional<NBERetokenization> redone = redo.run())
            return std::move(*redone);
    }
    NBERetokenization result;
    result.to = text.size();
    result.tokens = tokenize(text, language, &result.state);
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
