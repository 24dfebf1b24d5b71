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

    // Small work the user waits to see (the colours of the lines on
    // screen), at the window's own priority: on a machine busy with other
    // programs, lowered threads wait for most of a minute. Only for work
    // bounded whatever the text's size, so keys still come first.
    template <typename Function> static auto runPrompt(Function &&function)
    {
        return QtConcurrent::run(promptInstance(), std::forward<Function>(function));
    }

private:
    static QThreadPool *instance();
    static QThreadPool *promptInstance();
    static void lowerThisThread();
};
