#include "NBELSPClient.h"
#include "NBEMemory.h"
#include "NBETestSupport.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

class NBELSPClientTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        logPath = dir.filePath("received.log");
    }

    // A started client talking to the fake server.
    std::unique_ptr<NBELSPClient> started(QStringList options = {})
    {
        auto client = std::make_unique<NBELSPClient>();
        options << "--log=" + logPath;
        auto result = client->start(NBETest::toolPath("nbe_fake_lsp"), options);
        EXPECT_TRUE(result.has_value()) << (result ? "" : result.error().description.toStdString());
        return client;
    }

    // The messages the fake server received, decoded.
    QList<NBELSPMessage> received()
    {
        QList<NBELSPMessage> messages;
        QFile file(logPath);
        if (!file.open(QIODevice::ReadOnly))
            return messages;
        for (const QByteArray &line : file.readAll().split('\n'))
            if (!line.isEmpty())
                messages.append(NBELSPMessage::decode(line).value());
        return messages;
    }

    QStringList receivedMethods()
    {
        QStringList methods;
        for (const NBELSPMessage &message : received())
            methods.append(message.method.value_or("<response>"));
        return methods;
    }

    QTemporaryDir dir;
    QString logPath;
};

} // namespace

TEST_F(NBELSPClientTest, HandshakeAndRequestsMatchTheirAnswers)
{
    auto client = started();
    const NBELSPReply init =
        NBETest::await(client->initialize(QUrl::fromLocalFile(dir.path()), "Nabri Editor"));
    ASSERT_TRUE(init.has_value());
    EXPECT_TRUE(init->find("capabilities"));

    // Several requests in flight at once each get their own answer.
    auto a = client->send("test/echo", NBEJSONValue("a"));
    auto split = client->send("test/split", NBEJSONValue::object({{"x", 1}}));
    auto b = client->send("test/echo", NBEJSONValue("b"));
    EXPECT_EQ(NBETest::await(b).value(), NBEJSONValue("b"));
    EXPECT_EQ(NBETest::await(a).value(), NBEJSONValue("a"));
    EXPECT_EQ(NBETest::await(split).value(), NBEJSONValue::object({{"x", 1}}));

    EXPECT_EQ(NBETest::await(client->send("test/noResult")).value(), NBEJSONValue());
    const NBELSPReply error = NBETest::await(client->send("test/error"));
    ASSERT_FALSE(error.has_value());
    ASSERT_TRUE(error.error().responseError());
    EXPECT_EQ(*error.error().responseError(),
              (NBELSPResponseError{-32000, "boom", NBEJSONValue::object({{"detail", 7}})}));
    const NBELSPReply both = NBETest::await(client->send("test/errorAndResult"));
    ASSERT_FALSE(both.has_value());
    EXPECT_EQ(both.error().responseError()->message, "both");

    // Skipped header blocks and a body without "jsonrpc" do not desynchronise.
    EXPECT_EQ(NBETest::await(client->send("test/badHeaders")).value(), NBEJSONValue("right"));
    EXPECT_EQ(NBETest::await(client->send("test/echo", NBEJSONValue(5))).value(), NBEJSONValue(5));

    const QList<NBELSPMessage> messages = received();
    ASSERT_GE(messages.size(), 2);
    EXPECT_EQ(messages[0].method, "initialize");
    EXPECT_EQ(messages[0].id, NBELSPID(0));
    EXPECT_EQ(messages[1].method, "initialized");
    EXPECT_EQ(messages[1].params, NBEJSONValue(NBEJSONValue::Object()));
    const NBEJSONValue &params = *messages[0].params;
    EXPECT_EQ(params.objectRef().keys(),
              (QStringList{"capabilities", "clientInfo", "processId", "rootUri"}));
    EXPECT_EQ(*params.find("clientInfo"), NBEJSONValue::object({{"name", "Nabri Editor"}}));
    EXPECT_EQ(params.find("rootUri")->stringValue(),
              QUrl::fromLocalFile(dir.path()).toString(QUrl::FullyEncoded));
    const NBEJSONValue *textDocument = params.find("capabilities")->find("textDocument");
    EXPECT_EQ(*textDocument->find("completion"),
              NBEJSONValue::object(
                  {{"completionItem", NBEJSONValue::object({{"snippetSupport", false}})}}));
    EXPECT_EQ(*textDocument->find("synchronization"), NBEJSONValue::object({{"didSave", true}}));

    NBETest::await(client->shutdown());
    EXPECT_TRUE(client->isStopped());
    NBETest::waitUntil([&] { return receivedMethods().endsWith("exit"); });
    const QStringList methods = receivedMethods();
    EXPECT_EQ(methods.mid(methods.size() - 2), (QStringList{"shutdown", "exit"}));
}

TEST_F(NBELSPClientTest, NotificationsArriveInOrderAndNoneAreDropped)
{
    auto client = started();
    QList<NBEJSONValue> ticks;
    QStringList methods;
    QObject::connect(client.get(), &NBELSPClient::notificationReceived,
                     [&](const NBELSPNotification &notification) {
                         methods.append(notification.method);
                         if (notification.method == "test/tick")
                             ticks.append(*notification.params);
                     });
    EXPECT_EQ(NBETest::await(client->send("test/twoInOne")).value(), NBEJSONValue("two"));
    EXPECT_EQ(methods, QStringList{"test/before"});

    const int count = 3000; // well beyond any small buffer
    EXPECT_EQ(
        NBETest::await(client->send("test/notifyMany", NBEJSONValue::object({{"count", count}})))
            .value(),
        NBEJSONValue(count));
    ASSERT_EQ(ticks.size(), count);
    for (int i = 0; i < count; ++i)
        ASSERT_EQ(ticks[i], NBEJSONValue(i));
}

TEST_F(NBELSPClientTest, ServerRequestsGetTheAnswerTheirMethodExpectsWithTheirOwnId)
{
    const NBEJSONValue twoItems = NBEJSONValue::object(
        {{"items", NBEJSONValue::array({NBEJSONValue::object({{"section", "html"}}),
                                        NBEJSONValue::object({{"section", "css"}})})}});
    struct Case
    {
        NBEJSONValue id;
        QString method;
        NBEJSONValue params;
        std::optional<NBEJSONValue> result; // absent: an error is expected
    };
    const QList<Case> cases{
        // The HTML server's own settings keep code samples as they are.
        {NBEJSONValue("abc"), "workspace/configuration", twoItems,
         NBEJSONValue::array(
             {NBEJSONValue::object({{"format", NBEJSONValue::object({{"contentUnformatted",
                                                                      "pre,code,textarea"}})}}),
              NBEJSONValue()})},
        {NBEJSONValue(77), "workspace/configuration", NBEJSONValue::Object(),
         NBEJSONValue::Array()},
        {NBEJSONValue(78), "client/registerCapability", NBEJSONValue::Object(), NBEJSONValue()},
        {NBEJSONValue("p"), "window/workDoneProgress/create",
         NBEJSONValue::object({{"token", "t"}}), NBEJSONValue()},
        {NBEJSONValue(79), "workspace/somethingNew", NBEJSONValue::Object(), std::nullopt},
    };
    auto client = started();
    for (const Case &c : cases) {
        EXPECT_EQ(NBETest::await(
                      client->send("test/serverRequest",
                                   NBEJSONValue::object(
                                       {{"id", c.id}, {"method", c.method}, {"params", c.params}})))
                      .value(),
                  NBEJSONValue("asked"));
    }
    // The answers reach the server after our requests; wait for the log.
    QList<NBELSPMessage> replies;
    NBETest::waitUntil([&] {
        replies.clear();
        for (const NBELSPMessage &message : received())
            if (!message.method)
                replies.append(message);
        return replies.size() >= cases.size();
    });
    ASSERT_EQ(replies.size(), cases.size());
    for (qsizetype i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].method.toStdString());
        const NBEJSONValue &id = cases[i].id;
        EXPECT_EQ(replies[i].id,
                  id.stringValue() ? NBELSPID(*id.stringValue()) : NBELSPID(*id.intValue()));
        if (cases[i].result) {
            // A decoded null member reads as absent.
            EXPECT_EQ(replies[i].result.value_or(NBEJSONValue()), *cases[i].result);
            EXPECT_FALSE(replies[i].error);
        } else {
            ASSERT_TRUE(replies[i].error);
            EXPECT_EQ(replies[i].error->code, NBELSPClient::methodNotFound);
        }
    }
    QFile file(logPath);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray log = file.readAll();
    EXPECT_TRUE(log.contains(
        R"({"jsonrpc":"2.0","id":"abc","result":[{"format":{"contentUnformatted":"pre,code,textarea"}},null]})"))
        << log.data();
    EXPECT_TRUE(log.contains(R"({"jsonrpc":"2.0","id":78,"result":null})")) << log.data();
}

TEST_F(NBELSPClientTest, ACancelledRequestIsWithdrawnOnTheWire)
{
    auto client = started();
    QFuture<NBELSPReply> hanging = client->send("test/hang");
    const qint64 id = client->nextID() - 1;
    hanging.cancel();
    NBETest::waitUntil([&] { return receivedMethods().contains("$/cancelRequest"); });
    const QList<NBELSPMessage> messages = received();
    ASSERT_EQ(messages.size(), 2);
    EXPECT_EQ(messages[0].method, "test/hang");
    EXPECT_EQ(messages[1].method, "$/cancelRequest");
    EXPECT_EQ(messages[1].params, NBEJSONValue::object({{"id", id}}));
    EXPECT_FALSE(messages[1].id);
    // The client keeps working, and a finished request is not withdrawn later.
    QFuture<NBELSPReply> echoed = client->send("test/echo", NBEJSONValue(5));
    EXPECT_EQ(NBETest::await(echoed).value(), NBEJSONValue(5));
    echoed.cancel();
    QCoreApplication::processEvents();
    EXPECT_EQ(receivedMethods().count("$/cancelRequest"), 1);
}

TEST_F(NBELSPClientTest, ACrashFailsEveryWaitingRequestAtOnce)
{
    auto client = started();
    int stopped = 0;
    QObject::connect(client.get(), &NBELSPClient::stopped, [&] { ++stopped; });
    auto hanging = client->send("test/hang");
    auto other = client->send("test/hang");
    QElapsedTimer clock;
    clock.start();
    auto crash = client->send("test/crash");
    const NBELSPReply reply = NBETest::await(crash);
    ASSERT_FALSE(reply.has_value());
    EXPECT_TRUE(reply.error().is(NBELSPError::serverExited));
    EXPECT_TRUE(NBETest::await(hanging).error().is(NBELSPError::serverExited));
    EXPECT_TRUE(NBETest::await(other).error().is(NBELSPError::serverExited));
    EXPECT_EQ(stopped, 1);

    // Nothing can be written to a server that is gone.
    EXPECT_TRUE(NBETest::await(client->send("test/echo")).error().is(NBELSPError::notRunning));
    EXPECT_FALSE(client->notify("textDocument/didClose").has_value());
}

TEST_F(NBELSPClientTest, WritingToAnExitedServerIsAnError)
{
    NBELSPClient client;
    bool alive = true;
    client.attach([&](const QByteArray &) -> NBEResult<void> {
        if (!alive)
            return nbeFailure("Broken pipe");
        return {};
    });
    auto first = client.send("a");
    alive = false;
    const NBELSPReply failed = NBETest::await(client.send("b"));
    ASSERT_FALSE(failed.has_value());
    EXPECT_EQ(failed.error().description(), "Broken pipe");
    EXPECT_EQ(client.notify("n").error().description, "Broken pipe");

    // A late answer to the failed request is ignored; the first still matches.
    client.receive(NBELSPFraming::frame(R"({"jsonrpc":"2.0","id":1,"result":"late"})"));
    client.receive(NBELSPFraming::frame(R"({"jsonrpc":"2.0","id":0,"result":"first"})"));
    EXPECT_EQ(NBETest::await(first).value(), NBEJSONValue("first"));
    EXPECT_EQ(client.nextID(), 2);
}

TEST_F(NBELSPClientTest, IdsAreConsumedAndUnknownAnswersIgnored)
{
    NBELSPClient client;
    QList<QByteArray> written;
    int terminations = 0;
    client.attach(
        [&](const QByteArray &bytes) -> NBEResult<void> {
            written.append(bytes);
            return {};
        },
        [&] { ++terminations; });
    auto zero = client.send("zero");
    EXPECT_FALSE(NBETest::await(client.send("bad", NBEJSONValue(std::nan("")))).has_value());
    auto two = client.send("two");
    EXPECT_TRUE(written.last().contains(R"("id":2)"));

    client.receive(NBELSPFraming::frame(R"({"jsonrpc":"2.0","id":9,"result":1})"));
    client.receive(NBELSPFraming::frame(R"({"jsonrpc":"2.0","id":"0","result":1})"));
    client.receive(
        NBELSPFraming::frame(R"({"jsonrpc":"2.0","id":null,"error":{"code":1,"message":"x"}})"));
    client.receive(NBELSPFraming::frame(R"({"id":0,"result":1})"));
    EXPECT_FALSE(zero.isFinished());
    client.receive(NBELSPFraming::frame(R"({"jsonrpc":"2.0","id":0,"result":"zero"})"));
    EXPECT_EQ(NBETest::await(zero).value(), NBEJSONValue("zero"));

    client.stop();
    client.stop();
    EXPECT_EQ(terminations, 1);
    EXPECT_TRUE(NBETest::await(two).error().is(NBELSPError::serverExited));
    const qsizetype before = written.size();
    EXPECT_TRUE(NBETest::await(client.send("after")).error().is(NBELSPError::notRunning));
    EXPECT_EQ(written.size(), before);
}

TEST_F(NBELSPClientTest, RequestsWithATimeOutGiveUp)
{
    auto client = started();
    const NBELSPReply reply = NBETest::await(client->send("test/hang", std::nullopt, 100ms));
    ASSERT_FALSE(reply.has_value());
    EXPECT_TRUE(reply.error().is(NBELSPError::timedOut));
    EXPECT_EQ(NBETest::await(client->send("test/echo", NBEJSONValue(1))).value(), NBEJSONValue(1));
}

TEST_F(NBELSPClientTest, ShutdownIsBoundedWhenTheServerIsSilent)
{
    auto client = started({"--silent-shutdown"});
    QElapsedTimer clock;
    clock.start();
    NBETest::await(client->shutdown());
    EXPECT_GE(clock.elapsed(), 1500); // waited for the answer (timers may fire a little early)
    EXPECT_LT(clock.elapsed(), 10000);
    EXPECT_TRUE(client->isStopped());
    NBETest::waitUntil([&] { return receivedMethods().size() == 2; });
    EXPECT_EQ(receivedMethods(), (QStringList{"shutdown", "exit"}));
}

TEST_F(NBELSPClientTest, FailedHandshakeSendsNoInitialized)
{
    auto client = started({"--fail-initialize"});
    const NBELSPReply reply =
        NBETest::await(client->initialize(QUrl::fromLocalFile("/"), "Nabri Editor"));
    ASSERT_FALSE(reply.has_value());
    EXPECT_EQ(reply.error().responseError()->message, "initialize refused");
    client->stop();
    EXPECT_EQ(receivedMethods(), QStringList{"initialize"});
}

TEST_F(NBELSPClientTest, BrokenFramingEndsTheConnection)
{
    auto client = started();
    int stopped = 0;
    QObject::connect(client.get(), &NBELSPClient::stopped, [&] { ++stopped; });
    EXPECT_TRUE(
        NBETest::await(client->send("test/oversized")).error().is(NBELSPError::serverExited));
    EXPECT_EQ(stopped, 1);
}

TEST_F(NBELSPClientTest, LaunchFailureLeavesTheClientUnused)
{
    NBELSPClient client;
    const auto result = client.start(dir.filePath("no-such-server"), {});
    ASSERT_FALSE(result.has_value());
    EXPECT_FALSE(result.error().description.isEmpty());
    EXPECT_TRUE(NBETest::await(client.send("x")).error().is(NBELSPError::notRunning));
}

TEST_F(NBELSPClientTest, LongMessagesDecodedAsideKeepTheirPlaceInLine)
{
    NBELSPClient client;
    client.attach([](const QByteArray &) -> NBEResult<void> { return {}; });
    QStringList heard;
    QObject::connect(
        &client, &NBELSPClient::notificationReceived,
        [&](const NBELSPNotification &notification) { heard.append(notification.method); });
    auto answer = client.send("completion");
    const QByteArray words = QByteArray("word ").repeated(NBELSPClient::backgroundDecodeBytes / 4);
    const auto notification = [&](const char *method, const QByteArray &text) {
        return NBELSPFraming::frame(R"({"jsonrpc":"2.0","method":")" + QByteArray(method) +
                                    R"(","params":{"text":")" + text + R"("}})");
    };
    // Long, short, long answer, short: one chunk, then the end of output.
    client.receive(notification("first", words) + notification("second", "x") +
                   NBELSPFraming::frame(R"({"jsonrpc":"2.0","id":0,"result":")" + words + R"("})") +
                   notification("third", "y"));
    client.endOfOutput();
    EXPECT_TRUE(NBETest::waitUntil([&] { return client.isStopped(); }));
    EXPECT_EQ(heard, QStringList({"first", "second", "third"}));
    ASSERT_TRUE(answer.isFinished());
    EXPECT_EQ(NBETest::await(answer).value().stringValue()->size(), words.size());
}

// A long message (a large file's diagnostics) is decoded on a pool thread,
// whose arena would keep the pages of its pieces: they go back once it is
// handled. Shorter ones hand nothing back.
TEST_F(NBELSPClientTest, ALongMessageDecodedAsideHandsItsMemoryBack)
{
    for (const qsizetype bytes :
         {NBELSPClient::backgroundDecodeBytes, NBELSPClient::releaseAfterBytes}) {
        SCOPED_TRACE(bytes);
        NBELSPClient client;
        client.attach([](const QByteArray &) -> NBEResult<void> { return {}; });
        int heard = 0;
        QObject::connect(&client, &NBELSPClient::notificationReceived,
                         [&](const NBELSPNotification &) { ++heard; });
        const quint64 before = NBEMemory::releases();
        client.receive(
            NBELSPFraming::frame(R"({"jsonrpc":"2.0","method":"long","params":{"text":")" +
                                 QByteArray("word ").repeated(bytes / 5 + 1) + R"("}})"));
        ASSERT_TRUE(NBETest::waitUntil([&] { return heard == 1; }));
        NBETest::waitUntil([&] { return NBEMemory::releases() > before; },
                           std::chrono::milliseconds(NBEMemory::pauseReleaseDelayMs));
        EXPECT_EQ(NBEMemory::releases(), before + (bytes >= NBELSPClient::releaseAfterBytes));
    }
}

TEST_F(NBELSPClientTest, PreparedNotificationsCarryTheirValueInPlaceOfTheParams)
{
    NBELSPClient client;
    client.attach([](const QByteArray &) -> NBEResult<void> { return {}; });
    client.prepare("sized", [](const NBEJSONValue &params) {
        const auto text = params.find("text")->stringValue();
        // Refusing keeps the params for the listener.
        return text == u"refused" ? QVariant() : QVariant(text->size());
    });
    QList<NBELSPNotification> heard;
    QObject::connect(&client, &NBELSPClient::notificationReceived,
                     [&](const NBELSPNotification &notification) { heard.append(notification); });
    const QByteArray words = QByteArray("word ").repeated(NBELSPClient::backgroundDecodeBytes / 4);
    const auto notification = [&](const char *method, const QByteArray &text) {
        return NBELSPFraming::frame(R"({"jsonrpc":"2.0","method":")" + QByteArray(method) +
                                    R"(","params":{"text":")" + text + R"("}})");
    };
    // Long ones are prepared on the pool, short ones in line; order holds.
    client.receive(notification("sized", words) + notification("sized", "abc") +
                   notification("other", "x") + notification("sized", "refused") +
                   notification("sized", words + "!"));
    client.endOfOutput();
    EXPECT_TRUE(NBETest::waitUntil([&] { return client.isStopped(); }));
    ASSERT_EQ(heard.size(), 5);
    EXPECT_EQ(heard[0].prepared, QVariant(words.size()));
    EXPECT_FALSE(heard[0].params);
    EXPECT_EQ(heard[1].prepared, QVariant(qsizetype(3)));
    EXPECT_EQ(heard[2], (NBELSPNotification{"other", NBEJSONValue::object({{"text", "x"}}), {}}));
    EXPECT_EQ(heard[3],
              (NBELSPNotification{"sized", NBEJSONValue::object({{"text", "refused"}}), {}}));
    EXPECT_EQ(heard[4].prepared, QVariant(words.size() + 1));
}
