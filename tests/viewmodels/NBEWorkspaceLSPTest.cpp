// Routing to the language sessions: the real web servers from Vendor/web-lsp,
// and the fake server standing in for sourcekit-lsp and for a server that
// never answers.
#include "NBEHTMLValidator.h"
#include "NBEWorkspaceFixture.h"

#include <QFile>

#include <csignal>

namespace {

QStringList loggedMethods(const QString &logPath, const QString &fileName)
{
    QStringList methods;
    QFile log(logPath);
    if (!log.open(QIODevice::ReadOnly))
        return methods;
    for (const QByteArray &line : log.readAll().split('\n')) {
        if (!line.contains(fileName.toUtf8()))
            continue;
        const qsizetype at = line.indexOf("\"method\":\"");
        if (at >= 0)
            methods.append(QString::fromUtf8(line.mid(at + 10)).section(QLatin1Char('"'), 0, 0));
    }
    return methods;
}

} // namespace

class Routing : public NBEWorkspaceFixture
{
protected:
    QString swiftLog;

    void SetUp() override
    {
        NBEWorkspaceFixture::SetUp();
        swiftLog = dir.filePath(QStringLiteral("swift.log"));
        qputenv("NBE_FAKE_LSP_LOG", QFile::encodeName(swiftLog));
        qputenv("NBE_FAKE_LSP_PUBLISH", "1");
        model = makeModel([](NBEWorkspaceEnvironment &environment) {
            environment.webServerLaunch = [](const QString &language) {
                return NBEWebLSPServers::launch(language);
            };
            environment.swiftServerOverride = NBETest::toolPath(QStringLiteral("nbe_fake_lsp"));
        });
        ASSERT_TRUE(model->languageServers().hasWebLSP(QStringLiteral("css")))
            << "the web language servers of Vendor/web-lsp are missing; run scripts/setup";
    }

    void TearDown() override
    {
        if (model && model->files().workspace())
            model->shutdownLSP();
        qunsetenv("NBE_FAKE_LSP_LOG");
        qunsetenv("NBE_FAKE_LSP_PUBLISH");
    }

    bool waitForDiagnostics(const QString &relative,
                            const std::function<bool(const QList<NBELSPDiagnostic> &)> &test)
    {
        return NBETest::waitUntil(
            [&] {
                return model->diagnosticsStore().all().contains(path(relative)) &&
                       test(model->diagnosticsStore().forFile(url(relative)));
            },
            std::chrono::seconds(60));
    }
};

TEST_F(Routing, EditsReachTheCSSServerAndItsDiagnosticsAreStored)
{
    write(QStringLiteral("style.css"), "a { color: red; }\n");
    load();
    const QUuid id = open(QStringLiteral("style.css")).id;
    model->tabs().updateContent(QStringLiteral("a { color: red; }\nb { colr: blue; }\n"), id);
    ASSERT_TRUE(waitForDiagnostics(QStringLiteral("style.css"),
                                   [](const auto &list) { return !list.isEmpty(); }));
    EXPECT_EQ(model->diagnosticsStore().forFile(url(QStringLiteral("style.css"))).first().startLine,
              1);
    EXPECT_GE(model->diagnosticsStore().summary().warnings +
                  model->diagnosticsStore().summary().errors,
              1);

    // Fixed again: the server's empty list replaces the findings.
    model->tabs().updateContent(QStringLiteral("a { color: red; }\n"), id);
    ASSERT_TRUE(waitForDiagnostics(QStringLiteral("style.css"),
                                   [](const auto &list) { return list.isEmpty(); }));
    EXPECT_TRUE(model->diagnosticsStore().all().contains(path(QStringLiteral("style.css"))));
}

TEST_F(Routing, ServedHTMLIsNotCheckedByTheBuiltInValidator)
{
    const QByteArray text = "<div>\n<p>unclosed\n";
    write(QStringLiteral("index.html"), text);
    load();
    const QUuid id = open(QStringLiteral("index.html")).id;
    model->tabs().updateContent(QString::fromUtf8(text) + QStringLiteral("<span>\n"), id);
    NBETest::waitUntil([] { return false; }, std::chrono::milliseconds(600));
    const auto builtIn =
        NBEHTMLValidator::validate(QString::fromUtf8(text) + QStringLiteral("<span>\n"));
    ASSERT_FALSE(builtIn.isEmpty());
    for (const NBELSPDiagnostic &d :
         model->diagnosticsStore().forFile(url(QStringLiteral("index.html"))))
        EXPECT_FALSE(builtIn.contains(d)) << d.message.toStdString();
}

TEST_F(Routing, SwiftGoesToTheSwiftSessionOnlyAndClosesGoToBoth)
{
    write(QStringLiteral("Sources/main.swift"), "print(1)\n");
    write(QStringLiteral("notes.md"), "# notes\n");
    write(QStringLiteral("a.css"), "a {}\n");
    load();
    const QUuid swift = open(QStringLiteral("Sources/main.swift")).id;
    ASSERT_TRUE(waitForDiagnostics(QStringLiteral("Sources/main.swift"),
                                   [](const auto &list) { return !list.isEmpty(); }));
    model->tabs().updateContent(QStringLiteral("print(2)\n"), swift);
    ASSERT_TRUE(waitForDiagnostics(QStringLiteral("Sources/main.swift"), [](const auto &list) {
        return !list.isEmpty() && list.first().message == QStringLiteral("version 1: print(2)");
    }));
    const QUuid markdown = open(QStringLiteral("notes.md")).id;
    model->tabs().updateContent(QStringLiteral("# more"), markdown);
    const QUuid css = open(QStringLiteral("a.css")).id;

    desktop->answer = NBEUnsavedChangesChoice::DontSave;
    EXPECT_TRUE(NBETest::await(model->tabs().closeTab(css)));
    EXPECT_TRUE(NBETest::await(model->tabs().closeTab(markdown)));
    EXPECT_TRUE(NBETest::await(model->tabs().closeTab(swift)));
    ASSERT_TRUE(NBETest::waitUntil([&] {
        return loggedMethods(swiftLog, QStringLiteral("main.swift"))
            .contains(QStringLiteral("textDocument/didClose"));
    }));
    EXPECT_EQ(loggedMethods(swiftLog, QStringLiteral("main.swift")),
              (QStringList{QStringLiteral("textDocument/didOpen"),
                           QStringLiteral("textDocument/didChange"),
                           QStringLiteral("textDocument/didClose")}));
    // Documents it never opened are ignored by the Swift session.
    EXPECT_TRUE(loggedMethods(swiftLog, QStringLiteral("notes.md")).isEmpty());
    EXPECT_TRUE(loggedMethods(swiftLog, QStringLiteral("a.css")).isEmpty());
    // Closing the tab dropped its diagnostics.
    EXPECT_FALSE(
        model->diagnosticsStore().all().contains(path(QStringLiteral("Sources/main.swift"))));
}

TEST_F(Routing, FormatOnSaveAsksTheServer)
{
    settings->setBool(QStringLiteral("nbe.formatOnSave"), true);
    settings->setInt(QStringLiteral("nbe.tabSize"), 3);
    write(QStringLiteral("a.css"), "a{color:red;margin:0}");
    load();
    const QUuid id = open(QStringLiteral("a.css")).id;
    EXPECT_TRUE(saveAndWait(id, true));
    const QByteArray written = read(QStringLiteral("a.css"));
    EXPECT_TRUE(written.contains("\n   color: red;")) << written.toStdString();
    EXPECT_EQ(model->tab(id)->sourceFile.content(), QString::fromUtf8(written));
    EXPECT_FALSE(model->tab(id)->sourceFile.isDirty());
}

TEST_F(Routing, DefinitionInAnotherFileOpensItAndRevealsTheLine)
{
    write(QStringLiteral("lib.js"),
          "// helpers\n\nexport function greet(name) {\n  return name;\n}\n");
    write(QStringLiteral("main.js"), "import { greet } from './lib.js';\ngreet('x');\n");
    load();
    open(QStringLiteral("lib.js"));
    const QUuid main = open(QStringLiteral("main.js")).id;
    model->tabs().updateCursorPosition(2, 2, main);
    // The TypeScript server needs a moment to load the project; ask until it answers.
    ASSERT_TRUE(NBETest::waitUntil(
        [&] {
            if (model->navigation().revealTarget())
                return true;
            model->jumpToDefinition();
            NBETest::waitUntil([] { return false; }, std::chrono::milliseconds(500));
            return model->navigation().revealTarget().has_value();
        },
        std::chrono::seconds(60)));
    EXPECT_EQ(NBEFileService::keyPath(model->navigation().revealTarget()->url),
              path(QStringLiteral("lib.js")));
    EXPECT_EQ(model->navigation().revealTarget()->line, 3);
    EXPECT_EQ(NBEFileService::keyPath(model->tabs().activeTab()->sourceFile.url),
              path(QStringLiteral("lib.js")));
}

TEST_F(Routing, ProvidersAnswerNothingAfterTheWorkspaceCloses)
{
    write(QStringLiteral("a.css"), "a { color: red; }\n");
    load();
    open(QStringLiteral("a.css"));
    EXPECT_TRUE(NBETest::await(model->closeWorkspace()));
    EXPECT_FALSE(NBETest::await(model->languageServers().hover(url(QStringLiteral("a.css")), 0, 5))
                     .has_value());
    EXPECT_FALSE(
        NBETest::await(model->languageServers().completion(url(QStringLiteral("a.css")), 0, 5))
            .has_value());
    EXPECT_TRUE(model->diagnosticsStore().all().isEmpty());
}

TEST_F(NBEWorkspaceFixture, ASilentFormattingServerFallsBackToTheBuiltInFormatter)
{
    const QString fake = NBETest::toolPath(QStringLiteral("nbe_fake_lsp"));
    model = makeModel([fake](NBEWorkspaceEnvironment &environment) {
        environment.webServerLaunch =
            [fake](const QString &language) -> std::optional<NBEWebLSPLaunch> {
            if (language != QLatin1String("css"))
                return std::nullopt;
            return NBEWebLSPLaunch{fake,
                                   {QStringLiteral("--hang-requests"), QStringLiteral("--stdio")},
                                   QStringLiteral("css")};
        };
        environment.timings.serverFormattingLimit = std::chrono::milliseconds(300);
    });
    settings->setBool(QStringLiteral("nbe.formatOnSave"), true);
    write(QStringLiteral("a.css"), "a{color:red}");
    load();
    const QUuid id = open(QStringLiteral("a.css")).id;
    // Give the fake time to start, so the request reaches it and hangs.
    NBETest::waitUntil([] { return false; }, std::chrono::milliseconds(500));
    EXPECT_TRUE(saveAndWait(id, true));
    EXPECT_NE(read(QStringLiteral("a.css")), "a{color:red}");
    EXPECT_FALSE(model->tab(id)->sourceFile.isDirty());
    model->shutdownLSP();
}

TEST_F(Routing, AServerThatDiesTakesItsDiagnosticsAndSaysCheckingStopped)
{
    // A server an earlier test shut down while it started quits only once its
    // start is over; until then it would be taken for this test's own.
    ASSERT_TRUE(NBETest::waitUntil(
        [] {
            return NBETest::childProcess("vscode-css-language-server") == 0 &&
                   NBETest::childProcess("nbe_fake_lsp") == 0;
        },
        std::chrono::seconds(60)));
    write(QStringLiteral("style.css"), "a { color: red; }\n");
    write(QStringLiteral("Sources/main.swift"), "print(1)\n");
    load();
    const QUuid css = open(QStringLiteral("style.css")).id;
    model->tabs().updateContent(QStringLiteral("a { color: red; }\nb { colr: blue; }\n"), css);
    open(QStringLiteral("Sources/main.swift"));
    const struct
    {
        const char *file;
        QByteArray server;
        QString notice;
    } rows[] = {
        {"style.css", "vscode-css-language-server",
         QStringLiteral("CSS checking stopped: its language server quit.")},
        {"Sources/main.swift", "nbe_fake_lsp",
         QStringLiteral("CSS and Swift checking stopped: their language servers quit.")},
    };
    for (const auto &row : rows) {
        const QString file = QString::fromUtf8(row.file);
        ASSERT_TRUE(waitForDiagnostics(file, [](const auto &list) { return !list.isEmpty(); }))
            << row.file;
        const pid_t server = NBETest::childProcess(row.server);
        ASSERT_GT(server, 0) << row.file;
        ASSERT_EQ(::kill(server, SIGKILL), 0);
        EXPECT_TRUE(NBETest::waitUntil([&] {
            return model->diagnosticsStore().forFile(url(file)).isEmpty();
        })) << row.file;
        EXPECT_EQ(model->languageServers().checkingStoppedNotice().value_or(QString()), row.notice);
    }
    EXPECT_EQ(model->diagnosticsStore().summary().errors +
                  model->diagnosticsStore().summary().warnings,
              0);

    // Nothing starts the server again, and reopening the folder starts afresh.
    model->tabs().updateContent(QStringLiteral("a { colr: red; }\n"), css);
    EXPECT_EQ(NBETest::childProcess("vscode-css-language-server"), 0);
    model->shutdownLSP();
    EXPECT_FALSE(model->languageServers().checkingStoppedNotice().has_value());
}
