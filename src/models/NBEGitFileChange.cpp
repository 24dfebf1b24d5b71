#include "NBEGitFileChange.h"

NBEGitStatus NBEGitFileChange::overallStatus() const
{
    if (isUntracked())
        return NBEGitStatus::untracked;
    if (index == u'U' || worktree == u'U')
        return NBEGitStatus::conflicted;
    if (index == worktree && (index == u'A' || index == u'D'))
        return NBEGitStatus::conflicted;
    if (index == u'R')
        return NBEGitStatus::renamed;
    if (index == u'A')
        return NBEGitStatus::added;
    if (index == u'D' || worktree == u'D')
        return NBEGitStatus::deleted;
    // Copies and type changes show as modified too.
    return NBEGitStatus::modified;
}
