#include "NBERecoveredEdits.h"

#include "NBEReplaceFile.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>

#include <unistd.h>

namespace {

// The marks sit beside a copy, not in it: any name inside may be a kept
// file's.
QString mark(const QString &kept, const QString &suffix)
{
    const QFileInfo info(kept);
    return info.dir().filePath(u'.' + info.fileName() + suffix);
}

QString expectedMark(const QString &kept)
{
    return mark(kept, QStringLiteral(".expected"));
}

QString announcedMark(const QString &kept)
{
    return mark(kept, QStringLiteral(".announced"));
}

// Every path with its size, written before the texts, so a copy the disk
// or the end of the process cut short can say what it lacks.
QByteArray expectation(const QList<NBEUnsavedText> &texts)
{
    QJsonArray entries;
    for (const NBEUnsavedText &text : texts)
        entries.append(QJsonObject{{QStringLiteral("path"), text.path},
                                   {QStringLiteral("size"), qint64(text.bytes.size())}});
    return QJsonDocument(entries).toJson(QJsonDocument::Compact);
}

QStringList missingFrom(const QString &kept)
{
    QFile file(expectedMark(kept));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList missing;
    for (const QJsonValue &entry : QJsonDocument::fromJson(file.readAll()).array()) {
        const QString path = entry[QStringLiteral("path")].toString();
        const QFileInfo copy(kept + NBERecoveredEdits::pathInCopy(path));
        if (!copy.isFile() || copy.size() != entry[QStringLiteral("size")].toInteger())
            missing.append(path);
    }
    return missing;
}

NBEResult<NBEKeptEdits> keepIn(const QList<NBEUnsavedText> &texts, const QString &place)
{
    if (!QDir().mkpath(place))
        return nbeFailure(QStringLiteral("couldn't make the folder “%1”").arg(place));
    // The text is the user's alone, also in a shared temporary folder that
    // someone else might have made first.
    if (QFileInfo(place).ownerId() != ::getuid() ||
        !QFile::setPermissions(place, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner))
        return nbeFailure(QStringLiteral("the folder “%1” isn't private").arg(place));
    const QString stamp =
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH.mm.ss"));
    QString kept = QDir(place).filePath(stamp);
    for (int n = 2; QFileInfo::exists(kept) || QFileInfo::exists(expectedMark(kept)); ++n)
        kept = QDir(place).filePath(QStringLiteral("%1 (%2)").arg(stamp).arg(n));
    if (auto written = nbeReplaceFile(expectedMark(kept), expectation(texts)); !written)
        return std::unexpected(written.error());

    NBEKeptEdits copy{kept, {}, {}};
    for (const NBEUnsavedText &text : texts) {
        const QString target = kept + NBERecoveredEdits::pathInCopy(text.path);
        NBEResult<void> written;
        if (!QDir().mkpath(QFileInfo(target).absolutePath()))
            written = nbeFailure(QStringLiteral("couldn't make its folder"));
        else
            written = nbeReplaceFile(target, text.bytes);
        if (!written) {
            copy.missing.append(text.path);
            if (copy.reason.isEmpty())
                copy.reason = written.error().description;
        }
    }
    if (copy.missing.size() == texts.size()) {
        NBERecoveredEdits::discard(kept);
        return nbeFailure(copy.reason);
    }
    return copy;
}

} // namespace

QString NBERecoveredEdits::folder()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) +
           QStringLiteral("/Recovered Edits");
}

QStringList NBERecoveredEdits::places()
{
    // Often another disk (or memory): a full or read-only data folder
    // doesn't stop it. One per user, as the temporary folder is shared.
    return {folder(), QDir::temp().filePath(
                          QStringLiteral("Nabri Editor Recovered Edits %1").arg(::getuid()))};
}

QString NBERecoveredEdits::pathInCopy(const QString &path)
{
    // cleanPath keeps a leading "/.." (nothing is above the root), which
    // would lead out of the copy's folder.
    QString clean = QDir::cleanPath(u'/' + path);
    while (clean == QLatin1String("/..") || clean.startsWith(QLatin1String("/../")))
        clean.remove(0, 3);
    if (clean.isEmpty() || clean == QLatin1String("/"))
        return QStringLiteral("/unnamed");
    return clean;
}

NBEResult<NBEKeptEdits> NBERecoveredEdits::keep(const QList<NBEUnsavedText> &texts,
                                                const QStringList &in)
{
    std::optional<NBEKeptEdits> best;
    QString firstReason;
    for (const QString &place : in) {
        auto kept = keepIn(texts, place);
        if (!kept) {
            if (firstReason.isEmpty())
                firstReason = kept.error().description;
            continue;
        }
        if (best && best->missing.size() <= kept->missing.size()) {
            discard(kept->folder);
            continue;
        }
        if (best)
            discard(best->folder);
        best = *kept;
        if (best->missing.isEmpty())
            break;
    }
    if (!best)
        return nbeFailure(firstReason.isEmpty() ? QStringLiteral("there is no place for it")
                                                : firstReason);
    return *best;
}

QList<NBEKeptEdits> NBERecoveredEdits::unannounced(const QStringList &in)
{
    QList<NBEKeptEdits> copies;
    for (const QString &place : in) {
        const QDir root(place);
        for (const QString &name : root.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
            const QString kept = root.filePath(name);
            if (!QFileInfo::exists(announcedMark(kept)))
                copies.append({kept, missingFrom(kept), {}});
        }
    }
    return copies;
}

void NBERecoveredEdits::markAnnounced(const QString &kept)
{
    nbeReplaceFile(announcedMark(kept), {});
}

void NBERecoveredEdits::discard(const QString &kept)
{
    QDir(kept).removeRecursively();
    QFile::remove(expectedMark(kept));
    QFile::remove(announcedMark(kept));
}
