#pragma once

#include "NBEJSONValue.h"
#include "NBETextRange.h"

#include <QList>
#include <QString>

#include <optional>

// What the editor needs of one completion proposal: what to show, what to
// insert over the word typed so far, and what to filter on.
struct NBELSPCompletionItem
{
    QString label;
    QString insertText;
    QString filterText;
    std::optional<QString> detail;
    // Where a snippet's first tab stop lies in `insertText` (with the text
    // of its placeholder), for the caret after inserting; absent for plain
    // text and snippets without tab stops.
    std::optional<NBETextRange> tabStop;

    bool operator==(const NBELSPCompletionItem &) const = default;

    // The items of a completion result (an array, or a list object with
    // "items"), in the server's order. Never fails: bad elements are skipped.
    static QList<NBELSPCompletionItem> parse(const NBEJSONValue &result);

    // The plain text a snippet inserts: tab stops ($1, ${2}) vanish,
    // placeholders (${1:name}) and the first choice (${1|a,b|}) stay, and
    // escaped characters lose their backslash.
    static QString snippetToPlainText(const QString &snippet);
};
