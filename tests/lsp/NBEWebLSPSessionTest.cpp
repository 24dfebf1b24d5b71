// The web session's own behaviour, with the fake server standing in for the
// Node.js servers (timing faults a real server will not produce on demand).

#include "NBEWebLSPSession.h"
#include "NBELSPMessage.h"
#include "NBELSPServerConnection.h"
#include "NBETestSupport.h"
#include "NBETextBuffer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPointer>
#include <QTemporaryDir>
#include <QTextCursor>
#include <gtest/gtest.h>

#include <algorithm>

using namespace std::chrono_literals;

namespace {

class NBEWebLSPSessionTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    // A session whose servers are the fake, started with `options`.
    std::unique_ptr<NBEWebLSPSession> session(QStringList options = {})
    {
        auto made = std::make_unique<NBEWebLSPSession>(QUrl::fromLocalFile(dir.path()));
        made->launchFor = [this,
                           options](const QString &language) -> std::optional<NBEWebLSPLaunch> {
            ++launches;
            if (missing.contains(language))
                return std::nullopt;
            return NBEWebLSPLaunch{NBETest::toolPath("nbe_fake_lsp"),
                                   QStringList(options) << "--publish"
                                                        << "--log=" + log(language),
                                   language};
        };
        return made;
    }

    QString log(const QString &language) const { return dir.filePath(language + ".log"); }

    QList<NBELSPMessage> received(const QString &language) const
    {
        QList<NBELSPMessage> messages;
        QFile file(log(language));
        if (file.open(QIODevice::ReadOnly))
            for (const QByteArray &line : file.readAll().split('\n'))
                if (!line.isEmpty())
                    messages.append(NBELSPMessage::decode(line).value());
        return messages;
    }

    // "method version" for every document message the server received.
    QStringList documentTraffic(const QString &language) const
    {
        QStringList traffic;
        for (const NBELSPMessage &message : received(language)) {
            if (!message.method || !message.method->startsWith("textDocument/did"))
                continue;
            const NBEJSONValue *version = message.params->find("textDocument")->find("version");
            traffic.append(message.method->mid(16) +
                           (version ? " " + QString::number(*version->intValue()) : QString()));
        }
        return traffic;
    }

    QUrl file(const QString &name) const { return QUrl::fromLocalFile(dir.filePath(name)); }

    QTemporaryDir dir;
    int launches = 0;
    QStringList missing;
};

} // namespace

TEST_F(NBEWebLSPSessionTest, EditsWhileTheServerStartsReachItInOrder)
{
    auto web = session({"--initialize-delay=400"});
    QList<QPair<QUrl, QString>> diagnostics;
    QObject::connect(web.get(), &NBEWebLSPSession::diagnosticsPublished,
                     [&](const QUrl &url, const QList<NBELSPDiagnostic> &list) {
                         diagnostics.append({url, list.value(0).message});
                     });
    web->didOpen(file("a.css"), "css", "one", 1);
    web->didOpen(file("b.css"), "css", "b", 1);
    web->didChange(file("a.css"), "two", 2);
    web->didChange(file("a.css"), "three", 3);
    web->didClose(file("b.css"));
    EXPECT_EQ(web->version(file("a.css")), 3);
    EXPECT_FALSE(web->isOpen(file("b.css")));

    ASSERT_TRUE(NBETest::waitUntil([&] { return documentTraffic("css").size() == 5; }));
    EXPECT_EQ(documentTraffic("css"),
              (QStringList{"Open 1", "Open 1", "Change 2", "Change 3", "Close"}));
    EXPECT_EQ(launches, 1);
    ASSERT_TRUE(NBETest::waitUntil([&] { return diagnostics.size() == 4; }));
    EXPECT_EQ(diagnostics.last(), qMakePair(file("a.css"), QString("version 3: three")));

    // A document opened again may start at a lower version.
    web->didClose(file("a.css"));
    web->didOpen(file("a.css"), "css", "again", 1);
    web->didChange(file("a.css"), "again 2", 2);
    ASSERT_TRUE(NBETest::waitUntil([&] { return documentTraffic("css").size() == 8; }));
    EXPECT_EQ(documentTraffic("css").mid(5), (QStringList{"Close", "Open 1", "Change 2"}));

    int initializes = 0;
    for (const NBELSPMessage &message : received("css"))
        initializes += message.method == "initialize";
    EXPECT_EQ(initializes, 1);
}

TEST_F(NBEWebLSPSessionTest, LanguagesWithoutAServerAreIgnoredAndFailuresRemembered)
{
    auto web = session();
    for (const char *language : {"markdown", "leaf", "swift", "HTML", ""})
        web->didOpen(file("x"), language, "text", 0);
    web->didChange(file("x"), "more", 1);
    EXPECT_EQ(launches, 0);
    EXPECT_FALSE(web->isOpen(file("x")));

    missing = QStringList{"html"};
    web->didOpen(file("a.html"), "html", "<p>", 0);
    missing.clear(); // installed meanwhile: still not retried in this session
    web->didOpen(file("b.html"), "html", "<p>", 0);
    EXPECT_EQ(launches, 1);
    EXPECT_FALSE(web->isOpen(file("a.html")));
    EXPECT_FALSE(NBETest::await(web->hover(file("a.html"), 0, 0)).has_value());
}

TEST_F(NBEWebLSPSessionTest, AServerThatCannotStartIsForgotten)
{
    auto web = std::make_unique<NBEWebLSPSession>(QUrl::fromLocalFile(dir.path()));
    web->launchFor = [&](const QString &language) -> std::optional<NBEWebLSPLaunch> {
        ++launches;
        return NBEWebLSPLaunch{dir.filePath("no-such-node"), {"x", "--stdio"}, language};
    };
    web->didOpen(file("a.json"), "json", "{}", 0);
    EXPECT_FALSE(web->isOpen(file("a.json")));
    web->didOpen(file("b.json"), "json", "{}", 0);
    EXPECT_EQ(launches, 1);
}

TEST_F(NBEWebLSPSessionTest, DiagnosticsAreMatchedByLocalPath)
{
    auto web = session();
    QList<QUrl> urls;
    QObject::connect(web.get(), &NBEWebLSPSession::diagnosticsPublished,
                     [&](const QUrl &url, const QList<NBELSPDiagnostic> &) { urls.append(url); });
    const QUrl odd = file("a+b@c d.js");
    web->didOpen(odd, "javascript", "x", 0);
    ASSERT_TRUE(NBETest::waitUntil([&] { return urls.size() == 1; }));
    EXPECT_EQ(urls[0], odd);
    EXPECT_EQ(urls[0].toLocalFile(), dir.filePath("a+b@c d.js"));

    // The same file as a server that re-encodes "+" and "@" names it.
    EXPECT_EQ(NBELSPServerConnection::diagnosticsURL(
                  "file://" + QUrl::toPercentEncoding(dir.filePath("a+b@c d.js"), "/")),
              odd);
}

TEST_F(NBEWebLSPSessionTest, ACancelledCompletionIsWithdrawnFromTheServer)
{
    auto web = session({"--hang-requests"});
    web->didOpen(file("a.css"), "css", "a{}", 0);
    ASSERT_TRUE(NBETest::waitUntil([&] { return documentTraffic("css").size() == 1; }));
    auto superseded = web->completion(file("a.css"), 0, 2);
    superseded.cancel();
    const auto withdrawn = [&] {
        for (const NBELSPMessage &message : received("css"))
            if (message.method == "$/cancelRequest")
                return message.params->find("id")->intValue();
        return std::optional<qint64>();
    };
    ASSERT_TRUE(NBETest::waitUntil([&] { return withdrawn().has_value(); }));
    const QList<NBELSPMessage> all = received("css");
    const auto asked = std::find_if(all.begin(), all.end(), [](const NBELSPMessage &m) {
        return m.method == "textDocument/completion";
    });
    ASSERT_NE(asked, all.end());
    EXPECT_EQ(asked->id, NBELSPID(*withdrawn()));
}

// Keys typed in a run reach a server that takes ranged changes as one
// message once they pause, under the last revision; a request in between
// goes after the keys typed before it.
TEST_F(NBEWebLSPSessionTest, TypedKeysReachTheServerAsOneChangePerPause)
{
    auto web = session({"--incremental", "--hang-requests"});
    web->requestTimeout = 200ms;
    NBETextBuffer buffer("a{}");
    web->didOpen(file("a.css"), "css", buffer.text(), qint64(buffer.revision()));
    ASSERT_TRUE(NBETest::waitUntil([&] { return web->syncsIncrementally(file("a.css")); }));
    QObject::connect(&buffer, &NBETextBuffer::changed, [&](const NBETextChange &change) {
        web->didChange(file("a.css"), change, qint64(buffer.revision()), [&] {
            return NBELSPDocumentSync::Text{buffer.text(), qint64(buffer.revision())};
        });
    });
    QTextCursor cursor(buffer.document());
    cursor.setPosition(2);
    for (const QString key : {"c", "o", "l"})
        cursor.insertText(key);
    auto asked = web->completion(file("a.css"), 0, 5);
    for (const QString key : {"o", "x"})
        cursor.insertText(key);
    cursor.deletePreviousChar();
    cursor.insertText("r");
    EXPECT_EQ(web->version(file("a.css")), 3) << "the keys before the request";

    ASSERT_TRUE(NBETest::waitUntil([&] { return documentTraffic("css").size() == 3; }));
    EXPECT_EQ(documentTraffic("css"), (QStringList{"Open 0", "Change 3", "Change 7"}));
    QStringList order;
    QList<NBEJSONValue> changes;
    for (const NBELSPMessage &message : received("css")) {
        if (message.method == "textDocument/didChange") {
            changes.append(*message.params->find("contentChanges"));
            order.append("change");
        } else if (message.method == "textDocument/completion") {
            order.append("completion");
        }
    }
    EXPECT_EQ(order, (QStringList{"change", "completion", "change"}));
    const auto ranged = [](int from, int to, const char *text) {
        return NBEJSONValue::array({NBEJSONValue::object(
            {{"range", NBELSPRange{{0, from}, {0, to}}.toJSON()}, {"text", text}})});
    };
    EXPECT_EQ(changes, (QList<NBEJSONValue>{ranged(2, 2, "col"), ranged(5, 5, "or")}));
    EXPECT_EQ(web->version(file("a.css")), 7);
    NBETest::await(asked);
}

// Keys typed with pauses while the server starts wait for it instead of
// going as the whole text at every pause: once it runs they reach it as one
// change, a range where it takes ranges, else the text as it stands then.
TEST_F(NBEWebLSPSessionTest, KeysTypedWhileTheServerStartsReachItAsOneChange)
{
    for (const bool ranges : {true, false}) {
        SCOPED_TRACE(ranges ? "ranged changes" : "whole texts");
        QFile::remove(log("css"));
        QStringList options{"--initialize-delay=1500"};
        if (ranges)
            options << "--incremental";
        auto web = session(options);
        NBETextBuffer buffer("a{}");
        const QUrl url = file("a.css");
        const auto opened = qint64(buffer.revision());
        web->didOpen(url, "css", buffer.text(), opened);
        QObject::connect(&buffer, &NBETextBuffer::changed, [&](const NBETextChange &change) {
            web->didChange(url, change, qint64(buffer.revision()), [&] {
                return NBELSPDocumentSync::Text{buffer.text(), qint64(buffer.revision())};
            });
        });
        QTextCursor cursor(buffer.document());
        cursor.setPosition(2);
        for (const QString key : {"c", "o", "l", "o"}) {
            cursor.insertText(key);
            QElapsedTimer pause;
            pause.start();
            NBETest::waitUntil([&] { return pause.hasExpired(150); });
        }
        ASSERT_FALSE(web->syncsIncrementally(url)) << "the keys came while the server started";

        ASSERT_TRUE(NBETest::waitUntil([&] { return documentTraffic("css").size() >= 2; }));
        const auto typed = qint64(buffer.revision());
        // Nothing more follows.
        QElapsedTimer after;
        after.start();
        NBETest::waitUntil([&] { return after.hasExpired(300); });
        EXPECT_EQ(documentTraffic("css"), (QStringList{QStringLiteral("Open %1").arg(opened),
                                                       QStringLiteral("Change %1").arg(typed)}));
        NBEJSONValue changes;
        for (const NBELSPMessage &message : received("css"))
            if (message.method == "textDocument/didChange")
                changes = *message.params->find("contentChanges");
        const NBEJSONValue change =
            ranges ? NBEJSONValue::object(
                         {{"range", NBELSPRange{{0, 2}, {0, 2}}.toJSON()}, {"text", "colo"}})
                   : NBEJSONValue::object({{"text", "a{colo}"}});
        EXPECT_EQ(changes, NBEJSONValue::array({change}));
        EXPECT_EQ(web->syncsIncrementally(url), ranges);
        EXPECT_EQ(web->version(url), typed);
        NBETest::await(web->shutdown());
    }
}

TEST_F(NBEWebLSPSessionTest, AHangingServerCannotStallACaller)
{
    auto web = session({"--hang-requests"});
    web->requestTimeout = 200ms;
    web->formattingTimeout = 200ms;
    web->didOpen(file("a.css"), "css", "a{}", 0);
    EXPECT_FALSE(NBETest::await(web->completion(file("never-opened.css"), 0, 0)).has_value());
    ASSERT_TRUE(NBETest::waitUntil([&] { return documentTraffic("css").size() == 1; }));

    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(NBETest::await(web->formatting(file("a.css"), "a{}", 4, true)).has_value());
    EXPECT_FALSE(NBETest::await(web->hover(file("a.css"), 0, 0)).has_value());
    EXPECT_FALSE(NBETest::await(web->completion(file("a.css"), 0, 0)).has_value());
    EXPECT_FALSE(NBETest::await(web->definition(file("a.css"), 0, 0)).has_value());
    EXPECT_LT(clock.elapsed(), 30000);

    QList<NBELSPMessage> all = received("css");
    const auto sent = std::find_if(all.begin(), all.end(), [](const auto &m) {
        return m.method == "textDocument/formatting";
    });
    ASSERT_NE(sent, all.end());
    EXPECT_EQ(*sent->params->find("options"),
              NBEJSONValue::object({{"tabSize", 4}, {"insertSpaces", true}}));
}

TEST_F(NBEWebLSPSessionTest, ShutdownIsBoundedAndEndsDiagnostics)
{
    auto web = session({"--silent-shutdown"});
    bool finished = false;
    QObject::connect(web.get(), &NBEWebLSPSession::diagnosticsFinished, [&] { finished = true; });
    web->didOpen(file("a.css"), "css", "a{}", 0);
    web->didOpen(file("a.html"), "html", "<p>", 0);
    ASSERT_TRUE(NBETest::waitUntil(
        [&] { return documentTraffic("css").size() == 1 && documentTraffic("html").size() == 1; }));
    QElapsedTimer clock;
    clock.start();
    NBETest::await(web->shutdown());
    EXPECT_GE(clock.elapsed(), 1500); // waited for the answer (timers may fire a little early)
    EXPECT_LT(clock.elapsed(), 15000);
    EXPECT_TRUE(finished);
    for (const QString &language : {QString("css"), QString("html")}) {
        // A server may get more than the five lifecycle messages (settings on start), so
        // wait for the exit itself rather than a count that the shutdown alone can reach.
        EXPECT_TRUE(NBETest::waitUntil([&] {
            const auto all = received(language);
            return !all.isEmpty() && all.last().method == "exit";
        })) << language.toStdString();
    }
    web->didOpen(file("b.css"), "css", "ignored after shutdown", 0);
    EXPECT_EQ(launches, 2);
}

TEST_F(NBEWebLSPSessionTest, ShutdownWhileStartingStopsTheLateServer)
{
    auto web = session({"--initialize-delay=300"});
    web->didOpen(file("a.json"), "json", "{}", 0);
    NBETest::await(web->shutdown());
    web.reset(); // dropped at once, as the workspace does
    ASSERT_TRUE(NBETest::waitUntil([&] {
        const auto all = received("json");
        return !all.isEmpty() && all.last().method == "exit";
    }));
}

TEST(NBEWebLSPResults, HoverText)
{
    struct Row
    {
        const char *result;
        std::optional<QString> text;
    };
    const Row rows[] = {
        {R"({"contents":"  word \n"})", QString("word")},
        {R"({"contents":["plain",{"language":"css","value":"a { }"}]})", QString("plain\n\na { }")},
        {R"({"contents":{"kind":"markdown","value":""}})", std::nullopt},
        {R"({"contents":{"kind":"markdown","value":"**b**"}})", QString("**b**")},
        {R"({"contents":5})", std::nullopt},
        {R"({"contents":[5, null]})", std::nullopt},
        {R"({"range":{}})", std::nullopt},
        {"null", std::nullopt},
    };
    for (const Row &row : rows)
        EXPECT_EQ(NBEWebLSPSession::hoverResultText(NBEJSONValue::decode(row.result).value()),
                  row.text)
            << row.result;
}

TEST(NBEWebLSPResults, FirstLocation)
{
    using Raw = NBEWebLSPSession::RawLocation;
    struct Row
    {
        const char *result;
        std::optional<Raw> location;
    };
    const Row rows[] = {
        {"[]", std::nullopt},
        {"null", std::nullopt},
        {R"([{"uri":"file:///a.js","range":{"start":{"line":3,"character":4}}}])",
         Raw{"file:///a.js", 3, 4}},
        // A missing number is refused, not read as 0.
        {R"({"uri":"file:///a.js","range":{"start":{"line":3}}})", std::nullopt},
        {R"({"uri":"file:///a.js","range":{"start":7}})", std::nullopt},
        {R"({"targetUri":"file:///b.js","targetRange":{"start":{"line":1,"character":2}}})",
         Raw{"file:///b.js", 1, 2}},
        {R"({"targetUri":"file:///b.js","targetRange":{"start":{"line":1,"character":2}},"targetSelectionRange":{"start":{"line":5,"character":6}}})",
         Raw{"file:///b.js", 5, 6}},
        {R"({"targetUri":"file:///b.js","targetRange":{"start":{"line":1,"character":2}},"targetSelectionRange":3})",
         std::nullopt},
        {R"({"targetUri":"file:///b.js"})", std::nullopt},
        {R"([5,{"uri":"file:///a.js","range":{"start":{"line":3,"character":4}}}])", std::nullopt},
    };
    for (const Row &row : rows)
        EXPECT_EQ(NBEWebLSPSession::firstLocation(NBEJSONValue::decode(row.result).value()),
                  row.location)
            << row.result;
}

// A session's servers are released once their shutdown finishes, and so is a
// session held only by its own shutdown: nothing is left for the
// application's end to wait on.
TEST_F(NBEWebLSPSessionTest, ShutDownSessionsAndServersAreReleased)
{
    std::shared_ptr<NBEWebLSPSession> web = session();
    missing = QStringList{"html"};
    web->didOpen(file("a.css"), "css", "a{}", 0);   // running
    web->didOpen(file("a.json"), "json", "{}", 0);  // still starting
    web->didOpen(file("a.html"), "html", "<p>", 0); // never started
    ASSERT_TRUE(NBETest::waitUntil([&] { return documentTraffic("css").size() == 1; }));
    QList<QPointer<NBELSPServerConnection>> servers;
    for (NBELSPServerConnection *server : web->findChildren<NBELSPServerConnection *>())
        servers.append(server);
    ASSERT_EQ(servers.size(), 3);

    const std::weak_ptr<NBEWebLSPSession> weak = web;
    web->shutdown().then([held = std::exchange(web, nullptr)] {});
    EXPECT_TRUE(NBETest::waitUntil([&] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return weak.expired() && std::ranges::all_of(servers, [](const auto &s) { return !s; });
    })) << "session "
        << (weak.expired() ? "released" : "held");
}

TEST_F(NBEWebLSPSessionTest, NodeGetsItsOwnOptionBeforeTheServersArguments)
{
    // A "node" that notes its command line and runs the fake server without
    // Node's option, which the fake doesn't know.
    const QString node = dir.filePath("node");
    QFile script(node);
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write(QStringLiteral("#!/bin/sh\necho \"$@\" > '%1'\nshift\nexec '%2' \"$@\"\n")
                     .arg(dir.filePath("argv"), NBETest::toolPath("nbe_fake_lsp"))
                     .toUtf8());
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    auto web = std::make_unique<NBEWebLSPSession>(QUrl::fromLocalFile(dir.path()));
    web->launchFor = [&](const QString &language) -> std::optional<NBEWebLSPLaunch> {
        return NBEWebLSPLaunch{node, {"--publish", "--log=" + log(language)}, language};
    };
    web->didOpen(file("a.css"), "css", "a{}", 0);
    ASSERT_TRUE(NBETest::waitUntil([&] { return documentTraffic("css").size() == 1; }));
    QFile argv(dir.filePath("argv"));
    ASSERT_TRUE(argv.open(QIODevice::ReadOnly));
    EXPECT_EQ(argv.readAll().trimmed(), "--single-threaded --publish --log=" + log("css"));
}
