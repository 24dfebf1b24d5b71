#include "NBEReplaceFile.h"
#include "NBETestSupport.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

QStringList everything(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                  QDir::NoDotAndDotDot);
}

mode_t modeOf(const QString &file)
{
    struct stat info = {};
    ::lstat(QFile::encodeName(file).constData(), &info);
    return info.st_mode;
}

// Every replacement keeps the same promises whichever temporary it writes
// through: the unnamed one, or the hidden name where there is none.
class ReplaceFile : public ::testing::TestWithParam<NBEReplaceTemporary>
{
protected:
    QString path(const QString &name) const { return dir.filePath(name); }
    NBEResult<void> replace(const QString &name, const QByteArray &bytes)
    {
        return nbeReplaceFile(path(name), bytes, GetParam());
    }

    QTemporaryDir dir;
};

} // namespace

TEST_P(ReplaceFile, TheNewTextArrivesWholeAndNothingElseIsLeft)
{
    NBETest::writeFile(path(QStringLiteral("page.html")), "old");
    ASSERT_TRUE(replace(QStringLiteral("page.html"), "new\n"));
    EXPECT_EQ(NBETest::readFile(path(QStringLiteral("page.html"))), "new\n");
    // A file that wasn't there is made, as any new file, under the umask.
    const mode_t mask = ::umask(022);
    ::umask(mask);
    ASSERT_TRUE(replace(QStringLiteral("made.css"), "a{}"));
    EXPECT_EQ(modeOf(path(QStringLiteral("made.css"))) & 0777, 0666 & ~mask);
    EXPECT_EQ(everything(dir.path()),
              (QStringList{QStringLiteral("made.css"), QStringLiteral("page.html")}));
}

TEST_P(ReplaceFile, LinksArePermissionsAndLongNamesAreKept)
{
    NBETest::writeFile(path(QStringLiteral("real/site.css")), "old");
    ASSERT_TRUE(
        QFile::link(path(QStringLiteral("real/site.css")), path(QStringLiteral("link.css"))));
    ASSERT_TRUE(QFile::setPermissions(path(QStringLiteral("real/site.css")),
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
    ASSERT_TRUE(replace(QStringLiteral("link.css"), "new"));
    EXPECT_TRUE(S_ISLNK(modeOf(path(QStringLiteral("link.css")))));
    EXPECT_EQ(NBETest::readFile(path(QStringLiteral("real/site.css"))), "new");
    EXPECT_EQ(modeOf(path(QStringLiteral("real/site.css"))) & 07777, 0640u);
    EXPECT_EQ(everything(path(QStringLiteral("real"))), QStringList{QStringLiteral("site.css")});

    // 255 bytes, the most a name can hold.
    const QString longest = QString(251, QChar(u'a')) + QStringLiteral(".css");
    NBETest::writeFile(path(longest), "old");
    ASSERT_TRUE(replace(longest, "new"));
    EXPECT_EQ(NBETest::readFile(path(longest)), "new");
}

// A file shared through an access list keeps it, and its other attributes:
// without the list the users it names would lose the file, and the group
// bits (the list's mask) would open it to the owning group.
TEST_P(ReplaceFile, AccessListsAndOtherAttributesAreKept)
{
    constexpr const char *accessList = NBETest::accessListAttribute;
    const QString shared = path(QStringLiteral("shared.css"));
    NBETest::writeFile(shared, "old");
    ASSERT_EQ(::chmod(QFile::encodeName(shared).constData(), 0640), 0);
    if (!NBETest::setAttribute(shared, accessList, NBETest::sharedWithTheWebServer()) ||
        !NBETest::setAttribute(shared, "user.origin", "build"))
        GTEST_SKIP() << "the file system keeps no access lists";
    const QByteArray list = NBETest::attribute(shared, accessList);
    const mode_t mode = modeOf(shared);
    ASSERT_TRUE(replace(QStringLiteral("shared.css"), "new"));
    EXPECT_EQ(NBETest::readFile(shared), "new");
    EXPECT_EQ(modeOf(shared), mode);
    EXPECT_EQ(NBETest::attribute(shared, accessList), list);
    EXPECT_EQ(NBETest::attribute(shared, "user.origin"), QByteArray("build"));

    // A folder's default list is for files made there, not for one replaced.
    const QString folder = path(QStringLiteral("inherits"));
    ASSERT_TRUE(QDir().mkdir(folder));
    ASSERT_TRUE(NBETest::setAttribute(folder, NBETest::defaultAccessListAttribute,
                                      NBETest::sharedWithTheWebServer()));
    const QString plain = folder + QStringLiteral("/plain.css");
    NBETest::writeFile(plain, "old");
    ::removexattr(QFile::encodeName(plain).constData(), accessList);
    ASSERT_EQ(::chmod(QFile::encodeName(plain).constData(), 0644), 0);
    ASSERT_TRUE(replace(QStringLiteral("inherits/plain.css"), "new"));
    EXPECT_EQ(NBETest::attribute(plain, accessList), QByteArray("absent"));
    EXPECT_EQ(modeOf(plain) & 07777, 0644u);
    EXPECT_EQ(everything(folder), QStringList{QStringLiteral("plain.css")});
}

TEST_P(ReplaceFile, AWriteCutShortOrRefusedLeavesTheOldFile)
{
    // A file-size limit stops write() part way, as a full disk does.
    NBETest::writeFile(path(QStringLiteral("page.html")), "old");
    const auto cut = [&] {
        NBETest::FileSizeLimit limit(512);
        return replace(QStringLiteral("page.html"), QByteArray(64 * 1024, 'x'));
    }();
    ASSERT_FALSE(cut.has_value());
    EXPECT_EQ(cut.error().description, QString::fromLocal8Bit(std::strerror(EFBIG)));
    EXPECT_EQ(NBETest::readFile(path(QStringLiteral("page.html"))), "old");

    QDir(dir.path()).mkdir(QStringLiteral("folder"));
    EXPECT_FALSE(replace(QStringLiteral("folder"), "x").has_value());
    EXPECT_TRUE(QFileInfo(path(QStringLiteral("folder"))).isDir());
    EXPECT_EQ(everything(dir.path()),
              (QStringList{QStringLiteral("folder"), QStringLiteral("page.html")}));
}

TEST_P(ReplaceFile, AFullDiskSaysSoAndLeavesTheOldFile)
{
    NBETest::SmallDisk disk(dir.path());
    if (!disk.isMounted())
        GTEST_SKIP() << disk.skipReason().toStdString();
    NBETest::writeFile(path(QStringLiteral("page.html")), QByteArray(1024, 'o'));
    disk.fill();
    const auto full = replace(QStringLiteral("page.html"), QByteArray(20 * 1024, 'n'));
    ASSERT_FALSE(full.has_value());
    EXPECT_EQ(full.error().description, QStringLiteral("the disk is full"));
    EXPECT_EQ(NBETest::readFile(path(QStringLiteral("page.html"))), QByteArray(1024, 'o'));
    disk.empty();
    EXPECT_EQ(everything(dir.path()), QStringList{QStringLiteral("page.html")});
}

INSTANTIATE_TEST_SUITE_P(BothTemporaries, ReplaceFile,
                         ::testing::Values(NBEReplaceTemporary::Unnamed,
                                           NBEReplaceTemporary::Hidden),
                         [](const auto &info) {
                             return info.param == NBEReplaceTemporary::Unnamed ? "Unnamed"
                                                                               : "Hidden";
                         });

namespace {

// Kills a save of a large text to `file` part way; false when every save
// ended first.
bool killSaveOf(const QString &file, NBEReplaceTemporary temporary)
{
    for (qsizetype size = 64 << 20; size <= (512 << 20); size *= 2) {
        if (NBETest::killWhileWriting(QFileInfo(file).absolutePath(), [&] {
                nbeReplaceFile(file, QByteArray(size, 'x'), temporary);
            }))
            return true;
    }
    return false;
}

} // namespace

// A save killed while it writes a large file: the file is as it was, and
// nothing is left beside it.
TEST(ReplaceFileKilled, AKilledSaveLeavesTheFileAndNothingElse)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("bundle.js"));
    NBETest::writeFile(file, "old\n");
    if (!killSaveOf(file, NBEReplaceTemporary::Unnamed))
        GTEST_SKIP() << "every save ended before it could be killed";
    EXPECT_EQ(NBETest::readFile(file), "old\n");
    EXPECT_EQ(everything(dir.path()), QStringList{QStringLiteral("bundle.js")});
}

// Where a killed save left its hidden file, the next save to that folder
// takes it away: only files of that pattern, of this user, that no live
// writer holds.
TEST(ReplaceFileKilled, LeftoversOfKilledSavesGoWithTheNextSave)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("bundle.js"));
    NBETest::writeFile(file, "old\n");
    if (!killSaveOf(file, NBEReplaceTemporary::Hidden))
        GTEST_SKIP() << "every save ended before it could be killed";
    ASSERT_EQ(everything(dir.path()).size(), 2);

    const auto put = [&](const QString &name) {
        NBETest::writeFile(dir.filePath(name), "kept?");
        return dir.filePath(name);
    };
    // Still being written by this process, or by another one that holds it.
    put(QStringLiteral(".nbe-save-%1-00000000000000aa").arg(::getpid()));
    const QString held = put(QStringLiteral(".nbe-save-999999999-00000000000000bb"));
    const int holder = ::open(QFile::encodeName(held).constData(), O_RDONLY);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);
    // Not of the pattern.
    put(QStringLiteral(".nbe-save-notes"));
    put(QStringLiteral(".nbe-save-12-xyz"));
    // From before the writer's id was in the name: once it is old.
    const QString fresh = put(QStringLiteral(".nbe-save-00000000000000cc"));
    const QString old = put(QStringLiteral(".nbe-save-00000000000000dd"));
    QFile oldFile(old);
    ASSERT_TRUE(oldFile.open(QIODevice::ReadWrite));
    ASSERT_TRUE(oldFile.setFileTime(QDateTime::currentDateTime().addSecs(-3600),
                                    QFile::FileModificationTime));
    oldFile.close();
    QStringList kept{QStringLiteral(".nbe-save-%1-00000000000000aa").arg(::getpid()),
                     QStringLiteral(".nbe-save-999999999-00000000000000bb"),
                     QStringLiteral(".nbe-save-notes"), QStringLiteral(".nbe-save-12-xyz"),
                     QStringLiteral(".nbe-save-00000000000000cc")};
    if (::geteuid() == 0) {
        // Another user's.
        const QString theirs = put(QStringLiteral(".nbe-save-999999998-00000000000000ee"));
        ASSERT_EQ(::chown(QFile::encodeName(theirs).constData(), 1234, 1234), 0);
        kept.append(QStringLiteral(".nbe-save-999999998-00000000000000ee"));
    }

    ASSERT_TRUE(nbeReplaceFile(file, "new\n"));
    ::close(holder);
    kept.append(QStringLiteral("bundle.js"));
    kept.sort();
    EXPECT_EQ(everything(dir.path()), kept);
    EXPECT_EQ(NBETest::readFile(file), "new\n");
    Q_UNUSED(fresh);
}
