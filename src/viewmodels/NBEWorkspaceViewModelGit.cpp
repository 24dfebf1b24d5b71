// The git snapshot of the workspace's repository.
#include "NBEWorkspaceViewModel.h"

#include "NBEWhenFinished.h"

QFuture<void> NBEWorkspaceViewModel::refreshGitStatus()
{
    return m_gitState->refresh(workspace() ? std::optional<QUrl>(workspace()->rootURL)
                                           : std::nullopt);
}

QFuture<std::optional<QString>> NBEWorkspaceViewModel::headContent(const QUrl &forFile)
{
    return m_gitState->headContent(forFile);
}
