#pragma once

#include "NBEGitCommit.h"
#include "NBEGitDiff.h"
#include "NBEGitService.h"
#include "NBEGitState.h"
#include "NBEWorkspaceGit.h"

#include <QFuture>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// The repository's commit list and what is done with one commit: its patch
// and files, restoring a file as it was there, reverting it and tagging it.
class NBEWorkspaceHistory : public QObject
{
    Q_OBJECT

public:
    // Restoring and reverting rewrite files through `git`, which settles the
    // tabs' unsaved edits first.
    NBEWorkspaceHistory(NBEGitService &service, const NBEGitState &state, NBEWorkspaceGit &git,
                        QObject *parent = nullptr);

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
    NBEWorkspaceGit &m_git;
    QList<NBEGitCommit> m_gitHistory;
};
