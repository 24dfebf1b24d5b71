#include "NBEWorkspaceFixture.h"

#include <QFileInfo>

namespace {

using Commands = NBEWorkspaceFixture;

// The one-shot edit requests the view model announced: the tab and the
// action's raw value (none for formatting).
struct Requests
{
    using Request = QPair<QUuid, QString>;
    explicit Requests(NBEWorkspaceViewModel *model)
    {
        QObject::connect(&model->tabs(), &NBEWorkspaceTabs::markdownEditRequested, &context,
                         [this](const QUuid &tab, NBEMarkdownAction action) {
                             markdown.append({tab, action.rawValue()});
                         });
        QObject::connect(&model->tabs(), &NBEWorkspaceTabs::htmlEditRequested, &context,
                         [this](const QUuid &tab, NBEHTMLAction action) {
                             html.append({tab, action.rawValue()});
                         });
        QObject::connect(&model->tabs(), &NBEWorkspaceTabs::formatRequested, &context,
                         [this](const QUuid &tab) {
                             format.append({tab, {}});
                         });
    }
    void clear()
    {
        markdown.clear();
        html.clear();
        format.clear();
    }
    QObject context;
    QList<Request> markdown, html, format;
};

TEST_F(Commands, WithoutAWorkspaceEveryCommandIsOffAndDoesNothing)
{
    EXPECT_FALSE(model->files().isOpen());
    EXPECT_FALSE(model->isEditingMarkdown());
    EXPECT_FALSE(model->canPreviewActiveTab());
    EXPECT_FALSE(model->canFormatActiveTab());
    Requests requests(model.get());
    model->requestMarkdownEdit(NBEMarkdownAction::bold);
    model->requestHTMLEdit(NBEHTMLAction::bold);
    model->requestFormatDocument();
    model->toggleActivePreview();
    model->saveActiveFile();
    model->closeActiveTab();
    EXPECT_EQ(requests.markdown.size() + requests.html.size() + requests.format.size(), 0);
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
    Requests requests(model.get());
    for (const Case &c : cases) {
        SCOPED_TRACE(c.file.toStdString());
        open(c.file);
        requests.clear();
        EXPECT_EQ(model->isEditingMarkdown(), c.editingMarkdown);
        EXPECT_EQ(model->canPreviewActiveTab(), c.canPreview);
        EXPECT_EQ(model->canFormatActiveTab(), c.canFormat);

        model->requestMarkdownEdit(NBEMarkdownAction::italic);
        EXPECT_EQ(requests.markdown.size(), int(c.editingMarkdown));
        model->requestHTMLEdit(NBEHTMLAction::bold);
        EXPECT_EQ(requests.html.size(), int(c.htmlEdit));
        model->requestFormatDocument();
        EXPECT_EQ(requests.format.size(), int(c.canFormat));

        const bool before = model->tabs().activeTab()->isShowingPreview;
        model->toggleActivePreview();
        EXPECT_EQ(model->tabs().activeTab()->isShowingPreview, c.canPreview ? !before : before);
    }
}

TEST_F(Commands, AMarkdownPreviewStopsMarkdownEditsButNotHTMLEdits)
{
    write(QStringLiteral("notes.md"), "# Notes\n");
    write(QStringLiteral("index.html"), "<p></p>\n");
    load();
    Requests requests(model.get());
    open(QStringLiteral("notes.md"));
    model->toggleActivePreview();
    EXPECT_FALSE(model->isEditingMarkdown());
    model->requestMarkdownEdit(NBEMarkdownAction::bold);
    EXPECT_EQ(requests.markdown.size(), 0);
    model->toggleActivePreview();
    EXPECT_TRUE(model->isEditingMarkdown());

    open(QStringLiteral("index.html"));
    model->toggleActivePreview();
    ASSERT_TRUE(model->tabs().activeTab()->isShowingPreview);
    model->requestHTMLEdit(NBEHTMLAction::italic);
    EXPECT_EQ(requests.html,
              (QList<Requests::Request>{{model->tabs().activeTab()->id,
                                         NBEHTMLAction(NBEHTMLAction::italic).rawValue()}}));
}

TEST_F(Commands, EveryRequestIsAnnouncedOnceForTheActiveTab)
{
    write(QStringLiteral("notes.md"), "text\n");
    write(QStringLiteral("style.css"), "a{}\n");
    load();
    Requests requests(model.get());
    open(QStringLiteral("notes.md"));
    const QUuid notes = model->tabs().activeTab()->id;
    model->requestMarkdownEdit(NBEMarkdownAction::bold);
    model->requestMarkdownEdit(NBEMarkdownAction::bold);
    const Requests::Request bold{notes, NBEMarkdownAction(NBEMarkdownAction::bold).rawValue()};
    EXPECT_EQ(requests.markdown, (QList<Requests::Request>{bold, bold}));
    open(QStringLiteral("style.css"));
    model->requestFormatDocument();
    EXPECT_NE(model->tabs().activeTab()->id, notes);
    EXPECT_EQ(requests.format, (QList<Requests::Request>{{model->tabs().activeTab()->id, {}}}));
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
    EXPECT_TRUE(NBETest::waitUntil([&] { return model->tabs().tabs().isEmpty(); }));
}

// The page comes from the buffer, unsaved edits included, and lands where the
// panel says; a write that fails says so in one sentence.
TEST_F(Commands, ExportWritesTheRenderedMarkdownWhereThePanelSays)
{
    const QUuid id =
        loadAndEdit(QStringLiteral("notes.md"), "# Saved\n", QStringLiteral("# Unsaved *edit*\n"));
    write(QStringLiteral("index.html"), "<p>x</p>\n");

    // Cancelled: nothing is written.
    NBETest::await(model->exportActiveFileAsHTML());
    ASSERT_EQ(desktop->exportPanels.size(), 1);
    EXPECT_EQ(desktop->exportPanels[0],
              (QStringList{QStringLiteral("Export the rendered Markdown as HTML"),
                           QStringLiteral("notes.html"), QStringLiteral("Export")}));
    // The panel opens beside the file, not where the last panel was.
    EXPECT_EQ(desktop->exportFolders.value(0),
              QUrl::fromLocalFile(QFileInfo(path(QStringLiteral("notes.md"))).absolutePath()));
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("notes.html"))));

    desktop->exportLocation = QUrl::fromLocalFile(dir.filePath(QStringLiteral("out/notes.html")));
    QDir().mkpath(dir.filePath(QStringLiteral("out")));
    NBETest::await(model->exportActiveFileAsHTML());
    const QString page =
        QString::fromUtf8(NBETest::readFile(dir.filePath(QStringLiteral("out/notes.html"))));
    EXPECT_TRUE(page.contains(QStringLiteral("<title>notes.md</title>"))) << page.toStdString();
    EXPECT_TRUE(page.contains(QStringLiteral("Unsaved <em>edit</em>"))) << page.toStdString();
    EXPECT_FALSE(page.contains(QStringLiteral("Saved</h1>")));
    EXPECT_FALSE(model->errorMessage());
    EXPECT_EQ(model->tab(id)->sourceFile.content(), QStringLiteral("# Unsaved *edit*\n"));

    // A folder where the page should go: the write fails and says why.
    desktop->exportLocation = QUrl::fromLocalFile(dir.filePath(QStringLiteral("out")));
    NBETest::await(model->exportActiveFileAsHTML());
    ASSERT_TRUE(model->errorMessage());
    EXPECT_TRUE(model->errorMessage()->startsWith(QStringLiteral("Failed to export HTML: ")))
        << model->errorMessage()->toStdString();
    EXPECT_GT(model->errorMessage()->size(), QStringLiteral("Failed to export HTML: ").size());

    // An HTML tab can be previewed but exports nothing, without a panel.
    open(QStringLiteral("index.html"));
    EXPECT_TRUE(model->canPreviewActiveTab());
    NBETest::await(model->exportActiveFileAsHTML());
    EXPECT_EQ(desktop->exportPanels.size(), 3);
}

} // namespace
