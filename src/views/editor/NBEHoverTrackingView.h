#pragma once

#include <QObject>
#include <QPoint>

#include <functional>

class QWidget;

// Reports the mouse moving over a widget (the editor's viewport) and leaving
// it, without taking any event from it.
class NBEHoverTrackingView : public QObject
{
    Q_OBJECT

public:
    explicit NBEHoverTrackingView(QWidget *tracked);

    // The point in the tracked widget's coordinates and on the screen.
    std::function<void(const QPoint &local, const QPoint &global)> onMove;
    std::function<void()> onExit;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *m_tracked;
};
