// The version rule of document sync: a version is the revision of the text it
// names, so it only grows while a document is open and starts anywhere when
// the document opens again.
#include "NBELSPDocumentSync.h"

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

} // namespace

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
