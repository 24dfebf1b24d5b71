#include "NBEWorkspaceNavigation.h"

#include "NBEWorkspaceTabs.h"

NBEWorkspaceNavigation::NBEWorkspaceNavigation(NBEWorkspaceTabs &tabs, QObject *parent)
    : QObject(parent)
    , m_tabs(tabs)
{}

void NBEWorkspaceNavigation::setDiffTarget(const std::optional<QUrl> &target)
{
    if (m_diffTarget == target)
        return;
    m_diffTarget = target;
    Q_EMIT diffTargetChanged();
}

void NBEWorkspaceNavigation::setCommitDiffTarget(const std::optional<NBEGitCommit> &target)
{
    if (m_commitDiffTarget == target)
        return;
    m_commitDiffTarget = target;
    Q_EMIT diffTargetChanged();
}

void NBEWorkspaceNavigation::showCommitDiff(const NBEGitCommit &commit)
{
    setDiffTarget(std::nullopt);
    setCommitDiffTarget(commit);
}

void NBEWorkspaceNavigation::clearDiffTargets()
{
    setDiffTarget(std::nullopt);
    setCommitDiffTarget(std::nullopt);
}

QFuture<void> NBEWorkspaceNavigation::openFile(const QUrl &at, bool asPreview)
{
    if (!m_tabs.isOpen())
        return QtFuture::makeReadyFuture();
    clearDiffTargets();
    return m_tabs.openFile(at, asPreview);
}

void NBEWorkspaceNavigation::activateTab(const QUuid &id)
{
    m_tabs.setActiveTab(id);
    clearDiffTargets();
}

void NBEWorkspaceNavigation::revealLine(const QUrl &url, int line,
                                        const std::optional<NBERevealRange> &range)
{
    setDiffTarget(std::nullopt);
    openFile(url, false);
    // Set before the file has opened: the editor made for it finds it then.
    m_revealTarget = NBERevealTarget{url, line, range};
    Q_EMIT revealTargetChanged();
}

void NBEWorkspaceNavigation::clearRevealTarget()
{
    if (!m_revealTarget)
        return;
    m_revealTarget.reset();
    Q_EMIT revealTargetChanged();
}
