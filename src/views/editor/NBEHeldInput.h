#pragma once

#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>
#include <vector>

class QEvent;
class QWidget;

// What is typed into a text view while it waits for its text (a long one
// being split): keys and input-method commits, kept in order and given to
// the view once it shows the text, as if typed then. What an input method
// is composing shows at the caret meanwhile, and goes on in the text. A key the view leaves
// to the window (save, close, another tab) asks for the text at once first
// when something waits, so it acts on the text with what was typed.
class NBEHeldInput : public QObject
{
public:
    // `needed` is to show the text now and release what is held.
    NBEHeldInput(QWidget *view, std::function<void()> needed);
    ~NBEHeldInput() override;

    bool isEmpty() const { return m_held.empty(); }
    // Sends what was held to the view, in order, and holds nothing more.
    void release();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Shows the text now when something waits for it.
    void releaseFirst();
    void hold(std::unique_ptr<QEvent> event);
    void stopWatchingClicks();

    QPointer<QWidget> m_view;
    std::function<void()> m_needed;
    std::vector<std::unique_ptr<QEvent>> m_held;
    // What an input method composes since the last commit held, shown only.
    std::unique_ptr<QEvent> m_composing;
    bool m_inputMethodWas = false;
    bool m_released = false;
    bool m_watchingClicks = false;
};
