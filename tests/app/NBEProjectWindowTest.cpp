#include "NBEApplicationShell.h"
#include "NBECodeTextEdit.h"
#include "NBEFileService.h"
#include "NBEFileTreeView.h"
#include "NBEGitChangesView.h"
#include "NBEGitDiffView.h"
#include "NBEGitHistoryView.h"
#include "NBEGitToolbarMenu.h"
#include "NBEHelp.h"
#include "NBEHelpWindow.h"
#include "NBEMainView.h"
#include "NBESettingsWindow.h"
#include "NBESidebarView.h"
#include "NBESourceEditor.h"
#include "NBETestSupport.h"
#include "NBETextEditorView.h"
#include "NBEWindowToolbar.h"
#include "NBEWorkspaceViewModel.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QTreeWidget>
#include <gtest/gtest.h>

namespace {

class NBEProjectWindowTest : public ::testing::Test
{
protected:
    QTemporaryDir dir;
    std::unique_ptr<NBEProjectWindow> window;

    QString path(const QString &name) const { return QDir::cleanPath(dir.filePath(name)); }

    void openWindow()
    {
        window = std::make_unique<NBEProjectWindow>(QUrl::fromLocalFile(dir.path()));
        window->show();
        window->mainView()->start();
        // Loaded once its first git answers are in.
        ASSERT_TRUE(NBETest::waitUntil(
            [&] { return viewModel()->files().isOpen() && !viewModel()->gitState().isLoading(); }));
    }

    NBEWorkspaceViewModel *viewModel() const { return window->mainView()->viewModel(); }

    QAction *action(const QString &text) const
    {
        for (QAction *candidate : window->findChildren<QAction *>())
            if (candidate->text() == text)
                return candidate;
        return nullptr;
    }

    QList<QAction *> menuActions() const
    {
        QList<QAction *> all;
        for (QAction *menu : window->menuBar()->actions())
            if (menu->menu())
                all += menu->menu()->actions();
        return all;
    }
};

} // namespace

TEST_F(NBEProjectWindowTest, EveryShortcutTheHelpNamesIsAMenuCommand)
{
    openWindow();
    const auto topic = NBEHelp::topic(QStringLiteral("keyboard-shortcuts"));
    ASSERT_TRUE(topic.has_value());
    // "**Label** — `Keys`"
    const QRegularExpression row(QStringLiteral("^\\*\\*(.+)\\*\\* \u2014 `(.+)`$"));
    int rows = 0;
    for (const NBEHelpBlock &block : topic->blocks) {
        for (const QString &item : block.items) {
            const auto match = row.match(item);
            if (!match.hasMatch())
                continue;
            ++rows;
            const QString label = match.captured(1);
            const QKeySequence keys = QKeySequence::fromString(match.captured(2));
            SCOPED_TRACE(item.toStdString());
            ASSERT_FALSE(keys.isEmpty());
            QAction *found = nullptr;
            for (QAction *candidate : menuActions())
                if (candidate->shortcut() == keys)
                    found = candidate;
            ASSERT_NE(found, nullptr) << "no menu command has " << keys.toString().toStdString();
            // The command is the one the help names (first word enough: "Toggle
            // Markdown Preview" is the menu's "Toggle Preview").
            EXPECT_TRUE(found->text().startsWith(label.section(QLatin1Char(' '), 0, 0)))
                << found->text().toStdString();
        }
    }
    EXPECT_EQ(rows, 10);

    // The Help menu shows every topic, by section.
    action(QStringLiteral("Nabri Editor Help"))->trigger();
    NBEHelpWindow *help = NBEHelpWindow::instance();
    ASSERT_NE(help, nullptr);
    int topics = 0;
    for (int s = 0; s < help->topics()->topLevelItemCount(); ++s)
        topics += help->topics()->topLevelItem(s)->childCount();
    EXPECT_EQ(topics, 26);
    EXPECT_EQ(help->currentTopic(), QStringLiteral("what-is-nabri-editor"));
    action(QStringLiteral("Keyboard Shortcuts"))->trigger();
    EXPECT_EQ(NBEHelpWindow::instance(), help);
    EXPECT_EQ(help->currentTopic(), QStringLiteral("keyboard-shortcuts"));
    EXPECT_TRUE(help->article()->toPlainText().contains(QStringLiteral("Jump to Definition")));
    // A see-also link opens its topic; the search keeps matching topics only.
    Q_EMIT help->article()->anchorClicked(QUrl(QStringLiteral("nbe-help:formatting")));
    EXPECT_EQ(help->currentTopic(), QStringLiteral("formatting"));
    help->search()->setText(QStringLiteral("emmet"));
    int shown = 0;
    for (int s = 0; s < help->topics()->topLevelItemCount(); ++s)
        for (int t = 0; t < help->topics()->topLevelItem(s)->childCount(); ++t)
            shown += help->topics()->topLevelItem(s)->child(t)->isHidden() ? 0 : 1;
    EXPECT_GE(shown, 1);
    EXPECT_LT(shown, 26);
    help->close();

    action(QStringLiteral("Settings…"))->trigger();
    ASSERT_NE(NBESettingsWindow::instance(), nullptr);
    NBESettingsWindow::instance()->close();
}

TEST_F(NBEProjectWindowTest, InitializeGitRepositoryMakesTheFolderARepository)
{
    NBETest::writeFile(dir.filePath(QStringLiteral("a.txt")), "a\n");
    openWindow();
    QAction *init = action(QStringLiteral("Initialize Git Repository…"));
    ASSERT_NE(init, nullptr);
    ASSERT_TRUE(NBETest::waitUntil([&] { return init->isEnabled(); }));
    init->trigger();
    ASSERT_TRUE(NBETest::waitUntil([&] { return viewModel()->gitState().isRepository(); }));
    EXPECT_TRUE(QFileInfo(dir.filePath(QStringLiteral(".git"))).isDir());
    EXPECT_FALSE(init->isEnabled());
    // The new file shows its badge in the tree.
    EXPECT_TRUE(NBETest::waitUntil([&] {
        return window->mainView()->fileTree()->gitStatus().contains(path(QStringLiteral("a.txt")));
    }));
}

TEST_F(NBEProjectWindowTest, SourceControlPanesAndTheBranchMenuFollowTheRepository)
{
    NBETest::writeFile(dir.filePath(QStringLiteral("a.txt")), "a\n");
    openWindow();
    NBESidebarView *sidebar = window->mainView()->sidebar();
    QWidget *branchMenu = window->toolbar()->branchMenu();
    ASSERT_TRUE(qobject_cast<NBEGitToolbarMenu *>(branchMenu));
    EXPECT_FALSE(branchMenu->isVisible());

    QTest::mouseClick(sidebar->pickerButton(NBESidebarMode::changes), Qt::LeftButton);
    auto *changes = qobject_cast<NBEGitChangesView *>(sidebar->pane());
    ASSERT_NE(changes, nullptr);
    ASSERT_TRUE(changes->initializeButton()->isVisible());
    QTest::mouseClick(changes->initializeButton(), Qt::LeftButton);
    ASSERT_TRUE(NBETest::waitUntil([&] { return changes->isShowingRepository(); }));
    EXPECT_TRUE(NBETest::waitUntil([&] { return branchMenu->isVisible(); }));

    // A click on the new file puts its diff in place of the detail column.
    ASSERT_TRUE(NBETest::waitUntil([&] { return changes->shownRows().size() == 2; }));
    QTreeView *list = changes->list();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualRect(list->model()->index(1, 0)).topLeft() + QPoint(30, 5));
    ASSERT_NE(window->mainView()->diffView(), nullptr);
    EXPECT_TRUE(window->mainView()->diffView()->isVisible());

    QTest::mouseClick(sidebar->pickerButton(NBESidebarMode::history), Qt::LeftButton);
    auto *history = qobject_cast<NBEGitHistoryView *>(sidebar->pane());
    ASSERT_NE(history, nullptr);
    EXPECT_EQ(history->stateLabel()->text(), QStringLiteral("No commits yet"));
}

TEST_F(NBEProjectWindowTest, JumpToDefinitionMovesTheCaretToTheDefinition)
{
    NBETest::writeFile(dir.filePath(QStringLiteral("lib.js")),
                       "// helpers\n\nexport function greet(name) {\n  return name;\n}\n");
    NBETest::writeFile(dir.filePath(QStringLiteral("main.js")),
                       "import { greet } from './lib.js';\ngreet('x');\n");
    openWindow();
    NBETest::await(viewModel()->navigation().openFile(
        QUrl::fromLocalFile(path(QStringLiteral("main.js"))), false));
    NBEMainView *main = window->mainView();
    ASSERT_TRUE(NBETest::waitUntil([&] { return main->sourceEditor() != nullptr; }));
    NBECodeTextEdit *text = main->sourceEditor()->editor()->textView();
    // On the call in line 2. A server still loading the project answers
    // with the import in line 1 and the caret goes there, so it is put back
    // before every try.
    const auto placeCaret = [&] {
        QTextCursor cursor = text->textCursor();
        cursor.setPosition(text->document()->findBlockByNumber(1).position() + 1);
        text->setTextCursor(cursor);
        return NBETest::waitUntil([&] {
            return viewModel()
                       ->tabs()
                       .document(viewModel()->tabs().activeTab()->id)
                       ->caret()
                       .line == 2;
        });
    };
    QAction *jump = action(QStringLiteral("Jump to Definition"));
    ASSERT_NE(jump, nullptr);
    EXPECT_EQ(jump->shortcut(), QKeySequence(Qt::CTRL | Qt::META | Qt::Key_J));
    ASSERT_TRUE(placeCaret());
    EXPECT_TRUE(jump->isEnabled());
    const auto onLib = [&] {
        const auto tab = viewModel()->tabs().activeTab();
        return tab &&
               NBEFileService::keyPath(tab->sourceFile.url) == path(QStringLiteral("lib.js"));
    };
    ASSERT_TRUE(NBETest::waitUntil(
        [&] {
            if (onLib())
                return true;
            if (!placeCaret())
                return false;
            jump->trigger();
            NBETest::waitUntil(onLib, std::chrono::milliseconds(500));
            return onLib();
        },
        std::chrono::seconds(60)));
    ASSERT_TRUE(NBETest::waitUntil([&] {
        return main->sourceEditor() &&
               main->sourceEditor()->editor()->textView()->textCursor().blockNumber() == 2;
    }));
}

TEST(NBEAppearance, TheSettingSetsTheApplicationPaletteAndSystemGivesItBack)
{
    const QColor desktop = QApplication::palette().color(QPalette::Window);
    NBEApplicationShell shell;
    NBEPreferences &preferences = NBEPreferences::shared();
    preferences.setAppearance(QStringLiteral("dark"));
    EXPECT_LT(QApplication::palette().color(QPalette::Window).lightness(), 128);
    preferences.setAppearance(QStringLiteral("light"));
    EXPECT_GT(QApplication::palette().color(QPalette::Window).lightness(), 128);
    preferences.setAppearance(QStringLiteral("system"));
    EXPECT_EQ(QApplication::palette().color(QPalette::Window), desktop);
    preferences.store().remove(NBEPreferences::keyName(NBEPreferences::Key::appearance));
}

// The Edit menu's standard commands act on whichever text has the keys, as
// their keys do there: the editor with its own undo history, and a field.
TEST_F(NBEProjectWindowTest, TheEditMenuActsOnTheFocusedText)
{
    NBETest::writeFile(path(QStringLiteral("a.css")), "one");
    openWindow();
    const QList<QPair<QString, QKeySequence::StandardKey>> standard{
        {QStringLiteral("Undo"), QKeySequence::Undo},
        {QStringLiteral("Redo"), QKeySequence::Redo},
        {QStringLiteral("Cut"), QKeySequence::Cut},
        {QStringLiteral("Copy"), QKeySequence::Copy},
        {QStringLiteral("Paste"), QKeySequence::Paste},
        {QStringLiteral("Select All"), QKeySequence::SelectAll}};
    for (const auto &[text, key] : standard) {
        QAction *item = action(text);
        ASSERT_TRUE(item) << text.toStdString();
        EXPECT_TRUE(menuActions().contains(item)) << text.toStdString();
        EXPECT_EQ(item->shortcut(), QKeySequence(key)) << text.toStdString();
    }
    const auto run = [&](const char *text) { action(QString::fromLatin1(text))->trigger(); };

    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    NBETest::await(viewModel()->navigation().openFile(
        QUrl::fromLocalFile(path(QStringLiteral("a.css"))), false));
    ASSERT_TRUE(window->mainView()->sourceEditor());
    QWidget *editor = window->mainView()->sourceEditor()->editor()->textView();
    editor->setFocus();
    ASSERT_TRUE(NBETest::waitUntil([&] { return editor->hasFocus(); }));
    const auto shows = [&](const QString &text) {
        return NBETest::waitUntil(
            [&] { return viewModel()->tabs().activeTab()->sourceFile.content() == text; });
    };
    run("Select All");
    run("Cut");
    EXPECT_TRUE(shows(QString()));
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("one"));
    run("Undo");
    EXPECT_TRUE(shows(QStringLiteral("one")));
    run("Redo");
    EXPECT_TRUE(shows(QString()));
    run("Paste");
    run("Paste");
    EXPECT_TRUE(shows(QStringLiteral("oneone")));

    // The find bar's field.
    action(QStringLiteral("Find…"))->trigger();
    ASSERT_TRUE(NBETest::waitUntil(
        [] { return qobject_cast<QLineEdit *>(QApplication::focusWidget()) != nullptr; }));
    auto *field = qobject_cast<QLineEdit *>(QApplication::focusWidget());
    QTest::keyClicks(field, QStringLiteral("two"));
    run("Select All");
    run("Copy");
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("two"));
    run("Cut");
    EXPECT_EQ(field->text(), QString());
    run("Undo");
    EXPECT_EQ(field->text(), QStringLiteral("two"));
    EXPECT_EQ(viewModel()->tabs().activeTab()->sourceFile.content(), QStringLiteral("oneone"));
}

// New File… with no tab open leaves the keys with the new file, wherever
// they were.
TEST_F(NBEProjectWindowTest, NewFileTakesTheKeys)
{
    openWindow();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    // Where the keys are in a window without tabs.
    window->mainView()->fileTree()->setFocus();
    ASSERT_TRUE(NBETest::waitUntil([&] {
        return window->mainView()->fileTree()->isAncestorOf(QApplication::focusWidget()) ||
               window->mainView()->fileTree()->hasFocus();
    }));
    QTimer answerer;
    QObject::connect(&answerer, &QTimer::timeout, [&] {
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            auto *panel = qobject_cast<QFileDialog *>(widget);
            if (!panel || !panel->isVisible())
                continue;
            answerer.stop();
            panel->selectFile(path(QStringLiteral("new.css")));
            // A name field that already has the keys keeps its text through
            // selectFile().
            if (auto *name = panel->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")))
                name->setText(QStringLiteral("new.css"));
            QTimer::singleShot(0, panel, &QDialog::accept);
        }
    });
    answerer.start(10);
    // The File menu's, not the file tree's of the same name.
    for (QAction *item : menuActions())
        if (item->text() == QStringLiteral("New File…"))
            item->trigger();
    ASSERT_TRUE(NBETest::waitUntil([&] {
        const auto tab = viewModel()->tabs().activeTab();
        return tab && tab->sourceFile.url.fileName() == QStringLiteral("new.css");
    }));
    // The window's keys go to the editor once it is active again.
    ASSERT_TRUE(NBETest::waitUntil([&] {
        NBESourceEditor *editor = window->mainView()->sourceEditor();
        return editor && editor->isAncestorOf(window->focusWidget());
    }));
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("a{}"));
    EXPECT_EQ(viewModel()->tabs().activeTab()->sourceFile.content(), QStringLiteral("a{}"));
}
