#include "NBECodeTextEdit.h"
#include "NBEEditorTestHost.h"
#include "NBELongLineDocument.h"
#include "NBESplitView.h"
#include "NBETestSupport.h"
#include "NBETextEditorView.h"

#include <QGuiApplication>
#include <QScopeGuard>
#include <QStyleHints>
#include <QTest>
#include <QTextBlock>

#include <gtest/gtest.h>

namespace {

// A stylesheet's rule on one line, whose split falls after punctuation, and
// an image inlined as one word of 30,000 characters, split inside it.
QString ruleLine()
{
    QString line = QStringLiteral("a{");
    for (int i = 0; line.size() < 30'000; ++i)
        line +=
            QStringLiteral("color:#%1;margin:0 %2px;").arg(i % 999, 3, 10, QLatin1Char('0')).arg(i);
    return QStringLiteral("one\n") + line + QStringLiteral("}\nlast line\n");
}

QString inlinedImage()
{
    QString line = QStringLiteral("a{background:url(data:image/png;base64,");
    for (int i = 0; line.size() < 30'000; ++i)
        line += QStringLiteral("iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42%1")
                    .arg(i % 10);
    return QStringLiteral("one\n") + line + QStringLiteral(")}\nlast line\n");
}

// The anchor and caret as text offsets.
QPair<int, int> selection(const NBECodeTextEdit &edit)
{
    const NBETextGeometry &geometry = edit.textGeometry();
    return {geometry.toText(edit.textCursor().anchor()),
            geometry.toText(edit.textCursor().position())};
}

// Double- and triple-clicks `edit` where the text offset `at` is shown;
// what each selected.
QPair<QPair<int, int>, QPair<int, int>> clicks(NBECodeTextEdit &edit, int at)
{
    QTextCursor cursor = edit.textCursor();
    cursor.setPosition(edit.textGeometry().toView(at));
    edit.setTextCursor(cursor);
    edit.ensureCursorVisible();
    const QPoint point = edit.cursorRect().center() + QPoint(2, 0);
    QTest::mouseDClick(edit.viewport(), Qt::LeftButton, {}, point);
    const QPair<int, int> word = selection(edit);
    QTest::mouseClick(edit.viewport(), Qt::LeftButton, {}, point);
    return {word, selection(edit)};
}

} // namespace

// A double click on a word and a triple click on a line that the view split
// select the whole word and line, as they do where the line is shown whole,
// so typing over them leaves no part behind.
TEST(NBELongLineEditing, ClicksSelectTheWordOrLineAcrossSplits)
{
    // A third click counts however long a loaded machine takes between the
    // clicks.
    QStyleHints *hints = QGuiApplication::styleHints();
    const int interval = hints->mouseDoubleClickInterval();
    hints->setMouseDoubleClickInterval(60'000);
    const auto restore = qScopeGuard([&] { hints->setMouseDoubleClickInterval(interval); });
    for (const QString &text : {ruleLine(), inlinedImage()}) {
        NBEEditorTestHost host(text);
        NBETextEditorView view(host.session());
        view.resize(700, 500);
        view.show();
        NBECodeTextEdit &split = *view.textView();
        NBELongLineDocument *longLines = NBETest::longLines(&split);
        ASSERT_TRUE(longLines);
        NBECodeTextEdit whole;
        whole.resize(700, 500);
        whole.setPlainText(text);
        whole.show();

        QTextBlock piece = split.document()->begin();
        while (piece.isValid() && !split.continuesLine(piece))
            piece = piece.next();
        ASSERT_TRUE(piece.isValid());
        const int at = longLines->toText(piece.position()) + 2;
        const auto [word, line] = clicks(split, at);
        const auto [wholeWord, wholeLine] = clicks(whole, at);
        EXPECT_EQ(word, wholeWord) << text.left(30).toStdString();
        EXPECT_EQ(line, wholeLine) << text.left(30).toStdString();
        EXPECT_GT(line.second - line.first, 29000);

        split.setFocus();
        QTest::keyClicks(&split, QStringLiteral("x"));
        EXPECT_EQ(host.text(), QString(text).replace(line.first, line.second - line.first, u'x'));
    }
}

// A drag on from a double click on a word cut by splits extends the whole
// word's selection, as where the line is shown whole.
TEST(NBELongLineEditing, ADragFromADoubleClickKeepsTheWholeWord)
{
    const QString text = inlinedImage();
    NBEEditorTestHost host(text);
    host.settings.wordWrap = false;
    NBETextEditorView view(host.session());
    view.resize(700, 500);
    view.show();
    NBECodeTextEdit &edit = *view.textView();
    ASSERT_TRUE(NBETest::longLines(&edit));
    QTextBlock last = edit.document()->findBlockByNumber(1);
    while (edit.continuesLine(last.next()))
        last = last.next();
    QTextCursor cursor(edit.document());
    cursor.setPosition(last.position() + 5);
    edit.setTextCursor(cursor);
    edit.ensureCursorVisible();
    QTest::mouseDClick(edit.viewport(), Qt::LeftButton, {}, edit.cursorRect().center());
    const int wordStart = int(text.indexOf(u',', 40)) + 1;
    const int wordEnd = int(text.indexOf(u')', wordStart));
    ASSERT_EQ(selection(edit), qMakePair(wordStart, wordEnd));

    // On to the next line.
    cursor.setPosition(last.next().position() + 2);
    const QPoint to = edit.cursorRect(cursor).center();
    QMouseEvent move(QEvent::MouseMove, QPointF(to), edit.viewport()->mapToGlobal(QPointF(to)),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(edit.viewport(), &move);
    QTest::mouseRelease(edit.viewport(), Qt::LeftButton, {}, to);
    EXPECT_EQ(selection(edit).first, wordStart);
    EXPECT_GT(selection(edit).second, wordEnd);
}

// Keys typed over a selection that crosses splits are one undo step with it,
// as where the line is shown whole: one undo gives the selection's text
// back, one redo the typed text.
TEST(NBELongLineEditing, TypingOverASelectionIsOneUndoStep)
{
    const QString text = ruleLine();
    NBEEditorTestHost host(text);
    NBETextEditorView view(host.session());
    view.resize(700, 500);
    view.show();
    NBECodeTextEdit &edit = *view.textView();
    ASSERT_TRUE(NBETest::longLines(&edit));
    const int from = 1000;
    const int to = 9000;
    QTextCursor cursor = edit.textCursor();
    cursor.setPosition(edit.textGeometry().toView(from));
    cursor.setPosition(edit.textGeometry().toView(to), QTextCursor::KeepAnchor);
    edit.setTextCursor(cursor);
    edit.setFocus();
    QTest::keyClicks(&edit, QStringLiteral("xyz"));
    const QString typed = QString(text).replace(from, to - from, QStringLiteral("xyz"));
    ASSERT_EQ(host.text(), typed);

    QTest::keySequence(&edit, QKeySequence::Undo);
    EXPECT_EQ(host.text(), text);
    EXPECT_EQ(selection(edit).second, to);
    QTest::keySequence(&edit, QKeySequence::Redo);
    EXPECT_EQ(host.text(), typed);
    EXPECT_EQ(selection(edit).second, from + 3);
}
