#pragma once

#include "NBEError.h"

#include <QByteArray>
#include <QString>

// Where a replacement's bytes wait until they are complete.
enum class NBEReplaceTemporary {
    // A file without a name, named only for the moment of the rename: a
    // writer killed while writing leaves nothing behind.
    Unnamed,
    // A short hidden name from the start, as on file systems without
    // unnamed files.
    Hidden,
};

// Replaces the file at `path` with `bytes` atomically, and only once every
// byte has reached the new file: a full disk or any other failed write
// leaves the old file as it was. A link is written through to its target;
// the file keeps its owner, group, mode, access list and other attributes.
// A failure's description is the reason alone, lower case and without a full
// stop ("the disk is full"), for the caller's sentence. Leftovers of killed
// saves in the folder go first.
NBEResult<void> nbeReplaceFile(const QString &path, const QByteArray &bytes,
                               NBEReplaceTemporary temporary = NBEReplaceTemporary::Unnamed);

// The reason for a failed file write, worded for a sentence.
QString nbeWriteFailureReason(int error);

// Renames without ever replacing an existing target; 0 or the errno
// (EEXIST when the target exists).
int nbeRenameNoReplace(const QString &from, const QString &to);

// Whether a folder entry's name is that of a replacement's hidden file.
bool nbeIsSaveLeftoverName(const char *name);
// Removes the hidden file a killed save of this user left at `path`, when
// no live writer holds it; says whether it went.
bool nbeRemoveSaveLeftover(const QByteArray &path);
// The same for every such file in `folder`; how many went.
int nbeRemoveSaveLeftovers(const QByteArray &folder);
