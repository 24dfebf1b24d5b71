#pragma once

#include <QString>

// The built-in pretty-printer for CSS: every selector, declaration and
// comment on a line of its own, indented by nesting depth. It cuts the text at
// braces, semicolons and comments rather than parsing it, and never changes
// the inside of strings, comments or url(...).
namespace NBECSSFormatter {

// The formatted text; it always ends with exactly one LF.
QString format(const QString &text, const QString &indentUnit);

} // namespace NBECSSFormatter
