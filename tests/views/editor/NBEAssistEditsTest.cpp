#include "NBEAssistEdits.h"
#include "NBECodeTextEdit.h"

#include <QTest>
#include <gtest/gtest.h>

// Undoing a typing-help edit puts the caret back where the user had it (for a
// partner tag, in the tag being typed), not at the start of the document.
TEST(NBEAssistEdits, UndoReturnsTheCaretToWhereTheUserHadIt)
{
    NBECodeTextEdit edit;
    edit.setPlainText(QStringLiteral("<p>one</p>\n<div>\nul\n</div>\n"));
    const int start = int(edit.text().indexOf(QStringLiteral("ul")));
    NBEAssistEdits::placeCaret(&edit, 2);
    NBEAssistEdits::replace(&edit, start, 2, QStringLiteral("<ul></ul>"));
    ASSERT_EQ(edit.textCursor().position(), start + 9);

    QTest::keyClick(&edit, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(edit.text(), QStringLiteral("<p>one</p>\n<div>\nul\n</div>\n"));
    EXPECT_EQ(edit.textCursor().position(), 2);

    edit.redo();
    EXPECT_EQ(edit.text(), QStringLiteral("<p>one</p>\n<div>\n<ul></ul>\n</div>\n"));
    EXPECT_EQ(edit.textCursor().position(), start + 9);
}

TEST(NBEAssistEdits, UndoOfADocumentEditReturnsToTheEndOfTheReplacedText)
{
    NBECodeTextEdit edit;
    edit.setPlainText(QStringLiteral("a { col }\n"));
    edit.moveCursor(QTextCursor::End);
    NBEAssistEdits::replaced(edit.document(), 4, 3, QStringLiteral("color: "));
    edit.undo();
    EXPECT_EQ(edit.text(), QStringLiteral("a { col }\n"));
    EXPECT_EQ(edit.textCursor().position(), 7);
}
