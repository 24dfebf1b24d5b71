#pragma once

#include <QFrame>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QTimer>

#include <functional>

class QLabel;
class QScrollArea;

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

// The hover panel's content: the text as inline Markdown, scrolling when it
// is taller than the panel. Tells when the mouse enters and leaves it.
class NBEHoverPanelView : public QFrame
{
    Q_OBJECT

public:
    explicit NBEHoverPanelView(QWidget *parent);

    void setText(const QString &text);
    QString text() const { return m_text; }
    // The panel height the text needs at the panel's width, within bounds.
    int fittingHeight() const;

    std::function<void()> onEnter;
    std::function<void()> onExit;

protected:
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;

private:
    QString m_text;
    QLabel *m_label;
    QScrollArea *m_scroll;
};

// Owns one editor's hover panel: shows a text just below the pointer, hides
// at once or after a grace period that the mouse can use to reach the panel.
class NBEHoverController : public QObject
{
    Q_OBJECT

public:
    explicit NBEHoverController(QObject *parent = nullptr);
    ~NBEHoverController() override;

    // `at` in global coordinates; the panel lives in `window`.
    void show(const QString &text, const QPoint &at, QWidget *window);
    void hide();
    void requestHide();
    bool isVisible() const;
    NBEHoverPanelView *panel() const { return m_panel; }

    static constexpr int panelWidth = 380;
    static constexpr int minPanelHeight = 24;
    static constexpr int maxPanelHeight = 420;
    static constexpr int pointerGap = 18;
    static constexpr int graceMs = 300;

private:
    QPointer<NBEHoverPanelView> m_panel;
    QTimer m_pendingHide;
};
