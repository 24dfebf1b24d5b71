#pragma once

#include "NBEFileService.h"
#include "NBEGitCommit.h"
#include "NBEGitDiff.h"
#include "NBEGitService.h"
#include "NBEGitState.h"
#include "NBEWorkspaceTabs.h"

#include <QFuture>
#include <QList>
#include <QObject>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

class NBEWorkspaceDesktop;
class NBEWorkspaceFiles;
class NBEWorkspaceNavigation;
class NBEWorkspaceSaving;

// The repository's working tree and index: a file's diff, staging and
// unstaging files or gutter hunks, and discarding a file's changes.
class NBEWorkspaceWorkingTree : public QObject
{
    Q_OBJECT

public:
    // Each change refreshes `state`; a discard asks about the edits in
    // `tabs`, shows the file as git left it through `saving`, leaves the diff
    // `navigation` shows and rebuilds `folder`'s tree.
    NBEWorkspaceWorkingTree(NBEGitService &git, NBEGitState &state, NBEFileService &files,
                            std::shared_ptr<NBEWorkspaceDesktop> desktop, NBEWorkspaceTabs &tabs,
                            NBEWorkspaceSaving &saving, NBEWorkspaceNavigation &navigation,
                            NBEWorkspaceFiles &folder, QObject *parent = nullptr);

    // --- Working tree and index
    // The file's changes against HEAD for the diff view (all additions for an
    // untracked file); empty outside a repository or without changes.
    QFuture<QList<NBEGitDiffLine>> diff(const QUrl &file);
    // Each starts at once and ends once the git state was refreshed; git's
    // outcome isn't reported, the refreshed state shows it. Nothing happens
    // outside a repository.
    QFuture<void> stage(const QUrl &file);
    QFuture<void> unstage(const QUrl &file);
    QFuture<void> stageAllChanges();
    QFuture<void> unstageAllChanges();
    // Puts the file back at HEAD in the index and on disk; an untracked file
    // goes to the trash. Unsaved edits in its tab are asked about first
    // (Cancel discards nothing, Save keeps the edits in the tab); a clean tab
    // shows the restored text, or closes when the file is gone. Ends after
    // the tree and git state were rebuilt.
    QFuture<void> discardChanges(const QUrl &file);
    // Stage or unstage exactly the lines of a gutter hunk (of the saved file
    // against HEAD). False without a message when the hunk has nothing to
    // stage or unstage; false with git's error when applying failed.
    QFuture<bool> stageHunk(const NBEDiffHunk &hunk, const QUrl &fileURL);
    QFuture<bool> unstageHunk(const NBEDiffHunk &hunk, const QUrl &fileURL);
    // Whether the hunk has nothing left to stage, so the popover offers
    // Unstage.
    QFuture<bool> isHunkStaged(const NBEDiffHunk &hunk, const QUrl &fileURL);

Q_SIGNALS:
    // A one-sentence failure for the window to show.
    void failed(const QString &message);

private:
    const NBEGitState::Snapshot &git() const { return m_state.snapshot(); }
    // A git command on the index or working tree, then a refresh.
    // Says git's reason after `failure` when the command failed.
    QFuture<void> refreshAfter(const QFuture<NBEGitResult> &command, const QString &failure);
    // Stages or unstages one file, saying why when it can't.
    QFuture<void>
    changeIndex(const QUrl &file, const QString &verb,
                const std::function<QFuture<NBEGitResult>(const QUrl &root)> &command);
    QFuture<bool> applyHunk(const NBEDiffHunk &hunk, const QUrl &fileURL, bool unstaging);
    QFuture<void> discardNow(const QUrl &file, const QUrl &repository,
                             std::optional<NBEGitStatus> status, bool keepEdits);
    QFuture<NBEGitResult> restoreOrTrash(const QUrl &file, const QUrl &repository,
                                         std::optional<NBEGitStatus> status);

    NBEGitService &m_git;
    NBEGitState &m_state;
    NBEFileService &m_files;
    std::shared_ptr<NBEWorkspaceDesktop> m_desktop;
    NBEWorkspaceTabs &m_tabs;
    NBEWorkspaceSaving &m_saving;
    NBEWorkspaceNavigation &m_navigation;
    NBEWorkspaceFiles &m_folder;
};
