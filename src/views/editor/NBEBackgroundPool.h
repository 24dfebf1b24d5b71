#pragma once

#include <QFuture>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <utility>

// Where the editor's work of a typing pause runs (colouring, swatch scans):
// threads that run below the window's, so a key that comes while a pass over
// a long text runs is taken at once instead of sharing the processor with
// it.
class NBEBackgroundPool
{
public:
    template <typename Function> static auto run(Function &&function)
    {
        return QtConcurrent::run(instance(), [function = std::forward<Function>(function)] {
            lowerThisThread();
            return function();
        });
    }

private:
    static QThreadPool *instance();
    static void lowerThisThread();
};
