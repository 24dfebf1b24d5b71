#include "NBERecoveredEdits.h"
#include "NBETestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>

namespace {

QStringList everything(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

} // namespace

TEST(NBERecoveredEdits, KeptEditsAreFoundByTheirPathAndAnnouncedOnce)
{
    QTemporaryDir dir;
    const auto kept = NBERecoveredEdits::keep({{QStringLiteral("/home/me/site/a.css"), "one"},
                                               {QStringLiteral("/home/me/site/b/c.js"), "two"},
                                               // Beside the copy's own marks, by name.
                                               {QStringLiteral("/.announced"), "three"}},
                                              {dir.path()});
    ASSERT_TRUE(kept.has_value()) << kept.error().description.toStdString();
    EXPECT_TRUE(kept->missing.isEmpty());
    EXPECT_EQ(NBETest::readFile(kept->folder + QStringLiteral("/home/me/site/a.css")), "one");
    EXPECT_EQ(NBETest::readFile(kept->folder + QStringLiteral("/home/me/site/b/c.js")), "two");
    const QList<NBEKeptEdits> whole{{kept->folder, {}, {}}};
    EXPECT_EQ(NBERecoveredEdits::unannounced({dir.path()}), whole);
    NBERecoveredEdits::markAnnounced(kept->folder);
    EXPECT_TRUE(NBERecoveredEdits::unannounced({dir.path()}).isEmpty());
    EXPECT_EQ(NBETest::readFile(kept->folder + QStringLiteral("/home/me/site/a.css")), "one");
    EXPECT_EQ(NBETest::readFile(kept->folder + QStringLiteral("/.announced")), "three");

    NBERecoveredEdits::discard(kept->folder);
    EXPECT_EQ(everything(dir.path()), QStringList());
}

// Root writes wherever permissions forbid it, so a place below a regular
// file stands for one that can't be written.
TEST(NBERecoveredEdits, TheNextPlaceTakesTheCopyWhenOneCantBeWritten)
{
    QTemporaryDir dir;
    NBETest::writeFile(dir.filePath(QStringLiteral("file")), "x");
    const QString broken = dir.filePath(QStringLiteral("file/Recovered Edits"));
    const QString second = dir.filePath(QStringLiteral("second"));
    const QList<NBEUnsavedText> texts{{QStringLiteral("/site/a.css"), "one"}};

    const auto kept = NBERecoveredEdits::keep(texts, {broken, second});
    ASSERT_TRUE(kept.has_value()) << kept.error().description.toStdString();
    EXPECT_TRUE(kept->folder.startsWith(second + u'/'));
    EXPECT_EQ(NBETest::readFile(kept->folder + QStringLiteral("/site/a.css")), "one");
    EXPECT_EQ(NBERecoveredEdits::unannounced({broken, second}).size(), 1);

    const auto nowhere = NBERecoveredEdits::keep(texts, {broken, broken + QStringLiteral("2")});
    ASSERT_FALSE(nowhere.has_value());
    EXPECT_FALSE(nowhere.error().description.isEmpty());
}

// A copy cut short (a write failed, or the process ended mid-way) says
// which texts it lacks, then and at the next start.
TEST(NBERecoveredEdits, APartialCopyNamesWhatItLacks)
{
    QTemporaryDir dir;
    const QString first = dir.filePath(QStringLiteral("first"));
    const QString second = dir.filePath(QStringLiteral("second"));

    // A file and a folder of one name can't both be kept, in any place.
    const auto clash = NBERecoveredEdits::keep(
        {{QStringLiteral("/site/a"), "file"}, {QStringLiteral("/site/a/b.css"), "inside"}},
        {first, second});
    ASSERT_TRUE(clash.has_value()) << clash.error().description.toStdString();
    EXPECT_EQ(clash->missing, QStringList{QStringLiteral("/site/a/b.css")});
    EXPECT_FALSE(clash->reason.isEmpty());
    // One copy is left, not one per place tried.
    const QList<NBEKeptEdits> one{{clash->folder, {QStringLiteral("/site/a/b.css")}, {}}};
    EXPECT_EQ(NBERecoveredEdits::unannounced({first, second}), one);
    NBERecoveredEdits::discard(clash->folder);

    // A disk that fills up: the small text fits, the large one doesn't.
    rlimit before{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &before), 0);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit tiny = before;
    tiny.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &tiny), 0);
    const auto full =
        NBERecoveredEdits::keep({{QStringLiteral("/site/small.css"), "small"},
                                 {QStringLiteral("/site/large.css"), QByteArray(64 * 1024, 'x')}},
                                {first, second});
    ::setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, previous);
    ASSERT_TRUE(full.has_value()) << full.error().description.toStdString();
    EXPECT_EQ(full->missing, QStringList{QStringLiteral("/site/large.css")});
    EXPECT_EQ(NBETest::readFile(full->folder + QStringLiteral("/site/small.css")), "small");

    // Ended mid-way: a text that isn't there whole counts as missing.
    const auto cut = NBERecoveredEdits::keep(
        {{QStringLiteral("/site/x.css"), "x"}, {QStringLiteral("/site/y.css"), "yyy"}}, {first});
    ASSERT_TRUE(cut.has_value());
    NBETest::writeFile(cut->folder + QStringLiteral("/site/y.css"), "y");
    QStringList lacking;
    for (const NBEKeptEdits &copy : NBERecoveredEdits::unannounced({first}))
        if (copy.folder == cut->folder)
            lacking = copy.missing;
    EXPECT_EQ(lacking, QStringList{QStringLiteral("/site/y.css")});
}

TEST(NBERecoveredEdits, NoTextIsWrittenOutsideItsCopy)
{
    QTemporaryDir dir;
    const QString place = dir.filePath(QStringLiteral("a/b"));
    const auto kept = NBERecoveredEdits::keep({{QStringLiteral("/../../x.css"), "up"},
                                               {QStringLiteral("../y.css"), "relative"},
                                               {QStringLiteral("/site/../../../z.css"), "mixed"}},
                                              {place});
    ASSERT_TRUE(kept.has_value()) << kept.error().description.toStdString();
    EXPECT_TRUE(kept->missing.isEmpty());
    EXPECT_EQ(NBETest::readFile(kept->folder + QStringLiteral("/x.css")), "up");
    EXPECT_EQ(NBETest::readFile(kept->folder + QStringLiteral("/y.css")), "relative");
    EXPECT_EQ(NBETest::readFile(kept->folder + QStringLiteral("/z.css")), "mixed");
    EXPECT_EQ(everything(dir.path()), QStringList{QStringLiteral("a")});
    EXPECT_EQ(everything(dir.filePath(QStringLiteral("a"))), QStringList{QStringLiteral("b")});
}
