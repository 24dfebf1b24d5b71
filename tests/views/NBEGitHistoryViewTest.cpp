#include "NBEGitHistoryView.h"
#include "NBEGitViewsFixture.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

namespace {

class NBEGitHistoryViewTest : public NBEGitViewsFixture
{
protected:
    std::unique_ptr<NBEGitHistoryView> view;

    void makeView()
    {
        view = std::make_unique<NBEGitHistoryView>(model->gitState(), model->history(),
                                                   model->navigation());
        view->resize(300, 500);
        view->show();
    }
    QStringList subjects() const
    {
        QStringList shown;
        for (const NBEGitCommit &commit : view->shownCommits())
            shown.append(commit.subject);
        return shown;
    }
    bool showsSubjects(const QStringList &expected)
    {
        return NBETest::waitUntil([&] { return subjects() == expected; });
    }
    // Three commits of index.html: one, two, three.
    void threeCommits()
    {
        repository();
        commitFile(QStringLiteral("index.html"), "<p>two</p>\n", QStringLiteral("Second page"));
        commitFile(QStringLiteral("index.html"), "<p>three</p>\n", QStringLiteral("Third page"));
        load();
        makeView();
        ASSERT_TRUE(showsSubjects({"Third page", "Second page", "First page"}));
    }
    void accept(QDialog *sheet)
    {
        for (auto *button : sheet->findChildren<QPushButton *>()) {
            if (button->text() != QStringLiteral("Cancel") && button->isEnabled()) {
                button->click();
                return;
            }
        }
        ADD_FAILURE() << "no enabled accept button";
    }
};

} // namespace

TEST_F(NBEGitHistoryViewTest, ListsCommitsNewestFirstAndAClickShowsThePatch)
{
    threeCommits();
    const NBEGitCommit newest = view->shownCommits().first();
    EXPECT_EQ(newest.shortSHA, gitText({"rev-parse", "--short", "HEAD"}));
    EXPECT_FALSE(newest.author.isEmpty());
    EXPECT_FALSE(newest.relativeDate.isEmpty());

    QListWidget *list = view->list();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(list->item(1)).center());
    ASSERT_TRUE(model->navigation().commitDiffTarget().has_value());
    EXPECT_EQ(model->navigation().commitDiffTarget()->subject, QStringLiteral("Second page"));

    // A commit made elsewhere moves HEAD; the list follows.
    commitFile(QStringLiteral("index.html"), "<p>four</p>\n", QStringLiteral("Fourth page"));
    refresh();
    EXPECT_TRUE(showsSubjects({"Fourth page", "Third page", "Second page", "First page"}));
}

TEST_F(NBEGitHistoryViewTest, RevertAndRestoreAskFirst)
{
    threeCommits();
    const NBEGitCommit third = view->shownCommits()[0];
    const NBEGitCommit first = view->shownCommits()[2];

    view->revert(third);
    cancel();
    EXPECT_EQ(headSubject(), QStringLiteral("Third page"));
    view->revert(third);
    answer(QStringLiteral("Revert Commit"));
    EXPECT_TRUE(
        showsSubjects({"Revert \"Third page\"", "Third page", "Second page", "First page"}));
    EXPECT_EQ(read(QStringLiteral("index.html")), "<p>two</p>\n");

    // The sheet lists the commit's files and says what gets replaced.
    QDialog *sheet = view->restoreFile(first);
    auto *files = sheet->findChild<QListWidget *>(QStringLiteral("restoreFiles"));
    ASSERT_TRUE(NBETest::waitUntil([&] { return files->count() == 1; }));
    EXPECT_EQ(files->item(0)->text(), QStringLiteral("index.html"));
    bool warns = false;
    for (auto *label : sheet->findChildren<QLabel *>())
        warns = warns || label->text().contains(QStringLiteral("will be replaced"));
    EXPECT_TRUE(warns);
    files->setCurrentRow(0);
    accept(sheet);
    EXPECT_TRUE(
        NBETest::waitUntil([&] { return read(QStringLiteral("index.html")) == "<p>one</p>\n"; }));
    EXPECT_TRUE(
        NBETest::waitUntil([&] { return !model->gitState().snapshot().changes.isEmpty(); }));
}

TEST_F(NBEGitHistoryViewTest, TheTagSheetOffersTheApplicationsVersion)
{
    threeCommits();
    const NBEGitCommit second = view->shownCommits()[1];
    QDialog *sheet = view->createTag(second);
    auto *name = sheet->findChild<QLineEdit *>(QStringLiteral("tagName"));
    auto *message = sheet->findChild<QLineEdit *>(QStringLiteral("tagMessage"));
    ASSERT_TRUE(name && message);
    EXPECT_EQ(name->text(), QStringLiteral(NBE_VERSION));
    EXPECT_EQ(name->text(), QCoreApplication::applicationVersion());
    message->setText(QStringLiteral("Second release"));
    accept(sheet);
    EXPECT_TRUE(NBETest::waitUntil([&] {
        return NBETest::run(QStringLiteral("/usr/bin/git"),
                            {QStringLiteral("rev-parse"), QStringLiteral(NBE_VERSION "^{}")}, root)
                   .out.trimmed() == second.sha.toUtf8();
    }));
    // Annotated, with the typed message.
    EXPECT_EQ(
        gitText({QStringLiteral("cat-file"), QStringLiteral("-t"), QStringLiteral(NBE_VERSION)}),
        QStringLiteral("tag"));
    EXPECT_EQ(gitText({QStringLiteral("tag"), QStringLiteral("-l"),
                       QStringLiteral("--format=%(contents:subject)")}),
              QStringLiteral("Second release"));
}
