#include "NBEClaimPass.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

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

} // namespace

// The private members are `inline` (only this file calls them): the
// compiler then folds each into its caller, which the redo after a
// keystroke measurably needs (bench/NBESyntaxHighlighterBench).
namespace NBETokenizer {

Pass ClaimPass::run()
{
    for (qsizetype r = 0; r < m_rules.expressions.size(); ++r) {
        if (m_rules.expressions[r] && !claimRule(r))
            return std::move(m_pass);
    }
    m_pass.tokens = tokens();
    return std::move(m_pass);
}

inline bool ClaimPass::claimRule(qsizetype r)
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

inline RuleWalk ClaimPass::walkOf(qsizetype r) const
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

inline std::optional<Span> ClaimPass::nextMatch(RuleWalk &walk)
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

inline std::optional<Span> ClaimPass::nextFollowedMatch(RuleWalk &walk)
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

inline bool ClaimPass::markCheckpointsUnder(RuleWalk &walk, Span match)
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

inline std::optional<bool> ClaimPass::acceptance(const RuleWalk &walk, Span match)
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

inline bool ClaimPass::freeBefore(const RuleWalk &walk, Span match) const
{
    return match.start >= m_from || walk.before->clearBefore;
}

inline bool ClaimPass::isFree(Span match, qsizetype end) const
{
    const qsizetype left = std::max(match.start, m_from);
    return !anyClaimed(m_claims.data() + (left - m_from), end - left);
}

inline void ClaimPass::claim(Span match, unsigned char code)
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

inline NBERuleMark &ClaimPass::markOf(size_t checkpoint, int k)
{
    return m_pass.marks[checkpoint * size_t(m_rules.crossingCount) + size_t(k)];
}

inline QList<NBEToken> ClaimPass::tokens() const
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

Pass claimTokens(QStringView text, const CompiledRules &rules, qsizetype from, qsizetype to,
                 const NBERuleMark *atFrom, const NBERuleMark *atTo,
                 const std::vector<qsizetype> &checkpoints)
{
    if (to - from < 1 && checkpoints.empty())
        return {};
    return ClaimPass(text, rules, from, to, atFrom, atTo, checkpoints).run();
}

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

} // namespace NBETokenizer
