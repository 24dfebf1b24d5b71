#include "NBEFileWatch.h"
#include "NBETestSupport.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <utime.h>

using namespace std::chrono_literals;

namespace {

class NBEFileWatchTest : public ::testing::Test
{
protected:
    QTemporaryDir dir;
    QString gitFolder;
    QString lock;

    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        gitFolder = dir.filePath(QStringLiteral(".git"));
        lock = QDir(gitFolder).filePath(QStringLiteral("index.lock"));
        ASSERT_TRUE(QDir().mkpath(gitFolder));
        ASSERT_TRUE(QDir().mkpath(dir.filePath(QStringLiteral("pages"))));
    }

    void write(const QString &relative) { NBETest::writeFile(dir.filePath(relative), "x\n"); }

    static QStringList reported(const QSignalSpy &spy, qsizetype at)
    {
        QStringList paths = spy.at(at).at(0).toStringList();
        paths.sort();
        return paths;
    }
};

} // namespace

// A program rewriting the tree that stalls while it holds its lock (a
// checkout on a busy disk) still makes one report, once the lock is gone. A
// lock left by a program that died long ago holds nothing.
TEST_F(NBEFileWatchTest, ABurstLastsWhileItsLockIsFreshlyHeld)
{
    NBEFileWatch watch(200ms);
    QSignalSpy spy(&watch, &NBEFileWatch::changed);
    watch.watch(dir.path(), {gitFolder}, {lock});
    NBETest::waitUntil([] { return false; }, 300ms);

    write(QStringLiteral(".git/index.lock"));
    write(QStringLiteral("pages/a.html"));
    NBETest::waitUntil([] { return false; }, 1000ms);
    EXPECT_EQ(spy.count(), 0);
    write(QStringLiteral("pages/b.html"));
    ASSERT_TRUE(QFile::remove(lock));
    ASSERT_TRUE(NBETest::waitUntil([&] { return spy.count() == 1; }));
    const QStringList paths = reported(spy, 0);
    EXPECT_TRUE(paths.contains(dir.filePath(QStringLiteral("pages/a.html"))));
    EXPECT_TRUE(paths.contains(dir.filePath(QStringLiteral("pages/b.html"))));
    NBETest::waitUntil([] { return false; }, 400ms);
    EXPECT_EQ(spy.count(), 1);

    // Yesterday's lock.
    write(QStringLiteral(".git/index.lock"));
    const utimbuf old{0, ::time(nullptr) - 24 * 3600};
    ASSERT_EQ(::utime(QFile::encodeName(lock).constData(), &old), 0);
    NBETest::waitUntil([&] { return spy.count() == 2; }, 2s);
    write(QStringLiteral("pages/c.html"));
    ASSERT_TRUE(NBETest::waitUntil([&] { return spy.count() == 3; }, 1500ms));
    EXPECT_EQ(reported(spy, 2), QStringList{dir.filePath(QStringLiteral("pages/c.html"))});
}

// However long a program goes on, its changes are reported in the end.
TEST_F(NBEFileWatchTest, AHeldBurstEndsAtItsLimit)
{
    NBEFileWatch watch(50ms);
    QSignalSpy spy(&watch, &NBEFileWatch::changed);
    watch.watch(dir.path(), {gitFolder}, {lock});
    NBETest::waitUntil([] { return false; }, 300ms);
    write(QStringLiteral(".git/index.lock"));
    write(QStringLiteral("pages/a.html"));
    ASSERT_TRUE(NBETest::waitUntil([&] { return spy.count() == 1; }, 5s));
    EXPECT_TRUE(QFile::exists(lock));
}
