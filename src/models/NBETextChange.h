#pragma once

#include <QString>

// One edit of a text: `removed` UTF-16 units at `position` gave way to
// `inserted`. The same edit as a language server reads it: the range of the
// text before the edit (0-based lines, UTF-16 characters) that `rangeText`
// replaces; the range may reach past the edit, to whole lines, when the
// edit's end could not be placed otherwise.
struct NBETextChange
{
    qsizetype position = 0;
    qsizetype removed = 0;
    QString inserted;

    int startLine = 0;
    int startCharacter = 0;
    int endLine = 0;
    int endCharacter = 0;
    QString rangeText;

    bool operator==(const NBETextChange &) const = default;
};
