#include "NBEWorkspace.h"
#include "NBELanguageRegistry.h"
#include "NBEOpenTab.h"

#include <QTextCursor>
#include <QTextDocument>

#include <gtest/gtest.h>

namespace {
QUrl file(const char *path)
{
    return QUrl::fromLocalFile(QString::fromUtf8(path));
}
} // namespace

TEST(NBESourceFile, DirtyStateFollowsTheText)
{
    NBESourceFile source(file("/p/index.html"), QStringLiteral("<p>\n"));
    EXPECT_FALSE(source.isDirty());
    EXPECT_FALSE(source.id.isNull());
    EXPECT_EQ(source.lineEnding, NBELineEnding::LF);

    QTextCursor cursor(source.buffer->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(QStringLiteral("x"));
    EXPECT_TRUE(source.isDirty());
    source.buffer->document()->undo();
    EXPECT_FALSE(source.isDirty()) << "undone back to the saved text";

    source.buffer->replaceAll(QStringLiteral("new"));
    EXPECT_TRUE(source.isDirty());
    source.markSaved();
    EXPECT_FALSE(source.isDirty());
    EXPECT_EQ(source.content(), QStringLiteral("new"));
    source.buffer->markUnsaved();
    EXPECT_TRUE(source.isDirty()) << "a text that was never saved";
}

TEST(NBESourceFile, NameExtensionAndIdentity)
{
    const NBESourceFile source(file("/p/Site.Page.HTML"), QString());
    EXPECT_EQ(source.name(), QStringLiteral("Site.Page.HTML"));
    EXPECT_EQ(source.fileExtension(), QStringLiteral("HTML"));
    EXPECT_EQ(NBESourceFile(file("/p/Makefile"), QString()).fileExtension(), QString());
    EXPECT_NE(NBESourceFile(file("/p/a.js"), QString()), NBESourceFile(file("/p/a.js"), QString()))
        << "fresh ids";
}

TEST(NBEOpenTab, OnlyHTMLAndMarkdownArePreviewable)
{
    const NBESourceFile source(file("/p/README.md"), QStringLiteral("# Hi"));
    struct Row
    {
        std::optional<NBELanguage> language;
        bool html;
        bool previewable;
    };
    const Row rows[] = {
        {NBELanguageRegistry::markdown(), false, true},
        {NBELanguageRegistry::html(), true, true},
        {NBELanguageRegistry::leaf(), false, false},
        {NBELanguageRegistry::css(), false, false},
        {std::nullopt, false, false},
    };
    for (const Row &row : rows) {
        const NBEOpenTab t(source, row.language);
        EXPECT_EQ(t.isHTML(), row.html);
        EXPECT_EQ(t.isPreviewable(), row.previewable);
    }
}

TEST(NBEWorkspace, NameAndCopiesWithTheirOwnBuffers)
{
    NBEWorkspace workspace(QUrl::fromLocalFile(QStringLiteral("/home/me/site/")));
    EXPECT_EQ(workspace.name(), QStringLiteral("site"));
    EXPECT_EQ(NBEWorkspace(file("/home/me/site")).name(), QStringLiteral("site"));

    NBEWorkspace copy = workspace;
    EXPECT_EQ(copy, workspace);
    copy.rootURL = file("/home/me/other");
    EXPECT_NE(copy, workspace);

    const NBEOpenTab tab(NBESourceFile(file("/home/me/site/a.html"), QString()),
                         NBELanguageRegistry::html());
    NBEOpenTab tabCopy = tab;
    tabCopy.sourceFile.buffer->replaceAll(QStringLiteral("edited"));
    EXPECT_EQ(tabCopy, tab) << "copies share their buffers";
    EXPECT_EQ(tab.sourceFile.content(), QStringLiteral("edited"));
}
