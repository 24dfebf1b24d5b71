#pragma once

#include "NBECompletionInsertion.h"

#include <QString>
#include <QStringList>

#include <optional>

// Where the caret stands in HTML markup for the built-in completion.
struct NBEWebCompletionContext
{
    enum class Kind { tagName, attributeName, attributeValue, none };

    Kind kind = Kind::none;
    QString element;   // for attribute names and values
    QString attribute; // for attribute values
    QString prefix;    // typed before the caret (a value's whole text since its quote)

    static NBEWebCompletionContext none() { return {}; }
    bool operator==(const NBEWebCompletionContext &) const = default;
};

// The built-in HTML completion: element names after "<", attribute names in
// an opening tag and attribute values in a quoted value.
namespace NBEWebCompletion {

NBEWebCompletionContext context(const QString &text, int offset);
QStringList completions(const QString &text, int offset);
std::optional<NBECompletionInsertion> insertion(const QString &item, const QString &text,
                                                int offset);

} // namespace NBEWebCompletion
