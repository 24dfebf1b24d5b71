#include "NBETestSupport.h"

#include <QDir>
#include <QFile>
#include <QPromise>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <unistd.h>

using namespace std::chrono_literals;

TEST(NBETestSupportTest, AwaitOnAFutureThatNeverFinishesFailsNamingTheTest)
{
    QPromise<int> never;
    never.start();
    try {
        NBETest::await(never.future(), 50ms);
        FAIL() << "await returned for a future that never finished";
    } catch (const NBETest::AwaitTimeout &timeout) {
        EXPECT_NE(std::string(timeout.what())
                      .find("NBETestSupportTest.AwaitOnAFutureThatNeverFinishesFailsNamingTheTest"),
                  std::string::npos)
            << timeout.what();
    }
    never.finish();
}

TEST(NBETestSupportTest, TrashLandsInTheTestHomeNotTheWorkingFolder)
{
    QTemporaryDir work;
    ASSERT_TRUE(work.isValid());
    const QString file = work.filePath(QStringLiteral("gone.txt"));
    NBETest::writeFile(file, "x");
    QString trashed;
    ASSERT_TRUE(QFile::moveToTrash(file, &trashed));
    EXPECT_TRUE(trashed.startsWith(QDir::homePath())) << trashed.toStdString();
    EXPECT_FALSE(QFileInfo::exists(QDir::currentPath() + QStringLiteral("/files/gone.txt")));
}

// The child of a permission test is an ordinary user: a root-owned file
// refuses it, its own folder takes its writes.
TEST(NBETestSupportTest, TheChildOfAPermissionTestIsAnOrdinaryUser)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "already an ordinary user";
    QTemporaryDir dir;
    const QString locked = dir.filePath(QStringLiteral("root's"));
    NBETest::writeFile(locked, "root\n");
    ASSERT_TRUE(
        QFile::setPermissions(locked, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther));
    const QString own = dir.filePath(QStringLiteral("own"));
    QDir().mkpath(own);
    NBETest::giveToNobody(own);
    EXPECT_TRUE(NBETest::asNobody([&] {
        EXPECT_EQ(::geteuid(), NBETest::nobodyID);
        EXPECT_EQ(::getegid(), NBETest::nobodyID);
        EXPECT_FALSE(QFile(locked).open(QIODevice::WriteOnly));
        NBETest::writeFile(own + QStringLiteral("/mine"), "mine\n");
    }));
    EXPECT_EQ(NBETest::readFile(locked), "root\n");
    EXPECT_EQ(NBETest::readFile(own + QStringLiteral("/mine")), "mine\n");
}
