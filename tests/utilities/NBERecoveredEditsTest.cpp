#include "NBERecoveredEdits.h"
#include "NBETestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <QStandardPaths>

#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

QStringList everything(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

// Runs `make` in a child process as the ordinary user nobody (uid and gid
// 65534), so what it makes belongs to someone else even when the test runs
// as root. Plain system calls only: the child of a threaded program.
bool asAnotherUser(const std::function<bool()> &make)
{
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setresgid(65534, 65534, 65534) != 0 || ::setresuid(65534, 65534, 65534) != 0)
            ::_exit(2);
        ::_exit(make() ? 0 : 1);
    }
    int status = 0;
    return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

// A copy as `keep` leaves it, with one text, made by the child.
bool plantCopy(const QByteArray &place, mode_t mode)
{
    const QByteArray copy = place + "/2026-01-01 00.00.00 pid 1";
    if (::mkdir(place.constData(), mode) == 0) {
        if (::chmod(place.constData(), mode) != 0)
            return false;
    } else if (errno != EEXIST) {
        return false;
    }
    if (::mkdir(copy.constData(), 0755) != 0)
        return false;
    const int file = ::open((copy + "/planted.css").constData(), O_WRONLY | O_CREAT, 0644);
    return file >= 0 && ::write(file, "planted", 7) == 7 && ::close(file) == 0;
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

// The user's own folders come first: data, state, cache, each the
// application's own; the temporary folder, emptied at every start of the
// computer, is the last resort.
TEST(NBERecoveredEdits, TheUsersOwnFoldersComeBeforeTheTemporaryFolder)
{
    const QByteArray before = qgetenv("XDG_STATE_HOME");
    const QString state = QDir::home().filePath(QStringLiteral("elsewhere/state"));
    qputenv("XDG_STATE_HOME", QFile::encodeName(state));
    const QStringList places = NBERecoveredEdits::places();
    qunsetenv("XDG_STATE_HOME");
    const QStringList byDefault = NBERecoveredEdits::places();
    qputenv("XDG_STATE_HOME", before);

    const QString within = QStringLiteral("/Nabri/Nabri Editor/Recovered Edits");
    const QString temporary =
        QDir::temp().filePath(QStringLiteral("Nabri Editor Recovered Edits %1").arg(::getuid()));
    EXPECT_EQ(places, QStringList({NBERecoveredEdits::folder(), state + within,
                                   QStandardPaths::writableLocation(QStandardPaths::CacheLocation) +
                                       QStringLiteral("/Recovered Edits"),
                                   temporary}));
    ASSERT_EQ(byDefault.size(), 4);
    EXPECT_EQ(byDefault[1], QDir::homePath() + QStringLiteral("/.local/state") + within);
    EXPECT_TRUE(NBERecoveredEdits::folder().endsWith(within));

    // A copy is in the temporary folder only when it went to the last place.
    const QList<NBEUnsavedText> texts{{QStringLiteral("/site/a.css"), "a"}};
    const auto inData = NBERecoveredEdits::keep(texts, {places[0]});
    const auto inTemporary = NBERecoveredEdits::keep(texts, {temporary});
    ASSERT_TRUE(inData && inTemporary);
    EXPECT_FALSE(NBERecoveredEdits::isInTemporaryFolder(inData->folder));
    EXPECT_TRUE(NBERecoveredEdits::isInTemporaryFolder(inTemporary->folder));
    NBERecoveredEdits::discard(inData->folder);
    NBERecoveredEdits::discard(inTemporary->folder);
}

// In a shared folder another user can make a place's folder first, or a
// copy inside a place of ours that others could write: neither is
// announced, and the place still takes this user's copy.
TEST(NBERecoveredEdits, AnotherUsersFolderIsNeitherAnnouncedNorInTheWay)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root can make a folder owned by another user";
    // The test's own temporary folder is closed to others: the system's is not.
    QTemporaryDir dir(QStringLiteral("/tmp/nbe-shared-XXXXXX"));
    ASSERT_TRUE(dir.isValid());
    const QString shared = dir.path();
    ASSERT_EQ(::chmod(QFile::encodeName(shared).constData(), 01777), 0);
    const QString foreign = shared + QStringLiteral("/Recovered Edits");
    const QString open = shared + QStringLiteral("/Open Place");
    ASSERT_EQ(::mkdir(QFile::encodeName(open).constData(), 0777), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(open).constData(), 0777), 0);
    ASSERT_TRUE(asAnotherUser([&] {
        return plantCopy(QFile::encodeName(foreign), 0755) &&
               // A stand-in's name, taken before this user needs one.
               ::mkdir(QFile::encodeName(foreign + QStringLiteral(" AAAAAA")).constData(), 0755) ==
                   0 &&
               plantCopy(QFile::encodeName(open), 0777);
    }));

    EXPECT_EQ(NBERecoveredEdits::unannounced({foreign, open}), QList<NBEKeptEdits>());

    const QList<NBEUnsavedText> texts{{QStringLiteral("/site/a.css"), "mine"}};
    for (const QString &place : {foreign, open}) {
        const auto kept = NBERecoveredEdits::keep(texts, {place});
        ASSERT_TRUE(kept.has_value()) << kept.error().description.toStdString();
        EXPECT_EQ(NBETest::readFile(kept->folder + QStringLiteral("/site/a.css")), "mine");
        const QList<NBEKeptEdits> mine{{kept->folder, {}, {}}};
        EXPECT_EQ(NBERecoveredEdits::unannounced({place}), mine);
        struct stat info = {};
        ASSERT_EQ(
            ::stat(QFile::encodeName(QFileInfo(kept->folder).absolutePath()).constData(), &info),
            0);
        EXPECT_EQ(info.st_uid, ::geteuid());
        EXPECT_EQ(info.st_mode & 07777, 0700u);
    }
    // Nothing of the other user's was changed.
    EXPECT_EQ(NBETest::readFile(foreign + QStringLiteral("/2026-01-01 00.00.00 pid 1/planted.css")),
              "planted");
}

namespace {

// Runs this test program from `program` as another process that runs
// `test` (one of the stand-ins below), reading `input`; -1 when it couldn't
// start.
pid_t runAs(const QString &program, const char *test, int input = -1)
{
    const QByteArray path = QFile::encodeName(program);
    const QByteArray filter = QByteArray("--gtest_filter=NBERecoveredEdits.") + test;
    const pid_t child = ::fork();
    if (child == 0) {
        if (input >= 0)
            ::dup2(input, STDIN_FILENO);
        ::execl(path.constData(), path.constData(), filter.constData(),
                "--gtest_also_run_disabled_tests", static_cast<char *>(nullptr));
        ::_exit(127);
    }
    return child;
}

QString programOf(pid_t pid)
{
    return QFileInfo(QStringLiteral("/proc/%1/exe").arg(pid)).symLinkTarget();
}

} // namespace

// Stands for an editor that still asks about the edits it kept, until its
// input ends.
TEST(NBERecoveredEdits, DISABLED_StandsForAnEditorThatStillAsks)
{
    char byte;
    while (::read(STDIN_FILENO, &byte, 1) > 0) {
    }
}

// Stands for an editor started meanwhile: it finds nothing to announce in
// the place it is given.
TEST(NBERecoveredEdits, DISABLED_StandsForAnEditorStartedMeanwhile)
{
    EXPECT_TRUE(NBERecoveredEdits::unannounced({qEnvironmentVariable("NBE_TEST_PLACE")}).isEmpty());
}

// An update replaces the editor's program while an editor that kept a copy
// still asks about it: an editor started from the new program leaves that
// copy to it too.
TEST(NBERecoveredEdits, ACopyWhoseEditorWasUpdatedMeanwhileIsLeftToIt)
{
    QTemporaryDir dir;
    const QString program = dir.filePath(QStringLiteral("editor"));
    const QString self = programOf(::getpid());
    ASSERT_TRUE(QFile::copy(self, program));
    int answer[2];
    ASSERT_EQ(::pipe2(answer, O_CLOEXEC), 0);
    const pid_t asking = runAs(program, "DISABLED_StandsForAnEditorThatStillAsks", answer[0]);
    ::close(answer[0]);
    ASSERT_GT(asking, 0);
    ASSERT_TRUE(NBETest::waitUntil([&] { return programOf(asking) == program; }));
    // The update: a new program in the old one's place.
    ASSERT_TRUE(QFile::copy(self, program + QStringLiteral(".new")));
    ASSERT_EQ(::rename(QFile::encodeName(program + QStringLiteral(".new")).constData(),
                       QFile::encodeName(program).constData()),
              0);

    const QString place = dir.filePath(QStringLiteral("place"));
    const auto kept =
        NBERecoveredEdits::keep({{QStringLiteral("/home/me/site/a.css"), "one"}}, {place});
    ASSERT_TRUE(kept.has_value()) << kept.error().description.toStdString();
    const QFileInfo info(kept->folder);
    QString name = info.fileName();
    name.replace(QStringLiteral(" pid %1").arg(::getpid()), QStringLiteral(" pid %1").arg(asking));
    ASSERT_TRUE(QDir().rename(kept->folder, info.dir().filePath(name)));
    ASSERT_TRUE(
        QFile::rename(info.dir().filePath(u'.' + info.fileName() + QStringLiteral(".expected")),
                      info.dir().filePath(u'.' + name + QStringLiteral(".expected"))));

    qputenv("NBE_TEST_PLACE", QFile::encodeName(place));
    const pid_t started = runAs(program, "DISABLED_StandsForAnEditorStartedMeanwhile");
    ASSERT_GT(started, 0);
    int status = -1;
    ::waitpid(started, &status, 0);
    // The question answered: the first editor ends as editors do.
    ::close(answer[1]);
    ::waitpid(asking, nullptr, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
}

// Another editor that kept a copy and still runs (it asks about its edits)
// settles it itself; a new editor announces it only once that one is gone,
// so a kill of the first never hides the copy.
TEST(NBERecoveredEdits, ACopyWhoseEditorStillRunsIsLeftToIt)
{
    QTemporaryDir dir;
    const auto kept =
        NBERecoveredEdits::keep({{QStringLiteral("/home/me/site/a.css"), "one"}}, {dir.path()});
    ASSERT_TRUE(kept.has_value()) << kept.error().description.toStdString();
    // The same program, standing for the other editor.
    const pid_t other = ::fork();
    ASSERT_GE(other, 0);
    if (other == 0) {
        ::pause();
        ::_exit(0);
    }
    const QFileInfo info(kept->folder);
    QString name = info.fileName();
    name.replace(QStringLiteral(" pid %1").arg(::getpid()), QStringLiteral(" pid %1").arg(other));
    const QString theirs = info.dir().filePath(name);
    ASSERT_TRUE(QDir().rename(kept->folder, theirs));
    ASSERT_TRUE(
        QFile::rename(info.dir().filePath(u'.' + info.fileName() + QStringLiteral(".expected")),
                      info.dir().filePath(u'.' + name + QStringLiteral(".expected"))));

    EXPECT_TRUE(NBERecoveredEdits::unannounced({dir.path()}).isEmpty());
    ::kill(other, SIGKILL);
    ::waitpid(other, nullptr, 0);
    const QList<NBEKeptEdits> orphaned{{theirs, {}, {}}};
    EXPECT_EQ(NBERecoveredEdits::unannounced({dir.path()}), orphaned);
}
