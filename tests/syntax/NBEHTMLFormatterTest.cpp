#include "NBEHTMLFormatter.h"
#include "NBECodeSamples.h"
#include "NBESyntaxOracle.h"

#include <QRandomGenerator>

#include <gtest/gtest.h>

namespace {

QString join(std::initializer_list<const char *> items)
{
    QStringList result;
    for (const char *item : items)
        result.append(QString::fromUtf8(item));
    return result.join('\n');
}

} // namespace

TEST(NBEHTMLFormatter, Reindents)
{
    struct Row
    {
        const char *name;
        QString html;
        QString expected;
    };
    const Row rows[] = {
        {"nesting", join({"<div>", "<p>x</p>", "</div>"}), join({"<div>", "  <p>x</p>", "</div>"})},
        {"wrong indentation, blank lines, final LF",
         join({"      <ul>", "<li>a</li>", "   ", "            <li>b</li>", "  </ul>", ""}),
         join({"<ul>", "  <li>a</li>", "", "  <li>b</li>", "</ul>", ""})},
        {"void and self-closing",
         join({"<div>", "<br>", "<img src='a.png'>", "<input/>", "<my-el/>", "x", "</div>"}),
         join({"<div>", "  <br>", "  <img src='a.png'>", "  <input/>", "  <my-el/>", "  x",
               "</div>"})},
        {"script content kept",
         join({"<div>", "<script>", "  let a = 1;", "  </script>", "<p>after</p>", "</div>"}),
         join({"<div>", "  <script>", "  let a = 1;", "  </script>", "  <p>after</p>", "</div>"})},
        {"one-line script", join({"<script src='a.js'></script>", "<p>x</p>"}),
         join({"<script src='a.js'></script>", "<p>x</p>"})},
        {"multi-line comment", join({"<div>", "<!-- note", "  more -->", "<p>x</p>", "</div>"}),
         join({"<div>", "  <!-- note", "  more -->", "  <p>x</p>", "</div>"})},
        {"one-line comment", join({"<!-- one-line -->", "<p>x</p>"}),
         join({"<!-- one-line -->", "<p>x</p>"})},
        {"two closings", join({"<a>", "<b>", "</b></a>", "x"}),
         join({"<a>", "  <b>", "  </b></a>", "x"})},
        {"tag over two lines", join({"<div", "class='a'>", "x", "</div>"}),
         join({"<div", "  class='a'>", "  x", "</div>"})},
        {"self-closing slash on a later line", join({"<my-el", "a='b' />", "x"}),
         join({"<my-el", "  a='b' />", "  x"})},
        {"surplus closings", join({"</div>", "</div>", "<p>x</p>"}),
         join({"</div>", "</div>", "<p>x</p>"})},
        {"closing void still closes", join({"<div>", "</br>", "x"}), join({"<div>", "</br>", "x"})},
        {"uppercase raw terminator", join({"<PRE>", "  a  ", "</Pre>", "<p>"}),
         join({"<PRE>", "  a  ", "</Pre>", "<p>"})},
        {"doctype and processing instruction", join({"<!DOCTYPE html>", "<?xml x?>", "<p>"}),
         join({"<!DOCTYPE html>", "<?xml x?>", "<p>"})},
        // Raw content is never changed: blanks after an opening pre tag are
        // the first line of its text.
        {"pre first line keeps trailing blanks", join({"<div>", "   <pre>code   ", "</pre>"}),
         join({"<div>", "  <pre>code   ", "</pre>"})},
        {"textarea keeps everything", join({"<div>", "<textarea>  a  ", "\t  b  </textarea>"}),
         join({"<div>", "  <textarea>  a  ", "\t  b  </textarea>"})},
        {"style body kept", join({"<style>", "   a { }   ", "</style>", "  <p>"}),
         join({"<style>", "   a { }   ", "</style>", "<p>"})},
        {"comment's first line keeps trailing blanks", join({"  <!-- a  ", "b -->"}),
         join({"<!-- a  ", "b -->"})},
        {"list items without end tags", join({"<ul>", "<li>a", "<li>b", "</ul>", "<p>x"}),
         join({"<ul>", "  <li>a", "  <li>b", "</ul>", "<p>x"})},
        {"table cells and rows without end tags",
         join({"<table>", "<tr>", "<td>a", "<td>b", "<tr>", "<th>c", "</table>", "x"}),
         join({"<table>", "  <tr>", "    <td>a", "    <td>b", "  <tr>", "    <th>c", "</table>",
               "x"})},
        {"definition terms", join({"<dl>", "<dt>a", "<dd>b", "<dt>c", "</dl>"}),
         join({"<dl>", "  <dt>a", "  <dd>b", "  <dt>c", "</dl>"})},
        {"options", join({"<select>", "<option>a", "<option>b", "</select>", "x"}),
         join({"<select>", "  <option>a", "  <option>b", "</select>", "x"})},
        {"a block ends an open paragraph",
         join({"<div>", "<p>text", "<div>", "x", "</div>", "</div>"}),
         join({"<div>", "  <p>text", "  <div>", "    x", "  </div>", "</div>"})},
        {"items with end tags on one line each",
         join({"<ol>", "<li><p>a</p></li>", "<li>b</li>", "</ol>"}),
         join({"<ol>", "  <li><p>a</p></li>", "  <li>b</li>", "</ol>"})},
    };
    for (const Row &row : rows)
        EXPECT_EQ(NBEHTMLFormatter::format(row.html, QStringLiteral("  ")), row.expected)
            << row.name;

    // Deep nesting indents no further than 64 levels, and the closings
    // still line up once they are back within it.
    QStringList deep;
    for (int i = 0; i < 70; ++i)
        deep.append("<div>");
    for (int i = 0; i < 70; ++i)
        deep.append("</div>");
    const QStringList formatted = NBEHTMLFormatter::format(deep.join('\n'), "  ").split('\n');
    EXPECT_EQ(formatted[64], QString(64 * 2, u' ') + "<div>");
    EXPECT_EQ(formatted[69], QString(64 * 2, u' ') + "<div>");
    EXPECT_EQ(formatted[70], QString(64 * 2, u' ') + "</div>");
    EXPECT_EQ(formatted[139], "</div>");
    EXPECT_EQ(formatted[130], QString(9 * 2, u' ') + "</div>");
}

TEST(NBEHTMLFormatter, IdempotentOnArbitraryInput)
{
    const char *pieces[] = {"<div>",      "</div>",      "<pre>", "</pre>",   "<p",        ">",
                            " ",          "\n",          "<!--",  "-->",      "'",         "\"",
                            "x",          "<br>",        "/>",    "<script>", "</script>", "\t",
                            "<textarea>", "</textarea>", "<!",    "</"};
    QRandomGenerator random(8);
    for (int round = 0; round < 20000; ++round) {
        QString html;
        for (int i = random.bounded(24); i > 0; --i)
            html += QString::fromLatin1(pieces[random.bounded(int(std::size(pieces)))]);
        const QString once = NBEHTMLFormatter::format(html, QStringLiteral("  "));
        ASSERT_EQ(NBEHTMLFormatter::format(once, QStringLiteral("  ")), once) << html.toStdString();
    }
}

// Every page of the corpus parses to the same document (layout whitespace
// aside) after formatting, checked with an independent HTML5 parser, and
// formatting the result again changes nothing.
TEST(NBEHTMLFormatter, CorpusKeepsTheDocumentAndIsIdempotent)
{
    NBESyntaxOracle::checkCorpus(QStringLiteral("*.html"), QStringLiteral("html_tree.py"),
                                 [](const QString &text, const QString &unit) {
                                     const QString formatted = NBEHTMLFormatter::format(text, unit);
                                     EXPECT_EQ(formatted.count('\n'),
                                               text.count('\n')); // lines are never joined or split
                                     return formatted;
                                 },
                                 {QStringLiteral("    "), QStringLiteral("\t")});
}

TEST(NBEHTMLFormatter, CodeSamplesKeepTheirText)
{
    const QString page = NBECodeSamples::page();
    for (const QString &unit : {QStringLiteral("  "), QStringLiteral("\t")}) {
        const QString formatted = NBEHTMLFormatter::format(page, unit);
        EXPECT_NE(formatted, page);
        EXPECT_EQ(NBECodeSamples::samples(formatted), NBECodeSamples::samples(page));
    }
}
