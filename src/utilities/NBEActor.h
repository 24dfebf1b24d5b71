#pragma once

#include <QFuture>
#include <QMutex>
#include <QScopeGuard>
#include <QThreadPool>
#include <QWaitCondition>
#include <QtConcurrent/QtConcurrentRun>

#include <functional>
#include <utility>

// Runs operations one at a time, in submission order, off the main thread.
// A service that owns one behaves as an actor: callers get a QFuture and
// continue on their own thread with `.then(context, ...)`.
class NBEActor
{
public:
    NBEActor()
    {
        m_pool.setMaxThreadCount(1);
        m_pool.setExpiryTimeout(-1);
    }
    ~NBEActor() { m_pool.waitForDone(); }

    NBEActor(const NBEActor &) = delete;
    NBEActor &operator=(const NBEActor &) = delete;

    template <typename Function, typename... Args> auto run(Function &&function, Args &&...args)
    {
        const quint64 turn = next();
        return QtConcurrent::run(&m_pool, [this, turn, function = std::forward<Function>(function),
                                           ... args = std::forward<Args>(args)]() mutable {
            const auto done = qScopeGuard([this, turn] { finished(turn); });
            return std::invoke(function, args...);
        });
    }

    void waitForDone() { m_pool.waitForDone(); }

    // The operations queued so far, for `waitFor` on another thread: work
    // elsewhere that must see their effects, without waiting in this queue.
    quint64 queued() const
    {
        QMutexLocker locker(&m_mutex);
        return m_queued;
    }
    void waitFor(quint64 turn)
    {
        QMutexLocker locker(&m_mutex);
        while (m_finished < turn)
            m_progress.wait(&m_mutex);
    }

private:
    quint64 next()
    {
        QMutexLocker locker(&m_mutex);
        return ++m_queued;
    }
    void finished(quint64 turn)
    {
        QMutexLocker locker(&m_mutex);
        m_finished = turn;
        m_progress.wakeAll();
    }

    mutable QMutex m_mutex;
    QWaitCondition m_progress;
    quint64 m_queued = 0;
    quint64 m_finished = 0;
    QThreadPool m_pool;
};
