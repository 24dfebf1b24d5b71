#include "NBECodeSamples.h"
#include "NBECodeTextEdit.h"
#include "NBELongLineDocument.h"
#include "NBELongLineInput.h"
#include "NBESoftBreaks.h"
#include "NBETextBuffer.h"

#include <QApplication>
#include <QDrag>
#include <QMimeData>
#include <QMouseEvent>
#include <QTest>
#include <QTextBlock>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>

namespace {

// Selects the view offsets [from, to) and starts dragging them with the
// mouse; once the view's drag runs, `during` gets the viewport, the drag and
// the point of the view offset `at`. Answers whether the drag ran.
bool drag(NBECodeTextEdit &edit, int from, int to, int at,
          const std::function<void(QWidget *, const QDrag *, QPoint)> &during)
{
    QTextCursor cursor = edit.textCursor();
    cursor.setPosition(from);
    cursor.setPosition(to, QTextCursor::KeepAnchor);
    edit.setTextCursor(cursor);
    const auto pointAt = [&](int offset) {
        QTextCursor place(edit.document());
        place.setPosition(offset);
        return edit.cursorRect(place).center();
    };
    const QPoint press = pointAt((from + to) / 2);
    const QPoint target = pointAt(at);
    QWidget *viewport = edit.viewport();
    bool dragged = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        const QDrag *drag = viewport->findChild<QDrag *>();
        if (!drag)
            return;
        watch.stop();
        dragged = true;
        during(viewport, drag, target);
    });
    watch.start(0);
    QMouseEvent down(QEvent::MouseButtonPress, press, viewport->mapToGlobal(press), Qt::LeftButton,
                     Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(viewport, &down);
    const QPoint away = press + QPoint(0, 2 * QApplication::startDragDistance());
    QMouseEvent pull(QEvent::MouseMove, away, viewport->mapToGlobal(away), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(viewport, &pull);
    return dragged;
}

// Drags the view offsets [from, to) to the view offset `at`: while the
// window system runs the drag the drop comes to the view with the drag's
// data. Returns whether the view took the drop.
bool dragSelection(NBECodeTextEdit &edit, int from, int to, int at)
{
    bool taken = false;
    EXPECT_TRUE(drag(edit, from, to, at, [&](QWidget *viewport, const QDrag *drag, QPoint target) {
        const QMimeData *data = drag->mimeData();
        const Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction;
        QDragEnterEvent enter(target, actions, data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(viewport, &enter);
        QDragMoveEvent move(target, actions, data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(viewport, &move);
        QDropEvent drop(QPointF(target), actions, data, Qt::LeftButton, Qt::NoModifier);
        drop.setDropAction(Qt::MoveAction);
        QCoreApplication::sendEvent(viewport, &drop);
        taken = drop.isAccepted();
        // The drop is done; the drag ends without a target of its own (the
        // window system takes the button's release).
        QDrag::cancel();
    }));
    return taken;
}

// The same from the press to the release, as a user does: the window system
// carries the drag to the drop and tells the source how it ended, and the
// source then does its own part.
void dragAndRelease(NBECodeTextEdit &edit, int from, int to, int at)
{
    EXPECT_TRUE(drag(edit, from, to, at, [](QWidget *viewport, const QDrag *, QPoint target) {
        // The running drag takes the mouse's moves and its release.
        const QPoint global = viewport->mapToGlobal(target);
        for (const QPoint step : {QPoint(1, 0), QPoint(0, 0)}) {
            QMouseEvent move(QEvent::MouseMove, target + step, global + step, Qt::NoButton,
                             Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(viewport, &move);
        }
        QMouseEvent up(QEvent::MouseButtonRelease, target, global, Qt::LeftButton, Qt::NoButton,
                       Qt::NoModifier);
        QCoreApplication::sendEvent(viewport, &up);
    }));
    QCoreApplication::processEvents();
}

void show(NBECodeTextEdit &edit)
{
    edit.resize(600, 400);
    edit.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&edit));
}

} // namespace

// A drag inside the text moves it, as one undo step, whether or not the view
// shows a long line split.
TEST(NBECodeTextEditDrag, ADragInsideTheTextMovesIt)
{
    // An offscreen window system ends every drag before it starts.
    ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
    NBECodeTextEdit plain;
    const QString text = QStringLiteral("line 1\nline 2\nline 3\nline 4\nline 5\nline 6\n");
    plain.setPlainText(text);
    ASSERT_NO_FATAL_FAILURE(show(plain));
    // "line 2" goes after "line 5".
    const int from = int(text.indexOf(QStringLiteral("line 2")));
    const int at = int(text.indexOf(QStringLiteral("\nline 6")));
    ASSERT_TRUE(dragSelection(plain, from, from + 6, at));
    QString moved = text;
    moved.insert(at, QStringLiteral("line 2")).remove(from, 6);
    EXPECT_EQ(plain.text(), moved);
    plain.undo();
    EXPECT_EQ(plain.text(), text);

    const QString script = NBECodeSamples::minifiedScript(3 * NBESoftBreaks::longestWholeLine);
    const std::shared_ptr<NBETextBuffer> buffer = NBETextBuffer::make(script);
    NBELongLineDocument longLines(buffer);
    NBECodeTextEdit split;
    split.setDocument(longLines.document());
    const NBELongLineInput input(&split, &longLines);
    ASSERT_NO_FATAL_FAILURE(show(split));
    // Taken from the second piece and dropped on the first.
    const QTextBlock second = split.document()->findBlockByNumber(1);
    ASSERT_TRUE(split.continuesLine(second));
    const int piece = longLines.toText(second.position());
    ASSERT_TRUE(
        dragSelection(split, second.position() + 2, second.position() + 9, longLines.toView(3)));
    QString expected = script;
    expected.insert(3, script.mid(piece + 2, 7)).remove(piece + 2 + 7, 7);
    EXPECT_EQ(split.text(), expected);
    EXPECT_EQ(split.textSelectionStart(), 3);
    EXPECT_EQ(split.textSelectionEnd(), 10);
    split.undo();
    EXPECT_EQ(split.text(), script);
    // Dropped on the selection itself, nothing moves.
    EXPECT_FALSE(
        dragSelection(split, longLines.toView(20), longLines.toView(30), longLines.toView(25)));
    EXPECT_EQ(split.text(), script);
}

// The drag ends as the window system ends it, and the source side runs: the
// text moves once, on an ordinary line and on the long line of a text shown
// split, and Save would write what the view shows.
TEST(NBECodeTextEditDrag, ADragThatEndsMovesTheTextOnce)
{
    ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
    NBECodeTextEdit plain;
    const QString text = QStringLiteral("line 1\nline 2\nline 3\nline 4\nline 5\nline 6\n");
    plain.setPlainText(text);
    ASSERT_NO_FATAL_FAILURE(show(plain));
    const int from = int(text.indexOf(QStringLiteral("line 2")));
    const int at = int(text.indexOf(QStringLiteral("\nline 6")));
    dragAndRelease(plain, from, from + 6, at);
    QString moved = text;
    moved.insert(at, QStringLiteral("line 2")).remove(from, 6);
    EXPECT_EQ(plain.text(), moved);

    // A page with a long line: the view shows it split.
    const QString script = NBECodeSamples::minifiedScript(3 * NBESoftBreaks::longestWholeLine);
    const QString head = QStringLiteral("one two\nthree four\n");
    const std::shared_ptr<NBETextBuffer> buffer = NBETextBuffer::make(head + script);
    NBELongLineDocument longLines(buffer);
    NBECodeTextEdit split;
    split.setDocument(longLines.document());
    const NBELongLineInput input(&split, &longLines);
    ASSERT_NO_FATAL_FAILURE(show(split));

    // "two" of the first line goes after "three".
    dragAndRelease(split, 4, 7, longLines.toView(13));
    QString expected = head + script;
    expected.insert(13, QStringLiteral("two")).remove(4, 3);
    EXPECT_EQ(split.text(), expected);
    EXPECT_EQ(buffer->text(), expected);

    // Taken from the long line's second piece and dropped on its first.
    const QTextBlock second = split.document()->findBlockByNumber(3);
    ASSERT_TRUE(split.continuesLine(second));
    const int piece = longLines.toText(second.position());
    const int lineStart = int(head.size());
    dragAndRelease(split, second.position() + 2, second.position() + 9,
                   longLines.toView(lineStart + 3));
    const QString word = expected.mid(piece + 2, 7);
    expected.insert(lineStart + 3, word).remove(piece + 2 + 7, 7);
    EXPECT_EQ(split.text(), expected);
    EXPECT_EQ(buffer->text(), expected);
}
