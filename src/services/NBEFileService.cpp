#include "NBEFileService.h"

#include "NBEReplaceFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QThread>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

const QByteArray byteOrderMarkBytes = QByteArrayLiteral("\xEF\xBB\xBF");

QString quoted(const QString &path)
{
    const QString name = QFileInfo(path).fileName();
    return QStringLiteral("“%1”").arg(name.isEmpty() ? path : name);
}

QString reason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// `sentence` names the item as %1 and the system's reason as %2.
std::unexpected<NBEError> failure(const QString &sentence, const QString &path, int error)
{
    return nbeFailure(sentence.arg(quoted(path), reason(error)));
}

enum class Doing { Reading, Saving };

QString failedTo(Doing doing)
{
    return doing == Doing::Reading ? NBEFileService::tr("Couldn't read %1: %2.")
                                   : NBEFileService::tr("Couldn't save %1: %2.");
}

// Folders, pipes, sockets and devices are refused the way a missing file is:
// one sentence, at once. Opening a pipe would wait for a writer forever.
NBEResult<void> refuseSpecial(Doing doing, const QString &path, mode_t mode)
{
    if (S_ISREG(mode))
        return {};
    if (S_ISDIR(mode))
        return failure(failedTo(doing), path, EISDIR);
    QString kind = NBEFileService::tr("a special file");
    if (S_ISFIFO(mode))
        kind = NBEFileService::tr("a named pipe");
    else if (S_ISSOCK(mode))
        kind = NBEFileService::tr("a socket");
    else if (S_ISCHR(mode) || S_ISBLK(mode))
        kind = NBEFileService::tr("a device");
    const QString sentence = doing == Doing::Reading
                                 ? NBEFileService::tr("Couldn't read %1: it's %2, not a file.")
                                 : NBEFileService::tr("Couldn't save %1: it's %2, not a file.");
    return nbeFailure(sentence.arg(quoted(path), kind));
}

// Whether the user may write a file: a read-only one of their own may still
// be replaced when they say so, anyone else's never (it would become theirs).
enum class Writability { Writable, ReadOnlyOwn, ReadOnlyForeign };

Writability writability(const QByteArray &native, const struct stat &info)
{
    if (::faccessat(AT_FDCWD, native.constData(), W_OK, AT_EACCESS) == 0 || errno != EACCES)
        return Writability::Writable;
    return info.st_uid == ::geteuid() ? Writability::ReadOnlyOwn : Writability::ReadOnlyForeign;
}

// The file refuses the user, as opposed to the editor running short (of
// descriptors, of memory).
bool isRefused(int error)
{
    return error == EACCES || error == EPERM;
}

// A folder below the root that can't be listed: left out, kept as a node
// that says why, so the rest of the project still opens.
NBEFileTreeNode unreadableFolder(const QByteArray &path, int error)
{
    const QString folderPath = QFile::decodeName(path);
    NBEFileTreeNode node(QUrl::fromLocalFile(folderPath),
                         folderPath.mid(folderPath.lastIndexOf(QLatin1Char('/')) + 1), true, {});
    node.readError = reason(error);
    return node;
}

NBEResult<NBEFileTreeNode> walk(const QByteArray &folder, bool isRoot);

// The root's subfolders side by side: a large project is mostly its
// subfolders, whose listings wait on the disk independently. Threads of
// their own, since a walk may itself run on the pool and must never wait
// for a pool thread.
std::vector<NBEFileTreeNode> walkAll(const QList<QByteArray> &folders)
{
    std::vector<NBEFileTreeNode> nodes(size_t(folders.size()));
    std::atomic<qsizetype> next = 0;
    const auto work = [&] {
        for (qsizetype at = next++; at < folders.size(); at = next++)
            nodes[size_t(at)] = std::move(*walk(folders.at(at), false));
    };
    {
        std::vector<std::jthread> helpers;
        const qsizetype count =
            std::min<qsizetype>(QThread::idealThreadCount(), folders.size()) - 1;
        for (qsizetype i = 0; i < count; ++i)
            helpers.emplace_back(work);
        work();
    }
    return nodes;
}

NBEResult<NBEFileTreeNode> walk(const QByteArray &folder, bool isRoot)
{
    const QString folderPath = QFile::decodeName(folder);
    DIR *listing = ::opendir(folder.constData());
    if (!listing) {
        if (isRoot)
            return failure(NBEFileService::tr("Couldn't open the folder %1: %2."), folderPath,
                           errno);
        return unreadableFolder(folder, errno);
    }
    QList<NBEFileTreeNode> children;
    QList<QByteArray> subfolders;
    errno = 0;
    while (const dirent *entry = ::readdir(listing)) {
        if (entry->d_name[0] == '.') {
            // What a killed save left; opening the folder clears it away.
            if (nbeIsSaveLeftoverName(entry->d_name))
                nbeRemoveSaveLeftover(folder + '/' + entry->d_name);
            errno = 0;
            continue;
        }
        const QByteArray path = folder + '/' + entry->d_name;
        // The entry's own type, so a link to a folder is an item, not walked.
        bool isDirectory = entry->d_type == DT_DIR;
        if (entry->d_type == DT_UNKNOWN) {
            struct stat info;
            // Gone since it was listed: nothing to show.
            if (::lstat(path.constData(), &info) != 0) {
                errno = 0;
                continue;
            }
            isDirectory = S_ISDIR(info.st_mode);
        }
        if (isDirectory) {
            subfolders.append(path);
        } else {
            const QString name = QFile::decodeName(entry->d_name);
            children.append(
                NBEFileTreeNode(QUrl::fromLocalFile(QFile::decodeName(path)), name, false, {}));
        }
        errno = 0;
    }
    const int listingError = errno;
    ::closedir(listing);
    if (listingError != 0) {
        if (isRoot)
            return failure(NBEFileService::tr("Couldn't list the folder %1: %2."), folderPath,
                           listingError);
        return unreadableFolder(folder, listingError);
    }
    if (isRoot && subfolders.size() > 1) {
        for (NBEFileTreeNode &node : walkAll(subfolders))
            children.append(std::move(node));
    } else {
        // Below the root a walk always gives a node.
        for (const QByteArray &path : std::as_const(subfolders))
            children.append(std::move(*walk(path, false)));
    }
    return NBEFileTreeNode(QUrl::fromLocalFile(folderPath),
                           folderPath.mid(folderPath.lastIndexOf(QLatin1Char('/')) + 1), true,
                           std::move(children));
}

// Reads and walks see every change queued before them, but wait in a queue
// of their own: one that blocks (a hung network mount) never holds up a save.
template <typename Job> auto afterChanges(NBEActor &reader, NBEActor &changes, Job &&job)
{
    return reader.run([&changes, turn = changes.queued(), job = std::forward<Job>(job)] {
        changes.waitFor(turn);
        return job();
    });
}

} // namespace

QString NBEFileService::keyPath(const QUrl &url)
{
    return QDir::cleanPath(QFileInfo(url.toLocalFile()).absoluteFilePath());
}

bool NBEFileService::isUnspellable(const QString &path)
{
    struct stat info;
    return path.contains(QChar::ReplacementCharacter) &&
           ::lstat(QFile::encodeName(path).constData(), &info) != 0 && errno == ENOENT;
}

NBEResult<void> NBEFileService::checkName(const QString &name)
{
    if (name.trimmed().isEmpty())
        return nbeFailure(NBEFileService::tr("The name can't be empty."));
    if (name == QLatin1String(".") || name == QLatin1String(".."))
        return nbeFailure(NBEFileService::tr("The name “%1” isn't allowed.").arg(name));
    if (name.contains(QLatin1Char('/')))
        return nbeFailure(NBEFileService::tr("The name “%1” can't contain “/”.").arg(name));
    if (name.contains(QChar(0)))
        return nbeFailure(NBEFileService::tr("The name can't contain a NUL character."));
    return {};
}

NBEResult<NBETextFile> NBEFileService::decode(const QByteArray &bytes, const QString &displayName)
{
    // The decoder drops a leading mark; it is remembered beside the text.
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError()) {
        return nbeFailure(
            NBEFileService::tr("The file %1 couldn't be opened because it isn't valid "
                               "UTF-8 text.")
                .arg(quoted(displayName)));
    }
    // A text document takes these for paragraph and frame breaks: they would
    // come back as line breaks, and a save would write those instead.
    // Searched one character at a time with the library's vectorised search:
    // every file that opens passes through here.
    for (const QChar c : {QChar(QChar::ParagraphSeparator), QChar(0xFDD0), QChar(0xFDD1)}) {
        if (text.contains(c))
            return nbeFailure(
                NBEFileService::tr("The file %1 couldn't be opened because it holds the "
                                   "character U+%2, which the editor can't keep.")
                    .arg(quoted(displayName), QString::number(c.unicode(), 16).toUpper()));
    }
    NBETextFile file;
    file.byteOrderMark = bytes.startsWith(byteOrderMarkBytes);
    file.lineEnding = NBELineEndings::detect(text);
    file.text = NBELineEndings::normalized(text);
    return file;
}

QByteArray NBEFileService::encode(const QString &text, NBELineEnding lineEnding, bool byteOrderMark)
{
    const QByteArray bytes = NBELineEndings::applied(text, lineEnding).toUtf8();
    return byteOrderMark ? byteOrderMarkBytes + bytes : bytes;
}

NBEResult<NBEFileTreeNode> NBEFileService::buildFileTreeNow(const QString &folder)
{
    return walk(QFile::encodeName(QDir::cleanPath(QFileInfo(folder).absoluteFilePath())), true);
}

NBEResult<NBETextFile> NBEFileService::readFileNow(const QString &path)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat info;
    if (::stat(native.constData(), &info) != 0) {
        // Bytes that aren't UTF-8 came out of the listing as U+FFFD: such a
        // name can't be spelled back, so "no such file" would be wrong.
        if (isUnspellable(path))
            return nbeFailure(NBEFileService::tr("Couldn't read %1: its name isn't valid UTF-8, so "
                                                 "the editor can't open it.")
                                  .arg(quoted(path)));
        return failure(failedTo(Doing::Reading), path, errno);
    }
    if (auto refused = refuseSpecial(Doing::Reading, path, info.st_mode); !refused)
        return std::unexpected(refused.error());
    // Without O_NONBLOCK a pipe put there since the check would wait for a
    // writer forever, and every file operation queued behind it with it.
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return failure(failedTo(Doing::Reading), path, errno);
    // Checked again on what was opened: the item may have changed meanwhile.
    const NBEResult<void> opened =
        ::fstat(fd, &info) == 0 ? refuseSpecial(Doing::Reading, path, info.st_mode)
                                : NBEResult<void>(failure(failedTo(Doing::Reading), path, errno));
    if (!opened) {
        ::close(fd);
        return std::unexpected(opened.error());
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return nbeFailure(failedTo(Doing::Reading).arg(quoted(path), file.errorString()));
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return nbeFailure(failedTo(Doing::Reading).arg(quoted(path), file.errorString()));
    return decode(bytes, path);
}

NBEResult<void> NBEFileService::writeFileNow(const QString &content, const QString &path,
                                             NBELineEnding lineEnding, bool byteOrderMark,
                                             bool replaceReadOnly)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat info;
    if (::stat(native.constData(), &info) == 0) {
        if (auto refused = refuseSpecial(Doing::Saving, path, info.st_mode); !refused)
            return refused;
        // Replacing needs only the folder's permission; the file's own says
        // whether the user meant it to change.
        const Writability writable = writability(native, info);
        if (writable == Writability::ReadOnlyForeign ||
            (writable == Writability::ReadOnlyOwn && !replaceReadOnly))
            return nbeFailure(NBEFileService::tr("%1 is not writable.").arg(quoted(path)));
    }
    const QByteArray bytes = encode(content, lineEnding, byteOrderMark);
    if (auto replaced = nbeReplaceFile(path, bytes); !replaced)
        return nbeFailure(NBEFileService::tr("Couldn't save %1: %2.")
                              .arg(quoted(path), replaced.error().description));
    return {};
}

std::optional<NBEDiskStamp> NBEFileService::statNow(const QString &path)
{
    struct stat info;
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return std::nullopt;
    NBEDiskStamp stamp;
    stamp.size = info.st_size;
    stamp.modified = qint64(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec;
    stamp.taken = std::chrono::duration_cast<std::chrono::nanoseconds>(
                      std::chrono::system_clock::now().time_since_epoch())
                      .count();
    stamp.device = quint64(info.st_dev);
    stamp.inode = quint64(info.st_ino);
    stamp.owner = info.st_uid;
    stamp.group = info.st_gid;
    stamp.mode = info.st_mode;
    return stamp;
}

NBEDiskChange NBEFileService::diskChangeNow(const QString &path, const NBEDiskKnowledge &known)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat info;
    if (::stat(native.constData(), &info) != 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return known.missing ? NBEDiskChange::None : NBEDiskChange::Vanished;
        // Out of the user's sight now (a folder on the way closed to them):
        // whatever is there isn't what the tab knows. Other failures are the
        // editor's own; the write will say why.
        if (!isRefused(errno))
            return NBEDiskChange::None;
        return known.stamp || known.missing ? NBEDiskChange::Changed : NBEDiskChange::None;
    }
    // Nobody's text: the write itself refuses to replace a folder.
    if (S_ISDIR(info.st_mode))
        return NBEDiskChange::None;
    // Something else took the file's place.
    if (!S_ISREG(info.st_mode))
        return NBEDiskChange::Changed;
    if (!known.stamp)
        return known.missing ? NBEDiskChange::Changed : NBEDiskChange::None;
    const NBEDiskStamp &stamp = *known.stamp;
    // Another file in its place, given to another owner or made unreadable:
    // a save must not pass over it unasked, whatever it holds.
    if (stamp.inode != 0 &&
        (quint64(info.st_ino) != stamp.inode || quint64(info.st_dev) != stamp.device ||
         info.st_uid != stamp.owner || info.st_gid != stamp.group || info.st_mode != stamp.mode))
        return NBEDiskChange::Changed;
    const qint64 modified = qint64(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec;
    constexpr qint64 ambiguity = 2'000'000'000;
    if (info.st_size == stamp.size && modified == stamp.modified &&
        std::abs(stamp.taken - stamp.modified) > ambiguity &&
        ::faccessat(AT_FDCWD, native.constData(), R_OK, AT_EACCESS) == 0)
        return NBEDiskChange::None;
    // A file the user can't read can't be compared, so it counts as changed.
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return isRefused(errno) ? NBEDiskChange::Changed : NBEDiskChange::None;
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return NBEDiskChange::Changed;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return NBEDiskChange::Changed;
    const auto read = decode(bytes, path);
    const bool same = read && read->lineEnding == stamp.lineEnding &&
                      read->byteOrderMark == stamp.byteOrderMark &&
                      NBEDiskStamp::digestOf(read->text) == stamp.digest;
    return same ? NBEDiskChange::None : NBEDiskChange::Changed;
}

NBEResult<void> NBEFileService::createFileNow(const QString &path, const QString &content)
{
    if (auto name = checkName(QFileInfo(path).fileName()); !name)
        return name;
    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        return failure(NBEFileService::tr("Couldn't create %1: %2."), path, errno);
    const QByteArray bytes = content.toUtf8();
    qsizetype written = 0;
    int error = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + written, size_t(bytes.size() - written));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            error = errno;
            break;
        }
        written += n;
    }
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error != 0) {
        // Don't leave a half-written new file behind.
        ::unlink(native.constData());
        return failure(NBEFileService::tr("Couldn't create %1: %2."), path, error);
    }
    return {};
}

NBEResult<void> NBEFileService::createDirectoryNow(const QString &path)
{
    if (auto name = checkName(QFileInfo(path).fileName()); !name)
        return name;
    if (::mkdir(QFile::encodeName(path).constData(), 0777) != 0)
        return failure(NBEFileService::tr("Couldn't create the folder %1: %2."), path, errno);
    return {};
}

NBEResult<void> NBEFileService::deleteNow(const QString &path)
{
    std::error_code error;
    const fs::path native(QFile::encodeName(path).toStdString());
    const fs::file_status status = fs::symlink_status(native, error);
    if (error || !fs::exists(status))
        return failure(NBEFileService::tr("Couldn't delete %1: %2."), path,
                       error ? error.value() : ENOENT);
    fs::remove_all(native, error);
    if (error)
        return failure(NBEFileService::tr("Couldn't delete %1: %2."), path, error.value());
    return {};
}

NBEResult<NBEDeletion> NBEFileService::trashNow(const QString &path)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat info;
    if (::lstat(native.constData(), &info) != 0)
        return failure(NBEFileService::tr("Couldn't delete %1: %2."), path, errno);
    // Qt falls back to "files" and "info" folders in the working directory
    // when it can't make the home trash, so that is made sure of first.
    const QString home = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                         QStringLiteral("/Trash");
    if (!QDir().mkpath(home + QStringLiteral("/files")) ||
        !QDir().mkpath(home + QStringLiteral("/info")))
        return NBEDeletion::NoTrash;
    QString inTrash;
    if (!QFile::moveToTrash(path, &inTrash)) {
        // Qt gives no reason; an item still in place found no trash to take it.
        if (::lstat(native.constData(), &info) == 0)
            return NBEDeletion::NoTrash;
        return NBEDeletion::Trashed;
    }
    if (QFileInfo(inTrash).isRelative()) {
        nbeRenameNoReplace(inTrash, path);
        return NBEDeletion::NoTrash;
    }
    return NBEDeletion::Trashed;
}

NBEResult<QString> NBEFileService::renameNow(const QString &path, const QString &newName)
{
    if (auto name = checkName(newName); !name)
        return std::unexpected(name.error());
    const QString target = QFileInfo(path).absoluteDir().filePath(newName);
    if (const int error = nbeRenameNoReplace(path, target)) {
        if (error == EEXIST || error == ENOTEMPTY)
            return nbeFailure(NBEFileService::tr("Couldn't rename %1: an item named “%2” already "
                                                 "exists.")
                                  .arg(quoted(path), newName));
        return failure(NBEFileService::tr("Couldn't rename %1: %2."), path, error);
    }
    return target;
}

NBEResult<void> NBEFileService::moveNow(const QString &path, const QString &destination)
{
    if (const int error = nbeRenameNoReplace(path, destination)) {
        if (error == EEXIST || error == ENOTEMPTY)
            return nbeFailure(NBEFileService::tr("Couldn't move %1: an item with that name already "
                                                 "exists in the destination.")
                                  .arg(quoted(path)));
        return failure(NBEFileService::tr("Couldn't move %1: %2."), path, error);
    }
    return {};
}

QFuture<NBEResult<NBEFileTreeNode>> NBEFileService::buildFileTree(const QUrl &at)
{
    return afterChanges(m_reader, m_actor,
                        [path = at.toLocalFile()] { return buildFileTreeNow(path); });
}

QFuture<NBEResult<NBETextFile>> NBEFileService::readFile(const QUrl &at, Digest digest)
{
    return afterChanges(m_reader, m_actor, [path = at.toLocalFile(), digest] {
        // Taken before the read: a change in between leaves a time that
        // doesn't match, and the digest of what was read settles it.
        std::optional<NBEDiskStamp> stamp = statNow(path);
        auto read = readFileNow(path);
        if (read && stamp) {
            stamp->lineEnding = read->lineEnding;
            stamp->byteOrderMark = read->byteOrderMark;
            if (digest == Digest::Now)
                stamp->digest = NBEDiskStamp::digestOf(read->text);
            read->stamp = std::move(stamp);
        }
        return read;
    });
}

QFuture<NBEResult<void>> NBEFileService::writeFile(const QString &content, const QUrl &to,
                                                   NBELineEnding lineEnding, bool byteOrderMark)
{
    return m_actor.run([content, path = to.toLocalFile(), lineEnding, byteOrderMark] {
        return writeFileNow(content, path, lineEnding, byteOrderMark);
    });
}

QFuture<NBEResult<NBEWritten>>
NBEFileService::writeFileChecked(const QString &content, const QUrl &to, NBELineEnding lineEnding,
                                 const std::optional<NBEDiskKnowledge> &known, bool byteOrderMark,
                                 bool replaceReadOnly)
{
    return m_actor.run([content, path = to.toLocalFile(), lineEnding, known, byteOrderMark,
                        replaceReadOnly]() -> NBEResult<NBEWritten> {
        if (known) {
            if (const NBEDiskChange change = diskChangeNow(path, *known);
                change != NBEDiskChange::None)
                return NBEWritten{change, false, {}};
        }
        const QByteArray native = QFile::encodeName(path);
        struct stat info;
        if (!replaceReadOnly && ::stat(native.constData(), &info) == 0 && S_ISREG(info.st_mode) &&
            writability(native, info) == Writability::ReadOnlyOwn)
            return NBEWritten{NBEDiskChange::None, true, {}};
        if (auto written = writeFileNow(content, path, lineEnding, byteOrderMark, replaceReadOnly);
            !written)
            return std::unexpected(written.error());
        NBEWritten written;
        written.stamp = statNow(path).value_or(NBEDiskStamp());
        written.stamp.digest = NBEDiskStamp::digestOf(content);
        written.stamp.lineEnding = lineEnding;
        written.stamp.byteOrderMark = byteOrderMark;
        return written;
    });
}

QFuture<NBEDiskChange> NBEFileService::diskChange(const QUrl &file, const NBEDiskKnowledge &known)
{
    return afterChanges(m_reader, m_actor,
                        [path = file.toLocalFile(), known] { return diskChangeNow(path, known); });
}

QFuture<NBEResult<void>> NBEFileService::createFile(const QUrl &at, const QString &content)
{
    return m_actor.run([path = at.toLocalFile(), content] { return createFileNow(path, content); });
}

QFuture<NBEResult<void>> NBEFileService::createDirectory(const QUrl &at)
{
    return m_actor.run([path = at.toLocalFile()] { return createDirectoryNow(path); });
}

QFuture<NBEResult<void>> NBEFileService::delete_(const QUrl &at)
{
    return m_actor.run([path = at.toLocalFile()] { return deleteNow(path); });
}

QFuture<NBEResult<NBEDeletion>> NBEFileService::trash(const QUrl &at)
{
    return m_actor.run([path = at.toLocalFile()] { return trashNow(path); });
}

QFuture<NBEResult<QUrl>> NBEFileService::rename(const QUrl &at, const QString &to)
{
    return m_actor.run([path = at.toLocalFile(), to]() -> NBEResult<QUrl> {
        auto result = renameNow(path, to);
        if (!result)
            return std::unexpected(result.error());
        return QUrl::fromLocalFile(*result);
    });
}

QFuture<NBEResult<void>> NBEFileService::move(const QUrl &at, const QUrl &to)
{
    return m_actor.run([path = at.toLocalFile(), destination = to.toLocalFile()] {
        return moveNow(path, destination);
    });
}
