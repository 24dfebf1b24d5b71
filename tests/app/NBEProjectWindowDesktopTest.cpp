// The project window on a real display with a window manager running, as a
// user has it: keys go where the window manager and the window send them
// after a dialog closes, not where a test hands them.
#include "NBEAboutWindow.h"
#include "NBEApplicationShell.h"
#include "NBECodeTextEdit.h"
#include "NBEFileTreeView.h"
#include "NBEGitToolbarMenu.h"
#include "NBEHelpWindow.h"
#include "NBEMainView.h"
#include "NBEPreferences.h"
#include "NBESettingsWindow.h"
#include "NBESourceEditor.h"
#include "NBETestSupport.h"
#include "NBETextEditorView.h"
#include "NBEWindowToolbar.h"
#include "NBEWorkspaceViewModel.h"

#include <QApplication>
#include <QInputDialog>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>

namespace {

class NBEProjectWindowDesktopTest : public ::testing::Test
{
protected:
    static inline QProcess *windowManager = nullptr;

    // One window manager for the program, started on the session's display
    // and ended with it.
    static void SetUpTestSuite()
    {
        const QString openbox = QStandardPaths::findExecutable(QStringLiteral("openbox"));
        if (openbox.isEmpty())
            return;
        // Ready once it runs its start-up command: a window shown before
        // then is never decorated.
        static QTemporaryDir stamps;
        const QString ready = stamps.filePath(QStringLiteral("ready"));
        windowManager = new QProcess;
        windowManager->start(openbox, {QStringLiteral("--sm-disable"), QStringLiteral("--startup"),
                                       QStringLiteral("touch '%1'").arg(ready)});
        NBETest::waitUntil([&] { return QFileInfo::exists(ready); });
    }

    static void TearDownTestSuite()
    {
        if (!windowManager)
            return;
        windowManager->kill();
        windowManager->waitForFinished();
        delete windowManager;
        windowManager = nullptr;
    }

    void SetUp() override
    {
        ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
        ASSERT_TRUE(windowManager) << "openbox is missing: scripts/setup installs it";
        ASSERT_EQ(windowManager->state(), QProcess::Running);
    }

    QTemporaryDir dir;
    std::unique_ptr<NBEProjectWindow> window;

    QString path(const QString &name) const { return QDir::cleanPath(dir.filePath(name)); }
    NBEWorkspaceViewModel *viewModel() const { return window->mainView()->viewModel(); }

    void openWindow()
    {
        window = std::make_unique<NBEProjectWindow>(QUrl::fromLocalFile(dir.path()));
        window->show();
        window->mainView()->start();
        ASSERT_TRUE(NBETest::waitUntil(
            [&] { return viewModel()->files().isOpen() && !viewModel()->gitState().isLoading(); }));
        // Decorated: the window manager has taken the window.
        ASSERT_TRUE(NBETest::waitUntil([&] {
            return window->frameGeometry() != window->geometry();
        })) << "no window manager took the window";
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }

    // Keys as the display sends them: to the window that has the focus.
    static void type(const QString &keys)
    {
        QWindow *focused = QGuiApplication::focusWindow();
        ASSERT_TRUE(focused) << "no window has the keys";
        for (const QChar key : keys)
            QTest::keyClick(focused, key.toLatin1());
        QCoreApplication::processEvents();
    }

    // Answers the next name dialog by typing `name` and Return into it.
    static void answerNameWith(const QString &name)
    {
        auto *answerer = new QTimer;
        QObject::connect(answerer, &QTimer::timeout, [answerer, name] {
            auto *dialog = qobject_cast<QInputDialog *>(QApplication::activeModalWidget());
            if (!dialog || !dialog->isActiveWindow())
                return;
            answerer->stop();
            answerer->deleteLater();
            type(name);
            QTest::keyClick(QGuiApplication::focusWindow(), Qt::Key_Return);
        });
        answerer->start(20);
    }

    QAction *plusMenuItem(const QString &text) const
    {
        NBEFileTreeView *tree = window->mainView()->fileTree();
        for (QToolButton *button : tree->findChildren<QToolButton *>())
            if (button->menu())
                for (QAction *item : button->menu()->actions())
                    if (item->text() == text)
                        return item;
        return nullptr;
    }
};

} // namespace

// Keys typed after a file or folder is created from the tree's plus menu
// never reach the file whose tab had them: the new item is the tree's
// current row, with the keys, and Return opens it.
TEST_F(NBEProjectWindowDesktopTest, KeysAfterCreatingFromTheTreeStayOutOfOtherFiles)
{
    NBETest::writeFile(path(QStringLiteral("grid.html")), "<p>grid</p>\n");
    NBETest::writeFile(path(QStringLiteral("site.css")), "p {}\n");
    openWindow();
    for (const char *name : {"site.css", "grid.html"})
        NBETest::await(viewModel()->navigation().openFile(
            QUrl::fromLocalFile(path(QString::fromLatin1(name))), false));
    QWidget *editor = window->mainView()->sourceEditor()->editor()->textView();
    editor->setFocus();
    ASSERT_TRUE(NBETest::waitUntil([&] { return editor->hasFocus(); }));
    type(QStringLiteral("x"));
    ASSERT_EQ(viewModel()->tabs().activeTab()->sourceFile.content(),
              QStringLiteral("x<p>grid</p>\n"));
    const auto contents = [&] {
        QStringList all;
        for (const NBEOpenTab &tab : viewModel()->tabs().tabs())
            all.append(tab.sourceFile.content());
        return all;
    };
    const QStringList before = contents();

    for (const auto &[item, name] :
         {std::pair(QStringLiteral("New File…"), QStringLiteral("notes.md")),
          std::pair(QStringLiteral("New Folder…"), QStringLiteral("parts"))}) {
        SCOPED_TRACE(name.toStdString());
        QAction *command = plusMenuItem(item);
        ASSERT_TRUE(command);
        answerNameWith(name);
        command->trigger();
        ASSERT_TRUE(NBETest::waitUntil([&] { return QFileInfo::exists(path(name)); }));
        ASSERT_TRUE(NBETest::waitUntil([&] {
            return window->mainView()->fileTree()->treeWidget()->itemForURL(
                QUrl::fromLocalFile(path(name)));
        }));
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        type(QStringLiteral("hello"));
        QTest::qWait(100);
        EXPECT_EQ(contents(), before);
        EXPECT_EQ(viewModel()->tabs().tabs().size(), 2);
        // The new item is the row the keys act on.
        QTreeWidgetItem *current = window->mainView()->fileTree()->treeWidget()->currentItem();
        ASSERT_TRUE(current);
        EXPECT_EQ(current->text(0), name);
        EXPECT_TRUE(window->mainView()->fileTree()->treeWidget()->hasFocus());
    }

    // Return on the new file opens it, with the keys.
    QTreeWidget *list = window->mainView()->fileTree()->treeWidget();
    list->setCurrentItem(window->mainView()->fileTree()->treeWidget()->itemForURL(
        QUrl::fromLocalFile(path(QStringLiteral("notes.md")))));
    QTest::keyClick(QGuiApplication::focusWindow(), Qt::Key_Return);
    ASSERT_TRUE(NBETest::waitUntil([&] {
        const auto active = viewModel()->tabs().activeTab();
        return active && active->sourceFile.url.fileName() == QStringLiteral("notes.md") &&
               window->mainView()->sourceEditor()->isAncestorOf(QApplication::focusWidget());
    }));
    type(QStringLiteral("# Notes"));
    EXPECT_EQ(viewModel()->tabs().activeTab()->sourceFile.content(), QStringLiteral("# Notes"));
    EXPECT_EQ(contents().mid(0, 2), before);
}

// Every dialog and secondary window closes on Escape, the windows on Ctrl+W
// too, with the keys as the display sends them.
TEST_F(NBEProjectWindowDesktopTest, DialogsAndSecondaryWindowsCloseOnEscape)
{
    NBETest::writeFile(path(QStringLiteral("a.txt")), "a\n");
    NBETest::git(dir.path(), {QStringLiteral("init"), QStringLiteral("-q")});
    NBETest::git(dir.path(), {QStringLiteral("add"), QStringLiteral("a.txt")});
    NBETest::git(dir.path(),
                 {QStringLiteral("-c"), QStringLiteral("user.name=Test"), QStringLiteral("-c"),
                  QStringLiteral("user.email=test@example.org"), QStringLiteral("commit"),
                  QStringLiteral("-qm"), QStringLiteral("a")});
    openWindow();
    const auto closesOn = [](QWidget *shown, const QKeySequence &keys) {
        QPointer<QWidget> guard(shown);
        if (!NBETest::waitUntil([&] {
                return guard && QGuiApplication::focusWindow() &&
                       QGuiApplication::focusWindow() == guard->windowHandle();
            }))
            return testing::AssertionFailure() << "never had the keys";
        QTest::keySequence(QGuiApplication::focusWindow(), keys);
        if (!NBETest::waitUntil([&] { return !guard || !guard->isVisible(); }))
            return testing::AssertionFailure() << "still open";
        return testing::AssertionSuccess();
    };
    const QKeySequence escape(Qt::Key_Escape);
    const QKeySequence closeKeys(Qt::ControlModifier | Qt::Key_W);

    NBEPreferences &preferences = window->mainView()->viewModel()->preferences();
    EXPECT_TRUE(closesOn(NBESettingsWindow::present(preferences), escape));
    EXPECT_TRUE(closesOn(NBESettingsWindow::present(preferences), closeKeys));
    EXPECT_TRUE(closesOn(NBEHelpWindow::present(), escape));
    EXPECT_TRUE(closesOn(NBEAboutWindow::present(), escape));

    // New Branch… chosen with the pointer in the toolbar's branch menu.
    auto *branches = qobject_cast<NBEGitToolbarMenu *>(window->toolbar()->branchMenu());
    ASSERT_TRUE(branches);
    ASSERT_TRUE(NBETest::waitUntil([&] { return branches->isVisible(); }));
    // The menu runs its own loop: the item is clicked from inside it.
    QTimer chooser;
    QObject::connect(&chooser, &QTimer::timeout, [&chooser] {
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        if (!menu)
            return;
        for (QAction *item : menu->actions()) {
            if (item->text() != QStringLiteral("New Branch…"))
                continue;
            chooser.stop();
            QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(item).center());
        }
    });
    chooser.start(20);
    QTest::mouseClick(branches, Qt::LeftButton);
    ASSERT_TRUE(NBETest::waitUntil(
        [] { return qobject_cast<QInputDialog *>(QApplication::activeModalWidget()); }));
    EXPECT_TRUE(closesOn(QApplication::activeModalWidget(), escape));
    // Back in the project window, the keys are its own again.
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
}
