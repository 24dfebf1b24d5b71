// Every way the editor writes a file, against every fault a file or its
// folder can have. Each case ends as asked (the file holds the tab's text)
// or refused with a sentence, and no file the user didn't ask to change is
// changed. The writing part runs as an ordinary user, so permissions bite
// where the tests run as root too.
#include "NBERecoveredEdits.h"
#include "NBEReplaceFile.h"
#include "NBEWorkspaceFixture.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

namespace {

enum class Path {
    Save,
    AutoSave,
    SaveAtQuit,
    FormatOnSave,
    Overwrite,
    Reload,
    HunkFlush,
    Rename,
    Move,
};
enum class Fault {
    ReadOnly,
    Unreadable,
    ReplacedByAnotherOwner,
    ChangedOnDisk,
    FolderUnwritable,
    FullDisk,
    LongName,
    Symlink,
    Pipe,
    // Shared with another user through an access list.
    AccessList,
    KilledMidWrite,
};

// How a case ends.
enum class End {
    // The file holds the tab's text, its owner and mode as they were.
    Written,
    // Nothing changed on disk, and a sentence says why.
    Refused,
    // The tab shows what the file holds; nothing changed on disk.
    Reloaded,
    // The item has its new name or place, and its content.
    Renamed,
    // The writer was killed: the file as it was, nothing left beside it.
    Intact,
};

const char *name(Path path)
{
    static const char *names[] = {"Save",   "AutoSave",  "SaveAtQuit", "FormatOnSave", "Overwrite",
                                  "Reload", "HunkFlush", "Rename",     "Move"};
    return names[int(path)];
}

const char *name(Fault fault)
{
    static const char *names[] = {"ReadOnly",      "Unreadable",       "ReplacedByAnotherOwner",
                                  "ChangedOnDisk", "FolderUnwritable", "FullDisk",
                                  "LongName",      "Symlink",          "Pipe",
                                  "AccessList",    "KilledMidWrite"};
    return names[int(fault)];
}

// What each case must come to.
std::optional<End> expected(Path path, Fault fault)
{
    if (fault == Fault::KilledMidWrite) {
        // Only the paths that write a large text can be killed in the write
        // (formatting one would take long); the others have no case.
        if (path == Path::Reload || path == Path::Rename || path == Path::Move ||
            path == Path::FormatOnSave)
            return std::nullopt;
        return End::Intact;
    }
    if (path == Path::Rename || path == Path::Move)
        return fault == Fault::FolderUnwritable ? End::Refused : End::Renamed;
    if (fault == Fault::LongName || fault == Fault::Symlink || fault == Fault::AccessList)
        return End::Written;
    if (fault == Fault::ChangedOnDisk && path == Path::Overwrite)
        return End::Written;
    if (fault == Fault::ChangedOnDisk && path == Path::Reload)
        return End::Reloaded;
    return End::Refused;
}

struct Case
{
    Path path;
    Fault fault;
};

void PrintTo(Fault fault, std::ostream *out)
{
    *out << name(fault);
}

void PrintTo(const Case &c, std::ostream *out)
{
    *out << name(c.path) << " with " << name(c.fault);
}

std::string caseName(const ::testing::TestParamInfo<Case> &info)
{
    return std::string(name(info.param.path)) + "_" + name(info.param.fault);
}

// What a file is: its identity and, where it can be read, its bytes.
QByteArray fingerprint(const QString &file)
{
    struct stat info = {};
    if (::lstat(QFile::encodeName(file).constData(), &info) != 0)
        return "gone";
    // A folder's time and size follow its entries; those are compared one
    // by one.
    if (S_ISDIR(info.st_mode))
        return "folder " + QByteArray::number(quint64(info.st_ino)) + ' ' +
               QByteArray::number(info.st_mode, 8) + ' ' + QByteArray::number(info.st_uid);
    QByteArray print = QByteArray::number(quint64(info.st_ino)) + ' ' +
                       QByteArray::number(qint64(info.st_size)) + ' ' +
                       QByteArray::number(info.st_mode, 8) + ' ' + QByteArray::number(info.st_uid) +
                       ' ' + QByteArray::number(qint64(info.st_mtim.tv_sec)) + '.' +
                       QByteArray::number(qint64(info.st_mtim.tv_nsec));
    QFile bytes(file);
    if (S_ISREG(info.st_mode) && bytes.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        print +=
            ' ' + QCryptographicHash::hash(bytes.readAll(), QCryptographicHash::Sha256).toHex();
    return print;
}

// Every item under `folder`, hidden ones too, by relative path.
QMap<QString, QByteArray> fingerprints(const QString &folder)
{
    QMap<QString, QByteArray> prints;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString item = it.next();
        prints.insert(QDir(folder).relativeFilePath(item), fingerprint(item));
    }
    return prints;
}

// The items that differ between two sets of fingerprints, by name.
std::string differences(const QMap<QString, QByteArray> &before,
                        const QMap<QString, QByteArray> &after)
{
    QStringList names;
    for (auto it = before.cbegin(); it != before.cend(); ++it)
        if (after.value(it.key(), "absent") != it.value())
            names.append(it.key());
    for (auto it = after.cbegin(); it != after.cend(); ++it)
        if (!before.contains(it.key()))
            names.append(it.key() + QStringLiteral(" (new)"));
    return names.join(QStringLiteral(", ")).toStdString();
}

class NBEWritePathTable : public NBEWorkspaceFixture, public ::testing::WithParamInterface<Case>
{
protected:
    const QByteArray onDisk = "a { color: red; }\n";
    // The tab's text: already formatted, so every path writes the same.
    const QString typed = QStringLiteral("b {\n    color: blue;\n}\n");

    Path writePath() const { return GetParam().path; }
    Fault fault() const { return GetParam().fault; }

    // The file the tab shows, and where its bytes are.
    QString fileName() const
    {
        if (fault() == Fault::LongName)
            return QString(251, QChar(u'p')) + QStringLiteral(".css");
        return QStringLiteral("page.css");
    }
    QString storedAt() const
    {
        return fault() == Fault::Symlink ? QStringLiteral("real/page.css") : fileName();
    }
    QString staging() const { return dir.filePath(QStringLiteral("staging")); }
    // The file's access list as prepared, or "absent".
    QByteArray accessList = "absent";

    // As the project was before the tab opened.
    void prepare()
    {
        write(storedAt(), onDisk);
        write(QStringLiteral("other.css"), "c {}\n");
        write(QStringLiteral("real/kept.txt"), "kept\n");
        QDir().mkpath(path(QStringLiteral("moved")));
        if (fault() == Fault::Symlink) {
            ASSERT_TRUE(QFile::link(path(storedAt()), path(fileName())));
        }
        if (fault() == Fault::AccessList) {
            ASSERT_TRUE(NBETest::setAttribute(path(storedAt()), NBETest::accessListAttribute,
                                              NBETest::sharedWithTheWebServer()));
            accessList = NBETest::attribute(path(storedAt()), NBETest::accessListAttribute);
        }
        // Made by another owner beside the project, ready to be put in place.
        QDir().mkpath(staging());
        NBETest::writeFile(staging() + QStringLiteral("/page.css"), "root's\n");
        NBETest::giveToNobody(dir.path());
        if (fault() == Fault::ReplacedByAnotherOwner) {
            const QByteArray theirs = QFile::encodeName(staging() + QStringLiteral("/page.css"));
            ASSERT_EQ(::chown(theirs.constData(), 0, 0), 0);
            ASSERT_EQ(::chmod(theirs.constData(), 0600), 0);
        }
        if (fault() == Fault::ReadOnly) {
            ASSERT_EQ(::chmod(QFile::encodeName(path(storedAt())).constData(), 0444), 0);
        }
        settings->setBool(QStringLiteral("nbe.formatOnSave"), writePath() == Path::FormatOnSave);
        desktop->outsideAnswer = writePath() == Path::Overwrite ? NBEOutsideChangeChoice::Overwrite
                                 : writePath() == Path::Reload
                                     ? NBEOutsideChangeChoice::ReloadFromDisk
                                     : NBEOutsideChangeChoice::Unanswered;
        desktop->readOnlyAnswer = NBEOutsideChangeChoice::Unanswered;
        desktop->answer = NBEUnsavedChangesChoice::Save;
    }

    // What another program (or the disk) does once the tab has the file.
    void applyFault(NBETest::SmallDisk *disk)
    {
        const QString file = path(fileName());
        const QByteArray native = QFile::encodeName(file);
        switch (fault()) {
        case Fault::Unreadable: {
            QFile appended(file);
            ASSERT_TRUE(appended.open(QIODevice::Append));
            appended.write("/* theirs */\n");
            appended.close();
            ASSERT_EQ(::chmod(native.constData(), 0), 0);
            break;
        }
        case Fault::ReplacedByAnotherOwner:
            ASSERT_EQ(
                ::rename(QFile::encodeName(staging() + QStringLiteral("/page.css")).constData(),
                         native.constData()),
                0);
            break;
        case Fault::ChangedOnDisk:
            NBETest::writeFile(file, "a { color: green; }\n");
            break;
        case Fault::FolderUnwritable:
            ASSERT_EQ(::chmod(QFile::encodeName(root).constData(), 0555), 0);
            break;
        case Fault::FullDisk:
            disk->fill();
            break;
        case Fault::Pipe:
            ASSERT_EQ(::unlink(native.constData()), 0);
            ASSERT_EQ(::mkfifo(native.constData(), 0644), 0);
            break;
        default:
            break;
        }
    }

    // Runs the path; the tab is open with `typed` in it.
    void act(const QUuid &id)
    {
        switch (writePath()) {
        case Path::Save:
        case Path::FormatOnSave:
        case Path::Overwrite:
        case Path::Reload:
            saveAndWait(id, true);
            break;
        case Path::AutoSave:
            saveAndWait(id, false);
            break;
        case Path::SaveAtQuit:
            NBETest::await(model->tabs().settleUnsavedEdits());
            break;
        case Path::HunkFlush:
            NBETest::await(model->saving().flushTab(id));
            break;
        case Path::Move:
            NBETest::await(model->files().moveItem(url(fileName()), url(QStringLiteral("moved"))));
            break;
        case Path::Rename:
            NBETest::await(
                model->files().renameItem(url(fileName()), QStringLiteral("renamed.css")));
            break;
        }
    }

    // Opens the file, types, lets the fault happen, runs the path and checks
    // how it ended. Runs as the ordinary user.
    // What the path said: a notice for an automatic save, an error
    // otherwise.
    std::optional<QString> said() const
    {
        return writePath() == Path::AutoSave ? model->notice() : model->errorMessage();
    }

    void runCase(NBETest::SmallDisk *disk, End end)
    {
        remakeModel();
        load();
        const QUuid id = open(fileName()).id;
        model->tabs().updateContent(typed, id);
        applyFault(disk);
        const QMap<QString, QByteArray> before = fingerprints(root);
        const QByteArray stagingBefore = fingerprint(staging());
        model->clearErrorMessage();
        model->clearNotice();
        act(id);
        if (fault() == Fault::FullDisk)
            disk->empty();
        if (fault() == Fault::FolderUnwritable)
            ::chmod(QFile::encodeName(root).constData(), 0755);
        QMap<QString, QByteArray> after = fingerprints(root);
        after.remove(QStringLiteral(".filler"));
        QMap<QString, QByteArray> unchanged = before;
        unchanged.remove(QStringLiteral(".filler"));

        const QString shown = model->tab(id) ? model->tab(id)->sourceFile.content() : QString();
        switch (end) {
        case End::Written: {
            EXPECT_EQ(read(storedAt()), typed.toUtf8());
            EXPECT_FALSE(said().has_value()) << said()->toStdString();
            EXPECT_FALSE(model->tab(id)->sourceFile.isDirty());
            struct stat info = {};
            ::lstat(QFile::encodeName(path(fileName())).constData(), &info);
            EXPECT_EQ(S_ISLNK(info.st_mode), fault() == Fault::Symlink);
            EXPECT_EQ(NBETest::attribute(path(storedAt()), NBETest::accessListAttribute),
                      accessList);
            unchanged.remove(storedAt());
            after.remove(storedAt());
            break;
        }
        case End::Refused:
            ASSERT_TRUE(said().has_value());
            EXPECT_TRUE(said()->endsWith(u'.')) << said()->toStdString();
            // An automatic save comes while the user types: never an alert.
            if (writePath() == Path::AutoSave) {
                EXPECT_FALSE(model->errorMessage().has_value());
            }
            EXPECT_EQ(shown, typed);
            break;
        case End::Reloaded:
            EXPECT_FALSE(said().has_value()) << said()->toStdString();
            EXPECT_EQ(shown.toUtf8(), read(storedAt()));
            break;
        case End::Renamed:
            EXPECT_FALSE(said().has_value()) << said()->toStdString();
            EXPECT_EQ(after.take(writePath() == Path::Move ? QStringLiteral("moved/") + fileName()
                                                           : QStringLiteral("renamed.css")),
                      unchanged.take(fileName()));
            break;
        case End::Intact:
            break;
        }
        EXPECT_EQ(differences(unchanged, after), "");
        EXPECT_EQ(fingerprint(staging()), stagingBefore);
    }
};

} // namespace

TEST_P(NBEWritePathTable, EndsAsAskedOrRefusedWithASentence)
{
    const std::optional<End> end = expected(writePath(), fault());
    ASSERT_TRUE(end.has_value());
    if (fault() == Fault::ReplacedByAnotherOwner && ::geteuid() != 0)
        GTEST_SKIP() << "a file of another owner needs root to make";
    std::unique_ptr<NBETest::SmallDisk> disk;
    if (fault() == Fault::FullDisk) {
        disk = std::make_unique<NBETest::SmallDisk>(root, 256 * 1024);
        if (!disk->isMounted())
            GTEST_SKIP() << disk->skipReason().toStdString();
    }
    prepare();
    if (HasFatalFailure())
        return;

    if (fault() == Fault::KilledMidWrite) {
        const QMap<QString, QByteArray> before = fingerprints(root);
        const QString large = QString(64 << 20, QChar(u'x'));
        const bool caught = NBETest::killWhileWriting(root, [&] {
            remakeModel();
            load();
            const QUuid id = open(fileName()).id;
            model->tabs().updateContent(large, id);
            act(id);
        });
        if (!caught)
            GTEST_SKIP() << "the write ended before it could be killed";
        EXPECT_EQ(differences(before, fingerprints(root)), "");
        return;
    }
    NBETest::asNobody([&] { runCase(disk.get(), *end); });
}

namespace {

std::vector<Case> everyCase()
{
    std::vector<Case> cases;
    for (int p = 0; p <= int(Path::Move); ++p)
        for (int f = 0; f <= int(Fault::KilledMidWrite); ++f)
            if (expected(Path(p), Fault(f)))
                cases.push_back({Path(p), Fault(f)});
    return cases;
}

} // namespace

INSTANTIATE_TEST_SUITE_P(EveryPathAndFault, NBEWritePathTable, ::testing::ValuesIn(everyCase()),
                         caseName);

namespace {

// The settings store writes its own file through the same replacement: the
// faults that can reach it end as asked or refused with a sentence too.
class NBESettingsWriteTable : public ::testing::TestWithParam<Fault>
{
protected:
    QTemporaryDir dir;
    QString folder() const { return dir.filePath(QStringLiteral("config")); }
    QString file() const { return folder() + QStringLiteral("/settings.json"); }
    QString real() const { return dir.filePath(QStringLiteral("real/settings.json")); }

    // What a write leaves beside the file when its writer dies holding the
    // lock: stale from then on, and taken over by the next writer.
    static QMap<QString, QByteArray> withoutLocks(QMap<QString, QByteArray> prints)
    {
        prints.removeIf([](const auto &item) { return item.key().endsWith(u".lock"); });
        return prints;
    }
};

} // namespace

TEST_P(NBESettingsWriteTable, EndsAsAskedOrRefusedWithASentence)
{
    QDir().mkpath(folder());
    std::unique_ptr<NBETest::SmallDisk> disk;
    if (GetParam() == Fault::FullDisk) {
        disk = std::make_unique<NBETest::SmallDisk>(folder(), 256 * 1024);
        if (!disk->isMounted())
            GTEST_SKIP() << disk->skipReason().toStdString();
    }
    if (GetParam() == Fault::Symlink) {
        QDir().mkpath(QFileInfo(real()).absolutePath());
        NBETest::writeFile(real(), {});
        ASSERT_TRUE(QFile::link(real(), file()));
    }
    ASSERT_TRUE(
        NBEDefaults(file()).setString(QStringLiteral("nbe.theme"), QStringLiteral("light")));
    NBETest::giveToNobody(dir.path());

    if (GetParam() == Fault::KilledMidWrite) {
        const QMap<QString, QByteArray> before = fingerprints(dir.path());
        // The lock beside the file is written first: the kill waits for the
        // settings' own bytes.
        const bool caught = NBETest::killWhileWriting(
            folder(),
            [&] {
                NBEDefaults(file()).setString(QStringLiteral("big"),
                                              QString(32 << 20, QChar(u'x')));
            },
            1 << 20);
        if (!caught)
            GTEST_SKIP() << "the write ended before it could be killed";
        EXPECT_EQ(differences(before, withoutLocks(fingerprints(dir.path()))), "");
        EXPECT_EQ(NBEDefaults(file()).stringValue(QStringLiteral("nbe.theme")),
                  QStringLiteral("light"));
        return;
    }
    NBETest::asNobody([&] {
        NBEDefaults store(file());
        QString said;
        QObject::connect(&store, &NBEDefaults::writeFailed,
                         [&](const QString &, const QString &sentence) { said = sentence; });
        const QByteArray native = QFile::encodeName(folder());
        if (GetParam() == Fault::FolderUnwritable) {
            ASSERT_EQ(::chmod(native.constData(), 0555), 0);
        }
        if (GetParam() == Fault::ReadOnly) {
            ASSERT_EQ(::chmod(QFile::encodeName(file()).constData(), 0444), 0);
        }
        if (GetParam() == Fault::FullDisk)
            disk->fill();
        QMap<QString, QByteArray> before = fingerprints(dir.path());
        const bool written = store.setString(QStringLiteral("nbe.theme"), QStringLiteral("dark"));
        if (GetParam() == Fault::FullDisk)
            disk->empty();
        QMap<QString, QByteArray> after = fingerprints(dir.path());
        if (GetParam() == Fault::FolderUnwritable)
            ::chmod(native.constData(), 0755);
        after.remove(QStringLiteral("config/.filler"));
        before.remove(QStringLiteral("config/.filler"));
        if (GetParam() == Fault::Symlink) {
            EXPECT_TRUE(written) << said.toStdString();
            EXPECT_EQ(NBEDefaults(file()).stringValue(QStringLiteral("nbe.theme")),
                      QStringLiteral("dark"));
            EXPECT_TRUE(QFileInfo(file()).isSymLink());
            after.remove(QStringLiteral("real/settings.json"));
            before.remove(QStringLiteral("real/settings.json"));
        } else {
            EXPECT_FALSE(written);
            EXPECT_TRUE(said.startsWith(QStringLiteral("The setting couldn't be saved: ")) &&
                        said.endsWith(u'.'))
                << said.toStdString();
            EXPECT_EQ(NBEDefaults(file()).stringValue(QStringLiteral("nbe.theme")),
                      QStringLiteral("light"));
        }
        EXPECT_EQ(differences(before, after), "");
    });
}

INSTANTIATE_TEST_SUITE_P(TheFaultsThatReachIt, NBESettingsWriteTable,
                         ::testing::Values(Fault::ReadOnly, Fault::FolderUnwritable,
                                           Fault::FullDisk, Fault::Symlink, Fault::KilledMidWrite),
                         [](const auto &info) { return std::string(name(info.param)); });

namespace {

// The copy of unsaved text kept when a session ends: each fault of its place
// sends the text to the next place (or a private one beside), whole, and
// changes nothing outside the copy; a kill leaves a copy that names what it
// lacks instead of passing a cut text off as whole.
class NBERecoveryCopyTable : public ::testing::TestWithParam<Fault>
{
protected:
    QTemporaryDir dir;
    QString first() const { return dir.filePath(QStringLiteral("data/nabri")); }
    QString second() const { return dir.filePath(QStringLiteral("state/nabri")); }
    QString elsewhere() const { return dir.filePath(QStringLiteral("elsewhere")); }
};

} // namespace

TEST_P(NBERecoveryCopyTable, KeepsTheWholeTextOrNamesWhatItLacks)
{
    QDir().mkpath(first());
    QDir().mkpath(second());
    QDir().mkpath(elsewhere());
    NBETest::writeFile(elsewhere() + QStringLiteral("/mine.txt"), "untouched");
    std::unique_ptr<NBETest::SmallDisk> disk;
    if (GetParam() == Fault::FullDisk) {
        disk = std::make_unique<NBETest::SmallDisk>(first(), 256 * 1024);
        if (!disk->isMounted())
            GTEST_SKIP() << disk->skipReason().toStdString();
    }
    const QByteArray native = QFile::encodeName(first());
    if (GetParam() == Fault::Symlink || GetParam() == Fault::Pipe) {
        ASSERT_TRUE(QDir(first()).removeRecursively());
        if (GetParam() == Fault::Symlink) {
            ASSERT_TRUE(QFile::link(elsewhere(), first()));
        } else {
            ASSERT_EQ(::mkfifo(native.constData(), 0600), 0);
        }
    }
    const QString path =
        GetParam() == Fault::LongName
            ? QStringLiteral("/home/me/site/") + QString(250, u'n') + QStringLiteral(".css")
            : QStringLiteral("/home/me/site/a.css");
    const QByteArray text = GetParam() == Fault::KilledMidWrite ? QByteArray(48 << 20, 'x')
                            : GetParam() == Fault::FullDisk     ? QByteArray(512 * 1024, 'y')
                                                                : QByteArray("body {}\n");
    // The copy is the user's own: a kill needs no other user.
    if (GetParam() == Fault::KilledMidWrite) {
        // The list of texts is written first: the kill waits for the text.
        if (!NBETest::killWhileWriting(
                first(),
                [&] {
                    (void)NBERecoveredEdits::keep({{path, text}}, {first()});
                },
                1 << 20))
            GTEST_SKIP() << "the copy ended before it could be killed";
        QDirIterator items(first(), QDir::AllEntries | QDir::Hidden | QDir::System,
                           QDirIterator::Subdirectories);
        while (items.hasNext()) {
            const QString item = items.next();
            EXPECT_FALSE(nbeIsSaveLeftoverName(QFile::encodeName(items.fileName()).constData()))
                << "the cut text is left at " << item.toStdString();
        }
        for (const NBEKeptEdits &copy : NBERecoveredEdits::unannounced({first()})) {
            const QString kept = copy.folder + NBERecoveredEdits::pathInCopy(path);
            if (!copy.missing.contains(path)) {
                EXPECT_EQ(NBETest::readFile(kept).size(), text.size()) << "a cut copy is whole";
            }
        }
        return;
    }
    NBETest::giveToNobody(dir.path());
    const QMap<QString, QByteArray> outside = fingerprints(elsewhere());

    NBETest::asNobody([&] {
        // A place of our own is made private and used; one that can't be
        // made is passed over.
        const QByteArray above = QFile::encodeName(QFileInfo(first()).absolutePath());
        if (GetParam() == Fault::FolderUnwritable) {
            ASSERT_TRUE(QDir(first()).removeRecursively());
            ASSERT_EQ(::chmod(above.constData(), 0555), 0);
        }
        const auto kept = NBERecoveredEdits::keep({{path, text}}, {first(), second()});
        if (GetParam() == Fault::FolderUnwritable)
            ::chmod(above.constData(), 0755);
        ASSERT_TRUE(kept.has_value()) << kept.error().description.toStdString();
        EXPECT_TRUE(kept->missing.isEmpty());
        EXPECT_EQ(NBETest::readFile(kept->folder + NBERecoveredEdits::pathInCopy(path)), text);
        const bool movedOn = GetParam() == Fault::FolderUnwritable || GetParam() == Fault::FullDisk;
        EXPECT_EQ(kept->folder.startsWith(second() + u'/'), movedOn) << kept->folder.toStdString();
        EXPECT_FALSE(QFileInfo(kept->folder).canonicalFilePath().startsWith(elsewhere()));
    });
    EXPECT_EQ(differences(outside, fingerprints(elsewhere())), "");
}

INSTANTIATE_TEST_SUITE_P(TheFaultsThatReachIt, NBERecoveryCopyTable,
                         ::testing::Values(Fault::FolderUnwritable, Fault::FullDisk,
                                           Fault::LongName, Fault::Symlink, Fault::Pipe,
                                           Fault::KilledMidWrite),
                         [](const auto &info) { return std::string(name(info.param)); });
