// The branch operations forward to the workspace's git owner, which settles
// and reloads the tabs of rewritten files through the tabs' owner.
#include "NBEWorkspaceViewModel.h"

void NBEWorkspaceViewModel::setBranchPendingForceDelete(const std::optional<QString> &name)
{
    m_workspaceGit->setBranchPendingForceDelete(name);
}

QFuture<void> NBEWorkspaceViewModel::switchBranch(const QString &name)
{
    return m_workspaceGit->switchBranch(name);
}

QFuture<void> NBEWorkspaceViewModel::createBranch(const QString &name)
{
    return m_workspaceGit->createBranch(name);
}

QFuture<void> NBEWorkspaceViewModel::deleteBranch(const QString &name, bool force)
{
    return m_workspaceGit->deleteBranch(name, force);
}

QFuture<void> NBEWorkspaceViewModel::mergeBranch(const QString &name)
{
    return m_workspaceGit->mergeBranch(name);
}
