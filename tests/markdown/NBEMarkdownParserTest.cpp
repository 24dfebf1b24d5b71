#include "NBEMarkdownParser.h"

#include "NBEMarkdownTestPrinting.h"

#include <gtest/gtest.h>

using Block = NBEMarkdownBlock;
using Blocks = QList<NBEMarkdownBlock>;

namespace {

NBEMarkdownListItem item(const QString &text, std::optional<bool> checked = std::nullopt,
                         const Blocks &children = {})
{
    return NBEMarkdownListItem{text, checked, children};
}

struct BlockCase
{
    const char *name;
    QString markdown;
    Blocks expected;
};

void PrintTo(const BlockCase &c, std::ostream *os)
{
    *os << c.name;
}

class MarkdownBlocks : public testing::TestWithParam<BlockCase>
{
};

TEST_P(MarkdownBlocks, Parse)
{
    const BlockCase &c = GetParam();
    const Blocks blocks = NBEMarkdownParser::parse(c.markdown);
    ASSERT_EQ(blocks.size(), c.expected.size()) << c.name;
    for (qsizetype k = 0; k < blocks.size(); ++k) {
        EXPECT_EQ(blocks[k].kind, c.expected[k].kind) << c.name << " block " << k;
        EXPECT_TRUE(blocks[k] == c.expected[k])
            << c.name << " block " << k << ": text '" << blocks[k].text.toStdString() << "'";
    }
}

const QString fourTicks = QStringLiteral("````");

INSTANTIATE_TEST_SUITE_P(
    Rules, MarkdownBlocks,
    testing::Values(
        BlockCase{"empty", "", {}}, BlockCase{"blank", "  \n\t\n", {}},
        BlockCase{"setextLevel1", "Title\n===", {Block::heading(1, "Title")}},
        BlockCase{"setextLevel2", "Title\n-", {Block::heading(2, "Title")}},
        BlockCase{"setextJoinsLines", "a\n b \n---", {Block::heading(2, "a b")}},
        BlockCase{
            "ruleAfterBlank", "para\n\n---", {Block::paragraph("para"), Block::thematicBreak()}},
        BlockCase{"spacedRules",
                  "- - -\n* * *\n___",
                  {Block::thematicBreak(), Block::thematicBreak(), Block::thematicBreak()}},
        BlockCase{"mixedRuleIsNoRule", "-*-", {Block::paragraph("-*-")}},
        BlockCase{"hashWithoutSpace", "#Title", {Block::paragraph("#Title")}},
        BlockCase{"sevenHashes", "####### x", {Block::paragraph("####### x")}},
        BlockCase{"closingHashes", "## Title ##", {Block::heading(2, "Title")}},
        BlockCase{"gluedClosingHash", "# Pass#", {Block::heading(1, "Pass")}},
        BlockCase{"tabAfterHashIsNoHeading", "#\tx", {Block::paragraph("#\tx")}},
        BlockCase{"indentIsNoCode", "    code", {Block::paragraph("code")}},
        BlockCase{
            "fourTickFence", fourTicks + "js\nx\n" + fourTicks, {Block::codeBlock("`js", "x")}},
        BlockCase{"fenceKeepsIndent",
                  "```\n  a\n\n b\n```\nafter",
                  {Block::codeBlock(std::nullopt, "  a\n\n b"), Block::paragraph("after")}},
        BlockCase{
            "tildeNotClosingBackticks", "```\n~~~\n```", {Block::codeBlock(std::nullopt, "~~~")}},
        BlockCase{"closerWithTextIsCode", "~~~ sh\n~~~ x\n~~~~", {Block::codeBlock("sh", "~~~ x")}},
        BlockCase{"unclosedFence", "```\na\nb", {Block::codeBlock(std::nullopt, "a\nb")}},
        BlockCase{"htmlBlockToBlank",
                  "<div>\n*x*\n\npara",
                  {Block::htmlBlock("<div>\n*x*"), Block::paragraph("para")}},
        BlockCase{
            "autolinkStartsHtml", "<https://x.org> y", {Block::htmlBlock("<https://x.org> y")}},
        BlockCase{"lessThanDigitIsText", "<3 you", {Block::paragraph("<3 you")}},
        BlockCase{"htmlEndsParagraph",
                  "text\n<b>bold</b>",
                  {Block::paragraph("text"), Block::htmlBlock("<b>bold</b>")}},
        BlockCase{"continuationEndsList",
                  "- item\n  more",
                  {Block::bulletList({item("item")}), Block::paragraph("more")}},
        BlockCase{"blankInsideList", "- a\n\n- b", {Block::bulletList({item("a"), item("b")})}},
        BlockCase{"blankThenText",
                  "- a\n\ntext",
                  {Block::bulletList({item("a")}), Block::paragraph("text")}},
        BlockCase{"mixedKinds", "1. a\n- b", {Block::orderedList({item("a"), item("b")})}},
        BlockCase{"numberNotKept", "3. x", {Block::orderedList({item("x")})}},
        BlockCase{"otherKindAfterBlankIsNewList",
                  "- [ ] task\n\n1. one\n2. two\n\n- back",
                  {Block::bulletList({item("task", false)}),
                   Block::orderedList({item("one"), item("two")}),
                   Block::bulletList({item("back")})}},
        BlockCase{"nestedOtherKindAfterBlank",
                  "- a\n  - b\n\n  1. c",
                  {Block::bulletList({item("a", std::nullopt,
                                           {Block::bulletList({item("b")}),
                                            Block::orderedList({item("c")})})})}},
        BlockCase{"parenNumber", "1) x", {Block::orderedList({item("x")})}},
        BlockCase{"numberWithoutSpace", "1.x\n2.", {Block::paragraph("1.x 2.")}},
        BlockCase{"taskUpper", "- [X] done", {Block::bulletList({item("done", true)})}},
        BlockCase{"taskOpen",
                  "- [ ] todo\n- [ ]",
                  {Block::bulletList({item("todo", false), item("", false)})}},
        BlockCase{"taskGlued", "- [x]done", {Block::bulletList({item("[x]done")})}},
        BlockCase{
            "nested",
            "- a\n  - b\n    1. c\n- d",
            {Block::bulletList({item("a", std::nullopt,
                                     {Block::bulletList({item(
                                         "b", std::nullopt, {Block::orderedList({item("c")})})})}),
                                item("d")})}},
        BlockCase{"betweenLevels",
                  "- a\n    - b\n  - c",
                  {Block::bulletList({item("a", std::nullopt,
                                           {Block::bulletList({item("b")}),
                                            Block::bulletList({item("c")})})})}},
        BlockCase{"tabIndent",
                  "- a\n\t- b",
                  {Block::bulletList({item("a", std::nullopt, {Block::bulletList({item("b")})})})}},
        BlockCase{"table",
                  "a | b\n---\nc | d",
                  {Block::table({"a", "b"}, {NBEMarkdownAlignment::leading}, {{"c", "d"}})}},
        BlockCase{"escapedPipe",
                  "| a \\| b |\n|---|",
                  {Block::table({"a | b"}, {NBEMarkdownAlignment::leading}, {})}},
        BlockCase{
            "backslashKept",
            "| a \\n | b\\|\n| :-: | --: |\n| x |\ntext",
            {Block::table({"a \\n", "b|"},
                          {NBEMarkdownAlignment::center, NBEMarkdownAlignment::trailing}, {{"x"}}),
             Block::paragraph("text")}},
        BlockCase{
            "tableEndsParagraph",
            "p\na|b\n-|-",
            {Block::paragraph("p"),
             Block::table({"a", "b"},
                          {NBEMarkdownAlignment::leading, NBEMarkdownAlignment::leading}, {})}},
        BlockCase{"quote",
                  "> a\n>b\n>  c\n\n> d",
                  {Block::blockquote("a\nb\n c"), Block::blockquote("d")}},
        BlockCase{"definitions",
                  "Term\n: one\n: two",
                  {Block::definitionList({NBEMarkdownDefinition{"Term", {"one", "two"}}})}},
        BlockCase{"twoTerms",
                  "A\n: 1\nB\n:  2 \ntext",
                  {Block::definitionList({NBEMarkdownDefinition{"A", {"1"}},
                                          NBEMarkdownDefinition{"B", {"2"}}}),
                   Block::paragraph("text")}},
        BlockCase{"colonWithoutSpace", "Term\n:no space", {Block::paragraph("Term :no space")}},
        BlockCase{"footnoteDefinition", "[^1]: note", {Block::footnoteDefinition("1", "note")}},
        BlockCase{"footnoteEmptyText", "[^n]:", {Block::footnoteDefinition("n", "")}},
        BlockCase{"footnoteReferenceStays", "see[^1] here", {Block::paragraph("see[^1] here")}},
        BlockCase{"imageWithTitle",
                  "![logo](img/logo.png \"Logo\")",
                  {Block::image("logo", "img/logo.png")}},
        BlockCase{"imageInText", "see ![x](p.png)", {Block::paragraph("see ![x](p.png)")}},
        BlockCase{"imageBlankUrl", "![x]( )", {Block::paragraph("![x]( )")}},
        BlockCase{"crlf", "a\r\nb\rc", {Block::paragraph("a b c")}},
        BlockCase{"unicodeSpaceTrim", QStringLiteral("\u00a0# T\u3000"), {Block::heading(1, "T")}},
        BlockCase{"nonAsciiDigits", QStringLiteral("\u0663. x"), {Block::orderedList({item("x")})}},
        BlockCase{
            "nul",
            QStringLiteral("a\0b").append(QChar(0)),
            {Block::paragraph(QStringLiteral("a").append(QChar(0)).append("b").append(QChar(0)))}}),
    [](const testing::TestParamInfo<BlockCase> &info) { return std::string(info.param.name); });

TEST(MarkdownReferences, DefinitionsAreDroppedAndReferencesRewritten)
{
    const QString doc = QStringLiteral("[x][ref] and [ref][] and [REF] and ![pic][ref]\n"
                                       "[ref]: /docs/page.html \"Title\"\n");
    EXPECT_EQ(NBEMarkdownParser::parse(doc),
              Blocks{Block::paragraph("[x](/docs/page.html) and [ref](/docs/page.html) and "
                                      "[REF](/docs/page.html) and ![pic](/docs/page.html)")});
}

TEST(MarkdownReferences, PrePassCases)
{
    struct Case
    {
        QStringList lines;
        QStringList expected;
    };
    const Case cases[] = {
        // Not definitions: space before the colon, nothing after it, footnotes.
        {{"[ref] : x", "[ref]:", "[^1]: note", "[ref]"},
         {"[ref] : x", "[ref]:", "[^1]: note", "[ref]"}},
        // Inside a fence nothing is defined or rewritten.
        {{"```", "[a]: /in", "[b]", "```", "[b]: /out", "[b] [a]"},
         {"```", "[a]: /in", "[b]", "```", "[b](/out) [a]"}},
        // The later definition wins, also above it; inline links stay.
        {{"[r] [t](u)", "[r]: /one", "[r]: /two"}, {"[r](/two) [t](u)"}},
        // Unknown labels and unclosed brackets stay as written.
        {{"[nope] [x", "[d]: /d"}, {"[nope] [x"}},
        // "[text][]" uses the text; an unclosed second bracket the first.
        {{"[d][] [d][x", "[d]: /d"}, {"[d](/d) [d](/d)[x"}},
    };
    for (const Case &c : cases)
        EXPECT_EQ(NBEMarkdownParser::preprocessReferenceLinks(c.lines), c.expected)
            << c.lines.join("|").toStdString();
}

TEST(MarkdownFootnotes, Substitution)
{
    const std::pair<QString, QString> cases[] = {
        {"text[^1]", QStringLiteral("text\u00b9")},
        {"[^12]", QStringLiteral("\u00b9\u00b2")},
        {"[^0] [^3] [^4]", QStringLiteral("\u2070 \u00b3 \u2074")},
        {"[^note]", "[^note]"},
        {"[^]", "[^]"},
        {"[^1", "[^1"},
        {"[^[^2]", QStringLiteral("[^\u00b2")},
        {"plain", "plain"},
    };
    for (const auto &[input, expected] : cases)
        EXPECT_EQ(NBEMarkdownParser::substitutingFootnoteReferences(input), expected)
            << input.toStdString();
}

TEST(MarkdownInlineSegments, Splits)
{
    using S = NBEInlineSegment;
    EXPECT_EQ(NBEMarkdownParser::inlineSegments("a ![x](p.png) b"),
              (QList<S>{S::makeText("a "), S::makeImage("x", "p.png"), S::makeText(" b")}));
    EXPECT_EQ(NBEMarkdownParser::inlineSegments("![x](p.png)"),
              QList<S>{S::makeImage("x", "p.png")});
    EXPECT_EQ(NBEMarkdownParser::inlineSegments("![x]( )"), QList<S>{S::makeText("![x]( )")});
    EXPECT_EQ(NBEMarkdownParser::inlineSegments(""), QList<S>{S::makeText("")});
    EXPECT_EQ(NBEMarkdownParser::inlineSegments("!![a](b)![c](d e)!"),
              (QList<S>{S::makeText("!"), S::makeImage("a", "b"), S::makeImage("c", "d"),
                        S::makeText("!")}));
}

} // namespace
