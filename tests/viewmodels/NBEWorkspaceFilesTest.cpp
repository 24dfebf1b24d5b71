#include "NBEEditorDocument.h"
#include "NBEWorkspaceFixture.h"

#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

class WorkspaceFiles : public NBEWorkspaceFixture
{
protected:
    bool exists(const QString &relative) const { return QFileInfo::exists(path(relative)); }

    QString error() const { return model->errorMessage().value_or(QString()); }

    static QString trashFolder()
    {
        return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
               QStringLiteral("/Trash");
    }
    static QByteArray trashed(const QString &relative)
    {
        return NBETest::readFile(trashFolder() + QStringLiteral("/files/") + relative);
    }

    void SetUp() override
    {
        NBEWorkspaceFixture::SetUp();
        QDir().mkpath(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
    }

    // Every node id of the tree, and whether any folder is open.
    void collect(const NBEFileTreeNode &node, QSet<QUuid> &ids, bool &anyExpanded) const
    {
        ids.insert(node.id);
        anyExpanded = anyExpanded || node.isExpanded;
        for (const NBEFileTreeNode &child : node.children)
            collect(child, ids, anyExpanded);
    }

    const NBEFileTreeNode *node(const QString &name) const
    {
        const NBEFileTreeNode &tree = *model->files().workspace()->fileTree;
        for (const NBEFileTreeNode &child : tree.children)
            if (child.name == name)
                return &child;
        return nullptr;
    }
};

} // namespace

TEST_F(WorkspaceFiles, CreatesItemsWithoutReplacingAndRebuildsTheTree)
{
    write(QStringLiteral("index.html"), "<p>keep</p>");
    load();
    NBETest::await(model->files().createFile(QStringLiteral("new.css"), rootURL()));
    NBETest::await(model->files().createFolder(QStringLiteral("assets"), rootURL()));
    EXPECT_FALSE(model->errorMessage().has_value()) << error().toStdString();
    EXPECT_EQ(read(QStringLiteral("new.css")), QByteArray());
    EXPECT_TRUE(QFileInfo(path(QStringLiteral("assets"))).isDir());
    EXPECT_NE(node(QStringLiteral("new.css")), nullptr);
    EXPECT_NE(node(QStringLiteral("assets")), nullptr);
    // Created, not opened.
    EXPECT_TRUE(model->tabs().tabs().isEmpty());

    const struct
    {
        bool folder;
        QString name;
        QUrl in;
        const char *prefix;
    } failing[] = {
        {false, QStringLiteral("index.html"), rootURL(), "Failed to create file: "},
        {true, QStringLiteral("index.html"), rootURL(), "Failed to create folder: "},
        {true, QStringLiteral("assets"), rootURL(), "Failed to create folder: "},
        {true, QStringLiteral("x"), url(QStringLiteral("missing")), "Failed to create folder: "},
        {false, QStringLiteral("a/b.css"), rootURL(), "Failed to create file: "},
        {false, QStringLiteral(".."), rootURL(), "Failed to create file: "},
        {true, QStringLiteral("   "), rootURL(), "Failed to create folder: "},
    };
    for (const auto &c : failing) {
        model->clearErrorMessage();
        NBETest::await(c.folder ? model->files().createFolder(c.name, c.in)
                                : model->files().createFile(c.name, c.in));
        EXPECT_TRUE(error().startsWith(QLatin1String(c.prefix)))
            << c.name.toStdString() << ": " << error().toStdString();
        EXPECT_GT(error().size(), qsizetype(strlen(c.prefix))) << c.name.toStdString();
    }
    EXPECT_EQ(read(QStringLiteral("index.html")), QByteArray("<p>keep</p>"));
    EXPECT_FALSE(exists(QStringLiteral("a")));
}

// A folder that can't be listed is left out of the tree and said once; the
// rest of the project opens and follows changes as usual.
TEST_F(WorkspaceFiles, AnUnreadableFolderIsLeftOutAndSaidOnce)
{
    write(QStringLiteral("index.html"), "<p>keep</p>");
    // Root reads every folder whatever its permissions; a folder nested past
    // the longest path the system opens can't be listed by anyone.
    ASSERT_TRUE(QDir().mkpath(path(QStringLiteral("data"))));
    ASSERT_TRUE(NBETest::makeFolderTooDeepToOpen(path(QStringLiteral("data"))));
    load();
    ASSERT_TRUE(model->files().isOpen());
    ASSERT_TRUE(model->files().workspace()->fileTree.has_value());
    const auto unreadable = model->files().workspace()->fileTree->unreadableFolders();
    ASSERT_EQ(unreadable.size(), 1);
    // A notice, not an error: a rebuild after outside changes finds it too.
    const QString said = model->notice().value_or(QString());
    EXPECT_FALSE(model->errorMessage().has_value());
    EXPECT_TRUE(said.startsWith(QStringLiteral("The folder “data/dd")));
    EXPECT_TRUE(said.endsWith(QStringLiteral("couldn't be read (file name too long), so it's "
                                             "left out of the file tree.")))
        << said.toStdString();
    // Its path, longer than the system opens, is cut in the middle.
    EXPECT_LT(said.size(), 200);

    // Rebuilds after a change don't say it again.
    model->clearNotice();
    NBETest::await(model->files().createFile(QStringLiteral("new.css"), rootURL()));
    EXPECT_TRUE(exists(QStringLiteral("new.css")));
    EXPECT_FALSE(model->notice().has_value());
    const auto &children = model->files().workspace()->fileTree->children;
    EXPECT_TRUE(std::any_of(children.cbegin(), children.cend(), [](const NBEFileTreeNode &node) {
        return node.name == QStringLiteral("new.css");
    }));
}

TEST_F(WorkspaceFiles, DeletionClosesTabsAndMovesTheActiveOne)
{
    write(QStringLiteral("a.html"), "a");
    write(QStringLiteral("b.css"), "b");
    write(QStringLiteral("c.js"), "c");
    write(QStringLiteral("lib/x.js"), "x");
    write(QStringLiteral("lib/y.js"), "y");
    load();
    const QUuid a = open(QStringLiteral("a.html")).id;
    const QUuid b = open(QStringLiteral("b.css")).id;
    const QUuid c = open(QStringLiteral("c.js")).id;
    model->navigation().activateTab(b);

    // The active tab's file: the last remaining tab takes over.
    NBETest::await(model->files().deleteItem(url(QStringLiteral("b.css"))));
    EXPECT_FALSE(exists(QStringLiteral("b.css")));
    EXPECT_EQ(tabFiles(),
              (QList<QUrl>{url(QStringLiteral("a.html")), url(QStringLiteral("c.js"))}));
    EXPECT_EQ(model->tabs().activeTabID(), c);
    EXPECT_EQ(node(QStringLiteral("b.css")), nullptr);

    // Not the active tab's file: the active tab stays.
    NBETest::await(model->files().deleteItem(url(QStringLiteral("a.html"))));
    EXPECT_EQ(model->tabs().activeTabID(), c);
    EXPECT_FALSE(model->tab(a).has_value());

    // A folder takes the tabs of its files with it.
    open(QStringLiteral("lib/x.js"));
    NBETest::await(model->files().deleteItem(url(QStringLiteral("lib"))));
    EXPECT_FALSE(exists(QStringLiteral("lib")));
    EXPECT_EQ(tabFiles(), (QList<QUrl>{url(QStringLiteral("c.js"))}));

    NBETest::await(model->files().deleteItem(url(QStringLiteral("c.js"))));
    EXPECT_TRUE(model->tabs().tabs().isEmpty());
    EXPECT_FALSE(model->tabs().activeTabID().has_value());

    NBETest::await(model->files().deleteItem(url(QStringLiteral("gone.txt"))));
    EXPECT_TRUE(error().startsWith(QStringLiteral("Failed to delete: "))) << error().toStdString();
}

TEST_F(WorkspaceFiles, DeletedItemsGoToTheTrash)
{
    write(QStringLiteral("page.html"), "<p>page</p>");
    write(QStringLiteral("vendor/v.js"), "v");
    load();
    NBETest::await(model->files().deleteItem(url(QStringLiteral("page.html"))));
    NBETest::await(model->files().deleteItem(url(QStringLiteral("vendor"))));
    EXPECT_FALSE(model->errorMessage().has_value()) << error().toStdString();
    EXPECT_EQ(trashed(QStringLiteral("page.html")), "<p>page</p>");
    EXPECT_EQ(trashed(QStringLiteral("vendor/v.js")), "v");
    EXPECT_TRUE(desktop->deleteQuestions.isEmpty());
}

// Save, Don't Save and Cancel mean what they say: the saved edits are in the
// trashed file, the unsaved ones are dropped with the tab, nothing changes.
TEST_F(WorkspaceFiles, DeletingAFileWithUnsavedEditsAsksFirst)
{
    const struct
    {
        NBEUnsavedChangesChoice answer;
        const char *file;
        QByteArray inTrash;
    } cases[] = {{NBEUnsavedChangesChoice::Cancel, "cancel.md", {}},
                 {NBEUnsavedChangesChoice::Save, "save.md", "typed"},
                 {NBEUnsavedChangesChoice::DontSave, "dont.md", "old"}};
    for (const auto &c : cases)
        write(QString::fromLatin1(c.file), "old");
    load();
    for (const auto &c : cases) {
        const QString name = QString::fromLatin1(c.file);
        const QUuid id = open(name).id;
        model->tabs().updateContent(QStringLiteral("typed"), id);
        desktop->answer = c.answer;
        desktop->questions.clear();
        NBETest::await(model->files().deleteItem(url(name)));
        EXPECT_EQ(desktop->questions, (QList<QStringList>{{name}}));
        const bool cancelled = c.answer == NBEUnsavedChangesChoice::Cancel;
        EXPECT_EQ(exists(name), cancelled) << c.file;
        EXPECT_EQ(model->tab(id).has_value(), cancelled) << c.file;
        if (cancelled) {
            EXPECT_EQ(read(name), "old");
            EXPECT_EQ(model->tab(id)->sourceFile.content(), QStringLiteral("typed"));
        } else {
            EXPECT_EQ(trashed(name), c.inTrash) << c.file;
        }
    }
}

// Where no trash can take the item, it goes for good only when the user says so.
TEST_F(WorkspaceFiles, WithoutATrashDeletingForGoodIsAskedFirst)
{
    write(QStringLiteral("a.css"), "a");
    load();
    // A file where the trash folder would be: no trash can be made.
    QDir(trashFolder()).removeRecursively();
    NBETest::writeFile(trashFolder(), "not a folder");
    const QUuid id = open(QStringLiteral("a.css")).id;

    NBETest::await(model->files().deleteItem(url(QStringLiteral("a.css"))));
    EXPECT_EQ(desktop->deleteQuestions, (QList<QStringList>{{QStringLiteral("a.css")}}));
    EXPECT_TRUE(exists(QStringLiteral("a.css")));
    EXPECT_TRUE(model->tab(id).has_value());

    desktop->deleteForGood = true;
    NBETest::await(model->files().deleteItem(url(QStringLiteral("a.css"))));
    EXPECT_FALSE(exists(QStringLiteral("a.css")));
    EXPECT_FALSE(model->tab(id).has_value());
    QFile::remove(trashFolder());
}

TEST_F(WorkspaceFiles, RenameKeepsTheTabAndItsEditsAndFindsTheLanguageAgain)
{
    write(QStringLiteral("notes.txt"), "plain");
    write(QStringLiteral("taken.html"), "other");
    load();
    NBEOpenTab before = open(QStringLiteral("notes.txt"));
    model->tabs().updateContent(QStringLiteral("<p>typed</p>"), before.id);
    model->tabs().updateCursorPosition(1, 4, before.id);

    NBETest::await(
        model->files().renameItem(url(QStringLiteral("notes.txt")), QStringLiteral("notes.html")));
    EXPECT_FALSE(model->errorMessage().has_value()) << error().toStdString();
    EXPECT_TRUE(exists(QStringLiteral("notes.html")));
    EXPECT_FALSE(exists(QStringLiteral("notes.txt")));
    const NBEOpenTab after = *model->tab(before.id);
    EXPECT_EQ(after.sourceFile.url, url(QStringLiteral("notes.html")));
    EXPECT_NE(after.sourceFile.id, before.sourceFile.id);
    EXPECT_EQ(after.sourceFile.content(), QStringLiteral("<p>typed</p>"));
    EXPECT_TRUE(after.sourceFile.isDirty());
    EXPECT_EQ(model->tabs().document(after.id)->caret(), (NBECursorPosition{1, 4}));
    ASSERT_TRUE(after.language.has_value());
    EXPECT_EQ(after.language->id, QStringLiteral("html"));
    EXPECT_EQ(model->tabs().activeTabID(), before.id);
    // Saving writes to the new name.
    ASSERT_TRUE(saveAndWait(before.id, false));
    EXPECT_EQ(read(QStringLiteral("notes.html")), QByteArray("<p>typed</p>"));

    // A taken name or a bad one changes nothing.
    for (const QString &name : {QStringLiteral("taken.html"), QStringLiteral("a/b")}) {
        model->clearErrorMessage();
        NBETest::await(model->files().renameItem(url(QStringLiteral("notes.html")), name));
        EXPECT_TRUE(error().startsWith(QStringLiteral("Failed to rename: ")))
            << error().toStdString();
        EXPECT_EQ(model->tab(before.id)->sourceFile.url, url(QStringLiteral("notes.html")));
    }
    EXPECT_EQ(read(QStringLiteral("taken.html")), QByteArray("other"));
}

TEST_F(WorkspaceFiles, RenamingAFolderRetargetsTheTabsBelowIt)
{
    write(QStringLiteral("src/app.js"), "a");
    load();
    const QUuid id = open(QStringLiteral("src/app.js")).id;
    NBETest::await(model->files().renameItem(url(QStringLiteral("src")), QStringLiteral("lib")));
    EXPECT_EQ(model->tab(id)->sourceFile.url, url(QStringLiteral("lib/app.js")));
}

TEST_F(WorkspaceFiles, MovesRetargetTabsAndPointlessMovesDoNothing)
{
    write(QStringLiteral("a/x/y.html"), "y");
    write(QStringLiteral("ab/z.css"), "z");
    write(QStringLiteral("b/keep.txt"), "k");
    write(QStringLiteral("c/a/clash.txt"), "clash");
    load();
    const QUuid y = open(QStringLiteral("a/x/y.html")).id;
    const QUuid z = open(QStringLiteral("ab/z.css")).id;
    model->tabs().updateContent(QStringLiteral("edited"), y);

    // Nothing at all for these: no message, no rebuild (node ids survive).
    const QUuid treeID = model->files().workspace()->fileTree->id;
    const struct
    {
        QString item, into;
    } pointless[] = {{QStringLiteral("a"), QString()},
                     {QStringLiteral("a"), QStringLiteral("a")},
                     {QStringLiteral("a"), QStringLiteral("a/x")},
                     {QStringLiteral("a/x/y.html"), QStringLiteral("a/x")}};
    for (const auto &c : pointless) {
        const QUrl into = c.into.isEmpty() ? rootURL() : url(c.into);
        NBETest::await(model->files().moveItem(url(c.item), into));
        EXPECT_FALSE(model->errorMessage().has_value()) << c.item.toStdString();
        EXPECT_EQ(model->files().workspace()->fileTree->id, treeID) << c.item.toStdString();
    }
    EXPECT_TRUE(exists(QStringLiteral("a/x/y.html")));

    NBETest::await(model->files().moveItem(url(QStringLiteral("a")), url(QStringLiteral("b"))));
    EXPECT_FALSE(model->errorMessage().has_value()) << error().toStdString();
    EXPECT_TRUE(exists(QStringLiteral("b/a/x/y.html")));
    EXPECT_EQ(model->tab(y)->sourceFile.url, url(QStringLiteral("b/a/x/y.html")));
    EXPECT_EQ(model->tab(y)->sourceFile.content(), QStringLiteral("edited"));
    EXPECT_EQ(model->tab(z)->sourceFile.url, url(QStringLiteral("ab/z.css")));
    EXPECT_EQ(tabFiles().size(), 2);

    // A clash fails with the item's name and leaves everything as it was.
    write(QStringLiteral("clash.txt"), "top");
    NBETest::await(
        model->files().moveItem(url(QStringLiteral("clash.txt")), url(QStringLiteral("c/a"))));
    EXPECT_TRUE(error().startsWith(QStringLiteral("Couldn't move clash.txt: ")))
        << error().toStdString();
    EXPECT_EQ(read(QStringLiteral("c/a/clash.txt")), QByteArray("clash"));
    EXPECT_EQ(read(QStringLiteral("clash.txt")), QByteArray("top"));
}

TEST_F(WorkspaceFiles, ExpansionLivesInTheTreeUntilTheNextRebuild)
{
    write(QStringLiteral("docs/readme.md"), "r");
    write(QStringLiteral("docs/inner/deep.md"), "d");
    load();
    const NBEFileTreeNode docs = *node(QStringLiteral("docs"));
    model->files().toggleExpanded(docs.id);
    EXPECT_TRUE(node(QStringLiteral("docs"))->isExpanded);
    const QUuid inner = node(QStringLiteral("docs"))->children.first().id;
    model->files().toggleExpanded(inner);
    EXPECT_TRUE(node(QStringLiteral("docs"))->children.first().isExpanded);
    model->files().toggleExpanded(docs.id);
    EXPECT_FALSE(node(QStringLiteral("docs"))->isExpanded);
    // The inner folder keeps its own state while its parent is closed.
    EXPECT_TRUE(node(QStringLiteral("docs"))->children.first().isExpanded);

    const NBEFileTreeNode unchanged = *model->files().workspace()->fileTree;
    model->files().toggleExpanded(QUuid::createUuid());
    EXPECT_EQ(*model->files().workspace()->fileTree, unchanged);

    // A rebuild gives new ids and closes every folder; old ids do nothing.
    QSet<QUuid> oldIDs;
    bool open = false;
    collect(unchanged, oldIDs, open);
    NBETest::await(model->files().createFile(QStringLiteral("new.txt"), rootURL()));
    QSet<QUuid> newIDs;
    bool anyOpen = false;
    collect(*model->files().workspace()->fileTree, newIDs, anyOpen);
    EXPECT_FALSE(anyOpen);
    EXPECT_FALSE(newIDs.intersects(oldIDs));
    const NBEFileTreeNode rebuilt = *model->files().workspace()->fileTree;
    model->files().toggleExpanded(docs.id);
    EXPECT_EQ(*model->files().workspace()->fileTree, rebuilt);
}

TEST_F(WorkspaceFiles, ChangesShowInTheGitBadges)
{
    git({QStringLiteral("init"), QStringLiteral("-q")});
    write(QStringLiteral("a.txt"), "a");
    git({QStringLiteral("add"), QStringLiteral("a.txt")});
    git({QStringLiteral("commit"), QStringLiteral("-qm"), QStringLiteral("one")});
    load();
    EXPECT_TRUE(model->gitState().snapshot().status.isEmpty());
    NBETest::await(model->files().createFile(QStringLiteral("b.txt"), rootURL()));
    EXPECT_EQ(model->gitState().status(url(QStringLiteral("b.txt"))), NBEGitStatus::untracked);
}

namespace {

// Answers the save panel with a name in the folder it opened in.
class PanelDesktop : public NBETestDesktop
{
public:
    std::optional<QString> answerName;
    QList<QStringList> panels;

    QFuture<std::optional<QUrl>> chooseNewItemLocation(const QString &message, const QString &name,
                                                       const QString &prompt,
                                                       const QUrl &directory) override
    {
        panels.append({message, name, prompt, NBEFileService::keyPath(directory)});
        if (!answerName)
            return QtFuture::makeReadyFuture(std::optional<QUrl>());
        return QtFuture::makeReadyFuture(std::optional<QUrl>(
            QUrl::fromLocalFile(QDir(directory.toLocalFile()).filePath(*answerName))));
    }
};

} // namespace

TEST_F(WorkspaceFiles, PanelsOpenInTheActiveTabsFolderAndANewFileOpens)
{
    auto panel = std::make_shared<PanelDesktop>();
    model = makeModel([&](NBEWorkspaceEnvironment &environment) { environment.desktop = panel; });
    write(QStringLiteral("css/site.css"), "p {}");
    // Without a workspace no panel opens.
    NBETest::await(model->files().newFile());
    EXPECT_TRUE(panel->panels.isEmpty());
    load();

    panel->answerName = QStringLiteral("first.txt");
    NBETest::await(model->files().newFile());
    ASSERT_EQ(panel->panels.size(), 1);
    EXPECT_EQ(panel->panels[0],
              (QStringList{QStringLiteral("Create a new file"), QStringLiteral("untitled.txt"),
                           QStringLiteral("Create"), QDir::cleanPath(root)}));
    EXPECT_TRUE(exists(QStringLiteral("first.txt")));
    ASSERT_TRUE(model->tabs().activeTab().has_value());
    EXPECT_EQ(model->tabs().activeTab()->sourceFile.url, url(QStringLiteral("first.txt")));
    EXPECT_FALSE(model->tabs().activeTab()->isEphemeral);

    open(QStringLiteral("css/site.css"));
    panel->answerName = QStringLiteral("parts");
    NBETest::await(model->files().newFolder());
    EXPECT_EQ(panel->panels[1],
              (QStringList{QStringLiteral("Create a new folder"), QStringLiteral("untitled folder"),
                           QStringLiteral("Create"), path(QStringLiteral("css"))}));
    EXPECT_TRUE(QFileInfo(path(QStringLiteral("css/parts"))).isDir());
    EXPECT_EQ(model->tabs().activeTab()->sourceFile.url, url(QStringLiteral("css/site.css")));

    // An existing name fails and opens nothing; a cancelled panel does nothing.
    panel->answerName = QStringLiteral("site.css");
    NBETest::await(model->files().newFile());
    EXPECT_TRUE(error().startsWith(QStringLiteral("Failed to create file: ")));
    EXPECT_EQ(read(QStringLiteral("css/site.css")), QByteArray("p {}"));
    panel->answerName = std::nullopt;
    NBETest::await(model->files().newFolder());
    EXPECT_EQ(model->tabs().tabs().size(), 2);
}

TEST_F(WorkspaceFiles, RenamingToTheSameNameDoesNothing)
{
    write(QStringLiteral("a.html"), "a");
    load();
    const QUuid treeID = model->files().workspace()->fileTree->id;
    NBETest::await(
        model->files().renameItem(url(QStringLiteral("a.html")), QStringLiteral("a.html")));
    EXPECT_FALSE(model->errorMessage().has_value()) << error().toStdString();
    EXPECT_EQ(model->files().workspace()->fileTree->id, treeID);
    EXPECT_EQ(read(QStringLiteral("a.html")), QByteArray("a"));
}

TEST_F(WorkspaceFiles, RenamingASwiftFileReopensItInTheSwiftSession)
{
    const QString log = dir.filePath(QStringLiteral("swift.log"));
    qputenv("NBE_FAKE_LSP_LOG", QFile::encodeName(log));
    model = makeModel([](NBEWorkspaceEnvironment &environment) {
        environment.swiftServerOverride = NBETest::toolPath(QStringLiteral("nbe_fake_lsp"));
    });
    const QUuid id =
        loadAndEdit(QStringLiteral("main.swift"), "print(1)\n", QStringLiteral("print(2)\n"));
    NBETest::await(
        model->files().renameItem(url(QStringLiteral("main.swift")), QStringLiteral("app.swift")));
    const auto lines = [&] { return QString::fromUtf8(NBETest::readFile(log)).split(u'\n'); };
    ASSERT_TRUE(NBETest::waitUntil([&] {
        return lines().filter(QStringLiteral("app.swift")).join(u'\n').contains(u"didOpen");
    }));
    const QStringList oldLines = lines().filter(QStringLiteral("main.swift"));
    EXPECT_TRUE(oldLines.join(u'\n').contains(u"didClose"));
    // The new document opens with the buffer as it stands, unsaved edit and all.
    const QString opened = lines().filter(QStringLiteral("app.swift")).join(u'\n');
    EXPECT_TRUE(opened.contains(QStringLiteral("print(2)"))) << opened.toStdString();
    EXPECT_EQ(model->tab(id)->language->id, QStringLiteral("swift"));
    model->shutdownLSP();
    qunsetenv("NBE_FAKE_LSP_LOG");
}
