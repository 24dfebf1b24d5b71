#pragma once

#include "NBEGitFileChange.h"
#include "NBEGitOutput.h"
#include "NBEGitRunner.h"
#include "NBELineDiff.h"

#include <QCoreApplication>
#include <QFuture>
#include <QList>
#include <QString>
#include <QUrl>

#include <optional>

// The working tree and the index of a repository: the status, staging and
// unstaging of files and of single hunks, discarding, and the diffs they are
// shown from. Runs in the runner's queue.
//
// `repository` is the repository root, the working folder of every command;
// file arguments are absolute paths passed after "--".
class NBEGitIndex
{
    Q_DECLARE_TR_FUNCTIONS(NBEGitIndex)

public:
    explicit NBEGitIndex(NBEGitRunner &runner);

    QFuture<QList<NBEGitFileChange>> changes(const QUrl &repository);
    // The branch, HEAD, upstream counts and changes from one git run, read
    // off the main thread; nothing when git fails.
    QFuture<std::optional<NBEGitWorkingState>> workingState(const QUrl &repository);
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
    // Whether git stopped because another git holds the index (or a ref) lock.
    static bool isLockedIndex(const NBEGitResult &result);

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
    // Stages or unstages exactly the hunk's lines, in one turn of the queue
    // so no other command can run in between. Fails with "Failed to stage
    // this hunk." or "Failed to unstage this hunk." when the saved file
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

    // The status query of a whole reading, run on the calling thread (a turn
    // of the queue already).
    NBEResult<QByteArray> statusNow(const QUrl &folder) const;
    std::optional<NBEGitWorkingState> workingStateFrom(const QByteArray &porcelain,
                                                       const QUrl &repository,
                                                       NBEGitStatusRun earlier) const;

private:
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

    NBEGitRunner &m_runner;
};
