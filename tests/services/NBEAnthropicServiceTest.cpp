#include "NBEAnthropicService.h"
#include "NBEFakeMessagesServer.h"
#include "NBETestSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <gtest/gtest.h>

#include <memory>

namespace {

using FakeServer = NBETest::FakeMessagesServer;
using NBETest::textReply;

const QString diff = QStringLiteral("diff --git a/index.html b/index.html\n+<p>Hi</p>\n");

NBEResult<QString> generate(NBEAnthropicService &service, const QString &diffText = diff,
                            const QString &summary = QStringLiteral("M index.html"),
                            const QString &key = QStringLiteral("sk-test"))
{
    return NBETest::await(service.generateCommitMessage(diffText, summary, {},
                                                        NBEAnthropicServiceModel::sonnet5, key));
}

QString errorText(const NBEResult<QString> &result)
{
    return result ? QStringLiteral("(success) ") + *result : result.error().description;
}

} // namespace

TEST(NBEAnthropicService, RequestCarriesHeadersAndBody)
{
    FakeServer server;
    server.answer(200, textReply(QStringLiteral("Add greeting")));
    NBEAnthropicService service(server.baseURL());
    QStringList subjects;
    for (int i = 1; i <= 12; ++i)
        subjects.append(QStringLiteral("Subject %1").arg(i));

    const auto result = NBETest::await(service.generateCommitMessage(
        diff, QStringLiteral("M index.html"), subjects, NBEAnthropicServiceModel::opus5,
        QStringLiteral("  sk-secret \n")));
    ASSERT_TRUE(result.has_value()) << result.error().description.toStdString();
    EXPECT_EQ(*result, QStringLiteral("Add greeting"));

    ASSERT_EQ(server.requests.size(), 1);
    const FakeServer::Request &request = server.requests.first();
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.path, "/v1/messages");
    EXPECT_EQ(request.header("content-type"), "application/json");
    EXPECT_EQ(request.count("content-type"), 1);
    EXPECT_EQ(request.header("x-api-key"), "sk-secret");
    EXPECT_EQ(request.header("anthropic-version"), "2023-06-01");
    EXPECT_EQ(request.count("cookie"), 0);

    const QJsonObject body = QJsonDocument::fromJson(request.body).object();
    EXPECT_EQ(body.keys(), (QStringList{"max_tokens", "messages", "model", "system", "thinking"}));
    EXPECT_EQ(body.value("model").toString(), QStringLiteral("claude-opus-5"));
    EXPECT_TRUE(body.value("max_tokens").isDouble());
    EXPECT_EQ(body.value("max_tokens").toInt(), 1024);
    EXPECT_EQ(body.value("thinking").toObject(), (QJsonObject{{"type", "disabled"}}));
    EXPECT_EQ(body.value("system").toString(), NBEAnthropicService::systemPrompt());
    const QJsonArray messages = body.value("messages").toArray();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages.first().toObject().keys(), (QStringList{"content", "role"}));
    EXPECT_EQ(messages.first().toObject().value("role").toString(), QStringLiteral("user"));
    QStringList expectedSubjects;
    for (int i = 1; i <= 8; ++i)
        expectedSubjects.append(QStringLiteral("- Subject %1").arg(i));
    EXPECT_EQ(messages.first().toObject().value("content").toString(),
              QStringLiteral("Recent commit subjects (match this style):\n") +
                  expectedSubjects.join('\n') + QStringLiteral("\n\nFiles changed:\nM index.html") +
                  QStringLiteral("\n\nDiff:\n") + diff);
}

TEST(NBEAnthropicService, RepliesAndTheirResults)
{
    struct Case
    {
        const char *name;
        int status;
        QByteArray body;
        QByteArray contentType;
        QString expected; // the message, or the error's description
    };
    const QString emptyResponse = QStringLiteral("Claude returned an empty response. Try again.");
    const QString decoding = QStringLiteral("Couldn’t read Claude’s response.");
    const QList<Case> cases{
        {"plain", 200, textReply(QStringLiteral("\n  Fix crash on empty diff \n")),
         "application/json", QStringLiteral("(success) Fix crash on empty diff")},
        {"fenced", 200, textReply(QStringLiteral("```text\nAdd form\n\n- Validate input\n```")),
         "application/json", QStringLiteral("(success) Add form\n\n- Validate input")},
        {"closing fence alone stays", 200, textReply(QStringLiteral("Add form\n```")),
         "application/json", QStringLiteral("(success) Add form\n```")},
        {"only fences", 200, textReply(QStringLiteral("```\n```")), "application/json",
         emptyResponse},
        {"only an opening fence", 200, textReply(QStringLiteral("```swift")), "application/json",
         emptyResponse},
        {"blank text", 200, textReply(QStringLiteral(" \n\t")), "application/json", emptyResponse},
        {"text blocks joined", 200,
         R"({"content":[{"type":"tool_use","text":"no"},{"type":"text","text":"Fix "},)"
         R"({"type":"text"},{"type":"text","text":"bug"}]})",
         "application/json", QStringLiteral("(success) Fix bug")},
        {"refusal wins over text", 200,
         R"({"stop_reason":"refusal","content":[{"type":"text","text":"Add x"}]})",
         "application/json",
         QStringLiteral("Claude declined to generate a message for this change.")},
        {"no content", 200, R"({"stop_reason":"end_turn"})", "application/json", decoding},
        {"content not objects", 200, R"({"content":["text"]})", "application/json", decoding},
        {"not JSON", 200, "Hello", "text/plain", decoding},
        {"empty body", 200, "", "application/json", decoding},
        {"top level array", 200, "[]", "application/json", decoding},
        {"401 with JSON error", 401,
         R"({"type":"error","error":{"type":"authentication_error","message":"invalid x-api-key"}})",
         "application/json", QStringLiteral("Claude request failed (HTTP 401): invalid x-api-key")},
        {"500 with HTML", 500, "<html><body>Oops</body></html>", "text/html",
         QStringLiteral("Claude request failed (HTTP 500): Unknown error.")},
        {"429 with empty message", 429, R"({"error":{"message":""}})", "application/json",
         QStringLiteral("Claude request failed (HTTP 429): Unknown error.")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        FakeServer server;
        server.answer(c.status, c.body, c.contentType);
        NBEAnthropicService service(server.baseURL());
        EXPECT_EQ(errorText(generate(service)), c.expected);
    }
}

TEST(NBEAnthropicService, InputProblemsSendNothing)
{
    FakeServer server;
    server.answer(200, textReply(QStringLiteral("Describe")));
    NBEAnthropicService service(server.baseURL());

    EXPECT_EQ(
        errorText(generate(service, diff, {}, QStringLiteral(" \n "))),
        QStringLiteral("Add your Anthropic API key in Settings → AI to generate commit messages."));
    EXPECT_EQ(errorText(generate(service, QStringLiteral("\n\n"), {})),
              QStringLiteral("There are no changes to describe — stage some changes first."));
    EXPECT_EQ(server.connections, 0);

    // A file summary alone is enough; the blank diff goes out unchanged.
    EXPECT_EQ(errorText(generate(service, QStringLiteral("\n\n"), QStringLiteral("A logo.png"))),
              QStringLiteral("(success) Describe"));
    ASSERT_EQ(server.requests.size(), 1);
    const QJsonObject body = QJsonDocument::fromJson(server.requests.first().body).object();
    EXPECT_EQ(body.value("messages").toArray().first().toObject().value("content").toString(),
              QStringLiteral("Files changed:\nA logo.png\n\nDiff:\n\n\n"));
}

TEST(NBEAnthropicService, TransportFailures)
{
    const QString prefix = QStringLiteral("Couldn’t reach Claude: ");
    {
        SCOPED_TRACE("connection refused");
        QUrl closed;
        {
            FakeServer gone;
            closed = gone.baseURL();
        }
        NBEAnthropicService service(closed);
        const QString text = errorText(generate(service));
        EXPECT_TRUE(text.startsWith(prefix)) << text.toStdString();
        EXPECT_GT(text.size(), prefix.size());
    }
    {
        SCOPED_TRACE("closed without a reply");
        FakeServer server;
        server.behaviour = FakeServer::Behaviour::closeAtOnce;
        NBEAnthropicService service(server.baseURL());
        const QString text = errorText(generate(service));
        EXPECT_TRUE(text.startsWith(prefix)) << text.toStdString();
    }
    {
        SCOPED_TRACE("slow reply past the time-out");
        FakeServer server;
        server.behaviour = FakeServer::Behaviour::silent;
        NBEAnthropicService service(server.baseURL());
        EXPECT_EQ(service.timeout(), std::chrono::seconds(60));
        service.setTimeout(std::chrono::milliseconds(300));
        EXPECT_EQ(errorText(generate(service)), prefix + QStringLiteral("The request timed out."));
        EXPECT_EQ(server.requests.size(), 1);
    }
}

TEST(NBEAnthropicService, DestroyingTheServiceAnswersPendingCalls)
{
    FakeServer server;
    server.behaviour = FakeServer::Behaviour::silent;
    auto service = std::make_unique<NBEAnthropicService>(server.baseURL());
    QFuture<NBEResult<QString>> pending = service->generateCommitMessage(
        diff, {}, {}, NBEAnthropicServiceModel::haiku45, QStringLiteral("sk"));
    ASSERT_TRUE(NBETest::waitUntil([&] { return server.requests.size() == 1; }));
    service.reset();
    ASSERT_TRUE(NBETest::waitUntil([&] { return pending.isFinished(); }));
    ASSERT_EQ(pending.resultCount(), 1);
    EXPECT_FALSE(pending.result().has_value());
}

TEST(NBEAnthropicService, SystemPromptIsFixed)
{
    const QString prompt = NBEAnthropicService::systemPrompt();
    EXPECT_EQ(prompt.size(), 728);
    EXPECT_EQ(prompt.toUtf8().size(), 730);
    EXPECT_EQ(prompt.count(QLatin1Char('\n')), 7);
    EXPECT_TRUE(prompt.contains(QStringLiteral("1–4 bullet lines (\"- ...\")")));
    EXPECT_FALSE(prompt.endsWith(QLatin1Char('\n')));
}

TEST(NBEAnthropicService, UserContentSections)
{
    EXPECT_EQ(NBEAnthropicService::userContent({}, {}, {}),
              QStringLiteral("Diff:\n(no textual diff available)"));
    EXPECT_EQ(NBEAnthropicService::userContent(QStringLiteral("d"), {}, {QStringLiteral("Fix a")}),
              QStringLiteral("Recent commit subjects (match this style):\n- Fix a\n\nDiff:\nd"));
}

TEST(NBEAnthropicService, StripFences)
{
    const QList<std::pair<QString, QString>> cases{
        {QStringLiteral("Fix it"), QStringLiteral("Fix it")},
        {QStringLiteral("```\nFix it\n```"), QStringLiteral("Fix it")},
        {QStringLiteral("```git\nFix it\n\n- a\n```  "), QStringLiteral("Fix it\n\n- a")},
        {QStringLiteral("```git\n  Fix it  \n"), QStringLiteral("Fix it")},
        {QStringLiteral("```\n```"), QString()},
        {QStringLiteral("Fix it\n```"), QStringLiteral("Fix it\n```")},
    };
    for (const auto &[input, expected] : cases)
        EXPECT_EQ(NBEAnthropicService::stripFences(input), expected) << input.toStdString();
}

TEST(NBEAnthropicService, Models)
{
    const auto all = NBEAnthropicModels::allCases();
    ASSERT_EQ(all.size(), 3);
    EXPECT_EQ(all.first(), NBEAnthropicServiceModel::sonnet5);
    QStringList raw;
    for (const auto model : all) {
        raw.append(NBEAnthropicModels::rawValue(model));
        EXPECT_EQ(NBEAnthropicModels::fromRawValue(raw.last()), model);
    }
    EXPECT_EQ(raw, (QStringList{"claude-sonnet-5", "claude-haiku-4-5", "claude-opus-5"}));
    EXPECT_EQ(NBEAnthropicModels::displayName(NBEAnthropicServiceModel::haiku45),
              QStringLiteral("Claude Haiku 4.5 (fastest)"));
    EXPECT_FALSE(NBEAnthropicModels::fromRawValue(QStringLiteral("Claude-Opus-5")).has_value());
    EXPECT_FALSE(NBEAnthropicModels::fromRawValue({}).has_value());
}
