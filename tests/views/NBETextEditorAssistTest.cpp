// Typing help, completion and the panels on the real editor, with the
// built-in engines. The language servers' side is in
// NBESourceEditorAssistTest.
#include "NBETextEditorAssist.h"
#include "NBECodeTextEdit.h"
#include "NBECompletionController.h"
#include "NBEDefaultThemes.h"
#include "NBEHoverController.h"
#include "NBELanguageRegistry.h"
#include "NBEQtPrinters.h"
#include "NBETestSupport.h"
#include "NBETextEditorCoordinator.h"
#include "NBETextEditorView.h"
#include "NBETextPositions.h"

#include <QApplication>
#include <QListView>
#include <QPromise>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>
#include <gtest/gtest.h>

namespace {

using Items = std::optional<QList<NBELSPCompletionItem>>;

class NBETextEditorAssistTest : public ::testing::Test
{
protected:
    QString text;
    std::optional<NBELanguage> language;
    NBEEditorSettings settings;
    std::optional<QUrl> fileURL;
    std::optional<QUrl> projectRoot;
    std::function<QFuture<Items>(int, int)> lspCompletion;
    std::unique_ptr<QWidget> window;
    NBETextEditorView *view = nullptr;

    NBETextEditorInputs inputs()
    {
        NBETextEditorInputs in;
        in.text = NBEBinding<QString>::over(text);
        in.language = language;
        in.theme = NBEDefaultThemes::light();
        in.settings = settings;
        in.fileURL = fileURL;
        in.projectRoot = projectRoot;
        in.lspCompletion = lspCompletion;
        return in;
    }

    // An editor in a shown, active window, the caret where "|" stands.
    void open(const std::optional<NBELanguage> &lang, const QString &marked)
    {
        language = lang;
        QString plain = marked;
        const qsizetype caret = plain.indexOf(u'|');
        if (caret >= 0)
            plain.remove(caret, 1);
        text = plain;
        window = std::make_unique<QWidget>();
        auto *layout = new QVBoxLayout(window.get());
        view = new NBETextEditorView(inputs(), window.get());
        layout->addWidget(view);
        window->resize(800, 600);
        window->show();
        QApplication::setActiveWindow(window.get());
        edit()->setFocus();
        setCaret(caret >= 0 ? int(caret) : int(plain.size()));
    }

    NBECodeTextEdit *edit() const { return view->textView(); }
    NBETextEditorAssist *assist() const { return view->coordinator()->assist(); }
    NBECompletionController *completion() const { return assist()->completion(); }
    QString shown() const { return edit()->text(); }
    int caret() const { return edit()->textCursor().position(); }
    void setCaret(int offset)
    {
        QTextCursor cursor = edit()->textCursor();
        cursor.setPosition(offset);
        edit()->setTextCursor(cursor);
    }
    // The text with "|" at the caret.
    QString marked() const
    {
        QString result = shown();
        result.insert(caret(), u'|');
        return result;
    }
    void type(const QString &keys) { QTest::keyClicks(edit(), keys); }
    void key(Qt::Key k, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QTest::keyClick(edit(), k, modifiers);
    }
    QStringList rows() const
    {
        return completion()->isVisible() ? completion()->model()->items() : QStringList();
    }
    // Lets deferred work (the partner rename, folder listings) run.
    void settle() { QTest::qWait(20); }
};

} // namespace

TEST_F(NBETextEditorAssistTest, TabExpandsEmmetInHTMLAndOtherwiseIndents)
{
    open(NBELanguageRegistry::html(), QStringLiteral("<body>\nul>li*2|\n</body>"));
    key(Qt::Key_Tab);
    EXPECT_EQ(marked(),
              QStringLiteral("<body>\n<ul>\n    <li>|</li>\n    <li></li>\n</ul>\n</body>"));
    // The expansion is one undo step that gives the abbreviation back.
    edit()->undo();
    EXPECT_EQ(shown(), QStringLiteral("<body>\nul>li*2\n</body>"));

    open(NBELanguageRegistry::html(), QStringLiteral("p.note|"));
    key(Qt::Key_Tab);
    EXPECT_EQ(marked(), QStringLiteral("<p class=\"note\">|</p>"));

    // A word that doesn't expand, or a selection, gets the soft tab.
    open(NBELanguageRegistry::html(), QStringLiteral("say hello|"));
    key(Qt::Key_Tab);
    EXPECT_EQ(marked(), QStringLiteral("say hello    |"));
    open(NBELanguageRegistry::html(), QStringLiteral("div"));
    edit()->selectAll();
    key(Qt::Key_Tab);
    EXPECT_EQ(marked(), QStringLiteral("    |"));

    settings.useSoftTabs = false;
    open(NBELanguageRegistry::html(), QStringLiteral("ul>li*2|"));
    key(Qt::Key_Tab);
    EXPECT_EQ(marked(), QStringLiteral("<ul>\n\t<li>|</li>\n\t<li></li>\n</ul>"));
    open(NBELanguageRegistry::html(), QStringLiteral("say hello|"));
    key(Qt::Key_Tab);
    EXPECT_EQ(marked(), QStringLiteral("say hello\t|"));

    // Outside HTML Tab only indents.
    settings.useSoftTabs = true;
    settings.tabSize = 2;
    open(NBELanguageRegistry::css(), QStringLiteral("ul>li*2|"));
    key(Qt::Key_Tab);
    EXPECT_EQ(marked(), QStringLiteral("ul>li*2  |"));
}

TEST_F(NBETextEditorAssistTest, GreaterThanClosesTheOpeningTag)
{
    struct Row
    {
        std::optional<NBELanguage> language;
        const char *before;
        const char *after;
    };
    const NBELanguage html = NBELanguageRegistry::html();
    const Row rows[] = {
        {html, "<div|", "<div>|</div>"},
        {html, "<p>x</p>\n<section class=\"a\"|", "<p>x</p>\n<section class=\"a\">|</section>"},
        {html, "<Div|", "<Div>|</Div>"},
        {html, "<my-widget data-x=\"1\"|", "<my-widget data-x=\"1\">|</my-widget>"},
        {html, "<h_2 id=a|", "<h_2 id=a>|</h_2>"},
        {html, "<img src=\"a.png\"|", "<img src=\"a.png\">|"},
        {html, "<BR|", "<BR>|"},
        {html, "<Input|", "<Input>|"},
        {html, "<|", "<>|"},
        {html, "</div|", "</div>|"},
        {html, "<!-- x|", "<!-- x>|"},
        {html, "<a>b|", "<a>b>|"},
        {html, "<br/|", "<br/>|"},
        {html, "a -|", "a ->|"},
        {NBELanguageRegistry::css(), "<div|", "<div>|"},
        {NBELanguageRegistry::markdown(), "<div|", "<div>|"},
        {std::nullopt, "<div|", "<div>|"},
    };
    for (const Row &row : rows) {
        open(row.language, QString::fromUtf8(row.before));
        type(QStringLiteral(">"));
        EXPECT_EQ(marked(), QString::fromUtf8(row.after)) << row.before;
    }

    // A selection is replaced by the tag's end.
    open(html, QStringLiteral("<div xyz"));
    QTextCursor cursor = edit()->textCursor();
    cursor.setPosition(4);
    cursor.setPosition(8, QTextCursor::KeepAnchor);
    edit()->setTextCursor(cursor);
    type(QStringLiteral(">"));
    EXPECT_EQ(marked(), QStringLiteral("<div>|</div>"));
}

TEST_F(NBETextEditorAssistTest, RenamingATagRenamesItsPartnerAsASeparateUndoStep)
{
    open(NBELanguageRegistry::html(), QStringLiteral("<ul>\n<div|>x</DIV>\n</ul>"));
    for (const QChar c : QStringLiteral("ider")) {
        type(c);
        settle();
    }
    EXPECT_EQ(marked(), QStringLiteral("<ul>\n<divider|>x</divider>\n</ul>"));

    // Undo takes back the rename first, then the letter; neither renames.
    edit()->undo();
    settle();
    EXPECT_EQ(shown(), QStringLiteral("<ul>\n<divider>x</divide>\n</ul>"));
    edit()->undo();
    settle();
    EXPECT_EQ(shown(), QStringLiteral("<ul>\n<divide>x</divide>\n</ul>"));
    key(Qt::Key_Z, Qt::ControlModifier);
    settle();
    EXPECT_EQ(shown(), QStringLiteral("<ul>\n<divide>x</divid>\n</ul>"));
    edit()->redo();
    settle();
    EXPECT_EQ(shown(), QStringLiteral("<ul>\n<divide>x</divide>\n</ul>"));

    // From the closing tag, typing letters and deleting them.
    open(NBELanguageRegistry::html(), QStringLiteral("<p><b>x</b></p|>"));
    for (const QChar c : QStringLiteral("re")) {
        type(c);
        settle();
    }
    EXPECT_EQ(marked(), QStringLiteral("<pre><b>x</b></pre|>"));
    for (int i = 0; i < 2; ++i) {
        key(Qt::Key_Backspace);
        settle();
    }
    EXPECT_EQ(marked(), QStringLiteral("<p><b>x</b></p|>"));

    // A partner with another name, a void element and other languages are
    // left alone.
    open(NBELanguageRegistry::html(), QStringLiteral("<div|>x</span>"));
    type(QStringLiteral("s"));
    settle();
    EXPECT_EQ(shown(), QStringLiteral("<divs>x</span>"));
    open(NBELanguageRegistry::leaf(), QStringLiteral("<div|>x</div>"));
    type(QStringLiteral("s"));
    settle();
    EXPECT_EQ(shown(), QStringLiteral("<divs>x</div>"));
}

TEST_F(NBETextEditorAssistTest, BuiltInCompletionForHTMLAndCSSAndKeysOnlyWhileItShows)
{
    open(NBELanguageRegistry::html(), QStringLiteral("<a hr|"));
    type(QStringLiteral("e"));
    EXPECT_EQ(rows(), QStringList({"href", "hreflang"}));
    // The panel is beside the caret and the keyboard stays in the editor.
    EXPECT_TRUE(edit()->hasFocus());
    EXPECT_EQ(completion()->panel()->window(), window.get());
    key(Qt::Key_Down);
    EXPECT_EQ(completion()->model()->selected(), 1);
    key(Qt::Key_Down);
    EXPECT_EQ(completion()->model()->selected(), 1);
    key(Qt::Key_Up);
    key(Qt::Key_Up);
    EXPECT_EQ(completion()->model()->selected(), 0);
    key(Qt::Key_Return);
    EXPECT_EQ(marked(), QStringLiteral("<a href=\"|\""));
    EXPECT_FALSE(completion()->isVisible());

    // Escape hides; then Return and the arrows are the text view's again.
    open(NBELanguageRegistry::html(), QStringLiteral("  <sp|"));
    type(QStringLiteral("a"));
    EXPECT_EQ(rows(), QStringList({"span"}));
    key(Qt::Key_Escape);
    EXPECT_FALSE(completion()->isVisible());
    key(Qt::Key_Return);
    EXPECT_EQ(marked(), QStringLiteral("  <spa\n|"));

    // CSS values, and CSS inside a style element with offsets of its body.
    open(NBELanguageRegistry::css(), QStringLiteral("a { color: re|"));
    type(QStringLiteral("b"));
    EXPECT_EQ(rows(), QStringList({"rebeccapurple"}));
    key(Qt::Key_Tab);
    EXPECT_EQ(marked(), QStringLiteral("a { color: rebeccapurple|"));
    open(NBELanguageRegistry::html(), QStringLiteral("<p>x</p>\n<style>\nbody { colo|\n</style>"));
    type(QStringLiteral("r"));
    ASSERT_FALSE(rows().isEmpty());
    EXPECT_EQ(rows().first(), QStringLiteral("color"));
    key(Qt::Key_Return);
    EXPECT_EQ(marked(), QStringLiteral("<p>x</p>\n<style>\nbody { color: |\n</style>"));

    // Moving the caret where nothing completes hides the panel; text
    // selected hides it on the next edit; Markdown never completes.
    open(NBELanguageRegistry::html(), QStringLiteral("<p>hi</p><a hr|"));
    type(QStringLiteral("e"));
    ASSERT_TRUE(completion()->isVisible());
    setCaret(5);
    EXPECT_FALSE(completion()->isVisible());
    open(NBELanguageRegistry::markdown(), QStringLiteral("<a hr|"));
    type(QStringLiteral("e"));
    EXPECT_FALSE(completion()->isVisible());
}

TEST_F(NBETextEditorAssistTest, PathsComeFromTheDocumentsFolderAndTheProjectRoot)
{
    QTemporaryDir dir;
    const QString root = dir.path();
    QDir(root).mkpath(QStringLiteral("site/css"));
    QDir(root).mkpath(QStringLiteral("site/.git"));
    QDir(root).mkpath(QStringLiteral("site/Images"));
    NBETest::writeFile(root + QStringLiteral("/site/index.html"), "");
    NBETest::writeFile(root + QStringLiteral("/site/css/site.css"), "");
    NBETest::writeFile(root + QStringLiteral("/site/css/print.css"), "");
    NBETest::writeFile(root + QStringLiteral("/top.txt"), "");
    fileURL = QUrl::fromLocalFile(root + QStringLiteral("/site/index.html"));
    projectRoot = QUrl::fromLocalFile(root);
    const auto listed = [&](const QString &keys) {
        QSignalSpy spy(assist(), &NBETextEditorAssist::pathsListed);
        type(keys);
        EXPECT_TRUE(spy.wait(5000)) << keys.toStdString();
        return rows();
    };

    open(NBELanguageRegistry::html(), QStringLiteral("<a href=|"));
    EXPECT_EQ(listed(QStringLiteral("\"")), QStringList({"Images/", "css/", "index.html"}));
    EXPECT_EQ(listed(QStringLiteral("c")), QStringList({"css/"}));
    // Accepting a folder lists what is in it.
    QSignalSpy folder(assist(), &NBETextEditorAssist::pathsListed);
    key(Qt::Key_Return);
    ASSERT_TRUE(folder.wait(5000));
    EXPECT_EQ(marked(), QStringLiteral("<a href=\"css/|"));
    EXPECT_EQ(rows(), QStringList({"print.css", "site.css"}));

    open(NBELanguageRegistry::html(), QStringLiteral("<img SRC=\"|"));
    EXPECT_EQ(listed(QStringLiteral("/")), QStringList({"site/", "top.txt"}));
    open(NBELanguageRegistry::html(), QStringLiteral("<img src=\"..|"));
    EXPECT_EQ(listed(QStringLiteral("/")), QStringList({"site/", "top.txt"}));

    // CSS url(...) with or without a quote; other functions are no paths.
    fileURL = QUrl::fromLocalFile(root + QStringLiteral("/site/css/site.css"));
    open(NBELanguageRegistry::css(), QStringLiteral("a { background: url('pr|"));
    EXPECT_EQ(listed(QStringLiteral("i")), QStringList({"print.css"}));
    for (const char *other : {"a { color: rgb(|", "a { background: url (|"}) {
        open(NBELanguageRegistry::css(), QString::fromLatin1(other));
        type(QStringLiteral("p"));
        settle();
        EXPECT_FALSE(rows().contains(QStringLiteral("print.css"))) << other;
    }

    // Absolute URLs and fragments are no paths.
    fileURL = QUrl::fromLocalFile(root + QStringLiteral("/site/index.html"));
    open(NBELanguageRegistry::html(), QStringLiteral("<a href=\"https://|"));
    type(QStringLiteral("x"));
    settle();
    EXPECT_FALSE(completion()->isVisible());
}

TEST_F(NBETextEditorAssistTest, ServerAnswersForAMovedCaretAreDroppedAndWithdrawn)
{
    // A provider the test answers by hand: a real server's timing can't be
    // arranged.
    QList<std::shared_ptr<QPromise<Items>>> requests;
    QList<QPair<int, int>> positions;
    lspCompletion = [&](int line, int character) {
        positions.append({line, character});
        auto promise = std::make_shared<QPromise<Items>>();
        promise->start();
        requests.append(promise);
        return promise->future();
    };
    const auto answer = [](std::shared_ptr<QPromise<Items>> promise, Items items) {
        promise->addResult(items);
        promise->finish();
    };
    open(NBELanguageRegistry::css(), QStringLiteral("a {\n  \U0001D49C b|"));
    type(QStringLiteral("c"));
    type(QStringLiteral("o"));
    ASSERT_EQ(requests.size(), 2);
    // Positions count UTF-16 units from 0.
    EXPECT_EQ(positions, (QList<QPair<int, int>>{{1, 7}, {1, 8}}));
    // The first request was superseded and withdrawn.
    EXPECT_TRUE(requests[0]->future().isCanceled());

    // The answer for the current caret shows, in the server's order.
    answer(requests[1], QList<NBELSPCompletionItem>{{"color", "color: ", "color", {}},
                                                    {"column", "column", "column", {}},
                                                    {"color", "other", "color", {}}});
    ASSERT_TRUE(NBETest::waitUntil([&] { return completion()->isVisible(); }));
    EXPECT_EQ(rows(), QStringList({"color", "column", "color"}));
    // Accepting replaces the typed word with the first insert text of a label.
    key(Qt::Key_Down);
    key(Qt::Key_Down);
    key(Qt::Key_Return);
    EXPECT_EQ(marked(), QStringLiteral("a {\n  \U0001D49C color: |"));
    EXPECT_EQ(requests.size(), 3);

    // An answer that comes after the caret moved is dropped.
    key(Qt::Key_Left);
    answer(requests[2], QList<NBELSPCompletionItem>{{"late", "late", "late", {}}});
    QSignalSpy answered(assist(), &NBETextEditorAssist::completionAnswered);
    ASSERT_TRUE(answered.wait(5000));
    EXPECT_EQ(answered.first().first().toBool(), false);
    EXPECT_FALSE(completion()->isVisible());

    // No answer falls back to the built-in list at the same caret.
    open(NBELanguageRegistry::css(), QStringLiteral("a { colo|"));
    type(QStringLiteral("r"));
    answer(requests.last(), std::nullopt);
    ASSERT_TRUE(NBETest::waitUntil([&] { return completion()->isVisible(); }));
    EXPECT_EQ(rows().first(), QStringLiteral("color"));
    EXPECT_FALSE(assist()->activeLSPItems().has_value());
}

TEST_F(NBETextEditorAssistTest, PanelRowsHeightAndSelection)
{
    QWidget host;
    host.resize(600, 500);
    host.show();
    NBECompletionController controller;
    const QRect caret(host.mapToGlobal(QPoint(40, 100)), QSize(1, 16));
    QStringList accepted;
    controller.onAccept = [&](const QString &label) { accepted.append(label); };

    const auto labels = [](int count) {
        QStringList list;
        for (int i = 0; i < count; ++i)
            list.append(QStringLiteral("item%1").arg(i));
        return list;
    };
    controller.show(labels(1), caret, &host);
    EXPECT_EQ(controller.panel()->geometry(), QRect(40, 118, 260, 28));
    controller.show(labels(10), caret, &host);
    EXPECT_EQ(controller.panel()->height(), 208);
    controller.show(labels(30), caret, &host);
    EXPECT_EQ(controller.panel()->height(), 224);

    // The highlight survives a refresh that still has its row.
    for (int i = 0; i < 5; ++i)
        controller.moveSelection(1);
    controller.show(labels(6), caret, &host);
    EXPECT_EQ(controller.model()->selected(), 5);
    controller.show(labels(3), caret, &host);
    EXPECT_EQ(controller.model()->selected(), 0);

    // Near the window's bottom the panel opens above the caret.
    const QRect low(host.mapToGlobal(QPoint(40, 480)), QSize(1, 16));
    controller.show(labels(3), low, &host);
    EXPECT_EQ(controller.panel()->geometry().bottom(), 480 - 2 - 1);

    // A click picks a row and hides the panel first.
    controller.show(labels(3), caret, &host);
    QListView *list = controller.panel()->listView();
    const QRect second = list->visualRect(list->model()->index(1, 0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, second.center());
    EXPECT_EQ(accepted, QStringList({"item1"}));
    EXPECT_FALSE(controller.isVisible());
    controller.hide();
    EXPECT_EQ(controller.model()->selected(), 0);
}

TEST(NBETextPositions, LinesAndCharactersCountUTF16UnitsFromZero)
{
    struct Row
    {
        const char *text;
        int offset;
        NBETextPositions::LineCharacter expected;
    };
    const Row rows[] = {
        {"a\nbc", 4, {1, 2}},   {"a\nbc", 2, {1, 0}}, {"a\nbc", 0, {0, 0}},
        {"a\nbc", -3, {0, -3}}, {"a\nbc", 9, {1, 7}}, {"\U0001D49Cx", 3, {0, 3}},
        {"a\r\nb", 2, {0, 2}},  {"\n\n", 2, {2, 0}},
    };
    for (const Row &row : rows)
        EXPECT_EQ(NBETextPositions::lineCharacter(row.offset, QString::fromUtf8(row.text)),
                  row.expected)
            << row.text << " " << row.offset;

    const QString text = QStringLiteral("a\nbc\n");
    EXPECT_EQ(NBETextPositions::startCharIndex(1, text), 0);
    EXPECT_EQ(NBETextPositions::startCharIndex(-2, text), 0);
    EXPECT_EQ(NBETextPositions::startCharIndex(2, text), 2);
    EXPECT_EQ(NBETextPositions::startCharIndex(3, text), 5);
    EXPECT_EQ(NBETextPositions::startCharIndex(4, text), 5);
}
