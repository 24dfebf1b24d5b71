#pragma once

#include <QEvent>
#include <QImage>
#include <QObject>
#include <QPaintEvent>
#include <QPointer>
#include <QRegion>
#include <QScreen>
#include <QTest>
#include <QWidget>

#include <utility>

namespace NBETest {

// What a widget draws: the regions of its paints, added up until the test
// takes them, and its pixels as the X server shows them.
class PaintRegions : public QObject
{
public:
    explicit PaintRegions(QWidget *widget)
        : m_widget(widget)
    {
        widget->installEventFilter(this);
    }

    // The regions painted since the last call, once paints have settled.
    QRegion settled()
    {
        QTest::qWait(30);
        return std::exchange(m_painted, QRegion());
    }
    QImage onScreen() const
    {
        QTest::qWait(30);
        QWidget *window = m_widget->window();
        const QPoint at = m_widget->mapTo(window, QPoint());
        return m_widget->screen()
            ->grabWindow(window->winId(), at.x(), at.y(), m_widget->width(), m_widget->height())
            .toImage();
    }
    // The pixels of a whole new paint, to hold what was on screen against.
    QImage drawnAnew() const
    {
        m_widget->repaint();
        return onScreen();
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            m_painted += static_cast<QPaintEvent *>(event)->region();
        return false;
    }

private:
    QPointer<QWidget> m_widget;
    QRegion m_painted;
};

} // namespace NBETest
