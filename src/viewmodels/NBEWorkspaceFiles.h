#pragma once

#include "NBEFileService.h"
#include "NBEGitState.h"
#include "NBEWorkspace.h"
#include "NBEWorkspaceTabs.h"

#include <QFuture>
#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QPromise>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QUuid>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class NBEApplicationActivity;
class NBEFileWatch;
class NBEWorkspaceDesktop;
class NBEWorkspaceNavigation;
class NBEWorkspaceSaving;

// The open folder and its file tree: creating, deleting, renaming and moving
// its items (tabs follow them), the tree's expansion, and following files
// that other programs change, after a watched burst of changes or when the
// application becomes active again.
class NBEWorkspaceFiles : public QObject
{
    Q_OBJECT

public:
    // `quiet` is the rest after a burst of outside changes before they are
    // followed; zero follows none. The folder's git state and its tabs are
    // told when it opens or closes; a change of the files refreshes `git`,
    // and a new file opens through `navigation`.
    NBEWorkspaceFiles(NBEFileService &files, NBEGitState &git, NBEWorkspaceTabs &tabs,
                      NBEWorkspaceSaving &saving, NBEWorkspaceNavigation &navigation,
                      std::shared_ptr<NBEWorkspaceDesktop> desktop,
                      NBEApplicationActivity *activity, std::chrono::milliseconds quiet,
                      QObject *parent = nullptr);
    ~NBEWorkspaceFiles() override;

    // The folder and its tree; nothing while no folder is open.
    const std::optional<NBEWorkspace> &workspace() const { return m_workspace; }
    bool isOpen() const { return m_workspace.has_value(); }
    // The folder opens with its tree (tabs start over) and is followed from
    // now on.
    void open(const QUrl &folder, NBEFileTreeNode tree);
    // Forgets the folder and its tabs without asking.
    void close();
    // Starts following files changed by other programs.
    void startFollowingOutsideChanges();

    // Whether the folder's Package.swift uses the server-side Swift framework
    // the sibling application runs.
    // Read once per load (and after the tree is rebuilt).
    bool isVaporProject() const { return m_isVaporProject; }
    bool canOpenInTarnwick() const;
    void openInTarnwick();
    // Shows a file or folder in the system's file manager.
    void revealInFileManager(const QUrl &url);

    // Each returns at once and ends (also after a failure, which is
    // announced by `failed`) once the tree was rebuilt and the git state
    // refreshed. A new item never replaces an existing one.
    // Ask where through the desktop's panel (in the active tab's folder, else
    // the project's); a new file opens for good once created.
    QFuture<void> newFile();
    QFuture<void> newFolder();
    QFuture<void> createFile(const QString &named, const QUrl &in);
    QFuture<void> createFolder(const QString &named, const QUrl &in);
    // Moves the item to the trash (where there is none, asks before deleting
    // it for good) and closes the tabs of the item and of everything below
    // it. Unsaved edits in those tabs are asked about first: Cancel deletes
    // nothing, Save writes them before the item goes to the trash, Don't
    // Save trashes the files as they are on disk.
    QFuture<void> deleteItem(const QUrl &at);
    // Renames within the item's folder; tabs at or below it follow, edits
    // and all.
    QFuture<void> renameItem(const QUrl &at, const QString &to);
    // Moves the item into `into`; nothing happens when it is already there
    // or when a folder would go into itself. Tabs at or below it follow.
    QFuture<void> moveItem(const QUrl &from, const QUrl &into);
    // Flips one folder of the tree open or closed; an unknown id changes
    // nothing.
    void toggleExpanded(const QUuid &nodeID);
    // Rebuilds the tree from disk (every folder closed again), then the git
    // state. A failed rebuild keeps the old tree.
    QFuture<void> refreshFileTree();

Q_SIGNALS:
    // The folder or its tree changed.
    void workspaceChanged();
    // Files changed by other programs were followed: tabs, tree and git state
    // are current. A file's status may not have changed, its text has.
    void outsideChangesFollowed();
    // A one-sentence failure for the window to show.
    void failed(const QString &message);
    // The same for what was found without a command; it may come while the
    // user types.
    void noticed(const QString &message);

private:
    // Stores a new folder value (its tree), announcing when it differs.
    void setWorkspace(const std::optional<NBEWorkspace> &workspace);
    // A folder opens or closes: its tabs start over.
    void replaceFolder(const std::optional<NBEWorkspace> &workspace);
    void readVaporManifest();
    static NBEFileTreeNode toggleNode(const NBEFileTreeNode &node, const QUuid &targetID);
    // Points the tabs at or below `source` (a clean path) at `target`,
    // keeping their ids, buffers and carets; the servers hear of it.
    void retargetTabs(const QString &source, const QString &target);
    // Says once which folders of the tree couldn't be listed.
    void sayUnreadableFolders();
    // Closes the tabs at or below `item`.
    void closeTabsBelow(const QString &item);
    // Rebuilds the tree, keeping open the folders that were (by path) when
    // asked to; then refreshes the git state.
    QFuture<void> rebuildFileTree(bool keepExpansion);
    // Trashes the item, or deletes it for good where no trash takes it and
    // the user agrees; the future says whether it is gone.
    QFuture<NBEResult<bool>> removeItem(const QUrl &at);
    // The file-system step of an operation: on success `then` runs and the
    // tree is rebuilt; on failure the message is `prefix` + the reason.
    template <typename T, typename Then>
    QFuture<void> afterFileChange(const QFuture<NBEResult<T>> &change, const QString &prefix,
                                  Then &&then);
    std::optional<QUrl> newItemBaseDirectory() const;
    // Asks where to create a new item (a panel in the active tab's folder or
    // the project's), then hands the chosen place to `create`, which finishes
    // the promise; the future ends then, or at once when nothing was chosen.
    QFuture<void> createAtChosenLocation(
        const QString &message, const QString &proposedName,
        const std::function<void(const QUrl &, std::shared_ptr<QPromise<void>>)> &create);

    // --- Files changed by other programs
    void stopFollowingOutsideChanges();
    void watchProjectFolders();
    // Checks the open tabs whose files are at or below `paths` (every tab
    // when empty), then rebuilds the tree keeping its open folders.
    QFuture<void> followOutsideChanges(const QStringList &paths);

    NBEFileService &m_files;
    NBEGitState &m_git;
    NBEWorkspaceTabs &m_tabs;
    // Edits written before their files go, and tabs following outside changes.
    NBEWorkspaceSaving &m_saving;
    NBEWorkspaceNavigation &m_navigation;
    std::shared_ptr<NBEWorkspaceDesktop> m_desktop;
    QPointer<NBEApplicationActivity> m_activity;
    std::chrono::milliseconds m_quiet;

    std::optional<NBEWorkspace> m_workspace;
    bool m_isVaporProject = false;
    // The folders already said to be unreadable.
    QSet<QString> m_unreadableFolders;

    NBEFileWatch *m_fileWatch = nullptr;
    QMetaObject::Connection m_outsideActivationObserver;
    QString m_watchedRoot;
    QStringList m_watchedExtras;
    std::optional<QFuture<void>> m_outsideRefresh;
    // Changes reported while a refresh ran; empty: everything.
    std::optional<QStringList> m_outsideChangesAgain;
};
