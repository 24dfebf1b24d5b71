#pragma once

// What the window benchmarks share beside bench/support: settling the event
// loop, repaint counting.

#include "../support/NBEBenchSupport.h"
#include "NBEMainView.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <functional>

namespace NBEBenchWindow {

using NBEBench::generatedHTML;
using NBEBench::percentile;
using NBEBench::waitFor;

// Runs the event loop for `ms` without spinning, so the process's CPU time
// is the program's own.
inline void settle(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

// Counts the paints of the widgets it watches.
class PaintCounter : public QObject
{
public:
    int paints = 0;

    void watch(QWidget *widget)
    {
        if (widget && !m_watched.contains(widget)) {
            widget->installEventFilter(this);
            m_watched.append(widget);
        }
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }

private:
    QList<QPointer<QWidget>> m_watched;
};

// A project window on a folder, shown and started.
inline NBEMainView *openProjectWindow(const QString &folder)
{
    auto *view = new NBEMainView(QUrl::fromLocalFile(folder));
    view->resize(1000, 700);
    view->show();
    bool started = false;
    QObject::connect(view, &NBEMainView::started, [&] { started = true; });
    view->start();
    waitFor([&] { return started; });
    return view;
}

} // namespace NBEBenchWindow
