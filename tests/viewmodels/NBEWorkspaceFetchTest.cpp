#include "NBEWorkspaceFixture.h"

#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>

namespace {

using namespace std::chrono_literals;

// Lets the event loop run for a moment, for checks that something did NOT
// happen.
void settle()
{
    NBETest::waitUntil([] { return false; }, 300ms);
}

// The project is a clone of a bare origin that another clone has moved one
// commit ahead, so a fetch shows up as `gitBehind` going from 0 to 1. git
// runs through a wrapper that logs the start and end of every fetch and pull
// and holds one while its hold file exists.
class NBEWorkspaceFetchTest : public NBEWorkspaceFixture
{
protected:
    QString origin;
    QString log;

    void SetUp() override
    {
        NBEWorkspaceFixture::SetUp();
        origin = dir.filePath(QStringLiteral("origin.git"));
        log = dir.filePath(QStringLiteral("git.log"));
        const QString wrapper = dir.filePath(QStringLiteral("git.sh"));
        NBETest::writeFile(wrapper, QStringLiteral(R"(#!/bin/sh
for a in "$@"; do
  case "$a" in
    fetch|pull)
      echo "$a-start" >> '%1'
      while [ -e '%2'-"$a" ]; do sleep 0.02; done
      /usr/bin/git "$@"; s=$?
      echo "$a-end" >> '%1'
      exit $s;;
  esac
done
exec /usr/bin/git "$@"
)")
                                        .arg(log, hold(QString()).chopped(1))
                                        .toUtf8());
        QFile::setPermissions(wrapper, QFile::permissions(wrapper) | QFileDevice::ExeOwner);
        useModel(1h, 1h);
    }

    QString hold(const QString &command) const
    {
        return dir.filePath(QStringLiteral("hold-") + command);
    }

    void useModel(std::chrono::milliseconds start, std::chrono::milliseconds interval)
    {
        model = makeModel([&](NBEWorkspaceEnvironment &environment) {
            environment.gitURL = QUrl::fromLocalFile(dir.filePath(QStringLiteral("git.sh")));
            environment.timings.autoFetchStartDelay = start;
            environment.timings.autoFetchInterval = interval;
        });
    }

    void repositories()
    {
        NBETest::git(dir.path(), {QStringLiteral("init"), QStringLiteral("-q"),
                                  QStringLiteral("--bare"), origin});
        NBETest::git(root,
                     {QStringLiteral("clone"), QStringLiteral("-q"), origin, QStringLiteral(".")});
        commitAndPush(root, QStringLiteral("index.html"));
        const QString other = dir.filePath(QStringLiteral("other"));
        NBETest::git(dir.path(), {QStringLiteral("clone"), QStringLiteral("-q"), origin, other});
        commitAndPush(other, QStringLiteral("other.html"));
    }
    static void commitAndPush(const QString &clone, const QString &file)
    {
        NBETest::writeFile(QDir(clone).filePath(file), "<p>x</p>\n");
        NBETest::git(clone, {QStringLiteral("add"), file});
        NBETest::git(clone, {QStringLiteral("commit"), QStringLiteral("-q"), QStringLiteral("-m"),
                             QStringLiteral("Add ") + file});
        NBETest::git(clone, {QStringLiteral("push"), QStringLiteral("-q"), QStringLiteral("-u"),
                             QStringLiteral("origin"), QStringLiteral("main")});
    }

    QStringList logLines() const
    {
        return QString::fromUtf8(NBETest::readFile(log)).split(u'\n', Qt::SkipEmptyParts);
    }
    int fetches() const { return int(logLines().count(QStringLiteral("fetch-end"))); }
    void activate()
    {
        activity.setActive(false);
        activity.setActive(true);
    }
};

} // namespace

TEST_F(NBEWorkspaceFetchTest, FetchesAfterLoadThenAfterEachPause)
{
    repositories();
    useModel(10ms, 40ms);
    load();
    EXPECT_EQ(model->gitState().snapshot().behind, 0);
    ASSERT_TRUE(NBETest::waitUntil([&] { return fetches() >= 3; }));
    EXPECT_EQ(model->gitState().snapshot().behind, 1);
    // Each pause starts when the fetch before it has ended.
    const QStringList lines = logLines();
    for (int i = 0; i < lines.size(); ++i)
        EXPECT_EQ(lines[i], i % 2 ? QStringLiteral("fetch-end") : QStringLiteral("fetch-start"));
    EXPECT_FALSE(model->errorMessage().has_value());
}

TEST_F(NBEWorkspaceFetchTest, ActivationFetchesAtOnceWithoutDoubling)
{
    repositories();
    load();
    settle();
    EXPECT_EQ(logLines(), QStringList());

    // Activations while a fetch runs wait for it instead of fetching again.
    NBETest::writeFile(hold(QStringLiteral("fetch")), "");
    activate();
    ASSERT_TRUE(NBETest::waitUntil([&] { return !logLines().isEmpty(); }));
    activate();
    activate();
    QFile::remove(hold(QStringLiteral("fetch")));
    ASSERT_TRUE(NBETest::waitUntil([&] { return model->gitState().snapshot().behind == 1; }));
    settle();
    EXPECT_EQ(logLines(),
              (QStringList{QStringLiteral("fetch-start"), QStringLiteral("fetch-end")}));

    activate();
    ASSERT_TRUE(NBETest::waitUntil([&] { return fetches() == 2; }));
}

TEST_F(NBEWorkspaceFetchTest, SettingIsReadAtEveryTurn)
{
    const QString key = QStringLiteral("nbe.gitAutoFetch");
    EXPECT_TRUE(model->workspaceGit().isAutoFetchEnabled());
    settings->setString(key, QStringLiteral("no"));
    EXPECT_TRUE(model->workspaceGit().isAutoFetchEnabled());
    settings->setInt(key, 0);
    EXPECT_TRUE(model->workspaceGit().isAutoFetchEnabled());
    settings->setBool(key, false);
    EXPECT_FALSE(model->workspaceGit().isAutoFetchEnabled());

    repositories();
    useModel(10ms, 20ms);
    load();
    activate();
    settle();
    EXPECT_EQ(fetches(), 0);
    EXPECT_EQ(model->gitState().snapshot().behind, 0);

    // Switched on again, the running loop picks it up without a restart.
    settings->setBool(key, true);
    ASSERT_TRUE(NBETest::waitUntil([&] { return model->gitState().snapshot().behind == 1; }));
}

TEST_F(NBEWorkspaceFetchTest, NothingWithoutRemoteOrWhileSyncing)
{
    git({QStringLiteral("init"), QStringLiteral("-q")});
    useModel(10ms, 20ms);
    load();
    activate();
    settle();
    EXPECT_EQ(logLines(), QStringList());

    // A pull in progress makes every turn skip; the turn after it fetches.
    QDir(root).removeRecursively();
    QDir().mkpath(root);
    repositories();
    useModel(1h, 1h);
    load();
    NBETest::writeFile(hold(QStringLiteral("pull")), "");
    const QFuture<void> pulling = model->workspaceGit().pull();
    ASSERT_TRUE(model->workspaceGit().isSyncing());
    ASSERT_TRUE(NBETest::waitUntil([&] { return !logLines().isEmpty(); }));
    activate();
    QFile::remove(hold(QStringLiteral("pull")));
    NBETest::await(pulling);
    EXPECT_EQ(fetches(), 0);
    activate();
    ASSERT_TRUE(NBETest::waitUntil([&] { return fetches() == 1; }));
}

TEST_F(NBEWorkspaceFetchTest, ClosingStopsTheLoopAndActivationsAndLoadingRestarts)
{
    repositories();
    useModel(10ms, 20ms);
    load();
    ASSERT_TRUE(NBETest::waitUntil([&] { return fetches() >= 1; }));
    ASSERT_TRUE(NBETest::await(model->closeWorkspace()));
    ASSERT_TRUE(
        NBETest::waitUntil([&] { return logLines().last() == QStringLiteral("fetch-end"); }));
    const int count = fetches();
    activate();
    settle();
    EXPECT_EQ(fetches(), count);

    load();
    ASSERT_TRUE(NBETest::waitUntil([&] { return fetches() > count; }));

    // A fetch still running when the folder closes leaves the git state as
    // the window last showed it.
    useModel(1h, 1h);
    load();
    NBETest::writeFile(hold(QStringLiteral("fetch")), "");
    activate();
    ASSERT_TRUE(
        NBETest::waitUntil([&] { return logLines().last() == QStringLiteral("fetch-start"); }));
    ASSERT_TRUE(NBETest::await(model->closeWorkspace()));
    QFile::remove(hold(QStringLiteral("fetch")));
    ASSERT_TRUE(
        NBETest::waitUntil([&] { return logLines().last() == QStringLiteral("fetch-end"); }));
    settle();
    EXPECT_EQ(model->gitState().snapshot().branch, QStringLiteral("main"));
    EXPECT_TRUE(model->gitState().isRepository());
}

TEST_F(NBEWorkspaceFetchTest, RemoteThatWantsCredentialsFailsWithoutAsking)
{
    // A remote that answers every request with a demand for credentials.
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    int requests = 0;
    QObject::connect(&server, &QTcpServer::newConnection, &server, [&] {
        while (QTcpSocket *socket = server.nextPendingConnection()) {
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [&requests, socket] {
                if (!socket->readAll().contains("\r\n\r\n"))
                    return;
                ++requests;
                socket->write("HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Basic "
                              "realm=\"x\"\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
                socket->disconnectFromHost();
            });
            QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    });

    repositories();
    // Anything git might ask instead of failing leaves a mark.
    const QString asked = dir.filePath(QStringLiteral("asked"));
    const QString askScript = dir.filePath(QStringLiteral("ask.sh"));
    NBETest::writeFile(askScript,
                       QStringLiteral("#!/bin/sh\ntouch '%1'\necho secret\n").arg(asked).toUtf8());
    QFile::setPermissions(askScript, QFile::permissions(askScript) | QFileDevice::ExeOwner);
    git({QStringLiteral("config"), QStringLiteral("core.askPass"), askScript});
    git({QStringLiteral("config"), QStringLiteral("credential.helper"),
         QStringLiteral("!") + askScript});
    git({QStringLiteral("remote"), QStringLiteral("set-url"), QStringLiteral("origin"),
         QStringLiteral("http://127.0.0.1:%1/site.git").arg(server.serverPort())});

    load();
    activate();
    ASSERT_TRUE(NBETest::waitUntil([&] { return fetches() == 1; }));
    settle();
    EXPECT_GE(requests, 1);
    EXPECT_FALSE(QFile::exists(asked));
    EXPECT_FALSE(model->errorMessage().has_value());
    EXPECT_TRUE(desktop->questions.isEmpty());
    EXPECT_EQ(model->gitState().snapshot().behind, 0);
}

// A remote reached through the SSH command the user set up for it (another
// key, say) is fetched with that command, which still may not ask.
TEST_F(NBEWorkspaceFetchTest, TheUsersSSHCommandIsKept)
{
    repositories();
    // Stands in for ssh: runs the remote's git command here.
    const QString calls = dir.filePath(QStringLiteral("ssh-calls"));
    const QString ssh = dir.filePath(QStringLiteral("work-ssh"));
    NBETest::writeFile(ssh, QStringLiteral("#!/bin/sh\necho \"$*\" >> '%1'\nfor last; do :; "
                                           "done\nexec sh -c \"$last\"\n")
                                .arg(calls)
                                .toUtf8());
    QFile::setPermissions(ssh, QFile::permissions(ssh) | QFileDevice::ExeOwner);
    // git runs it through the shell, as typed in the configuration.
    git({QStringLiteral("config"), QStringLiteral("core.sshCommand"), u'\'' + ssh + u'\''});
    git({QStringLiteral("remote"), QStringLiteral("set-url"), QStringLiteral("origin"),
         QStringLiteral("ssh://git.example") + origin});

    load();
    activate();
    ASSERT_TRUE(NBETest::waitUntil([&] { return fetches() == 1; }));
    ASSERT_TRUE(NBETest::waitUntil([&] { return model->gitState().snapshot().behind == 1; }))
        << NBETest::readFile(calls).toStdString();
    EXPECT_TRUE(NBETest::readFile(calls).contains("-oBatchMode=yes"));
}
