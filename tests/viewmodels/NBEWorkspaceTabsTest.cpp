#include "NBECommitDrafts.h"
#include "NBEEditorDocument.h"
#include "NBEWindowOpener.h"
#include "NBEWorkspaceFixture.h"

#include <sys/stat.h>

using Tabs = NBEWorkspaceFixture;
using Lifecycle = NBEWorkspaceFixture;

TEST_F(Lifecycle, LoadingAMissingFolderFailsWithTheSentence)
{
    int loadingChanges = 0;
    QObject::connect(&model->gitState(), &NBEGitState::loadingChanged, [&] { ++loadingChanges; });
    NBETest::await(model->loadWorkspace(QUrl::fromLocalFile(root + QStringLiteral("/missing"))));
    EXPECT_FALSE(model->files().workspace().has_value());
    ASSERT_TRUE(model->errorMessage().has_value());
    EXPECT_TRUE(model->errorMessage()->startsWith(QStringLiteral("Failed to open folder: ")));
    EXPECT_FALSE(model->gitState().isLoading());
    EXPECT_EQ(loadingChanges, 2);
    EXPECT_TRUE(model->recentProjects().isEmpty());
}

TEST_F(Lifecycle, LoadBuildsTheWorkspaceRecordsTheFolderAndRestoresTheDraft)
{
    write(QStringLiteral("index.html"), "<p>hi</p>\n");
    write(QStringLiteral("css/main.css"), "p {}\n");
    git({QStringLiteral("init"), QStringLiteral("-q")});
    NBECommitDrafts::save(QStringLiteral("Half-written message"), rootURL(), *settings);
    model->commitBox().setCommitMessage(QStringLiteral("earlier"));

    load();
    const NBEWorkspace &workspace = *model->files().workspace();
    EXPECT_EQ(workspace.rootURL, rootURL());
    ASSERT_TRUE(workspace.fileTree.has_value());
    ASSERT_EQ(workspace.fileTree->children.size(), 2);
    EXPECT_EQ(workspace.fileTree->children[0].name, QStringLiteral("css"));
    EXPECT_TRUE(model->tabs().tabs().isEmpty());
    EXPECT_FALSE(model->tabs().activeTabID().has_value());
    EXPECT_EQ(model->recentProjects().value(0), rootURL());
    EXPECT_TRUE(model->gitState().isRepository());
    EXPECT_EQ(model->commitBox().commitMessage(), QStringLiteral("Half-written message"));
    EXPECT_FALSE(model->gitState().isLoading());
    EXPECT_FALSE(model->errorMessage().has_value());

    // A second window's model reads the stored list.
    EXPECT_EQ(makeModel()->recentProjects().value(0), rootURL());
    model->clearRecentProjects();
    EXPECT_TRUE(model->recentProjects().isEmpty());
    EXPECT_TRUE(makeModel()->recentProjects().isEmpty());
}

TEST_F(Lifecycle, OutsideARepositoryTheCommitMessageIsKept)
{
    model->commitBox().setCommitMessage(QStringLiteral("earlier"));
    load();
    EXPECT_FALSE(model->gitState().isRepository());
    EXPECT_EQ(model->commitBox().commitMessage(), QStringLiteral("earlier"));
}

TEST_F(Lifecycle, CloseForgetsTheWorkspaceAndDiagnosticsButKeepsGitState)
{
    write(QStringLiteral("a.html"), "<div>\n");
    git({QStringLiteral("init"), QStringLiteral("-q")});
    load();
    open(QStringLiteral("a.html"));
    ASSERT_TRUE(NBETest::waitUntil([&] { return !model->diagnosticsStore().all().isEmpty(); }));
    const auto branch = model->gitState().snapshot().branch;
    const auto changes = model->gitState().snapshot().changes;
    ASSERT_FALSE(changes.isEmpty());

    EXPECT_TRUE(NBETest::await(model->closeWorkspace()));
    EXPECT_FALSE(model->files().workspace().has_value());
    EXPECT_FALSE(model->errorMessage().has_value());
    EXPECT_TRUE(model->diagnosticsStore().all().isEmpty());
    EXPECT_EQ(model->gitState().snapshot().branch, branch);
    EXPECT_EQ(model->gitState().snapshot().changes, changes);

    // Without a workspace it still runs and changes nothing else.
    EXPECT_TRUE(NBETest::await(model->closeWorkspace()));
}

TEST_F(Lifecycle, RecognisesTheWebFrameworkManifest)
{
    struct Case
    {
        const char *name;
        std::optional<QByteArray> manifest;
        bool expected;
    };
    const QList<Case> cases{
        {"no manifest", std::nullopt, false},
        {"package by URL", ".package(url: \"https://github.com/vapor/vapor.git\", from: \"4.0.0\")",
         true},
        {"only in a comment", "// see vapor/vapor\nlet x = 1", true},
        {"package by name", ".package(name: \"vapor\", path: \"../v\")", true},
        {"capitalised only", ".package(name: \"Vapor\", path: \"../V\")", false},
        {"word after the closing parenthesis", ".package(path: \"../x\") // vapor", false},
        {"not UTF-8", QByteArray("\xff\xfe vapor/vapor"), false},
    };
    load();
    desktop->sibling = QUrl::fromLocalFile(QStringLiteral("/usr/share/applications/t.desktop"));
    for (const Case &c : cases) {
        QFile::remove(path(QStringLiteral("Package.swift")));
        if (c.manifest)
            write(QStringLiteral("Package.swift"), *c.manifest);
        // The manifest is read with the folder, not at every question.
        NBETest::await(model->files().refreshFileTree());
        EXPECT_EQ(model->files().isVaporProject(), c.expected) << c.name;
        EXPECT_EQ(model->files().canOpenInTarnwick(), c.expected) << c.name;
    }
    desktop->sibling.reset();
    EXPECT_FALSE(model->files().canOpenInTarnwick());
    model->files().openInTarnwick();
    EXPECT_TRUE(desktop->opened.isEmpty());
    desktop->sibling = QUrl::fromLocalFile(QStringLiteral("/usr/share/applications/t.desktop"));
    model->files().openInTarnwick();
    ASSERT_EQ(desktop->opened.size(), 1);
    EXPECT_EQ(desktop->opened[0].first, QList<QUrl>{rootURL()});
}

TEST_F(Tabs, PreviewTabIsReusedInPlaceAndKeptWhenOpenedForGood)
{
    write(QStringLiteral("a.html"), "a");
    write(QStringLiteral("b.css"), "b");
    write(QStringLiteral("c.js"), "c");
    write(QStringLiteral("d.md"), "d");
    load();

    const NBEOpenTab permanent = open(QStringLiteral("d.md"));
    EXPECT_FALSE(permanent.isEphemeral);
    const NBEOpenTab preview = open(QStringLiteral("a.html"), true);
    EXPECT_TRUE(preview.isEphemeral);
    EXPECT_EQ(preview.language->id, QStringLiteral("html"));
    model->tabs().updateCursorPosition(4, 2, preview.id);

    // The next preview replaces the file in the same tab, caret back at 1:1.
    const NBEOpenTab reused = open(QStringLiteral("b.css"), true);
    EXPECT_EQ(reused.id, preview.id);
    EXPECT_TRUE(reused.isEphemeral);
    EXPECT_EQ(reused.sourceFile.content(), QStringLiteral("b"));
    EXPECT_EQ(reused.language->id, QStringLiteral("css"));
    EXPECT_EQ(model->tabs().document(reused.id)->caret(), (NBECursorPosition{1, 1}));
    EXPECT_EQ(tabFiles(), (QList<QUrl>{url(QStringLiteral("d.md")), url(QStringLiteral("b.css"))}));

    // Opening it for good pins the same tab without reading it again.
    write(QStringLiteral("b.css"), "changed on disk");
    const NBEOpenTab pinned = open(QStringLiteral("b.css"));
    EXPECT_EQ(pinned.id, preview.id);
    EXPECT_FALSE(pinned.isEphemeral);
    EXPECT_EQ(pinned.sourceFile.content(), QStringLiteral("b"));

    // A preview request for a file open for good only activates it.
    model->navigation().activateTab(pinned.id);
    const NBEOpenTab stays = open(QStringLiteral("d.md"), true);
    EXPECT_EQ(stays.id, permanent.id);
    EXPECT_FALSE(stays.isEphemeral);

    // Without a preview tab a preview request appends one.
    const NBEOpenTab fresh = open(QStringLiteral("c.js"), true);
    EXPECT_TRUE(fresh.isEphemeral);
    EXPECT_EQ(model->tabs().tabs().size(), 3);
    EXPECT_EQ(model->tabs().tabs().last().id, fresh.id);

    // Typing into the preview tab keeps it; the next preview adds a tab.
    model->tabs().updateContent(QStringLiteral("c2"), fresh.id);
    EXPECT_FALSE(model->tab(fresh.id)->isEphemeral);
    const NBEOpenTab next = open(QStringLiteral("a.html"), true);
    EXPECT_NE(next.id, fresh.id);
    EXPECT_EQ(model->tabs().tabs().size(), 4);
}

TEST_F(Tabs, UnreadableFilesOpenNoTab)
{
    write(QStringLiteral("a.css"), "a");
    write(QStringLiteral("bad.txt"), QByteArray("ok \xc3\x28 no"));
    load();
    open(QStringLiteral("a.css"), true);
    NBETest::await(model->navigation().openFile(url(QStringLiteral("bad.txt")), true));
    ASSERT_TRUE(model->errorMessage().has_value());
    EXPECT_TRUE(model->errorMessage()->startsWith(QStringLiteral("Failed to read file: ")));
    EXPECT_EQ(tabFiles(), QList<QUrl>{url(QStringLiteral("a.css"))});
    model->clearErrorMessage();
    NBETest::await(model->navigation().openFile(url(QStringLiteral("missing.css")), false));
    EXPECT_TRUE(model->errorMessage()->startsWith(QStringLiteral("Failed to read file: ")));
    EXPECT_EQ(model->tabs().tabs().size(), 1);
}

TEST_F(Tabs, APipeInTheFolderIsRefusedAndSavesGoOn)
{
    const QUuid edited = loadAndEdit(QStringLiteral("a.css"), "a", QStringLiteral("b"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(path(QStringLiteral("pipe"))).constData(), 0600), 0);

    // No writer ever comes: an open that waited for one would never return.
    NBETest::await(model->navigation().openFile(url(QStringLiteral("pipe")), true));
    EXPECT_EQ(model->errorMessage().value_or(QString()),
              QStringLiteral("Failed to read file: Couldn't read “pipe”: it's a named pipe, not a "
                             "file."));
    EXPECT_EQ(tabFiles(), QList<QUrl>{url(QStringLiteral("a.css"))});
    EXPECT_TRUE(saveAndWait(edited, false));
    EXPECT_EQ(read(QStringLiteral("a.css")), "b");
}

TEST_F(Tabs, OverlappingRequestsForOneFileGiveOneTab)
{
    write(QStringLiteral("a.css"), "a");
    load();
    auto first = model->navigation().openFile(url(QStringLiteral("a.css")), true);
    auto second = model->navigation().openFile(url(QStringLiteral("a.css")), false);
    NBETest::await(first);
    NBETest::await(second);
    ASSERT_EQ(model->tabs().tabs().size(), 1);
    EXPECT_FALSE(model->tabs().tabs()[0].isEphemeral);
}

// A long file's start is there to show while its tab is made, and goes in
// the turn the tab comes; a short file's tab comes at once.
TEST_F(Tabs, ALongFileShowsItsStartUntilItsTabComes)
{
    const QByteArray line = "<p>a line of the page</p>\n";
    write(QStringLiteral("long.html"), line.repeated(64 * 1024));
    write(QStringLiteral("short.html"), line);
    load();
    QList<std::optional<NBEOpeningFile>> seen;
    QList<qsizetype> tabCounts;
    QObject::connect(&model->tabs(), &NBEWorkspaceTabs::openingChanged, [&] {
        seen.append(model->tabs().opening());
        tabCounts.append(model->tabs().tabs().size());
    });
    int tabChanges = 0;
    QObject::connect(&model->tabs(), &NBEWorkspaceTabs::tabsChanged, [&] {
        // Never a tab beside a start shown for it.
        EXPECT_FALSE(model->tabs().opening().has_value());
        ++tabChanges;
    });
    open(QStringLiteral("short.html"));
    EXPECT_TRUE(seen.isEmpty());

    tabChanges = 0;
    open(QStringLiteral("long.html"));
    ASSERT_EQ(seen.size(), 2);
    ASSERT_TRUE(seen[0].has_value());
    EXPECT_EQ(seen[0]->url, url(QStringLiteral("long.html")));
    EXPECT_EQ(seen[0]->start, QString::fromLatin1(line.repeated(NBEOpeningFile::shownLines)));
    EXPECT_FALSE(seen[1].has_value());
    EXPECT_EQ(tabCounts, (QList<qsizetype>{1, 1}));
    EXPECT_EQ(tabChanges, 1);
    EXPECT_EQ(model->tabs().tabs().size(), 2);
}

TEST_F(Tabs, ClosingPicksTheRightmostTabAndMovingKeepsTheActiveOne)
{
    for (const char *name : {"a.css", "b.css", "c.css"})
        write(QString::fromLatin1(name), name);
    load();
    const QUuid a = open(QStringLiteral("a.css")).id;
    const QUuid b = open(QStringLiteral("b.css")).id;
    const QUuid c = open(QStringLiteral("c.css")).id;

    auto order = [&] {
        QList<QUuid> ids;
        for (const NBEOpenTab &tab : model->tabs().tabs())
            ids.append(tab.id);
        return ids;
    };
    struct Move
    {
        int from, to;
        QList<QUuid> expected;
    };
    for (const Move &m : QList<Move>{{0, 2, {b, c, a}},
                                     {2, 0, {a, b, c}},
                                     {1, 1, {a, b, c}},
                                     {1, 3, {a, b, c}},
                                     {-1, 0, {a, b, c}}}) {
        model->tabs().moveTab(m.from, m.to);
        EXPECT_EQ(order(), m.expected) << m.from << "->" << m.to;
    }
    EXPECT_EQ(model->tabs().activeTabID(), c);

    model->navigation().activateTab(b);
    EXPECT_TRUE(NBETest::await(model->tabs().closeTab(b)));
    EXPECT_EQ(model->tabs().activeTabID(), c);
    EXPECT_TRUE(NBETest::await(model->tabs().closeTab(a)));
    EXPECT_EQ(model->tabs().activeTabID(), c);
    EXPECT_TRUE(NBETest::await(model->tabs().closeTab(c)));
    EXPECT_FALSE(model->tabs().activeTabID().has_value());
}

TEST_F(Tabs, ClosingOthersAndAll)
{
    for (const char *name : {"a.css", "b.css", "c.css"})
        write(QString::fromLatin1(name), name);
    load();
    open(QStringLiteral("a.css"));
    const QUuid b = open(QStringLiteral("b.css")).id;
    open(QStringLiteral("c.css"));
    EXPECT_TRUE(NBETest::await(model->tabs().closeOtherTabs(b)));
    EXPECT_EQ(tabFiles(), QList<QUrl>{url(QStringLiteral("b.css"))});
    EXPECT_EQ(model->tabs().activeTabID(), b);
    EXPECT_TRUE(NBETest::await(model->tabs().closeAllTabs()));
    EXPECT_TRUE(model->tabs().tabs().isEmpty());
    EXPECT_FALSE(model->tabs().activeTabID().has_value());
    EXPECT_TRUE(desktop->questions.isEmpty());
}

TEST_F(Tabs, ClosingUnsavedEditsAsksFirst)
{
    write(QStringLiteral("a.css"), "a");
    write(QStringLiteral("b.css"), "b");
    load();
    const QUuid a = open(QStringLiteral("a.css")).id;
    const QUuid b = open(QStringLiteral("b.css")).id;
    model->tabs().updateContent(QStringLiteral("edited a"), a);

    desktop->answer = NBEUnsavedChangesChoice::Cancel;
    EXPECT_FALSE(NBETest::await(model->tabs().closeTab(a)));
    EXPECT_FALSE(NBETest::await(model->tabs().closeAllTabs()));
    EXPECT_EQ(model->tabs().tabs().size(), 2);
    ASSERT_EQ(desktop->questions.size(), 2);
    EXPECT_EQ(desktop->questions[0], QStringList{QStringLiteral("a.css")});
    EXPECT_FALSE(NBETest::await(model->closeWorkspace()));
    EXPECT_TRUE(model->files().workspace().has_value());

    // A clean tab closes without a question.
    EXPECT_TRUE(NBETest::await(model->tabs().closeTab(b)));
    EXPECT_EQ(desktop->questions.size(), 3);

    desktop->answer = NBEUnsavedChangesChoice::Save;
    EXPECT_TRUE(NBETest::await(model->tabs().closeTab(a)));
    EXPECT_EQ(read(QStringLiteral("a.css")), "edited a");
    EXPECT_TRUE(model->tabs().tabs().isEmpty());

    const QUuid again = open(QStringLiteral("a.css")).id;
    model->tabs().updateContent(QStringLiteral("dropped"), again);
    desktop->answer = NBEUnsavedChangesChoice::DontSave;
    EXPECT_TRUE(NBETest::await(model->closeWorkspace()));
    EXPECT_FALSE(model->files().workspace().has_value());
    EXPECT_EQ(read(QStringLiteral("a.css")), "edited a");
}

TEST_F(Tabs, SaveAnswerThatFailsKeepsTheTabAndItsEdits)
{
    const QUuid a = loadAndEdit(QStringLiteral("a.css"), "a", QStringLiteral("keep me"));
    blockWrites(QStringLiteral("a.css"));

    desktop->answer = NBEUnsavedChangesChoice::Save;
    EXPECT_FALSE(NBETest::await(model->tabs().closeTab(a)));
    ASSERT_TRUE(model->tab(a).has_value());
    EXPECT_EQ(model->tab(a)->sourceFile.content(), QStringLiteral("keep me"));
    EXPECT_TRUE(model->tab(a)->sourceFile.isDirty());
    ASSERT_TRUE(model->errorMessage().has_value());
    EXPECT_TRUE(model->errorMessage()->startsWith(QStringLiteral("Failed to save: ")));
}

TEST_F(Tabs, PendingFilesQueuedBeforeTheLoadOpenAfterIt)
{
    write(QStringLiteral("a.css"), "a");
    write(QStringLiteral("b.html"), "b");
    QTemporaryDir other;
    NBETest::writeFile(other.filePath(QStringLiteral("x.css")), "x");

    NBEWindowOpener &opener = NBEWindowOpener::shared();
    QList<QUrl> shown;
    opener.setWindowOpeningAction([&](const QUrl &r) { shown.append(r); });
    opener.open(url(QStringLiteral("b.html")));
    opener.open(url(QStringLiteral("a.css")));
    opener.open(QUrl::fromLocalFile(other.filePath(QStringLiteral("x.css"))));

    // Nothing is taken while there is no workspace.
    model->openPendingFiles(rootURL());
    load();
    model->openPendingFiles(QUrl::fromLocalFile(other.path()));
    model->openPendingFiles(rootURL());
    ASSERT_TRUE(NBETest::waitUntil([&] { return model->tabs().tabs().size() == 2; }));
    EXPECT_EQ(tabFiles(),
              (QList<QUrl>{url(QStringLiteral("b.html")), url(QStringLiteral("a.css"))}));
    EXPECT_FALSE(model->tabs().tabs()[0].isEphemeral);
    EXPECT_EQ(model->tabs().activeTab()->sourceFile.url, url(QStringLiteral("a.css")));

    // The other folder's file still waits for its own window.
    EXPECT_EQ(opener.takePendingFiles(QUrl::fromLocalFile(other.path())).size(), 1);
    opener.setWindowOpeningAction({});
}

TEST_F(Tabs, RevealOpensForGoodAndAnnouncesEveryTime)
{
    write(QStringLiteral("a.css"), "a\nb\nc\n");
    load();
    const QUuid preview = open(QStringLiteral("a.css"), true).id;
    int announced = 0;
    QObject::connect(&model->navigation(), &NBEWorkspaceNavigation::revealTargetChanged,
                     [&] { ++announced; });
    model->navigation().setDiffTarget(url(QStringLiteral("a.css")));
    model->navigation().revealLine(url(QStringLiteral("a.css")), 3);
    model->navigation().revealLine(url(QStringLiteral("a.css")), 3);
    EXPECT_EQ(announced, 2);
    EXPECT_FALSE(model->navigation().diffTarget().has_value());
    EXPECT_EQ(model->navigation().revealTarget(),
              (NBERevealTarget{url(QStringLiteral("a.css")), 3}));
    EXPECT_FALSE(model->tab(preview)->isEphemeral);
    model->navigation().clearRevealTarget();
    EXPECT_FALSE(model->navigation().revealTarget().has_value());
}

TEST_F(Tabs, OutlineOfTheActiveTabsCurrentText)
{
    write(QStringLiteral("a.css"), "body { margin: 0; }\n");
    write(QStringLiteral("notes.txt"), "plain\n");
    load();
    EXPECT_TRUE(model->activeOutline().isEmpty());
    const QUuid css = open(QStringLiteral("a.css")).id;
    ASSERT_EQ(model->activeOutline().size(), 1);
    EXPECT_EQ(model->activeOutline()[0].name, QStringLiteral("body"));
    model->tabs().updateContent(QStringLiteral("body {}\n.card {}\n"), css);
    ASSERT_EQ(model->activeOutline().size(), 2);
    EXPECT_EQ(model->activeOutline()[1].line, 2);
    open(QStringLiteral("notes.txt"));
    EXPECT_TRUE(model->activeOutline().isEmpty());
}
