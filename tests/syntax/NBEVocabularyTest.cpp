#include "NBECSSData.h"
#include "NBEHTMLData.h"
#include "NBEMarkupScan.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

bool sortedUnique(const QStringList &list)
{
    return std::is_sorted(list.begin(), list.end()) &&
           std::adjacent_find(list.begin(), list.end()) == list.end();
}

} // namespace

TEST(NBECSSData, TablesAreSortedWithoutDuplicates)
{
    EXPECT_TRUE(sortedUnique(NBECSSData::properties()));
    EXPECT_TRUE(sortedUnique(NBECSSData::values(QStringLiteral("display"))));
}

TEST(NBECSSData, ValuesForProperty)
{
    const QStringList color = NBECSSData::values(QStringLiteral("COLOR"));
    EXPECT_EQ(color, NBECSSData::values(QStringLiteral("color")));
    EXPECT_TRUE(sortedUnique(color));
    EXPECT_TRUE(color.contains(QStringLiteral("transparent")));

    EXPECT_EQ(NBECSSData::values(QStringLiteral("no-such-property")),
              QStringList({"inherit", "initial", "revert", "revert-layer", "unset"}));

    const QStringList weight = NBECSSData::values(QStringLiteral("font-weight"));
    EXPECT_EQ(weight.first(), QStringLiteral("100"));
    EXPECT_LT(weight.indexOf(QStringLiteral("900")), weight.indexOf(QStringLiteral("bold")));

    // "background" is a colour property; its own keywords are not in the table.
    EXPECT_FALSE(
        NBECSSData::values(QStringLiteral("background")).contains(QStringLiteral("no-repeat")));
}

TEST(NBEHTMLData, TablesAgreeWithEachOther)
{
    EXPECT_TRUE(sortedUnique(NBEHTMLData::elements()));
    for (const QString &name : NBEHTMLData::voidElements()) {
        EXPECT_TRUE(NBEHTMLData::elements().contains(name)) << name.toStdString();
        EXPECT_TRUE(NBEMarkupScan::isVoidElement(name.toUpper())) << name.toStdString();
    }
    // The allocation-free test agrees with the table on every element name.
    for (const QString &name : NBEHTMLData::elements())
        EXPECT_EQ(NBEMarkupScan::isVoidElement(name), NBEHTMLData::voidElements().contains(name))
            << name.toStdString();
    EXPECT_FALSE(NBEMarkupScan::isVoidElement(u"b"));
    EXPECT_FALSE(NBEMarkupScan::isVoidElement(u"brr"));
}

TEST(NBEHTMLData, AttributesForElement)
{
    // An element's own attributes join the global ones, merged and sorted.
    const QStringList unknown = NBEHTMLData::attributes(QStringLiteral("x-widget"));
    EXPECT_TRUE(sortedUnique(unknown));
    const QStringList input = NBEHTMLData::attributes(QStringLiteral("INPUT"));
    EXPECT_TRUE(sortedUnique(input));
    EXPECT_GT(input.size(), unknown.size());
    for (const QString &name : unknown)
        EXPECT_TRUE(input.contains(name)) << name.toStdString();
}

TEST(NBEHTMLData, ValuesForAttribute)
{
    struct Row
    {
        const char *element, *attribute;
        QStringList expected;
    };
    const Row rows[] = {
        {"INPUT", "Type", NBEHTMLData::inputTypes()},
        {"div", "type", {}},
        {"div", "target", {"_blank", "_self", "_parent", "_top"}},
        {"button", "type", {"submit", "reset", "button"}},
        {"ol", "type", {"1", "a", "A", "i", "I"}},
        {"style", "type", {"text/css"}},
        {"link", "type", {"text/css"}},
        {"script", "type", {"module", "text/javascript", "importmap", "application/json"}},
        {"form", "formmethod", {"get", "post", "dialog"}},
        {"a", "href", {}},
    };
    for (const Row &row : rows) {
        EXPECT_EQ(NBEHTMLData::values(QString::fromLatin1(row.element),
                                      QString::fromLatin1(row.attribute)),
                  row.expected)
            << row.element << " " << row.attribute;
    }
}
