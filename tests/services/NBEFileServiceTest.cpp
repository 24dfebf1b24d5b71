#include "NBEFileService.h"
#include "NBETestSupport.h"
#include "NBETextBuffer.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

QStringList childNames(const NBEFileTreeNode &node)
{
    QStringList names;
    for (const NBEFileTreeNode &child : node.children)
        names.append(child.name);
    return names;
}

const NBEFileTreeNode *child(const NBEFileTreeNode &node, const QString &name)
{
    for (const NBEFileTreeNode &c : node.children) {
        if (c.name == name)
            return &c;
    }
    return nullptr;
}

QString S(const char *text)
{
    return QString::fromUtf8(text);
}

class FileServiceTest : public ::testing::Test
{
protected:
    QString path(const char *relative) const { return dir.filePath(S(relative)); }
    QUrl url(const char *relative) const { return QUrl::fromLocalFile(path(relative)); }

    QTemporaryDir dir;
    NBEFileService service;
};

} // namespace

TEST_F(FileServiceTest, TreeOrdersFoldersFirstThenNamesLikeAFileBrowser)
{
    for (const char *name : {"b.txt", "A.txt", "file10", "file2", "file1", "File3"})
        NBETest::writeFile(path(name), "x");
    QDir(dir.path()).mkdir(S("z"));
    QDir(dir.path()).mkdir(S("Y"));

    const auto tree = NBETest::await(service.buildFileTree(QUrl::fromLocalFile(dir.path())));
    ASSERT_TRUE(tree.has_value()) << tree.error().description.toStdString();
    EXPECT_EQ(childNames(*tree), (QStringList{S("Y"), S("z"), S("A.txt"), S("b.txt"), S("file1"),
                                              S("file2"), S("File3"), S("file10")}));
    EXPECT_TRUE(tree->isDirectory);
    EXPECT_FALSE(tree->isExpanded);
    EXPECT_EQ(tree->name, QDir(dir.path()).dirName());
    EXPECT_TRUE(child(*tree, S("Y"))->isDirectory);
    EXPECT_FALSE(child(*tree, S("b.txt"))->isDirectory);
}

TEST(FileTreeNode, NameOrderIsNumericAndCaseInsensitive)
{
    struct Row
    {
        const char *a;
        const char *b;
        int expected;
    };
    const Row rows[] = {
        {"file2", "file10", -1}, {"file10", "file2", 1}, {"a", "B", -1},
        {"B", "a", 1},           {"x007", "x7", 0},      {"v1.10", "v1.9", 1},
        {"img", "img2", -1},     {"", "a", -1},          {"Zeta", "alpha", 1},
    };
    for (const Row &row : rows) {
        EXPECT_EQ(NBEFileTreeNode::compareNames(S(row.a), S(row.b)), row.expected)
            << row.a << " vs " << row.b;
    }
}

TEST_F(FileServiceTest, TreeKeepsGivenOrderForNamesThatCompareEqual)
{
    QList<NBEFileTreeNode> nodes;
    for (const char *name : {"x07", "x7", "x007"})
        nodes.append(NBEFileTreeNode(url(name), false));
    const NBEFileTreeNode root(QUrl::fromLocalFile(dir.path()), true, nodes);
    EXPECT_EQ(childNames(root), (QStringList{S("x07"), S("x7"), S("x007")}));
}

TEST_F(FileServiceTest, TreeSkipsHiddenItemsAtEveryDepthAndTreatsLinksAsItems)
{
    NBETest::writeFile(path(".env"), "SECRET=1");
    NBETest::writeFile(path(".git/config"), "x");
    NBETest::writeFile(path("src/.hidden.js"), "x");
    NBETest::writeFile(path("src/app.js"), "x");
    NBETest::writeFile(path("src/deep/.cache/file"), "x");
    NBETest::writeFile(path("App.bundle/Contents/Info.plist"), "x");
    ASSERT_EQ(::symlink(QFile::encodeName(path("src")).constData(),
                        QFile::encodeName(path("link")).constData()),
              0);

    const auto tree = NBEFileService::buildFileTreeNow(dir.path());
    ASSERT_TRUE(tree.has_value());
    EXPECT_EQ(childNames(*tree), (QStringList{S("App.bundle"), S("src"), S("link")}));
    const NBEFileTreeNode *src = child(*tree, S("src"));
    EXPECT_EQ(childNames(*src), (QStringList{S("deep"), S("app.js")}));
    EXPECT_TRUE(child(*src, S("deep"))->children.isEmpty());
    // A link to a folder is an item of its own and is not walked (no cycles).
    const NBEFileTreeNode *link = child(*tree, S("link"));
    EXPECT_FALSE(link->isDirectory);
    EXPECT_TRUE(link->children.isEmpty());
    // Packages are ordinary folders.
    EXPECT_EQ(childNames(*child(*tree, S("App.bundle"))), QStringList{S("Contents")});
}

// The root's subfolders are read side by side; every one comes back whole,
// once, in tree order, whatever the number of them against the threads.
TEST_F(FileServiceTest, ManySubfoldersOfTheRootAreEachReadWhole)
{
    const int folders = QThread::idealThreadCount() * 3 + 1;
    for (int i = 0; i < folders; ++i) {
        for (int j = 0; j <= i % 5; ++j)
            NBETest::writeFile(
                dir.filePath(QStringLiteral("f%1/inner%2/page%2.html").arg(i).arg(j)), "x");
        NBETest::writeFile(dir.filePath(QStringLiteral("f%1/top.txt").arg(i)), "x");
    }
    NBETest::writeFile(path("root.txt"), "x");

    const auto tree = NBEFileService::buildFileTreeNow(dir.path());
    ASSERT_TRUE(tree.has_value());
    QStringList expected;
    for (int i = 0; i < folders; ++i)
        expected << QStringLiteral("f%1").arg(i);
    expected << S("root.txt");
    EXPECT_EQ(childNames(*tree), expected);
    for (int i = 0; i < folders; ++i) {
        const NBEFileTreeNode *folder = child(*tree, QStringLiteral("f%1").arg(i));
        ASSERT_NE(folder, nullptr);
        ASSERT_EQ(folder->children.size(), i % 5 + 2) << i;
        EXPECT_EQ(folder->children.last().name, S("top.txt"));
        for (int j = 0; j <= i % 5; ++j)
            EXPECT_EQ(childNames(folder->children.at(j)),
                      QStringList{QStringLiteral("page%1.html").arg(j)});
    }
}

TEST_F(FileServiceTest, EmptyOrHiddenOnlyFolderHasNoChildrenAndRebuildsGiveNewIds)
{
    NBETest::writeFile(path(".only-hidden"), "x");
    const auto first = NBEFileService::buildFileTreeNow(dir.path());
    const auto second = NBEFileService::buildFileTreeNow(dir.path());
    ASSERT_TRUE(first && second);
    EXPECT_TRUE(first->children.isEmpty());
    EXPECT_NE(first->id, second->id);
    EXPECT_NE(*first, *second);

    QList<NBEFileTreeNode> nodes;
    for (int i = 0; i < 1000; ++i)
        nodes.append(NBEFileTreeNode(QUrl::fromLocalFile(dir.filePath(QString::number(i))), false));
    QSet<QUuid> ids;
    for (const NBEFileTreeNode &node : nodes) {
        EXPECT_EQ(node.id.version(), QUuid::Random);
        ids.insert(node.id);
    }
    EXPECT_EQ(ids.size(), 1000);
}

// A subfolder that can't be listed is kept as an unreadable node without
// children; the rest of the tree is read as usual.
TEST_F(FileServiceTest, UnreadableSubfolderIsLeftOutAndTheRestIsRead)
{
    NBETest::writeFile(path("ok/file.txt"), "x");
    if (::geteuid() != 0) {
        NBETest::writeFile(path("locked/inner/file.txt"), "x");
        ASSERT_TRUE(QFile::setPermissions(path("locked/inner"), {}));
        const auto tree = NBEFileService::buildFileTreeNow(dir.path());
        QFile::setPermissions(path("locked/inner"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        ASSERT_TRUE(tree.has_value());
        const auto unreadable = tree->unreadableFolders();
        ASSERT_EQ(unreadable.size(), 1);
        EXPECT_EQ(unreadable.first()->name, S("inner"));
        EXPECT_TRUE(unreadable.first()->children.isEmpty());
    }
    // Root isn't stopped by permissions; a path past the system's limit
    // stops every reader.
    ASSERT_TRUE(QDir().mkpath(path("deep")));
    ASSERT_TRUE(NBETest::makeFolderTooDeepToOpen(path("deep")));
    const auto tree = NBEFileService::buildFileTreeNow(dir.path());
    ASSERT_TRUE(tree.has_value());
    ASSERT_TRUE(child(*tree, S("ok")));
    EXPECT_EQ(childNames(*child(*tree, S("ok"))), QStringList{S("file.txt")});
    const auto unreadable = tree->unreadableFolders();
    ASSERT_FALSE(unreadable.isEmpty());
    EXPECT_TRUE(unreadable.last()->isDirectory);
    EXPECT_TRUE(unreadable.last()->children.isEmpty());
    EXPECT_EQ(unreadable.last()->readError, QString::fromLocal8Bit(std::strerror(ENAMETOOLONG)));

    // The root itself still fails the build.
    EXPECT_FALSE(NBEFileService::buildFileTreeNow(unreadable.last()->url.toLocalFile()));
}

TEST_F(FileServiceTest, MissingFolderFails)
{
    const auto tree = NBEFileService::buildFileTreeNow(path("nope"));
    ASSERT_FALSE(tree.has_value());
    EXPECT_FALSE(tree.error().description.isEmpty());
}

TEST_F(FileServiceTest, ReadAndWriteKeepEachLineEndingByteForByte)
{
    struct Row
    {
        const char *name;
        QByteArray bytes;
        NBELineEnding ending;
    };
    const Row rows[] = {
        {"lf.txt", "one\ntwo\n", NBELineEnding::LF},
        {"crlf.txt", "one\r\ntwo\r\n\r\nthree", NBELineEnding::CRLF},
        {"cr.txt", "one\rtwo\r", NBELineEnding::CR},
        {"none.txt", "no newline at all", NBELineEnding::LF},
        {"utf8.txt", "caf\xc3\xa9 \xf0\x9f\x98\x80\r\n", NBELineEnding::CRLF},
        {"bom.txt", "\xef\xbb\xbf<p>\n", NBELineEnding::LF},
        {"empty.txt", "", NBELineEnding::LF},
    };
    for (const Row &row : rows) {
        const QString file = path(row.name);
        NBETest::writeFile(file, row.bytes);
        const auto read = NBETest::await(service.readFile(QUrl::fromLocalFile(file)));
        ASSERT_TRUE(read.has_value()) << row.name;
        EXPECT_EQ(read->lineEnding, row.ending) << row.name;
        EXPECT_FALSE(read->text.contains(QLatin1Char('\r'))) << row.name;
        // The mark is beside the text, never in it.
        EXPECT_FALSE(read->text.contains(QChar(0xFEFF))) << row.name;
        EXPECT_EQ(read->byteOrderMark, row.bytes.startsWith("\xef\xbb\xbf")) << row.name;
        const auto written = NBETest::await(service.writeFile(
            read->text, QUrl::fromLocalFile(file), read->lineEnding, read->byteOrderMark));
        ASSERT_TRUE(written.has_value()) << row.name;
        EXPECT_EQ(NBETest::readFile(file), row.bytes) << row.name;
    }
}

// What a tab read is compared with the disk at save time: by size and time
// where they settle it, by the text where they can't.
TEST_F(FileServiceTest, DiskChangesAreFoundByTextNotByTouch)
{
    const auto setTime = [](const QString &file, const QDateTime &time) {
        QFile handle(file);
        ASSERT_TRUE(handle.open(QIODevice::ReadWrite));
        ASSERT_TRUE(handle.setFileTime(time, QFileDevice::FileModificationTime));
    };
    struct Row
    {
        const char *name;
        QByteArray bytes;
        std::function<void(const QString &)> change;
        bool knownMissing;
        NBEDiskChange expected;
    };
    const Row rows[] = {
        {"untouched", "a\nb\n", [](const QString &) {}, false, NBEDiskChange::None},
        {"touched", "a\nb\n",
         [&](const QString &f) { setTime(f, QDateTime::currentDateTime().addSecs(60)); }, false,
         NBEDiskChange::None},
        {"mixed endings", "a\r\nb\nc\r\n", [](const QString &) {}, false, NBEDiskChange::None},
        // The same text in another form: a save would turn it back.
        {"line ends converted", "a\r\nb\r\n",
         [](const QString &f) { NBETest::writeFile(f, "a\nb\n"); }, false, NBEDiskChange::Changed},
        {"mark removed", QByteArray("\xEF\xBB\xBF") + "a\n",
         [](const QString &f) { NBETest::writeFile(f, "a\n"); }, false, NBEDiskChange::Changed},
        {"rewritten", "a\nb\n", [](const QString &f) { NBETest::writeFile(f, "c\nd\ne\n"); }, false,
         NBEDiskChange::Changed},
        // A rewrite of the same size, its time put back (to the millisecond).
        {"same size, time set back", "a\nb\n",
         [&](const QString &f) {
             const QDateTime time = QFileInfo(f).lastModified();
             NBETest::writeFile(f, "x\ny\n");
             setTime(f, time);
         },
         false, NBEDiskChange::Changed},
        {"removed", "a", [](const QString &f) { QFile::remove(f); }, false,
         NBEDiskChange::Vanished},
        {"removed, known", "a", [](const QString &f) { QFile::remove(f); }, true,
         NBEDiskChange::None},
        {"back as known", "a", [](const QString &) {}, true, NBEDiskChange::None},
        {"back with other text", "a", [](const QString &f) { NBETest::writeFile(f, "b"); }, true,
         NBEDiskChange::Changed},
    };
    for (const Row &row : rows) {
        const QString file = path(row.name);
        NBETest::writeFile(file, row.bytes);
        const auto read = NBETest::await(service.readFile(QUrl::fromLocalFile(file)));
        ASSERT_TRUE(read && read->stamp) << row.name;
        row.change(file);
        EXPECT_EQ(NBETest::await(service.diskChange(QUrl::fromLocalFile(file),
                                                    {read->stamp, row.knownMissing})),
                  row.expected)
            << row.name;
    }

    // A checked write over a change writes nothing; its own write is no change.
    const QUrl file = url("checked.txt");
    NBETest::writeFile(path("checked.txt"), "one");
    const auto read = NBETest::await(service.readFile(file));
    NBETest::writeFile(path("checked.txt"), "two!");
    const auto refused = NBETest::await(service.writeFileChecked(S("mine"), file, NBELineEnding::LF,
                                                                 NBEDiskKnowledge{read->stamp}));
    ASSERT_TRUE(refused.has_value());
    EXPECT_EQ(refused->change, NBEDiskChange::Changed);
    EXPECT_EQ(NBETest::readFile(path("checked.txt")), "two!");
    const auto forced =
        NBETest::await(service.writeFileChecked(S("mine"), file, NBELineEnding::LF, std::nullopt));
    ASSERT_TRUE(forced.has_value());
    const auto again = NBETest::await(service.writeFileChecked(
        S("mine again"), file, NBELineEnding::LF, NBEDiskKnowledge{forced->stamp}));
    ASSERT_TRUE(again.has_value());
    EXPECT_EQ(again->change, NBEDiskChange::None);
    EXPECT_EQ(NBETest::readFile(path("checked.txt")), "mine again");
}

TEST_F(FileServiceTest, InvalidUtf8IsRefusedNotOpenedLossily)
{
    NBETest::writeFile(path("latin1.html"), "caf\xe9\n");
    NBETest::writeFile(path("truncated.txt"), "ok \xe2\x82");
    const auto latin1 = NBEFileService::readFileNow(path("latin1.html"));
    ASSERT_FALSE(latin1.has_value());
    EXPECT_TRUE(latin1.error().description.contains(S("UTF-8")));
    EXPECT_FALSE(NBEFileService::readFileNow(path("truncated.txt")).has_value());
    EXPECT_FALSE(NBEFileService::readFileNow(path("missing.txt")).has_value());

    // Valid text whose characters a text document takes for paragraph or
    // frame breaks: its buffer would give them back, and save them, as line
    // breaks.
    const struct
    {
        QByteArray bytes;
        QString code;
    } breaks[] = {{"\xe2\x80\xa9", S("U+2029")},
                  {"\xef\xb7\x90", S("U+FDD0")},
                  {"\xef\xb7\x91", S("U+FDD1")}};
    for (const auto &character : breaks) {
        NBETest::writeFile(path("breaks.js"), "let s = 'a" + character.bytes + "b';\n");
        const auto refused = NBEFileService::readFileNow(path("breaks.js"));
        ASSERT_FALSE(refused.has_value()) << character.code.toStdString();
        EXPECT_TRUE(refused.error().description.contains(character.code))
            << refused.error().description.toStdString();
    }
    // A line separator, a non-breaking space and a NUL come back from a
    // buffer as they were read.
    const QByteArray kept = QByteArray("a\xe2\x80\xa8") + "b\xc2\xa0" + QByteArray("c\0d\n", 4);
    NBETest::writeFile(path("kept.js"), kept);
    const auto read = NBEFileService::readFileNow(path("kept.js"));
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(NBETextBuffer(read->text).text(), read->text);
    QDir(dir.path()).mkdir(S("folder"));
    EXPECT_FALSE(NBEFileService::readFileNow(path("folder")).has_value());
}

TEST_F(FileServiceTest, WriteReplacesAtomicallyAndFailsCleanly)
{
    NBETest::writeFile(path("page.html"), "old");
    ASSERT_TRUE(NBEFileService::writeFileNow(S("new\n"), path("page.html")));
    EXPECT_EQ(NBETest::readFile(path("page.html")), "new\n");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{S("page.html")});

    // A folder where the file should be: an error, and the folder stays.
    QDir(dir.path()).mkdir(S("taken"));
    EXPECT_FALSE(NBEFileService::writeFileNow(S("x"), path("taken")).has_value());
    EXPECT_TRUE(QFileInfo(path("taken")).isDir());
    EXPECT_FALSE(NBEFileService::writeFileNow(S("x"), path("no/such/dir/f")).has_value());
}

TEST_F(FileServiceTest, WriteCutShortLeavesTheFileAsItWas)
{
    // A file-size limit makes write() stop part way, as a full disk does; a
    // small file is still in the save file's buffer when the limit hits.
    for (const qsizetype size : {qsizetype(1024), qsizetype(64 * 1024)}) {
        NBETest::writeFile(path("page.html"), "old");
        const QString text(size, QChar(u'x'));
        const NBEResult<void> result = [&] {
            NBETest::FileSizeLimit limit(512);
            return NBEFileService::writeFileNow(text, path("page.html"));
        }();

        ASSERT_FALSE(result.has_value()) << size;
        EXPECT_TRUE(result.error().description.startsWith(S("Couldn't save “page.html”")))
            << result.error().description.toStdString();
        EXPECT_EQ(NBETest::readFile(path("page.html")), "old") << size;
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
                  QStringList{S("page.html")});
    }
}

TEST_F(FileServiceTest, CreateNeverReplacesAnExistingItem)
{
    ASSERT_TRUE(NBEFileService::createFileNow(path("new.css"), S("a{}")));
    EXPECT_EQ(NBETest::readFile(path("new.css")), "a{}");

    EXPECT_FALSE(NBEFileService::createFileNow(path("new.css"), S("lost")).has_value());
    EXPECT_EQ(NBETest::readFile(path("new.css")), "a{}");

    ASSERT_TRUE(NBETest::await(service.createDirectory(url("assets"))));
    NBETest::writeFile(path("assets/logo.svg"), "<svg/>");
    EXPECT_FALSE(NBEFileService::createDirectoryNow(path("assets")).has_value());
    EXPECT_FALSE(NBEFileService::createFileNow(path("assets"), QString()).has_value());
    EXPECT_EQ(NBETest::readFile(path("assets/logo.svg")), "<svg/>");
    // Exactly one level: a missing parent is an error.
    EXPECT_FALSE(NBEFileService::createDirectoryNow(path("a/b")).has_value());
}

TEST_F(FileServiceTest, NamesTypedByTheUserAreChecked)
{
    for (const QString &bad :
         {QString(), S("   "), S("."), S(".."), S("a/b"), S("nul") + QChar(0) + S("x")}) {
        const auto check = NBEFileService::checkName(bad);
        ASSERT_FALSE(check.has_value()) << bad.toStdString();
        EXPECT_FALSE(check.error().description.isEmpty());
    }
    for (const QString &good : {S("index.html"), S(".env"), S("with space"), S("-dash")})
        EXPECT_TRUE(NBEFileService::checkName(good).has_value()) << good.toStdString();

    NBETest::writeFile(path("keep.txt"), "keep");
    EXPECT_FALSE(NBEFileService::renameNow(path("keep.txt"), S("../escape.txt")).has_value());
    EXPECT_FALSE(NBEFileService::renameNow(path("keep.txt"), S("..")).has_value());
    EXPECT_EQ(NBETest::readFile(path("keep.txt")), "keep");
}

TEST_F(FileServiceTest, RenameAndMoveNeverReplaceATarget)
{
    NBETest::writeFile(path("a.txt"), "A");
    NBETest::writeFile(path("b.txt"), "B");
    NBETest::writeFile(path("sub/a.txt"), "inner");

    EXPECT_FALSE(NBETest::await(service.rename(url("a.txt"), S("b.txt"))).has_value());
    EXPECT_EQ(NBETest::readFile(path("a.txt")), "A");
    EXPECT_EQ(NBETest::readFile(path("b.txt")), "B");

    const auto renamed = NBETest::await(service.rename(url("a.txt"), S("c.txt")));
    ASSERT_TRUE(renamed.has_value());
    EXPECT_EQ(*renamed, url("c.txt"));
    EXPECT_EQ(NBETest::readFile(path("c.txt")), "A");
    EXPECT_FALSE(QFile::exists(path("a.txt")));

    NBETest::writeFile(path("a.txt"), "outer");
    EXPECT_FALSE(NBETest::await(service.move(url("a.txt"), url("sub/a.txt"))).has_value());
    EXPECT_EQ(NBETest::readFile(path("sub/a.txt")), "inner");
    EXPECT_EQ(NBETest::readFile(path("a.txt")), "outer");

    ASSERT_TRUE(NBETest::await(service.move(url("b.txt"), url("sub/b.txt"))));
    EXPECT_EQ(NBETest::readFile(path("sub/b.txt")), "B");

    // A folder onto an existing folder, even an empty one, is refused too.
    QDir(dir.path()).mkpath(S("empty"));
    EXPECT_FALSE(NBEFileService::moveNow(path("sub"), path("empty")).has_value());
    EXPECT_TRUE(QFile::exists(path("sub/b.txt")));
    EXPECT_FALSE(NBEFileService::moveNow(path("sub"), path("sub/inside")).has_value());
    EXPECT_TRUE(QFile::exists(path("sub/b.txt")));
}

TEST_F(FileServiceTest, DeleteRemovesFoldersWholeAndLinksWithoutTheirTarget)
{
    NBETest::writeFile(path("site/css/a.css"), "x");
    NBETest::writeFile(path("keep/file.txt"), "x");
    ASSERT_EQ(::symlink(QFile::encodeName(path("keep")).constData(),
                        QFile::encodeName(path("site/link")).constData()),
              0);
    ASSERT_TRUE(NBETest::await(service.delete_(url("site"))));
    EXPECT_FALSE(QFileInfo::exists(path("site")));
    EXPECT_TRUE(QFile::exists(path("keep/file.txt")));
    EXPECT_FALSE(NBEFileService::deleteNow(path("site")).has_value());
}

TEST_F(FileServiceTest, OperationsRunOffTheMainThreadInOrder)
{
    QThread *mainThread = QThread::currentThread();
    QStringList order;
    QStringList expected;
    QObject context;
    for (int i = 0; i < 20; ++i) {
        expected.append(QString::number(i));
        service.writeFile(QString::number(i), url("f.txt"))
            .then(&context, [&order, i, mainThread](NBEResult<void> result) {
                EXPECT_TRUE(result.has_value());
                EXPECT_EQ(QThread::currentThread(), mainThread);
                order.append(QString::number(i));
            });
    }
    ASSERT_TRUE(NBETest::waitUntil([&] { return order.size() == 20; }));
    EXPECT_EQ(order, expected);
    EXPECT_EQ(NBETest::readFile(path("f.txt")), "19");
}

TEST_F(FileServiceTest, ReadsSeeTheChangesAskedForBeforeThem)
{
    // Reads wait in their own queue, yet never overtake a write or a create:
    // each finds at least the text written before it was asked for.
    QList<QFuture<NBEResult<NBETextFile>>> reads;
    for (int i = 0; i < 20; ++i) {
        service.writeFile(QString::number(i), url("f.txt"));
        reads.append(service.readFile(url("f.txt")));
    }
    service.createFile(url("new.txt"), S("made"));
    const auto made = NBETest::await(service.readFile(url("new.txt")));
    for (int i = 0; i < 20; ++i) {
        const auto read = NBETest::await(reads[i]);
        ASSERT_TRUE(read.has_value()) << i;
        EXPECT_GE(read->text.toInt(), i);
    }
    ASSERT_TRUE(made.has_value());
    EXPECT_EQ(made->text, S("made"));
}

TEST_F(FileServiceTest, OnlyRegularFilesAreReadOrWritten)
{
    ASSERT_EQ(::mkfifo(QFile::encodeName(path("pipe")).constData(), 0600), 0);
    const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(listener, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray socketPath = QFile::encodeName(path("socket"));
    ASSERT_LT(size_t(socketPath.size()), sizeof(address.sun_path));
    std::memcpy(address.sun_path, socketPath.constData(), size_t(socketPath.size()));
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof(address)), 0);
    ASSERT_TRUE(QFile::link(S("/dev/null"), path("device")));
    QDir(dir.path()).mkdir(S("folder"));

    struct Row
    {
        const char *name;
        const char *says;
        bool write; // a device is never a save target, even by mistake here
    };
    const Row rows[] = {
        {"pipe", "Couldn't read “pipe”: it's a named pipe, not a file.", true},
        {"socket", "Couldn't read “socket”: it's a socket, not a file.", true},
        {"device", "Couldn't read “device”: it's a device, not a file.", false},
        {"folder", "Couldn't read “folder”: Is a directory.", true},
    };
    for (const Row &row : rows) {
        // A pipe that was opened would wait here for a writer forever.
        const auto read = NBETest::await(service.readFile(url(row.name)));
        ASSERT_FALSE(read.has_value()) << row.name;
        EXPECT_EQ(read.error().description, S(row.says));
        if (!row.write)
            continue;
        const auto written = NBEFileService::writeFileNow(S("x"), path(row.name));
        ASSERT_FALSE(written.has_value()) << row.name;
        EXPECT_TRUE(written.error().description.startsWith(S("Couldn't save"))) << row.name;
        struct stat info;
        ASSERT_EQ(::lstat(QFile::encodeName(path(row.name)).constData(), &info), 0);
        EXPECT_FALSE(S_ISREG(info.st_mode)) << row.name;
    }
    ::close(listener);
}

TEST_F(FileServiceTest, AnyNameTheFileSystemTakesIsSavedAndFailuresSayWhy)
{
    // 250 bytes: a temporary "<name>.XXXXXX" beside it would be over NAME_MAX.
    const QString name = QString(246, QChar(u'a')) + S(".css");
    const QString file = dir.filePath(name);
    NBETest::writeFile(file, "old");
    ASSERT_TRUE(
        QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
    const auto saved = NBEFileService::writeFileNow(S("new\n"), file);
    ASSERT_TRUE(saved.has_value()) << saved.error().description.toStdString();
    EXPECT_EQ(NBETest::readFile(file), "new\n");
    struct stat info;
    ASSERT_EQ(::stat(QFile::encodeName(file).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{name});

    // A name the file system refuses fails with its own reason.
    const auto refused = NBEFileService::writeFileNow(S("x"), dir.filePath(QString(256, u'b')));
    ASSERT_FALSE(refused.has_value());
    EXPECT_TRUE(refused.error().description.endsWith(
        QString::fromLocal8Bit(std::strerror(ENAMETOOLONG)) + S(".")))
        << refused.error().description.toStdString();
    EXPECT_FALSE(refused.error().description.contains(S("Unknown error")));
}

TEST_F(FileServiceTest, ANameThatIsntUtf8IsListedAndRefusedWithItsReason)
{
    const QByteArray raw = QFile::encodeName(dir.path()) + "/caf\xe9.css";
    const int fd = ::open(raw.constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    ASSERT_GE(fd, 0);
    ::close(fd);
    const auto tree = NBEFileService::buildFileTreeNow(dir.path());
    ASSERT_TRUE(tree.has_value());
    ASSERT_EQ(tree->children.size(), 1);
    const auto read = NBEFileService::readFileNow(tree->children.first().url.toLocalFile());
    ASSERT_FALSE(read.has_value());
    EXPECT_TRUE(read.error().description.contains(S("isn't valid UTF-8")))
        << read.error().description.toStdString();
}

namespace {

// The stamp a tab keeps of a file it read.
std::optional<NBEDiskStamp> stampOf(const QString &file)
{
    std::optional<NBEDiskStamp> stamp = NBEFileService::statNow(file);
    const auto read = NBEFileService::readFileNow(file);
    if (!stamp || !read)
        return std::nullopt;
    stamp->digest = NBEDiskStamp::digestOf(read->text);
    stamp->lineEnding = read->lineEnding;
    return stamp;
}

void setOwner(const QString &file, uid_t owner, mode_t mode)
{
    const QByteArray native = QFile::encodeName(file);
    ASSERT_EQ(::chown(native.constData(), owner, owner), 0) << std::strerror(errno);
    ASSERT_EQ(::chmod(native.constData(), mode), 0) << std::strerror(errno);
}

// Replaces the file by a new one of another owner, as a program running as
// root (a container) does.
void replaceAsRoot(const QString &file, const QByteArray &bytes, mode_t mode)
{
    const QString made = file + QStringLiteral(".new");
    NBETest::writeFile(made, bytes);
    setOwner(made, 0, mode);
    ASSERT_TRUE(
        ::rename(QFile::encodeName(made).constData(), QFile::encodeName(file).constData()) == 0);
}

struct stat statOf(const QString &file)
{
    struct stat info = {};
    ::stat(QFile::encodeName(file).constData(), &info);
    return info;
}

} // namespace

// A tab may only save over the file it knows: one it can no longer read, or
// another file put in its place, counts as changed even when nothing can be
// compared.
TEST_F(FileServiceTest, AFileOutOfReachOrPutInItsPlaceIsChangedOnDisk)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "replacing a file as another owner needs root";
    const QByteArray old = "<p>old</p>\n";
    for (const char *name : {"untouched.html", "unreadable.html", "replaced.html", "same text.html",
                             "made private.html", "hidden/page.html"})
        NBETest::writeFile(path(name), old);
    NBETest::giveToNobody(dir.path());
    QHash<QString, std::optional<NBEDiskStamp>> known;
    for (const char *name : {"untouched.html", "unreadable.html", "replaced.html", "same text.html",
                             "made private.html", "hidden/page.html"})
        known.insert(S(name), stampOf(path(name)));

    // Made unreadable and added to.
    setOwner(path("unreadable.html"), NBETest::nobodyID, 0);
    ::truncate(QFile::encodeName(path("unreadable.html")).constData(), 100);
    replaceAsRoot(path("replaced.html"), "<p>root's</p>\n", 0600);
    replaceAsRoot(path("same text.html"), old, 0644);
    setOwner(path("made private.html"), NBETest::nobodyID, 0600);
    setOwner(path("hidden"), 0, 0700);

    NBETest::asNobody([&] {
        const struct
        {
            const char *name;
            NBEDiskChange expected;
        } rows[] = {
            {"untouched.html", NBEDiskChange::None},
            {"unreadable.html", NBEDiskChange::Changed},
            {"replaced.html", NBEDiskChange::Changed},
            {"same text.html", NBEDiskChange::Changed},
            {"made private.html", NBEDiskChange::Changed},
            {"hidden/page.html", NBEDiskChange::Changed},
        };
        NBEFileService service;
        for (const auto &row : rows) {
            EXPECT_EQ(NBEFileService::diskChangeNow(path(row.name), {known.value(S(row.name))}),
                      row.expected)
                << row.name;
            // A checked save writes nothing over it.
            const auto written = NBETest::await(
                service.writeFileChecked(S("mine\n"), url(row.name), NBELineEnding::LF,
                                         NBEDiskKnowledge{known.value(S(row.name))}));
            ASSERT_TRUE(written.has_value()) << row.name;
            EXPECT_EQ(written->change, row.expected) << row.name;
        }
    });
    EXPECT_EQ(NBETest::readFile(path("replaced.html")), "<p>root's</p>\n");
    EXPECT_EQ(NBETest::readFile(path("unreadable.html")).left(old.size()), old);
    EXPECT_EQ(statOf(path("replaced.html")).st_uid, 0u);
    EXPECT_EQ(NBETest::readFile(path("untouched.html")), "mine\n");
}

// Saving never changes whose a file is or who may write it: a read-only file
// is replaced only when its owner asks for it, anyone else's never.
TEST_F(FileServiceTest, AFileTheUserMayNotWriteIsRefused)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "files of another owner need root";
    for (const char *name : {"own 0444.css", "own 000.css", "root 0644.css", "root 0666.css"})
        NBETest::writeFile(path(name), "old\n");
    NBETest::giveToNobody(dir.path());
    setOwner(path("own 0444.css"), NBETest::nobodyID, 0444);
    setOwner(path("own 000.css"), NBETest::nobodyID, 0);
    setOwner(path("root 0644.css"), 0, 0644);
    setOwner(path("root 0666.css"), 0, 0666);

    NBETest::asNobody([&] {
        for (const char *name : {"own 0444.css", "own 000.css", "root 0644.css"}) {
            const auto refused = NBEFileService::writeFileNow(S("new\n"), path(name));
            ASSERT_FALSE(refused.has_value()) << name;
            EXPECT_EQ(refused.error().description, S("“%1” is not writable.").arg(S(name)));
        }
        // A checked save tells a read-only file of the user's own apart, so
        // the user can be asked.
        NBEFileService service;
        const auto asked = NBETest::await(service.writeFileChecked(
            S("new\n"), url("own 0444.css"), NBELineEnding::LF, std::nullopt));
        ASSERT_TRUE(asked.has_value());
        EXPECT_TRUE(asked->readOnly);
        EXPECT_FALSE(NBETest::await(service.writeFileChecked(S("new\n"), url("root 0644.css"),
                                                             NBELineEnding::LF, std::nullopt))
                         .has_value());

        // Asked for, the user's own are replaced and stay read-only; the
        // other owner's stays as it is.
        for (const char *name : {"own 0444.css", "own 000.css"})
            EXPECT_TRUE(NBEFileService::writeFileNow(S("new\n"), path(name), NBELineEnding::LF,
                                                     false, true))
                << name;
        EXPECT_FALSE(NBEFileService::writeFileNow(S("new\n"), path("root 0644.css"),
                                                  NBELineEnding::LF, false, true)
                         .has_value());
        // Writable by the user yet not theirs: written where it is, still the
        // other owner's.
        EXPECT_TRUE(NBEFileService::writeFileNow(S("new\n"), path("root 0666.css")));
    });
    const struct
    {
        const char *name;
        QByteArray bytes;
        uid_t owner;
        mode_t mode;
    } rows[] = {
        {"own 0444.css", "new\n", NBETest::nobodyID, 0444},
        {"own 000.css", "new\n", NBETest::nobodyID, 0},
        {"root 0644.css", "old\n", 0, 0644},
        {"root 0666.css", "new\n", 0, 0666},
    };
    for (const auto &row : rows) {
        EXPECT_EQ(NBETest::readFile(path(row.name)), row.bytes) << row.name;
        const struct stat info = statOf(path(row.name));
        EXPECT_EQ(info.st_uid, row.owner) << row.name;
        EXPECT_EQ(info.st_mode & 07777, row.mode) << row.name;
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 4);

    // Root saving a user's file leaves it theirs.
    NBETest::writeFile(path("theirs.css"), "old\n");
    setOwner(path("theirs.css"), 1234, 0640);
    ASSERT_TRUE(NBEFileService::writeFileNow(S("new\n"), path("theirs.css")));
    EXPECT_EQ(statOf(path("theirs.css")).st_uid, 1234u);
    EXPECT_EQ(statOf(path("theirs.css")).st_gid, 1234u);
    EXPECT_EQ(statOf(path("theirs.css")).st_mode & 07777, 0640u);
}

// Opening a folder clears away what killed saves left in it, in every
// subfolder, and nothing else.
TEST_F(FileServiceTest, OpeningAFolderRemovesLeftoversOfKilledSaves)
{
    for (const char *name : {"site/.nbe-save-999999999-0123456789abcdef", "site/.nbe-save-notes",
                             "site/page.html", ".nbe-save-999999999-fedcba9876543210"})
        NBETest::writeFile(path(name), "x");
    ASSERT_TRUE(NBEFileService::buildFileTreeNow(dir.path()));
    EXPECT_EQ(QDir(path("site")).entryList(QDir::Files | QDir::Hidden),
              (QStringList{S(".nbe-save-notes"), S("page.html")}));
    EXPECT_FALSE(QFileInfo::exists(path(".nbe-save-999999999-fedcba9876543210")));
}
