#include "NBEMarkupScan.h"
#include "NBEHTMLFormatter.h"
#include "NBEHTMLValidator.h"
#include "NBEOutline.h"
#include "NBETagPairs.h"

#include <gtest/gtest.h>

namespace {

// Tricky markup laid out as the formatter would lay it out. Every element
// that is not void carries an id, so the outline lists each one. `tags` are
// the real tags in order, a closing one written "/name".
struct Page
{
    const char *name;
    const char *html;
    std::vector<const char *> tags;
};

const Page pages[] = {
    {"comment holding tags",
     "<div id=\"a\">\n  <!-- <p> </div> <b -->\n  <span id=\"b\">x</span>\n</div>",
     {"div", "span", "/span", "/div"}},
    {"script with a<b over lines",
     "<div id=\"a\">\n  <script id=\"s\">\n    if (a<b && c>d) { s = \"</p>\"; }\n  "
     "</script>\n</div>",
     {"div", "script", "/script", "/div"}},
    {"one-line script and an upper-case end",
     "<p id=\"p\"><script id=\"s\">if (a<b) x();</SCRIPT></p>",
     {"p", "script", "/SCRIPT", "/p"}},
    {"style holding a tag in a string",
     "<style id=\"st\">a > b { content: \"<i>\"; }</style>\n<i id=\"i\"></i>",
     {"style", "/style", "i", "/i"}},
    {"textarea holding markup",
     "<textarea id=\"t\"><b>bold?</textarea>",
     {"textarea", "/textarea"}},
    {"quoted attributes with > and <",
     "<a id=\"l\" title=\"1 > 0\" data-x='<b>'>t</a>",
     {"a", "/a"}},
    {"unquoted attribute values",
     "<p id=\"u\" title=x>1>0</p>\n<p id=\"q\" title=it's>don't</p>",
     {"p", "/p", "p", "/p"}},
    {"a < that starts no tag", "<p id=\"t\">1 < 2, 3 <4, it's <= 5</p>", {"p", "/p"}},
    {"declarations",
     "<!DOCTYPE html>\n<?xml version=\"1.0\"?>\n<main id=\"m\"></main>",
     {"main", "/main"}},
    {"void and self-closing elements",
     "<div id=\"d\">\n  <br>\n  <img src=\"a>b.png\">\n  <my-el id=\"e\" a='b' />\n</div>",
     {"div", "br", "img", "my-el", "/div"}},
};

bool isVoidOrSelfClosing(const NBEMarkupScan::Tag &tag, QStringView text)
{
    return tag.selfClosing ||
           NBEMarkupScan::isVoidElement(text.mid(tag.nameStart, tag.nameLength()));
}

} // namespace

// The four engines share one reading of where tags are, so a construct that
// fools one fools none: on each page the iterator finds exactly the real
// tags, the validator finds nothing wrong, each name links to its partner,
// the outline lists each element at its depth, and formatting changes nothing.
TEST(NBEMarkupScan, FourEnginesAgreeOnTrickyMarkup)
{
    for (const Page &page : pages) {
        SCOPED_TRACE(page.name);
        const QString html = QString::fromUtf8(page.html);
        QList<NBEMarkupScan::Tag> tags;
        QStringList names;
        NBEMarkupScan::TagIterator iterator(html);
        while (const auto tag = iterator.next()) {
            EXPECT_TRUE(tag->closed);
            tags.append(*tag);
            names.append((tag->closing ? "/" : "") + html.mid(tag->nameStart, tag->nameLength()));
        }
        QStringList expected;
        for (const char *tag : page.tags)
            expected.append(QString::fromUtf8(tag));
        ASSERT_EQ(names, expected);
        EXPECT_EQ(iterator.openAtEnd(), NBEMarkupScan::TagIterator::Open::nothing);

        EXPECT_TRUE(NBEHTMLValidator::validate(html).isEmpty());

        QList<qsizetype> open;
        QList<std::pair<qsizetype, qint64>> elements; // start, depth
        for (qsizetype k = 0; k < tags.size(); ++k) {
            const NBEMarkupScan::Tag &tag = tags[k];
            if (isVoidOrSelfClosing(tag, html))
                continue;
            if (!tag.closing) {
                elements.append({tag.start, open.size()});
                open.append(k);
                continue;
            }
            const NBEMarkupScan::Tag &opening = tags[open.takeLast()];
            for (const auto &[caret, partner] :
                 {std::pair{opening, tag}, std::pair{tag, opening}}) {
                const auto link = NBETagPairs::caretLink(html, int(caret.nameStart));
                ASSERT_TRUE(link && link->pairName);
                EXPECT_EQ(link->pairName->location, partner.nameStart);
            }
        }

        QList<std::pair<qsizetype, qint64>> listed;
        for (const NBESymbol &symbol : NBEOutline::symbols(html, QStringLiteral("html")))
            listed.append({symbol.id, symbol.depth});
        EXPECT_EQ(listed, elements);

        EXPECT_EQ(NBEHTMLFormatter::format(html, QStringLiteral("  ")), html);
    }
}

TEST(NBEMarkupScan, UnfinishedMarkupRunsToTheEnd)
{
    using Open = NBEMarkupScan::TagIterator::Open;
    struct Row
    {
        const char *html;
        qsizetype tags;
        Open open;
    };
    const Row rows[] = {
        {"<p><!-- <b>", 1, Open::comment},
        {"<p><!DOCTYPE html", 1, Open::declaration},
        {"<p><!DOCTYPE <b>", 1, Open::nothing},
        {"<script>a<b</scrip", 1, Open::rawText},
        {"<script>a</scripts></script>", 2, Open::nothing},
        {"<p title=\"a<b>", 1, Open::nothing},
        {"<p", 1, Open::nothing},
        {"<", 0, Open::nothing},
    };
    for (const Row &row : rows) {
        const QString html = QString::fromUtf8(row.html);
        NBEMarkupScan::TagIterator iterator(html);
        qsizetype count = 0;
        while (iterator.next())
            ++count;
        EXPECT_EQ(count, row.tags) << row.html;
        EXPECT_EQ(iterator.openAtEnd(), row.open) << row.html;
    }
}
