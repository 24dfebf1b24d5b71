#include "NBEInlineRun.h"

#include <gtest/gtest.h>

static void PrintTo(const NBEInlineRun &run, std::ostream *out)
{
    *out << '"' << run.text.toStdString() << '"' << (run.bold ? " bold" : "")
         << (run.italic ? " italic" : "") << (run.strikethrough ? " struck" : "")
         << (run.code ? " code" : "") << (run.link.isEmpty() ? "" : " link ")
         << run.link.toStdString();
}

namespace {

NBEInlineRun run(const QString &text, const QString &style = {}, const QString &link = {})
{
    NBEInlineRun r;
    r.text = text;
    r.bold = style.contains(u'b');
    r.italic = style.contains(u'i');
    r.strikethrough = style.contains(u's');
    r.code = style.contains(u'c');
    r.link = link;
    return r;
}

TEST(NBEInlineRun, StylesNestAndEntitiesComeBackAsText)
{
    const struct
    {
        QString markdown;
        QList<NBEInlineRun> runs;
    } cases[] = {
        {QString(), {}},
        {QStringLiteral("plain <b> & \"x\""), {run(QStringLiteral("plain <b> & \"x\""))}},
        {QStringLiteral("a **bold _both_** c"),
         {run(QStringLiteral("a ")), run(QStringLiteral("bold "), QStringLiteral("b")),
          run(QStringLiteral("both"), QStringLiteral("bi")), run(QStringLiteral(" c"))}},
        {QStringLiteral("`x < y` and ~~gone~~"),
         {run(QStringLiteral("x < y"), QStringLiteral("c")), run(QStringLiteral(" and ")),
          run(QStringLiteral("gone"), QStringLiteral("s"))}},
        {QStringLiteral("see [the *site*](https://a.example/?q=1&r=\"2\")"),
         {run(QStringLiteral("see ")),
          run(QStringLiteral("the "), {}, QStringLiteral("https://a.example/?q=1&r=\"2\"")),
          run(QStringLiteral("site"), QStringLiteral("i"),
              QStringLiteral("https://a.example/?q=1&r=\"2\""))}},
        {QStringLiteral("note[^12] and [^a]"), {run(QStringLiteral("note¹² and [^a]"))}},
        {QStringLiteral("two\nlines"), {run(QStringLiteral("two\nlines"))}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(NBEInlineRun::parse(c.markdown), c.runs) << c.markdown.toStdString();
}

} // namespace
