#pragma once

#include <QFuture>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

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
        return QtConcurrent::run(&m_pool, std::forward<Function>(function),
                                 std::forward<Args>(args)...);
    }

    void waitForDone() { m_pool.waitForDone(); }

private:
    QThreadPool m_pool;
};
