#include "NBEGitToolbarMenu.h"
#include "NBEGitViewsFixture.h"

#include "NBEGitChangesView.h"

#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QToolButton>

namespace {

class NBEGitToolbarMenuTest : public NBEGitViewsFixture
{
protected:
    std::unique_ptr<NBEGitToolbarMenu> menu;
    QString bare;

    void makeMenu()
    {
        menu = std::make_unique<NBEGitToolbarMenu>(model->gitState(), model->workspaceGit());
        menu->show();
    }
    // The entry titled `path`'s last part, inside the submenus named before it.
    QAction *entry(const QStringList &path)
    {
        menu->rebuildMenu();
        QMenu *current = menu->branchMenu();
        for (qsizetype i = 0; i < path.size(); ++i) {
            QAction *found = nullptr;
            for (QAction *action : current->actions()) {
                if (action->text() == path[i])
                    found = action;
            }
            if (!found || i == path.size() - 1)
                return found;
            current = found->menu();
        }
        return nullptr;
    }
    void choose(const QStringList &path)
    {
        QAction *action = entry(path);
        ASSERT_NE(action, nullptr) << path.join(u'/').toStdString();
        ASSERT_TRUE(action->isEnabled()) << path.join(u'/').toStdString();
        action->trigger();
    }
    bool onBranch(const QString &name)
    {
        return NBETest::waitUntil([&] {
            return model->gitState().snapshot().branch == name && menu->text().endsWith(name);
        });
    }
    bool flashed(const QString &text)
    {
        return NBETest::waitUntil([&] { return model->workspaceGit().syncStatus() == text; });
    }
};

} // namespace

TEST_F(NBEGitToolbarMenuTest, BranchesAreSwitchedCreatedMergedAndDeleted)
{
    repository();
    load();
    makeMenu();
    EXPECT_TRUE(menu->text().endsWith(QStringLiteral("main")));
    ASSERT_NE(entry({"main"}), nullptr);
    EXPECT_TRUE(entry({"main"})->isChecked());

    choose({"New Branch…"});
    fillIn(QStringLiteral("feature"));
    EXPECT_TRUE(onBranch(QStringLiteral("feature")));
    EXPECT_TRUE(flashed(QStringLiteral("Created branch feature")));
    commitFile(QStringLiteral("feature.css"), "a {}\n", QStringLiteral("Feature styles"));

    choose({"main"});
    EXPECT_TRUE(onBranch(QStringLiteral("main")));
    EXPECT_EQ(entry({"Merge into main", "main"}), nullptr);

    // An unmerged branch is deleted only after a second question.
    choose({"Delete Branch", "feature"});
    cancel();
    choose({"Delete Branch", "feature"});
    answer(QStringLiteral("Delete Branch"));
    EXPECT_TRUE(NBETest::waitUntil([&] { return menu->forceDeleteQuestion() != nullptr; }));
    cancel();
    EXPECT_TRUE(
        NBETest::waitUntil([&] { return !model->workspaceGit().branchPendingForceDelete(); }));
    EXPECT_TRUE(model->gitState().snapshot().branches.contains(QStringLiteral("feature")));

    choose({"Merge into main", "feature"});
    EXPECT_TRUE(flashed(QStringLiteral("Merged feature into main")));
    EXPECT_TRUE(QFile::exists(path(QStringLiteral("feature.css"))));

    // Merged now: one question is enough. An unmerged one takes the second.
    choose({"New Branch…"});
    fillIn(QStringLiteral("spike"));
    ASSERT_TRUE(onBranch(QStringLiteral("spike")));
    commitFile(QStringLiteral("spike.js"), "let a;\n", QStringLiteral("Spike"));
    choose({"main"});
    ASSERT_TRUE(onBranch(QStringLiteral("main")));
    choose({"Delete Branch", "feature"});
    answer(QStringLiteral("Delete Branch"));
    EXPECT_TRUE(flashed(QStringLiteral("Deleted branch feature")));
    choose({"Delete Branch", "spike"});
    answer(QStringLiteral("Delete Branch"));
    EXPECT_TRUE(NBETest::waitUntil([&] { return menu->forceDeleteQuestion() != nullptr; }));
    answer(QStringLiteral("Delete Anyway"));
    EXPECT_TRUE(NBETest::waitUntil(
        [&] { return model->gitState().snapshot().branches == QStringList{"main"}; }));
    EXPECT_FALSE(model->workspaceGit().branchPendingForceDelete().has_value());
}

// On a detached HEAD the menu lists the branches and nothing else, and
// switching back to one works.
TEST_F(NBEGitToolbarMenuTest, ADetachedHeadOffersOnlyBranches)
{
    repository();
    git({QStringLiteral("branch"), QStringLiteral("feature")});
    git({QStringLiteral("switch"), QStringLiteral("-q"), QStringLiteral("--detach")});
    load();
    makeMenu();
    const QString shortHead =
        gitText({QStringLiteral("rev-parse"), QStringLiteral("--short"), QStringLiteral("HEAD")});
    EXPECT_TRUE(menu->text().endsWith(shortHead));
    EXPECT_EQ(model->gitState().snapshot().branches, (QStringList{"feature", "main"}));
    QStringList offered;
    for (const QString &submenu :
         {QStringLiteral("Merge into "), QStringLiteral("Delete Branch")}) {
        QAction *opener = entry({submenu == u"Merge into " ? submenu + shortHead : submenu});
        ASSERT_NE(opener, nullptr);
        for (QAction *action : opener->menu()->actions())
            offered.append(action->text());
    }
    EXPECT_EQ(offered, (QStringList{"feature", "main", "feature", "main"}));

    choose({"main"});
    EXPECT_TRUE(onBranch(QStringLiteral("main")));
    EXPECT_FALSE(model->errorMessage().has_value());
}

// A status git can't read is said in the toolbar and the changes list, not
// taken for a repository without a branch or changes.
TEST_F(NBEGitToolbarMenuTest, AnIndexGitCantReadIsSaidWhereTheBranchAndChangesAre)
{
    repository();
    write(QStringLiteral("index.html"), "<p>two</p>\n");
    load();
    makeMenu();
    NBEGitChangesView changes(NBEGitChangesOwners{model->gitState(), model->workspaceGit(),
                                                  model->commitBox(), model->workingTree(),
                                                  model->navigation(), model->files()});
    changes.show();
    EXPECT_TRUE(onBranch(QStringLiteral("main")));

    QFile index(path(QStringLiteral(".git/index")));
    ASSERT_TRUE(index.open(QIODevice::ReadWrite));
    index.write("XXXXXXXXXXXX");
    index.close();
    refresh();
    const QString said = QStringLiteral("Index file corrupt.");
    EXPECT_EQ(model->gitState().snapshot().error, said);
    EXPECT_EQ(model->gitState().snapshot().branch, QStringLiteral("main"));
    EXPECT_EQ(menu->text(), said);
    EXPECT_EQ(menu->toolTip(), said);
    QLabel *label = nullptr;
    for (QLabel *candidate : changes.findChildren<QLabel *>()) {
        if (candidate->text() == said)
            label = candidate;
    }
    ASSERT_NE(label, nullptr);
    EXPECT_TRUE(label->isVisible());

    // Mended, the branch and changes come back.
    QFile::remove(path(QStringLiteral(".git/index")));
    git({QStringLiteral("reset"), QStringLiteral("-q")});
    refresh();
    EXPECT_FALSE(model->gitState().snapshot().error);
    EXPECT_TRUE(onBranch(QStringLiteral("main")));
    EXPECT_EQ(model->gitState().snapshot().changes.size(), 1);
}

// "&" is a character of a branch name, never a mnemonic: every entry shows
// the whole name and none becomes an Alt shortcut.
TEST_F(NBEGitToolbarMenuTest, AnAmpersandInABranchNameIsShownAsItIs)
{
    repository();
    git({QStringLiteral("branch"), QStringLiteral("r&d")});
    git({QStringLiteral("switch"), QStringLiteral("-q"), QStringLiteral("-c"),
         QStringLiteral("fix&test")});
    load();
    makeMenu();
    EXPECT_TRUE(QKeySequence::mnemonic(menu->text()).isEmpty()) << menu->text().toStdString();
    for (const QStringList &path :
         {QStringList{"r&&d"}, QStringList{"Merge into fix&&test"},
          QStringList{"Merge into fix&&test", "r&&d"}, QStringList{"Delete Branch", "r&&d"}}) {
        QAction *action = entry(path);
        ASSERT_NE(action, nullptr) << path.join(u'/').toStdString();
        EXPECT_TRUE(QKeySequence::mnemonic(action->text()).isEmpty());
    }
    choose({"r&&d"});
    EXPECT_TRUE(NBETest::waitUntil(
        [&] { return model->gitState().snapshot().branch == QStringLiteral("r&d"); }));
    EXPECT_FALSE(model->errorMessage().has_value());
}

TEST_F(NBEGitToolbarMenuTest, RemoteIsSetPublishedPushedAndPulledIntoTheTabs)
{
    repository();
    commitFile(QStringLiteral("style.css"), "a {}\n", QStringLiteral("Styles"));
    bare = dir.filePath(QStringLiteral("origin.git"));
    NBETest::git(dir.path(),
                 {QStringLiteral("init"), QStringLiteral("-q"), QStringLiteral("--bare"),
                  QStringLiteral("-b"), QStringLiteral("main"), bare});
    load();
    makeMenu();
    NBEGitChangesView changes(NBEGitChangesOwners{model->gitState(), model->workspaceGit(),
                                                  model->commitBox(), model->workingTree(),
                                                  model->navigation(), model->files()});
    changes.show();
    EXPECT_EQ(changes.syncLabel()->text(), QStringLiteral("No remote"));
    EXPECT_FALSE(changes.pushButton()->isVisible());

    choose({"Set Remote URL…"});
    EXPECT_TRUE(fillIn(bare).isEmpty());
    EXPECT_TRUE(
        NBETest::waitUntil([&] { return !model->gitState().snapshot().remotes.isEmpty(); }));
    // The narrow sidebar has room for the button alone.
    EXPECT_TRUE(changes.syncLabel()->text().isEmpty());
    EXPECT_EQ(changes.pushButton()->text(), QStringLiteral("Publish Branch"));
    EXPECT_NE(entry({"Publish Branch"}), nullptr);
    // The sheet offers the URL set before.
    choose({"Set Remote URL…"});
    EXPECT_TRUE(NBETest::waitUntil([&] {
        auto *input = shownDialog<QInputDialog>();
        return input && input->textValue() == bare;
    }));
    // Wide enough for a whole URL.
    EXPECT_GE(shownDialog<QInputDialog>()->findChild<QLineEdit *>()->width(), 400);
    shownDialog<QInputDialog>()->reject();

    QTest::mouseClick(changes.pushButton(), Qt::LeftButton);
    EXPECT_FALSE(menu->isEnabled());
    EXPECT_TRUE(flashed(QStringLiteral("Published main to origin/main · 2 commits")));
    EXPECT_TRUE(menu->isEnabled());
    EXPECT_TRUE(
        NBETest::waitUntil([&] { return changes.pushButton()->text() == QStringLiteral("↑ 0"); }));
    EXPECT_TRUE(changes.pullButton()->isVisible());

    // Another clone changes both files; one tab is clean, one has edits.
    const QString other = dir.filePath(QStringLiteral("other"));
    NBETest::git(dir.path(), {QStringLiteral("clone"), QStringLiteral("-q"), bare, other});
    NBETest::writeFile(QDir(other).filePath(QStringLiteral("index.html")), "<p>pulled</p>\n");
    NBETest::writeFile(QDir(other).filePath(QStringLiteral("style.css")), "b {}\n");
    NBETest::git(other,
                 {QStringLiteral("commit"), QStringLiteral("-qam"), QStringLiteral("Remote")});
    NBETest::git(other, {QStringLiteral("push"), QStringLiteral("-q")});
    git({QStringLiteral("fetch"), QStringLiteral("-q")});
    refresh();
    EXPECT_EQ(changes.pullButton()->text(), QStringLiteral("↓ 1"));
    const QUuid clean = open(QStringLiteral("index.html")).id;
    const QUuid dirty = open(QStringLiteral("style.css")).id;
    model->tabs().updateContent(QStringLiteral("c {}\n"), dirty);

    // Cancel: nothing is pulled.
    desktop->answer = NBEUnsavedChangesChoice::Cancel;
    choose({"Pull"});
    EXPECT_TRUE(NBETest::waitUntil([&] { return desktop->questions.size() == 1; }));
    EXPECT_EQ(desktop->questions.last(), QStringList{"style.css"});
    EXPECT_TRUE(NBETest::waitUntil([&] { return !model->workspaceGit().isSyncing(); }));
    EXPECT_EQ(model->gitState().snapshot().behind, 1);

    // Don't Save: both tabs show what was pulled and are clean.
    desktop->answer = NBEUnsavedChangesChoice::DontSave;
    choose({"Pull"});
    EXPECT_TRUE(flashed(QStringLiteral("Pulled 1 commit from origin/main")));
    EXPECT_TRUE(NBETest::waitUntil([&] {
        return model->tab(clean)->sourceFile.content() == QStringLiteral("<p>pulled</p>\n") &&
               model->tab(dirty)->sourceFile.content() == QStringLiteral("b {}\n");
    }));
    EXPECT_FALSE(model->tab(clean)->sourceFile.isDirty());
    EXPECT_FALSE(model->tab(dirty)->sourceFile.isDirty());
    // A save now writes the pulled text, not the old one.
    NBETest::await(model->saving().saveTab(clean, true));
    EXPECT_EQ(read(QStringLiteral("index.html")), "<p>pulled</p>\n");
}
