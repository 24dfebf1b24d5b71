#pragma once

#include <QFont>
#include <QList>
#include <QTextCharFormat>

struct NBEEditorColors;
struct NBETheme;

// How an editor looks under a theme and a font size: stateless, shared by the
// editors and the read-only view shown while a file opens.
namespace NBEEditorLook {

// The fixed-width system font at `pointSize` (13 points when unset).
QFont font(double pointSize);
// The theme's colours of the text view and its gutter.
NBEEditorColors colors(const NBETheme &theme);
// Character formats by token type ordinal, for the highlighter.
QList<QTextCharFormat> styles(const NBETheme &theme);

} // namespace NBEEditorLook
