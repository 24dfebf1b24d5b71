#pragma once

#include "NBEError.h"

#include <QList>
#include <QString>
#include <QStringList>

// One tab's unsaved text, as it would be saved.
struct NBEUnsavedText
{
    QString path; // the file's absolute path
    QByteArray bytes;
    bool operator==(const NBEUnsavedText &) const = default;
};

// A copy of unsaved texts on disk: its folder and the paths of the texts
// that are not in it (a write failed, or the session ended mid-way).
struct NBEKeptEdits
{
    QString folder;
    QStringList missing;
    // Why the missing ones couldn't be written, when known.
    QString reason;
    bool operator==(const NBEKeptEdits &) const = default;
};

// Keeps unsaved text when the desktop session ends before the user could be
// asked about it: each text goes to <place>/<time> <process>/ followed by the
// file's own absolute path, and the next start says where. The places are
// the user's own data, state and cache folders, in that order; the temporary
// folder, emptied when the computer starts, stands in when none of them can
// be written. Only the user's own private folders are written or announced.
class NBERecoveredEdits
{
public:
    static QString folder();
    static QStringList places();
    // Whether a copy lies in the temporary folder's place, so it may be gone
    // before the next start.
    static bool isInTemporaryFolder(const QString &kept);

    // Writes every text into a new folder of this process alone, named after
    // the time and the process, in the first place that takes them all; when
    // none does, the copy that holds the most, naming what it lacks. A
    // failure when nothing could be kept.
    static NBEResult<NBEKeptEdits> keep(const QList<NBEUnsavedText> &texts,
                                        const QStringList &in = places());
    // Copies kept by sessions that ended with unsaved edits and not yet
    // announced, each with what it lacks; `markAnnounced` leaves one out
    // from then on.
    static QList<NBEKeptEdits> unannounced(const QStringList &in = places());
    static void markAnnounced(const QString &kept);
    // Removes a copy `keep` made once its edits were settled.
    static void discard(const QString &kept);
    // Where `path` goes below a copy's folder: never above it.
    static QString pathInCopy(const QString &path);
};
