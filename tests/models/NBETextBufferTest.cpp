#include "NBETextBuffer.h"
#include "NBEMemory.h"
#include "NBETestSupport.h"

#include <QAbstractTextDocumentLayout>
#include <QElapsedTimer>
#include <QList>
#include <QRandomGenerator>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>
#include <gtest/gtest.h>

#include <functional>
#include <optional>

namespace {

// Where a language server puts a (line, character) position: past the last
// line is the end of the text, past a line's end is that end.
qsizetype offsetAt(const QString &text, int line, int character)
{
    qsizetype start = 0;
    for (int i = 0; i < line; ++i) {
        const qsizetype lineFeed = text.indexOf(QLatin1Char('\n'), start);
        if (lineFeed < 0)
            return text.size();
        start = lineFeed + 1;
    }
    qsizetype end = text.indexOf(QLatin1Char('\n'), start);
    if (end < 0)
        end = text.size();
    return std::min(start + qsizetype(character), end);
}

// Two copies that follow a buffer only through its announced changes: one
// by offsets, one by ranges as a server applies them.
struct Follower
{
    QString byOffset;
    QString byRange;
    int changes = 0;

    explicit Follower(NBETextBuffer &buffer)
        : byOffset(buffer.text())
        , byRange(buffer.text())
    {
        QObject::connect(&buffer, &NBETextBuffer::changed, [this](const NBETextChange &change) {
            ++changes;
            byOffset.replace(change.position, change.removed, change.inserted);
            const qsizetype from = offsetAt(byRange, change.startLine, change.startCharacter);
            const qsizetype to = offsetAt(byRange, change.endLine, change.endCharacter);
            byRange.replace(from, to - from, change.rangeText);
        });
    }
};

QString randomText(QRandomGenerator &random, int maxLength)
{
    static const QString alphabet = QStringLiteral("ab c\n\n{}é\u00a0😀");
    QString text;
    const int length = int(random.bounded(maxLength + 1));
    while (text.size() < length) {
        const QChar c = alphabet.at(random.bounded(int(alphabet.size())));
        // Keep surrogate pairs whole.
        if (c.isHighSurrogate()) {
            text += QStringLiteral("😀");
        } else if (!c.isLowSurrogate()) {
            text += c;
        }
    }
    return text;
}

// Random edits of every kind, made on the document as an editor makes them;
// after each one both followers hold exactly the buffer's text.
TEST(NBETextBuffer, EveryEditReachesFollowersAsTheSameText)
{
    for (quint32 seed = 1; seed <= 40; ++seed) {
        QRandomGenerator random(seed);
        NBETextBuffer buffer(randomText(random, 200));
        Follower follower(buffer);
        QTextDocument *document = buffer.document();
        for (int step = 0; step < 60; ++step) {
            const int length = int(buffer.length());
            const int kind = int(random.bounded(8));
            QTextCursor cursor(document);
            const int a = int(random.bounded(length + 1));
            const int b = int(random.bounded(length + 1));
            cursor.setPosition(std::min(a, b));
            // Never between the halves of a surrogate pair.
            if (document->characterAt(cursor.position()).isLowSurrogate())
                cursor.movePosition(QTextCursor::NextCharacter);
            switch (kind) {
            case 0: // typing one character
                cursor.insertText(QStringLiteral("x"));
                break;
            case 1: // a line break
                cursor.insertBlock();
                break;
            case 2: // backspace
                cursor.deletePreviousChar();
                break;
            case 3: // a selection, possibly over lines, replaced by a paste
            case 4:
                cursor.setPosition(std::max(a, b), QTextCursor::KeepAnchor);
                cursor.insertText(randomText(random, 30));
                break;
            case 5: // undo and redo
                if (random.bounded(2))
                    document->undo();
                else
                    document->redo();
                break;
            case 6: // a paste of several lines in one edit block
                cursor.beginEditBlock();
                cursor.insertText(randomText(random, 20));
                cursor.insertText(QStringLiteral("\nline\n"));
                cursor.endEditBlock();
                break;
            case 7: // a replacement from outside the editor
                if (random.bounded(6) == 0)
                    buffer.replaceAll(randomText(random, 120));
                break;
            }
            ASSERT_EQ(follower.byOffset, buffer.text()) << "seed " << seed << " step " << step;
            ASSERT_EQ(follower.byRange, buffer.text()) << "seed " << seed << " step " << step;
            ASSERT_EQ(buffer.length(), buffer.text().size());
        }
    }
}

TEST(NBETextBuffer, FormatsAndLayoutChangesAreNoEdits)
{
    NBETextBuffer buffer(QStringLiteral("one\ntwo\n"));
    Follower follower(buffer);
    const quint64 revision = buffer.revision();
    QTextCursor cursor(buffer.document());
    cursor.select(QTextCursor::Document);
    QTextCharFormat bold;
    bold.setFontWeight(QFont::Bold);
    buffer.withoutReporting([&] { cursor.mergeCharFormat(bold); });
    EXPECT_EQ(follower.changes, 0);
    EXPECT_EQ(buffer.revision(), revision);
    buffer.replaceAll(QStringLiteral("one\ntwo\n"));
    EXPECT_EQ(follower.changes, 0) << "the same text replaces nothing";
}

TEST(NBETextBuffer, SavedStateFollowsUndoAndWrites)
{
    NBETextBuffer buffer(QStringLiteral("saved"));
    QList<bool> announced;
    QObject::connect(&buffer, &NBETextBuffer::dirtyChanged,
                     [&](bool dirty) { announced.append(dirty); });
    QTextCursor cursor(buffer.document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(QStringLiteral("!"));
    EXPECT_TRUE(buffer.isDirty());
    buffer.document()->undo();
    EXPECT_FALSE(buffer.isDirty());
    EXPECT_EQ(announced, (QList<bool>{true, false}));

    // A write of an older revision leaves the edits made since unsaved.
    cursor.insertText(QStringLiteral("1"));
    const quint64 written = buffer.revision();
    cursor.insertText(QStringLiteral("2"));
    buffer.markSaved(written);
    EXPECT_TRUE(buffer.isDirty());
    buffer.markSaved(buffer.revision());
    EXPECT_FALSE(buffer.isDirty());

    // A reload from disk is clean and can't be undone.
    buffer.replaceAll(QStringLiteral("from disk"), true);
    EXPECT_FALSE(buffer.isDirty());
    EXPECT_FALSE(buffer.document()->isUndoAvailable());
    EXPECT_EQ(buffer.text(), QStringLiteral("from disk"));
}

// Readers of one revision share one copy of the text; the next edit makes a
// new one and lets the old one go.
TEST(NBETextBuffer, ReadersOfOneRevisionShareOneText)
{
    NBETextBuffer buffer(QStringLiteral("one\ntwo"));
    const QString first = buffer.snapshot();
    const QString second = buffer.snapshot();
    EXPECT_EQ(first, QStringLiteral("one\ntwo"));
    EXPECT_EQ(first.constData(), second.constData());

    QTextCursor cursor(buffer.document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(QStringLiteral("\nthree"));
    const QString third = buffer.snapshot();
    EXPECT_EQ(third, QStringLiteral("one\ntwo\nthree"));
    EXPECT_NE(third.constData(), first.constData());
    EXPECT_EQ(first, QStringLiteral("one\ntwo"));
    buffer.replaceAll(QStringLiteral("new"));
    EXPECT_EQ(buffer.snapshot(), buffer.text());
}

} // namespace

// A copy of the text a reader holds serves the snapshot of its own revision
// without a read; of another revision, or a made-from text that the
// document reads back otherwise, it is left alone.
TEST(NBETextBuffer, ASharedTextServesOnlyItsOwnRevision)
{
    const struct
    {
        const char *name;
        QString made;
        bool edited;
        bool taken;
    } rows[] = {
        {"the text made from", QStringLiteral("one\ntwo"), false, true},
        {"made from, read back otherwise", QStringLiteral("one\rtwo"), false, false},
        {"an older revision", QStringLiteral("one\ntwo"), true, false},
    };
    for (const auto &row : rows) {
        NBETextBuffer buffer(row.made);
        if (row.edited)
            QTextCursor(buffer.document()).insertText(QStringLiteral("x"));
        buffer.shareSnapshot(row.made, 0);
        const quint64 reads = NBETextBuffer::wholeTextReads();
        const QString snapshot = buffer.snapshot();
        EXPECT_EQ(NBETextBuffer::wholeTextReads() == reads, row.taken) << row.name;
        EXPECT_EQ(snapshot.constData() == row.made.constData(), row.taken) << row.name;
        EXPECT_EQ(snapshot, buffer.text()) << row.name;
    }
}

TEST(NBETextBuffer, TypingBackToTheSavedTextIsClean)
{
    struct Row
    {
        const char *name;
        std::function<void(QTextCursor &)> edit;
        std::function<void(QTextCursor &)> back;
        bool dirtyBetween;
    };
    const Row rows[] = {
        {"a letter typed and deleted",
         [](QTextCursor &c) {
             c.setPosition(3);
             c.insertText(QStringLiteral("x"));
         },
         [](QTextCursor &c) {
             c.setPosition(4);
             c.deletePreviousChar();
         },
         true},
        {"a letter replaced by another and back",
         [](QTextCursor &c) {
             c.setPosition(0);
             c.deleteChar();
             c.insertText(QStringLiteral("S"));
         },
         [](QTextCursor &c) {
             c.setPosition(0);
             c.deleteChar();
             c.insertText(QStringLiteral("s"));
         },
         true},
        {"a line broken and joined",
         [](QTextCursor &c) {
             c.setPosition(2);
             c.insertText(QStringLiteral("\n"));
         },
         [](QTextCursor &c) {
             c.setPosition(3);
             c.deletePreviousChar();
         },
         true},
    };
    // A long text is compared at the pause, never in the key.
    const QString tail(NBETextBuffer::comparedAtOnceLength, u'y');
    for (const QString &saved :
         {QStringLiteral("saved\ntext"), QStringLiteral("saved\ntext") + tail})
        for (const Row &row : rows) {
            const bool isLong = saved.size() > NBETextBuffer::comparedAtOnceLength;
            NBETextBuffer buffer(saved);
            QList<bool> announced;
            QObject::connect(&buffer, &NBETextBuffer::dirtyChanged,
                             [&](bool dirty) { announced.append(dirty); });
            QTextCursor cursor(buffer.document());
            const quint64 reads = NBETextBuffer::wholeTextReads();
            // Each step is an edit of its own, not an undo.
            row.edit(cursor);
            EXPECT_EQ(buffer.isDirty(), row.dirtyBetween) << row.name;
            row.back(cursor);
            if (isLong) {
                EXPECT_EQ(NBETextBuffer::wholeTextReads(), reads) << row.name;
                EXPECT_TRUE(NBETest::waitUntil([&] { return !buffer.isDirty(); })) << row.name;
            }
            EXPECT_EQ(buffer.text(), saved) << row.name;
            EXPECT_FALSE(buffer.isDirty()) << row.name;
            EXPECT_EQ(announced, (QList<bool>{true, false})) << row.name;
            // A write, then the old text typed again: dirty against the new one.
            cursor.insertText(QStringLiteral("!"));
            buffer.markSaved(buffer.revision());
            cursor.deletePreviousChar();
            EXPECT_TRUE(buffer.isDirty()) << row.name;
            cursor.insertText(QStringLiteral("?"));
            NBETest::waitUntil([] { return false; },
                               std::chrono::milliseconds(2 * NBETextBuffer::settleDelayMs));
            EXPECT_TRUE(buffer.isDirty()) << row.name << " (same length, other text)";
            // A reload is clean at once, long or short, and never dirty on the way.
            buffer.replaceAll(saved + u'!', true);
            EXPECT_FALSE(buffer.isDirty()) << row.name;
            announced.clear();
            buffer.replaceAll(saved + u'?', true);
            EXPECT_FALSE(buffer.isDirty()) << row.name;
            EXPECT_TRUE(announced.isEmpty()) << row.name;
        }
}

TEST(NBETextBuffer, APauseIsAnnouncedOnceAndItsReadersShareOneCopy)
{
    NBETextBuffer buffer(QStringLiteral("one\ntwo\n"));
    int settled = 0;
    QString atPause;
    QObject::connect(&buffer, &NBETextBuffer::settled, [&] {
        ++settled;
        // Every reader of the pause gets the same copy.
        atPause = buffer.snapshot();
        EXPECT_TRUE(atPause.isSharedWith(buffer.snapshot()));
    });
    QTextCursor cursor(buffer.document());
    for (const char *typed : {"a", "b", "c"}) {
        cursor.insertText(QString::fromLatin1(typed));
        NBETest::waitUntil([] { return false; }, std::chrono::milliseconds(20));
    }
    EXPECT_EQ(settled, 0);
    ASSERT_TRUE(NBETest::waitUntil([&] { return settled == 1; }));
    EXPECT_EQ(atPause, QStringLiteral("abcone\ntwo\n"));
    NBETest::waitUntil([] { return false; },
                       std::chrono::milliseconds(2 * NBETextBuffer::settleDelayMs));
    EXPECT_EQ(settled, 1);
    // At rest the buffer holds no copy of its own: the next read is a new one.
    EXPECT_FALSE(atPause.isSharedWith(buffer.snapshot()));
    EXPECT_EQ(buffer.snapshot(), buffer.text());
}

// A very long text's pause is longer than a steady typist's gap between
// keys (a timer never fires much early, so this holds on a busy machine).
TEST(NBETextBuffer, AVeryLongTextWaitsLongerForItsPause)
{
    const quint64 releases = NBEMemory::releases();
    auto buffer = std::make_unique<NBETextBuffer>(QString(NBETextBuffer::longTextLength, u'a'));
    QElapsedTimer clock;
    qint64 settledAfter = -1;
    QObject::connect(buffer.get(), &NBETextBuffer::settled,
                     [&] { settledAfter = clock.elapsed(); });
    // The pause starts inside the insertion, whose layout of a long line can
    // take a while on a busy machine: the clock starts before it.
    clock.start();
    QTextCursor cursor(buffer->document());
    cursor.insertText(QStringLiteral("x"));
    ASSERT_TRUE(NBETest::waitUntil([&] { return settledAfter >= 0; }));
    EXPECT_GE(settledAfter,
              (NBETextBuffer::settleDelayMs + NBETextBuffer::longTextSettleDelayMs) / 2);
    // Its memory goes back before the next test counts hand-backs.
    buffer.reset();
    NBETest::waitUntil([&] { return NBEMemory::releases() > releases; });
}

// A closed tab's long text goes back to the system once the pool threads'
// shares of it are gone, one hand-back for every text let go at once.
TEST(NBETextBuffer, LettingALongTextGoHandsItsMemoryBack)
{
    struct Row
    {
        const char *name;
        QList<qsizetype> lengths;
        bool onPoolThread;
        quint64 handBacks;
    };
    const QList<Row> rows{
        {"short text", {1000}, false, 0},
        {"long text", {600 * 1024}, false, 1},
        {"a window's tabs at once", {600 * 1024, 700 * 1024, 10}, false, 1},
        {"let go on a pool thread", {600 * 1024}, true, 1},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        const quint64 before = NBEMemory::releases();
        const auto letGo = [&] {
            for (qsizetype length : row.lengths)
                NBETextBuffer::make(QString(length, QLatin1Char('x'))).reset();
        };
        if (row.onPoolThread)
            QtConcurrent::run(letGo).waitForFinished();
        else
            letGo();
        // Not before the shares on pool threads are likely gone.
        EXPECT_EQ(NBEMemory::releases(), before);
        NBETest::waitUntil(
            [&] { return NBEMemory::releases() >= before + std::max<quint64>(row.handBacks, 1); },
            std::chrono::milliseconds(NBEMemory::releaseDelayMs * 2));
        EXPECT_EQ(NBEMemory::releases(), before + row.handBacks);
    }
}

// The copies a pause of typing makes of a long text are let go on pool
// threads, whose arenas would keep their pages: each pause hands them back
// once, shortly after. A short text's pause hands nothing back.
TEST(NBETextBuffer, APauseOfALongTextHandsItsCopiesBack)
{
    for (const qsizetype length : {qsizetype(1000), qsizetype(600 * 1024)}) {
        SCOPED_TRACE(length);
        NBETextBuffer buffer(QString(length, u'x'));
        int settled = 0;
        QObject::connect(&buffer, &NBETextBuffer::settled, [&] { ++settled; });
        const quint64 before = NBEMemory::releases();
        QTextCursor(buffer.document()).insertText(QStringLiteral("typed"));
        ASSERT_TRUE(NBETest::waitUntil([&] { return settled == 1; }));
        const bool isLong = length * qsizetype(sizeof(QChar)) >= NBEMemory::largeBlockBytes;
        NBETest::waitUntil([&] { return NBEMemory::releases() > before; },
                           std::chrono::milliseconds(NBEMemory::pauseReleaseDelayMs * 4));
        EXPECT_EQ(NBEMemory::releases(), before + (isLong ? 1 : 0));
    }
}

// Read slice by slice, with edits between slices: each edit keeps what was
// read before it, and the text read on from there is the text of now.
TEST(NBETextBuffer, ReadingOnInSlicesGivesTheWholeText)
{
    const QString longLine(5000, u'w');
    struct Row
    {
        const char *name;
        QString text;
    };
    const QList<Row> rows{
        {"empty", QString()},
        {"short lines", QStringLiteral("one\ntwo\n\nthree\n")},
        {"no line break at the end", QStringLiteral("a\nbc")},
        {"a line longer than a slice", QStringLiteral("x\n") + longLine + QStringLiteral("\ny")},
        {"only a long line", longLine},
        {"line breaks only", QStringLiteral("\n\n\n")},
        {"surrogate pairs and separators", QStringLiteral("😀\u2028é\n\u00a0😀😀\n")},
    };
    QRandomGenerator random(7);
    for (const Row &row : rows) {
        for (const qsizetype slice : {qsizetype(1), qsizetype(3), qsizetype(700), qsizetype(1e6)}) {
            SCOPED_TRACE(std::string(row.name) + ", slice " + std::to_string(slice));
            NBETextBuffer buffer(row.text);
            QString read;
            qsizetype edited = -1;
            QObject::connect(&buffer, &NBETextBuffer::changed,
                             [&](const NBETextChange &change) { edited = change.position; });
            int edits = 0;
            while (!NBETextBuffer::readOn(buffer.document(), read, slice)) {
                // Now and then an edit somewhere, some before what was read.
                if (edits >= 20 || random.bounded(4) != 0)
                    continue;
                ++edits;
                QTextCursor cursor(buffer.document());
                cursor.setPosition(int(random.bounded(int(buffer.length()) + 1)));
                if (random.bounded(2) && !cursor.atEnd())
                    cursor.deleteChar();
                else
                    cursor.insertText(random.bounded(3) ? QStringLiteral("k")
                                                        : QStringLiteral("\n"));
                if (read.size() > edited)
                    read.truncate(edited);
            }
            EXPECT_EQ(read, buffer.text());
        }
    }
}

// A pause over a text of several slices is announced after its last slice,
// with the text of then, whatever was typed while it read.
TEST(NBETextBuffer, APauseThatReadsInSlicesAnnouncesTheTextOfItsEnd)
{
    QString text;
    while (text.size() < 3 * NBETextBuffer::pauseSliceLength)
        text += QStringLiteral("<p>a line of a page</p>\n") + QString(30000, u'm') + u'\n';
    NBETextBuffer buffer(text);
    QTimer *slices = nullptr;
    for (QTimer *timer : buffer.findChildren<QTimer *>())
        if (timer->interval() == 0)
            slices = timer;
    ASSERT_NE(slices, nullptr);
    QRandomGenerator random(11);
    QTextCursor cursor(buffer.document());
    const auto type = [&] {
        cursor.setPosition(int(random.bounded(int(buffer.length()))));
        cursor.insertText(random.bounded(2) ? QStringLiteral("x") : QStringLiteral("\n"));
    };
    // Keys between the slices of the pauses; the read goes on from where
    // the key went.
    int keysInPause = 0;
    QObject::connect(slices, &QTimer::timeout, [&] {
        if (keysInPause < 6 && random.bounded(2)) {
            ++keysInPause;
            type();
        }
    });
    QList<QString> announced;
    QList<QString> textAtPause;
    QObject::connect(&buffer, &NBETextBuffer::settled, [&] {
        announced.append(buffer.snapshot());
        textAtPause.append(buffer.text());
        if (keysInPause < 6)
            type();
    });
    type();
    ASSERT_TRUE(NBETest::waitUntil([&] { return keysInPause >= 6 && !announced.isEmpty(); }));
    // The pause after the last key comes too.
    EXPECT_TRUE(NBETest::waitUntil([&] { return announced.last().size() == buffer.length(); }));
    ASSERT_EQ(announced.size(), textAtPause.size());
    for (qsizetype i = 0; i < announced.size(); ++i)
        EXPECT_TRUE(announced[i] == textAtPause[i]) << "pause " << i;
    EXPECT_TRUE(announced.last() == buffer.text());
}

namespace {

// Lays nothing out and counts the lines it is asked to measure, each of
// which a text view's layout would lay out whole.
class MeasureCounter : public QAbstractTextDocumentLayout
{
public:
    using QAbstractTextDocumentLayout::QAbstractTextDocumentLayout;
    mutable int measured = 0;
    bool counting = true;
    void draw(QPainter *, const PaintContext &) override {}
    int hitTest(const QPointF &, Qt::HitTestAccuracy) const override { return -1; }
    int pageCount() const override { return 1; }
    QSizeF documentSize() const override { return {}; }
    QRectF frameBoundingRect(QTextFrame *) const override { return {}; }
    QRectF blockBoundingRect(const QTextBlock &) const override
    {
        if (counting)
            ++measured;
        return {};
    }

protected:
    void documentChanged(int, int, int) override {}
};

} // namespace

// A minified script of one line many slices long: the pause reads it in
// slices, keys come between them, and the text it announces is the text,
// with no line measured (a view's layout would lay the line out whole).
TEST(NBETextBuffer, APauseReadsALongLineWithoutLayingItOut)
{
    QString text;
    while (text.size() < 5 * NBETextBuffer::pauseSliceLength + 123)
        text += QStringLiteral("function f(a){return a*2};");
    NBETextBuffer buffer(text);
    auto *layout = new MeasureCounter(buffer.document());
    buffer.setDocumentLayout(layout);
    QTimer *slices = nullptr;
    for (QTimer *timer : buffer.findChildren<QTimer *>())
        if (timer->interval() == 0)
            slices = timer;
    ASSERT_NE(slices, nullptr);
    const auto type = [&](qsizetype at, const QString &typed) {
        layout->counting = false;
        QTextCursor cursor(buffer.document());
        cursor.beginEditBlock();
        cursor.setPosition(int(at));
        cursor.insertText(typed);
        cursor.endEditBlock();
        layout->counting = true;
    };
    const auto remove = [&](qsizetype at, int count) {
        layout->counting = false;
        QTextCursor cursor(buffer.document());
        cursor.beginEditBlock();
        cursor.setPosition(int(at));
        cursor.setPosition(int(at) + count, QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
        cursor.endEditBlock();
        layout->counting = true;
    };
    // Between slices: before what the pause read, and after it; a removal
    // inside the line read.
    int sliceCount = 0;
    QObject::connect(slices, &QTimer::timeout, [&] {
        ++sliceCount;
        if (sliceCount == 2)
            type(NBETextBuffer::pauseSliceLength / 2, QStringLiteral("k"));
        else if (sliceCount == 3)
            remove(4 * NBETextBuffer::pauseSliceLength, 2);
        else if (sliceCount == 5)
            type(buffer.length() - 40, QStringLiteral("q"));
    });
    QList<QString> announced;
    QObject::connect(&buffer, &NBETextBuffer::settled,
                     [&] { announced.append(buffer.snapshot()); });
    type(3 * NBETextBuffer::pauseSliceLength + 7, QStringLiteral("x"));
    // The pause after the last key comes too.
    ASSERT_TRUE(NBETest::waitUntil([&] {
        return sliceCount >= 5 && !announced.isEmpty() &&
               announced.last().size() == buffer.length() && !slices->isActive();
    }));
    EXPECT_TRUE(announced.last() == buffer.text());
    EXPECT_EQ(buffer.text().size(), text.size() + 3 - 2);
    EXPECT_EQ(layout->measured, 0);
}

// A file read with other line breaks is held with line feeds: typed back to
// it, the text is clean, short or long.
TEST(NBETextBuffer, ATextReadWithOtherLineBreaksIsCleanTypedBack)
{
    const QString tail(NBETextBuffer::comparedAtOnceLength, u'y');
    for (const QString &read : {QStringLiteral("one\r\ntwo"), QStringLiteral("one\rtwo"),
                                QStringLiteral("one\u2029two"), QStringLiteral("one\ntwo")})
        for (const QString &text : {read, read + tail}) {
            SCOPED_TRACE(read.toStdString() + (text.size() > read.size() ? " long" : ""));
            NBETextBuffer buffer(text);
            EXPECT_FALSE(buffer.isDirty());
            QTextCursor cursor(buffer.document());
            cursor.setPosition(1);
            cursor.insertText(QStringLiteral("x"));
            EXPECT_TRUE(buffer.isDirty());
            cursor.deletePreviousChar();
            EXPECT_TRUE(NBETest::waitUntil([&] { return !buffer.isDirty(); }));
            // Reloaded with the same text: clean, and so after typing back.
            buffer.replaceAll(text + u'!', true);
            cursor.movePosition(QTextCursor::End);
            cursor.insertText(QStringLiteral("?"));
            cursor.deletePreviousChar();
            EXPECT_TRUE(NBETest::waitUntil([&] { return !buffer.isDirty(); }));
        }
}

// Edits in order give the text QString's replacements give, whatever their
// kind; an edit outside its text gives nothing.
TEST(NBETextBuffer, EditsMadeInOrderGiveTheEditedText)
{
    using Edits = std::vector<NBETextBuffer::Edit>;
    const QString text = QStringLiteral("abcdef");
    struct Row
    {
        const char *name;
        QString text;
        Edits edits;
        std::optional<QString> expected;
    };
    const QList<Row> rows{
        {"none", text, {}, text},
        {"into an empty text", QString(), {{1, 0, 0, QStringLiteral("xy")}}, QStringLiteral("xy")},
        {"at the start and end",
         text,
         {{1, 0, 0, QStringLiteral("<")}, {2, 7, 0, QStringLiteral(">")}},
         QStringLiteral("<abcdef>")},
        {"a removal over inserted and old text",
         text,
         {{1, 2, 0, QStringLiteral("XYZ")}, {2, 3, 4, {}}},
         QStringLiteral("abXef")},
        {"everything removed", text, {{1, 0, 6, {}}, {2, 0, 0, QStringLiteral("n")}}, u"n"_qs},
        {"past the end", text, {{1, 7, 0, QStringLiteral("x")}}, std::nullopt},
        {"removing past the end", text, {{1, 4, 3, {}}}, std::nullopt},
        {"past the end after a removal", text, {{1, 0, 2, {}}, {2, 3, 2, {}}}, std::nullopt},
    };
    for (const Row &row : rows)
        EXPECT_EQ(NBETextBuffer::withEdits(row.text, row.edits), row.expected) << row.name;

    QRandomGenerator random(5);
    for (int round = 0; round < 200; ++round) {
        const QString start = randomText(random, 60);
        QString expected = start;
        Edits edits;
        for (int i = int(random.bounded(30)); i > 0; --i) {
            const qsizetype at = random.bounded(int(expected.size()) + 1);
            const qsizetype removed = random.bounded(int(expected.size() - at) + 1);
            const QString inserted = random.bounded(3) ? randomText(random, 5) : QString();
            expected.replace(at, removed, inserted);
            edits.push_back({quint64(edits.size() + 1), at, removed, inserted});
        }
        EXPECT_EQ(NBETextBuffer::withEdits(start, edits), expected) << "round " << round;
    }
}

// A minified script's line, edited between pauses in every way an editor
// edits: each pause announces the buffer's text, and after the first none
// copies the line out of the document (megabytes on the main thread), keys
// that come while a pause's text is made included; past as many edits as a
// pause builds on, the document is read again.
TEST(NBETextBuffer, PausesOfALongLineAnnounceItsTextWithoutCopyingIt)
{
    QString line;
    while (line.size() < 2 * NBETextBuffer::pauseSliceLength + 77)
        line += QStringLiteral("function f(a){return a*2};");
    NBETextBuffer buffer(QStringLiteral("// head\n") + line + QStringLiteral("\nlast();\n"));
    QTimer *settle = nullptr;
    for (QTimer *timer : buffer.findChildren<QTimer *>())
        if (timer->interval() > 0)
            settle = timer;
    ASSERT_NE(settle, nullptr);
    int pauses = 0;
    int mismatches = 0;
    QObject::connect(&buffer, &NBETextBuffer::settled, [&] {
        ++pauses;
        if (buffer.snapshot() != buffer.text())
            ++mismatches;
    });
    QTextCursor cursor(buffer.document());
    const auto select = [&](qsizetype from, qsizetype to) {
        cursor.setPosition(int(from));
        cursor.setPosition(int(to), QTextCursor::KeepAnchor);
    };
    const auto type = [&](qsizetype at, const QString &text) {
        select(at, at);
        cursor.insertText(text);
    };
    const auto pause = [&] {
        const int before = pauses;
        return NBETest::waitForWork([&] { return pauses > before && !settle->isActive(); });
    };
    type(300, QStringLiteral("first"));
    ASSERT_TRUE(pause());
    const quint64 read = NBETextBuffer::unitsReadAtPauses();

    struct Step
    {
        const char *name;
        std::function<void()> edit;
    };
    int keysInPause = 0;
    const QList<Step> steps{
        {"a key", [&] { type(1000, QStringLiteral("x")); }},
        {"keys here and there",
         [&] {
             for (int i = 0; i < 40; ++i)
                 type((i * 7919) % buffer.length(), QString(QChar(u'a' + i % 26)));
         }},
        {"a removal",
         [&] {
             select(5000, 5003);
             cursor.removeSelectedText();
         }},
        {"a replacement",
         [&] {
             select(6000, 6100);
             cursor.insertText(QStringLiteral("replaced"));
         }},
        {"a paste of lines", [&] { type(200, QStringLiteral("a\nb\n\nc")); }},
        {"its undo", [&] { buffer.document()->undo(); }},
        {"its redo", [&] { buffer.document()->redo(); }},
        {"several undone",
         [&] {
             for (int i = 0; i < 5; ++i)
                 buffer.document()->undo();
         }},
        {"one undoable step of many edits",
         [&] {
             cursor.beginEditBlock();
             for (int i = 0; i < 10; ++i) {
                 select(100 + i * 50, 100 + i * 50 + 2);
                 cursor.insertText(QStringLiteral("st\nep"));
             }
             cursor.endEditBlock();
         }},
        {"keys while the pause's text is made",
         [&] {
             type(buffer.length() - 20, QStringLiteral("y"));
             // After the buffer's own handler: the pause has begun.
             QObject::connect(settle, &QTimer::timeout, &buffer, [&] {
                 if (keysInPause++ < 3)
                     type(buffer.length() / 2, QStringLiteral("z"));
             });
         }},
    };
    for (const Step &step : steps) {
        step.edit();
        ASSERT_TRUE(pause()) << step.name;
        EXPECT_EQ(buffer.snapshot(), buffer.text()) << step.name;
    }
    EXPECT_EQ(mismatches, 0);
    EXPECT_EQ(NBETextBuffer::unitsReadAtPauses(), read);

    for (size_t i = 0; i <= NBETextBuffer::pauseEditsKept; ++i)
        type(qsizetype(i % 3000) + 10, QStringLiteral("k"));
    ASSERT_TRUE(pause());
    EXPECT_EQ(mismatches, 0);
    EXPECT_GT(NBETextBuffer::unitsReadAtPauses(), read);
}
