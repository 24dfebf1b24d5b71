#pragma once

#include "NBEGitCommit.h"
#include "NBEGitFileChange.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>

// Commits only on HEAD's side (`ahead`) and only on the upstream's (`behind`).
struct NBEGitAheadBehind
{
    int ahead = 0;
    int behind = 0;
    bool operator==(const NBEGitAheadBehind &) const = default;
};

// What one "git status" tells of a repository: the branch (or the short
// HEAD when detached; nothing before the first commit), HEAD, the counts
// against an upstream that exists, and the changed files.
struct NBEGitWorkingState
{
    std::optional<QString> branch;
    std::optional<QString> headSHA;
    std::optional<NBEGitAheadBehind> aheadBehind;
    QList<NBEGitFileChange> changes;
    // Each changed file's overall status by its key path
    // (NBEFileService::keyPath), the first record of a path winning.
    QHash<QString, NBEGitStatus> statusByPath;
    bool operator==(const NBEGitWorkingState &) const = default;
};

// One status run's output with the changes and map it was read into. The
// next run of the same root reads only the records that differ from it.
struct NBEGitStatusRun
{
    QUrl root;
    QByteArray porcelain;
    QList<NBEGitFileChange> changes;
    QHash<QString, NBEGitStatus> statusByPath;
};

// Reads what git prints: pure functions over its output, any thread may call
// them.
class NBEGitOutput
{
public:
    // "status --porcelain -z" output; rename and copy sources are skipped.
    static QList<NBEGitFileChange> parseStatus(const QString &porcelain, const QUrl &root);
    // "status --porcelain=v2 --branch -z" output, the branch as git names it
    // ("(detached)" when HEAD is). Nothing when it isn't that output. The
    // records that begin or end both `porcelain` and an earlier run of the
    // same root keep that run's changes; lists of `earlier` that nothing
    // else shares are changed in place instead of copied.
    static std::optional<NBEGitWorkingState>
    parseWorkingState(const QByteArray &porcelain, const QUrl &root, NBEGitStatusRun earlier = {});
    // "rev-list --left-right --count @{upstream}...HEAD" output.
    static std::optional<NBEGitAheadBehind> parseAheadBehind(const QString &output);
    // git's prepared merge message as a commit would keep it: comment lines
    // and surrounding blank lines dropped.
    static QString preparedMessage(const QString &text);
    // Output of "log" with `logFormat()`.
    static QList<NBEGitCommit> parseLog(const QString &output);
    static QString logFormat();
    // git's error text cut to the line that says what stopped it, as a
    // sentence: "Unable to create '…/index.lock': File exists."
    static QString headline(const QString &error);
    // The line of git's error output that says what is wrong, as a
    // sentence; one naming the command (`arguments`' first that isn't an
    // option) when git printed nothing.
    static QString failureLine(const QByteArray &standardError, const QStringList &arguments);
    // Whether what a failed merge printed (both streams) says it stopped on
    // conflicting changes.
    static bool mergeStoppedOnConflicts(const QString &output);
    // The output's lines that hold something; none without output.
    static QStringList lines(const std::optional<QString> &output);
    // The source `path` was renamed from, in "diff --name-status -z -M"
    // output: records "R<score>", source, destination ("C<score>" the
    // same), others status and path, each field ended by NUL.
    static std::optional<QString> renameSource(const QString &nameStatus, const QString &path);
    // The fields before the path of a one-path "ls-files -s" output (mode,
    // object, stage: a file in conflict has stages above 0) or "ls-tree"
    // output (mode, type, object); none when the path isn't there.
    static QStringList entryFields(const QString &output);
};
