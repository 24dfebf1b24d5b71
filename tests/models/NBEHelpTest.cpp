#include "NBEHelp.h"

#include <QSet>
#include <gtest/gtest.h>

namespace {

QStringList blockTexts(const NBEHelpTopic &topic)
{
    QStringList texts{topic.title, topic.subtitle};
    for (const NBEHelpBlock &block : topic.blocks)
        texts += block.kind == NBEHelpBlock::Kind::bullets ? block.items : QStringList{block.text};
    return texts;
}

} // namespace

TEST(NBEHelp, SectionsAndTopicsInOrder)
{
    QStringList sections;
    for (const NBEHelpSection &section : NBEHelp::sections())
        sections.append(section.id + QLatin1Char('=') + section.title);
    EXPECT_EQ(sections, (QStringList{"getting-started=Getting Started",
                                     "projects-files=Projects & Files", "editing=Editing",
                                     "web-development=Web Development", "swift-vapor=Swift & Vapor",
                                     "git=Git", "settings-more=Settings & More"}));
    QStringList ids;
    for (const NBEHelpTopic &topic : NBEHelp::allTopics())
        ids.append(topic.id);
    EXPECT_EQ(ids, (QStringList{"what-is-nabri-editor",
                                "first-launch",
                                "keeping-updated",
                                "opening-a-folder",
                                "opening-a-single-file",
                                "the-file-tree",
                                "tabs",
                                "syntax-highlighting",
                                "emmet-and-autoclose",
                                "formatting",
                                "autocomplete",
                                "find-and-replace",
                                "html-live-preview",
                                "css-color-swatches",
                                "diagnostics",
                                "hover-docs",
                                "editing-vapor-projects",
                                "sourcekit-lsp",
                                "language-servers",
                                "git-integration",
                                "committing-and-syncing",
                                "branches",
                                "themes-and-appearance",
                                "ai-features",
                                "keyboard-shortcuts",
                                "the-nabri-family"}));
    EXPECT_EQ(QSet<QString>(ids.begin(), ids.end()).size(), ids.size());
}

TEST(NBEHelp, TopicLookup)
{
    ASSERT_TRUE(NBEHelp::topic(QStringLiteral("what-is-nabri-editor")).has_value());
    EXPECT_EQ(*NBEHelp::topic(QStringLiteral("what-is-nabri-editor")),
              NBEHelp::allTopics().first());
    EXPECT_EQ(NBEHelp::topic(QStringLiteral("tabs"))->title, QStringLiteral("Working with Tabs"));
    for (const QString &missing : {QString(), QStringLiteral("Tabs"), QStringLiteral("tabs ")})
        EXPECT_FALSE(NBEHelp::topic(missing).has_value()) << missing.toStdString();
}

TEST(NBEHelp, BlockCountsAndSeeAlsoLinks)
{
    QHash<NBEHelpBlock::Kind, int> counts;
    int total = 0;
    for (const NBEHelpTopic &topic : NBEHelp::allTopics()) {
        for (qsizetype i = 0; i < topic.blocks.size(); ++i) {
            const NBEHelpBlock &block = topic.blocks.at(i);
            ++counts[block.kind];
            ++total;
            if (block.kind != NBEHelpBlock::Kind::seeAlso)
                continue;
            EXPECT_EQ(i, topic.blocks.size() - 1) << topic.id.toStdString();
            for (const QString &id : block.items)
                EXPECT_TRUE(NBEHelp::topic(id).has_value()) << id.toStdString();
        }
        if (topic.id != QStringLiteral("keeping-updated")) {
            EXPECT_EQ(topic.blocks.last().kind, NBEHelpBlock::Kind::seeAlso)
                << topic.id.toStdString();
        }
    }
    EXPECT_EQ(total, 87);
    EXPECT_EQ(counts.value(NBEHelpBlock::Kind::paragraph), 45);
    EXPECT_EQ(counts.value(NBEHelpBlock::Kind::seeAlso), 25);
    EXPECT_EQ(counts.value(NBEHelpBlock::Kind::bullets), 7);
    EXPECT_EQ(counts.value(NBEHelpBlock::Kind::tip), 7);
    EXPECT_EQ(counts.value(NBEHelpBlock::Kind::heading), 3);
    EXPECT_EQ(counts.value(NBEHelpBlock::Kind::code), 0);
}

TEST(NBEHelp, BlockIds)
{
    EXPECT_EQ(NBEHelpBlock::paragraph("a").id(), QStringLiteral("p:a"));
    EXPECT_EQ(NBEHelpBlock::heading("a").id(), QStringLiteral("h:a"));
    EXPECT_EQ(NBEHelpBlock::bullets({"a", "b"}).id(), QStringLiteral("b:a|b"));
    EXPECT_EQ(NBEHelpBlock::tip("a").id(), QStringLiteral("t:a"));
    EXPECT_EQ(NBEHelpBlock::code("a").id(), QStringLiteral("c:a"));
    EXPECT_EQ(NBEHelpBlock::seeAlso({"x", "y"}).id(), QStringLiteral("s:x,y"));
    EXPECT_EQ(NBEHelpBlock::bullets({"a", "b"}).id(), NBEHelpBlock::bullets({"a", "b"}).id());
    EXPECT_NE(NBEHelpBlock::paragraph("a").id(), NBEHelpBlock::tip("a").id());
}

TEST(NBEHelp, SearchTextLeavesOutLinks)
{
    const NBEHelpTopic topic{"t",
                             "Tabs",
                             "Every File",
                             "doc",
                             {NBEHelpBlock::paragraph("One **Two**"),
                              NBEHelpBlock::bullets({"Three", "Four"}),
                              NBEHelpBlock::seeAlso({"hidden-id"})}};
    EXPECT_EQ(topic.searchText(), QStringLiteral("tabs every file one **two** three four"));
}

TEST(NBEHelp, TellingTexts)
{
    EXPECT_EQ(NBEHelp::topic("first-launch")->blocks.at(1).items,
              (QStringList{"**New Project…** — create a fresh folder and open it as a workspace.",
                           "**Open Folder…** — open any existing folder as a workspace.",
                           "**Recent Projects** — jump straight back into something you were "
                           "working on."}));
    EXPECT_EQ(NBEHelp::topic("tabs")->blocks.at(1).items,
              (QStringList{"**Save** with `Ctrl+S`.", "**Close** the active tab with `Ctrl+W`.",
                           "**Reorder** tabs by dragging them."}));
    EXPECT_EQ(NBEHelp::topic("the-file-tree")->blocks.at(1).items.at(1),
              QStringLiteral("**Right-click** any item to rename, delete, or reveal it in File "
                             "Manager."));
    EXPECT_EQ(NBEHelp::topic("emmet-and-autoclose")->blocks.first().text,
              QStringLiteral("Type an Emmet abbreviation and press Tab to expand it into full "
                             "markup. For example, `ul>li*3` becomes a list with three items."));
    EXPECT_EQ(NBEHelp::topic("ai-features")->blocks.first().text,
              QStringLiteral("Nabri Editor can generate a git commit message from your staged "
                             "changes. AI features use **your own API key**, entered in "
                             "**Settings ▸ AI** and stored securely in the system keyring."));

    const auto shortcuts = NBEHelp::topic("keyboard-shortcuts")->blocks;
    ASSERT_EQ(shortcuts.size(), 5);
    EXPECT_EQ(shortcuts.at(0).text, QStringLiteral("Files & tabs"));
    EXPECT_EQ(shortcuts.at(1).items.size(), 6);
    EXPECT_EQ(shortcuts.at(1).items.first(), QStringLiteral("**New File** — `Ctrl+N`"));
    EXPECT_EQ(shortcuts.at(2).text, QStringLiteral("Editing"));
    EXPECT_EQ(shortcuts.at(3).items.last(),
              QStringLiteral("**Toggle Markdown Preview** — `Ctrl+Alt+P`"));
}

TEST(NBEHelp, WordedForLinux)
{
    for (const NBEHelpTopic &topic : NBEHelp::allTopics()) {
        for (const QString &text : blockTexts(topic)) {
            for (const QString &word :
                 {QStringLiteral("⌘"), QStringLiteral("⌥"), QStringLiteral("⇧"),
                  QStringLiteral("⌃"), QStringLiteral("Finder"), QStringLiteral("Keychain"),
                  QStringLiteral("Mac"), QStringLiteral("Dock"), QStringLiteral("iCloud")})
                EXPECT_FALSE(text.contains(word))
                    << topic.id.toStdString() << ": " << text.toStdString();
        }
    }
}
