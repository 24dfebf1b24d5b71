// The web session against the real Node.js servers from Vendor/web-lsp,
// found through the same discovery the editor uses. These tests fail (never
// skip) when the servers are not installed: run scripts/setup.

#include "NBECodeSamples.h"
#include "NBETestSupport.h"
#include "NBETextBuffer.h"
#include "NBEWebLSPSession.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <gtest/gtest.h>

namespace {

// Reads the buffer's text under its revision, as the editor's sync does.
NBELSPDocumentSync::TextReader reader(const NBETextBuffer &buffer)
{
    return [&buffer] { return NBELSPDocumentSync::Text{buffer.text(), qint64(buffer.revision())}; };
}

class NBEWebLSPRealServersTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        for (const char *language : {"html", "css", "json", "javascript"})
            ASSERT_TRUE(NBEWebLSPServers::launch(language))
                << language << " server or Node.js missing: run scripts/setup";
        web = std::make_unique<NBEWebLSPSession>(QUrl::fromLocalFile(dir.path()));
        QObject::connect(web.get(), &NBEWebLSPSession::diagnosticsPublished,
                         [this](const QUrl &url, const QList<NBELSPDiagnostic> &list) {
                             diagnostics[url.toLocalFile()] = list;
                         });
    }

    void TearDown() override
    {
        if (web)
            NBETest::await(web->shutdown());
    }

    // Writes the file and opens it in the session.
    QUrl open(const QString &name, const QString &language, const QString &text)
    {
        NBETest::writeFile(dir.filePath(name), text.toUtf8());
        const QUrl url = QUrl::fromLocalFile(dir.filePath(name));
        web->didOpen(url, language, text, 0);
        return url;
    }

    // Every edit of the buffer goes to the session as the editor sends it.
    void follow(NBETextBuffer &buffer, const QUrl &url)
    {
        QObject::connect(&buffer, &NBETextBuffer::changed,
                         [this, &buffer, url](const NBETextChange &change) {
                             web->didChange(url, change, qint64(buffer.revision()), reader(buffer));
                         });
    }

    // Waits for a non-empty list for the file and returns it.
    QList<NBELSPDiagnostic> diagnosticsFor(const QUrl &url)
    {
        NBETest::waitUntil([&] { return !diagnostics.value(url.toLocalFile()).isEmpty(); },
                           std::chrono::seconds(60));
        return diagnostics.value(url.toLocalFile());
    }

    static QString messages(const QList<NBELSPDiagnostic> &list)
    {
        QStringList texts;
        for (const NBELSPDiagnostic &diagnostic : list)
            texts.append(diagnostic.message);
        return texts.join(" | ");
    }

    QTemporaryDir dir;
    std::unique_ptr<NBEWebLSPSession> web;
    QHash<QString, QList<NBELSPDiagnostic>> diagnostics;
};

} // namespace

TEST_F(NBEWebLSPRealServersTest, EachLanguageGetsItsDiagnostics)
{
    const QUrl html =
        open("page.html", "html",
             "<!DOCTYPE html>\n<html>\n<head>\n<style>\np { color: red\n</style>\n</head>\n"
             "<body><p>Hi</p></body>\n</html>\n");
    const QUrl css =
        open("style.css", "css", "body {\n  color: red;\n  colr: blue;\n}\n.a { width: }\n");
    const QUrl json = open("data.json", "json", "{\n  \"a\": 1,\n  \"b\": \n}\n");
    const QUrl js = open("app.js", "javascript", "const x = ;\nfunction f( {\n");

    const auto htmlProblems = diagnosticsFor(html);
    ASSERT_FALSE(htmlProblems.isEmpty());
    EXPECT_GE(htmlProblems.first().startLine, 4) << messages(htmlProblems).toStdString();

    const auto cssProblems = diagnosticsFor(css);
    ASSERT_FALSE(cssProblems.isEmpty());
    EXPECT_TRUE(messages(cssProblems).contains("colr")) << messages(cssProblems).toStdString();

    const auto jsonProblems = diagnosticsFor(json);
    ASSERT_FALSE(jsonProblems.isEmpty());
    EXPECT_EQ(jsonProblems.first().severity, NBELSPDiagnosticSeverity::error);

    const auto jsProblems = diagnosticsFor(js);
    ASSERT_FALSE(jsProblems.isEmpty());
    EXPECT_EQ(jsProblems.first().startLine, 0) << messages(jsProblems).toStdString();

    // A fix clears the list.
    web->didChange(css, "body {\n  color: red;\n}\n", 1);
    EXPECT_TRUE(NBETest::waitUntil([&] { return diagnostics.value(css.toLocalFile()).isEmpty(); },
                                   std::chrono::seconds(30)));
}

// Configuration files that TypeScript and editors read with comments and
// trailing commas (tsconfig.json as "tsc --init" writes it) are valid; in
// other JSON files a comment is still an error.
TEST_F(NBEWebLSPRealServersTest, JSONWithCommentsIsValidWhereItsToolsAllowIt)
{
    const QString commented = QStringLiteral(
        "{\n  // options\n  \"compilerOptions\": {\n    \"strict\": true, /* on */\n  },\n}\n");
    QDir(dir.path()).mkpath(QStringLiteral(".vscode"));
    const QUrl tsconfig = open("tsconfig.json", "json", commented);
    const QUrl variant = open("tsconfig.app.json", "json", commented);
    const QUrl settings = open(".vscode/settings.json", "json", commented);
    const QUrl package = open("package.json", "json", commented);

    const auto packageProblems = diagnosticsFor(package);
    EXPECT_TRUE(messages(packageProblems).contains(QStringLiteral("Comments are not permitted")))
        << messages(packageProblems).toStdString();
    for (const QUrl &url : {tsconfig, variant, settings}) {
        EXPECT_TRUE(NBETest::waitUntil(
            [&] {
                const auto published = diagnostics.constFind(url.toLocalFile());
                return published != diagnostics.cend() && published->isEmpty();
            },
            std::chrono::seconds(20)))
            << url.fileName().toStdString() << ": "
            << messages(diagnostics.value(url.toLocalFile())).toStdString();
    }
}

TEST_F(NBEWebLSPRealServersTest, AFileNamedWithPlusAndAtGetsItsDiagnostics)
{
    const QUrl odd = open("a+b@c.js", "javascript", "let y = ;\n");
    const auto problems = diagnosticsFor(odd);
    ASSERT_FALSE(problems.isEmpty()) << "diagnostics were published for: "
                                     << QStringList(diagnostics.keys()).join(", ").toStdString();
    EXPECT_EQ(problems.first().startLine, 0);
}

TEST_F(NBEWebLSPRealServersTest, CSSCompletionAndFormatting)
{
    const QString messy = "a{color:red;background:blue}\n.b   {margin:0}";
    const QUrl css = open("messy.css", "css", messy);
    ASSERT_TRUE(NBETest::waitUntil([&] { return diagnostics.contains(css.toLocalFile()); },
                                   std::chrono::seconds(60)));

    const auto formatted = NBETest::await(web->formatting(css, messy, 4, true));
    ASSERT_TRUE(formatted.has_value());
    EXPECT_EQ(*formatted,
              "a {\n    color: red;\n    background: blue\n}\n\n.b {\n    margin: 0\n}");

    const auto items = NBETest::await(web->completion(css, 1, 6));
    ASSERT_TRUE(items.has_value());
    const auto margin = std::find_if(items->begin(), items->end(),
                                     [](const auto &item) { return item.label == "margin"; });
    ASSERT_NE(margin, items->end());
    EXPECT_FALSE(margin->insertText.contains('$')) << margin->insertText.toStdString();
}

TEST_F(NBEWebLSPRealServersTest, HTMLFormattingLeavesCodeSamplesAlone)
{
    const QString page = NBECodeSamples::page();
    const QUrl html = open("demo.html", "html", page);
    ASSERT_TRUE(NBETest::waitUntil([&] { return diagnostics.contains(html.toLocalFile()); },
                                   std::chrono::seconds(60)));
    const auto formatted = NBETest::await(web->formatting(html, page, 4, true));
    ASSERT_TRUE(formatted.has_value());
    EXPECT_NE(*formatted, page);
    EXPECT_EQ(NBECodeSamples::samples(*formatted), NBECodeSamples::samples(page))
        << formatted->toStdString();
}

// The servers end their text without a line break; a file that ended with
// one keeps it, and one already formatted is left as it is.
TEST_F(NBEWebLSPRealServersTest, FormattingKeepsTheFilesLastLineBreak)
{
    const QString css = "a{color:red}\nb{margin:0}\n";
    const QUrl cssURL = open("ends.css", "css", css);
    const QString page = "<!DOCTYPE html>\n<html>\n<body>\n<div><p>x</p></div>\n</body>\n</html>\n";
    const QUrl html = open("ends.html", "html", page);
    ASSERT_TRUE(NBETest::waitUntil(
        [&] {
            return diagnostics.contains(cssURL.toLocalFile()) &&
                   diagnostics.contains(html.toLocalFile());
        },
        std::chrono::seconds(60)));

    const auto formattedCSS = NBETest::await(web->formatting(cssURL, css, 4, true));
    ASSERT_TRUE(formattedCSS.has_value());
    EXPECT_EQ(*formattedCSS, "a {\n    color: red\n}\n\nb {\n    margin: 0\n}\n");
    const auto formattedPage = NBETest::await(web->formatting(html, page, 4, true));
    ASSERT_TRUE(formattedPage.has_value());
    EXPECT_NE(*formattedPage, page);
    EXPECT_TRUE(formattedPage->endsWith("</html>\n")) << formattedPage->toStdString();

    const QString tidy = "a {\n    color: red\n}\n";
    const QUrl tidyURL = open("tidy.css", "css", tidy);
    const auto again = NBETest::await(web->formatting(tidyURL, tidy, 4, true));
    EXPECT_TRUE(!again || *again == tidy) << again->toStdString();
}

TEST_F(NBEWebLSPRealServersTest, HTMLHover)
{
    const QUrl html = open("hover.html", "html",
                           "<!DOCTYPE html>\n<html>\n<body>\n<div>x</div>\n</body>\n</html>\n");
    ASSERT_TRUE(NBETest::waitUntil([&] { return diagnostics.contains(html.toLocalFile()); },
                                   std::chrono::seconds(60)));
    const auto text = NBETest::await(web->hover(html, 3, 2));
    ASSERT_TRUE(text.has_value());
    EXPECT_FALSE(text->isEmpty());
}

TEST_F(NBEWebLSPRealServersTest, JavaScriptDefinitionAcrossTwoFiles)
{
    open("lib.js", "javascript", "export function greet(name) {\n  return 'hi ' + name;\n}\n");
    const QUrl main =
        open("main.js", "javascript", "import { greet } from './lib.js';\n\ngreet('you');\n");
    std::optional<NBELSPLocation> location;
    // The TypeScript server answers once it has loaded the project.
    NBETest::waitUntil(
        [&] {
            location = NBETest::await(web->definition(main, 2, 1));
            return location.has_value() && location->url.fileName() == "lib.js";
        },
        std::chrono::seconds(60));
    ASSERT_TRUE(location.has_value());
    EXPECT_EQ(location->url, QUrl::fromLocalFile(dir.filePath("lib.js")));
    EXPECT_EQ(location->line, 0);
    EXPECT_EQ(location->character, 16);
}

namespace {

// Edits as an editor makes them, on a buffer's document: typing, line
// breaks, deletions, pastes over selections spanning lines, undo and redo.
void editRandomly(NBETextBuffer &buffer, QRandomGenerator &random, int steps)
{
    static const QStringList pieces = {"x", ";", "\n", "{", "}", " color: red", "\n.c {\n",
                                       "margin: 0;\n}\n", "é", "  ",
                                       // Two UTF-16 units each, and a Windows line break as a paste
                                       // brings it.
                                       "\U0001F600", "/* \U0001D11E */", "\r\n", "a{}\r\nb{}\r\n"};
    QTextDocument *document = buffer.document();
    for (int step = 0; step < steps; ++step) {
        const int length = int(buffer.length());
        const int a = int(random.bounded(length + 1));
        const int b = int(random.bounded(length + 1));
        QTextCursor cursor(document);
        cursor.setPosition(std::min(a, b));
        switch (random.bounded(6)) {
        case 0:
        case 1:
            cursor.insertText(pieces.at(random.bounded(int(pieces.size()))));
            break;
        case 2:
            cursor.deletePreviousChar();
            break;
        case 3:
            cursor.setPosition(std::max(a, b), QTextCursor::KeepAnchor);
            cursor.insertText(pieces.at(random.bounded(int(pieces.size()))));
            break;
        case 4:
            cursor.setPosition(std::min(length, std::min(a, b) + 12), QTextCursor::KeepAnchor);
            cursor.removeSelectedText();
            break;
        case 5:
            if (random.bounded(2))
                document->undo();
            else
                document->redo();
            break;
        }
    }
}

} // namespace

// The server's copy of an edited document is the buffer's text, whether the
// edits went as ranges or as whole texts: it formats the edited document
// exactly as a fresh one holding the same text.
TEST_F(NBEWebLSPRealServersTest, EditsOfEveryKindLeaveTheServerWithTheBuffersText)
{
    for (const bool ranges : {true, false}) {
        SCOPED_TRACE(ranges ? "ranged changes" : "whole texts");
        NBEWebLSPSession session(QUrl::fromLocalFile(dir.path()));
        session.allowIncrementalSync = ranges;
        QHash<QString, QList<NBELSPDiagnostic>> published;
        QObject::connect(&session, &NBEWebLSPSession::diagnosticsPublished,
                         [&](const QUrl &url, const QList<NBELSPDiagnostic> &list) {
                             published[url.toLocalFile()] = list;
                         });
        const QString start = "a{color:red;background:blue}\n.b   {margin:0}\n";
        const QString name = ranges ? "ranges.css" : "whole.css";
        NBETest::writeFile(dir.filePath(name), start.toUtf8());
        const QUrl url = QUrl::fromLocalFile(dir.filePath(name));
        NBETextBuffer buffer(start);
        session.didOpen(url, "css", start, qint64(buffer.revision()));
        QObject::connect(&buffer, &NBETextBuffer::changed, [&](const NBETextChange &change) {
            session.didChange(url, change, qint64(buffer.revision()), reader(buffer));
        });
        QRandomGenerator random(ranges ? 11 : 12);
        // Some edits while the server starts, the rest once it runs.
        editRandomly(buffer, random, 20);
        ASSERT_TRUE(NBETest::waitUntil([&] { return published.contains(url.toLocalFile()); },
                                       std::chrono::seconds(60)));
        editRandomly(buffer, random, 200);
        buffer.document()->undo();
        buffer.replaceAll(buffer.text() + ".d{padding:1px}\n");
        editRandomly(buffer, random, 50);

        const QString text = buffer.text();
        NBETest::writeFile(dir.filePath("fresh-" + name), text.toUtf8());
        const QUrl fresh = QUrl::fromLocalFile(dir.filePath("fresh-" + name));
        session.didOpen(fresh, "css", text, 0);
        const auto reference = NBETest::await(session.formatting(fresh, text, 2, true));
        const auto edited = NBETest::await(session.formatting(url, text, 2, true));
        ASSERT_TRUE(reference.has_value()) << text.toStdString();
        EXPECT_EQ(edited, reference) << text.toStdString();
        EXPECT_EQ(session.version(url), qint64(buffer.revision()));
        EXPECT_EQ(session.syncsIncrementally(url), ranges);
        NBETest::await(session.shutdown());
    }
}

// Whole texts typed in a burst go out as one, the newest, under a version
// above the opened one; the diagnostics then describe that text.
TEST_F(NBEWebLSPRealServersTest, ABurstOfWholeTextChangesLeavesTheServerOnTheLastText)
{
    web->allowIncrementalSync = false;
    const QString start = "body {\n  color: red;\n}\n";
    const QUrl url = open("burst.css", "css", start);
    ASSERT_TRUE(NBETest::waitUntil([&] { return diagnostics.contains(url.toLocalFile()); },
                                   std::chrono::seconds(60)));
    EXPECT_TRUE(diagnostics.value(url.toLocalFile()).isEmpty());

    NBETextBuffer buffer(start);
    follow(buffer, url);
    // Typed one key at a time after "color: red;\n"; every text on the way
    // but the last has other problems.
    QTextCursor cursor(buffer.document());
    cursor.setPosition(int(start.indexOf(QLatin1Char('}'))));
    const QString typed = "  colr: blue;\n";
    for (const QChar c : typed)
        cursor.insertText(QString(c));

    ASSERT_TRUE(NBETest::waitUntil(
        [&] { return messages(diagnostics.value(url.toLocalFile())).contains("colr"); },
        std::chrono::seconds(30)));
    const QList<NBELSPDiagnostic> found = diagnostics.value(url.toLocalFile());
    ASSERT_EQ(found.size(), 1) << messages(found).toStdString();
    EXPECT_EQ(found.first().startLine, 2);
    EXPECT_EQ(web->version(url), qint64(buffer.revision())) << "the server holds the last text";
}

// A page edited by ranged changes (characters of two UTF-16 units before the
// faults, lines joined, split and removed, a Windows line break pasted) gets
// its diagnostics where a fresh open of the same text puts them.
TEST_F(NBEWebLSPRealServersTest, DiagnosticsOfAnEditedPageLieWhereAFreshOpenPutsThem)
{
    QString start;
    for (int i = 0; i < 30; ++i)
        start += QStringLiteral("<p>line %1</p><style>.a%1 { widht: 1px }</style>\n").arg(i);
    const QUrl url = open("edited.html", "html", start);
    NBETextBuffer buffer(start);
    follow(buffer, url);
    ASSERT_EQ(diagnosticsFor(url).size(), 30);
    // Each edit below goes as its range, not as the whole page.
    EXPECT_TRUE(web->syncsIncrementally(url));

    QTextDocument *document = buffer.document();
    const auto at = [&](int line, int column) {
        QTextCursor cursor(document->findBlockByNumber(line));
        cursor.setPosition(cursor.position() + column);
        return cursor;
    };
    for (int line = 0; line < 30; line += 3)
        at(line, 0).insertText(QStringLiteral("\U0001F600"));
    at(5, int(document->findBlockByNumber(5).text().indexOf(u"widht")))
        .insertText(QStringLiteral("\U0001D11E "));
    QTextCursor join = at(3, int(document->findBlockByNumber(3).length()) - 1);
    join.deleteChar();
    at(10, 4).insertText(QStringLiteral("x\r\ny"));
    QTextCursor removed = at(12, 0);
    removed.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor);
    removed.removeSelectedText();
    at(0, 1).deletePreviousChar(); // the whole first character, both units

    const QString text = buffer.text();
    const QUrl fresh = open("fresh.html", "html", text);
    const QList<NBELSPDiagnostic> reference = diagnosticsFor(fresh);
    // One fault went with its line; the one behind the wide character
    // became two others.
    EXPECT_EQ(messages(reference).count("Unknown property"), 28);
    EXPECT_TRUE(
        NBETest::waitUntil([&] { return diagnostics.value(url.toLocalFile()) == reference; },
                           std::chrono::seconds(60)))
        << messages(diagnostics.value(url.toLocalFile())).toStdString();
    EXPECT_EQ(web->version(url), qint64(buffer.revision()));
}

// Keys at a caret, as a typist makes them (lines split and joined by
// Backspace, a word undone), are held and merged while they come: the
// server still ends with the buffer's text, a completion asked in the
// middle answers for the text at the caret, and the diagnostics after the
// pause are those of a fresh open.
TEST_F(NBEWebLSPRealServersTest, AKeyBurstLeavesTheServerWithTheBuffersText)
{
    const QString start = "<html><body>\n<p>one</p>\n<p>two</p>\n<style>\n.a { widht: 1px }\n"
                          "</style>\n</body></html>\n";
    const QUrl url = open("burst.html", "html", start);
    NBETextBuffer buffer(start);
    follow(buffer, url);
    ASSERT_EQ(diagnosticsFor(url).size(), 1);
    ASSERT_TRUE(web->syncsIncrementally(url));

    QTextDocument *document = buffer.document();
    QTextCursor cursor(document->findBlockByNumber(2));
    cursor.deletePreviousChar(); // joins "<p>one</p>" and "<p>two</p>"
    for (const QString key : {"\n", "<", "b", ">", "x", "x", "\n"})
        cursor.insertText(key);
    cursor.deletePreviousChar();
    cursor.deletePreviousChar();
    document->undo(&cursor);
    cursor = QTextCursor(document->findBlockByNumber(document->blockCount() - 4));
    cursor.movePosition(QTextCursor::EndOfBlock);
    for (const QString key : {"\n", ".", "b", " ", "{", " ", "b", "a", "c", "k", "g", "r"})
        cursor.insertText(key);
    const int line = cursor.blockNumber();
    const int character = cursor.positionInBlock();
    const auto items = NBETest::await(web->completion(url, line, character));
    ASSERT_TRUE(items.has_value());
    EXPECT_TRUE(std::ranges::any_of(*items, [](const NBELSPCompletionItem &item) {
        return item.label == "background-color";
    })) << buffer.text().toStdString();
    for (const QString key : {"o", "u", "n", "d", ":", " ", "r", "e", "d", " ", "}"})
        cursor.insertText(key);
    cursor.setPosition(int(buffer.text().indexOf("widht") + 3));
    cursor.deletePreviousChar();
    cursor.insertText("d");

    const QString text = buffer.text();
    const QUrl fresh = open("fresh-burst.html", "html", text);
    const QList<NBELSPDiagnostic> reference = diagnosticsFor(fresh);
    EXPECT_EQ(messages(reference).count("Unknown property"), 1) << text.toStdString();
    EXPECT_TRUE(
        NBETest::waitUntil([&] { return diagnostics.value(url.toLocalFile()) == reference; },
                           std::chrono::seconds(60)))
        << messages(diagnostics.value(url.toLocalFile())).toStdString();
    EXPECT_EQ(web->version(url), qint64(buffer.revision()));
    EXPECT_EQ(NBETest::await(web->formatting(url, text, 2, true)),
              NBETest::await(web->formatting(fresh, text, 2, true)));
}

// Keys typed with pauses into a large script, from its open on (while the
// JavaScript server starts) and after, cost the server the bytes of the
// keys, not of the text; it still ends with the buffer's text, its
// diagnostics those of a fresh open.
TEST_F(NBEWebLSPRealServersTest, KeysInALargeScriptSendTheKeysNotTheText)
{
    QString start;
    for (int i = 0; start.size() < 400'000; ++i)
        start +=
            QStringLiteral("function f%1(a,b){return a.map(function(c){return c*%1+b})};").arg(i);
    start += u'\n';
    // The server reads its input through tee, which keeps a copy of it.
    const QString sent = dir.filePath("sent");
    web->launchFor = [sent](const QString &language) -> std::optional<NBEWebLSPLaunch> {
        auto launch = NBEWebLSPServers::launch(language);
        if (!launch)
            return launch;
        const QStringList command =
            QStringList{launch->executable} + NBEWebLSPServers::processArguments(*launch);
        return NBEWebLSPLaunch{
            "/bin/sh", {"-c", "tee -- '" + sent + "' | '" + command.join("' '") + "'"}, language};
    };
    const QUrl url = open("bundle.js", "javascript", start);
    NBETextBuffer buffer(start);
    follow(buffer, url);
    QTextCursor cursor(buffer.document());
    cursor.setPosition(int(start.size() / 2));
    const auto typeWithPauses = [&](int keys) {
        for (int key = 0; key < keys; ++key) {
            cursor.insertText(key % 5 == 4 ? QStringLiteral(")") : QStringLiteral("x"));
            QElapsedTimer pause;
            pause.start();
            NBETest::waitUntil([&] { return pause.hasExpired(130); });
        }
    };
    typeWithPauses(10);
    ASSERT_FALSE(diagnosticsFor(url).isEmpty());
    typeWithPauses(20);
    cursor.setPosition(100);
    typeWithPauses(5);
    ASSERT_TRUE(NBETest::waitUntil([&] { return web->version(url) == qint64(buffer.revision()); }));
    // The text went once, with the open; each key is a message of a few
    // hundred bytes.
    ASSERT_TRUE(NBETest::waitUntil([&] { return QFileInfo(sent).size() > start.size(); }));
    QElapsedTimer settle;
    settle.start();
    NBETest::waitUntil([&] { return settle.hasExpired(500); });
    EXPECT_LT(QFileInfo(sent).size(), start.size() + 35 * 1024) << QFileInfo(sent).size();

    // The server publishes in stages (syntax, then the rest): both lists
    // settle on the same one.
    const QString text = buffer.text();
    const QUrl fresh = open("fresh-bundle.js", "javascript", text);
    const auto same = [&] {
        const QList<NBELSPDiagnostic> edited = diagnostics.value(url.toLocalFile());
        return !edited.isEmpty() && edited == diagnostics.value(fresh.toLocalFile());
    };
    EXPECT_TRUE(NBETest::waitUntil(same, std::chrono::seconds(60)))
        << messages(diagnostics.value(url.toLocalFile())).toStdString() << "\n"
        << messages(diagnostics.value(fresh.toLocalFile())).toStdString();
}
