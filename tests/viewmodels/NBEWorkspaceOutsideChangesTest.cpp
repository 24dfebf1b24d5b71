#include "NBEWorkspaceFixture.h"

#include <QFile>

namespace {

using namespace std::chrono_literals;

// Other programs change the project while it is open. git runs through a
// wrapper that logs each status query, so a test can count the refreshes.
class NBEWorkspaceOutsideChanges : public NBEWorkspaceFixture
{
protected:
    QString log;

    void SetUp() override
    {
        NBEWorkspaceFixture::SetUp();
        log = dir.filePath(QStringLiteral("git.log"));
        const QString wrapper = dir.filePath(QStringLiteral("git.sh"));
        NBETest::writeFile(wrapper, QStringLiteral("#!/bin/sh\n"
                                                   "[ \"$1\" = status ] && echo status >> '%1'\n"
                                                   "exec /usr/bin/git \"$@\"\n")
                                        .arg(log)
                                        .toUtf8());
        QFile::setPermissions(wrapper, QFile::permissions(wrapper) | QFileDevice::ExeOwner);
        model = makeModel([&](NBEWorkspaceEnvironment &environment) {
            environment.gitURL = QUrl::fromLocalFile(wrapper);
            environment.timings.outsideChangeQuiet = 400ms;
        });
    }

    int statusRuns() const { return int(NBETest::readFile(log).count("status")); }

    // Waits out quiet periods and the refreshes that follow them (and, after
    // a load, the walk that sets up the watch) until no status query came
    // during the last one; a loaded machine may take more than one.
    void settle()
    {
        for (int runs = -1; runs != statusRuns();) {
            runs = statusRuns();
            NBETest::waitUntil([] { return false; }, 1500ms);
        }
    }

    const NBEFileTreeNode *node(const QString &relative) const
    {
        const NBEFileTreeNode *at = &*model->files().workspace()->fileTree;
        for (const QString &name : relative.split(u'/')) {
            const auto it = std::find_if(at->children.cbegin(), at->children.cend(),
                                         [&](const NBEFileTreeNode &n) { return n.name == name; });
            if (it == at->children.cend())
                return nullptr;
            at = &*it;
        }
        return at;
    }
};

} // namespace

TEST_F(NBEWorkspaceOutsideChanges, ACleanTabFollowsItsFileAndAnEditedOneKeepsItsText)
{
    write(QStringLiteral("package.json"), "{\"version\": \"1.0.0\"}\n");
    write(QStringLiteral("edited.css"), "a{}\n");
    write(QStringLiteral("gone.css"), "b{}\n");
    load();
    const QUuid clean = open(QStringLiteral("package.json")).id;
    const QUuid edited = open(QStringLiteral("edited.css")).id;
    const QUuid gone = open(QStringLiteral("gone.css")).id;
    model->tabs().updateContent(QStringLiteral("a{color:red}\n"), edited);
    settle();

    write(QStringLiteral("package.json"), "{\"version\": \"1.0.1\"}\n");
    write(QStringLiteral("edited.css"), "outside\n");
    QFile::remove(path(QStringLiteral("gone.css")));

    ASSERT_TRUE(NBETest::waitUntil([&] {
        return model->tab(clean)->sourceFile.content() ==
               QStringLiteral("{\"version\": \"1.0.1\"}\n");
    }));
    EXPECT_FALSE(model->tab(clean)->sourceFile.isDirty());
    ASSERT_TRUE(NBETest::waitUntil([&] { return model->tab(gone)->sourceFile.isDirty(); }));
    // The vanished file's tab stays open with its text, unsaved.
    EXPECT_EQ(model->tab(gone)->sourceFile.content(), QStringLiteral("b{}\n"));
    EXPECT_EQ(model->tab(edited)->sourceFile.content(), QStringLiteral("a{color:red}\n"));
    EXPECT_TRUE(NBETest::waitUntil([&] { return !node(QStringLiteral("gone.css")); }));

    // The old bug: a small edit and a save wrote the stale text back.
    model->tabs().updateContent(QStringLiteral("{\"version\": \"1.0.1\", \"x\": 1}\n"), clean);
    EXPECT_TRUE(saveAndWait(clean, true));
    EXPECT_EQ(read(QStringLiteral("package.json")), "{\"version\": \"1.0.1\", \"x\": 1}\n");
    EXPECT_FALSE(saveAndWait(edited, true));
    EXPECT_EQ(read(QStringLiteral("edited.css")), "outside\n");

    // Put back as the tab knew it, the file is no longer missing.
    write(QStringLiteral("gone.css"), "b{}\n");
    ASSERT_TRUE(NBETest::waitUntil([&] { return !model->tab(gone)->sourceFile.isDirty(); }));
}

TEST_F(NBEWorkspaceOutsideChanges, TreeAndBadgesFollowAndOpenFoldersStayOpen)
{
    commitAndLoad({{QStringLiteral("src/app.js"), "app\n"}, {QStringLiteral("README.md"), "r\n"}});
    model->files().toggleExpanded(node(QStringLiteral("src"))->id);
    ASSERT_TRUE(node(QStringLiteral("src"))->isExpanded);
    settle();

    write(QStringLiteral("src/new.js"), "new\n");
    write(QStringLiteral("README.md"), "changed in a terminal\n");
    ASSERT_TRUE(NBETest::waitUntil([&] {
        return node(QStringLiteral("src/new.js")) &&
               model->gitState().status(url(QStringLiteral("README.md"))) == NBEGitStatus::modified;
    }));
    EXPECT_TRUE(node(QStringLiteral("src"))->isExpanded);
    EXPECT_EQ(model->gitState().status(url(QStringLiteral("src/new.js"))), NBEGitStatus::untracked);

    // A commit from a terminal clears the badges.
    git({QStringLiteral("add"), QStringLiteral("-A")});
    git({QStringLiteral("commit"), QStringLiteral("-qm"), QStringLiteral("outside")});
    ASSERT_TRUE(NBETest::waitUntil([&] { return model->gitState().snapshot().changes.isEmpty(); }));
}

TEST_F(NBEWorkspaceOutsideChanges, AManifestEditedInATerminalIsReadAgain)
{
    write(QStringLiteral("Package.swift"), "let package = Package(name: \"site\")\n");
    load();
    EXPECT_FALSE(model->files().isVaporProject());
    settle();

    // The same items, one of them with new text: the tree is unchanged.
    write(QStringLiteral("Package.swift"),
          ".package(url: \"https://github.com/vapor/vapor.git\", from: \"4.0.0\")\n");
    EXPECT_TRUE(NBETest::waitUntil([&] { return model->files().isVaporProject(); }));
}

// A checkout rewriting a thousand files is one burst: one tree rebuild and
// one status query.
TEST_F(NBEWorkspaceOutsideChanges, ABranchCheckoutRefreshesOnce)
{
    QList<QPair<QString, QByteArray>> files;
    for (int i = 0; i < 1000; ++i)
        files.append({QStringLiteral("pages/p%1/page%2.html").arg(i / 100).arg(i), "one\n"});
    commitAndLoad(files);
    git({QStringLiteral("switch"), QStringLiteral("-qc"), QStringLiteral("other")});
    for (const auto &[name, content] : std::as_const(files))
        write(name, "two\n");
    write(QStringLiteral("pages/added.html"), "new\n");
    git({QStringLiteral("add"), QStringLiteral("-A")});
    git({QStringLiteral("commit"), QStringLiteral("-qm"), QStringLiteral("two")});
    settle();
    const QUuid tab = open(QStringLiteral("pages/p0/page0.html")).id;

    const int before = statusRuns();
    int treeChanges = 0;
    std::optional<NBEFileTreeNode> tree = model->files().workspace()->fileTree;
    QObject::connect(&model->files(), &NBEWorkspaceFiles::workspaceChanged, [&] {
        if (model->files().workspace()->fileTree != tree) {
            tree = model->files().workspace()->fileTree;
            ++treeChanges;
        }
    });
    git({QStringLiteral("switch"), QStringLiteral("-q"), QStringLiteral("main")});
    ASSERT_TRUE(NBETest::waitUntil(
        [&] { return model->tab(tab)->sourceFile.content() == QStringLiteral("one\n"); }));
    settle();
    EXPECT_EQ(statusRuns() - before, 1);
    EXPECT_EQ(treeChanges, 1);
    EXPECT_EQ(node(QStringLiteral("pages/added.html")), nullptr);
    EXPECT_EQ(model->gitState().snapshot().branch, QStringLiteral("main"));
}

TEST_F(NBEWorkspaceOutsideChanges, BecomingActiveCatchesUp)
{
    write(QStringLiteral("a.css"), "a\n");
    model = makeModel(
        [&](NBEWorkspaceEnvironment &environment) { environment.timings.outsideChangeQuiet = 1h; });
    load();
    const QUuid id = open(QStringLiteral("a.css")).id;
    write(QStringLiteral("a.css"), "b\n");
    write(QStringLiteral("b.css"), "b\n");
    activity.setActive(false);
    activity.setActive(true);
    ASSERT_TRUE(NBETest::waitUntil(
        [&] { return model->tab(id)->sourceFile.content() == QStringLiteral("b\n"); }));
    ASSERT_TRUE(NBETest::waitUntil([&] { return node(QStringLiteral("b.css")) != nullptr; }));
}

// A reload from disk is no edit: a preview tab stays a preview, and the
// file's byte-order mark as read now is the one a save writes back.
TEST_F(NBEWorkspaceOutsideChanges, AReloadFromDiskKeepsAPreviewAndTheMark)
{
    write(QStringLiteral("notes.md"), "# One\n");
    load();
    const QUuid id = open(QStringLiteral("notes.md"), true).id;
    ASSERT_TRUE(model->tab(id)->isEphemeral);
    settle();
    write(QStringLiteral("notes.md"), "\xef\xbb\xbf# Two\n");
    ASSERT_TRUE(NBETest::waitUntil(
        [&] { return model->tab(id)->sourceFile.content() == QStringLiteral("# Two\n"); }));
    QCoreApplication::processEvents();
    EXPECT_TRUE(model->tab(id)->isEphemeral);

    // Typing still keeps it for good.
    model->tabs().updateContent(QStringLiteral("# Three\n"), id);
    EXPECT_FALSE(model->tab(id)->isEphemeral);
    EXPECT_TRUE(saveAndWait(id, false));
    EXPECT_EQ(read(QStringLiteral("notes.md")), "\xef\xbb\xbf# Three\n");
}

// A build that moves its output folder aside and writes a new one of the
// same name: what lands in the new folder shows, and the old one, under its
// new name, is followed too.
TEST_F(NBEWorkspaceOutsideChanges, AFolderMadeWhereAnotherWasMovedAwayIsFollowed)
{
    write(QStringLiteral("dist/old.js"), "old\n");
    load();
    settle();
    ASSERT_TRUE(QDir(root).rename(QStringLiteral("dist"), QStringLiteral("dist.old")));
    ASSERT_TRUE(NBETest::waitUntil([&] { return node(QStringLiteral("dist.old/old.js")); }));
    ASSERT_TRUE(QDir(root).mkdir(QStringLiteral("dist")));
    ASSERT_TRUE(NBETest::waitUntil([&] { return node(QStringLiteral("dist")); }));
    settle();

    write(QStringLiteral("dist/new.js"), "new\n");
    EXPECT_TRUE(NBETest::waitUntil([&] { return node(QStringLiteral("dist/new.js")); }));
    settle();
    write(QStringLiteral("dist.old/later.js"), "later\n");
    EXPECT_TRUE(NBETest::waitUntil([&] { return node(QStringLiteral("dist.old/later.js")); }));
}
