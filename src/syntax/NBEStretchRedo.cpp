#include "NBEStretchRedo.h"

#include <algorithm>
#include <utility>

namespace {

using NBETokenizer::RuleSearch;

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

} // namespace

// The private members are `inline` (only this file calls them): the
// compiler then folds each into its caller, which the redo after a
// keystroke measurably needs (bench/NBESyntaxHighlighterBench).
namespace NBETokenizer {

std::optional<NBERetokenization> StretchRedo::run() const
{
    // From the last checkpoint before the edit that the edit can't have
    // reached back to; a start whose first matches came out otherwise
    // moves to the one before.
    size_t first =
        size_t(std::upper_bound(m_old.begin(), m_old.end(), m_position) - m_old.begin()) - 1;
    for (int tries = 0; tries < 6; ++tries) {
        while (first > 0 && (!canStartBefore(m_text, m_old[first], m_position) || !usable(first)))
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

inline Attempt StretchRedo::redoFrom(size_t first) const
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

inline std::vector<RuleSearch> StretchRedo::cursorsFrom(const NBERuleMark *atFrom) const
{
    std::vector<RuleSearch> cursors;
    cursors.reserve(size_t(m_ruleCount));
    for (qsizetype r = 0; r < m_rules.expressions.size(); ++r) {
        if (const int k = m_rules.crossing[r]; k >= 0)
            cursors.emplace_back(m_text, *m_rules.expressions[r], atFrom ? atFrom[k].origin : 0);
    }
    return cursors;
}

inline bool StretchRedo::findEnd(std::vector<RuleSearch> &cursors, StretchEnd &end) const
{
    end.to = m_text.size();
    end.found = false;
    for (; end.last < m_old.size(); ++end.last) {
        const qsizetype candidate = m_old[end.last] + m_shift;
        if (candidate <= m_position + m_added || !usable(end.last))
            continue;
        const std::optional<bool> same = standsAsBefore(cursors, end.last, candidate, end.marks);
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

inline std::optional<bool> StretchRedo::standsAsBefore(std::vector<RuleSearch> &cursors, size_t i,
                                                       qsizetype at,
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

std::optional<NBERetokenization>
StretchRedo::stretch(size_t first, qsizetype from, const StretchEnd &end,
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

inline void StretchRedo::keepBefore(NBETokenizerState &state, size_t first, qsizetype from,
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

inline bool StretchRedo::moveAfter(NBETokenizerState &state, std::vector<RuleSearch> &cursors,
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

inline std::optional<NBERuleMark> StretchRedo::standingAnew(RuleSearch &search, qsizetype at,
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

inline NBERuleMark StretchRedo::movedMark(NBERuleMark mark, size_t i, qsizetype k,
                                          const RuleSearch &search, const StretchEnd &end) const
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

inline const NBERuleMark *StretchRedo::marksAt(size_t checkpoint) const
{
    return m_before.marks.data() + checkpoint * size_t(m_ruleCount);
}

inline bool StretchRedo::usable(size_t checkpoint) const
{
    const NBERuleMark *marks = marksAt(checkpoint);
    return std::none_of(marks, marks + m_ruleCount,
                        [](const NBERuleMark &mark) { return mark.origin < 0; });
}

} // namespace NBETokenizer
