#include "NBEEditorHighlighter.h"
#include "NBEBackgroundPool.h"
#include "NBECodeTextEdit.h"
#include "NBELanguageRegistry.h"
#include "NBEPaintRegions.h"
#include "NBEQtPrinters.h"
#include "NBESoftBreaks.h"
#include "NBESyntaxHighlighter.h"
#include "NBETestSupport.h"
#include "NBETokenType.h"

#include <QApplication>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSemaphore>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>
#include <QThreadPool>
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <memory>
#include <sys/resource.h>
#include <unistd.h>

namespace {

// Digit runs are style 1, words in double quotes style 2 (may span lines).
QList<NBEHighlightRun> fakeTokenize(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral("\\d+|\"[^\"]*\""));
    QList<NBEHighlightRun> runs;
    for (auto it = pattern.globalMatch(text); it.hasNext();) {
        const auto match = it.next();
        runs.append({int(match.capturedStart()), int(match.capturedLength()),
                     match.captured().startsWith(u'"') ? 2 : 1});
    }
    return runs;
}

QList<QTextCharFormat> fakeStyles()
{
    QList<QTextCharFormat> styles(3);
    styles[1].setForeground(Qt::blue);
    styles[2].setForeground(Qt::red);
    return styles;
}

// (start, length, colour) of the formats the layout of `block` carries.
QList<std::tuple<int, int, QColor>> formatsOf(const QTextBlock &block)
{
    QList<std::tuple<int, int, QColor>> out;
    for (const QTextLayout::FormatRange &range : block.layout()->formats())
        out.append({range.start, range.length, range.format.foreground().color()});
    return out;
}

// Passes run below the window's priority, so a busy machine starves them.
bool waitForPass(NBEEditorHighlighter &highlighter)
{
    return NBETest::waitForWork([&] { return !highlighter.isBusy(); });
}

// Shows `text` in `view`, 600 by 400, with a highlighter of the fake
// tokenizer and styles.
NBEEditorHighlighter *showHighlighted(NBECodeTextEdit &view, const QString &text)
{
    view.resize(600, 400);
    view.setPlainText(text);
    view.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&view));
    auto *highlighter = new NBEEditorHighlighter(&view);
    highlighter->setStyles(fakeStyles());
    highlighter->setTokenizer(fakeTokenize);
    return highlighter;
}

// A highlighter of `view` whose passes wait until the test lets them go;
// its passes run out before the test ends, so none is left for the next one.
class HeldBack
{
public:
    explicit HeldBack(NBECodeTextEdit &view)
        : highlighter(new NBEEditorHighlighter(&view))
    {
        highlighter->setStyles(fakeStyles());
        highlighter->setTokenizer([released = m_released](const QString &text) {
            while (!*released)
                QThread::msleep(1);
            return fakeTokenize(text);
        });
    }
    ~HeldBack()
    {
        release();
        QThreadPool::globalInstance()->waitForDone();
    }
    void release() { *m_released = true; }

private:
    std::shared_ptr<std::atomic<bool>> m_released = std::make_shared<std::atomic<bool>>(false);

public:
    NBEEditorHighlighter *const highlighter;
};

// 300 lines of 2,000 characters shown and coloured in `view`.
bool showLongLinesColoured(NBECodeTextEdit &view)
{
    const QStringList lines(300, QStringLiteral("1 ").repeated(1000));
    NBEEditorHighlighter *highlighter = showHighlighted(view, lines.join(u'\n'));
    highlighter->highlight(view.text());
    const bool passed = waitForPass(*highlighter);
    QCoreApplication::processEvents();
    return passed;
}

int formattedLines(const NBECodeTextEdit &view)
{
    int count = 0;
    for (QTextBlock block = view.document()->begin(); block.isValid(); block = block.next())
        count += !block.layout()->formats().isEmpty();
    return count;
}

} // namespace

TEST(NBEEditorHighlighter, SplitsRunsIntoLines)
{
    using Lines = std::vector<NBELineRuns>;
    const struct
    {
        const char *name;
        QString text;
        QList<NBEHighlightRun> runs;
        Lines expected;
    } cases[] = {
        {"empty", QString(), {}, Lines{{}}},
        {"one line", QStringLiteral("ab 12"), {{3, 2, 1}}, Lines{{{3, 2, 1}}}},
        {"second line", QStringLiteral("ab\n12"), {{3, 2, 1}}, Lines{{}, {{0, 2, 1}}}},
        {"across lines",
         QStringLiteral("a\"b\nc\nd\"e"),
         {{1, 7, 2}},
         Lines{{{1, 2, 2}}, {{0, 1, 2}}, {{0, 2, 2}}}},
        {"trailing line feed", QStringLiteral("1\n"), {{0, 1, 1}}, Lines{{{0, 1, 1}}, {}}},
        {"past the end dropped", QStringLiteral("12"), {{1, 9, 1}}, Lines{{{1, 1, 1}}}},
        {"unsorted",
         QStringLiteral("1\n2\n3"),
         {{4, 1, 1}, {0, 1, 1}},
         Lines{{{0, 1, 1}}, {}, {{0, 1, 1}}}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(NBEEditorHighlighter::splitIntoLines(c.text, c.runs), c.expected) << c.name;
}

TEST(NBEEditorHighlighter, PackedRunsRoundTripInlineAndOnTheHeap)
{
    NBELineRuns many;
    for (int i = 0; i < 40; ++i)
        many.append({i * 3, 2, i % 13});
    const struct
    {
        const char *name;
        NBELineRuns runs;
    } cases[] = {
        {"none", {}},
        {"one", {{3, 2, 1}}},
        {"adjacent and gapped", {{0, 1, 12}, {1, 4, 0}, {9, 1, 5}}},
        {"far into a long line", {{70000, 200000, 7}, {5000000, 1, 2}}},
        {"too many to keep inline", many},
    };
    for (const auto &c : cases) {
        const NBEPackedRuns packed(c.runs);
        EXPECT_EQ(packed.unpack(), c.runs) << c.name;
        EXPECT_EQ(packed.isEmpty(), c.runs.isEmpty()) << c.name;
        NBEPackedRuns copy = packed;
        EXPECT_EQ(copy, packed) << c.name;
        NBEPackedRuns moved = std::move(copy);
        EXPECT_EQ(moved.unpack(), c.runs) << c.name;
        moved = NBEPackedRuns(many);
        EXPECT_EQ(moved.unpack(), many) << c.name;
        moved = packed;
        EXPECT_EQ(moved.unpack(), c.runs) << c.name;
    }
    EXPECT_FALSE(NBEPackedRuns({{0, 1, 1}}) == NBEPackedRuns({{0, 1, 2}}));
}

TEST(NBEEditorHighlighter, EditInTheMiddleOfALargeDocumentRecoloursTheRightRanges)
{
    QStringList lines;
    for (int i = 0; i < 20000; ++i)
        lines << QStringLiteral("value %1 end").arg(i);
    NBECodeTextEdit view;
    NBEEditorHighlighter *highlighter = showHighlighted(view, lines.join(u'\n'));
    highlighter->highlightWithQuickStart(view.text(), 100);
    ASSERT_TRUE(waitForPass(*highlighter));

    QTextDocument *doc = view.document();
    EXPECT_EQ(formatsOf(doc->findBlockByNumber(0)),
              (QList<std::tuple<int, int, QColor>>{{6, 1, Qt::blue}}));
    // Far off screen: runs known, formats not applied yet.
    EXPECT_EQ(highlighter->lineRuns(15000), (NBELineRuns{{6, 5, 1}}));
    EXPECT_TRUE(formatsOf(doc->findBlockByNumber(15000)).isEmpty());

    // Scroll to the middle and type before the number of line 10000.
    view.verticalScrollBar()->setValue(9990);
    QCoreApplication::processEvents();
    const QTextBlock middle = doc->findBlockByNumber(10000);
    EXPECT_EQ(formatsOf(middle), (QList<std::tuple<int, int, QColor>>{{6, 5, Qt::blue}}));
    QTextCursor cursor(middle);
    cursor.setPosition(middle.position() + 6);
    cursor.insertText(QStringLiteral("\"q\" "));
    // Until the next pass the run moves with the text.
    EXPECT_EQ(formatsOf(doc->findBlockByNumber(10000)),
              (QList<std::tuple<int, int, QColor>>{{10, 5, Qt::blue}}));

    highlighter->highlight(view.text());
    ASSERT_TRUE(waitForPass(*highlighter));
    EXPECT_EQ(formatsOf(doc->findBlockByNumber(10000)),
              (QList<std::tuple<int, int, QColor>>{{6, 3, Qt::red}, {10, 5, Qt::blue}}));
    EXPECT_EQ(formatsOf(doc->findBlockByNumber(10001)),
              (QList<std::tuple<int, int, QColor>>{{6, 5, Qt::blue}}));

    // A new line in the middle shifts the lines below it.
    cursor.setPosition(doc->findBlockByNumber(9999).position());
    cursor.insertText(QStringLiteral("\"open\n"));
    EXPECT_EQ(highlighter->lineCount(), size_t(doc->blockCount()));
    EXPECT_EQ(highlighter->lineRuns(10001), (NBELineRuns{{6, 3, 2}, {10, 5, 1}}));
    // The open quote now runs to the quote on the line below.
    highlighter->highlight(view.text());
    ASSERT_TRUE(waitForPass(*highlighter));
    EXPECT_EQ(formatsOf(doc->findBlockByNumber(9999)),
              (QList<std::tuple<int, int, QColor>>{{0, 5, Qt::red}}));
    EXPECT_EQ(highlighter->lineRuns(10000), (NBELineRuns{{0, 14, 2}}));
    EXPECT_EQ(highlighter->lineRuns(10001), (NBELineRuns{{0, 7, 2}, {10, 5, 1}}));
}

// A script of 40,000 lines with comments and template strings over several
// lines; its whole pass waits until the test lets it go, while passes over
// shorter stretches of it run at once.
class HeldWholePass
{
public:
    explicit HeldWholePass(NBECodeTextEdit &view)
    {
        QString text;
        for (int i = 0; i < 40000; ++i) {
            if (i % 37 == 0)
                text += QStringLiteral("/* note %1\n still \"in\" it 2\n */\n").arg(i);
            else if (i % 23 == 0)
                text += QStringLiteral("const t%1 = `a ${%1}\nb`;\n").arg(i);
            text += QStringLiteral("let v%1 = \"s\" + %1; // n %1\n").arg(i);
        }
        view.resize(600, 400);
        view.setPlainText(text);
        view.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&view));
        highlighter = new NBEEditorHighlighter(&view);
        QList<QTextCharFormat> styles(NBETokenTypes::count);
        for (int style = 0; style < styles.size(); ++style)
            styles[style].setForeground(QColor(10 + style * 12, 0, 0));
        highlighter->setStyles(styles);
        const qsizetype whole = text.size();
        highlighter->setTokenizer([released = m_released, whole](const QString &text) {
            while (text.size() == whole && !*released)
                QThread::msleep(1);
            return NBEEditorHighlighter::tokenizerFor(NBELanguageRegistry::javascript())(text);
        });
    }
    ~HeldWholePass()
    {
        release();
        waitForPass(*highlighter);
    }
    void release() { *m_released = true; }

    NBEEditorHighlighter *highlighter = nullptr;

private:
    std::shared_ptr<std::atomic<bool>> m_released = std::make_shared<std::atomic<bool>>(false);
};

// The runs of the lines on screen, by line; empty when a line on screen that
// holds tokens shows no colours yet.
std::map<int, NBELineRuns> screenColours(const NBECodeTextEdit &view,
                                         const NBEEditorHighlighter &highlighter)
{
    std::map<int, NBELineRuns> colours;
    const int rows = view.viewport()->height() / QFontMetrics(view.font()).lineSpacing();
    QTextBlock block = view.firstVisibleTextBlock();
    for (int row = 0; row < rows && block.isValid(); ++row, block = block.next()) {
        if (block.layout()->formats().isEmpty())
            return {};
        colours[block.blockNumber()] = highlighter.lineRuns(size_t(block.blockNumber()));
    }
    return colours;
}

// A view opened far down a long text, or moved while its whole pass runs,
// shows the lines on screen coloured before that pass ends, as the whole
// pass colours them: near the text's start and far below it.
TEST(NBEEditorHighlighter, TheLinesOnScreenAreColouredBeforeTheWholePass)
{
    NBECodeTextEdit view;
    view.setWordWrap(false);
    HeldWholePass held(view);
    NBEEditorHighlighter *highlighter = held.highlighter;
    view.verticalScrollBar()->setValue(38000);
    QCoreApplication::processEvents();
    highlighter->highlight(view.text());

    std::map<int, NBELineRuns> far;
    ASSERT_TRUE(
        NBETest::waitForWork([&] { return !(far = screenColours(view, *highlighter)).empty(); },
                             std::chrono::seconds(20), std::chrono::seconds(60)));
    EXPECT_GE(far.begin()->first, 38000);
    std::map<int, NBELineRuns> near;
    view.verticalScrollBar()->setValue(3000);
    QCoreApplication::processEvents();
    ASSERT_TRUE(
        NBETest::waitForWork([&] { return !(near = screenColours(view, *highlighter)).empty(); },
                             std::chrono::seconds(20), std::chrono::seconds(60)));
    EXPECT_TRUE(highlighter->isBusy());

    held.release();
    ASSERT_TRUE(waitForPass(*highlighter));
    for (const auto &lines : {far, near}) {
        for (const auto &[line, runs] : lines) {
            EXPECT_FALSE(runs.isEmpty()) << line;
            EXPECT_EQ(highlighter->lineRuns(size_t(line)), runs) << line;
        }
    }
}

// The screen's colours are worked out at the window's priority, whatever
// else the machine runs; whole passes run lowered, below the window.
TEST(NBEEditorHighlighter, ScreenWorkRunsAtTheWindowsPriorityAndPassesBelowIt)
{
    const auto niceness = [] { return ::getpriority(PRIO_PROCESS, ::gettid()); };
    const int window = niceness();
    EXPECT_EQ(NBETest::await(NBEBackgroundPool::runPrompt(niceness)), window);
    EXPECT_EQ(NBETest::await(NBEBackgroundPool::run(niceness)), 10);
}

TEST(NBEEditorHighlighter, StalePassIsDroppedAndColouringAddsNoUndoStep)
{
    NBECodeTextEdit view;
    view.setPlainText(QStringLiteral("a 1\nb 2"));
    HeldBack held(view);
    NBEEditorHighlighter *highlighter = held.highlighter;
    highlighter->highlight(view.text());
    QTextCursor(view.document()).insertText(QStringLiteral("3 ")); // text moves on
    held.release();
    ASSERT_TRUE(waitForPass(*highlighter));
    EXPECT_TRUE(highlighter->lineRuns(0).isEmpty());

    highlighter->highlight(view.text());
    ASSERT_TRUE(waitForPass(*highlighter));
    EXPECT_EQ(highlighter->lineRuns(0), (NBELineRuns{{0, 1, 1}, {4, 1, 1}}));
    EXPECT_EQ(view.document()->availableUndoSteps(), 1);
}

// A pass that comes back after an edit, before the next pass is asked for,
// colours nothing: its lines are those of the text before the edit.
TEST(NBEEditorHighlighter, PassOfATextEditedSinceIsDroppedWhenItComesBack)
{
    NBECodeTextEdit view;
    view.setPlainText(QStringLiteral("a 1\nb 2"));
    HeldBack held(view);
    NBEEditorHighlighter *highlighter = held.highlighter;
    highlighter->highlight(view.text());
    EXPECT_TRUE(highlighter->isBusy());
    QTextCursor(view.document()).insertText(QStringLiteral("\n"));
    EXPECT_FALSE(highlighter->isBusy());
    held.release();
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::processEvents();
    for (size_t line = 0; line < highlighter->lineCount(); ++line)
        EXPECT_TRUE(highlighter->lineRuns(line).isEmpty()) << line;
}

TEST(NBEEditorHighlighter, PassesAfterEditsColourLikeAWholePass)
{
    const NBELanguage language = NBELanguageRegistry::javascript();
    NBECodeTextEdit view;
    view.setPlainText(
        QStringLiteral("/* a\n b */ let s = \"x\";\nf(1); // c\n`t\nu`\n").repeated(400));
    auto *highlighter = new NBEEditorHighlighter(&view);
    highlighter->setStyles(QList<QTextCharFormat>(NBETokenTypes::count));
    highlighter->setLanguage(language);
    highlighter->highlight(view.text());
    ASSERT_TRUE(waitForPass(*highlighter));

    const QString pieces[] = {"\n", "\"", "/*", "*/", "`", "x", "("};
    QRandomGenerator random(7);
    for (int round = 0; round < 12; ++round) {
        // A few edits between passes, some of them far apart.
        for (int i = random.bounded(1, 4); i > 0; --i) {
            QTextCursor cursor(view.document());
            cursor.setPosition(random.bounded(view.document()->characterCount() - 1));
            cursor.movePosition(QTextCursor::NextCharacter, QTextCursor::KeepAnchor,
                                random.bounded(3));
            cursor.insertText(pieces[random.bounded(int(std::size(pieces)))]);
        }
        const QString text = view.text();
        highlighter->highlight(text);
        ASSERT_TRUE(waitForPass(*highlighter));
        QList<NBEHighlightRun> runs;
        for (const NBEToken &token : NBESyntaxHighlighter::tokenize(text, language))
            runs.append(
                {int(token.location), int(token.length), NBETokenTypes::ordinal(token.type)});
        const std::vector<NBELineRuns> expected = NBEEditorHighlighter::splitIntoLines(text, runs);
        ASSERT_EQ(highlighter->lineCount(), expected.size());
        for (size_t line = 0; line < expected.size(); ++line)
            ASSERT_EQ(highlighter->lineRuns(line), expected[line])
                << "round " << round << " line " << line;
    }
}

TEST(NBEEditorHighlighter, ALineTooLongToColourStaysPlain)
{
    NBECodeTextEdit view;
    const QString longLine = QStringLiteral("1 ").repeated(NBESoftBreaks::longestWholeLine / 2 + 1);
    view.setPlainText(QStringLiteral("a 1\n") + longLine + QStringLiteral("\nb 2"));
    auto *highlighter = new NBEEditorHighlighter(&view);
    highlighter->setStyles(fakeStyles());
    highlighter->setTokenizer(fakeTokenize);
    highlighter->highlight(view.text());
    ASSERT_TRUE(waitForPass(*highlighter));
    EXPECT_EQ(highlighter->lineRuns(0), (NBELineRuns{{2, 1, 1}}));
    EXPECT_TRUE(highlighter->lineRuns(1).isEmpty());
    EXPECT_EQ(highlighter->lineRuns(2), (NBELineRuns{{2, 1, 1}}));
    highlighter->rehighlightBlock(view.document()->findBlockByNumber(1));
    EXPECT_TRUE(view.document()->findBlockByNumber(1).layout()->formats().isEmpty());
}

// Lines that wrap to many rows (the pieces of a long line shown split) are
// formatted a screenful at a time: each one formatted is laid out.
TEST(NBEEditorHighlighter, WrappedLinesAreFormattedAScreenfulAtATime)
{
    NBECodeTextEdit view;
    view.setWordWrap(true);
    ASSERT_TRUE(showLongLinesColoured(view));
    const QTextDocument *document = view.document();
    // Each line takes more than a screen's rows of its own.
    ASSERT_GT(view.blockGeometry(document->firstBlock()).height(), view.viewport()->height() / 4);
    EXPECT_FALSE(document->firstBlock().layout()->formats().isEmpty());
    EXPECT_LE(formattedLines(view), 12);

    // Scrolled to the middle: the lines there are coloured, still a few.
    view.verticalScrollBar()->setValue(view.verticalScrollBar()->maximum() / 2);
    QCoreApplication::processEvents();
    EXPECT_FALSE(view.firstVisibleTextBlock().layout()->formats().isEmpty());
    EXPECT_FALSE(view.firstVisibleTextBlock().next().layout()->formats().isEmpty());
    EXPECT_LE(formattedLines(view), 36);
}

// Unwrapped lines of thousands of characters are formatted where they show
// and only a little beyond: each one formatted is laid out whole.
TEST(NBEEditorHighlighter, LongUnwrappedLinesAreFormattedLittleBeyondTheScreen)
{
    NBECodeTextEdit view;
    view.setWordWrap(false);
    ASSERT_TRUE(showLongLinesColoured(view));
    const int rows = view.viewport()->height() / QFontMetrics(view.font()).lineSpacing() + 1;
    EXPECT_GE(formattedLines(view), rows);
    EXPECT_LE(formattedLines(view), rows + 4);
}

// A key or a new colour on a line draws that line again, not the screen;
// formats a line already has are not set again. What shows stays what a
// whole new paint shows, also after edits over several lines.
TEST(NBEEditorHighlighter, AKeyOrANewColourDrawsOnlyItsLineAndTheScreenStaysRight)
{
    const int flashTime = QApplication::cursorFlashTime();
    QApplication::setCursorFlashTime(0);
    NBECodeTextEdit view;
    QStringList lines;
    for (int i = 0; i < 20; ++i)
        lines.append(QStringLiteral("row %1 \"quoted\" %2 end").arg(i).arg(i * 7));
    NBEEditorHighlighter *highlighter = showHighlighted(view, lines.join(u'\n'));
    highlighter->highlight(view.text());
    ASSERT_TRUE(waitForPass(*highlighter));
    QWidget *viewport = view.viewport();
    NBETest::PaintRegions paints(viewport);
    const auto settled = [&] { return paints.settled(); };
    const auto onScreen = [&] { return paints.onScreen(); };
    const auto drawnAnew = [&] { return paints.drawnAnew(); };
    const auto lineRect = [&](int number) {
        return view.blockGeometry(view.document()->findBlockByNumber(number))
            .translated(view.contentOffsetPublic())
            .toAlignedRect();
    };
    const auto onlyLine = [&](const QRegion &painted, int number) {
        const QRect line = lineRect(number).adjusted(-2, -2, 2, 2);
        return !painted.isEmpty() && line.contains(painted.boundingRect());
    };
    QTextCursor cursor(view.document()->findBlockByNumber(4));
    cursor.movePosition(QTextCursor::NextWord);
    view.setTextCursor(cursor);
    settled();

    // Typed before coloured text on the line, which moves its colours.
    QTest::keyClicks(&view, QStringLiteral("xy"));
    EXPECT_TRUE(onlyLine(settled(), 4));
    QTest::keyClick(&view, Qt::Key_Backspace);
    EXPECT_TRUE(onlyLine(settled(), 4));
    QTest::keyClick(&view, Qt::Key_Left);
    QTest::keyClick(&view, Qt::Key_Delete);
    EXPECT_TRUE(onlyLine(settled(), 4));
    EXPECT_EQ(onScreen(), drawnAnew());
    settled();

    // The pass after the edits recolours that line alone.
    highlighter->highlight(view.text());
    ASSERT_TRUE(waitForPass(*highlighter));
    const QRegion recoloured = settled();
    EXPECT_TRUE(recoloured.isEmpty() || onlyLine(recoloured, 4));
    EXPECT_EQ(formatsOf(view.document()->findBlockByNumber(4)),
              (QList<std::tuple<int, int, QColor>>{
                  {4, 1, QColor(Qt::blue)}, {6, 8, QColor(Qt::red)}, {15, 2, QColor(Qt::blue)}}));
    // The same styles again: every line already shows them.
    highlighter->setStyles(fakeStyles());
    EXPECT_TRUE(settled().isEmpty());

    // A selection over three lines replaced, a new line, a line joined.
    cursor.setPosition(view.document()->findBlockByNumber(6).position() + 5);
    cursor.setPosition(view.document()->findBlockByNumber(9).position() + 9,
                       QTextCursor::KeepAnchor);
    view.setTextCursor(cursor);
    QTest::keyClicks(&view, QStringLiteral("y"));
    EXPECT_EQ(onScreen(), drawnAnew());
    QTest::keyClick(&view, Qt::Key_Return);
    EXPECT_EQ(onScreen(), drawnAnew());
    QTest::keyClick(&view, Qt::Key_Backspace);
    QTest::keyClick(&view, Qt::Key_Backspace);
    EXPECT_EQ(onScreen(), drawnAnew());
    highlighter->highlight(view.text());
    ASSERT_TRUE(waitForPass(*highlighter));
    EXPECT_EQ(onScreen(), drawnAnew());
    QApplication::setCursorFlashTime(flashTime);
}

// On a busy machine passes wait for a thread: one that a newer pass made
// stale lets go of its text at once instead of holding it until it runs.
TEST(NBEEditorHighlighter, AWaitingPassLetsGoOfItsTextWhenANewerOneStarts)
{
    NBECodeTextEdit view;
    view.setPlainText(QStringLiteral("let a = 1;\nlet b = 2;\n"));
    auto *highlighter = new NBEEditorHighlighter(&view);
    highlighter->setTokenizer(
        NBEEditorHighlighter::tokenizerFor(NBELanguageRegistry::javascript()));
    // Every thread of the pool (one per core) busy.
    QSemaphore gate;
    QList<QFuture<void>> busy;
    for (int i = 0; i < QThread::idealThreadCount(); ++i)
        busy << NBEBackgroundPool::run([&gate] { gate.acquire(); });

    const QString first = view.toPlainText();
    highlighter->highlight(first);
    EXPECT_FALSE(first.isDetached());
    const QString second = view.toPlainText();
    highlighter->highlight(second);
    EXPECT_TRUE(first.isDetached());
    EXPECT_FALSE(second.isDetached());

    gate.release(int(busy.size()));
    for (QFuture<void> &future : busy)
        future.waitForFinished();
    ASSERT_TRUE(waitForPass(*highlighter));
    EXPECT_TRUE(second.isDetached());
    EXPECT_FALSE(highlighter->lineRuns(0).isEmpty());
}
