// The client against the real CSS language server from Vendor/web-lsp. These
// tests fail (never skip) when the servers are not installed: run
// scripts/setup.

#include "NBELSPClient.h"
#include "NBELSPCompletionItem.h"
#include "NBELSPDiagnostic.h"
#include "NBETestSupport.h"

#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QString cssServerScript()
{
    return QStringLiteral(NBE_SOURCE_DIR) +
           "/Vendor/web-lsp/node_modules/vscode-langservers-extracted/bin/"
           "vscode-css-language-server";
}

} // namespace

TEST(NBELSPRealServer, CSSServerDiagnosesCompletesHoversAndShutsDown)
{
    const QString node = QStandardPaths::findExecutable("node");
    ASSERT_FALSE(node.isEmpty()) << "node is not installed; run scripts/setup";
    ASSERT_TRUE(QFileInfo::exists(cssServerScript()))
        << "the web language servers are not installed; run scripts/setup";

    QTemporaryDir dir;
    const QUrl file = QUrl::fromLocalFile(dir.filePath("style.css"));
    const QString uri = file.toString(QUrl::FullyEncoded);

    NBELSPClient client;
    QList<NBELSPPublishedDiagnostics> published;
    bool ended = false;
    QObject::connect(
        &client, &NBELSPClient::notificationReceived, [&](const NBELSPNotification &notification) {
            if (notification.method == "textDocument/publishDiagnostics")
                if (auto parsed = NBELSPPublishedDiagnostics::parse(*notification.params))
                    published.append(*parsed);
        });
    QObject::connect(&client, &NBELSPClient::stopped, [&] { ended = true; });
    ASSERT_TRUE(client.start(node, {cssServerScript(), "--stdio"}).has_value());

    const NBELSPReply init =
        NBETest::await(client.initialize(QUrl::fromLocalFile(dir.path()), "Nabri Editor"));
    ASSERT_TRUE(init.has_value()) << init.error().description().toStdString();
    EXPECT_TRUE(init->find("capabilities"));

    const QString text = "body {\n  color: red;\n  colr: blue;\n}\n.x { margin: 0 }\n";
    ASSERT_TRUE(
        client
            .notify(
                "textDocument/didOpen",
                NBEJSONValue::object(
                    {{"textDocument",
                      NBEJSONValue::object(
                          {{"uri", uri}, {"languageId", "css"}, {"version", 1}, {"text", text}})}}))
            .has_value());
    ASSERT_TRUE(NBETest::waitUntil([&] {
        return std::any_of(published.begin(), published.end(),
                           [&](const auto &p) { return p.uri == uri && !p.diagnostics.isEmpty(); });
    }));
    const auto withProblems = std::find_if(published.begin(), published.end(),
                                           [&](const auto &p) { return !p.diagnostics.isEmpty(); });
    const NBELSPDiagnostic &problem = withProblems->diagnostics.first();
    EXPECT_EQ(problem.startLine, 2);
    EXPECT_EQ(problem.startCharacter, 2);
    EXPECT_EQ(problem.severity, NBELSPDiagnosticSeverity::warning);
    EXPECT_TRUE(problem.message.contains("colr")) << problem.message.toStdString();

    const auto position = [&](int line, int character) {
        return NBEJSONValue::object(
            {{"textDocument", NBEJSONValue::object({{"uri", uri}})},
             {"position", NBEJSONValue::object({{"line", line}, {"character", character}})}});
    };
    const NBELSPReply completion =
        NBETest::await(client.send("textDocument/completion", position(4, 6)));
    ASSERT_TRUE(completion.has_value());
    const QList<NBELSPCompletionItem> items = NBELSPCompletionItem::parse(*completion);
    const auto margin = std::find_if(items.begin(), items.end(),
                                     [](const auto &item) { return item.label == "margin"; });
    ASSERT_NE(margin, items.end());
    // The server sends "margin: $0;" as a snippet although we declined them.
    EXPECT_FALSE(margin->insertText.contains('$')) << margin->insertText.toStdString();
    EXPECT_TRUE(margin->insertText.startsWith("margin")) << margin->insertText.toStdString();

    const NBELSPReply hover = NBETest::await(client.send("textDocument/hover", position(1, 4)));
    ASSERT_TRUE(hover.has_value());
    ASSERT_TRUE(hover->find("contents")) << hover->encoded()->toStdString();

    NBETest::await(client.shutdown());
    EXPECT_TRUE(client.isStopped());
    EXPECT_TRUE(ended);
}
