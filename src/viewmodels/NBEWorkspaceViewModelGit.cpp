// The git snapshot of the workspace's repository and the queries derived
// from it.
#include "NBEWorkspaceViewModel.h"

#include "NBEWhenFinished.h"

#include "NBEFileTreeNode.h"

#include <QPromise>

#include <algorithm>

struct NBEWorkspaceViewModel::GitRefresh
{
    // Branch, HEAD, upstream counts and changes come from one git status.
    QFuture<std::optional<NBEGitWorkingState>> working;
    QFuture<QStringList> branches;
    QFuture<QStringList> remotes;
    QFuture<int> unpushed;
    QFuture<bool> browserAuth;
    QFuture<std::optional<NBEGitMergeState>> merge;
    // The change list with its map by path, made off the main thread.
    struct Changes
    {
        QList<NBEGitFileChange> list;
        QHash<QString, NBEGitStatus> status;
    };
    QFuture<Changes> changes;

    GitSnapshot snapshot(const QUrl &root) const;
};

namespace {

template <typename T> T valueOf(const QFuture<T> &future, T fallback = {})
{
    return future.isFinished() && future.resultCount() > 0 ? future.result() : fallback;
}

} // namespace

NBEWorkspaceViewModel::GitSnapshot
NBEWorkspaceViewModel::GitRefresh::snapshot(const QUrl &root) const
{
    GitSnapshot snapshot;
    snapshot.root = root;
    const NBEGitWorkingState state = valueOf(working).value_or(NBEGitWorkingState{});
    snapshot.branch = state.branch;
    snapshot.branches = valueOf(branches);
    snapshot.remotes = valueOf(remotes);
    if (const auto counts = state.aheadBehind) {
        snapshot.ahead = counts->ahead;
        snapshot.behind = counts->behind;
        snapshot.hasUpstream = true;
    } else if (!snapshot.remotes.isEmpty()) {
        snapshot.unpushed = valueOf(unpushed, 0);
    }
    snapshot.browserAuthConfigured = valueOf(browserAuth, false);
    snapshot.headSHA = state.headSHA;
    snapshot.merge = valueOf(merge);
    Changes found = valueOf(changes);
    snapshot.changes = std::move(found.list);
    snapshot.status = std::move(found.status);
    return snapshot;
}

void NBEWorkspaceViewModel::setGitSnapshot(const GitSnapshot &snapshot)
{
    if (m_git == snapshot)
        return;
    const std::optional<NBEGitMergeState> before = m_git.merge;
    m_git = snapshot;
    Q_EMIT gitStateChanged();
    if (before != m_git.merge)
        offerMergeMessage(before);
}

void NBEWorkspaceViewModel::offerMergeMessage(const std::optional<NBEGitMergeState> &before)
{
    // An empty box takes git's message for a new merge; the message of a
    // merge that ended elsewhere leaves with it. Typed text stays.
    const QString typed = m_commitMessage.trimmed();
    if (m_git.merge && (typed.isEmpty() || (before && typed == before->message)))
        setCommitMessage(m_git.merge->message);
    else if (!m_git.merge && before && typed == before->message)
        setCommitMessage(QString());
}

void NBEWorkspaceViewModel::resetGitState()
{
    setGitSnapshot(GitSnapshot{});
}

QFuture<void> NBEWorkspaceViewModel::refreshGitStatus()
{
    const quint64 generation = ++m_gitGeneration;
    // An older refresh that ends after a newer one has stored its snapshot
    // is dropped, so the state is always that of the latest refresh.
    auto store = [this, generation](const GitSnapshot &snapshot) {
        if (generation < m_gitStored)
            return;
        m_gitStored = generation;
        setGitSnapshot(snapshot);
    };
    if (!m_workspace) {
        store(GitSnapshot{});
        return QtFuture::makeReadyFuture();
    }

    auto promise = std::make_shared<QPromise<void>>();
    promise->start();
    QFuture<void> done = promise->future();
    nbeWhenFinished(
        m_gitService.repositoryRoot(m_workspace->rootURL), this,
        [this, store, promise](std::optional<QUrl> root) {
            if (!root) {
                store(GitSnapshot{});
                promise->finish();
                return;
            }
            // The queries run one after another on the git service; the
            // snapshot is stored in one step once the last has answered.
            auto refresh = std::make_shared<GitRefresh>();
            refresh->branches = m_gitService.branches(*root);
            refresh->remotes = m_gitService.remotes(*root);
            refresh->unpushed = m_gitService.unpushedCount(*root);
            refresh->browserAuth = m_gitService.hasBrowserAuthHelper(*root);
            refresh->merge = m_gitService.mergeState(*root);
            refresh->working = m_gitService.workingState(*root);
            // Unchanged lists keep the stored ones, so comparing the
            // snapshots on the main thread costs nothing.
            refresh->changes = refresh->working.then(
                QtFuture::Launch::Async, [previous = m_git.changes, previousStatus = m_git.status](
                                             const std::optional<NBEGitWorkingState> &state) {
                    GitRefresh::Changes changes;
                    const QList<NBEGitFileChange> list =
                        state ? state->changes : QList<NBEGitFileChange>();
                    if (list == previous) {
                        changes.list = previous;
                        changes.status = previousStatus;
                        return changes;
                    }
                    changes.list = list;
                    changes.status.reserve(list.size());
                    for (const NBEGitFileChange &change : list) {
                        const QString key = NBEFileService::keyPath(change.url);
                        if (!changes.status.contains(key))
                            changes.status.insert(key, change.overallStatus());
                    }
                    return changes;
                });
            // The service runs its queries in call order, so every answer is
            // in once the last one is.
            nbeWhenFinished(refresh->changes, this,
                            [root, refresh, store, promise](const GitRefresh::Changes &) {
                                store(refresh->snapshot(*root));
                                promise->finish();
                            });
        });
    return done;
}

std::optional<NBEGitStatus> NBEWorkspaceViewModel::gitStatus(const QUrl &forFile) const
{
    const auto it = m_git.status.constFind(NBEFileService::keyPath(forFile));
    if (it == m_git.status.cend())
        return std::nullopt;
    return *it;
}

int NBEWorkspaceViewModel::gitCommitsToPush() const
{
    return m_git.hasUpstream ? m_git.ahead : m_git.unpushed;
}

bool NBEWorkspaceViewModel::gitNeedsPublish() const
{
    return !m_git.remotes.isEmpty() && !m_git.hasUpstream;
}

bool NBEWorkspaceViewModel::hasStagedChanges() const
{
    return std::any_of(m_git.changes.cbegin(), m_git.changes.cend(),
                       [](const NBEGitFileChange &change) { return change.isStaged(); });
}

bool NBEWorkspaceViewModel::canAmendSafely() const
{
    return isGitRepository() && !m_git.merge && (!m_git.hasUpstream || m_git.ahead > 0);
}

bool NBEWorkspaceViewModel::hasConflicts() const
{
    return std::any_of(m_git.changes.cbegin(), m_git.changes.cend(),
                       [](const NBEGitFileChange &change) {
                           return change.overallStatus() == NBEGitStatus::conflicted;
                       });
}

QList<NBEGitFileChange> NBEWorkspaceViewModel::changedFiles() const
{
    QList<NBEGitFileChange> sorted = m_git.changes;
    std::stable_sort(
        sorted.begin(), sorted.end(), [](const NBEGitFileChange &a, const NBEGitFileChange &b) {
            return NBEFileTreeNode::compareNames(a.url.fileName(), b.url.fileName()) < 0;
        });
    return sorted;
}

QFuture<std::optional<QString>> NBEWorkspaceViewModel::headContent(const QUrl &forFile)
{
    if (!m_git.root)
        return QtFuture::makeReadyFuture(std::optional<QString>());
    return m_gitService.fileAtHEAD(forFile, *m_git.root);
}

void NBEWorkspaceViewModel::initGitRepository()
{
    if (!m_workspace)
        return;
    nbeWhenFinished(m_gitService.initRepository(m_workspace->rootURL), this,
                    [this](bool) { refreshGitStatus(); });
}
