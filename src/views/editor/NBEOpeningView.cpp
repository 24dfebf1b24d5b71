#include "NBEOpeningView.h"

#include "NBEEditorLook.h"
#include "NBEEditorSettings.h"
#include "NBESplitStart.h"
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
    // A minified file's start is one line of many thousand characters: laid
    // out whole, it would hold the window.
    m_start = std::make_unique<NBESplitStart>(start, this);
    prepareDocument(m_start->document());
    setDocument(m_start->document());
    setTextGeometry(m_start.get());
    setLineNumbersVisible(settings.showLineNumbers);
    setReadOnly(true);
}

NBEOpeningView::~NBEOpeningView()
{
    setTextGeometry(nullptr);
}
