#pragma once

#include "NBEGitCommit.h"
#include "NBEGitDiff.h"
#include "NBEGitService.h"
#include "NBEGitState.h"

#include <QFuture>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// What the history needs of the window around it: a way to run a git
// command that may rewrite the files of open tabs.
struct NBEWorkspaceHistoryHost
{
    // Settles the unsaved edits of the tabs of `files` (Save writes them
    // when `saveEdits`, else keeps them), runs `command`, which calls back
    // whether files may have changed, then shows the tabs' new text and
    // refreshes the git state.
    using Command = std::function<void(const QUrl &root, std::function<void(bool)> changed)>;
    std::function<QFuture<void>(const QList<QUrl> &files, bool saveEdits, const Command &command)>
        rewriteFiles;
};

// The repository's commit list and what is done with one commit: its patch
// and files, restoring a file as it was there, reverting it and tagging it.
class NBEWorkspaceHistory : public QObject
{
    Q_OBJECT

public:
    NBEWorkspaceHistory(NBEGitService &service, const NBEGitState &state,
                        NBEWorkspaceHistoryHost host, QObject *parent = nullptr);

    // The newest commits reachable from HEAD, newest first, as last loaded.
    const QList<NBEGitCommit> &gitHistory() const { return m_gitHistory; }
    // Reads the last 100 commits; empty outside a repository or when git
    // fails.
    QFuture<void> loadHistory();
    // One commit's patch; empty when git can't show it.
    QFuture<QList<NBEGitDiffLine>> commitDiff(const QString &sha);
    // The repository-relative paths the commit touched, in git's order.
    QFuture<QStringList> changedFilesFor(const NBEGitCommit &commit);
    // Puts one file (a repository-relative path) back as it was in the
    // commit, keeping unsaved edits of its tab when asked to.
    QFuture<void> restoreFile(const QString &path, const NBEGitCommit &from);
    // Reverts the commit with a new one (unsaved edits in its files' tabs
    // are written first, so git refuses to revert over them), then reloads
    // the history.
    QFuture<void> revertCommit(const NBEGitCommit &commit);
    // An annotated tag at the commit; an empty message annotates with the
    // name. False (with a failure when git refused) when no tag was made.
    QFuture<bool> createTag(const QString &name, const NBEGitCommit &at, const QString &message);
    // The application's version, else "1.0.0".
    static QString suggestedTagName();

Q_SIGNALS:
    void gitHistoryChanged();
    // A one-sentence failure for the window to show.
    void failed(const QString &message);

private:
    const NBEGitState::Snapshot &git() const { return m_state.snapshot(); }
    void setGitHistory(const QList<NBEGitCommit> &history);
    void revertNow(const NBEGitCommit &commit, const QUrl &root,
                   const std::function<void(bool)> &changed);

    NBEGitService &m_service;
    const NBEGitState &m_state;
    NBEWorkspaceHistoryHost m_host;
    QList<NBEGitCommit> m_gitHistory;
};
