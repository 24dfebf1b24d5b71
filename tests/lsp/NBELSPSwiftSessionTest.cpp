// Swift toolchain resolution with temporary folder layouts, and the Swift
// session with the fake server standing in for sourcekit-lsp, found through
// the same discovery.

#include "NBELSPMessage.h"
#include "NBELSPSession.h"
#include "NBETestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QPointer>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class NBELSPToolchainTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    QString path(const QString &relative) const { return dir.filePath(relative); }

    void write(const QString &relative, const QByteArray &bytes)
    {
        QDir().mkpath(QFileInfo(path(relative)).path());
        NBETest::writeFile(path(relative), bytes);
    }

    // A toolchain folder whose server is the fake.
    void toolchain(const QString &relative)
    {
        QDir().mkpath(path(relative + "/usr/bin"));
        QFile::link(NBETest::toolPath("nbe_fake_lsp"), path(relative + "/usr/bin/sourcekit-lsp"));
    }

    QTemporaryDir dir;
};

} // namespace

TEST_F(NBELSPToolchainTest, PinnedVersionIsTheNearestNonBlankLine)
{
    QDir().mkpath(path("w/a/b"));
    EXPECT_FALSE(NBELSPToolchain::pinnedVersion(path("w/a/b")));

    write("w/.swift-version", "  5.10 \n");
    EXPECT_EQ(NBELSPToolchain::pinnedVersion(path("w/a/b")), "5.10");
    write("w/a/b/.swift-version", "\n\n6.0\n");
    EXPECT_EQ(NBELSPToolchain::pinnedVersion(path("w/a/b")), "6.0");
    write("w/a/b/.swift-version", " \n\t\n");
    EXPECT_EQ(NBELSPToolchain::pinnedVersion(path("w/a/b")), "5.10");
    write("w/a/b/.swift-version", "\xff\xfe 6.1\n");
    EXPECT_EQ(NBELSPToolchain::pinnedVersion(path("w/a/b")), "5.10");
}

TEST_F(NBELSPToolchainTest, ResolutionOrder)
{
    const QStringList folders{path("system"), path("user")};
    toolchain("system/swift-6.0.3-RELEASE");
    toolchain("user/6.0.3");
    toolchain("user/swift-5.9.2");
    QDir().mkpath(path("user/nightly/usr/bin")); // no version, no server: ignored
    QDir().mkpath(path("user/swift-7.0"));       // no server inside: ignored

    const auto found = NBELSPToolchain::discoverToolchains(folders);
    ASSERT_EQ(found.size(), 3);
    EXPECT_EQ(found[0], (NBELSPInstalledToolchain{"6.0.3", path("system/swift-6.0.3-RELEASE")}));
    EXPECT_EQ(NBELSPToolchain::toolchainVersion("swift-6.0-DEVELOPMENT"), "6.0");
    EXPECT_FALSE(NBELSPToolchain::toolchainVersion("main-snapshot"));

    QDir().mkpath(path("ws"));
    QDir().mkpath(path("bin"));
    // No pin and nothing on the path: no server.
    EXPECT_FALSE(NBELSPToolchain::resolve(path("ws"), std::nullopt, folders, path("bin")));

    // A pin picks the system toolchain of that exact version.
    write("ws/.swift-version", "6.0.3\n");
    EXPECT_EQ(NBELSPToolchain::resolve(path("ws"), std::nullopt, folders, path("bin")),
              (NBELSPToolchainResolution{path("system/swift-6.0.3-RELEASE/usr/bin/sourcekit-lsp"),
                                         "6.0.3", path("system/swift-6.0.3-RELEASE")}));

    // 6.0 does not match 6.0.3: the server on the path, with the pin kept.
    write("ws/.swift-version", "6.0\n");
    QFile::link(NBETest::toolPath("nbe_fake_lsp"), path("bin/sourcekit-lsp"));
    EXPECT_EQ(NBELSPToolchain::resolve(path("ws"), std::nullopt, folders,
                                       path("none") + ":" + path("bin")),
              (NBELSPToolchainResolution{path("bin/sourcekit-lsp"), "6.0", std::nullopt}));

    // An executable override wins; one that is not executable is ignored.
    write("plain-file", "x");
    EXPECT_EQ(
        NBELSPToolchain::resolve(path("ws"), path("plain-file"), folders, path("bin"))->executable,
        path("bin/sourcekit-lsp"));
    EXPECT_EQ(
        NBELSPToolchain::resolve(path("ws"), NBETest::toolPath("nbe_fake_lsp"), folders, {}),
        (NBELSPToolchainResolution{NBETest::toolPath("nbe_fake_lsp"), std::nullopt, std::nullopt}));
}

namespace {

class NBELSPSwiftSessionTest : public NBELSPToolchainTest
{
protected:
    void SetUp() override
    {
        NBELSPToolchainTest::SetUp();
        logPath = path("server.log");
        qputenv("NBE_FAKE_LSP_LOG", logPath.toLocal8Bit());
        qputenv("NBE_FAKE_LSP_PUBLISH", "1");
        qputenv("NBE_FAKE_LSP_INITIALIZE_DELAY", "300");
        toolchain("toolchains/swift-6.0.3-RELEASE");
        write("ws/.swift-version", "6.0.3\n");
    }

    void TearDown() override
    {
        qunsetenv("NBE_FAKE_LSP_LOG");
        qunsetenv("NBE_FAKE_LSP_PUBLISH");
        qunsetenv("NBE_FAKE_LSP_INITIALIZE_DELAY");
    }

    std::unique_ptr<NBELSPSession> session()
    {
        auto made = std::make_unique<NBELSPSession>(QUrl::fromLocalFile(path("ws")));
        made->toolchainFolders = {path("toolchains")};
        made->searchPath = path("empty");
        return made;
    }

    QStringList traffic() const
    {
        QStringList methods;
        QFile file(logPath);
        if (file.open(QIODevice::ReadOnly))
            for (const QByteArray &line : file.readAll().split('\n'))
                if (!line.isEmpty()) {
                    const NBELSPMessage message = NBELSPMessage::decode(line).value();
                    QString entry = message.method.value_or("<response>");
                    if (message.params)
                        if (const NBEJSONValue *document = message.params->find("textDocument"))
                            if (const NBEJSONValue *version = document->find("version"))
                                entry += " " + QString::number(*version->intValue());
                    methods.append(entry);
                }
        return methods;
    }

    QUrl file(const QString &name) const { return QUrl::fromLocalFile(path("ws/" + name)); }

    QString logPath;
};

} // namespace

TEST_F(NBELSPSwiftSessionTest, SyncsSwiftDocumentsThroughThePinnedToolchain)
{
    auto swift = session();
    QStringList published;
    bool finished = false;
    QObject::connect(swift.get(), &NBELSPSession::diagnosticsPublished,
                     [&](const QUrl &url, const QList<NBELSPDiagnostic> &list) {
                         published.append(url.fileName() + ": " + list.value(0).message);
                     });
    QObject::connect(swift.get(), &NBELSPSession::diagnosticsFinished, [&] { finished = true; });

    swift->didOpen(file("a.html"), "html", "<p>", 0);
    EXPECT_FALSE(swift->isOpen(file("a.html")));

    // Edits made while the server starts are sent once it is ready.
    swift->didOpen(file("main.swift"), "swift", "let a = 1", 1);
    swift->didChange(file("main.swift"), "let a = 2", 2);
    swift->didClose(file("never.swift"));
    swift->didOpen(file("other.swift"), "swift", "x", 1);
    swift->didClose(file("other.swift"));
    swift->didChange(file("main.swift"), "let a = 3", 3);
    ASSERT_TRUE(NBETest::waitUntil([&] { return traffic().size() == 7; }));
    EXPECT_EQ(traffic(), (QStringList{"initialize", "initialized", "textDocument/didOpen 1",
                                      "textDocument/didChange 2", "textDocument/didOpen 1",
                                      "textDocument/didClose", "textDocument/didChange 3"}));
    ASSERT_TRUE(NBETest::waitUntil([&] { return published.size() == 4; }));
    EXPECT_EQ(published.last(), "main.swift: version 3: let a = 3");

    NBETest::await(swift->shutdown());
    EXPECT_TRUE(finished);
    ASSERT_TRUE(NBETest::waitUntil([&] { return traffic().endsWith("exit"); }));
    swift->didOpen(file("late.swift"), "swift", "ignored", 0);
    NBETest::await(swift->shutdown()); // a second shutdown does nothing
}

TEST_F(NBELSPSwiftSessionTest, WithoutAServerEveryCallIsSilent)
{
    QFile::remove(path("toolchains/swift-6.0.3-RELEASE/usr/bin/sourcekit-lsp"));
    auto swift = session();
    bool finished = false;
    QObject::connect(swift.get(), &NBELSPSession::diagnosticsFinished, [&] { finished = true; });
    swift->didOpen(file("main.swift"), "swift", "let a = 1", 0);
    swift->didChange(file("main.swift"), "let a = 2", 1);
    EXPECT_TRUE(swift->isUnavailable());
    EXPECT_FALSE(swift->isOpen(file("main.swift")));
    NBETest::await(swift->shutdown());
    EXPECT_TRUE(finished);
    EXPECT_TRUE(traffic().isEmpty());
}

// Held only by its shutdown, as the folder's servers hold it, the session and
// its server are released once the server is gone.
TEST_F(NBELSPSwiftSessionTest, AShutDownSessionAndItsServerAreReleased)
{
    std::shared_ptr<NBELSPSession> swift = session();
    swift->didOpen(file("main.swift"), "swift", "let a = 1", 0);
    ASSERT_TRUE(NBETest::waitUntil([&] { return traffic().size() == 3; }));
    QPointer<QObject> server;
    for (QObject *child : swift->children())
        if (child->inherits("NBELSPServerConnection"))
            server = child;
    ASSERT_TRUE(server);

    const std::weak_ptr<NBELSPSession> weak = swift;
    swift->shutdown().then([held = std::exchange(swift, nullptr)] {});
    EXPECT_TRUE(NBETest::waitUntil([&] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return weak.expired() && !server;
    })) << "session "
        << (weak.expired() ? "released" : "held");
}
