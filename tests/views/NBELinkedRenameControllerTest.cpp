// Renaming a tag's partner with it in the real editor.
#include "NBELinkedRenameController.h"
#include "NBELanguageRegistry.h"
#include "NBETypingFixture.h"

namespace {

using NBELinkedRenameControllerTest = NBETypingFixture;

} // namespace

TEST_F(NBELinkedRenameControllerTest, RenamingATagRenamesItsPartnerAsASeparateUndoStep)
{
    open(NBELanguageRegistry::html(), QStringLiteral("<ul>\n<div|>x</DIV>\n</ul>"));
    for (const QChar c : QStringLiteral("ider")) {
        type(c);
        settle();
    }
    EXPECT_EQ(marked(), QStringLiteral("<ul>\n<divider|>x</divider>\n</ul>"));

    // Undo takes back the rename first, then the letter; neither renames.
    edit()->undo();
    settle();
    EXPECT_EQ(shown(), QStringLiteral("<ul>\n<divider>x</divide>\n</ul>"));
    edit()->undo();
    settle();
    EXPECT_EQ(shown(), QStringLiteral("<ul>\n<divide>x</divide>\n</ul>"));
    key(Qt::Key_Z, Qt::ControlModifier);
    settle();
    EXPECT_EQ(shown(), QStringLiteral("<ul>\n<divide>x</divid>\n</ul>"));
    edit()->redo();
    settle();
    EXPECT_EQ(shown(), QStringLiteral("<ul>\n<divide>x</divide>\n</ul>"));

    // From the closing tag, typing letters and deleting them.
    open(NBELanguageRegistry::html(), QStringLiteral("<p><b>x</b></p|>"));
    for (const QChar c : QStringLiteral("re")) {
        type(c);
        settle();
    }
    EXPECT_EQ(marked(), QStringLiteral("<pre><b>x</b></pre|>"));
    for (int i = 0; i < 2; ++i) {
        key(Qt::Key_Backspace);
        settle();
    }
    EXPECT_EQ(marked(), QStringLiteral("<p><b>x</b></p|>"));

    // A partner with another name, a void element and other languages are
    // left alone.
    open(NBELanguageRegistry::html(), QStringLiteral("<div|>x</span>"));
    type(QStringLiteral("s"));
    settle();
    EXPECT_EQ(shown(), QStringLiteral("<divs>x</span>"));
    open(NBELanguageRegistry::leaf(), QStringLiteral("<div|>x</div>"));
    type(QStringLiteral("s"));
    settle();
    EXPECT_EQ(shown(), QStringLiteral("<divs>x</div>"));

    // So is a name longer than any tag's (a long run of letters typed).
    const QString name(NBELinkedRenameController::longestTagName + 1, u'a');
    open(NBELanguageRegistry::html(), u'<' + name + QStringLiteral("|>x</") + name + u'>');
    type(QStringLiteral("s"));
    settle();
    EXPECT_EQ(shown(), u'<' + name + QStringLiteral("s>x</") + name + u'>');
}
