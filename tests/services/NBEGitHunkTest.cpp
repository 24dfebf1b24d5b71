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
        const QString head =
            await(m_service.index().fileAtHEAD(url(name), repo())).value_or(QString());
        QString buffer = NBELineEndings::normalized(QString::fromUtf8(readFile(path(name))));
        // The editor keeps a byte-order mark beside its text.
        if (buffer.startsWith(QChar(0xFEFF)))
            buffer.remove(0, 1);
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
        expectApplies(NBEDiffPatch::hunkPatch(
                          *await(m_service.index().unstagedDiff(url(name), repo())), hunk, false),
                      false);
        const NBEGitResult result = await(m_service.index().stageHunk(hunk, url(name), repo()));
        EXPECT_TRUE(result.ok) << result.error.value_or(QString()).toStdString();
    }

    void unstage(const NBEDiffHunk &hunk, const QString &name)
    {
        expectApplies(NBEDiffPatch::hunkPatch(
                          *await(m_service.index().stagedDiff(url(name), repo())), hunk, true),
                      true);
        const NBEGitResult result = await(m_service.index().unstageHunk(hunk, url(name), repo()));
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

    EXPECT_FALSE(await(m_service.index().hunkIsStaged(hunks[0], url("page.html"), repo())));
    stage(hunks[0], "page.html");
    EXPECT_TRUE(stagedDiff().contains("+line five\n"));
    EXPECT_FALSE(stagedDiff().contains("ten"));
    EXPECT_TRUE(await(m_service.index().hunkIsStaged(hunks[0], url("page.html"), repo())));
    EXPECT_FALSE(await(m_service.index().hunkIsStaged(hunks[1], url("page.html"), repo())));
    EXPECT_EQ(await(m_service.index().stageHunk(hunks[0], url("page.html"), repo())),
              NBEGitResult::failure("Failed to stage this hunk.", NBEGitFailure::nothingToMove));

    stage(hunks[1], "page.html");
    EXPECT_TRUE(unstagedDiff().isEmpty());

    unstage(hunks[1], "page.html");
    EXPECT_TRUE(stagedDiff().contains("+line five\n"));
    EXPECT_FALSE(stagedDiff().contains("ten"));
    unstage(hunks[0], "page.html");
    EXPECT_TRUE(stagedDiff().isEmpty());
    EXPECT_EQ(await(m_service.index().unstageHunk(hunks[0], url("page.html"), repo())),
              NBEGitResult::failure("Failed to unstage this hunk.", NBEGitFailure::nothingToMove));
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

// Line ends git converts on checkout are converted back on staging, as
// `git add` does; an index that holds CRLF itself keeps it, as `git add`
// leaves it under automatic conversion.
TEST_F(GitHunkTest, LineEndsGitConvertsGoInAsGitAddPutsThem)
{
    const auto stageAndCompare = [&](const QString &name, const QByteArray &crlf,
                                     const QByteArray &expected) {
        QByteArray edited = crlf;
        edited.replace("line 6\r\n", "line six\r\n");
        writeFile(path(name), edited);
        const QList<NBEDiffHunk> hunks = gutter(name);
        ASSERT_EQ(hunks.size(), 1) << name.toStdString();
        const NBEGitResult result = await(m_service.index().stageHunk(hunks[0], url(name), repo()));
        EXPECT_TRUE(result.ok) << result.error.value_or(QString()).toStdString();
        EXPECT_EQ(indexBlob(name), expected) << name.toStdString();
        EXPECT_TRUE(await(m_service.index().hunkIsStaged(hunks[0], url(name), repo())));
        // The whole file staged the ordinary way leaves nothing to stage.
        git(m_root, {"add", "--", name});
        EXPECT_EQ(indexBlob(name), expected) << name.toStdString();
    };
    const QByteArray lf = numberedLines(12, "\n");
    const QByteArray crlf = numberedLines(12, "\r\n");

    writeFile(path(".gitattributes"), "*.html text eol=crlf\n");
    git(m_root, {"add", "--", ".gitattributes"});
    commit("page.html", lf);
    QFile::remove(path("page.html"));
    git(m_root, {"checkout", "--", "page.html"});
    ASSERT_EQ(readFile(path("page.html")), crlf);
    stageAndCompare("page.html", crlf, QByteArray(lf).replace("line 6\n", "line six\n"));

    commit("win.txt", crlf);
    git(m_root, {"config", "core.autocrlf", "true"});
    stageAndCompare("win.txt", crlf, QByteArray(crlf).replace("line 6\r\n", "line six\r\n"));
}

TEST_F(GitHunkTest, AByteOrderMarkStaysFirstInTheIndex)
{
    const QByteArray mark = "\xef\xbb\xbf";
    commit("bom.css", mark + numberedLines(12, "\n"));
    QByteArray edited = mark + numberedLines(12, "\n");
    edited.replace("line 1\n", "line one\n");
    edited.replace("line 11\n", "");
    writeFile(path("bom.css"), edited);

    const QList<NBEDiffHunk> hunks = gutter("bom.css");
    ASSERT_EQ(hunks.size(), 2);
    stage(hunks[0], "bom.css");
    stage(hunks[1], "bom.css");
    EXPECT_EQ(indexBlob("bom.css"), edited);
    unstage(hunks[0], "bom.css");
    QByteArray expected = mark + numberedLines(12, "\n");
    expected.replace("line 11\n", "");
    EXPECT_EQ(indexBlob("bom.css"), expected);
}

TEST_F(GitHunkTest, TheGutterOfAMarkedFileShowsOnlyItsEditedLines)
{
    const QByteArray mark = "\xef\xbb\xbf";
    commit("marked.css", mark + numberedLines(8, "\n"));
    QByteArray edited = mark + numberedLines(8, "\n");
    edited.replace("line 7\n", "line seven\n");
    writeFile(path("marked.css"), edited);

    const QList<NBEDiffHunk> hunks = gutter("marked.css");
    ASSERT_EQ(hunks.size(), 1);
    EXPECT_EQ(hunks[0].newLines, QStringList{"line seven"});
    stage(hunks[0], "marked.css");
    EXPECT_EQ(indexBlob("marked.css"), edited);
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

namespace {

// A page like a slide deck's demo: code samples, and blank lines that a
// diff can match anywhere once every other line is re-indented.
QString demoPage()
{
    QString page = QStringLiteral("<!doctype html>\n<html>\n<head>\n<title>Demo</title>\n</head>\n"
                                  "<body>\n\n");
    for (int section = 1; section <= 12; ++section) {
        page += QStringLiteral("<section>\n\n<h2>Slide %1</h2>\n\n<pre><code>\n").arg(section);
        for (int line = 1; line <= 4; ++line)
            page += QStringLiteral("  let v%1 = %2;\n").arg(line).arg(section * line);
        page += QStringLiteral("</code></pre>\n\n<p>Text %1</p>\n\n</section>\n\n").arg(section);
    }
    return page + QStringLiteral("</body>\n</html>\n");
}

QString withHunk(const QString &head, const NBEDiffHunk &hunk)
{
    QStringList lines = head.split(u'\n');
    lines.remove(hunk.oldStart - 1, hunk.oldLineCount());
    for (qsizetype i = 0; i < hunk.newLines.size(); ++i)
        lines.insert(hunk.oldStart - 1 + i, hunk.newLines[i]);
    return lines.join(u'\n');
}

} // namespace

TEST_F(GitHunkTest, EachGutterHunkStagesExactlyItsLines)
{
    const QString head = demoPage();
    commit("demo.html", head.toUtf8());
    for (quint32 seed = 1; seed <= 6; ++seed) {
        SCOPED_TRACE(seed);
        QRandomGenerator random(seed);
        QStringList lines = head.split(u'\n');
        // Re-indented where a formatter would, plus a block and a few edits.
        const qsizetype from = random.bounded(int(lines.size()) / 2);
        const qsizetype to = from + random.bounded(20, int(lines.size()) / 2);
        for (qsizetype i = from; i < std::min(to, lines.size()); ++i)
            if (!lines[i].isEmpty())
                lines[i] = QStringLiteral("    ") + lines[i];
        const int block = random.bounded(int(lines.size()));
        for (int i = 0; i < 6; ++i)
            lines.insert(block, QStringLiteral("<p>inserted %1</p>").arg(i));
        for (int edits = random.bounded(2, 6); edits > 0; --edits) {
            const int at = random.bounded(int(lines.size()) - 1);
            if (random.bounded(2) == 0)
                lines[at] = QStringLiteral("<p>edit %1</p>").arg(edits);
            else
                lines.remove(at);
        }
        const QString edited = lines.join(u'\n');
        writeFile(path("demo.html"), edited.toUtf8());

        const QList<NBEDiffHunk> hunks = gutter("demo.html");
        ASSERT_FALSE(hunks.isEmpty());
        for (const NBEDiffHunk &hunk : hunks) {
            SCOPED_TRACE(hunk.newStart);
            EXPECT_FALSE(await(m_service.index().hunkIsStaged(hunk, url("demo.html"), repo())));
            EXPECT_TRUE(await(m_service.index().stageHunk(hunk, url("demo.html"), repo())).ok);
            ASSERT_EQ(QString::fromUtf8(indexBlob("demo.html")), withHunk(head, hunk));
            EXPECT_TRUE(await(m_service.index().hunkIsStaged(hunk, url("demo.html"), repo())));
            EXPECT_TRUE(await(m_service.index().unstageHunk(hunk, url("demo.html"), repo())).ok);
            ASSERT_EQ(QString::fromUtf8(indexBlob("demo.html")), head);
        }
        // All of them, in any order, stage the whole file and unstage back.
        QList<NBEDiffHunk> shuffled = hunks;
        std::shuffle(shuffled.begin(), shuffled.end(), random);
        for (const NBEDiffHunk &hunk : shuffled)
            EXPECT_TRUE(await(m_service.index().stageHunk(hunk, url("demo.html"), repo())).ok);
        EXPECT_EQ(QString::fromUtf8(indexBlob("demo.html")), edited);
        std::shuffle(shuffled.begin(), shuffled.end(), random);
        for (const NBEDiffHunk &hunk : shuffled)
            EXPECT_TRUE(await(m_service.index().unstageHunk(hunk, url("demo.html"), repo())).ok);
        EXPECT_EQ(QString::fromUtf8(indexBlob("demo.html")), head);
    }
}

TEST_F(GitHunkTest, StagingAnEditedStagedHunkTakesTheNewLines)
{
    commit("list.txt", numberedLines(10));
    QByteArray edited = numberedLines(10);
    edited.replace("line 4\n", "line four\n");
    writeFile(path("list.txt"), edited);
    ASSERT_TRUE(
        await(m_service.index().stageHunk(gutter("list.txt").value(0), url("list.txt"), repo()))
            .ok);
    // Edited further after staging: one hunk again, wider than the staged one.
    edited.replace("line 5\n", "line five\n");
    writeFile(path("list.txt"), edited);
    const QList<NBEDiffHunk> hunks = gutter("list.txt");
    ASSERT_EQ(hunks.size(), 1);
    EXPECT_FALSE(await(m_service.index().hunkIsStaged(hunks[0], url("list.txt"), repo())));
    ASSERT_TRUE(await(m_service.index().stageHunk(hunks[0], url("list.txt"), repo())).ok);
    EXPECT_EQ(indexBlob("list.txt"), edited);
    ASSERT_TRUE(await(m_service.index().unstageHunk(hunks[0], url("list.txt"), repo())).ok);
    EXPECT_EQ(indexBlob("list.txt"), numberedLines(10));
}
