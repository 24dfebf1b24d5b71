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

} // namespace

NBEHTMLSplitView::NBEHTMLSplitView(NBEWorkspaceViewModel *viewModel, const QUuid &tabID,
                                   const NBETheme &theme, const NBEEditorSettings &settings,
                                   QWidget *parent)
    : QSplitter(Qt::Horizontal, parent)
    , m_viewModel(viewModel)
    , m_tabID(tabID)
    , m_scrollLink(new NBEScrollLink(this))
{
    setChildrenCollapsible(false);
    m_editor = new NBESourceEditor(viewModel, tabID, theme, settings, m_scrollLink, this);
    const auto tab = viewModel->tab(tabID);
    m_preview =
        new NBEHTMLPreview(tab ? tab->sourceFile.content() : QString(),
                           tab ? folderOf(tab->sourceFile.url) : QUrl(), m_scrollLink, this);
    for (QWidget *pane : {static_cast<QWidget *>(m_editor), static_cast<QWidget *>(m_preview)}) {
        pane->setMinimumWidth(minimumPaneWidth);
        addWidget(pane);
    }
    setStretchFactor(0, 1);
    setStretchFactor(1, 1);
    // Source and page start with half of the room each.
    setSizes({1, 1});
    setFocusProxy(m_editor);
    // The page follows the text once typing pauses: an edit reads nothing.
    m_refreshTimer.setSingleShot(true);
    m_refreshTimer.setInterval(100);
    connect(&m_refreshTimer, &QTimer::timeout, this, &NBEHTMLSplitView::refresh);
    connect(viewModel, &NBEWorkspaceViewModel::tabsChanged, this, &NBEHTMLSplitView::refresh);
    connect(viewModel, &NBEWorkspaceViewModel::tabContentChanged, this, [this](const QUuid &id) {
        if (id == m_tabID)
            m_refreshTimer.start();
    });
}

void NBEHTMLSplitView::refresh()
{
    const auto tab = m_viewModel->tab(m_tabID);
    if (tab)
        m_preview->setHTML(tab->sourceFile.content(), folderOf(tab->sourceFile.url));
}
