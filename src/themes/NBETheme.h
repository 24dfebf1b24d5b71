#pragma once

#include "NBETokenType.h"

#include <QColor>
#include <QHash>
#include <QString>

// The colours the editor, its gutter and the highlighter paint with. A theme
// is known by its id: two themes with the same id are equal whatever their
// colours, so the editor re-applies colours only when the id changes.
struct NBETheme
{
    QString id;
    QString name;
    bool isDark = false;
    QColor editorBackground;
    QColor editorText;
    QColor selectionBackground;
    QColor currentLineHighlight;
    QColor gutterBackground;
    QColor gutterText;
    QColor gutterSeparator;
    QHash<NBETokenType, QColor> tokenColors;

    bool operator==(const NBETheme &other) const { return id == other.id; }

    // The token type's colour, or the text colour when the theme has none.
    QColor colorFor(NBETokenType type) const { return tokenColors.value(type, editorText); }
};
