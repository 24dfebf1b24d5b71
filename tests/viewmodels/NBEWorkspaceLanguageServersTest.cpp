// The language servers of a folder on their own: the real CSS server from
// Vendor/web-lsp and the fake server standing in for the Swift one.
#include "NBEWorkspaceLanguageServers.h"
#include "NBETestSupport.h"

#include "NBELanguageRegistry.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTextCursor>
#include <gtest/gtest.h>

namespace {

class LanguageServers : public ::testing::Test
{
protected:
    QTemporaryDir dir;
    // Languages a lookup was made for, in order.
    QStringList lookups;
    // Languages whose server is installed; the others look missing.
    QStringList installed{QStringLiteral("css")};

    std::unique_ptr<NBEWorkspaceLanguageServers> make()
    {
        return std::make_unique<NBEWorkspaceLanguageServers>(
            [this](const QString &language) -> std::optional<NBEWebLSPLaunch> {
                lookups.append(language);
                if (!installed.contains(language))
                    return std::nullopt;
                return NBEWebLSPServers::launch(language);
            },
            NBETest::toolPath(QStringLiteral("nbe_fake_lsp")));
    }

    QUrl url(const QString &name) const { return QUrl::fromLocalFile(dir.filePath(name)); }
    QUrl root() const { return QUrl::fromLocalFile(dir.path()); }
};

std::optional<NBELanguage> language(const char *id)
{
    return NBELanguageRegistry::languageWithID(QString::fromLatin1(id));
}

} // namespace

TEST_F(LanguageServers, ServersAreLookedUpOncePerStart)
{
    const auto servers = make();
    const struct
    {
        std::optional<QString> language;
        bool served;
        QStringList lookedUp;
    } rows[] = {
        {QStringLiteral("css"), true, {QStringLiteral("css")}},
        {QStringLiteral("css"), true, {}},
        {QStringLiteral("html"), false, {QStringLiteral("html")}},
        {QStringLiteral("html"), false, {}},
        // Languages no web server exists for are never looked up.
        {QStringLiteral("markdown"), false, {}},
        {QStringLiteral("swift"), false, {}},
        {std::nullopt, false, {}},
    };
    for (int pass = 0; pass < 2; ++pass) {
        for (const auto &row : rows) {
            SCOPED_TRACE(row.language.value_or(QStringLiteral("(none)")).toStdString());
            lookups.clear();
            EXPECT_EQ(servers->hasWebLSP(row.language), row.served);
            EXPECT_EQ(lookups, row.lookedUp);
        }
        // A new folder looks again: a server may have been installed since.
        servers->start(root());
    }
    EXPECT_FALSE(servers->hasWebLSP(QStringLiteral("html")));
    installed.append(QStringLiteral("html"));
    EXPECT_FALSE(servers->hasWebLSP(QStringLiteral("html")));
    servers->start(root());
    EXPECT_TRUE(servers->hasWebLSP(QStringLiteral("html")));
    servers->shutdown();
}

TEST_F(LanguageServers, ProvidersAnswerNothingWithoutAFolder)
{
    const auto servers = make();
    for (int started = 0; started < 2; ++started) {
        SCOPED_TRACE(started ? "after shutdown" : "before start");
        const QUrl file = url(QStringLiteral("a.css"));
        EXPECT_FALSE(NBETest::await(servers->completion(file, 0, 0)).has_value());
        EXPECT_FALSE(NBETest::await(servers->hover(file, 0, 0)).has_value());
        EXPECT_FALSE(NBETest::await(servers->definition(file, 0, 0)).has_value());
        EXPECT_FALSE(
            NBETest::await(servers->formatting(file, QStringLiteral("a{}"), 4, true)).has_value());
        EXPECT_TRUE(servers->completionTriggers(file).isEmpty());
        // Documents sent meanwhile go nowhere.
        servers->didOpen(file, language("css"), QStringLiteral("a {}"), 0);
        servers->didClose({file});
        servers->start(root());
        servers->shutdown();
    }
    EXPECT_FALSE(servers->checkingStoppedNotice().has_value());
}

TEST_F(LanguageServers, DocumentsReachTheServerOfTheirLanguage)
{
    ASSERT_TRUE(NBEWebLSPServers::launch(QStringLiteral("css")))
        << "the web language servers of Vendor/web-lsp are missing; run scripts/setup";
    qputenv("NBE_FAKE_LSP_PUBLISH", "1");
    const auto servers = make();
    QHash<QString, QList<NBELSPDiagnostic>> published;
    QObject::connect(servers.get(), &NBEWorkspaceLanguageServers::diagnosticsPublished,
                     [&](const QUrl &file, const QList<NBELSPDiagnostic> &list) {
                         published.insert(file.fileName(), list);
                     });
    servers->start(root());

    const auto css = NBETextBuffer::make(QStringLiteral("a { color: red; }\n"));
    QObject::connect(css.get(), &NBETextBuffer::changed, [&](const NBETextChange &change) {
        servers->didChange(url(QStringLiteral("style.css")), QStringLiteral("css"), change, css);
    });
    servers->didOpen(url(QStringLiteral("style.css")), language("css"), css->text(),
                     css->revision());
    servers->didOpen(url(QStringLiteral("main.swift")), language("swift"),
                     QStringLiteral("print(1)\n"), 0);
    // No server for these: nothing is published about them.
    servers->didOpen(url(QStringLiteral("page.html")), language("html"), QStringLiteral("<p>"), 0);
    servers->didOpen(url(QStringLiteral("notes.md")), language("markdown"), QStringLiteral("#"), 0);
    css->replaceAll(QStringLiteral("a { color: red; }\nb { colr: blue; }\n"));

    ASSERT_TRUE(NBETest::waitUntil(
        [&] {
            return !published.value(QStringLiteral("style.css")).isEmpty() &&
                   !published.value(QStringLiteral("main.swift")).isEmpty();
        },
        std::chrono::seconds(60)));
    EXPECT_EQ(published.value(QStringLiteral("style.css")).first().startLine, 1);
    EXPECT_FALSE(published.contains(QStringLiteral("page.html")));
    EXPECT_FALSE(published.contains(QStringLiteral("notes.md")));

    // A stopped folder reports nothing more.
    servers->shutdown();
    published.clear();
    css->replaceAll(QStringLiteral("b { colr: green; }\n"));
    NBETest::waitUntil([] { return false; }, std::chrono::milliseconds(300));
    EXPECT_TRUE(published.isEmpty());
    qunsetenv("NBE_FAKE_LSP_PUBLISH");
}

// The server knows every text by the revision of the buffer it came from:
// after a run of edits, a whole replacement, and a reopening from a new
// buffer whose revisions start again.
TEST_F(LanguageServers, EachTextReachesTheServerUnderItsBufferRevision)
{
    qputenv("NBE_FAKE_LSP_PUBLISH", "1");
    const auto servers = make();
    QString message; // the fake server's last word on main.swift: "version N: first line"
    QObject::connect(servers.get(), &NBEWorkspaceLanguageServers::diagnosticsPublished,
                     [&](const QUrl &, const QList<NBELSPDiagnostic> &list) {
                         message = list.value(0).message;
                     });
    servers->start(root());
    const QUrl file = url(QStringLiteral("main.swift"));
    const auto open = [&](const QString &text) {
        const auto buffer = NBETextBuffer::make(text);
        QObject::connect(
            buffer.get(), &NBETextBuffer::changed,
            [&servers, &file, weak = std::weak_ptr(buffer)](const NBETextChange &change) {
                servers->didChange(file, QStringLiteral("swift"), change, weak.lock());
            });
        servers->didOpen(file, language("swift"), text, buffer->revision());
        return buffer;
    };
    const auto expect = [&](const QString &wanted) {
        EXPECT_TRUE(NBETest::waitUntil([&] { return message == wanted; }))
            << message.toStdString() << " instead of " << wanted.toStdString();
    };

    auto buffer = open(QStringLiteral("print(1)\n"));
    expect(QStringLiteral("version 0: print(1)"));
    QTextCursor cursor(buffer->document());
    for (int key = 0; key < 3; ++key)
        cursor.insertText(QStringLiteral("a"));
    expect(QStringLiteral("version 3: aaaprint(1)"));
    buffer->replaceAll(QStringLiteral("let x = 1\n"));
    expect(QStringLiteral("version 4: let x = 1"));
    ASSERT_EQ(buffer->revision(), 4u);

    servers->didClose({file});
    buffer = open(QStringLiteral("reopened\n"));
    expect(QStringLiteral("version 0: reopened"));
    buffer->replaceAll(QStringLiteral("again\n"));
    expect(QStringLiteral("version 1: again"));
    servers->shutdown();
    qunsetenv("NBE_FAKE_LSP_PUBLISH");
}
