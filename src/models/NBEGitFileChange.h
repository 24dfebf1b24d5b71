#pragma once

#include <QChar>
#include <QString>
#include <QUrl>

// A file's overall git status, as the file tree's badges and the changes list
// show it.
enum class NBEGitStatus { modified, added, untracked, deleted, renamed, conflicted };

// One changed file of a repository with git's two porcelain status letters:
// `index` (staged side) and `worktree`. A blank letter means unchanged.
struct NBEGitFileChange
{
    QUrl url;
    QChar index = u' ';
    QChar worktree = u' ';

    // The file-system path, which identifies the record.
    QString id() const { return url.toLocalFile(); }

    bool isUntracked() const { return index == u'?' && worktree == u'?'; }
    bool isStaged() const { return index != u' ' && index != u'?'; }
    NBEGitStatus overallStatus() const;

    bool operator==(const NBEGitFileChange &) const = default;
};
