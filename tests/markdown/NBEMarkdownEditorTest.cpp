#include "NBEMarkdownEditor.h"

#include "NBEMarkdownTestPrinting.h"

#include <gtest/gtest.h>

namespace {

struct EditCase
{
    const char *name;
    NBEMarkdownAction action;
    QString text;
    NBETextRange selection;
    QString result;   // the whole text after the edit
    QString selected; // the text selected afterwards
};

void PrintTo(const EditCase &c, std::ostream *os)
{
    *os << c.name;
}

QString apply(const QString &text, const NBEMarkdownEdit &edit)
{
    QString out = text;
    out.replace(edit.range.location, edit.range.length, edit.replacement);
    return out;
}

class MarkdownEdits : public testing::TestWithParam<EditCase>
{
};

TEST_P(MarkdownEdits, Apply)
{
    const EditCase &c = GetParam();
    const NBEMarkdownEdit edit = NBEMarkdownEditor::edit(c.action, c.text, c.selection);
    const QString result = apply(c.text, edit);
    EXPECT_EQ(result, c.result);
    ASSERT_LE(edit.selection.end(), result.size());
    EXPECT_EQ(result.sliced(edit.selection.location, edit.selection.length), c.selected);
}

using A = NBEMarkdownAction;
const QString emoji = QStringLiteral("\U0001F600");

INSTANTIATE_TEST_SUITE_P(
    Actions, MarkdownEdits,
    testing::Values(
        EditCase{"boldCaret", A::bold, "hello world", {5, 0}, "hello**bold** world", "bold"},
        EditCase{"boldSelection", A::bold, "x", {0, 1}, "**x**", "x"},
        EditCase{"boldTwice", A::bold, "**x**", {0, 5}, "****x****", "**x**"},
        EditCase{"italic", A::italic, "", {0, 0}, "*italic*", "italic"},
        EditCase{"strike", A::strikethrough, "ab", {1, 1}, "a~~b~~", "b"},
        EditCase{"code", A::inlineCode, "ab", {2, 0}, "ab`code`", "code"},
        EditCase{"emojiLength", A::bold, emoji, {0, 2}, "**" + emoji + "**", emoji},
        EditCase{"pastEnd", A::bold, "abc", {1, 99}, "a**bc**", "bc"},
        EditCase{"negative", A::italic, "abc", {-4, -1}, "*italic*abc", "italic"},
        EditCase{"locationPastEnd", A::italic, "abc", {10, 2}, "abc*italic*", "italic"},
        EditCase{"headingNoBreak", A::heading, "abc", {1, 0}, "# abc", "# abc"},
        EditCase{"headingAgain", A::heading, "# Title\nx", {3, 0}, "# # Title\nx", "# # Title\n"},
        EditCase{"headingTwoLines", A::heading, "a\nb\n", {0, 4}, "# a\n# b\n", "# a\n# b\n"},
        EditCase{"headingEmptyLastLine", A::heading, "abc\n", {4, 0}, "abc\n# \n", "# \n"},
        EditCase{"headingEmptyText", A::heading, "", {0, 0}, "# \n", "# \n"},
        EditCase{"quotePartial",
                 A::quote,
                 "one\ntwo\nthree",
                 {2, 4},
                 "> one\n> two\nthree",
                 "> one\n> two\n"},
        EditCase{"bullets", A::bulletList, "a\n\nb", {0, 4}, "- a\n- \n- b", "- a\n- \n- b"},
        EditCase{"ordered",
                 A::orderedList,
                 "5. x\ny\n\nz",
                 {0, 9},
                 "1. 5. x\n2. y\n3. \n4. z",
                 "1. 5. x\n2. y\n3. \n4. z"},
        EditCase{"task", A::taskList, "a", {0, 0}, "- [ ] a", "- [ ] a"},
        EditCase{"linkSelection", A::link, "site", {0, 4}, "[site](url)", "url"},
        EditCase{"linkCaret", A::link, "", {0, 0}, "[text](url)", "url"},
        EditCase{"imageCaret", A::image, "ab", {1, 0}, "a![alt](url)b", "url"},
        EditCase{"codeBlockCaret", A::codeBlock, "x", {1, 0}, "x```\ncode\n```", "code"},
        EditCase{"codeBlockSelection", A::codeBlock, "let a", {0, 5}, "```\nlet a\n```", "let a"},
        EditCase{"table",
                 A::table,
                 "abc",
                 {0, 3},
                 "| Column | Column |\n| --- | --- |\n| Cell | Cell |",
                 "Column"},
        EditCase{"rule", A::horizontalRule, "ab", {1, 0}, "a---b", ""}),
    [](const testing::TestParamInfo<EditCase> &info) { return std::string(info.param.name); });

TEST(MarkdownActions, RawValues)
{
    for (const NBEMarkdownAction action : NBEMarkdownAction::allCases())
        EXPECT_EQ(NBEMarkdownAction::fromRawValue(action.rawValue()), action);
    EXPECT_FALSE(NBEMarkdownAction::fromRawValue(QStringLiteral("Bold")));
    EXPECT_FALSE(NBEMarkdownAction::fromRawValue(QString()));
}

} // namespace
