#include "NBEGitState.h"

#include "NBEFileService.h"
#include "NBEFileTreeNode.h"
#include "NBEMemory.h"
#include "NBEWhenFinished.h"

#include <QPromise>

#include <algorithm>

namespace {

// Branch, HEAD, upstream counts and changes come from one git status.
NBEGitState::Snapshot snapshotOf(const NBEGitOverview &found)
{
    NBEGitState::Snapshot snapshot;
    snapshot.root = found.root;
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
    snapshot.changes = state.changes;
    snapshot.status = state.statusByPath;
    return snapshot;
}

} // namespace

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
    // Thousands of changes are freed on another thread, not on the main one.
    if (previous.changes.size() > 1000)
        NBEMemory::freeElsewhere(std::move(previous));
    Q_EMIT changed();
    if (before != m_snapshot.merge)
        Q_EMIT mergeChanged(before);
}

QFuture<void> NBEGitState::refresh(const std::optional<QUrl> &folder)
{
    const quint64 generation = ++m_generation;
    auto store = [this, generation](const Snapshot &snapshot, NBEGitStatusRun run) {
        if (generation < m_stored)
            return;
        m_stored = generation;
        m_lastRun = std::move(run);
        this->store(snapshot);
    };
    if (!folder) {
        store(Snapshot{}, {});
        return QtFuture::makeReadyFuture();
    }

    auto promise = std::make_shared<QPromise<void>>();
    promise->start();
    QFuture<void> done = promise->future();
    // The root is found in the same turn as the rest, and unchanged lists
    // come back as the stored ones, so comparing the snapshots on the main
    // thread costs nothing.
    nbeWhenFinished(
        m_service.overview(*folder, m_lastRun), this,
        [store, promise](const NBEGitOverview &overview) {
            if (!overview.root) {
                store(Snapshot{}, {});
            } else {
                Snapshot snapshot = snapshotOf(overview);
                NBEGitStatusRun run;
                if (overview.working)
                    run = {*overview.root, overview.porcelain, snapshot.changes, snapshot.status};
                store(std::move(snapshot), std::move(run));
            }
            promise->finish();
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
