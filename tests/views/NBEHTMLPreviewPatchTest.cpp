#include "NBEHTMLPreviewPatch.h"

#include <gtest/gtest.h>

namespace {

using Span = NBEHTMLPreviewPatch::Span;

// The span is the least that tells the texts apart, and putting its part of
// the new text into the old one gives the new text.
TEST(NBEHTMLPreviewPatchTest, TheDifferingSpanIsTheLeastThatRebuildsTheText)
{
    const struct
    {
        const char *name;
        QString base;
        QString text;
        Span span;
    } cases[] = {
        {"same text", QStringLiteral("<p>a</p>"), QStringLiteral("<p>a</p>"), {8, 0, 0}},
        {"typed in the middle",
         QStringLiteral("<p>ab</p>"),
         QStringLiteral("<p>aXb</p>"),
         {4, 0, 1}},
        {"removed at the start", QStringLiteral("xx<p>"), QStringLiteral("<p>"), {0, 2, 0}},
        {"replaced at the end", QStringLiteral("<p>a"), QStringLiteral("<p>bc"), {3, 1, 2}},
        {"a run grows", QStringLiteral("aaa"), QStringLiteral("aaaa"), {3, 0, 1}},
        {"a run shrinks", QStringLiteral("aaaa"), QStringLiteral("aa"), {2, 2, 0}},
        {"from nothing", QString(), QStringLiteral("<p>"), {0, 0, 3}},
        {"to nothing", QStringLiteral("<p>"), QString(), {0, 3, 0}},
        // U+1F600 and U+1F601 share their first half, U+10000 and U+10400
        // their second.
        {"pairs sharing their first half",
         QStringLiteral("a\U0001F600b"),
         QStringLiteral("a\U0001F601b"),
         {2, 1, 1}},
        {"pairs sharing their second half",
         QStringLiteral("a\U00010000b"),
         QStringLiteral("a\U00010400b"),
         {1, 1, 1}},
        {"a pair typed after its twin",
         QStringLiteral("\U0001F600"),
         QStringLiteral("\U0001F600\U0001F601"),
         {2, 0, 2}},
    };
    for (const auto &test : cases) {
        SCOPED_TRACE(test.name);
        const Span span = NBEHTMLPreviewPatch::differingSpan(test.base, test.text);
        EXPECT_EQ(span.from, test.span.from);
        EXPECT_EQ(span.removed, test.span.removed);
        EXPECT_EQ(span.inserted, test.span.inserted);
        QString rebuilt = test.base;
        rebuilt.replace(span.from, span.removed, test.text.mid(span.from, span.inserted));
        EXPECT_EQ(rebuilt, test.text);
    }
}

// Only scripts that plainly hold JSON data may go to the page; any other
// script needs a load.
TEST(NBEHTMLPreviewPatchTest, OnlyAPageWhoseScriptsPlainlyHoldJSONMayBePatched)
{
    const struct
    {
        const char *html;
        bool needsLoad;
    } cases[] = {
        {"<p>no script</p>", false},
        {"<script>go()</script>", true},
        {"<script src=\"a.js\"></script>", true},
        {"<script type=\"module\">go()</script>", true},
        {"<script type=\"text/javascript\">go()</script>", true},
        {"<script type=\"application/ld+json\">{}</script>", false},
        {"<SCRIPT id=d TYPE='Application/JSON'>[]</SCRIPT>", false},
        {"<script type=application/ld+json>{}</script>", false},
        {"<script data-type=\"application/json\">go()</script>", true},
        {"<script type=\"application/json\">[]</script><script>go()</script>", true},
    };
    for (const auto &test : cases) {
        SCOPED_TRACE(test.html);
        EXPECT_EQ(NBEHTMLPreviewPatch::needsLoad(QString::fromUtf8(test.html)), test.needsLoad);
    }
}

} // namespace
