#pragma once

#include "NBETextRange.h"

#include <QString>

// One text edit of a formatting command: replace `range` of the text before
// the edit by `replacement`, then select `selection` in the edited text.
struct NBEMarkdownEdit
{
    NBETextRange range;
    QString replacement;
    NBETextRange selection;

    bool operator==(const NBEMarkdownEdit &) const = default;
};

// A range from QString sizes, which are 64-bit; texts the editor holds fit in int.
inline NBETextRange nbeTextRange(qsizetype location, qsizetype length)
{
    return NBETextRange{int(location), int(length)};
}
