// Completion in the real editor with the built-in engines, and its panel.
// The language servers' side is in NBESourceEditorAssistTest.
#include "NBELanguageRegistry.h"
#include "NBETestSupport.h"
#include "NBETextPositions.h"
#include "NBETypingFixture.h"

#include <QClipboard>
#include <QListView>
#include <QPromise>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>

namespace {

using Items = std::optional<QList<NBELSPCompletionItem>>;

using NBECompletionControllerTest = NBETypingFixture;

} // namespace

TEST_F(NBECompletionControllerTest, BuiltInCompletionForHTMLAndCSSAndKeysOnlyWhileItShows)
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
    // Deep inside a long style element, far from its tag.
    const QString rules = QStringLiteral(".a { margin: 0; }\n").repeated(400);
    open(NBELanguageRegistry::html(),
         QStringLiteral("<style>\n") + rules + QStringLiteral("body { colo|\n</style>"));
    type(QStringLiteral("r"));
    ASSERT_FALSE(rows().isEmpty());
    EXPECT_EQ(rows().first(), QStringLiteral("color"));

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

TEST_F(NBECompletionControllerTest, PathsComeFromTheDocumentsFolderAndTheProjectRoot)
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
    host.fileURL = QUrl::fromLocalFile(root + QStringLiteral("/site/index.html"));
    host.projectRoot = QUrl::fromLocalFile(root);
    const auto listed = [&](const QString &keys) {
        QSignalSpy spy(completion(), &NBECompletionController::pathsListed);
        type(keys);
        EXPECT_TRUE(spy.wait(5000)) << keys.toStdString();
        return rows();
    };

    open(NBELanguageRegistry::html(), QStringLiteral("<a href=|"));
    EXPECT_EQ(listed(QStringLiteral("\"")), QStringList({"Images/", "css/", "index.html"}));
    EXPECT_EQ(listed(QStringLiteral("c")), QStringList({"css/"}));
    // Accepting a folder lists what is in it.
    QSignalSpy folder(completion(), &NBECompletionController::pathsListed);
    key(Qt::Key_Return);
    ASSERT_TRUE(folder.wait(5000));
    EXPECT_EQ(marked(), QStringLiteral("<a href=\"css/|"));
    EXPECT_EQ(rows(), QStringList({"print.css", "site.css"}));
    // Entries of a folder the user chose take Return; a bare quote's don't.
    key(Qt::Key_Return);
    EXPECT_EQ(marked(), QStringLiteral("<a href=\"css/print.css|"));
    open(NBELanguageRegistry::html(), QStringLiteral("<a href=|"));
    listed(QStringLiteral("\""));
    key(Qt::Key_Return);
    EXPECT_EQ(marked(), QStringLiteral("<a href=\"\n|"));

    open(NBELanguageRegistry::html(), QStringLiteral("<img SRC=\"|"));
    EXPECT_EQ(listed(QStringLiteral("/")), QStringList({"site/", "top.txt"}));
    open(NBELanguageRegistry::html(), QStringLiteral("<img src=\"..|"));
    EXPECT_EQ(listed(QStringLiteral("/")), QStringList({"site/", "top.txt"}));

    // CSS url(...) with or without a quote; other functions are no paths.
    host.fileURL = QUrl::fromLocalFile(root + QStringLiteral("/site/css/site.css"));
    open(NBELanguageRegistry::css(), QStringLiteral("a { background: url('pr|"));
    EXPECT_EQ(listed(QStringLiteral("i")), QStringList({"print.css"}));
    for (const char *other : {"a { color: rgb(|", "a { background: url (|"}) {
        open(NBELanguageRegistry::css(), QString::fromLatin1(other));
        type(QStringLiteral("p"));
        settle();
        EXPECT_FALSE(rows().contains(QStringLiteral("print.css"))) << other;
    }

    // Absolute URLs and fragments are no paths.
    host.fileURL = QUrl::fromLocalFile(root + QStringLiteral("/site/index.html"));
    open(NBELanguageRegistry::html(), QStringLiteral("<a href=\"https://|"));
    type(QStringLiteral("x"));
    settle();
    EXPECT_FALSE(completion()->isVisible());
}

TEST_F(NBECompletionControllerTest, ServerListsAreAskedOncePerWordNarrowedAndWithdrawn)
{
    // A provider the test answers by hand: a real server's timing can't be
    // arranged.
    QList<std::shared_ptr<QPromise<Items>>> requests;
    QList<QPair<int, int>> positions;
    host.lspCompletion = [&](int line, int character) {
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
    const auto item = [](const char *label, const char *insert) {
        return NBELSPCompletionItem{label, insert, label, {}};
    };
    open(NBELanguageRegistry::css(), QStringLiteral("a {\n  \U0001D49C |"));
    type(QStringLiteral("co"));
    // One request where the word starts; positions count UTF-16 units.
    EXPECT_EQ(positions, (QList<QPair<int, int>>{{1, 6}}));

    // The answer is narrowed to the typed word, in the server's order.
    answer(requests[0],
           QList<NBELSPCompletionItem>{item("color", "color: "), item("border", "border: "),
                                       item("column", "column"), item("color", "other")});
    ASSERT_TRUE(NBETest::waitUntil([&] { return completion()->isVisible(); }));
    EXPECT_EQ(rows(), QStringList({"color", "column", "color"}));
    type(QStringLiteral("lu"));
    EXPECT_EQ(rows(), QStringList({"column"}));
    key(Qt::Key_Backspace);
    EXPECT_EQ(rows(), QStringList({"color", "column", "color"}));
    EXPECT_EQ(requests.size(), 1);
    // Accepting replaces the typed word with the first insert text of a
    // label, and asks nothing new.
    key(Qt::Key_Down);
    key(Qt::Key_Down);
    key(Qt::Key_Return);
    EXPECT_EQ(marked(), QStringLiteral("a {\n  \U0001D49C color: |"));
    EXPECT_FALSE(completion()->isVisible());
    EXPECT_EQ(requests.size(), 1);

    // A key that starts another list withdraws the request before it.
    open(NBELanguageRegistry::css(), QStringLiteral("a { c|"));
    type(QStringLiteral("o"));
    type(QStringLiteral(":"));
    ASSERT_EQ(requests.size(), 3);
    EXPECT_TRUE(requests[1]->future().isCanceled());
    // With nothing typed after ":" the list doesn't take Return.
    answer(requests[2], QList<NBELSPCompletionItem>{item("red", "red"), item("blue", "blue")});
    ASSERT_TRUE(NBETest::waitUntil([&] { return completion()->isVisible(); }));
    key(Qt::Key_Return);
    EXPECT_EQ(marked(), QStringLiteral("a { co:\n|"));
    EXPECT_FALSE(completion()->isVisible());

    // A caret the user moves leaves the word: the request is withdrawn and
    // its late answer shows nothing.
    open(NBELanguageRegistry::css(), QStringLiteral("a { |"));
    type(QStringLiteral("w"));
    key(Qt::Key_Left);
    EXPECT_TRUE(requests.last()->future().isCanceled());
    answer(requests.last(), QList<NBELSPCompletionItem>{item("width", "width")});
    settle();
    EXPECT_FALSE(completion()->isVisible());

    // No answer, or an empty one, leaves the word to the built-in list.
    open(NBELanguageRegistry::css(), QStringLiteral("a { colo|"));
    type(QStringLiteral("r"));
    answer(requests.last(), std::nullopt);
    ASSERT_TRUE(NBETest::waitUntil([&] { return completion()->isVisible(); }));
    EXPECT_EQ(rows().first(), QStringLiteral("color"));
    EXPECT_FALSE(completion()->activeLSPItems().has_value());

    // A snippet puts the caret on its first tab stop, a placeholder
    // selected; the text stays plain.
    open(NBELanguageRegistry::html(), QStringLiteral("<a h|"));
    type(QStringLiteral("r"));
    NBELSPCompletionItem href = item("href", "href=\"\"");
    href.tabStop = NBETextRange{6, 0};
    NBELSPCompletionItem title = item("hreftitle", "hreftitle=\"x\"");
    title.tabStop = NBETextRange{11, 1};
    answer(requests.last(), QList<NBELSPCompletionItem>{href, title});
    ASSERT_TRUE(NBETest::waitUntil([&] { return completion()->isVisible(); }));
    key(Qt::Key_Return);
    EXPECT_EQ(marked(), QStringLiteral("<a href=\"|\""));
    open(NBELanguageRegistry::html(), QStringLiteral("<a h|"));
    type(QStringLiteral("r"));
    answer(requests.last(), QList<NBELSPCompletionItem>{href, title});
    ASSERT_TRUE(NBETest::waitUntil([&] { return completion()->isVisible(); }));
    key(Qt::Key_Down);
    key(Qt::Key_Tab);
    EXPECT_EQ(edit()->textCursor().selectedText(), QStringLiteral("x"));
    EXPECT_EQ(shown(), QStringLiteral("<a hreftitle=\"x\""));
}

TEST_F(NBECompletionControllerTest, OnlyTypedWordsAndTriggersOpenThePanelAndReturnStaysALineBreak)
{
    struct Row
    {
        NBELanguage language;
        const char *before;
        const char *keys; // "\n" is Return, "\b" Backspace
        bool opens;
        const char *after;
    };
    const NBELanguage css = NBELanguageRegistry::css();
    const NBELanguage html = NBELanguageRegistry::html();
    const Row cases[] = {
        {css, ".a {|", "\n", false, ".a {\n|"},
        {css, ".a |", "{", false, ".a {|"},
        {css, "a { color: red|", ";", false, "a { color: red;|"},
        {css, "a { color: red;|", "\n", false, "a { color: red;\n|"},
        {css, "a { color: red|", " ", false, "a { color: red |"},
        {css, "a { colo|", "r", true, "a { color|"},
        {css, "a { color|", ":", true, "a { color:|"},
        {css, "a { color:|", " ", true, "a { color: |"},
        {css, "a { colo|", "\b", false, "a { col|"},
        {css, "a { c|", "o\b\b", false, "a { |"},
        {css, "/* a comment|", "\n", false, "/* a comment\n|"},
        {html, "<p>|", "<", true, "<p><|"},
        {html, "<a|", " ", false, "<a |"},
        {html, "<a h|", "r", true, "<a hr|"},
        {html, "<div>|", "\n", false, "<div>\n|"},
    };
    for (const Row &row : cases) {
        open(row.language, QString::fromUtf8(row.before));
        for (const QChar c : QString::fromUtf8(row.keys)) {
            if (c == u'\n')
                key(Qt::Key_Return);
            else if (c == u'\b')
                key(Qt::Key_Backspace);
            else
                type(c);
        }
        EXPECT_EQ(completion()->isVisible(), row.opens) << row.before << " + " << row.keys;
        EXPECT_EQ(marked(), QString::fromUtf8(row.after)) << row.before << " + " << row.keys;
    }

    // Return takes a row that continues the typed word; after a move it
    // takes whatever row the user chose.
    open(css, QStringLiteral("a { co|"));
    type(QStringLiteral("l"));
    ASSERT_TRUE(completion()->isVisible());
    key(Qt::Key_Return);
    EXPECT_EQ(marked(), QStringLiteral("a { color: |"));
    open(css, QStringLiteral(".a {|"));
    type(QStringLiteral("c"));
    ASSERT_GE(rows().size(), 2);
    const QString second = rows()[1];
    key(Qt::Key_Down);
    key(Qt::Key_Return);
    EXPECT_EQ(marked(), QStringLiteral(".a {") + second + QStringLiteral(": |"));

    // A paste never opens the panel, not even one of a single letter.
    for (const char *pasted : {"col", "r"}) {
        open(css, QStringLiteral("a { colo|"));
        QApplication::clipboard()->setText(QString::fromLatin1(pasted));
        key(Qt::Key_V, Qt::ControlModifier);
        EXPECT_FALSE(completion()->isVisible()) << pasted;
        EXPECT_TRUE(shown().endsWith(QString::fromLatin1(pasted))) << pasted;
    }
}

TEST_F(NBECompletionControllerTest, UsesTheServerAndPathsTheEditorIsGivenLater)
{
    open(NBELanguageRegistry::css(), QStringLiteral("a { co|"));
    QList<QPair<int, int>> asked;
    host.lspCompletion = [&](int line, int character) {
        asked.append({line, character});
        return QtFuture::makeReadyFuture(
            Items(QList<NBELSPCompletionItem>{{"column", "column", "column", {}}}));
    };
    host.apply();
    type(QStringLiteral("l"));
    EXPECT_EQ(asked, (QList<QPair<int, int>>{{0, 7}}));
    ASSERT_TRUE(NBETest::waitUntil([&] { return completion()->isVisible(); }));
    EXPECT_EQ(rows(), QStringList({"column"}));

    // A server that goes leaves the word to the built-in list.
    host.lspCompletion = nullptr;
    host.apply();
    type(QStringLiteral("o"));
    EXPECT_EQ(asked.size(), 1);
    EXPECT_EQ(rows().value(0), QStringLiteral("color"));

    QTemporaryDir dir;
    NBETest::writeFile(dir.filePath(QStringLiteral("site.css")), "");
    open(NBELanguageRegistry::html(), QStringLiteral("<a href=|"));
    host.fileURL = QUrl::fromLocalFile(dir.filePath(QStringLiteral("index.html")));
    host.apply();
    QSignalSpy listed(completion(), &NBECompletionController::pathsListed);
    type(QStringLiteral("\""));
    ASSERT_TRUE(listed.wait(5000));
    EXPECT_EQ(rows(), QStringList({"site.css"}));
}

TEST(NBECompletionSources, TypedWordsNarrowServerItemsAndOpenThePanel)
{
    struct Row
    {
        const char *before;
        const char *candidate;
        int typed;
        bool continues;
    };
    const Row rows[] = {
        {"a { color: tom", "tomato", 3, true},
        {"a { color: tom", "Tomato", 3, true},
        {"a { color: tom", "red", 3, false},
        {"@ch", "@charset", 3, true},
        {"a:h", ":hover", 2, true},
        {"a:", "::after", 1, true},
        {"<", "/div", 0, true},
        {"</", "/div", 1, true},
        {"<a hr", "href=\"\"", 2, true},
        {"x", "", 1, false},
        {"", "a", 0, true},
        {"-web", "-webkit-box", 4, true},
    };
    for (const Row &row : rows) {
        const QString before = QString::fromUtf8(row.before);
        const QString candidate = QString::fromUtf8(row.candidate);
        EXPECT_EQ(NBECompletionSources::typedLength(before, candidate), row.typed)
            << row.before << " / " << row.candidate;
        EXPECT_EQ(NBECompletionSources::continuesTyped(before, candidate), row.continues)
            << row.before << " / " << row.candidate;
    }
    // Filter text first, the label when there is none; order kept.
    const QList<NBELSPCompletionItem> items = {{"Tomato", "tomato", "tomato", {}},
                                               {"red", "red", "red", {}},
                                               {"Tomb", "tomb", "", {}},
                                               {"x", "x", "tomorrow", {}}};
    QStringList labels;
    for (const auto &item : NBECompletionSources::narrowed(items, u"color: TOM"))
        labels.append(item.label);
    EXPECT_EQ(labels, QStringList({"Tomato", "Tomb", "x"}));

    struct Opens
    {
        const char *before;
        const char *language;
        const char *triggers;
        bool opens;
    };
    const Opens opens[] = {
        {"a { c", "css", "", true}, {"a {", "css", "", false},  {"a:", "css", "", true},
        {"a: ", "css", "", true},   {"a; ", "css", "", false},  {"a;", "css", "", false},
        {"<", "html", "", true},    {"<", "css", "", false},    {"a.", "html", ".", true},
        {"a.", "html", "", false},  {"x\n", "html", "", false}, {"", "html", "", false},
        {"<a $", "html", "", true}, {"é", "css", "", false},
    };
    for (const Opens &row : opens)
        EXPECT_EQ(NBECompletionSources::opensCompletion(QString::fromUtf8(row.before),
                                                        QString::fromLatin1(row.language),
                                                        QString::fromLatin1(row.triggers)),
                  row.opens)
            << row.before << " " << row.language;
}

TEST_F(NBECompletionControllerTest, KeysReadNoWholeTextOfALargeDocument)
{
    QTemporaryDir dir;
    QDir(dir.path()).mkpath(QStringLiteral("css"));
    host.fileURL = QUrl::fromLocalFile(dir.filePath(QStringLiteral("index.html")));
    QString html = QStringLiteral("<!DOCTYPE html>\n<html><head><style>\nbody { color: red; }\n"
                                  "</style></head>\n<body>\n");
    const QString block = QStringLiteral(
        "<section class=\"card\">\n  <a href=\"css/x.css\">link</a> <img src=\"a.png\">\n"
        "  <p>Some text &amp; more</p>\n</section>\n<style>\n.c { margin: 0; }\n</style>\n");
    while (html.size() < (1 << 20))
        html += block;
    html += QStringLiteral("</body></html>\n");
    host.setBuffer(NBETextBuffer::make(html));
    // A server that answers at once, so its answers land between keys.
    host.lspCompletion = [](int, int) {
        return QtFuture::makeReadyFuture(
            Items(QList<NBELSPCompletionItem>{{"color", "color: ", "color", {}},
                                              {"href", "href=\"\"", "href", {}, NBETextRange{6, 0}},
                                              {"class", "class", "class", {}},
                                              {"/section", "/section>", "/section", {}}}));
    };
    host.triggers = QStringLiteral(".:<\"=/");
    show(NBELanguageRegistry::html(), 0);

    struct Press
    {
        Qt::Key key;
        QChar text;
    };
    const Press presses[] = {
        {Qt::Key_C, u'c'},        {Qt::Key_H, u'h'},       {Qt::Key_Less, u'<'},
        {Qt::Key_Greater, u'>'},  {Qt::Key_Colon, u':'},   {Qt::Key_Space, u' '},
        {Qt::Key_QuoteDbl, u'"'}, {Qt::Key_Slash, u'/'},   {Qt::Key_Equal, u'='},
        {Qt::Key_Return, {}},     {Qt::Key_Backspace, {}}, {Qt::Key_Tab, {}},
        {Qt::Key_Down, {}},       {Qt::Key_Escape, {}},    {Qt::Key_Delete, {}},
        {Qt::Key_Left, {}},
    };
    QRandomGenerator random(30);
    const quint64 before = NBETextBuffer::wholeTextReads();
    for (int i = 0; i < 400; ++i) {
        // Now and then a jump to another place, often into a tag name.
        if (i % 8 == 0) {
            const int length = edit()->document()->characterCount() - 1;
            int at = int(random.bounded(length));
            if (i % 16 == 0)
                at = int(NBETextWindow::around(edit()->document(), at, 0, 200).text.indexOf(u'<')) +
                     at + 2;
            setCaret(std::clamp(at, 0, length));
        }
        const Press &press = presses[random.bounded(int(std::size(presses)))];
        if (press.text.isNull())
            key(press.key);
        else
            type(QString(press.text));
        // Answers and folder listings arrive (but no timer runs).
        QCoreApplication::sendPostedEvents();
    }
    EXPECT_EQ(NBETextBuffer::wholeTextReads(), before);
    EXPECT_GT(edit()->document()->revision(), 100);
}

// Counts shows and hides of the widgets it is given.
class ShowsAndHides : public QObject
{
public:
    explicit ShowsAndHides(const QList<QWidget *> &widgets)
        : m_widgets(widgets)
    {
        qApp->installEventFilter(this);
    }
    ~ShowsAndHides() override { qApp->removeEventFilter(this); }
    int count = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if ((event->type() == QEvent::Show || event->type() == QEvent::Hide) &&
            m_widgets.contains(watched))
            ++count;
        return false;
    }

private:
    QList<QWidget *> m_widgets;
};

TEST_F(NBECompletionControllerTest, ThePanelNarrowsClosesAndReopensWithoutShowingOrHidingWidgets)
{
    open(NBELanguageRegistry::css(), QStringLiteral("a { |"));
    type(QStringLiteral("b"));
    ASSERT_GT(rows().size(), 10);
    NBECompletionList *panel = completion()->panel();
    QListView *list = panel->listView();
    const QStringList many = rows();
    ShowsAndHides changes({panel, list, list->viewport()});
    ShowsAndHides scrollBar({list->verticalScrollBar()});
    // Narrowed to one row and widened again: the scroll bar goes and comes
    // once each, the panel stays up.
    type(QStringLiteral("ot"));
    EXPECT_EQ(rows(), QStringList({"bottom"}));
    EXPECT_FALSE(list->verticalScrollBar()->isVisible());
    EXPECT_EQ(scrollBar.count, 1);
    for (int i = 0; i < 2; ++i)
        key(Qt::Key_Backspace);
    EXPECT_EQ(rows(), many);
    EXPECT_TRUE(list->verticalScrollBar()->isVisible());
    EXPECT_EQ(scrollBar.count, 2);
    // Closed, it is out of the window's sight; typing opens it again.
    key(Qt::Key_Escape);
    EXPECT_FALSE(completion()->isVisible());
    EXPECT_FALSE(panel->geometry().intersects(window->rect()));
    type(QStringLiteral("ot"));
    EXPECT_EQ(rows(), QStringList({"bottom"}));
    EXPECT_TRUE(window->rect().contains(panel->geometry()));
    EXPECT_EQ(completion()->panel(), panel);
    EXPECT_EQ(changes.count, 0);
    key(Qt::Key_Tab);
    EXPECT_EQ(marked(), QStringLiteral("a { bottom: |"));
    EXPECT_FALSE(completion()->isVisible());
}

TEST_F(NBECompletionControllerTest, ThePanelStaysUnderTheCaretAsTheWordGrows)
{
    QList<std::shared_ptr<QPromise<Items>>> requests;
    host.lspCompletion = [&](int, int) {
        auto promise = std::make_shared<QPromise<Items>>();
        promise->start();
        requests.append(promise);
        return promise->future();
    };
    const auto answer = [&](const QList<NBELSPCompletionItem> &items) {
        requests.last()->addResult(Items(items));
        requests.last()->finish();
        ASSERT_TRUE(NBETest::waitUntil([&] { return completion()->isVisible(); }));
    };
    // The panel starts at the caret, below its line, in the window.
    const auto expectUnderCaret = [&](const char *when) {
        const QRect rect = edit()->cursorRect();
        const QPoint caret = edit()->viewport()->mapTo(window.get(), rect.topLeft());
        const QRect panel = completion()->panel()->geometry();
        EXPECT_EQ(panel.left(), caret.x()) << when;
        EXPECT_GT(panel.top(), caret.y() + rect.height() - 1) << when;
    };
    // Keys typed after the server's answer narrow its list as they are
    // typed; the panel follows the caret along the line, with the line's
    // layout of the new text (at the line's end, and inside a snippet).
    open(NBELanguageRegistry::css(), QStringLiteral("a {\n  color: red;\n  te|\n}"));
    type(QStringLiteral("x"));
    NBELSPCompletionItem align{"text-align", "text-align: ;", "text-align", {}};
    align.tabStop = NBETextRange{12, 0};
    answer({align, NBELSPCompletionItem{"text-indent", "text-indent: ;", "text-indent", {}}});
    expectUnderCaret("answered");
    type(QStringLiteral("t-al"));
    ASSERT_EQ(rows(), QStringList({"text-align"}));
    expectUnderCaret("narrowed at the line's end");
    key(Qt::Key_Return);
    ASSERT_EQ(marked(), QStringLiteral("a {\n  color: red;\n  text-align: |;\n}"));
    type(QStringLiteral("c"));
    answer({NBELSPCompletionItem{"center", "center", "center", {}}});
    type(QStringLiteral("en"));
    ASSERT_EQ(rows(), QStringList({"center"}));
    expectUnderCaret("narrowed inside the snippet");

    // An edit the text view doesn't announce still places the panel, once
    // the event that made it is done.
    host.lspCompletion = nullptr;
    open(NBELanguageRegistry::css(), QStringLiteral("a {\n  colo|"));
    {
        const QSignalBlocker quiet(edit());
        type(QStringLiteral("r"));
    }
    ASSERT_EQ(rows().value(0), QStringLiteral("color"));
    QCoreApplication::processEvents();
    expectUnderCaret("edit not announced");
}

TEST(NBECompletionControllerPanel, RowsHeightAndSelection)
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

    // Rows that fit show whole, without a scroll bar; more rows scroll.
    for (const int count : {1, 4, 10, 11}) {
        controller.hide();
        controller.show(labels(count), caret, &host);
        QListView *list = controller.panel()->listView();
        QApplication::processEvents();
        const QRect last = list->visualRect(list->model()->index(count - 1, 0));
        EXPECT_EQ(list->verticalScrollBar()->isVisible(), count > 10) << count;
        if (count <= 10) {
            EXPECT_EQ(list->viewport()->height(), count * 20) << count;
            EXPECT_LE(last.bottom(), list->viewport()->height() - 1) << count;
            EXPECT_EQ(last.height(), 20) << count;
        }
    }
    controller.hide();

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
