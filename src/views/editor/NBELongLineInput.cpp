#include "NBELongLineInput.h"

#include "NBECodeTextEdit.h"
#include "NBELongLineDocument.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QStyleHints>
#include <QTextBlock>
#include <QTextCursor>

NBELongLineInput::NBELongLineInput(NBECodeTextEdit *view, NBELongLineDocument *document)
    : m_view(view)
    , m_document(document)
{
    view->setTextGeometry(document);
    view->setTextInput(this);
    view->installEventFilter(this);
    view->viewport()->installEventFilter(this);
    // The view places nothing by a document that is gone.
    connect(document, &QObject::destroyed, this, &NBELongLineInput::uninstall);
}

NBELongLineInput::~NBELongLineInput()
{
    uninstall();
}

void NBELongLineInput::uninstall()
{
    if (!m_view || m_view->textInput() != this)
        return;
    m_view->setTextInput(nullptr);
    m_view->setTextGeometry(nullptr);
}

bool NBELongLineInput::eventFilter(QObject *watched, QEvent *event)
{
    if (m_passing || !m_document)
        return false;
    // (The type first: the view may be going away.)
    if (event->type() == QEvent::KeyPress && watched == m_view)
        return key(static_cast<QKeyEvent *>(event));
    if ((event->type() == QEvent::MouseButtonDblClick ||
         event->type() == QEvent::MouseButtonPress) &&
        m_view && watched == m_view->viewport())
        return click(static_cast<QMouseEvent *>(event));
    if (event->type() == QEvent::MouseMove && m_view && watched == m_view->viewport())
        return extend(static_cast<QMouseEvent *>(event));
    if (event->type() == QEvent::MouseButtonRelease)
        m_unit.reset();
    return false;
}

namespace {

// As the view tells a word's end when it selects one.
bool isWordCharacter(QChar c)
{
    static const QString separators = QStringLiteral(".,?!@#$:;-<>[](){}=/+%&^*'\"`~|\\");
    return !c.isSpace() && !separators.contains(c) && c != QChar::ParagraphSeparator &&
           c != QChar::Nbsp;
}

} // namespace

bool NBELongLineInput::click(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return false;
    const bool twice = event->type() == QEvent::MouseButtonDblClick;
    // A press soon after a double click where it was is the view's third
    // click, which selects its block: a piece of the line.
    const bool thrice =
        !twice && m_doubleClick.isValid() &&
        m_doubleClick.elapsed() < QGuiApplication::styleHints()->mouseDoubleClickInterval() &&
        (event->position().toPoint() - m_doubleClickAt).manhattanLength() <
            QGuiApplication::styleHints()->startDragDistance();
    m_doubleClick.invalidate();
    m_unit.reset();
    if (!twice && !thrice)
        return false;
    {
        const QScopedValueRollback passing(m_passing, true);
        QCoreApplication::sendEvent(m_view->viewport(), event);
    }
    if (twice) {
        m_doubleClick.start();
        m_doubleClickAt = event->position().toPoint();
    }
    QTextCursor cursor = m_view->textCursor();
    if (!m_document || !cursor.hasSelection())
        return true;
    // What the view selected stops at the splits; the word or line goes on
    // past them.
    const QTextDocument *document = m_view->document();
    int start = cursor.selectionStart();
    int end = cursor.selectionEnd();
    if (thrice) {
        QTextBlock first = document->findBlock(start);
        while (m_document->continuesLine(first))
            first = first.previous();
        // The view's line ends after its break, as the line's does.
        QTextBlock last = document->findBlock(end - 1);
        const bool withBreak = end > last.position() + last.length() - 1;
        while (m_document->continuesLine(last.next()))
            last = last.next();
        start = first.position();
        end = last.position() + last.length() - (withBreak && last.next().isValid() ? 0 : 1);
    } else {
        const auto joined = [&](int separator) {
            return isWordCharacter(document->characterAt(separator - 1)) &&
                   isWordCharacter(document->characterAt(separator + 1));
        };
        for (QTextBlock block = document->findBlock(start);
             start == block.position() && m_document->continuesLine(block) && joined(start - 1);
             block = block.previous()) {
            start = block.position() - 1;
            while (start > block.previous().position() &&
                   isWordCharacter(document->characterAt(start - 1)))
                --start;
        }
        for (QTextBlock block = document->findBlock(end);
             end == block.position() + block.length() - 1 &&
             m_document->continuesLine(block.next()) && joined(end);
             block = block.next()) {
            const QTextBlock next = block.next();
            end = next.position();
            const int last = next.position() + next.length() - 1;
            while (end < last && isWordCharacter(document->characterAt(end)))
                ++end;
        }
    }
    if (start == cursor.selectionStart() && end == cursor.selectionEnd())
        return true;
    m_unit = {start, end};
    const bool forward = cursor.anchor() <= cursor.position();
    cursor.setPosition(forward ? start : end);
    cursor.setPosition(forward ? end : start, QTextCursor::KeepAnchor);
    // Where it was clicked stays under the pointer, for a third click.
    const int top = m_view->verticalScrollBar()->value();
    const int left = m_view->horizontalScrollBar()->value();
    m_view->setTextCursor(cursor);
    m_view->verticalScrollBar()->setValue(top);
    m_view->horizontalScrollBar()->setValue(left);
    return true;
}

bool NBELongLineInput::extend(QMouseEvent *event)
{
    if (!m_unit || !(event->buttons() & Qt::LeftButton))
        return false;
    {
        const QScopedValueRollback passing(m_passing, true);
        QCoreApplication::sendEvent(m_view->viewport(), event);
    }
    // The view extends from the part it selected itself: the selection keeps
    // the whole word or line clicked.
    const auto [start, end] = *m_unit;
    QTextCursor cursor = m_view->textCursor();
    int anchor = start;
    int position = end;
    if (cursor.position() >= end) {
        position = cursor.position();
    } else if (cursor.position() <= start) {
        anchor = end;
        position = cursor.position();
    }
    if (cursor.anchor() != anchor || cursor.position() != position) {
        cursor.setPosition(anchor);
        cursor.setPosition(position, QTextCursor::KeepAnchor);
        m_view->setTextCursor(cursor);
    }
    return true;
}

bool NBELongLineInput::key(QKeyEvent *event)
{
    if (event == QKeySequence::Undo || event == QKeySequence::Redo) {
        if (event == QKeySequence::Undo)
            m_view->undo();
        else
            m_view->redo();
        return true;
    }
    QTextCursor cursor = m_view->textCursor();
    const bool plain = !(event->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier));
    // Backspace at the start of a piece and Delete at the end of one take a
    // character of the text, not the split; with Ctrl, a word of it.
    const bool deletes =
        plain || event == QKeySequence::DeleteStartOfWord || event == QKeySequence::DeleteEndOfWord;
    if (deletes && !cursor.hasSelection() &&
        (event->key() == Qt::Key_Backspace || event->key() == Qt::Key_Delete)) {
        const bool back = event->key() == Qt::Key_Backspace;
        bool moved = false;
        while (back ? cursor.atBlockStart() && m_document->continuesLine(cursor.block())
                    : cursor.atBlockEnd() && m_document->continuesLine(cursor.block().next())) {
            cursor.movePosition(back ? QTextCursor::PreviousCharacter : QTextCursor::NextCharacter);
            moved = true;
        }
        if (moved)
            m_view->setTextCursor(cursor);
        return false;
    }
    // A step across a split would stop on both sides of it, one place of the
    // text: it goes on to the next place.
    if (event->key() == Qt::Key_Left || event->key() == Qt::Key_Right) {
        const QScopedValueRollback passing(m_passing, true);
        const int viewBefore = cursor.position();
        const int before = m_document->toText(viewBefore);
        QCoreApplication::sendEvent(m_view, event);
        const int after = m_view->textCursor().position();
        if (after != viewBefore && m_document->toText(after) == before)
            QCoreApplication::sendEvent(m_view, event);
        return true;
    }
    return false;
}

bool NBELongLineInput::drop(QDropEvent *event)
{
    if (!m_document || !m_view)
        return false;
    const bool inside = event->source() == m_view || event->source() == m_view->viewport();
    if (m_view->isReadOnly() || !event->mimeData()->hasText() ||
        (inside && !m_view->textCursor().hasSelection()))
        return false;
    // The drop cursor goes as the drag leaves.
    {
        const QScopedValueRollback passing(m_passing, true);
        QDragLeaveEvent leave;
        QCoreApplication::sendEvent(m_view->viewport(), &leave);
    }
    const int at =
        m_document->toText(m_view->cursorForPosition(event->position().toPoint()).position());
    const QString dropped = event->mimeData()->text();
    const QTextCursor selection = m_view->textCursor();
    const int from = m_document->toText(selection.selectionStart());
    const int to = m_document->toText(selection.selectionEnd());
    const bool move = inside && event->dropAction() == Qt::MoveAction;
    if (move && at >= from && at <= to) {
        event->ignore();
        return true;
    }
    // A move is done here whole, both its halves: the drag's source is told
    // it was a copy, or it would remove its selection, the text just
    // dropped.
    if (move)
        event->setDropAction(Qt::CopyAction);
    else
        event->setDropAction(event->proposedAction());
    event->accept();
    // One change of the text, shown at once: the removal and the insertion
    // of a move are one undo step.
    QTextCursor edit = m_document->textCursor(at, at);
    edit.beginEditBlock();
    int start = at;
    if (move) {
        edit.setPosition(from);
        edit.setPosition(to, QTextCursor::KeepAnchor);
        edit.removeSelectedText();
        if (at > to)
            start -= to - from;
    }
    edit.setPosition(start);
    edit.insertText(dropped);
    edit.endEditBlock();
    QTextCursor shown = m_view->textCursor();
    shown.setPosition(m_document->toView(start));
    shown.setPosition(m_document->toView(start + int(dropped.size())), QTextCursor::KeepAnchor);
    m_view->setTextCursor(shown);
    m_view->setFocus();
    return true;
}

bool NBELongLineInput::paste(const QMimeData *source)
{
    if (!m_document || !m_view || m_view->isReadOnly() || !source->hasText())
        return false;
    // Through the text, which the view then shows split in one go: pasted
    // into the view, a long line would be laid out whole first.
    const QTextCursor selection = m_view->textCursor();
    const int from = m_document->toText(selection.selectionStart());
    const QString text = source->text();
    QTextCursor edit = m_document->textCursor(from, m_document->toText(selection.selectionEnd()));
    edit.beginEditBlock();
    edit.insertText(text);
    edit.endEditBlock();
    QTextCursor caret = m_view->textCursor();
    caret.setPosition(m_document->toView(from + int(text.size())));
    m_view->setTextCursor(caret);
    m_view->ensureCursorVisible();
    return true;
}

QMimeData *NBELongLineInput::copy() const
{
    if (!m_document || !m_view)
        return nullptr;
    const QTextCursor cursor = m_view->textCursor();
    auto *data = new QMimeData;
    data->setText(m_document->textBetween(cursor.selectionStart(), cursor.selectionEnd()));
    return data;
}

bool NBELongLineInput::undoOrRedo(bool redo)
{
    if (!m_document || !m_view)
        return false;
    // The caret goes where the change ended, as it would in the buffer.
    if (const std::optional<int> end = redo ? m_document->redo() : m_document->undo()) {
        QTextCursor cursor = m_view->textCursor();
        cursor.setPosition(*end);
        m_view->setTextCursor(cursor);
    }
    return true;
}
