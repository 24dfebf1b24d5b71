#pragma once

#include "NBECompletionInsertion.h"

#include <QString>
#include <QStringList>

#include <optional>

// Where the caret stands in CSS text: typing a property name, a property's
// value, or nowhere that CSS completion serves.
struct NBECSSCompletionContext
{
    enum class Kind { property, value, none };

    Kind kind = Kind::none;
    QString property; // the name as written, for a value
    QString prefix;   // the part of the word before the caret

    static NBECSSCompletionContext none() { return {}; }
    bool operator==(const NBECSSCompletionContext &) const = default;
};

// The built-in CSS completion used when no language server answers.
namespace NBECSSCompletion {

NBECSSCompletionContext context(const QString &text, int offset);
QStringList completions(const QString &text, int offset);
std::optional<NBECompletionInsertion> insertion(const QString &item, const QString &text,
                                                int offset);

} // namespace NBECSSCompletion
