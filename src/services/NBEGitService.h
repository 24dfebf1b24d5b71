#pragma once

#include "NBEGitHistory.h"
#include "NBEGitIndex.h"
#include "NBEGitOutput.h"
#include "NBEGitRemote.h"
#include "NBEGitRunner.h"

#include <QByteArray>
#include <QFuture>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <chrono>
#include <optional>

// A repository as a window shows it, read in one go.
struct NBEGitOverview
{
    // Nothing, and nothing else, when the folder isn't in a repository.
    std::optional<QUrl> root;
    std::optional<NBEGitWorkingState> working;
    // The status output `working` was read from.
    QByteArray porcelain;
    // git's reason when the status couldn't be read (a corrupt index, a
    // missing HEAD commit); `working` then holds only the branch and HEAD.
    std::optional<QString> statusError;
    QStringList branches;
    QStringList remotes;
    int unpushed = 0;
    bool browserAuth = false;
    std::optional<NBEGitMergeState> merge;
};

// git for one project window: the repository it works in, and its parts by
// concern (the index and hunks, the remotes and credentials, the history and
// refs), which share one runner. Operations run one at a time, in call
// order, off the main thread, and report through futures; nothing is
// cached, and no repository file is read directly but the merge message git
// prepares (no command prints it). Network commands (fetch, pull, push)
// queue apart, one at a time, on threads that nobody waits for: releasing
// the service leaves them to finish on their own, and each is stopped after
// the network time limit.
//
// Plain operations give an empty value (nothing, false, an empty list, 0)
// when git can't run or fails; the NBEGitResult ones carry git's error text.
class NBEGitService
{
public:
    explicit NBEGitService(const QUrl &gitURL = QUrl::fromLocalFile(QStringLiteral("/usr/bin/git")),
                           std::chrono::milliseconds networkTimeLimit = std::chrono::minutes(2));
    // Never waits for a running git: it is stopped.
    ~NBEGitService();

    QUrl gitURL() const { return m_runner.gitURL(); }
    NBEGitIndex &index() { return m_index; }
    NBEGitRemote &remote() { return m_remote; }
    NBEGitHistory &history() { return m_history; }

    QFuture<std::optional<QUrl>> repositoryRoot(const QUrl &folder);
    QFuture<bool> initRepository(const QUrl &folder);
    // The branch name, or the abbreviated hash on a detached HEAD; nothing in
    // a repository without commits.
    QFuture<std::optional<QString>> currentBranch(const QUrl &repository);
    QFuture<std::optional<QString>> headSHA(const QUrl &repository);
    // What a window shows of the repository holding `folder`, in one turn of
    // the queue: its root, the working state, branches, remotes, commits not
    // on any remote, whether a browser sign-in helper is set up, and a merge
    // in progress. The status of `earlier`'s root runs beside the root query
    // (again once the root differs); records that `earlier` holds alike
    // aren't read again.
    QFuture<NBEGitOverview> overview(const QUrl &folder, const NBEGitStatusRun &earlier = {});

private:
    std::optional<QUrl> repositoryRootNow(const QUrl &folder) const;
    std::optional<QString> currentBranchNow(const QUrl &repository) const;

    // Declared first: the parts go before the runner they use.
    NBEGitRunner m_runner;
    NBEGitIndex m_index;
    NBEGitRemote m_remote;
    NBEGitHistory m_history;
};
