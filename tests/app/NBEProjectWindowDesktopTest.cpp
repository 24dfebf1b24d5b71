// The project window on a real display with a window manager running, as a
// user has it: keys go where the window manager and the window send them
// after a dialog closes, not where a test hands them.
#include "NBEApplicationShell.h"
#include "NBECodeTextEdit.h"
#include "NBEFileTreeView.h"
#include "NBEMainView.h"
#include "NBESourceEditor.h"
#include "NBETestSupport.h"
#include "NBETextEditorView.h"
#include "NBEWorkspaceViewModel.h"

#include <QApplication>
#include <QInputDialog>
#include <QLineEdit>
#include <QMenu>
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
        windowManager = new QProcess;
        windowManager->start(openbox, {QStringLiteral("--sm-disable")});
        windowManager->waitForStarted();
    }

    static void TearDownTestSuite()
    {
        if (!windowManager)
            return;
        windowManager->terminate();
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
        NBETest::await(viewModel()->workingTree().openFile(
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
