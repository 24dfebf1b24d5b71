// The git snapshot of the workspace's repository.
#include "NBEWorkspaceViewModel.h"

#include "NBEWhenFinished.h"

QFuture<void> NBEWorkspaceViewModel::refreshGitStatus()
{
    const std::optional<NBEWorkspace> &workspace = m_files->workspace();
    return m_gitState->refresh(workspace ? std::optional<QUrl>(workspace->rootURL) : std::nullopt);
}
