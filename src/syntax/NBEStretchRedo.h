#pragma once

#include "NBEClaimPass.h"
#include "NBECompiledRules.h"
#include "NBERuleSearch.h"
#include "NBESyntaxHighlighter.h"

#include <QString>

#include <optional>
#include <vector>

namespace NBETokenizer {

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
    std::optional<NBERetokenization> run() const;

private:
    Attempt redoFrom(size_t first) const;

    // A search of each line-crossing rule from where it stood at `atFrom`.
    std::vector<RuleSearch> cursorsFrom(const NBERuleMark *atFrom) const;

    // Each line-crossing rule is followed through the new text; the stretch
    // ends at the first old checkpoint from `end.last` on past the edit
    // where every one stands as before: clean, or with the same next match
    // (so the same searches after it), and where the units before it leave
    // the matches across it as free as before. False when a rule matched
    // nothing.
    bool findEnd(std::vector<RuleSearch> &cursors, StretchEnd &end) const;

    // Whether every rule stands at `at` (old checkpoint `i`, moved) as it
    // stood there; `marks` become the old marks there with the new matches.
    // None when a rule matched nothing.
    std::optional<bool> standsAsBefore(std::vector<RuleSearch> &cursors, size_t i, qsizetype at,
                                       std::vector<NBERuleMark> &marks) const;

    // The result of a pass from `from`: the old checkpoints before it, the
    // pass's, and the old ones from the stretch's end on, moved. None when a
    // rule matched nothing.
    std::optional<NBERetokenization> stretch(size_t first, qsizetype from, const StretchEnd &end,
                                             std::vector<RuleSearch> &cursors, Pass pass,
                                             const std::vector<qsizetype> &checkpoints) const;

    // The old checkpoints before `from`. One whose rule's next match ends
    // after `from` has the next match the new search has there (`atFrom`),
    // which may lie in the stretch and have changed. (When it reaches back
    // over `from` it starts and is claimed as before, so the part before the
    // checkpoint is as free as before.) Where the new search stands clean at
    // `from`, that match isn't known: the checkpoint is no longer used.
    void keepBefore(NBETokenizerState &state, size_t first, qsizetype from,
                    const std::vector<NBERuleMark> &atFrom) const;

    // The old checkpoints from the stretch's end on, moved. Up to the end of
    // a rule's next match after `to` (to the end of the text when it has
    // none), an attempt before `to` may now read on past a checkpoint where
    // it didn't before: there the rule's standing is taken anew. False when
    // a rule matched nothing.
    bool moveAfter(NBETokenizerState &state, std::vector<RuleSearch> &cursors,
                   const StretchEnd &end) const;

    // The mark at `at` of the rule `search` follows, from where it stands
    // there; the old mark's claim holds when it has the same match.
    static std::optional<NBERuleMark> standingAnew(RuleSearch &search, qsizetype at,
                                                   const NBERuleMark &old);

    // An old mark at checkpoint `i`, from the stretch's end on, moved. Where
    // the rule's search still starts from where it started at `to`, it
    // starts where the new search does: the match before `to` may have
    // changed or gone (only how it stands at `to` was compared), and a later
    // edit reads the origin back.
    NBERuleMark movedMark(NBERuleMark mark, size_t i, qsizetype k, const RuleSearch &search,
                          const StretchEnd &end) const;

    const NBERuleMark *marksAt(size_t checkpoint) const;

    // Whether every rule's next match at the checkpoint is known.
    bool usable(size_t checkpoint) const;

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

} // namespace NBETokenizer
