// The web session against the real Node.js servers from Vendor/web-lsp,
// found through the same discovery the editor uses. These tests fail (never
// skip) when the servers are not installed: run scripts/setup.

#include "NBETestSupport.h"
#include "NBEWebLSPSession.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

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
        web->didOpen(url, language, text);
        return url;
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
    web->didChange(css, "body {\n  color: red;\n}\n");
    EXPECT_TRUE(NBETest::waitUntil([&] { return diagnostics.value(css.toLocalFile()).isEmpty(); },
                                   std::chrono::seconds(30)));
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
