#pragma once

#include "NBEJSONValue.h"

#include <QList>
#include <QString>

// One edit of a formatting result. Positions refer to the text before any
// edit of the same list is applied.
struct NBELSPTextEdit
{
    qint64 startLine = 0;
    qint64 startCharacter = 0; // UTF-16 code units
    qint64 endLine = 0;
    qint64 endCharacter = 0; // exclusive
    QString newText;

    bool operator==(const NBELSPTextEdit &) const = default;

    // The edits of a formatting result in the server's order; anything that
    // is not an array (null: nothing to change) gives none.
    static QList<NBELSPTextEdit> parse(const NBEJSONValue &result);

    // The text with every edit applied. Positions past the end are pulled
    // back to it; an edit whose end lies before its start is dropped. Edits
    // that share a start appear in list order (two inserts A then B read
    // "AB"); an edit that overlaps an earlier one is skipped.
    static QString apply(const QList<NBELSPTextEdit> &edits, const QString &text);
};
