#include "NBETextEditorView.h"
#include "NBECodeTextEdit.h"
#include "NBEDefaultThemes.h"
#include "NBEEditorFormatting.h"
#include "NBEEditorTestHost.h"
#include "NBEFindBar.h"
#include "NBEGutterView.h"
#include "NBELanguageRegistry.h"
#include "NBEQtPrinters.h"
#include "NBEScrollLink.h"
#include "NBESplitView.h"
#include "NBETestSupport.h"
#include "NBETextEditorCoordinator.h"

#include <QPromise>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <gtest/gtest.h>

namespace {

QString numberedLines(int count)
{
    QStringList lines;
    for (int i = 1; i <= count; ++i)
        lines << QStringLiteral("<p>line %1</p>").arg(i);
    return lines.join(u'\n');
}

void typeText(NBETextEditorView &view, const QString &keys)
{
    QTest::keyClicks(view.textView(), keys);
}

} // namespace

TEST(NBETextEditorView, TypingReachesTheBufferAtOnceAndARenderReplacesNothing)
{
    NBEEditorTestHost host(QStringLiteral("hello"));
    NBETextEditorView view(host.session());
    view.textView()->moveCursor(QTextCursor::End);
    typeText(view, QStringLiteral("!?"));
    EXPECT_EQ(host.text(), QStringLiteral("hello!?"));
    EXPECT_EQ(host.changes, 2);
    EXPECT_EQ(host.announced, host.text());
    EXPECT_TRUE(view.coordinator()->isUserEditing());

    // The window renders again while the user types.
    host.apply();
    EXPECT_TRUE(view.textView()->document()->isUndoAvailable());
    // Typing is grouped into one undo step, as text views do.
    view.textView()->undo();
    EXPECT_EQ(host.text(), QStringLiteral("hello"));
    EXPECT_EQ(host.carets.last(), (QPair<int, int>{1, 6}));
}

TEST(NBETextEditorView, AnOutsideReplacementOfTheBufferClearsUndoAndKeepsTheCaret)
{
    NBEEditorTestHost host(QStringLiteral("one\ntwo\nthree"));
    NBETextEditorView view(host.session());
    QTextCursor cursor = view.textView()->textCursor();
    cursor.setPosition(6);
    view.textView()->setTextCursor(cursor);
    typeText(view, QStringLiteral("X"));
    ASSERT_TRUE(view.textView()->document()->isUndoAvailable());

    host.setText(QStringLiteral("reloaded\nfrom disk"));
    host.apply();
    EXPECT_EQ(view.textView()->text(), QStringLiteral("reloaded\nfrom disk"));
    EXPECT_FALSE(view.textView()->document()->isUndoAvailable());
    EXPECT_EQ(host.announced, host.text());
    EXPECT_EQ(view.textView()->textCursor().position(), 7); // caret kept where it can be

    // Undo after the replacement does nothing; new typing is undoable again.
    view.textView()->undo();
    EXPECT_EQ(view.textView()->text(), QStringLiteral("reloaded\nfrom disk"));
    typeText(view, QStringLiteral("Y"));
    view.textView()->undo();
    EXPECT_EQ(host.text(), QStringLiteral("reloaded\nfrom disk"));
}

TEST(NBETextEditorView, TextWithNonBreakingSpacesRoundTrips)
{
    NBEEditorTestHost host(QStringLiteral("a\u00A0b"));
    NBETextEditorView view(host.session());
    view.textView()->moveCursor(QTextCursor::End);
    typeText(view, QStringLiteral("c"));
    EXPECT_EQ(host.text(), QStringLiteral("a\u00A0bc"));
}

TEST(NBETextEditorView, EveryKindOfEditIsAnnouncedByTheBufferAsTheEditorsText)
{
    NBEEditorTestHost host(numberedLines(400));
    host.language = NBELanguageRegistry::html();
    NBETextEditorView view(host.session());
    view.resize(600, 400);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    NBECodeTextEdit *edit = view.textView();
    const auto cursorAt = [&](int position, int anchor = -1) {
        QTextCursor cursor(edit->document());
        cursor.setPosition(anchor < 0 ? position : anchor);
        cursor.setPosition(position, QTextCursor::KeepAnchor);
        edit->setTextCursor(cursor);
        return cursor;
    };
    const QString longPaste = QStringLiteral("<li>pasted</li>\n").repeated(400);
    const struct
    {
        const char *name;
        std::function<void()> edit;
    } steps[] = {
        {"typing", [&] { cursorAt(20), QTest::keyClicks(edit, QStringLiteral("ab\u00A0c")); }},
        {"return", [&] { QTest::keyClick(edit, Qt::Key_Return); }},
        {"backspace joins lines",
         [&] {
             cursorAt(edit->document()->findBlockByNumber(5).position());
             QTest::keyClick(edit, Qt::Key_Backspace);
         }},
        {"selection over lines replaced",
         [&] {
             cursorAt(300, 120);
             QTest::keyClicks(edit, QStringLiteral("Z"));
         }},
        {"multi-line insert", [&] { cursorAt(40).insertText(QStringLiteral("x\ny\n\nz")); }},
        {"long paste", [&] { cursorAt(10).insertText(longPaste); }},
        {"undo", [&] { edit->undo(); }},
        {"redo", [&] { edit->redo(); }},
        {"delete to the end",
         [&] { cursorAt(edit->document()->characterCount() - 1, 5000).removeSelectedText(); }},
        {"undo twice",
         [&] {
             edit->undo();
             edit->undo();
         }},
    };
    for (const auto &step : steps) {
        SCOPED_TRACE(step.name);
        step.edit();
        EXPECT_EQ(host.announced, edit->text());
        // The recolouring after the rest changes formats only.
        const int before = host.changes;
        ASSERT_TRUE(NBETest::waitForWork([&] {
            return !view.coordinator()->isUserEditing() &&
                   !view.coordinator()->highlighter()->isBusy();
        }));
        EXPECT_EQ(host.changes, before);
        EXPECT_EQ(host.announced, edit->text());
    }
}

TEST(NBETextEditorView, TextWithCarriageReturnsIsAnnouncedAsTheEditorShowsIt)
{
    NBEEditorTestHost host(QStringLiteral("one\r\ntwo\rthree"));
    NBETextEditorView view(host.session());
    view.textView()->moveCursor(QTextCursor::End);
    typeText(view, QStringLiteral("!"));
    EXPECT_EQ(host.text(), QStringLiteral("one\ntwo\nthree!"));
    typeText(view, QStringLiteral("?"));
    EXPECT_EQ(host.text(), QStringLiteral("one\ntwo\nthree!?"));
    EXPECT_EQ(host.announced, host.text());
}

TEST(NBETextEditorView, ALargeBufferIsShownWholeEditableAndColouredToItsEnd)
{
    NBEEditorTestHost host(numberedLines(160000));
    host.language = NBELanguageRegistry::html();
    NBETextEditorView view(host.session());
    view.resize(600, 400);
    view.show();
    NBETextEditorCoordinator *coordinator = view.coordinator();
    NBECodeTextEdit *edit = view.textView();
    EXPECT_EQ(edit->text(), host.text());
    EXPECT_FALSE(edit->isReadOnly());

    host.reveal = 150000;
    host.apply();
    EXPECT_TRUE(NBETest::waitUntil([&] { return edit->textCursor().blockNumber() == 149999; }));
    NBEEditorHighlighter *highlighter = coordinator->highlighter();
    // The pass runs below the window's priority, so a busy machine starves it.
    ASSERT_TRUE(NBETest::waitForWork([&] { return !highlighter->isBusy(); }));
    EXPECT_FALSE(highlighter->lineRuns(159999).isEmpty());

    // Typing and edits made by code both reach the buffer's announcements.
    edit->moveCursor(QTextCursor::End);
    QTest::keyClicks(edit, QStringLiteral("!"));
    QTextCursor(edit->document()).insertText(QStringLiteral("X"));
    EXPECT_EQ(host.text(), u'X' + numberedLines(160000) + u'!');
    EXPECT_EQ(host.announced, host.text());
    EXPECT_TRUE(edit->document()->isUndoAvailable());
}

TEST(NBETextEditorView, AMarkdownActionIsOneUndoableEditThatKeepsTheSelection)
{
    NBEEditorTestHost host(QStringLiteral("make this bold"));
    host.language = NBELanguageRegistry::markdown();
    NBETextEditorView view(host.session());
    QTextCursor cursor = view.textView()->textCursor();
    cursor.setPosition(10);
    cursor.setPosition(14, QTextCursor::KeepAnchor);
    view.textView()->setTextCursor(cursor);

    view.coordinator()->formatting()->applyMarkdownAction(NBEMarkdownAction::bold);
    host.apply(); // a render applies nothing again
    EXPECT_EQ(host.text(), QStringLiteral("make this **bold**"));
    EXPECT_EQ(view.textView()->textCursor().selectedText(), QStringLiteral("bold"));

    // One undo step takes the whole edit back.
    view.textView()->undo();
    EXPECT_EQ(host.text(), QStringLiteral("make this bold"));
}

TEST(NBETextEditorView, AnHTMLActionWrapsTheSelection)
{
    NBEEditorTestHost host(QStringLiteral("hello"));
    host.language = NBELanguageRegistry::html();
    NBETextEditorView view(host.session());
    QTextCursor cursor = view.textView()->textCursor();
    cursor.select(QTextCursor::Document);
    view.textView()->setTextCursor(cursor);
    view.coordinator()->formatting()->applyHTMLAction(NBEHTMLAction::bold);
    host.apply();
    EXPECT_EQ(host.text(), QStringLiteral("<strong>hello</strong>"));
}

TEST(NBETextEditorView, HighlightsAfterTheDelayWithTheLanguagesTokens)
{
    NBEEditorTestHost host(QStringLiteral("<p class=\"a\">hi</p>"));
    host.language = NBELanguageRegistry::html();
    NBETextEditorView view(host.session());
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    NBEEditorHighlighter *highlighter = view.coordinator()->highlighter();
    ASSERT_TRUE(NBETest::waitForWork([&] { return !highlighter->isBusy(); }));
    const auto formats = view.textView()->document()->firstBlock().layout()->formats();
    ASSERT_FALSE(formats.isEmpty());
    const QColor tag = NBEDefaultThemes::light().colorFor(NBETokenType::tag);
    EXPECT_TRUE(std::any_of(formats.begin(), formats.end(), [&](const auto &range) {
        return range.format.foreground().color() == tag;
    }));

    // Typing marks the editor busy until the delay has passed, then colours again.
    view.textView()->moveCursor(QTextCursor::End);
    // (A void element, so ">" adds no closing tag.)
    QTest::keyClicks(view.textView(), QStringLiteral(" <br>"));
    EXPECT_TRUE(view.coordinator()->isUserEditing());
    ASSERT_TRUE(NBETest::waitForWork(
        [&] { return !view.coordinator()->isUserEditing() && !highlighter->isBusy(); }));
    const auto after = view.textView()->document()->firstBlock().layout()->formats();
    EXPECT_TRUE(std::any_of(after.begin(), after.end(), [&](const auto &range) {
        return range.start >= 20 && range.format.foreground().color() == tag;
    }));
    EXPECT_EQ(view.textView()->document()->availableUndoSteps(), 1);

    // A document without a language is left uncoloured.
    host.language = std::nullopt;
    host.apply();
    ASSERT_TRUE(NBETest::waitForWork([&] { return !highlighter->isBusy(); }));
    EXPECT_TRUE(view.textView()->document()->firstBlock().layout()->formats().isEmpty());
}

TEST(NBETextEditorView, RevealLineSelectsAndScrolls)
{
    NBEEditorTestHost host(numberedLines(400) + u'\n');
    NBETextEditorView view(host.session());
    view.resize(500, 300);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));

    const struct
    {
        int line;
        QString selected;
        bool atEnd;
    } cases[] = {{300, QStringLiteral("<p>line 300</p>"), false},
                 {1, QStringLiteral("<p>line 1</p>"), false},
                 {0, {}, true},
                 {401, {}, true},
                 {-3, {}, true}};
    for (const auto &c : cases) {
        host.reveal = c.line;
        host.apply();
        QCoreApplication::processEvents();
        EXPECT_FALSE(host.reveal.has_value()) << c.line;
        const QTextCursor cursor = view.textView()->textCursor();
        EXPECT_EQ(cursor.selectedText(), c.selected) << c.line;
        if (c.atEnd) {
            EXPECT_EQ(cursor.position(), host.text().size()) << c.line;
        }
        const QRect caret = view.textView()->cursorRect();
        EXPECT_GE(caret.top(), 0) << c.line;
        EXPECT_LE(caret.bottom(), view.textView()->viewport()->height()) << c.line;
    }
}

// A revealed line longer than the view (an issue chosen in a minified file)
// is selected and shown from its first characters, not scrolled to its end.
TEST(NBETextEditorView, ARevealedLineLongerThanTheViewShowsItsStart)
{
    for (const int length : {12'000, 60'000}) {
        SCOPED_TRACE(length);
        QString longLine = QStringLiteral("START ");
        while (longLine.size() < length)
            longLine += QStringLiteral("word%1 ").arg(longLine.size());
        NBEEditorTestHost host(numberedLines(50) + u'\n' + longLine + u'\n' + numberedLines(50) +
                               u'\n');
        NBETextEditorView view(host.session());
        view.resize(500, 300);
        view.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
        NBECodeTextEdit *edit = view.textView();
        ASSERT_TRUE(NBETest::waitUntil(
            [&] { return length < 20'000 || NBETest::longLines(edit) != nullptr; }));
        host.reveal = 51;
        host.apply();
        QCoreApplication::processEvents();
        const QTextCursor cursor = edit->textCursor();
        EXPECT_EQ(edit->textGeometry().textBetween(cursor.selectionStart(), cursor.selectionEnd()),
                  longLine);
        EXPECT_EQ(edit->textCaret(), host.text().indexOf(QStringLiteral("START")));
        const QRect caret = edit->cursorRect();
        EXPECT_GE(caret.top(), 0);
        EXPECT_LE(caret.bottom(), edit->viewport()->height());
    }
}

TEST(NBETextEditorView, FormatKeepsTheCaretLineAndIsOneUndoStep)
{
    NBEEditorTestHost host(QStringLiteral("a{color:red}\nb{color:blue}\nc{}"));
    host.language = NBELanguageRegistry::css();
    NBETextEditorView view(host.session());
    QTextCursor cursor = view.textView()->textCursor();
    cursor.setPosition(15); // line 2 (from 1)
    view.textView()->setTextCursor(cursor);
    // The server answers with its own formatting.
    host.lspFormatting = [](const QString &text) {
        return QtFuture::makeReadyFuture(std::optional<QString>(text.toUpper()));
    };
    QSignalSpy finished(view.coordinator()->formatting(), &NBEEditorFormatting::formatFinished);
    host.apply();
    view.coordinator()->formatting()->format();
    ASSERT_TRUE(!finished.isEmpty() || finished.wait(5000));
    EXPECT_TRUE(finished.first().first().toBool());
    EXPECT_EQ(host.text(), QStringLiteral("A{COLOR:RED}\nB{COLOR:BLUE}\nC{}"));
    EXPECT_EQ(view.textView()->textCursor().position(), 13); // start of line 2
    view.textView()->undo();
    EXPECT_EQ(host.text(), QStringLiteral("a{color:red}\nb{color:blue}\nc{}"));
}

// Undoing a format of a long file leaves the caret, and the view, where the
// user was, not at the end of the text.
TEST(NBETextEditorView, UndoingAFormatPutsTheCaretBackWhereItWas)
{
    QString css;
    for (int i = 0; i < 400; ++i)
        css += QStringLiteral("a%1{color:red}\n").arg(i);
    NBEEditorTestHost host(css);
    host.language = NBELanguageRegistry::css();
    host.lspFormatting = [](const QString &text) {
        return QtFuture::makeReadyFuture(std::optional<QString>(text.toUpper()));
    };
    NBETextEditorView view(host.session());
    view.resize(600, 400);
    view.show();
    NBECodeTextEdit *edit = view.textView();
    const int caret = int(css.indexOf(QStringLiteral("a200{"))) + 3;
    QTextCursor cursor = edit->textCursor();
    cursor.setPosition(caret);
    edit->setTextCursor(cursor);
    edit->centerCursor();
    const int scroll = edit->verticalScrollBar()->value();
    QSignalSpy finished(view.coordinator()->formatting(), &NBEEditorFormatting::formatFinished);
    view.coordinator()->formatting()->format();
    ASSERT_TRUE(!finished.isEmpty() || finished.wait(5000));
    ASSERT_TRUE(finished.first().first().toBool());

    edit->undo();
    EXPECT_EQ(host.text(), css);
    EXPECT_EQ(edit->textCursor().position(), caret);
    EXPECT_EQ(edit->verticalScrollBar()->value(), scroll);
}

TEST(NBETextEditorView, FormatWithoutAFormatterLeavesTheText)
{
    NBEEditorTestHost host(QStringLiteral("# Title\n\ntext"));
    host.language = NBELanguageRegistry::markdown();
    NBETextEditorView view(host.session());
    QSignalSpy finished(view.coordinator()->formatting(), &NBEEditorFormatting::formatFinished);
    view.coordinator()->formatting()->format();
    ASSERT_TRUE(!finished.isEmpty() || finished.wait(5000));
    EXPECT_FALSE(finished.first().first().toBool());
    EXPECT_EQ(host.text(), QStringLiteral("# Title\n\ntext"));
}

TEST(NBETextEditorView, TextTypedWhileTheServerFormatsSurvives)
{
    NBEEditorTestHost host(QStringLiteral("p{color:red}"));
    host.language = NBELanguageRegistry::css();
    QPromise<std::optional<QString>> promise;
    promise.start();
    host.lspFormatting = [&promise](const QString &) { return promise.future(); };
    NBETextEditorView view(host.session());
    view.coordinator()->formatting()->format();
    QCoreApplication::processEvents(); // the format task starts and waits
    view.textView()->moveCursor(QTextCursor::End);
    QTest::keyClick(view.textView(), Qt::Key_Return);
    typeText(view, QStringLiteral("q{}"));

    QSignalSpy finished(view.coordinator()->formatting(), &NBEEditorFormatting::formatFinished);
    promise.addResult(std::optional<QString>(QStringLiteral("p {\n  color: red;\n}\n")));
    promise.finish();
    ASSERT_TRUE(!finished.isEmpty() || finished.wait(5000));
    EXPECT_FALSE(finished.first().first().toBool());
    EXPECT_EQ(host.text(), QStringLiteral("p{color:red}\nq{}"));
    EXPECT_EQ(view.textView()->text(), host.text());
}

TEST(NBETextEditorView, SettingsFollowTheInputsAndThemesGoByID)
{
    NBEEditorTestHost host(QStringLiteral("text"));
    NBETextEditorView view(host.session());
    NBECodeTextEdit *text = view.textView();
    EXPECT_NE(text->gutter(), nullptr);
    EXPECT_EQ(text->lineWrapMode(), QPlainTextEdit::WidgetWidth);
    EXPECT_EQ(text->font().pointSizeF(), 13.0);

    host.settings.showLineNumbers = false;
    host.settings.wordWrap = false;
    host.settings.fontSize = 17;
    host.settings.showInvisibles = true;
    host.apply();
    EXPECT_EQ(text->gutter(), nullptr);
    EXPECT_EQ(text->lineWrapMode(), QPlainTextEdit::NoWrap);
    EXPECT_EQ(text->font().pointSizeF(), 17.0);
    EXPECT_TRUE(text->showInvisibles());
    host.settings.showLineNumbers = true;
    host.apply();
    ASSERT_NE(text->gutter(), nullptr);
    EXPECT_EQ(text->gutter()->numberFont().pointSizeF(), 16.0);

    // Same id, other colours: not applied. Another id: applied.
    NBETheme recoloured = NBEDefaultThemes::light();
    recoloured.editorBackground = Qt::magenta;
    host.theme = recoloured;
    host.apply();
    EXPECT_EQ(text->colors().background, NBEDefaultThemes::light().editorBackground);
    host.theme = NBEDefaultThemes::dark();
    host.apply();
    EXPECT_EQ(text->colors().background, NBEDefaultThemes::dark().editorBackground);
    EXPECT_EQ(view.coordinator()->currentThemeID(), NBEDefaultThemes::dark().id);
}

TEST(NBETextEditorView, ScrollLinkReportsAndFollows)
{
    NBEScrollLink link;
    QList<double> reports;
    link.scrollPreview = [&](double f) { reports.append(f); };
    NBEEditorTestHost host(QStringLiteral("short"));
    host.link = &link;
    NBETextEditorView view(host.session());
    view.resize(400, 300);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    ASSERT_TRUE(bool(link.scrollEditor));
    view.textView()->verticalScrollBar()->setValue(5);
    EXPECT_TRUE(reports.isEmpty() || reports.last() == 0.0); // nothing to scroll

    host.setText(numberedLines(600));
    host.apply();
    QTest::qWait(NBEScrollLink::echoWindowMs + 20);
    QScrollBar *bar = view.textView()->verticalScrollBar();
    bar->setValue(bar->maximum());
    ASSERT_FALSE(reports.isEmpty());
    EXPECT_EQ(reports.last(), 1.0);

    QTest::qWait(NBEScrollLink::echoWindowMs + 20);
    link.previewScrolled(0.5);
    EXPECT_NEAR(view.textView()->scrollFraction(), 0.5, 0.01);
}

TEST(NBETextEditorView, FindBarOpensWithCtrlF)
{
    NBEEditorTestHost host(QStringLiteral("alpha beta alpha"));
    NBETextEditorView view(host.session());
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    QTest::keyClick(view.textView(), Qt::Key_F, Qt::ControlModifier);
    EXPECT_TRUE(view.findBar()->isVisible());
    view.findBar()->setSearchText(QStringLiteral("alpha"));
    EXPECT_EQ(view.findBar()->matchCount(), 2);

    // The count follows edits; Escape in the editor closes the bar.
    view.textView()->setFocus();
    view.textView()->moveCursor(QTextCursor::End);
    QTest::keyClicks(view.textView(), QStringLiteral(" alpha"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return view.findBar()->countText() == "3 matches"; }));
    QTest::keyClick(view.textView(), Qt::Key_Escape);
    EXPECT_FALSE(view.findBar()->isVisible());
}
