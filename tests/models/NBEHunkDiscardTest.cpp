#include "NBEHunkDiscard.h"

#include <gtest/gtest.h>

TEST(NBEHunkDiscard, DiscardingEveryHunkRestoresHEADExactly)
{
    const struct
    {
        const char *name;
        QString head, text;
    } cases[] = {
        {"modified", "a\nb\nc\n", "a\nB\nc\n"},
        {"added", "a\nc\n", "a\nb1\nb2\nc\n"},
        {"deleted", "a\nb\nc\n", "a\nc\n"},
        {"modified last line, no final line feed", "a\nb", "a\nB"},
        {"added last line, no final line feed", "a", "a\nb"},
        {"deleted last line, no final line feed", "a\nb\nc", "a\nb"},
        {"final line feed added", "a\nb", "a\nb\n"},
        {"final line feed removed", "a\nb\nc\n", "a\nb"},
        {"everything deleted", "a\nb\n", ""},
        {"everything new", "", "x\ny"},
        {"first line deleted", "a\nb\n", "b\n"},
        {"several hunks", "1\n2\n3\n4\n5\n6\n7\n8\n", "1\nX\n3\n4\n5\n6\n8\nY\n"},
        {"non-ASCII lines", "\u00e9t\u00e9\n\U0001F600\n", "\u00e9t\u00e9\n\U0001F601\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        // One at a time from the last, as a user clicking down the gutter
        // would after each recomparison; each must fit the current text.
        QString text = c.text;
        for (int guard = 0; guard < 10; ++guard) {
            const QList<NBEDiffHunk> hunks = NBELineDiff::hunks(c.head, text);
            if (hunks.isEmpty())
                break;
            const auto discard = NBEHunkDiscard::of(hunks.last(), text, c.head);
            ASSERT_TRUE(discard);
            text = discard->appliedTo(text);
        }
        EXPECT_EQ(text, c.head);
    }
}

TEST(NBEHunkDiscard, AHunkTheTextHasLeftIsRefused)
{
    const QString head = QStringLiteral("a\nb\nc\n");
    const NBEDiffHunk hunk = NBELineDiff::hunks(head, QStringLiteral("a\nB\nc\n")).value(0);
    EXPECT_TRUE(NBEHunkDiscard::of(hunk, QStringLiteral("a\nB\nc\n"), head));
    for (const QString &text : {QStringLiteral("a\nB!\nc\n"), QStringLiteral("a\n"), QString()})
        EXPECT_FALSE(NBEHunkDiscard::of(hunk, text, head)) << text.toStdString();
    NBEDiffHunk empty;
    empty.newLines.clear();
    EXPECT_FALSE(NBEHunkDiscard::of(empty, QStringLiteral("a\n"), QStringLiteral("a\n")));
}
