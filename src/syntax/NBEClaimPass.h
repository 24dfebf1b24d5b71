#pragma once

#include "NBECompiledRules.h"
#include "NBERuleSearch.h"
#include "NBESyntaxHighlighter.h"

#include <QList>
#include <QRegularExpression>

#include <algorithm>
#include <optional>
#include <vector>

namespace NBETokenizer {

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

    Pass run();

private:
    // False when the pass gives up (its outcome says why).
    bool claimRule(qsizetype r);

    RuleWalk walkOf(qsizetype r) const;

    // The rule's next match; none at the end, or when the pass gives up.
    std::optional<Span> nextMatch(RuleWalk &walk);

    // The same for a rule followed across checkpoints, which marks those it
    // stands clean at, and those that lie before its next match.
    std::optional<Span> nextFollowedMatch(RuleWalk &walk);

    // Marks the checkpoints the match reaches over; false (`fromMoved`)
    // when the rule's first match doesn't stand at `from` as it did.
    bool markCheckpointsUnder(RuleWalk &walk, Span match);

    // Whether the match becomes a token: its units up to `to` are free, but
    // one across `to` is taken as before once the units before `to` leave it
    // as free as before (else `toMoved`), and one across `from` must be taken
    // as before (else `fromMoved`). None when the pass gives up.
    std::optional<bool> acceptance(const RuleWalk &walk, Span match);

    // Whether the part of the match before `from` was free when it was
    // claimed (it has none when it starts in the stretch).
    bool freeBefore(const RuleWalk &walk, Span match) const;

    // Whether the match's units in the stretch up to `end` are unclaimed.
    bool isFree(Span match, qsizetype end) const;

    void claim(Span match, unsigned char code);

    NBERuleMark &markOf(size_t checkpoint, int k);

    // The claimed units read back as tokens, in order.
    QList<NBEToken> tokens() const;

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

// The tokens of [from, to) of `text` and the marks of `checkpoints`, claimed
// by a ClaimPass (nothing for an empty stretch without checkpoints).
Pass claimTokens(QStringView text, const CompiledRules &rules, qsizetype from, qsizetype to,
                 const NBERuleMark *atFrom, const NBERuleMark *atTo,
                 const std::vector<qsizetype> &checkpoints);

// Line starts in [from, to): `from` (itself one), then a line start at least
// `checkpointSpacing` after the one before: among the next few, the first
// after a line that ends cleanly.
std::vector<qsizetype> checkpointsIn(QStringView text, qsizetype from, qsizetype to);

} // namespace NBETokenizer
