// The git snapshot of the workspace's repository.
#include "NBEWorkspaceViewModel.h"

#include "NBEWhenFinished.h"

QFuture<void> NBEWorkspaceViewModel::refreshGitStatus()
{
    return m_gitState->refresh();
}
