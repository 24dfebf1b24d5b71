#pragma once

#include "NBEHoverPanelView.h"
#include "NBEHoverTrackingView.h"
#include "NBERequestOrder.h"

#include <QFuture>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <optional>

class NBECodeTextEdit;

// Owns one editor's hover panel: asks the language server about the
// character under the resting mouse and shows its answer just below the
// pointer; hides at once or after a grace period that the mouse can use to
// reach the panel.
class NBEHoverController : public QObject
{
    Q_OBJECT

public:
    // The hover text at a zero-based line and UTF-16 character; nothing when
    // the server can't answer. Cancelling the future withdraws the request.
    using Provider = std::function<QFuture<std::optional<QString>>(int line, int character)>;

    NBEHoverController(NBECodeTextEdit *textView, QObject *parent);
    ~NBEHoverController() override;

    // Without a provider the mouse asks nothing.
    void setProvider(const Provider &provider) { m_provider = provider; }
    // Told after every change of the text: a shown answer is about the old one.
    void textEdited();

    // `at` in global coordinates; the panel lives in `window`.
    void show(const QString &text, const QPoint &at, QWidget *window);
    void hide();
    void requestHide();
    bool isVisible() const;
    NBEHoverPanelView *panel() const { return m_panel; }
    // The character the mouse rests on, while one is asked about or shown.
    std::optional<int> hoverOffset() const { return m_hoverOffset; }

    // The offset of the character whose glyph holds a viewport point.
    std::optional<int> characterAt(const QPoint &local) const;

    static constexpr int delayMs = 450;
    static constexpr int panelWidth = 380;
    static constexpr int minPanelHeight = 24;
    static constexpr int maxPanelHeight = 420;
    static constexpr int pointerGap = 18;
    static constexpr int graceMs = 300;

Q_SIGNALS:
    // A server's answer came back, shown or dropped; for tests.
    void hoverAnswered(bool shown);

private:
    // The mouse at a point of the text view's viewport, and leaving it.
    void moved(const QPoint &local, const QPoint &global);
    void exited();
    void cancel();
    void ask();

    QPointer<NBECodeTextEdit> m_textView;
    QPointer<NBEHoverTrackingView> m_tracking;
    Provider m_provider;
    QPointer<NBEHoverPanelView> m_panel;
    QTimer m_pendingHide;
    QTimer m_restTimer;
    std::optional<int> m_hoverOffset;
    QPoint m_hoverScreenPoint;
    NBERequestOrder m_hovers;
    QFuture<std::optional<QString>> m_hoverRequest;
};
