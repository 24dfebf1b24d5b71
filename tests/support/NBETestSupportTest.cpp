#include "NBETestSupport.h"

#include <QPromise>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

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
