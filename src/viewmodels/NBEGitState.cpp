#include "NBEGitState.h"

#include "NBEFileService.h"
#include "NBEFileTreeNode.h"
#include "NBEWhenFinished.h"

#include <QPromise>
#include <QThreadPool>

#include <algorithm>

struct NBEGitState::Refresh
{
    // Branch, HEAD, upstream counts and changes come from one git status.
    QFuture<NBEGitOverview> overview;
    // The change list with its map by path, made off the main thread.
    struct Changes
    {
        QList<NBEGitFileChange> list;
        QHash<QString, NBEGitStatus> status;
    };
    QFuture<Changes> changes;

    Snapshot snapshot(const QUrl &root) const;
};

namespace {

template <typename T> T valueOf(const QFuture<T> &future, T fallback = {})
{
    return future.isFinished() && future.resultCount() > 0 ? future.result() : fallback;
}

} // namespace

NBEGitState::Snapshot NBEGitState::Refresh::snapshot(const QUrl &root) const
{
    Snapshot snapshot;
    snapshot.root = root;
    const NBEGitOverview found = valueOf(overview);
    const NBEGitWorkingState state = found.working.value_or(NBEGitWorkingState{});
    snapshot.branch = state.branch;
    snapshot.branches = found.branches;
    snapshot.remotes = found.remotes;
    if (const auto counts = state.aheadBehind) {
        snapshot.ahead = counts->ahead;
        snapshot.behind = counts->behind;
        snapshot.hasUpstream = true;
    } else if (!snapshot.remotes.isEmpty()) {
        snapshot.unpushed = found.unpushed;
    }
    snapshot.browserAuthConfigured = found.browserAuth;
    snapshot.headSHA = state.headSHA;
    snapshot.merge = found.merge;
    Changes listed = valueOf(changes);
    snapshot.changes = std::move(listed.list);
    snapshot.status = std::move(listed.status);
    return snapshot;
}

NBEGitState::NBEGitState(NBEGitService &service, QObject *parent)
    : QObject(parent)
    , m_service(service)
{}

void NBEGitState::setLoading(bool loading)
{
    if (m_isLoading == loading)
        return;
    m_isLoading = loading;
    Q_EMIT loadingChanged();
}

void NBEGitState::store(const Snapshot &snapshot)
{
    if (m_snapshot == snapshot)
        return;
    const std::optional<NBEGitMergeState> before = m_snapshot.merge;
    Snapshot previous = std::exchange(m_snapshot, snapshot);
    // Thousands of changes are freed on the pool, not on the main thread.
    if (previous.changes.size() > 1000)
        QThreadPool::globalInstance()->start([previous = std::move(previous)] {});
    Q_EMIT changed();
    if (before != m_snapshot.merge)
        Q_EMIT mergeChanged(before);
}

QFuture<void> NBEGitState::refresh(const std::optional<QUrl> &folder)
{
    const quint64 generation = ++m_generation;
    auto store = [this, generation](const Snapshot &snapshot) {
        if (generation < m_stored)
            return;
        m_stored = generation;
        this->store(snapshot);
    };
    if (!folder) {
        store(Snapshot{});
        return QtFuture::makeReadyFuture();
    }

    auto promise = std::make_shared<QPromise<void>>();
    promise->start();
    QFuture<void> done = promise->future();
    nbeWhenFinished(m_service.repositoryRoot(*folder), this,
                    [this, store, promise](std::optional<QUrl> root) {
                        if (!root) {
                            store(Snapshot{});
                            promise->finish();
                            return;
                        }
                        // The snapshot is stored in one step once the overview is in.
                        auto refresh = std::make_shared<Refresh>();
                        refresh->overview = m_service.overview(*root);
                        // Unchanged lists keep the stored ones, so comparing the
                        // snapshots on the main thread costs nothing.
                        refresh->changes = refresh->overview.then(
                            QtFuture::Launch::Async,
                            [previous = m_snapshot.changes,
                             previousStatus = m_snapshot.status](const NBEGitOverview &overview) {
                                const std::optional<NBEGitWorkingState> &state = overview.working;
                                Refresh::Changes changes;
                                const QList<NBEGitFileChange> list =
                                    state ? state->changes : QList<NBEGitFileChange>();
                                if (list == previous) {
                                    changes.list = previous;
                                    changes.status = previousStatus;
                                    return changes;
                                }
                                changes.list = list;
                                if (state)
                                    changes.status = state->statusByPath;
                                return changes;
                            });
                        nbeWhenFinished(refresh->changes, this,
                                        [root, refresh, store, promise](const Refresh::Changes &) {
                                            store(refresh->snapshot(*root));
                                            promise->finish();
                                        });
                    });
    return done;
}

std::optional<NBEGitStatus> NBEGitState::status(const QUrl &forFile) const
{
    const auto it = m_snapshot.status.constFind(NBEFileService::keyPath(forFile));
    if (it == m_snapshot.status.cend())
        return std::nullopt;
    return *it;
}

int NBEGitState::commitsToPush() const
{
    return m_snapshot.hasUpstream ? m_snapshot.ahead : m_snapshot.unpushed;
}

bool NBEGitState::needsPublish() const
{
    return !m_snapshot.remotes.isEmpty() && !m_snapshot.hasUpstream;
}

bool NBEGitState::hasStagedChanges() const
{
    return std::any_of(m_snapshot.changes.cbegin(), m_snapshot.changes.cend(),
                       [](const NBEGitFileChange &change) { return change.isStaged(); });
}

bool NBEGitState::canAmendSafely() const
{
    return isRepository() && !m_snapshot.merge && (!m_snapshot.hasUpstream || m_snapshot.ahead > 0);
}

bool NBEGitState::hasConflicts() const
{
    return std::any_of(m_snapshot.changes.cbegin(), m_snapshot.changes.cend(),
                       [](const NBEGitFileChange &change) {
                           return change.overallStatus() == NBEGitStatus::conflicted;
                       });
}

QList<NBEGitFileChange> NBEGitState::changedFiles() const
{
    QList<NBEGitFileChange> sorted = m_snapshot.changes;
    std::stable_sort(
        sorted.begin(), sorted.end(), [](const NBEGitFileChange &a, const NBEGitFileChange &b) {
            return NBEFileTreeNode::compareNames(a.url.fileName(), b.url.fileName()) < 0;
        });
    return sorted;
}

QFuture<std::optional<QString>> NBEGitState::headContent(const QUrl &forFile)
{
    if (!m_snapshot.root)
        return QtFuture::makeReadyFuture(std::optional<QString>());
    return m_service.fileAtHEAD(forFile, *m_snapshot.root);
}
