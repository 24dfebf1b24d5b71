#include "NBEBackgroundPool.h"

#include <QCoreApplication>
#include <QPointer>

#include <sys/resource.h>
#include <unistd.h>

namespace {

// The niceness of the language servers: beside the window's thread, the
// editor's pause work weighs as little as they do.
constexpr int backgroundNiceness = 10;

} // namespace

QThreadPool *NBEBackgroundPool::instance()
{
    // The application's: it waits for the work still running as it goes,
    // before what that work reads is gone.
    static QPointer<QThreadPool> pool;
    if (!pool)
        pool = new QThreadPool(QCoreApplication::instance());
    return pool;
}

QThreadPool *NBEBackgroundPool::promptInstance()
{
    // Apart from the lowered pool, whose threads keep their niceness; one
    // thread is enough for work that is small by design.
    static QPointer<QThreadPool> pool;
    if (!pool) {
        pool = new QThreadPool(QCoreApplication::instance());
        pool->setMaxThreadCount(1);
    }
    return pool;
}

void NBEBackgroundPool::lowerThisThread()
{
    // Once per thread of the pool; a thread's niceness is its own on Linux.
    thread_local bool lowered = false;
    if (lowered)
        return;
    lowered = true;
    (void)::setpriority(PRIO_PROCESS, ::gettid(), backgroundNiceness);
}
