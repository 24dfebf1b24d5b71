#include "NBEGitService.h"
#include "NBEFileService.h"
#include "NBEGitSyncMessage.h"
#include "NBESentenceTranslation.h"
#include "NBETestSupport.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSet>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using NBETest::await;
using NBETest::git;
using NBETest::readFile;
using NBETest::writeFile;

namespace {

// A repository in a temporary folder with one commit of "index.html".
class GitRepositoryTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_root = QFileInfo(m_dir.path()).canonicalFilePath() + QStringLiteral("/repo");
        QDir().mkpath(m_root);
        git(m_root, {"init", "-q"});
        writeFile(file("index.html"), "<p>one</p>\n");
        git(m_root, {"add", "."});
        git(m_root, {"commit", "-q", "-m", "First"});
    }

    QString file(const QString &relative) const { return m_root + u'/' + relative; }
    QUrl url(const QString &relative) const { return QUrl::fromLocalFile(file(relative)); }
    QUrl repo() const { return QUrl::fromLocalFile(m_root); }
    QString scratch(const QString &name) const { return m_dir.filePath(name); }

    QTemporaryDir m_dir;
    QString m_root;
    NBEGitService m_service;
};

// A stand-in for git that records how it was started, or fails silently.
QUrl fakeGit(const QString &folder, const QByteArray &body)
{
    const QString path = folder + QStringLiteral("/fake-git");
    writeFile(path, "#!/bin/sh\n" + body);
    QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::ExeOwner);
    return QUrl::fromLocalFile(path);
}

QSet<QString> statusLetters(const QList<NBEGitFileChange> &changes, const QString &root)
{
    QSet<QString> result;
    for (const NBEGitFileChange &change : changes)
        result.insert(QString(change.index) + change.worktree + u' ' +
                      change.id().mid(root.size() + 1));
    return result;
}

// The status map says of each path what its first change says, under the
// file service's key.
void expectStatusByPathAgrees(const NBEGitWorkingState &state)
{
    QHash<QString, NBEGitStatus> expected;
    for (const NBEGitFileChange &change : state.changes) {
        const QString key = NBEFileService::keyPath(change.url);
        if (!expected.contains(key))
            expected.insert(key, change.overallStatus());
    }
    EXPECT_EQ(state.statusByPath, expected);
}

// The one status run says what the separate queries say.
void expectWorkingStateAgrees(NBEGitService &service, const QUrl &repository)
{
    const auto state = await(service.index().workingState(repository));
    ASSERT_TRUE(state);
    expectStatusByPathAgrees(*state);
    EXPECT_EQ(state->branch, await(service.currentBranch(repository)));
    EXPECT_EQ(state->headSHA, await(service.headSHA(repository)));
    EXPECT_EQ(state->aheadBehind, await(service.remote().aheadBehind(repository)));
    const QString root = repository.toLocalFile();
    EXPECT_EQ(statusLetters(state->changes, root),
              statusLetters(await(service.index().changes(repository)), root));

    // The overview's queries, the status beside the others, answer as alone.
    const NBEGitOverview overview = await(service.overview(repository));
    EXPECT_EQ(overview.working, state);
    EXPECT_EQ(overview.branches, await(service.history().branches(repository)));
    EXPECT_EQ(overview.remotes, await(service.remote().remotes(repository)));
    EXPECT_EQ(overview.unpushed, await(service.remote().unpushedCount(repository)));
    EXPECT_EQ(overview.browserAuth, await(service.remote().hasBrowserAuthHelper(repository)));
    EXPECT_EQ(overview.merge, await(service.history().mergeState(repository)));
}

} // namespace

TEST(NBEGitServiceParsers, WorkingStateOfOneStatusRun)
{
    const QUrl root = QUrl::fromLocalFile(QStringLiteral("/r"));
    const QByteArray output = QByteArrayLiteral(
        "# branch.oid 0123abcd\0# branch.head feature/x\0# branch.upstream origin/x\0"
        "# branch.ab +2 -5\0"
        "1 .M N... 100644 100644 100644 aa bb a b.txt\0"
        "2 R. N... 100644 100644 100644 aa bb R100 new name\0old name\0"
        "u UU N... 100644 100644 100644 100644 aa bb cc both\0"
        "? caf\xc3\xa9/\xe6\x97\xa5.md\0");
    const auto state = NBEGitOutput::parseWorkingState(output, root);
    ASSERT_TRUE(state);
    EXPECT_EQ(state->branch, QStringLiteral("feature/x"));
    EXPECT_EQ(state->headSHA, QStringLiteral("0123abcd"));
    EXPECT_EQ(state->aheadBehind, (NBEGitAheadBehind{2, 5}));
    EXPECT_EQ(
        statusLetters(state->changes, QStringLiteral("/r")),
        (QSet<QString>{" M a b.txt", "R  new name", "UU both", u"?? caf\u00e9/\u65e5.md"_qs}));
    expectStatusByPathAgrees(*state);

    // Keys are clean paths whatever the root's spelling and the record: a
    // nested repository's folder, hidden files, the filesystem root.
    const QByteArray unusual = QByteArrayLiteral("? nested/\0? dir/.env\0? .hidden/x\0"
                                                 "1 M. N... 100644 100644 100644 aa bb dir/.env\0");
    for (const char *spelling : {"/a/../r/", "/r", "/"}) {
        const auto parsed = NBEGitOutput::parseWorkingState(unusual, QUrl::fromLocalFile(spelling));
        ASSERT_TRUE(parsed) << spelling;
        EXPECT_EQ(parsed->changes.size(), 4) << spelling;
        EXPECT_EQ(parsed->statusByPath.size(), 3) << spelling;
        expectStatusByPathAgrees(*parsed);
    }

    // Before the first commit: no branch and no HEAD; without an upstream
    // that exists, no counts.
    const auto initial = NBEGitOutput::parseWorkingState(
        QByteArrayLiteral(
            "# branch.oid (initial)\0# branch.head main\0# branch.upstream origin/main\0"),
        root);
    ASSERT_TRUE(initial);
    EXPECT_EQ(*initial, NBEGitWorkingState{});
    for (const QByteArray &garbage :
         {QByteArrayLiteral("x y\0"), QByteArrayLiteral("1 .M N...\0"), QByteArrayLiteral("? \0")})
        EXPECT_FALSE(NBEGitOutput::parseWorkingState(garbage, root)) << garbage.constData();
}

// The changes of a run read with an earlier one are those of reading it
// alone; those read afresh are the ones its URLs don't share with the earlier.
qsizetype readAfresh(const QByteArray &output, const NBEGitStatusRun &earlier,
                     const QUrl &root = QUrl::fromLocalFile(QStringLiteral("/r")))
{
    const auto alone = NBEGitOutput::parseWorkingState(output, root);
    const auto reused = NBEGitOutput::parseWorkingState(output, root, earlier);
    EXPECT_TRUE(alone && reused);
    if (!alone || !reused)
        return -1;
    EXPECT_EQ(*reused, *alone);
    // Neither one of the earlier entries nor a copy of one.
    const NBEGitFileChange *first = earlier.changes.constData();
    const NBEGitFileChange *last = first + earlier.changes.size();
    return std::count_if(reused->changes.cbegin(), reused->changes.cend(),
                         [&](const NBEGitFileChange &change) {
                             return change.url.isDetached() && (&change < first || &change >= last);
                         });
}

TEST(NBEGitServiceParsers, AnEarlierRunKeepsWhatBothPrintAlike)
{
    const QUrl root = QUrl::fromLocalFile(QStringLiteral("/r"));
    const QByteArray head = QByteArrayLiteral("# branch.oid 0123abcd\0# branch.head main\0");
    const QByteArray modified = QByteArrayLiteral("1 .M N... 100644 100644 100644 aa bb a b.txt\0");
    const QByteArray renamed =
        QByteArrayLiteral("2 R. N... 100644 100644 100644 aa bb R100 new name\0old name\0");
    const QByteArray conflicted =
        QByteArrayLiteral("u UU N... 100644 100644 100644 100644 aa bb cc both\0");
    const QByteArray unicode = QByteArrayLiteral("? caf\xc3\xa9/\xe6\x97\xa5.md\0");
    const QByteArray base = head + modified + renamed + conflicted + unicode;
    const auto parsed = NBEGitOutput::parseWorkingState(base, root);
    ASSERT_TRUE(parsed);
    const NBEGitStatusRun earlier{root, base, parsed->changes, parsed->statusByPath};

    EXPECT_EQ(readAfresh(base, earlier), 0);
    // A new HEAD alone: every change is kept.
    EXPECT_EQ(readAfresh(QByteArrayLiteral("# branch.oid 4567ef\0# branch.head main\0") + modified +
                             renamed + conflicted + unicode,
                         earlier),
              0);
    const QByteArray added = QByteArrayLiteral("? added file.txt\0");
    // What changed is read again, and the record after it.
    EXPECT_EQ(readAfresh(head + added + modified + renamed + conflicted + unicode, earlier), 2);
    EXPECT_EQ(readAfresh(head + modified + renamed + added + conflicted + unicode, earlier), 2);
    EXPECT_EQ(readAfresh(base + added, earlier), 1);
    EXPECT_EQ(readAfresh(head + modified + conflicted + unicode, earlier), 1);
    EXPECT_EQ(readAfresh(head + modified + renamed + unicode, earlier), 1);
    EXPECT_EQ(readAfresh(head +
                             QByteArrayLiteral("1 MM N... 100644 100644 100644 aa bb a b.txt\0") +
                             renamed + conflicted + unicode,
                         earlier),
              2);
    EXPECT_EQ(readAfresh(head + modified +
                             QByteArrayLiteral(
                                 "2 R. N... 100644 100644 100644 aa bb R100 new name\0other\0") +
                             conflicted + unicode,
                         earlier),
              1);
    // A source path that reads like a record, and a record that takes the
    // place of one: each is read as the records around it decide.
    const QByteArray lookalike =
        QByteArrayLiteral("2 R. N... 100644 100644 100644 aa bb R100 x\0? y\0? z\0");
    const auto parsedLookalike = NBEGitOutput::parseWorkingState(head + lookalike, root);
    ASSERT_TRUE(parsedLookalike);
    const NBEGitStatusRun lookalikeRun{root, head + lookalike, parsedLookalike->changes,
                                       parsedLookalike->statusByPath};
    EXPECT_EQ(readAfresh(head + QByteArrayLiteral("? w\0? y\0? z\0"), lookalikeRun), 2);
    EXPECT_EQ(readAfresh(head + QByteArrayLiteral("? x\0") + lookalike, lookalikeRun), 2);

    // Another root reads everything again; so does a run whose paths repeat.
    EXPECT_EQ(readAfresh(base, earlier, QUrl::fromLocalFile(QStringLiteral("/s"))), 4);
    const QByteArray twice = head + QByteArrayLiteral("? dir/.env\0") + modified +
                             QByteArrayLiteral("1 M. N... 100644 100644 100644 aa bb dir/.env\0");
    const auto parsedTwice = NBEGitOutput::parseWorkingState(twice, root);
    ASSERT_TRUE(parsedTwice);
    EXPECT_EQ(
        readAfresh(twice + added, {root, twice, parsedTwice->changes, parsedTwice->statusByPath}),
        1);
    EXPECT_FALSE(NBEGitOutput::parseWorkingState(base + QByteArrayLiteral("x y\0"), root, earlier));
}

// Outputs that differ by a few entries, among them renames whose source
// paths read like records (a rename's too): the run read with an earlier
// one always equals the run read alone.
TEST(NBEGitServiceParsers, AnEarlierRunNeverChangesWhatIsRead)
{
    const QUrl root = QUrl::fromLocalFile(QStringLiteral("/r"));
    const QByteArray rename = QByteArrayLiteral("2 R. N... 100644 100644 100644 aa bb R100 ");
    const QList<QByteArray> entries{
        QByteArrayLiteral("? a"),
        QByteArrayLiteral("? b"),
        QByteArrayLiteral("1 .M N... 100644 100644 100644 aa bb c"),
        rename + QByteArrayLiteral("d") + '\0' + QByteArrayLiteral("? a"),
        rename + QByteArrayLiteral("e") + '\0' + rename + QByteArrayLiteral("f"),
        rename + QByteArrayLiteral("f") + '\0' + QByteArrayLiteral("old"),
    };
    QRandomGenerator random(7);
    const auto randomOutput = [&](QList<int> &picks) {
        QByteArray output = QByteArrayLiteral("# branch.oid 0123abcd\0# branch.head main\0");
        for (int pick : picks)
            output += entries[pick] + '\0';
        return output;
    };
    for (int round = 0; round < 400; ++round) {
        QList<int> picks;
        for (int n = random.bounded(1, 7); n > 0; --n)
            picks.append(random.bounded(int(entries.size())));
        const QByteArray before = randomOutput(picks);
        for (int edits = random.bounded(1, 3); edits > 0; --edits) {
            const int at = random.bounded(int(picks.size()) + 1);
            if (random.bounded(2) == 0 || at == picks.size())
                picks.insert(at, random.bounded(int(entries.size())));
            else
                picks.remove(at);
        }
        const QByteArray after = randomOutput(picks);
        const auto parsed = NBEGitOutput::parseWorkingState(before, root);
        ASSERT_TRUE(parsed);
        SCOPED_TRACE(QByteArray(before).replace('\0', '|').toStdString() + " -> " +
                     QByteArray(after).replace('\0', '|').toStdString());
        readAfresh(after, {root, before, parsed->changes, parsed->statusByPath});
    }
}

TEST(NBEGitServiceParsers, RenameSourcesEntriesAndHeadlinesOfRawOutput)
{
    // A copy's record has two paths too, so the walk must not lose step.
    const QString nameStatus = QStringLiteral("M|a.html|C75|b.css|c.css|R100|old.js|new.js|"
                                              "A|d.txt|R087|c.css|x/e.css|")
                                   .replace(u'|', QChar(0));
    EXPECT_EQ(NBEGitOutput::renameSource(nameStatus, QStringLiteral("new.js")),
              QStringLiteral("old.js"));
    EXPECT_EQ(NBEGitOutput::renameSource(nameStatus, QStringLiteral("x/e.css")),
              QStringLiteral("c.css"));
    EXPECT_EQ(NBEGitOutput::renameSource(nameStatus, QStringLiteral("c.css")), std::nullopt);
    EXPECT_EQ(NBEGitOutput::renameSource(nameStatus, QStringLiteral("old.js")), std::nullopt);
    EXPECT_EQ(NBEGitOutput::renameSource(QString(), QStringLiteral("new.js")), std::nullopt);

    EXPECT_EQ(NBEGitOutput::entryFields(QStringLiteral("100644 5a1b 2\tdir/a b.html\n")),
              (QStringList{QStringLiteral("100644"), QStringLiteral("5a1b"), QStringLiteral("2")}));
    EXPECT_EQ(
        NBEGitOutput::entryFields(QStringLiteral("100755 blob 9c0d\tx.sh\n")),
        (QStringList{QStringLiteral("100755"), QStringLiteral("blob"), QStringLiteral("9c0d")}));
    EXPECT_TRUE(NBEGitOutput::entryFields(QString()).isEmpty());

    EXPECT_EQ(NBEGitOutput::headline(QStringLiteral("  fatal: unable to create 'x.lock': File "
                                                    "exists.\nhint: another git process\n")),
              QStringLiteral("Unable to create 'x.lock': File exists."));
    EXPECT_EQ(NBEGitOutput::headline(QStringLiteral("error: pathspec 'q' did not match")),
              QStringLiteral("Pathspec 'q' did not match."));
    EXPECT_EQ(NBEGitOutput::headline(QString()), QString());
}

TEST_F(GitRepositoryTest, StatusOfEveryKindOfChange)
{
    writeFile(file("rename me.txt"), "rename\n");
    writeFile(file("gone.txt"), "gone\n");
    writeFile(file("-dash.css"), "a{}\n");
    git(m_root, {"add", "."});
    git(m_root, {"commit", "-q", "-m", "More"});

    writeFile(file("index.html"), "<p>two</p>\n");
    writeFile(file(u"caf\u00e9 menu.html"_qs), "new\n");
    git(m_root, {"add", "--", u"caf\u00e9 menu.html"_qs});
    writeFile(file(u"untracked dir/\u65e5\u672c.md"_qs), "#\n");
    QFile::remove(file("gone.txt"));
    git(m_root, {"mv", "rename me.txt", "renamed.txt"});
    writeFile(file("-dash.css"), "b{}\n");

    const auto changes = await(m_service.index().changes(repo()));
    EXPECT_EQ(statusLetters(changes, m_root),
              (QSet<QString>{" M index.html", u"A  caf\u00e9 menu.html"_qs,
                             u"?? untracked dir/\u65e5\u672c.md"_qs, " D gone.txt",
                             "R  renamed.txt", " M -dash.css"}));
    for (const NBEGitFileChange &change : changes)
        EXPECT_TRUE(change.url.isLocalFile() && change.id().startsWith(m_root + u'/'));
    expectWorkingStateAgrees(m_service, repo());

    // With HEAD detached the branch is HEAD's short name.
    git(m_root, {"stash", "-q", "-u"});
    git(m_root, {"checkout", "-q", "--detach"});
    expectWorkingStateAgrees(m_service, repo());
}

TEST_F(GitRepositoryTest, MergeConflictIsRecognised)
{
    git(m_root, {"switch", "-q", "-c", "feature"});
    writeFile(file("index.html"), "<p>feature</p>\n");
    git(m_root, {"commit", "-q", "-am", "Feature"});
    git(m_root, {"switch", "-q", "main"});
    writeFile(file("index.html"), "<p>main</p>\n");
    git(m_root, {"commit", "-q", "-am", "Main"});

    const NBEGitMergeResult merged =
        await(m_service.history().merge(QStringLiteral("feature"), repo()));
    EXPECT_FALSE(merged.ok);
    EXPECT_TRUE(merged.conflicts);
    const auto changes = await(m_service.index().changes(repo()));
    ASSERT_EQ(changes.size(), 1);
    EXPECT_EQ(changes[0].overallStatus(), NBEGitStatus::conflicted);
    expectWorkingStateAgrees(m_service, repo());
    git(m_root, {"merge", "--abort"});

    git(m_root, {"switch", "-q", "-c", "clean", "HEAD~1"});
    writeFile(file("other.txt"), "x\n");
    git(m_root, {"add", "."});
    git(m_root, {"commit", "-q", "-m", "Other"});
    git(m_root, {"switch", "-q", "main"});
    EXPECT_EQ(await(m_service.history().merge(QStringLiteral("clean"), repo())),
              (NBEGitMergeResult{true, std::nullopt, false}));

    const NBEGitMergeResult missing =
        await(m_service.history().merge(QStringLiteral("nowhere"), repo()));
    EXPECT_FALSE(missing.ok);
    EXPECT_FALSE(missing.conflicts);
    EXPECT_TRUE(missing.error->contains(QStringLiteral("nowhere"))) << missing.error->toStdString();
}

TEST_F(GitRepositoryTest, OverviewOfASubfolderReadsTheWholeRepository)
{
    writeFile(file(u"sub dir/caf\u00e9 \u65e5.md"_qs), "new\n");
    writeFile(file("index.html"), "<p>two</p>\n");
    writeFile(file("top.txt"), "top\n");
    const QUrl sub = url(QStringLiteral("sub dir"));
    const NBEGitOverview fromSub = await(m_service.overview(sub));
    EXPECT_EQ(fromSub.root, repo());
    EXPECT_EQ(fromSub.working, await(m_service.index().workingState(repo())));
    EXPECT_EQ(fromSub.branches, await(m_service.history().branches(repo())));
    ASSERT_TRUE(fromSub.working);
    EXPECT_EQ(statusLetters(fromSub.working->changes, m_root),
              (QSet<QString>{" M index.html", "?? top.txt", u"?? sub dir/caf\u00e9 \u65e5.md"_qs}));

    // Read again with the first run: what changed since, and nothing else.
    const NBEGitStatusRun earlier{repo(), fromSub.porcelain, fromSub.working->changes,
                                  fromSub.working->statusByPath};
    QFile::remove(file("top.txt"));
    git(m_root, {"mv", "index.html", "moved.html"});
    writeFile(file("zz last.txt"), "z\n");
    const NBEGitOverview again = await(m_service.overview(sub, earlier));
    EXPECT_EQ(again.working, await(m_service.index().workingState(repo())));
    // Unchanged, the lists are the earlier ones themselves.
    const NBEGitStatusRun latest{repo(), again.porcelain, again.working->changes,
                                 again.working->statusByPath};
    const NBEGitOverview same = await(m_service.overview(repo(), latest));
    ASSERT_TRUE(same.working);
    EXPECT_EQ(same.working->changes.constData(), latest.changes.constData());

    const QString outside = scratch(QStringLiteral("plain"));
    QDir().mkpath(outside);
    const NBEGitOverview none = await(m_service.overview(QUrl::fromLocalFile(outside), latest));
    EXPECT_FALSE(none.root);
    EXPECT_FALSE(none.working);
    EXPECT_TRUE(none.branches.isEmpty());
}

TEST_F(GitRepositoryTest, StagingCommittingAndDiscarding)
{
    writeFile(file("index.html"), "<p>changed</p>\n");
    writeFile(file("new file.txt"), "new\n");
    EXPECT_TRUE(await(m_service.index().stage(url("index.html"), repo())));
    EXPECT_EQ(statusLetters(await(m_service.index().changes(repo())), m_root),
              (QSet<QString>{"M  index.html", "?? new file.txt"}));
    EXPECT_TRUE(await(m_service.index().unstage(url("index.html"), repo())));
    EXPECT_TRUE(await(m_service.index().stageAll(repo())));
    EXPECT_EQ(statusLetters(await(m_service.index().changes(repo())), m_root),
              (QSet<QString>{"M  index.html", "A  new file.txt"}));
    EXPECT_TRUE(await(m_service.index().unstageAll(repo())));
    EXPECT_EQ(statusLetters(await(m_service.index().changes(repo())), m_root),
              (QSet<QString>{" M index.html", "?? new file.txt"}));

    EXPECT_TRUE(await(m_service.index().discardChanges(url("index.html"), repo(), false)));
    EXPECT_EQ(readFile(file("index.html")), "<p>one</p>\n");
    EXPECT_TRUE(await(m_service.index().discardChanges(url("new file.txt"), repo(), true)));
    EXPECT_FALSE(QFile::exists(file("new file.txt")));
    EXPECT_FALSE(await(m_service.index().discardChanges(url("new file.txt"), repo(), true)));
    EXPECT_TRUE(await(m_service.index().changes(repo())).isEmpty());

    writeFile(file("index.html"), "<p>two</p>\n");
    EXPECT_TRUE(await(m_service.index().stageAll(repo())));
    EXPECT_TRUE(await(m_service.history().commit(QStringLiteral("Second\n\nBody"), false, repo())));
    EXPECT_EQ(await(m_service.history().lastCommitMessage(repo())),
              QStringLiteral("Second\n\nBody"));
    EXPECT_TRUE(await(m_service.history().commit(QStringLiteral("-Amended"), true, repo())));
    EXPECT_EQ(await(m_service.history().lastCommitMessage(repo())), QStringLiteral("-Amended"));
    EXPECT_FALSE(await(m_service.history().commit(QStringLiteral("Nothing"), false, repo())));

    const QList<NBEGitCommit> history = await(m_service.history().log(repo(), 100));
    ASSERT_EQ(history.size(), 2);
    EXPECT_EQ(history[0].subject, QStringLiteral("-Amended"));
    EXPECT_EQ(history[1].subject, QStringLiteral("First"));
    EXPECT_EQ(history[0].author, QStringLiteral("Nabri Test"));
    EXPECT_TRUE(history[0].sha.startsWith(history[0].shortSHA));
    EXPECT_EQ(history[0].sha, await(m_service.headSHA(repo())));
    EXPECT_EQ(await(m_service.history().log(repo(), 1)).size(), 1);
}

// Paths are names, never patterns: "[id].js" also matches i.js and d.js,
// "*.css" every style sheet.
TEST_F(GitRepositoryTest, PathsNamedLikePatternsNameOneFile)
{
    const QStringList names{"[id].js", "i.js", "d.js", "*.css", "site.css"};
    for (const QString &name : names)
        writeFile(file(name), "one\n");
    git(m_root, {"add", "."});
    git(m_root, {"commit", "-q", "-m", "Pages"});
    const QString head = QString::fromUtf8(git(m_root, {"rev-parse", "HEAD"})).trimmed();
    for (const QString &name : names)
        writeFile(file(name), "two\n");

    EXPECT_TRUE(await(m_service.index().stage(url("[id].js"), repo())));
    EXPECT_TRUE(await(m_service.index().stage(url("*.css"), repo())));
    const QSet<QString> staged{"M  [id].js", "M  *.css", " M i.js", " M d.js", " M site.css"};
    EXPECT_EQ(statusLetters(await(m_service.index().changes(repo())), m_root), staged);
    const auto diff = await(m_service.index().stagedDiff(url("[id].js"), repo()));
    ASSERT_TRUE(diff.has_value());
    EXPECT_FALSE(diff->contains(QStringLiteral("i.js"))) << diff->toStdString();

    EXPECT_TRUE(await(m_service.index().stageAll(repo())));
    EXPECT_TRUE(await(m_service.index().unstage(url("[id].js"), repo())));
    EXPECT_EQ(statusLetters(await(m_service.index().changes(repo())), m_root),
              (QSet<QString>{" M [id].js", "M  *.css", "M  i.js", "M  d.js", "M  site.css"}));

    EXPECT_TRUE(await(m_service.index().discardChanges(url("*.css"), repo(), false)));
    EXPECT_EQ(readFile(file("*.css")), "one\n");
    EXPECT_EQ(readFile(file("site.css")), "two\n");
    EXPECT_TRUE(await(m_service.history().restoreFile(QStringLiteral("[id].js"), head, repo())));
    EXPECT_EQ(readFile(file("[id].js")), "one\n");
    EXPECT_EQ(readFile(file("i.js")), "two\n");
}

TEST_F(GitRepositoryTest, AStatusOrDiffGitCantReadSaysWhy)
{
    writeFile(file("index.html"), "<p>two</p>\n");
    const QString branch = QString::fromUtf8(git(m_root, {"branch", "--show-current"})).trimmed();
    const QString head = QString::fromUtf8(git(m_root, {"rev-parse", "HEAD"})).trimmed();

    // A HEAD commit whose object is gone: neither the status nor the diff
    // reads, and each says so; the branch and HEAD are still named.
    const QString object = file(".git/objects/") + head.left(2) + u'/' + head.mid(2);
    ASSERT_TRUE(QFile::exists(object));
    const QByteArray saved = readFile(object);
    QFile::setPermissions(object, QFile::permissions(object) | QFileDevice::WriteOwner);
    ASSERT_TRUE(QFile::remove(object));
    const auto diff = await(m_service.index().diff(url("index.html"), repo(), false));
    ASSERT_FALSE(diff);
    EXPECT_EQ(diff.error().description, QStringLiteral("Bad object HEAD."));
    NBEGitOverview overview = await(m_service.overview(repo()));
    EXPECT_EQ(overview.statusError, QStringLiteral("Bad object HEAD."));
    ASSERT_TRUE(overview.working);
    EXPECT_EQ(overview.working->branch, branch);
    EXPECT_EQ(overview.working->headSHA, head);
    EXPECT_TRUE(overview.working->changes.isEmpty());
    writeFile(object, saved);

    // A corrupt index: git's fatal line, not the "error:" one before it.
    overview = await(m_service.overview(repo()));
    EXPECT_FALSE(overview.statusError);
    ASSERT_TRUE(overview.working);
    EXPECT_EQ(overview.working->changes.size(), 1);
    QFile index(file(".git/index"));
    ASSERT_TRUE(index.open(QIODevice::ReadWrite));
    index.write("XXXXXXXXXXXX");
    index.close();
    overview = await(m_service.overview(repo(), {repo(), overview.porcelain, {}, {}}));
    EXPECT_EQ(overview.statusError, QStringLiteral("Index file corrupt."));
    ASSERT_TRUE(overview.working);
    EXPECT_EQ(overview.working->branch, branch);
    EXPECT_FALSE(await(m_service.index().workingState(repo())));
}

TEST_F(GitRepositoryTest, HistoryKeepsRunsOfSeparatorsAndEmptyFields)
{
    const QStringList subjects{QStringLiteral("two \x1e\x1e records"),
                               QStringLiteral("\x1e\x1f\x1f\x1e"), QStringLiteral("end \x1e")};
    for (const QString &subject : subjects)
        git(m_root, {"commit", "-q", "--allow-empty", "-m", subject});
    git(m_root, {"commit", "-q", "--allow-empty", "--allow-empty-message", "-m", ""});

    const auto history = await(m_service.history().log(repo(), 10));
    ASSERT_EQ(history.size(), 5);
    EXPECT_EQ(history[0].subject, QString());
    EXPECT_EQ(history[0].author, QStringLiteral("Nabri Test"));
    for (qsizetype i = 0; i < subjects.size(); ++i) {
        EXPECT_EQ(history[3 - i].subject, subjects[i]);
        EXPECT_EQ(history[3 - i].author, QStringLiteral("Nabri Test"));
        EXPECT_FALSE(history[3 - i].relativeDate.isEmpty());
    }
    EXPECT_EQ(history[4].subject, QStringLiteral("First"));
}

TEST_F(GitRepositoryTest, HistoryCommands)
{
    writeFile(file("style.css"), "a{}\n");
    writeFile(file("index.html"), "<p>two</p>\n");
    git(m_root, {"add", "."});
    const QString separators = QStringLiteral("Odd \x1f subject \x1e here");
    git(m_root, {"commit", "-q", "-m", separators});
    const QString sha = QString::fromUtf8(git(m_root, {"rev-parse", "HEAD"})).trimmed();

    const auto history = await(m_service.history().log(repo(), 10));
    ASSERT_EQ(history.size(), 2);
    EXPECT_EQ(history[0].subject, separators);
    EXPECT_EQ(history[0].author, QStringLiteral("Nabri Test"));
    EXPECT_EQ(history[1].subject, QStringLiteral("First"));

    EXPECT_EQ(await(m_service.history().changedFiles(sha, repo())),
              (QStringList{"index.html", "style.css"}));
    const auto diff = await(m_service.history().commitDiff(sha, repo()));
    ASSERT_TRUE(diff);
    EXPECT_TRUE(diff->startsWith(QStringLiteral("diff --git")));
    EXPECT_TRUE(diff->endsWith(u'\n'));

    EXPECT_TRUE(
        await(m_service.history().restoreFile(QStringLiteral("index.html"), sha + "~1", repo())));
    EXPECT_EQ(readFile(file("index.html")), "<p>one</p>\n");
    git(m_root, {"checkout", "-q", "HEAD", "--", "index.html"});

    EXPECT_EQ(await(m_service.history().revertCommit(sha, repo())), NBEGitResult::success());
    EXPECT_FALSE(QFile::exists(file("style.css")));

    EXPECT_EQ(await(m_service.history().createTag(QStringLiteral("v1"), sha, QString(), repo())),
              NBEGitResult::success());
    EXPECT_EQ(QString::fromUtf8(git(m_root, {"tag", "-n1", "-l", "v1"})).simplified(),
              QStringLiteral("v1 v1"));
    EXPECT_EQ(await(m_service.history().createTag(QStringLiteral("v2"), sha,
                                                  QStringLiteral("Launch"), repo())),
              NBEGitResult::success());
    EXPECT_EQ(QString::fromUtf8(git(m_root, {"tag", "-n1", "-l", "v2"})).simplified(),
              QStringLiteral("v2 Launch"));
    const NBEGitResult again =
        await(m_service.history().createTag(QStringLiteral("v1"), sha, {}, repo()));
    EXPECT_FALSE(again.ok);
    EXPECT_TRUE(again.error->contains(QStringLiteral("already exists")))
        << again.error->toStdString();
}

TEST_F(GitRepositoryTest, BranchesAndRefusedNames)
{
    EXPECT_EQ(await(m_service.currentBranch(repo())), QStringLiteral("main"));
    EXPECT_EQ(await(m_service.history().createBranch(QStringLiteral("feature/x"), repo())),
              NBEGitResult::success());
    EXPECT_EQ(await(m_service.currentBranch(repo())), QStringLiteral("feature/x"));
    EXPECT_EQ(await(m_service.history().branches(repo())), (QStringList{"feature/x", "main"}));

    const NBEGitResult duplicate =
        await(m_service.history().createBranch(QStringLiteral("main"), repo()));
    EXPECT_FALSE(duplicate.ok);
    EXPECT_EQ(duplicate.error, QStringLiteral("fatal: a branch named 'main' already exists"));

    EXPECT_TRUE(await(m_service.history().switchBranch(QStringLiteral("main"), repo())));
    EXPECT_FALSE(await(m_service.history().switchBranch(QStringLiteral("nowhere"), repo())));
    EXPECT_EQ(await(m_service.history().deleteBranch(QStringLiteral("feature/x"), false, repo())),
              NBEGitResult::success());

    // Names that git would read as options never reach it.
    const QString option = QStringLiteral("--orphan=evil");
    EXPECT_EQ(await(m_service.history().createBranch(option, repo())).error,
              u"A branch name can't begin with \u201C-\u201D."_qs);
    EXPECT_FALSE(await(m_service.history().deleteBranch(QStringLiteral("-D"), true, repo())).ok);
    EXPECT_FALSE(await(m_service.history().switchBranch(QStringLiteral("-"), repo())));
    EXPECT_FALSE(await(m_service.history().merge(QStringLiteral("--abort"), repo())).ok);
    EXPECT_EQ(await(m_service.history().createTag(QStringLiteral("-f"), QStringLiteral("HEAD"), {},
                                                  repo()))
                  .error,
              u"A tag name can't begin with \u201C-\u201D."_qs);
    EXPECT_EQ(await(m_service.remote().pushSettingUpstream(QStringLiteral("--mirror"),
                                                           QStringLiteral("main"), repo()))
                  .error,
              u"A remote name can't begin with \u201C-\u201D."_qs);
    EXPECT_FALSE(await(m_service.remote().setOriginURL(QStringLiteral("--upload-pack=touch x"),
                                                       false, repo()))
                     .ok);
    {
        // Each refusal is one sentence to translate.
        const NBETest::SentenceTranslation translation(
            {"NBEGitRunner", "NBEGitHistory", "NBEGitRemote"});
        EXPECT_EQ(await(m_service.history().createTag(QStringLiteral("-f"), QStringLiteral("HEAD"),
                                                      {}, repo()))
                      .error,
                  u"\u00ABA tag name can't begin with \u201C-\u201D.\u00BB"_qs);
        EXPECT_EQ(await(m_service.remote().setOriginURL(QStringLiteral("-x"), false, repo())).error,
                  u"\u00ABA remote URL can't begin with \u201C-\u201D.\u00BB"_qs);
    }
    EXPECT_EQ(await(m_service.history().branches(repo())), QStringList{"main"});
    EXPECT_TRUE(await(m_service.remote().remotes(repo())).isEmpty());
    EXPECT_TRUE(git(m_root, {"tag"}).isEmpty());

    // A detached HEAD shows the abbreviated hash.
    git(m_root, {"switch", "-q", "--detach", "HEAD"});
    const QString shortSHA =
        QString::fromUtf8(git(m_root, {"rev-parse", "--short", "HEAD"})).trimmed();
    EXPECT_EQ(await(m_service.currentBranch(repo())), shortSHA);
    // The list holds branches only, each by the name git switches to.
    git(m_root, {"branch", "release"});
    git(m_root, {"tag", "release"});
    EXPECT_EQ(await(m_service.history().branches(repo())), (QStringList{"main", "release"}));
    EXPECT_TRUE(await(m_service.history().switchBranch(QStringLiteral("release"), repo())));
}

TEST_F(GitRepositoryTest, RepositoryWithoutCommitsAndOutsideOne)
{
    const QString empty = scratch(QStringLiteral("empty"));
    QDir().mkpath(empty + QStringLiteral("/sub"));
    const QUrl emptyURL = QUrl::fromLocalFile(empty);
    EXPECT_FALSE(await(m_service.repositoryRoot(emptyURL)));
    EXPECT_TRUE(await(m_service.initRepository(emptyURL)));
    EXPECT_EQ(await(m_service.repositoryRoot(QUrl::fromLocalFile(empty + QStringLiteral("/sub")))),
              emptyURL);
    EXPECT_FALSE(await(m_service.currentBranch(emptyURL)));
    EXPECT_FALSE(await(m_service.headSHA(emptyURL)));
    writeFile(empty + QStringLiteral("/sub/new.txt"), "x\n");
    expectWorkingStateAgrees(m_service, emptyURL);
    EXPECT_TRUE(await(m_service.history().log(emptyURL, 100)).isEmpty());
    EXPECT_FALSE(await(m_service.history().lastCommitMessage(emptyURL)));
    EXPECT_EQ(await(m_service.repositoryRoot(url("index.html").adjusted(QUrl::RemoveFilename))),
              repo());
}

TEST_F(GitRepositoryTest, RemoteSyncWithBareOrigin)
{
    const QString bare = scratch(QStringLiteral("origin.git"));
    git(m_dir.path(), {"init", "-q", "--bare", bare});
    EXPECT_FALSE(await(m_service.remote().originURL(repo())));
    EXPECT_EQ(await(m_service.remote().setOriginURL(bare, false, repo())), NBEGitResult::success());
    EXPECT_EQ(await(m_service.remote().originURL(repo())), bare);
    EXPECT_EQ(await(m_service.remote().remotes(repo())), QStringList{"origin"});
    EXPECT_FALSE(await(m_service.remote().aheadBehind(repo())));
    EXPECT_EQ(await(m_service.remote().unpushedCount(repo())), 1);

    // Publish.
    EXPECT_EQ(await(m_service.remote().pushSettingUpstream(QStringLiteral("origin"),
                                                           QStringLiteral("main"), repo())),
              NBEGitResult::success());
    EXPECT_EQ(await(m_service.remote().aheadBehind(repo())), (NBEGitAheadBehind{0, 0}));
    EXPECT_EQ(await(m_service.remote().unpushedCount(repo())), 0);

    // Two local commits, then push.
    for (const char *text : {"a\n", "b\n"}) {
        writeFile(file("index.html"), text);
        git(m_root, {"commit", "-q", "-am", "Local"});
    }
    EXPECT_EQ(await(m_service.remote().aheadBehind(repo())), (NBEGitAheadBehind{2, 0}));
    EXPECT_EQ(await(m_service.remote().unpushedCount(repo())), 2);
    expectWorkingStateAgrees(m_service, repo());
    EXPECT_EQ(await(m_service.remote().push(repo())), NBEGitResult::success());
    EXPECT_EQ(await(m_service.remote().aheadBehind(repo())), (NBEGitAheadBehind{0, 0}));

    // Another clone pushes three commits; fetch sees them, pull takes them.
    const QString other = scratch(QStringLiteral("other"));
    git(m_dir.path(), {"clone", "-q", bare, other});
    for (const char *text : {"c\n", "d\n", "e\n"}) {
        writeFile(other + QStringLiteral("/index.html"), text);
        git(other, {"commit", "-q", "-am", "Remote"});
    }
    git(other, {"push", "-q"});
    EXPECT_EQ(await(m_service.remote().aheadBehind(repo())), (NBEGitAheadBehind{0, 0}));
    EXPECT_TRUE(await(m_service.remote().fetch(repo())));
    const auto counts = await(m_service.remote().aheadBehind(repo()));
    EXPECT_EQ(counts, (NBEGitAheadBehind{0, 3}));
    EXPECT_EQ(await(m_service.remote().pull(repo())), (NBEGitPullResult{true, std::nullopt, 3}));
    EXPECT_EQ(readFile(file("index.html")), "e\n");
    EXPECT_EQ(await(m_service.remote().pull(repo())), (NBEGitPullResult{true, std::nullopt, 0}));
    EXPECT_EQ(
        NBEGitSyncMessage::pull(QStringLiteral("origin"), QStringLiteral("main"), counts->behind),
        QStringLiteral("Pulled 3 commits from origin/main"));

    // Diverged: pull --ff-only and push both fail with git's own words.
    writeFile(file("index.html"), "mine\n");
    git(m_root, {"commit", "-q", "-am", "Mine"});
    writeFile(other + QStringLiteral("/index.html"), "theirs\n");
    git(other, {"commit", "-q", "-am", "Theirs"});
    git(other, {"push", "-q"});
    const NBEGitResult push = await(m_service.remote().push(repo()));
    EXPECT_FALSE(push.ok);
    EXPECT_TRUE(push.error->contains(QStringLiteral("rejected"))) << push.error->toStdString();
    EXPECT_TRUE(await(m_service.remote().fetch(repo())));
    EXPECT_EQ(await(m_service.remote().aheadBehind(repo())), (NBEGitAheadBehind{1, 1}));
    expectWorkingStateAgrees(m_service, repo());
    const NBEGitPullResult pull = await(m_service.remote().pull(repo()));
    EXPECT_FALSE(pull.ok);
    EXPECT_FALSE(pull.error->isEmpty());

    EXPECT_EQ(await(m_service.remote().setOriginURL(
                  QStringLiteral("https://example.invalid/me/site.git"), true, repo())),
              NBEGitResult::success());
    EXPECT_EQ(await(m_service.remote().originURL(repo())),
              QStringLiteral("https://example.invalid/me/site.git"));
}

// A pull writes HEAD and the index; a local command asked for while it runs
// waits for it, so it sees the pulled commit and never races its lock.
TEST_F(GitRepositoryTest, ALocalCommandWaitsForARunningPull)
{
    const QString bare = scratch(QStringLiteral("origin.git"));
    git(m_dir.path(), {"init", "-q", "--bare", bare});
    git(m_root, {"remote", "add", "origin", bare});
    git(m_root, {"push", "-q", "-u", "origin", "main"});
    const QString other = scratch(QStringLiteral("other"));
    git(m_dir.path(), {"clone", "-q", bare, other});
    writeFile(other + QStringLiteral("/index.html"), "theirs\n");
    git(other, {"commit", "-q", "-am", "Theirs"});
    git(other, {"push", "-q"});
    // Every ref update of the pull lingers before it is made.
    const QString hook = m_root + QStringLiteral("/.git/hooks/reference-transaction");
    writeFile(hook, "#!/bin/sh\n[ \"$1\" = prepared ] && sleep 0.4\nexit 0\n");
    QFile::setPermissions(hook, QFile::permissions(hook) | QFile::ExeOwner);

    const QFuture<NBEGitPullResult> pulling = m_service.remote().pull(repo());
    const QList<NBEGitCommit> log = await(m_service.history().log(repo(), 10));
    EXPECT_TRUE(pulling.isFinished());
    ASSERT_FALSE(log.isEmpty());
    EXPECT_EQ(log.first().subject, QStringLiteral("Theirs"));
    EXPECT_EQ(await(pulling), (NBEGitPullResult{true, std::nullopt, 1}));
}

TEST_F(GitRepositoryTest, FetchFromUnreachableRemoteFailsWithoutPrompting)
{
    git(m_root, {"remote", "add", "origin", "https://127.0.0.1:9/none.git"});
    EXPECT_FALSE(await(m_service.remote().fetch(repo())));
}

TEST_F(GitRepositoryTest, DiffsAndFileAtHEAD)
{
    writeFile(file("index.html"), "<p>two</p>\n");
    writeFile(file("crlf.txt"), "a\r\nb\r\n");
    writeFile(file(u"d\u00e9j\u00e0 vu.txt"_qs), "x\n");
    git(m_root, {"add", "crlf.txt", u"d\u00e9j\u00e0 vu.txt"_qs});
    git(m_root, {"commit", "-q", "-m", "More"});
    writeFile(file("new.txt"), "fresh\n");

    EXPECT_EQ(await(m_service.index().fileAtHEAD(url("index.html"), repo())),
              QStringLiteral("<p>one</p>\n"));
    EXPECT_EQ(await(m_service.index().fileAtHEAD(url("crlf.txt"), repo())),
              QStringLiteral("a\nb\n"));
    EXPECT_EQ(await(m_service.index().fileAtHEAD(url(u"d\u00e9j\u00e0 vu.txt"_qs), repo())),
              QStringLiteral("x\n"));
    EXPECT_FALSE(await(m_service.index().fileAtHEAD(url("new.txt"), repo())));
    EXPECT_FALSE(await(m_service.index().fileAtHEAD(repo(), repo())));
    EXPECT_FALSE(
        await(m_service.index().fileAtHEAD(QUrl::fromLocalFile(scratch("x.txt")), repo())));

    const auto tracked = await(m_service.index().diff(url("index.html"), repo(), false));
    ASSERT_TRUE(tracked);
    EXPECT_TRUE(tracked->contains(QStringLiteral("+<p>two</p>\n")));
    const auto untracked = await(m_service.index().diff(url("new.txt"), repo(), true));
    ASSERT_TRUE(untracked);
    EXPECT_TRUE(untracked->contains(QStringLiteral("+fresh\n")));
    // Its header names the file from the project, as a tracked file's does.
    EXPECT_TRUE(untracked->startsWith(QStringLiteral("diff --git a/new.txt b/new.txt\n")))
        << untracked->toStdString();
    EXPECT_FALSE(untracked->contains(m_root));
    EXPECT_EQ(await(m_service.index().unstagedDiff(url("index.html"), repo())), *tracked);
    EXPECT_EQ(await(m_service.index().stagedDiff(url("index.html"), repo())), QString());
    EXPECT_EQ(await(m_service.index().workingDiff(repo())), *tracked);
    git(m_root, {"add", "index.html"});
    EXPECT_EQ(await(m_service.index().stagedDiff(url("index.html"), repo())), *tracked);
    EXPECT_EQ(await(m_service.index().stagedDiff(repo())), *tracked);
    EXPECT_EQ(await(m_service.index().unstagedDiff(url("index.html"), repo())), QString());
}

TEST_F(GitRepositoryTest, ApplyCachedStagesAndReportsGitsError)
{
    writeFile(file("index.html"), "<p>two</p>\n");
    const QString patch = *await(m_service.index().unstagedDiff(url("index.html"), repo()));
    const auto leftovers = [] {
        return QDir(QDir::tempPath()).entryList({QStringLiteral("nbe-hunk-*")}).size();
    };
    const auto before = leftovers();
    EXPECT_EQ(await(m_service.index().applyCached(patch, false, repo())), NBEGitResult::success());
    EXPECT_EQ(statusLetters(await(m_service.index().changes(repo())), m_root),
              QSet<QString>{"M  index.html"});
    EXPECT_EQ(await(m_service.index().applyCached(patch, true, repo())), NBEGitResult::success());
    EXPECT_EQ(statusLetters(await(m_service.index().changes(repo())), m_root),
              QSet<QString>{" M index.html"});
    const NBEGitResult wrong = await(m_service.index().applyCached(patch, true, repo()));
    EXPECT_FALSE(wrong.ok);
    EXPECT_TRUE(wrong.error->startsWith(QStringLiteral("error:"))) << wrong.error->toStdString();
    EXPECT_EQ(leftovers(), before);
}

TEST_F(GitRepositoryTest, BrowserSignInConfiguration)
{
    EXPECT_FALSE(await(m_service.remote().hasBrowserAuthHelper(repo())));
    const QString helper = NBEGitRemote::browserAuthHelperPath();
    EXPECT_EQ(await(m_service.remote().configureBrowserAuth(helper, false, repo())),
              NBEGitResult::success());
    const QStringList values =
        QString::fromUtf8(git(m_root, {"config", "--local", "--get-all", "credential.helper"}))
            .split(u'\n', Qt::SkipEmptyParts);
    EXPECT_EQ(values, (QStringList{NBEGitRemote::storeHelper(), "!\"" + helper + "\""}));
    EXPECT_TRUE(await(m_service.remote().hasBrowserAuthHelper(repo())));
    EXPECT_EQ(await(m_service.remote().configureBrowserAuth(helper, false, repo())),
              NBEGitResult::success());
    EXPECT_EQ(git(m_root, {"config", "--local", "--get-all", "credential.helper"}).count('\n'), 2);

    EXPECT_EQ(await(m_service.remote().configureOAuthApp(QStringLiteral("example.com"),
                                                         QStringLiteral("id1"),
                                                         QStringLiteral("secret1"), false, repo())),
              NBEGitResult::success());
    EXPECT_EQ(git(m_root, {"config", "credential.https://example.com.oauthClientId"}), "id1\n");
    EXPECT_EQ(git(m_root, {"config", "credential.https://example.com.oauthClientSecret"}),
              "secret1\n");

    const std::pair<const char *, bool> rows[] = {
        {"osxkeychain", false},
        {"store", false},
        {"cache --timeout=60", false},
        {"manager", true},
        {"Manager-Core", true},
        {"gh", true},
        {"gh auth git-credential", true},
        {"ghost", false},
        {"/usr/bin/git-credential-oauth", true},
    };
    for (const auto &[value, expected] : rows) {
        git(m_root, {"config", "--local", "--unset-all", "credential.helper"});
        git(m_root, {"config", "--local", "credential.helper", value});
        EXPECT_EQ(await(m_service.remote().hasBrowserAuthHelper(repo())), expected) << value;
    }
}

TEST_F(GitRepositoryTest, MissingOrSilentGit)
{
    NBEGitService missing(QUrl::fromLocalFile(scratch(QStringLiteral("no-git"))));
    EXPECT_FALSE(await(missing.repositoryRoot(repo())));
    EXPECT_TRUE(await(missing.index().changes(repo())).isEmpty());
    EXPECT_FALSE(await(missing.index().stageAll(repo())));
    EXPECT_EQ(await(missing.remote().unpushedCount(repo())), 0);
    EXPECT_EQ(await(missing.remote().push(repo())), NBEGitResult::failure("git isn't installed."));
    EXPECT_EQ(await(missing.history().merge(QStringLiteral("x"), repo())),
              (NBEGitMergeResult{false, QStringLiteral("git isn't installed."), false}));

    NBEGitService silent(fakeGit(m_dir.path(), "exit 3\n"));
    EXPECT_EQ(await(silent.history().revertCommit(QStringLiteral("abc"), repo())),
              NBEGitResult::failure("git revert failed.", NBEGitFailure::silent));
    EXPECT_EQ(await(silent.remote().push(repo())),
              NBEGitResult::failure("git push failed.", NBEGitFailure::silent));
    EXPECT_FALSE(await(silent.headSHA(repo())));
    EXPECT_FALSE(await(silent.index().stage(url("index.html"), repo())));

    // A status outside the accepted set gives nothing, but diffs accept 1.
    NBEGitService differs(fakeGit(m_dir.path(), "echo diff-text\nexit 1\n"));
    EXPECT_EQ(await(differs.index().unstagedDiff(url("index.html"), repo())),
              QStringLiteral("diff-text\n"));
    EXPECT_FALSE(await(differs.headSHA(repo())));
}

TEST_F(GitRepositoryTest, ChildEnvironment)
{
    const QString record = scratch(QStringLiteral("record"));
    NBEGitService recording(
        fakeGit(m_dir.path(),
                "{ echo \"args=$*\"; echo \"LC_ALL=$LC_ALL\"; "
                "echo \"PROMPT=$GIT_TERMINAL_PROMPT\"; echo \"ASKPASS=${GIT_ASKPASS-unset}\"; "
                "echo \"SSH=$GIT_SSH_COMMAND\"; echo \"stdin=$(readlink /proc/self/fd/0)\"; "
                "echo \"pwd=$(pwd)\"; } > '" +
                    record.toUtf8() + "'\n"));

    EXPECT_TRUE(await(recording.index().stage(url("a b.txt"), repo())));
    QString seen = QString::fromUtf8(readFile(record));
    EXPECT_TRUE(seen.contains("args=add -- " + file("a b.txt") + "\n")) << seen.toStdString();
    EXPECT_TRUE(seen.contains("LC_ALL=C\n"));
    EXPECT_TRUE(seen.contains("PROMPT=0\n"));
    EXPECT_TRUE(seen.contains("ASKPASS=unset\n"));
    EXPECT_TRUE(seen.contains("stdin=/dev/null\n"));
    EXPECT_TRUE(seen.contains("pwd=" + m_root + "\n"));

    EXPECT_TRUE(await(recording.remote().fetch(repo())));
    seen = QString::fromUtf8(readFile(record));
    EXPECT_TRUE(seen.contains("args=-c credential.helper= -c credential.helper=" +
                              NBEGitRemote::storeHelper() + " fetch --quiet --no-tags\n"))
        << seen.toStdString();
    EXPECT_TRUE(seen.contains("ASKPASS=\n"));
    EXPECT_TRUE(seen.contains("SSH=ssh -oBatchMode=yes\n"));

    EXPECT_TRUE(await(recording.remote().push(repo())).ok);
    EXPECT_TRUE(QString::fromUtf8(readFile(record)).contains("stdin=/dev/null\n"));
}

TEST_F(GitRepositoryTest, OperationsRunInCallOrder)
{
    // Queued without waiting: each sees the effect of the one before.
    writeFile(file("index.html"), "<p>two</p>\n");
    auto staged = m_service.index().stageAll(repo());
    auto committed = m_service.history().commit(QStringLiteral("Queued"), false, repo());
    auto history = m_service.history().log(repo(), 5);
    EXPECT_TRUE(await(staged));
    EXPECT_TRUE(await(committed));
    ASSERT_EQ(await(history).size(), 2);
    EXPECT_EQ(history.result()[0].subject, QStringLiteral("Queued"));
}
