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
    for (const NBEOpenTab &tab : m_tabs->tabs()) {
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

    const auto rest = [this, promise] {
        nbeWhenFinished(rebuildFileTree(true), this, [this, promise] {
            watchProjectFolders();
            Q_EMIT outsideChangesFollowed();
            promise->finish();
            if (const auto again = std::exchange(m_outsideChangesAgain, std::nullopt))
                followOutsideChanges(*again);
        });
    };
    // Tabs first, so the rebuilt tree finds them settled.
    const QFuture<void> tabsChecked = m_tabs->followDisk(paths);
    if (tabsChecked.isFinished())
        rest();
    else
        nbeWhenFinished(tabsChecked, this, rest);
    return done;
}
