#include "NBESourceEditor.h"
#include "../viewmodels/NBEWorkspaceFixture.h"
#include "NBECodeTextEdit.h"
#include "NBEDefaultThemes.h"
#include "NBEDiagnosticOverlay.h"
#include "NBETextEditorCoordinator.h"
#include "NBETextEditorView.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>

namespace {

class NBESourceEditorTest : public NBEWorkspaceFixture
{
protected:
    QUuid id;
    std::unique_ptr<NBESourceEditor> host;
    int folderSignals = 0;
    int tabSignals = 0;
    int contentSignals = 0;
    int caretSignals = 0;

    void SetUp() override
    {
        NBEWorkspaceFixture::SetUp();
        write(QStringLiteral("index.html"), "<p>one</p>\n<p>two</p>\n<p>three</p>\n");
        load();
        id = open(QStringLiteral("index.html")).id;
        show();
        QObject::connect(&model->files(), &NBEWorkspaceFiles::workspaceChanged,
                         [this] { ++folderSignals; });
        QObject::connect(&model->tabs(), &NBEWorkspaceTabs::tabsChanged, [this] { ++tabSignals; });
        QObject::connect(&model->tabs(), &NBEWorkspaceTabs::tabContentChanged,
                         [this](const QUuid &tab) { contentSignals += tab == id; });
        QObject::connect(&model->tabs(), &NBEWorkspaceTabs::cursorPositionChanged,
                         [this](const QUuid &tab) { caretSignals += tab == id; });
    }

    void show()
    {
        host = std::make_unique<NBESourceEditor>(NBESourceEditorOwners::of(model.get()), id,
                                                 NBEDefaultThemes::light());
        host->resize(600, 400);
        host->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(host.get()));
        edit()->setFocus();
    }

    NBECodeTextEdit *edit() const { return host->editor()->textView(); }
    QString modelText() const { return model->tab(id)->sourceFile.content(); }
};

} // namespace

TEST_F(NBESourceEditorTest, CaretMovesAndEditsAnnounceOnlyThemselves)
{
    for (Qt::Key key : {Qt::Key_Down, Qt::Key_Right, Qt::Key_Right, Qt::Key_End, Qt::Key_Up})
        QTest::keyClick(edit(), key);
    QCoreApplication::processEvents();
    EXPECT_GE(caretSignals, 5);
    EXPECT_EQ(model->tabs().document(id)->caret(), (NBECursorPosition{1, 11}));
    EXPECT_EQ(contentSignals, 0);
    EXPECT_EQ(tabSignals, 0);
    EXPECT_EQ(folderSignals, 0);

    // Typing, a line break, a deletion, a paste over lines and an undo: each
    // one content signal; the tab list hears only of the tab getting dirty.
    QTest::keyClicks(edit(), QStringLiteral("ab"));
    QTest::keyClick(edit(), Qt::Key_Return);
    QTest::keyClick(edit(), Qt::Key_Backspace);
    QTextCursor selection = edit()->textCursor();
    selection.setPosition(2);
    selection.setPosition(20, QTextCursor::KeepAnchor);
    edit()->setTextCursor(selection);
    edit()->insertPlainText(QStringLiteral("pasted\nlines\n"));
    QTest::keyClick(edit(), Qt::Key_Z, Qt::ControlModifier);
    QCoreApplication::processEvents();
    EXPECT_EQ(contentSignals, 6);
    EXPECT_EQ(tabSignals, 1);
    EXPECT_EQ(folderSignals, 0);
    EXPECT_TRUE(model->tab(id)->sourceFile.isDirty());
    EXPECT_EQ(modelText(), edit()->text());
    EXPECT_EQ(modelText(), QStringLiteral("<p>one</p>ab\n<p>two</p>\n<p>three</p>\n"));
}

// The tab's text lives on without its editor: a new editor shows it with
// its undo history, and a replacement made meanwhile is shown as a reload.
TEST_F(NBESourceEditorTest, TheTextOutlivesTheEditor)
{
    QTest::keyClicks(edit(), QStringLiteral("typed "));
    host.reset();
    EXPECT_EQ(modelText(), QStringLiteral("typed <p>one</p>\n<p>two</p>\n<p>three</p>\n"));
    show();
    EXPECT_EQ(edit()->text(), modelText());
    QTest::keyClick(edit(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(modelText(), QStringLiteral("<p>one</p>\n<p>two</p>\n<p>three</p>\n"));
    EXPECT_FALSE(model->tab(id)->sourceFile.isDirty()) << "undone back to the file's text";

    QTextCursor caret = edit()->textCursor();
    caret.setPosition(5);
    edit()->setTextCursor(caret);
    model->tabs().updateContent(QStringLiteral("<h1>new</h1>\n"), id);
    EXPECT_EQ(edit()->text(), QStringLiteral("<h1>new</h1>\n"));
    EXPECT_EQ(edit()->textCursor().position(), 5) << "the caret stays where it was";
    EXPECT_FALSE(edit()->document()->isUndoAvailable()) << "a reload starts a new history";
    EXPECT_TRUE(model->tab(id)->sourceFile.isDirty());
}

// A caret stored beyond the text (it shrank while no editor showed it)
// comes back within it, and the view model hears where it landed.
TEST_F(NBESourceEditorTest, AStoredCaretBeyondTheTextIsPutBackWithinIt)
{
    struct Case
    {
        NBECursorPosition stored;
        NBECursorPosition placed;
    };
    for (const Case &c : {Case{{2, 40}, {2, 11}}, Case{{9, 3}, {4, 1}}, Case{{0, 0}, {1, 1}}}) {
        host.reset();
        model->tabs().updateCursorPosition(c.stored.line, c.stored.column, id);
        show();
        const QTextCursor caret = edit()->textCursor();
        EXPECT_EQ(caret.blockNumber() + 1, c.placed.line);
        EXPECT_EQ(caret.positionInBlock() + 1, c.placed.column);
        EXPECT_EQ(model->tabs().document(id)->caret(), c.placed);
    }
    EXPECT_EQ(contentSignals, 0);
    EXPECT_FALSE(model->tab(id)->sourceFile.isDirty());
}

// The editor follows its tab's document alone: published diagnostics reach
// it, a git refresh or another tab's activation redoes nothing, and the
// preview tab moving to another file gets an editor of its own.
TEST_F(NBESourceEditorTest, FollowsItsDocumentAndNothingElse)
{
    write(QStringLiteral("a.css"), "a {}\n");
    write(QStringLiteral("b.css"), "b {}\n");
    const QUuid preview = open(QStringLiteral("a.css"), true).id;
    NBESourceEditor editor(NBESourceEditorOwners::of(model.get()), preview,
                           NBEDefaultThemes::light());
    const QPointer<NBETextEditorView> first = editor.editor();
    QSignalSpy providers(editor.session(), &NBEEditorSession::providersChanged);

    NBELSPDiagnostic diagnostic;
    diagnostic.endCharacter = 1;
    diagnostic.message = QStringLiteral("unknown");
    model->diagnosticsStore().set(url(QStringLiteral("a.css")), {diagnostic});
    ASSERT_TRUE(first->coordinator()->diagnosticOverlay());
    EXPECT_EQ(first->coordinator()->diagnosticOverlay()->diagnostics(),
              QList<NBELSPDiagnostic>{diagnostic});

    NBETest::await(model->gitState().refresh());
    model->navigation().activateTab(id);
    QCoreApplication::processEvents();
    EXPECT_EQ(editor.editor(), first.data());
    EXPECT_EQ(providers.size(), 0);

    open(QStringLiteral("b.css"), true);
    EXPECT_FALSE(first);
    EXPECT_EQ(editor.session()->buffer(), model->tab(preview)->sourceFile.buffer);
    EXPECT_EQ(editor.editor()->textView()->text(), QStringLiteral("b {}\n"));
    EXPECT_TRUE(editor.editor()->coordinator()->diagnosticOverlay()->diagnostics().isEmpty());
}

// A file of the tree (or a file manager) dropped on the text opens in its own
// tab; its address never lands in the text. A folder opens nothing, and text
// dragged in is still text.
TEST_F(NBESourceEditorTest, DroppedFilesOpenInsteadOfTypingTheirAddresses)
{
    write(QStringLiteral("style.css"), "p {}\n");
    QDir().mkpath(path(QStringLiteral("assets")));
    const QString before = modelText();
    const auto drop = [&](QMimeData *data) {
        QWidget *target = edit()->viewport();
        const QPointF at(20, 10);
        QDragEnterEvent enter(at.toPoint(), Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton,
                              Qt::NoModifier);
        QCoreApplication::sendEvent(target, &enter);
        QDropEvent dropped(at, Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton,
                           Qt::NoModifier);
        QCoreApplication::sendEvent(target, &dropped);
        return dropped.isAccepted();
    };

    QMimeData files;
    files.setUrls({url(QStringLiteral("assets")), url(QStringLiteral("style.css"))});
    EXPECT_TRUE(drop(&files));
    ASSERT_TRUE(NBETest::waitUntil([&] {
        const auto active = model->tabs().activeTab();
        return active && active->sourceFile.url == url(QStringLiteral("style.css"));
    }));
    EXPECT_EQ(model->tabs().tabs().size(), 2);
    EXPECT_EQ(modelText(), before);
    EXPECT_FALSE(model->tab(id)->sourceFile.isDirty());

    // Nor does pasting files copied in a file manager.
    auto *copied = new QMimeData;
    copied->setUrls({url(QStringLiteral("style.css"))});
    QGuiApplication::clipboard()->setMimeData(copied);
    edit()->paste();
    EXPECT_EQ(modelText(), before);

    // A file manager's drop: the files, and their addresses as text.
    QMimeData managed;
    managed.setUrls({url(QStringLiteral("notes.txt"))});
    managed.setText(url(QStringLiteral("notes.txt")).toString() + u'\n');
    write(QStringLiteral("notes.txt"), "notes\n");
    EXPECT_TRUE(drop(&managed));
    ASSERT_TRUE(NBETest::waitUntil([&] {
        const auto active = model->tabs().activeTab();
        return active && active->sourceFile.url == url(QStringLiteral("notes.txt"));
    }));
    EXPECT_EQ(modelText(), before);
    EXPECT_FALSE(model->tab(id)->sourceFile.isDirty());

    QMimeData text;
    text.setText(QStringLiteral("<b>"));
    EXPECT_TRUE(drop(&text));
    EXPECT_TRUE(NBETest::waitUntil([&] { return modelText().contains(QStringLiteral("<b>")); }));

    // A browser's link: its address is typed.
    QMimeData link;
    link.setUrls({QUrl(QStringLiteral("https://example.org/a.css"))});
    link.setText(QStringLiteral("https://example.org/a.css"));
    EXPECT_TRUE(drop(&link));
    EXPECT_TRUE(NBETest::waitUntil(
        [&] { return modelText().contains(QStringLiteral("https://example.org/a.css")); }));
}
