#include "NBEHoverTrackingView.h"

#include <QEvent>
#include <QMouseEvent>
#include <QWidget>

NBEHoverTrackingView::NBEHoverTrackingView(QWidget *tracked)
    : QObject(tracked)
    , m_tracked(tracked)
{
    tracked->setMouseTracking(true);
    tracked->installEventFilter(this);
}

bool NBEHoverTrackingView::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_tracked) {
        if (event->type() == QEvent::MouseMove) {
            const auto *move = static_cast<QMouseEvent *>(event);
            if (onMove)
                onMove(move->position().toPoint(), move->globalPosition().toPoint());
        } else if (event->type() == QEvent::Leave) {
            if (onExit)
                onExit();
        }
    }
    return false;
}
