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

QList<NBESymbol> NBEWorkspaceViewModel::activeOutline() const
{
    const std::optional<NBEOpenTab> tab = m_tabs->activeTab();
    if (!tab)
        return {};
    return NBEOutline::symbols(tab->sourceFile.snapshot(),
                               tab->language ? std::optional<QString>(tab->language->id)
                                             : std::nullopt);
}

void NBEWorkspaceViewModel::openPendingFiles(const QUrl &forRoot)
{
    if (!m_files->isOpen() || !forRoot.isLocalFile() ||
        NBEFileService::keyPath(m_files->workspace()->rootURL) != NBEFileService::keyPath(forRoot))
        return;
    for (const QUrl &file : NBEWindowOpener::shared().takePendingFiles(forRoot))
        m_navigation->openFile(file, false);
}
