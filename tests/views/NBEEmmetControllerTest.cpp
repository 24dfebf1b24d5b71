// Emmet on Tab in the real editor.
#include "NBELanguageRegistry.h"
#include "NBEQtPrinters.h"
#include "NBETypingFixture.h"

namespace {

using NBEEmmetControllerTest = NBETypingFixture;

} // namespace

TEST_F(NBEEmmetControllerTest, TabExpandsEmmetInHTMLAndOtherwiseIndents)
{
    open(NBELanguageRegistry::html(), QStringLiteral("<body>\nul>li*2|\n</body>"));
    key(Qt::Key_Tab);
    EXPECT_EQ(marked(),
              QStringLiteral("<body>\n<ul>\n    <li>|</li>\n    <li></li>\n</ul>\n</body>"));
    // The expansion is one undo step that gives the abbreviation back.
    edit()->undo();
    EXPECT_EQ(shown(), QStringLiteral("<body>\nul>li*2\n</body>"));

    open(NBELanguageRegistry::html(), QStringLiteral("p.note|"));
    key(Qt::Key_Tab);
    EXPECT_EQ(marked(), QStringLiteral("<p class=\"note\">|</p>"));

    // A word that doesn't expand, or a selection, gets the soft tab.
    open(NBELanguageRegistry::html(), QStringLiteral("say hello|"));
    key(Qt::Key_Tab);
    EXPECT_EQ(marked(), QStringLiteral("say hello    |"));
    open(NBELanguageRegistry::html(), QStringLiteral("div"));
    edit()->selectAll();
    key(Qt::Key_Tab);
    EXPECT_EQ(marked(), QStringLiteral("    |"));

    host.settings.useSoftTabs = false;
    open(NBELanguageRegistry::html(), QStringLiteral("ul>li*2|"));
    key(Qt::Key_Tab);
    EXPECT_EQ(marked(), QStringLiteral("<ul>\n\t<li>|</li>\n\t<li></li>\n</ul>"));
    open(NBELanguageRegistry::html(), QStringLiteral("say hello|"));
    key(Qt::Key_Tab);
    EXPECT_EQ(marked(), QStringLiteral("say hello\t|"));

    // Outside HTML Tab only indents.
    host.settings.useSoftTabs = true;
    host.settings.tabSize = 2;
    open(NBELanguageRegistry::css(), QStringLiteral("ul>li*2|"));
    key(Qt::Key_Tab);
    EXPECT_EQ(marked(), QStringLiteral("ul>li*2  |"));
}

TEST_F(NBEEmmetControllerTest, FollowsTheLanguageAndTabsTheEditorIsGivenLater)
{
    open(NBELanguageRegistry::css(), QStringLiteral("ul>li*2|"));
    host.language = NBELanguageRegistry::html();
    host.settings.useSoftTabs = false;
    host.apply();
    key(Qt::Key_Tab);
    EXPECT_EQ(marked(), QStringLiteral("<ul>\n\t<li>|</li>\n\t<li></li>\n</ul>"));

    open(NBELanguageRegistry::html(), QStringLiteral("ul>li*2|"));
    host.language = NBELanguageRegistry::markdown();
    host.apply();
    key(Qt::Key_Tab);
    EXPECT_EQ(marked(), QStringLiteral("ul>li*2\t|"));
}

// In a style sheet, a script or a comment of a page an abbreviation is code
// or text: Tab indents there, and expands again after the element's end.
TEST_F(NBEEmmetControllerTest, TabInAStyleScriptOrCommentOfAPageOnlyIndents)
{
    const NBELanguage html = NBELanguageRegistry::html();
    struct Row
    {
        const char *before;
        const char *after;
    };
    const Row rows[] = {
        {"<style>\n.card|\n</style>", "<style>\n.card    |\n</style>"},
        {"<script>\nconsole.log|\n</script>", "<script>\nconsole.log    |\n</script>"},
        {"<!-- todo: nav>ul|\n-->", "<!-- todo: nav>ul    |\n-->"},
        {"<style>a{}</style>\n.card|", "<style>a{}</style>\n<div class=\"card\">|</div>"},
        {"<script src=\"a.js\"></script> p|", "<script src=\"a.js\"></script> <p>|</p>"},
    };
    for (const Row &row : rows) {
        open(html, QString::fromUtf8(row.before));
        key(Qt::Key_Tab);
        EXPECT_EQ(marked(), QString::fromUtf8(row.after)) << row.before;
    }
}
