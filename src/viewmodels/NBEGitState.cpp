#include "NBEGitState.h"

#include "NBEEditorDocument.h"
#include "NBEFileService.h"
#include "NBEFileTreeNode.h"
#include "NBEGitChangesModel.h"
#include "NBEMemory.h"
#include "NBEWhenFinished.h"

#include <QPointer>
#include <QPromise>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <tuple>
#include <vector>

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
    snapshot.error = found.statusError;
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

NBEGitState::Prepared NBEGitState::prepared(Snapshot snapshot, const Snapshot &previous,
                                            const NBEGitNameOrder &previousOrder,
                                            const QList<NBEGitChangeRow> &previousRows)
{
    Prepared prepared;
    prepared.same = snapshot == previous;
    const bool sameChanges =
        prepared.same || (snapshot.changes == previous.changes && snapshot.root == previous.root);
    prepared.snapshot = std::move(snapshot);
    if (sameChanges) {
        prepared.order = previousOrder;
        prepared.rows = previousRows;
        prepared.rowsChange = {previousRows, previousRows, 0, 0, 0};
        return prepared;
    }
    // Only the changes that are new are sorted; the rest keep their order.
    prepared.order = prepared.snapshot.root == previous.root
                         ? NBEGitNameOrder::updated(previousOrder, prepared.snapshot.changes)
                         : NBEGitNameOrder::of(prepared.snapshot.changes);
    // The rows of the changes that stayed are the ones they had.
    if (prepared.snapshot.root)
        prepared.rows =
            prepared.snapshot.root == previous.root
                ? NBEGitChangesModel::rowsFor(prepared.order, *prepared.snapshot.root,
                                              previousOrder, previousRows)
                : NBEGitChangesModel::rowsFor(prepared.order.changes, *prepared.snapshot.root);
    // The rows both lists begin and end with; a section row stands for
    // itself whatever its count, which the model updates in place.
    const auto alike = [](const NBEGitChangeRow &a, const NBEGitChangeRow &b) {
        if (!a.isFile())
            return a.kind == b.kind;
        // A row taken over from the previous list shares its data.
        const bool shared =
            const_cast<QUrl &>(a.url).data_ptr() == const_cast<QUrl &>(b.url).data_ptr() &&
            a.name.constData() == b.name.constData() &&
            a.folder.constData() == b.folder.constData();
        return shared ? a.kind == b.kind && a.status == b.status && a.count == b.count &&
                            a.name.size() == b.name.size() && a.folder.size() == b.folder.size()
                      : a == b;
    };
    const QList<NBEGitChangeRow> &rows = prepared.rows;
    const qsizetype shorter = std::min(rows.size(), previousRows.size());
    qsizetype prefix = 0;
    while (prefix < shorter && alike(rows[prefix], previousRows[prefix]))
        ++prefix;
    qsizetype suffix = 0;
    while (suffix < shorter - prefix &&
           alike(rows[rows.size() - 1 - suffix], previousRows[previousRows.size() - 1 - suffix]))
        ++suffix;
    // Every file row alike means every section's count is too.
    if (prefix == rows.size() && prefix == previousRows.size()) {
        prepared.rows = previousRows;
        prepared.rowsChange = {previousRows, previousRows, 0, 0, 0};
        return prepared;
    }
    RowsChange &change = prepared.rowsChange;
    change.before = previousRows;
    change.at = prefix;
    change.removed = previousRows.size() - prefix - suffix;
    change.inserted = rows.size() - prefix - suffix;
    // Only rows that go need a list between: most refreshes only add.
    if (change.removed > 0 && change.removed < previousRows.size()) {
        change.between.reserve(previousRows.size() - change.removed);
        for (qsizetype i = 0; i < previousRows.size(); ++i) {
            if (i < prefix || i >= prefix + change.removed)
                change.between.append(previousRows[i]);
        }
    }
    return prepared;
}

QFuture<NBEGitState::Prepared> NBEGitState::prepareElsewhere(Snapshot snapshot) const
{
    return QtConcurrent::run([snapshot = std::move(snapshot), previous = m_snapshot,
                              order = m_order, rows = m_rows, storeCount = m_storeCount]() mutable {
        Prepared result = prepared(std::move(snapshot), previous, order, rows);
        result.storeCount = storeCount;
        return result;
    });
}

void NBEGitState::store(Prepared prepared)
{
    // Worked out against a snapshot that another store replaced meanwhile.
    if (prepared.storeCount != m_storeCount) {
        const quint64 count = m_storeCount;
        prepared = NBEGitState::prepared(std::move(prepared.snapshot), m_snapshot, m_order, m_rows);
        prepared.storeCount = count;
    }
    if (prepared.same)
        return;
    ++m_storeCount;
    const std::optional<NBEGitMergeState> before = m_snapshot.merge;
    Snapshot previous = std::exchange(m_snapshot, std::move(prepared.snapshot));
    QList<NBEGitChangeRow> previousRows = std::exchange(m_rows, std::move(prepared.rows));
    RowsChange previousChange = std::exchange(m_rowsChange, std::move(prepared.rowsChange));
    NBEGitNameOrder previousOrder = std::exchange(m_order, std::move(prepared.order));
    // Thousands of changes are freed on another thread, not on the main one.
    if (previous.changes.size() > 1000)
        NBEMemory::freeElsewhere(std::make_tuple(std::move(previous), std::move(previousRows),
                                                 std::move(previousChange),
                                                 std::move(previousOrder)));
    Q_EMIT changed();
    if (before != m_snapshot.merge)
        Q_EMIT mergeChanged(before);
}

QFuture<void> NBEGitState::refresh()
{
    const std::optional<QUrl> folder = m_folder;
    const NBERequestOrder::Token generation = m_refreshes.next();
    auto promise = std::make_shared<QPromise<void>>();
    promise->start();
    QFuture<void> done = promise->future();
    // The snapshot, its order and its rows are worked out off the main
    // thread; only a newer refresh's answer replaces them.
    auto store = [this, generation, promise](Snapshot snapshot, NBEGitStatusRun run) {
        nbeWhenFinished(prepareElsewhere(std::move(snapshot)), this,
                        [this, generation, promise, run = std::move(run)](Prepared prepared) {
                            if (generation >= m_stored) {
                                m_stored = generation;
                                m_lastRun = run;
                                this->store(std::move(prepared));
                            }
                            Q_EMIT refreshed();
                            promise->finish();
                        });
    };
    if (!folder) {
        Prepared empty = prepared(Snapshot{}, m_snapshot, m_order, m_rows);
        empty.storeCount = m_storeCount;
        m_stored = generation;
        m_lastRun = {};
        this->store(std::move(empty));
        Q_EMIT refreshed();
        promise->finish();
        return done;
    }
    // The root is found in the same turn as the rest, and unchanged lists
    // come back as the stored ones.
    nbeWhenFinished(
        m_service.overview(*folder, m_lastRun), this, [store](const NBEGitOverview &overview) {
            if (!overview.root) {
                store(Snapshot{}, {});
                return;
            }
            Snapshot snapshot = snapshotOf(overview);
            NBEGitStatusRun run;
            if (overview.working && !overview.statusError)
                run = {*overview.root, overview.porcelain, snapshot.changes, snapshot.status};
            store(std::move(snapshot), std::move(run));
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
    return m_order.changes;
}

QFuture<std::optional<QString>> NBEGitState::headContent(const QUrl &forFile)
{
    if (!m_snapshot.root)
        return QtFuture::makeReadyFuture(std::optional<QString>());
    return m_service.index().fileAtHEAD(forFile, *m_snapshot.root);
}

void NBEGitState::follow(NBEEditorDocument &document)
{
    struct Reading
    {
        // The file's path and HEAD commit the text was last asked for.
        QString key;
        quint64 request = 0;
    };
    auto reading = std::make_shared<Reading>();
    const QPointer<NBEEditorDocument> target(&document);
    const auto update = [this, target, reading] {
        if (!target)
            return;
        target->setRepositoryRoot(m_snapshot.root);
        const QUrl file = target->fileURL();
        const QString key = file.toLocalFile() + u'|' + m_snapshot.headSHA.value_or(QString());
        if (key == reading->key)
            return;
        reading->key = key;
        const quint64 request = ++reading->request;
        nbeWhenFinished(headContent(file), target,
                        [target, reading, request](const std::optional<QString> &head) {
                            // A newer read (another file or HEAD) supersedes this one.
                            if (request == reading->request)
                                target->setHeadContent(head);
                        });
    };
    connect(this, &NBEGitState::changed, &document, update);
    connect(&document, &NBEEditorDocument::fileURLChanged, this, update);
    update();
}
