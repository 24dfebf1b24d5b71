#include "NBEDiagnosticOverlay.h"
#include "NBECodeTextEdit.h"
#include "NBEDefaultThemes.h"
#include "NBEEditorLook.h"
#include "NBEEditorTestHost.h"
#include "NBELanguageRegistry.h"
#include "NBELongLineDocument.h"
#include "NBELongLineInput.h"
#include "NBEPaintRegions.h"
#include "NBEQtPrinters.h"
#include "NBETextBuffer.h"
#include "NBETextEditorCoordinator.h"
#include "NBETextEditorView.h"

#include <QApplication>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <gtest/gtest.h>

namespace {

using Severity = NBELSPDiagnosticSeverity;

NBELSPDiagnostic diagnostic(qint64 startLine, qint64 startCharacter, qint64 endLine,
                            qint64 endCharacter, Severity severity = Severity::error)
{
    return {startLine, startCharacter, endLine, endCharacter, severity, QStringLiteral("problem")};
}

// A shown text view with an overlay, no wrap unless asked.
struct View
{
    NBECodeTextEdit edit;
    NBEDiagnosticOverlay *overlay;

    explicit View(const QString &text, bool wrap = false, QSize size = QSize(400, 200))
        : overlay(new NBEDiagnosticOverlay(&edit))
    {
        QApplication::setCursorFlashTime(0);
        edit.setEditorFont(NBEEditorLook::font(13));
        edit.setWordWrap(wrap);
        edit.setPlainText(text);
        edit.resize(size);
        edit.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&edit));
    }

    QRectF screen() const { return QRectF(edit.viewport()->rect()); }
    QList<NBEDiagnosticSquiggle> squiggles() const { return overlay->squiggles(screen()); }

    // Where the caret would stand before a 0-based line and character.
    QRect caret(int line, int character) const
    {
        QTextCursor cursor(edit.document()->findBlockByNumber(line));
        cursor.setPosition(cursor.position() + character);
        return edit.cursorRect(cursor);
    }
};

const QString threeLines = QStringLiteral("hello world\nsecond line\nthird");

} // namespace

TEST(NBEDiagnosticOverlay, OffsetsCountUTF16AndClampToTheText)
{
    QTextDocument document(QStringLiteral("ab\n\U0001F600cd\n\nlast"));
    struct Case
    {
        qint64 line, character;
        qsizetype offset;
    } cases[] = {
        {0, 0, 0},
        {0, 2, 2},
        {1, 0, 3},
        {1, 2, 5}, // the emoji is two units
        {1, 4, 7},
        {3, 4, 13},
        {0, 5, 5},   // past its line: runs on into the next
        {3, 99, 13}, // past the text: its length
        {4, 0, 13},
        {1000000, 3, 13},
        {-1, 1, 1}, // lines before the first count as the first
        {2, -5, 8}, // a negative character stays at the line's start
        {0, std::numeric_limits<qint64>::max(), 13},
    };
    for (const Case &c : cases)
        EXPECT_EQ(NBEDiagnosticOverlay::offset(c.line, c.character, &document), c.offset)
            << c.line << ":" << c.character;
}

TEST(NBEDiagnosticOverlay, SquigglePathRisesFirstAlternatesEvery2pxAndEndsAtTheRightEdge)
{
    const QPolygonF path = NBEDiagnosticOverlay::squigglePath(QRectF(10, 0, 7, 14));
    const QPolygonF expected{QPointF(10, 13), QPointF(12, 11.5), QPointF(14, 14.5),
                             QPointF(16, 11.5), QPointF(17, 14.5)};
    EXPECT_EQ(path, expected);
    // No width, nothing but the start point.
    EXPECT_EQ(NBEDiagnosticOverlay::squigglePath(QRectF(4, 2, 0, 10)).size(), 1);
}

TEST(NBEDiagnosticOverlay, ErrorsAreRedEverythingElseOrange)
{
    const QColor red = NBEDiagnosticOverlay::color(Severity::error);
    EXPECT_GT(red.red(), 200);
    EXPECT_LT(red.green(), 100);
    for (Severity severity : {Severity::warning, Severity::information, Severity::hint})
        EXPECT_EQ(NBEDiagnosticOverlay::color(severity), QColor(255, 149, 0));

    View view(threeLines);
    view.overlay->setDiagnostics({diagnostic(0, 0, 0, 5, Severity::hint),
                                  diagnostic(1, 0, 1, 6, Severity::error),
                                  diagnostic(2, 0, 2, 5, Severity::warning)});
    const auto squiggles = view.squiggles();
    ASSERT_EQ(squiggles.size(), 3);
    EXPECT_EQ(squiggles[0].color, QColor(255, 149, 0));
    EXPECT_EQ(squiggles[1].color, red);
    EXPECT_EQ(squiggles[2].color, QColor(255, 149, 0));
}

TEST(NBEDiagnosticOverlay, SquigglesLieUnderTheRangeOnEachLine)
{
    View view(threeLines);
    const qreal space = QFontMetricsF(view.edit.font()).horizontalAdvance(u' ');
    // Expected squiggles as (line, from, to) in caret positions; to < 0 means
    // one space after the caret at `from`.
    struct Segment
    {
        int line, from, to;
    };
    struct Case
    {
        const char *name;
        NBELSPDiagnostic diagnostic;
        QList<Segment> segments;
    } cases[] = {
        {"one line", diagnostic(0, 6, 0, 11), {{0, 6, 11}}},
        {"three lines", diagnostic(0, 6, 2, 3), {{0, 6, 11}, {1, 0, 11}, {2, 0, 3}}},
        {"empty", diagnostic(1, 2, 1, 2), {}},
        {"inverted", diagnostic(1, 5, 1, 2), {}},
        {"inverted across lines", diagnostic(2, 0, 1, 0), {}},
        {"past the last line", diagnostic(10, 0, 12, 4), {}},
        {"end past the text", diagnostic(2, 1, 99, 99), {{2, 1, 5}}},
        {"character runs on into the next line", diagnostic(0, 6, 0, 20), {{0, 6, 11}, {1, 0, 8}}},
        {"only the line break", diagnostic(0, 11, 1, 0), {{0, 11, -1}}},
    };
    for (const Case &c : cases) {
        view.overlay->setDiagnostics({c.diagnostic});
        const auto squiggles = view.squiggles();
        ASSERT_EQ(squiggles.size(), c.segments.size()) << c.name;
        for (qsizetype i = 0; i < squiggles.size(); ++i) {
            const Segment &s = c.segments[i];
            const QRectF rect = squiggles[i].rect;
            const QRect from = view.caret(s.line, s.from);
            EXPECT_NEAR(rect.left(), from.left(), 2) << c.name << " #" << i;
            if (s.to >= 0)
                EXPECT_NEAR(rect.right(), view.caret(s.line, s.to).left(), 2)
                    << c.name << " #" << i;
            else
                EXPECT_DOUBLE_EQ(rect.width(), space) << c.name;
            // Under the line itself: its bottom is the line's bottom.
            EXPECT_NEAR(rect.top(), from.top(), 2) << c.name << " #" << i;
            EXPECT_NEAR(rect.bottom(), from.bottom() + 1, 2) << c.name << " #" << i;
        }
    }
}

TEST(NBEDiagnosticOverlay, AWrappedLineGetsOneSquigglePerVisualLine)
{
    const QString words = QStringLiteral("alpha beta gamma delta epsilon zeta eta theta iota kappa "
                                         "lambda mu nu xi omicron pi rho sigma tau upsilon");
    View view(QStringLiteral("first\n") + words + QStringLiteral("\nlast"), true, QSize(200, 400));
    const QTextLayout *layout = view.edit.document()->findBlockByNumber(1).layout();
    ASSERT_GT(layout->lineCount(), 2);
    view.overlay->setDiagnostics({diagnostic(1, 0, 1, words.size())});
    const auto squiggles = view.squiggles();
    ASSERT_EQ(squiggles.size(), layout->lineCount());
    for (qsizetype i = 1; i < squiggles.size(); ++i)
        EXPECT_GT(squiggles[i].rect.top(), squiggles[i - 1].rect.top());
    // The last visual line ends where the word ends.
    EXPECT_NEAR(squiggles.last().rect.right(), view.caret(1, words.size()).left(), 2);
}

TEST(NBEDiagnosticOverlay, OnlyLinesOnScreenAndInTheDirtyAreaAreDrawn)
{
    QStringList lines;
    for (int i = 0; i < 300; ++i)
        lines << QStringLiteral("line %1 <div>").arg(i);
    View view(lines.join(u'\n'));
    view.overlay->setDiagnostics({diagnostic(1, 0, 1, 4), diagnostic(150, 0, 150, 4),
                                  diagnostic(250, 0, 299, 4, Severity::warning)});
    auto squiggles = view.squiggles();
    ASSERT_EQ(squiggles.size(), 1);
    EXPECT_NEAR(squiggles[0].rect.top(), view.caret(1, 0).top(), 2);

    // A dirty area below line 1 leaves its squiggle alone.
    const QRectF belowLine1(0, view.caret(3, 0).top(), 400, 40);
    EXPECT_TRUE(view.overlay->squiggles(belowLine1).isEmpty());

    // Scrolled so line 150 is on top: its squiggle follows, line 1's is gone.
    view.edit.verticalScrollBar()->setValue(150);
    squiggles = view.squiggles();
    ASSERT_EQ(squiggles.size(), 1);
    EXPECT_NEAR(squiggles[0].rect.top(), view.caret(150, 0).top(), 2);
    EXPECT_NEAR(squiggles[0].rect.top(), 0, 6);

    // Inside a long range every visible line is underlined.
    view.edit.verticalScrollBar()->setValue(260);
    const int visibleLines = int(view.screen().height()) / view.caret(260, 0).height();
    squiggles = view.squiggles();
    EXPECT_GE(squiggles.size(), visibleLines);
    EXPECT_LE(squiggles.size(), visibleLines + 1);

    // Horizontal scrolling moves them too.
    view.edit.verticalScrollBar()->setValue(0);
    view.edit.setPlainText(QString(400, u'x'));
    view.overlay->setDiagnostics({diagnostic(0, 100, 0, 104)});
    QCoreApplication::processEvents();
    view.edit.horizontalScrollBar()->setValue(view.caret(0, 98).left());
    squiggles = view.squiggles();
    ASSERT_EQ(squiggles.size(), 1);
    EXPECT_NEAR(squiggles[0].rect.left(), view.caret(0, 100).left(), 2);
    EXPECT_LT(squiggles[0].rect.left(), 100);
}

TEST(NBEDiagnosticOverlay, ANewListRepaintsTheSameListDoesNot)
{
    View view(threeLines);
    QSignalSpy painted(view.overlay, &NBEDiagnosticOverlay::painted);
    QCoreApplication::processEvents();
    EXPECT_TRUE(painted.isEmpty()); // nothing to draw

    const QList<NBELSPDiagnostic> list{diagnostic(2, 0, 2, 5)};
    view.overlay->setDiagnostics(list);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !painted.isEmpty(); }));
    EXPECT_EQ(painted.last().at(0).value<QList<NBEDiagnosticSquiggle>>(), view.squiggles());

    painted.clear();
    view.overlay->setDiagnostics(list);
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_TRUE(painted.isEmpty());

    // A changed severity is a changed list; an empty list clears the view.
    view.overlay->setDiagnostics({diagnostic(2, 0, 2, 5, Severity::hint)});
    ASSERT_TRUE(QTest::qWaitFor([&] { return !painted.isEmpty(); }));
    view.overlay->setDiagnostics({});
    EXPECT_TRUE(view.squiggles().isEmpty());
}

// A server sends its whole list after every change: only squiggles on
// screen that came, went or moved are drawn again.
TEST(NBEDiagnosticOverlay, ANewListDrawsOnlyTheSquigglesThatChangedOnScreen)
{
    QStringList lines(300, QStringLiteral("some text on a line"));
    View view(lines.join(u'\n'));
    QList<NBELSPDiagnostic> list{diagnostic(0, 0, 0, 4), diagnostic(2, 5, 2, 9),
                                 diagnostic(250, 0, 250, 4)};
    view.overlay->setDiagnostics(list);
    NBETest::PaintRegions paints(view.edit.viewport());
    paints.settled();
    const QList<NBEDiagnosticSquiggle> shown = view.squiggles();
    ASSERT_EQ(shown.size(), 2);

    list[2] = diagnostic(251, 0, 251, 6);
    view.overlay->setDiagnostics(list);
    EXPECT_TRUE(paints.settled().isEmpty());

    // Moved on its line: where it was and where it is now, nothing else.
    list[1] = diagnostic(2, 8, 2, 12);
    view.overlay->setDiagnostics(list);
    const QRegion moved = paints.settled();
    EXPECT_TRUE(moved.contains(shown[1].rect.center().toPoint()));
    EXPECT_TRUE(moved.contains(view.squiggles()[1].rect.center().toPoint()));
    EXPECT_FALSE(moved.contains(shown[0].rect.center().toPoint()));
    EXPECT_LT(moved.boundingRect().height(), 2 * view.caret(0, 0).height());
    {
        const QImage shown = paints.onScreen();
        EXPECT_EQ(shown, paints.drawnAnew());
    }

    // Gone from the list: taken off the screen.
    list.removeAt(0);
    view.overlay->setDiagnostics(list);
    EXPECT_TRUE(paints.settled().contains(shown[0].rect.center().toPoint()));
    {
        const QImage shown = paints.onScreen();
        EXPECT_EQ(shown, paints.drawnAnew());
    }
}

TEST(NBEDiagnosticOverlay, ScrollingPaintsTheSquigglesThatComeIntoView)
{
    QStringList lines;
    for (int i = 0; i < 200; ++i)
        lines << QStringLiteral("line %1").arg(i);
    View view(lines.join(u'\n'));
    view.overlay->setDiagnostics({diagnostic(120, 0, 120, 4)});
    QSignalSpy painted(view.overlay, &NBEDiagnosticOverlay::painted);
    QCoreApplication::processEvents();
    EXPECT_TRUE(painted.isEmpty());

    view.edit.verticalScrollBar()->setValue(116);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !painted.isEmpty(); }));
    const auto drawn = painted.last().at(0).value<QList<NBEDiagnosticSquiggle>>();
    ASSERT_EQ(drawn.size(), 1);
    EXPECT_NEAR(drawn[0].rect.top(), view.caret(120, 0).top(), 2);

    // The pixels are there: red under "line" on line 120.
    const QImage image = view.edit.viewport()->grab().toImage();
    const QRect under = drawn[0].rect.toAlignedRect().adjusted(0, -3, 0, 1);
    int reddish = 0;
    for (int y = under.top(); y <= under.bottom(); ++y)
        for (int x = under.left(); x <= under.right(); ++x) {
            const QColor c =
                image.pixelColor(x * image.devicePixelRatio(), y * image.devicePixelRatio());
            reddish += c.red() > 180 && c.green() < 160 && c.blue() < 160;
        }
    EXPECT_GT(reddish, 3);
}

TEST(NBEDiagnosticOverlay, TheEditorCarriesDiagnosticsInAndTypingRedraws)
{
    QApplication::setCursorFlashTime(0);
    NBEEditorTestHost host(QStringLiteral("<div>\n  <p>text</span>\n</div>\n"));
    host.language = NBELanguageRegistry::html();
    host.diagnostics = {diagnostic(1, 9, 1, 16)};
    NBETextEditorView view(host.session());
    view.resize(500, 300);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    NBEDiagnosticOverlay *overlay = view.coordinator()->diagnosticOverlay();
    ASSERT_NE(overlay, nullptr);
    EXPECT_EQ(overlay->diagnostics(), host.diagnostics);
    EXPECT_TRUE(view.textView()->overlays().contains(overlay));

    host.diagnostics.append(diagnostic(0, 1, 0, 4, Severity::warning));
    host.apply();
    EXPECT_EQ(overlay->diagnostics(), host.diagnostics);

    // Typing on the first line draws the squiggles again against the new
    // layout (the view repaints below the edit; the overlay adds no more).
    QSignalSpy painted(overlay, &NBEDiagnosticOverlay::painted);
    QCoreApplication::processEvents();
    painted.clear();
    QTextCursor cursor(view.textView()->document());
    view.textView()->setTextCursor(cursor);
    QTest::keyClicks(view.textView(), QStringLiteral("x"));
    ASSERT_TRUE(QTest::qWaitFor([&] {
        return !painted.isEmpty() &&
               painted.last().at(0).value<QList<NBEDiagnosticSquiggle>>().size() == 2;
    }));
}

TEST(NBEDiagnosticOverlay, ALargeTextDrawsTheSquigglesOnScreenAndNewListsAtOnce)
{
    QString text;
    const QString line = QStringLiteral("<p>some paragraph text that fills a line</p>\n");
    while (text.size() <= 2 * 1024 * 1024)
        text += line;
    const qint64 lastLine = text.count(u'\n') - 1;
    NBEEditorTestHost host(text);
    host.language = NBELanguageRegistry::html();
    host.diagnostics = {diagnostic(0, 3, 0, 7), diagnostic(0, 10, lastLine, 4),
                        diagnostic(lastLine, 0, lastLine, 3)};
    NBETextEditorView view(host.session());
    view.resize(500, 300);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    NBEDiagnosticOverlay *overlay = view.coordinator()->diagnosticOverlay();
    const QRectF screen(view.textView()->viewport()->rect());
    // Line 0's own squiggle and the long range's first line.
    auto squiggles = overlay->squiggles(screen);
    ASSERT_GE(squiggles.size(), 2);
    EXPECT_EQ(squiggles[0].color, NBEDiagnosticOverlay::color(Severity::error));

    // A new list shows at once.
    host.diagnostics = {diagnostic(1, 0, 1, 2, Severity::hint)};
    host.apply();
    squiggles = overlay->squiggles(screen);
    ASSERT_EQ(squiggles.size(), 1);
    EXPECT_EQ(squiggles[0].color, NBEDiagnosticOverlay::color(Severity::hint));

    view.textView()->moveCursor(QTextCursor::End);
    squiggles = overlay->squiggles(screen);
    EXPECT_TRUE(squiggles.isEmpty());
    host.diagnostics = {diagnostic(lastLine, 0, lastLine, 3)};
    host.apply();
    squiggles = overlay->squiggles(screen);
    ASSERT_EQ(squiggles.size(), 1);
}

// In a view that shows a long line split, a range is placed by the text's
// lines and characters, and one across a split is drawn on both pieces.
TEST(NBEDiagnosticOverlay, InASplitViewSquigglesLieUnderTheTextsRange)
{
    QString script;
    for (int i = 0; script.size() < 30'000; ++i)
        script += QStringLiteral("function f%1(a){return a*%1};").arg(i);
    const auto buffer = NBETextBuffer::make(QStringLiteral("let a;\n") + script);
    NBELongLineDocument longLines(buffer);
    View view(QString(), true);
    view.edit.setDocument(longLines.document());
    const NBELongLineInput input(&view.edit, &longLines);
    // The first split of line 2 (0-based line 1), in the middle of the view.
    const QTextBlock piece = longLines.document()->findBlockByNumber(2);
    ASSERT_TRUE(longLines.continuesLine(piece));
    QTextCursor cursor(piece);
    view.edit.setTextCursor(cursor);
    view.edit.centerCursor();
    const int split = longLines.toText(piece.position()) - 7;
    view.overlay->setDiagnostics({diagnostic(1, split - 3, 1, split + 2)});
    const auto squiggles = view.squiggles();
    ASSERT_EQ(squiggles.size(), 2);
    const auto at = [&](int character) {
        QTextCursor place(longLines.document());
        place.setPosition(longLines.toView(7 + character));
        return view.edit.cursorRect(place);
    };
    // The end of the piece before, and the start of the piece after.
    EXPECT_NEAR(squiggles[0].rect.left(), at(split - 3).left(), 1);
    EXPECT_NEAR(squiggles[0].rect.center().y(), at(split - 3).center().y(), 2);
    EXPECT_NEAR(squiggles[1].rect.left(), view.edit.cursorRect(cursor).left(), 1);
    EXPECT_NEAR(squiggles[1].rect.right(), at(split + 2).left(), 1);
    EXPECT_GT(squiggles[1].rect.top(), squiggles[0].rect.top());
}

// Thousands of diagnostics in no order, scrolled to the middle and to the
// end: only those reaching the lines on screen are drawn, in list order,
// including a range that starts far above and one whose character runs on
// from a line above.
TEST(NBEDiagnosticOverlay, AMixedListPlacesOnlyWhatReachesTheScreen)
{
    QStringList lines;
    for (int i = 0; i < 300; ++i)
        lines << QStringLiteral("row %1 text").arg(i, 3, 10, QLatin1Char('0'));
    View view(lines.join(u'\n'));
    const int width = int(lines[0].size()); // every line, its break is one more
    QList<NBELSPDiagnostic> list{diagnostic(0, 0, 152, 3, Severity::warning)};
    for (int i = 0; i < 3000; ++i)
        list.append(diagnostic((i * 7919) % 140, 0, (i * 7919) % 140, 3));
    list.append(diagnostic(140, 0, 140, 11 * (width + 1) + 2)); // ends on 151, char 2
    list.append(diagnostic(155, 4, 155, 7, Severity::hint));
    list.append(diagnostic(250, 0, 250, 3));
    list.append(diagnostic(299, 4, 400, 0)); // past the text
    list.append(diagnostic(299, 0, 299, width));
    list.append(diagnostic(299, width, 299, width)); // empty, at the end
    list.append(diagnostic(295, 1, 295, 2));
    view.overlay->setDiagnostics(list);

    struct Segment
    {
        int line, from, to;
    };
    const auto expect = [&](const QList<Segment> &segments, const char *where) {
        const auto squiggles = view.squiggles();
        ASSERT_EQ(squiggles.size(), segments.size()) << where;
        for (qsizetype i = 0; i < squiggles.size(); ++i) {
            const Segment &s = segments[i];
            EXPECT_NEAR(squiggles[i].rect.left(), view.caret(s.line, s.from).left(), 2)
                << where << " #" << i;
            EXPECT_NEAR(squiggles[i].rect.right(), view.caret(s.line, s.to).left(), 2)
                << where << " #" << i;
            EXPECT_NEAR(squiggles[i].rect.top(), view.caret(s.line, s.from).top(), 2)
                << where << " #" << i;
        }
    };
    view.edit.verticalScrollBar()->setValue(150);
    ASSERT_LT(view.caret(156, 0).top(), view.screen().height());
    ASSERT_GT(view.caret(170, 0).top(), view.screen().height());
    expect(
        {{150, 0, width}, {151, 0, width}, {152, 0, 3}, {150, 0, width}, {151, 0, 2}, {155, 4, 7}},
        "middle");

    view.edit.verticalScrollBar()->setValue(view.edit.verticalScrollBar()->maximum());
    ASSERT_GT(view.caret(295, 0).top(), 0);
    expect({{299, 4, width}, {299, 0, width}, {295, 1, 2}}, "end");
}
