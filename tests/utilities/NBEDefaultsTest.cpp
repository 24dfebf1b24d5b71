#include "NBEDefaults.h"
#include "NBETestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>

#include <sys/stat.h>

namespace {

class DefaultsTest : public ::testing::Test
{
protected:
    QString file() const { return dir.filePath(QStringLiteral("settings.json")); }

    // The same file through the tool, in another process.
    QString otherProcess(const QStringList &args) const
    {
        const auto result = NBETest::run(NBETest::toolPath(QStringLiteral("nbe-defaults-tool")),
                                         QStringList{file()} + args);
        EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
        return QString::fromUtf8(result.out);
    }

    QTemporaryDir dir;
};

} // namespace

TEST_F(DefaultsTest, ValuesKeepTheirTypesAcrossProcesses)
{
    NBEDefaults defaults(file());
    ASSERT_TRUE(defaults.setBool(QStringLiteral("nbe.wordWrap"), false));
    ASSERT_TRUE(defaults.setInt(QStringLiteral("nbe.tabSize"), 2));
    ASSERT_TRUE(defaults.setInt(QStringLiteral("big"), std::numeric_limits<qint64>::max()));
    ASSERT_TRUE(defaults.setDouble(QStringLiteral("nbe.autoSaveDelay"), 0.1));
    ASSERT_TRUE(defaults.setDouble(QStringLiteral("whole"), 3.0));
    ASSERT_TRUE(defaults.setString(QStringLiteral("nbe.appearance"), QStringLiteral("false")));
    ASSERT_TRUE(defaults.setStringList(QStringLiteral("nbe.recentProjects"),
                                       QStringList{QStringLiteral("/one/project")}));
    ASSERT_TRUE(defaults.setStringList(QStringLiteral("empty"), QStringList{}));

    EXPECT_EQ(otherProcess({QStringLiteral("get"), QStringLiteral("nbe.wordWrap")}),
              QStringLiteral("bool:false"));
    EXPECT_EQ(otherProcess({QStringLiteral("get"), QStringLiteral("nbe.tabSize")}),
              QStringLiteral("int:2"));
    EXPECT_EQ(otherProcess({QStringLiteral("get"), QStringLiteral("big")}),
              QStringLiteral("int:9223372036854775807"));
    EXPECT_EQ(otherProcess({QStringLiteral("get"), QStringLiteral("nbe.autoSaveDelay")}),
              QStringLiteral("double:0.10000000000000001"));
    EXPECT_EQ(otherProcess({QStringLiteral("get"), QStringLiteral("whole")}),
              QStringLiteral("double:3"));
    EXPECT_EQ(otherProcess({QStringLiteral("get"), QStringLiteral("nbe.appearance")}),
              QStringLiteral("string:false"));
    EXPECT_EQ(otherProcess({QStringLiteral("get"), QStringLiteral("nbe.recentProjects")}),
              QStringLiteral("list:/one/project:1"));
    EXPECT_EQ(otherProcess({QStringLiteral("get"), QStringLiteral("empty")}),
              QStringLiteral("list::0"));

    otherProcess(
        {QStringLiteral("set-bool"), QStringLiteral("nbe.formatOnSave"), QStringLiteral("true")});
    otherProcess({QStringLiteral("set-list"), QStringLiteral("nbe.recentProjects"),
                  QStringLiteral("/b"), QStringLiteral("/a")});
    EXPECT_EQ(defaults.boolValue(QStringLiteral("nbe.formatOnSave")), std::optional<bool>(true));
    EXPECT_EQ(defaults.stringListValue(QStringLiteral("nbe.recentProjects")),
              std::optional<QStringList>({QStringLiteral("/b"), QStringLiteral("/a")}));

    NBEDefaults reopened(file());
    EXPECT_EQ(reopened.intValue(QStringLiteral("nbe.tabSize")), std::optional<qint64>(2));
    EXPECT_EQ(reopened.doubleValue(QStringLiteral("nbe.autoSaveDelay")),
              std::optional<double>(0.1));
}

TEST_F(DefaultsTest, NonFiniteDoublesRoundTrip)
{
    NBEDefaults defaults(file());
    defaults.setDouble(QStringLiteral("nan"), std::nan(""));
    defaults.setDouble(QStringLiteral("inf"), -INFINITY);
    NBEDefaults reopened(file());
    EXPECT_TRUE(std::isnan(reopened.doubleValue(QStringLiteral("nan")).value_or(0)));
    EXPECT_EQ(reopened.doubleValue(QStringLiteral("inf")), std::optional<double>(-INFINITY));
}

TEST_F(DefaultsTest, KeysAreKeptWhole)
{
    NBEDefaults defaults(file());
    defaults.setString(QStringLiteral("nbe.commitDraft./repo"), QStringLiteral("first"));
    defaults.setString(QStringLiteral("nbe.commitDraft./repo/"), QStringLiteral("second"));
    defaults.setString(QStringLiteral("a/b"), QStringLiteral("slash"));
    defaults.setString(QStringLiteral("a"), QStringLiteral("plain"));
    NBEDefaults reopened(file());
    EXPECT_EQ(reopened.stringValue(QStringLiteral("nbe.commitDraft./repo"), {}),
              QStringLiteral("first"));
    EXPECT_EQ(reopened.stringValue(QStringLiteral("nbe.commitDraft./repo/"), {}),
              QStringLiteral("second"));
    EXPECT_EQ(reopened.stringValue(QStringLiteral("a/b"), {}), QStringLiteral("slash"));
    EXPECT_EQ(reopened.stringValue(QStringLiteral("a"), {}), QStringLiteral("plain"));
    EXPECT_EQ(reopened.keys().size(), 4);
}

TEST_F(DefaultsTest, WrongTypeReadsAsAbsentAndFallsBack)
{
    NBEDefaults defaults(file());
    defaults.setString(QStringLiteral("nbe.tabSize"), QStringLiteral("4"));
    defaults.setInt(QStringLiteral("nbe.autoSaveDelay"), 2);
    defaults.setString(QStringLiteral("nbe.recentProjects"), QStringLiteral("/x"));
    EXPECT_EQ(defaults.intValue(QStringLiteral("nbe.tabSize")), std::nullopt);
    EXPECT_EQ(defaults.intValue(QStringLiteral("nbe.tabSize"), 8), 8);
    EXPECT_EQ(defaults.doubleValue(QStringLiteral("nbe.autoSaveDelay"), 1.5), 1.5);
    EXPECT_EQ(defaults.stringListValue(QStringLiteral("nbe.recentProjects"), {}), QStringList{});
    EXPECT_EQ(defaults.boolValue(QStringLiteral("missing"), true), true);
    EXPECT_TRUE(defaults.contains(QStringLiteral("nbe.tabSize")));

    // A damaged file reads as empty rather than failing.
    NBETest::writeFile(file(), "{not json");
    NBEDefaults damaged(file());
    EXPECT_FALSE(damaged.contains(QStringLiteral("nbe.tabSize")));
    EXPECT_TRUE(damaged.setBool(QStringLiteral("ok"), true));
    EXPECT_EQ(NBEDefaults(file()).boolValue(QStringLiteral("ok")), std::optional<bool>(true));
}

TEST_F(DefaultsTest, ChangeSignalNamesTheKey)
{
    NBEDefaults defaults(file());
    QSignalSpy spy(&defaults, &NBEDefaults::valueChanged);
    defaults.setInt(QStringLiteral("nbe.tabSize"), 2);
    defaults.setInt(QStringLiteral("nbe.tabSize"), 2); // unchanged: no signal
    defaults.remove(QStringLiteral("nbe.tabSize"));
    ASSERT_EQ(spy.count(), 2);
    EXPECT_EQ(spy.at(0).at(0).toString(), QStringLiteral("nbe.tabSize"));

    // Another process's write is announced once this store notices it.
    spy.clear();
    otherProcess(
        {QStringLiteral("set-string"), QStringLiteral("nbe.appearance"), QStringLiteral("dark")});
    EXPECT_EQ(defaults.stringValue(QStringLiteral("nbe.appearance"), {}), QStringLiteral("dark"));
    ASSERT_TRUE(NBETest::waitUntil([&] { return spy.count() == 1; }));
    EXPECT_EQ(spy.at(0).at(0).toString(), QStringLiteral("nbe.appearance"));
}

TEST_F(DefaultsTest, ConcurrentWritersLoseNothing)
{
    // Two processes write different keys at once; the lock keeps every one.
    QProcess a;
    QProcess b;
    const QString tool = NBETest::toolPath(QStringLiteral("nbe-defaults-tool"));
    a.start(tool, {file(), QStringLiteral("set-many"), QStringLiteral("a"), QStringLiteral("40")});
    b.start(tool, {file(), QStringLiteral("set-many"), QStringLiteral("b"), QStringLiteral("40")});
    ASSERT_TRUE(a.waitForFinished(60000) && b.waitForFinished(60000));
    EXPECT_EQ(a.exitCode(), 0);
    EXPECT_EQ(b.exitCode(), 0);
    NBEDefaults defaults(file());
    EXPECT_EQ(defaults.keys().size(), 80);
}

TEST_F(DefaultsTest, AFullDiskNeverEmptiesTheSettingsFile)
{
    const QString folder = dir.filePath(QStringLiteral("small"));
    ASSERT_TRUE(QDir().mkpath(folder));
    NBETest::SmallDisk disk(folder);
    if (!disk.isMounted())
        GTEST_SKIP() << disk.skipReason().toStdString();
    const QString path = folder + QStringLiteral("/settings.json");
    NBEDefaults defaults(path);
    ASSERT_TRUE(defaults.setString(QStringLiteral("nbe.appearance"), QStringLiteral("dark")));
    const QByteArray before = NBETest::readFile(path);

    // One page left for the lock file; the new settings need more, and stay
    // within the save file's buffer.
    disk.fill(4096);
    EXPECT_FALSE(defaults.setString(QStringLiteral("nbe.big"), QString(8000, QChar(u'x'))));
    EXPECT_EQ(NBETest::readFile(path), before);
    EXPECT_EQ(NBEDefaults(path).stringValue(QStringLiteral("nbe.appearance"), {}),
              QStringLiteral("dark"));
    EXPECT_FALSE(defaults.contains(QStringLiteral("nbe.big")));
}

// A settings file that can't be read is never written over: it is kept
// beside under its own name, the store runs on defaults, and says so once.
TEST_F(DefaultsTest, ABrokenFileIsKeptAsideWhileTheStoreRunsOnDefaults)
{
    const QByteArray trailingComma =
        R"({"version": 1, "values": {"nbe.tabSize": {"type": "int", "value": "2"},}})";
    const auto makeUnparsable = [&] { NBETest::writeFile(file(), trailingComma); };
    // A folder in the file's place can't be read, even by root.
    const auto makeUnreadable = [&] {
        NBETest::writeFile(file() + QStringLiteral("/inside.txt"), "kept");
    };
    for (const std::function<void()> &make :
         {std::function<void()>(makeUnparsable), std::function<void()>(makeUnreadable)}) {
        for (const QString &old :
             QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot))
            QFileInfo(dir.filePath(old)).isDir() ? QDir(dir.filePath(old)).removeRecursively()
                                                 : QFile::remove(dir.filePath(old));
        make();
        NBEDefaults defaults(file());
        QSignalSpy problems(&defaults, &NBEDefaults::problemFound);
        EXPECT_EQ(defaults.intValue(QStringLiteral("nbe.tabSize"), 4), 4);
        ASSERT_TRUE(defaults.setBool(QStringLiteral("nbe.wordWrap"), true));
        ASSERT_TRUE(defaults.setInt(QStringLiteral("nbe.tabSize"), 3));
        ASSERT_TRUE(NBETest::waitUntil([&] { return problems.count() >= 1; }));

        const QStringList kept = QDir(dir.path())
                                     .entryList({QStringLiteral("settings (unreadable *).json")},
                                                QDir::AllEntries | QDir::Hidden);
        ASSERT_EQ(kept.size(), 1);
        const QString aside = dir.filePath(kept.first());
        if (QFileInfo(aside).isDir())
            EXPECT_EQ(NBETest::readFile(aside + QStringLiteral("/inside.txt")), "kept");
        else
            EXPECT_EQ(NBETest::readFile(aside), trailingComma);
        const QString sentence = problems.at(0).at(0).toString();
        EXPECT_TRUE(sentence.contains(kept.first())) << sentence.toStdString();
        EXPECT_TRUE(sentence.contains(QStringLiteral("default settings")));
        EXPECT_EQ(defaults.problem(), sentence);

        // The new file holds what was set since; a second store agrees and
        // nothing more is said.
        NBEDefaults reopened(file());
        EXPECT_EQ(reopened.intValue(QStringLiteral("nbe.tabSize")), std::optional<qint64>(3));
        EXPECT_EQ(reopened.problem(), std::nullopt);
        QCoreApplication::processEvents();
        EXPECT_EQ(problems.count(), 1);
    }
}

// A file broken by hand while the editor runs doesn't take its settings:
// a read or the next write keeps the running values, the write saves them
// all, and the broken file is kept aside and said once.
TEST_F(DefaultsTest, AFileBrokenWhileRunningKeepsTheRunningValues)
{
    NBEDefaults defaults(file());
    QSignalSpy problems(&defaults, &NBEDefaults::problemFound);
    const QStringList recent{QStringLiteral("/site"), QStringLiteral("/blog")};
    ASSERT_TRUE(defaults.setBool(QStringLiteral("nbe.formatOnSave"), true));
    ASSERT_TRUE(defaults.setStringList(QStringLiteral("nbe.recentProjects"), recent));
    const auto expectRunning = [&](const NBEDefaults &store) {
        EXPECT_EQ(store.boolValue(QStringLiteral("nbe.formatOnSave")), true);
        EXPECT_EQ(store.stringListValue(QStringLiteral("nbe.recentProjects")), recent);
    };
    const auto keptAside = [&] {
        return QDir(dir.path())
            .entryList({QStringLiteral("settings (unreadable *).json")}, QDir::Files);
    };

    const QByteArray broken = R"({"version": 1, "values": {"nbe.formatOnSave": )";
    NBETest::writeFile(file(), broken);
    ASSERT_TRUE(defaults.setString(QStringLiteral("nbe.commitDraft./site"), QStringLiteral("Fix")));
    expectRunning(defaults);
    ASSERT_EQ(keptAside().size(), 1);
    EXPECT_EQ(NBETest::readFile(dir.filePath(keptAside().first())), broken);
    ASSERT_TRUE(NBETest::waitUntil([&] { return problems.count() == 1; }));
    EXPECT_TRUE(problems.at(0).at(0).toString().contains(QStringLiteral("keeps the settings")));
    {
        NBEDefaults reopened(file());
        expectRunning(reopened);
        EXPECT_EQ(reopened.stringValue(QStringLiteral("nbe.commitDraft./site")),
                  QStringLiteral("Fix"));
    }

    // Broken again and read before anything is written: still the running
    // values, and the write after them saves them.
    NBETest::writeFile(file(), "not json");
    expectRunning(defaults);
    ASSERT_TRUE(defaults.setInt(QStringLiteral("nbe.tabSize"), 2));
    NBEDefaults reopened(file());
    expectRunning(reopened);
    EXPECT_EQ(reopened.intValue(QStringLiteral("nbe.tabSize")), std::optional<qint64>(2));
    ASSERT_TRUE(NBETest::waitUntil([&] { return problems.count() == 2; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(problems.count(), 2);
}

// A file a newer version wrote may hold kinds of values and fields this one
// doesn't know: changing a setting here writes them back as they were.
TEST_F(DefaultsTest, AWriteKeepsWhatANewerVersionStored)
{
    NBETest::writeFile(file(), R"({"version": 3, "layout": {"sidebar": 240},
        "values": {"nbe.tabSize": {"type": "int", "value": "2"},
                   "nbe.window": {"type": "rect", "value": [10, 20, 800, 600]},
                   "nbe.future": {"type": "int", "value": "not yet"}}})");
    NBEDefaults defaults(file());
    EXPECT_EQ(defaults.intValue(QStringLiteral("nbe.tabSize")), std::optional<qint64>(2));
    EXPECT_EQ(defaults.intValue(QStringLiteral("nbe.future")), std::nullopt);
    ASSERT_TRUE(defaults.setBool(QStringLiteral("nbe.wordWrap"), false));
    ASSERT_TRUE(defaults.remove(QStringLiteral("nbe.tabSize")));

    const QJsonObject root = QJsonDocument::fromJson(NBETest::readFile(file())).object();
    EXPECT_EQ(root.value(QStringLiteral("version")).toInt(), 3);
    EXPECT_EQ(root.value(QStringLiteral("layout")).toObject().value(QStringLiteral("sidebar")),
              QJsonValue(240));
    const QJsonObject values = root.value(QStringLiteral("values")).toObject();
    EXPECT_EQ(values.value(QStringLiteral("nbe.window")).toObject().value(QStringLiteral("value")),
              QJsonValue(QJsonArray{10, 20, 800, 600}));
    EXPECT_EQ(values.value(QStringLiteral("nbe.future")).toObject().value(QStringLiteral("value")),
              QJsonValue(QStringLiteral("not yet")));
    EXPECT_FALSE(values.contains(QStringLiteral("nbe.tabSize")));
    EXPECT_EQ(NBEDefaults(file()).boolValue(QStringLiteral("nbe.wordWrap")),
              std::optional<bool>(false));
}

TEST_F(DefaultsTest, AWriteThatFailsSaysWhy)
{
    // The settings folder can't be made: a file stands where it would be.
    NBETest::writeFile(dir.filePath(QStringLiteral("blocked")), "x");
    NBEDefaults defaults(dir.filePath(QStringLiteral("blocked/settings.json")));
    QSignalSpy failures(&defaults, &NBEDefaults::writeFailed);
    EXPECT_FALSE(defaults.setBool(QStringLiteral("nbe.wordWrap"), true));
    ASSERT_EQ(failures.count(), 1);
    EXPECT_EQ(failures.at(0).at(0).toString(), QStringLiteral("nbe.wordWrap"));
    EXPECT_TRUE(failures.at(0).at(1).toString().startsWith(
        QStringLiteral("The setting couldn't be saved: ")));
    EXPECT_FALSE(defaults.contains(QStringLiteral("nbe.wordWrap")));
}

// Files in the settings file's place that a write would lose or a read would
// wait on: each is refused or set aside with a sentence, as an ordinary user.
TEST_F(DefaultsTest, AReadOnlyFileOrAPipeInItsPlaceIsNeitherWrittenNorWaitedOn)
{
    ASSERT_TRUE(
        NBEDefaults(file()).setString(QStringLiteral("nbe.appearance"), QStringLiteral("dark")));
    QFile::setPermissions(file(), QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
    const QString pipeFolder = dir.filePath(QStringLiteral("piped"));
    ASSERT_TRUE(QDir().mkpath(pipeFolder));
    const QString pipe = pipeFolder + QStringLiteral("/settings.json");
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0666), 0);
    NBETest::giveToNobody(dir.path());
    const QByteArray before = NBETest::readFile(file());

    EXPECT_TRUE(NBETest::asNobody(
        [&] {
            NBEDefaults readOnly(file());
            QSignalSpy failures(&readOnly, &NBEDefaults::writeFailed);
            EXPECT_FALSE(
                readOnly.setString(QStringLiteral("nbe.appearance"), QStringLiteral("light")));
            ASSERT_EQ(failures.count(), 1);
            EXPECT_TRUE(failures.at(0).at(1).toString().contains(
                QStringLiteral("“settings.json” is not writable")));
            EXPECT_EQ(readOnly.stringValue(QStringLiteral("nbe.appearance"), {}),
                      QStringLiteral("dark"));

            NBEDefaults piped(pipe);
            EXPECT_FALSE(piped.contains(QStringLiteral("nbe.appearance")));
            EXPECT_TRUE(piped.setBool(QStringLiteral("nbe.wordWrap"), true));
            EXPECT_TRUE(NBEDefaults(pipe).boolValue(QStringLiteral("nbe.wordWrap"), false));
        },
        std::chrono::seconds(20)));
    EXPECT_EQ(NBETest::readFile(file()), before);
}
