#include "NBEReplaceFile.h"

#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QRandomGenerator>

#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <optional>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

constexpr char leftoverPrefix[] = ".nbe-save-";
constexpr size_t leftoverPrefixLength = sizeof(leftoverPrefix) - 1;
constexpr int randomDigits = 16;

// Short and fixed in length whatever the target's name, so any name the file
// system takes can be replaced (a "<name>.XXXXXX" beside a long name goes
// over NAME_MAX). The leading dot keeps it out of the project tree; the
// writer's process id tells a later save whose it is.
QByteArray hiddenPath(const QByteArray &folder)
{
    const quint64 random = QRandomGenerator::global()->generate64();
    return folder + '/' + leftoverPrefix + QByteArray::number(qint64(::getpid())) + '-' +
           QByteArray::number(random, 16).rightJustified(randomDigits, '0');
}

bool isHex(const char *text, size_t length)
{
    for (size_t i = 0; i < length; ++i) {
        if (!std::isxdigit(static_cast<unsigned char>(text[i])))
            return false;
    }
    return true;
}

// The writer's process id in a hidden name; 0 for names from before it was
// kept there, -1 for names that aren't ours.
qint64 writerOf(const char *name)
{
    if (std::strncmp(name, leftoverPrefix, leftoverPrefixLength) != 0)
        return -1;
    const char *rest = name + leftoverPrefixLength;
    const size_t length = std::strlen(rest);
    if (length == randomDigits && isHex(rest, randomDigits))
        return 0;
    const char *dash = std::strchr(rest, '-');
    if (!dash || dash == rest || dash - rest > 10 || std::strlen(dash + 1) != randomDigits ||
        !isHex(dash + 1, randomDigits))
        return -1;
    qint64 pid = 0;
    for (const char *c = rest; c < dash; ++c) {
        if (*c < '0' || *c > '9')
            return -1;
        pid = pid * 10 + (*c - '0');
    }
    return pid > 0 ? pid : -1;
}

// A link is written through to its target, as an editor saving "in place"
// would; replacing the link itself would cut it.
QByteArray resolvedTarget(const QString &path)
{
    const QFileInfo info(path);
    if (info.isSymLink()) {
        const QString canonical = info.canonicalFilePath();
        return QFile::encodeName(canonical.isEmpty() ? info.symLinkTarget() : canonical);
    }
    return QFile::encodeName(path);
}

QByteArray folderOf(const QByteArray &target)
{
    const qsizetype slash = target.lastIndexOf('/');
    return slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : target.left(slash);
}

int writeAll(int fd, const QByteArray &bytes, off_t at = 0)
{
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::pwrite(fd, bytes.constData() + written, size_t(bytes.size() - written),
                                   at + off_t(written));
        if (n > 0)
            written += n;
        else if (n == 0)
            return EIO;
        else if (errno != EINTR)
            return errno;
    }
    // Blocks the file system only reserves on write fail here, not later.
    if (::fsync(fd) != 0 && errno != EINVAL && errno != EROFS)
        return errno;
    return 0;
}

// The new file takes the old one's owner and group. Only root may give a
// file away, and only members may pass it to a group: EPERM then.
int keepOwnership(int fd, const struct stat &existing)
{
    struct stat made;
    if (::fstat(fd, &made) != 0)
        return errno;
    if (made.st_uid == existing.st_uid && made.st_gid == existing.st_gid)
        return 0;
    if (::fchown(fd, existing.st_uid, existing.st_gid) != 0)
        return errno == EPERM || errno == EINVAL ? EPERM : errno;
    return 0;
}

// The names of the extended attributes of the file at `path`, or of `fd`
// when it is open.
QList<QByteArray> attributeNames(const QByteArray &path, int fd = -1)
{
    for (int attempt = 0; attempt < 4; ++attempt) {
        const ssize_t size =
            fd >= 0 ? ::flistxattr(fd, nullptr, 0) : ::listxattr(path.constData(), nullptr, 0);
        if (size <= 0)
            return {};
        QByteArray list(size, '\0');
        const ssize_t listed = fd >= 0 ? ::flistxattr(fd, list.data(), size_t(size))
                                       : ::listxattr(path.constData(), list.data(), size_t(size));
        // Grown since it was measured: measure again.
        if (listed < 0 && errno == ERANGE)
            continue;
        if (listed < 0)
            return {};
        list.truncate(listed);
        QList<QByteArray> names = list.split('\0');
        names.removeAll(QByteArray());
        return names;
    }
    return {};
}

std::optional<QByteArray> attributeValue(const QByteArray &path, const QByteArray &name)
{
    for (int attempt = 0; attempt < 4; ++attempt) {
        const ssize_t size = ::getxattr(path.constData(), name.constData(), nullptr, 0);
        if (size < 0)
            return std::nullopt;
        QByteArray value(size, '\0');
        const ssize_t read =
            ::getxattr(path.constData(), name.constData(), value.data(), size_t(size));
        if (read < 0 && errno == ERANGE)
            continue;
        if (read < 0)
            return std::nullopt;
        value.truncate(read);
        return value;
    }
    return std::nullopt;
}

// The new file takes the old one's extended attributes, its access list
// among them: without the list the users it names would lose the file, and
// its group bits (the list's mask) would open it to the owning group. A
// list inherited from the folder isn't the old file's. EPERM when the
// access list can't be carried over; an attribute only the system may set
// (a security label) is left to the system.
int keepAttributes(int fd, const QByteArray &target)
{
    static const QByteArray accessList = QByteArrayLiteral("system.posix_acl_access");
    const QList<QByteArray> kept = attributeNames(target);
    for (const QByteArray &name : attributeNames({}, fd)) {
        if (!kept.contains(name) && ::fremovexattr(fd, name.constData()) != 0 && name == accessList)
            return EPERM;
    }
    for (const QByteArray &name : kept) {
        const std::optional<QByteArray> value = attributeValue(target, name);
        const bool set = value && ::fsetxattr(fd, name.constData(), value->constData(),
                                              size_t(value->size()), 0) == 0;
        if (!set && name == accessList)
            return EPERM;
    }
    return 0;
}

// A file that belongs to someone else can't be replaced without becoming
// the writer's, nor one whose access list can't be carried over without
// opening it to others: it is rewritten where it is. Its blocks are
// reserved first, so a full disk fails before a byte of it changes.
int rewriteInPlace(const QByteArray &target, const QByteArray &bytes)
{
    const int fd = ::open(target.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno;
    struct stat info;
    int error = ::fstat(fd, &info) != 0 ? errno : S_ISREG(info.st_mode) ? 0 : EINVAL;
    if (error == 0 && !bytes.isEmpty() &&
        ::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, off_t(bytes.size())) != 0 && errno != EOPNOTSUPP &&
        errno != ENOSYS)
        error = errno;
    if (error == 0)
        error = writeAll(fd, bytes);
    if (error == 0 && ::ftruncate(fd, off_t(bytes.size())) != 0)
        error = errno;
    if (error == 0 && ::fsync(fd) != 0 && errno != EINVAL && errno != EROFS)
        error = errno;
    ::close(fd);
    return error;
}

// A name for the finished unnamed file, for the rename.
int linkUnnamed(int fd, const QByteArray &folder, QByteArray &named)
{
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd);
    for (int attempt = 0; attempt < 16; ++attempt) {
        named = hiddenPath(folder);
        if (::linkat(AT_FDCWD, self.constData(), AT_FDCWD, named.constData(), AT_SYMLINK_FOLLOW) ==
            0)
            return 0;
        if (errno == ENOENT && ::linkat(fd, "", AT_FDCWD, named.constData(), AT_EMPTY_PATH) == 0)
            return 0;
        if (errno != EEXIST)
            return errno;
    }
    return EEXIST;
}

void syncFolder(const QByteArray &folder)
{
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

} // namespace

QString nbeWriteFailureReason(int error)
{
    switch (error) {
    case ENOSPC:
        return QStringLiteral("the disk is full");
    case EDQUOT:
        return QStringLiteral("the disk quota is used up");
    case 0:
        return QStringLiteral("the write failed");
    default:
        return QString::fromLocal8Bit(std::strerror(error));
    }
}

NBEResult<void> nbeReplaceFile(const QString &path, const QByteArray &bytes,
                               NBEReplaceTemporary temporary)
{
    const QByteArray target = resolvedTarget(path);
    const QByteArray folder = folderOf(target);
    nbeRemoveSaveLeftovers(folder);
    struct stat existing;
    const bool exists = ::stat(target.constData(), &existing) == 0;
    if (exists && S_ISDIR(existing.st_mode))
        return nbeFailure(nbeWriteFailureReason(EISDIR));

    QByteArray named;
    int fd = -1;
    if (temporary == NBEReplaceTemporary::Unnamed) {
        // 0666 less the umask, as any new file gets.
        fd = ::open(folder.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
            return nbeFailure(nbeWriteFailureReason(errno));
    }
    for (int attempt = 0; fd < 0 && attempt < 16; ++attempt) {
        named = hiddenPath(folder);
        fd = ::open(named.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            return nbeFailure(nbeWriteFailureReason(errno));
    }
    if (fd < 0)
        return nbeFailure(nbeWriteFailureReason(EEXIST));
    // Held until the rename: a later save of another process leaves it be.
    ::flock(fd, LOCK_EX | LOCK_NB);

    int error = exists ? keepOwnership(fd, existing) : 0;
    // The file keeps who may read it (after the owner: a change of owner
    // clears the set-id bits).
    if (error == 0 && exists && ::fchmod(fd, existing.st_mode & 07777) != 0)
        error = errno;
    if (error == 0 && exists)
        error = keepAttributes(fd, target);
    if (error == EPERM) {
        ::close(fd);
        if (!named.isEmpty())
            ::unlink(named.constData());
        if (const int failed = rewriteInPlace(target, bytes))
            return nbeFailure(nbeWriteFailureReason(failed));
        return {};
    }
    if (error == 0)
        error = writeAll(fd, bytes);
    if (error == 0 && named.isEmpty()) {
        error = linkUnnamed(fd, folder, named);
        if (error != 0) {
            // No way to name it here: the hidden name from the start.
            named.clear();
            ::close(fd);
            return nbeReplaceFile(path, bytes, NBEReplaceTemporary::Hidden);
        }
    }
    if (error == 0 && ::rename(named.constData(), target.constData()) != 0)
        error = errno;
    ::close(fd);
    if (error != 0) {
        if (!named.isEmpty())
            ::unlink(named.constData());
        return nbeFailure(nbeWriteFailureReason(error));
    }
    syncFolder(folder);
    return {};
}

int nbeRenameNoReplace(const QString &from, const QString &to)
{
    const QByteArray source = QFile::encodeName(from);
    const QByteArray target = QFile::encodeName(to);
    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) ==
        0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    // File systems without the flag: a check just before the rename.
    struct stat info;
    if (::lstat(target.constData(), &info) == 0)
        return EEXIST;
    return ::rename(source.constData(), target.constData()) == 0 ? 0 : errno;
}

bool nbeIsSaveLeftoverName(const char *name)
{
    return writerOf(name) >= 0;
}

bool nbeRemoveSaveLeftover(const QByteArray &path)
{
    const qsizetype slash = path.lastIndexOf('/');
    const qint64 writer = writerOf(path.constData() + slash + 1);
    if (writer < 0)
        return false;
    // A writer still running, seen from here (another pid namespace isn't:
    // the lock below covers that).
    if (writer > 0 && (writer == ::getpid() || ::kill(pid_t(writer), 0) == 0 || errno != ESRCH))
        return false;
    const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    bool removed = false;
    struct stat opened;
    struct stat named;
    // Names from before the writer was kept in them: only once nobody could
    // still be writing.
    constexpr time_t settled = 60;
    if (::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) && opened.st_uid == ::geteuid() &&
        opened.st_nlink == 1 && (writer > 0 || opened.st_mtime + settled < std::time(nullptr)) &&
        ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::lstat(path.constData(), &named) == 0 &&
        named.st_ino == opened.st_ino && named.st_dev == opened.st_dev)
        removed = ::unlink(path.constData()) == 0;
    ::close(fd);
    return removed;
}

int nbeRemoveSaveLeftovers(const QByteArray &folder)
{
    DIR *listing = ::opendir(folder.constData());
    if (!listing)
        return 0;
    int removed = 0;
    while (const dirent *entry = ::readdir(listing)) {
        if (entry->d_name[0] == '.' && nbeIsSaveLeftoverName(entry->d_name) &&
            nbeRemoveSaveLeftover(folder + '/' + entry->d_name))
            ++removed;
    }
    ::closedir(listing);
    return removed;
}
