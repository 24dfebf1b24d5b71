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

TEST(NBEHelp, TopicIdsAreUniqueAndEverySeeAlsoLinkResolves)
{
    QStringList ids;
    for (const NBEHelpTopic &topic : NBEHelp::allTopics())
        ids.append(topic.id);
    EXPECT_EQ(QSet<QString>(ids.begin(), ids.end()).size(), ids.size());
    EXPECT_FALSE(NBEHelp::sections().isEmpty());
    for (const NBEHelpTopic &topic : NBEHelp::allTopics()) {
        for (qsizetype i = 0; i < topic.blocks.size(); ++i) {
            const NBEHelpBlock &block = topic.blocks.at(i);
            if (block.kind != NBEHelpBlock::Kind::seeAlso)
                continue;
            EXPECT_EQ(i, topic.blocks.size() - 1) << topic.id.toStdString();
            for (const QString &id : block.items)
                EXPECT_TRUE(NBEHelp::topic(id).has_value()) << id.toStdString();
        }
    }
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

TEST(NBEHelp, BlockIdsTellKindsApart)
{
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

TEST(NBEHelp, WordedForLinux)
{
    for (const NBEHelpTopic &topic : NBEHelp::allTopics()) {
        for (const QString &text : blockTexts(topic)) {
            for (const QString &word :
                 {QStringLiteral("⌘"), QStringLiteral("⌥"), QStringLiteral("⇧"),
                  QStringLiteral("⌃"), QStringLiteral("Finder"), QStringLiteral("Keychain"),
                  QStringLiteral("Mac"), QStringLiteral("Dock"), QStringLiteral("iCloud"),
                  QStringLiteral("Check for Updates"), QStringLiteral("Applications"),
                  QStringLiteral("applications folder")})
                EXPECT_FALSE(text.contains(word))
                    << topic.id.toStdString() << ": " << text.toStdString();
        }
    }
}
