#include "NBELongLineDocument.h"
#include "NBECodeSamples.h"
#include "NBESoftBreaks.h"
#include "NBETextBuffer.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <gtest/gtest.h>

#include <random>

namespace {

using NBECodeSamples::minifiedScript;

// The view's text as the text: the separators it added taken out.
QString unsplit(const NBELongLineDocument &longLines)
{
    QString text;
    for (QTextBlock block = longLines.document()->begin(); block.isValid(); block = block.next()) {
        if (block != longLines.document()->begin() && !longLines.continuesLine(block))
            text += u'\n';
        text += block.text();
    }
    return text;
}

// The view's raw text and where it added separators.
struct Shown
{
    QString raw;
    QList<int> splits;
};

Shown shown(const NBELongLineDocument &longLines)
{
    Shown result{longLines.document()->toRawText(), {}};
    for (QTextBlock block = longLines.document()->begin(); block.isValid(); block = block.next())
        if (longLines.continuesLine(block))
            result.splits.append(block.position() - 1);
    return result;
}

// One edit of the view, as a model: splits inside the edited range go, the
// ones after it move, every line break typed is the text's.
void model(Shown &view, int from, int to, const QString &typed)
{
    QString inserted = typed;
    inserted.replace(u'\n', QChar::ParagraphSeparator);
    view.raw.replace(from, to - from, inserted);
    QList<int> splits;
    for (const int at : std::as_const(view.splits)) {
        if (at < from)
            splits.append(at);
        else if (at >= to)
            splits.append(at + int(inserted.size()) - (to - from));
    }
    view.splits = splits;
}

QString textOf(Shown view)
{
    for (auto it = view.splits.crbegin(); it != view.splits.crend(); ++it)
        view.raw.remove(*it, 1);
    view.raw.replace(QChar::ParagraphSeparator, u'\n');
    return view.raw;
}

// Where two texts part, for a readable failure.
std::string difference(const QString &actual, const QString &expected)
{
    qsizetype at = 0;
    while (at < actual.size() && at < expected.size() && actual[at] == expected[at])
        ++at;
    const auto around = [at](const QString &text) {
        return text.mid(std::max<qsizetype>(0, at - 20), 40).toStdString();
    };
    return "lengths " + std::to_string(actual.size()) + "/" + std::to_string(expected.size()) +
           ", apart at " + std::to_string(at) + ": \"" + around(actual) + "\" vs \"" +
           around(expected) + "\"";
}

void expectConsistent(const NBELongLineDocument &longLines, const char *when, int step)
{
    const QTextDocument *document = longLines.document();
    const QString text = longLines.buffer()->text();
    ASSERT_TRUE(unsplit(longLines) == text)
        << when << " step " << step << ": " << difference(unsplit(longLines), text);
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        ASSERT_LE(block.length() - 1, NBESoftBreaks::longestPiece) << when << " step " << step;
        // A block continues its line exactly where the mapping knows a split.
        const int at = block.position();
        const bool split = at > 0 && longLines.toText(at) == longLines.toText(at - 1);
        ASSERT_EQ(longLines.continuesLine(block), split) << when << " step " << step;
        if (split) {
            ASSERT_EQ(longLines.toView(longLines.toText(at)), at - 1) << when << " step " << step;
        }
    }
}

} // namespace

TEST(NBELongLineDocument, ShowsLongLinesSplitAndNumbersThemByTheText)
{
    const QString text =
        QStringLiteral("// header\n") + minifiedScript(50'000) + QStringLiteral("\nend\n");
    const auto buffer = NBETextBuffer::make(text);
    NBELongLineDocument longLines(buffer);
    const QTextDocument *document = longLines.document();
    EXPECT_GT(document->blockCount(), 20);
    expectConsistent(longLines, "open", 0);
    EXPECT_EQ(longLines.lineCount(), 4);
    EXPECT_EQ(longLines.lineNumber(document->firstBlock()), 1);
    EXPECT_EQ(longLines.lineNumber(document->findBlockByNumber(5)), 2);
    EXPECT_EQ(longLines.lineNumber(document->lastBlock().previous()), 3);
    EXPECT_EQ(longLines.textBetween(0, document->characterCount() - 1), text);
    // Showing it changed nothing in the buffer.
    EXPECT_FALSE(buffer->isDirty());
    EXPECT_EQ(buffer->revision(), 0u);
}

// Random edits of the view, alone or several in one change (as a replace-all
// makes them, each within a line): the buffer ends up with what a model of
// the view says, and the view keeps showing the buffer.
TEST(NBELongLineDocument, EditsOfTheViewReachTheBufferWithoutTheSplits)
{
    const auto buffer = NBETextBuffer::make(QStringLiteral("ab\n") + minifiedScript(30'000) +
                                            QStringLiteral("\ncd"));
    NBELongLineDocument longLines(buffer);
    QTextDocument *document = longLines.document();
    std::mt19937 random(7);
    const auto below = [&](int bound) {
        return bound <= 0 ? 0 : int(random() % unsigned(bound + 1));
    };
    const QString pieces[] = {QStringLiteral("x"),    QStringLiteral(";"), QStringLiteral("\n"),
                              QStringLiteral("a\nb"), QString(),           QString(4500, u'q')};
    for (int step = 0; step < 300; ++step) {
        Shown view = shown(longLines);
        const int edits = step % 5 == 0 ? 3 : 1;
        QTextCursor group(document);
        group.beginEditBlock();
        // From the end, so each edit's offsets hold in the model too.
        int limit = int(view.raw.size());
        for (int e = 0; e < edits; ++e) {
            const int from = below(limit);
            int to = std::min(limit, from + (random() % 3 == 0 ? below(6000) : below(3)));
            // Edits made together (a replace-all) keep to one line each.
            if (edits > 1) {
                const QTextBlock block = document->findBlock(from);
                to = std::min(to, block.position() + block.length() - 1);
            }
            const QString &typed = pieces[random() % std::size(pieces)];
            QTextCursor cursor(document);
            cursor.setPosition(from);
            cursor.setPosition(to, QTextCursor::KeepAnchor);
            cursor.insertText(typed);
            model(view, from, to, typed);
            limit = from;
        }
        group.endEditBlock();
        ASSERT_TRUE(buffer->text() == textOf(view))
            << "step " << step << ": " << difference(buffer->text(), textOf(view));
        QCoreApplication::processEvents();
        expectConsistent(longLines, "after an edit of the view", step);
    }
}

TEST(NBELongLineDocument, ChangesOfTheBufferAndItsUndoComeBackToTheView)
{
    const QString original = minifiedScript(30'000) + QStringLiteral("\nlast");
    const auto buffer = NBETextBuffer::make(original);
    NBELongLineDocument longLines(buffer);
    std::mt19937 random(11);

    // Typing in the view undoes in the buffer, and the caret goes where the
    // undone change was.
    QTextCursor typing(longLines.document());
    const int at = longLines.toView(5000);
    typing.setPosition(at);
    typing.insertText(QStringLiteral("zz"));
    EXPECT_EQ(buffer->text(), QString(original).insert(5000, QStringLiteral("zz")));
    EXPECT_EQ(longLines.undo(), std::optional<int>(at));
    EXPECT_EQ(buffer->text(), original);
    expectConsistent(longLines, "undo", 0);
    EXPECT_TRUE(longLines.redo().has_value());
    EXPECT_EQ(buffer->text(), QString(original).insert(5000, QStringLiteral("zz")));
    expectConsistent(longLines, "redo", 0);

    for (int step = 0; step < 100; ++step) {
        QTextCursor cursor(buffer->document());
        const int length = int(buffer->length());
        const int from = int(random() % unsigned(length + 1));
        const int to = std::min(length, from + int(random() % 5000));
        cursor.setPosition(from);
        cursor.setPosition(to, QTextCursor::KeepAnchor);
        cursor.insertText(step % 2 ? QStringLiteral("k\n") : QString(5000, u'w'));
        expectConsistent(longLines, "after an edit of the buffer", step);
    }
    // A reload replaces the whole text.
    buffer->replaceAll(original, true);
    expectConsistent(longLines, "reload", 0);
    EXPECT_EQ(unsplit(longLines), original);
}

// Colours found in the text land on the same characters of the split view,
// tokens right after a split included (the pieces end after punctuation).
TEST(NBELongLineDocument, ColoursOfTheTextLandOnTheSameCharactersShown)
{
    const QString text =
        QStringLiteral("let n = 1;\n") + minifiedScript(20'000) + QStringLiteral("\n42");
    const auto buffer = NBETextBuffer::make(text);
    NBELongLineDocument longLines(buffer);
    const auto digits = [](const QString &source) {
        static const QRegularExpression pattern(QStringLiteral("\\d+|function"));
        QList<NBEHighlightRun> runs;
        for (auto it = pattern.globalMatch(source); it.hasNext();) {
            const auto match = it.next();
            runs.append({int(match.capturedStart()), int(match.capturedLength()), 1});
        }
        return runs;
    };
    const QString shown = NBETextBuffer::wholeText(longLines.document());
    ASSERT_EQ(longLines.shownText()(text), shown);
    const QList<NBEHighlightRun> expected = digits(text);
    const QList<NBEHighlightRun> runs = longLines.shownTokenizer(digits)(text);
    ASSERT_EQ(runs.size(), expected.size());
    for (qsizetype i = 0; i < runs.size(); ++i)
        ASSERT_EQ(shown.mid(runs[i].start, runs[i].length),
                  text.mid(expected[i].start, expected[i].length))
            << i;
}

// Typing on, or deleting on, is one undo step, as in a text view; a save or
// a change elsewhere starts the next one.
TEST(NBELongLineDocument, TypingOnAndDeletingOnAreOneUndoStepEach)
{
    const QString original = minifiedScript(10'000);
    const auto buffer = NBETextBuffer::make(original);
    NBELongLineDocument longLines(buffer);
    QTextCursor cursor(longLines.document());
    cursor.setPosition(longLines.toView(100));
    for (const QChar c : QStringLiteral("abc"))
        cursor.insertText(QString(c));
    for (int i = 0; i < 2; ++i)
        cursor.deletePreviousChar();
    EXPECT_EQ(buffer->text(), QString(original).insert(100, u'a'));
    longLines.undo();
    EXPECT_EQ(buffer->text(), QString(original).insert(100, QStringLiteral("abc")));
    longLines.undo();
    EXPECT_EQ(buffer->text(), original);

    cursor.setPosition(longLines.toView(200));
    cursor.insertText(QStringLiteral("x"));
    buffer->markSaved(buffer->revision());
    cursor.insertText(QStringLiteral("y"));
    longLines.undo();
    EXPECT_EQ(buffer->text(), QString(original).insert(200, u'x'));
}

// Edits of the view and of the buffer of every size, whole replacements and
// undo and redo, interleaved: after each, the view shows the buffer's text,
// and an edit of the view lands where the mapping says.
TEST(NBELongLineDocument, EveryChangeLeavesTheViewAndItsMappingOnTheText)
{
    const QString original =
        QStringLiteral("<p>\n") + minifiedScript(40'000) + QStringLiteral("\nend");
    const auto buffer = NBETextBuffer::make(original);
    NBELongLineDocument longLines(buffer);
    std::mt19937 random(42);
    const auto upTo = [&](int bound) {
        return bound <= 0 ? 0 : int(random() % unsigned(bound + 1));
    };
    const auto replaced = [](QString text, int from, int to, const QString &with) {
        return text.replace(from, to - from, with);
    };
    for (int step = 0; step < 160; ++step) {
        const QString before = buffer->text();
        const int length = int(before.size());
        const int kind = int(random() % 8);
        if (kind <= 2) {
            // Typing, deleting or pasting in the view.
            const int viewLength = longLines.document()->characterCount() - 1;
            const int a = upTo(viewLength);
            const int b = std::min(viewLength, a + (kind == 2 ? upTo(9000) : upTo(2)));
            const QString typed = kind == 1 ? QStringLiteral("x\ny") : QStringLiteral("q");
            QTextCursor cursor(longLines.document());
            cursor.setPosition(a);
            cursor.setPosition(b, QTextCursor::KeepAnchor);
            const int from = longLines.toText(a);
            const int to = longLines.toText(b);
            cursor.insertText(typed);
            ASSERT_TRUE(buffer->text() == replaced(before, from, to, typed))
                << "step " << step << ": "
                << difference(buffer->text(), replaced(before, from, to, typed));
            QCoreApplication::processEvents();
        } else if (kind <= 4) {
            // A change of the buffer, small or over 256 K units.
            const bool large = kind == 4 && step % 3 == 0;
            const int from = upTo(length);
            const int to = std::min(length, from + (large ? upTo(300'000) : upTo(50)));
            const QString with = large ? minifiedScript(270'000) : QStringLiteral("w\n");
            QTextCursor cursor(buffer->document());
            cursor.setPosition(from);
            cursor.setPosition(to, QTextCursor::KeepAnchor);
            cursor.insertText(with);
        } else if (kind == 5) {
            // A reload with another text (of any size).
            buffer->replaceAll(step % 2 ? minifiedScript(upTo(400'000)) + QStringLiteral("\nz")
                                        : before.left(upTo(length)),
                               true);
        } else {
            const std::optional<int> end = kind == 6 ? longLines.undo() : longLines.redo();
            if (end) {
                ASSERT_LE(*end, longLines.document()->characterCount() - 1) << "step " << step;
            }
        }
        ASSERT_NO_FATAL_FAILURE(expectConsistent(longLines, "interleaved", step));
    }
}
