#include "NBECSSCompletion.h"
#include "NBEHTMLData.h"
#include "NBEWebCompletion.h"

#include <gtest/gtest.h>

namespace {

using CSS = NBECSSCompletionContext;
using Web = NBEWebCompletionContext;

} // namespace

TEST(NBECSSCompletion, Context)
{
    struct Row
    {
        const char *text;
        int offset; // -1: the end of the text
        CSS expected;
    };
    const Row rows[] = {
        {"a { col", -1, {CSS::Kind::property, {}, "col"}},
        {"a { color: re", -1, {CSS::Kind::value, "color", "re"}},
        {"a { color: red; marg", -1, {CSS::Kind::property, {}, "marg"}},
        {"a { } b", -1, CSS::none()},
        {"b:ho", -1, CSS::none()},
        {"@media screen { a { dis", -1, {CSS::Kind::property, {}, "dis"}},
        {"@media screen { a { } b { dis", -1, {CSS::Kind::property, {}, "dis"}},
        {"a { color: ", -1, {CSS::Kind::value, "color", ""}},
        {"a {\n  Border-Color :  bl", -1, {CSS::Kind::value, "Border-Color", "bl"}},
        {"a { background: url(x) no-re", -1, {CSS::Kind::value, "background", "no-re"}},
        {"a { col", 0, CSS::none()},
        {"a { col", -5, CSS::none()},
        {"a { col", 99, CSS::none()},
        {"a { cöl", -1, {CSS::Kind::property, {}, "cöl"}},
        // A letter outside the basic plane is a letter, not two strays.
        {"a { color: \U0001D49C", -1, {CSS::Kind::value, "color", "\U0001D49C"}},
        {"a { color: x\U0001D49Cy", -1, {CSS::Kind::value, "color", "x\U0001D49Cy"}},
        {"a { color: \U0001F600", -1, {CSS::Kind::value, "color", ""}},
    };
    for (const Row &row : rows) {
        const QString text = QString::fromUtf8(row.text);
        const int offset = row.offset == -1 ? int(text.size()) : row.offset;
        EXPECT_EQ(NBECSSCompletion::context(text, offset), row.expected) << row.text;
    }
}

TEST(NBECSSCompletion, CompletionsAndInsertion)
{
    const QString property = QStringLiteral("a { col");
    const QStringList names = NBECSSCompletion::completions(property, int(property.size()));
    ASSERT_GE(names.size(), 4);
    EXPECT_EQ(names.mid(0, 4), QStringList({"color", "column-count", "column-gap", "columns"}));
    EXPECT_EQ(NBECSSCompletion::insertion(QStringLiteral("color"), property, int(property.size())),
              (NBECompletionInsertion{3, "color: ", 0}));

    const QString value = QStringLiteral("a { color: re");
    EXPECT_EQ(NBECSSCompletion::completions(value, int(value.size())),
              QStringList({"rebeccapurple", "red", "revert", "revert-layer"}));
    EXPECT_EQ(NBECSSCompletion::insertion(QStringLiteral("red"), value, int(value.size())),
              (NBECompletionInsertion{2, "red", 0}));

    const QString all = QStringLiteral("a { ");
    EXPECT_EQ(NBECSSCompletion::completions(all, int(all.size())).size(), 192);
    const QString noRepeat = QStringLiteral("a { background: url(x) no-re");
    EXPECT_TRUE(NBECSSCompletion::completions(noRepeat, int(noRepeat.size())).isEmpty());
    const QString upper = QStringLiteral("a { display: FL");
    EXPECT_EQ(NBECSSCompletion::completions(upper, int(upper.size())),
              QStringList({"flex", "flow-root"}));
    EXPECT_FALSE(NBECSSCompletion::insertion(QStringLiteral("x"), QStringLiteral("b:ho"), 4));
    EXPECT_TRUE(NBECSSCompletion::completions(QStringLiteral("b:ho"), 4).isEmpty());
}

TEST(NBEWebCompletion, Context)
{
    struct Row
    {
        const char *text;
        Web expected;
    };
    const Row rows[] = {
        {"<", {Web::Kind::tagName, {}, {}, ""}},
        {"<di", {Web::Kind::tagName, {}, {}, "di"}},
        {"<p>text <DI", {Web::Kind::tagName, {}, {}, "DI"}},
        {"<a hr", {Web::Kind::attributeName, "a", {}, "hr"}},
        {"<a href='", {Web::Kind::attributeValue, "a", "href", ""}},
        {"<a target='_b", {Web::Kind::attributeValue, "a", "target", "_b"}},
        {"<input type=\"", {Web::Kind::attributeValue, "input", "type", ""}},
        {"<a href=", Web::none()},
        {"<a href = '", Web::none()},
        {"<a ='", Web::none()},
        {"</di", Web::none()},
        {"<!DOC", Web::none()},
        {"<p>te", Web::none()},
        {"< ", Web::none()},
        {"<=", Web::none()},
        {"plain text", Web::none()},
        {"<a title='x' cl", {Web::Kind::attributeName, "a", {}, "cl"}},
        {"<a title='x y' ", {Web::Kind::attributeName, "a", {}, ""}},
        {"<my-el data-x='1' aria-", {Web::Kind::attributeName, "my-el", {}, "aria-"}},
    };
    for (const Row &row : rows) {
        const QString text = QString::fromUtf8(row.text);
        EXPECT_EQ(NBEWebCompletion::context(text, int(text.size())), row.expected) << row.text;
    }
    EXPECT_EQ(NBEWebCompletion::context(QStringLiteral("<di"), -1), Web::none());
    EXPECT_EQ(NBEWebCompletion::context(QStringLiteral("<di"), 4), Web::none());
}

TEST(NBEWebCompletion, CompletionsAndInsertion)
{
    auto at = [](const char *text) { return QString::fromUtf8(text); };
    auto complete = [](const QString &text) {
        return NBEWebCompletion::completions(text, int(text.size()));
    };
    EXPECT_EQ(complete(at("<")).size(), NBEHTMLData::elements().size());
    EXPECT_EQ(complete(at("<di")), QStringList({"dialog", "div"}));
    EXPECT_EQ(complete(at("<DI")), QStringList({"dialog", "div"}));
    EXPECT_EQ(complete(at("<a hr")), QStringList({"href", "hreflang"}));
    EXPECT_TRUE(complete(at("<a href='")).isEmpty());
    EXPECT_EQ(complete(at("<a target='_b")), QStringList({"_blank"}));
    EXPECT_EQ(complete(at("<input type='")).size(), NBEHTMLData::inputTypes().size());
    EXPECT_EQ(complete(at("<button type='")), QStringList({"submit", "reset", "button"}));
    EXPECT_EQ(complete(at("<a title='x' cl")), QStringList({"class"}));
    EXPECT_EQ(complete(at("<ol type='A")), QStringList({"a", "A"}));

    const QString name = at("<a hr");
    EXPECT_EQ(NBEWebCompletion::insertion(QStringLiteral("href"), name, int(name.size())),
              (NBECompletionInsertion{2, "href=\"\"", 1}));
    const QString value = at("<a target='_b");
    EXPECT_EQ(NBEWebCompletion::insertion(QStringLiteral("_blank"), value, int(value.size())),
              (NBECompletionInsertion{2, "_blank", 0}));
    const QString tag = at("<DI");
    EXPECT_EQ(NBEWebCompletion::insertion(QStringLiteral("div"), tag, int(tag.size())),
              (NBECompletionInsertion{2, "div", 0}));
    EXPECT_FALSE(NBEWebCompletion::insertion(QStringLiteral("x"), at("<p>te"), 5));
}
