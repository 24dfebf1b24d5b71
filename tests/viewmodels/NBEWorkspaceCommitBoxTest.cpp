// The commit box on its own: when a commit can be made, as a table of
// cases and over real repositories, with a host that records what it asks.
#include "NBEDefaults.h"
#include "NBEPreferences.h"
#include "NBETestSupport.h"
#include "NBEWorkspaceCommit.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct ReadinessCase
{
    const char *name;
    NBECommitReadiness readiness;
    NBECommitBlocker expected;
};

// Fields: message, amend, merging, conflicts, staged, committing.
const ReadinessCase readinessCases[] = {
    {"StagedWithMessage", {true, false, false, false, true, false}, NBECommitBlocker::none},
    {"NothingStaged", {true, false, false, false, false, false}, NBECommitBlocker::nothingStaged},
    {"AmendNeedsNothingStaged", {true, true, false, false, false, false}, NBECommitBlocker::none},
    {"MergeNeedsNothingStaged", {true, false, true, false, false, false}, NBECommitBlocker::none},
    {"BlankMessage", {false, false, false, false, true, false}, NBECommitBlocker::noMessage},
    {"WhileCommitting", {true, false, false, false, true, true}, NBECommitBlocker::committing},
    {"ConflictsInAMerge", {true, false, true, true, true, false}, NBECommitBlocker::conflicts},
    // Unmerged paths without a merge (a stash pop) are git's to refuse.
    {"ConflictsWithoutAMerge", {true, false, false, true, true, false}, NBECommitBlocker::none},
    {"ConflictsNamedBeforeNoMessage",
     {false, false, true, true, false, false},
     NBECommitBlocker::conflicts},
    {"NothingStagedNamedBeforeNoMessage",
     {false, false, false, false, false, false},
     NBECommitBlocker::nothingStaged},
};

class CommitReadiness : public ::testing::TestWithParam<ReadinessCase>
{
};

TEST_P(CommitReadiness, BlocksForTheFirstReasonTheButtonNames)
{
    EXPECT_EQ(GetParam().readiness.blocker(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, CommitReadiness, ::testing::ValuesIn(readinessCases),
                         [](const auto &info) { return std::string(info.param.name); });

class CommitBox : public ::testing::Test
{
protected:
    QTemporaryDir dir;
    QString root = dir.filePath(QStringLiteral("repo"));
    NBEDefaults defaults{dir.filePath(QStringLiteral("settings.json"))};
    NBEPreferences preferences{defaults};
    NBEGitService service;
    NBEGitState state{service};
    QStringList flashes;
    QStringList failures;
    std::unique_ptr<NBEWorkspaceGit> sync;
    std::unique_ptr<NBEWorkspaceCommit> box;

    void SetUp() override
    {
        QDir().mkpath(root);
        git({"init", "-q", "-b", "main"});
        write("page.html", "one\n");
        git({"add", "."});
        git({"commit", "-q", "-m", "first"});
        state.setFolder(QUrl::fromLocalFile(root));
        sync =
            std::make_unique<NBEWorkspaceGit>(service, state, preferences, nullptr,
                                              NBEWorkspaceGit::Settings{}, NBEWorkspaceGitHost{});
        QObject::connect(sync.get(), &NBEWorkspaceGit::syncStatusChanged, [this] {
            if (sync->syncStatus())
                flashes.append(*sync->syncStatus());
        });
        box = std::make_unique<NBEWorkspaceCommit>(service, state, *sync, defaults, preferences,
                                                   QUrl());
        QObject::connect(box.get(), &NBEWorkspaceCommit::failed,
                         [this](const QString &message) { failures.append(message); });
        refresh();
    }

    void git(const QStringList &args) { NBETest::git(root, args); }
    void write(const char *name, const QByteArray &text)
    {
        NBETest::writeFile(QDir(root).filePath(QString::fromLatin1(name)), text);
    }
    void refresh() { NBETest::await(NBETest::refreshIn(state, QUrl::fromLocalFile(root))); }
};

} // namespace

TEST_F(CommitBox, CanCommitFollowsTheRepositoryAndTheRunningCommit)
{
    box->setCommitMessage(QStringLiteral("Second"));
    EXPECT_EQ(box->commitBlocker(false), NBECommitBlocker::nothingStaged);
    EXPECT_TRUE(box->canCommit(true));

    write("page.html", "two\n");
    git({"add", "."});
    refresh();
    EXPECT_TRUE(box->canCommit(false));

    QSignalSpy committing(box.get(), &NBEWorkspaceCommit::isCommittingChanged);
    QFuture<bool> done = box->commit(false);
    EXPECT_TRUE(box->isCommitting());
    EXPECT_EQ(box->commitBlocker(false), NBECommitBlocker::committing);
    EXPECT_TRUE(NBETest::await(done));
    EXPECT_FALSE(box->isCommitting());
    EXPECT_EQ(committing.size(), 2);
    EXPECT_EQ(flashes, QStringList{QStringLiteral("Committed to main")});
    // The box was emptied with the commit, and nothing is staged now.
    EXPECT_EQ(box->commitBlocker(false), NBECommitBlocker::nothingStaged);
    EXPECT_EQ(box->commitBlocker(true), NBECommitBlocker::noMessage);
    EXPECT_TRUE(failures.isEmpty());
}

// git's commit can be stopped; the refresh after it can't undo it, so the
// commit can't be cancelled then, and a cancel asked then changes nothing.
TEST_F(CommitBox, ACommitIsCancellableUntilGitHasMadeIt)
{
    write("page.html", "two\n");
    git({"add", "."});
    refresh();
    box->setCommitMessage(QStringLiteral("Second"));
    QList<std::pair<bool, bool>> whileFlashing;
    QObject::connect(sync.get(), &NBEWorkspaceGit::syncStatusChanged, box.get(),
                     [this, &whileFlashing] {
                         if (!sync->syncStatus())
                             return;
                         whileFlashing.append({box->isCommitting(), box->canCancelCommit()});
                         box->cancelCommit();
                     });
    EXPECT_FALSE(box->canCancelCommit());
    QFuture<bool> done = box->commit(false);
    EXPECT_TRUE(box->canCancelCommit());
    EXPECT_TRUE(NBETest::await(done));
    EXPECT_FALSE(box->canCancelCommit());
    EXPECT_EQ(whileFlashing, (QList<std::pair<bool, bool>>{{true, false}}));
    EXPECT_EQ(flashes, QStringList{QStringLiteral("Committed to main")});
    EXPECT_TRUE(failures.isEmpty());

    // Refused by git: over just the same.
    box->setCommitMessage(QStringLiteral("Nothing staged"));
    done = box->commit(false);
    EXPECT_TRUE(box->canCancelCommit());
    EXPECT_FALSE(NBETest::await(done));
    EXPECT_FALSE(box->canCancelCommit());
    EXPECT_EQ(failures.size(), 1);
}

TEST_F(CommitBox, AMergeFillsTheEmptyBoxAndBlocksOnConflicts)
{
    NBETest::startConflictingMerge(root, QStringLiteral("page.html"));
    refresh();

    EXPECT_EQ(box->commitMessage(), QStringLiteral("Merge branch 'feature'"));
    EXPECT_EQ(box->commitBlocker(false), NBECommitBlocker::conflicts);

    write("page.html", "both\n");
    git({"add", "."});
    refresh();
    EXPECT_TRUE(box->canCommit(false));

    git({"merge", "--abort"});
    refresh();
    // git's message leaves with the merge it belonged to.
    EXPECT_EQ(box->commitMessage(), QString());
}

TEST_F(CommitBox, ASecondCommitWhileOneRunsIsRefused)
{
    write("page.html", "two\n");
    git({"add", "."});
    refresh();
    box->setCommitMessage(QStringLiteral("Second"));

    QFuture<bool> first = box->commit(false);
    QFuture<bool> second = box->commit(true);
    ASSERT_TRUE(second.isFinished());
    EXPECT_FALSE(second.result());
    EXPECT_TRUE(NBETest::await(first));

    // One commit, and no amend of it.
    EXPECT_EQ(NBETest::git(root, {"log", "--format=%s"}).trimmed(), "Second\nfirst");
    EXPECT_EQ(NBETest::git(root, {"reflog", "--format=%gs"}).count('\n'), 2);
    EXPECT_TRUE(failures.isEmpty());
}
