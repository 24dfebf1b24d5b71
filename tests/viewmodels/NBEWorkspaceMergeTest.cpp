// A merge left in progress by a conflict: the view model shows it, offers
// git's message, and the next commit concludes it as itself.
#include "NBEWorkspaceFixture.h"

#include "NBEGitService.h"

namespace {

using NBETest::await;

class Merge : public NBEWorkspaceFixture
{
protected:
    QString origin;
    QString colleague;

    // Our clone and a colleague's of one bare origin; both changed a.txt
    // since "Base" and the colleague pushed first.
    void divergedClones()
    {
        origin = dir.filePath(QStringLiteral("origin.git"));
        colleague = dir.filePath(QStringLiteral("colleague"));
        NBETest::git(dir.path(), {"init", "-q", "--bare", "-b", "main", origin});
        git({"clone", "-q", origin, "."});
        write("a.txt", "base\n");
        write("b.txt", "typo\n");
        git({"add", "."});
        git({"commit", "-qm", "Base"});
        git({"push", "-q", "-u", "origin", "main"});
        NBETest::git(dir.path(), {"clone", "-q", origin, colleague});
        NBETest::writeFile(QDir(colleague).filePath("a.txt"), "theirs\n");
        NBETest::git(colleague, {"commit", "-qam", "Their side"});
        NBETest::git(colleague, {"push", "-q"});
        write("a.txt", "ours\n");
        git({"commit", "-qam", "Our side"});
        git({"fetch", "-q"});
        load();
    }
    QString gitText(const QStringList &args)
    {
        return QString::fromUtf8(NBETest::git(root, args)).trimmed();
    }
    QStringList headParents()
    {
        return gitText({"log", "-1", "--format=%P"}).split(u' ', Qt::SkipEmptyParts);
    }
    bool merging() const { return QFileInfo::exists(path(".git/MERGE_HEAD")); }
    QString error() const { return model->errorMessage().value_or(QString()); }
};

} // namespace

TEST_F(Merge, AResolutionEqualToOurSideConcludesTheMergeWithGitsMessage)
{
    divergedClones();
    const QString ours = gitText({"rev-parse", "HEAD"});
    const QString theirs = gitText({"rev-parse", "origin/main"});
    await(model->workspaceGit().mergeBranch("origin/main"));
    EXPECT_TRUE(error().startsWith("Merging origin/main hit conflicts."));
    model->clearErrorMessage();

    // While the merge is pending: shown with git's message, no amend, and
    // no commit until the conflict is resolved.
    ASSERT_TRUE(model->gitState().snapshot().merge.has_value());
    EXPECT_EQ(model->gitState().snapshot().merge->name, "origin/main");
    EXPECT_EQ(model->gitState().snapshot().merge->head, theirs);
    EXPECT_EQ(model->commitBox().commitMessage(), "Merge remote-tracking branch 'origin/main'");
    EXPECT_FALSE(model->gitState().canAmendSafely());
    EXPECT_TRUE(model->gitState().hasConflicts());
    EXPECT_FALSE(await(model->commitBox().commit(false)));
    EXPECT_EQ(error(), "Commit failed — resolve the conflicts and stage the files first.");
    model->clearErrorMessage();
    EXPECT_FALSE(await(model->commitBox().commit(true)));
    EXPECT_EQ(gitText({"rev-parse", "HEAD"}), ours);
    model->clearErrorMessage();

    // Resolved to our side and staged: nothing differs from HEAD, and the
    // merge still waits for its commit.
    write("a.txt", "ours\n");
    git({"add", "a.txt"});
    await(model->gitState().refresh());
    EXPECT_TRUE(model->gitState().snapshot().changes.isEmpty());
    EXPECT_FALSE(model->gitState().hasStagedChanges());
    EXPECT_FALSE(model->gitState().hasConflicts());
    ASSERT_TRUE(model->gitState().snapshot().merge.has_value());

    EXPECT_TRUE(await(model->commitBox().commit(false)));
    EXPECT_EQ(headParents(), (QStringList{ours, theirs}));
    EXPECT_EQ(gitText({"log", "-1", "--format=%B"}), "Merge remote-tracking branch 'origin/main'");
    EXPECT_FALSE(merging());
    EXPECT_FALSE(model->gitState().snapshot().merge.has_value());
    EXPECT_EQ(model->workspaceGit().syncStatus(), "Merged origin/main into main");
    EXPECT_TRUE(model->commitBox().commitMessage().isEmpty());
    EXPECT_TRUE(model->gitState().canAmendSafely());
}

TEST_F(Merge, ACommitDuringAMergeIsAlwaysTheAnnouncedMerge)
{
    divergedClones();
    model->commitBox().setCommitMessage("Fix typo in FAQ");
    // Started in a terminal: the view model hasn't seen it yet.
    NBETest::run("/usr/bin/git", {"merge", "--no-edit", "origin/main"}, root);
    git({"checkout", "--ours", "a.txt"});
    git({"add", "a.txt"});
    write("b.txt", "fixed\n");
    git({"add", "b.txt"});
    const QString ours = gitText({"rev-parse", "HEAD"});

    // The commit would conclude a merge nobody was told of: it stops and
    // the merge is announced; the typed message stays.
    EXPECT_FALSE(await(model->commitBox().commit(false)));
    EXPECT_EQ(error(), "A merge of origin/main is in progress, so this commit would conclude it. "
                       "Check the message and commit again.");
    EXPECT_EQ(gitText({"rev-parse", "HEAD"}), ours);
    ASSERT_TRUE(model->gitState().snapshot().merge.has_value());
    EXPECT_EQ(model->commitBox().commitMessage(), "Fix typo in FAQ");
    model->clearErrorMessage();

    // Announced, the commit is the merge, with the user's message.
    EXPECT_TRUE(await(model->commitBox().commit(false)));
    EXPECT_EQ(headParents().size(), 2);
    EXPECT_EQ(gitText({"log", "-1", "--format=%s"}), "Fix typo in FAQ");
    EXPECT_EQ(read("b.txt"), "fixed\n");
    EXPECT_FALSE(merging());

    // A merge that ends in the terminal takes git's message out of the box.
    git({"reset", "-q", "--hard", ours});
    NBETest::run("/usr/bin/git", {"merge", "--no-edit", "origin/main"}, root);
    await(model->gitState().refresh());
    EXPECT_EQ(model->commitBox().commitMessage(), "Merge remote-tracking branch 'origin/main'");
    git({"merge", "--abort"});
    await(model->gitState().refresh());
    EXPECT_FALSE(model->gitState().snapshot().merge.has_value());
    EXPECT_TRUE(model->commitBox().commitMessage().isEmpty());
}

TEST(NBEGitServicePreparedMessage, CommentLinesAndBlankEdgesAreDropped)
{
    const struct
    {
        const char *name;
        QString text;
        QString message;
    } cases[] = {
        {"plain", "Merge branch 'feature'\n", "Merge branch 'feature'"},
        {"conflicts", "Merge branch 'feature'\n\n# Conflicts:\n#\ta.txt\n",
         "Merge branch 'feature'"},
        {"body kept", "Merge branch 'x'\n\nWhy it was merged.\n#\tb.txt\n",
         "Merge branch 'x'\n\nWhy it was merged."},
        {"empty", "", ""},
    };
    for (const auto &row : cases) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(NBEGitOutput::preparedMessage(row.text), row.message);
    }
}
