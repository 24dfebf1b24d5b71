#pragma once

#include "NBELanguage.h"

#include <QList>
#include <QRegularExpression>

namespace NBETokenizer {

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

CompiledRules compiledRules(const NBELanguage &language, bool unicode);

} // namespace NBETokenizer
