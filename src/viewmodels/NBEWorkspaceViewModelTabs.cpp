// Tabs: the facade over the tabs' owner, and pending files from the window
// opener.
#include "NBEWorkspaceViewModel.h"

#include "NBEOutline.h"
#include "NBEWindowOpener.h"

std::optional<NBEOpenTab> NBEWorkspaceViewModel::tab(const QUuid &id) const
{
    if (const NBEOpenTab *found = m_tabs->find(id))
        return *found;
    return std::nullopt;
}

std::optional<NBEOpenTab> NBEWorkspaceViewModel::activeTab() const
{
    return m_tabs->activeTab();
}

QList<NBESymbol> NBEWorkspaceViewModel::activeOutline() const
{
    const std::optional<NBEOpenTab> tab = activeTab();
    if (!tab)
        return {};
    return NBEOutline::symbols(tab->sourceFile.snapshot(),
                               tab->language ? std::optional<QString>(tab->language->id)
                                             : std::nullopt);
}

QFuture<void> NBEWorkspaceViewModel::openFile(const QUrl &at, bool asPreview)
{
    return m_workingTree->openFile(at, asPreview);
}

void NBEWorkspaceViewModel::openPendingFiles(const QUrl &forRoot)
{
    if (!hasWorkspace() || !forRoot.isLocalFile() ||
        NBEFileService::keyPath(workspace()->rootURL) != NBEFileService::keyPath(forRoot))
        return;
    for (const QUrl &file : NBEWindowOpener::shared().takePendingFiles(forRoot))
        openFile(file, false);
}

void NBEWorkspaceViewModel::setActiveTab(const QUuid &id)
{
    m_workingTree->activateTab(id);
}

void NBEWorkspaceViewModel::updateContent(const QString &content, const QUuid &forTab)
{
    m_tabs->updateContent(content, forTab);
}

void NBEWorkspaceViewModel::updateCursorPosition(int line, int column, const QUuid &forTab)
{
    m_tabs->updateCursorPosition(line, column, forTab);
}
