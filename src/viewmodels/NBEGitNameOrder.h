#pragma once

#include "NBEFileTreeNode.h"
#include "NBEGitFileChange.h"

#include <QList>

#include <memory>

// A repository's changes ordered by file name as the file tree orders names
// (stable: equal names keep git's order), each with its name's key, so that
// the next order sorts only the changes that are new and merges them in.
struct NBEGitNameOrder
{
    QList<NBEGitFileChange> changes;
    // Parallel to `changes`.
    QList<std::shared_ptr<const NBEFileTreeNode::NameKey>> keys;
    // Parallel to `changes`: where each is in `listed`.
    QList<qsizetype> places;
    // Parallel to `changes`: where each was in the order this one was
    // updated from; -1 for a change that is new to it.
    QList<qsizetype> previousPlaces;
    // The changes in git's order, as the order was made from them.
    QList<NBEGitFileChange> listed;

    // `changes` (in git's order) sorted afresh.
    static NBEGitNameOrder of(const QList<NBEGitFileChange> &changes);
    // The order of `changes` (in git's order) from the previous one: the
    // changes both hold keep their places and keys.
    static NBEGitNameOrder updated(const NBEGitNameOrder &previous,
                                   const QList<NBEGitFileChange> &changes);
};
