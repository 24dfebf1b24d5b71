// Closing tags after ">" in the real editor.
#include "NBELanguageRegistry.h"
#include "NBEQtPrinters.h"
#include "NBETypingFixture.h"

namespace {

using NBETagClosingControllerTest = NBETypingFixture;

} // namespace

TEST_F(NBETagClosingControllerTest, GreaterThanClosesTheOpeningTag)
{
    struct Row
    {
        std::optional<NBELanguage> language;
        const char *before;
        const char *after;
    };
    const NBELanguage html = NBELanguageRegistry::html();
    const Row rows[] = {
        {html, "<div|", "<div>|</div>"},
        {html, "<p>x</p>\n<section class=\"a\"|", "<p>x</p>\n<section class=\"a\">|</section>"},
        {html, "<Div|", "<Div>|</Div>"},
        {html, "<my-widget data-x=\"1\"|", "<my-widget data-x=\"1\">|</my-widget>"},
        {html, "<h_2 id=a|", "<h_2 id=a>|</h_2>"},
        {html, "<img src=\"a.png\"|", "<img src=\"a.png\">|"},
        {html, "<BR|", "<BR>|"},
        {html, "<Input|", "<Input>|"},
        {html, "<|", "<>|"},
        {html, "</div|", "</div>|"},
        {html, "<!-- x|", "<!-- x>|"},
        {html, "<a>b|", "<a>b>|"},
        {html, "<br/|", "<br/>|"},
        {html, "a -|", "a ->|"},
        {NBELanguageRegistry::css(), "<div|", "<div>|"},
        {NBELanguageRegistry::markdown(), "<div|", "<div>|"},
        {std::nullopt, "<div|", "<div>|"},
    };
    for (const Row &row : rows) {
        open(row.language, QString::fromUtf8(row.before));
        type(QStringLiteral(">"));
        EXPECT_EQ(marked(), QString::fromUtf8(row.after)) << row.before;
    }

    // A selection is replaced by the tag's end.
    open(html, QStringLiteral("<div xyz"));
    QTextCursor cursor = edit()->textCursor();
    cursor.setPosition(4);
    cursor.setPosition(8, QTextCursor::KeepAnchor);
    edit()->setTextCursor(cursor);
    type(QStringLiteral(">"));
    EXPECT_EQ(marked(), QStringLiteral("<div>|</div>"));
}

// A ">" that ends no opening tag is only text: typed inside a quoted
// attribute value, a comment, or the text of a script, style or textarea (an
// arrow function after "i<n", say).
TEST_F(NBETagClosingControllerTest, GreaterThanInValuesCommentsAndScriptsIsOnlyText)
{
    struct Row
    {
        const char *before;
        const char *after;
    };
    const Row rows[] = {
        {"<div title=\"a|\">", "<div title=\"a>|\">"},
        {"<a onclick=\"if (a|) go()\">x</a>", "<a onclick=\"if (a>|) go()\">x</a>"},
        {"<a title='x<b' class=y|", "<a title='x<b' class=y>|"},
        {"<script>\nfor (let i=0;i<n;i++) list.map(x=|)\n</script>",
         "<script>\nfor (let i=0;i<n;i++) list.map(x=>|)\n</script>"},
        {"<style>\na<b {}\ny =|\n</style>", "<style>\na<b {}\ny =>|\n</style>"},
        {"<!-- note <b|-->", "<!-- note <b>|-->"},
        {"<textarea><b|</textarea>", "<textarea><b>|</textarea>"},
        // Once a value, a script or a comment has ended, tags close again.
        {"<p title=\"x\"|", "<p title=\"x\">|</p>"},
        {"<script>if (a<b) go()</script>\n<div|", "<script>if (a<b) go()</script>\n<div>|</div>"},
        {"<!-- <b> -->\n<em|", "<!-- <b> -->\n<em>|</em>"},
        {"<script|", "<script>|</script>"},
    };
    for (const Row &row : rows) {
        open(NBELanguageRegistry::html(), QString::fromUtf8(row.before));
        type(QStringLiteral(">"));
        EXPECT_EQ(marked(), QString::fromUtf8(row.after)) << row.before;
    }
}
