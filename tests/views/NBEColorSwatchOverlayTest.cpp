#include "NBEColorSwatchOverlay.h"
#include "NBECodeTextEdit.h"
#include "NBEDefaultThemes.h"
#include "NBEEditorTestHost.h"
#include "NBELanguageRegistry.h"
#include "NBEPaintRegions.h"
#include "NBEQtPrinters.h"
#include "NBESoftBreaks.h"
#include "NBESplitView.h"
#include "NBESwatchScheduler.h"
#include "NBETestSupport.h"
#include "NBETextEditorCoordinator.h"
#include "NBETextEditorView.h"

#include <QApplication>
#include <QColorDialog>
#include <QLineEdit>
#include <QMenu>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <numeric>

namespace {

// A shown editor of a buffer the test holds, as the window would.
struct Editor
{
    NBEEditorTestHost host;
    std::unique_ptr<NBETextEditorView> view;

    Editor(const QString &initial, std::optional<NBELanguage> language, double fontSize = 13)
        : host(initial)
    {
        host.language = std::move(language);
        host.settings.fontSize = fontSize;
        host.settings.showLineNumbers = false;
        view = std::make_unique<NBETextEditorView>(host.session());
        view->resize(700, 400);
        view->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(view.get()));
    }

    QString text() const { return host.text(); }

    NBECodeTextEdit *textView() const { return view->textView(); }
    NBETextEditorCoordinator *coordinator() const { return view->coordinator(); }
    NBEColorSwatchOverlay *overlay() const { return coordinator()->swatches()->overlay(); }

    QStringList literals() const
    {
        QStringList result;
        const QString shown = textView()->text();
        for (const NBECSSColorsSwatch &swatch : overlay()->swatches())
            result << shown.mid(swatch.range.location, swatch.range.length);
        return result;
    }

    void select(int from, int to)
    {
        QTextCursor cursor = textView()->textCursor();
        cursor.setPosition(from);
        cursor.setPosition(to, QTextCursor::KeepAnchor);
        textView()->setTextCursor(cursor);
    }

    void type(const QString &keys) { QTest::keyClicks(textView(), keys); }

    // Waits for the scan that follows typing.
    void awaitScan()
    {
        QSignalSpy scanned(coordinator()->swatches(), &NBESwatchScheduler::recomputed);
        ASSERT_TRUE(NBETest::waitUntil([&] { return scanned.count() > 0; }));
    }

    // Waits for the colour pass under way, or the first one: the screen is
    // held against a whole new paint only when no colours are on their way.
    void awaitColours()
    {
        NBEEditorHighlighter *highlighter = coordinator()->highlighter();
        ASSERT_TRUE(NBETest::waitForWork(
            [&] { return highlighter->lineCount() > 0 && !highlighter->isBusy(); }));
    }

    std::optional<NBEColorSwatchOverlay::Box> boxFor(int index) const
    {
        for (const auto &box : overlay()->boxes())
            if (box.index == index)
                return box;
        return std::nullopt;
    }

    void clickSwatch(int index)
    {
        const auto box = boxFor(index);
        ASSERT_TRUE(box);
        QTest::mouseClick(textView()->viewport(), Qt::LeftButton, {}, box->rect.center().toPoint());
    }

    // Sends colours as a drag in the dialog would, then lets the pick land.
    void pick(const QList<QColor> &colors)
    {
        QColorDialog *panel = overlay()->colorPanel();
        ASSERT_TRUE(panel);
        QSignalSpy flushed(overlay(), &NBEColorSwatchOverlay::pickFlushed);
        for (const QColor &color : colors)
            Q_EMIT panel->currentColorChanged(color);
        ASSERT_TRUE(NBETest::waitUntil([&] { return flushed.count() > 0; }));
    }
};

// The swatches the boxes stand for, in their order.
QList<int> swatchesIn(const QList<NBEColorSwatchOverlay::Box> &boxes)
{
    QList<int> swatches;
    for (const auto &box : boxes)
        swatches += box.more.isEmpty() ? QList<int>{box.index} : box.more;
    return swatches;
}

QRect caretBox(NBECodeTextEdit *textView, int position)
{
    QTextCursor cursor(textView->document());
    cursor.setPosition(position);
    return textView->cursorRect(cursor);
}

// Whether a box and its outline, a pen of 1 px around its rect, lie in the
// viewport.
bool insideWithOutline(NBECodeTextEdit *textView, const QRectF &box)
{
    return QRectF(textView->viewport()->rect()).contains(box.adjusted(-0.5, -0.5, 0.5, 0.5));
}

// Lengthens a line by characters before its last two until its last row
// ends too near the right edge for a square.
void fillToTheEdge(NBECodeTextEdit *textView, int line)
{
    const auto room = [&] {
        const QTextBlock block = textView->document()->findBlockByNumber(line);
        const QTextLine last = block.layout()->lineAt(block.layout()->lineCount() - 1);
        return textView->viewport()->width() -
               (textView->blockGeometry(block).translated(textView->contentOffsetPublic()).left() +
                last.cursorToX(last.textStart() + last.textLength()));
    };
    for (int added = 0; room() >= 6 + 12 + 4; ++added) {
        ASSERT_LT(added, 400);
        const QTextBlock block = textView->document()->findBlockByNumber(line);
        QTextCursor cursor(block);
        cursor.setPosition(block.position() + block.length() - 3);
        cursor.insertText(QStringLiteral("x"));
    }
}

} // namespace

TEST(NBEColorSwatchOverlay, AnEditInsideALineDrawsThatLineAloneWithItsSquares)
{
    // Every line holds a literal, so each key moves squares after the caret.
    QStringList lines;
    for (int i = 0; i < 16; ++i)
        lines.append(QStringLiteral("a%1 { color: #%2; }").arg(i).arg(i % 10, 3, 10, QChar(u'0')));
    const int flashTime = QApplication::cursorFlashTime();
    QApplication::setCursorFlashTime(0);
    Editor editor(lines.join(u'\n'), NBELanguageRegistry::css());
    ASSERT_EQ(editor.overlay()->swatches().size(), 16);
    NBECodeTextEdit *view = editor.textView();
    NBETest::PaintRegions paints(view->viewport());
    const auto lineRect = [&](int number) {
        return view->blockGeometry(view->document()->findBlockByNumber(number))
            .translated(view->contentOffsetPublic())
            .toAlignedRect()
            .adjusted(-2, -2, 2, 2);
    };
    const int third = int(view->document()->findBlockByNumber(2).position());
    editor.select(third + 2, third + 2);
    paints.settled();

    editor.type(QStringLiteral("xy"));
    QRegion painted = paints.settled();
    EXPECT_FALSE(painted.isEmpty());
    EXPECT_TRUE(lineRect(2).contains(painted.boundingRect()))
        << painted.boundingRect().top() << " " << painted.boundingRect().bottom();
    QSignalSpy scanned(editor.coordinator()->swatches(), &NBESwatchScheduler::recomputed);
    QTest::keyClick(view, Qt::Key_Backspace);
    painted = paints.settled();
    EXPECT_TRUE(lineRect(2).contains(painted.boundingRect()))
        << painted.boundingRect().top() << " " << painted.boundingRect().bottom();
    // The line's square moved with its end, and nothing else moved.
    ASSERT_TRUE(NBETest::waitUntil([&] { return scanned.count() > 0; }));
    editor.awaitColours();
    {
        const QImage shown = paints.onScreen();
        EXPECT_EQ(shown, paints.drawnAnew());
    }

    // A new line moves every square below it.
    scanned.clear();
    QTest::keyClick(view, Qt::Key_Return);
    paints.settled();
    ASSERT_TRUE(NBETest::waitUntil([&] { return scanned.count() > 0; }));
    editor.awaitColours();
    {
        const QImage shown = paints.onScreen();
        EXPECT_EQ(shown, paints.drawnAnew());
    }
    QApplication::setCursorFlashTime(flashTime);
}

// Which literals a language has is the scan's own table test.
TEST(NBEColorSwatchOverlay, BoxesForTheLiteralsOfCSSAndOfHTMLStyleElements)
{
    const struct
    {
        const char *name;
        std::optional<NBELanguage> language;
        QString text;
        QStringList literals;
    } cases[] = {
        {"css",
         NBELanguageRegistry::css(),
         QStringLiteral("/* red */ a { color: #fff; background: rgb(1, 2, 3) }\n.red { x: 1 }"),
         {QStringLiteral("#fff"), QStringLiteral("rgb(1, 2, 3)")}},
        {"html style elements, not attributes",
         NBELanguageRegistry::html(),
         QStringLiteral("<p style=\"color: red\">#fff</p>\n<style>\n p { color: hsl(120, 50%, "
                        "50%); }\n</style>\n<STYLE media=x>b{border:1px solid blue}</STYLE>"),
         {QStringLiteral("hsl(120, 50%, 50%)"), QStringLiteral("blue")}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Editor editor(c.text, c.language);
        EXPECT_EQ(editor.literals(), c.literals);
        EXPECT_EQ(editor.overlay()->boxes().size(), c.literals.size());
    }
}

// The squares sit in a row after the end of their line: none covers a
// character (".a{color:red}" once read "colo\u2587red").
TEST(NBEColorSwatchOverlay, ASwatchNeverCoversACharacter)
{
    const struct
    {
        QString text;
        double fontSize;
        int boxes;
    } cases[] = {
        {QStringLiteral(".a{color:red}"), 13, 1},
        {QStringLiteral("a {\n  color:   #123456;\n}"), 40, 1},
        {QStringLiteral("a {\n  color:   #123456;\n}"), 3, 1},
        {QStringLiteral("b{border:1px solid red;color:#00f;background:rgb(1,2,3)}"), 13, 3},
        {QStringLiteral(".w{") + QStringLiteral("color:red;").repeated(30) + u'}', 13, 30},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        Editor editor(c.text, NBELanguageRegistry::css(), c.fontSize);
        const auto boxes = editor.overlay()->boxes();
        ASSERT_EQ(swatchesIn(boxes).size(), c.boxes);
        NBECodeTextEdit *view = editor.textView();
        for (int i = 0; i < view->document()->characterCount() - 1; ++i) {
            const QRect from = caretBox(view, i);
            const QRect to = caretBox(view, i + 1);
            if (from.top() != to.top() || c.text[i] == u'\n')
                continue;
            const QRectF glyph(from.center().x(), from.top(), to.center().x() - from.center().x(),
                               from.height());
            for (const auto &box : boxes)
                EXPECT_FALSE(box.rect.intersects(glyph)) << "character " << i;
        }
        for (const auto &box : boxes) {
            EXPECT_GE(box.rect.width(), box.rect.height());
            EXPECT_EQ(box.rect.width() == box.rect.height(), box.more.isEmpty());
            EXPECT_GE(box.rect.height(), 8);
            EXPECT_LE(box.rect.height(), 12);
        }
    }
}

TEST(NBEColorSwatchOverlay, OnlyVisibleLinesGetBoxes)
{
    QStringList lines;
    for (int i = 0; i < 300; ++i)
        lines << QStringLiteral(".c%1 { color: #%2; }").arg(i).arg(i % 10, 6, 10, QLatin1Char('0'));
    Editor editor(lines.join(u'\n'), NBELanguageRegistry::css());
    ASSERT_EQ(editor.overlay()->swatches().size(), 300);
    const auto top = editor.overlay()->boxes();
    ASSERT_FALSE(top.isEmpty());
    EXPECT_LT(top.size(), 100);
    EXPECT_EQ(top.first().index, 0);

    QScrollBar *bar = editor.textView()->verticalScrollBar();
    bar->setValue(bar->maximum());
    const auto bottom = editor.overlay()->boxes();
    ASSERT_FALSE(bottom.isEmpty());
    EXPECT_EQ(bottom.last().index, 299);
    for (const auto &box : bottom)
        EXPECT_TRUE(QRectF(editor.textView()->viewport()->rect()).intersects(box.rect));
}

// The squares are drawn with the text, so a scroll that moves the text's
// pixels moves them too: what is on screen is what a whole new paint draws,
// also for rows whose list box sits under their line.
TEST(NBEColorSwatchOverlay, AScrollLeavesTheSquaresAsAWholePaintDrawsThem)
{
    QStringList lines;
    for (int i = 0; i < 200; ++i) {
        lines << (i % 7 == 3 ? QStringLiteral(".w%1{").arg(i) +
                                   QStringLiteral("color:red;border-color:#0f0;").repeated(12) +
                                   QStringLiteral("x").repeated(i % 40) + u'}'
                             : QStringLiteral(".c%1 { color: #%2; }")
                                   .arg(i)
                                   .arg(i % 10, 6, 10, QLatin1Char('0')));
    }
    const int flashTime = QApplication::cursorFlashTime();
    QApplication::setCursorFlashTime(0);
    Editor editor(lines.join(u'\n'), NBELanguageRegistry::css());
    NBECodeTextEdit *view = editor.textView();
    editor.awaitColours();
    NBETest::PaintRegions paints(view->viewport());
    QScrollBar *bar = view->verticalScrollBar();
    for (const int step : {1, 3, 1, 17, -2, -1, -9}) {
        bar->setValue(bar->value() + step);
        const QImage shown = paints.onScreen();
        EXPECT_EQ(shown, paints.drawnAnew()) << "at " << bar->value();
    }
    QApplication::setCursorFlashTime(flashTime);
}

TEST(NBEColorSwatchOverlay, SwatchesFollowEditsAtOnceAndTheScanAfterwards)
{
    // Each edit of "a { color: #fff; b: red }" and where "#fff" is right
    // after it, before the scan (absent: dropped until the scan).
    const struct
    {
        const char *name;
        int from, to;
        QString typed;
        std::optional<int> hexAt;
        QStringList scanned;
    } cases[] = {
        {"typing before the rule moves it",
         0,
         0,
         QStringLiteral("  "),
         13,
         {QStringLiteral("#fff"), QStringLiteral("red")}},
        {"a space right before it moves it",
         11,
         11,
         QStringLiteral(" "),
         12,
         {QStringLiteral("#fff"), QStringLiteral("red")}},
        {"a digit right after it drops it",
         15,
         15,
         QStringLiteral("f"),
         std::nullopt,
         {QStringLiteral("#ffff"), QStringLiteral("red")}},
        {"an edit inside it drops it",
         12,
         13,
         QStringLiteral("0"),
         std::nullopt,
         {QStringLiteral("#0ff"), QStringLiteral("red")}},
        {"an edit after it keeps it",
         20,
         23,
         QStringLiteral("blue"),
         11,
         {QStringLiteral("#fff"), QStringLiteral("blue")}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Editor editor(QStringLiteral("a { color: #fff; b: red }"), NBELanguageRegistry::css());
        ASSERT_EQ(editor.literals(), (QStringList{QStringLiteral("#fff"), QStringLiteral("red")}));
        const QRectF before = editor.overlay()->boxes().first().rect;

        editor.select(c.from, c.to);
        editor.type(c.typed);
        const auto &swatches = editor.overlay()->swatches();
        const auto hex = std::find_if(swatches.begin(), swatches.end(), [](const auto &swatch) {
            return swatch.color == QColor(Qt::white);
        });
        EXPECT_EQ(hex == swatches.end() ? std::nullopt : std::optional(hex->range.location),
                  c.hexAt);
        // Every square left stands on its own literal's text.
        for (const QString &literal : editor.literals())
            EXPECT_TRUE(literal == QStringLiteral("#fff") || literal == QStringLiteral("red") ||
                        literal == QStringLiteral("blue"))
                << literal.toStdString();
        if (c.hexAt && *c.hexAt != 11) {
            EXPECT_GT(editor.boxFor(0)->rect.left(), before.left());
        }

        editor.awaitScan();
        EXPECT_EQ(editor.literals(), c.scanned);
        EXPECT_EQ(editor.overlay()->swatches(), NBECSSColors::swatches(editor.text()));
    }
}

TEST(NBEColorSwatchOverlay, AnEditAmongManySwatchesKeepsTheRestOnTheirLiterals)
{
    // Each edit of the rule below, and the literals whose squares stay until
    // the scan; every square left must be one a fresh scan would make.
    const QString rule = QStringLiteral("a { color: #fff; b: red; c: #00f; d: blue }");
    const QString all = QStringLiteral("#fff red #00f blue");
    const struct
    {
        const char *name;
        int from, to;
        QString typed; // empty: the selection is deleted
        QString kept;
    } cases[] = {
        {"an edit before them all", 0, 0, QStringLiteral("x "), all},
        {"an edit inside one", 21, 22, QStringLiteral("X"), QStringLiteral("#fff #00f blue")},
        {"an edit after them all", 42, 42, QStringLiteral("  "), all},
        {"a deletion from one literal's end over two more",
         15,
         32,
         {},
         QStringLiteral("#fff blue")},
        {"a deletion from inside one into another", 21, 30, {}, QStringLiteral("#fff blue")},
        {"a letter right after one", 23, 23, QStringLiteral("d"), QStringLiteral("#fff #00f blue")},
        {"a space right before one", 28, 28, QStringLiteral(" "), all},
        {"a letter right before the last", 37, 37, QStringLiteral("x"),
         QStringLiteral("#fff red #00f")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Editor editor(rule, NBELanguageRegistry::css());
        ASSERT_EQ(editor.literals().join(u' '), all);
        editor.select(c.from, c.to);
        if (c.typed.isEmpty())
            QTest::keyClick(editor.textView(), Qt::Key_Delete);
        else
            editor.type(c.typed);
        EXPECT_EQ(editor.literals().join(u' '), c.kept);
        const QList<NBECSSColorsSwatch> fresh = NBECSSColors::swatches(editor.text());
        for (const NBECSSColorsSwatch &swatch : editor.overlay()->swatches())
            EXPECT_TRUE(fresh.contains(swatch)) << swatch.range.location;
    }
}

TEST(NBEColorSwatchOverlay, ClickOnASwatchOpensTheDialogAndOtherClicksReachTheText)
{
    Editor editor(QStringLiteral("a { color: rgba(10, 20, 30, 0.5); }"),
                  NBELanguageRegistry::css());
    editor.select(0, 0);
    const auto box = editor.boxFor(0);
    ASSERT_TRUE(box);

    // Beside the square: the caret moves, no dialog.
    QTest::mouseClick(editor.textView()->viewport(), Qt::LeftButton, {},
                      caretBox(editor.textView(), 20).center());
    EXPECT_EQ(editor.textView()->textCursor().position(), 20);
    EXPECT_EQ(editor.overlay()->colorPanel(), nullptr);

    editor.clickSwatch(0);
    EXPECT_EQ(editor.textView()->textCursor().position(), 20);
    QColorDialog *panel = editor.overlay()->colorPanel();
    ASSERT_TRUE(panel);
    EXPECT_TRUE(panel->isVisible());
    EXPECT_FALSE(panel->isModal());
    EXPECT_TRUE(panel->testOption(QColorDialog::ShowAlphaChannel));
    EXPECT_EQ(panel->currentColor().rgba(), editor.overlay()->swatches()[0].color.rgba());
    EXPECT_EQ(editor.overlay()->activeRange(), (NBETextRange{11, 21}));
    // Opening on the literal's own colour writes nothing; the dialog's own
    // colour changes are picks.
    QCoreApplication::processEvents();
    EXPECT_EQ(editor.text(), QStringLiteral("a { color: rgba(10, 20, 30, 0.5); }"));
    panel->setCurrentColor(QColor(0, 0, 255, 51));
    ASSERT_TRUE(NBETest::waitUntil([&] { return editor.text().contains(QStringLiteral("255")); }));
    EXPECT_EQ(editor.text(), QStringLiteral("a { color: rgba(0, 0, 255, 0.2); }"));
}

TEST(NBEColorSwatchOverlay, APickRewritesTheLiteralInItsNotationAsOneUndoableEdit)
{
    const QColor green(0, 255, 0);
    const QColor halfRed(255, 0, 0, 128);
    const struct
    {
        QString literal;
        QColor picked;
        QString written;
    } cases[] = {
        {QStringLiteral("#fff"), green, QStringLiteral("#00ff00")},
        {QStringLiteral("#ABCDEF"), halfRed, QStringLiteral("#ff000080")},
        {QStringLiteral("rgb(1,2,3)"), green, QStringLiteral("rgb(0, 255, 0)")},
        {QStringLiteral("rgba(1, 2, 3, 0.2)"), halfRed, QStringLiteral("rgba(255, 0, 0, 0.5)")},
        {QStringLiteral("hsl(0, 0%, 0%)"), green, QStringLiteral("hsl(120, 100%, 50%)")},
        {QStringLiteral("HSLA(0, 0%, 0%, 1)"), halfRed, QStringLiteral("hsla(0, 100%, 50%, 0.5)")},
        {QStringLiteral("red"), green, QStringLiteral("#00ff00")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.literal.toStdString());
        const QString original = QStringLiteral("p {\n  color: %1;\n}\n").arg(c.literal);
        Editor editor(original, NBELanguageRegistry::css());
        editor.type(QStringLiteral("x"));
        const QString typed = editor.text();
        ASSERT_EQ(typed, u'x' + original);

        editor.clickSwatch(0);
        editor.pick({QColor(1, 2, 3), QColor(4, 5, 6), c.picked});
        const QString written = u'x' + QStringLiteral("p {\n  color: %1;\n}\n").arg(c.written);
        EXPECT_EQ(editor.text(), written);

        // The same colour again changes nothing; the next pick rewrites what
        // this one wrote.
        editor.pick({c.picked});
        EXPECT_EQ(editor.text(), written);
        editor.pick({QColor(0, 0, 255)});
        EXPECT_EQ(editor.text().count(QStringLiteral("color:")), 1);
        EXPECT_EQ(editor.literals().size(), 1);

        // One undo step per pick (the drag made one), the typing its own.
        editor.textView()->undo();
        EXPECT_EQ(editor.text(), written);
        editor.textView()->undo();
        EXPECT_EQ(editor.text(), typed);
        editor.awaitScan();
        EXPECT_EQ(editor.literals(), QStringList{c.literal});
    }
}

TEST(NBEColorSwatchOverlay, APickAfterTheTextChangedNeverWritesIntoOtherText)
{
    const QString original = QStringLiteral("a { color: #fff; }\nb { color: red; }");
    const QColor green(0, 255, 0);
    const struct
    {
        const char *name;
        std::function<void(Editor &)> change;
        QString after;
    } cases[] = {
        {"typing before the literal carries the pick along",
         [](Editor &e) {
             e.select(0, 0);
             e.type(QStringLiteral("/* x */ "));
         },
         QStringLiteral("/* x */ a { color: #00ff00; }\nb { color: red; }")},
        {"an edit of the literal itself ends the pick",
         [](Editor &e) {
             e.select(13, 14);
             e.type(QStringLiteral("e"));
         },
         QStringLiteral("a { color: #fef; }\nb { color: red; }")},
        {"a shortened text ends the pick",
         [](Editor &e) {
             e.select(4, int(e.text().size()));
             e.type(QStringLiteral("}"));
         },
         QStringLiteral("a { }")},
        {"a text replaced from outside ends the pick",
         [](Editor &e) {
             e.host.setText(QStringLiteral("a { color: #000; }\nb { color: red; }"));
             e.host.apply();
         },
         QStringLiteral("a { color: #000; }\nb { color: red; }")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Editor editor(original, NBELanguageRegistry::css());
        editor.clickSwatch(0);
        c.change(editor);
        editor.pick({green});
        EXPECT_EQ(editor.text(), c.after);
        EXPECT_EQ(editor.textView()->text(), c.after);
    }
}

TEST(NBEColorSwatchOverlay, WritesOutsideTheTextAreIgnoredAndALargeTextIsScannedWhole)
{
    Editor editor(QStringLiteral("a { color: #fff; }"), NBELanguageRegistry::css());
    editor.overlay()->onPick({15, 10}, QStringLiteral("#000"));
    editor.overlay()->onPick({-1, 2}, QStringLiteral("#000"));
    EXPECT_EQ(editor.text(), QStringLiteral("a { color: #fff; }"));

    // A large text is scanned off the main thread, to its end.
    QString big;
    for (int i = 0; big.size() <= 4 * NBESwatchScheduler::backgroundChars; ++i)
        big +=
            QStringLiteral(".c%1 { color: #%2; }\n").arg(i).arg(i % 4096, 3, 16, QLatin1Char('0'));
    Editor large(big, NBELanguageRegistry::css());
    ASSERT_TRUE(NBETest::waitUntil([&] { return !large.overlay()->swatches().isEmpty(); }));
    EXPECT_EQ(large.overlay()->swatches(), NBECSSColors::swatches(big));
}

TEST(NBEColorSwatchOverlay, ABackgroundScanOfAnOlderTextIsDropped)
{
    QString css;
    while (css.size() <= NBESwatchScheduler::backgroundChars)
        css += QStringLiteral("a { color: #abc; border: 1px solid red; }\n");
    Editor editor(css, NBELanguageRegistry::css());
    ASSERT_TRUE(NBETest::waitUntil([&] { return !editor.overlay()->swatches().isEmpty(); }));

    // Two scans start in the background; an edit makes both stale before
    // either can land.
    QList<QList<NBECSSColorsSwatch>> stored;
    QObject::connect(editor.coordinator()->swatches(), &NBESwatchScheduler::recomputed,
                     [&] { stored.append(editor.overlay()->swatches()); });
    editor.host.language = NBELanguageRegistry::javascript();
    editor.host.apply();
    editor.host.language = NBELanguageRegistry::css();
    editor.host.apply();
    QTextCursor(editor.textView()->document()).insertText(QStringLiteral("/**/"));
    ASSERT_TRUE(NBETest::waitUntil([&] { return !stored.isEmpty(); }));
    EXPECT_EQ(stored.first(), NBECSSColors::swatches(editor.text()));
    EXPECT_EQ(stored.first().first().range.location, 15);
}

// Page by page through a stylesheet with a minified rule set on one long
// line (shown split) between ordinary lines: the squares on screen are those
// a scan of every swatch finds there, each after the line or piece that
// holds its literal, in the literals' order.
TEST(NBEColorSwatchOverlay, SquaresOnEveryPageAreThoseAFullScanFinds)
{
    QString css;
    for (int i = 0; i < 60; ++i)
        css += QStringLiteral(".a%1 { color: #%2; }\n").arg(i).arg(i % 10, 6, 10, QLatin1Char('0'));
    for (int i = 0; i < 1200; ++i)
        css += QStringLiteral(".m%1{margin:0 auto;padding:%1px;border:1px solid #%2}")
                   .arg(i)
                   .arg(i % 7, 3, 10, QLatin1Char('0'));
    css += u'\n';
    for (int i = 0; i < 60; ++i)
        css += QStringLiteral(".z%1 { background: rgb(%1, 0, 0); }\n").arg(i);
    Editor editor(css, NBELanguageRegistry::css());
    NBECodeTextEdit *view = editor.textView();
    ASSERT_TRUE(NBETest::waitUntil([&] { return NBETest::longLines(view) != nullptr; }));
    editor.coordinator()->swatches()->recomputeNow();
    const QList<NBECSSColorsSwatch> swatches = editor.overlay()->swatches();
    ASSERT_EQ(swatches.size(), 60 + 1200 + 60);

    const auto fullScan = [&] {
        QList<NBEColorSwatchOverlay::Box> found;
        const NBETextGeometry &geometry = view->textGeometry();
        const QPointF offset = view->contentOffsetPublic();
        const int first = view->firstVisibleTextBlock().blockNumber();
        int row = -1;
        qreal next = 0;
        for (qsizetype i = 0; i < swatches.size(); ++i) {
            const int start = geometry.toView(swatches[i].range.location + 1) - 1;
            const QTextBlock block = view->document()->findBlock(start);
            const QRectF box = view->blockGeometry(block).translated(offset);
            if (block.blockNumber() < first || box.top() > view->viewport()->height())
                continue;
            const QTextLine line = block.layout()->lineAt(block.layout()->lineCount() - 1);
            const qreal side = std::clamp<qreal>(line.height() - 4, 8, 12);
            if (block.blockNumber() != row) {
                row = block.blockNumber();
                next = box.left() + line.cursorToX(line.textStart() + line.textLength()) + 6;
            }
            const qreal middle = box.top() + line.y() + line.height() / 2;
            found.append({QRectF(next, middle - side / 2, side, side), int(i)});
            next += side + 4;
        }
        return found;
    };
    QScrollBar *bar = view->verticalScrollBar();
    int pages = 0;
    for (int value = 0;; value += bar->pageStep()) {
        bar->setValue(value);
        const QList<NBEColorSwatchOverlay::Box> boxes = editor.overlay()->boxes();
        const QList<NBEColorSwatchOverlay::Box> expected = fullScan();
        ASSERT_EQ(swatchesIn(boxes), swatchesIn(expected)) << "page " << pages;
        // Squares that fit stand where the row puts them.
        for (qsizetype i = 0; i < boxes.size() && boxes[i].more.isEmpty(); ++i)
            ASSERT_EQ(boxes[i].rect, expected[i].rect) << "page " << pages;
        ++pages;
        if (value >= bar->maximum())
            break;
    }
    EXPECT_GT(pages, 3);
}

// A minified stylesheet dense with colours (some 66 per piece of a long
// line shown split): every square of a piece on screen lies inside the view,
// those that don't fit in one box whose list opens the colour panel on any
// of them.
TEST(NBEColorSwatchOverlay, EverySwatchOfADensePieceCanBeReached)
{
    QString css;
    for (int i = 0; css.size() < 3 * NBESoftBreaks::longestWholeLine; ++i)
        css += QStringLiteral(".c%1{color:#%2;margin:0}")
                   .arg(i)
                   .arg(i % 4096, 6, 16, QLatin1Char('0'));
    Editor editor(css, NBELanguageRegistry::css());
    NBECodeTextEdit *view = editor.textView();
    ASSERT_TRUE(NBETest::waitUntil([&] { return NBETest::longLines(view) != nullptr; }));
    editor.coordinator()->swatches()->recomputeNow();
    const QList<NBECSSColorsSwatch> swatches = editor.overlay()->swatches();
    const QList<NBEColorSwatchOverlay::Box> boxes = editor.overlay()->boxes();
    ASSERT_FALSE(boxes.isEmpty());
    for (const auto &box : boxes) {
        EXPECT_GE(box.rect.left(), 0);
        EXPECT_LE(box.rect.right(), view->viewport()->width()) << "swatch " << box.index;
    }
    // Every swatch of the pieces on screen, in order, from the first on.
    const QList<int> reached = swatchesIn(boxes);
    ASSERT_GT(reached.size(), 66);
    for (qsizetype i = 0; i < reached.size(); ++i)
        ASSERT_EQ(reached[i], i);
    const auto more = std::find_if(boxes.cbegin(), boxes.cend(),
                                   [](const auto &box) { return !box.more.isEmpty(); });
    ASSERT_NE(more, boxes.cend());

    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, more->rect.center().toPoint());
    QMenu *list = editor.overlay()->moreMenu();
    ASSERT_TRUE(list);
    const QList<QAction *> actions = list->actions();
    ASSERT_EQ(actions.size(), more->more.size());
    const int last = more->more.last();
    const NBETextRange range = swatches[last].range;
    EXPECT_EQ(actions.last()->text(), css.mid(range.location, range.length));
    actions.last()->trigger();
    ASSERT_TRUE(editor.overlay()->colorPanel());
    EXPECT_EQ(editor.overlay()->activeRange(), range);
    EXPECT_EQ(editor.overlay()->colorPanel()->currentColor(), swatches[last].color);
    editor.overlay()->colorPanel()->close();
}

// The colour panel answers the keys of a dialog: a colour typed into its
// hex field is accepted with Return, which closes the panel; Escape closes it.
TEST(NBEColorSwatchOverlay, ReturnInTheHexFieldAcceptsTheColourAndClosesThePanel)
{
    Editor editor(QStringLiteral("a { color: #ffffff; }"), NBELanguageRegistry::css());
    editor.clickSwatch(0);
    QColorDialog *panel = editor.overlay()->colorPanel();
    ASSERT_TRUE(panel);
    ASSERT_TRUE(panel->isVisible());
    QLineEdit *hex = nullptr;
    for (QLineEdit *field : panel->findChildren<QLineEdit *>())
        if (field->text().startsWith(u'#'))
            hex = field;
    ASSERT_TRUE(hex);
    hex->selectAll();
    QTest::keyClicks(hex, QStringLiteral("#00ff00"));
    QTest::keyClick(hex, Qt::Key_Return);
    EXPECT_FALSE(panel->isVisible());
    EXPECT_TRUE(NBETest::waitUntil(
        [&] { return editor.text() == QStringLiteral("a { color: #00ff00; }"); }));

    editor.clickSwatch(0);
    ASSERT_TRUE(panel->isVisible());
    QTest::keyClick(hex, Qt::Key_Escape);
    EXPECT_FALSE(panel->isVisible());
}

// A wrapped line whose last row is full leaves no room after its end even
// for the box that lists its squares: the box still lies inside the view,
// covers no character, and lists every swatch of the line.
TEST(NBEColorSwatchOverlay, ABoxWithNoRoomAfterAFullRowStaysInsideTheView)
{
    const QString literals = QStringLiteral("a{color:red;color:#0f0;background:blue}");
    Editor editor(literals + QStringLiteral("/**/\nb{}"), NBELanguageRegistry::css());
    NBECodeTextEdit *view = editor.textView();
    ASSERT_EQ(editor.overlay()->swatches().size(), 3);
    // Lengthens the comment, which wraps anywhere, until its line's last row
    // ends too near the right edge for a square.
    const auto roomAfterTheLine = [&] {
        const QTextBlock block = view->document()->firstBlock();
        const QTextLine last = block.layout()->lineAt(block.layout()->lineCount() - 1);
        const qreal end =
            view->blockGeometry(block).translated(view->contentOffsetPublic()).left() +
            last.cursorToX(last.textStart() + last.textLength());
        return block.layout()->lineCount() > 1 ? view->viewport()->width() - end : 1000.0;
    };
    for (int added = 0; roomAfterTheLine() >= 6 + 12 + 4; ++added) {
        ASSERT_LT(added, 400);
        QTextCursor cursor(view->document());
        cursor.setPosition(int(literals.size()) + 2);
        cursor.insertText(QStringLiteral("x"));
    }
    const auto boxes = editor.overlay()->boxes();
    EXPECT_EQ(swatchesIn(boxes), (QList<int>{0, 1, 2}));
    for (const auto &box : boxes)
        EXPECT_TRUE(insideWithOutline(view, box.rect))
            << box.rect.left() << " " << box.rect.right();
    for (int i = 0; i < view->document()->characterCount() - 2; ++i) {
        const QRect from = caretBox(view, i);
        const QRect to = caretBox(view, i + 1);
        if (from.top() != to.top() || view->document()->characterAt(i) == QChar::ParagraphSeparator)
            continue;
        const QRectF glyph(from.center().x(), from.top(), to.center().x() - from.center().x(),
                           from.height());
        for (const auto &box : boxes)
            EXPECT_FALSE(box.rect.intersects(glyph)) << "character " << i;
    }
    // Keys that take the box under the line and back leave nothing of it
    // where it was.
    const int flashTime = QApplication::cursorFlashTime();
    QApplication::setCursorFlashTime(0);
    NBETest::PaintRegions paints(view->viewport());
    const int end = view->document()->firstBlock().length() - 3;
    editor.select(end, end);
    for (const auto key : {Qt::Key_Backspace, Qt::Key_Backspace, Qt::Key_X, Qt::Key_X}) {
        QTest::keyClick(view, key);
        // (What was on screen first, then a whole new paint.)
        const QImage shown = paints.onScreen();
        EXPECT_EQ(shown, paints.drawnAnew());
    }
    QApplication::setCursorFlashTime(flashTime);

    // The box opens the list of the line's colours.
    ASSERT_FALSE(boxes.isEmpty());
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, boxes.last().rect.center().toPoint());
    ASSERT_TRUE(editor.overlay()->moreMenu());
    EXPECT_EQ(editor.overlay()->moreMenu()->actions().size(), boxes.last().more.size());
    editor.overlay()->moreMenu()->close();
}

// A line that ends at the right edge between lines that reach it too: its
// "+N" box covers no character of another line, lies in the view with its
// outline, and lists every square of the line.
TEST(NBEColorSwatchOverlay, ABoxWithNoRoomAfterItsLineCoversNoOtherLine)
{
    const QString literals = QStringLiteral("a{color:red;color:#0f0;background:blue}/**/");
    // One word, wrapped anywhere: every row but its last is full.
    const QString wrapped = QString(300, u'y') + u';';
    const struct
    {
        const char *name;
        QString above;
        QString below;
        bool aboveReachesTheEdge;
    } cases[] = {
        {"the next line runs under its end", QStringLiteral("p{}"), wrapped, false},
        {"the lines on both sides reach the edge", wrapped, wrapped, true},
        {"the next line's squares run to the edge", QStringLiteral("p{}"),
         QStringLiteral("i{") + QStringLiteral("c:red;").repeated(9) + u'}', false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Editor editor(c.above + u'\n' + literals + u'\n' + c.below, NBELanguageRegistry::css());
        NBECodeTextEdit *view = editor.textView();
        if (c.aboveReachesTheEdge) {
            ASSERT_NO_FATAL_FAILURE(fillToTheEdge(view, 0));
        }
        ASSERT_NO_FATAL_FAILURE(fillToTheEdge(view, 1));
        editor.coordinator()->swatches()->recomputeNow();
        const auto boxes = editor.overlay()->boxes();
        QList<int> every(editor.overlay()->swatches().size());
        std::iota(every.begin(), every.end(), 0);
        ASSERT_EQ(swatchesIn(boxes), every);
        const QTextBlock own = view->document()->findBlockByNumber(1);
        for (qsizetype i = 0; i < boxes.size(); ++i) {
            EXPECT_TRUE(insideWithOutline(view, boxes[i].rect))
                << boxes[i].rect.left() << " " << boxes[i].rect.top();
            for (qsizetype j = 0; j < i; ++j)
                EXPECT_FALSE(boxes[i].rect.intersects(boxes[j].rect)) << "boxes " << j << " " << i;
        }
        // (The last character of a row too, at the edge.)
        const QFontMetricsF metrics(view->font());
        for (int i = 0; i < view->document()->characterCount() - 1; ++i) {
            const QChar character = view->document()->characterAt(i);
            if (own.contains(i) || character == QChar::ParagraphSeparator)
                continue;
            const QRectF from = caretBox(view, i);
            const QRectF glyph(from.left(), from.top(), metrics.horizontalAdvance(character),
                               from.height());
            for (const auto &box : boxes)
                EXPECT_FALSE(box.rect.intersects(glyph)) << "character " << i;
        }
        const auto more = std::find_if(boxes.cbegin(), boxes.cend(),
                                       [](const auto &box) { return box.more.contains(0); });
        ASSERT_NE(more, boxes.cend());
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, more->rect.center().toPoint());
        ASSERT_TRUE(editor.overlay()->moreMenu());
        EXPECT_EQ(editor.overlay()->moreMenu()->actions().size(), 3);
        editor.overlay()->moreMenu()->close();
    }
}
