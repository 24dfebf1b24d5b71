#include "NBEWorkspaceFixture.h"

#include <QSignalSpy>

namespace {

using Commands = NBEWorkspaceFixture;

TEST_F(Commands, WithoutAWorkspaceEveryCommandIsOffAndDoesNothing)
{
    EXPECT_FALSE(model->hasWorkspace());
    EXPECT_FALSE(model->isEditingMarkdown());
    EXPECT_FALSE(model->canPreviewActiveTab());
    EXPECT_FALSE(model->canFormatActiveTab());
    model->requestMarkdownEdit(NBEMarkdownAction::bold);
    model->requestHTMLEdit(NBEHTMLAction::bold);
    model->requestFormatDocument();
    model->toggleActivePreview();
    model->saveActiveFile();
    model->closeActiveTab();
    EXPECT_FALSE(model->pendingMarkdownCommand());
    EXPECT_FALSE(model->pendingHTMLCommand());
    EXPECT_FALSE(model->pendingFormat());
}

// Which commands each kind of active tab enables.
TEST_F(Commands, PredicatesFollowTheActiveTabsLanguage)
{
    struct Case
    {
        QString file;
        bool editingMarkdown, canPreview, canFormat, htmlEdit;
    };
    const QList<Case> cases = {
        {QStringLiteral("notes.md"), true, true, false, false},
        {QStringLiteral("index.html"), false, true, true, true},
        {QStringLiteral("style.css"), false, false, true, false},
        {QStringLiteral("app.js"), false, false, false, false},
        {QStringLiteral("data.unknownext"), false, false, false, false},
    };
    for (const Case &c : cases)
        write(c.file, "x\n");
    load();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.file.toStdString());
        open(c.file);
        model->setPendingMarkdownCommand(std::nullopt);
        model->setPendingHTMLCommand(std::nullopt);
        model->setPendingFormat(std::nullopt);
        EXPECT_EQ(model->isEditingMarkdown(), c.editingMarkdown);
        EXPECT_EQ(model->canPreviewActiveTab(), c.canPreview);
        EXPECT_EQ(model->canFormatActiveTab(), c.canFormat);

        model->requestMarkdownEdit(NBEMarkdownAction::italic);
        EXPECT_EQ(model->pendingMarkdownCommand().has_value(), c.editingMarkdown);
        model->requestHTMLEdit(NBEHTMLAction::bold);
        EXPECT_EQ(model->pendingHTMLCommand().has_value(), c.htmlEdit);
        model->requestFormatDocument();
        EXPECT_EQ(model->pendingFormat().has_value(), c.canFormat);

        const bool before = model->activeTab()->isShowingPreview;
        model->toggleActivePreview();
        EXPECT_EQ(model->activeTab()->isShowingPreview, c.canPreview ? !before : before);
    }
}

TEST_F(Commands, AMarkdownPreviewStopsMarkdownEditsButNotHTMLEdits)
{
    write(QStringLiteral("notes.md"), "# Notes\n");
    write(QStringLiteral("index.html"), "<p></p>\n");
    load();
    open(QStringLiteral("notes.md"));
    model->toggleActivePreview();
    EXPECT_FALSE(model->isEditingMarkdown());
    model->requestMarkdownEdit(NBEMarkdownAction::bold);
    EXPECT_FALSE(model->pendingMarkdownCommand());
    model->toggleActivePreview();
    EXPECT_TRUE(model->isEditingMarkdown());

    open(QStringLiteral("index.html"));
    model->toggleActivePreview();
    ASSERT_TRUE(model->activeTab()->isShowingPreview);
    model->requestHTMLEdit(NBEHTMLAction::italic);
    ASSERT_TRUE(model->pendingHTMLCommand());
    EXPECT_EQ(model->pendingHTMLCommand()->action, NBEHTMLAction::italic);
}

TEST_F(Commands, EveryRequestIsANewCommandAndOnlyChangesAnnounce)
{
    write(QStringLiteral("notes.md"), "text\n");
    load();
    open(QStringLiteral("notes.md"));
    QSignalSpy spy(model.get(), &NBEWorkspaceViewModel::pendingMarkdownCommandChanged);

    model->setPendingMarkdownCommand(std::nullopt);
    EXPECT_EQ(spy.count(), 0);
    model->requestMarkdownEdit(NBEMarkdownAction::bold);
    const auto first = model->pendingMarkdownCommand();
    model->requestMarkdownEdit(NBEMarkdownAction::bold);
    const auto second = model->pendingMarkdownCommand();
    ASSERT_TRUE(first && second);
    EXPECT_NE(first->id, second->id);
    EXPECT_EQ(second->action, NBEMarkdownAction::bold);
    EXPECT_EQ(spy.count(), 2);
    model->setPendingMarkdownCommand(second);
    EXPECT_EQ(spy.count(), 2);
    model->setPendingMarkdownCommand(std::nullopt);
    EXPECT_EQ(spy.count(), 3);
}

TEST_F(Commands, SaveActiveFileWritesEvenAnUnchangedTabAndCloseActiveTabCloses)
{
    write(QStringLiteral("page.txt"), "same\n");
    load();
    open(QStringLiteral("page.txt"));
    blockWrites(QStringLiteral("page.txt"));
    // A forced save tries to write, so the blocked file reports a failure.
    model->saveActiveFile();
    EXPECT_TRUE(NBETest::waitUntil([&] { return model->errorMessage().has_value(); }));

    model->clearErrorMessage();
    model->closeActiveTab();
    EXPECT_TRUE(NBETest::waitUntil([&] { return model->workspace()->openTabs.isEmpty(); }));
}

} // namespace
