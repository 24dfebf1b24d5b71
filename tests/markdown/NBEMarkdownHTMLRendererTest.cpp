#include "NBEMarkdownHTMLRenderer.h"
#include "NBEMarkdownParser.h"

#include "NBEMarkdownTestPrinting.h"

#include <gtest/gtest.h>

namespace {

// The body of the page between "<body>\n" and "\n</body>".
QString body(const QString &markdown)
{
    const QString page = NBEMarkdownHTMLRenderer::render(markdown, QStringLiteral("t"));
    const qsizetype start = page.indexOf(QStringLiteral("<body>\n")) + 7;
    const qsizetype end = page.lastIndexOf(QStringLiteral("\n</body>"));
    return page.sliced(start, end - start);
}

TEST(MarkdownHTMLRenderer, EmptyDocumentAndTitle)
{
    const QString page = NBEMarkdownHTMLRenderer::render(QString(), QStringLiteral("a & <b>.md"));
    EXPECT_TRUE(page.startsWith(QStringLiteral(
        "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
        "<meta name=\"viewport\" content=\"width=device-width, "
        "initial-scale=1\">\n<title>a &amp; &lt;b&gt;.md</title>\n<style>\n:root {")));
    EXPECT_TRUE(page.endsWith(QStringLiteral("</style>\n</head>\n<body>\n\n</body>\n</html>")));
    for (const char *rule :
         {"--accent: #D97706;", "@media (prefers-color-scheme: dark)", "li.task {", ".footnote {",
          "dd { margin-left: 1.2rem; color: #6b7280; }"})
        EXPECT_TRUE(page.contains(QString::fromUtf8(rule))) << rule;
}

struct RenderCase
{
    const char *name;
    QString markdown;
    QString html;
};

void PrintTo(const RenderCase &c, std::ostream *os)
{
    *os << c.name;
}

class MarkdownRender : public testing::TestWithParam<RenderCase>
{
};

TEST_P(MarkdownRender, Body)
{
    EXPECT_EQ(body(GetParam().markdown), GetParam().html);
}

INSTANTIATE_TEST_SUITE_P(
    Blocks, MarkdownRender,
    testing::Values(
        RenderCase{"heading", "## A *b*", "<h2>A <em>b</em></h2>"},
        RenderCase{"snakeCase", "snake_case_name", "<p>snake<em>case</em>name</p>"},
        RenderCase{"codeSpanNotProtected", "`*a*`", "<p><code><em>a</em></code></p>"},
        RenderCase{
            "strongAndEm", "**b** __c__ *d* _e_ ~~f~~",
            "<p><strong>b</strong> <strong>c</strong> <em>d</em> <em>e</em> <del>f</del></p>"},
        RenderCase{"tripleStar", "***a***", "<p><em><strong>a</strong></em></p>"},
        RenderCase{"link", "[a *b*](http://x.org/?a=1&b=2)",
                   "<p><a href=\"http://x.org/?a=1&amp;b=2\">a <em>b</em></a></p>"},
        RenderCase{"linkUrlWithSpace", "[a](b c) [d](e)f)",
                   "<p>[a](b c) <a href=\"e\">d</a>f)</p>"},
        RenderCase{"imageBeforeLink", "[![i](i.png)](u)",
                   "<p><a href=\"u\"><img src=\"i.png\" alt=\"i\"></a></p>"},
        RenderCase{"footnoteReference", "a[^2] [^x]", QStringLiteral("<p>a\u00b2 [^x]</p>")},
        RenderCase{"footnoteDefinition", "[^note]: *text*",
                   "<div class=\"footnote\"><sup>note</sup> <em>text</em></div>"},
        RenderCase{"quoteLines", "> a\n> b", "<blockquote>a<br>b</blockquote>"},
        RenderCase{"htmlBlockVerbatim", "<div class=\"x\">\n  <b>*</b>\n</div>",
                   "<div class=\"x\">\n  <b>*</b>\n</div>"},
        RenderCase{"tagInsideParagraphEscaped", "x <b>y</b>", "<p>x &lt;b&gt;y&lt;/b&gt;</p>"},
        RenderCase{"fenceLanguage", "```js\nif (a < b) {}\n```",
                   "<pre><code class=\"language-js\">if (a &lt; b) {}</code></pre>"},
        RenderCase{"fenceNoLanguage", "```\n\"q\"\n```", "<pre><code>\"q\"</code></pre>"},
        RenderCase{"taskList", "- [x] done\n- [ ] todo\n  1. sub",
                   "<ul>\n<li class=\"task\"><input type=\"checkbox\" disabled checked> done</li>\n"
                   "<li class=\"task\"><input type=\"checkbox\" disabled> "
                   "todo\n<ol>\n<li>sub</li>\n</ol></li>\n</ul>"},
        RenderCase{
            "table", "| a | b | c |\n|:-:|--:|---|\n| 1 | 2 |\n| 3 | 4 | 5 | 6 |",
            "<table>\n<thead><tr><th style=\"text-align:center\">a</th><th "
            "style=\"text-align:right\">b</th>"
            "<th>c</th></tr></thead>\n<tbody>\n<tr><td style=\"text-align:center\">1</td>"
            "<td style=\"text-align:right\">2</td></tr>\n<tr><td style=\"text-align:center\">3</td>"
            "<td style=\"text-align:right\">4</td><td>5</td><td>6</td></tr>\n</tbody>\n</table>"},
        RenderCase{"image", "![a \"q\" & b](p.png)",
                   "<p><img src=\"p.png\" alt=\"a &quot;q&quot; &amp; b\"></p>"},
        RenderCase{"definitionList", "T\n: a\n: b",
                   "<dl>\n<dt>T</dt>\n<dd>a</dd>\n<dd>b</dd>\n</dl>"},
        RenderCase{"rule", "a\n\n***", "<p>a</p>\n<hr>"}),
    [](const testing::TestParamInfo<RenderCase> &info) { return std::string(info.param.name); });

// Inline rules never reach into what an earlier rule generated, and a pair of
// markers that would cross an element boundary stays as text.
INSTANTIATE_TEST_SUITE_P(
    SoundInline, MarkdownRender,
    testing::Values(
        RenderCase{"urlKeepsUnderscores", "[x](x_y_z.html)", "<p><a href=\"x_y_z.html\">x</a></p>"},
        RenderCase{"urlKeepsStars", "[a](b*c*d) and *e*",
                   "<p><a href=\"b*c*d\">a</a> and <em>e</em></p>"},
        RenderCase{"altKeepsMarkers", "a ![*x* `y`](p_q_r.png)",
                   "<p>a <img src=\"p_q_r.png\" alt=\"*x* `y`\"></p>"},
        RenderCase{"crossingEmphasis", "**a _b** c_", "<p><strong>a _b</strong> c_</p>"},
        RenderCase{"crossingLink", "_a [b_ c](d)", "<p>_a <a href=\"d\">b_ c</a></p>"},
        RenderCase{"quoteInUrl", "[x](a\"onmouseover=\"alert(1))",
                   "<p><a href=\"a&quot;onmouseover=&quot;alert(1\">x</a>)</p>"},
        RenderCase{"quoteInImageUrl", "t ![x](\"><script>)",
                   "<p>t <img src=\"&quot;&gt;&lt;script&gt;\" alt=\"x\"></p>"},
        RenderCase{"fenceLanguageQuoted", "```\"><script>\nx\n```",
                   "<pre><code class=\"language-&quot;&gt;&lt;script&gt;\">x</code></pre>"},
        RenderCase{"quoteBreakNotInAttribute", "> ![a\n> b](u) *c\n> d*",
                   "<blockquote><img src=\"u\" alt=\"a\nb\"> <em>c<br>d</em></blockquote>"},
        RenderCase{"footnoteIdEscaped", "[^<i>]: n",
                   "<div class=\"footnote\"><sup>&lt;i&gt;</sup> n</div>"},
        RenderCase{"tableCellEscaped", "<b|c\n-|-", "<b|c\n-|-"},
        RenderCase{"tableCellText", "a<b>|c\n-|-",
                   "<table>\n<thead><tr><th>a&lt;b&gt;</th><th>c</th></tr></thead>\n<tbody>\n\n</"
                   "tbody>\n</table>"}),
    [](const testing::TestParamInfo<RenderCase> &info) { return std::string(info.param.name); });

TEST(MarkdownHTMLRenderer, Escaping)
{
    EXPECT_EQ(NBEMarkdownHTMLRenderer::escape(QStringLiteral("<a href=\"x\">&amp;</a>")),
              QStringLiteral("&lt;a href=\"x\"&gt;&amp;amp;&lt;/a&gt;"));
    EXPECT_EQ(NBEMarkdownHTMLRenderer::escapeAttribute(QStringLiteral("\"&'<>")),
              QStringLiteral("&quot;&amp;'&lt;&gt;"));
}

} // namespace
