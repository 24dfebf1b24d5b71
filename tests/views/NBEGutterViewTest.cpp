#include "NBEGutterView.h"
#include "NBEChangeMarkers.h"
#include "NBECodeTextEdit.h"
#include "NBEDefaultThemes.h"
#include "NBEEditorTestHost.h"
#include "NBEHunkPopoverView.h"
#include "NBEPaintRegions.h"
#include "NBEQtPrinters.h"
#include "NBETestSupport.h"
#include "NBETextEditorCoordinator.h"
#include "NBETextEditorView.h"

#include <QLabel>
#include <QPromise>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <gtest/gtest.h>

namespace {

QString tenLines()
{
    QStringList lines;
    for (int i = 1; i <= 10; ++i)
        lines << QStringLiteral("line %1").arg(i);
    return lines.join(u'\n') + u'\n';
}

struct Editor
{
    NBEEditorTestHost &host;
    NBETextEditorView view;

    explicit Editor(NBEEditorTestHost &h)
        : host(h)
        , view(h.session())
    {
        view.resize(500, 400);
        view.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&view));
    }

    NBETextEditorCoordinator *coordinator() { return view.coordinator(); }
    NBEGutterView *gutter() { return view.textView()->gutter(); }

    // Waits for the next stored comparison.
    void settle()
    {
        QSignalSpy stored(coordinator()->changeMarkers(), &NBEChangeMarkers::recomputed);
        ASSERT_TRUE(stored.wait(20000));
    }

    void typeAt(int line, int column, const QString &keys)
    {
        const QTextBlock block = view.textView()->document()->findBlockByNumber(line - 1);
        QTextCursor cursor(block);
        cursor.setPosition(block.position() + column);
        view.textView()->setTextCursor(cursor);
        const QStringList rows = keys.split(u'\n');
        for (qsizetype i = 0; i < rows.size(); ++i) {
            if (i > 0)
                QTest::keyClick(view.textView(), Qt::Key_Return);
            QTest::keyClicks(view.textView(), rows[i]);
        }
    }

    QRect lineRect(int line)
    {
        for (const auto &[number, box] : gutter()->visibleLineLayout())
            if (number == line)
                return box;
        ADD_FAILURE() << "line " << line << " not visible";
        return {};
    }

    void clickLine(int line)
    {
        QTest::mouseClick(gutter(), Qt::LeftButton, {}, lineRect(line).center());
    }
};

NBELineChanges marks(QSet<int> added, QSet<int> modified, QSet<int> deletedAbove)
{
    return {std::move(added), std::move(modified), std::move(deletedAbove)};
}

} // namespace

TEST(NBEGutterView, MarkersFollowEditsAfterThePauseAndClearAtHEAD)
{
    NBEEditorTestHost host(tenLines());
    host.head = tenLines();
    Editor editor(host);
    editor.settle();
    EXPECT_EQ(editor.gutter()->lineChanges(), NBELineChanges());
    EXPECT_TRUE(editor.coordinator()->changeMarkers()->currentHunks().isEmpty());

    // Only once edits pause do the markers move.
    editor.typeAt(3, 6, QStringLiteral("X"));
    EXPECT_EQ(editor.gutter()->lineChanges(), NBELineChanges());
    editor.settle();
    EXPECT_EQ(editor.gutter()->lineChanges(), marks({}, {3}, {}));

    // A new line below the changed one: green, and part of the same hunk.
    editor.typeAt(3, 7, QStringLiteral("\nnew"));
    editor.settle();
    EXPECT_EQ(editor.gutter()->lineChanges(), marks({4}, {3}, {}));
    ASSERT_EQ(editor.coordinator()->changeMarkers()->currentHunks().size(), 1);
    EXPECT_EQ(editor.coordinator()->changeMarkers()->hunkForLine(4),
              editor.coordinator()->changeMarkers()->currentHunks().first());
    EXPECT_EQ(editor.coordinator()->changeMarkers()->hunkForLine(5), std::nullopt);

    // Back to HEAD, then line 5 deleted: a triangle on the new line 5.
    QString text = tenLines();
    text.remove(QStringLiteral("line 5\n"));
    host.setText(text);
    editor.host.apply();
    editor.settle();
    EXPECT_EQ(editor.gutter()->lineChanges(), marks({}, {}, {5}));
    const auto deletion = editor.coordinator()->changeMarkers()->hunkForLine(5);
    ASSERT_TRUE(deletion);
    EXPECT_EQ(deletion->kind, NBEDiffHunk::Kind::deleted);
    EXPECT_EQ(editor.coordinator()->changeMarkers()->hunkForLine(4), std::nullopt);

    host.setText(tenLines());
    editor.host.apply();
    editor.settle();
    EXPECT_EQ(editor.gutter()->lineChanges(), NBELineChanges());

    // A HEAD text handed in later is compared too.
    host.head = QStringLiteral("line 1\n");
    editor.host.apply();
    editor.settle();
    EXPECT_EQ(editor.gutter()->lineChanges().added.size(), 9);
}

TEST(NBEGutterView, WithoutHEADTextNothingIsMarkedAndClicksOpenNothing)
{
    NBEEditorTestHost host(tenLines());
    Editor editor(host);
    editor.typeAt(2, 0, QStringLiteral("changed "));
    editor.settle();
    EXPECT_EQ(editor.gutter()->lineChanges(), NBELineChanges());
    editor.clickLine(2);
    EXPECT_EQ(editor.gutter()->changePopover(), nullptr);
}

TEST(NBEGutterView, ClickOpensOnePopoverWhoseActionsReachTheHost)
{
    NBEEditorTestHost host(tenLines());
    host.head = tenLines();
    QPromise<bool> answer;
    host.isHunkStaged = [&](const NBEDiffHunk &) { return answer.future(); };
    Editor editor(host);
    editor.typeAt(3, 0, QStringLiteral("X"));
    editor.typeAt(8, 0, QStringLiteral("Y"));
    editor.settle();

    // An unchanged line opens nothing.
    editor.clickLine(1);
    EXPECT_EQ(editor.gutter()->changePopover(), nullptr);

    editor.clickLine(3);
    QPointer<NBEHunkPopoverView> first = editor.gutter()->changePopover();
    ASSERT_TRUE(first);
    EXPECT_TRUE(first->isVisible());
    // Only one per gutter. (A click elsewhere would just close a popup, so
    // the next one is asked for directly.)
    const auto hunk8 = editor.coordinator()->changeMarkers()->hunkForLine(8);
    ASSERT_TRUE(hunk8);
    editor.gutter()->presentPopover(*hunk8, editor.lineRect(8));
    QPointer<NBEHunkPopoverView> replaced = editor.gutter()->changePopover();
    ASSERT_TRUE(replaced);
    EXPECT_NE(replaced, first);
    EXPECT_TRUE(!first || !first->isVisible());
    replaced->close();
    ASSERT_TRUE(NBETest::waitUntil([&] { return !first && !replaced; }));

    editor.clickLine(8);
    QPointer<NBEHunkPopoverView> second = editor.gutter()->changePopover();
    ASSERT_TRUE(second);
    // Staged or not isn't known yet: neither action is offered.
    EXPECT_FALSE(second->isStagedState());
    EXPECT_FALSE(second->stageButton()->isVisible());
    answer.start();
    answer.addResult(true);
    answer.finish();
    ASSERT_TRUE(NBETest::waitUntil([&] { return second->stageButton()->isVisible(); }));
    EXPECT_EQ(second->stageButton()->text(), QStringLiteral("Unstage"));
    second->stageButton()->click();
    second->stageButton()->click();
    ASSERT_EQ(host.unstaged.size(), 1);
    EXPECT_EQ(host.unstaged.first().newStart, 8);
    EXPECT_TRUE(host.staged.isEmpty());
    EXPECT_TRUE(!second || !second->isVisible());

    // Discard from the popover puts the HEAD line back as one undo step.
    editor.clickLine(3);
    ASSERT_TRUE(editor.gutter()->changePopover());
    editor.gutter()->changePopover()->discardButton()->click();
    ASSERT_EQ(host.discarded.size(), 1);
    EXPECT_FALSE(host.text().contains(QStringLiteral("Xline 3")));
    EXPECT_TRUE(host.text().contains(QStringLiteral("Yline 8")));
    EXPECT_EQ(editor.view.window()->focusWidget(), editor.view.textView());
    editor.view.textView()->undo();
    EXPECT_TRUE(host.text().contains(QStringLiteral("Xline 3")));
}

TEST(NBEGutterView, WithoutAStagedQueryStagingIsOffered)
{
    NBEEditorTestHost host(QStringLiteral("a\nb\n"));
    host.head = QStringLiteral("a\n");
    Editor editor(host);
    editor.settle();
    editor.clickLine(2);
    NBEHunkPopoverView *popover = editor.gutter()->changePopover();
    ASSERT_TRUE(popover);
    ASSERT_TRUE(NBETest::waitUntil([&] { return popover->stageButton()->isVisible(); }));
    EXPECT_EQ(popover->stageButton()->text(), QStringLiteral("Stage"));
    popover->stageButton()->click();
    ASSERT_EQ(host.staged.size(), 1);
    EXPECT_EQ(host.staged.first().newLines, QStringList{QStringLiteral("b")});
}

TEST(NBEGutterView, DiscardRestoresHEADAsOneUndoStep)
{
    const struct
    {
        const char *name;
        QString head, buffer;
        int line;
    } cases[] = {
        // Where the text goes back is the discard's own table test; these
        // show the edit reaches the buffer as one undo step.
        {"modified", "a\nb\nc\n", "a\nB\nc\n", 2},
        {"deleted last line, no final line feed", "a\nb\nc", "a\nb", 2},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        NBEEditorTestHost host(c.buffer);
        host.head = c.head;
        Editor editor(host);
        editor.settle();
        const auto hunk = editor.coordinator()->changeMarkers()->hunkForLine(c.line);
        ASSERT_TRUE(hunk);
        const int writes = host.changes;
        editor.coordinator()->changeMarkers()->discardHunk(*hunk);
        EXPECT_EQ(host.text(), c.head);
        EXPECT_GT(host.changes, writes);
        EXPECT_EQ(host.discarded, QList<NBEDiffHunk>{*hunk});
        editor.view.textView()->undo();
        EXPECT_EQ(host.text(), c.buffer);
    }
}

TEST(NBEGutterView, DiscardOfAHunkTheTextHasLeftDoesNothing)
{
    NBEEditorTestHost host(QStringLiteral("a\nB\nc\n"));
    host.head = QStringLiteral("a\nb\nc\n");
    Editor editor(host);
    editor.settle();
    const auto hunk = editor.coordinator()->changeMarkers()->hunkForLine(2);
    ASSERT_TRUE(hunk);
    editor.typeAt(2, 1, QStringLiteral("!"));
    editor.coordinator()->changeMarkers()->discardHunk(*hunk);
    EXPECT_EQ(host.text(), QStringLiteral("a\nB!\nc\n"));
    host.setText(QStringLiteral("a\n"));
    editor.host.apply();
    editor.coordinator()->changeMarkers()->discardHunk(*hunk);
    EXPECT_EQ(host.text(), QStringLiteral("a\n"));
    EXPECT_TRUE(host.discarded.isEmpty());
}

TEST(NBEGutterView, AComparisonOvertakenByAnEditStoresNothing)
{
    NBEEditorTestHost host(tenLines());
    host.head = tenLines();
    Editor editor(host);
    editor.settle();
    QSignalSpy stored(editor.coordinator()->changeMarkers(), &NBEChangeMarkers::recomputed);
    bool edited = false;
    // The edit lands while the first comparison is still off the main thread.
    QObject::connect(editor.coordinator()->changeMarkers(), &NBEChangeMarkers::diffStarted,
                     editor.coordinator(), [&] {
                         if (!std::exchange(edited, true))
                             editor.typeAt(6, 0, QStringLiteral("Z"));
                     });
    editor.typeAt(2, 0, QStringLiteral("X"));
    ASSERT_TRUE(stored.wait(20000));
    EXPECT_EQ(stored.size(), 1);
    EXPECT_EQ(editor.gutter()->lineChanges(), marks({}, {2, 6}, {}));
}

TEST(NBEGutterView, ANewGutterShowsTheMarkersAgain)
{
    NBEEditorTestHost host(
        tenLines().replace(QStringLiteral("line 4"), QStringLiteral("line four")));
    host.head = tenLines();
    Editor editor(host);
    editor.settle();
    const NBELineChanges expected = marks({}, {4}, {});
    ASSERT_EQ(editor.gutter()->lineChanges(), expected);

    host.settings.showLineNumbers = false;
    editor.host.apply();
    EXPECT_EQ(editor.gutter(), nullptr);
    host.settings.showLineNumbers = true;
    editor.host.apply();
    ASSERT_NE(editor.gutter(), nullptr);
    EXPECT_EQ(editor.gutter()->lineChanges(), NBELineChanges());
    editor.settle();
    EXPECT_EQ(editor.gutter()->lineChanges(), expected);

    for (auto change : {std::function<void()>([&] { host.theme = NBEDefaultThemes::dark(); }),
                        std::function<void()>([&] { host.settings.fontSize = 18; })}) {
        QPointer<NBEGutterView> before = editor.gutter();
        change();
        editor.host.apply();
        ASSERT_NE(editor.gutter(), nullptr);
        EXPECT_FALSE(before);
        editor.settle();
        EXPECT_EQ(editor.gutter()->lineChanges(), expected);
    }
}

// A deletion's triangle straddles the top of the line after it: a click on
// its upper half, over the line before, opens the deletion's hunk.
TEST(NBEGutterView, AClickOnADeletionsTriangleOpensItsHunk)
{
    QString text = tenLines();
    text.remove(QStringLiteral("line 5\n"));
    NBEEditorTestHost host(text);
    host.head = tenLines();
    Editor editor(host);
    editor.coordinator()->changeMarkers()->scheduleRecompute();
    editor.settle();
    const auto deletion = editor.coordinator()->changeMarkers()->hunkForLine(5);
    ASSERT_TRUE(deletion);
    const QRect below = editor.lineRect(5);
    QTest::mouseClick(editor.gutter(), Qt::LeftButton, {},
                      QPoint(editor.gutter()->width() - 3, below.top() - 3));
    QPointer<NBEHunkPopoverView> popover = editor.gutter()->changePopover();
    ASSERT_TRUE(popover);
    popover->close();
    ASSERT_TRUE(NBETest::waitUntil([&] { return !popover; }));
    // The line before keeps its own clicks.
    editor.clickLine(3);
    EXPECT_EQ(editor.gutter()->changePopover(), nullptr);
}

TEST(NBEGutterView, OnlyRowsWhoseNumberOrPlaceChangedAreDrawnAgainAndTheScreenStaysRight)
{
    NBECodeTextEdit edit;
    NBEGutterView *gutter = edit.installGutter();
    edit.setPlainText(QStringLiteral("one\ntwo\nthree\nfour"));
    edit.resize(300, 240);
    edit.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&edit));
    QTest::qWait(50);
    NBETest::PaintRegions paints(gutter);
    const auto settled = [&] { return paints.settled(); };
    const auto onScreen = [&] { return paints.onScreen(); };
    const auto drawnAnew = [&] { return paints.drawnAnew(); };
    settled();

    // A recolouring repaints the whole text, not the numbers.
    edit.document()->markContentsDirty(0, edit.document()->characterCount());
    EXPECT_TRUE(settled().isEmpty());

    QTextCursor cursor(edit.document()->findBlockByNumber(2));
    cursor.movePosition(QTextCursor::EndOfBlock);
    edit.setTextCursor(cursor);
    QTest::keyClicks(&edit, QStringLiteral("x"));
    EXPECT_TRUE(settled().isEmpty());

    // A new line adds a row at the bottom; the rows above keep their
    // numbers.
    const QRect first = gutter->visibleLineLayout().first().second;
    QTest::keyClick(&edit, Qt::Key_Return);
    const QRegion added = settled();
    ASSERT_EQ(gutter->visibleLineLayout().size(), 5);
    EXPECT_TRUE(added.contains(gutter->visibleLineLayout().last().second.center()));
    EXPECT_FALSE(added.contains(first.center()));
    const QImage afterReturn = onScreen();
    EXPECT_EQ(afterReturn, drawnAnew());

    // Scrolled, then a line taken away while the scroll is on its way.
    for (int i = 6; i <= 60; ++i)
        edit.appendPlainText(QStringLiteral("line %1").arg(i));
    settled();
    edit.verticalScrollBar()->setValue(7);
    cursor.setPosition(edit.document()->findBlockByNumber(9).position());
    edit.setTextCursor(cursor);
    QTest::keyClick(&edit, Qt::Key_Backspace);
    edit.verticalScrollBar()->setValue(5);
    const QImage afterScroll = onScreen();
    EXPECT_EQ(afterScroll, drawnAnew());
    EXPECT_EQ(gutter->visibleLineLayout().first().first, 6);
}

// A change far into a long line (a minified stylesheet): each side shows the
// place where the lines differ, elided around it, never two equal starts.
TEST(NBEGutterView, ThePopoverOfALongLineShowsWhereItChanged)
{
    QString line;
    while (line.size() < 232120)
        line += QStringLiteral(".rule%1{margin:0}").arg(line.size());
    line.truncate(232120);
    QString changed = line;
    changed.replace(107, 1, QStringLiteral("#"));
    NBEDiffHunk hunk;
    hunk.kind = NBEDiffHunk::Kind::modified;
    hunk.oldLines = {line};
    hunk.newLines = {changed};
    NBEHunkPopoverView popover(hunk, false, {}, {}, {},
                               [] { return QtFuture::makeReadyFuture(false); });
    auto *lines = popover.findChild<QLabel *>(QStringLiteral("hunkLines"));
    ASSERT_TRUE(lines);
    QTextDocument shown;
    shown.setHtml(lines->text());
    const QStringList rows = shown.toPlainText().split(u'\n');
    ASSERT_EQ(rows.size(), 2);
    EXPECT_TRUE(rows[0].contains(line.mid(95, 25))) << rows[0].toStdString();
    EXPECT_TRUE(rows[1].contains(changed.mid(95, 25))) << rows[1].toStdString();
    EXPECT_NE(rows[0].mid(2), rows[1].mid(2));
    EXPECT_LT(rows[1].size(), 120);

    // A short line is shown whole.
    hunk.oldLines = {QStringLiteral("a { color: red; }")};
    hunk.newLines = {QStringLiteral("a { color: blue; }")};
    NBEHunkPopoverView shortOne(hunk, false, {}, {}, {},
                                [] { return QtFuture::makeReadyFuture(false); });
    shown.setHtml(shortOne.findChild<QLabel *>(QStringLiteral("hunkLines"))->text());
    EXPECT_EQ(shown.toPlainText(), QStringLiteral("- a { color: red; }\n+ a { color: blue; }"));
}

// An empty file has one line, numbered 1, where the caret stands; the empty
// line after a final line feed still has none.
TEST(NBEGutterView, AnEmptyTextShowsLineOne)
{
    NBECodeTextEdit edit;
    edit.resize(400, 200);
    edit.setLineNumbersVisible(true);
    edit.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&edit));
    ASSERT_NE(edit.gutter(), nullptr);
    auto layout = edit.gutter()->visibleLineLayout();
    ASSERT_EQ(layout.size(), 1);
    EXPECT_EQ(layout.first().first, 1);

    edit.setPlainText(QStringLiteral("a\n"));
    layout = edit.gutter()->visibleLineLayout();
    ASSERT_EQ(layout.size(), 1);
    EXPECT_EQ(layout.first().first, 1);
}
