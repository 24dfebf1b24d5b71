#include "NBEOutline.h"
#include "NBETestSupport.h"

#include <QDir>
#include <QSet>
#include <gtest/gtest.h>

namespace {

struct Brief
{
    QString name;
    NBESymbolKind kind;
    qint64 line;
    qint64 depth;
    bool operator==(const Brief &) const = default;
};

std::ostream &operator<<(std::ostream &out, const Brief &b)
{
    return out << b.name.toStdString() << " kind " << int(b.kind) << " line " << b.line << " depth "
               << b.depth;
}

std::vector<Brief> outline(const QString &text, const char *language)
{
    std::vector<Brief> result;
    for (const NBESymbol &symbol : NBEOutline::symbols(text, QString::fromLatin1(language)))
        result.push_back({symbol.name, symbol.kind, symbol.line, symbol.depth});
    return result;
}

constexpr auto element = NBESymbolKind::element;
constexpr auto selector = NBESymbolKind::selector;
constexpr auto atRule = NBESymbolKind::atRule;
constexpr auto cls = NBESymbolKind::cls;
constexpr auto function = NBESymbolKind::function;
constexpr auto method = NBESymbolKind::method;

} // namespace

TEST(NBEOutline, HTML)
{
    struct Row
    {
        const char *html;
        std::vector<Brief> expected;
    };
    const Row rows[] = {
        {"<div class=' card  wide'>x</div>", {{"div.card", element, 1, 0}}},
        {"<section class='x' id=\"a\"></section>", {{"section#a", element, 1, 0}}},
        {"<div>\n<h2>T</h2>\n</div>", {{"h2", element, 2, 1}}},
        {"<div class=''><br><img src=x><my-el/><p id=p></p></div>", {}},
        {"</div><nav></nav>", {{"nav", element, 1, 0}}},
        {"<!-- <nav> -->\n<main title='a > b'><ul></ul></main>",
         {{"main", element, 2, 0}, {"ul", element, 2, 1}}},
        {"<MAIN ID='x'><Form></Form></MAIN>", {{"main", element, 1, 0}, {"form", element, 1, 1}}},
        {"<script>if (a<b) {}</script><footer></footer>", {{"footer", element, 1, 0}}},
        {"<!DOCTYPE html><?xml x?><html lang=en><body>",
         {{"html", element, 1, 0}, {"body", element, 1, 1}}},
        {"<p data-id='q' id='r'>", {{"p#r", element, 1, 0}}},
        {"<ul", {{"ul", element, 1, 0}}},
    };
    for (const Row &row : rows)
        EXPECT_EQ(outline(QString::fromLatin1(row.html), "html"), row.expected) << row.html;

    const QString text = QStringLiteral("ab\n  <nav id=x>");
    const auto symbols = NBEOutline::symbols(text, QStringLiteral("html"));
    ASSERT_EQ(symbols.size(), 1);
    EXPECT_EQ(symbols[0].id, 5); // the offset of "<"
}

TEST(NBEOutline, CSS)
{
    struct Row
    {
        const char *css;
        std::vector<Brief> expected;
    };
    const Row rows[] = {
        {"@media (max-width: 600px) {\n  a { }\n  b { }\n}",
         {{"@media (max-width: 600px)", atRule, 1, 0},
          {"a", selector, 2, 1},
          {"b", selector, 3, 1}}},
        {"h1,\n  h2,\n\th3 { }", {{"h1, h2, h3", selector, 1, 0}}},
        {"a{}{}b{}", {{"a", selector, 1, 0}, {"b", selector, 1, 0}}},
        {"@import 'x.css';\np { content: '{'; }", {{"p", selector, 2, 0}}},
        {"/* head */ a { }", {{"/* head */ a", selector, 1, 0}}},
        {"a { } /* { */ b { }", {{"a", selector, 1, 0}, {"/* { */ b", selector, 1, 0}}},
        {"\n\n  .x { }", {{".x", selector, 3, 0}}},
        {"} } a { }", {{"a", selector, 1, 0}}},
    };
    for (const Row &row : rows)
        EXPECT_EQ(outline(QString::fromLatin1(row.css), "css"), row.expected) << row.css;
    const auto symbols = NBEOutline::symbols(QStringLiteral("\n  .x { }"), QStringLiteral("css"));
    ASSERT_EQ(symbols.size(), 1);
    EXPECT_EQ(symbols[0].id, 3);
}

TEST(NBEOutline, JavaScript)
{
    const QString js = QStringLiteral("export default class Widget extends Base {\n"
                                      "  render() {\n"
                                      "    while (x) {\n"
                                      "    }\n"
                                      "    const s = \"{\"; // {\n"
                                      "    const t = `{`; /* { */\n"
                                      "  }\n"
                                      "}\n"
                                      "const add = (a, b) => a + b;\n"
                                      "export async function* gen() {}\n"
                                      "let f = x => x;\n"
                                      "if (a) {\n"
                                      "}\n");
    const std::vector<Brief> expected{{"Widget", cls, 1, 0},
                                      {"render", method, 2, 1},
                                      {"add", function, 9, 0},
                                      {"gen", function, 10, 0},
                                      {"f", function, 11, 0}};
    EXPECT_EQ(outline(js, "javascript"), expected);
    const auto symbols = NBEOutline::symbols(js, QStringLiteral("javascript"));
    ASSERT_EQ(symbols.size(), 5);
    EXPECT_EQ(symbols[1].id, 1 * 100003 + 1);
    EXPECT_EQ(symbols[4].id, 10 * 100003 + 4);
}

TEST(NBEOutline, OtherLanguagesAndEmptyText)
{
    EXPECT_TRUE(NBEOutline::symbols(QStringLiteral("a { }"), QStringLiteral("json")).isEmpty());
    EXPECT_TRUE(NBEOutline::symbols(QStringLiteral("a { }"), std::nullopt).isEmpty());
    EXPECT_TRUE(NBEOutline::symbols(QString(), QStringLiteral("css")).isEmpty());
    EXPECT_TRUE(
        NBEOutline::symbols(QStringLiteral("class A {}"), QStringLiteral("JavaScript")).isEmpty());
}

TEST(NBEOutline, IdsStayUniqueOnLongFiles)
{
    // Far past the point where line x 100003 would overflow 32 bits.
    const int lines = 60000;
    const QString js = QStringLiteral("function f() {}\n").repeated(lines);
    const auto symbols = NBEOutline::symbols(js, QStringLiteral("javascript"));
    ASSERT_EQ(symbols.size(), lines);
    QSet<qint64> ids;
    for (const NBESymbol &symbol : symbols) {
        EXPECT_GT(symbol.id, -1);
        ids.insert(symbol.id);
    }
    EXPECT_EQ(ids.size(), lines);
    EXPECT_EQ(symbols.last().id, qint64(lines - 1) * 100003 + (lines - 1));
}

// The outline of a JavaScript file names the same classes, functions and
// methods, on the same lines, as the TypeScript language server.
TEST(NBEOutline, JavaScriptMatchesTheTypeScriptServer)
{
    const QString server = QStringLiteral(
        NBE_SOURCE_DIR "/Vendor/web-lsp/node_modules/typescript-language-server/lib/cli.mjs");
    ASSERT_TRUE(QFileInfo::exists(server)) << "run scripts/setup to install the language servers";
    const QString file = QStringLiteral(NBE_SOURCE_DIR "/tests/syntax/corpus/app.js");
    const auto result = NBETest::run(
        QStringLiteral("node"),
        {QStringLiteral(NBE_SOURCE_DIR "/tests/syntax/oracles/ts_symbols.mjs"), server, file});
    ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
    QSet<QString> reported;   // every symbol the server lists
    QSet<QString> structural; // its classes, methods, constructors and functions
    for (const QString &line : QString::fromUtf8(result.out).split('\n', Qt::SkipEmptyParts)) {
        const QStringList parts = line.split(' ');
        ASSERT_GE(parts.size(), 3) << line.toStdString();
        const QString key = parts[1] + ' ' + parts.mid(2).join(' ');
        reported.insert(key);
        const int kind = parts[0].toInt();
        if ((kind == 5 || kind == 6 || kind == 9 || kind == 12) && parts.size() == 3)
            structural.insert(key);
    }
    QSet<QString> ours;
    for (const NBESymbol &symbol :
         NBEOutline::symbols(QString::fromUtf8(NBETest::readFile(file)), "javascript"))
        ours.insert(QString::number(symbol.line) + ' ' + symbol.name);
    EXPECT_TRUE(ours.contains(structural))
        << QStringList(structural.values()).join(", ").toStdString();
    EXPECT_TRUE(reported.contains(ours)) << QStringList(ours.values()).join(", ").toStdString();
}
