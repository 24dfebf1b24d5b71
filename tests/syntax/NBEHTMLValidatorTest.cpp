#include "NBEHTMLValidator.h"

#include <gtest/gtest.h>

namespace {

struct Expected
{
    qint64 startLine, startCharacter, endLine, endCharacter;
    const char *message;
};

void expectDiagnostics(const QString &html, const std::vector<Expected> &expected)
{
    const QList<NBELSPDiagnostic> found = NBEHTMLValidator::validate(html);
    ASSERT_EQ(found.size(), qsizetype(expected.size())) << html.toStdString();
    for (size_t i = 0; i < expected.size(); ++i) {
        const NBELSPDiagnostic &d = found[qsizetype(i)];
        const Expected &e = expected[i];
        EXPECT_EQ(d.message, QString::fromUtf8(e.message)) << html.toStdString();
        EXPECT_EQ(d.severity, NBELSPDiagnosticSeverity::error);
        EXPECT_EQ(d.startLine, e.startLine) << html.toStdString() << " #" << i;
        EXPECT_EQ(d.startCharacter, e.startCharacter) << html.toStdString() << " #" << i;
        EXPECT_EQ(d.endLine, e.endLine) << html.toStdString() << " #" << i;
        EXPECT_EQ(d.endCharacter, e.endCharacter) << html.toStdString() << " #" << i;
    }
}

} // namespace

TEST(NBEHTMLValidator, AcceptsBalancedMarkup)
{
    const char *clean[] = {
        "",
        "no markup at all",
        "<br>",
        "<br/>",
        "</br>",
        "<img src='a.png'>",
        "<div/>",
        "<a title='1 > 0'>x</a>",
        "<!-- <div> -->",
        "<!DOCTYPE html>",
        "<!-- unclosed <div>",
        "<Section></SECTION>",
        "<>",
        "< x",
        "</>",
        "<?xml version='1.0'?>",
        "<a href=\"x/\"></a>",
        "<svg:rect></svg>",
        "<!DOCTYPE",
        "<script>if (a<b) {}</script>",
    };
    for (const char *html : clean)
        EXPECT_TRUE(NBEHTMLValidator::validate(QString::fromLatin1(html)).isEmpty()) << html;
}

TEST(NBEHTMLValidator, ReportsProblems)
{
    expectDiagnostics(QStringLiteral("<p><b></p>"), {{0, 3, 0, 5, "Unclosed tag <b>"}});
    expectDiagnostics(QStringLiteral("</div>"),
                      {{0, 0, 0, 5, "Stray closing tag </div> has no matching opening tag"}});
    expectDiagnostics(QStringLiteral("<div"), {{0, 0, 0, 4, "Unterminated tag <div> — missing '>'"},
                                               {0, 0, 0, 4, "Unclosed tag <div>"}});
    expectDiagnostics(QStringLiteral("<a href='x' <b>"),
                      {{0, 0, 0, 2, "Unterminated tag <a> — missing '>'"},
                       {0, 0, 0, 2, "Unclosed tag <a>"},
                       {0, 12, 0, 14, "Unclosed tag <b>"}});
    expectDiagnostics(QStringLiteral("</span"),
                      {{0, 0, 0, 6, "Unterminated tag </span> — missing '>'"},
                       {0, 0, 0, 6, "Stray closing tag </span> has no matching opening tag"}});
    // Inner entries left open are reported from just above the match upwards.
    expectDiagnostics(QStringLiteral("<ul><li><span></ul>"),
                      {{0, 4, 0, 7, "Unclosed tag <li>"}, {0, 8, 0, 13, "Unclosed tag <span>"}});
    // Left-over entries are reported outermost first.
    expectDiagnostics(QStringLiteral("<DIV>\n<Main>"),
                      {{0, 0, 0, 4, "Unclosed tag <div>"}, {1, 0, 1, 5, "Unclosed tag <main>"}});
}

TEST(NBEHTMLValidator, LinesBreakAtLFOnly)
{
    expectDiagnostics(QStringLiteral("<p>\r\n</b>\r\n  <i>"),
                      {{1, 0, 1, 3, "Stray closing tag </b> has no matching opening tag"},
                       {0, 0, 0, 2, "Unclosed tag <p>"},
                       {2, 2, 2, 4, "Unclosed tag <i>"}});
    // UTF-16 units: an emoji before the tag counts as two.
    expectDiagnostics(QStringLiteral("\U0001F600</x>"),
                      {{0, 2, 0, 5, "Stray closing tag </x> has no matching opening tag"}});
}

TEST(NBEHTMLValidator, ManyOpenTagsAndStrayClosingsStayFast)
{
    // A naive stack search would be quadratic here; the count keeps it linear.
    const int n = 20000;
    const QString html = QStringLiteral("<div>").repeated(n) + QStringLiteral("</p>").repeated(n);
    const QList<NBELSPDiagnostic> found = NBEHTMLValidator::validate(html);
    EXPECT_EQ(found.size(), 2 * n);
}
