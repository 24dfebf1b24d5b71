// The version rule of document sync: a version is the revision of the text it
// names, so it only grows while a document is open and starts anywhere when
// the document opens again.
#include "NBELSPDocumentSync.h"
#include "NBETextBuffer.h"

#include <QRandomGenerator>
#include <QTextCursor>
#include <QTextDocument>
#include <gtest/gtest.h>

namespace {

const QUrl file = QUrl::fromLocalFile(QStringLiteral("/tmp/sync/a.css"));

std::optional<qint64> sentVersion(const std::optional<NBEJSONValue> &params)
{
    if (!params)
        return std::nullopt;
    const NBEJSONValue *version = params->find("textDocument")->find("version");
    return version ? version->intValue() : std::nullopt;
}

NBETextChange typed(const QString &text)
{
    NBETextChange change;
    change.inserted = change.rangeText = text;
    return change;
}

// Applies a didChange's changes the way the Node servers' text documents
// do: a line past the last is the end, a character past its line stops at
// the next line's start.
QString applied(QString text, const NBEJSONValue &params)
{
    for (const NBEJSONValue &change : params.find("contentChanges")->arrayRef()) {
        QList<qsizetype> lineStarts{0};
        for (qsizetype i = 0; i < text.size(); ++i)
            if (text[i] == u'\n')
                lineStarts.append(i + 1);
        const auto offset = [&](const NBEJSONValue *position) {
            const qint64 line = *position->find("line")->intValue();
            if (line >= lineStarts.size())
                return text.size();
            const qsizetype next =
                line + 1 < lineStarts.size() ? lineStarts[line + 1] : text.size();
            return std::min(lineStarts[line] + *position->find("character")->intValue(), next);
        };
        const NBEJSONValue *range = change.find("range");
        const qsizetype from = offset(range->find("start"));
        text.replace(from, offset(range->find("end")) - from, *change.find("text")->stringValue());
    }
    return text;
}

} // namespace

// Edits held back while keys come are sent as one message: applied to the
// text the server had, it gives the buffer's text, and edits next to each
// other (typing, Backspace over line breaks, a word undone) make one change.
TEST(NBELSPDocumentSyncTest, HeldEditsGoAsOneMessageThatGivesTheBuffersText)
{
    const QString start = QStringLiteral("<p>one</p>\n<p>two \U0001F600</p>\n\n<b>three</b>\nend");
    QRandomGenerator random(7);
    for (int round = 0; round < 300; ++round) {
        SCOPED_TRACE(round);
        NBETextBuffer buffer(start);
        NBELSPDocumentSync sync;
        sync.open(file, QStringLiteral("html"), {start, qint64(buffer.revision())});
        QObject::connect(&buffer, &NBETextBuffer::changed, [&](const NBETextChange &change) {
            EXPECT_TRUE(sync.hold(file, change, qint64(buffer.revision())));
        });
        QTextDocument *document = buffer.document();
        QTextCursor cursor(document);
        cursor.setPosition(int(random.bounded(int(buffer.length()) + 1)));
        // Keys at one caret, which now and then jumps elsewhere.
        const int keys = 1 + int(random.bounded(12));
        bool apart = false;
        for (int key = 0; key < keys; ++key) {
            switch (random.bounded(7)) {
            case 0:
            case 1:
                cursor.insertText(QStringLiteral("x"));
                break;
            case 2:
                cursor.insertText(QStringLiteral("\n"));
                break;
            case 3:
                cursor.deletePreviousChar();
                break;
            case 4:
                cursor.deleteChar();
                break;
            case 5:
                document->undo(&cursor);
                apart = true;
                break;
            case 6:
                apart = true;
                cursor.setPosition(int(random.bounded(int(buffer.length()) + 1)));
                cursor.setPosition(int(random.bounded(int(buffer.length()) + 1)),
                                   QTextCursor::KeepAnchor);
                cursor.insertText(QStringLiteral("y\nz"));
                break;
            }
        }
        const auto params = sync.takeHeldChanges(file);
        if (buffer.revision() == 0) {
            EXPECT_FALSE(params);
            continue;
        }
        ASSERT_TRUE(params);
        EXPECT_EQ(applied(start, *params), buffer.text());
        EXPECT_EQ(sentVersion(params), qint64(buffer.revision()));
        EXPECT_FALSE(sync.takeHeldChanges(file)) << "sent once";
        if (!apart) {
            EXPECT_EQ(params->find("contentChanges")->arrayRef().size(), 1);
        }
    }
}

// A whole text read after held edits holds them: they are dropped, not sent
// after it; one read before them waits for them.
TEST(NBELSPDocumentSyncTest, AWholeTextReplacesTheEditsItHolds)
{
    NBELSPDocumentSync sync;
    sync.open(file, QStringLiteral("css"), {QStringLiteral("a"), 1});
    ASSERT_TRUE(sync.hold(file, typed(QStringLiteral("b")), 2));
    ASSERT_TRUE(sync.hold(file, typed(QStringLiteral("c")), 3));
    EXPECT_FALSE(sync.change(file, {QStringLiteral("ba"), 2})) << "older than what waits";
    EXPECT_FALSE(sync.hold(file, typed(QStringLiteral("c")), 3)) << "held already";
    EXPECT_EQ(sentVersion(sync.change(file, {QStringLiteral("cba"), 3})), 3);
    EXPECT_FALSE(sync.takeHeldChanges(file));
    EXPECT_FALSE(sync.hold(file, typed(QStringLiteral("c")), 3)) << "sent already";
}

TEST(NBELSPDocumentSyncTest, VersionsAreTheRevisionsOfTheTextsSent)
{
    NBELSPDocumentSync sync;
    // Nothing is sent for a document that is not open.
    EXPECT_FALSE(sync.change(file, {QStringLiteral("x"), 1}));
    EXPECT_FALSE(sync.change(file, typed(QStringLiteral("x")), 1));

    EXPECT_EQ(sentVersion(sync.open(file, QStringLiteral("css"), {QStringLiteral("a"), 4})), 4);
    const struct
    {
        const char *name;
        bool whole;
        qint64 revision;
        std::optional<qint64> sent;
    } rows[] = {
        {"several edits, one revision each", false, 5, 5},
        {"", false, 6, 6},
        {"", false, 7, 7},
        {"a whole text read after more edits", true, 10, 10},
        // The whole text already held this edit: sending it again would
        // apply it twice.
        {"an edit the whole text already held", false, 10, std::nullopt},
        {"an older edit", false, 9, std::nullopt},
        {"a whole text of an older revision", true, 8, std::nullopt},
        {"a replacement of the whole text", true, 11, 11},
        {"the next edit", false, 12, 12},
    };
    qint64 last = 4;
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        const auto params = row.whole ? sync.change(file, {QStringLiteral("t"), row.revision})
                                      : sync.change(file, typed(QStringLiteral("t")), row.revision);
        EXPECT_EQ(sentVersion(params), row.sent);
        last = row.sent.value_or(last);
        EXPECT_EQ(sync.find(file)->version, last);
    }

    // Closed and opened again from a new buffer: any version will do.
    ASSERT_TRUE(sync.close(file));
    EXPECT_EQ(sentVersion(sync.open(file, QStringLiteral("css"), {QStringLiteral("b"), 0})), 0);
    EXPECT_EQ(sentVersion(sync.change(file, typed(QStringLiteral("c")), 1)), 1);
    EXPECT_EQ(sync.find(file)->version, 1);
}
