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

// Keeps unsaved text when the desktop session ends before the user could be
// asked about it: each text goes to <data folder>/Recovered Edits/<time>/
// followed by the file's own absolute path, and the next start says where.
class NBERecoveredEdits
{
public:
    static QString folder();

    // Writes every text into a new folder named after the time; answers it.
    static NBEResult<QString> keep(const QList<NBEUnsavedText> &texts,
                                   const QString &in = folder());
    // Folders kept by sessions that ended with unsaved edits and not yet
    // announced; `markAnnounced` leaves one out from then on.
    static QStringList unannounced(const QString &in = folder());
    static void markAnnounced(const QString &kept);
    // Removes a folder `keep` made once its edits were settled.
    static void discard(const QString &kept);
};
