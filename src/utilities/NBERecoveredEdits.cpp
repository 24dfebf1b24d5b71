#include "NBERecoveredEdits.h"

#include "NBEReplaceFile.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QStandardPaths>

#include <cerrno>
#include <sys/stat.h>
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

bool holdsAFile(const QString &folder)
{
    return QDirIterator(folder, QDir::Files | QDir::Hidden | QDir::System,
                        QDirIterator::Subdirectories)
        .hasNext();
}

// The program a process runs. One an update replaced while it runs reads
// "<path> (deleted)": it is still the editor.
QString programOf(const QString &process)
{
    static const QLatin1String replaced(" (deleted)");
    QString program = QFileInfo(QStringLiteral("/proc/%1/exe").arg(process)).symLinkTarget();
    if (program.endsWith(replaced))
        program.chop(replaced.size());
    return program;
}

// A copy whose editor still runs (it asks about its edits after keeping them)
// is that editor's to settle: announcing it elsewhere would mark it announced
// and hide it for good if that editor is then killed. The program is checked
// too, as a process id may come back for another program after a restart.
bool isKeptByARunningEditor(const QString &kept)
{
    static const QRegularExpression process(QStringLiteral(" pid (\\d+)(?: \\(\\d+\\))?$"));
    const QRegularExpressionMatch match = process.match(QFileInfo(kept).fileName());
    if (!match.hasMatch())
        return false;
    const qint64 pid = match.captured(1).toLongLong();
    if (pid <= 0 || pid == ::getpid())
        return false;
    const QString program = programOf(QString::number(pid));
    return !program.isEmpty() && program == programOf(QStringLiteral("self"));
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

// A folder of ours, looked at without following a link planted in its
// place; a private one is also closed to the group and others.
bool isOwnFolder(const QString &path, bool privately = false)
{
    struct stat info = {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0 || !S_ISDIR(info.st_mode) ||
        info.st_uid != ::geteuid())
        return false;
    return !privately || (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

// Another user may hold a place's name in a shared folder; the place is
// then a folder of ours beside it, "<name> XXXXXX".
QStringList standIns(const QString &place)
{
    const QFileInfo info(place);
    const QString prefix = info.fileName() + u' ';
    QStringList found;
    for (const QString &name :
         info.dir().entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name))
        if (name.size() == prefix.size() + 6 && name.startsWith(prefix))
            found.append(info.dir().filePath(name));
    return found;
}

// The place, or a stand-in, as a folder that only we can write into.
NBEResult<QString> takePlace(const QString &place)
{
    const QString parent = QFileInfo(place).absolutePath();
    if (!QDir().mkpath(parent))
        return nbeFailure(QStringLiteral("couldn't make the folder “%1”").arg(parent));
    const QByteArray path = QFile::encodeName(place);
    if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST)
        return nbeFailure(QStringLiteral("couldn't make the folder “%1”: %2")
                              .arg(place, nbeWriteFailureReason(errno)));
    QStringList candidates{place};
    candidates += standIns(place);
    for (const QString &candidate : std::as_const(candidates)) {
        if (!isOwnFolder(candidate))
            continue;
        if (::chmod(QFile::encodeName(candidate).constData(), 0700) != 0)
            return nbeFailure(QStringLiteral("the folder “%1” isn't private").arg(candidate));
        return candidate;
    }
    QByteArray standIn = path + " XXXXXX";
    if (!::mkdtemp(standIn.data()))
        return nbeFailure(QStringLiteral("the folder “%1” belongs to someone else").arg(place));
    return QFile::decodeName(standIn);
}

NBEResult<NBEKeptEdits> keepIn(const QList<NBEUnsavedText> &texts, const QString &place)
{
    const auto root = takePlace(place);
    if (!root)
        return std::unexpected(root.error());
    // Taken by creating it: two processes ended in the same second each get
    // a folder of their own, and neither removes the other's.
    const QString name =
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH.mm.ss")) +
        QStringLiteral(" pid %1").arg(::getpid());
    QString kept;
    for (int n = 1;; ++n) {
        kept = QDir(*root).filePath(n == 1 ? name : QStringLiteral("%1 (%2)").arg(name).arg(n));
        if (::mkdir(QFile::encodeName(kept).constData(), 0700) == 0)
            break;
        if (errno != EEXIST || n == 100)
            return nbeFailure(QStringLiteral("couldn't make the folder “%1”: %2")
                                  .arg(kept, nbeWriteFailureReason(errno)));
    }
    // Left by an earlier copy of this name that was removed half-way.
    QFile::remove(announcedMark(kept));
    if (auto written = nbeReplaceFile(expectedMark(kept), expectation(texts)); !written) {
        NBERecoveredEdits::discard(kept);
        return std::unexpected(written.error());
    }

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

QString inAppFolder(const QString &base)
{
    QString folder = base;
    if (const QString organization = QCoreApplication::organizationName(); !organization.isEmpty())
        folder += u'/' + organization;
    if (const QString application = QCoreApplication::applicationName(); !application.isEmpty())
        folder += u'/' + application;
    return folder;
}

QString stateFolder()
{
    const QString set = qEnvironmentVariable("XDG_STATE_HOME");
    return inAppFolder(
        QDir::isAbsolutePath(set) ? set : QDir::homePath() + QStringLiteral("/.local/state"));
}

} // namespace

QString NBERecoveredEdits::folder()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) +
           QStringLiteral("/Recovered Edits");
}

QStringList NBERecoveredEdits::places()
{
    const QString within = QStringLiteral("/Recovered Edits");
    QStringList found{folder(), stateFolder() + within,
                      QStandardPaths::writableLocation(QStandardPaths::CacheLocation) + within};
    found.removeDuplicates();
    // One per user, as the temporary folder is shared.
    found.append(
        QDir::temp().filePath(QStringLiteral("Nabri Editor Recovered Edits %1").arg(::getuid())));
    return found;
}

bool NBERecoveredEdits::isInTemporaryFolder(const QString &kept)
{
    const QString place = QFileInfo(kept).absolutePath();
    const QString temporary = places().constLast();
    return place == temporary || standIns(temporary).contains(place);
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
    // What another user left in a shared place is not ours to announce.
    QList<NBEKeptEdits> copies;
    for (const QString &place : in) {
        QStringList roots{place};
        roots += standIns(place);
        for (const QString &root : std::as_const(roots)) {
            if (!isOwnFolder(root, true))
                continue;
            const QDir dir(root);
            for (const QString &name :
                 dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
                const QString kept = dir.filePath(name);
                if (!isOwnFolder(kept, true) || QFileInfo::exists(announcedMark(kept)) ||
                    isKeptByARunningEditor(kept))
                    continue;
                // The list of texts is written first: a copy without it was
                // cut before any text, and holds nothing to announce.
                if (!QFileInfo::exists(expectedMark(kept)) && !holdsAFile(kept)) {
                    NBERecoveredEdits::discard(kept);
                    continue;
                }
                copies.append({kept, missingFrom(kept), {}});
            }
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
