#include "NBELSPDiagnostic.h"

#include <QSet>
#include <gtest/gtest.h>

using Severity = NBELSPDiagnosticSeverity;

namespace {
NBEJSONValue json(const char *text)
{
    return NBEJSONValue::decode(QByteArray(text)).value_or(NBEJSONValue());
}
} // namespace

TEST(NBELSPDiagnostic, SeverityFromRawValue)
{
    EXPECT_EQ(NBELSPDiagnostic::severityFromRawValue(1), Severity::error);
    EXPECT_EQ(NBELSPDiagnostic::severityFromRawValue(4), Severity::hint);
    for (qint64 raw : {0, 5, -1})
        EXPECT_FALSE(NBELSPDiagnostic::severityFromRawValue(raw).has_value()) << raw;
}

TEST(NBELSPDiagnostic, ReadsOneDiagnostic)
{
    struct Row
    {
        const char *name;
        const char *severity; // JSON text of the member, or null for none
        Severity expected;
    };
    const Row rows[] = {
        {"missing", nullptr, Severity::error}, {"two", "2", Severity::warning},
        {"float", "2.0", Severity::warning},   {"truncated", "2.5", Severity::warning},
        {"unknown", "7", Severity::error},     {"string", "\"2\"", Severity::error},
        {"hint", "4", Severity::hint},
    };
    for (const Row &row : rows) {
        QByteArray text =
            R"({"range":{"start":{"line":1,"character":2.0},"end":{"line":3,"character":4}},"message":"m")";
        if (row.severity)
            text += QByteArray(R"(,"severity":)") + row.severity;
        text += "}";
        const auto diagnostic = NBELSPDiagnostic::fromJSON(json(text.constData()));
        ASSERT_TRUE(diagnostic.has_value()) << row.name;
        EXPECT_EQ(*diagnostic, (NBELSPDiagnostic{1, 2, 3, 4, row.expected, "m"})) << row.name;
    }

    const char *rejected[] = {
        R"({"range":{"start":{"line":1,"character":2},"end":{"line":3,"character":4}},"message":{"kind":"markdown","value":"m"}})",
        R"({"range":{"start":{"line":1,"character":2}},"message":"m"})",
        R"({"range":{"start":{"line":1,"character":2},"end":{"line":"3","character":4}},"message":"m"})",
        R"({"range":{"start":{"line":1,"character":2},"end":{"line":3,"character":4}}})",
        R"({"message":"m"})",
        R"([])",
    };
    for (const char *text : rejected)
        EXPECT_FALSE(NBELSPDiagnostic::fromJSON(json(text)).has_value()) << text;

    // Numbers out of range pass through as sent; whoever draws them clamps.
    const auto negative = NBELSPDiagnostic::fromJSON(json(
        R"({"range":{"start":{"line":-1,"character":-5},"end":{"line":0,"character":-2}},"message":"m"})"));
    ASSERT_TRUE(negative.has_value());
    EXPECT_EQ(*negative, (NBELSPDiagnostic{-1, -5, 0, -2, Severity::error, "m"}));
}

TEST(NBELSPDiagnostic, ParsesPublishDiagnostics)
{
    const auto published = NBELSPPublishedDiagnostics::parse(json(R"({
        "uri": "file:///tmp/a%2Bb.css", "version": 3,
        "diagnostics": [
            {"range":{"start":{"line":0,"character":0},"end":{"line":0,"character":1}},"message":"first","severity":1},
            {"range":{"start":{"line":0,"character":0}},"message":"no end"},
            {"range":{"start":{"line":2,"character":0},"end":{"line":2,"character":5}},"message":"second","severity":3}
        ]})"));
    ASSERT_TRUE(published.has_value());
    EXPECT_EQ(published->uri, "file:///tmp/a%2Bb.css");
    ASSERT_EQ(published->diagnostics.size(), 2);
    EXPECT_EQ(published->diagnostics[0].message, "first");
    EXPECT_EQ(published->diagnostics[1].severity, Severity::information);

    for (const char *text : {R"({"uri":"file:///x","diagnostics":[]})", R"({"uri":"file:///x"})",
                             R"({"uri":"file:///x","diagnostics":{}})"}) {
        const auto cleared = NBELSPPublishedDiagnostics::parse(json(text));
        ASSERT_TRUE(cleared.has_value()) << text;
        EXPECT_EQ(cleared->uri, "file:///x");
        EXPECT_TRUE(cleared->diagnostics.isEmpty());
    }
    for (const char *text : {R"({"diagnostics":[]})", R"({"uri":5,"diagnostics":[]})", "null"})
        EXPECT_FALSE(NBELSPPublishedDiagnostics::parse(json(text)).has_value()) << text;
}

// A page's thousands of diagnostics repeat a few messages: each message is
// held once, whatever the count, and the list keeps every diagnostic.
TEST(NBELSPDiagnostic, RepeatedMessagesAreHeldOnce)
{
    const auto published = NBELSPPublishedDiagnostics::parse(json(R"({
        "uri": "file:///p.html",
        "diagnostics": [
            {"range": {"start": {"line": 1, "character": 0}, "end": {"line": 1, "character": 5}},
             "message": "Unknown property: 'widht'"},
            {"range": {"start": {"line": 2, "character": 0}, "end": {"line": 2, "character": 5}},
             "message": "Another fault"},
            {"range": {"start": {"line": 3, "character": 0}, "end": {"line": 3, "character": 5}},
             "message": "Unknown property: 'widht'"}
        ]})"));
    ASSERT_TRUE(published.has_value());
    ASSERT_EQ(published->diagnostics.size(), 3);
    const QList<NBELSPDiagnostic> &list = published->diagnostics;
    EXPECT_EQ(list[2].startLine, 3);
    EXPECT_EQ(list[2].message, QStringLiteral("Unknown property: 'widht'"));
    EXPECT_TRUE(list[0].message.isSharedWith(list[2].message));
    EXPECT_FALSE(list[0].message.isSharedWith(list[1].message));
}

TEST(NBELSPDiagnostic, EqualValuesHashAlike)
{
    const NBELSPDiagnostic a{1, 2, 3, 4, Severity::warning, "same"};
    const NBELSPDiagnostic b{1, 2, 3, 4, Severity::warning, "same"};
    const NBELSPDiagnostic c{1, 2, 3, 4, Severity::error, "same"};
    EXPECT_EQ(a, b);
    EXPECT_EQ(qHash(a), qHash(b));
    EXPECT_NE(a, c);
    EXPECT_EQ((QSet<NBELSPDiagnostic>{a, b, c}).size(), 2);
}
