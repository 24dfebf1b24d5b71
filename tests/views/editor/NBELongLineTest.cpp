#include "../NBEMainViewFixture.h"
#include "NBECodeSamples.h"
#include "NBECodeTextEdit.h"
#include "NBEColorSwatchOverlay.h"
#include "NBEEditorHighlighter.h"
#include "NBEEditorTestHost.h"
#include "NBEFileTreeView.h"
#include "NBEGutterView.h"
#include "NBELanguageRegistry.h"
#include "NBELongLineDocument.h"
#include "NBELongLineView.h"
#include "NBEMainView.h"
#include "NBESoftBreaks.h"
#include "NBESourceEditor.h"
#include "NBESplitView.h"
#include "NBESwatchScheduler.h"
#include "NBETextEditorCoordinator.h"
#include "NBETextEditorView.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QPromise>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QThreadPool>

namespace {

constexpr int limit = NBESoftBreaks::longestWholeLine;

// A bundle on one line, like a minified script, of about `units` characters.
QString minified(qsizetype units)
{
    return QStringLiteral("!function(){") + NBECodeSamples::minifiedScript(units) +
           QStringLiteral("}();\n");
}

// Digit runs are style 1.
QList<NBEHighlightRun> digits(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral("\\d+"));
    QList<NBEHighlightRun> runs;
    for (auto it = pattern.globalMatch(text); it.hasNext();) {
        const auto match = it.next();
        runs.append({int(match.capturedStart()), int(match.capturedLength()), 1});
    }
    return runs;
}

} // namespace

TEST(NBELongLine, FindsLongLinesOnlyWhereARangeTouches)
{
    const QString longLine(limit + 1, u'x');
    const QString longest(limit, u'x');
    const QString text = QStringLiteral("ab\ncd\n") + longLine + QStringLiteral("\nef");
    const int longStart = 6;
    const int last = int(text.size());
    const struct
    {
        const char *name;
        QString text;
        int from;
        int to;
        bool expected;
    } cases[] = {
        {"short lines", QStringLiteral("ab\ncd"), 0, -1, false},
        {"empty", QString(), 0, -1, false},
        {"as long as allowed", longest, 0, -1, false},
        {"one longer", longLine, 0, -1, true},
        {"whole text", text, 0, -1, true},
        {"first lines only", text, 0, 4, false},
        {"range ends on the long line", text, 0, longStart, true},
        {"range starts inside it", text, longStart + 100, longStart + 101, true},
        {"after it", text, last - 1, last, false},
        {"past the end", text, last + 5, last + 9, false},
        {"before the start", text, -9, 1, false},
    };
    for (const auto &c : cases) {
        QTextDocument document;
        document.setPlainText(c.text);
        EXPECT_EQ(NBELongLineView::hasLongLine(&document, c.from, c.to), c.expected) << c.name;
    }
}

// A line is coloured while it is short, whether the highlighter met its
// document empty or with text, and loses its colours once it grows too long.
TEST(NBELongLine, EditedLinesKeepColoursOnlyWhileShort)
{
    const QString shortLine = QStringLiteral("a 12 b");
    const struct
    {
        const char *name;
        bool startsEmpty;
        QString inserted;
        bool coloured;
    } cases[] = {
        {"short, document met empty", true, QStringLiteral("3"), true},
        {"short, document met with text", false, QStringLiteral("3"), true},
        {"grown too long, met empty", true, QString(limit, u'x'), false},
        {"grown too long, met with text", false, QString(limit, u'x'), false},
    };
    for (const auto &c : cases) {
        NBECodeTextEdit view;
        view.resize(400, 300);
        view.show();
        if (!c.startsEmpty)
            view.setPlainText(shortLine);
        auto *highlighter = new NBEEditorHighlighter(&view);
        highlighter->setStyles({QTextCharFormat(), [] {
                                    QTextCharFormat blue;
                                    blue.setForeground(Qt::blue);
                                    return blue;
                                }()});
        highlighter->setTokenizer(digits);
        if (c.startsEmpty)
            QTextCursor(view.document()).insertText(shortLine);
        highlighter->highlight(view.text());
        ASSERT_TRUE(NBETest::waitForWork([&] { return !highlighter->isBusy(); })) << c.name;
        const QTextBlock line = view.document()->firstBlock();
        ASSERT_FALSE(line.layout()->formats().isEmpty()) << c.name;

        QTextCursor cursor(view.document());
        cursor.setPosition(0);
        cursor.insertText(c.inserted);
        const QList<QTextLayout::FormatRange> formats =
            view.document()->firstBlock().layout()->formats();
        EXPECT_EQ(!formats.isEmpty(), c.coloured) << c.name;
        if (c.coloured) {
            EXPECT_EQ(formats.first().start, 2 + c.inserted.size()) << c.name;
        }
    }
}

// A change of the session's settings,
// language, theme or servers reaches what it has.
TEST(NBELongLine, ASplitViewFollowsItsSessionsChanges)
{
    NBEEditorTestHost host(minified(2 * limit));
    NBETextEditorView view(host.session());
    ASSERT_TRUE(NBETest::longLines(view.textView()));
    host.settings.fontSize = 17;
    host.settings.showLineNumbers = false;
    host.settings.wordWrap = !host.settings.wordWrap;
    host.language = NBELanguageRegistry::javascript();
    host.apply();
    EXPECT_EQ(view.textView()->font().pointSizeF(), 17);
    EXPECT_FALSE(view.textView()->gutter());
    EXPECT_EQ(view.textView()->text(), minified(2 * limit));
}

// A page that holds one long line keeps its typing help on its other lines:
// tags close, abbreviations expand, the server is asked by the text's lines
// and columns, and a colour's swatch sits on its line.
TEST(NBELongLine, TypingHelpWorksInAPageThatAlsoHoldsALongLine)
{
    const QString head = QStringLiteral("<!DOCTYPE html>\n<script>") +
                         NBECodeSamples::minifiedScript(30'000) + QStringLiteral("</script>\n");
    const QString text = head + QStringLiteral("\n<style>p{color:#ff0000}</style>\n");
    NBEEditorTestHost host(text);
    host.language = NBELanguageRegistry::html();
    using Items = std::optional<QList<NBELSPCompletionItem>>;
    QList<QPair<int, int>> asked;
    host.lspCompletion = [&](int line, int character) {
        asked.append({line, character});
        QPromise<Items> promise;
        promise.start();
        promise.addResult(Items(QList<NBELSPCompletionItem>{}));
        promise.finish();
        return promise.future();
    };
    NBETextEditorView view(host.session());
    view.resize(600, 400);
    view.show();
    NBECodeTextEdit *edit = view.textView();
    ASSERT_TRUE(NBETest::longLines(edit));
    const int line3 = int(head.size());
    QTextCursor cursor = edit->textCursor();
    cursor.setPosition(edit->textGeometry().toView(line3));
    edit->setTextCursor(cursor);
    edit->setFocus();

    QTest::keyClicks(edit, QStringLiteral("<div>"));
    EXPECT_EQ(host.text(), QString(text).insert(line3, QStringLiteral("<div></div>")));
    EXPECT_EQ(edit->textCaret(), line3 + 5);
    ASSERT_FALSE(asked.isEmpty());
    for (const auto &[line, character] : asked) {
        EXPECT_EQ(line, 2);
        EXPECT_LE(character, 5);
    }

    QTest::keyClick(edit, Qt::Key_End);
    QTest::keyClick(edit, Qt::Key_Return);
    QTest::keyClicks(edit, QStringLiteral("ul>li"));
    QTest::keyClick(edit, Qt::Key_Tab);
    EXPECT_TRUE(host.text().contains(QStringLiteral("<div></div>\n<ul>")))
        << host.text().mid(line3).toStdString();
    EXPECT_TRUE(host.text().contains(QStringLiteral("<li></li>")));
    EXPECT_TRUE(host.text().startsWith(head));

    NBEColorSwatchOverlay *swatches = view.coordinator()->swatches()->overlay();
    ASSERT_TRUE(swatches);
    const int literal = int(host.text().indexOf(QStringLiteral("#ff0000")));
    ASSERT_TRUE(NBETest::waitUntil([&] {
        return swatches->swatches().size() == 1 &&
               swatches->swatches().first().range.location == literal;
    }));
    cursor.setPosition(edit->textGeometry().toView(literal));
    edit->setTextCursor(cursor);
    const QList<NBEColorSwatchOverlay::Box> boxes = swatches->boxes();
    ASSERT_EQ(boxes.size(), 1);
    const QRect line = edit->cursorRect();
    EXPECT_GE(boxes.first().rect.center().y(), line.top());
    EXPECT_LE(boxes.first().rect.center().y(), line.bottom());
}

// An editor of a long text with a long line is ready once the text is split
// off the main thread; what came meanwhile is kept: a reload's text is the
// one shown, a line revealed is revealed then, and a closed editor leaves
// the tab's text and view state as they were.
TEST(NBELongLine, WhatComesWhileALongTextIsSplitIsKept)
{
    const QString original = minified(NBELongLineView::splitInBackgroundChars);
    const QString reloadedLong = QStringLiteral("/* reloaded */") + original;
    const QString reloadedShort = QStringLiteral("let reloaded = 1;\n");
    const NBERevealRange chosen{{1, 36'142}, {1, 36'150}};
    const struct
    {
        const char *name;
        std::optional<QString> reloaded;
        bool split;
        // The text offsets selected by the reveal.
        int anchor;
        int position;
    } cases[] = {
        {"left as it was", std::nullopt, true, 36'149, 36'141},
        {"reloaded with a long line", reloadedLong, true, 36'149, 36'141},
        {"reloaded short", reloadedShort, false, int(reloadedShort.size()) - 1, 0},
    };
    for (const auto &c : cases) {
        NBEEditorTestHost host(original);
        const std::shared_ptr<NBEEditorSession> session = host.session();
        session->setInitialCaret({1, 5001});
        NBETextEditorView view(session);
        view.resize(800, 600);
        view.show();
        NBECodeTextEdit *edit = view.textView();
        EXPECT_TRUE(edit->isReadOnly()) << c.name;
        EXPECT_LT(edit->document()->characterCount(), original.size() / 8) << c.name;
        if (c.reloaded)
            host.setText(*c.reloaded);
        session->reveal(1, chosen);
        const QString expected = c.reloaded.value_or(original);
        ASSERT_TRUE(NBETest::waitForWork([&] { return !edit->isReadOnly(); })) << c.name;
        EXPECT_EQ(NBETest::longLines(edit) != nullptr, c.split) << c.name;
        EXPECT_EQ(edit->text(), expected) << c.name;
        ASSERT_TRUE(NBETest::waitUntil([&] { return edit->textCaret() == c.position; }))
            << c.name << " " << edit->textCaret();
        EXPECT_EQ(edit->textGeometry().toText(edit->textCursor().anchor()), c.anchor) << c.name;
        // Typed where the reveal left the caret, into the text.
        QTest::keyClicks(edit, QStringLiteral("z"));
        QString typed = expected;
        typed.replace(std::min(c.anchor, c.position), std::abs(c.anchor - c.position),
                      QStringLiteral("z"));
        EXPECT_EQ(host.text(), typed) << c.name;
        // What the view shows is the text, not only what it reads.
        EXPECT_EQ(NBECodeTextEdit::text(edit->document()).remove(u'\n'),
                  QString(typed).remove(u'\n'))
            << c.name;
    }

    // Closed before its text is split: the next editor of the tab finds the
    // text and the place the last one left.
    NBEEditorTestHost host(original);
    const std::shared_ptr<NBEEditorSession> session = host.session();
    const NBEEditorViewState left{host.buffer()->revision(), 5000, 5000, 40, 0};
    session->document().setViewState(left);
    session->setInitialCaret({1, 5001});
    delete new NBETextEditorView(session);
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::processEvents();
    EXPECT_EQ(session->document().viewState(), left);
    EXPECT_EQ(host.text(), original);
    NBETextEditorView next(session);
    ASSERT_TRUE(NBETest::waitForWork([&] { return !next.textView()->isReadOnly(); }));
    EXPECT_EQ(next.textView()->text(), original);
    EXPECT_EQ(next.textView()->textCaret(), 5000);
}

namespace {

// Keys of every kind a user types at once: text, Backspace, a caret move,
// an input method's commit, Return, Delete, a jump to the end, a paste and
// its undo.
void typeAtOnce(NBECodeTextEdit *edit)
{
    QTest::keyClicks(edit, QStringLiteral("abc"));
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClick(edit, Qt::Key_Left);
    // A character a layout types with AltGr.
    QTest::keyClick(edit, Qt::Key_At, Qt::GroupSwitchModifier);
    QInputMethodEvent commit;
    commit.setCommitString(QStringLiteral("ü"));
    QCoreApplication::sendEvent(edit, &commit);
    QTest::keyClick(edit, Qt::Key_Return);
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keySequence(edit, QKeySequence::MoveToEndOfDocument);
    QTest::keyClick(edit, Qt::Key_Z);
    QGuiApplication::clipboard()->setText(QStringLiteral("pasted"));
    QTest::keySequence(edit, QKeySequence::Paste);
    QTest::keyClick(edit, Qt::Key_Y);
    QTest::keySequence(edit, QKeySequence::Undo);
}

} // namespace

// Keys typed into an editor of a long text while its line is split reach
// the text in order, as if typed once it is shown: also when the editor
// goes first (its tab switched or closed), and before a window's shortcut
// that comes after them, which finds them in the text.
TEST(NBELongLine, KeysTypedWhileALongTextIsSplitReachIt)
{
    // Long enough that its split outlasts showing the window.
    const QString original = minified(4 * NBELongLineView::splitInBackgroundChars);
    const NBECursorPosition start{1, 5001};
    // The same keys typed once the text is shown.
    QString expected;
    int caret = 0;
    {
        NBEEditorTestHost host(original);
        host.session()->setInitialCaret(start);
        NBETextEditorView view(host.session());
        view.resize(800, 600);
        view.show();
        NBECodeTextEdit *edit = view.textView();
        ASSERT_TRUE(NBETest::waitForWork([&] { return !edit->isReadOnly(); }));
        typeAtOnce(edit);
        expected = host.text();
        caret = edit->textCaret();
    }
    ASSERT_EQ(expected.mid(5000, 4), QStringLiteral("a@ü\n"));
    ASSERT_NE(expected.right(12), original.right(12)) << expected.right(12).toStdString();

    enum class Then { wait, close, shortcut };
    const struct
    {
        const char *name;
        Then then;
    } cases[] = {
        {"shown once split", Then::wait},
        {"editor closed first", Then::close},
        {"a window's shortcut after them", Then::shortcut},
    };
    for (const auto &c : cases) {
        NBEEditorTestHost host(original);
        const std::shared_ptr<NBEEditorSession> session = host.session();
        session->setInitialCaret(start);
        QWidget window;
        std::optional<QString> atShortcut;
        auto *save = new QAction(&window);
        save->setShortcut(QKeySequence::Save);
        QObject::connect(save, &QAction::triggered, [&] { atShortcut = host.text(); });
        window.addAction(save);
        auto *view = new NBETextEditorView(session, &window);
        NBECodeTextEdit *edit = view->textView();
        window.resize(800, 600);
        window.show();
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window)) << c.name;
        edit->setFocus();
        ASSERT_TRUE(edit->isReadOnly()) << c.name;
        typeAtOnce(edit);
        // None of them made it wait for the text.
        EXPECT_TRUE(edit->isReadOnly()) << c.name;
        if (c.then == Then::shortcut) {
            QTest::keySequence(edit, QKeySequence::Save);
            ASSERT_TRUE(atShortcut) << c.name;
            EXPECT_TRUE(*atShortcut == expected) << c.name;
        }
        if (c.then == Then::close) {
            delete view;
            EXPECT_TRUE(host.text() == expected) << c.name;
            ASSERT_TRUE(session->document().viewState()) << c.name;
            EXPECT_EQ(session->document().viewState()->position, caret) << c.name;
            continue;
        }
        ASSERT_TRUE(NBETest::waitForWork([&] { return !edit->isReadOnly(); })) << c.name;
        EXPECT_TRUE(host.text() == expected) << c.name;
        EXPECT_EQ(edit->textCaret(), caret) << c.name;
        // Typing goes on from there.
        QTest::keyClick(edit, Qt::Key_X);
        EXPECT_TRUE(host.text() == QString(expected).insert(caret, u'x')) << c.name;
    }
}

// What an input method composes while a long text is split shows at the
// caret as in any view, underlined as the method asks; its commits reach the
// text once, and what is still being composed when the text is shown goes
// on there.
TEST(NBELongLine, ComposingWhileALongTextIsSplitShowsAndReachesIt)
{
    const QString original = minified(4 * NBELongLineView::splitInBackgroundChars);
    NBEEditorTestHost host(original);
    host.session()->setInitialCaret({1, 5001});
    NBETextEditorView view(host.session());
    view.resize(800, 600);
    view.show();
    NBECodeTextEdit *edit = view.textView();
    ASSERT_TRUE(edit->isReadOnly());
    const QString shownFirst = NBECodeTextEdit::text(edit->document());
    // Asked first, as the window system asks: a method sends nothing to a
    // view that takes no input.
    QInputMethodQueryEvent query(Qt::ImEnabled | Qt::ImReadOnly | Qt::ImCursorPosition);
    QCoreApplication::sendEvent(edit, &query);
    EXPECT_TRUE(query.value(Qt::ImEnabled).toBool());
    EXPECT_FALSE(query.value(Qt::ImReadOnly).toBool());
    EXPECT_EQ(query.value(Qt::ImCursorPosition), edit->inputMethodQuery(Qt::ImCursorPosition));

    const auto compose = [&](const QString &preedit, const QString &commit = {}) {
        QTextCharFormat underline;
        underline.setFontUnderline(true);
        QInputMethodEvent event(
            preedit, {{QInputMethodEvent::TextFormat, 0, int(preedit.size()), underline}});
        event.setCommitString(commit);
        QCoreApplication::sendEvent(edit, &event);
    };
    const auto composed = [&] { return edit->textCursor().block().layout()->preeditAreaText(); };
    const auto underlined = [&] {
        const QList<QTextLayout::FormatRange> formats =
            edit->textCursor().block().layout()->formats();
        return std::any_of(formats.cbegin(), formats.cend(),
                           [](const QTextLayout::FormatRange &range) {
                               return range.format.fontUnderline() && range.length > 0;
                           });
    };

    // Selected with the mouse in what the view shows meanwhile.
    QTextCursor selected = edit->textCursor();
    selected.setPosition(10);
    selected.setPosition(20, QTextCursor::KeepAnchor);
    edit->setTextCursor(selected);
    compose(QStringLiteral("ni"));
    EXPECT_EQ(composed(), QStringLiteral("ni"));
    EXPECT_TRUE(underlined());
    compose({}, QStringLiteral("你"));
    EXPECT_EQ(composed(), QString());
    compose(QStringLiteral("ha"));
    compose(QStringLiteral("hao"));
    EXPECT_EQ(composed(), QStringLiteral("hao"));
    // Shown only: the text waits for the commit, the view's text is as it was.
    EXPECT_TRUE(edit->isReadOnly());
    EXPECT_TRUE(host.text() == original);
    EXPECT_TRUE(NBECodeTextEdit::text(edit->document()) == shownFirst);

    ASSERT_TRUE(NBETest::waitForWork([&] { return !edit->isReadOnly(); }));
    EXPECT_TRUE(host.text() == QString(original).insert(5000, QStringLiteral("你")));
    EXPECT_EQ(edit->textCaret(), 5001);
    EXPECT_EQ(composed(), QStringLiteral("hao"));
    EXPECT_TRUE(underlined());
    compose({}, QStringLiteral("好"));
    EXPECT_EQ(composed(), QString());
    EXPECT_TRUE(host.text() == QString(original).insert(5000, QStringLiteral("你好")));
    EXPECT_EQ(edit->textCaret(), 5002);
}

class NBELongLineWindowTest : public NBEMainViewFixture
{
protected:
    void openInWindow(const QString &relative)
    {
        ASSERT_NO_FATAL_FAILURE(makeView());
        NBETest::await(view->viewModel()->navigation().openFile(url(relative), false));
        // Shown and sized: a first layout of a wrapped text moves its scroll
        // position.
        ASSERT_TRUE(NBETest::waitUntil([&] {
            return view->sourceEditor() && !textView()->isReadOnly() &&
                   textView()->document()->characterCount() > 1 && textView()->isVisible();
        }));
        QTest::qWait(50);
    }

    NBECodeTextEdit *textView() const { return view->sourceEditor()->editor()->textView(); }

    void saveAndExpect(const QByteArray &bytes)
    {
        view->viewModel()->saveActiveFile();
        ASSERT_TRUE(
            NBETest::waitUntil([&] { return read(QStringLiteral("bundle.min.js")) == bytes; }));
        ASSERT_TRUE(NBETest::waitUntil(
            [&] { return !view->viewModel()->tabs().activeTab()->sourceFile.isDirty(); }));
    }
};

// A bundle of a megabyte on one line is shown in pieces a view lays out at
// once; every key and command works on the text as the file holds it.
TEST_F(NBELongLineWindowTest, AOneLineMegabyteIsShownSplitAndEditedAsTheText)
{
    const QString original = minified(1024 * 1024);
    const QByteArray saved = original.toUtf8();
    write(QStringLiteral("bundle.min.js"), saved);
    openInWindow(QStringLiteral("bundle.min.js"));
    NBECodeTextEdit *edit = textView();
    // Its start first, then split once its split document is made.
    ASSERT_TRUE(NBETest::waitUntil([&] { return NBETest::longLines(edit) != nullptr; }));
    NBELongLineDocument *longLines = NBETest::longLines(edit);
    EXPECT_FALSE(edit->isShapingSkipped());
    EXPECT_GT(edit->document()->blockCount(), 200);
    for (QTextBlock block = edit->document()->begin(); block.isValid(); block = block.next())
        ASSERT_LE(block.length() - 1, NBESoftBreaks::longestPiece);
    // The pieces on screen are rows of line 1.
    ASSERT_TRUE(edit->gutter());
    const auto rows = edit->gutter()->visibleLineLayout();
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows.first().first, 1);
    EXPECT_GT(rows.first().second.height(), 3 * edit->fontMetrics().height());

    const auto placeAtText = [&](int offset) {
        QTextCursor cursor = edit->textCursor();
        cursor.setPosition(longLines->toView(offset));
        edit->setTextCursor(cursor);
    };
    const auto caret = [&] { return longLines->toText(edit->textCursor().position()); };
    const int middle = int(original.size() / 2);
    placeAtText(middle);
    edit->setFocus();
    QTest::keyClicks(edit, QStringLiteral("abc"));
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClick(edit, Qt::Key_Left);
    // A key beyond ASCII, as a keyboard layout sends it.
    QKeyEvent accent(QEvent::KeyPress, Qt::Key_Eacute, Qt::NoModifier, QStringLiteral("é"));
    QCoreApplication::sendEvent(edit, &accent);
    EXPECT_EQ(caret(), middle + 2);
    QString typed = original;
    typed.insert(middle, QStringLiteral("aéb"));
    EXPECT_EQ(edit->text(), typed);
    // The pieces on screen are coloured.
    EXPECT_TRUE(NBETest::waitUntil(
        [&] { return !edit->textCursor().block().layout()->formats().isEmpty(); }));
    // The status bar counts in the text.
    EXPECT_TRUE(NBETest::waitUntil([&] {
        return view->viewModel()
                   ->tabs()
                   .document(view->viewModel()->tabs().activeTab()->id)
                   ->caret() == NBECursorPosition{1, middle + 3};
    }));

    // Where the view split the line: Backspace and Delete take the text's
    // characters, a step right moves one place, a copy has no break.
    const QTextBlock piece = edit->document()->findBlockByNumber(3);
    ASSERT_TRUE(edit->continuesLine(piece));
    const int split = longLines->toText(piece.position());
    QTextCursor cursor = edit->textCursor();
    cursor.setPosition(piece.position());
    edit->setTextCursor(cursor);
    QTest::keyClick(edit, Qt::Key_Backspace);
    typed.remove(split - 1, 1);
    EXPECT_EQ(edit->text(), typed);
    EXPECT_EQ(caret(), split - 1);
    QTest::keyClick(edit, Qt::Key_Delete);
    typed.remove(split - 1, 1);
    EXPECT_EQ(edit->text(), typed);
    placeAtText(split - 3);
    QTest::keyClick(edit, Qt::Key_Right);
    QTest::keyClick(edit, Qt::Key_Right);
    QTest::keyClick(edit, Qt::Key_Right, Qt::ShiftModifier);
    QTest::keyClick(edit, Qt::Key_Right, Qt::ShiftModifier);
    EXPECT_EQ(caret(), split + 1);
    edit->copy();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), typed.mid(split - 1, 2));
    saveAndExpect(typed.toUtf8());

    // Undone to the opened text, which is saved byte for byte.
    QTest::keySequence(edit, QKeySequence::Undo);
    while (edit->text() != original && longLines->isUndoAvailable())
        QTest::keySequence(edit, QKeySequence::Undo);
    EXPECT_EQ(edit->text(), original);
    saveAndExpect(saved);
    QTest::keySequence(edit, QKeySequence::Redo);
    EXPECT_NE(edit->text(), original);
    EXPECT_TRUE(NBETest::waitUntil(
        [&] { return view->viewModel()->tabs().activeTab()->sourceFile.isDirty(); }));
}

// A minified file of megabytes opens split: the editor never shows its line
// whole, which would lay out megabytes on the main thread.
TEST_F(NBELongLineWindowTest, AOneLineFileOfMegabytesOpensSplit)
{
    const QString original = minified(3 * 1024 * 1024);
    write(QStringLiteral("bundle.min.js"), original.toUtf8());
    ASSERT_NO_FATAL_FAILURE(makeView());
    bool wholeShown = false;
    NBETest::await(
        view->viewModel()->navigation().openFile(url(QStringLiteral("bundle.min.js")), false));
    ASSERT_TRUE(NBETest::waitUntil([&] {
        if (view->sourceEditor() && !textView()->isReadOnly() && !NBETest::longLines(textView()))
            wholeShown = true;
        return view->sourceEditor() && NBETest::longLines(textView()) != nullptr;
    }));
    EXPECT_FALSE(wholeShown);
    EXPECT_EQ(textView()->text(), original);
}

// A paste of a quarter million characters on one line is shown split at
// once, and its undo and redo come back the same way.
TEST_F(NBELongLineWindowTest, ALongPasteIsShownSplitWithItsUndoAndRedo)
{
    const QString original = minified(2 * limit);
    write(QStringLiteral("bundle.min.js"), original.toUtf8());
    openInWindow(QStringLiteral("bundle.min.js"));
    NBECodeTextEdit *edit = textView();
    NBELongLineDocument *longLines = NBETest::longLines(edit);
    ASSERT_TRUE(longLines);
    const int at = 12'345;
    QTextCursor cursor = edit->textCursor();
    cursor.setPosition(longLines->toView(at));
    edit->setTextCursor(cursor);
    edit->setFocus();
    const QString pasted = NBECodeSamples::minifiedScript(256'000).left(256'000);
    QGuiApplication::clipboard()->setText(pasted);
    QTest::keySequence(edit, QKeySequence::Paste);
    QString expected = original;
    expected.insert(at, pasted);
    const auto expectShown = [&](const QString &text) {
        ASSERT_EQ(edit->text(), text);
        for (QTextBlock block = edit->document()->begin(); block.isValid(); block = block.next())
            ASSERT_LE(block.length() - 1, NBESoftBreaks::longestPiece);
        ASSERT_EQ(edit->document()->characterCount() - 1, longLines->toView(int(text.size())));
    };
    ASSERT_NO_FATAL_FAILURE(expectShown(expected));
    EXPECT_EQ(longLines->toText(edit->textCursor().position()), at + pasted.size());
    // Typing on lands after the pasted text.
    QTest::keyClick(edit, Qt::Key_Z);
    expected.insert(at + pasted.size(), u'z');
    ASSERT_NO_FATAL_FAILURE(expectShown(expected));
    QTest::keySequence(edit, QKeySequence::Undo);
    QTest::keySequence(edit, QKeySequence::Undo);
    ASSERT_NO_FATAL_FAILURE(expectShown(original));
    QTest::keySequence(edit, QKeySequence::Redo);
    ASSERT_NO_FATAL_FAILURE(expectShown(QString(original).insert(at, pasted)));
}

// The same paste into a text shown whole: the view shows the text split
// before the line reaches it, so the line is never laid out whole, and the
// view keeps its mapping to the text through undo and redo, also a redo
// into the view shown whole again.
TEST_F(NBELongLineWindowTest, ALongPasteIntoAWholeViewIsSplitBeforeItIsShown)
{
    const QString original = QStringLiteral("let a = 1;\nlet b = 2;\n");
    write(QStringLiteral("app.js"), original.toUtf8());
    openInWindow(QStringLiteral("app.js"));
    NBECodeTextEdit *edit = textView();
    ASSERT_FALSE(NBETest::longLines(edit));
    QTextDocument *text = edit->document();
    const int at = 19;
    QTextCursor cursor = edit->textCursor();
    cursor.setPosition(at);
    edit->setTextCursor(cursor);
    edit->setFocus();
    const QString pasted = NBECodeSamples::minifiedScript(256'000).left(256'000);
    QGuiApplication::clipboard()->setText(pasted);
    QTest::keySequence(edit, QKeySequence::Paste);
    ASSERT_TRUE(NBETest::longLines(edit));
    EXPECT_EQ(text->findBlock(at).layout()->lineCount(), 0);
    NBELongLineDocument *longLines = NBETest::longLines(edit);
    const auto expectShown = [&](const QString &shown) {
        ASSERT_EQ(edit->text(), shown);
        for (QTextBlock block = edit->document()->begin(); block.isValid(); block = block.next())
            ASSERT_LE(block.length() - 1, NBESoftBreaks::longestPiece);
        ASSERT_EQ(edit->document()->characterCount() - 1, longLines->toView(int(shown.size())));
        for (int offset = 0; offset <= shown.size(); offset += 997)
            ASSERT_EQ(longLines->toText(longLines->toView(offset)), offset);
    };
    QString expected = original;
    expected.insert(at, pasted);
    ASSERT_NO_FATAL_FAILURE(expectShown(expected));
    EXPECT_EQ(longLines->toText(edit->textCursor().position()), at + pasted.size());
    QTest::keySequence(edit, QKeySequence::Undo);
    ASSERT_NO_FATAL_FAILURE(expectShown(original));
    QTest::keySequence(edit, QKeySequence::Redo);
    ASSERT_NO_FATAL_FAILURE(expectShown(expected));
    QTest::keySequence(edit, QKeySequence::Undo);
    ASSERT_NO_FATAL_FAILURE(expectShown(original));
    // Shown whole again at the pause, the redo that brings the line back
    // splits the view before it does.
    ASSERT_TRUE(NBETest::waitUntil([&] { return !NBETest::longLines(edit); }));
    QTest::keySequence(edit, QKeySequence::Redo);
    longLines = NBETest::longLines(edit);
    ASSERT_TRUE(longLines);
    EXPECT_EQ(text->findBlock(at).layout()->lineCount(), 0);
    ASSERT_NO_FATAL_FAILURE(expectShown(expected));
    EXPECT_EQ(longLines->toText(edit->textCursor().position()), at + pasted.size());
    QTest::keySequence(edit, QKeySequence::Undo);
    ASSERT_NO_FATAL_FAILURE(expectShown(original));
    // A step that brings no long line back goes the same way, and the view
    // is whole again at the pause.
    ASSERT_TRUE(NBETest::waitUntil([&] { return !NBETest::longLines(edit); }));
    QTest::keyClick(edit, Qt::Key_X);
    ASSERT_EQ(edit->text(), QString(original).insert(at, u'x'));
    QTest::keySequence(edit, QKeySequence::Undo);
    EXPECT_EQ(edit->text(), original);
    EXPECT_EQ(edit->textCursor().position(), at);
    EXPECT_TRUE(NBETest::waitUntil([&] { return !NBETest::longLines(edit); }));
    EXPECT_EQ(edit->text(), original);
}

namespace {

// Counts the paints of a view that show its first line without colours.
class PlainPaints : public QObject
{
public:
    explicit PlainPaints(NBECodeTextEdit *view)
        : m_view(view)
    {
        view->viewport()->installEventFilter(this);
    }
    int paints = 0;
    int plain = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() != QEvent::Paint)
            return false;
        // The short lines on screen (not a piece of the pasted line).
        bool shown = false;
        bool coloured = false;
        QTextBlock block = m_view->firstVisibleTextBlock();
        for (int i = 0; i < 40 && block.isValid(); ++i, block = block.next()) {
            if (block.length() > 2 && block.length() < 100) {
                shown = true;
                coloured = coloured || !block.layout()->formats().isEmpty();
            }
        }
        paints += shown;
        plain += shown && !coloured;
        return false;
    }

private:
    NBECodeTextEdit *m_view;
};

} // namespace

// A coloured text that goes to the split view keeps its colours on the
// way: no paint shows its lines plain until the split view's own pass.
TEST_F(NBELongLineWindowTest, ColoursStayWhenTheTextGoesToTheSplitView)
{
    QString script;
    while (script.size() < 600'000)
        script += QStringLiteral("let value%1 = compute(%1);\n").arg(script.size());
    write(QStringLiteral("app.js"), script.toUtf8());
    openInWindow(QStringLiteral("app.js"));
    NBECodeTextEdit *edit = textView();
    ASSERT_FALSE(NBETest::longLines(edit));
    ASSERT_TRUE(NBETest::waitUntil(
        [&] { return !edit->document()->firstBlock().layout()->formats().isEmpty(); }));
    PlainPaints watch(edit);
    QTextCursor cursor = edit->textCursor();
    cursor.setPosition(int(script.indexOf(u'\n', 100)));
    edit->setTextCursor(cursor);
    edit->setFocus();
    QGuiApplication::clipboard()->setText(NBECodeSamples::minifiedScript(30'000).left(30'000));
    QTest::keySequence(edit, QKeySequence::Paste);
    ASSERT_TRUE(NBETest::longLines(edit));
    NBEEditorHighlighter *highlighter =
        view->sourceEditor()->editor()->coordinator()->highlighter();
    ASSERT_TRUE(NBETest::waitForWork([&] { return watch.paints > 0 && !highlighter->isBusy(); }));
    QTest::qWait(100);
    EXPECT_GT(watch.paints, 0);
    EXPECT_EQ(watch.plain, 0);
}

TEST_F(NBELongLineWindowTest, ALineTypedTooLongIsShownSplitWithItsCaretAndUndo)
{
    const QString text = QStringLiteral("short\n") + QString(limit - 1, u'y') + u'\n';
    write(QStringLiteral("bundle.min.js"), text.toUtf8());
    openInWindow(QStringLiteral("bundle.min.js"));
    NBECodeTextEdit *edit = textView();
    EXPECT_FALSE(edit->isShapingSkipped());
    EXPECT_FALSE(NBETest::longLines(edit));
    // The text took the view's font and options before it was first laid out.
    EXPECT_EQ(edit->document()->defaultFont(), edit->font());
    EXPECT_EQ(edit->document()->defaultTextOption().tabStopDistance(), edit->tabStopDistance());
    EXPECT_EQ(edit->document()->defaultTextOption().wrapMode(),
              QTextOption::WrapAtWordBoundaryOrAnywhere);

    // Two more characters make the second line too long: the same editor
    // shows it split, the caret where it was.
    QTextCursor cursor = edit->textCursor();
    cursor.setPosition(7);
    edit->setTextCursor(cursor);
    QTest::keyClicks(edit, QStringLiteral("zz"));
    ASSERT_TRUE(NBETest::waitUntil([&] { return NBETest::longLines(textView()) != nullptr; }));
    EXPECT_EQ(textView(), edit);
    QString typed = text;
    typed.insert(7, QStringLiteral("zz"));
    EXPECT_EQ(edit->text(), typed);
    EXPECT_EQ(NBETest::longLines(edit)->toText(edit->textCursor().position()), 9);
    ASSERT_TRUE(NBETest::waitUntil([&] { return edit->hasFocus(); }));
    QTest::keyClick(edit, Qt::Key_A);
    typed.insert(9, u'a');
    EXPECT_EQ(edit->text(), typed);
    // The history from before goes on.
    QTest::keySequence(edit, QKeySequence::Undo);
    QTest::keySequence(edit, QKeySequence::Undo);
    EXPECT_EQ(edit->text(), text);
}

// A long line broken into short ones leaves no pieces behind: at the pause
// the view shows the text whole again, the caret where it was; undone, the
// line is shown split again.
TEST_F(NBELongLineWindowTest, AViewWhoseLongLineGoesShowsTheTextWholeAgain)
{
    const QString text = QStringLiteral("a\n") + minified(3 * limit / 2) + QStringLiteral("b\n");
    write(QStringLiteral("bundle.min.js"), text.toUtf8());
    openInWindow(QStringLiteral("bundle.min.js"));
    NBECodeTextEdit *edit = textView();
    ASSERT_TRUE(NBETest::longLines(edit));
    const int middle = 2 + limit * 3 / 4;
    QTextCursor cursor = edit->textCursor();
    cursor.setPosition(NBETest::longLines(edit)->toView(middle));
    edit->setTextCursor(cursor);
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_Return);
    QString broken = text;
    broken.insert(middle, u'\n');
    ASSERT_TRUE(NBETest::waitUntil([&] { return NBETest::longLines(edit) == nullptr; }));
    EXPECT_EQ(edit->text(), broken);
    EXPECT_EQ(edit->document()->blockCount(), int(broken.count(u'\n')) + 1);
    EXPECT_EQ(edit->textCaret(), middle + 1);
    QTest::keyClick(edit, Qt::Key_X);
    broken.insert(middle + 1, u'x');
    EXPECT_EQ(edit->text(), broken);
    QTest::keySequence(edit, QKeySequence::Undo);
    QTest::keySequence(edit, QKeySequence::Undo);
    EXPECT_EQ(edit->text(), text);
    ASSERT_TRUE(NBETest::waitUntil([&] { return NBETest::longLines(edit) != nullptr; }));
    EXPECT_EQ(edit->text(), text);
}

TEST_F(NBELongLineWindowTest, AShownAgainTextIsSplitAgainAndOtherTextsShownWhole)
{
    const QString bundle = minified(2 * limit);
    write(QStringLiteral("bundle.min.js"), bundle.toUtf8());
    write(QStringLiteral("other.js"), QByteArrayLiteral("let a = 1;\n"));
    openInWindow(QStringLiteral("bundle.min.js"));
    EXPECT_TRUE(NBETest::longLines(textView()));
    const auto showTab = [&](const QString &name, const QString &text) {
        NBETest::await(view->viewModel()->navigation().openFile(url(name), false));
        return NBETest::waitUntil(
            [&] { return view->sourceEditor() && textView()->text() == text; });
    };
    ASSERT_TRUE(showTab(QStringLiteral("other.js"), QStringLiteral("let a = 1;\n")));
    EXPECT_FALSE(NBETest::longLines(textView()));
    EXPECT_EQ(textView()->document()->blockCount(), 2);
    ASSERT_TRUE(showTab(QStringLiteral("bundle.min.js"), bundle));
    EXPECT_TRUE(NBETest::longLines(textView()));
    EXPECT_GT(textView()->document()->blockCount(), 10);

    // A text reloaded with a long line is shown split too.
    ASSERT_TRUE(showTab(QStringLiteral("other.js"), QStringLiteral("let a = 1;\n")));
    view->viewModel()->tabs().activeTab()->sourceFile.buffer->replaceAll(bundle, true);
    ASSERT_TRUE(NBETest::waitUntil([&] { return NBETest::longLines(textView()) != nullptr; }));
    EXPECT_EQ(textView()->text(), bundle);
}

// Keys typed into a one-line file of megabytes as it opens or is shown
// again (its line split anew) reach its text, also when its tab is left
// before the split ends; keys typed into it before its tab is closed go
// into no other tab.
TEST_F(NBELongLineWindowTest, KeysTypedWhileAOneLineFileIsSplitReachItsOwnTab)
{
    const QString bundle = minified(4 * NBELongLineView::splitInBackgroundChars);
    const QString other = QStringLiteral("let a = 1;\n");
    write(QStringLiteral("bundle.min.js"), bundle.toUtf8());
    write(QStringLiteral("other.js"), other.toUtf8());
    openInWindow(QStringLiteral("other.js"));
    NBEWorkspaceTabs &tabs = view->viewModel()->tabs();
    const auto showOther = [&] {
        NBETest::await(
            view->viewModel()->navigation().openFile(url(QStringLiteral("other.js")), false));
        return NBETest::waitUntil(
            [&] { return view->sourceEditor() && textView()->text() == other; });
    };
    // Shows the bundle's tab and types `keys` before its split ends.
    const auto typeAsShown = [&](const QString &keys) {
        const QPointer<NBECodeTextEdit> before = textView();
        view->viewModel()->navigation().openFile(url(QStringLiteral("bundle.min.js")), false);
        // Its editor is made from the event loop.
        ASSERT_TRUE(NBETest::waitUntil(
            [&] { return view->sourceEditor() && textView() != before.data(); }));
        NBECodeTextEdit *edit = textView();
        ASSERT_TRUE(edit->isReadOnly());
        edit->setFocus();
        QTest::keyClicks(edit, keys);
    };
    const auto textOf = [&](const QString &name) {
        for (const NBEOpenTab &tab : tabs.tabs())
            if (tab.sourceFile.url == url(name))
                return std::optional(tab.sourceFile.buffer->text());
        return std::optional<QString>();
    };

    ASSERT_NO_FATAL_FAILURE(typeAsShown(QStringLiteral("ab")));
    ASSERT_TRUE(NBETest::waitForWork([&] { return !textView()->isReadOnly(); }));
    EXPECT_TRUE(textView()->text() == QStringLiteral("ab") + bundle);

    // Left before its split ends: the keys are in its text when it is
    // shown again, and not in the other tab's.
    ASSERT_TRUE(showOther());
    ASSERT_NO_FATAL_FAILURE(typeAsShown(QStringLiteral("cd")));
    ASSERT_TRUE(showOther());
    EXPECT_TRUE(textOf(QStringLiteral("bundle.min.js")) == QStringLiteral("abcd") + bundle);
    ASSERT_NO_FATAL_FAILURE(typeAsShown(QStringLiteral("ef")));
    ASSERT_TRUE(NBETest::waitForWork([&] { return !textView()->isReadOnly(); }));
    const QString typed = QStringLiteral("abcdef") + bundle;
    EXPECT_TRUE(textView()->text() == typed);
    EXPECT_EQ(textView()->textCaret(), 6);
    saveAndExpect(typed.toUtf8());

    // Closed before its split ends.
    ASSERT_TRUE(showOther());
    ASSERT_NO_FATAL_FAILURE(typeAsShown(QStringLiteral("gh")));
    const QUuid bundleTab = tabs.activeTab()->id;
    EXPECT_TRUE(NBETest::await(tabs.closeTab(bundleTab)));
    ASSERT_TRUE(
        NBETest::waitUntil([&] { return view->sourceEditor() && textView()->text() == other; }));
    EXPECT_EQ(textOf(QStringLiteral("other.js")), other);
    EXPECT_FALSE(textOf(QStringLiteral("bundle.min.js")));
    QTest::qWait(50);
    EXPECT_EQ(read(QStringLiteral("other.js")), other.toUtf8());
    EXPECT_TRUE(read(QStringLiteral("bundle.min.js")) == typed.toUtf8());

    // A click elsewhere (a tab's close button would decide on the text as
    // it is) finds the keys typed before it in the text.
    ASSERT_NO_FATAL_FAILURE(typeAsShown(QStringLiteral("ij")));
    QWidget *tree = view->fileTree()->treeWidget()->viewport();
    QTest::mousePress(tree, Qt::LeftButton, {}, QPoint(2, tree->height() - 2));
    EXPECT_TRUE(textOf(QStringLiteral("bundle.min.js")) == QStringLiteral("ij") + typed);
    EXPECT_TRUE(tabs.activeTab()->sourceFile.isDirty());
    QTest::mouseRelease(tree, Qt::LeftButton, {}, QPoint(2, tree->height() - 2));
}
