#pragma once

#include <QString>

#include <optional>

// Chooses the built-in formatter for a language: only HTML and CSS have one.
namespace NBEFormatter {

bool canFormat(const std::optional<QString> &languageID);

// The formatted text, or nothing for a language without a built-in formatter.
std::optional<QString> format(const QString &text, const std::optional<QString> &languageID,
                              const QString &indentUnit);

} // namespace NBEFormatter
