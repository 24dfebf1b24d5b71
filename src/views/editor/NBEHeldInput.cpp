#include "NBEHeldInput.h"

#include <QCoreApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QWidget>

#include <algorithm>

namespace {

// The keys an editable text view claims before the window's shortcuts:
// typing, caret moves and its own edit commands.
bool editsText(const QKeyEvent *key)
{
    // (A character a layout types with AltGr comes with a group switch.)
    const Qt::KeyboardModifiers modifiers =
        key->modifiers() & ~(Qt::KeypadModifier | Qt::GroupSwitchModifier);
    if (modifiers == Qt::NoModifier || modifiers == Qt::ShiftModifier) {
        if (key->key() < Qt::Key_Escape)
            return true;
        switch (key->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Delete:
        case Qt::Key_Backspace:
        case Qt::Key_Home:
        case Qt::Key_End:
        case Qt::Key_Left:
        case Qt::Key_Right:
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
            return true;
        default:
            break;
        }
    }
    static const QKeySequence::StandardKey commands[] = {
        QKeySequence::Undo,
        QKeySequence::Redo,
        QKeySequence::Cut,
        QKeySequence::Copy,
        QKeySequence::Paste,
        QKeySequence::SelectAll,
        QKeySequence::MoveToNextWord,
        QKeySequence::MoveToPreviousWord,
        QKeySequence::MoveToStartOfDocument,
        QKeySequence::MoveToEndOfDocument,
        QKeySequence::SelectNextWord,
        QKeySequence::SelectPreviousWord,
        QKeySequence::SelectStartOfLine,
        QKeySequence::SelectEndOfLine,
        QKeySequence::SelectStartOfBlock,
        QKeySequence::SelectEndOfBlock,
        QKeySequence::SelectStartOfDocument,
        QKeySequence::SelectEndOfDocument,
        QKeySequence::DeleteStartOfWord,
        QKeySequence::DeleteEndOfWord,
    };
    return std::any_of(std::begin(commands), std::end(commands),
                       [key](QKeySequence::StandardKey command) { return key->matches(command); });
}

// A modifier pressed alone, on its way to a key: neither typed nor a
// shortcut.
bool onlyModifier(const QKeyEvent *key)
{
    switch (key->key()) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Meta:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
    case Qt::Key_Hyper_L:
    case Qt::Key_Hyper_R:
    case Qt::Key_Mode_switch:
    case Qt::Key_CapsLock:
    case Qt::Key_NumLock:
    case Qt::Key_unknown:
        return true;
    default:
        return false;
    }
}

// Keys the view acts on without its text: they leave the find bar and the
// focus to do their work now.
bool leavesText(const QKeyEvent *key)
{
    if (key->key() == Qt::Key_Escape && key->modifiers() == Qt::NoModifier)
        return true;
    if ((key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) &&
        key->modifiers().testFlag(Qt::ControlModifier))
        return true;
    return key->matches(QKeySequence::Find) || key->matches(QKeySequence::FindNext) ||
           key->matches(QKeySequence::FindPrevious);
}

} // namespace

NBEHeldInput::NBEHeldInput(QWidget *view, std::function<void()> needed)
    : m_view(view)
    , m_needed(std::move(needed))
{
    // A view shown read only takes no input method's text; this one keeps it.
    m_inputMethodWas = view->testAttribute(Qt::WA_InputMethodEnabled);
    view->setAttribute(Qt::WA_InputMethodEnabled, true);
    view->installEventFilter(this);
}

NBEHeldInput::~NBEHeldInput()
{
    stopWatchingClicks();
    if (!m_view || m_released)
        return;
    m_view->removeEventFilter(this);
    m_view->setAttribute(Qt::WA_InputMethodEnabled, m_inputMethodWas);
}

void NBEHeldInput::release()
{
    if (m_released)
        return;
    m_released = true;
    stopWatchingClicks();
    std::vector<std::unique_ptr<QEvent>> held = std::exchange(m_held, {});
    if (!m_view)
        return;
    m_view->removeEventFilter(this);
    for (const std::unique_ptr<QEvent> &event : held) {
        if (!m_view)
            return;
        QCoreApplication::sendEvent(m_view, event.get());
    }
    // Still being composed: on in the text as it is shown now.
    if (const std::unique_ptr<QEvent> composing = std::move(m_composing); composing && m_view)
        QCoreApplication::sendEvent(m_view, composing.get());
}

void NBEHeldInput::releaseFirst()
{
    if (!m_held.empty() && m_needed)
        m_needed();
}

void NBEHeldInput::hold(std::unique_ptr<QEvent> event)
{
    m_held.push_back(std::move(event));
    // A click anywhere (a tab's close button, a menu, the text itself) acts
    // on the text with what was typed before it.
    if (!m_watchingClicks) {
        m_watchingClicks = true;
        QCoreApplication::instance()->installEventFilter(this);
    }
}

void NBEHeldInput::stopWatchingClicks()
{
    if (std::exchange(m_watchingClicks, false))
        QCoreApplication::instance()->removeEventFilter(this);
}

bool NBEHeldInput::eventFilter(QObject *watched, QEvent *event)
{
    if (m_released)
        return false;
    if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick) {
        releaseFirst();
        return false;
    }
    if (watched != m_view)
        return false;
    switch (event->type()) {
    case QEvent::ShortcutOverride: {
        auto *key = static_cast<QKeyEvent *>(event);
        if (onlyModifier(key))
            return false;
        if (editsText(key)) {
            key->accept();
            return true;
        }
        // Perhaps a window's shortcut: it finds what was typed in the text.
        releaseFirst();
        return false;
    }
    case QEvent::KeyPress: {
        auto *key = static_cast<QKeyEvent *>(event);
        if (onlyModifier(key))
            return false;
        if (leavesText(key)) {
            releaseFirst();
            return false;
        }
        hold(std::unique_ptr<QEvent>(key->clone()));
        key->accept();
        return true;
    }
    case QEvent::InputMethod: {
        // Its commit is for the text; what is being composed the view shows
        // at its caret meanwhile, as it shows it anywhere.
        auto *input = static_cast<QInputMethodEvent *>(event);
        if (!input->commitString().isEmpty() || input->replacementLength() > 0) {
            // (Which brings its own preedit along.)
            hold(std::unique_ptr<QEvent>(input->clone()));
            m_composing.reset();
            input->setCommitString({});
        } else {
            m_composing.reset(input->preeditString().isEmpty() ? nullptr : input->clone());
        }
        // A view replaces its selection with what is composed: this one
        // shows a text nothing edits.
        if (auto *text = qobject_cast<QPlainTextEdit *>(m_view);
            text && text->textCursor().hasSelection()) {
            QTextCursor caret = text->textCursor();
            caret.clearSelection();
            text->setTextCursor(caret);
        }
        return false;
    }
    case QEvent::InputMethodQuery: {
        // The method sends nothing to a view that reads as taking no input.
        auto *query = static_cast<QInputMethodQueryEvent *>(event);
        for (int bit = 0; bit < 32; ++bit) {
            const auto asked = Qt::InputMethodQuery(uint(query->queries().toInt()) & (1u << bit));
            if (asked != 0)
                query->setValue(asked, asked == Qt::ImReadOnly ? QVariant(false)
                                                               : m_view->inputMethodQuery(asked));
        }
        query->accept();
        return true;
    }
    default:
        return false;
    }
}
