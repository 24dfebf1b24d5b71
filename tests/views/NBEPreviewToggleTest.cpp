#include "NBEPreviewToggle.h"
#include "NBEHTMLPreview.h"
#include "NBEHTMLSplitView.h"
#include "NBEMainView.h"
#include "NBEMarkdownPreview.h"
#include "NBESourceEditor.h"
#include "NBETestSupport.h"
#include "NBEWorkspaceViewModel.h"

#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QWebEngineView>
#include <gtest/gtest.h>

namespace {

class NBEPreviewToggleTest : public ::testing::Test
{
protected:
    QTemporaryDir dir;
    std::unique_ptr<NBEMainView> main;
    NBEWorkspaceViewModel *model = nullptr;

    void SetUp() override
    {
        NBETest::writeFile(dir.filePath(QStringLiteral("notes.md")), "# Notes\n");
        NBETest::writeFile(dir.filePath(QStringLiteral("index.html")), "<p>index</p>\n");
        NBETest::writeFile(dir.filePath(QStringLiteral("about.html")), "<p>about</p>\n");
        NBETest::writeFile(dir.filePath(QStringLiteral("app.js")), "x\n");
        main = std::make_unique<NBEMainView>(QUrl::fromLocalFile(QDir::cleanPath(dir.path())));
        model = main->viewModel();
        main->resize(1000, 700);
        main->show();
        main->start();
        ASSERT_TRUE(NBETest::waitUntil([&] { return model->files().isOpen(); }));
    }

    QUuid open(const QString &name)
    {
        NBETest::await(
            model->navigation().openFile(QUrl::fromLocalFile(dir.filePath(name)), false));
        return model->tabs().activeTab()->id;
    }
};

// The toolbar's toggle follows the active tab, and the pane changes with it:
// the Markdown preview replaces the editor, an HTML page goes beside it.
TEST_F(NBEPreviewToggleTest, TogglingThePreviewSwapsThePaneOfTheActiveTab)
{
    NBEPreviewToggle toggle(model->tabs());
    const QUuid notes = open(QStringLiteral("notes.md"));
    EXPECT_EQ(toggle.text(), QStringLiteral("Show Preview"));
    EXPECT_EQ(toggle.toolTip(), QStringLiteral("Preview rendered Markdown (Ctrl+Alt+P)"));
    ASSERT_TRUE(main->sourceEditor());
    model->tabs().updateContent(QStringLiteral("# Unsaved heading\n"), notes);

    toggle.click();
    EXPECT_EQ(toggle.text(), QStringLiteral("Show Editor"));
    EXPECT_EQ(toggle.toolTip(), QStringLiteral("Edit source (Ctrl+Alt+P)"));
    ASSERT_TRUE(main->markdownPreview());
    EXPECT_FALSE(main->sourceEditor());
    ASSERT_TRUE(NBETest::waitUntil([&] { return main->markdownPreview()->isBuilt(); }));
    EXPECT_EQ(main->markdownPreview()->document()->toPlainText().trimmed(),
              QStringLiteral("Unsaved heading"));
    // A text that changes while the preview shows (a reload from disk) shows.
    model->tabs().updateContent(QStringLiteral("# Newer\n"), notes);
    EXPECT_TRUE(NBETest::waitUntil(
        [&] { return main->markdownPreview()->document()->toPlainText().trimmed() == u"Newer"; }));
    toggle.click();
    EXPECT_TRUE(main->sourceEditor());
    EXPECT_FALSE(main->markdownPreview());

    open(QStringLiteral("index.html"));
    EXPECT_EQ(toggle.toolTip(), QStringLiteral("Preview rendered HTML (Ctrl+Alt+P)"));
    toggle.click();
    ASSERT_TRUE(main->htmlSplitView());
    EXPECT_EQ(main->sourceEditor(), main->htmlSplitView()->sourceEditor());
    EXPECT_TRUE(main->htmlSplitView()->preview()->webView());
}

// Each previewing HTML tab gets its own split view and link whenever it
// becomes active; closing a previewing tab frees its page.
TEST_F(NBEPreviewToggleTest, SwitchingAndClosingPreviewingTabsBuildsAndFreesTheirPages)
{
    const QUuid index = open(QStringLiteral("index.html"));
    model->toggleActivePreview();
    const QUuid about = open(QStringLiteral("about.html"));
    model->toggleActivePreview();
    ASSERT_TRUE(main->htmlSplitView());
    QPointer<NBEHTMLSplitView> aboutSplit = main->htmlSplitView();
    QPointer<NBEScrollLink> aboutLink = aboutSplit->scrollLink();
    QPointer<QWebEngineView> aboutPage = aboutSplit->preview()->webView();

    model->navigation().activateTab(index);
    ASSERT_TRUE(main->htmlSplitView());
    EXPECT_FALSE(aboutSplit);
    EXPECT_FALSE(aboutLink);
    EXPECT_FALSE(aboutPage);
    QPointer<NBEHTMLSplitView> indexSplit = main->htmlSplitView();
    EXPECT_EQ(indexSplit->sourceEditor()->tabID(), index);

    model->navigation().activateTab(about);
    ASSERT_TRUE(main->htmlSplitView());
    EXPECT_FALSE(indexSplit);
    aboutPage = main->htmlSplitView()->preview()->webView();
    ASSERT_TRUE(NBETest::await(model->tabs().closeTab(about)));
    EXPECT_FALSE(aboutPage);
    ASSERT_TRUE(main->htmlSplitView());
    EXPECT_EQ(main->sourceEditor()->tabID(), index);
}

// Turning on the preview of a dark page in the dark theme shows, where the
// page goes, what the editor showed there until the page is drawn: never
// the engine's white.
TEST_F(NBEPreviewToggleTest, APreviewTurnedOnShowsTheEditorUntilItsPageIsDrawn)
{
    if (QGuiApplication::platformName() != u"xcb")
        GTEST_SKIP() << "no display to read";
    model->preferences().setAppearance(QStringLiteral("dark"));
    const QColor night(0x44, 0, 0);
    NBETest::writeFile(dir.filePath(QStringLiteral("night.html")),
                       "<!DOCTYPE html><html><body style=\"background:#400\"><h1 "
                       "style=\"color:#ccd\">Night</h1></body></html>\n");
    open(QStringLiteral("night.html"));
    // The window's first page makes the window anew (black for a few frames,
    // Qt's doing); the one after is the user's usual case.
    model->toggleActivePreview();
    ASSERT_TRUE(main->htmlSplitView());
    QSignalSpy first(main->htmlSplitView()->preview(), &NBEHTMLPreview::pageLoaded);
    ASSERT_TRUE(NBETest::waitUntil([&] { return !first.isEmpty(); }));
    model->toggleActivePreview();
    ASSERT_TRUE(main->sourceEditor());
    QWidget *pane = main->sourceEditor();
    // Well inside where the page will be: the right quarter of the pane.
    const QRect area(pane->mapToGlobal(QPoint(pane->width() * 3 / 4, 10)),
                     QSize(pane->width() / 4 - 10, pane->height() - 20));
    const auto onScreen = [&] {
        return main->screen()
            ->grabWindow(0, area.x(), area.y(), area.width(), area.height())
            .toImage()
            .convertToFormat(QImage::Format_RGB32);
    };
    QImage previous;
    ASSERT_TRUE(NBETest::waitUntil([&] {
        const QImage shown = onScreen();
        const bool settled = NBETest::shareAlike(shown, previous) == 1;
        previous = shown;
        return settled && NBETest::shareNear(shown, night) == 0;
    }));

    model->toggleActivePreview();
    ASSERT_TRUE(main->htmlSplitView());
    QSignalSpy loaded(main->htmlSplitView()->preview(), &NBEHTMLPreview::pageLoaded);
    QElapsedTimer clock;
    clock.start();
    QElapsedTimer sinceUp;
    while (!sinceUp.isValid() || sinceUp.elapsed() < 1000) {
        const QImage shown = onScreen();
        const double page = NBETest::shareNear(shown, night);
        const double kept = NBETest::shareAlike(shown, previous);
        ASSERT_TRUE(page > 0.8 || kept > 0.95)
            << clock.elapsed() << " ms: " << int(page * 100) << " % the page's colour, "
            << int(kept * 100) << " % as before"
            << (loaded.isEmpty() ? ", page not up" : ", page up");
        if (!loaded.isEmpty() && !sinceUp.isValid())
            sinceUp.start();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
        ASSERT_LT(clock.elapsed(), 20000);
    }
}

} // namespace
