#include "NBECSSFormatter.h"
#include "NBEFormatter.h"
#include "NBESyntaxOracle.h"

#include <QRandomGenerator>
#include <gtest/gtest.h>

namespace {

QString format(const QString &css)
{
    return NBECSSFormatter::format(css, QStringLiteral("  "));
}

QString lines(std::initializer_list<const char *> items)
{
    QStringList result;
    for (const char *item : items)
        result.append(QString::fromUtf8(item));
    return result.join('\n') + '\n';
}

} // namespace

TEST(NBECSSFormatter, Layout)
{
    struct Row
    {
        const char *name;
        QString css;
        QString expected;
    };
    const Row rows[] = {
        {"rule", "a{color:red;margin:0}", lines({"a {", "  color: red;", "  margin: 0;", "}"})},
        {"two rules", "a{}b{}", lines({"a {", "}", "", "b {", "}"})},
        {"media", "@media screen and (max-width:600px){a{b:c}d{e:f}}p{}",
         lines({"@media screen and (max-width:600px) {", "  a {", "    b: c;", "  }", "  d {",
                "    e: f;", "  }", "}", "", "p {", "}"})},
        {"selector list", "h1,h2 , h3{}", lines({"h1,", "h2,", "h3 {", "}"})},
        {"nested selector list", "@media x{a,b{}}",
         lines({"@media x {", "  a,", "  b {", "  }", "}"})},
        {"comma in parentheses", "a:is(.x, .y){}", lines({"a:is(.x,", ".y) {", "}"})},
        {"comment between rules", "a{}\n   /*  keep   this  */\nb{}",
         lines({"a {", "}", "", "/*  keep   this  */", "b {", "}"})},
        {"comment in declaration", "a{color:red   /* note */;}",
         lines({"a {", "  color: red /* note */;", "}"})},
        {"semicolon in string", "a{content:'a;b'}", lines({"a {", "  content: 'a;b';", "}"})},
        {"empty value", "a{color:}", lines({"a {", "  color;", "}"})},
        {"empty custom property", "a{--x:;--y: }", lines({"a {", "  --x:;", "  --y:;", "}"})},
        {"surplus brace", "}a{}", lines({"}", "", "a {", "}"})},
        {"empty text", "", "\n"},
        {"unclosed comment", "a{}/* open", lines({"a {", "}", "", "/* open"})},
        {"spaces around colon", "a{margin : 0  auto}", lines({"a {", "  margin: 0 auto;", "}"})},
        {"second colon stays in value", "a{background:url(data:x)}",
         lines({"a {", "  background: url(data:x);", "}"})},
        {"at-rule statement", "@import   url(a.css)  ;a{}",
         lines({"@import url(a.css);", "a {", "}"})},
        {"trailing declaration kept", "a{color:red} b:c",
         lines({"a {", "  color: red;", "}", "", "b: c"})},
        {"unclosed block kept", "a{color:red", lines({"a {", "  color: red"})},
        {"empty selector pieces keep their commas", "a,,b{}", lines({"a,", ",", "b {", "}"})},
        {"escaped spaces are not trimmed", ".a\\ {b:c\\ }", lines({".a\\  {", "  b: c\\ ;", "}"})},
        {"escaped brace in selector", ".a\\{b{c:d}", lines({".a\\{b {", "  c: d;", "}"})},
        {"comments between words", "a/**/b /**/{}c/**/",
         lines({"a /**/b /**/ {", "}", "", "c /**/"})},
    };
    for (const Row &row : rows)
        EXPECT_EQ(format(row.css), row.expected) << row.name;

    // Deep nesting indents no further than 64 levels.
    const QStringList deep = format(QString(70, u'{') + "a:b").split(u'\n');
    EXPECT_EQ(deep[63], QString(63 * 2, u' ') + " {");
    EXPECT_EQ(deep[69], QString(64 * 2, u' ') + " {");
    EXPECT_EQ(deep[70], QString(64 * 2, u' ') + "a: b");
}

TEST(NBECSSFormatter, KeepsStringsCommentsAndURLsByteForByte)
{
    const QString dataURL =
        QStringLiteral("url(data:image/png;base64,iVBORw0KGgo{AAA}AANSUhEUgAAAAEAAAAB;CAYAAAAf/*x*/"
                       "FcSJAAAADUlEQVR4)");
    const QString keep[] = {
        dataURL,
        QStringLiteral("\"a  {  b ; c } /* d */  e\""),
        QStringLiteral("'x\\'  ;  y'"),
        QStringLiteral("/*  several\n\n\n\n   lines ; { } */"),
        QStringLiteral("url(  spaced.png  )"),
    };
    for (const QString &piece : keep) {
        const QString css = QStringLiteral("a{b:x ") + piece + QStringLiteral(" y;c:d}");
        const QString once = format(css);
        EXPECT_TRUE(once.contains(piece)) << once.toStdString();
        EXPECT_EQ(format(once), once) << piece.toStdString();
    }
    const QString quotedSelector = QStringLiteral("[title=\"a,  b\"],p{}");
    EXPECT_EQ(format(quotedSelector), lines({"[title=\"a,  b\"],", "p {", "}"}));
}

// Random text built from the characters that matter to the formatter:
// formatting its output again must change nothing.
TEST(NBECSSFormatter, IdempotentOnArbitraryInput)
{
    const char *pieces[] = {"a",   " ",  "\n", "{",      "}", ";",  ":",  "/*",
                            "*/",  "'",  "\"", "url(",   ")", ",",  "\\", "b c",
                            "--x", "\t", "#f", "@media", "(", "\\ "};
    QRandomGenerator random(8);
    for (int round = 0; round < 20000; ++round) {
        QString css;
        for (int i = random.bounded(24); i > 0; --i)
            css += QString::fromLatin1(pieces[random.bounded(int(std::size(pieces)))]);
        const QString once = format(css);
        ASSERT_EQ(format(once), once) << css.toStdString();
    }
}

TEST(NBECSSFormatter, TabIndentAndDispatch)
{
    EXPECT_EQ(NBECSSFormatter::format(QStringLiteral("a{b:c}"), QStringLiteral("\t")),
              lines({"a {", "\tb: c;", "}"}));
    EXPECT_TRUE(NBEFormatter::canFormat(QStringLiteral("css")));
    EXPECT_TRUE(NBEFormatter::canFormat(QStringLiteral("html")));
    for (const auto &id :
         {std::optional<QString>(QStringLiteral("HTML")),
          std::optional<QString>(QStringLiteral("javascript")),
          std::optional<QString>(QStringLiteral("markdown")), std::optional<QString>()}) {
        EXPECT_FALSE(NBEFormatter::canFormat(id));
        EXPECT_FALSE(NBEFormatter::format(QStringLiteral("a{}"), id, QStringLiteral("  ")));
    }
    EXPECT_EQ(
        NBEFormatter::format(QStringLiteral("a{b:c}"), QStringLiteral("css"), QStringLiteral(" ")),
        lines({"a {", " b: c;", "}"}));
    EXPECT_EQ(NBEFormatter::format(QStringLiteral("<p>\nx\n</p>"), QStringLiteral("html"),
                                   QStringLiteral(" ")),
              QStringLiteral("<p>\n x\n</p>"));
}

// Every stylesheet of the corpus keeps its token stream (whitespace aside)
// when formatted, checked with an independent CSS tokenizer, and formatting
// the result again changes nothing.
TEST(NBECSSFormatter, CorpusKeepsTokensAndIsIdempotent)
{
    NBESyntaxOracle::checkCorpus(QStringLiteral("*.css"), QStringLiteral("css_tokens.py"),
                                 NBECSSFormatter::format,
                                 {QStringLiteral("  "), QStringLiteral("\t")});
}
