#include "NBEWorkspace.h"
#include "NBELanguageRegistry.h"

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

    source.content += QStringLiteral("x");
    EXPECT_TRUE(source.isDirty());
    source.content.chop(1);
    EXPECT_FALSE(source.isDirty()) << "edited back to the saved text";

    source.content = QStringLiteral("new");
    source.markSaved();
    EXPECT_FALSE(source.isDirty());
    EXPECT_EQ(source.savedContent, QStringLiteral("new"));

    const NBESourceFile unsaved(file("/p/a.css"), QStringLiteral("b"), QStringLiteral("a"),
                                NBELineEnding::CRLF);
    EXPECT_TRUE(unsaved.isDirty());
    EXPECT_EQ(unsaved.lineEnding, NBELineEnding::CRLF);
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
    copy.openTabs.append(NBEOpenTab(NBESourceFile(file("/home/me/site/a.html"), QString()),
                                    NBELanguageRegistry::html()));
    EXPECT_NE(copy, workspace);
    NBEWorkspace copy2 = copy;
    copy2.openTabs[0].sourceFile.content = QStringLiteral("edited");
    EXPECT_NE(copy2, copy) << "copies hold their own buffers";
    EXPECT_EQ(copy.openTabs[0].sourceFile.content, QString());
}
