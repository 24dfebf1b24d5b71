// Quitting with several project windows, and the window driven from the
// keyboard alone.
#include "NBEApplicationShell.h"
#include "NBECodeTextEdit.h"
#include "NBEGitChangesView.h"
#include "NBEMainView.h"
#include "NBEMarkdownPreview.h"
#include "NBENoticeBar.h"
#include "NBEPreferences.h"
#include "NBESourceEditor.h"
#include "NBETabStops.h"
#include "NBETestSupport.h"
#include "NBETextEditorView.h"
#include "NBEWindowToolbar.h"
#include "NBEWorkspaceViewModel.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <gtest/gtest.h>

namespace {

QUrl folderURL(const QTemporaryDir &dir)
{
    return QUrl::fromLocalFile(QDir::cleanPath(dir.path()));
}

QUrl fileURL(const QTemporaryDir &dir, const QString &name)
{
    return QUrl::fromLocalFile(QDir::cleanPath(dir.filePath(name)));
}

NBEWorkspaceViewModel *viewModel(NBEProjectWindow *window)
{
    return window->mainView()->viewModel();
}

// Shows and starts the window and makes it the active one, so focus and keys
// work.
bool startActive(NBEProjectWindow &window)
{
    window.show();
    window.mainView()->start();
    window.activateWindow();
    return QTest::qWaitForWindowActive(&window);
}

// Opens `file` for good and waits until its editor shows. A pane put into
// the window is shown one event-loop turn later; until then it takes focus
// but is no tab stop.
bool showInEditor(NBEProjectWindow &window, const QUrl &file)
{
    NBETest::await(viewModel(&window)->navigation().openFile(file, false));
    return NBETest::waitUntil([&] {
        const NBESourceEditor *source = window.mainView()->sourceEditor();
        return source && source->editor()->textView()->isVisible();
    });
}

QAction *quitAction(NBEProjectWindow *window)
{
    for (QAction *action : window->findChildren<QAction *>())
        if (action->text() == QStringLiteral("Quit"))
            return action;
    return nullptr;
}

// Answers every unsaved-edits question with `answer`, counting them.
class Answerer
{
public:
    explicit Answerer(const QString &reply)
        : answer(reply)
    {
        QObject::connect(&m_poll, &QTimer::timeout, [this] {
            for (QWidget *widget : QApplication::topLevelWidgets()) {
                auto *box = qobject_cast<QMessageBox *>(widget);
                if (!box || !box->isVisible() || box->property("answered").toBool())
                    continue;
                box->setProperty("answered", true);
                ++asked;
                for (QAbstractButton *button : box->buttons())
                    if (button->text() == answer)
                        button->click();
            }
        });
        m_poll.start(20);
    }
    QString answer;
    int asked = 0;

private:
    QTimer m_poll;
};

class NBEQuitTest : public ::testing::Test
{
protected:
    QTemporaryDir first;
    QTemporaryDir second;
    std::unique_ptr<NBEApplicationShell> shell = std::make_unique<NBEApplicationShell>();
    QPointer<NBEProjectWindow> clean;
    QPointer<NBEProjectWindow> dirty;

    void SetUp() override
    {
        NBETest::writeFile(first.filePath(QStringLiteral("a.md")), "a\n");
        NBETest::writeFile(second.filePath(QStringLiteral("b.md")), "b\n");
        clean = shell->openProject(folderURL(first));
        dirty = shell->openProject(folderURL(second));
        ASSERT_TRUE(NBETest::waitUntil([&] {
            return viewModel(clean)->files().isOpen() && viewModel(dirty)->files().isOpen();
        }));
        NBETest::await(viewModel(dirty)->navigation().openFile(
            fileURL(second, QStringLiteral("b.md")), false));
        viewModel(dirty)->tabs().updateContent(QStringLiteral("b, edited\n"),
                                               viewModel(dirty)->tabs().activeTab()->id);
        ASSERT_TRUE(viewModel(dirty)->tabs().activeTab()->sourceFile.isDirty());
    }
};

} // namespace

TEST_F(NBEQuitTest, QuitAsksOnceForTheWindowWithEditsAndEndsTheApplication)
{
    Answerer answerer(QStringLiteral("Don't Save"));
    QTimer::singleShot(0, clean.data(), [this] { quitAction(clean)->trigger(); });
    QTimer hang;
    hang.setSingleShot(true);
    QObject::connect(&hang, &QTimer::timeout, [] { QCoreApplication::exit(3); });
    hang.start(30000);
    EXPECT_EQ(QApplication::exec(), 0);
    hang.stop();
    EXPECT_EQ(answerer.asked, 1);
    EXPECT_TRUE(!clean || !clean->isVisible());
    EXPECT_TRUE(!dirty || !dirty->isVisible());
    EXPECT_EQ(NBETest::readFile(second.filePath(QStringLiteral("b.md"))), "b\n");
}

TEST_F(NBEQuitTest, CancelInAnyWindowStopsTheQuitWithEveryWindowOpen)
{
    Answerer answerer(QStringLiteral("Cancel"));
    quitAction(dirty)->trigger();
    ASSERT_TRUE(NBETest::waitUntil([&] { return answerer.asked == 1; }));
    NBETest::waitUntil([] { return false; }, std::chrono::milliseconds(300));
    EXPECT_EQ(answerer.asked, 1);
    ASSERT_TRUE(clean && dirty);
    EXPECT_TRUE(clean->isVisible());
    EXPECT_TRUE(dirty->isVisible());
    ASSERT_TRUE(viewModel(dirty)->tabs().activeTab().has_value());
    EXPECT_TRUE(viewModel(dirty)->tabs().activeTab()->sourceFile.isDirty());

    // Save writes the edits, then everything closes.
    answerer.answer = QStringLiteral("Save");
    quitAction(clean)->trigger();
    EXPECT_TRUE(NBETest::waitUntil([&] { return !clean && !dirty; }));
    EXPECT_EQ(NBETest::readFile(second.filePath(QStringLiteral("b.md"))), "b, edited\n");
}

TEST(NBEProjectWindowKeyboard, TabReachesTheSourceControlPaneAndTheKeyboardCommits)
{
    QTemporaryDir dir;
    const QString root = QDir::cleanPath(dir.path());
    NBETest::git(root, {"init", "-q", "-b", "main"});
    NBETest::writeFile(dir.filePath(QStringLiteral("notes.txt")), "one\n");
    NBETest::git(root, {"add", "."});
    NBETest::git(root, {"commit", "-qm", "First"});
    NBETest::writeFile(dir.filePath(QStringLiteral("notes.txt")), "two\n");
    NBETest::git(root, {"add", "."});

    NBEProjectWindow window(folderURL(dir));
    ASSERT_TRUE(startActive(window));
    NBEWorkspaceViewModel *model = viewModel(&window);
    ASSERT_TRUE(NBETest::waitUntil([&] { return model->gitState().hasStagedChanges(); }));
    ASSERT_TRUE(showInEditor(window, fileURL(dir, QStringLiteral("notes.txt"))));
    window.mainView()->sidebar()->setMode(NBESidebarMode::changes);
    auto *changes = window.findChild<NBEGitChangesView *>();
    ASSERT_NE(changes, nullptr);
    ASSERT_TRUE(NBETest::waitUntil([&] { return changes->list()->isVisible(); }));

    NBECodeTextEdit *editor = window.mainView()->sourceEditor()->editor()->textView();
    editor->setFocus();
    ASSERT_TRUE(editor->hasFocus());

    // Tab indents in the editor; Ctrl+Tab leaves it, then Tab goes round the
    // window's visible controls back to the editor.
    QList<QWidget *> visited;
    QTest::keyClick(editor, Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(editor->toPlainText(), QStringLiteral("two\n"));
    for (int step = 0; step < 40 && QApplication::focusWidget() != editor; ++step) {
        QWidget *focused = QApplication::focusWidget();
        ASSERT_NE(focused, nullptr);
        ASSERT_FALSE(visited.contains(focused))
            << "Tab came back before the editor, at " << focused->metaObject()->className()
            << " after " << visited.size();
        // No stop the user can't see.
        EXPECT_TRUE(NBETabStops::isShown(focused)) << focused->metaObject()->className();
        visited.append(focused);
        if (focused == changes->messageBox())
            QTest::keyClicks(focused, QStringLiteral("Second page"));
        QTest::keyClick(focused, Qt::Key_Tab);
    }
    EXPECT_EQ(QApplication::focusWidget(), editor);
    // The stops are those the window lists, in its order.
    const QList<QWidget *> stops = NBETabStops::inOrder(
        &window, {window.toolbar(), window.mainView()->sidebar(), window.mainView()});
    EXPECT_EQ(visited.size() + 1, stops.size());
    EXPECT_TRUE(stops.contains(editor));
    const qsizetype message = visited.indexOf(changes->messageBox());
    const qsizetype amend = visited.indexOf(changes->amendBox());
    const qsizetype commit = visited.indexOf(changes->commitButton());
    const qsizetype list = visited.indexOf(changes->list());
    ASSERT_GE(message, 0);
    EXPECT_LT(message, amend);
    EXPECT_LT(amend, commit);
    EXPECT_LT(commit, list);

    // Shift+Tab walks back; Ctrl+Return in the box commits the typed message.
    changes->list()->setFocus(Qt::TabFocusReason);
    QTest::keyClick(changes->list(), Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(QApplication::focusWidget(), changes->commitButton());
    EXPECT_EQ(model->commitBox().commitMessage(), QStringLiteral("Second page"));
    changes->messageBox()->setFocus(Qt::BacktabFocusReason);
    QTest::keyClick(changes->messageBox(), Qt::Key_Return, Qt::ControlModifier);
    EXPECT_TRUE(NBETest::waitUntil([&] {
        return QString::fromUtf8(NBETest::git(root, {"log", "-1", "--format=%s"})).trimmed() ==
               QStringLiteral("Second page");
    }));
    EXPECT_TRUE(NBETest::waitUntil([&] { return !model->gitState().hasStagedChanges(); }));
}

// The Edit menu's keys in a widget that takes only some of them (the
// Markdown preview selects and copies but has nothing to undo): each reaches
// it once, by key or by menu, and none goes round between the menu and the
// widget for ever.
TEST(NBEProjectWindowKeyboard, EditKeysReachAWidgetThatTakesOnlySomeOfThem)
{
    QTemporaryDir dir;
    NBETest::writeFile(dir.filePath(QStringLiteral("notes.md")), "# Title\n\nSome words.\n");
    NBEProjectWindow window(folderURL(dir));
    ASSERT_TRUE(startActive(window));
    NBEWorkspaceViewModel *model = viewModel(&window);
    ASSERT_TRUE(NBETest::waitUntil([&] { return model->files().isOpen(); }));
    NBETest::await(model->navigation().openFile(fileURL(dir, QStringLiteral("notes.md")), false));
    model->toggleActivePreview();
    NBEMarkdownPreview *preview = nullptr;
    ASSERT_TRUE(NBETest::waitUntil([&] {
        preview = window.mainView()->markdownPreview();
        return preview && preview->isVisible() && preview->isBuilt();
    }));
    preview->setFocus();
    ASSERT_TRUE(NBETest::waitUntil([&] { return preview->hasFocus(); }));
    QHash<QString, QAction *> actions;
    for (QAction *action : window.findChildren<QAction *>())
        actions.insert(action->objectName(), action);

    QTest::keyClick(preview, Qt::Key_Z, Qt::ControlModifier);
    actions.value(QStringLiteral("edit_undo"))->trigger();
    actions.value(QStringLiteral("edit_redo"))->trigger();
    actions.value(QStringLiteral("edit_select_all"))->trigger();
    EXPECT_EQ(preview->textCursor().selectedText(), QStringLiteral("Title\u2029Some words."));
    QApplication::clipboard()->clear();
    actions.value(QStringLiteral("edit_copy"))->trigger();
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("Title\nSome words."));
    for (const QString &name : {QStringLiteral("edit_undo"), QStringLiteral("edit_copy")})
        EXPECT_TRUE(actions.value(name)->isEnabled()) << name.toStdString();
    EXPECT_FALSE(model->tabs().activeTab()->sourceFile.isDirty());
}

// An automatic save that fails in a typing pause (a full disk) says so in a
// bar above the editor: every key typed after it still lands in the text,
// none goes to a dialog.
TEST(NBEProjectWindowKeyboard, AFailedAutoSaveNeverTakesTheKeys)
{
    QTemporaryDir dir;
    NBETest::SmallDisk disk(dir.path());
    if (!disk.isMounted())
        GTEST_SKIP() << disk.skipReason().toStdString();
    NBETest::writeFile(dir.filePath(QStringLiteral("notes.txt")), "end\n");
    NBEPreferences &preferences = NBEPreferences::shared();
    preferences.setAutoSaveMode(QStringLiteral("afterDelay"));
    preferences.setAutoSaveDelay(0.2);
    const auto restore = qScopeGuard([&] {
        for (const auto key :
             {NBEPreferences::Key::autoSaveMode, NBEPreferences::Key::autoSaveDelay})
            preferences.store().remove(NBEPreferences::keyName(key));
    });
    NBEProjectWindow window(folderURL(dir));
    ASSERT_TRUE(startActive(window));
    NBEWorkspaceViewModel *model = viewModel(&window);
    ASSERT_TRUE(NBETest::waitUntil([&] { return model->files().isOpen(); }));
    ASSERT_TRUE(showInEditor(window, fileURL(dir, QStringLiteral("notes.txt"))));
    NBECodeTextEdit *editor = window.mainView()->sourceEditor()->editor()->textView();
    editor->setFocus();
    ASSERT_TRUE(editor->hasFocus());
    disk.fill();

    // As the keyboard does: each key goes to the window that has the focus,
    // or to the project window, which a modal dialog would block.
    const auto type = [&](const QString &text) {
        for (const QChar c : text) {
            QWindow *focused = QGuiApplication::focusWindow();
            QTest::keyClick(focused ? focused : window.windowHandle(), c.toLatin1());
        }
    };
    type(QStringLiteral("one "));
    const auto said = [&] { return model->notice() || model->errorMessage(); };
    ASSERT_TRUE(NBETest::waitUntil(said));
    // The pause long enough for a dialog to have come up.
    NBETest::waitUntil([] { return false; }, std::chrono::milliseconds(300));
    type(QStringLiteral("two three"));

    EXPECT_EQ(editor->toPlainText(), QStringLiteral("one two threeend\n"))
        << editor->toPlainText().toStdString();
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_EQ(window.mainView()->errorAlert(), nullptr);
    EXPECT_TRUE(window.mainView()->noticeBar()->isVisible());
    EXPECT_TRUE(
        window.mainView()->noticeBar()->message().startsWith(QStringLiteral("Failed to save: ")))
        << window.mainView()->noticeBar()->message().toStdString();
    EXPECT_TRUE(model->tabs().activeTab()->sourceFile.isDirty());
    EXPECT_EQ(NBETest::readFile(dir.filePath(QStringLiteral("notes.txt"))), "end\n");

    // Closed, the bar goes; the text stays with the keys.
    window.mainView()->noticeBar()->closeButton()->click();
    EXPECT_FALSE(model->notice().has_value());
    EXPECT_FALSE(window.mainView()->noticeBar()->isVisible());
    EXPECT_TRUE(editor->hasFocus());
    disk.empty();
}

// Keys typed into a one-line file of megabytes while its line is split,
// then a save from the keyboard: the file saved is the whole text with the
// keys in it.
TEST(NBEProjectWindowKeyboard, ASaveTypedAsAOneLineFileOpensSavesTheKeysBeforeIt)
{
    QTemporaryDir dir;
    const QString text =
        QStringLiteral("let a='") + QString(4 * 1024 * 1024, u'x') + QStringLiteral("';\n");
    NBETest::writeFile(dir.filePath(QStringLiteral("bundle.min.js")), text.toUtf8());
    NBEProjectWindow window(folderURL(dir));
    ASSERT_TRUE(startActive(window));
    NBEWorkspaceViewModel *model = viewModel(&window);
    ASSERT_TRUE(NBETest::waitUntil([&] { return model->files().isOpen(); }));
    NBETest::await(
        model->navigation().openFile(fileURL(dir, QStringLiteral("bundle.min.js")), false));
    ASSERT_TRUE(window.mainView()->sourceEditor());
    NBECodeTextEdit *editor = window.mainView()->sourceEditor()->editor()->textView();
    ASSERT_TRUE(editor->isReadOnly());
    editor->setFocus();
    QTest::keyClicks(editor, QStringLiteral("ab"));
    QTest::keyClick(editor, Qt::Key_S, Qt::ControlModifier);
    const QByteArray saved = (QStringLiteral("ab") + text).toUtf8();
    EXPECT_TRUE(NBETest::waitUntil([&] {
        QFile file(dir.filePath(QStringLiteral("bundle.min.js")));
        return file.open(QIODevice::ReadOnly) && file.readAll() == saved;
    }));
    EXPECT_TRUE(
        NBETest::waitUntil([&] { return !model->tabs().activeTab()->sourceFile.isDirty(); }));
    EXPECT_FALSE(editor->isReadOnly());
}
