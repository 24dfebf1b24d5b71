#include "NBESentenceTranslation.h"
#include "NBEWorkspaceFixture.h"

using NBETest::await;

namespace {

class Branches : public NBEWorkspaceFixture
{
protected:
    // A branch `name` whose one commit writes `files`; main stays checked out.
    void branchWith(const QString &name, const QList<QPair<QString, QByteArray>> &files)
    {
        git({"switch", "-q", "-c", name});
        for (const auto &[file, content] : files)
            write(file, content);
        git({"add", "-A"});
        git({"commit", "-qm", "on " + name});
        git({"switch", "-q", "main"});
    }

    QString currentBranch()
    {
        return QString::fromUtf8(NBETest::git(root, {"branch", "--show-current"})).trimmed();
    }
    QStringList localBranches()
    {
        return QString::fromUtf8(NBETest::git(root, {"branch", "--format=%(refname:short)"}))
            .split(u'\n', Qt::SkipEmptyParts);
    }

    std::optional<NBEOpenTab> tabFor(const QString &name) const
    {
        for (const NBEOpenTab &tab : model->tabs().tabs()) {
            if (tab.sourceFile.url == url(name))
                return tab;
        }
        return std::nullopt;
    }

    QString error() const { return model->errorMessage().value_or(QString()); }
    QString status() const { return model->workspaceGit().syncStatus().value_or(QString()); }
};

} // namespace

TEST_F(Branches, NothingHappensOutsideARepositoryOrForTheCurrentBranch)
{
    write("a.txt", "a\n");
    load();
    await(model->workspaceGit().switchBranch("main"));
    await(model->workspaceGit().createBranch("topic"));
    await(model->workspaceGit().deleteBranch("main", true));
    await(model->workspaceGit().mergeBranch("main"));
    EXPECT_FALSE(model->errorMessage().has_value());
    EXPECT_FALSE(model->workspaceGit().syncStatus().has_value());

    git({"init", "-q"});
    git({"add", "-A"});
    git({"commit", "-qm", "first"});
    await(model->gitState().refresh());
    branchWith("topic", {{"t.txt", "t\n"}});
    await(model->gitState().refresh());
    await(model->workspaceGit().switchBranch("main"));
    await(model->workspaceGit().deleteBranch("main", true));
    await(model->workspaceGit().mergeBranch("main"));
    // An empty or blank name creates nothing.
    await(model->workspaceGit().createBranch(""));
    await(model->workspaceGit().createBranch("  \n\t"));
    EXPECT_EQ(currentBranch(), "main");
    EXPECT_EQ(localBranches(), (QStringList{"main", "topic"}));
    EXPECT_FALSE(model->errorMessage().has_value());
    EXPECT_FALSE(model->workspaceGit().syncStatus().has_value());
}

TEST_F(Branches, CreatingTrimsTheNameAndChecksTheBranchOut)
{
    commitAndLoad({{"a.txt", "a\n"}});
    await(model->workspaceGit().createBranch("  feature/login  "));
    EXPECT_EQ(currentBranch(), "feature/login");
    EXPECT_EQ(model->gitState().snapshot().branch, "feature/login");
    EXPECT_TRUE(model->gitState().snapshot().branches.contains("feature/login"));
    EXPECT_EQ(status(), "Created branch feature/login");
    EXPECT_FALSE(model->errorMessage().has_value());
}

TEST_F(Branches, CreatingRefusesBadNames)
{
    commitAndLoad({{"a.txt", "a\n"}});
    git({"branch", "taken"});
    await(model->gitState().refresh());
    const struct
    {
        QString name;
        QString error;
    } cases[] = {
        {"my new branch", "Branch names can't contain spaces. Try \"my-new-branch\"."},
        {"a  b", "Branch names can't contain spaces. Try \"a--b\"."},
        // An option for git, never a name.
        {"-f", "Branch names can't begin with \u201C-\u201D."},
        {"--orphan", "Branch names can't begin with \u201C-\u201D."},
        // git's own text.
        {"taken", "fatal: a branch named 'taken' already exists"},
        {"bad..name", "fatal: 'bad..name' is not a valid branch name"},
    };
    for (const auto &each : cases) {
        model->clearErrorMessage();
        await(model->workspaceGit().createBranch(each.name));
        EXPECT_EQ(error(), each.error) << each.name.toStdString();
        EXPECT_EQ(currentBranch(), "main") << each.name.toStdString();
    }
    EXPECT_EQ(localBranches(), (QStringList{"main", "taken"}));
    EXPECT_FALSE(model->workspaceGit().syncStatus().has_value());
}

TEST_F(Branches, SwitchingShowsTheBranchOrTheFixedSentence)
{
    commitAndLoad({{"a.txt", "main\n"}});
    branchWith("other", {{"a.txt", "other\n"}});
    await(model->gitState().refresh());

    await(model->workspaceGit().switchBranch("other"));
    EXPECT_EQ(model->gitState().snapshot().branch, "other");
    EXPECT_EQ(status(), "Switched to other");
    EXPECT_EQ(read("a.txt"), "other\n");

    // A local change git would overwrite keeps the branch where it is.
    write("a.txt", "local\n");
    await(model->workspaceGit().switchBranch("main"));
    EXPECT_EQ(error(), "Couldn't switch to main \u2014 commit or stash your changes first.");
    EXPECT_EQ(model->gitState().snapshot().branch, "other");
    EXPECT_EQ(read("a.txt"), "local\n");

    model->clearErrorMessage();
    await(model->workspaceGit().switchBranch("missing"));
    EXPECT_EQ(error(), "Couldn't switch to missing \u2014 commit or stash your changes first.");
    await(model->workspaceGit().switchBranch("-"));
    EXPECT_EQ(error(), "Branch names can't begin with \u201C-\u201D.");
    EXPECT_EQ(currentBranch(), "other");
}

// Each message is one sentence for a translator, the names in its place
// holders.
TEST_F(Branches, EveryMessageIsOneSentenceToTranslate)
{
    commitAndLoad({{"a.txt", "base\n"}});
    branchWith("feature", {{"a.txt", "feature\n"}});
    write("a.txt", "main side\n");
    git({"commit", "-qam", "main side"});
    branchWith("docs", {{"b.txt", "docs\n"}});
    await(model->gitState().refresh());
    const NBETest::SentenceTranslation translation({"NBEWorkspaceGit"});
    const struct
    {
        std::function<QFuture<void>()> action;
        QString error;
        QString status;
    } cases[] = {
        {[&] { return model->workspaceGit().createBranch("my topic"); },
         u"\u00ABBranch names can't contain spaces. Try \"my-topic\".\u00BB"_qs,
         {}},
        {[&] { return model->workspaceGit().createBranch("topic"); },
         {},
         u"\u00ABCreated branch topic\u00BB"_qs},
        {[&] { return model->workspaceGit().switchBranch("missing"); },
         u"\u00ABCouldn't switch to missing \u2014 commit or stash your changes first.\u00BB"_qs,
         {}},
        {[&] { return model->workspaceGit().switchBranch("main"); },
         {},
         u"\u00ABSwitched to main\u00BB"_qs},
        {[&] { return model->workspaceGit().deleteBranch("topic", false); },
         {},
         u"\u00ABDeleted branch topic\u00BB"_qs},
        {[&] { return model->workspaceGit().mergeBranch("docs"); },
         {},
         u"\u00ABMerged docs into main\u00BB"_qs},
        {[&] { return model->workspaceGit().mergeBranch("feature"); },
         u"\u00ABMerging feature hit conflicts. Resolve them in the terminal (git status, edit "
         "the files, git add, git commit), or run git merge --abort.\u00BB"_qs,
         {}},
    };
    for (const auto &[action, expectedError, expectedStatus] : cases) {
        model->clearErrorMessage();
        await(action());
        EXPECT_EQ(error(), expectedError);
        if (!expectedStatus.isEmpty()) {
            EXPECT_EQ(status(), expectedStatus);
        }
    }
}

// Commits made on a detached HEAD that no branch holds are out of sight
// once another branch is checked out: the switch says how to keep them.
TEST_F(Branches, LeavingADetachedHeadSaysWhichCommitsNoBranchHolds)
{
    commitAndLoad({{"a.txt", "a\n"}});
    git({"switch", "-q", "--detach"});
    await(model->gitState().refresh());
    // Nothing made here yet: a plain switch.
    await(model->workspaceGit().switchBranch("main"));
    EXPECT_EQ(status(), "Switched to main");
    EXPECT_EQ(error(), "");

    git({"switch", "-q", "--detach"});
    for (const char *text : {"b\n", "c\n"}) {
        write("a.txt", text);
        git({"commit", "-qam", "experiment"});
    }
    await(model->gitState().refresh());
    const QString experiment = *model->gitState().snapshot().branch;
    await(model->workspaceGit().switchBranch("main"));
    EXPECT_EQ(currentBranch(), "main");
    EXPECT_EQ(status(), "Switched to main");
    EXPECT_EQ(error(), "Switched to main, leaving 2 commits made on the detached HEAD on no "
                       "branch: run \u201Cgit branch <name> " +
                           experiment + "\u201D in a terminal to keep them.");
}

TEST_F(Branches, SwitchingReloadsCleanTabsAndClosesThoseOfVanishedFiles)
{
    commitAndLoad({{"a.txt", "main\n"}, {"only-main.txt", "m\n"}});
    branchWith("other", {{"a.txt", "other\n"}});
    git({"switch", "-q", "other"});
    git({"rm", "-q", "only-main.txt"});
    git({"commit", "-qm", "drop"});
    git({"switch", "-q", "main"});
    await(model->gitState().refresh());
    open("only-main.txt");
    const QUuid id = open("a.txt").id;

    await(model->workspaceGit().switchBranch("other"));
    const auto tab = tabFor("a.txt");
    ASSERT_TRUE(tab);
    EXPECT_EQ(tab->id, id);
    EXPECT_EQ(tab->sourceFile.content(), "other\n");
    EXPECT_FALSE(tab->sourceFile.isDirty());
    EXPECT_FALSE(tabFor("only-main.txt"));
    EXPECT_TRUE(desktop->questions.isEmpty());
}

// The other branch holds the same texts with CRLF line ends, one with a
// mark: the tabs keep their buffers, and their next saves write the files
// as git left them.
TEST_F(Branches, SwitchingToTheSameTextInAnotherFormSavesThatForm)
{
    const QByteArray mark = "\xEF\xBB\xBF";
    commitAndLoad({{"a.css", "a{}\n"}, {"b.css", "b{}\n"}});
    branchWith("other", {{"a.css", mark + "a{}\r\n"}, {"b.css", "b{}\r\n"}});
    await(model->gitState().refresh());
    const QUuid a = open("a.css").id;
    const QUuid b = open("b.css").id;

    await(model->workspaceGit().switchBranch("other"));
    ASSERT_EQ(currentBranch(), "other");
    model->tabs().updateContent("a{color:red}\n", a);
    model->tabs().updateContent("b{color:blue}\n", b);
    EXPECT_TRUE(NBETest::await(model->saving().saveTab(a, true)));
    EXPECT_TRUE(NBETest::await(model->saving().saveTab(b, true)));
    EXPECT_EQ(read("a.css"), mark + "a{color:red}\r\n");
    EXPECT_EQ(read("b.css"), "b{color:blue}\r\n");
    EXPECT_TRUE(desktop->outsideQuestions.isEmpty());
    EXPECT_FALSE(model->errorMessage().has_value());
}

TEST_F(Branches, SwitchingAsksAboutUnsavedEditsFirst)
{
    commitAndLoad({{"a.txt", "main\n"}, {"b.txt", "b\n"}});
    branchWith("other", {{"a.txt", "other\n"}});
    await(model->gitState().refresh());
    const QUuid id = open("a.txt").id;
    model->tabs().updateContent("typed\n", id);

    // Cancel: no switch, edits untouched.
    desktop->answer = NBEUnsavedChangesChoice::Cancel;
    await(model->workspaceGit().switchBranch("other"));
    EXPECT_EQ(desktop->questions, (QList<QStringList>{{"a.txt"}}));
    EXPECT_EQ(currentBranch(), "main");
    EXPECT_EQ(tabFor("a.txt")->sourceFile.content(), "typed\n");

    // Save writes the edits first, so git refuses to switch over them.
    desktop->answer = NBEUnsavedChangesChoice::Save;
    await(model->workspaceGit().switchBranch("other"));
    EXPECT_EQ(currentBranch(), "main");
    EXPECT_EQ(read("a.txt"), "typed\n");
    EXPECT_FALSE(tabFor("a.txt")->sourceFile.isDirty());
    EXPECT_EQ(error(), "Couldn't switch to other \u2014 commit or stash your changes first.");

    // Don't Save drops them and shows the other branch's text.
    git({"checkout", "--", "a.txt"});
    NBETest::await(model->navigation().openFile(url("a.txt"), false));
    model->tabs().updateContent("typed again\n", id);
    model->clearErrorMessage();
    desktop->answer = NBEUnsavedChangesChoice::DontSave;
    await(model->workspaceGit().switchBranch("other"));
    EXPECT_EQ(currentBranch(), "other");
    EXPECT_EQ(tabFor("a.txt")->sourceFile.content(), "other\n");
    EXPECT_FALSE(tabFor("a.txt")->sourceFile.isDirty());
    EXPECT_FALSE(model->errorMessage().has_value());
}

TEST_F(Branches, UnmergedDeleteWaitsForAForcedOne)
{
    commitAndLoad({{"a.txt", "a\n"}});
    branchWith("unmerged", {{"u.txt", "u\n"}});
    git({"branch", "merged"});
    await(model->gitState().refresh());

    await(model->workspaceGit().deleteBranch("merged", false));
    EXPECT_EQ(status(), "Deleted branch merged");

    await(model->workspaceGit().deleteBranch("unmerged", false));
    EXPECT_EQ(model->workspaceGit().branchPendingForceDelete(), "unmerged");
    EXPECT_FALSE(model->errorMessage().has_value());
    EXPECT_TRUE(localBranches().contains("unmerged"));

    await(model->workspaceGit().deleteBranch("unmerged", true));
    EXPECT_EQ(status(), "Deleted branch unmerged");
    EXPECT_EQ(localBranches(), QStringList{"main"});
    EXPECT_EQ(model->gitState().snapshot().branches, QStringList{"main"});
    // Only the branch menu clears it.
    EXPECT_EQ(model->workspaceGit().branchPendingForceDelete(), "unmerged");
    model->workspaceGit().setBranchPendingForceDelete(std::nullopt);

    // A failed forced delete shows git's text and never asks again.
    await(model->workspaceGit().deleteBranch("missing", true));
    EXPECT_EQ(error(), "error: branch 'missing' not found.");
    EXPECT_FALSE(model->workspaceGit().branchPendingForceDelete().has_value());
    model->clearErrorMessage();
    await(model->workspaceGit().deleteBranch("-D", true));
    EXPECT_EQ(error(), "Branch names can't begin with \u201C-\u201D.");
}

TEST_F(Branches, MergingFastForwardsAndReloadsTabs)
{
    commitAndLoad({{"a.txt", "main\n"}});
    branchWith("feature", {{"a.txt", "feature\n"}, {"f.txt", "f\n"}});
    await(model->gitState().refresh());
    const QUuid id = open("a.txt").id;

    await(model->workspaceGit().mergeBranch("feature"));
    EXPECT_EQ(status(), "Merged feature into main");
    EXPECT_FALSE(model->errorMessage().has_value());
    EXPECT_EQ(read("f.txt"), "f\n");
    EXPECT_EQ(tabFor("a.txt")->id, id);
    EXPECT_EQ(tabFor("a.txt")->sourceFile.content(), "feature\n");
    EXPECT_EQ(model->gitState().snapshot().headSHA,
              QString::fromUtf8(NBETest::git(root, {"rev-parse", "feature"})).trimmed());

    await(model->workspaceGit().mergeBranch("nowhere"));
    EXPECT_EQ(error(), "merge: nowhere - not something we can merge");
}

// A release tag named like the branch: the menu's branch is what merges,
// not the older tagged commit git would take (with "Already up to date").
TEST_F(Branches, MergingABranchThatSharesATagsNameMergesTheBranch)
{
    commitAndLoad({{"a.txt", "main\n"}});
    git({"tag", "-a", "v2", "-m", "v2"});
    branchWith("v2", {{"f.txt", "f\n"}});
    await(model->gitState().refresh());

    await(model->workspaceGit().mergeBranch("v2"));
    EXPECT_FALSE(model->errorMessage().has_value()) << error().toStdString();
    EXPECT_EQ(status(), "Merged v2 into main");
    EXPECT_EQ(read("f.txt"), "f\n");
    EXPECT_EQ(model->gitState().snapshot().headSHA,
              QString::fromUtf8(NBETest::git(root, {"rev-parse", "refs/heads/v2"})).trimmed());
}

TEST_F(Branches, MergeTargetOnADetachedHead)
{
    commitAndLoad({{"a.txt", "a\n"}});
    branchWith("feature", {{"f.txt", "f\n"}});
    git({"switch", "-q", "--detach"});
    await(model->gitState().refresh());
    const QString shortHead =
        QString::fromUtf8(NBETest::git(root, {"rev-parse", "--short", "HEAD"})).trimmed();
    ASSERT_EQ(model->gitState().snapshot().branch, shortHead);

    await(model->workspaceGit().mergeBranch("feature"));
    EXPECT_EQ(status(), "Merged feature into " + shortHead);
}

TEST_F(Branches, AConflictingMergeIsLeftForTheTerminal)
{
    commitAndLoad({{"a.txt", "base\n"}});
    branchWith("feature", {{"a.txt", "feature\n"}});
    write("a.txt", "main side\n");
    git({"commit", "-qam", "main side"});
    await(model->gitState().refresh());
    open("a.txt");

    await(model->workspaceGit().mergeBranch("feature"));
    EXPECT_EQ(error(), "Merging feature hit conflicts. Resolve them in the terminal (git status, "
                       "edit the files, git add, git commit), or run git merge --abort.");
    EXPECT_FALSE(model->workspaceGit().syncStatus().has_value());
    EXPECT_EQ(model->gitState().status(url("a.txt")), NBEGitStatus::conflicted);
    // The tab shows the markers on disk, so saving can't drop them.
    EXPECT_TRUE(tabFor("a.txt")->sourceFile.content().contains("<<<<<<<"));
    EXPECT_FALSE(tabFor("a.txt")->sourceFile.isDirty());
}
