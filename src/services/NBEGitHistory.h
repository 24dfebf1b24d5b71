#pragma once

#include "NBEGitCommit.h"
#include "NBEGitOutput.h"
#include "NBEGitRunner.h"

#include <QCoreApplication>
#include <QFuture>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <atomic>
#include <optional>

struct NBEGitMergeResult
{
    bool ok = false;
    std::optional<QString> error;
    // Set when the merge stopped on conflicting changes.
    bool conflicts = false;
    bool operator==(const NBEGitMergeResult &) const = default;
};

// A merge left in progress (git's MERGE_HEAD): the commit being merged, the
// branch that names it (or its short hash), and the message git prepared
// without its comment lines.
struct NBEGitMergeState
{
    QString head;
    QString name;
    QString message;
    bool operator==(const NBEGitMergeState &) const = default;
};

// A repository's history and refs: commits made and listed, files restored
// from them, reverts, tags, branches and merges. Runs in the runner's queue;
// names the user typed that git would read as options are refused.
class NBEGitHistory
{
    Q_DECLARE_TR_FUNCTIONS(NBEGitHistory)

public:
    explicit NBEGitHistory(NBEGitRunner &runner);

    // git and the hooks it runs can be stopped with cancelCommits(), and are
    // when the service goes away.
    QFuture<NBEGitResult> commit(const QString &message, bool amend, const QUrl &repository);
    // Stops the commits asked for so far, running (with their hooks and
    // what those started) or queued; their results say `cancelled`.
    void cancelCommits();
    QFuture<std::optional<QString>> lastCommitMessage(const QUrl &repository);

    QFuture<QList<NBEGitCommit>> log(const QUrl &repository, int limit);
    QFuture<QStringList> changedFiles(const QString &sha, const QUrl &repository);
    QFuture<std::optional<QString>> commitDiff(const QString &sha, const QUrl &repository);
    // `path` is passed to git as given.
    QFuture<bool> restoreFile(const QString &path, const QString &atCommit, const QUrl &repository);
    QFuture<NBEGitResult> revertCommit(const QString &sha, const QUrl &repository);
    // An empty message annotates the tag with its name.
    QFuture<NBEGitResult> createTag(const QString &name, const QString &atCommit,
                                    const QString &message, const QUrl &repository);

    QFuture<QStringList> branches(const QUrl &repository);
    QFuture<NBEGitResult> switchBranch(const QString &name, const QUrl &repository);
    // Commits of a detached HEAD that no branch, tag or remote branch holds,
    // which switching away leaves behind; 0 on a branch.
    QFuture<int> commitsOnNoBranch(const QUrl &repository);
    QFuture<NBEGitResult> createBranch(const QString &name, const QUrl &repository);
    QFuture<NBEGitResult> deleteBranch(const QString &name, bool force, const QUrl &repository);
    QFuture<NBEGitMergeResult> merge(const QString &name, const QUrl &repository);
    // Nothing when no merge is in progress.
    QFuture<std::optional<NBEGitMergeState>> mergeState(const QUrl &repository);

    // Queries of a whole reading, run on the calling thread (a turn of the
    // queue already).
    QStringList branchesNow(const QUrl &repository) const;
    std::optional<NBEGitMergeState> mergeStateNow(const QUrl &repository) const;

private:
    NBEGitRunner &m_runner;
    // Commits asked for, and the newest of them cancelled.
    std::atomic<quint64> m_commitsAsked = 0;
    std::atomic<quint64> m_commitsCancelled = 0;
};
