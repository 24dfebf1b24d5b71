#include "NBEHTMLEditor.h"

#include <gtest/gtest.h>

namespace {

struct EditCase
{
    const char *name;
    NBEHTMLAction action;
    QString text;
    NBETextRange selection;
    QString result;
    NBETextRange expectedSelection;
};

void PrintTo(const EditCase &c, std::ostream *os)
{
    *os << c.name;
}

class HTMLEdits : public testing::TestWithParam<EditCase>
{
};

TEST_P(HTMLEdits, Apply)
{
    const EditCase &c = GetParam();
    const NBEMarkdownEdit edit = NBEHTMLEditor::edit(c.action, c.text, c.selection);
    QString result = c.text;
    result.replace(edit.range.location, edit.range.length, edit.replacement);
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(edit.selection, c.expectedSelection);
}

using A = NBEHTMLAction;

INSTANTIATE_TEST_SUITE_P(
    Actions, HTMLEdits,
    testing::Values(
        EditCase{"boldCaret", A::bold, "hello", {5, 0}, "hello<strong>text</strong>", {13, 4}},
        EditCase{"italicSelection", A::italic, "hi", {0, 2}, "<em>hi</em>", {4, 2}},
        EditCase{"underline", A::underline, "", {0, 0}, "<u>text</u>", {3, 4}},
        EditCase{"strike", A::strikethrough, "x", {0, 1}, "<s>x</s>", {3, 1}},
        EditCase{"code", A::code, "", {0, 0}, "<code>code</code>", {6, 4}},
        EditCase{"paragraph", A::paragraph, "", {0, 0}, "<p>text</p>", {3, 4}},
        EditCase{"heading1", A::heading1, "", {0, 0}, "<h1>Heading</h1>", {4, 7}},
        EditCase{"heading6", A::heading6, "T", {0, 1}, "<h6>T</h6>", {4, 1}},
        EditCase{"blockquote", A::blockquote, "", {0, 0}, "<blockquote>text</blockquote>", {12, 4}},
        EditCase{"pre", A::preformatted, "", {0, 0}, "<pre>text</pre>", {5, 4}},
        EditCase{"divCaret", A::div, "ab", {1, 0}, "a<div></div>b", {6, 0}},
        EditCase{"unorderedList",
                 A::unorderedList,
                 "a\nb",
                 {0, 3},
                 "<ul>\n    <li>a</li>\n    <li>b</li>\n</ul>",
                 {13, 1}},
        EditCase{"emptyList", A::orderedList, "", {0, 0}, "<ol>\n    <li></li>\n</ol>", {13, 0}},
        EditCase{"listKeepsBlankItems",
                 A::unorderedList,
                 "x\n\n y ",
                 {0, 6},
                 "<ul>\n    <li>x</li>\n    <li></li>\n    <li> y </li>\n</ul>",
                 {13, 1}},
        EditCase{"link", A::link, "Docs", {0, 4}, "<a href=\"#\">Docs</a>", {9, 1}},
        EditCase{"linkCaret", A::link, "", {0, 0}, "<a href=\"#\">text</a>", {9, 1}},
        EditCase{"image", A::image, "abc", {1, 1}, "a<img src=\"\" alt=\"\">c", {11, 0}},
        EditCase{"rule", A::horizontalRule, "abc", {0, 3}, "<hr>", {4, 0}},
        EditCase{"lineBreak", A::lineBreak, "ab", {1, 0}, "a<br>b", {5, 0}},
        EditCase{"clampPastEnd", A::bold, "ab", {7, 3}, "ab<strong>text</strong>", {10, 4}},
        EditCase{"negativeLength", A::italic, "ab", {1, -5}, "a<em>text</em>b", {5, 4}}),
    [](const testing::TestParamInfo<EditCase> &info) { return std::string(info.param.name); });

TEST(HTMLEditor, TableTemplateSelectsFirstHeader)
{
    const NBEMarkdownEdit edit = NBEHTMLEditor::edit(A::table, QStringLiteral("xy"), {1, 1});
    const QStringList lines = edit.replacement.split(u'\n');
    EXPECT_EQ(lines.first(), QStringLiteral("<table>"));
    EXPECT_TRUE(lines.contains(QStringLiteral("            <td>Cell</td>")));
    EXPECT_EQ(lines.last(), QStringLiteral("</table>"));
    EXPECT_EQ(edit.range, (NBETextRange{1, 1}));
    EXPECT_EQ(edit.replacement.sliced(edit.selection.location - 1, 6), QStringLiteral("Header"));
    EXPECT_EQ(edit.selection, (NBETextRange{50, 6}));
}

TEST(HTMLEditor, ActionsAndCommands)
{
    for (const NBEHTMLAction action : NBEHTMLAction::allCases()) {
        EXPECT_EQ(NBEHTMLAction::fromRawValue(action.rawValue()), action);
        // Every action yields an edit that fits the text it was made for.
        const NBEMarkdownEdit edit = NBEHTMLEditor::edit(action, QStringLiteral("abc"), {1, 1});
        EXPECT_EQ(edit.range, (NBETextRange{1, 1})) << action.rawValue().toStdString();
        EXPECT_LE(edit.selection.end(), 2 + edit.replacement.size())
            << action.rawValue().toStdString();
    }
    EXPECT_FALSE(NBEHTMLAction::fromRawValue(QStringLiteral("heading7")));
}

} // namespace
