#include "NBERecentProjects.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QUrl folder(const QString &name)
{
    return QUrl::fromLocalFile(QStringLiteral("/work/") + name);
}

QStringList names(const QList<QUrl> &urls)
{
    QStringList result;
    for (const QUrl &url : urls)
        result.append(url.toLocalFile().remove(QStringLiteral("/work/")));
    return result;
}

class NBERecentProjectsTest : public ::testing::Test
{
protected:
    QTemporaryDir dir;
    NBEDefaults defaults{dir.filePath(QStringLiteral("defaults.json"))};
    const QString key = QStringLiteral("nbe.recentProjects");
};

} // namespace

TEST_F(NBERecentProjectsTest, RecordingOrdersNewestFirstWithoutDuplicates)
{
    struct Case
    {
        const char *name;
        QStringList recorded;
        QStringList expected;
    };
    const QList<Case> cases{
        {"again moves to front", {"a", "b", "a"}, {"a", "b"}},
        {"trailing slash counts apart", {"a", "a/"}, {"a/", "a"}},
        {"case matters", {"site", "Site"}, {"Site", "site"}},
        {"eleven keep ten",
         {"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11"},
         {"11", "10", "9", "8", "7", "6", "5", "4", "3", "2"}},
        {"spaces and unicode", {"my site", "sité#1"}, {"sité#1", "my site"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        NBERecentProjects::clear(defaults);
        for (const QString &name : c.recorded)
            NBERecentProjects::record(folder(name), defaults);
        EXPECT_EQ(names(NBERecentProjects::load(defaults)), c.expected);
    }
    // Stored as plain paths, not percent-encoded URLs.
    EXPECT_EQ(defaults.stringListValue(key, {}), (QStringList{"/work/sité#1", "/work/my site"}));
}

TEST_F(NBERecentProjectsTest, LoadedFolderIsADirectoryURLWhenStoredWithSlash)
{
    NBERecentProjects::record(QUrl::fromLocalFile(QStringLiteral("/work/a/")), defaults);
    const QList<QUrl> loaded = NBERecentProjects::load(defaults);
    ASSERT_EQ(loaded.size(), 1);
    EXPECT_TRUE(loaded.first().isLocalFile());
    EXPECT_EQ(loaded.first().path(), QStringLiteral("/work/a/"));
}

TEST_F(NBERecentProjectsTest, RemoveAndClear)
{
    for (const char *name : {"a", "b", "c"})
        NBERecentProjects::record(folder(QString::fromLatin1(name)), defaults);
    NBERecentProjects::remove(folder(QStringLiteral("b")), defaults);
    EXPECT_EQ(names(NBERecentProjects::load(defaults)), (QStringList{"c", "a"}));
    NBERecentProjects::remove(folder(QStringLiteral("zzz")), defaults);
    EXPECT_EQ(defaults.stringListValue(key, {}), (QStringList{"/work/c", "/work/a"}));

    NBERecentProjects::clear(defaults);
    EXPECT_FALSE(defaults.contains(key));
    EXPECT_TRUE(NBERecentProjects::load(defaults).isEmpty());
}

TEST_F(NBERecentProjectsTest, DamagedValuesLoadAsEmpty)
{
    defaults.setString(key, QStringLiteral("/work/a"));
    EXPECT_TRUE(NBERecentProjects::load(defaults).isEmpty());
    defaults.setStringList(key, {QString(), QStringLiteral("/work/a")});
    EXPECT_EQ(names(NBERecentProjects::load(defaults)), QStringList{"a"});
    // Recording over a damaged value starts a fresh list.
    defaults.setInt(key, 3);
    NBERecentProjects::record(folder(QStringLiteral("b")), defaults);
    EXPECT_EQ(names(NBERecentProjects::load(defaults)), QStringList{"b"});
    // Something that is no folder on disk is not recorded.
    NBERecentProjects::record(QUrl(QStringLiteral("https://example.invalid/x")), defaults);
    EXPECT_EQ(names(NBERecentProjects::load(defaults)), QStringList{"b"});
}

TEST_F(NBERecentProjectsTest, UpdatedListCuts)
{
    const QList<QUrl> list{folder("a"), folder("b"), folder("c")};
    EXPECT_EQ(names(NBERecentProjects::updatedList(folder("c"), list, 2)), (QStringList{"c", "a"}));
    EXPECT_EQ(names(NBERecentProjects::updatedList(folder("d"), {}, 10)), QStringList{"d"});
    EXPECT_TRUE(NBERecentProjects::updatedList(folder("d"), list, 0).isEmpty());
}
