#include "NBEOpeningView.h"

#include "NBEEditorLook.h"
#include "NBEEditorSettings.h"
#include "NBETheme.h"

NBEOpeningView::NBEOpeningView(const QString &start, const NBETheme &theme,
                               const NBEEditorSettings &settings, QWidget *parent)
    : NBECodeTextEdit(parent)
{
    setWordWrap(settings.wordWrap);
    setEditorFont(NBEEditorLook::font(settings.fontSize));
    setTabSize(settings.tabSize);
    setShowInvisibles(settings.showInvisibles);
    setColors(NBEEditorLook::colors(theme));
    setLineNumbersVisible(settings.showLineNumbers);
    setPlainText(start);
    setReadOnly(true);
}
