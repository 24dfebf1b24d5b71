#pragma once

#include "NBEFileService.h"
#include "NBEGitCommit.h"
#include "NBEGitDiff.h"
#include "NBEGitService.h"
#include "NBEGitState.h"
#include "NBERevealTarget.h"
#include "NBEWorkspaceTabs.h"

#include <QFuture>
#include <QList>
#include <QObject>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

class NBEWorkspaceDesktop;

// What the working tree needs of the window around it: whether a folder is
// open, and the refreshes that follow a change of the files.
struct NBEWorkspaceWorkingTreeHost
{
    std::function<bool()> isOpen;
    std::function<QFuture<void>()> refreshGit;
    // Rebuilds the file tree, then the git state.
    std::function<QFuture<void>()> refreshFileTree;
};

// The repository's working tree and index as the window shows them: which
// file's or commit's diff is shown and which line the editor reveals, a
// file's diff, staging and unstaging files or gutter hunks, and discarding a
// file's changes.
class NBEWorkspaceWorkingTree : public QObject
{
    Q_OBJECT

public:
    NBEWorkspaceWorkingTree(NBEGitService &git, const NBEGitState &state, NBEFileService &files,
                            std::shared_ptr<NBEWorkspaceDesktop> desktop, NBEWorkspaceTabs &tabs,
                            NBEWorkspaceWorkingTreeHost host, QObject *parent = nullptr);

    // --- What is shown
    // A file's diff, or a commit's patch, in place of the editor; at most one.
    const std::optional<QUrl> &diffTarget() const { return m_diffTarget; }
    void setDiffTarget(const std::optional<QUrl> &target);
    const std::optional<NBEGitCommit> &commitDiffTarget() const { return m_commitDiffTarget; }
    void setCommitDiffTarget(const std::optional<NBEGitCommit> &target);
    // Shows the commit's patch in place of a file diff.
    void showCommitDiff(const NBEGitCommit &commit);
    // Back to the editor.
    void clearDiffTargets();
    // Opens the file in the editor (see NBEWorkspaceTabs::openFile), leaving
    // any diff; nothing happens without a folder.
    QFuture<void> openFile(const QUrl &at, bool asPreview);
    // Activates the tab, leaving any diff (also for the tab already active).
    void activateTab(const QUuid &id);
    const std::optional<NBERevealTarget> &revealTarget() const { return m_revealTarget; }
    // Opens the file for good and asks its editor to scroll to the line.
    void revealLine(const QUrl &url, int line,
                    const std::optional<NBERevealRange> &range = std::nullopt);
    // The editor takes the request and clears it.
    void clearRevealTarget();

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
    void diffTargetChanged();
    // Also when the same target is asked for again.
    void revealTargetChanged();
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
    const NBEGitState &m_state;
    NBEFileService &m_files;
    std::shared_ptr<NBEWorkspaceDesktop> m_desktop;
    NBEWorkspaceTabs &m_tabs;
    NBEWorkspaceWorkingTreeHost m_host;
    std::optional<QUrl> m_diffTarget;
    std::optional<NBEGitCommit> m_commitDiffTarget;
    std::optional<NBERevealTarget> m_revealTarget;
};
