// The git snapshot of the workspace's repository, and the commit box
// following a merge.
#include "NBEWorkspaceViewModel.h"

#include "NBEWhenFinished.h"

void NBEWorkspaceViewModel::offerMergeMessage(const std::optional<NBEGitMergeState> &before)
{
    // An empty box takes git's message for a new merge; the message of a
    // merge that ended elsewhere leaves with it. Typed text stays.
    const std::optional<NBEGitMergeState> &merge = git().merge;
    const QString typed = m_commitMessage.trimmed();
    if (merge && (typed.isEmpty() || (before && typed == before->message)))
        setCommitMessage(merge->message);
    else if (!merge && before && typed == before->message)
        setCommitMessage(QString());
}

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
