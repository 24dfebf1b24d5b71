// The repository's remote and background fetch, held by the workspace's git
// owner.
#include "NBEWorkspaceViewModel.h"

QFuture<std::optional<QString>> NBEWorkspaceViewModel::currentOriginURL()
{
    return m_workspaceGit->currentOriginURL();
}

QFuture<void> NBEWorkspaceViewModel::setOriginRemote(const QString &url)
{
    return m_workspaceGit->setOriginRemote(url);
}

std::optional<QUrl> NBEWorkspaceViewModel::bundledOAuthHelperURL() const
{
    return m_workspaceGit->bundledOAuthHelperURL();
}

bool NBEWorkspaceViewModel::canSetUpBrowserSignIn() const
{
    return m_workspaceGit->canSetUpBrowserSignIn();
}

QFuture<void> NBEWorkspaceViewModel::setUpBrowserSignIn(bool global)
{
    return m_workspaceGit->setUpBrowserSignIn(global);
}

QFuture<void> NBEWorkspaceViewModel::pull()
{
    return m_workspaceGit->pull();
}

QFuture<void> NBEWorkspaceViewModel::push()
{
    return m_workspaceGit->push();
}

bool NBEWorkspaceViewModel::isAutoFetchEnabled() const
{
    return m_workspaceGit->isAutoFetchEnabled();
}
