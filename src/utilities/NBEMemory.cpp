#include "NBEMemory.h"

#include <QCoreApplication>
#include <QPointer>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <malloc.h>
#include <thread>

namespace {

std::atomic<quint64> handedBack{0};

} // namespace

void NBEMemory::configureAllocator()
{
    mallopt(M_MMAP_THRESHOLD, int(largeBlockBytes));
}

void NBEMemory::releaseSoon(int delayMs)
{
    QCoreApplication *app = QCoreApplication::instance();
    if (!app)
        return;
    if (QThread::currentThread() != app->thread()) {
        QMetaObject::invokeMethod(
            app, [delayMs] { releaseSoon(delayMs); }, Qt::QueuedConnection);
        return;
    }
    // One timer for every closing of a burst (a window's tabs).
    static QPointer<QTimer> timer;
    if (!timer) {
        timer = new QTimer(app);
        timer->setSingleShot(true);
        // Handing back a few hundred megabytes takes the kernel some
        // milliseconds, which the keys don't wait for: a thread of its own
        // does it, taking each arena's lock in turn.
        QObject::connect(timer, &QTimer::timeout, [] {
            std::thread([] {
                malloc_trim(0);
                handedBack.fetch_add(1, std::memory_order_relaxed);
            }).detach();
        });
    }
    // A sooner call never cuts short the wait of one that needs longer.
    if (timer->isActive() && timer->remainingTime() > delayMs)
        return;
    timer->start(delayMs);
}

quint64 NBEMemory::releases()
{
    return handedBack.load(std::memory_order_relaxed);
}
