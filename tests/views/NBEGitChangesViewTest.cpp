#include "NBEGitChangesView.h"
#include "NBEGitViewsFixture.h"

#include "NBECommitDrafts.h"
#include "NBEFakeMessagesServer.h"
#include "NBEKeychain.h"

#include <QCheckBox>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>

namespace {

using Kind = NBEGitChangeRow::Kind;
using Action = NBEGitChangeRow::Action;

class NBEGitChangesViewTest : public NBEGitViewsFixture
{
protected:
    NBETest::FakeMessagesServer server;
    std::unique_ptr<NBEGitChangesView> view;

    void SetUp() override
    {
        NBEGitViewsFixture::SetUp();
        model = makeModel([this](NBEWorkspaceEnvironment &environment) {
            environment.aiBaseURL = server.baseURL();
        });
    }
    void TearDown() override
    {
        view.reset();
        NBETest::await(NBEKeychain::remove(NBEKeychainKey::anthropicAPIKey));
    }
    void makeView()
    {
        view = std::make_unique<NBEGitChangesView>(
            NBEGitChangesOwners{model->gitState(), model->workspaceGit(), model->commitBox(),
                                model->workingTree(), model->navigation(), model->files()});
        view->resize(300, 600);
        view->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
    }

    // "S name" for a staged file, "C name" for a changed one, "M2"/"S2"/"C2"
    // for the sections (merge, staged, changes) with their counts.
    QStringList listed() const
    {
        QStringList rows;
        for (const NBEGitChangeRow &row : view->shownRows()) {
            switch (row.kind) {
            case Kind::conflictsSection:
                rows.append(QStringLiteral("M%1").arg(row.count));
                break;
            case Kind::stagedSection:
                rows.append(QStringLiteral("S%1").arg(row.count));
                break;
            case Kind::changesSection:
                rows.append(QStringLiteral("C%1").arg(row.count));
                break;
            case Kind::stagedFile:
            case Kind::changedFile:
                rows.append(
                    (row.kind == Kind::stagedFile ? QStringLiteral("S ") : QStringLiteral("C ")) +
                    (row.folder.isEmpty() ? QString() : row.folder + u'/') + row.name);
                break;
            }
        }
        return rows;
    }
    int rowOf(const QString &entry) const { return int(listed().indexOf(entry)); }
    // Presses the row's button as a user would.
    void press(const QString &entry, Action action)
    {
        const QRect rect = view->actionRect(rowOf(entry), action);
        ASSERT_TRUE(rect.isValid()) << entry.toStdString();
        QTest::mouseMove(view->list()->viewport(), rect.center());
        QTest::mouseClick(view->list()->viewport(), Qt::LeftButton, {}, rect.center());
    }
    bool listedAs(const QStringList &rows)
    {
        return NBETest::waitUntil([&] { return listed() == rows; });
    }
    // main and "feature" each change index.html their own way; main is current.
    void conflictingBranches()
    {
        repository();
        git({QStringLiteral("switch"), QStringLiteral("-qc"), QStringLiteral("feature")});
        commitFile(QStringLiteral("index.html"), "<p>theirs</p>\n", QStringLiteral("Theirs"));
        git({QStringLiteral("switch"), QStringLiteral("-q"), QStringLiteral("main")});
        commitFile(QStringLiteral("index.html"), "<p>ours</p>\n", QStringLiteral("Ours"));
    }
};

} // namespace

TEST_F(NBEGitChangesViewTest, FilesMoveBetweenTheListsAndDiscardAsksFirst)
{
    repository();
    commitFile(QStringLiteral("css/site.css"), "a {}\n", QStringLiteral("Styles"));
    write(QStringLiteral("index.html"), "<p>two</p>\n");
    write(QStringLiteral("app.js"), "let a;\n");
    load();
    makeView();
    ASSERT_TRUE(view->isShowingRepository());
    EXPECT_EQ(listed(), (QStringList{"C2", "C app.js", "C index.html"}));
    EXPECT_EQ(view->shownRows()[1].status, NBEGitStatus::untracked);
    EXPECT_EQ(view->shownRows()[2].status, NBEGitStatus::modified);

    press(QStringLiteral("C index.html"), Action::stage);
    EXPECT_TRUE(listedAs({"S1", "S index.html", "C1", "C app.js"}))
        << listed().join(u',').toStdString();
    press(QStringLiteral("C1"), Action::stageAll);
    EXPECT_TRUE(listedAs({"S2", "S app.js", "S index.html"}));
    EXPECT_EQ(view->shownRows()[1].status, NBEGitStatus::added);
    press(QStringLiteral("S2"), Action::unstageAll);
    EXPECT_TRUE(listedAs({"C2", "C app.js", "C index.html"}));

    // A file changed after staging is on both lists.
    press(QStringLiteral("C index.html"), Action::stage);
    ASSERT_TRUE(listedAs({"S1", "S index.html", "C1", "C app.js"}));
    write(QStringLiteral("css/site.css"), "b {}\n");
    write(QStringLiteral("index.html"), "<p>three</p>\n");
    refresh();
    EXPECT_TRUE(
        listedAs({"S1", "S index.html", "C3", "C app.js", "C index.html", "C css/site.css"}));
    press(QStringLiteral("S index.html"), Action::unstage);
    EXPECT_TRUE(listedAs({"C3", "C app.js", "C index.html", "C css/site.css"}));

    // A click shows the diff; a row's button doesn't.
    const QRect row = view->list()->visualRect(view->list()->model()->index(rowOf("C app.js"), 0));
    QTest::mouseClick(view->list()->viewport(), Qt::LeftButton, {}, row.center() - QPoint(80, 0));
    EXPECT_EQ(model->navigation().diffTarget(), url(QStringLiteral("app.js")));

    // Discarding asks; Cancel keeps the change.
    press(QStringLiteral("C index.html"), Action::discard);
    cancel();
    EXPECT_EQ(read(QStringLiteral("index.html")), "<p>three</p>\n");
    press(QStringLiteral("C index.html"), Action::discard);
    answer(QStringLiteral("Discard Changes"));
    EXPECT_TRUE(listedAs({"C2", "C app.js", "C css/site.css"}));
    EXPECT_EQ(read(QStringLiteral("index.html")), "<p>one</p>\n");
    press(QStringLiteral("C app.js"), Action::discard);
    answer(QStringLiteral("Discard Changes"));
    EXPECT_TRUE(listedAs({"C1", "C css/site.css"}));
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("app.js"))));
}

// A repository nested in the project is one row, named after its folder;
// discarding it says that a folder and its history go to the trash.
TEST_F(NBEGitChangesViewTest, DiscardingANestedRepositorySaysItIsAFolder)
{
    repository();
    const QString nested = path(QStringLiteral("vendor"));
    QDir().mkpath(nested);
    NBETest::git(nested, {QStringLiteral("init"), QStringLiteral("-q")});
    NBETest::writeFile(nested + QStringLiteral("/x.js"), "x\n");
    NBETest::git(nested, {QStringLiteral("add"), QStringLiteral(".")});
    NBETest::git(nested, {QStringLiteral("commit"), QStringLiteral("-qm"), QStringLiteral("x")});
    load();
    makeView();
    ASSERT_EQ(listed(), (QStringList{"C1", "C vendor"}));

    press(QStringLiteral("C vendor"), Action::discard);
    auto *box = shownDialog<QMessageBox>();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text(), QStringLiteral("Discard changes to \u201Cvendor\u201D?"));
    EXPECT_EQ(box->informativeText(),
              QStringLiteral("The folder will be moved to the trash, with the commits of its own "
                             "repository."));
    cancel();
    EXPECT_TRUE(QFile::exists(nested + QStringLiteral("/x.js")));
}

TEST_F(NBEGitChangesViewTest, TheBoxKeepsTheDraftCommitsAndAmends)
{
    repository();
    write(QStringLiteral("index.html"), "<p>two</p>\n");
    git({QStringLiteral("add"), QStringLiteral("index.html")});
    load();
    makeView();
    EXPECT_FALSE(view->commitButton()->isEnabled());
    view->messageBox()->setFocus();
    QTest::keyClicks(view->messageBox(), QStringLiteral("Second page"));
    EXPECT_EQ(model->commitBox().commitMessage(), QStringLiteral("Second page"));
    EXPECT_TRUE(view->commitButton()->isEnabled());
    const QUrl repo = *model->gitState().snapshot().root;
    EXPECT_TRUE(NBETest::waitUntil(
        [&] { return NBECommitDrafts::load(repo, *settings) == QStringLiteral("Second page"); }));

    // Reopening the folder brings the draft back into the box.
    view.reset();
    model = makeModel();
    load();
    makeView();
    EXPECT_EQ(view->messageBox()->toPlainText(), QStringLiteral("Second page"));

    QTest::mouseClick(view->commitButton(), Qt::LeftButton);
    EXPECT_TRUE(NBETest::waitUntil([&] { return headSubject() == QStringLiteral("Second page"); }));
    EXPECT_TRUE(NBETest::waitUntil([&] { return view->messageBox()->toPlainText().isEmpty(); }));
    EXPECT_FALSE(settings->contains(NBECommitDrafts::key(repo)));
    // The box empties when git is done, but the commit runs on until the
    // changes are read again: the user waits for it.
    EXPECT_TRUE(NBETest::waitUntil(
        [&] { return view->commitButton()->text() == QStringLiteral("Commit"); }));

    // Amend takes the last message to edit and replaces the commit.
    ASSERT_TRUE(view->amendBox()->isEnabled());
    view->amendBox()->click();
    EXPECT_TRUE(NBETest::waitUntil(
        [&] { return view->messageBox()->toPlainText() == QStringLiteral("Second page"); }));
    EXPECT_EQ(view->commitButton()->text(), QStringLiteral("Amend"));
    view->messageBox()->selectAll();
    QTest::keyClicks(view->messageBox(), QStringLiteral("Second page, reworded"));
    EXPECT_EQ(model->commitBox().commitMessage(), QStringLiteral("Second page, reworded"));
    ASSERT_TRUE(NBETest::waitUntil([&] { return view->commitButton()->isEnabled(); }));
    QTest::mouseClick(view->commitButton(), Qt::LeftButton);
    EXPECT_TRUE(NBETest::waitUntil(
        [&] { return headSubject() == QStringLiteral("Second page, reworded"); }));
    EXPECT_EQ(
        gitText({QStringLiteral("rev-list"), QStringLiteral("--count"), QStringLiteral("HEAD")}),
        QStringLiteral("2"));
    EXPECT_TRUE(NBETest::waitUntil([&] { return !view->amendBox()->isChecked(); }));
}

// A commit whose hook runs long says so, and its button cancels it.
TEST_F(NBEGitChangesViewTest, ARunningCommitSaysSoAndItsButtonCancelsIt)
{
    repository();
    write(QStringLiteral("index.html"), "<p>two</p>\n");
    git({QStringLiteral("add"), QStringLiteral("index.html")});
    NBETest::installHangingHook(root);
    load();
    makeView();
    EXPECT_FALSE(view->committingLabel()->isVisible());
    view->messageBox()->setFocus();
    QTest::keyClicks(view->messageBox(), QStringLiteral("Second page"));
    QTest::mouseClick(view->commitButton(), Qt::LeftButton);
    const auto hook = NBETest::hangingHookProcesses(root);
    ASSERT_TRUE(hook);
    EXPECT_TRUE(view->committingLabel()->isVisible());
    EXPECT_EQ(view->commitButton()->text(), QStringLiteral("Cancel Commit"));
    ASSERT_TRUE(view->commitButton()->isEnabled());
    QTest::mouseClick(view->commitButton(), Qt::LeftButton);
    EXPECT_TRUE(NBETest::waitUntil([&] { return !model->commitBox().isCommitting(); }));
    EXPECT_FALSE(NBETest::isRunning(hook->first));
    EXPECT_FALSE(NBETest::isRunning(hook->second));
    EXPECT_FALSE(view->committingLabel()->isVisible());
    EXPECT_EQ(view->commitButton()->text(), QStringLiteral("Commit"));
    EXPECT_EQ(view->messageBox()->toPlainText(), QStringLiteral("Second page"));
    EXPECT_EQ(headSubject(), QStringLiteral("First page"));
}

// Once git has made the commit, the refresh that follows can't undo it: the
// button offers no cancel then, and a click on it changes nothing.
TEST_F(NBEGitChangesViewTest, ACommitGitHasMadeIsNoLongerOfferedToCancel)
{
    repository();
    write(QStringLiteral("index.html"), "<p>two</p>\n");
    git({QStringLiteral("add"), QStringLiteral("index.html")});
    load();
    makeView();
    view->messageBox()->setFocus();
    QTest::keyClicks(view->messageBox(), QStringLiteral("Second page"));
    // The commit is confirmed as soon as git is done, before the changes are
    // read again.
    struct Seen
    {
        bool committing = false;
        QString text;
        bool enabled = true;
        bool label = true;
    };
    std::optional<Seen> seen;
    QObject::connect(&model->workspaceGit(), &NBEWorkspaceGit::syncStatusChanged, view.get(), [&] {
        if (seen || !model->workspaceGit().syncStatus())
            return;
        seen = Seen{model->commitBox().isCommitting(), view->commitButton()->text(),
                    view->commitButton()->isEnabled(), view->committingLabel()->isVisible()};
        QTest::mouseClick(view->commitButton(), Qt::LeftButton);
    });
    QTest::mouseClick(view->commitButton(), Qt::LeftButton);
    ASSERT_TRUE(NBETest::waitUntil([&] { return seen.has_value(); }));
    EXPECT_TRUE(NBETest::waitUntil([&] { return !model->commitBox().isCommitting(); }));
    EXPECT_TRUE(seen->committing);
    EXPECT_EQ(seen->text, QStringLiteral("Commit"));
    EXPECT_FALSE(seen->enabled);
    EXPECT_FALSE(seen->label);
    EXPECT_EQ(model->workspaceGit().syncStatus(), QStringLiteral("Committed to main"));
    EXPECT_EQ(headSubject(), QStringLiteral("Second page"));
    EXPECT_EQ(view->commitButton()->text(), QStringLiteral("Commit"));
}

// A clipboard whose owner never answered comes with no formats: pasting it
// into the message leaves the message as it was.
TEST_F(NBEGitChangesViewTest, APasteOfAClipboardWithNoFormatsLeavesTheMessage)
{
    repository();
    load();
    makeView();
    QPlainTextEdit *box = view->messageBox();
    box->setFocus();
    QTest::keyClicks(box, QStringLiteral("Fix "));
    QClipboard *clipboard = QGuiApplication::clipboard();
    clipboard->setMimeData(new QMimeData);
    ASSERT_TRUE(clipboard->mimeData()->formats().isEmpty());
    QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(box->toPlainText(), QStringLiteral("Fix "));
    clipboard->setText(QStringLiteral("the header"));
    QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(box->toPlainText(), QStringLiteral("Fix the header"));
}

TEST_F(NBEGitChangesViewTest, GenerateFillsTheBoxOrShowsTheSentenceAsItIs)
{
    repository();
    load();
    makeView();
    auto generate = [&](const QString &expectedError) {
        model->clearErrorMessage();
        QTest::mouseClick(view->generateButton(), Qt::LeftButton);
        EXPECT_TRUE(NBETest::waitUntil([&] { return model->errorMessage().has_value(); }));
        EXPECT_EQ(model->errorMessage().value_or(QString()), expectedError);
        EXPECT_TRUE(view->generateButton()->isEnabled());
    };
    settings->setBool(QStringLiteral("nbe.ai.enabled"), false);
    generate(QStringLiteral("AI features are turned off. Enable them in Settings → AI."));
    settings->remove(QStringLiteral("nbe.ai.enabled"));
    generate(QStringLiteral("Add your Anthropic API key in Settings → AI to generate commit "
                            "messages."));
    ASSERT_TRUE(NBETest::await(
        NBEKeychain::set(QStringLiteral("sk-test"), NBEKeychainKey::anthropicAPIKey)));
    generate(QStringLiteral("There are no changes to describe — stage some changes first."));
    EXPECT_TRUE(view->messageBox()->toPlainText().isEmpty());

    // While the service thinks the button says so and can't be pressed again.
    write(QStringLiteral("index.html"), "<p>two</p>\n");
    refresh();
    server.behaviour = NBETest::FakeMessagesServer::Behaviour::silent;
    model->clearErrorMessage();
    QTest::mouseClick(view->generateButton(), Qt::LeftButton);
    EXPECT_TRUE(NBETest::waitUntil([&] { return server.connections > 0; }));
    EXPECT_FALSE(view->generateButton()->isEnabled());
    EXPECT_EQ(view->generateButton()->text(), QStringLiteral("Generating…"));
    view.reset();

    model = makeModel(
        [this](NBEWorkspaceEnvironment &environment) { environment.aiBaseURL = server.baseURL(); });
    load();
    makeView();
    server.answer(200, NBETest::textReply(QStringLiteral("Reword the page")));
    QTest::mouseClick(view->generateButton(), Qt::LeftButton);
    EXPECT_TRUE(NBETest::waitUntil(
        [&] { return view->messageBox()->toPlainText() == QStringLiteral("Reword the page"); }));
    EXPECT_TRUE(view->generateButton()->isEnabled());
    EXPECT_FALSE(model->errorMessage().has_value());
}

TEST_F(NBEGitChangesViewTest, SlowGitShowsLoadingUntilItAnswers)
{
    repository();
    const QString slow = slowGit();
    model = makeModel([&](NBEWorkspaceEnvironment &environment) {
        environment.gitURL = QUrl::fromLocalFile(slow);
    });
    makeView();
    // Everything the pane says, after each change of state.
    QStringList said;
    const auto note = [&] {
        said.append(view->isShowingRepository() ? QStringLiteral("repository")
                                                : view->stateLabel()->text());
    };
    QObject::connect(&model->gitState(), &NBEGitState::loadingChanged, view.get(), note);
    QObject::connect(&model->gitState(), &NBEGitState::changed, view.get(), note);

    auto loading = model->loadWorkspace(rootURL());
    ASSERT_TRUE(NBETest::waitUntil([&] { return QFileInfo::exists(slowGitStarted()); }));
    EXPECT_FALSE(view->isShowingRepository());
    EXPECT_EQ(view->stateLabel()->text(), QStringLiteral("Loading…"));
    EXPECT_FALSE(view->initializeButton()->isVisible());

    QFile::remove(slowGitHold());
    NBETest::await(loading);
    EXPECT_TRUE(view->isShowingRepository());
    EXPECT_EQ(said.first(), QStringLiteral("Loading…"));
    EXPECT_EQ(said.last(), QStringLiteral("repository"));
    EXPECT_FALSE(said.contains(QStringLiteral("This folder isn't a git repository.")))
        << said.join(u'|').toStdString();
}

TEST_F(NBEGitChangesViewTest, OutsideARepositoryItOffersToMakeOne)
{
    write(QStringLiteral("index.html"), "<p>one</p>\n");
    load();
    makeView();
    EXPECT_FALSE(view->isShowingRepository());
    ASSERT_TRUE(view->initializeButton()->isVisible());
    QTest::mouseClick(view->initializeButton(), Qt::LeftButton);
    EXPECT_TRUE(NBETest::waitUntil([&] { return view->isShowingRepository(); }));
    EXPECT_TRUE(QDir(path(QStringLiteral(".git"))).exists());
    EXPECT_TRUE(listedAs({"C1", "C index.html"}));
    EXPECT_EQ(view->syncLabel()->text(), QStringLiteral("No remote"));
}

TEST_F(NBEGitChangesViewTest, ALongBranchNameIsElidedBesideTheButtons)
{
    repository();
    const QString name = QStringLiteral("feature/a-very-long-branch-name-that-goes-on-and-on-"
                                        "well-past-the-width-of-any-sidebar");
    git({QStringLiteral("checkout"), QStringLiteral("-q"), QStringLiteral("-b"), name});
    git({QStringLiteral("remote"), QStringLiteral("add"), QStringLiteral("origin"),
         QStringLiteral("https://example.invalid/repo.git")});
    load();
    makeView();
    ASSERT_TRUE(NBETest::waitUntil([&] { return view->branchLabel()->toolTip() == name; }));
    ASSERT_TRUE(NBETest::waitUntil([&] { return view->pushButton()->isVisible(); }));
    const QLabel *label = view->branchLabel();
    EXPECT_NE(label->text(), name);
    EXPECT_TRUE(label->text().contains(QChar(0x2026))) << label->text().toStdString();
    // The name and the buttons beside it stay inside the view, not under each other.
    const QRect push = view->pushButton()->geometry();
    EXPECT_LE(label->geometry().right(), push.left());
    EXPECT_LE(push.right(), view->width());
    EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->width());
}

TEST_F(NBEGitChangesViewTest, AMergeInProgressIsShownAndConcludedFromTheKeyboard)
{
    conflictingBranches();
    write(QStringLiteral("notes.txt"), "new\n");
    load();
    makeView();
    NBETest::await(model->workspaceGit().mergeBranch(QStringLiteral("feature")));
    model->clearErrorMessage();

    // The conflict first, the merge said above git's message; no amend and
    // no commit while a path is unmerged.
    EXPECT_TRUE(listedAs({"M1", "C index.html", "C1", "C notes.txt"}));
    EXPECT_TRUE(view->mergeLabel()->isVisible());
    EXPECT_TRUE(view->mergeLabel()->text().startsWith(QStringLiteral("Merging feature into main")));
    EXPECT_EQ(view->messageBox()->toPlainText(), QStringLiteral("Merge branch 'feature'"));
    EXPECT_EQ(view->commitButton()->text(), QStringLiteral("Commit Merge"));
    EXPECT_FALSE(view->commitButton()->isEnabled());
    EXPECT_FALSE(view->amendBox()->isEnabled());

    // The list takes the keyboard: the Menu key opens the current row's
    // menu, Space stages it.
    write(QStringLiteral("index.html"), "<p>ours</p>\n");
    view->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(view.get()));
    view->list()->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(view->list()->hasFocus());
    view->list()->setCurrentIndex(
        view->list()->model()->index(rowOf(QStringLiteral("C index.html")), 0));
    QStringList offered;
    QTimer::singleShot(0, [&] {
        NBETest::waitUntil([&] { return QApplication::activePopupWidget() != nullptr; });
        if (auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget())) {
            for (QAction *action : menu->actions())
                if (!action->isSeparator())
                    offered.append(action->text());
            menu->close();
        }
    });
    QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, QPoint(), QPoint());
    QApplication::sendEvent(view->list(), &menuKey);
    EXPECT_EQ(offered,
              (QStringList{"Show Changes", "Open File", "Stage Changes", "Discard Changes\u2026"}));
    QTest::keyClick(view->list(), Qt::Key_Space);
    EXPECT_TRUE(listedAs({"C1", "C notes.txt"}));
    EXPECT_TRUE(view->mergeLabel()->text().contains(QStringLiteral("Commit concludes the merge")));

    // Resolved to our side: Ctrl+Return in the box concludes the merge.
    ASSERT_TRUE(NBETest::waitUntil([&] { return view->commitButton()->isEnabled(); }));
    view->messageBox()->setFocus();
    QTest::keyClick(view->messageBox(), Qt::Key_Return, Qt::ControlModifier);
    EXPECT_TRUE(
        NBETest::waitUntil([&] { return !model->gitState().snapshot().merge.has_value(); }));
    EXPECT_EQ(headSubject(), QStringLiteral("Merge branch 'feature'"));
    EXPECT_EQ(gitText({QStringLiteral("log"), QStringLiteral("-1"), QStringLiteral("--format=%P")})
                  .split(u' ')
                  .size(),
              2);
    EXPECT_FALSE(view->mergeLabel()->isVisible());
    EXPECT_EQ(view->commitButton()->text(), QStringLiteral("Commit"));
    EXPECT_TRUE(view->messageBox()->toPlainText().isEmpty());
}

TEST_F(NBEGitChangesViewTest, AtTheSidebarsLeastWidthLabelsAndCountsShowWhole)
{
    conflictingBranches();
    // More changes than three digits count.
    for (int i = 0; i < 1000; ++i)
        write(QStringLiteral("gen/file%1.js").arg(i), "x\n");
    load();
    makeView();
    // As the sidebar holds it: its least width, whatever the rows would like.
    view->setMinimumWidth(180);
    view->resize(180, 600);
    ASSERT_EQ(view->width(), 180);
    NBETest::await(model->workspaceGit().mergeBranch(QStringLiteral("feature")));
    model->clearErrorMessage();
    ASSERT_TRUE(NBETest::waitUntil([&] { return rowOf(QStringLiteral("C1000")) >= 0; }));

    const auto whole = [](const QPushButton *button) {
        return button->width() >= button->sizeHint().width();
    };
    EXPECT_EQ(view->commitButton()->text(), QStringLiteral("Commit Merge"));
    EXPECT_TRUE(whole(view->commitButton()));

    const int section = rowOf(QStringLiteral("C1000"));
    const QRect row = view->list()->visualRect(view->list()->model()->index(section, 0));
    QFont font = view->list()->font();
    font.setWeight(QFont::DemiBold);
    const int count = QFontMetrics(font).horizontalAdvance(QStringLiteral("1000"));
    EXPECT_LT(view->actionRect(section, Action::stageAll).right() + count, row.right());

    ASSERT_TRUE(NBETest::await(
        NBEKeychain::set(QStringLiteral("sk-test"), NBEKeychainKey::anthropicAPIKey)));
    server.behaviour = NBETest::FakeMessagesServer::Behaviour::silent;
    QTest::mouseClick(view->generateButton(), Qt::LeftButton);
    ASSERT_TRUE(NBETest::waitUntil([&] { return server.connections > 0; }));
    EXPECT_EQ(view->generateButton()->text(), QStringLiteral("Generating…"));
    EXPECT_TRUE(whole(view->generateButton()));
}

// Space stages the current file and moves on to the next one in the list,
// wherever the staged one lands, so a second Space stages that next one.
TEST_F(NBEGitChangesViewTest, SpaceMovesOnToTheNextFile)
{
    repository();
    for (const char *name : {"a.css", "b.css", "c.css"})
        write(QString::fromLatin1(name), "x\n");
    load();
    makeView();
    ASSERT_TRUE(listedAs({"C3", "C a.css", "C b.css", "C c.css"}));
    view->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(view.get()));
    view->list()->setFocus(Qt::TabFocusReason);
    const auto select = [&](const QString &entry) {
        view->list()->setCurrentIndex(view->list()->model()->index(rowOf(entry), 0));
    };
    const auto current = [&] { return listed().value(view->list()->currentIndex().row()); };
    select(QStringLiteral("C a.css"));

    QTest::keyClick(view->list(), Qt::Key_Space);
    ASSERT_TRUE(listedAs({"S1", "S a.css", "C2", "C b.css", "C c.css"}));
    EXPECT_EQ(current(), QStringLiteral("C b.css"));
    QTest::keyClick(view->list(), Qt::Key_Space);
    ASSERT_TRUE(listedAs({"S2", "S a.css", "S b.css", "C1", "C c.css"}));
    EXPECT_EQ(current(), QStringLiteral("C c.css"));

    // Unstaging moves on the same way.
    select(QStringLiteral("S a.css"));
    QTest::keyClick(view->list(), Qt::Key_Space);
    ASSERT_TRUE(listedAs({"S1", "S b.css", "C2", "C a.css", "C c.css"}));
    EXPECT_EQ(current(), QStringLiteral("S b.css"));
}
