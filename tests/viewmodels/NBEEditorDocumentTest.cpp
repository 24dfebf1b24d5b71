// A tab's document on its own, then against a real folder and repository:
// each part follows the owner that sets it.
#include "NBEEditorDocument.h"
#include "NBELanguageRegistry.h"
#include "NBEWorkspaceFixture.h"

#include <QSignalSpy>
#include <QTest>

namespace {

// The document's signals as one list of counts, in declaration order.
struct Heard
{
    explicit Heard(NBEEditorDocument &document)
        : buffer(&document, &NBEEditorDocument::bufferChanged)
        , file(&document, &NBEEditorDocument::fileURLChanged)
        , language(&document, &NBEEditorDocument::languageChanged)
        , settings(&document, &NBEEditorDocument::settingsChanged)
        , root(&document, &NBEEditorDocument::repositoryRootChanged)
        , head(&document, &NBEEditorDocument::headContentChanged)
        , diagnostics(&document, &NBEEditorDocument::diagnosticsChanged)
    {}
    QList<qsizetype> counts() const
    {
        return {buffer.size(), file.size(), language.size(),   settings.size(),
                root.size(),   head.size(), diagnostics.size()};
    }
    QSignalSpy buffer, file, language, settings, root, head, diagnostics;
};

NBELSPDiagnostic diagnostic(const QString &message)
{
    NBELSPDiagnostic made;
    made.message = message;
    return made;
}

class EditorDocument : public NBEWorkspaceFixture
{
protected:
    std::shared_ptr<NBEEditorDocument> document(const QUuid &tab) const
    {
        return model->tabs().document(tab);
    }
};

} // namespace

TEST(NBEEditorDocument, SettersAnnounceOnlyWhatChanged)
{
    NBEEditorDocument document;
    ASSERT_TRUE(document.buffer());
    EXPECT_TRUE(document.buffer()->text().isEmpty());
    Heard heard(document);
    const auto other = NBETextBuffer::make(QStringLiteral("other"));
    const QUrl file = QUrl::fromLocalFile(QStringLiteral("/tmp/a.css"));

    const struct
    {
        const char *name;
        std::function<void()> change;
        QList<qsizetype> after;
    } steps[] = {
        {"buffer", [&] { document.setBuffer(other); }, {1, 0, 0, 0, 0, 0, 0}},
        {"same buffer", [&] { document.setBuffer(other); }, {1, 0, 0, 0, 0, 0, 0}},
        {"no buffer keeps the one there", [&] { document.setBuffer({}); }, {1, 0, 0, 0, 0, 0, 0}},
        {"file", [&] { document.setFileURL(file); }, {1, 1, 0, 0, 0, 0, 0}},
        {"same file", [&] { document.setFileURL(file); }, {1, 1, 0, 0, 0, 0, 0}},
        {"language",
         [&] { document.setLanguage(NBELanguageRegistry::css()); },
         {1, 1, 1, 0, 0, 0, 0}},
        {"same language",
         [&] { document.setLanguage(NBELanguageRegistry::css()); },
         {1, 1, 1, 0, 0, 0, 0}},
        {"no language", [&] { document.setLanguage(std::nullopt); }, {1, 1, 2, 0, 0, 0, 0}},
        {"same settings",
         [&] { document.setSettings(document.settings()); },
         {1, 1, 2, 0, 0, 0, 0}},
        {"root", [&] { document.setRepositoryRoot(QUrl(u"file:///r"_qs)); }, {1, 1, 2, 0, 1, 0, 0}},
        {"same root",
         [&] { document.setRepositoryRoot(QUrl(u"file:///r"_qs)); },
         {1, 1, 2, 0, 1, 0, 0}},
        {"head", [&] { document.setHeadContent(u"a\n"_qs); }, {1, 1, 2, 0, 1, 1, 0}},
        {"same head", [&] { document.setHeadContent(u"a\n"_qs); }, {1, 1, 2, 0, 1, 1, 0}},
        {"no head", [&] { document.setHeadContent(std::nullopt); }, {1, 1, 2, 0, 1, 2, 0}},
        {"diagnostics",
         [&] { document.setDiagnostics({diagnostic(u"x"_qs)}); },
         {1, 1, 2, 0, 1, 2, 1}},
        {"same diagnostics",
         [&] { document.setDiagnostics({diagnostic(u"x"_qs)}); },
         {1, 1, 2, 0, 1, 2, 1}},
    };
    for (const auto &step : steps) {
        SCOPED_TRACE(step.name);
        step.change();
        EXPECT_EQ(heard.counts(), step.after);
    }
    EXPECT_EQ(document.buffer(), other);

    // A settings change carries the settings it replaced.
    const NBEEditorSettings before = document.settings();
    NBEEditorSettings larger = before;
    larger.fontSize = before.fontSize + 4;
    document.setSettings(larger);
    ASSERT_EQ(heard.settings.size(), 1);
    EXPECT_EQ(heard.settings.first().first().value<NBEEditorSettings>(), before);
    EXPECT_EQ(document.settings(), larger);
}

// The buffer, file and language are the tab's: a preview tab reused for
// another file keeps its document with the new buffer, a rename finds the
// language again, and a closed tab's document outlives it for whoever holds
// it.
TEST_F(EditorDocument, FollowsItsTabThroughReuseRenameAndClose)
{
    write(u"a.css"_qs, "a {}\n");
    write(u"b.txt"_qs, "plain\n");
    load();
    const NBEOpenTab first = open(u"a.css"_qs, true);
    const std::shared_ptr<NBEEditorDocument> held = document(first.id);
    ASSERT_TRUE(held);
    EXPECT_EQ(held->buffer(), first.sourceFile.buffer);
    EXPECT_EQ(held->fileURL(), url(u"a.css"_qs));
    EXPECT_EQ(held->languageID(), u"css"_qs);
    Heard heard(*held);

    const NBEOpenTab reused = open(u"b.txt"_qs, true);
    ASSERT_EQ(reused.id, first.id);
    EXPECT_EQ(document(first.id), held);
    EXPECT_EQ(held->buffer(), reused.sourceFile.buffer);
    EXPECT_EQ(held->fileURL(), url(u"b.txt"_qs));
    EXPECT_EQ(held->language(), reused.language);
    EXPECT_EQ(heard.counts(), (QList<qsizetype>{1, 1, 1, 0, 0, 0, 0}));

    // Edits and caret moves change the tab, never the document.
    model->tabs().updateContent(u"typed\n"_qs, first.id);
    model->tabs().updateCursorPosition(1, 3, first.id);
    EXPECT_EQ(heard.counts(), (QList<qsizetype>{1, 1, 1, 0, 0, 0, 0}));

    NBETest::await(model->files().renameItem(url(u"b.txt"_qs), u"b.html"_qs));
    EXPECT_EQ(held->fileURL(), url(u"b.html"_qs));
    EXPECT_EQ(held->languageID(), u"html"_qs);
    EXPECT_EQ(held->buffer(), reused.sourceFile.buffer);

    desktop->answer = NBEUnsavedChangesChoice::DontSave;
    ASSERT_TRUE(NBETest::await(model->tabs().closeTab(first.id)));
    EXPECT_FALSE(document(first.id));
    EXPECT_EQ(held->buffer()->text(), u"typed\n"_qs);
}

TEST_F(EditorDocument, SettingsFollowThePreferences)
{
    write(u"a.css"_qs, "a {}\n");
    load();
    const auto held = document(open(u"a.css"_qs).id);
    ASSERT_TRUE(held);
    EXPECT_EQ(held->settings(), model->preferences().editorSettings());
    Heard heard(*held);

    const NBEEditorSettings before = held->settings();
    model->preferences().setTabSize(2);
    ASSERT_EQ(heard.settings.size(), 1);
    EXPECT_EQ(heard.settings.first().first().value<NBEEditorSettings>(), before);
    EXPECT_EQ(held->settings().tabSize, 2);
    // A key the editor doesn't use changes nothing.
    model->preferences().setGitAutoFetch(false);
    EXPECT_EQ(heard.settings.size(), 1);
}

// The store announces every list it is given; the document only a list of
// its own file that differs.
TEST_F(EditorDocument, DiagnosticsFollowTheStore)
{
    write(u"a.css"_qs, "a {}\n");
    write(u"b.css"_qs, "b {}\n");
    load();
    NBEDiagnosticsStore &store = model->diagnosticsStore();
    const QList<NBELSPDiagnostic> early{diagnostic(u"early"_qs)};
    store.set(url(u"b.css"_qs), early);
    const auto held = document(open(u"a.css"_qs).id);
    ASSERT_TRUE(held);
    EXPECT_TRUE(held->diagnostics().isEmpty());
    Heard heard(*held);

    const QList<NBELSPDiagnostic> list{diagnostic(u"one"_qs), diagnostic(u"two"_qs)};
    const struct
    {
        const char *name;
        std::function<void()> publish;
        QList<NBELSPDiagnostic> shown;
        qsizetype announced;
    } steps[] = {
        {"published", [&] { store.set(url(u"a.css"_qs), list); }, list, 1},
        {"published again", [&] { store.set(url(u"a.css"_qs), list); }, list, 1},
        {"another file's", [&] { store.set(url(u"b.css"_qs), {}); }, list, 1},
        {"removed", [&] { store.remove(url(u"a.css"_qs)); }, {}, 2},
        {"published once more", [&] { store.set(url(u"a.css"_qs), list); }, list, 3},
        {"cleared", [&] { store.clear(); }, {}, 4},
    };
    for (const auto &step : steps) {
        SCOPED_TRACE(step.name);
        step.publish();
        EXPECT_EQ(held->diagnostics(), step.shown);
        EXPECT_EQ(heard.diagnostics.size(), step.announced);
    }

    // A tab opened on a file with diagnostics already published shows them.
    store.set(url(u"b.css"_qs), early);
    const auto second = document(open(u"b.css"_qs).id);
    ASSERT_TRUE(second);
    EXPECT_EQ(second->diagnostics(), early);
}

// The repository root and HEAD text come from a real repository, and move
// when a commit moves HEAD.
TEST_F(EditorDocument, HeadTextFollowsTheRepository)
{
    commitAndLoad({{u"a.css"_qs, "a {}\n"}});
    const auto held = document(open(u"a.css"_qs).id);
    ASSERT_TRUE(held);
    EXPECT_TRUE(NBETest::waitUntil([&] { return held->headContent() == u"a {}\n"_qs; }));
    ASSERT_TRUE(held->repositoryRoot().has_value());
    EXPECT_EQ(held->repositoryRoot()->toLocalFile(), QDir(root).canonicalPath());

    write(u"a.css"_qs, "a { color: red; }\n");
    git({"commit", "-qam", "second"});
    Heard heard(*held);
    NBETest::await(model->gitState().refresh());
    EXPECT_TRUE(
        NBETest::waitUntil([&] { return held->headContent() == u"a { color: red; }\n"_qs; }));
    EXPECT_EQ(heard.head.size(), 1);
    EXPECT_EQ(heard.root.size(), 0);

    // A file git doesn't know has no HEAD text.
    write(u"new.css"_qs, "n {}\n");
    const auto fresh = document(open(u"new.css"_qs).id);
    ASSERT_TRUE(fresh);
    EXPECT_TRUE(fresh->repositoryRoot().has_value());
    QTest::qWait(200);
    EXPECT_FALSE(fresh->headContent().has_value());
}

// Outside a repository there is neither root nor HEAD text; making the
// folder a repository brings the root.
TEST_F(EditorDocument, OutsideARepositoryNothingComesFromGit)
{
    write(u"a.css"_qs, "a {}\n");
    load();
    const auto held = document(open(u"a.css"_qs).id);
    ASSERT_TRUE(held);
    QTest::qWait(100);
    EXPECT_FALSE(held->repositoryRoot().has_value());
    EXPECT_FALSE(held->headContent().has_value());

    git({"init", "-q"});
    NBETest::await(model->gitState().refresh());
    EXPECT_TRUE(NBETest::waitUntil([&] { return held->repositoryRoot().has_value(); }));
    EXPECT_FALSE(held->headContent().has_value());
}

// The real CSS server's report reaches the document of the tab it concerns,
// and an edit that mends the file takes it away again.
TEST_F(EditorDocument, DiagnosticsAServerPublishesReachTheDocument)
{
    model = makeModel([](NBEWorkspaceEnvironment &environment) {
        environment.webServerLaunch = [](const QString &language) {
            return NBEWebLSPServers::launch(language);
        };
    });
    ASSERT_TRUE(model->languageServers().hasWebLSP(u"css"_qs))
        << "the web language servers of Vendor/web-lsp are missing; run scripts/setup";
    write(u"style.css"_qs, "a {\n  colr: red;\n}\n");
    load();
    const QUuid tab = open(u"style.css"_qs).id;
    const auto held = document(tab);
    ASSERT_TRUE(held);
    EXPECT_TRUE(NBETest::waitUntil([&] { return !held->diagnostics().isEmpty(); },
                                   std::chrono::seconds(60)));
    EXPECT_EQ(held->diagnostics(), model->diagnosticsStore().forFile(url(u"style.css"_qs)));
    EXPECT_EQ(held->diagnostics().first().startLine, 1);

    model->tabs().updateContent(u"a {\n  color: red;\n}\n"_qs, tab);
    EXPECT_TRUE(NBETest::waitUntil([&] { return held->diagnostics().isEmpty(); },
                                   std::chrono::seconds(60)));
    model->shutdownLSP();
}
