#include "NBERuleSearch.h"

namespace NBETokenizer {

RuleSearch::Step RuleSearch::toward(qsizetype cut)
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

RuleSearch::Step RuleSearch::beforeCut(qsizetype cut) const
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
    if (start == cut - 1 && !m_rule
                                 .match(subject, start, QRegularExpression::PartialPreferFirstMatch,
                                        QRegularExpression::AnchorAtOffsetMatchOption |
                                            QRegularExpression::DontCheckSubjectStringMatchOption)
                                 .hasPartialMatch())
        return {Kind::clean};
    return {Kind::none};
}

} // namespace NBETokenizer
