#include "NBEFileWatch.h"

#include <QFile>
#include <QHash>
#include <QMetaObject>
#include <QSet>

#include <algorithm>

#include <cerrno>
#include <dirent.h>
#include <mutex>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr uint32_t folderEvents = IN_CREATE | IN_DELETE | IN_MODIFY | IN_CLOSE_WRITE | IN_ATTRIB |
                                  IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF |
                                  IN_ONLYDIR | IN_DONT_FOLLOW;

} // namespace

struct NBEFileWatch::Worker
{
    NBEFileWatch *owner = nullptr;
    std::chrono::milliseconds quiet;
    int inotify = -1;
    int wake = -1;
    std::thread thread;

    // Shared with the main thread.
    std::mutex mutex;
    bool stopping = false;
    bool rewatch = false;
    QString wantedRoot;
    QStringList wantedExtras;
    QList<QByteArray> wantedHolds;

    // The watch thread's own.
    QHash<int, QByteArray> folderOf;
    QHash<QByteArray, int> watchOf;
    QSet<QString> pending;
    QList<QByteArray> holds;
    std::chrono::steady_clock::time_point lastEvent;
    std::chrono::steady_clock::time_point firstEvent;

    void addFolder(const QByteArray &folder, bool below)
    {
        const int wd = ::inotify_add_watch(inotify, folder.constData(), folderEvents);
        // Out of watches or gone already: the folder is left to the
        // activation refresh.
        if (wd < 0)
            return;
        folderOf.insert(wd, folder);
        watchOf.insert(folder, wd);
        if (!below)
            return;
        DIR *listing = ::opendir(folder.constData());
        if (!listing)
            return;
        while (const dirent *entry = ::readdir(listing)) {
            if (entry->d_name[0] == '.')
                continue;
            if (entry->d_type != DT_DIR && entry->d_type != DT_UNKNOWN)
                continue;
            const QByteArray path = folder + '/' + entry->d_name;
            if (entry->d_type == DT_UNKNOWN) {
                struct stat info;
                if (::lstat(path.constData(), &info) != 0 || !S_ISDIR(info.st_mode))
                    continue;
            }
            addFolder(path, true);
        }
        ::closedir(listing);
    }

    void forgetFolder(const QByteArray &folder)
    {
        const QByteArray below = folder + '/';
        for (auto it = watchOf.begin(); it != watchOf.end();) {
            if (it.key() == folder || it.key().startsWith(below)) {
                ::inotify_rm_watch(inotify, it.value());
                folderOf.remove(it.value());
                it = watchOf.erase(it);
            } else {
                ++it;
            }
        }
    }

    void applyWanted()
    {
        QString root;
        QStringList extras;
        {
            std::lock_guard lock(mutex);
            root = wantedRoot;
            extras = wantedExtras;
            holds = wantedHolds;
            rewatch = false;
        }
        for (auto it = folderOf.cbegin(); it != folderOf.cend(); ++it)
            ::inotify_rm_watch(inotify, it.key());
        folderOf.clear();
        watchOf.clear();
        if (root.isEmpty())
            return;
        addFolder(QFile::encodeName(root), true);
        for (const QString &extra : std::as_const(extras))
            addFolder(QFile::encodeName(extra), false);
    }

    void readEvents()
    {
        alignas(inotify_event) char buffer[64 * 1024];
        for (;;) {
            const ssize_t length = ::read(inotify, buffer, sizeof buffer);
            if (length <= 0)
                return;
            for (ssize_t offset = 0; offset < length;) {
                const auto *event = reinterpret_cast<const inotify_event *>(buffer + offset);
                offset += ssize_t(sizeof(inotify_event) + event->len);
                handle(*event);
            }
        }
    }

    void handle(const inotify_event &event)
    {
        const auto now = std::chrono::steady_clock::now();
        if (pending.isEmpty())
            firstEvent = now;
        lastEvent = now;
        if (event.mask & IN_Q_OVERFLOW) {
            // Events were lost: everything may have changed.
            std::lock_guard lock(mutex);
            pending.insert(wantedRoot);
            return;
        }
        const QByteArray folder = folderOf.value(event.wd);
        if (event.mask & IN_IGNORED) {
            folderOf.remove(event.wd);
            if (watchOf.value(folder) == event.wd)
                watchOf.remove(folder);
            return;
        }
        if (folder.isEmpty())
            return;
        const QByteArray name(event.name, qsizetype(qstrnlen(event.name, event.len)));
        const QByteArray path = name.isEmpty() ? folder : folder + '/' + name;
        pending.insert(QFile::decodeName(path));
        // A folder moved away keeps its watches (they follow the folder, not
        // its name): they go, so a new folder of that name is watched and
        // the old one, wherever it went, reports nothing under this name.
        if ((event.mask & IN_ISDIR) && (event.mask & IN_MOVED_FROM))
            forgetFolder(path);
        // A folder that appears is watched at once, so what is written into
        // it next is seen too.
        if ((event.mask & IN_ISDIR) && (event.mask & (IN_CREATE | IN_MOVED_TO)) &&
            !name.startsWith('.') && !watchOf.contains(path))
            addFolder(path, true);
    }

    // A lock left behind by a program that died long ago holds nothing.
    bool held() const
    {
        const auto since = std::chrono::system_clock::now() - 60 * quiet;
        return std::any_of(holds.cbegin(), holds.cend(), [since](const QByteArray &file) {
            struct stat info;
            if (::stat(file.constData(), &info) != 0)
                return false;
            const auto changed = std::chrono::system_clock::time_point(
                std::chrono::duration_cast<std::chrono::system_clock::duration>(
                    std::chrono::seconds(info.st_mtim.tv_sec) +
                    std::chrono::nanoseconds(info.st_mtim.tv_nsec)));
            return changed >= since;
        });
    }

    void report()
    {
        QStringList paths(pending.cbegin(), pending.cend());
        pending.clear();
        QMetaObject::invokeMethod(
            owner, [owner = owner, paths] { Q_EMIT owner->changed(paths); }, Qt::QueuedConnection);
    }

    void run()
    {
        for (;;) {
            int timeout = -1;
            if (!pending.isEmpty()) {
                // Quiet for a while, or busy for thirty times as long (a long
                // checkout still ends in one report): report. A program that
                // stalls while it holds its lock (a checkout on a busy disk)
                // is not done yet, short of that limit.
                const auto now = std::chrono::steady_clock::now();
                const auto limit = firstEvent + 30 * quiet;
                auto due = std::min(lastEvent + quiet, limit);
                if (now >= due && now < limit && held())
                    due = std::min(now + quiet / 4, limit);
                if (now >= due) {
                    report();
                    continue;
                }
                timeout = int(std::chrono::ceil<std::chrono::milliseconds>(due - now).count());
            }
            pollfd fds[2] = {{inotify, POLLIN, 0}, {wake, POLLIN, 0}};
            if (::poll(fds, 2, timeout) < 0 && errno != EINTR)
                return;
            if (fds[1].revents & POLLIN) {
                eventfd_t value;
                ::eventfd_read(wake, &value);
                bool stop = false;
                bool apply = false;
                {
                    std::lock_guard lock(mutex);
                    stop = stopping;
                    apply = rewatch;
                }
                if (stop)
                    return;
                if (apply)
                    applyWanted();
            }
            if (fds[0].revents & POLLIN)
                readEvents();
        }
    }
};

NBEFileWatch::NBEFileWatch(std::chrono::milliseconds quiet, QObject *parent)
    : QObject(parent)
    , m_worker(std::make_shared<Worker>())
{
    m_worker->owner = this;
    m_worker->quiet = quiet;
    m_worker->inotify = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    m_worker->wake = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (m_worker->inotify < 0 || m_worker->wake < 0)
        return;
    m_worker->thread = std::thread([worker = m_worker] { worker->run(); });
}

NBEFileWatch::~NBEFileWatch()
{
    {
        std::lock_guard lock(m_worker->mutex);
        m_worker->stopping = true;
    }
    if (m_worker->wake >= 0)
        ::eventfd_write(m_worker->wake, 1);
    if (m_worker->thread.joinable())
        m_worker->thread.join();
    if (m_worker->inotify >= 0)
        ::close(m_worker->inotify);
    if (m_worker->wake >= 0)
        ::close(m_worker->wake);
}

void NBEFileWatch::watch(const QString &root, const QStringList &extraFolders,
                         const QStringList &holdWhile)
{
    {
        std::lock_guard lock(m_worker->mutex);
        m_worker->wantedRoot = root;
        m_worker->wantedExtras = extraFolders;
        m_worker->wantedHolds.clear();
        for (const QString &file : holdWhile)
            m_worker->wantedHolds.append(QFile::encodeName(file));
        m_worker->rewatch = true;
    }
    if (m_worker->wake >= 0)
        ::eventfd_write(m_worker->wake, 1);
}
