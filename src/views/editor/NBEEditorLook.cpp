#include "NBEEditorLook.h"

#include "NBECodeTextEdit.h"
#include "NBETheme.h"

#include <QFontDatabase>

namespace NBEEditorLook {

QFont font(double pointSize)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSizeF(pointSize > 0 ? pointSize : 13.0);
    return font;
}

NBEEditorColors colors(const NBETheme &theme)
{
    NBEEditorColors colors;
    colors.background = theme.editorBackground;
    colors.text = theme.editorText;
    colors.gutterBackground = theme.gutterBackground;
    colors.gutterText = theme.gutterText;
    colors.gutterSeparator = theme.gutterSeparator;
    return colors;
}

QList<QTextCharFormat> styles(const NBETheme &theme)
{
    QList<QTextCharFormat> formats;
    for (NBETokenType type : NBETokenTypes::allCases()) {
        QTextCharFormat format;
        format.setForeground(theme.colorFor(type));
        formats.append(format);
    }
    return formats;
}

} // namespace NBEEditorLook
