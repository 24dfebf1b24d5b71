// Files changed by other programs: open tabs follow their files, and the
// tree and git state follow the folder, after a watched burst of changes or
// when the application becomes active again.
#include "NBEWorkspaceViewModel.h"

#include "NBEWhenFinished.h"

#include "NBEApplicationActivity.h"
#include "NBEFileWatch.h"

#include <QDir>
#include <QFileInfo>
#include <QPromise>

namespace {

// Whether `path` or a folder above it is among `changed`.
bool touchedBy(const QString &path, const QSet<QString> &changed)
{
    for (QString at = path; !at.isEmpty() && at != QLatin1String("/"); at = QFileInfo(at).path()) {
        if (changed.contains(at))
            return true;
    }
    return false;
}

} // namespace

void NBEWorkspaceViewModel::startFollowingOutsideChanges()
{
    stopFollowingOutsideChanges();
    if (!m_workspace || m_environment.timings.outsideChangeQuiet.count() <= 0)
        return;
    m_fileWatch = new NBEFileWatch(m_environment.timings.outsideChangeQuiet, this);
    connect(m_fileWatch, &NBEFileWatch::changed, this,
            [this](const QStringList &paths) { followOutsideChanges(paths); });
    watchProjectFolders();
    if (m_activity) {
        m_outsideActivationObserver =
            connect(m_activity.data(), &NBEApplicationActivity::becameActive, this,
                    [this] { followOutsideChanges({}); });
    }
}

void NBEWorkspaceViewModel::stopFollowingOutsideChanges()
{
    delete m_fileWatch;
    m_fileWatch = nullptr;
    disconnect(m_outsideActivationObserver);
    m_outsideActivationObserver = {};
}

void NBEWorkspaceViewModel::watchProjectFolders()
{
    if (!m_fileWatch || !m_workspace)
        return;
    const QString root = NBEFileService::keyPath(m_workspace->rootURL);
    QStringList extras;
    // git's own folder tells of commits, checkouts and staging from outside.
    if (git().root)
        extras.append(QDir(git().root->toLocalFile()).filePath(QStringLiteral(".git")));
    for (const NBEOpenTab &tab : m_workspace->openTabs) {
        const QString folder = QFileInfo(NBEFileService::keyPath(tab.sourceFile.url)).path();
        if (folder != root && !folder.startsWith(root + u'/') && !extras.contains(folder))
            extras.append(folder);
    }
    if (root == m_watchedRoot && extras == m_watchedExtras)
        return;
    m_watchedRoot = root;
    m_watchedExtras = extras;
    m_fileWatch->watch(root, extras);
}

QFuture<void> NBEWorkspaceViewModel::followOutsideChanges(const QStringList &paths)
{
    if (!m_workspace)
        return QtFuture::makeReadyFuture();
    // One refresh at a time; changes reported meanwhile make one more.
    if (m_outsideRefresh && !m_outsideRefresh->isFinished()) {
        if (paths.isEmpty())
            m_outsideChangesAgain = QStringList();
        else if (!m_outsideChangesAgain || !m_outsideChangesAgain->isEmpty())
            m_outsideChangesAgain = m_outsideChangesAgain.value_or(QStringList()) + paths;
        return *m_outsideRefresh;
    }
    auto promise = std::make_shared<QPromise<void>>();
    promise->start();
    QFuture<void> done = promise->future();
    m_outsideRefresh = done;

    const QSet<QString> changed(paths.cbegin(), paths.cend());
    QList<QUuid> ids;
    QList<QFuture<NBEDiskChange>> checks;
    for (const NBEOpenTab &tab : m_workspace->openTabs) {
        if (!changed.isEmpty() && !touchedBy(NBEFileService::keyPath(tab.sourceFile.url), changed))
            continue;
        ids.append(tab.id);
        checks.append(m_fileService.diskChange(
            tab.sourceFile.url,
            NBEDiskKnowledge{tab.sourceFile.diskStamp, tab.sourceFile.isMissingOnDisk}));
    }
    const auto rest = [this, promise] {
        nbeWhenFinished(rebuildFileTree(true), this, [this, promise] {
            watchProjectFolders();
            promise->finish();
            if (const auto again = std::exchange(m_outsideChangesAgain, std::nullopt))
                followOutsideChanges(*again);
        });
    };
    if (checks.isEmpty()) {
        rest();
        return done;
    }
    nbeWhenFinished(QtFuture::whenAll(checks.begin(), checks.end()), this,
                    [this, ids, rest](const QList<QFuture<NBEDiskChange>> &results) {
                        for (qsizetype i = 0; i < ids.size() && i < results.size(); ++i) {
                            if (results[i].resultCount() > 0)
                                followTabFile(ids[i], results[i].result());
                        }
                        rest();
                    });
    return done;
}

void NBEWorkspaceViewModel::followTabFile(const QUuid &id, NBEDiskChange change)
{
    NBEOpenTab *tab = findTab(id);
    if (!tab)
        return;
    NBESourceFile &file = tab->sourceFile;
    switch (change) {
    case NBEDiskChange::None:
        // Back in place as the tab knew it.
        if (std::exchange(file.isMissingOnDisk, false))
            Q_EMIT tabsChanged();
        return;
    case NBEDiskChange::Vanished:
        // The text lives on in the tab, unsaved, until the user decides.
        if (!std::exchange(file.isMissingOnDisk, true))
            Q_EMIT tabsChanged();
        return;
    case NBEDiskChange::Changed:
        if (file.buffer->isDirty()) {
            // Unsaved edits stay; saving asks about the newer file.
            if (std::exchange(file.isMissingOnDisk, false))
                Q_EMIT tabsChanged();
            return;
        }
        const QUrl url = file.url;
        const quint64 revision = file.buffer->revision();
        nbeWhenFinished(m_fileService.readFile(url), this,
                        [this, id, url, revision](const NBEResult<NBETextFile> &read) {
                            NBEOpenTab *now = findTab(id);
                            // Typed into meanwhile: the edits win, the save asks.
                            if (!read || !now || now->sourceFile.url != url ||
                                now->sourceFile.buffer->revision() != revision ||
                                now->sourceFile.buffer->isDirty())
                                return;
                            showDiskText(*now, *read);
                        });
        return;
    }
}
