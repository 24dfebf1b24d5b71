#include "NBETestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>
#include <QThreadPool>
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <grp.h>
#include <string>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <time.h>
#include <unistd.h>

namespace NBETest {

void isolateEnvironment(const QString &home)
{
    QDir(home).mkpath(QStringLiteral("config"));
    QDir(home).mkpath(QStringLiteral("data"));
    QDir(home).mkpath(QStringLiteral("cache"));
    // A temporary folder of its own, so test programs running side by side
    // never see each other's temporary files.
    QDir(home).mkpath(QStringLiteral("tmp"));
    qputenv("TMPDIR", QFile::encodeName(home + QStringLiteral("/tmp")));
    const QString gitConfig = home + QStringLiteral("/gitconfig");
    QFile config(gitConfig);
    if (config.open(QIODevice::WriteOnly)) {
        config.write("[user]\n\tname = Nabri Test\n\temail = test@nabri.invalid\n"
                     "[init]\n\tdefaultBranch = main\n"
                     "[commit]\n\tgpgsign = false\n"
                     "[core]\n\tautocrlf = false\n");
    }
    qputenv("HOME", QFile::encodeName(home));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home + QStringLiteral("/config")));
    qputenv("XDG_DATA_HOME", QFile::encodeName(home + QStringLiteral("/data")));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(home + QStringLiteral("/cache")));
    qputenv("GIT_CONFIG_GLOBAL", QFile::encodeName(gitConfig));
    qputenv("GIT_CONFIG_NOSYSTEM", "1");
    qunsetenv("GIT_AUTHOR_DATE");
}

void configureApplication()
{
    QCoreApplication::setOrganizationName(QStringLiteral("Nabri"));
    QCoreApplication::setApplicationName(QStringLiteral("Nabri Editor"));
    QCoreApplication::setApplicationVersion(QStringLiteral(NBE_VERSION));
}

bool waitUntil(const std::function<bool()> &done, std::chrono::milliseconds timeout)
{
    QDeadlineTimer deadline(timeout);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        if (!done())
            QThread::msleep(1);
    }
    return true;
}

namespace {

std::chrono::nanoseconds processorTime()
{
    timespec now{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

} // namespace

bool waitForWork(const std::function<bool()> &done, std::chrono::milliseconds budget,
                 std::chrono::milliseconds limit)
{
    const std::chrono::nanoseconds end = processorTime() + budget;
    QDeadlineTimer deadline(limit);
    while (!done()) {
        if (processorTime() >= end || deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        if (!done())
            QThread::msleep(1);
    }
    return true;
}

QString awaitTimeoutMessage(std::chrono::milliseconds timeout)
{
    const auto *test = ::testing::UnitTest::GetInstance()->current_test_info();
    const QString name =
        test ? QStringLiteral("%1.%2").arg(QString::fromUtf8(test->test_suite_name()),
                                           QString::fromUtf8(test->name()))
             : QStringLiteral("(no test)");
    return QStringLiteral("%1: a future did not finish within %2 ms")
        .arg(name)
        .arg(timeout.count());
}

ProcessResult run(const QString &program, const QStringList &args, const QString &workingDirectory,
                  const QByteArray &input)
{
    QProcess process;
    if (!workingDirectory.isEmpty())
        process.setWorkingDirectory(workingDirectory);
    process.start(program, args);
    ProcessResult result;
    if (!process.waitForStarted(10000))
        return result;
    if (!input.isEmpty())
        process.write(input);
    process.closeWriteChannel();
    process.waitForFinished(120000);
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

QByteArray git(const QString &dir, const QStringList &args)
{
    const ProcessResult result = run(QStringLiteral("/usr/bin/git"), args, dir);
    EXPECT_EQ(result.exitCode, 0) << "git " << args.join(QLatin1Char(' ')).toStdString()
                                  << " failed: " << result.err.toStdString();
    return result.out;
}

void startConflictingMerge(const QString &dir, const QString &file)
{
    const QString branch = QString::fromUtf8(git(dir, {"branch", "--show-current"})).trimmed();
    git(dir, {"checkout", "-q", "-b", "feature"});
    writeFile(QDir(dir).filePath(file), "theirs\n");
    git(dir, {"commit", "-q", "-am", "theirs"});
    git(dir, {"checkout", "-q", branch});
    writeFile(QDir(dir).filePath(file), "ours\n");
    git(dir, {"commit", "-q", "-am", "ours"});
    EXPECT_NE(run(QStringLiteral("/usr/bin/git"), {"merge", "-q", "feature"}, dir).exitCode, 0);
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    file.write(bytes);
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

QByteArray attribute(const QString &path, const char *name)
{
    const QByteArray native = QFile::encodeName(path);
    const ssize_t size = ::getxattr(native.constData(), name, nullptr, 0);
    if (size < 0)
        return "absent";
    QByteArray value(size, '\0');
    return ::getxattr(native.constData(), name, value.data(), size_t(size)) == size ? value
                                                                                    : "absent";
}

bool setAttribute(const QString &path, const char *name, const QByteArray &value)
{
    return ::setxattr(QFile::encodeName(path).constData(), name, value.constData(),
                      size_t(value.size()), 0) == 0;
}

QByteArray sharedWithTheWebServer()
{
    struct Entry
    {
        quint16 tag, permissions;
        quint32 id;
    };
    constexpr quint32 none = 0xffffffff;
    // The owner, user 33, the group, the mask and others.
    const Entry entries[] = {
        {0x01, 6, none}, {0x02, 6, 33}, {0x04, 4, none}, {0x10, 6, none}, {0x20, 0, none}};
    QByteArray list(4, '\0');
    list[0] = 2; // the format's version, little-endian
    list.append(reinterpret_cast<const char *>(entries), sizeof(entries));
    return list;
}

double shareNear(const QImage &image, const QColor &colour)
{
    int near = 0;
    int all = 0;
    for (int y = 0; y < image.height(); y += 3) {
        for (int x = 0; x < image.width(); x += 3) {
            const QColor pixel = image.pixelColor(x, y);
            near += std::abs(pixel.red() - colour.red()) <= 24 &&
                    std::abs(pixel.green() - colour.green()) <= 24 &&
                    std::abs(pixel.blue() - colour.blue()) <= 24;
            ++all;
        }
    }
    return all ? double(near) / all : 0;
}

double shareAlike(const QImage &a, const QImage &b)
{
    if (a.size() != b.size())
        return 0;
    int alike = 0;
    int all = 0;
    for (int y = 0; y < a.height(); y += 3) {
        for (int x = 0; x < a.width(); x += 3) {
            alike += a.pixel(x, y) == b.pixel(x, y);
            ++all;
        }
    }
    return all ? double(alike) / all : 0;
}

QString toolPath(const QString &name)
{
    return QStringLiteral(NBE_TEST_BINARY_DIR) + QLatin1Char('/') + name;
}

bool makeFolderTooDeepToOpen(const QString &folder)
{
    // Made relative, level by level: no single path is too long to make.
    int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const std::string level(200, 'd');
    for (int i = 0; fd >= 0 && i < 25; ++i) {
        const int next = ::mkdirat(fd, level.c_str(), 0700) == 0
                             ? ::openat(fd, level.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)
                             : -1;
        ::close(fd);
        fd = next;
    }
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

qint64 childProcess(const QByteArray &word)
{
    const QByteArray self = QByteArray::number(::getpid());
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool number = false;
        const qint64 pid = entry.toLongLong(&number);
        if (!number)
            continue;
        const QByteArray stat = readFile(QStringLiteral("/proc/%1/stat").arg(entry));
        // "pid (name) state ppid …": the name may hold spaces, so after ")".
        const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
        if (fields.size() < 2 || fields[1] != self)
            continue;
        if (readFile(QStringLiteral("/proc/%1/cmdline").arg(entry)).contains(word))
            return pid;
    }
    return 0;
}

bool isRunning(qint64 pid)
{
    const QByteArray stat = readFile(QStringLiteral("/proc/%1/stat").arg(pid));
    if (stat.isEmpty())
        return false;
    const QByteArray state = stat.mid(stat.lastIndexOf(')') + 2, 1);
    return state != "Z" && state != "X";
}

void installHangingHook(const QString &dir)
{
    const QString hook = dir + QStringLiteral("/.git/hooks/pre-commit");
    // The ids go to a temporary name first, so a reader never sees half.
    writeFile(hook, "#!/bin/sh\n"
                    "sleep 600 &\n"
                    "echo $$ $! > .git/hook-pids.part\n"
                    "mv .git/hook-pids.part .git/hook-pids\n"
                    "sleep 600\n");
    QFile::setPermissions(hook, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

std::optional<std::pair<qint64, qint64>> hangingHookProcesses(const QString &dir)
{
    const QString file = dir + QStringLiteral("/.git/hook-pids");
    if (!waitUntil([&] { return QFile::exists(file); }))
        return std::nullopt;
    const QList<QByteArray> ids = readFile(file).trimmed().split(' ');
    if (ids.size() != 2)
        return std::nullopt;
    return std::pair(ids[0].toLongLong(), ids[1].toLongLong());
}

FileSizeLimit::FileSizeLimit(qint64 bytes)
{
    getrlimit(RLIMIT_FSIZE, &m_saved);
    m_handler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = m_saved;
    limited.rlim_cur = rlim_t(bytes);
    setrlimit(RLIMIT_FSIZE, &limited);
}

FileSizeLimit::~FileSizeLimit()
{
    setrlimit(RLIMIT_FSIZE, &m_saved);
    std::signal(SIGXFSZ, m_handler);
}

void giveToNobody(const QString &path)
{
    namespace fs = std::filesystem;
    const fs::path top(QFile::encodeName(QFileInfo(path).absoluteFilePath()).toStdString());
    std::error_code error;
    const auto give = [](const fs::path &item) {
        // Only root can; anyone else is an ordinary user already.
        if (::lchown(item.c_str(), nobodyID, nobodyID) != 0 && ::geteuid() == 0)
            ADD_FAILURE() << item << ": " << std::strerror(errno);
    };
    give(top);
    if (fs::is_directory(fs::symlink_status(top)))
        for (const auto &entry : fs::recursive_directory_iterator(top, error))
            give(entry.path());
    for (fs::path above = top.parent_path(); !above.empty() && above != above.root_path();
         above = above.parent_path()) {
        struct stat info;
        if (::stat(above.c_str(), &info) == 0 && (info.st_mode & S_IXOTH) == 0)
            ::chmod(above.c_str(), (info.st_mode & 07777) | S_IXOTH);
    }
}

namespace {

// A child of this test program; -1 (and a failed test) when there is none.
pid_t forkChild()
{
    // A pool thread idle at the fork would be missing in the child while the
    // pool still counted on it.
    QThreadPool::globalInstance()->waitForDone();
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t child = ::fork();
    if (child < 0)
        ADD_FAILURE() << "fork: " << std::strerror(errno);
    return child;
}

} // namespace

bool asNobody(const std::function<void()> &body, std::chrono::milliseconds timeout)
{
    const pid_t child = forkChild();
    if (child < 0)
        return false;
    if (child == 0) {
        if (::geteuid() == 0 &&
            (::setgroups(0, nullptr) != 0 || ::setresgid(nobodyID, nobodyID, nobodyID) != 0 ||
             ::setresuid(nobodyID, nobodyID, nobodyID) != 0)) {
            std::fprintf(stderr, "couldn't become user %u: %s\n", unsigned(nobodyID),
                         std::strerror(errno));
            std::fflush(stderr);
            ::_exit(3);
        }
        const ::testing::TestResult *result =
            ::testing::UnitTest::GetInstance()->current_test_info()->result();
        const auto failures = [result] {
            int count = 0;
            for (int i = 0; i < result->total_part_count(); ++i)
                count += result->GetTestPartResult(i).failed() ? 1 : 0;
            return count;
        };
        const int before = failures();
        try {
            body();
        } catch (const std::exception &e) {
            ADD_FAILURE() << "as user " << nobodyID << ": " << e.what();
        }
        std::fflush(stdout);
        std::fflush(stderr);
        // No destructors: objects of the parent's threads live on here.
        ::_exit(failures() == before ? 0 : 1);
    }
    int status = 0;
    QDeadlineTimer deadline(timeout);
    for (;;) {
        const pid_t ended = ::waitpid(child, &status, WNOHANG);
        if (ended == child)
            break;
        if (ended < 0 && errno != EINTR) {
            ADD_FAILURE() << "waitpid: " << std::strerror(errno);
            return false;
        }
        if (deadline.hasExpired()) {
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
            ADD_FAILURE() << "the child running as user " << nobodyID << " took too long";
            return false;
        }
        QThread::msleep(10);
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0)
        return true;
    if (WIFEXITED(status) && WEXITSTATUS(status) == 3)
        ADD_FAILURE() << "the child couldn't drop to user " << nobodyID;
    else
        ADD_FAILURE() << "the child running as user " << nobodyID << " failed (status " << status
                      << "); its messages are above";
    return false;
}

namespace {

// Whether the process writes a file in `folder` (named or not) and has
// written at least `written` bytes of it: a file open there for writing.
bool isWritingIn(pid_t pid, const QByteArray &folder, qint64 written)
{
    const QString fds = QStringLiteral("/proc/%1/fd").arg(pid);
    for (const QString &fd : QDir(fds).entryList(QDir::Files | QDir::System)) {
        const QByteArray link = QFile::encodeName(fds + QLatin1Char('/') + fd);
        char target[PATH_MAX];
        const ssize_t length = ::readlink(link.constData(), target, sizeof(target) - 1);
        if (length <= 0 || !QByteArray(target, length).startsWith(folder + '/'))
            continue;
        // "flags:" in octal; O_WRONLY or O_RDWR.
        const QByteArray opened = readFile(QStringLiteral("/proc/%1/fdinfo/%2").arg(pid).arg(fd));
        const qsizetype at = opened.indexOf("flags:");
        if (at < 0 ||
            (opened.mid(at + 6).trimmed().split('\n').first().toInt(nullptr, 8) & 03) == 0)
            continue;
        struct stat info;
        if (::stat(link.constData(), &info) == 0 && S_ISREG(info.st_mode) &&
            info.st_size >= written)
            return true;
    }
    return false;
}

} // namespace

bool killWhileWriting(const QString &folder, const std::function<void()> &write, qint64 written)
{
    const pid_t child = forkChild();
    if (child < 0)
        return false;
    if (child == 0) {
        write();
        ::_exit(0);
    }
    const QByteArray native = QFile::encodeName(QFileInfo(folder).canonicalFilePath());
    int status = 0;
    const QDeadlineTimer deadline(std::chrono::minutes(2));
    for (;;) {
        if (deadline.hasExpired()) {
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
            ADD_FAILURE() << "the writing child neither wrote nor ended";
            return false;
        }
        if (isWritingIn(child, native, std::max<qint64>(written, 1))) {
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
            return WIFSIGNALED(status);
        }
        if (::waitpid(child, &status, WNOHANG) == child)
            return false;
        ::usleep(200);
    }
}

SmallDisk::SmallDisk(const QString &folder, qint64 bytes)
    : m_folder(folder)
{
    if (::geteuid() != 0) {
        m_skipReason = QStringLiteral("mounting a small tmpfs needs root");
        return;
    }
    const QByteArray options = "size=" + QByteArray::number(bytes);
    if (::mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", MS_NOSUID | MS_NODEV,
                options.constData()) != 0) {
        m_skipReason = QStringLiteral("couldn't mount a tmpfs: %1")
                           .arg(QString::fromLocal8Bit(std::strerror(errno)));
        return;
    }
    m_mounted = true;
}

SmallDisk::~SmallDisk()
{
    if (m_mounted)
        ::umount2(QFile::encodeName(m_folder).constData(), MNT_DETACH);
}

void SmallDisk::fill(qint64 leave)
{
    const QByteArray path = QFile::encodeName(m_folder + QStringLiteral("/.filler"));
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        throw std::runtime_error("couldn't create the filler file");
    const QByteArray block(4096, 'f');
    off_t size = 0;
    for (;;) {
        const ssize_t n = ::write(fd, block.constData(), size_t(block.size()));
        if (n <= 0)
            break;
        size += n;
    }
    if (leave > 0)
        ::ftruncate(fd, std::max<off_t>(0, size - off_t(leave)));
    ::close(fd);
}

void SmallDisk::empty()
{
    ::unlink(QFile::encodeName(m_folder + QStringLiteral("/.filler")).constData());
}

} // namespace NBETest
