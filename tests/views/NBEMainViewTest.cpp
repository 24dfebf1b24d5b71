#include "NBECodeTextEdit.h"
#include "NBECompletionList.h"
#include "NBEDefaultThemes.h"
#include "NBEFileTreeView.h"
#include "NBEHTMLEditor.h"
#include "NBEHTMLToolbar.h"
#include "NBEMainViewFixture.h"
#include "NBEMarkdownEditor.h"
#include "NBEMarkdownToolbar.h"
#include "NBEOpeningView.h"
#include "NBEOutline.h"
#include "NBEOutlineView.h"
#include "NBEPreviewToggle.h"
#include "NBESourceEditor.h"
#include "NBETextEditorCoordinator.h"
#include "NBETextEditorView.h"
#include "NBETextGeometry.h"
#include "NBEWidgetDesktop.h"
#include "NBEWindowToolbar.h"

#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QMessageBox>
#include <QScopeGuard>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

#include <atomic>
#include <thread>
#include <vector>

namespace {

class NBEMainViewTest : public NBEMainViewFixture
{
protected:
    void makeView()
    {
        NBEWorkspaceTimings timings;
        timings.validationDelay = std::chrono::milliseconds(60);
        timings.autoFetchStartDelay = std::chrono::hours(1);
        timings.syncStatusDuration = std::chrono::milliseconds(1500);
        NBEMainViewFixture::makeView(timings);
    }

    NBEWorkspaceViewModel *viewModel() const { return view->viewModel(); }

    void openTab(const QString &relative)
    {
        NBETest::await(viewModel()->navigation().openFile(url(relative), false));
        ASSERT_TRUE(NBETest::waitUntil([&] {
            return view->sourceEditor() && viewModel()->tabs().activeTab() &&
                   view->sourceEditor()->tabID() == viewModel()->tabs().activeTab()->id;
        }));
    }

    NBECodeTextEdit *textView() const { return view->sourceEditor()->editor()->textView(); }

    QString content() const { return viewModel()->tabs().activeTab()->sourceFile.content(); }

    // Puts `text` in the editor and selects `length` characters at `start`.
    void setTextAndSelect(const QString &text, int start, int length)
    {
        textView()->setPlainText(text);
        ASSERT_TRUE(NBETest::waitUntil([&] { return content() == text; }));
        QTextCursor cursor = textView()->textCursor();
        cursor.setPosition(start);
        cursor.setPosition(start + length, QTextCursor::KeepAnchor);
        textView()->setTextCursor(cursor);
    }

    void selectMode(NBESidebarMode mode)
    {
        QTest::mouseClick(view->sidebar()->pickerButton(mode), Qt::LeftButton);
        ASSERT_EQ(view->sidebar()->mode(), mode);
    }

    std::optional<NBEFileTreeNode> node(const QString &name) const
    {
        const auto &workspace = viewModel()->files().workspace();
        if (!workspace || !workspace->fileTree)
            return std::nullopt;
        for (const NBEFileTreeNode &child : workspace->fileTree->children)
            if (child.name == name)
                return child;
        return std::nullopt;
    }
};

} // namespace

TEST_F(NBEMainViewTest, SwitchingModesRebuildsThePaneAndKeepsTheViewModelsState)
{
    write(QStringLiteral("sub/inner.txt"), "x\n");
    write(QStringLiteral("index.html"), "<p>hi</p>\n");
    makeView();
    ASSERT_NE(view->fileTree(), nullptr);
    ASSERT_TRUE(NBETest::waitUntil([&] { return node(QStringLiteral("sub")).has_value(); }));
    const NBEFileTreeNode folder = *node(QStringLiteral("sub"));
    viewModel()->files().toggleExpanded(folder.id);
    NBEFileTreeWidget *tree = view->fileTree()->treeWidget();
    QTreeWidgetItem *sub = tree->itemForURL(folder.url);
    ASSERT_NE(sub, nullptr);
    ASSERT_TRUE(sub->isExpanded());
    tree->setCurrentItem(sub);

    selectMode(NBESidebarMode::outline);
    EXPECT_EQ(view->fileTree(), nullptr);
    ASSERT_NE(view->outline(), nullptr);
    EXPECT_TRUE(view->outline()->isShowingEmptyState());
    EXPECT_EQ(view->outline()->emptyMessage(),
              QStringLiteral("Open an HTML, CSS, or JavaScript file to see its outline."));
    // Both git panes can be chosen in a folder that is no repository.
    for (const NBESidebarMode mode : {NBESidebarMode::changes, NBESidebarMode::history}) {
        selectMode(mode);
        EXPECT_EQ(view->outline(), nullptr);
        ASSERT_NE(view->sidebar()->pane(), nullptr);
        EXPECT_TRUE(view->sidebar()->pane()->isVisible());
    }

    selectMode(NBESidebarMode::files);
    ASSERT_NE(view->fileTree(), nullptr);
    tree = view->fileTree()->treeWidget();
    sub = tree->itemForURL(folder.url);
    ASSERT_NE(sub, nullptr);
    EXPECT_TRUE(sub->isExpanded()) << "expansion lives in the view model";
    EXPECT_EQ(sub->childCount(), 1);
    EXPECT_EQ(tree->currentItem(), nullptr) << "the old pane's selection went with it";
}

TEST_F(NBEMainViewTest, FormattingToolbarsFollowTheActiveTabAndItsPreview)
{
    write(QStringLiteral("notes.md"), "# Notes\n");
    write(QStringLiteral("page.html"), "<p>hi</p>\n");
    write(QStringLiteral("style.css"), "p { color: red; }\n");
    makeView();
    EXPECT_TRUE(view->isShowingEmptyState());

    const auto shown = [&] {
        return std::pair(view->markdownToolbar()->isVisibleTo(view.get()),
                         view->htmlToolbar()->isVisibleTo(view.get()));
    };
    openTab(QStringLiteral("notes.md"));
    EXPECT_FALSE(view->isShowingEmptyState());
    EXPECT_EQ(shown(), std::pair(true, false));
    viewModel()->toggleActivePreview();
    EXPECT_EQ(shown(), std::pair(false, false)) << "no Markdown formatting over a preview";
    viewModel()->toggleActivePreview();
    EXPECT_EQ(shown(), std::pair(true, false));

    openTab(QStringLiteral("page.html"));
    EXPECT_EQ(shown(), std::pair(false, true));
    viewModel()->toggleActivePreview();
    EXPECT_EQ(shown(), std::pair(false, true)) << "HTML formatting stays beside the preview";

    openTab(QStringLiteral("style.css"));
    EXPECT_EQ(shown(), std::pair(false, false));

    NBETest::await(viewModel()->tabs().closeAllTabs());
    EXPECT_TRUE(view->isShowingEmptyState());
}

TEST_F(NBEMainViewTest, EveryMarkdownButtonAppliesItsActionOnce)
{
    write(QStringLiteral("notes.md"), "alpha beta\n");
    makeView();
    openTab(QStringLiteral("notes.md"));
    QList<NBEMarkdownAction> requested;
    QObject::connect(&viewModel()->tabs(), &NBEWorkspaceTabs::markdownEditRequested, view.get(),
                     [&](const QUuid &, NBEMarkdownAction action) { requested.append(action); });
    const QString base = QStringLiteral("alpha beta\n");
    for (const NBEMarkdownAction action : NBEMarkdownAction::allCases()) {
        SCOPED_TRACE(action.rawValue().toStdString());
        setTextAndSelect(base, 6, 4);
        requested.clear();
        auto *button = view->markdownToolbar()->findChild<NBEToolbarButton *>(action.rawValue());
        ASSERT_NE(button, nullptr);
        QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(1, 1));
        const NBEMarkdownEdit edit = NBEMarkdownEditor::edit(action, base, {6, 4});
        const QString expected =
            QString(base).replace(edit.range.location, edit.range.length, edit.replacement);
        EXPECT_TRUE(NBETest::waitUntil([&] { return content() == expected; }))
            << content().toStdString();
        EXPECT_EQ(requested, QList<NBEMarkdownAction>{action});
    }
    EXPECT_EQ(view->markdownToolbar()->buttons().size(), NBEMarkdownAction::allCases().size());
}

TEST_F(NBEMainViewTest, EveryHTMLButtonAndHeadingApplyTheirActionOnce)
{
    write(QStringLiteral("page.html"), "<p>alpha beta</p>\n");
    makeView();
    openTab(QStringLiteral("page.html"));
    QList<NBEHTMLAction> requested;
    QObject::connect(&viewModel()->tabs(), &NBEWorkspaceTabs::htmlEditRequested, view.get(),
                     [&](const QUuid &, NBEHTMLAction action) { requested.append(action); });
    const QString base = QStringLiteral("<p>alpha beta</p>\n");
    const QList<QAction *> headings = view->htmlToolbar()->headingMenu()->actions();
    ASSERT_EQ(headings.size(), 6);
    EXPECT_EQ(headings.first()->text(), QStringLiteral("Heading 1"));
    for (const NBEHTMLAction action : NBEHTMLAction::allCases()) {
        SCOPED_TRACE(action.rawValue().toStdString());
        setTextAndSelect(base, 9, 4);
        requested.clear();
        const int heading = int(action.value) - int(NBEHTMLAction::heading1);
        if (heading >= 0 && heading < 6) {
            headings.at(heading)->trigger();
        } else {
            auto *button = view->htmlToolbar()->findChild<NBEToolbarButton *>(action.rawValue());
            ASSERT_NE(button, nullptr);
            QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(1, 1));
        }
        const NBEMarkdownEdit edit = NBEHTMLEditor::edit(action, base, {9, 4});
        const QString expected =
            QString(base).replace(edit.range.location, edit.range.length, edit.replacement);
        EXPECT_TRUE(NBETest::waitUntil([&] { return content() == expected; }))
            << content().toStdString();
        EXPECT_EQ(requested, QList<NBEHTMLAction>{action});
    }
}

TEST_F(NBEMainViewTest, OutlineListsTheEnginesSymbolsAndAClickRevealsTheLine)
{
    write(QStringLiteral("page.html"),
          "<html>\n<body>\n  <header>\n    <nav id=\"top\"></nav>\n  </header>\n"
          "  <main>\n    <section class=\"intro\">\n      <h1>Hi</h1>\n    </section>\n"
          "  </main>\n</body>\n</html>\n");
    write(QStringLiteral("style.css"),
          "body { margin: 0; }\n@media (max-width: 600px) {\n  .intro { padding: 0; }\n}\n");
    write(QStringLiteral("app.js"), "class Greeter {\n  greet(name) {\n    return name;\n  }\n}\n\n"
                                    "function main() {\n  new Greeter().greet('x');\n}\n");
    write(QStringLiteral("notes.md"), "# Notes\n");
    makeView();
    selectMode(NBESidebarMode::outline);
    NBEOutlineView *outline = view->outline();

    for (const QString &file :
         {QStringLiteral("page.html"), QStringLiteral("style.css"), QStringLiteral("app.js")}) {
        SCOPED_TRACE(file.toStdString());
        openTab(file);
        const QList<NBESymbol> expected = viewModel()->activeOutline();
        ASSERT_FALSE(expected.isEmpty());
        ASSERT_TRUE(NBETest::waitUntil([&] { return outline->symbols() == expected; }));
        EXPECT_FALSE(outline->isShowingEmptyState());
        EXPECT_EQ(outline->list()->model()->rowCount(), expected.size());
        EXPECT_TRUE(std::any_of(expected.begin(), expected.end(),
                                [](const NBESymbol &s) { return s.depth > 0; }));

        // The deepest symbol's row, clicked anywhere, selects its line in the editor.
        const auto deepest = std::max_element(
            expected.begin(), expected.end(),
            [](const NBESymbol &a, const NBESymbol &b) { return a.depth < b.depth; });
        const int row = int(deepest - expected.begin());
        QListView *list = outline->list();
        list->scrollTo(list->model()->index(row, 0));
        const QRect rect = list->visualRect(list->model()->index(row, 0));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          QPoint(rect.right() - 3, rect.center().y()));
        EXPECT_TRUE(NBETest::waitUntil([&] {
            return textView()->textCursor().blockNumber() == deepest->line - 1 &&
                   textView()->textCursor().hasSelection();
        })) << "line "
            << deepest->line;
    }

    openTab(QStringLiteral("notes.md"));
    ASSERT_TRUE(NBETest::waitUntil([&] { return outline->isShowingEmptyState(); }));
    EXPECT_EQ(outline->emptyMessage(), QStringLiteral("No symbols in this file."));
}

TEST_F(NBEMainViewTest, ALargeFileIsOutlinedOffTheUIThreadAndFollowsEdits)
{
    QByteArray html = "<html>\n<body>\n";
    for (int i = 0; i < 3000; ++i)
        html += "  <section id=\"s" + QByteArray::number(i) + "\"><p>text</p></section>\n";
    html += "</body>\n</html>\n";
    ASSERT_GT(html.size(), NBEOutlineView::inlineLimit);
    write(QStringLiteral("big.html"), html);
    makeView();
    selectMode(NBESidebarMode::outline);
    openTab(QStringLiteral("big.html"));
    NBEOutlineView *outline = view->outline();
    ASSERT_TRUE(NBETest::waitUntil([&] {
        return !outline->isUpdating() && outline->symbols() == viewModel()->activeOutline();
    }));
    const qsizetype before = outline->symbols().size();

    QTextCursor cursor = textView()->textCursor();
    cursor.movePosition(QTextCursor::Start);
    cursor.movePosition(QTextCursor::Down, QTextCursor::MoveAnchor, 2);
    textView()->setTextCursor(cursor);
    textView()->textCursor().insertText(QStringLiteral("<aside></aside>\n"));
    ASSERT_TRUE(NBETest::waitUntil(
        [&] { return !outline->isUpdating() && outline->symbols().size() == before + 1; }));
    EXPECT_EQ(outline->symbols(), viewModel()->activeOutline());
}

// While a long file is taken in, its start stands in for the editor, in the
// editor's place, and leaves as the editor comes.
TEST_F(NBEMainViewTest, ALongFilesStartShowsUntilItsEditorComes)
{
    const QByteArray line = "<p>a line of the page</p>\n";
    write(QStringLiteral("long.html"), line.repeated(64 * 1024));
    write(QStringLiteral("other.html"), line.repeated(48 * 1024));
    makeView();
    ASSERT_TRUE(view->isShowingEmptyState());
    int shown = 0;
    QObject::connect(&viewModel()->tabs(), &NBEWorkspaceTabs::openingChanged, [&] {
        auto *opening = view->findChild<NBEOpeningView *>();
        if (!viewModel()->tabs().opening()) {
            EXPECT_EQ(opening, nullptr);
            return;
        }
        ++shown;
        ASSERT_NE(opening, nullptr);
        EXPECT_TRUE(opening->isVisibleTo(view.get()));
        EXPECT_TRUE(opening->isReadOnly());
        EXPECT_EQ(opening->toPlainText(), viewModel()->tabs().opening()->start);
        EXPECT_FALSE(view->isShowingEmptyState());
        // The tab shown before waits behind it.
        EXPECT_FALSE(view->sourceEditor() && view->sourceEditor()->isVisibleTo(view.get()));
    });
    // From the empty state, then from another tab's editor.
    for (const QString &name : {QStringLiteral("long.html"), QStringLiteral("other.html")}) {
        openTab(name);
        EXPECT_EQ(view->findChild<NBEOpeningView *>(), nullptr) << name.toStdString();
        EXPECT_TRUE(view->sourceEditor()->isVisibleTo(view.get())) << name.toStdString();
        EXPECT_EQ(content(), QString::fromLatin1(read(name))) << name.toStdString();
    }
    EXPECT_EQ(shown, 2);
}

TEST_F(NBEMainViewTest, ToolbarItemsComeAndGoWithTheirConditions)
{
    write(QStringLiteral("notes.md"), "# Notes\n");
    write(QStringLiteral("style.css"), "p {}\n");
    NBETest::git(root, {QStringLiteral("init"), QStringLiteral("-q"), QStringLiteral("-b"),
                        QStringLiteral("main")});
    NBETest::git(root, {QStringLiteral("add"), QStringLiteral(".")});
    NBETest::git(root, {QStringLiteral("commit"), QStringLiteral("-qm"), QStringLiteral("first")});
    makeView();
    QMenu projectMenu;
    NBEWindowToolbar toolbar({viewModel()->files(), viewModel()->tabs(), viewModel()->gitState(),
                              viewModel()->workspaceGit()},
                             &projectMenu);
    toolbar.resize(900, 40);
    toolbar.show();
    ASSERT_TRUE(NBETest::waitUntil([&] { return viewModel()->gitState().isRepository(); }));
    EXPECT_EQ(toolbar.projectButton()->text(), QStringLiteral("site"));

    auto *branch = new QLabel(QStringLiteral("main"));
    toolbar.setBranchMenu(branch);
    EXPECT_TRUE(NBETest::waitUntil([&] { return branch->isVisibleTo(&toolbar); }));
    auto *preview = new QToolButton;
    toolbar.setPreviewToggle(preview);
    const auto previewShown = [&](bool shown) {
        return NBETest::waitUntil([&] { return preview->isVisibleTo(&toolbar) == shown; });
    };
    EXPECT_TRUE(previewShown(false)) << "no active tab";
    openTab(QStringLiteral("notes.md"));
    EXPECT_TRUE(previewShown(true));
    openTab(QStringLiteral("style.css"));
    EXPECT_TRUE(previewShown(false));

    EXPECT_FALSE(toolbar.isShowingSyncStatus());
    NBETest::await(viewModel()->workspaceGit().createBranch(QStringLiteral("feature")));
    ASSERT_TRUE(NBETest::waitUntil([&] { return toolbar.isShowingSyncStatus(); }));
    EXPECT_EQ(toolbar.syncStatusText()->text(), QStringLiteral("Created branch feature"));
    EXPECT_TRUE(
        NBETest::waitUntil([&] { return toolbar.syncStatusItem()->isVisibleTo(&toolbar); }));
    EXPECT_TRUE(NBETest::waitUntil([&] { return !toolbar.isShowingSyncStatus(); }));
}

// The preview toggle comes and goes with the tab, and the toolbar keeps its
// height, so the file tree and tabs below it stay where the pointer is.
TEST_F(NBEMainViewTest, TheToolbarKeepsItsHeightWhenThePreviewToggleHides)
{
    write(QStringLiteral("notes.md"), "# Notes\n");
    write(QStringLiteral("style.css"), "p {}\n");
    makeView();
    QMenu projectMenu;
    NBEWindowToolbar toolbar({viewModel()->files(), viewModel()->tabs(), viewModel()->gitState(),
                              viewModel()->workspaceGit()},
                             &projectMenu);
    auto *toggle = new NBEPreviewToggle(viewModel()->tabs());
    toolbar.setPreviewToggle(toggle);
    toolbar.show();
    const int empty = toolbar.sizeHint().height();
    openTab(QStringLiteral("notes.md"));
    ASSERT_TRUE(NBETest::waitUntil([&] { return toggle->isVisibleTo(&toolbar); }));
    EXPECT_EQ(toolbar.sizeHint().height(), empty);
    EXPECT_GE(toolbar.sizeHint().height(), toggle->sizeHint().height());
    openTab(QStringLiteral("style.css"));
    ASSERT_TRUE(NBETest::waitUntil([&] { return !toggle->isVisibleTo(&toolbar); }));
    EXPECT_EQ(toolbar.sizeHint().height(), empty);
}

TEST_F(NBEMainViewTest, PreferencesReachTheOpenEditorAtOnce)
{
    write(QStringLiteral("style.css"), "p {}\n");
    makeView();
    openTab(QStringLiteral("style.css"));
    preferences->setTabSize(2);
    preferences->setFontSize(20);
    EXPECT_TRUE(NBETest::waitUntil([&] { return textView()->font().pointSizeF() == 20.0; }));
    preferences->setAppearance(QStringLiteral("dark"));
    EXPECT_TRUE(NBETest::waitUntil([&] {
        return view->sourceEditor()->editor()->coordinator()->currentThemeID() ==
               NBEDefaultThemes::dark().id;
    }));
    QTextCursor cursor = textView()->textCursor();
    cursor.movePosition(QTextCursor::End);
    textView()->setTextCursor(cursor);
    QTest::keyClick(textView(), Qt::Key_Tab);
    EXPECT_TRUE(NBETest::waitUntil([&] { return content() == QStringLiteral("p {}\n  "); }))
        << content().toStdString();
}

// Coming back to a tab, the editor's caret is where the tab left it, in
// view, and the return itself tells the view model nothing.
TEST_F(NBEMainViewTest, ATabShownAgainHasItsCaretBackInView)
{
    QString page;
    for (int line = 1; line <= 120; ++line)
        page += QStringLiteral("<p>line %1</p>\n").arg(line);
    write(QStringLiteral("index.html"), page.toUtf8());
    write(QStringLiteral("app.js"), "let a = 1;\n");
    makeView();
    openTab(QStringLiteral("index.html"));
    const QUuid pageID = viewModel()->tabs().activeTab()->id;
    EXPECT_EQ(textView()->textCursor().position(), 0) << "a new tab starts at its top";
    QTextCursor cursor(textView()->document()->findBlockByNumber(99));
    cursor.movePosition(QTextCursor::Right, QTextCursor::MoveAnchor, 6);
    textView()->setTextCursor(cursor);
    const NBECursorPosition left{100, 7};
    ASSERT_EQ(viewModel()->tabs().document(pageID)->caret(), left);

    int reports = 0;
    QObject::connect(&viewModel()->tabs(), &NBEWorkspaceTabs::cursorPositionChanged,
                     [&](const QUuid &tab) { reports += tab == pageID; });
    openTab(QStringLiteral("app.js"));
    viewModel()->navigation().activateTab(pageID);
    ASSERT_TRUE(NBETest::waitUntil([&] { return view->sourceEditor()->tabID() == pageID; }));
    const QTextCursor caret = textView()->textCursor();
    EXPECT_EQ(caret.blockNumber(), 99);
    EXPECT_EQ(caret.positionInBlock(), 6);
    EXPECT_TRUE(NBETest::waitUntil(
        [&] { return textView()->viewport()->rect().contains(textView()->cursorRect()); }));
    EXPECT_EQ(viewModel()->tabs().document(pageID)->caret(), left);
    EXPECT_EQ(reports, 0);
    EXPECT_FALSE(viewModel()->tab(pageID)->sourceFile.isDirty());

    // Later renders of the same tab leave a moved caret alone.
    QTest::keyClick(textView(), Qt::Key_Right);
    view->sourceEditor()->render();
    QCoreApplication::processEvents();
    EXPECT_EQ(textView()->textCursor().positionInBlock(), 7);
    EXPECT_EQ(viewModel()->tabs().document(pageID)->caret(), (NBECursorPosition{100, 8}));
}

// Coming back to a tab finds its selection and its scroll position as they
// were left, also when the caret was scrolled out of view; a text changed
// meanwhile gets only its caret back.
TEST_F(NBEMainViewTest, ATabShownAgainKeepsItsSelectionAndScrollPosition)
{
    // A busy machine: every core has work besides the window's.
    std::atomic<bool> busy = true;
    std::vector<std::jthread> load;
    for (unsigned core = 0; core < std::max(2u, std::thread::hardware_concurrency()); ++core)
        load.emplace_back([&busy] {
            volatile unsigned long spin = 0;
            while (busy.load(std::memory_order_relaxed))
                spin = spin + 1;
        });
    const auto idle = qScopeGuard([&] { busy = false; });
    QString page;
    for (int line = 1; line <= 300; ++line)
        page += QStringLiteral("<p>line %1</p>\n").arg(line);
    write(QStringLiteral("index.html"), page.toUtf8());
    write(QStringLiteral("app.js"), "let a = 1;\n");
    makeView();
    openTab(QStringLiteral("index.html"));
    const QUuid pageID = viewModel()->tabs().activeTab()->id;
    QTextCursor cursor(textView()->document()->findBlockByNumber(40));
    cursor.movePosition(QTextCursor::Down, QTextCursor::KeepAnchor, 2);
    textView()->setTextCursor(cursor);
    const int anchor = cursor.anchor();
    const int position = cursor.position();
    ASSERT_TRUE(
        NBETest::waitUntil([&] { return textView()->verticalScrollBar()->maximum() > 200; }));
    // Read further down with the wheel: the caret stays behind.
    textView()->verticalScrollBar()->setValue(200);

    const auto comeBack = [&] {
        openTab(QStringLiteral("app.js"));
        viewModel()->navigation().activateTab(pageID);
        ASSERT_TRUE(NBETest::waitUntil([&] { return view->sourceEditor()->tabID() == pageID; }));
        QCoreApplication::processEvents();
    };
    comeBack();
    EXPECT_EQ(textView()->textCursor().anchor(), anchor);
    EXPECT_EQ(textView()->textCursor().position(), position);
    EXPECT_TRUE(NBETest::waitUntil([&] { return textView()->verticalScrollBar()->value() == 200; }))
        << textView()->verticalScrollBar()->value();

    // Reloaded while another tab showed: the caret by line and column.
    openTab(QStringLiteral("app.js"));
    viewModel()->tabs().updateContent(QStringLiteral("<p>new</p>\n") + page, pageID);
    viewModel()->navigation().activateTab(pageID);
    ASSERT_TRUE(NBETest::waitUntil([&] { return view->sourceEditor()->tabID() == pageID; }));
    const QTextCursor caret = textView()->textCursor();
    EXPECT_FALSE(caret.hasSelection());
    EXPECT_EQ(caret.blockNumber(), 42);
    EXPECT_TRUE(NBETest::waitUntil(
        [&] { return textView()->viewport()->rect().contains(textView()->cursorRect()); }));
}

// An issue chosen on a line far wider than the view (a minified file): the
// caret goes to the issue and its range is selected, not the whole line, and
// the view shows it. On an ordinary line the line is selected as before.
TEST_F(NBEMainViewTest, RevealingAnIssueOnAWideLineSelectsTheIssueItself)
{
    QString rules;
    while (rules.size() < 60000)
        rules += QStringLiteral(".c%1{color:red}").arg(rules.size());
    write(QStringLiteral("site.min.css"), rules.toUtf8());
    write(QStringLiteral("short.css"), "a {}\nb { color: blue; }\n");
    makeView();
    openTab(QStringLiteral("short.css"));
    // What the editor of `file` selects, in the text's offsets.
    const auto chosen = [&](const QString &file) -> std::optional<NBETextRange> {
        const auto active = viewModel()->tabs().activeTab();
        if (!active || active->sourceFile.url != url(file) || !view->sourceEditor() ||
            view->sourceEditor()->tabID() != active->id)
            return std::nullopt;
        const QTextCursor cursor = textView()->textCursor();
        const int start = textView()->textGeometry().toText(cursor.selectionStart());
        return NBETextRange{start,
                            textView()->textGeometry().toText(cursor.selectionEnd()) - start};
    };
    const NBERevealRange issue{{1, 36141}, {1, 36150}};
    viewModel()->navigation().revealLine(url(QStringLiteral("site.min.css")), 1, issue);
    EXPECT_TRUE(NBETest::waitUntil([&] {
        return chosen(QStringLiteral("site.min.css")) == NBETextRange{36140, 9};
    })) << chosen(QStringLiteral("site.min.css")).value_or(NBETextRange{}).length;
    EXPECT_EQ(textView()->textGeometry().toText(textView()->textCursor().position()), 36140);
    EXPECT_TRUE(NBETest::waitUntil(
        [&] { return textView()->viewport()->rect().contains(textView()->cursorRect()); }));

    viewModel()->navigation().revealLine(url(QStringLiteral("short.css")), 2,
                                         NBERevealRange{{2, 5}, {2, 10}});
    EXPECT_TRUE(NBETest::waitUntil([&] {
        return chosen(QStringLiteral("short.css")) == NBETextRange{5, 18};
    }));
}

// An error about a file with a very long name keeps the alert readable: the
// name is elided in its middle and the whole message is in the tooltip.
TEST_F(NBEMainViewTest, AnErrorWithALongNameElidesIt)
{
    makeView();
    const QString name = QString(200, u'n') + QStringLiteral(".html");
    // A file that isn't there can't be renamed.
    viewModel()->files().renameItem(url(name), QStringLiteral("other.html"));
    ASSERT_TRUE(NBETest::waitUntil([&] { return view->errorAlert() != nullptr; }));
    const QString message = *viewModel()->errorMessage();
    ASSERT_TRUE(message.contains(name)) << message.toStdString();
    const QString shown = view->errorAlert()->text();
    EXPECT_FALSE(shown.contains(name));
    EXPECT_TRUE(shown.contains(QChar(0x2026)));
    EXPECT_LT(shown.size(), message.size() - 100);
    EXPECT_EQ(view->errorAlert()->toolTip(), message);
    EXPECT_EQ(NBEWidgetDesktop::elidedNames(QStringLiteral("Short a.css name.")),
              QStringLiteral("Short a.css name."));
}

// Closing a window whose editor has shown its completion panel: the editor
// takes the panel (a child of the window) with it, and nothing is left to
// delete twice (a second delete fails the run under the sanitizers).
TEST_F(NBEMainViewTest, AWindowClosesAfterItsEditorShowedCompletion)
{
    write(QStringLiteral("index.html"), "<body>\n\n</body>\n");
    makeView();
    openTab(QStringLiteral("index.html"));
    QTextCursor cursor(textView()->document()->findBlockByNumber(1));
    textView()->setTextCursor(cursor);
    textView()->setFocus();
    QTest::keyClicks(textView(), QStringLiteral("<di"));
    ASSERT_TRUE(NBETest::waitUntil([&] {
        const auto panels = view->findChildren<NBECompletionList *>();
        return !panels.isEmpty() && panels.first()->isVisible() &&
               view->rect().intersects(panels.first()->geometry());
    }));
    view.reset();
}
