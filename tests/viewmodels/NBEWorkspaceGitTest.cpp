#include "NBEWorkspaceFixture.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <csignal>

using GitState = NBEWorkspaceFixture;

namespace {

QString canonical(const QString &path)
{
    return QFileInfo(path).canonicalFilePath();
}

} // namespace

TEST_F(GitState, ClosingNeverWaitsForARunningGit)
{
    write(QStringLiteral("index.html"), "<p>one</p>\n");
    git({"init", "-q"});
    const QString slow = slowGit();
    model = makeModel([&](NBEWorkspaceEnvironment &environment) {
        environment.gitURL = QUrl::fromLocalFile(slow);
    });
    model->loadWorkspace(rootURL());
    // The whole id is in once its line ends.
    ASSERT_TRUE(
        NBETest::waitUntil([&] { return NBETest::readFile(slowGitStarted()).endsWith('\n'); }));
    EXPECT_TRUE(model->gitState().isLoading());
    EXPECT_FALSE(model->gitState().isRepository());

    // The window goes while git still waits: its git is stopped, not waited
    // for, and nothing queued behind it starts.
    model.reset();
    EXPECT_FALSE(QFileInfo::exists(slowGitRan()));
    const QList<QByteArray> started = NBETest::readFile(slowGitStarted()).trimmed().split('\n');
    ASSERT_EQ(started.size(), 1);
    EXPECT_EQ(::kill(pid_t(started.first().toInt()), 0), -1);
    EXPECT_EQ(errno, ESRCH);
}

TEST_F(GitState, OutsideARepositoryEverythingIsEmpty)
{
    load();
    NBETest::await(model->gitState().refresh());
    EXPECT_FALSE(model->gitState().isRepository());
    EXPECT_FALSE(model->gitState().snapshot().branch.has_value());
    EXPECT_TRUE(model->gitState().snapshot().changes.isEmpty());
    EXPECT_TRUE(model->gitState().snapshot().status.isEmpty());
    EXPECT_FALSE(model->gitState().canAmendSafely());
    EXPECT_FALSE(model->gitState().needsPublish());
    EXPECT_FALSE(
        NBETest::await(model->gitState().headContent(url(QStringLiteral("a.css")))).has_value());
}

TEST_F(GitState, SnapshotFollowsCommitsMadeOutsideTheEditor)
{
    write(QStringLiteral("a.html"), "a\n");
    write(QStringLiteral("b.css"), "b\n");
    write(QStringLiteral("old.js"), "x\n");
    git({QStringLiteral("init"), QStringLiteral("-q")});
    load();
    // Before the first commit: no HEAD.
    EXPECT_TRUE(model->gitState().isRepository());
    EXPECT_FALSE(model->gitState().snapshot().headSHA.has_value());
    EXPECT_EQ(model->gitState().snapshot().changes.size(), 3);
    EXPECT_FALSE(model->gitState().hasStagedChanges());
    EXPECT_EQ(model->gitState().status(url(QStringLiteral("a.html"))), NBEGitStatus::untracked);

    git({QStringLiteral("add"), QStringLiteral(".")});
    git({QStringLiteral("commit"), QStringLiteral("-qm"), QStringLiteral("first")});
    write(QStringLiteral("a.html"), "a changed\n");
    write(QStringLiteral("C.md"), "new\n");
    git({QStringLiteral("mv"), QStringLiteral("old.js"), QStringLiteral("new.js")});
    NBETest::await(model->gitState().refresh());

    EXPECT_EQ(canonical(model->gitState().snapshot().root->toLocalFile()), canonical(root));
    EXPECT_EQ(model->gitState().snapshot().branch, QStringLiteral("main"));
    EXPECT_EQ(model->gitState().snapshot().branches, QStringList{QStringLiteral("main")});
    EXPECT_TRUE(model->gitState().snapshot().headSHA.has_value());
    EXPECT_EQ(model->gitState().snapshot().headSHA->size(), 40);
    EXPECT_TRUE(model->gitState().hasStagedChanges());
    EXPECT_TRUE(model->gitState().canAmendSafely());
    EXPECT_FALSE(model->gitState().needsPublish());
    EXPECT_EQ(model->gitState().commitsToPush(), 0);

    QStringList names;
    for (const NBEGitFileChange &change : model->gitState().changedFiles())
        names.append(change.url.fileName());
    EXPECT_EQ(names, (QStringList{QStringLiteral("a.html"), QStringLiteral("C.md"),
                                  QStringLiteral("new.js")}));
    const QString gitRootPath = model->gitState().snapshot().root->toLocalFile();
    EXPECT_EQ(model->gitState().snapshot().status.value(gitRootPath + QStringLiteral("/new.js")),
              NBEGitStatus::renamed);
    EXPECT_FALSE(
        model->gitState().snapshot().status.contains(gitRootPath + QStringLiteral("/old.js")));
    EXPECT_EQ(model->gitState().snapshot().status.value(gitRootPath + QStringLiteral("/a.html")),
              NBEGitStatus::modified);
    EXPECT_EQ(NBETest::await(model->gitState().headContent(
                  QUrl::fromLocalFile(gitRootPath + QStringLiteral("/a.html")))),
              QStringLiteral("a\n"));

    // Committed from a terminal: the next refresh shows a clean tree.
    git({QStringLiteral("add"), QStringLiteral("-A")});
    git({QStringLiteral("commit"), QStringLiteral("-qm"), QStringLiteral("second")});
    NBETest::await(model->gitState().refresh());
    EXPECT_TRUE(model->gitState().snapshot().changes.isEmpty());
    EXPECT_TRUE(model->gitState().snapshot().status.isEmpty());

    // Detached HEAD shows the abbreviated hash.
    git({QStringLiteral("checkout"), QStringLiteral("-q"), QStringLiteral("HEAD~1")});
    NBETest::await(model->gitState().refresh());
    EXPECT_TRUE(
        model->gitState().snapshot().headSHA->startsWith(*model->gitState().snapshot().branch));
}

TEST_F(GitState, UpstreamRemotesAndUnpushedCommits)
{
    const QString bare = dir.filePath(QStringLiteral("origin.git"));
    NBETest::git(dir.path(),
                 {QStringLiteral("init"), QStringLiteral("-q"), QStringLiteral("--bare"), bare});
    write(QStringLiteral("a.css"), "a");
    git({QStringLiteral("init"), QStringLiteral("-q")});
    git({QStringLiteral("add"), QStringLiteral(".")});
    git({QStringLiteral("commit"), QStringLiteral("-qm"), QStringLiteral("one")});
    load();
    EXPECT_TRUE(model->gitState().snapshot().remotes.isEmpty());
    EXPECT_EQ(model->gitState().snapshot().unpushed, 0);
    EXPECT_FALSE(model->gitState().needsPublish());

    git({QStringLiteral("remote"), QStringLiteral("add"), QStringLiteral("origin"), bare});
    NBETest::await(model->gitState().refresh());
    EXPECT_EQ(model->gitState().snapshot().remotes, QStringList{QStringLiteral("origin")});
    EXPECT_FALSE(model->gitState().snapshot().hasUpstream);
    EXPECT_EQ(model->gitState().snapshot().unpushed, 1);
    EXPECT_EQ(model->gitState().commitsToPush(), 1);
    EXPECT_TRUE(model->gitState().needsPublish());

    git({QStringLiteral("push"), QStringLiteral("-q"), QStringLiteral("-u"),
         QStringLiteral("origin"), QStringLiteral("main")});
    NBETest::await(model->gitState().refresh());
    EXPECT_TRUE(model->gitState().snapshot().hasUpstream);
    EXPECT_EQ(model->gitState().snapshot().ahead, 0);
    EXPECT_FALSE(model->gitState().canAmendSafely());
    write(QStringLiteral("a.css"), "b");
    git({QStringLiteral("commit"), QStringLiteral("-qam"), QStringLiteral("two")});
    NBETest::await(model->gitState().refresh());
    EXPECT_EQ(model->gitState().snapshot().ahead, 1);
    EXPECT_EQ(model->gitState().commitsToPush(), 1);
    EXPECT_EQ(model->gitState().snapshot().unpushed, 0);
    EXPECT_FALSE(model->gitState().needsPublish());
    EXPECT_TRUE(model->gitState().canAmendSafely());
}

TEST_F(GitState, SubfolderWorkspaceSeesTheWholeRepository)
{
    write(QStringLiteral("web/index.html"), "i");
    write(QStringLiteral("README.md"), "r");
    git({QStringLiteral("init"), QStringLiteral("-q")});
    NBETest::await(model->loadWorkspace(url(QStringLiteral("web"))));
    EXPECT_EQ(canonical(model->gitState().snapshot().root->toLocalFile()), canonical(root));
    EXPECT_EQ(model->gitState().snapshot().changes.size(), 2);
}

// A project opened through a symbolic link: git names the resolved folder,
// the window the linked one, and the badges still find their files.
TEST_F(GitState, ASymlinkedProjectShowsItsBadges)
{
    write(QStringLiteral("a.css"), "a\n");
    git({QStringLiteral("init"), QStringLiteral("-q")});
    git({QStringLiteral("add"), QStringLiteral(".")});
    git({QStringLiteral("commit"), QStringLiteral("-qm"), QStringLiteral("A")});
    write(QStringLiteral("a.css"), "b\n");
    const QString linked = dir.filePath(QStringLiteral("linked"));
    ASSERT_TRUE(QFile::link(root, linked));
    NBETest::await(model->loadWorkspace(QUrl::fromLocalFile(linked)));
    const QUrl file = QUrl::fromLocalFile(linked + QStringLiteral("/a.css"));
    EXPECT_EQ(model->gitState().status(file), NBEGitStatus::modified);
    EXPECT_EQ(model->gitState().snapshot().root, QUrl::fromLocalFile(linked));
    EXPECT_EQ(NBETest::await(model->gitState().headContent(file)), QStringLiteral("a\n"));
}

TEST_F(GitState, InitialisingARepository)
{
    load();
    EXPECT_FALSE(model->gitState().isRepository());
    model->workspaceGit().initRepository();
    ASSERT_TRUE(NBETest::waitUntil([&] { return model->gitState().isRepository(); }));
    EXPECT_EQ(canonical(model->gitState().snapshot().root->toLocalFile()), canonical(root));
}
