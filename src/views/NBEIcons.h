#pragma once

#include <QColor>
#include <QIcon>
#include <QString>

// The window's icons, named by the symbol names its texts use ("folder",
// "list.bullet.indent"). The desktop's icon theme supplies one where a
// freedesktop name fits; otherwise a small SVG shipped with the program is
// drawn in the palette's text colour (or a fixed colour), so the window looks
// the same without an icon theme and follows a light or dark palette.
class NBEIcons
{
public:
    static QIcon icon(const QString &symbol);
    // Always the shipped drawing, in `color` (kind colours of the outline).
    static QIcon icon(const QString &symbol, const QColor &color);
    // The freedesktop name tried first; empty when none fits.
    static QString themeName(const QString &symbol);
    // Whether the program ships a drawing for `symbol`.
    static bool hasFallback(const QString &symbol);
};
