// The language servers of a folder on their own: the real CSS server from
// Vendor/web-lsp and the fake server standing in for the Swift one.
#include "NBEWorkspaceLanguageServers.h"
#include "NBETestSupport.h"

#include "NBELanguageRegistry.h"

#include <QSignalSpy>
#include <QTemporaryDir>
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
        servers->didOpen(file, language("css"), QStringLiteral("a {}"));
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
    servers->didOpen(url(QStringLiteral("style.css")), language("css"), css->text());
    servers->didOpen(url(QStringLiteral("main.swift")), language("swift"),
                     QStringLiteral("print(1)\n"));
    // No server for these: nothing is published about them.
    servers->didOpen(url(QStringLiteral("page.html")), language("html"), QStringLiteral("<p>"));
    servers->didOpen(url(QStringLiteral("notes.md")), language("markdown"), QStringLiteral("#"));
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
