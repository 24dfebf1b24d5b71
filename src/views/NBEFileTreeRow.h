#pragma once

#include "NBEGitFileChange.h"

#include <QColor>
#include <QIcon>
#include <QString>

// How one row of the file tree looks: its icon by file type, its git badge
// and its highlight. Stateless; the tree draws rows with it.
class NBEFileTreeRow
{
public:
    NBEFileTreeRow() = delete;

    // The symbol for a file's extension, compared lower-cased; only the last
    // extension counts.
    static QString fileIcon(const QString &pathExtension);
    // The freedesktop icon name standing in for a symbol name.
    static QString themeIconName(const QString &symbol);
    // The symbol drawn as a silhouette in `color`.
    static QIcon icon(const QString &symbol, const QColor &color, int size = 16);

    static QString letter(NBEGitStatus status);
    static QColor gitColor(NBEGitStatus status);

    // Active file: amber at 0.15; under the pointer: the primary colour at
    // 0.06; else clear. A folder is never active.
    static QColor rowBackground(bool isActiveFile, bool isHovering, const QColor &primary);

private:
    static QIcon tint(const QString &symbol, const QColor &color, int size);
};
