#include "NBECodeSamples.h"
#include "NBECodeTextEdit.h"
#include "NBELongLineDocument.h"
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

namespace {

// Selects the view offsets [from, to) and drags them with the mouse to the
// view offset `at`: the view starts its own drag, and while the window
// system runs it the drop comes to the view with the drag's data. Returns
// whether the view took the drop.
bool dragSelection(NBECodeTextEdit &edit, int from, int to, int at)
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
    bool taken = false;
    QTimer dropper;
    QObject::connect(&dropper, &QTimer::timeout, [&] {
        const QDrag *drag = viewport->findChild<QDrag *>();
        if (!drag)
            return;
        dropper.stop();
        dragged = true;
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
    });
    dropper.start(0);
    QMouseEvent down(QEvent::MouseButtonPress, press, viewport->mapToGlobal(press), Qt::LeftButton,
                     Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(viewport, &down);
    const QPoint away = press + QPoint(0, 2 * QApplication::startDragDistance());
    QMouseEvent pull(QEvent::MouseMove, away, viewport->mapToGlobal(away), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(viewport, &pull);
    EXPECT_TRUE(dragged);
    return taken;
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
    split.setLongLines(&longLines);
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
