#pragma once

#include <QRegularExpression>
#include <QStringView>

#include <optional>

namespace NBETokenizer {

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
    Step toward(qsizetype cut);

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
    Step beforeCut(qsizetype cut) const;

    QStringView m_text;
    const QRegularExpression &m_rule;
    qsizetype m_position;
    std::optional<Step> m_ahead; // the next match from `m_position`, once searched
};

// In the header: it runs once per match, and the pass that calls it
// lives in other files.
inline RuleSearch::Step RuleSearch::toward(qsizetype cut)
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

} // namespace NBETokenizer
