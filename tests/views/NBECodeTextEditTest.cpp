#include "NBECodeTextEdit.h"
#include "NBECodeSamples.h"
#include "NBEFindBar.h"
#include "NBEGutterView.h"
#include "NBELongLineDocument.h"
#include "NBELongLineInput.h"
#include "NBESoftBreaks.h"
#include "NBETextBuffer.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMimeData>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <gtest/gtest.h>

namespace {

QString lines(int count)
{
    QStringList list;
    for (int i = 1; i <= count; ++i)
        list << QStringLiteral("line %1").arg(i);
    return list.join(QLatin1Char('\n'));
}

// A one-line script of at least `units` characters in a view that shows it
// split.
struct SplitView
{
    explicit SplitView(qsizetype units)
        : text(NBECodeSamples::minifiedScript(units))
        , buffer(NBETextBuffer::make(text))
        , longLines(buffer)
    {
        edit.setDocument(longLines.document());
    }
    const QString text;
    const std::shared_ptr<NBETextBuffer> buffer;
    NBELongLineDocument longLines;
    NBECodeTextEdit edit;
    const NBELongLineInput input{&edit, &longLines};
};

QLineEdit *findField(const NBEFindBar &bar)
{
    for (QLineEdit *field : bar.findChildren<QLineEdit *>())
        if (field->placeholderText() == QStringLiteral("Find"))
            return field;
    return nullptr;
}

} // namespace

TEST(NBECodeTextEdit, TextKeepsNonBreakingSpacesAndLineFeeds)
{
    NBECodeTextEdit edit;
    const QString text = QStringLiteral("a\u00A0b\n\tc\u2028d\n");
    edit.setPlainText(text);
    EXPECT_EQ(edit.text(), text);
    EXPECT_EQ(edit.document()->blockCount(), 3);
}

TEST(NBECodeTextEdit, SoftTabsInsertSpacesInPlaceOfTheSelection)
{
    NBECodeTextEdit edit;
    edit.setPlainText(QStringLiteral("abcdef"));
    edit.setSoftTabs(true, 4);
    QTextCursor cursor = edit.textCursor();
    cursor.setPosition(1);
    cursor.setPosition(3, QTextCursor::KeepAnchor);
    edit.setTextCursor(cursor);
    QTest::keyClick(&edit, Qt::Key_Tab);
    EXPECT_EQ(edit.text(), QStringLiteral("a    def"));
    edit.undo();
    EXPECT_EQ(edit.text(), QStringLiteral("abcdef"));

    edit.setSoftTabs(false, 4);
    edit.moveCursor(QTextCursor::End);
    QTest::keyClick(&edit, Qt::Key_Tab);
    EXPECT_EQ(edit.text(), QStringLiteral("abcdef\t"));
}

// A clipboard whose owner never answered comes with no formats at all: a
// paste of it, into a plain or a split view, inserts nothing, and the next
// paste of text works as ever.
TEST(NBECodeTextEdit, APasteOfAClipboardWithNoFormatsInsertsNothing)
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    NBECodeTextEdit plain;
    plain.setPlainText(QStringLiteral("abc"));
    plain.moveCursor(QTextCursor::End);
    SplitView split(3 * NBESoftBreaks::longestWholeLine);
    split.edit.moveCursor(QTextCursor::End);
    for (NBECodeTextEdit *edit : {&plain, &split.edit}) {
        const QString before = edit->text();
        clipboard->setMimeData(new QMimeData);
        ASSERT_TRUE(clipboard->mimeData()->formats().isEmpty());
        QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
        EXPECT_EQ(edit->text(), before);
        clipboard->setText(QStringLiteral("xy"));
        QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
        EXPECT_EQ(edit->text(), before + QStringLiteral("xy"));
        edit->undo();
        EXPECT_EQ(edit->text(), before);
    }
}

TEST(NBECodeTextEdit, GutterFollowsLineNumbersAndNumbersVisibleLines)
{
    NBECodeTextEdit edit;
    edit.resize(400, 200);
    edit.setPlainText(lines(100) + QStringLiteral("\n"));
    edit.setLineNumbersVisible(true);
    edit.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&edit));
    ASSERT_NE(edit.gutter(), nullptr);
    EXPECT_GE(edit.gutterWidth(), NBEGutterView::minimumWidth);
    EXPECT_EQ(edit.viewport()->geometry().left(), edit.gutterWidth());

    auto layout = edit.gutter()->visibleLineLayout();
    ASSERT_FALSE(layout.isEmpty());
    EXPECT_EQ(layout.first().first, 1);

    // Scrolled to the end: the empty line after the final line feed has no
    // number.
    edit.verticalScrollBar()->setValue(edit.verticalScrollBar()->maximum());
    layout = edit.gutter()->visibleLineLayout();
    ASSERT_FALSE(layout.isEmpty());
    EXPECT_EQ(layout.last().first, 100);
    EXPECT_GT(layout.first().first, 1);

    edit.setLineNumbersVisible(false);
    EXPECT_EQ(edit.gutter(), nullptr);
    EXPECT_EQ(edit.viewport()->geometry().left(), 0);
    edit.setLineNumbersVisible(true);
    EXPECT_NE(edit.gutter(), nullptr);
}

TEST(NBECodeTextEdit, WordWrapAndInvisibles)
{
    NBECodeTextEdit edit;
    edit.resize(200, 200);
    edit.setPlainText(QString(400, QLatin1Char('x')));
    edit.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&edit));

    edit.setWordWrap(true);
    EXPECT_EQ(edit.lineWrapMode(), QPlainTextEdit::WidgetWidth);
    EXPECT_EQ(edit.horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    QCoreApplication::processEvents();
    EXPECT_GT(edit.document()->firstBlock().layout()->lineCount(), 1);

    edit.setWordWrap(false);
    EXPECT_EQ(edit.horizontalScrollBarPolicy(), Qt::ScrollBarAsNeeded);
    QCoreApplication::processEvents();
    EXPECT_EQ(edit.document()->firstBlock().layout()->lineCount(), 1);
    EXPECT_GT(edit.horizontalScrollBar()->maximum(), 0);

    edit.setShowInvisibles(true);
    EXPECT_TRUE(edit.document()->defaultTextOption().flags() & QTextOption::ShowTabsAndSpaces);
    edit.setShowInvisibles(false);
    EXPECT_FALSE(edit.document()->defaultTextOption().flags() & QTextOption::ShowTabsAndSpaces);
}

TEST(NBECodeTextEdit, ScrollFractionsAndReports)
{
    NBECodeTextEdit edit;
    edit.resize(300, 200);
    edit.setPlainText(QStringLiteral("short"));
    edit.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&edit));
    EXPECT_EQ(edit.scrollFraction(), 0.0); // shorter than the view
    edit.scrollToFraction(0.5);            // nothing to scroll
    EXPECT_EQ(edit.verticalScrollBar()->value(), 0);

    edit.setPlainText(lines(500));
    QSignalSpy reports(&edit, &NBECodeTextEdit::scrolled);
    edit.verticalScrollBar()->setValue(edit.verticalScrollBar()->maximum());
    ASSERT_FALSE(reports.isEmpty());
    EXPECT_EQ(reports.last().first().toDouble(), 1.0);
    edit.scrollToFraction(0.5);
    EXPECT_NEAR(edit.scrollFraction(), 0.5, 0.01);
}

TEST(NBECodeTextEdit, OnlyLinesOnScreenKeepTheirShapedGlyphs)
{
    NBECodeTextEdit edit;
    edit.resize(300, 200);
    edit.setPlainText(lines(2000));
    edit.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&edit));
    const auto cached = [&](int line) {
        return edit.document()->findBlockByNumber(line).layout()->cacheEnabled();
    };
    edit.viewport()->repaint();
    EXPECT_TRUE(cached(0));
    EXPECT_FALSE(cached(1000));

    edit.verticalScrollBar()->setValue(1000);
    edit.viewport()->repaint();
    EXPECT_FALSE(cached(0));
    EXPECT_TRUE(cached(edit.firstVisibleTextBlock().blockNumber()));
    // A line that gave its glyphs back is laid out again when needed.
    edit.verticalScrollBar()->setValue(0);
    edit.viewport()->repaint();
    EXPECT_TRUE(cached(0));
    EXPECT_EQ(edit.document()->firstBlock().layout()->lineCount(), 1);
}

TEST(NBEFindBar, FindsWrapsCountsAndReplaces)
{
    NBECodeTextEdit edit;
    edit.setPlainText(QStringLiteral("Alpha beta\nalpha gamma\nALPHA"));
    NBEFindBar bar(&edit);
    bar.open();
    bar.setSearchText(QStringLiteral("alpha"));
    EXPECT_EQ(bar.matchCount(), 3);
    EXPECT_EQ(edit.textCursor().selectionStart(), 0); // incremental from the start

    EXPECT_TRUE(bar.findNext());
    EXPECT_EQ(edit.textCursor().selectionStart(), 11);
    EXPECT_TRUE(bar.findNext());
    EXPECT_EQ(edit.textCursor().selectionStart(), 23);
    EXPECT_TRUE(bar.findNext()); // wraps around
    EXPECT_EQ(edit.textCursor().selectionStart(), 0);
    EXPECT_TRUE(bar.findNext(true)); // and backwards
    EXPECT_EQ(edit.textCursor().selectionStart(), 23);

    bar.setCaseSensitive(true);
    EXPECT_EQ(bar.matchCount(), 1);
    bar.setSearchText(QStringLiteral("missing"));
    EXPECT_FALSE(bar.findNext());

    bar.setCaseSensitive(false);
    bar.setSearchText(QStringLiteral("alpha"));
    bar.setReplaceText(QStringLiteral("alpha alpha"));
    const int caret = edit.textCursor().position();
    EXPECT_EQ(bar.replaceAll(), 3); // a replacement holding the search text ends
    EXPECT_EQ(edit.text(), QStringLiteral("alpha alpha beta\nalpha alpha gamma\nalpha alpha"));
    edit.undo(); // one step, the caret back where it was
    EXPECT_EQ(edit.text(), QStringLiteral("Alpha beta\nalpha gamma\nALPHA"));
    EXPECT_EQ(edit.textCursor().position(), caret);

    bar.setReplaceText(QStringLiteral("X"));
    edit.moveCursor(QTextCursor::Start);
    EXPECT_TRUE(bar.replaceCurrent());
    EXPECT_EQ(edit.text(), QStringLiteral("X beta\nalpha gamma\nALPHA"));
    EXPECT_EQ(edit.textCursor().selectedText(), QStringLiteral("alpha")); // next one selected
}

// A search text that overlaps itself ("aa" in "aaaa") counts the matches
// that Next visits and Replace All replaces.
TEST(NBEFindBar, TheCountIsTheMatchesThatNextVisitsAndReplaceAllReplaces)
{
    NBECodeTextEdit edit;
    edit.setPlainText(QStringLiteral("aaaa bb AAAA"));
    NBEFindBar bar(&edit);
    bar.open();
    bar.setSearchText(QStringLiteral("aa"));
    EXPECT_EQ(bar.matchCount(), 4);
    EXPECT_EQ(bar.countText(), QStringLiteral("4 matches"));
    QList<int> visited{edit.textCursor().selectionStart()};
    for (int i = 0; i < 4; ++i) {
        ASSERT_TRUE(bar.findNext());
        visited.append(edit.textCursor().selectionStart());
    }
    EXPECT_EQ(visited, (QList<int>{0, 2, 8, 10, 0}));
    visited = {};
    for (int i = 0; i < 4; ++i) {
        ASSERT_TRUE(bar.findNext(true));
        visited.append(edit.textCursor().selectionStart());
    }
    EXPECT_EQ(visited, (QList<int>{10, 8, 2, 0}));
    bar.setReplaceText(QStringLiteral("x"));
    EXPECT_EQ(bar.replaceAll(), 4);
    EXPECT_EQ(edit.text(), QStringLiteral("xx bb xx"));
}

// A view of split lines is searched in its text: matches across a split are
// found, counted and replaced, and a replace-all is one undo step.
TEST(NBEFindBar, FindsAndReplacesAcrossTheSplitsOfALongLine)
{
    SplitView view(30'000);
    const QString &text = view.text;
    const auto &buffer = view.buffer;
    NBELongLineDocument &longLines = view.longLines;
    NBECodeTextEdit &edit = view.edit;
    NBEFindBar bar(&edit);
    bar.open();
    const QString needle = QStringLiteral("};FUNCTION");
    bar.setSearchText(needle);
    const int count = int(text.count(needle, Qt::CaseInsensitive));
    EXPECT_EQ(bar.matchCount(), count);
    QList<int> starts;
    int acrossSplits = 0;
    for (int i = 0; i < count; ++i) {
        ASSERT_TRUE(bar.findNext());
        const QTextCursor found = edit.textCursor();
        starts.append(found.selectionStart());
        EXPECT_EQ(longLines.textBetween(found.selectionStart(), found.selectionEnd()),
                  QStringLiteral("};function"));
        if (found.selectedText().contains(QChar::ParagraphSeparator))
            ++acrossSplits;
    }
    EXPECT_GT(acrossSplits, 0);
    EXPECT_TRUE(bar.findNext()); // wraps around
    EXPECT_EQ(edit.textCursor().selectionStart(), starts.first());
    EXPECT_TRUE(bar.findNext(true));
    EXPECT_EQ(edit.textCursor().selectionStart(), starts.last());

    bar.setReplaceText(QStringLiteral("};\nfunction"));
    EXPECT_EQ(bar.replaceAll(), count);
    EXPECT_EQ(buffer->text(),
              QString(text).replace(QStringLiteral("};function"), QStringLiteral("};\nfunction")));
    edit.undo();
    EXPECT_EQ(buffer->text(), text);
}

// Typing a search reads the text once for every key, count, Next, Previous
// and Replace All while the text stays as it is (a copy of a large file per
// key made typing in the field slow); an edit is seen by the very next count
// and search, whole or split.
TEST(NBEFindBar, ASearchReadsTheTextOnceAndSeesEveryEdit)
{
    SplitView split(30'000);
    NBECodeTextEdit whole;
    whole.setPlainText(split.text);
    const QString needle = QStringLiteral("return");
    const int count = int(split.text.count(needle, Qt::CaseInsensitive));
    const int first = int(split.text.indexOf(needle));
    for (NBECodeTextEdit *edit : {&whole, &split.edit}) {
        SCOPED_TRACE(edit == &whole ? "whole" : "split");
        const auto selectedAt = [edit] { return edit->textSelectionStart(); };
        NBEFindBar bar(edit);
        bar.open();
        QLineEdit *field = findField(bar);
        ASSERT_NE(field, nullptr);
        QCoreApplication::processEvents();

        const quint64 before = NBETextBuffer::wholeTextReads();
        for (const QChar key : needle + u'N') {
            QTest::keyClicks(field, QString(key));
            QCoreApplication::processEvents();
        }
        EXPECT_EQ(bar.countText(), QStringLiteral("0 matches"));
        QTest::keyClick(field, Qt::Key_Backspace);
        EXPECT_EQ(bar.countText(), QStringLiteral("%1 matches").arg(count));
        EXPECT_EQ(selectedAt(), first);
        EXPECT_TRUE(bar.findNext());
        EXPECT_TRUE(bar.findNext(true));
        EXPECT_EQ(selectedAt(), first);
        EXPECT_EQ(NBETextBuffer::wholeTextReads() - before, 1u);

        // A match typed at the start is found and counted, case and all.
        edit->moveCursor(QTextCursor::Start);
        QTest::keyClicks(edit, QStringLiteral("RETURN "));
        EXPECT_EQ(bar.matchCount(), count + 1);
        bar.setCaseSensitive(true);
        EXPECT_EQ(bar.matchCount(), count);
        bar.setCaseSensitive(false);
        edit->moveCursor(QTextCursor::End);
        EXPECT_TRUE(bar.findNext());
        EXPECT_EQ(selectedAt(), 0);
        edit->undo();
        ASSERT_EQ(edit->text(), split.text);
        EXPECT_EQ(bar.matchCount(), count);

        bar.setReplaceText(QStringLiteral("yield"));
        EXPECT_EQ(bar.replaceAll(), count);
        EXPECT_EQ(edit->text(), QString(split.text).replace(needle, QStringLiteral("yield")));
        EXPECT_EQ(bar.countText(), QStringLiteral("0 matches"));
        edit->undo();
        EXPECT_EQ(bar.matchCount(), count);
    }
}

// The copy read for searching goes when the bar closes or searching pauses,
// so a large file isn't kept twice; the next search reads the text again.
TEST(NBEFindBar, TheTextReadForSearchingIsLetGo)
{
    NBECodeTextEdit edit;
    edit.setPlainText(lines(500));
    NBEFindBar bar(&edit);
    bar.open();
    bar.setSearchText(QStringLiteral("line 4"));
    EXPECT_EQ(bar.matchCount(), 111);

    quint64 reads = NBETextBuffer::wholeTextReads();
    bar.close_();
    bar.open();
    EXPECT_EQ(NBETextBuffer::wholeTextReads(), reads + 1);
    EXPECT_EQ(bar.matchCount(), 111);
    EXPECT_EQ(NBETextBuffer::wholeTextReads(), reads + 1);

    QTest::qWait(NBEFindBar::textKeptMs + 200);
    reads = NBETextBuffer::wholeTextReads();
    EXPECT_TRUE(bar.findNext());
    EXPECT_EQ(NBETextBuffer::wholeTextReads(), reads + 1);

    // A text view given another document is searched in that one.
    auto *other = new QTextDocument(&edit);
    other->setDocumentLayout(new QPlainTextDocumentLayout(other));
    other->setPlainText(QStringLiteral("line 4 and line 40"));
    edit.setDocument(other);
    EXPECT_EQ(bar.matchCount(), 2);
}

// Replace All leaves the caret by the text it stood in, whole or split: not
// after the last match, far from where the reader looks, where the next key
// would land.
TEST(NBEFindBar, ReplaceAllLeavesTheCaretByTheTextItStoodIn)
{
    SplitView split(30'000);
    NBECodeTextEdit whole;
    whole.setPlainText(split.text);
    const QString needle = QStringLiteral("return");
    const QString replacement = QStringLiteral("yield ");
    const int stood = int(split.text.indexOf(needle, 15'000)) + 3;
    const int before = int(split.text.left(stood).count(needle)) - 1;
    // Inside a match the caret goes after its replacement.
    const int expected =
        stood - 3 + (before + 1) * int(replacement.size()) - before * int(needle.size());
    for (NBECodeTextEdit *edit : {&split.edit, &whole}) {
        SCOPED_TRACE(edit == &whole ? "whole" : "split");
        QTextCursor caret = edit->textCursor();
        caret.setPosition(edit->textGeometry().toView(stood));
        edit->setTextCursor(caret);
        NBEFindBar bar(edit);
        bar.setSearchText(needle);
        caret.setPosition(edit->textGeometry().toView(stood));
        edit->setTextCursor(caret);
        bar.setReplaceText(replacement);
        EXPECT_EQ(bar.replaceAll(), split.text.count(needle));
        EXPECT_EQ(edit->textCaret(), expected);
        QTest::keyClick(edit, Qt::Key_Z);
        EXPECT_EQ(edit->text().mid(expected - 6, 7), QStringLiteral("yield z"));
    }
}

// A change large enough to split the whole text anew leaves the caret at its
// place in the text.
TEST(NBECodeTextEdit, TheCaretKeepsItsPlaceWhenALongLineIsSplitAnew)
{
    SplitView view(600'000);
    const QString &text = view.text;
    NBELongLineDocument &longLines = view.longLines;
    NBECodeTextEdit &edit = view.edit;
    QTextCursor caret = edit.textCursor();
    caret.setPosition(longLines.toView(500'000));
    edit.setTextCursor(caret);
    QTextCursor change(view.buffer->document());
    change.setPosition(1000);
    change.setPosition(300'000, QTextCursor::KeepAnchor);
    change.insertText(QString(300'000, u'x'));
    EXPECT_EQ(longLines.toText(edit.textCursor().position()), 501'000);
    EXPECT_EQ(edit.text().mid(501'000, 20), text.mid(500'000, 20));
}

// Ctrl+Backspace and Ctrl+Delete on either side of a split delete what they
// delete in the whole text, not the split alone (which changed nothing, key
// after key).
TEST(NBECodeTextEdit, WordDeletionAtASplitDeletesAsInTheWholeText)
{
    SplitView view(30'000);
    NBECodeTextEdit &edit = view.edit;
    NBELongLineDocument &longLines = view.longLines;
    const int piece = edit.document()->findBlockByNumber(2).position();
    ASSERT_TRUE(edit.continuesLine(edit.document()->findBlockByNumber(2)));
    for (const int viewAt : {piece - 1, piece}) {
        for (const Qt::Key key : {Qt::Key_Backspace, Qt::Key_Delete}) {
            SCOPED_TRACE(viewAt - piece);
            SCOPED_TRACE(key == Qt::Key_Delete ? "Delete" : "Backspace");
            QTextCursor caret = edit.textCursor();
            caret.setPosition(viewAt);
            edit.setTextCursor(caret);
            NBECodeTextEdit whole;
            whole.setPlainText(view.text);
            caret = whole.textCursor();
            caret.setPosition(longLines.toText(viewAt));
            whole.setTextCursor(caret);
            QTest::keyClick(&edit, key, Qt::ControlModifier);
            QTest::keyClick(&whole, key, Qt::ControlModifier);
            EXPECT_NE(view.buffer->text(), view.text);
            EXPECT_EQ(view.buffer->text(), whole.toPlainText());
            EXPECT_EQ(edit.textCaret(), whole.textCursor().position());
            edit.undo();
            ASSERT_EQ(view.buffer->text(), view.text);
        }
    }
}
