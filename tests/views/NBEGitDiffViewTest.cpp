#include "NBEGitDiffView.h"
#include "NBEGitViewsFixture.h"

#include "NBEDefaultThemes.h"
#include "NBEMainView.h"
#include "NBETabBar.h"

#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTextBlock>
#include <QToolButton>

namespace {

using Kind = NBEGitDiffLine::Kind;

class NBEGitDiffViewTest : public NBEGitViewsFixture
{
protected:
    NBETheme theme = NBEDefaultThemes::light();

    std::unique_ptr<NBEGitDiffView> makeView(const NBEDiffSource &source)
    {
        auto view = std::make_unique<NBEGitDiffView>(
            source,
            NBEDiffOwners{model->gitState(), model->history(), model->workingTree(),
                          model->navigation(), model->files()},
            theme);
        view->resize(700, 500);
        view->show();
        return view;
    }
    static bool waitLoaded(NBEGitDiffView *view)
    {
        return NBETest::waitUntil([&] { return !view->isLoading(); });
    }
    // The shown block holding `text` after its line numbers.
    static QTextBlock block(NBEGitDiffView *view, const QString &text)
    {
        for (QTextBlock b = view->textView()->document()->begin(); b.isValid(); b = b.next()) {
            if (b.text().endsWith(text))
                return b;
        }
        return {};
    }
    // The colours the block's characters are drawn in, in order, without repeats.
    static QList<QColor> colours(const QTextBlock &b)
    {
        QList<QColor> found;
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QColor colour = it.fragment().charFormat().foreground().color();
            if (!found.contains(colour))
                found.append(colour);
        }
        return found;
    }
};

} // namespace

TEST_F(NBEGitDiffViewTest, AFileDiffStartsLoadingThenTintsAndColoursItsRows)
{
    repository();
    commitFile(QStringLiteral("css/site.css"), "a { color: red; }\nb {}\n",
               QStringLiteral("Styles"));
    write(QStringLiteral("css/site.css"), "a { color: blue; }\nb {}\n");
    load();
    auto view = makeView(NBEDiffSource::file(url(QStringLiteral("css/site.css"))));
    EXPECT_TRUE(view->isLoading());
    EXPECT_TRUE(view->lines().isEmpty());
    EXPECT_EQ(view->stateLabel()->text(), QStringLiteral("Loading…"));
    ASSERT_TRUE(waitLoaded(view.get()));
    EXPECT_EQ(view->titleLabel()->text(), QStringLiteral("site.css"));
    EXPECT_EQ(view->detailLabel()->text(), QStringLiteral("css/site.css"));

    const QTextBlock removed = block(view.get(), QStringLiteral("- a { color: red; }"));
    const QTextBlock added = block(view.get(), QStringLiteral("+ a { color: blue; }"));
    const QTextBlock context = block(view.get(), QStringLiteral("  b {}"));
    ASSERT_TRUE(removed.isValid() && added.isValid() && context.isValid());
    EXPECT_TRUE(removed.text().startsWith(QStringLiteral("    1       -")));
    EXPECT_TRUE(added.text().startsWith(QStringLiteral("          1 +")));
    EXPECT_EQ(removed.blockFormat().background().color(),
              NBEGitDiffView::background(Kind::deletion, theme));
    EXPECT_EQ(added.blockFormat().background().color(),
              NBEGitDiffView::background(Kind::addition, theme));
    EXPECT_EQ(context.blockFormat().background().style(), Qt::NoBrush);
    QTextBlock hunk = view->textView()->document()->begin();
    while (hunk.isValid() && !hunk.text().startsWith(QStringLiteral("@@")))
        hunk = hunk.next();
    ASSERT_TRUE(hunk.isValid());
    EXPECT_EQ(hunk.blockFormat().background().color(),
              NBEGitDiffView::background(Kind::hunk, theme));
    // The CSS is coloured as CSS: more colours than gutter and plain text.
    EXPECT_GE(colours(added).size(), 3);

    // No change: an empty diff says so.
    auto same = makeView(NBEDiffSource::file(url(QStringLiteral("index.html"))));
    ASSERT_TRUE(waitLoaded(same.get()));
    EXPECT_EQ(same->stateLabel()->text(), QStringLiteral("No changes"));
    EXPECT_TRUE(same->stateLabel()->isVisible());
}

// A diff git can't read says git's reason, never a blank or "No changes".
TEST_F(NBEGitDiffViewTest, ADiffGitCantReadSaysWhy)
{
    repository();
    write(QStringLiteral("index.html"), "<p>two</p>\n");
    load();
    const QString head = gitText({QStringLiteral("rev-parse"), QStringLiteral("HEAD")});
    ASSERT_TRUE(
        QFile::remove(path(QStringLiteral(".git/objects/") + head.left(2) + u'/' + head.mid(2))));
    auto view = makeView(NBEDiffSource::file(url(QStringLiteral("index.html"))));
    ASSERT_TRUE(waitLoaded(view.get()));
    EXPECT_TRUE(view->textView()->isVisible());
    EXPECT_EQ(view->textView()->toPlainText(), QStringLiteral("Bad object HEAD."));
}

TEST_F(NBEGitDiffViewTest, AFileDiffFollowsStagingAndCommitting)
{
    repository();
    commitFile(QStringLiteral("a.css"), "a {}\n", QStringLiteral("A"));
    write(QStringLiteral("a.css"), "a { color: red; }\n");
    load();
    auto view = makeView(NBEDiffSource::file(url(QStringLiteral("a.css"))));
    ASSERT_TRUE(waitLoaded(view.get()));
    ASSERT_TRUE(block(view.get(), QStringLiteral("+ a { color: red; }")).isValid());

    QSignalSpy reloaded(view.get(), &NBEGitDiffView::loaded);
    NBETest::await(model->workingTree().stage(url(QStringLiteral("a.css"))));
    ASSERT_TRUE(NBETest::waitUntil([&] { return !reloaded.isEmpty(); }));
    EXPECT_TRUE(block(view.get(), QStringLiteral("+ a { color: red; }")).isValid());

    // Committed from outside the list: the next refresh shows no change.
    git({QStringLiteral("commit"), QStringLiteral("-qm"), QStringLiteral("Red")});
    refresh();
    ASSERT_TRUE(NBETest::waitUntil(
        [&] { return view->stateLabel()->text() == QStringLiteral("No changes"); }));
    EXPECT_TRUE(view->lines().isEmpty());
}

TEST_F(NBEGitDiffViewTest, AFileDiffFollowsAnotherProgramsEdits)
{
    repository();
    commitFile(QStringLiteral("a.css"), "a {}\n", QStringLiteral("A"));
    write(QStringLiteral("a.css"), "a { color: red; }\n");
    model = makeModel([](NBEWorkspaceEnvironment &environment) {
        environment.timings.outsideChangeQuiet = std::chrono::milliseconds(100);
    });
    load();
    auto view = makeView(NBEDiffSource::file(url(QStringLiteral("a.css"))));
    ASSERT_TRUE(waitLoaded(view.get()));
    ASSERT_TRUE(block(view.get(), QStringLiteral("+ a { color: red; }")).isValid());

    // Still "M", with other lines.
    write(QStringLiteral("a.css"), "a { color: blue; }\n");
    ASSERT_TRUE(NBETest::waitUntil(
        [&] { return block(view.get(), QStringLiteral("+ a { color: blue; }")).isValid(); }));
    EXPECT_FALSE(block(view.get(), QStringLiteral("+ a { color: red; }")).isValid());
}

TEST_F(NBEGitDiffViewTest, ACommitShowsItsSubjectFilesAndEachFilesLanguage)
{
    repository();
    write(QStringLiteral("app.js"), "let a = 1;\n");
    write(QStringLiteral("notes.txt"), "let a = 1;\n");
    git({QStringLiteral("add"), QStringLiteral(".")});
    git({QStringLiteral("commit"), QStringLiteral("-qm"), QStringLiteral("Script and notes")});
    const QString sha = gitText({QStringLiteral("rev-parse"), QStringLiteral("HEAD")});
    load();
    auto view = makeView(NBEDiffSource::commit(sha, QStringLiteral("Script and notes")));
    ASSERT_TRUE(waitLoaded(view.get()));
    EXPECT_EQ(view->titleLabel()->text(), QStringLiteral("Script and notes"));
    EXPECT_EQ(view->detailLabel()->text(), sha.left(7) + QStringLiteral(" · 2 files changed"));
    EXPECT_EQ(view->files(), (QStringList{"app.js", "notes.txt"}));
    EXPECT_EQ(view->fileList()->count(), 2);

    QTextBlock script;
    QTextBlock notes;
    for (QTextBlock b = view->textView()->document()->begin(); b.isValid(); b = b.next()) {
        if (b.text().endsWith(QStringLiteral("+ let a = 1;")))
            (script.isValid() ? notes : script) = b;
    }
    ASSERT_TRUE(script.isValid() && notes.isValid());
    // Same line: coloured as JavaScript in app.js, plain in a text file.
    EXPECT_GT(colours(script).size(), colours(notes).size());

    // Clicking a file goes to its part of the patch.
    QListWidgetItem *second = view->fileList()->item(1);
    QTest::mouseClick(view->fileList()->viewport(), Qt::LeftButton, {},
                      view->fileList()->visualItemRect(second).center());
    EXPECT_TRUE(
        view->textView()->textCursor().block().text().endsWith(QStringLiteral("b/notes.txt")));
}

TEST_F(NBEGitDiffViewTest, TheWindowShowsADiffInPlaceOfTheTabsUntilAFileOpens)
{
    repository();
    write(QStringLiteral("index.html"), "<p>two</p>\n");
    NBEMainView window(rootURL());
    window.resize(900, 600);
    window.show();
    window.start();
    ASSERT_TRUE(NBETest::waitUntil([&] { return window.viewModel()->gitState().isRepository(); }));
    NBEWorkspaceViewModel *vm = window.viewModel();
    NBETest::await(vm->navigation().openFile(url(QStringLiteral("index.html")), false));
    ASSERT_NE(window.sourceEditor(), nullptr);

    vm->navigation().setDiffTarget(url(QStringLiteral("index.html")));
    ASSERT_NE(window.diffView(), nullptr);
    EXPECT_TRUE(window.diffView()->isVisible());
    EXPECT_FALSE(window.tabBar()->isVisible());
    EXPECT_TRUE(waitLoaded(window.diffView()));

    // A file diff over a commit diff; going back shows the commit again.
    NBETest::await(vm->history().loadHistory());
    ASSERT_FALSE(vm->history().gitHistory().isEmpty());
    vm->navigation().setCommitDiffTarget(vm->history().gitHistory().first());
    EXPECT_EQ(window.diffView()->source().kind, NBEDiffSource::Kind::file);
    vm->navigation().setDiffTarget(std::nullopt);
    ASSERT_NE(window.diffView(), nullptr);
    EXPECT_EQ(window.diffView()->source(),
              NBEDiffSource::commit(vm->history().gitHistory().first().sha,
                                    QStringLiteral("First page")));

    // Closing goes back to the tabs; so does opening a file.
    QTest::mouseClick(window.diffView()->closeButton(), Qt::LeftButton);
    EXPECT_EQ(window.diffView(), nullptr);
    EXPECT_TRUE(window.tabBar()->isVisible());
    vm->navigation().showCommitDiff(vm->history().gitHistory().first());
    ASSERT_NE(window.diffView(), nullptr);
    NBETest::await(vm->navigation().openFile(url(QStringLiteral("index.html")), false));
    EXPECT_EQ(window.diffView(), nullptr);
    EXPECT_TRUE(window.tabBar()->isVisible());
}
