#include "NBELSPCompletionItem.h"
#include "NBELSPTextEdit.h"

#include <gtest/gtest.h>

#include <limits>

namespace {
NBEJSONValue json(const char *text)
{
    auto value = NBEJSONValue::decode(QByteArray(text));
    EXPECT_TRUE(value.has_value()) << text;
    return value.value_or(NBEJSONValue());
}

NBELSPTextEdit edit(qint64 l1, qint64 c1, qint64 l2, qint64 c2, const char *text)
{
    return NBELSPTextEdit{l1, c1, l2, c2, QString::fromUtf8(text)};
}
} // namespace

TEST(NBELSPCompletionItem, ParsesItemsInServerOrder)
{
    for (const char *empty :
         {"[]", "null", "{}", R"({"items":null})", R"("items")", R"({"items":[]})"})
        EXPECT_TRUE(NBELSPCompletionItem::parse(json(empty)).isEmpty()) << empty;

    const auto items = NBELSPCompletionItem::parse(json(R"({"isIncomplete":true,"items":[
        {"label":"div"},
        {"label":"both","insertText":"plain","textEdit":{"newText":"edited","range":{}}},
        {"label":"noNewText","insertText":"fallback","textEdit":{"range":{}}},
        {"label":"noText","textEdit":{"range":{}}},
        {"label":5},
        {"insertText":"no label"},
        {"label":"detailed","detail":"a detail","filterText":"filter","sortText":"a"},
        {"label":"numeric detail","detail":7}
    ]})"));
    ASSERT_EQ(items.size(), 6);
    EXPECT_EQ(items[0], (NBELSPCompletionItem{"div", "div", "div", std::nullopt}));
    EXPECT_EQ(items[1].insertText, "edited");
    EXPECT_EQ(items[2].insertText, "fallback");
    EXPECT_EQ(items[3].insertText, "noText");
    EXPECT_EQ(items[4], (NBELSPCompletionItem{"detailed", "detailed", "filter", "a detail"}));
    EXPECT_EQ(items[5].detail, std::nullopt);
}

TEST(NBELSPCompletionItem, SnippetsAreInsertedAsPlainText)
{
    const auto items = NBELSPCompletionItem::parse(json(R"([
        {"label":"color","insertTextFormat":2,"textEdit":{"newText":"color: $0;"}},
        {"label":"plain","insertTextFormat":1,"insertText":"cost: $0"},
        {"label":"unformatted","insertText":"$5"}
    ])"));
    ASSERT_EQ(items.size(), 3);
    EXPECT_EQ(items[0].insertText, "color: ;");
    EXPECT_EQ(items[1].insertText, "cost: $0");
    EXPECT_EQ(items[2].insertText, "$5");

    struct Row
    {
        const char *snippet;
        const char *plain;
    };
    const Row rows[] = {
        {"color: $0;", "color: ;"},
        {"for (${1:i} = 0; $1 < ${2:n}; $1++) {\n\t$0\n}", "for (i = 0;  < n; ++) {\n\t\n}"},
        {"${1|solid,dashed|}", "solid"},
        {"url($1)", "url()"},
        {"\\$ and \\} and \\\\", "$ and } and \\"},
        {"${1:outer ${2:inner}}", "outer inner"},
        {"price $", "price $"},
        {"${TM_SELECTED_TEXT}x", "x"},
        {"${broken", "${broken"},
        {"no markers", "no markers"},
    };
    for (const Row &row : rows)
        EXPECT_EQ(NBELSPCompletionItem::snippetToPlainText(QString::fromUtf8(row.snippet)),
                  QString::fromUtf8(row.plain))
            << row.snippet;

    // A server may nest placeholders without end: what lies deeper than the
    // reader goes is kept as written, and an unclosed nest stays as it came.
    const QString open = QStringLiteral("${1:");
    EXPECT_EQ(NBELSPCompletionItem::snippetToPlainText(open.repeated(50000)), open.repeated(50000));
    EXPECT_EQ(NBELSPCompletionItem::snippetToPlainText(open.repeated(40) + "x" + QString(40, u'}')),
              open.repeated(8) + "x" + QString(8, u'}'));
}

TEST(NBELSPTextEdit, ParsesWellFormedEdits)
{
    EXPECT_TRUE(NBELSPTextEdit::parse(json("null")).isEmpty());
    const auto edits = NBELSPTextEdit::parse(json(R"([
        {"range":{"start":{"line":1,"character":2.0},"end":{"line":3,"character":4}},"newText":"x"},
        {"range":{"start":{"line":1,"character":2}},"newText":"no end"},
        {"range":{"start":{"line":1,"character":2},"end":{"line":3,"character":4}},"newText":5},
        {"range":{"start":{"line":0,"character":0},"end":{"line":0,"character":0}},"newText":""}
    ])"));
    EXPECT_EQ(edits, (QList<NBELSPTextEdit>{edit(1, 2, 3, 4, "x"), edit(0, 0, 0, 0, "")}));
}

TEST(NBELSPTextEdit, AppliesEditsAgainstTheUneditedText)
{
    const QString text = "zero\none\ntwo\nthree\nfour\nfive\n";
    struct Row
    {
        const char *name;
        QList<NBELSPTextEdit> edits;
        const char *expected;
    };
    const Row rows[] = {
        {"none", {}, "zero\none\ntwo\nthree\nfour\nfive\n"},
        {"two lines",
         {edit(0, 0, 0, 4, "ZERO"), edit(5, 0, 5, 4, "FIVE")},
         "ZERO\none\ntwo\nthree\nfour\nFIVE\n"},
        {"either order",
         {edit(5, 0, 5, 4, "FIVE"), edit(0, 0, 0, 4, "ZERO")},
         "ZERO\none\ntwo\nthree\nfour\nFIVE\n"},
        {"past the end", {edit(40, 0, 41, 3, "!")}, "zero\none\ntwo\nthree\nfour\nfive\n!"},
        {"character cut at the end",
         {edit(6, 90, 6, 99, "!")},
         "zero\none\ntwo\nthree\nfour\nfive\n!"},
        {"character reaches the next line",
         {edit(0, 5, 0, 9, "")},
         "zero\ntwo\nthree\nfour\nfive\n"},
        {"end before start", {edit(1, 0, 0, 0, "dropped")}, "zero\none\ntwo\nthree\nfour\nfive\n"},
        {"inserts at one place keep list order",
         {edit(1, 0, 1, 0, "A"), edit(1, 0, 1, 0, "B")},
         "zero\nABone\ntwo\nthree\nfour\nfive\n"},
        {"insert then replace at one start",
         {edit(1, 0, 1, 0, "A"), edit(1, 0, 1, 3, "ONE")},
         "zero\nAONE\ntwo\nthree\nfour\nfive\n"},
        {"replace then insert at one start",
         {edit(1, 0, 1, 3, "ONE"), edit(1, 0, 1, 0, "A")},
         "zero\nONEA\ntwo\nthree\nfour\nfive\n"},
        {"overlap skipped",
         {edit(1, 0, 2, 1, "X"), edit(1, 2, 1, 3, "Y")},
         "zero\nXwo\nthree\nfour\nfive\n"},
        {"negative character clamped",
         {edit(0, -5, 0, 1, "Z")},
         "Zero\none\ntwo\nthree\nfour\nfive\n"},
        {"huge character is the end",
         {edit(2, std::numeric_limits<qint64>::max() - 1, 2, std::numeric_limits<qint64>::max(),
               "!")},
         "zero\none\ntwo\nthree\nfour\nfive\n!"},
        {"huge negative character stops at the start",
         {edit(2, std::numeric_limits<qint64>::min(), 2, 0, "!")},
         "!two\nthree\nfour\nfive\n"},
        {"negative line is the end",
         {edit(-1, 0, -1, 0, "!")},
         "zero\none\ntwo\nthree\nfour\nfive\n!"},
    };
    for (const Row &row : rows)
        EXPECT_EQ(NBELSPTextEdit::apply(row.edits, text), QString::fromUtf8(row.expected))
            << row.name;

    EXPECT_EQ(NBELSPTextEdit::apply({edit(1, 0, 1, 1, "X")}, "a\r\nbc"), "a\r\nXc");
    EXPECT_EQ(NBELSPTextEdit::apply({edit(0, 2, 0, 3, "x")}, "😀ab"), "😀xb");
}
