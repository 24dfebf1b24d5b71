#pragma once

#include <QString>

// Re-indents HTML line by line from the nesting depth of the lines before.
// It never joins or splits lines; the content of pre, script, style and
// textarea elements and of multi-line comments is copied unchanged.
namespace NBEHTMLFormatter {

QString format(const QString &text, const QString &indentUnit);

} // namespace NBEHTMLFormatter
