#pragma once

#include "NBELineEnding.h"

#include <QByteArray>
#include <QFuture>
#include <QString>
#include <QtGlobal>

// What a file held when the editor last read or wrote it: its size and
// modification time, cheap to compare, and a digest of its text ("\n" line
// breaks) for when those can't tell, with the line ending and mark the text
// was stored with: a file converted to other line ends holds the same text,
// yet a save from the old form would convert it back.
struct NBEDiskStamp
{
    qint64 size = -1;
    // Nanoseconds since the epoch.
    qint64 modified = 0;
    // When size and time were taken; a time that close to it is ambiguous (a
    // write in the same clock tick leaves the time as it was).
    qint64 taken = 0;
    QByteArray digest;
    // Which file it is, whose, and who may use it: a file put in its place,
    // or one the user can no longer read, is another file even when its
    // text is the same. An inode of 0: not known.
    quint64 device = 0;
    quint64 inode = 0;
    quint32 owner = 0;
    quint32 group = 0;
    quint32 mode = 0;
    NBELineEnding lineEnding = NBELineEnding::LF;
    bool byteOrderMark = false;

    static QByteArray digestOf(const QString &text);
    // The same on the thread pool for a long text, so that it can run beside
    // other work on the text.
    static QFuture<QByteArray> digestInBackground(const QString &text);

    bool operator==(const NBEDiskStamp &) const = default;
};
