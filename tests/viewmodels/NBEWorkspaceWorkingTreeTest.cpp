#include "NBEWorkspaceFixture.h"

#include "NBEGitTranslation.h"
#include "NBELineDiff.h"

#include <QDirIterator>
#include <QStandardPaths>

#include <algorithm>
#include <cstdio>

using NBETest::await;

namespace {

class WorkingTree : public NBEWorkspaceFixture
{
protected:
    void SetUp() override
    {
        NBEWorkspaceFixture::SetUp();
        // The home trash needs its data folder to exist.
        QDir().mkpath(dataFolder());
    }

    static QString dataFolder()
    {
        return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    }
    static QByteArray trashed(const QString &name)
    {
        return NBETest::readFile(dataFolder() + "/Trash/files/" + name);
    }

    QStringList gitLines(const QStringList &args)
    {
        return QString::fromUtf8(NBETest::git(root, args)).split(u'\n', Qt::SkipEmptyParts);
    }
    QStringList staged() { return gitLines({"diff", "--cached", "--name-only"}); }
    QStringList unstaged() { return gitLines({"diff", "--name-only"}); }
    QByteArray stagedDiff() { return NBETest::git(root, {"diff", "--cached"}); }

    // The gutter's hunks of the file on disk against HEAD.
    QList<NBEDiffHunk> gutter(const QString &name)
    {
        const auto head = await(model->gitState().headContent(url(name)));
        return NBELineDiff::hunks(head.value_or(QString()), QString::fromUtf8(read(name)));
    }

    std::optional<NBEGitFileChange> change(const QString &name) const
    {
        const QString key = NBEFileService::keyPath(url(name));
        for (const NBEGitFileChange &each : model->gitState().snapshot().changes) {
            if (NBEFileService::keyPath(each.url) == key)
                return each;
        }
        return std::nullopt;
    }

    bool treeLists(const QString &name) const
    {
        std::function<bool(const NBEFileTreeNode &)> find = [&](const NBEFileTreeNode &node) {
            if (node.name == name)
                return true;
            return std::any_of(node.children.cbegin(), node.children.cend(), find);
        };
        return find(*model->files().workspace()->fileTree);
    }

    static QStringList leftoverPatches()
    {
        QStringList found;
        QDirIterator it(QDir::tempPath(), {QStringLiteral("nbe-hunk-*.patch")}, QDir::Files);
        while (it.hasNext())
            found.append(it.next());
        return found;
    }

    std::optional<NBEOpenTab> tabFor(const QString &name) const
    {
        for (const NBEOpenTab &tab : model->tabs().tabs()) {
            if (tab.sourceFile.url == url(name))
                return tab;
        }
        return std::nullopt;
    }
};

QByteArray numbered(int count)
{
    QByteArray text;
    for (int i = 1; i <= count; ++i)
        text += "line " + QByteArray::number(i) + "\n";
    return text;
}

} // namespace

TEST_F(WorkingTree, StagesAndUnstagesOneFileOrEverything)
{
    commitAndLoad({{"a.html", "a\n"}, {"b.css", "b\n"}});
    write("a.html", "a2\n");
    write("b.css", "b2\n");
    write("new.js", "n\n");
    await(model->gitState().refresh());

    // Each future ends with the refreshed state in place.
    await(model->workingTree().stage(url("a.html")));
    EXPECT_EQ(staged(), QStringList{"a.html"});
    EXPECT_EQ(change("a.html")->index, u'M');
    EXPECT_TRUE(model->gitState().hasStagedChanges());

    await(model->workingTree().unstage(url("a.html")));
    EXPECT_TRUE(staged().isEmpty());
    EXPECT_EQ(change("a.html")->index, u' ');
    EXPECT_FALSE(model->gitState().hasStagedChanges());

    await(model->workingTree().stageAllChanges());
    EXPECT_EQ(staged(), (QStringList{"a.html", "b.css", "new.js"}));
    EXPECT_EQ(change("new.js")->index, u'A');

    await(model->workingTree().unstageAllChanges());
    EXPECT_TRUE(staged().isEmpty());
    EXPECT_EQ(model->gitState().status(url("new.js")), NBEGitStatus::untracked);
    EXPECT_FALSE(model->errorMessage().has_value());
}

// Before the first commit there is no HEAD to take the index back to: a
// staged file leaves the index, and discarding it trashes it.
TEST_F(WorkingTree, BeforeTheFirstCommitFilesUnstageAndDiscard)
{
    write("index.html", "<p>hi</p>\n");
    write("style.css", "p{}\n");
    git({"init", "-q"});
    load();
    await(model->workingTree().stageAllChanges());
    ASSERT_EQ(staged(), (QStringList{"index.html", "style.css"}));

    await(model->workingTree().unstage(url("index.html")));
    EXPECT_EQ(staged(), QStringList{"style.css"});
    EXPECT_EQ(model->gitState().status(url("index.html")), NBEGitStatus::untracked);
    EXPECT_EQ(read("index.html"), "<p>hi</p>\n");

    await(model->workingTree().discardChanges(url("style.css")));
    EXPECT_FALSE(QFile::exists(path("style.css")));
    EXPECT_EQ(trashed("style.css"), "p{}\n");
    EXPECT_TRUE(staged().isEmpty());
    EXPECT_FALSE(model->errorMessage().has_value()) << model->errorMessage()->toStdString();
}

TEST_F(WorkingTree, OutsideARepositoryNothingHappens)
{
    write("a.html", "a\n");
    load();
    await(model->workingTree().stage(url("a.html")));
    await(model->workingTree().discardChanges(url("a.html")));
    EXPECT_TRUE(await(model->workingTree().diff(url("a.html"))).isEmpty());
    NBEDiffHunk hunk;
    EXPECT_FALSE(await(model->workingTree().stageHunk(hunk, url("a.html"))));
    EXPECT_FALSE(await(model->workingTree().unstageHunk(hunk, url("a.html"))));
    EXPECT_FALSE(await(model->workingTree().isHunkStaged(hunk, url("a.html"))));
    EXPECT_EQ(read("a.html"), "a\n");
    EXPECT_FALSE(model->errorMessage().has_value());
}

TEST_F(WorkingTree, DiffOfUntrackedModifiedAndUnchangedFiles)
{
    commitAndLoad({{"same.css", "x\n"}, {"page.html", "one\ntwo\n"}});
    write("new.js", "a\nb\nc\n");
    write("page.html", "one\nTWO\n");
    await(model->gitState().refresh());

    const QList<NBEGitDiffLine> added = await(model->workingTree().diff(url("new.js")));
    QStringList additions;
    for (const NBEGitDiffLine &line : added) {
        EXPECT_NE(line.kind, NBEGitDiffLine::Kind::deletion);
        if (line.kind == NBEGitDiffLine::Kind::addition)
            additions.append(line.text);
    }
    EXPECT_EQ(additions, (QStringList{"a", "b", "c"}));

    EXPECT_TRUE(await(model->workingTree().diff(url("same.css"))).isEmpty());

    const QList<NBEGitDiffLine> changed = await(model->workingTree().diff(url("page.html")));
    const auto has = [&](NBEGitDiffLine::Kind kind, const QString &text) {
        return std::any_of(changed.cbegin(), changed.cend(), [&](const NBEGitDiffLine &line) {
            return line.kind == kind && line.text == text;
        });
    };
    EXPECT_TRUE(has(NBEGitDiffLine::Kind::deletion, "two"));
    EXPECT_TRUE(has(NBEGitDiffLine::Kind::addition, "TWO"));
    EXPECT_TRUE(has(NBEGitDiffLine::Kind::context, "one"));
    // No blank row after git's last line.
    EXPECT_EQ(changed.last().kind, NBEGitDiffLine::Kind::addition);
    EXPECT_EQ(changed.last().text, "TWO");
    EXPECT_EQ(added.last().text, "c");
}

// A diff program set up for the terminal (difftastic as diff.external, say)
// prints its own format: the changes and a commit's patch are git's own.
TEST_F(WorkingTree, DiffsAreGitsOwnWhateverDiffProgramIsSetUp)
{
    commitAndLoad({{"page.html", "one\ntwo\n"}});
    const QString program = dir.filePath("difft");
    NBETest::writeFile(program, "#!/bin/sh\necho \"side by side $1\"\n");
    QFile::setPermissions(program, QFile::permissions(program) | QFileDevice::ExeOwner);
    git({"config", "diff.external", program});
    write("page.html", "one\nTWO\n");
    write("new.js", "a\n");
    await(model->gitState().refresh());

    const auto texts = [](const QList<NBEGitDiffLine> &rows, NBEGitDiffLine::Kind kind) {
        QStringList found;
        for (const NBEGitDiffLine &row : rows)
            if (row.kind == kind)
                found.append(row.text);
        return found;
    };
    using Kind = NBEGitDiffLine::Kind;
    const QList<NBEGitDiffLine> changed = await(model->workingTree().diff(url("page.html")));
    EXPECT_EQ(texts(changed, Kind::deletion), QStringList{"two"});
    EXPECT_EQ(texts(changed, Kind::addition), QStringList{"TWO"});
    EXPECT_EQ(texts(await(model->workingTree().diff(url("new.js"))), Kind::addition),
              QStringList{"a"});

    git({"commit", "-qam", "second"});
    const QString sha = QString::fromUtf8(NBETest::git(root, {"rev-parse", "HEAD"})).trimmed();
    const QList<NBEGitDiffLine> patch = await(model->history().commitDiff(sha));
    EXPECT_EQ(texts(patch, Kind::deletion), QStringList{"two"});
    EXPECT_EQ(texts(patch, Kind::addition), QStringList{"TWO"});
}

TEST_F(WorkingTree, DiscardingAModifiedOpenFileReloadsItsTab)
{
    commitAndLoad({{"a.html", "<p>head</p>\n"}, {"b.css", "b\n"}});
    write("a.html", "<p>changed</p>\n");
    const NBEOpenTab before = open("a.html");
    await(model->gitState().refresh());
    model->navigation().setDiffTarget(url("a.html"));

    await(model->workingTree().discardChanges(url("a.html")));
    EXPECT_EQ(read("a.html"), "<p>head</p>\n");
    const auto tab = tabFor("a.html");
    ASSERT_TRUE(tab);
    EXPECT_EQ(tab->id, before.id);
    EXPECT_NE(tab->sourceFile.id, before.sourceFile.id);
    EXPECT_EQ(tab->sourceFile.content(), "<p>head</p>\n");
    EXPECT_FALSE(tab->sourceFile.isDirty());
    EXPECT_FALSE(model->navigation().diffTarget().has_value());
    EXPECT_TRUE(model->gitState().snapshot().changes.isEmpty());
    EXPECT_FALSE(model->errorMessage().has_value());
    EXPECT_TRUE(desktop->questions.isEmpty());
}

TEST_F(WorkingTree, DiscardingStagedAndUnstagedChangesGoesBackToHEAD)
{
    commitAndLoad({{"a.css", "one\n"}});
    write("a.css", "two\n");
    git({"add", "a.css"});
    write("a.css", "three\n");
    await(model->gitState().refresh());
    EXPECT_EQ(change("a.css")->index, u'M');
    EXPECT_EQ(change("a.css")->worktree, u'M');

    await(model->workingTree().discardChanges(url("a.css")));
    EXPECT_EQ(read("a.css"), "one\n");
    EXPECT_TRUE(staged().isEmpty());
    EXPECT_TRUE(unstaged().isEmpty());
    EXPECT_TRUE(model->gitState().snapshot().changes.isEmpty());
}

TEST_F(WorkingTree, DiscardingAnUntrackedFileTrashesItAndClosesItsTab)
{
    commitAndLoad({{"a.html", "a\n"}});
    write("new.html", "fresh\n");
    await(model->files().refreshFileTree());
    open("a.html");
    const NBEOpenTab tab = open("new.html");
    ASSERT_TRUE(treeLists("new.html"));
    model->navigation().setDiffTarget(url("new.html"));

    await(model->workingTree().discardChanges(url("new.html")));
    EXPECT_FALSE(QFile::exists(path("new.html")));
    EXPECT_EQ(trashed("new.html"), "fresh\n");
    EXPECT_FALSE(tabFor("new.html"));
    EXPECT_NE(model->tabs().activeTabID(), tab.id);
    EXPECT_EQ(model->tabs().activeTab()->sourceFile.url, url("a.html"));
    EXPECT_FALSE(treeLists("new.html"));
    EXPECT_FALSE(model->gitState().status(url("new.html")).has_value());
    EXPECT_FALSE(model->navigation().diffTarget().has_value());
}

// Restoring a file that HEAD lacks would delete it for good; it goes to the
// trash like an untracked one and leaves the index.
TEST_F(WorkingTree, DiscardingAnAddedFileTrashesIt)
{
    commitAndLoad({{"a.html", "a\n"}});
    write("added.js", "keep me\n");
    git({"add", "added.js"});
    await(model->gitState().refresh());
    ASSERT_EQ(model->gitState().status(url("added.js")), NBEGitStatus::added);

    await(model->workingTree().discardChanges(url("added.js")));
    EXPECT_FALSE(QFile::exists(path("added.js")));
    EXPECT_EQ(trashed("added.js"), "keep me\n");
    EXPECT_TRUE(staged().isEmpty());
    EXPECT_TRUE(model->gitState().snapshot().changes.isEmpty());
    EXPECT_FALSE(model->errorMessage().has_value());
}

// A staged rename has no text at HEAD under its new name: the file it came
// from comes back, and the renamed file, edits and all, goes to the trash.
TEST_F(WorkingTree, DiscardingARenameBringsBackTheFileItCameFrom)
{
    commitAndLoad({{"style.css", "p{}\n"}, {"index.html", "<p>hi</p>\n"}});
    git({"mv", "style.css", "site.css"});
    write("site.css", "p{color:red}\n");
    await(model->gitState().refresh());
    ASSERT_EQ(model->gitState().status(url("site.css")), NBEGitStatus::renamed);

    await(model->workingTree().discardChanges(url("site.css")));
    EXPECT_EQ(read("style.css"), "p{}\n");
    EXPECT_FALSE(QFile::exists(path("site.css")));
    EXPECT_EQ(trashed("site.css"), "p{color:red}\n");
    EXPECT_TRUE(staged().isEmpty());
    EXPECT_TRUE(model->gitState().snapshot().changes.isEmpty());
    EXPECT_FALSE(model->errorMessage().has_value()) << model->errorMessage()->toStdString();
}

// A rename shows as one staged row: unstaging it leaves nothing staged,
// not the deletion of the file it came from, which a commit would take.
TEST_F(WorkingTree, UnstagingARenameUnstagesTheFileItCameFromToo)
{
    commitAndLoad({{"style.css", "p{}\n"}, {"index.html", "<p>hi</p>\n"}});
    QFile::rename(path("style.css"), path("site.css"));
    await(model->workingTree().stageAllChanges());
    ASSERT_EQ(model->gitState().status(url("site.css")), NBEGitStatus::renamed);

    await(model->workingTree().unstage(url("site.css")));
    EXPECT_TRUE(staged().isEmpty()) << staged().join(u' ').toStdString();
    EXPECT_FALSE(model->gitState().hasStagedChanges());
    EXPECT_EQ(model->gitState().status(url("style.css")), NBEGitStatus::deleted);
    EXPECT_EQ(change("style.css")->index, u' ');
    EXPECT_EQ(model->gitState().status(url("site.css")), NBEGitStatus::untracked);
    EXPECT_EQ(read("site.css"), "p{}\n");
    EXPECT_FALSE(model->errorMessage().has_value()) << model->errorMessage()->toStdString();

    // Staged again, the rename is whole once more.
    await(model->workingTree().stageAllChanges());
    EXPECT_EQ(model->gitState().status(url("site.css")), NBEGitStatus::renamed);
}

TEST_F(WorkingTree, DiscardThatGitRefusesNamesTheFile)
{
    commitAndLoad({{"a.html", "a\n"}});
    model->navigation().setDiffTarget(url("index.html"));
    await(model->workingTree().discardChanges(url("index.html")));
    // git's own reason follows the file's name.
    ASSERT_TRUE(model->errorMessage().has_value());
    EXPECT_TRUE(model->errorMessage()->startsWith(
        QStringLiteral("Couldn't discard changes to index.html: Pathspec")))
        << model->errorMessage()->toStdString();
    EXPECT_FALSE(model->navigation().diffTarget().has_value());
}

TEST_F(WorkingTree, UnsavedEditsAreAskedAboutBeforeADiscard)
{
    commitAndLoad({{"a.css", "head\n"}});
    write("a.css", "on disk\n");
    const NBEOpenTab tab = open("a.css");
    await(model->gitState().refresh());

    // Cancel: neither the file nor the tab changes.
    model->tabs().updateContent("typed\n", tab.id);
    desktop->answer = NBEUnsavedChangesChoice::Cancel;
    await(model->workingTree().discardChanges(url("a.css")));
    EXPECT_EQ(desktop->questions, QList<QStringList>{{"a.css"}});
    EXPECT_EQ(read("a.css"), "on disk\n");
    EXPECT_EQ(tabFor("a.css")->sourceFile.content(), "typed\n");

    // Save: the file goes back to HEAD, the edits stay in the tab, unsaved.
    desktop->answer = NBEUnsavedChangesChoice::Save;
    await(model->workingTree().discardChanges(url("a.css")));
    EXPECT_EQ(read("a.css"), "head\n");
    EXPECT_EQ(tabFor("a.css")->sourceFile.content(), "typed\n");
    EXPECT_TRUE(tabFor("a.css")->sourceFile.isDirty());

    // Don't Save: the tab shows HEAD's text, clean.
    write("a.css", "on disk again\n");
    await(model->gitState().refresh());
    desktop->answer = NBEUnsavedChangesChoice::DontSave;
    await(model->workingTree().discardChanges(url("a.css")));
    EXPECT_EQ(read("a.css"), "head\n");
    EXPECT_EQ(tabFor("a.css")->sourceFile.content(), "head\n");
    EXPECT_FALSE(tabFor("a.css")->sourceFile.isDirty());
    EXPECT_EQ(desktop->questions.size(), 3);
}

TEST_F(WorkingTree, TextTypedWhileGitRunsIsNotReplaced)
{
    commitAndLoad({{"a.css", "head\n"}});
    write("a.css", "on disk\n");
    const NBEOpenTab tab = open("a.css");
    await(model->gitState().refresh());

    const QFuture<void> discard = model->workingTree().discardChanges(url("a.css"));
    model->tabs().updateContent("typed meanwhile\n", tab.id);
    await(discard);
    EXPECT_EQ(read("a.css"), "head\n");
    EXPECT_EQ(tabFor("a.css")->sourceFile.content(), "typed meanwhile\n");
    EXPECT_TRUE(tabFor("a.css")->sourceFile.isDirty());
    EXPECT_TRUE(desktop->questions.isEmpty());
}

TEST_F(WorkingTree, UntrackedFileWithKeptEditsKeepsItsTab)
{
    commitAndLoad({{"a.html", "a\n"}});
    write("draft.md", "draft\n");
    const NBEOpenTab tab = open("draft.md");
    await(model->gitState().refresh());
    model->tabs().updateContent("draft, more\n", tab.id);
    desktop->answer = NBEUnsavedChangesChoice::Save;

    await(model->workingTree().discardChanges(url("draft.md")));
    EXPECT_FALSE(QFile::exists(path("draft.md")));
    ASSERT_TRUE(tabFor("draft.md"));
    EXPECT_EQ(tabFor("draft.md")->sourceFile.content(), "draft, more\n");
    EXPECT_TRUE(tabFor("draft.md")->sourceFile.isDirty());
}

// git joins changes a few lines apart into one hunk of its own; staging one
// gutter hunk must still take only its own lines.
TEST_F(WorkingTree, HunksStageAndUnstageOneByOne)
{
    commitAndLoad({{"page.html", numbered(20)}});
    QByteArray edited = numbered(20);
    edited.replace("line 5\n", "line five\n");
    edited.replace("line 10\n", "line ten\n");
    write("page.html", edited);
    await(model->gitState().refresh());
    const QList<NBEDiffHunk> hunks = gutter("page.html");
    ASSERT_EQ(hunks.size(), 2);
    ASSERT_EQ(NBETest::git(root, {"diff"}).count("\n@@"), 1);
    const QStringList before = leftoverPatches();

    EXPECT_FALSE(await(model->workingTree().isHunkStaged(hunks[0], url("page.html"))));
    EXPECT_TRUE(await(model->workingTree().stageHunk(hunks[0], url("page.html"))));
    EXPECT_TRUE(stagedDiff().contains("+line five\n"));
    EXPECT_FALSE(stagedDiff().contains("ten"));
    EXPECT_TRUE(await(model->workingTree().isHunkStaged(hunks[0], url("page.html"))));
    EXPECT_FALSE(await(model->workingTree().isHunkStaged(hunks[1], url("page.html"))));
    // The refresh after it shows the file as staged and still changed.
    EXPECT_EQ(change("page.html")->index, u'M');
    EXPECT_EQ(change("page.html")->worktree, u'M');

    EXPECT_TRUE(await(model->workingTree().stageHunk(hunks[1], url("page.html"))));
    EXPECT_TRUE(unstaged().isEmpty());

    EXPECT_TRUE(await(model->workingTree().unstageHunk(hunks[0], url("page.html"))));
    EXPECT_FALSE(await(model->workingTree().isHunkStaged(hunks[0], url("page.html"))));
    EXPECT_TRUE(await(model->workingTree().isHunkStaged(hunks[1], url("page.html"))));
    EXPECT_FALSE(stagedDiff().contains("five"));
    EXPECT_TRUE(stagedDiff().contains("+line ten\n"));
    EXPECT_EQ(read("page.html"), edited);
    EXPECT_FALSE(model->errorMessage().has_value());
    EXPECT_EQ(leftoverPatches(), before);
}

// The index doesn't have lines added above a staged change since, so the
// change is found by its place in HEAD, not in the buffer.
TEST_F(WorkingTree, UnstagingAHunkBelowNewUnstagedLines)
{
    commitAndLoad({{"page.html", numbered(20)}});
    QByteArray edited = numbered(20);
    edited.replace("line 10\n", "line ten\n");
    write("page.html", edited);
    ASSERT_TRUE(
        await(model->workingTree().stageHunk(gutter("page.html").value(0), url("page.html"))));

    write("page.html", "new 1\nnew 2\nnew 3\nnew 4\nnew 5\nnew 6\n" + edited);
    const QList<NBEDiffHunk> hunks = gutter("page.html");
    ASSERT_EQ(hunks.size(), 2);
    EXPECT_EQ(hunks[1].newStart, 16);
    EXPECT_FALSE(await(model->workingTree().isHunkStaged(hunks[0], url("page.html"))));
    EXPECT_TRUE(await(model->workingTree().isHunkStaged(hunks[1], url("page.html"))));

    EXPECT_TRUE(await(model->workingTree().unstageHunk(hunks[1], url("page.html"))));
    EXPECT_TRUE(staged().isEmpty());
    EXPECT_FALSE(await(model->workingTree().isHunkStaged(hunks[1], url("page.html"))));
    EXPECT_FALSE(model->errorMessage().has_value());
}

TEST_F(WorkingTree, HunkWithNothingToMoveIsFalseWithoutAMessage)
{
    commitAndLoad({{"page.html", numbered(10)}});
    QByteArray edited = numbered(10);
    edited.replace("line 2\n", "line two\n");
    write("page.html", edited);
    await(model->gitState().refresh());

    // An edit the file on disk doesn't have.
    NBEDiffHunk unsaved;
    unsaved.kind = NBEDiffHunk::Kind::modified;
    unsaved.oldStart = 8;
    unsaved.oldLines = QStringList{"line 8"};
    unsaved.newStart = 8;
    unsaved.newLines = QStringList{"line eight"};
    EXPECT_FALSE(await(model->workingTree().stageHunk(unsaved, url("page.html"))));
    // Not in the index either: the popover offers Stage (which writes the
    // buffer first), not an Unstage that would do nothing.
    EXPECT_FALSE(await(model->workingTree().isHunkStaged(unsaved, url("page.html"))));
    // Nothing is staged, so nothing of it can be unstaged either.
    const NBEDiffHunk real = gutter("page.html").value(0);
    EXPECT_FALSE(await(model->workingTree().unstageHunk(real, url("page.html"))));
    EXPECT_FALSE(model->errorMessage().has_value());
    EXPECT_TRUE(staged().isEmpty());
}

// The sentence for a hunk with nothing to move is known by what it means,
// not by its English words.
TEST_F(WorkingTree, TranslatedHunkWithNothingToMoveIsStillWithoutAMessage)
{
    const NBETest::GitTranslation translation;
    commitAndLoad({{"page.html", numbered(10)}});
    QByteArray edited = numbered(10);
    edited.replace("line 2\n", "line two\n");
    write("page.html", edited);
    await(model->gitState().refresh());
    const NBEDiffHunk hunk = gutter("page.html").value(0);
    EXPECT_FALSE(await(model->workingTree().unstageHunk(hunk, url("page.html"))));
    EXPECT_FALSE(model->errorMessage().has_value()) << model->errorMessage()->toStdString();
}

TEST_F(WorkingTree, FailedApplyShowsGitsMessageAndStillRefreshes)
{
    commitAndLoad({{"page.html", numbered(10)}, {"other.css", "x\n"}});
    QByteArray edited = numbered(10);
    edited.replace("line 2\n", "line two\n");
    write("page.html", edited);
    const NBEDiffHunk hunk = gutter("page.html").value(0);
    const QStringList before = leftoverPatches();
    // Another git holds the index.
    write(".git/index.lock", "");
    write("other.css", "changed\n");

    EXPECT_FALSE(await(model->workingTree().stageHunk(hunk, url("page.html"))));
    const QString message = model->errorMessage().value_or(QString());
    EXPECT_TRUE(message.contains("index.lock")) << message.toStdString();
    EXPECT_EQ(message, message.trimmed());
    EXPECT_EQ(model->gitState().status(url("other.css")), NBEGitStatus::modified);
    EXPECT_EQ(leftoverPatches(), before);
    QFile::remove(path(".git/index.lock"));
    EXPECT_TRUE(staged().isEmpty());
}

TEST_F(WorkingTree, FlushSaysWhetherTheBufferWasWritten)
{
    const QUuid id = loadAndEdit("a.css", "a\n", "a, flushed\n");
    EXPECT_TRUE(await(model->saving().flushTab(id)));
    EXPECT_EQ(read("a.css"), "a, flushed\n");
    EXPECT_FALSE(model->tab(id)->sourceFile.isDirty());
    EXPECT_TRUE(await(model->saving().flushTab(QUuid::createUuid())));

    model->tabs().updateContent("lost?\n", id);
    blockWrites("a.css");
    EXPECT_FALSE(await(model->saving().flushTab(id)));
    EXPECT_TRUE(model->errorMessage().value_or(QString()).startsWith("Failed to save: "));
    EXPECT_TRUE(model->tab(id)->sourceFile.isDirty());
}

TEST_F(WorkingTree, DiffTargetAnnouncesOnlyRealChanges)
{
    int announced = 0;
    QObject::connect(&model->navigation(), &NBEWorkspaceNavigation::diffTargetChanged,
                     [&announced] { ++announced; });
    model->navigation().setDiffTarget(url("a.html"));
    model->navigation().setDiffTarget(url("a.html"));
    EXPECT_EQ(announced, 1);
    model->navigation().setDiffTarget(std::nullopt);
    model->navigation().setDiffTarget(std::nullopt);
    EXPECT_EQ(announced, 2);
}

// Another git holds the index: every action fails with git's own reason,
// which names the lock, instead of nothing or a guess.
TEST_F(WorkingTree, ALockedIndexIsNamedByEveryAction)
{
    commitAndLoad({{"a.html", "a\n"}, {"b.html", "b\n"}});
    git({"branch", "other"});
    write("a.html", "changed\n");
    write("b.html", "staged\n");
    git({"add", "b.html"});
    await(model->gitState().refresh());
    NBETest::writeFile(path(".git/index.lock"), {});
    model->commitBox().setCommitMessage(QStringLiteral("Blocked"));

    const QList<std::pair<const char *, std::function<void()>>> actions{
        {"stage", [&] { await(model->workingTree().stage(url("a.html"))); }},
        {"unstage", [&] { await(model->workingTree().unstage(url("b.html"))); }},
        {"stage all", [&] { await(model->workingTree().stageAllChanges()); }},
        {"unstage all", [&] { await(model->workingTree().unstageAllChanges()); }},
        {"discard", [&] { await(model->workingTree().discardChanges(url("a.html"))); }},
        {"commit", [&] { EXPECT_FALSE(await(model->commitBox().commit(false))); }},
        {"switch branch",
         [&] { await(model->workspaceGit().switchBranch(QStringLiteral("other"))); }},
    };
    for (const auto &[name, act] : actions) {
        model->clearErrorMessage();
        act();
        ASSERT_TRUE(model->errorMessage().has_value()) << name;
        EXPECT_TRUE(model->errorMessage()->contains(QStringLiteral("index.lock': File exists")))
            << name << ": " << model->errorMessage()->toStdString();
    }
    EXPECT_EQ(staged(), QStringList{QStringLiteral("b.html")});
    EXPECT_EQ(read("a.html"), "changed\n");
}

// A name whose bytes aren't UTF-8 can't be spelled back to the disk: its
// row's diff and actions say so instead of "No changes" or nothing.
TEST_F(WorkingTree, ANameThatIsntUtf8IsRefusedWithASentence)
{
    const QByteArray raw = QFile::encodeName(root) + "/caf\xe9.css";
    const auto writeRaw = [&](const char *text) {
        FILE *file = std::fopen(raw.constData(), "w");
        ASSERT_TRUE(file);
        std::fputs(text, file);
        std::fclose(file);
    };
    writeRaw("one\n");
    commitAndLoad({});
    writeRaw("two\n");
    await(model->gitState().refresh());
    ASSERT_EQ(model->gitState().snapshot().changes.size(), 1);
    const QUrl row = model->gitState().snapshot().changes.first().url;

    const QList<NBEGitDiffLine> lines = await(model->workingTree().diff(row));
    ASSERT_EQ(lines.size(), 1);
    EXPECT_EQ(lines.first().kind, NBEGitDiffLine::Kind::meta);
    EXPECT_TRUE(lines.first().text.contains(QStringLiteral("isn't valid UTF-8")));
    for (const auto &act :
         {std::function<void()>([&] { await(model->workingTree().stage(row)); }),
          std::function<void()>([&] { await(model->workingTree().discardChanges(row)); })}) {
        model->clearErrorMessage();
        act();
        ASSERT_TRUE(model->errorMessage().has_value());
        EXPECT_TRUE(model->errorMessage()->contains(QStringLiteral("isn't valid UTF-8")));
    }
    // Stage All still takes it, by git's own listing.
    await(model->workingTree().stageAllChanges());
    EXPECT_EQ(staged().size(), 1);
}
