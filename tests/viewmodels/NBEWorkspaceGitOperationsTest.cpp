// The remote's operations on their own, with a host that records what they
// ask of the window, against real repositories and a bare origin.
#include "NBEApplicationActivity.h"
#include "NBEPreferences.h"
#include "NBETestSupport.h"
#include "NBEWorkspaceGit.h"

#include <QDir>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;

class WorkspaceGit : public ::testing::Test
{
protected:
    QTemporaryDir dir;
    QString origin = dir.filePath(QStringLiteral("origin.git"));
    QString root = dir.filePath(QStringLiteral("repo"));
    NBEDefaults defaults{dir.filePath(QStringLiteral("settings.json"))};
    NBEPreferences preferences{defaults};
    NBEApplicationActivity activity;
    NBEGitService service;
    NBEGitState state{service};
    int refreshes = 0;
    QList<std::pair<std::optional<QList<QUrl>>, bool>> settled;
    // What settling answers: none is Cancel.
    std::optional<NBEGitRewrittenTabs> settleAnswer = NBEGitRewrittenTabs{};
    QList<NBEGitRewrittenTabs> reloaded;
    QStringList failures;
    std::unique_ptr<NBEWorkspaceGit> remote;

    void SetUp() override
    {
        QDir().mkpath(root);
        NBETest::git(dir.path(), {"init", "-q", "--bare", "-b", "main", origin});
        git({"init", "-q", "-b", "main"});
        commit("one");
        QObject::connect(&state, &NBEGitState::refreshed, [this] { ++refreshes; });
        make(1h);
    }

    void make(std::chrono::milliseconds fetchDelay)
    {
        NBEWorkspaceGitHost host;
        host.settleTabs = [this](const std::optional<QList<QUrl>> &files, bool saveEdits) {
            settled.append({files, saveEdits});
            return QtFuture::makeReadyFuture(settleAnswer);
        };
        host.reloadTabs = [this](const NBEGitRewrittenTabs &tabs) {
            reloaded.append(tabs);
            return QtFuture::makeReadyFuture();
        };
        NBEWorkspaceGit::Settings settings;
        settings.timings.autoFetchStartDelay = fetchDelay;
        settings.timings.syncStatusDuration = 100ms;
        // No sign-in helper: the failure texts point at SSH too.
        settings.browserAuthHelper = dir.filePath(QStringLiteral("no-helper"));
        remote = std::make_unique<NBEWorkspaceGit>(service, state, preferences, &activity, settings,
                                                   host);
        QObject::connect(remote.get(), &NBEWorkspaceGit::failed,
                         [this](const QString &message) { failures.append(message); });
        NBETest::await(NBETest::refreshIn(state, QUrl::fromLocalFile(root)));
    }

    void git(const QStringList &args) { NBETest::git(root, args); }
    void commit(const char *name)
    {
        NBETest::writeFile(QDir(root).filePath(QString::fromLatin1(name)), name);
        git({"add", "."});
        git({"commit", "-q", "-m", name});
    }
    // Another clone moves origin's main one commit ahead.
    void advanceOrigin()
    {
        const QString other = dir.filePath(QStringLiteral("other"));
        NBETest::git(dir.path(), {"clone", "-q", origin, other});
        NBETest::writeFile(QDir(other).filePath(QStringLiteral("theirs")), "theirs");
        NBETest::git(other, {"add", "."});
        NBETest::git(other, {"commit", "-q", "-m", "theirs"});
        NBETest::git(other, {"push", "-q"});
    }
};

} // namespace

TEST_F(WorkspaceGit, RemoteProblemsAreOneSentenceAndRunNothing)
{
    const struct
    {
        const char *name;
        std::function<QFuture<void>(NBEWorkspaceGit &)> run;
        QString failure;
    } rows[] = {
        {"pull without a remote", [](auto &r) { return r.pull(); },
         QStringLiteral("No remote configured. Add one from the branch menu \u2192 Set Remote "
                        "URL\u2026")},
        {"push without a remote", [](auto &r) { return r.push(); },
         QStringLiteral("No remote configured. Add one from the branch menu \u2192 Set Remote "
                        "URL\u2026")},
        {"empty URL", [](auto &r) { return r.setOriginRemote(QStringLiteral("  ")); },
         QStringLiteral("A remote URL can't be empty.")},
        {"URL with a line break", [](auto &r) { return r.setOriginRemote(QStringLiteral("a\nb")); },
         QStringLiteral("A remote URL can't contain line breaks or tabs.")},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        failures.clear();
        NBETest::await(row.run(*remote));
        EXPECT_EQ(failures, QStringList{row.failure});
        EXPECT_FALSE(remote->isSyncing());
    }
    EXPECT_TRUE(settled.isEmpty());
    EXPECT_FALSE(NBETest::await(remote->currentOriginURL()).has_value());
}

TEST_F(WorkspaceGit, PushPublishesThenPullAsksAboutTabsFirst)
{
    NBETest::await(remote->setOriginRemote(origin));
    EXPECT_TRUE(failures.isEmpty());
    EXPECT_EQ(NBETest::await(remote->currentOriginURL()), origin);
    ASSERT_TRUE(state.needsPublish());

    QSignalSpy syncing(remote.get(), &NBEWorkspaceGit::isSyncingChanged);
    const QFuture<void> pushed = remote->push();
    EXPECT_TRUE(remote->isSyncing());
    // One pull or push at a time.
    NBETest::await(remote->pull());
    NBETest::await(pushed);
    EXPECT_EQ(syncing.size(), 2);
    EXPECT_TRUE(failures.isEmpty()) << failures.join(u'\n').toStdString();
    EXPECT_TRUE(state.snapshot().hasUpstream);
    ASSERT_TRUE(remote->syncStatus().has_value());
    // The confirmation goes away by itself.
    EXPECT_TRUE(NBETest::waitUntil([&] { return !remote->syncStatus().has_value(); }));

    advanceOrigin();
    // Cancel: nothing is pulled.
    settleAnswer.reset();
    NBETest::await(remote->pull());
    EXPECT_FALSE(remote->isSyncing());
    EXPECT_TRUE(reloaded.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(QDir(root).filePath(QStringLiteral("theirs"))));

    const NBEGitRewrittenTabs tabs{{QUuid::createUuid(),
                                    QUrl::fromLocalFile(QDir(root).filePath(QStringLiteral("one"))),
                                    QStringLiteral("one")}};
    settleAnswer = tabs;
    NBETest::await(remote->pull());
    EXPECT_TRUE(failures.isEmpty()) << failures.join(u'\n').toStdString();
    EXPECT_TRUE(QFileInfo::exists(QDir(root).filePath(QStringLiteral("theirs"))));
    ASSERT_EQ(reloaded.size(), 1);
    EXPECT_EQ(reloaded.first().first().url, tabs.first().url);
    // Every tab is asked about, and saved edits are written first.
    ASSERT_EQ(settled.size(), 2);
    EXPECT_FALSE(settled.last().first.has_value());
    EXPECT_TRUE(settled.last().second);
}

TEST_F(WorkspaceGit, BackgroundFetchRefreshesOnlyAnOpenFolder)
{
    git({"remote", "add", "origin", origin});
    git({"push", "-q", "-u", "origin", "main"});
    advanceOrigin();
    make(0ms);
    state.setFolder(std::nullopt);
    refreshes = 0;
    remote->startAutoFetch();
    // The fetch ran (the tracking branch moved) without a refresh.
    ASSERT_TRUE(NBETest::waitUntil([&] {
        return NBETest::run(QStringLiteral("/usr/bin/git"),
                            {QStringLiteral("rev-list"), QStringLiteral("--count"),
                             QStringLiteral("main..origin/main")},
                            root)
                   .out.trimmed() == "1";
    }));
    NBETest::waitUntil([] { return false; }, 200ms);
    EXPECT_EQ(refreshes, 0);
    remote->stopAutoFetch();

    state.setFolder(QUrl::fromLocalFile(root));
    git({"update-ref", "refs/remotes/origin/main", "main"});
    remote->startAutoFetch();
    EXPECT_TRUE(NBETest::waitUntil([&] { return state.snapshot().behind == 1; }));
    EXPECT_EQ(refreshes, 1);
    remote->stopAutoFetch();

    // Turned off in the settings: no turn fetches.
    preferences.setGitAutoFetch(false);
    git({"update-ref", "refs/remotes/origin/main", "main"});
    remote->startAutoFetch();
    NBETest::waitUntil([] { return false; }, 300ms);
    EXPECT_EQ(refreshes, 1);
    remote->stopAutoFetch();
    EXPECT_TRUE(failures.isEmpty());
}

TEST_F(WorkspaceGit, BranchCommandsSettleTabsOnlyWhenTheyRewriteFiles)
{
    git({"branch", "feature"});
    NBETest::await(NBETest::refreshIn(state, QUrl::fromLocalFile(root)));
    const struct
    {
        const char *name;
        std::function<QFuture<void>(NBEWorkspaceGit &)> run;
        QStringList failures;
        int settles;
        std::optional<QString> branch;
    } rows[] = {
        {"name with spaces",
         [](auto &g) { return g.createBranch(QStringLiteral(" my idea ")); },
         {QStringLiteral("Branch names can't contain spaces. Try \"my-idea\".")},
         0,
         {}},
        {"option-like name",
         [](auto &g) { return g.switchBranch(QStringLiteral("-f")); },
         {QStringLiteral("Branch names can't begin with \u201C-\u201D.")},
         0,
         {}},
        {"switch to the current branch", [](auto &g) { return g.switchBranch("main"); }, {}, 0, {}},
        {"create", [](auto &g) { return g.createBranch(QStringLiteral("idea")); }, {}, 0, {}},
        {"switch",
         [](auto &g) { return g.switchBranch(QStringLiteral("feature")); },
         {},
         1,
         QStringLiteral("feature")},
        {"switch back",
         [](auto &g) { return g.switchBranch(QStringLiteral("main")); },
         {},
         1,
         QStringLiteral("main")},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        failures.clear();
        settled.clear();
        reloaded.clear();
        NBETest::await(row.run(*remote));
        EXPECT_EQ(failures, row.failures);
        EXPECT_EQ(settled.size(), row.settles);
        // A switch that happened reloads the tabs it settled.
        EXPECT_EQ(reloaded.size(), row.settles);
        if (row.branch) {
            EXPECT_EQ(state.snapshot().branch, row.branch);
        }
    }
    EXPECT_TRUE(state.snapshot().branches.contains(QStringLiteral("idea")));

    // An unmerged branch is offered for a forced delete instead of failing.
    git({"checkout", "-q", "feature"});
    commit("only-on-feature");
    git({"checkout", "-q", "main"});
    NBETest::await(NBETest::refreshIn(state, QUrl::fromLocalFile(root)));
    failures.clear();
    QSignalSpy pending(remote.get(), &NBEWorkspaceGit::branchPendingForceDeleteChanged);
    NBETest::await(remote->deleteBranch(QStringLiteral("feature"), false));
    EXPECT_TRUE(failures.isEmpty());
    EXPECT_EQ(remote->branchPendingForceDelete(), QStringLiteral("feature"));
    EXPECT_EQ(pending.size(), 1);
    NBETest::await(remote->deleteBranch(QStringLiteral("feature"), true));
    EXPECT_FALSE(state.snapshot().branches.contains(QStringLiteral("feature")));

    // Cancelled settling runs no merge.
    settleAnswer.reset();
    reloaded.clear();
    failures.clear();
    NBETest::await(remote->mergeBranch(QStringLiteral("idea")));
    EXPECT_TRUE(reloaded.isEmpty());
    EXPECT_TRUE(failures.isEmpty());
}
