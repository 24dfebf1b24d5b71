#include "NBEWorkspaceFiles.h"

#include "NBEWhenFinished.h"

#include "NBEApplicationActivity.h"
#include "NBEFileWatch.h"
#include "NBELog.h"
#include "NBEMemory.h"
#include "NBEWorkspaceDesktop.h"
#include "NBEWorkspaceNavigation.h"
#include "NBEWorkspaceSaving.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPromise>
#include <QRegularExpression>
#include <QSet>
#include <QStringDecoder>

#include <algorithm>

namespace {

QString cleanPath(const QUrl &url)
{
    return NBEFileService::keyPath(url);
}

// Where a file at `path` is once `source` became `target`; none when the
// move didn't touch it. The separator keeps "ab/z" out of a move of "a".
std::optional<QString> movedPath(const QString &path, const QString &source, const QString &target)
{
    if (path == source)
        return target;
    if (path.startsWith(source + QLatin1Char('/')))
        return target + path.mid(source.size());
    return std::nullopt;
}

bool isAtOrBelow(const QString &path, const QString &item)
{
    return movedPath(path, item, item).has_value();
}

} // namespace

NBEWorkspaceFiles::NBEWorkspaceFiles(NBEFileService &files, NBEGitState &git,
                                     NBEWorkspaceTabs &tabs, NBEWorkspaceSaving &saving,
                                     NBEWorkspaceNavigation &navigation,
                                     std::shared_ptr<NBEWorkspaceDesktop> desktop,
                                     NBEApplicationActivity *activity,
                                     std::chrono::milliseconds quiet, QObject *parent)
    : QObject(parent)
    , m_files(files)
    , m_git(git)
    , m_tabs(tabs)
    , m_saving(saving)
    , m_navigation(navigation)
    , m_desktop(std::move(desktop))
    , m_activity(activity)
    , m_quiet(quiet)
{}

NBEWorkspaceFiles::~NBEWorkspaceFiles() = default;

namespace {

// The same folder with the same tree.
bool sameFolder(const std::optional<NBEWorkspace> &a, const std::optional<NBEWorkspace> &b)
{
    return a.has_value() == b.has_value() &&
           (!a || (a->rootURL == b->rootURL && a->fileTree == b->fileTree));
}

} // namespace

void NBEWorkspaceFiles::setWorkspace(const std::optional<NBEWorkspace> &workspace)
{
    if (sameFolder(m_workspace, workspace))
        return;
    m_workspace = workspace;
    Q_EMIT workspaceChanged();
}

void NBEWorkspaceFiles::replaceFolder(const std::optional<NBEWorkspace> &workspace)
{
    const bool appearsOrGoes = m_workspace.has_value() != workspace.has_value();
    const bool differs = !sameFolder(m_workspace, workspace);
    m_workspace = workspace;
    m_git.setFolder(workspace ? std::optional(workspace->rootURL) : std::nullopt);
    m_tabs.setFolderOpen(workspace.has_value());
    const bool tabsAnnounced = m_tabs.clear();
    if (differs)
        Q_EMIT workspaceChanged();
    if (appearsOrGoes && !tabsAnnounced)
        // The tab bar follows a folder opening or closing even without tabs.
        Q_EMIT m_tabs.tabsChanged();
}

void NBEWorkspaceFiles::open(const QUrl &folder, NBEFileTreeNode tree)
{
    NBEWorkspace workspace(folder);
    workspace.fileTree = std::move(tree);
    replaceFolder(workspace);
    m_unreadableFolders.clear();
    sayUnreadableFolders();
    readVaporManifest();
}

void NBEWorkspaceFiles::close()
{
    stopFollowingOutsideChanges();
    replaceFolder(std::nullopt);
}

void NBEWorkspaceFiles::readVaporManifest()
{
    m_isVaporProject = false;
    if (!m_workspace)
        return;
    QFile manifest(
        QDir(m_workspace->rootURL.toLocalFile()).filePath(QStringLiteral("Package.swift")));
    if (!manifest.open(QIODevice::ReadOnly))
        return;
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(manifest.readAll());
    if (decoder.hasError())
        return;
    static const QRegularExpression package(QStringLiteral("\\.package\\([^)]*vapor"));
    m_isVaporProject =
        text.contains(QLatin1String("vapor/vapor")) || package.match(text).hasMatch();
}

bool NBEWorkspaceFiles::canOpenInTarnwick() const
{
    return isVaporProject() && m_desktop->siblingApplication().has_value();
}

void NBEWorkspaceFiles::openInTarnwick()
{
    if (!m_workspace)
        return;
    const std::optional<QUrl> application = m_desktop->siblingApplication();
    if (!application)
        return;
    m_desktop->openWithApplication({m_workspace->rootURL}, *application);
}

void NBEWorkspaceFiles::revealInFileManager(const QUrl &url)
{
    m_desktop->revealInFileManager(url);
}

template <typename T, typename Then>
QFuture<void> NBEWorkspaceFiles::afterFileChange(const QFuture<NBEResult<T>> &change,
                                                 const QString &prefix, Then &&then)
{
    auto promise = std::make_shared<QPromise<void>>();
    promise->start();
    QFuture<void> done = promise->future();
    nbeWhenFinished(change, this,
                    [this, prefix, promise, then = std::forward<Then>(then)](NBEResult<T> result) {
                        if (!result) {
                            Q_EMIT failed(prefix + result.error().description);
                            promise->finish();
                            return;
                        }
                        if constexpr (std::is_void_v<T>)
                            then();
                        else
                            then(*result);
                        nbeWhenFinished(refreshFileTree(), this, [promise] { promise->finish(); });
                    });
    return done;
}

std::optional<QUrl> NBEWorkspaceFiles::newItemBaseDirectory() const
{
    if (const std::optional<NBEOpenTab> tab = m_tabs.activeTab())
        return QUrl::fromLocalFile(QFileInfo(tab->sourceFile.url.toLocalFile()).absolutePath());
    if (m_workspace)
        return m_workspace->rootURL;
    return std::nullopt;
}

QFuture<void> NBEWorkspaceFiles::createAtChosenLocation(
    const QString &message, const QString &proposedName,
    const std::function<void(const QUrl &, std::shared_ptr<QPromise<void>>)> &create)
{
    const std::optional<QUrl> base = newItemBaseDirectory();
    if (!base)
        return QtFuture::makeReadyFuture();
    auto promise = std::make_shared<QPromise<void>>();
    promise->start();
    QFuture<void> done = promise->future();
    nbeWhenFinished(m_desktop->chooseNewItemLocation(message, proposedName, tr("Create"), *base),
                    this, [promise, create](std::optional<QUrl> url) {
                        if (!url || !url->isLocalFile()) {
                            promise->finish();
                            return;
                        }
                        create(*url, promise);
                    });
    return done;
}

QFuture<void> NBEWorkspaceFiles::newFile()
{
    return createAtChosenLocation(
        tr("Create a new file"), QStringLiteral("untitled.txt"),
        [this](const QUrl &file, std::shared_ptr<QPromise<void>> promise) {
            auto created = std::make_shared<bool>(false);
            nbeWhenFinished(
                afterFileChange(m_files.createFile(file, QString()), tr("Failed to create file: "),
                                [created] { *created = true; }),
                this, [this, file, created, promise] {
                    if (!*created) {
                        promise->finish();
                        return;
                    }
                    nbeWhenFinished(m_navigation.openFile(file, false), this, [file, promise] {
                        NBELog::fileIO().info("Created file: %s", file.fileName());
                        promise->finish();
                    });
                });
        });
}

QFuture<void> NBEWorkspaceFiles::newFolder()
{
    return createAtChosenLocation(
        tr("Create a new folder"), tr("untitled folder"),
        [this](const QUrl &folder, std::shared_ptr<QPromise<void>> promise) {
            nbeWhenFinished(
                afterFileChange(
                    m_files.createDirectory(folder), tr("Failed to create folder: "),
                    [folder] { NBELog::fileIO().info("Created folder: %s", folder.fileName()); }),
                this, [promise] { promise->finish(); });
        });
}

QFuture<void> NBEWorkspaceFiles::createFile(const QString &named, const QUrl &in)
{
    const QUrl url = QUrl::fromLocalFile(QDir(in.toLocalFile()).filePath(named));
    // The name is checked by the service, so a bad one never reaches the disk.
    if (const auto valid = NBEFileService::checkName(named); !valid) {
        Q_EMIT failed(tr("Failed to create file: ") + valid.error().description);
        return QtFuture::makeReadyFuture();
    }
    return afterFileChange(m_files.createFile(url, QString()), tr("Failed to create file: "),
                           [] {});
}

QFuture<void> NBEWorkspaceFiles::createFolder(const QString &named, const QUrl &in)
{
    if (const auto valid = NBEFileService::checkName(named); !valid) {
        Q_EMIT failed(tr("Failed to create folder: ") + valid.error().description);
        return QtFuture::makeReadyFuture();
    }
    const QUrl url = QUrl::fromLocalFile(QDir(in.toLocalFile()).filePath(named));
    return afterFileChange(m_files.createDirectory(url), tr("Failed to create folder: "), [] {});
}

QFuture<void> NBEWorkspaceFiles::deleteItem(const QUrl &at)
{
    const QString item = cleanPath(at);
    QStringList dirtyNames;
    QList<QUuid> dirtyIDs;
    for (const NBEOpenTab &tab : m_tabs.tabs()) {
        if (tab.sourceFile.isDirty() && isAtOrBelow(cleanPath(tab.sourceFile.url), item)) {
            dirtyNames.append(tab.sourceFile.name());
            dirtyIDs.append(tab.id);
        }
    }
    const auto remove = [this, at, item] {
        return afterFileChange(removeItem(at), tr("Failed to delete: "),
                               [this, item](bool removed) {
                                   if (removed)
                                       closeTabsBelow(item);
                               });
    };
    if (dirtyNames.isEmpty())
        return remove();

    auto promise = std::make_shared<QPromise<void>>();
    promise->start();
    QFuture<void> done = promise->future();
    const auto finish = [promise] { promise->finish(); };
    // Save writes the edits first, so they are in the trashed file; Don't
    // Save trashes the file as it is on disk. Either way the tabs close.
    nbeWhenFinished(m_desktop->askToSaveChanges(dirtyNames), this,
                    [this, dirtyIDs, remove, finish](NBEUnsavedChangesChoice choice) {
                        if (choice == NBEUnsavedChangesChoice::Cancel) {
                            finish();
                        } else if (choice == NBEUnsavedChangesChoice::DontSave) {
                            nbeWhenFinished(remove(), this, finish);
                        } else {
                            nbeWhenFinished(m_saving.saveDirtyTabs(dirtyIDs), this,
                                            [this, remove, finish](bool saved) {
                                                // A failed write said so; the
                                                // edits stay in their tabs.
                                                if (saved)
                                                    nbeWhenFinished(remove(), this, finish);
                                                else
                                                    finish();
                                            });
                        }
                    });
    return done;
}

QFuture<NBEResult<bool>> NBEWorkspaceFiles::removeItem(const QUrl &at)
{
    // The item goes to the trash, so nothing is lost on a misclick; only
    // where no trash takes it is the user asked before it goes for good.
    auto promise = std::make_shared<QPromise<NBEResult<bool>>>();
    promise->start();
    QFuture<NBEResult<bool>> done = promise->future();
    const auto answer = [promise](NBEResult<bool> removed) {
        promise->addResult(std::move(removed));
        promise->finish();
    };
    nbeWhenFinished(m_files.trash(at), this, [this, at, answer](NBEResult<NBEDeletion> trashed) {
        if (!trashed) {
            answer(std::unexpected(trashed.error()));
            return;
        }
        if (*trashed == NBEDeletion::Trashed) {
            answer(true);
            return;
        }
        nbeWhenFinished(
            m_desktop->askToDeleteForGood({at.fileName()}), this, [this, at, answer](bool forGood) {
                if (!forGood) {
                    answer(false);
                    return;
                }
                nbeWhenFinished(m_files.delete_(at), this, [answer](NBEResult<void> deleted) {
                    answer(deleted ? NBEResult<bool>(true) : std::unexpected(deleted.error()));
                });
            });
    });
    return done;
}

QFuture<void> NBEWorkspaceFiles::renameItem(const QUrl &at, const QString &to)
{
    const QString source = cleanPath(at);
    // Confirming the name as it stands changes nothing; it isn't a clash.
    if (to == QFileInfo(source).fileName())
        return QtFuture::makeReadyFuture();
    return afterFileChange(
        m_files.rename(at, to), tr("Failed to rename: "),
        [this, source](const QUrl &renamed) { retargetTabs(source, cleanPath(renamed)); });
}

QFuture<void> NBEWorkspaceFiles::moveItem(const QUrl &from, const QUrl &into)
{
    const QString source = cleanPath(from);
    const QString destination = cleanPath(into);
    // Already there, onto itself, or a folder into its own sub-tree: nothing.
    if (QFileInfo(source).absolutePath() == destination || isAtOrBelow(destination, source))
        return QtFuture::makeReadyFuture();
    const QString name = QFileInfo(source).fileName();
    const QString target = QDir(destination).filePath(name);
    return afterFileChange(m_files.move(QUrl::fromLocalFile(source), QUrl::fromLocalFile(target)),
                           tr("Couldn't move %1: ").arg(name),
                           [this, source, target] { retargetTabs(source, target); });
}

void NBEWorkspaceFiles::retargetTabs(const QString &source, const QString &target)
{
    m_tabs.retarget([&](const QString &path) { return movedPath(path, source, target); });
}

void NBEWorkspaceFiles::sayUnreadableFolders()
{
    if (!m_workspace || !m_workspace->fileTree)
        return;
    QSet<QString> now;
    QList<const NBEFileTreeNode *> fresh;
    for (const NBEFileTreeNode *folder : m_workspace->fileTree->unreadableFolders()) {
        const QString path = cleanPath(folder->url);
        now.insert(path);
        if (!m_unreadableFolders.contains(path))
            fresh.append(folder);
    }
    // A folder readable again and then not is said again.
    m_unreadableFolders = now;
    if (fresh.isEmpty())
        return;
    const NBEFileTreeNode &first = *fresh.first();
    QString name = QDir(cleanPath(m_workspace->rootURL)).relativeFilePath(cleanPath(first.url));
    // A deep path keeps its ends in the sentence.
    if (name.size() > 80)
        name = name.left(39) + u'…' + name.right(39);
    QString why = first.readError;
    why[0] = why[0].toLower();
    // Also found by a rebuild after outside changes, while the user types.
    Q_EMIT noticed(fresh.size() == 1
                       ? tr("The folder “%1” couldn't be read (%2), so it's left out of the "
                            "file tree.")
                             .arg(name, why)
                       : tr("The folder “%1” and %2 more couldn't be read (%3), so they're left "
                            "out of the file tree.")
                             .arg(name)
                             .arg(fresh.size() - 1)
                             .arg(why));
}

void NBEWorkspaceFiles::closeTabsBelow(const QString &item)
{
    m_tabs.closeMatching([&](const QString &path) { return isAtOrBelow(path, item); });
}

NBEFileTreeNode NBEWorkspaceFiles::toggleNode(const NBEFileTreeNode &node, const QUuid &targetID)
{
    NBEFileTreeNode copy = node;
    if (copy.id == targetID) {
        copy.isExpanded = !copy.isExpanded;
        return copy;
    }
    for (NBEFileTreeNode &child : copy.children)
        child = toggleNode(child, targetID);
    return copy;
}

void NBEWorkspaceFiles::toggleExpanded(const QUuid &nodeID)
{
    if (!m_workspace || !m_workspace->fileTree)
        return;
    NBEWorkspace workspace = *m_workspace;
    workspace.fileTree = toggleNode(*workspace.fileTree, nodeID);
    setWorkspace(workspace);
}

QFuture<void> NBEWorkspaceFiles::refreshFileTree()
{
    return rebuildFileTree(false);
}

namespace {

// Whether two trees list the same items, whatever their ids and expansion.
bool sameItems(const NBEFileTreeNode &a, const NBEFileTreeNode &b)
{
    if (a.url != b.url || a.isDirectory != b.isDirectory || a.children.size() != b.children.size())
        return false;
    for (qsizetype i = 0; i < a.children.size(); ++i) {
        if (!sameItems(a.children[i], b.children[i]))
            return false;
    }
    return true;
}

void collectExpanded(const NBEFileTreeNode &node, QSet<QString> &paths)
{
    if (!node.isExpanded)
        return;
    paths.insert(node.url.path());
    for (const NBEFileTreeNode &child : node.children)
        collectExpanded(child, paths);
}

void applyExpanded(NBEFileTreeNode &node, const QSet<QString> &paths)
{
    if (!node.isDirectory || !paths.contains(node.url.path()))
        return;
    node.isExpanded = true;
    for (NBEFileTreeNode &child : node.children)
        applyExpanded(child, paths);
}

} // namespace

QFuture<void> NBEWorkspaceFiles::rebuildFileTree(bool keepExpansion)
{
    if (!m_workspace)
        return QtFuture::makeReadyFuture();
    const QUrl root = m_workspace->rootURL;
    // Folders are matched by path (ids are fresh in every build); the work
    // in proportion to the tree runs beside the walk, off the main thread.
    QSet<QString> expanded;
    std::optional<NBEFileTreeNode> old;
    if (keepExpansion && m_workspace->fileTree) {
        old = m_workspace->fileTree;
        // The root's own flag means nothing: its items are always shown.
        for (const NBEFileTreeNode &child : old->children)
            collectExpanded(child, expanded);
    }
    auto promise = std::make_shared<QPromise<void>>();
    promise->start();
    QFuture<void> done = promise->future();
    using Built = std::pair<NBEResult<NBEFileTreeNode>, bool>;
    QFuture<Built> built =
        m_files.buildFileTree(root).then([expanded, old](NBEResult<NBEFileTreeNode> tree) -> Built {
            if (!tree || !old)
                return {std::move(tree), false};
            if (sameItems(*tree, *old))
                return {std::move(tree), true};
            for (NBEFileTreeNode &child : tree->children)
                applyExpanded(child, expanded);
            return {std::move(tree), false};
        });
    nbeWhenFinished(built, this, [this, root, keepExpansion, promise](Built result) {
        auto &[tree, unchanged] = result;
        if (!tree) {
            // The old tree stays; without a word the item just made would
            // seem missing. A refresh after outside changes (a walk that met
            // a checkout half-way) tries again at the next burst.
            if (!keepExpansion)
                Q_EMIT failed(tr("Failed to refresh the file tree: ") + tree.error().description);
            NBELog::fileIO().error("Failed to refresh file tree: %s", tree.error().description);
        } else if (m_workspace && m_workspace->rootURL == root && !unchanged) {
            // A tree of many thousand items is let go on another thread.
            NBEMemory::freeElsewhere(std::exchange(m_workspace->fileTree, std::move(*tree)));
            readVaporManifest();
            Q_EMIT workspaceChanged();
            sayUnreadableFolders();
        } else if (unchanged) {
            NBEMemory::freeElsewhere(std::move(*tree));
            // The same items can hold a new manifest.
            if (m_workspace && m_workspace->rootURL == root)
                readVaporManifest();
        }
        nbeWhenFinished(m_git.refresh(), this, [promise] { promise->finish(); });
    });
    return done;
}

void NBEWorkspaceFiles::startFollowingOutsideChanges()
{
    stopFollowingOutsideChanges();
    if (!m_workspace || m_quiet.count() <= 0)
        return;
    m_fileWatch = new NBEFileWatch(m_quiet, this);
    connect(m_fileWatch, &NBEFileWatch::changed, this,
            [this](const QStringList &paths) { followOutsideChanges(paths); });
    watchProjectFolders();
    if (m_activity) {
        m_outsideActivationObserver =
            connect(m_activity.data(), &NBEApplicationActivity::becameActive, this,
                    [this] { followOutsideChanges({}); });
    }
}

void NBEWorkspaceFiles::stopFollowingOutsideChanges()
{
    delete m_fileWatch;
    m_fileWatch = nullptr;
    disconnect(m_outsideActivationObserver);
    m_outsideActivationObserver = {};
}

void NBEWorkspaceFiles::watchProjectFolders()
{
    if (!m_fileWatch || !m_workspace)
        return;
    const QString root = NBEFileService::keyPath(m_workspace->rootURL);
    QStringList extras;
    QStringList holds;
    // git's own folder tells of commits, checkouts and staging from outside;
    // its index lock says a checkout is still under way.
    if (m_git.snapshot().root) {
        const QDir gitFolder(
            QDir(m_git.snapshot().root->toLocalFile()).filePath(QStringLiteral(".git")));
        extras.append(gitFolder.path());
        holds.append(gitFolder.filePath(QStringLiteral("index.lock")));
    }
    for (const NBEOpenTab &tab : m_tabs.tabs()) {
        const QString folder = QFileInfo(NBEFileService::keyPath(tab.sourceFile.url)).path();
        if (folder != root && !folder.startsWith(root + u'/') && !extras.contains(folder))
            extras.append(folder);
    }
    if (root == m_watchedRoot && extras == m_watchedExtras)
        return;
    m_watchedRoot = root;
    m_watchedExtras = extras;
    m_fileWatch->watch(root, extras, holds);
}

QFuture<void> NBEWorkspaceFiles::followOutsideChanges(const QStringList &paths)
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
    const QFuture<void> tabsChecked = m_saving.followDisk(paths);
    if (tabsChecked.isFinished())
        rest();
    else
        nbeWhenFinished(tabsChecked, this, rest);
    return done;
}
