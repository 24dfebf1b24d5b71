#include "NBERuleSearch.h"

namespace NBETokenizer {

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
