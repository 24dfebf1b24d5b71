// The git snapshot on its own, read from real repositories in temporary
// folders.
#include "NBEGitState.h"
#include "NBEGitNameOrder.h"
#include "NBETestSupport.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class GitStateTest : public ::testing::Test
{
protected:
    QTemporaryDir dir;
    QString root = QDir(dir.path()).filePath(QStringLiteral("repo"));
    NBEGitService service;
    NBEGitState state{service};

    void SetUp() override { QDir().mkpath(root); }

    QString path(const QString &relative) const { return QDir(root).filePath(relative); }
    QUrl url(const QString &relative) const { return QUrl::fromLocalFile(path(relative)); }
    void write(const QString &relative, const QByteArray &bytes)
    {
        NBETest::writeFile(path(relative), bytes);
    }
    void git(const QStringList &args) { NBETest::git(root, args); }
    void refresh() { NBETest::await(NBETest::refreshIn(state, QUrl::fromLocalFile(root))); }
    QStringList changedNames() const
    {
        QStringList names;
        for (const NBEGitFileChange &change : state.changedFiles())
            names.append(change.url.fileName());
        return names;
    }
};

} // namespace

TEST_F(GitStateTest, ASnapshotAnswersTheQuestionsAsked)
{
    git({"init", "-q", "-b", "main"});
    write(QStringLiteral("b.css"), "b\n");
    write(QStringLiteral("A.html"), "a\n");
    git({"add", "."});
    git({"commit", "-q", "-m", "first"});
    write(QStringLiteral("A.html"), "changed\n");
    write(QStringLiteral("c.js"), "new\n");
    write(QStringLiteral("b.css"), "staged\n");
    git({"add", "b.css"});

    QSignalSpy changed(&state, &NBEGitState::changed);
    refresh();
    EXPECT_EQ(changed.size(), 1);
    EXPECT_TRUE(state.isRepository());
    EXPECT_EQ(state.snapshot().branch, QStringLiteral("main"));
    EXPECT_EQ(state.snapshot().branches, QStringList{QStringLiteral("main")});
    EXPECT_TRUE(state.hasStagedChanges());
    EXPECT_FALSE(state.hasConflicts());
    // Case-insensitive by name, whatever order git lists them in.
    EXPECT_EQ(changedNames(), (QStringList{QStringLiteral("A.html"), QStringLiteral("b.css"),
                                           QStringLiteral("c.js")}));
    EXPECT_EQ(state.status(url(QStringLiteral("c.js"))), NBEGitStatus::untracked);
    EXPECT_EQ(state.status(QUrl::fromLocalFile(root + QStringLiteral("/x/../A.html"))),
              NBEGitStatus::modified);
    EXPECT_FALSE(state.status(url(QStringLiteral("none.txt"))).has_value());
    // No remote: nothing to publish, and a local commit may be amended.
    EXPECT_FALSE(state.needsPublish());
    EXPECT_EQ(state.commitsToPush(), 0);
    EXPECT_TRUE(state.canAmendSafely());
    EXPECT_EQ(NBETest::await(state.headContent(url(QStringLiteral("A.html")))),
              QStringLiteral("a\n"));

    // Nothing changed: nothing announced.
    refresh();
    EXPECT_EQ(changed.size(), 1);
}

TEST_F(GitStateTest, RefreshesOfASubfolderAgreeWithAFreshReading)
{
    git({"init", "-q", "-b", "main"});
    write(QStringLiteral("a.txt"), "a\n");
    write(QStringLiteral("sub/b c.txt"), "b\n");
    git({"add", "."});
    git({"commit", "-q", "-m", "first"});
    const QUrl sub = url(QStringLiteral("sub"));
    const auto expectFresh = [&] {
        NBEGitState fresh{service};
        NBETest::await(NBETest::refreshIn(fresh, QUrl::fromLocalFile(root)));
        EXPECT_EQ(state.snapshot(), fresh.snapshot());
    };
    const auto refreshSub = [&] { NBETest::await(NBETest::refreshIn(state, sub)); };

    refreshSub();
    EXPECT_EQ(state.snapshot().root, QUrl::fromLocalFile(root));
    EXPECT_TRUE(state.snapshot().changes.isEmpty());
    write(QStringLiteral("sub/\u65e5 new.txt"), "new\n");
    write(QStringLiteral("a.txt"), "changed\n");
    refreshSub();
    EXPECT_EQ(state.status(url(QStringLiteral("sub/\u65e5 new.txt"))), NBEGitStatus::untracked);
    expectFresh();
    git({"mv", "sub/b c.txt", "sub/renamed.txt"});
    QFile::remove(path(QStringLiteral("sub/\u65e5 new.txt")));
    refreshSub();
    EXPECT_EQ(state.status(url(QStringLiteral("sub/renamed.txt"))), NBEGitStatus::renamed);
    EXPECT_FALSE(state.status(url(QStringLiteral("sub/\u65e5 new.txt"))).has_value());
    expectFresh();
    git({"commit", "-q", "-am", "second"});
    refreshSub();
    EXPECT_TRUE(state.snapshot().changes.isEmpty());
    expectFresh();

    // The folder becomes a repository of its own: its status is read anew.
    write(QStringLiteral("sub/inner.txt"), "inner\n");
    NBETest::git(path(QStringLiteral("sub")), {"init", "-q", "-b", "main"});
    refreshSub();
    EXPECT_EQ(state.snapshot().root, sub);
    EXPECT_EQ(state.status(url(QStringLiteral("sub/inner.txt"))), NBEGitStatus::untracked);
    NBEGitState fresh{service};
    NBETest::await(NBETest::refreshIn(fresh, sub));
    EXPECT_EQ(state.snapshot(), fresh.snapshot());
}

// Rows keep their order from one refresh to the next and only new changes
// are sorted in; after bursts of changes (new, gone, staged, changed again
// after staging, renamed, the same name in many folders, digits and case)
// they are what a fresh reading gives.
TEST_F(GitStateTest, RowsAfterBurstsOfChangesEqualAFreshReading)
{
    git({"init", "-q", "-b", "main"});
    for (int i = 0; i < 30; ++i)
        write(QStringLiteral("dir%1/index.html").arg(i % 7), "committed\n");
    write(QStringLiteral("File10.txt"), "a\n");
    write(QStringLiteral("file9.txt"), "a\n");
    git({"add", "."});
    git({"commit", "-q", "-m", "first"});
    const auto expectFresh = [&] {
        NBEGitState fresh{service};
        NBETest::await(NBETest::refreshIn(fresh, QUrl::fromLocalFile(root)));
        ASSERT_EQ(state.snapshot(), fresh.snapshot());
        EXPECT_EQ(state.changedFiles(), fresh.changedFiles());
        EXPECT_EQ(state.changeRows(), fresh.changeRows());
        EXPECT_EQ(state.changedFiles(), NBEGitNameOrder::of(fresh.snapshot().changes).changes);
    };
    refresh();
    const QStringList names{"index.html", "Index.html", "a2.css",           "a10.css",
                            "A1.css",     "zeta.js",    "\u00c9t\u00e9.md", "b.txt"};
    for (int burst = 0; burst < 6; ++burst) {
        for (int i = 0; i < 12; ++i)
            write(QStringLiteral("new%1/%2")
                      .arg((i + burst) % 5)
                      .arg(names[(i * 3 + burst) % names.size()]),
                  QByteArray::number(burst));
        write(QStringLiteral("dir%1/index.html").arg(burst), "changed\n");
        if (burst % 2)
            git({"add", QStringLiteral("dir%1").arg(burst - 1)});
        if (burst > 2)
            QDir(path(QStringLiteral("new%1").arg(burst - 3))).removeRecursively();
        if (burst == 4)
            QFile::remove(path(QStringLiteral("file9.txt")));
        if (burst == 3)
            write(QStringLiteral("dir2/index.html"), "changed after staging\n");
        if (burst == 5)
            git({"mv", "File10.txt", "dir6/File10.txt"});
        refresh();
        expectFresh();
    }
    EXPECT_FALSE(state.changeRows().isEmpty());
}

TEST_F(GitStateTest, CommitsToPushCountAgainstTheUpstreamOnceThereIsOne)
{
    const QString remote = QDir(dir.path()).filePath(QStringLiteral("remote.git"));
    NBETest::git(dir.path(), {"init", "-q", "--bare", "-b", "main", remote});
    git({"init", "-q", "-b", "main"});
    git({"remote", "add", "origin", remote});
    const auto commit = [&](const char *name) {
        write(QString::fromLatin1(name), name);
        git({"add", "."});
        git({"commit", "-q", "-m", name});
    };
    commit("one");
    commit("two");
    refresh();
    // Never pushed: every commit is unpushed and the branch wants publishing.
    EXPECT_TRUE(state.needsPublish());
    EXPECT_FALSE(state.snapshot().hasUpstream);
    EXPECT_EQ(state.commitsToPush(), 2);

    git({"push", "-q", "-u", "origin", "main"});
    commit("three");
    refresh();
    EXPECT_FALSE(state.needsPublish());
    EXPECT_EQ(state.commitsToPush(), 1);
    EXPECT_TRUE(state.canAmendSafely());
    // Pushed commits are not amended.
    git({"push", "-q"});
    refresh();
    EXPECT_EQ(state.commitsToPush(), 0);
    EXPECT_FALSE(state.canAmendSafely());
}

TEST_F(GitStateTest, AMergeIsAnnouncedAsItBeginsAndEnds)
{
    git({"init", "-q", "-b", "main"});
    write(QStringLiteral("a.txt"), "base\n");
    git({"add", "."});
    git({"commit", "-q", "-m", "base"});
    git({"checkout", "-q", "-b", "feature"});
    write(QStringLiteral("a.txt"), "feature\n");
    git({"commit", "-q", "-am", "feature"});
    git({"checkout", "-q", "main"});
    write(QStringLiteral("a.txt"), "main\n");
    git({"commit", "-q", "-am", "main"});
    refresh();

    QList<std::optional<NBEGitMergeState>> befores;
    QObject::connect(
        &state, &NBEGitState::mergeChanged,
        [&](const std::optional<NBEGitMergeState> &before) { befores.append(before); });
    NBETest::run(QStringLiteral("/usr/bin/git"),
                 {QStringLiteral("merge"), QStringLiteral("feature")}, root);
    refresh();
    ASSERT_TRUE(state.snapshot().merge.has_value());
    EXPECT_TRUE(state.hasConflicts());
    EXPECT_FALSE(state.canAmendSafely());
    ASSERT_EQ(befores.size(), 1);
    EXPECT_FALSE(befores.first().has_value());

    git({"merge", "--abort"});
    refresh();
    EXPECT_FALSE(state.snapshot().merge.has_value());
    EXPECT_FALSE(state.hasConflicts());
    ASSERT_EQ(befores.size(), 2);
    EXPECT_TRUE(befores.last().has_value());
}

TEST_F(GitStateTest, OnlyTheLatestRefreshIsKept)
{
    git({"init", "-q", "-b", "main"});
    write(QStringLiteral("a.txt"), "a\n");
    refresh();
    ASSERT_TRUE(state.isRepository());

    // The folder closes while a refresh of it still runs: the late answer
    // doesn't bring the repository back.
    const QFuture<void> late = NBETest::refreshIn(state, QUrl::fromLocalFile(root));
    NBETest::await(NBETest::refreshIn(state, std::nullopt));
    EXPECT_FALSE(state.isRepository());
    NBETest::await(late);
    EXPECT_FALSE(state.isRepository());
    EXPECT_TRUE(state.snapshot().changes.isEmpty());

    // Outside any repository the snapshot is empty too.
    QTemporaryDir plain;
    NBETest::await(NBETest::refreshIn(state, QUrl::fromLocalFile(plain.path())));
    EXPECT_EQ(state.snapshot(), NBEGitState::Snapshot{});
    EXPECT_FALSE(NBETest::await(state.headContent(url(QStringLiteral("a.txt")))).has_value());
}

TEST_F(GitStateTest, LoadingIsAnnouncedOnlyWhenItFlips)
{
    QSignalSpy flips(&state, &NBEGitState::loadingChanged);
    for (const bool loading : {true, true, false, false, true})
        state.setLoading(loading);
    EXPECT_EQ(flips.size(), 3);
    EXPECT_TRUE(state.isLoading());
}
