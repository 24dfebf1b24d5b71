#pragma once

#include <QString>
#include <QtGlobal>

// A span of text in UTF-16 code units (QString indices).
struct NBEMarkdownRange
{
    qsizetype location = 0;
    qsizetype length = 0;

    qsizetype end() const { return location + length; }
    bool operator==(const NBEMarkdownRange &) const = default;
};

// One text edit of a formatting command: replace `range` of the text before
// the edit by `replacement`, then select `selection` in the edited text.
struct NBEMarkdownEdit
{
    NBEMarkdownRange range;
    QString replacement;
    NBEMarkdownRange selection;

    bool operator==(const NBEMarkdownEdit &) const = default;
};
