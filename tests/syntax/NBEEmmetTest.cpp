#include "NBEEmmet.h"
#include "NBETestSupport.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <gtest/gtest.h>

namespace {

const QString four = QStringLiteral("    ");

QString lines(std::initializer_list<const char *> items)
{
    QStringList result;
    for (const char *item : items)
        result.append(QString::fromUtf8(item));
    return result.join('\n');
}

std::optional<QString> expand(const char *abbreviation, const QString &indent = four)
{
    return NBEEmmet::expand(QString::fromUtf8(abbreviation), indent);
}

} // namespace

TEST(NBEEmmet, Expand)
{
    struct Row
    {
        const char *abbreviation;
        QString expected;
    };
    const Row rows[] = {
        {"ul>li*3", lines({"<ul>", "    <li></li>", "    <li></li>", "    <li></li>", "</ul>"})},
        {"div.box#main", "<div id=\"main\" class=\"box\"></div>"},
        {".a.b", "<div class=\"a b\"></div>"},
        {"p{Hello}", "<p>Hello</p>"},
        {"a[href=x target='_blank']", "<a href=\"x\" target=\"_blank\"></a>"},
        {"input[disabled]", "<input disabled>"},
        {"img*2", lines({"<img>", "<img>"})},
        {"img{x}>p", "<img>"},
        {"DIV", "<DIV></DIV>"},
        {"e.g", "<e class=\"g\"></e>"},
        {"a>b+c", lines({"<a>", "    <b></b>", "    <c></c>", "</a>"})},
        {"a+b>c", lines({"<a></a>", "<b>", "    <c></c>", "</b>"})},
        {"p{Hi}>b", lines({"<p>", "    Hi", "    <b></b>", "</p>"})},
        {"#x#y", "<div id=\"y\"></div>"},
        {"p{a}{b}", "<p>b</p>"},
        {"[data-x]", "<div data-x></div>"},
        {"{}", "<div></div>"},
        {"  p  ", "<p></p>"},
        {"section.é-1>h1{Ünïcode}",
         lines({"<section class=\"é-1\">", "    <h1>Ünïcode</h1>", "</section>"})},
        {"a[b:c=\"x y\" d_e]", "<a b:c=\"x y\" d_e></a>"},
        {"ul>li*2>a", lines({"<ul>", "    <li>", "        <a></a>", "    </li>", "    <li>",
                             "        <a></a>", "    </li>", "</ul>"})},
    };
    for (const Row &row : rows)
        EXPECT_EQ(expand(row.abbreviation), row.expected) << row.abbreviation;
    EXPECT_EQ(expand("ul>li", QStringLiteral("\t")), lines({"<ul>", "\t<li></li>", "</ul>"}));
    const QString skeleton = *expand("!", QStringLiteral("\t"));
    EXPECT_EQ(skeleton, *expand("!"));
    EXPECT_TRUE(skeleton.contains(QStringLiteral("\n    <title>Document</title>\n")));
}

TEST(NBEEmmet, Refuses)
{
    const char *refused[] = {"a^b",   "(a)",     "a$", "li*0",   "li*",
                             "a+",    ".",       "#",  "a[href", "a{x",
                             "a[=x]", "a[x='y]", "",   "   ",    "a*99999999999999999999",
                             "p.",    "a>"};
    for (const char *abbreviation : refused)
        EXPECT_FALSE(expand(abbreviation)) << abbreviation;
}

TEST(NBEEmmet, RefusesHugeExpansionsAtOnce)
{
    const char *huge[] = {
        "div*100000000",
        "ul>li*1000>a*1000",
        "a*40>b*40>c*40>d*40",
        "p*1001",
        "p{0123456789012345678901234567890123456789012345678901234567890123456789"
        "0123456789012345678901234567890123456789012345678901234567890123456789"
        "0123456789012345678901234567890123456789012345678901234567890123456789"
        "0123456789012345678901234567890123456789012345678901234567890123456789}*1000",
    };
    for (const char *abbreviation : huge)
        EXPECT_FALSE(expand(abbreviation)) << abbreviation;
    EXPECT_TRUE(expand("p*1000"));
    // Deep nesting is refused before the parser's recursion gets deep.
    const QString deep = QStringLiteral("a>").repeated(100000) + QStringLiteral("b");
    EXPECT_FALSE(NBEEmmet::expand(deep, four));
    EXPECT_TRUE(NBEEmmet::expand(QStringLiteral("a>").repeated(50) + QStringLiteral("b"), four));
}

TEST(NBEEmmet, ShouldExpand)
{
    struct Row
    {
        const char *abbreviation;
        bool expected;
    };
    const Row rows[] = {{"", false},   {"!", true},   {"foo", false}, {"div", true}, {"DiV", true},
                        {"e.g", true}, {"a+b", true}, {"x{", true},   {"p*2", true}, {"x[", true},
                        {"#", true},   {"br", true},  {"slot", false}};
    for (const Row &row : rows)
        EXPECT_EQ(NBEEmmet::shouldExpand(QString::fromUtf8(row.abbreviation)), row.expected)
            << row.abbreviation;
}

TEST(NBEEmmet, ExpansionBeforeCaret)
{
    struct Row
    {
        const char *text; // the caret stands at "|"
        std::optional<NBEEmmetExpansion> expected;
    };
    const Row rows[] = {
        {"ul>li|", NBEEmmetExpansion{{0, 5}, lines({"<ul>", "  <li></li>", "</ul>"})}},
        {"<div>\n  hello p{two words}|", NBEEmmetExpansion{{14, 12}, "<p>two words</p>"}},
        {"x a[title='a b']| rest", NBEEmmetExpansion{{2, 14}, "<a title=\"a b\"></a>"}},
        {"first\n\tspan|\nlast", NBEEmmetExpansion{{7, 4}, "<span></span>"}},
        {"p |", std::nullopt},
        {"foo|", std::nullopt},
        {"|", std::nullopt},
        {"x\n|", std::nullopt},
    };
    for (const Row &row : rows) {
        QString text = QString::fromUtf8(row.text);
        const int caret = int(text.indexOf('|'));
        text.remove(caret, 1);
        EXPECT_EQ(NBEEmmet::expansion(caret, text, QStringLiteral("  ")), row.expected) << row.text;
    }
    EXPECT_FALSE(NBEEmmet::expansion(-1, QStringLiteral("p"), four));
    EXPECT_FALSE(NBEEmmet::expansion(2, QStringLiteral("p"), four));
}

// The reference Emmet implementation agrees on the supported grammar once
// line breaks and indentation are taken out (it keeps inline elements on
// their parent's line). Where this expansion differs on purpose: id is
// written before class whatever the typed order, bare attributes stay bare
// ("disabled", not disabled="disabled"), img, input and a get no default
// attributes, text without a tag ("{x}") is wrapped in a div, and "*N" must follow
// the other modifiers ("p*2{x}" does not expand).
TEST(NBEEmmet, MatchesTheReferenceImplementation)
{
    const QString folder = QStringLiteral(NBE_SOURCE_DIR "/tests/syntax/npm");
    ASSERT_TRUE(QDir(folder + "/node_modules/emmet").exists())
        << "run scripts/setup to install the test packages";
    const QStringList abbreviations = {
        "ul>li*3",
        ".a.b",
        "p{Hello}",
        "a[href=x target='_blank']",
        "section>h1{Title}+p.lead{Text}",
        "nav#top>ul.menu>li.item*2>a[href=#]{Link}",
        "div>p{t}>b",
        "table>tr*2>td*3",
        "header+main+footer",
        "ol>li*2>span.n+em",
        "form[action=/send method=post]>fieldset>legend{Name}+p[title=x]",
        "div#a>div#b>div#c",
        "h1{Über}+p{日本語}",
        "blockquote>p{x}*2",
    };
    QJsonArray input;
    for (const QString &abbreviation : abbreviations)
        input.append(abbreviation);
    const auto result =
        NBETest::run(QStringLiteral("node"),
                     {"-e", "const emmet = require('emmet').default;"
                            "const list = JSON.parse(require('fs').readFileSync(0, 'utf8'));"
                            "console.log(JSON.stringify(list.map((a) => emmet(a, {options: {"
                            "'output.indent': '    '}}))));"},
                     folder, QJsonDocument(input).toJson());
    ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
    const QJsonArray reference = QJsonDocument::fromJson(result.out).array();
    ASSERT_EQ(reference.size(), abbreviations.size());
    static const QRegularExpression layout(QStringLiteral("\n\\s*"));
    for (qsizetype i = 0; i < abbreviations.size(); ++i) {
        const auto ours = NBEEmmet::expand(abbreviations[i], four);
        ASSERT_TRUE(ours) << abbreviations[i].toStdString();
        EXPECT_EQ(QString(*ours).remove(layout).toStdString(),
                  reference[i].toString().remove(layout).toStdString())
            << abbreviations[i].toStdString();
    }
}
