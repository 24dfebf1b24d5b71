#include "NBERecoveredEdits.h"

#include "NBEReplaceFile.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

const QString announcedMark = QStringLiteral(".announced");

} // namespace

QString NBERecoveredEdits::folder()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) +
           QStringLiteral("/Recovered Edits");
}

NBEResult<QString> NBERecoveredEdits::keep(const QList<NBEUnsavedText> &texts, const QString &in)
{
    const QString stamp =
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH.mm.ss"));
    QString kept = QDir(in).filePath(stamp);
    for (int n = 2; QFileInfo::exists(kept); ++n)
        kept = QDir(in).filePath(QStringLiteral("%1 (%2)").arg(stamp).arg(n));
    for (const NBEUnsavedText &text : texts) {
        // Below the folder, the file's own path, so each one is found by it.
        const QString target = kept + QDir::cleanPath(QStringLiteral("/") + text.path);
        if (!QDir().mkpath(QFileInfo(target).absolutePath()))
            return nbeFailure(QStringLiteral("Couldn't make the folder for “%1”.").arg(target));
        if (auto written = nbeReplaceFile(target, text.bytes); !written)
            return nbeFailure(QStringLiteral("Couldn't keep “%1”: %2.")
                                  .arg(text.path, written.error().description));
    }
    return kept;
}

QStringList NBERecoveredEdits::unannounced(const QString &in)
{
    QStringList folders;
    const QDir root(in);
    for (const QString &name : root.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        const QString kept = root.filePath(name);
        if (!QFileInfo::exists(QDir(kept).filePath(announcedMark)))
            folders.append(kept);
    }
    return folders;
}

void NBERecoveredEdits::markAnnounced(const QString &kept)
{
    nbeReplaceFile(QDir(kept).filePath(announcedMark), {});
}

void NBERecoveredEdits::discard(const QString &kept)
{
    QDir(kept).removeRecursively();
}
