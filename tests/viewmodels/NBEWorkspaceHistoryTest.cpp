#include "NBEWorkspaceFixture.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QPromise>
#include <QSignalSpy>
#include <QStandardPaths>

using NBETest::await;

namespace {

class History : public NBEWorkspaceFixture
{
protected:
    // A repository holding `files` in its first commit, loaded.
    void commitAndLoad(const QList<QPair<QString, QByteArray>> &files)
    {
        git({"init", "-q"});
        commit(files, "first");
        load();
    }

    // Writes the files and commits them; the new commit as the history shows it.
    NBEGitCommit commit(const QList<QPair<QString, QByteArray>> &files, const QString &subject)
    {
        for (const auto &[name, content] : files)
            write(name, content);
        git({"add", "-A"});
        git({"commit", "-qm", subject});
        return head();
    }

    NBEGitCommit head()
    {
        const QString sha = QString::fromUtf8(NBETest::git(root, {"rev-parse", "HEAD"})).trimmed();
        const QString shortSHA =
            QString::fromUtf8(NBETest::git(root, {"rev-parse", "--short", "HEAD"})).trimmed();
        return NBEGitCommit{sha, shortSHA, {}, {}, {}};
    }

    std::optional<NBEOpenTab> tabFor(const QString &name) const
    {
        for (const NBEOpenTab &tab : model->tabs().tabs()) {
            if (tab.sourceFile.url == url(name))
                return tab;
        }
        return std::nullopt;
    }

    QStringList subjects() const
    {
        QStringList list;
        for (const NBEGitCommit &each : model->history().gitHistory())
            list.append(each.subject);
        return list;
    }

    QString error() const { return model->errorMessage().value_or(QString()); }
};

} // namespace

TEST_F(History, NothingHappensOutsideARepository)
{
    write("a.txt", "a\n");
    load();
    const NBEGitCommit someCommit{
        "0123456789abcdef0123456789abcdef01234567", "0123456", {}, {}, {}};
    await(model->history().loadHistory());
    EXPECT_TRUE(model->history().gitHistory().isEmpty());
    EXPECT_TRUE(await(model->history().commitDiff(someCommit.sha)).isEmpty());
    EXPECT_TRUE(await(model->history().changedFilesFor(someCommit)).isEmpty());
    EXPECT_FALSE(await(model->history().createTag("v1", someCommit, {})));
    await(model->history().restoreFile("a.txt", someCommit));
    await(model->history().revertCommit(someCommit));
    EXPECT_FALSE(model->errorMessage().has_value());
    EXPECT_EQ(read("a.txt"), "a\n");
}

TEST_F(History, ListsTheNewestHundredCommitsNewestFirst)
{
    git({"init", "-q"});
    load();
    // Before the first commit git has no history to show.
    await(model->history().loadHistory());
    EXPECT_TRUE(model->history().gitHistory().isEmpty());

    for (int i = 1; i <= 102; ++i)
        git({"commit", "-q", "--allow-empty", "-m", "commit " + QString::number(i)});
    await(model->gitState().refresh());
    await(model->history().loadHistory());
    ASSERT_EQ(model->history().gitHistory().size(), 100);
    EXPECT_EQ(model->history().gitHistory().first().subject, "commit 102");
    EXPECT_EQ(model->history().gitHistory().last().subject, "commit 3");
    EXPECT_EQ(model->history().gitHistory().first().sha, head().sha);
    EXPECT_EQ(model->history().gitHistory().first().shortSHA, head().shortSHA);
}

TEST_F(History, ACommitsPatchAndFiles)
{
    commitAndLoad({{"a.txt", "one\ntwo\n"}});
    const NBEGitCommit second = commit({{"a.txt", "one\n2\n"}, {"docs/b.md", "# B\n"}}, "second");

    EXPECT_EQ(await(model->history().changedFilesFor(second)), (QStringList{"a.txt", "docs/b.md"}));

    const QList<NBEGitDiffLine> rows = await(model->history().commitDiff(second.sha));
    ASSERT_FALSE(rows.isEmpty());
    EXPECT_EQ(rows.first().kind, NBEGitDiffLine::Kind::meta);
    EXPECT_EQ(rows.first().text, "diff --git a/a.txt b/a.txt");
    // git's final newline makes no blank row.
    EXPECT_EQ(rows.last().kind, NBEGitDiffLine::Kind::addition);
    EXPECT_EQ(rows.last().text, "# B");
    const auto added = std::count_if(rows.cbegin(), rows.cend(), [](const NBEGitDiffLine &row) {
        return row.kind == NBEGitDiffLine::Kind::addition;
    });
    EXPECT_EQ(added, 2);

    // Nothing for what git can't show, nor for an option in place of a hash.
    EXPECT_TRUE(
        await(model->history().commitDiff("0000000000000000000000000000000000000000")).isEmpty());
    EXPECT_TRUE(await(model->history().commitDiff("--output=/tmp/x")).isEmpty());
    EXPECT_TRUE(await(model->history().changedFilesFor({"nothing", "no", {}, {}, {}})).isEmpty());

    model->navigation().setDiffTarget(url("a.txt"));
    model->navigation().showCommitDiff(second);
    EXPECT_FALSE(model->navigation().diffTarget().has_value());
    EXPECT_EQ(model->navigation().commitDiffTarget(), second);
}

// A merge shows what it brought into its first parent, as ordinary rows: a
// combined diff would show a second column of signs inside the text.
TEST_F(History, AMergeCommitShowsItsFirstParentDiff)
{
    commitAndLoad({{"a.txt", "one\ntwo\nthree\n"}});
    git({"checkout", "-qb", "side"});
    commit({{"a.txt", "one\ntwo\nTHREE\n"}, {"side.txt", "side\n"}}, "side");
    git({"checkout", "-q", "-"});
    commit({{"a.txt", "ONE\ntwo\nthree\n"}}, "main");
    git({"merge", "-q", "--no-edit", "side"});
    const NBEGitCommit merge = head();

    EXPECT_EQ(await(model->history().changedFilesFor(merge)), (QStringList{"a.txt", "side.txt"}));
    const QList<NBEGitDiffLine> rows = await(model->history().commitDiff(merge.sha));
    QStringList drawn;
    for (const NBEGitDiffLine &row : rows)
        if (row.kind == NBEGitDiffLine::Kind::addition ||
            row.kind == NBEGitDiffLine::Kind::deletion)
            drawn.append((row.kind == NBEGitDiffLine::Kind::addition ? u'+' : u'-') + row.text);
    EXPECT_EQ(drawn, (QStringList{"-three", "+THREE", "+side"}));
    for (const NBEGitDiffLine &row : rows) {
        if (row.kind == NBEGitDiffLine::Kind::context) {
            EXPECT_TRUE(row.text == u"ONE" || row.text == u"two") << row.text.toStdString();
        }
    }
}

TEST_F(History, RestoringAFileThatIsNotOpen)
{
    commitAndLoad({{"a.txt", "old\n"}});
    const NBEGitCommit first = head();
    commit({{"a.txt", "new\n"}}, "second");
    await(model->gitState().refresh());

    await(model->history().restoreFile("a.txt", first));
    EXPECT_EQ(read("a.txt"), "old\n");
    EXPECT_EQ(model->gitState().status(url("a.txt")), NBEGitStatus::modified);
    EXPECT_TRUE(desktop->questions.isEmpty());

    await(model->history().restoreFile("nope.txt", first));
    EXPECT_EQ(error(), "Couldn't restore nope.txt to " + first.shortSHA + ".");
}

// Route files named like patterns ("[id].js" would also match i.js and
// d.js): restoring one leaves the others, on disk and in the index, alone.
TEST_F(History, RestoringAFileNamedLikeAPatternRestoresOnlyIt)
{
    commitAndLoad({{"[id].js", "page 1\n"}, {"i.js", "i 1\n"}, {"d.js", "d 1\n"}});
    const NBEGitCommit first = head();
    commit({{"[id].js", "page 2\n"}, {"i.js", "i 2\n"}, {"d.js", "d 2\n"}}, "second");
    write("i.js", "i typed\n");
    await(model->gitState().refresh());

    await(model->history().restoreFile("[id].js", first));
    EXPECT_FALSE(model->errorMessage().has_value());
    EXPECT_EQ(read("[id].js"), "page 1\n");
    EXPECT_EQ(read("i.js"), "i typed\n");
    EXPECT_EQ(read("d.js"), "d 2\n");
    // Nothing but the restored file is staged, so the next commit holds only it.
    EXPECT_EQ(NBETest::git(root, {"diff", "--cached", "--name-only"}), "[id].js\n");
}

TEST_F(History, RestoringAnOpenFileReloadsItsTabAndAsksAboutEdits)
{
    commitAndLoad({{"a.txt", "old\n"}});
    const NBEGitCommit first = head();
    commit({{"a.txt", "new\n"}}, "second");
    await(model->gitState().refresh());
    const QUuid id = open("a.txt").id;

    // A clean tab simply shows the restored text.
    await(model->history().restoreFile("a.txt", first));
    EXPECT_EQ(tabFor("a.txt")->sourceFile.content(), "old\n");
    EXPECT_FALSE(tabFor("a.txt")->sourceFile.isDirty());
    EXPECT_TRUE(desktop->questions.isEmpty());

    git({"checkout", "HEAD", "--", "a.txt"});
    await(model->navigation().openFile(url("a.txt"), false));
    // The tab still shows "old": reopening activates it without reading.
    model->tabs().updateContent("typed\n", id);

    desktop->answer = NBEUnsavedChangesChoice::Cancel;
    await(model->history().restoreFile("a.txt", first));
    EXPECT_EQ(desktop->questions, (QList<QStringList>{{"a.txt"}}));
    EXPECT_EQ(read("a.txt"), "new\n");
    EXPECT_EQ(tabFor("a.txt")->sourceFile.content(), "typed\n");

    // Save keeps the edits in the tab, now unsaved against the restored file.
    desktop->answer = NBEUnsavedChangesChoice::Save;
    await(model->history().restoreFile("a.txt", first));
    EXPECT_EQ(read("a.txt"), "old\n");
    EXPECT_EQ(tabFor("a.txt")->sourceFile.content(), "typed\n");
    EXPECT_TRUE(tabFor("a.txt")->sourceFile.isDirty());

    // Don't Save drops them.
    git({"checkout", "HEAD", "--", "a.txt"});
    desktop->answer = NBEUnsavedChangesChoice::DontSave;
    await(model->history().restoreFile("a.txt", first));
    EXPECT_EQ(tabFor("a.txt")->id, id);
    EXPECT_EQ(tabFor("a.txt")->sourceFile.content(), "old\n");
    EXPECT_FALSE(tabFor("a.txt")->sourceFile.isDirty());
    EXPECT_FALSE(model->errorMessage().has_value());
}

TEST_F(History, RevertingACommit)
{
    commitAndLoad({{"a.txt", "one\n"}});
    const NBEGitCommit second = commit({{"a.txt", "two\n"}, {"b.txt", "b\n"}}, "second");
    await(model->gitState().refresh());
    open("b.txt");
    open("a.txt");

    await(model->history().revertCommit(second));
    EXPECT_FALSE(model->errorMessage().has_value());
    EXPECT_EQ(read("a.txt"), "one\n");
    EXPECT_EQ(subjects(), (QStringList{"Revert \"second\"", "second", "first"}));
    EXPECT_EQ(model->gitState().snapshot().headSHA, head().sha);
    EXPECT_EQ(tabFor("a.txt")->sourceFile.content(), "one\n");
    // The file the reverted commit added is gone, and so is its clean tab.
    EXPECT_FALSE(QFile::exists(path("b.txt")));
    EXPECT_FALSE(tabFor("b.txt"));
}

TEST_F(History, ARevertThatConflictsStillReloads)
{
    commitAndLoad({{"a.txt", "one\n"}});
    const NBEGitCommit second = commit({{"a.txt", "two\n"}}, "second");
    commit({{"a.txt", "three\n"}}, "third");
    await(model->gitState().refresh());
    open("a.txt");

    await(model->history().revertCommit(second));
    EXPECT_TRUE(error().startsWith("Revert failed: error: could not revert"))
        << error().toStdString();
    EXPECT_EQ(model->gitState().status(url("a.txt")), NBEGitStatus::conflicted);
    EXPECT_TRUE(tabFor("a.txt")->sourceFile.content().contains("<<<<<<<"));
    EXPECT_EQ(subjects(), (QStringList{"third", "second", "first"}));
}

TEST_F(History, RevertingOverUnsavedEditsAsksFirst)
{
    commitAndLoad({{"a.txt", "one\n"}, {"other.txt", "o\n"}});
    const NBEGitCommit second = commit({{"a.txt", "two\n"}}, "second");
    await(model->gitState().refresh());
    const QUuid id = open("a.txt").id;
    const QUuid otherID = open("other.txt").id;
    model->tabs().updateContent("typed\n", id);
    // A tab the commit didn't touch isn't asked about.
    model->tabs().updateContent("elsewhere\n", otherID);

    desktop->answer = NBEUnsavedChangesChoice::Cancel;
    await(model->history().revertCommit(second));
    EXPECT_EQ(desktop->questions, (QList<QStringList>{{"a.txt"}}));
    EXPECT_EQ(read("a.txt"), "two\n");
    EXPECT_EQ(head().sha, second.sha);

    // Saved first, the edits stop git.
    desktop->answer = NBEUnsavedChangesChoice::Save;
    await(model->history().revertCommit(second));
    EXPECT_EQ(read("a.txt"), "typed\n");
    EXPECT_EQ(head().sha, second.sha);
    EXPECT_TRUE(error().startsWith("Revert failed: ")) << error().toStdString();
    EXPECT_EQ(tabFor("a.txt")->sourceFile.content(), "typed\n");
    EXPECT_EQ(tabFor("other.txt")->sourceFile.content(), "elsewhere\n");
}

// git quotes a name such as "über-uns.html" in octal escapes unless told
// not to: the history lists, restores and reverts such files by their names.
TEST_F(History, FilesWithNonASCIINamesGoByTheirNames)
{
    commitAndLoad({{"über-uns.html", "<p>eins</p>\n"}, {"a \"b\".css", "a {}\n"}});
    const NBEGitCommit first = head();
    const NBEGitCommit second =
        commit({{"über-uns.html", "<p>zwei</p>\n"}, {"a \"b\".css", "b {}\n"}}, "second");
    await(model->gitState().refresh());

    EXPECT_EQ(await(model->history().changedFilesFor(second)),
              (QStringList{"a \"b\".css", "über-uns.html"}));
    QStringList sections;
    for (const NBEGitDiffLine &row : await(model->history().commitDiff(second.sha)))
        if (row.text.startsWith(u"diff --git "))
            sections.append(row.text);
    EXPECT_TRUE(sections.contains("diff --git a/über-uns.html b/über-uns.html"))
        << sections.join(u'\n').toStdString();

    await(model->history().restoreFile("über-uns.html", first));
    EXPECT_FALSE(model->errorMessage().has_value()) << error().toStdString();
    EXPECT_EQ(read("über-uns.html"), "<p>eins</p>\n");
    // The working tree's diff names it alike.
    await(model->gitState().refresh());
    const QList<NBEGitDiffLine> working = await(model->workingTree().diff(url("über-uns.html")));
    ASSERT_FALSE(working.isEmpty());
    EXPECT_EQ(working.first().text, "diff --git a/über-uns.html b/über-uns.html");
    git({"checkout", "HEAD", "--", "über-uns.html"});

    // Unsaved edits in the reverted file are asked about before git runs.
    const QUuid id = open("über-uns.html").id;
    model->tabs().updateContent("<p>getippt</p>\n", id);
    desktop->answer = NBEUnsavedChangesChoice::Cancel;
    await(model->history().revertCommit(second));
    EXPECT_EQ(desktop->questions, (QList<QStringList>{{"über-uns.html"}}));
    EXPECT_EQ(head().sha, second.sha);
}

// With log.showSignature set, git prints each signature's check beside the
// commits it lists: the history, a commit's files and patch and the message
// to amend are the commits' own all the same.
TEST_F(History, SignedCommitsShownWithTheirSignatureChecks)
{
    const QString keygen = QStandardPaths::findExecutable("ssh-keygen");
    if (keygen.isEmpty())
        GTEST_SKIP() << "ssh-keygen is needed to sign commits";
    const QString key = dir.filePath("signing");
    ASSERT_EQ(
        NBETest::run(keygen, {"-q", "-t", "ed25519", "-N", "", "-f", key}, dir.path()).exitCode, 0);
    git({"init", "-q"});
    git({"config", "gpg.format", "ssh"});
    git({"config", "user.signingkey", key + ".pub"});
    git({"config", "commit.gpgsign", "true"});
    git({"config", "log.showSignature", "true"});
    commit({{"a.txt", "one\n"}}, "first");
    const NBEGitCommit second = commit({{"a.txt", "two\n"}}, "second");
    load();

    await(model->history().loadHistory());
    ASSERT_EQ(subjects(), (QStringList{"second", "first"}));
    EXPECT_EQ(model->history().gitHistory().first().sha, second.sha);
    EXPECT_EQ(await(model->history().changedFilesFor(second)), QStringList{"a.txt"});
    const QList<NBEGitDiffLine> rows = await(model->history().commitDiff(second.sha));
    ASSERT_FALSE(rows.isEmpty());
    EXPECT_TRUE(rows.first().text.startsWith("diff --git")) << rows.first().text.toStdString();
    EXPECT_EQ(await(model->commitBox().lastCommitMessage()), QStringLiteral("second"));
}

TEST_F(History, CreatingTags)
{
    commitAndLoad({{"a.txt", "a\n"}});
    const NBEGitCommit first = head();
    auto annotation = [&](const QString &tag) {
        return QString::fromUtf8(NBETest::git(root, {"tag", "-l", "--format=%(contents)", tag}))
            .trimmed();
    };

    // Spaces and tabs around the name go; an empty message is the name.
    EXPECT_TRUE(await(model->history().createTag(" \tv1.0 \t", first, {})));
    EXPECT_EQ(annotation("v1.0"), "v1.0");
    EXPECT_EQ(QString::fromUtf8(NBETest::git(root, {"rev-list", "-n", "1", "v1.0"})).trimmed(),
              first.sha);
    EXPECT_TRUE(await(model->history().createTag("v2", first, "  Release two\n")));
    EXPECT_EQ(annotation("v2"), "Release two");

    EXPECT_FALSE(await(model->history().createTag(" \t ", first, "x")));
    EXPECT_FALSE(model->errorMessage().has_value());

    EXPECT_FALSE(await(model->history().createTag("v1.0", first, {})));
    EXPECT_EQ(error(), "Couldn't create tag: fatal: tag 'v1.0' already exists");
    EXPECT_FALSE(await(model->history().createTag("-d", first, {})));
    EXPECT_EQ(error(), "Couldn't create tag: A tag name can't begin with \u201C-\u201D.");
    // A line break is no part of what is trimmed; git refuses it.
    EXPECT_FALSE(await(model->history().createTag("v3\n", first, {})));
    EXPECT_TRUE(error().startsWith("Couldn't create tag: ")) << error().toStdString();
    EXPECT_EQ(QString::fromUtf8(NBETest::git(root, {"tag"})).split('\n', Qt::SkipEmptyParts),
              (QStringList{"v1.0", "v2"}));
}

TEST_F(History, SuggestedTagNameIsTheApplicationVersion)
{
    const QString saved = QCoreApplication::applicationVersion();
    QCoreApplication::setApplicationVersion({});
    EXPECT_EQ(model->history().suggestedTagName(), "1.0.0");
    QCoreApplication::setApplicationVersion("2.4.1");
    EXPECT_EQ(model->history().suggestedTagName(), "2.4.1");
    QCoreApplication::setApplicationVersion(saved);
}

namespace {

// The history on its own, with git operations whose host records what they
// ask of the tabs.
class HistoryAlone : public ::testing::Test
{
protected:
    QTemporaryDir dir;
    QString root = dir.filePath(QStringLiteral("repo"));
    NBEGitService service;
    NBEGitState state{service};
    NBEDefaults defaults{dir.filePath(QStringLiteral("settings.json"))};
    NBEPreferences preferences{defaults};
    QList<std::pair<QList<QUrl>, bool>> rewrites;
    QStringList failures;
    std::unique_ptr<NBEWorkspaceGit> sync;
    std::unique_ptr<NBEWorkspaceHistory> history;

    void SetUp() override
    {
        QDir().mkpath(root);
        NBEWorkspaceGitHost host;
        host.settleTabs = [this](const std::optional<QList<QUrl>> &files, bool saveEdits) {
            rewrites.append({files.value_or(QList<QUrl>()), saveEdits});
            return QtFuture::makeReadyFuture(std::optional(NBEGitRewrittenTabs{}));
        };
        host.reloadTabs = [](const NBEGitRewrittenTabs &) { return QtFuture::makeReadyFuture(); };
        sync = std::make_unique<NBEWorkspaceGit>(service, state, preferences, nullptr,
                                                 NBEWorkspaceGit::Settings{}, host);
        history = std::make_unique<NBEWorkspaceHistory>(service, state, *sync);
        QObject::connect(history.get(), &NBEWorkspaceHistory::failed,
                         [this](const QString &message) { failures.append(message); });
    }
    void git(const QStringList &args) { NBETest::git(root, args); }
    void commit(const char *name, const QByteArray &text)
    {
        NBETest::writeFile(QDir(root).filePath(QString::fromLatin1(name)), text);
        git({"add", "."});
        git({"commit", "-q", "-m", QString::fromLatin1(name) + u' ' + QString::fromUtf8(text)});
    }
};

} // namespace

TEST_F(HistoryAlone, RevertAsksTheHostForTheCommitsFilesAndReloads)
{
    git({"init", "-q", "-b", "main"});
    commit("a.txt", "one");
    commit("b.txt", "two");
    NBETest::await(NBETest::refreshIn(state, QUrl::fromLocalFile(root)));
    QSignalSpy changed(history.get(), &NBEWorkspaceHistory::gitHistoryChanged);
    await(history->loadHistory());
    ASSERT_EQ(history->gitHistory().size(), 2);
    EXPECT_EQ(changed.size(), 1);

    await(history->revertCommit(history->gitHistory().first()));
    ASSERT_EQ(rewrites.size(), 1);
    EXPECT_EQ(rewrites[0].first,
              QList{QUrl::fromLocalFile(QDir(root).filePath(QStringLiteral("b.txt")))});
    // Unsaved edits are written first, so git refuses to revert over them.
    EXPECT_TRUE(rewrites[0].second);
    EXPECT_EQ(history->gitHistory().size(), 3);
    EXPECT_FALSE(QFileInfo::exists(QDir(root).filePath(QStringLiteral("b.txt"))));

    // A tag git refuses is reported.
    EXPECT_TRUE(await(history->createTag(QStringLiteral("v1"), history->gitHistory()[1], {})));
    EXPECT_TRUE(failures.isEmpty());
    EXPECT_FALSE(await(history->createTag(QStringLiteral("v1"), history->gitHistory()[1], {})));
    EXPECT_EQ(failures.size(), 1);
}
