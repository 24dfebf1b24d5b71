// The git snapshot of the workspace's repository.
#include "NBEWorkspaceViewModel.h"

#include "NBEWhenFinished.h"

QFuture<void> NBEWorkspaceViewModel::refreshGitStatus()
{
    return m_gitState->refresh(m_workspace ? std::optional<QUrl>(m_workspace->rootURL)
                                           : std::nullopt);
}

QFuture<std::optional<QString>> NBEWorkspaceViewModel::headContent(const QUrl &forFile)
{
    return m_gitState->headContent(forFile);
}

void NBEWorkspaceViewModel::initGitRepository()
{
    if (!m_workspace)
        return;
    nbeWhenFinished(m_gitService.initRepository(m_workspace->rootURL), this,
                    [this](bool) { refreshGitStatus(); });
}
