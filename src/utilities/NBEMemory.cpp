#include "NBEMemory.h"

#include <QCoreApplication>
#include <QPointer>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <malloc.h>

namespace {

std::atomic<quint64> handedBack{0};

} // namespace

void NBEMemory::configureAllocator()
{
    mallopt(M_MMAP_THRESHOLD, int(largeBlockBytes));
}

void NBEMemory::releaseSoon()
{
    QCoreApplication *app = QCoreApplication::instance();
    if (!app)
        return;
    if (QThread::currentThread() != app->thread()) {
        QMetaObject::invokeMethod(app, &NBEMemory::releaseSoon, Qt::QueuedConnection);
        return;
    }
    // One timer for every closing of a burst (a window's tabs).
    static QPointer<QTimer> timer;
    if (!timer) {
        timer = new QTimer(app);
        timer->setSingleShot(true);
        timer->setInterval(releaseDelayMs);
        QObject::connect(timer, &QTimer::timeout, [] {
            malloc_trim(0);
            handedBack.fetch_add(1, std::memory_order_relaxed);
        });
    }
    timer->start();
}

quint64 NBEMemory::releases()
{
    return handedBack.load(std::memory_order_relaxed);
}
