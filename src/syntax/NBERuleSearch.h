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

} // namespace NBETokenizer
