#include "NBEOpeningView.h"

#include "NBEEditorSettings.h"
#include "NBETextEditorCoordinator.h"
#include "NBETheme.h"

NBEOpeningView::NBEOpeningView(const QString &start, const NBETheme &theme,
                               const NBEEditorSettings &settings, QWidget *parent)
    : NBECodeTextEdit(parent)
{
    setWordWrap(settings.wordWrap);
    setEditorFont(NBETextEditorCoordinator::editorFont(settings.fontSize));
    setTabSize(settings.tabSize);
    setShowInvisibles(settings.showInvisibles);
    setColors(NBETextEditorCoordinator::editorColors(theme));
    setLineNumbersVisible(settings.showLineNumbers);
    setPlainText(start);
    setReadOnly(true);
}
