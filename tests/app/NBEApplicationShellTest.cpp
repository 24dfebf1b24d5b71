#include "NBEApplicationShell.h"
#include "NBECodeTextEdit.h"
#include "NBEFileTreeView.h"
#include "NBEMainView.h"
#include "NBERecoveredEdits.h"
#include "NBESourceEditor.h"
#include "NBETabBar.h"
#include "NBETabStrip.h"
#include "NBETestSupport.h"
#include "NBETextEditorView.h"
#include "NBEWindowOpener.h"
#include "NBEWorkspaceViewModel.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDrag>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <gtest/gtest.h>

#include <csignal>

namespace {

QUrl fileURL(const QTemporaryDir &dir, const QString &name)
{
    return QUrl::fromLocalFile(QDir::cleanPath(dir.filePath(name)));
}

bool loaded(NBEProjectWindow *window)
{
    return NBETest::waitUntil([&] { return window->mainView()->viewModel()->files().isOpen(); });
}

// The folder's window, loaded and active (so focus and keys work); null when
// it didn't get there.
NBEProjectWindow *openActive(NBEApplicationShell &shell, const QTemporaryDir &dir)
{
    NBEProjectWindow *window = shell.openProject(QUrl::fromLocalFile(QDir::cleanPath(dir.path())));
    if (!loaded(window))
        return nullptr;
    window->activateWindow();
    return QTest::qWaitForWindowActive(window) ? window : nullptr;
}

} // namespace

TEST(NBEApplicationShell, FileQueuedBeforeTheWindowOpensAfterTheLoad)
{
    QTemporaryDir dir;
    NBETest::writeFile(dir.filePath(QStringLiteral("index.html")), "<p>hi</p>\n");
    NBETest::writeFile(dir.filePath(QStringLiteral("style.css")), "p { color: red; }\n");
    // Arrives before any window can take it.
    NBEWindowOpener::shared().open(fileURL(dir, QStringLiteral("index.html")));

    NBEApplicationShell shell;
    ASSERT_EQ(shell.projectWindows().size(), 1);
    NBEProjectWindow *window = shell.projectWindows().first();
    EXPECT_EQ(window->size(), NBEProjectWindow::defaultSize);
    ASSERT_TRUE(loaded(window));
    NBEWorkspaceViewModel *viewModel = window->mainView()->viewModel();
    ASSERT_TRUE(NBETest::waitUntil([&] { return viewModel->tabs().activeTab().has_value(); }));
    EXPECT_EQ(viewModel->tabs().activeTab()->sourceFile.url,
              fileURL(dir, QStringLiteral("index.html")));
    EXPECT_FALSE(viewModel->tabs().activeTab()->isEphemeral);

    // The editor shows the tab's text; the tree marks the active file.
    NBEMainView *main = window->mainView();
    ASSERT_TRUE(NBETest::waitUntil([&] { return main->sourceEditor() != nullptr; }));
    EXPECT_FALSE(main->isShowingEmptyState());
    EXPECT_EQ(main->sourceEditor()->editor()->textView()->toPlainText(),
              QStringLiteral("<p>hi</p>\n"));
    EXPECT_EQ(main->fileTree()->activeFile(), fileURL(dir, QStringLiteral("index.html")));

    // A second file for the same folder goes to the same window, for good.
    NBEWindowOpener::shared().open(fileURL(dir, QStringLiteral("style.css")));
    ASSERT_TRUE(NBETest::waitUntil([&] { return viewModel->tabs().tabs().size() == 2; }));
    EXPECT_EQ(shell.projectWindows().size(), 1);
    EXPECT_EQ(main->tabBar()->strip()->tabs().size(), 2);

    // Typing in the editor reaches the view model's buffer.
    ASSERT_TRUE(NBETest::waitUntil([&] {
        return main->sourceEditor() &&
               main->sourceEditor()->tabID() == viewModel->tabs().activeTab()->id;
    }));
    QTest::keyClicks(main->sourceEditor()->editor()->textView(), QStringLiteral("a"));
    EXPECT_TRUE(viewModel->tabs().activeTab()->sourceFile.isDirty());
    EXPECT_EQ(viewModel->tabs().activeTab()->sourceFile.content(),
              QStringLiteral("ap { color: red; }\n"));

    // Save (the menu command) writes the buffer and the tab is clean again.
    QAction *save = nullptr;
    for (QAction *action : window->findChildren<QAction *>())
        if (action->text() == QStringLiteral("Save"))
            save = action;
    ASSERT_NE(save, nullptr);
    EXPECT_EQ(save->shortcut(), QKeySequence(QKeySequence::Save));
    save->trigger();
    ASSERT_TRUE(
        NBETest::waitUntil([&] { return !viewModel->tabs().activeTab()->sourceFile.isDirty(); }));
    EXPECT_EQ(NBETest::readFile(dir.filePath(QStringLiteral("style.css"))),
              QByteArray("ap { color: red; }\n"));

    // Opening the same folder again brings its window forward.
    EXPECT_EQ(shell.openProject(QUrl::fromLocalFile(QDir::cleanPath(dir.path()))), window);
    EXPECT_EQ(shell.projectWindows().size(), 1);
}

TEST(NBEApplicationShell, CloseFolderShowsTheWelcomeWindow)
{
    QTemporaryDir dir;
    NBETest::writeFile(dir.filePath(QStringLiteral("a.txt")), "a");
    NBEApplicationShell shell;
    QPointer<NBEProjectWindow> window =
        shell.openProject(QUrl::fromLocalFile(QDir::cleanPath(dir.path())));
    ASSERT_TRUE(loaded(window));
    EXPECT_TRUE(window->mainView()->isShowingEmptyState());
    window->mainView()->viewModel()->closeWorkspace();
    ASSERT_TRUE(NBETest::waitUntil([&] { return window.isNull(); }));
    ASSERT_NE(shell.welcomeWindow(), nullptr);
    EXPECT_TRUE(shell.welcomeWindow()->isVisible());
    // The closed folder is offered among the recent projects.
    ASSERT_GE(shell.welcomeWindow()->recentList()->count(), 1);
    EXPECT_EQ(shell.welcomeWindow()->recentList()->item(0)->text(), QDir(dir.path()).dirName());
}

TEST(NBEApplicationShell, AnErrorShowsTheAlertOnceAndOKClearsIt)
{
    QTemporaryDir dir;
    NBETest::writeFile(dir.filePath(QStringLiteral("bad.txt")), QByteArray("\xff\xfe\x80", 3));
    NBETest::writeFile(dir.filePath(QStringLiteral("bad2.txt")), QByteArray("\xc3\x28", 2));
    NBEApplicationShell shell;
    NBEProjectWindow *window = shell.openProject(QUrl::fromLocalFile(QDir::cleanPath(dir.path())));
    ASSERT_TRUE(loaded(window));
    NBEWorkspaceViewModel *viewModel = window->mainView()->viewModel();
    viewModel->navigation().openFile(fileURL(dir, QStringLiteral("bad.txt")), true);
    ASSERT_TRUE(NBETest::waitUntil([&] { return window->mainView()->errorAlert() != nullptr; }));
    QMessageBox *alert = window->mainView()->errorAlert();
    EXPECT_EQ(alert->windowTitle(), QStringLiteral("Error"));
    EXPECT_TRUE(alert->text().startsWith(QStringLiteral("Failed to read file: ")));

    // A second error while it shows replaces the text of the same alert.
    viewModel->navigation().openFile(fileURL(dir, QStringLiteral("bad2.txt")), true);
    ASSERT_TRUE(NBETest::waitUntil([&] { return alert->text().contains(u"bad2"); }));
    EXPECT_EQ(window->mainView()->errorAlert(), alert);
    EXPECT_EQ(window->findChildren<QMessageBox *>().size(), 1);

    alert->button(QMessageBox::Ok)->click();
    ASSERT_TRUE(NBETest::waitUntil([&] { return !viewModel->errorMessage().has_value(); }));
}

TEST(NBEApplicationShell, FileTreeDropsAndMenusChangeTheDisk)
{
    QTemporaryDir dir;
    NBETest::writeFile(dir.filePath(QStringLiteral("docs/readme.md")), "r");
    NBETest::writeFile(dir.filePath(QStringLiteral("page.html")), "<p>page</p>\n");
    NBEApplicationShell shell;
    NBEProjectWindow *window = shell.openProject(QUrl::fromLocalFile(QDir::cleanPath(dir.path())));
    ASSERT_TRUE(loaded(window));
    NBEWorkspaceViewModel *viewModel = window->mainView()->viewModel();
    NBEFileTreeView *tree = window->mainView()->fileTree();
    NBEFileTreeWidget *list = tree->treeWidget();
    viewModel->navigation().openFile(fileURL(dir, QStringLiteral("page.html")), false);
    ASSERT_TRUE(NBETest::waitUntil([&] { return viewModel->tabs().activeTab().has_value(); }));

    // Clicking the folder opens it through the view model's tree.
    QTreeWidgetItem *docs = list->topLevelItem(0);
    ASSERT_EQ(docs->text(0), QStringLiteral("docs"));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(docs).center());
    ASSERT_TRUE(NBETest::waitUntil(
        [&] { return viewModel->files().workspace()->fileTree->children[0].isExpanded; }));
    EXPECT_TRUE(list->topLevelItem(0)->isExpanded());

    // The file dropped onto the folder moves there on disk; its tab follows.
    QMimeData data;
    data.setUrls({fileURL(dir, QStringLiteral("page.html"))});
    const QPoint onFolder = list->visualItemRect(list->topLevelItem(0)).center();
    QDragEnterEvent enter(onFolder, Qt::MoveAction | Qt::CopyAction, &data, Qt::LeftButton, {});
    QCoreApplication::sendEvent(list->viewport(), &enter);
    QDropEvent drop(onFolder, Qt::MoveAction | Qt::CopyAction, &data, Qt::LeftButton, {});
    QCoreApplication::sendEvent(list->viewport(), &drop);
    EXPECT_TRUE(drop.isAccepted());
    ASSERT_TRUE(NBETest::waitUntil(
        [&] { return QFileInfo::exists(dir.filePath(QStringLiteral("docs/page.html"))); }));
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("page.html"))));
    ASSERT_TRUE(NBETest::waitUntil([&] {
        return viewModel->tabs().activeTab()->sourceFile.url ==
               fileURL(dir, QStringLiteral("docs/page.html"));
    }));
    // The rebuilt tree shows it inside the (again closed) folder.
    ASSERT_TRUE(NBETest::waitUntil([&] { return list->topLevelItemCount() == 1; }));
    EXPECT_EQ(list->topLevelItem(0)->childCount(), 2);

    // The menu commands: new file, rename, delete.
    tree->askName = [](const QString &, const QString &, const QString &) {
        return std::optional<QString>(QStringLiteral("new.css"));
    };
    tree->newFile(fileURL(dir, QStringLiteral("docs")));
    ASSERT_TRUE(NBETest::waitUntil(
        [&] { return QFileInfo::exists(dir.filePath(QStringLiteral("docs/new.css"))); }));
    tree->askName = [](const QString &, const QString &, const QString &) {
        return std::optional<QString>(QStringLiteral("renamed.md"));
    };
    tree->rename(fileURL(dir, QStringLiteral("docs/readme.md")), QStringLiteral("readme.md"));
    ASSERT_TRUE(NBETest::waitUntil(
        [&] { return QFileInfo::exists(dir.filePath(QStringLiteral("docs/renamed.md"))); }));
    tree->delete_(fileURL(dir, QStringLiteral("docs/new.css")));
    ASSERT_TRUE(NBETest::waitUntil(
        [&] { return !QFileInfo::exists(dir.filePath(QStringLiteral("docs/new.css"))); }));
    EXPECT_FALSE(viewModel->errorMessage().has_value());
}

TEST(NBEApplicationShell, FormatMenuBoldWrapsTheMarkdownSelection)
{
    QTemporaryDir dir;
    NBETest::writeFile(dir.filePath(QStringLiteral("notes.md")), "word\n");
    NBETest::writeFile(dir.filePath(QStringLiteral("app.js")), "x\n");
    NBEApplicationShell shell;
    NBEProjectWindow *window = shell.openProject(QUrl::fromLocalFile(QDir::cleanPath(dir.path())));
    ASSERT_TRUE(loaded(window));
    NBEWorkspaceViewModel *viewModel = window->mainView()->viewModel();
    QHash<QString, QAction *> actions;
    for (QAction *action : window->findChildren<QAction *>())
        actions.insert(action->text(), action);
    for (const char *name :
         {"Bold", "Italic", "Insert Link", "Format Document", "Toggle Preview", "Export as HTML…"})
        ASSERT_TRUE(actions.contains(QString::fromUtf8(name))) << name;
    EXPECT_EQ(actions[QStringLiteral("Bold")]->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_B));
    EXPECT_EQ(actions[QStringLiteral("Toggle Preview")]->shortcut(),
              QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_P));

    // A script tab offers none of the Markdown or preview commands.
    NBETest::await(viewModel->navigation().openFile(fileURL(dir, QStringLiteral("app.js")), false));
    EXPECT_FALSE(actions[QStringLiteral("Bold")]->isEnabled());
    EXPECT_FALSE(actions[QStringLiteral("Toggle Preview")]->isEnabled());
    EXPECT_FALSE(actions[QStringLiteral("Export as HTML…")]->isEnabled());
    EXPECT_FALSE(actions[QStringLiteral("Format Document")]->isEnabled());
    // The toolbar's preview toggle is there only for a previewable tab.
    auto *toggle = window->findChild<QToolButton *>(QStringLiteral("previewToggle"));
    ASSERT_TRUE(toggle);
    QAction *toggleItem = nullptr;
    for (QToolBar *toolbar : window->findChildren<QToolBar *>()) {
        if (QWidget *widget = toolbar->widgetForAction(toolbar->actions().last()); widget == toggle)
            toggleItem = toolbar->actions().last();
    }
    ASSERT_TRUE(toggleItem);
    EXPECT_FALSE(toggleItem->isVisible());

    NBETest::await(
        viewModel->navigation().openFile(fileURL(dir, QStringLiteral("notes.md")), false));
    EXPECT_TRUE(actions[QStringLiteral("Bold")]->isEnabled());
    EXPECT_TRUE(actions[QStringLiteral("Toggle Preview")]->isEnabled());
    EXPECT_TRUE(actions[QStringLiteral("Export as HTML…")]->isEnabled());
    EXPECT_TRUE(toggleItem->isVisible());
    NBEMainView *main = window->mainView();
    ASSERT_TRUE(NBETest::waitUntil([&] {
        return main->sourceEditor() &&
               main->sourceEditor()->tabID() == viewModel->tabs().activeTab()->id;
    }));
    NBECodeTextEdit *text = main->sourceEditor()->editor()->textView();
    QTextCursor cursor = text->textCursor();
    cursor.setPosition(0);
    cursor.setPosition(4, QTextCursor::KeepAnchor);
    text->setTextCursor(cursor);

    actions[QStringLiteral("Bold")]->trigger();
    ASSERT_TRUE(NBETest::waitUntil([&] {
        return viewModel->tabs().activeTab()->sourceFile.content() == QStringLiteral("**word**\n");
    }));
    // Applied once.
    QTest::qWait(50);
    EXPECT_EQ(viewModel->tabs().activeTab()->sourceFile.content(), QStringLiteral("**word**\n"));

    // The shortcuts work while typing in the editor, including the keys a
    // plain text field would otherwise keep for itself.
    window->show();
    window->activateWindow();
    text->setFocus();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    cursor = text->textCursor();
    cursor.setPosition(2);
    cursor.setPosition(6, QTextCursor::KeepAnchor);
    text->setTextCursor(cursor);
    QTest::keyClick(text, Qt::Key_I, Qt::ControlModifier);
    EXPECT_TRUE(NBETest::waitUntil([&] {
        return viewModel->tabs().activeTab()->sourceFile.content() ==
               QStringLiteral("***word***\n");
    })) << viewModel->tabs().activeTab()->sourceFile.content().toStdString();
    QTest::keyClick(text, Qt::Key_K, Qt::ControlModifier);
    EXPECT_TRUE(NBETest::waitUntil([&] {
        return viewModel->tabs().activeTab()->sourceFile.content().contains(u'[');
    })) << viewModel->tabs().activeTab()->sourceFile.content().toStdString();

    // In the preview the Markdown commands are off.
    actions[QStringLiteral("Toggle Preview")]->trigger();
    EXPECT_TRUE(viewModel->tabs().activeTab()->isShowingPreview);
    EXPECT_FALSE(actions[QStringLiteral("Bold")]->isEnabled());
}

// The tree and the editor share the keys as a user expects: one click shows a
// preview and leaves the keys with the tree, a double click hands them to the
// editor. A press and a move start a drag of the file.
TEST(NBEApplicationShell, TreeClicksGiveFocusAndDragsStart)
{
    QTemporaryDir dir;
    NBETest::writeFile(dir.filePath(QStringLiteral("docs/readme.md")), "r");
    NBETest::writeFile(dir.filePath(QStringLiteral("page.html")), "<p>page</p>\n");
    NBEApplicationShell shell;
    NBEProjectWindow *window = openActive(shell, dir);
    ASSERT_TRUE(window);
    NBEWorkspaceViewModel *viewModel = window->mainView()->viewModel();
    NBEFileTreeWidget *list = window->mainView()->fileTree()->treeWidget();
    ASSERT_TRUE(NBETest::waitUntil([&] { return list->topLevelItemCount() == 2; }));
    QTreeWidgetItem *page = list->topLevelItem(1);
    ASSERT_EQ(page->text(0), QStringLiteral("page.html"));
    const QPoint onPage = list->visualItemRect(page).center();
    const auto focusIn = [](const QWidget *widget) {
        return widget && widget->isAncestorOf(QApplication::focusWidget());
    };

    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, onPage);
    ASSERT_TRUE(NBETest::waitUntil([&] { return window->mainView()->sourceEditor(); }));
    QCoreApplication::processEvents();
    EXPECT_TRUE(viewModel->tabs().activeTab()->isEphemeral);
    EXPECT_TRUE(list == QApplication::focusWidget() || focusIn(list));
    EXPECT_FALSE(focusIn(window->mainView()->sourceEditor()));

    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, onPage);
    ASSERT_TRUE(NBETest::waitUntil([&] { return !viewModel->tabs().activeTab()->isEphemeral; }));
    ASSERT_TRUE(NBETest::waitUntil([&] { return focusIn(window->mainView()->sourceEditor()); }));
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("x"));
    EXPECT_TRUE(viewModel->tabs().activeTab()->sourceFile.content().startsWith(u'x'));

    // A drag from the file's row (the list has no selection to drag from).
    const QPoint onDocs = list->visualItemRect(list->topLevelItem(0)).center();
    QTest::mousePress(list->viewport(), Qt::LeftButton, {}, onPage);
    QTimer::singleShot(0, list, [&] {
        QTest::mouseMove(list->viewport(), onDocs);
        QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, onDocs);
    });
    QTest::mouseMove(list->viewport(), onPage + QPoint(0, -2 * QApplication::startDragDistance()));
    const QList<QDrag *> drags = list->findChildren<QDrag *>();
    ASSERT_EQ(drags.size(), 1);
    // The offscreen platform delivers no drop; what a folder does with one
    // is FileTreeDropsAndMenusChangeTheDisk's.
    EXPECT_EQ(drags[0]->mimeData()->urls(), QList<QUrl>{fileURL(dir, QStringLiteral("page.html"))});
}

// A switch between the system's light and dark looks reaches the open editor.
TEST(NBEApplicationShell, TheEditorFollowsThePalette)
{
    QTemporaryDir dir;
    NBETest::writeFile(dir.filePath(QStringLiteral("page.html")), "<p>page</p>\n");
    NBEApplicationShell shell;
    NBEProjectWindow *window = shell.openProject(QUrl::fromLocalFile(QDir::cleanPath(dir.path())));
    ASSERT_TRUE(loaded(window));
    window->mainView()->viewModel()->navigation().openFile(
        fileURL(dir, QStringLiteral("page.html")), false);
    ASSERT_TRUE(NBETest::waitUntil([&] { return window->mainView()->sourceEditor(); }));
    const auto background = [&] {
        NBESourceEditor *editor = window->mainView()->sourceEditor();
        editor->render();
        return editor->editor()->textView()->colors().background;
    };
    const QPalette original = QApplication::palette();
    QPalette dark = original;
    dark.setColor(QPalette::Window, QColor(30, 30, 30));
    dark.setColor(QPalette::WindowText, Qt::white);
    QApplication::setPalette(dark);
    EXPECT_TRUE(NBETest::waitUntil([&] { return background().lightness() < 128; }));
    QApplication::setPalette(original);
    EXPECT_TRUE(NBETest::waitUntil([&] { return background().lightness() >= 128; }));
}

// Keys typed right after a double click on a large file wait for its editor
// and are typed there, not lost in the tree.
TEST(NBEApplicationShell, KeysTypedWhileALargeFileOpensGoIntoIt)
{
    QTemporaryDir dir;
    QByteArray large;
    while (large.size() < 3 * 1024 * 1024)
        large += "a line of a large file, long enough to fill it up quickly\n";
    NBETest::writeFile(dir.filePath(QStringLiteral("large.txt")), large);
    NBEApplicationShell shell;
    NBEProjectWindow *window = openActive(shell, dir);
    ASSERT_TRUE(window);
    NBEWorkspaceViewModel *viewModel = window->mainView()->viewModel();
    NBEFileTreeWidget *list = window->mainView()->fileTree()->treeWidget();
    ASSERT_TRUE(NBETest::waitUntil([&] { return list->topLevelItemCount() == 1; }));
    const QPoint onFile = list->visualItemRect(list->topLevelItem(0)).center();

    // A double click is a click and then the double click.
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, onFile);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, onFile);
    ASSERT_FALSE(viewModel->tabs().activeTab().has_value());
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("ab"));
    ASSERT_TRUE(NBETest::waitUntil([&] {
        return viewModel->tabs().activeTab() &&
               viewModel->tabs().activeTab()->sourceFile.content().startsWith(QStringLiteral("ab"));
    }));
    EXPECT_EQ(viewModel->tabs().activeTab()->sourceFile.content().size(), large.size() + 2);
}

TEST(NBEApplicationShell, TheSessionsEndKeepsUnsavedTextThenAsksLikeQuit)
{
    QTemporaryDir dir;
    NBETest::writeFile(dir.filePath(QStringLiteral("a.css")), "old");
    NBEApplicationShell shell;
    shell.handleSessionEnd();
    QPointer<NBEProjectWindow> window =
        shell.openProject(QUrl::fromLocalFile(QDir::cleanPath(dir.path())));
    ASSERT_TRUE(loaded(window));
    NBEWorkspaceViewModel *viewModel = window->mainView()->viewModel();
    NBETest::await(viewModel->navigation().openFile(fileURL(dir, QStringLiteral("a.css")), false));
    viewModel->tabs().updateContent(QStringLiteral("unsaved"), viewModel->tabs().activeTab()->id);
    const QString kept = QDir::cleanPath(dir.filePath(QStringLiteral("a.css")));

    // The question is answered as it shows; by then the text is on disk.
    struct Row
    {
        QString answer;
        bool windowStays;
    };
    for (const Row &row :
         {Row{QStringLiteral("Cancel"), true}, Row{QStringLiteral("Don't Save"), false}}) {
        QByteArray keptWhileAsking;
        QTimer answerer;
        QObject::connect(&answerer, &QTimer::timeout, [&] {
            QMessageBox *box = nullptr;
            for (QWidget *widget : QApplication::topLevelWidgets()) {
                auto *shown = qobject_cast<QMessageBox *>(widget);
                if (shown && shown->isVisible() &&
                    shown->windowTitle() == QStringLiteral("Unsaved Changes"))
                    box = shown;
            }
            if (!box)
                return;
            answerer.stop();
            keptWhileAsking = NBETest::readFile(shell.keptEdits() + kept);
            for (QAbstractButton *button : box->buttons())
                if (button->text() == row.answer)
                    button->click();
        });
        answerer.start(10);
        // What a logout sends; the handler turns it into a call on this thread.
        ASSERT_EQ(std::raise(SIGTERM), 0);
        ASSERT_TRUE(NBETest::waitUntil([&] { return !answerer.isActive(); }))
            << row.answer.toStdString();
        EXPECT_EQ(keptWhileAsking, "unsaved") << row.answer.toStdString();
        if (row.windowStays) {
            NBETest::waitUntil([] { return false; }, std::chrono::milliseconds(200));
            ASSERT_FALSE(window.isNull());
            EXPECT_TRUE(viewModel->tabs().activeTab()->sourceFile.isDirty());
            // Cancelled: the copy stays until the edits are settled.
            EXPECT_EQ(NBETest::readFile(shell.keptEdits() + kept), "unsaved");
        } else {
            ASSERT_TRUE(NBETest::waitUntil([&] { return window.isNull(); }));
            // Answered for good: nothing left to recover.
            EXPECT_TRUE(NBETest::waitUntil([&] { return shell.keptEdits().isEmpty(); }));
            EXPECT_TRUE(NBERecoveredEdits::unannounced().isEmpty());
        }
    }
    EXPECT_EQ(NBETest::readFile(kept), "old");
}

// Each command of the menu bar is found by a name of its menu ("file_save"),
// whatever its title, and runs from it as from the menu.
TEST(NBEApplicationShell, MenuCommandsAreNamedAfterTheirMenus)
{
    QTemporaryDir dir;
    NBETest::writeFile(dir.filePath(QStringLiteral("notes.md")), "word\n");
    NBEApplicationShell shell;
    NBEProjectWindow *window = shell.openProject(QUrl::fromLocalFile(QDir::cleanPath(dir.path())));
    ASSERT_TRUE(loaded(window));
    QStringList names;
    for (QAction *menuAction : window->menuBar()->actions()) {
        ASSERT_TRUE(menuAction->menu());
        const QString menu = menuAction->text().remove(u'&').toLower();
        for (QAction *action : menuAction->menu()->actions()) {
            if (action->isSeparator() || action->menu())
                continue;
            EXPECT_TRUE(action->objectName().startsWith(menu + u'_'))
                << action->text().toStdString() << " is named "
                << action->objectName().toStdString();
            EXPECT_FALSE(names.contains(action->objectName()))
                << action->objectName().toStdString();
            names.append(action->objectName());
        }
    }
    EXPECT_GE(names.size(), 25);

    NBEWorkspaceViewModel *viewModel = window->mainView()->viewModel();
    const QUrl notes = fileURL(dir, QStringLiteral("notes.md"));
    NBETest::await(viewModel->navigation().openFile(notes, false));
    viewModel->tabs().updateContent(QStringLiteral("edited\n"), viewModel->tabs().activeTab()->id);
    auto *save = window->findChild<QAction *>(QStringLiteral("file_save"));
    ASSERT_TRUE(save);
    save->trigger();
    EXPECT_TRUE(NBETest::waitUntil(
        [&] { return NBETest::readFile(notes.toLocalFile()) == QByteArrayLiteral("edited\n"); }));
    ASSERT_TRUE(
        NBETest::waitUntil([&] { return !viewModel->tabs().activeTab()->sourceFile.isDirty(); }));
    auto *closeTab = window->findChild<QAction *>(QStringLiteral("file_close_tab"));
    ASSERT_TRUE(closeTab);
    closeTab->trigger();
    EXPECT_TRUE(NBETest::waitUntil([&] { return !viewModel->tabs().activeTab(); }));
}
