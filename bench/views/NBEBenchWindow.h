#pragma once

// What the window benchmarks share: a large generated HTML file, waiting
// for the event loop without spinning, repaint counting and percentiles.

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

// About `bytes` of cards of markup: sections, comments, headings, links,
// images.
inline QString generatedHTML(qsizetype bytes)
{
    const QString block = QStringLiteral(
        "<section class=\"card\" id=\"item-%1\">\n"
        "  <!-- card %1 -->\n"
        "  <h2 class=\"title\">Heading number %1</h2>\n"
        "  <p>Some <strong>bold</strong> text, an <a href=\"https://example.com/%1\">link</a> "
        "&amp; more words to fill the line.</p>\n"
        "  <img src=\"images/%1.png\" alt=\"picture %1\" width=\"320\" height=\"200\">\n"
        "</section>\n");
    QString text = QStringLiteral("<!DOCTYPE html>\n<html>\n<body>\n");
    text.reserve(bytes + block.size() * 2);
    for (int i = 0; text.size() < bytes; ++i)
        text += block.arg(i);
    return text + QStringLiteral("</body>\n</html>\n");
}

// Runs the event loop until `done` holds or the time runs out.
inline void waitFor(const std::function<bool()> &done, int limitMs = 120000)
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < limitMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

// Runs the event loop for `ms` without spinning, so the process's CPU time
// is the program's own.
inline void settle(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

inline double percentile(QList<double> values, double p)
{
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    return values.at(std::min<qsizetype>(values.size() - 1, qsizetype(p * values.size())));
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
