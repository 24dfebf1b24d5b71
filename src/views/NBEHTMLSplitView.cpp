#include "NBEHTMLSplitView.h"

#include "NBEHTMLPreview.h"
#include "NBEScrollLink.h"
#include "NBEWorkspaceFiles.h"
#include "NBEWorkspaceTabs.h"

namespace {

QUrl folderOf(const QUrl &file)
{
    return file.adjusted(QUrl::RemoveFilename);
}

// The folder whose files the page may load: the project's.
QUrl rootOf(const NBEWorkspaceFiles &files)
{
    const auto &workspace = files.workspace();
    return workspace ? workspace->rootURL : QUrl();
}

} // namespace

NBEHTMLSplitView::NBEHTMLSplitView(const NBESourceEditorOwners &owners, const QUuid &tabID,
                                   const NBETheme &theme, QWidget *parent)
    : QSplitter(Qt::Horizontal, parent)
    , m_tabs(owners.tabs)
    , m_files(owners.files)
    , m_tabID(tabID)
    , m_scrollLink(new NBEScrollLink(this))
{
    setChildrenCollapsible(false);
    m_editor = new NBESourceEditor(owners, tabID, theme, m_scrollLink, this);
    const NBEOpenTab *tab = m_tabs.find(tabID);
    if (tab && tab->sourceFile.buffer)
        m_preview = new NBEHTMLPreview(tab->sourceFile.buffer, folderOf(tab->sourceFile.url),
                                       rootOf(m_files), m_scrollLink, this);
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
    connect(&owners.tabs, &NBEWorkspaceTabs::tabsChanged, this, &NBEHTMLSplitView::refresh);
}

void NBEHTMLSplitView::refresh()
{
    const NBEOpenTab *tab = m_tabs.find(m_tabID);
    if (tab)
        m_preview->follow(tab->sourceFile.buffer, folderOf(tab->sourceFile.url), rootOf(m_files));
}
