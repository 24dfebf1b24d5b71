#pragma once

#include "NBEError.h"

#include <QByteArray>
#include <QString>

// Replaces the file at `path` with `bytes` atomically, and only once every
// byte has reached the new file: a full disk or any other failed write
// leaves the old file as it was. A failure's description is the reason alone,
// lower case and without a full stop ("the disk is full"), for the caller's
// sentence.
NBEResult<void> nbeReplaceFile(const QString &path, const QByteArray &bytes);

// The reason for a failed file write, worded for a sentence.
QString nbeWriteFailureReason(int error);

// Renames without ever replacing an existing target; 0 or the errno
// (EEXIST when the target exists).
int nbeRenameNoReplace(const QString &from, const QString &to);
