#pragma once

#include <QString>

// What accepting a built-in completion item does: the typed prefix (ending at
// the caret) it replaces, the text put in its place and how far the caret
// moves back from the end of that text afterwards (all in UTF-16 units).
struct NBECompletionInsertion
{
    int partialLength = 0;
    QString insertion;
    int caretBack = 0;

    bool operator==(const NBECompletionInsertion &) const = default;
};
