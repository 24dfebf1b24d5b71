#include "NBEDiffPatch.h"
#include "NBEGitService.h"
#include "NBELineDiff.h"
#include "NBELineEnding.h"
#include "NBETestSupport.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>

using NBETest::await;
using NBETest::git;
using NBETest::readFile;
using NBETest::writeFile;

namespace {

class GitHunkTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_root = QFileInfo(m_dir.path()).canonicalFilePath() + QStringLiteral("/repo");
        git(m_dir.path(), {"init", "-q", m_root});
    }

    void commit(const QString &name, const QByteArray &content)
    {
        writeFile(path(name), content);
        git(m_root, {"add", "--", name});
        git(m_root, {"commit", "-q", "-m", "Add " + name});
    }

    QString path(const QString &name) const { return m_root + u'/' + name; }
    QUrl url(const QString &name) const { return QUrl::fromLocalFile(path(name)); }
    QUrl repo() const { return QUrl::fromLocalFile(m_root); }

    // The gutter's hunks of the saved file against HEAD.
    QList<NBEDiffHunk> gutter(const QString &name)
    {
        const QString head = await(m_service.fileAtHEAD(url(name), repo())).value_or(QString());
        const QString buffer = NBELineEndings::normalized(QString::fromUtf8(readFile(path(name))));
        return NBELineDiff::hunks(head, buffer);
    }

    QByteArray indexBlob(const QString &name) { return git(m_root, {"show", ":" + name}); }

    // git's own dry run of a patch we cut, with the flags we apply it with.
    void expectApplies(const std::optional<QString> &patch, bool reverse)
    {
        ASSERT_TRUE(patch);
        const QString file = m_dir.filePath(QStringLiteral("check.patch"));
        writeFile(file, patch->toUtf8());
        QStringList arguments{"apply", "--cached", "--check", "--recount"};
        if (reverse)
            arguments << "--reverse";
        const auto result = NBETest::run("/usr/bin/git", arguments << file, m_root);
        EXPECT_EQ(result.exitCode, 0) << result.err.toStdString() << "\n" << patch->toStdString();
    }

    void stage(const NBEDiffHunk &hunk, const QString &name)
    {
        expectApplies(
            NBEDiffPatch::hunkPatch(*await(m_service.unstagedDiff(url(name), repo())), hunk, false),
            false);
        const NBEGitResult result = await(m_service.stageHunk(hunk, url(name), repo()));
        EXPECT_TRUE(result.ok) << result.error.value_or(QString()).toStdString();
    }

    void unstage(const NBEDiffHunk &hunk, const QString &name)
    {
        expectApplies(
            NBEDiffPatch::hunkPatch(*await(m_service.stagedDiff(url(name), repo())), hunk, true),
            true);
        const NBEGitResult result = await(m_service.unstageHunk(hunk, url(name), repo()));
        EXPECT_TRUE(result.ok) << result.error.value_or(QString()).toStdString();
    }

    QByteArray unstagedDiff() { return git(m_root, {"diff"}); }
    QByteArray stagedDiff() { return git(m_root, {"diff", "--cached"}); }

    QTemporaryDir m_dir;
    QString m_root;
    NBEGitService m_service;
};

QByteArray numberedLines(int count, const char *ending = "\n")
{
    QByteArray text;
    for (int i = 1; i <= count; ++i)
        text += "line " + QByteArray::number(i) + ending;
    return text;
}

} // namespace

TEST_F(GitHunkTest, ChangesFourLinesApartStageAndUnstageSeparately)
{
    commit("page.html", numberedLines(20));
    QByteArray edited = numberedLines(20);
    edited.replace("line 5\n", "line five\n");
    edited.replace("line 10\n", "line ten\n");
    writeFile(path("page.html"), edited);

    const QList<NBEDiffHunk> hunks = gutter("page.html");
    ASSERT_EQ(hunks.size(), 2);
    // git shows both in one hunk of its own.
    EXPECT_EQ(unstagedDiff().count("\n@@"), 1);

    EXPECT_FALSE(await(m_service.hunkIsStaged(hunks[0], url("page.html"), repo())));
    stage(hunks[0], "page.html");
    EXPECT_TRUE(stagedDiff().contains("+line five\n"));
    EXPECT_FALSE(stagedDiff().contains("ten"));
    EXPECT_TRUE(await(m_service.hunkIsStaged(hunks[0], url("page.html"), repo())));
    EXPECT_FALSE(await(m_service.hunkIsStaged(hunks[1], url("page.html"), repo())));
    EXPECT_EQ(await(m_service.stageHunk(hunks[0], url("page.html"), repo())),
              NBEGitResult::failure("Failed to stage this hunk."));

    stage(hunks[1], "page.html");
    EXPECT_TRUE(unstagedDiff().isEmpty());

    unstage(hunks[1], "page.html");
    EXPECT_TRUE(stagedDiff().contains("+line five\n"));
    EXPECT_FALSE(stagedDiff().contains("ten"));
    unstage(hunks[0], "page.html");
    EXPECT_TRUE(stagedDiff().isEmpty());
    EXPECT_EQ(await(m_service.unstageHunk(hunks[0], url("page.html"), repo())),
              NBEGitResult::failure("Failed to unstage this hunk."));
    EXPECT_EQ(readFile(path("page.html")), edited);
}

TEST_F(GitHunkTest, RandomEditsStagedAndUnstagedHunkByHunk)
{
    for (quint32 seed = 1; seed <= 12; ++seed) {
        SCOPED_TRACE(seed);
        QRandomGenerator random(seed);
        const QString name = QStringLiteral("file%1.txt").arg(seed);
        const bool finalNewline = seed % 3 != 0;
        QList<QByteArray> lines = numberedLines(60).split('\n');
        lines.removeLast();
        commit(name, lines.join('\n') + (finalNewline ? "\n" : ""));

        int fresh = 0;
        for (int edits = random.bounded(1, 12); edits > 0; --edits) {
            const int at = random.bounded(int(lines.size()) + 1);
            switch (random.bounded(3)) {
            case 0:
                for (int n = random.bounded(1, 4); n > 0; --n)
                    lines.insert(at, "new " + QByteArray::number(++fresh));
                break;
            case 1:
                if (at < lines.size())
                    lines.remove(at, std::min<qsizetype>(random.bounded(1, 4), lines.size() - at));
                break;
            default:
                if (at < lines.size())
                    lines[at] = "changed " + QByteArray::number(++fresh);
            }
        }
        writeFile(path(name), lines.join('\n') + (finalNewline ? "\n" : ""));

        QList<NBEDiffHunk> hunks = gutter(name);
        if (hunks.isEmpty())
            continue;
        std::shuffle(hunks.begin(), hunks.end(), random);
        for (const NBEDiffHunk &hunk : hunks)
            stage(hunk, name);
        EXPECT_TRUE(unstagedDiff().isEmpty()) << unstagedDiff().toStdString();

        std::shuffle(hunks.begin(), hunks.end(), random);
        for (const NBEDiffHunk &hunk : hunks)
            unstage(hunk, name);
        EXPECT_TRUE(stagedDiff().isEmpty()) << stagedDiff().toStdString();
        git(m_root, {"commit", "-q", "-am", "Next"});
    }
}

TEST_F(GitHunkTest, CRLFFileKeepsItsLineEnds)
{
    commit("win.txt", numberedLines(12, "\r\n"));
    QByteArray edited = numberedLines(12, "\r\n");
    edited.replace("line 2\r\n", "line two\r\n");
    edited.replace("line 11\r\n", "");
    writeFile(path("win.txt"), edited);

    const QList<NBEDiffHunk> hunks = gutter("win.txt");
    ASSERT_EQ(hunks.size(), 2);
    EXPECT_EQ(hunks[0].newLines, QStringList{"line two"});
    stage(hunks[1], "win.txt");
    QByteArray expected = numberedLines(12, "\r\n");
    expected.replace("line 11\r\n", "");
    EXPECT_EQ(indexBlob("win.txt"), expected);
    stage(hunks[0], "win.txt");
    EXPECT_EQ(indexBlob("win.txt"), edited);
    unstage(hunks[1], "win.txt");
    expected = numberedLines(12, "\r\n");
    expected.replace("line 2\r\n", "line two\r\n");
    EXPECT_EQ(indexBlob("win.txt"), expected);
}

TEST_F(GitHunkTest, FileWithoutFinalNewline)
{
    struct Row
    {
        const char *name;
        QByteArray edited;
    };
    const Row rows[] = {
        {"last line changed", "a\nb\nc\nd\nE"},
        {"line end added", "a\nb\nc\nd\ne\n"},
        {"line appended and first changed", "A\nb\nc\nd\ne\nf"},
        {"last line removed", "a\nb\nc\nd"},
    };
    commit("tail.txt", "a\nb\nc\nd\ne");
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        writeFile(path("tail.txt"), row.edited);
        const QList<NBEDiffHunk> hunks = gutter("tail.txt");
        ASSERT_FALSE(hunks.isEmpty());
        for (const NBEDiffHunk &hunk : hunks)
            stage(hunk, "tail.txt");
        EXPECT_EQ(indexBlob("tail.txt"), row.edited);
        for (const NBEDiffHunk &hunk : hunks)
            unstage(hunk, "tail.txt");
        EXPECT_EQ(indexBlob("tail.txt"), "a\nb\nc\nd\ne");
        git(m_root, {"checkout", "-q", "--", "tail.txt"});
    }
}

TEST_F(GitHunkTest, EmptiedFileIsStageable)
{
    commit("all.txt", "a\nb\nc\n");
    writeFile(path("all.txt"), "");
    const QList<NBEDiffHunk> hunks = gutter("all.txt");
    ASSERT_EQ(hunks.size(), 1);
    stage(hunks[0], "all.txt");
    EXPECT_EQ(indexBlob("all.txt"), QByteArray());
    EXPECT_EQ(git(m_root, {"status", "--porcelain"}), "M  all.txt\n");
    unstage(hunks[0], "all.txt");
    EXPECT_EQ(indexBlob("all.txt"), "a\nb\nc\n");
}

TEST_F(GitHunkTest, AddedAndDeletedFiles)
{
    commit("keep.txt", "keep\n");

    writeFile(path("added.txt"), "one\ntwo\n");
    git(m_root, {"add", "added.txt"});
    const QList<NBEDiffHunk> added = gutter("added.txt");
    ASSERT_EQ(added.size(), 1);
    EXPECT_EQ(added[0].kind, NBEDiffHunk::Kind::added);
    unstage(added[0], "added.txt");
    EXPECT_EQ(git(m_root, {"status", "--porcelain"}), "?? added.txt\n");

    git(m_root, {"add", "-N", "added.txt"});
    stage(added[0], "added.txt");
    EXPECT_EQ(indexBlob("added.txt"), "one\ntwo\n");

    QFile::remove(path("keep.txt"));
    const QList<NBEDiffHunk> deleted = NBELineDiff::hunks("keep\n", QString());
    ASSERT_EQ(deleted.size(), 1);
    stage(deleted[0], "keep.txt");
    EXPECT_EQ(git(m_root, {"status", "--porcelain", "--", "keep.txt"}), "D  keep.txt\n");
    unstage(deleted[0], "keep.txt");
    EXPECT_EQ(git(m_root, {"status", "--porcelain", "--", "keep.txt"}), " D keep.txt\n");
}
