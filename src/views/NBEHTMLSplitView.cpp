#include "NBEHTMLSplitView.h"

#include "NBEHTMLPreview.h"
#include "NBEScrollLink.h"
#include "NBESourceEditor.h"
#include "NBEWorkspaceViewModel.h"

namespace {

QUrl folderOf(const QUrl &file)
{
    return file.adjusted(QUrl::RemoveFilename);
}

// The folder whose files the page may load: the project's.
QUrl rootOf(const NBEWorkspaceViewModel *viewModel)
{
    const auto &workspace = viewModel->files().workspace();
    return workspace ? workspace->rootURL : QUrl();
}

} // namespace

NBEHTMLSplitView::NBEHTMLSplitView(NBEWorkspaceViewModel *viewModel, const QUuid &tabID,
                                   const NBETheme &theme, QWidget *parent)
    : QSplitter(Qt::Horizontal, parent)
    , m_viewModel(viewModel)
    , m_tabID(tabID)
    , m_scrollLink(new NBEScrollLink(this))
{
    setChildrenCollapsible(false);
    m_editor = new NBESourceEditor(viewModel, tabID, theme, m_scrollLink, this);
    const auto tab = viewModel->tab(tabID);
    if (tab && tab->sourceFile.buffer)
        m_preview = new NBEHTMLPreview(tab->sourceFile.buffer, folderOf(tab->sourceFile.url),
                                       rootOf(viewModel), m_scrollLink, this);
    else
        m_preview = new NBEHTMLPreview(QString(), QUrl(), m_scrollLink, this);
    for (QWidget *pane : {static_cast<QWidget *>(m_editor), static_cast<QWidget *>(m_preview)}) {
        pane->setMinimumWidth(minimumPaneWidth);
        addWidget(pane);
    }
    setStretchFactor(0, 1);
    setStretchFactor(1, 1);
    // Source and page start with half of the room each.
    setSizes({1, 1});
    setFocusProxy(m_editor);
    // The page follows the tab's buffer itself, reading it once typing
    // pauses; a tab that moved or got another buffer is followed anew.
    connect(&viewModel->tabs(), &NBEWorkspaceTabs::tabsChanged, this, &NBEHTMLSplitView::refresh);
}

void NBEHTMLSplitView::refresh()
{
    const auto tab = m_viewModel->tab(m_tabID);
    if (tab)
        m_preview->follow(tab->sourceFile.buffer, folderOf(tab->sourceFile.url),
                          rootOf(m_viewModel));
}
