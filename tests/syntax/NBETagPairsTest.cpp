#include "NBETagPairs.h"

#include <QStringList>
#include <gtest/gtest.h>

namespace {

// The caret is where "|" stands in `marked`; returns the linked names' texts.
struct Found
{
    QString name;
    QString partner; // empty: none
    bool operator==(const Found &) const = default;
};

std::optional<Found> link(const char *marked,
                          decltype(&NBETagPairs::caretLink) lookup = &NBETagPairs::caretLink)
{
    QString text = QString::fromUtf8(marked);
    const int caret = int(text.indexOf('|'));
    text.remove(caret, 1);
    const auto result = lookup(text, caret);
    if (!result)
        return std::nullopt;
    EXPECT_EQ(result->name, text.mid(result->caretName.location, result->caretName.length));
    return Found{result->name, result->pairName
                                   ? text.mid(result->pairName->location, result->pairName->length)
                                   : QString()};
}

} // namespace

TEST(NBETagPairs, CaretLink)
{
    struct Row
    {
        const char *marked;
        std::optional<Found> expected;
    };
    const Row rows[] = {
        {"<d|iv>text</div>", Found{"div", "div"}},
        {"<div>text</di|v>", Found{"div", "div"}},
        {"<|div>text</div>", Found{"div", "div"}},
        {"<div|>text</div>", Found{"div", "div"}},
        {"<div>te|xt</div>", std::nullopt},
        {"<div><div>x</div></d|iv>", Found{"div", "div"}},
        {"<div><di|v>x</div></div>", Found{"div", "div"}},
        {"<di|v>x</span>", Found{"div", "span"}},
        {"<di|v>never closed", Found{"div", ""}},
        {"</sp|an><span>", Found{"span", ""}},
        {"<u|l><br><img src=x><li/><!-- </x> --><!DOCTYPE html></ul>", Found{"ul", "ul"}},
        {"<b|r>", std::nullopt},
        {"<SEC|TION></section>", Found{"SECTION", "section"}},
        {"<scr|ipt>if (a<b) {}</script>", Found{"script", "script"}},
        {"<a title='x > y'>t</a|>", Found{"a", "a"}},
        {"<di|v class='a' <p>x</p></div>", Found{"div", "div"}},
        {"<|", std::nullopt},
        {"", std::nullopt},
        {"<!-- <d|iv></div> -->", std::nullopt},
        {"<?xm|l x?><p></p>", std::nullopt},
    };
    for (const Row &row : rows) {
        EXPECT_EQ(link(row.marked), row.expected) << row.marked;
        EXPECT_EQ(link(row.marked, &NBETagPairs::caretLinkNearby), row.expected) << row.marked;
    }
}

// The lookup that scans only between a tag and its partner finds what the
// whole-text scan finds, at every caret of documents with nesting, stray and
// unclosed tags, comments, declarations, void and self-closing elements and
// the text of script, style and textarea elements.
TEST(NBETagPairs, NearbyLookupAgreesWithTheWholeScan)
{
    const QStringList documents = {
        QStringLiteral("<!DOCTYPE html>\n<html>\n<head><meta charset=\"utf-8\"><title>T</title>"
                       "<link rel=stylesheet href=a.css></head>\n<body>\n<!-- <div> -->\n"
                       "<section id=s><h2>H</h2><p>a <b>b</b> <br> <img src=x /></p>\n"
                       "<ul><li>1<li>2</ul></section>\n<x-card/><my-el a='>'>t</my-el>\n"
                       "</body>\n</html>\n"),
        QStringLiteral("</stray><div><span></div></span></p><p><!--x--></p><div <b>u</b>"),
        QStringLiteral("<a><b><!-- </b> --></b></a></a><c>"),
        QStringLiteral("<DIV>x</div><Div><div></DIV></div>"),
        QStringLiteral("<div><script>if (a<b) { s = '</div>'; }</script><p>t</p></div>"),
        QStringLiteral("<style>a < b {}</style><textarea><b>x</textarea><b>y</b>"),
        QStringLiteral("<main><SCRIPT type=x>x</SCRIPT><i>z</i></script></main><script>open"),
    };
    for (const QString &text : documents) {
        for (int caret = -1; caret <= text.size() + 1; ++caret)
            EXPECT_EQ(NBETagPairs::caretLinkNearby(text, caret),
                      NBETagPairs::caretLink(text, caret))
                << text.toStdString() << " at " << caret;
    }
}

TEST(NBETagPairs, RangesAreUTF16)
{
    const QString text = QStringLiteral("\U0001F600<p>x</p>");
    const auto result = NBETagPairs::caretLink(text, 3);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->caretName, (NBETextRange{3, 1}));
    EXPECT_EQ(result->pairName, (NBETextRange{8, 1}));
    EXPECT_FALSE(NBETagPairs::caretLink(text, -1));
    EXPECT_FALSE(NBETagPairs::caretLink(text, 999));
}
