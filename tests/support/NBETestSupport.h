#pragma once

#include <QByteArray>
#include <QColor>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFuture>
#include <QImage>
#include <QString>
#include <QStringList>
#include <QThread>
#include <QUrl>

#include <chrono>
#include <functional>
#include <optional>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/types.h>
#include <utility>

namespace NBETest {

// Points HOME, the XDG folders and git's configuration at a private folder so
// no test touches the real ones. Called once by the shared test main.
void isolateEnvironment(const QString &home);

// Sets the application identity the real program uses.
void configureApplication();

// Runs the event loop until `done` holds or the time runs out; returns `done()`.
bool waitUntil(const std::function<bool()> &done,
               std::chrono::milliseconds timeout = std::chrono::seconds(20));

// Runs the event loop until `done` holds or the process has had `budget` of
// processor time; returns `done()`. For work the process does itself (a pass
// over a long text): a loaded machine stretches it in wall-clock time, not in
// processor time. A hang, which spends next to none, still ends at `limit`.
bool waitForWork(const std::function<bool()> &done,
                 std::chrono::milliseconds budget = std::chrono::seconds(20),
                 std::chrono::milliseconds limit = std::chrono::minutes(2));

// Thrown by `await` when its time runs out: GoogleTest fails the running test
// with this message and moves on to the next one instead of hanging.
struct AwaitTimeout : std::runtime_error
{
    using std::runtime_error::runtime_error;
};

// The message for a future that did not finish in time, naming the test.
QString awaitTimeoutMessage(std::chrono::milliseconds timeout);

// Waits for a future while the event loop keeps running (continuations that
// hop to the main thread need it), then returns its result. A future still
// running when the time passes fails the test rather than blocking in result().
template <typename T>
T await(QFuture<T> future, std::chrono::milliseconds timeout = std::chrono::seconds(60))
{
    if (!waitUntil([&] { return future.isFinished(); }, timeout))
        throw AwaitTimeout(awaitTimeoutMessage(timeout).toStdString());
    if constexpr (!std::is_void_v<T>)
        return future.result();
}

struct ProcessResult
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// Runs a program to completion (for setting up fixtures, e.g. git repositories).
ProcessResult run(const QString &program, const QStringList &args,
                  const QString &workingDirectory = {}, const QByteArray &input = {});

// Runs /usr/bin/git in `dir`; fails the current test when git fails.
QByteArray git(const QString &dir, const QStringList &args);
// On the current branch of the repository in `dir`, where `file` is
// committed: commits "theirs" to `file` on a new branch "feature" and
// "ours" on the current one, then merges "feature", which stops on the
// conflict.
void startConflictingMerge(const QString &dir, const QString &file);

void writeFile(const QString &path, const QByteArray &bytes);
QByteArray readFile(const QString &path);

// A file's extended attribute, or "absent"; setting one says whether the
// file system took it.
QByteArray attribute(const QString &path, const char *name);
bool setAttribute(const QString &path, const char *name, const QByteArray &value);
inline constexpr char accessListAttribute[] = "system.posix_acl_access";
inline constexpr char defaultAccessListAttribute[] = "system.posix_acl_default";
// An access list in the kernel's form that lets one more user (33, the web
// server's) read and write beside the owner; the group reads.
QByteArray sharedWithTheWebServer();

// Of an image's pixels (every third each way): the share within 24 of
// `colour` in each channel, and the share alike in another image of its size.
double shareNear(const QImage &image, const QColor &colour);
double shareAlike(const QImage &a, const QImage &b);

// Path of a program built beside the tests (tests/tools/*.cpp).
QString toolPath(const QString &name);

// Makes folders nested in `folder` past the longest path the system opens,
// so a walk of `folder` fails even for root, whom permissions don't stop.
bool makeFolderTooDeepToOpen(const QString &folder);

// The id of a process this program started whose command line holds `word`;
// 0 when none runs.
qint64 childProcess(const QByteArray &word);
// Whether the process runs; a zombie, which nobody collected yet, doesn't.
bool isRunning(qint64 pid);

// A pre-commit hook for the repository in `dir` that starts a child and
// then hangs, writing its own id and the child's first. The ids, once both
// are written (nothing when they never are).
void installHangingHook(const QString &dir);
std::optional<std::pair<qint64, qint64>> hangingHookProcesses(const QString &dir);

// While it lives, no file of this process grows past `bytes`: a write stops
// part way, as on a full disk.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(qint64 bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

private:
    rlimit m_saved{};
    void (*m_handler)(int) = nullptr;
};

// The unprivileged user (and group) that permission tests write as.
constexpr uid_t nobodyID = 65534;

// Gives `path` and everything in it to that user, and lets them reach it:
// the folders above it become searchable by everyone.
void giveToNobody(const QString &path);

// Runs `body` in a forked child that first drops to that user and group
// (setresgid, then setresuid) when the tests run as root, so permissions
// bite there too. A child that fails an expectation fails the test (its
// messages reach the test's output); the result says whether it passed. Objects made before the
// fork that run threads can't be used in `body`: it makes fresh ones.
bool asNobody(const std::function<void()> &body,
              std::chrono::milliseconds timeout = std::chrono::seconds(120));

// Runs `write` in a forked child and kills it (SIGKILL) once it has written
// `written` bytes (at least one) of a file in `folder`. True when it was
// caught so; false when it ended first (a larger write may be caught) or,
// failing the test, neither wrote nor ended within two minutes. A writer that
// first writes a small file there (a lock) is caught in its large one by
// asking for more than the small one holds.
bool killWhileWriting(const QString &folder, const std::function<void()> &write,
                      qint64 written = 1);

// A small tmpfs mounted over `folder` for the object's life, so a test can
// fill a real file system. Mounting needs root: `skipReason` says why not.
class SmallDisk
{
public:
    explicit SmallDisk(const QString &folder, qint64 bytes = 256 * 1024);
    ~SmallDisk();
    SmallDisk(const SmallDisk &) = delete;
    SmallDisk &operator=(const SmallDisk &) = delete;

    bool isMounted() const { return m_mounted; }
    QString skipReason() const { return m_skipReason; }
    // Takes every free block but `leave` bytes; `empty` gives them back.
    void fill(qint64 leave = 0);
    void empty();

private:
    QString m_folder;
    QString m_skipReason;
    bool m_mounted = false;
};

// Points a git state at `folder` (none: no folder open) and refreshes it.
template <typename GitState>
QFuture<void> refreshIn(GitState &state, const std::optional<QUrl> &folder)
{
    state.setFolder(folder);
    return state.refresh();
}

} // namespace NBETest
