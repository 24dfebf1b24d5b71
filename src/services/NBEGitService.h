#pragma once

#include "NBEActor.h"
#include "NBEError.h"
#include "NBEGitCommit.h"
#include "NBEGitFileChange.h"
#include "NBEGitOutput.h"
#include "NBELineDiff.h"

#include <QByteArray>
#include <QFuture>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <atomic>
#include <chrono>
#include <functional>
#include <optional>

// Success, or failure with the text to show: git's own error output, or a
// sentence naming the command when git printed nothing.
struct NBEGitResult
{
    bool ok = false;
    std::optional<QString> error;
    // Stopped on request (its process group ended) before git finished.
    bool cancelled = false;

    static NBEGitResult success() { return {true, std::nullopt}; }
    static NBEGitResult failure(const QString &error) { return {false, error}; }
    explicit operator bool() const { return ok; }
    bool operator==(const NBEGitResult &) const = default;
};

struct NBEGitMergeResult
{
    bool ok = false;
    std::optional<QString> error;
    // Set when the merge stopped on conflicting changes.
    bool conflicts = false;
    bool operator==(const NBEGitMergeResult &) const = default;
};

// A pull's outcome and the commits it brought into the branch.
struct NBEGitPullResult
{
    bool ok = false;
    std::optional<QString> error;
    int commits = 0;
    bool operator==(const NBEGitPullResult &) const = default;
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

// Runs the git program for one project window. Operations run one at a time,
// in call order, off the main thread, and report through futures; nothing
// is cached, and no repository file is read directly but the merge message
// git prepares (no command prints it). Network commands
// (fetch, pull, push) queue apart, one at a time, on threads that nobody
// waits for: releasing the service leaves them to finish on their own, and
// each is stopped after the network time limit.
//
// `repository` is the repository root, the working folder of every command;
// file arguments are absolute paths passed after "--". Plain operations give
// an empty value (nothing, false, an empty list, 0) when git can't run or
// fails; the NBEGitResult ones carry git's error text.
class NBEGitService
{
public:
    explicit NBEGitService(const QUrl &gitURL = QUrl::fromLocalFile(QStringLiteral("/usr/bin/git")),
                           std::chrono::milliseconds networkTimeLimit = std::chrono::minutes(2));
    // Never waits for a running git: it is stopped.
    ~NBEGitService();

    QUrl gitURL() const { return m_gitURL; }

    // The credential helper that keeps passwords for background fetch:
    // "libsecret" when git's libsecret helper is installed, else "cache".
    static QString storeHelper();
    // The browser sign-in helper Debian installs.
    static QString browserAuthHelperPath();

    // --- Repository
    QFuture<std::optional<QUrl>> repositoryRoot(const QUrl &folder);
    QFuture<bool> initRepository(const QUrl &folder);
    // The branch name, or the abbreviated hash on a detached HEAD; nothing in
    // a repository without commits.
    QFuture<std::optional<QString>> currentBranch(const QUrl &repository);
    QFuture<std::optional<QString>> headSHA(const QUrl &repository);

    // --- Status and staging
    QFuture<QList<NBEGitFileChange>> changes(const QUrl &repository);
    // The branch, HEAD, upstream counts and changes from one git run, read
    // off the main thread; nothing when git fails.
    QFuture<std::optional<NBEGitWorkingState>> workingState(const QUrl &repository);
    // What a window shows of the repository holding `folder`, in one turn of
    // the queue: its root, the working state, branches, remotes, commits not
    // on any remote, whether a browser sign-in helper is set up, and a merge
    // in progress. The status of `earlier`'s root runs beside the root query
    // (again once the root differs); records that `earlier` holds alike
    // aren't read again.
    QFuture<NBEGitOverview> overview(const QUrl &folder, const NBEGitStatusRun &earlier = {});
    QFuture<NBEGitResult> stage(const QUrl &file, const QUrl &repository);
    // A staged rename leaves the index whole: the file it was renamed from
    // comes back too, so no deletion stays staged on its own.
    QFuture<NBEGitResult> unstage(const QUrl &file, const QUrl &repository);
    QFuture<NBEGitResult> stageAll(const QUrl &repository);
    QFuture<NBEGitResult> unstageAll(const QUrl &repository);
    // An untracked file goes to the trash; a tracked one is restored from
    // HEAD in both the index and the working tree.
    QFuture<NBEGitResult> discardChanges(const QUrl &file, const QUrl &repository, bool untracked);
    // The path that a rename staged in the index took `file` from; nothing
    // when the index holds no such rename.
    QFuture<std::optional<QUrl>> renameSource(const QUrl &file, const QUrl &repository);
    // git and the hooks it runs can be stopped with cancelCommits(), and are
    // when the service goes away.
    QFuture<NBEGitResult> commit(const QString &message, bool amend, const QUrl &repository);
    // Stops the commits asked for so far, running (with their hooks and
    // what those started) or queued; their results say `cancelled`.
    void cancelCommits();
    // Whether git stopped because another git holds the index (or a ref) lock.
    static bool isLockedIndex(const NBEGitResult &result);
    QFuture<std::optional<QString>> lastCommitMessage(const QUrl &repository);

    // --- History
    QFuture<QList<NBEGitCommit>> log(const QUrl &repository, int limit);
    QFuture<QStringList> changedFiles(const QString &sha, const QUrl &repository);
    QFuture<std::optional<QString>> commitDiff(const QString &sha, const QUrl &repository);
    // `path` is passed to git as given.
    QFuture<bool> restoreFile(const QString &path, const QString &atCommit, const QUrl &repository);
    QFuture<NBEGitResult> revertCommit(const QString &sha, const QUrl &repository);
    // An empty message annotates the tag with its name.
    QFuture<NBEGitResult> createTag(const QString &name, const QString &atCommit,
                                    const QString &message, const QUrl &repository);

    // --- Branches
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

    // --- Remotes and sync
    QFuture<QStringList> remotes(const QUrl &repository);
    QFuture<std::optional<QString>> originURL(const QUrl &repository);
    QFuture<NBEGitResult> setOriginURL(const QString &url, bool exists, const QUrl &repository);
    QFuture<bool> hasBrowserAuthHelper(const QUrl &repository);
    QFuture<NBEGitResult> configureBrowserAuth(const QString &helperPath, bool global,
                                               const QUrl &repository);
    QFuture<NBEGitResult> configureOAuthApp(const QString &host, const QString &clientID,
                                            const QString &clientSecret, bool global,
                                            const QUrl &repository);
    // Nothing when the branch has no upstream.
    QFuture<std::optional<NBEGitAheadBehind>> aheadBehind(const QUrl &repository);
    // Commits on HEAD that no remote branch has.
    QFuture<int> unpushedCount(const QUrl &repository);
    QFuture<NBEGitResult> push(const QUrl &repository);
    QFuture<NBEGitResult> pushSettingUpstream(const QString &remote, const QString &branch,
                                              const QUrl &repository);
    QFuture<NBEGitPullResult> pull(const QUrl &repository);
    // Background fetch: never prompts (terminal, askpass and ssh prompts are
    // off, and only the stored-password helper is asked).
    QFuture<bool> fetch(const QUrl &repository);

    // --- Diffs
    // The file's text at HEAD with "\n" line ends, as the editor holds text;
    // nothing for a file outside the repository or not in HEAD.
    QFuture<std::optional<QString>> fileAtHEAD(const QUrl &file, const QUrl &repository);
    // The file's changes against HEAD (all additions when untracked), or
    // git's reason when it couldn't read them.
    QFuture<NBEResult<QString>> diff(const QUrl &file, const QUrl &repository, bool untracked);
    QFuture<std::optional<QString>> unstagedDiff(const QUrl &file, const QUrl &repository);
    QFuture<std::optional<QString>> stagedDiff(const QUrl &file, const QUrl &repository);
    QFuture<std::optional<QString>> stagedDiff(const QUrl &repository);
    QFuture<std::optional<QString>> workingDiff(const QUrl &repository);
    // Applies a patch to the index only; git recounts the hunk headers.
    QFuture<NBEGitResult> applyCached(const QString &patch, bool reverse, const QUrl &repository);

    // --- Gutter hunks (from NBELineDiff of the saved file against HEAD)
    // Stages or unstages exactly the hunk's lines, in one turn of the
    // service so no other command can run in between. Fails with "Failed to
    // stage this hunk." or "Failed to unstage this hunk." when the saved file
    // (staging) or the index (unstaging) holds no change of the hunk, else
    // with git's error.
    QFuture<NBEGitResult> stageHunk(const NBEDiffHunk &hunk, const QUrl &file,
                                    const QUrl &repository);
    QFuture<NBEGitResult> unstageHunk(const NBEDiffHunk &hunk, const QUrl &file,
                                      const QUrl &repository);
    // Whether the hunk is in the index with nothing of it left to stage (so
    // the popover offers Unstage).
    QFuture<bool> hunkIsStaged(const NBEDiffHunk &hunk, const QUrl &file, const QUrl &repository);

    // The path of `file` below `root`; nothing for the root itself or a file
    // outside it.
    static std::optional<QString> relativePath(const QUrl &file, const QUrl &root);

private:
    // Queues `job` behind the service's earlier network commands.
    template <typename Job> auto runOnNetworkQueue(Job &&job);
    // Standard output, or git's reason for failing (see failureLine).
    NBEResult<QByteArray> read(const QStringList &arguments, const QUrl &folder,
                               QList<int> accept = {0},
                               const QHash<QString, QString> &environment = {}) const;
    // The line of git's error output that says what is wrong, as a
    // sentence; one naming the command when git printed nothing.
    static QString failureLine(const QByteArray &standardError, const QStringList &arguments);
    std::optional<QByteArray> runBytes(const QStringList &arguments, const QUrl &folder,
                                       QList<int> accept = {0},
                                       const QHash<QString, QString> &environment = {}) const;
    std::optional<QString> run(const QStringList &arguments, const QUrl &folder, bool trim = true,
                               QList<int> accept = {0},
                               const QHash<QString, QString> &environment = {}) const;
    // `cancelled`, asked while git runs, stops it when true.
    NBEGitResult runCapturingError(const QStringList &arguments, const QUrl &folder,
                                   QByteArray *standardOutput = nullptr,
                                   const std::function<bool()> &cancelled = {}) const;
    QStringList credentialHelperValues(const QUrl &repository) const;
    // The queries of `overview`, run on the calling thread.
    std::optional<QUrl> repositoryRootNow(const QUrl &folder) const;
    NBEResult<QByteArray> statusNow(const QUrl &folder) const;
    std::optional<QString> currentBranchNow(const QUrl &repository) const;
    std::optional<NBEGitWorkingState> workingStateFrom(const QByteArray &porcelain,
                                                       const QUrl &repository,
                                                       NBEGitStatusRun earlier) const;
    QStringList branchesNow(const QUrl &repository) const;
    QStringList remotesNow(const QUrl &repository) const;
    int unpushedCountNow(const QUrl &repository) const;
    bool hasBrowserAuthHelperNow(const QUrl &repository) const;
    std::optional<NBEGitMergeState> mergeStateNow(const QUrl &repository) const;
    std::optional<QString> renameSourceNow(const QUrl &file, const QUrl &repository) const;
    std::optional<QString> fileDiff(const QUrl &file, const QUrl &repository, bool staged) const;
    NBEGitResult applyCachedNow(const QString &patch, bool reverse, const QUrl &repository) const;
    // A file's path below the root, its mode and its texts at HEAD and in
    // the index (empty on a side without it); nothing when it is on neither
    // side or in conflict.
    struct HunkTexts
    {
        QString path;
        QString mode;
        QString head;
        QString index;
        bool inHead = false;
        // The byte-order mark of what the index holds (HEAD's when it holds
        // nothing): no hunk's line carries it, so a new index text keeps it.
        bool byteOrderMark = false;
    };
    std::optional<HunkTexts> hunkTexts(const QUrl &file, const QUrl &repository) const;
    // The saved file's text; nothing when it can't be read as UTF-8.
    static std::optional<QString> savedText(const QUrl &file);
    NBEGitResult applyHunk(const NBEDiffHunk &hunk, const QUrl &file, const QUrl &repository,
                           bool unstaging) const;

    QUrl m_gitURL;
    std::chrono::milliseconds m_networkTimeLimit;
    QFuture<void> m_networkTail;
    std::atomic_bool m_stopping = false;
    // Commits asked for, and the newest of them cancelled.
    std::atomic<quint64> m_commitsAsked = 0;
    std::atomic<quint64> m_commitsCancelled = 0;
    NBEActor m_actor;
};
