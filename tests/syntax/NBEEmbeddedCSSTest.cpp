#include "NBEEmbeddedCSS.h"

#include <gtest/gtest.h>

namespace {

QStringList bodies(const QString &html)
{
    QStringList result;
    for (const NBETextRange &range : NBEEmbeddedCSS::styleRegions(html))
        result.append(html.mid(range.location, range.length));
    return result;
}

} // namespace

TEST(NBEEmbeddedCSS, StyleRegions)
{
    struct Row
    {
        const char *html;
        QStringList bodies;
    };
    const Row rows[] = {
        {"", {}},
        {"<style>a{color:red}</style>", {"a{color:red}"}},
        {"<STYLE media='x'>b{}</Style>", {"b{}"}},
        {"<style></style>", {}},
        {"<style/>", {}},
        {"<style/>p{}", {"p{}"}},
        {"<style/>p{}</style>q", {"p{}"}},
        {"<p><style>\na{}\n", {"\na{}\n"}},
        {"<styles>a{}</styles><style-sheet>b{}</style-sheet>", {}},
        {"<style>a{}</style><p>x</p><style type=\"text/css\">b{}</style>", {"a{}", "b{}"}},
        {"<style\n>a{}</style>", {"a{}"}},
        {"<style", {}},
        {"<style ", {}},
        {"<style>x</style", {"x"}},
    };
    for (const Row &row : rows)
        EXPECT_EQ(bodies(QString::fromLatin1(row.html)), row.bodies) << row.html;
}

TEST(NBEEmbeddedCSS, RegionContainingOffset)
{
    const QString html = QStringLiteral("<style>a{}</style><style>bb{}</style>");
    const NBETextRange first{7, 3};
    const NBETextRange second{25, 4};
    EXPECT_EQ(NBEEmbeddedCSS::region(7, html), first);
    EXPECT_EQ(NBEEmbeddedCSS::region(10, html), first); // right after the last CSS character
    EXPECT_EQ(NBEEmbeddedCSS::region(27, html), second);
    EXPECT_FALSE(NBEEmbeddedCSS::region(6, html));
    EXPECT_FALSE(NBEEmbeddedCSS::region(11, html));
    EXPECT_FALSE(NBEEmbeddedCSS::region(-1, html));
    EXPECT_FALSE(NBEEmbeddedCSS::region(0, QString()));
}

// The lookup from the offset's neighbourhood agrees with the whole scan at
// every offset of documents whose CSS holds no tag-like "<".
TEST(NBEEmbeddedCSS, RegionAroundAgreesWithTheWholeScan)
{
    const char *documents[] = {
        "<style>a{color:red}</style>",
        "<STYLE media='x'>b{}</Style>",
        "<style></style><style/>p{}</style>q",
        "<p><style>\na{}\n",
        "<styles>a{}</styles><style-sheet>b{}</style-sheet>",
        "<html><head><style>a{}</style></head><body><p>x < y</p>"
        "<style type=\"text/css\">b { content: \"a < b\" }</style><!-- c --></body></html>",
        "<style\n>a{}</style>",
        "<style",
        "<style>x</style",
        "plain text",
    };
    for (const char *document : documents) {
        const QString html = QString::fromLatin1(document);
        for (int offset = -1; offset <= html.size() + 1; ++offset)
            EXPECT_EQ(NBEEmbeddedCSS::regionAround(offset, html),
                      NBEEmbeddedCSS::region(offset, html))
                << document << " at " << offset;
    }
}
