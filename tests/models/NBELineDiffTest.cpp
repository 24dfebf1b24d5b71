#include "NBELineDiff.h"

#include <QRandomGenerator>
#include <gtest/gtest.h>

#include <vector>

namespace {

using Kind = NBEDiffHunk::Kind;

QString text(const QStringList &lines)
{
    return lines.join(u'\n');
}

// The buffer rebuilt from the HEAD text and the hunks alone.
QStringList applyHunks(const QStringList &head, const QList<NBEDiffHunk> &hunks)
{
    QStringList result;
    int o = 1;
    for (const NBEDiffHunk &hunk : hunks) {
        while (o < hunk.oldStart)
            result.append(head[o++ - 1]);
        result.append(hunk.newLines);
        o += hunk.oldLineCount();
    }
    while (o <= head.size())
        result.append(head[o++ - 1]);
    return result;
}

int lcsLength(const QStringList &a, const QStringList &b)
{
    std::vector<std::vector<int>> table(size_t(a.size() + 1),
                                        std::vector<int>(size_t(b.size() + 1)));
    for (qsizetype i = a.size() - 1; i >= 0; --i)
        for (qsizetype j = b.size() - 1; j >= 0; --j)
            table[i][j] =
                a[i] == b[j] ? table[i + 1][j + 1] + 1 : std::max(table[i + 1][j], table[i][j + 1]);
    return table[0][0];
}

} // namespace

TEST(NBELineDiff, HunksOfSmallEdits)
{
    struct Row
    {
        const char *name;
        QString head, buffer;
        QList<NBEDiffHunk> hunks;
        NBELineChanges changes;
    };
    const Row rows[] = {
        {"equal", "a\nb\n", "a\nb\n", {}, {}},
        {"empty texts", "", "", {}, {}},
        {"one modified line",
         "a\nb\nc",
         "a\nB\nc",
         {{Kind::modified, 2, {"b"}, 2, {"B"}}},
         {{}, {2}, {}}},
        {"two lines rewritten as one",
         "a\nb\nc\nd",
         "a\nX\nd",
         {{Kind::modified, 2, {"b", "c"}, 2, {"X"}}},
         {{}, {2}, {3}}},
        {"one line rewritten as two",
         "a\nb\nc",
         "a\nX\nY\nc",
         {{Kind::modified, 2, {"b"}, 2, {"X", "Y"}}},
         {{3}, {2}, {}}},
        {"deletion at the end is marked on the last line",
         "a\nb\nc",
         "a",
         {{Kind::deleted, 2, {"b", "c"}, 1, {}}},
         {{}, {}, {1}}},
        {"deletion in the middle",
         "a\nb\nc\nd",
         "a\nd",
         {{Kind::deleted, 2, {"b", "c"}, 2, {}}},
         {{}, {}, {2}}},
        {"insertion before the first line",
         "a\nb",
         "new\na\nb",
         {{Kind::added, 1, {}, 1, {"new"}}},
         {{1}, {}, {}}},
        {"a final line end adds an empty line",
         "a\nb",
         "a\nb\n",
         {{Kind::added, 3, {}, 3, {""}}},
         {{3}, {}, {}}},
        {"everything removed",
         "a\nb\n",
         "",
         {{Kind::deleted, 1, {"a", "b"}, 1, {}}},
         {{}, {}, {1}}},
        {"two separate hunks",
         "a\nb\nc\nd\ne",
         "a\nB\nc\nd\ne\nf",
         {{Kind::modified, 2, {"b"}, 2, {"B"}}, {Kind::added, 6, {}, 6, {"f"}}},
         {{6}, {2}, {}}},
    };
    for (const Row &row : rows) {
        const QList<NBEDiffHunk> hunks = NBELineDiff::hunks(row.head, row.buffer);
        EXPECT_EQ(hunks, row.hunks) << row.name;
        EXPECT_EQ(NBELineDiff::changes(hunks), row.changes) << row.name;
    }
}

TEST(NBELineDiff, HunkIdentityAndCovers)
{
    const NBEDiffHunk deleted{Kind::deleted, 4, {"x"}, 3, {}};
    EXPECT_TRUE(deleted.covers(3));
    EXPECT_FALSE(deleted.covers(2));
    EXPECT_FALSE(deleted.covers(4));
    const NBEDiffHunk added{Kind::added, 4, {}, 5, {"a", "b"}};
    EXPECT_FALSE(added.covers(4));
    EXPECT_TRUE(added.covers(5));
    EXPECT_TRUE(added.covers(6));
    EXPECT_FALSE(added.covers(7));
    EXPECT_EQ(added.id(), 4 + 5 * 1000003);
    const NBEDiffHunk huge{Kind::added, 1, {}, std::numeric_limits<int>::max(), {"a"}};
    EXPECT_EQ(quint64(huge.id()), 1 + quint64(std::numeric_limits<int>::max()) * 1000003u);
}

TEST(NBELineDiff, TouchingHunksShareALine)
{
    // A shorter rewrite right before an insertion: line 3 is both.
    const NBELineChanges changes = NBELineDiff::changes(
        {{Kind::modified, 2, {"b", "c"}, 2, {"X"}}, {Kind::added, 4, {}, 3, {"n"}}});
    EXPECT_EQ(changes.added, QSet<int>{3});
    EXPECT_EQ(changes.deletedAbove, QSet<int>{3});
}

TEST(NBELineDiff, RandomEditsRebuildTheBufferWithAShortestScript)
{
    QRandomGenerator random(20261206);
    const QStringList alphabet{"a", "b", "c", "", "}", "d"};
    for (int round = 0; round < 400; ++round) {
        QStringList head;
        const int length = random.bounded(0, 30);
        for (int i = 0; i < length; ++i)
            head.append(alphabet[random.bounded(alphabet.size())]);
        QStringList buffer = head;
        for (int edits = random.bounded(0, 6); edits > 0; --edits) {
            const int at = random.bounded(int(buffer.size()) + 1);
            switch (random.bounded(3)) {
            case 0:
                buffer.insert(at, alphabet[random.bounded(alphabet.size())]);
                break;
            case 1:
                if (at < buffer.size())
                    buffer.removeAt(at);
                break;
            default:
                if (at < buffer.size())
                    buffer[at] = alphabet[random.bounded(alphabet.size())];
            }
        }
        const QString headText = text(head);
        const QString bufferText = text(buffer);
        const QStringList headLines = headText.split(u'\n');
        const QStringList bufferLines = bufferText.split(u'\n');
        const QList<NBEDiffHunk> hunks = NBELineDiff::hunks(headText, bufferText);
        ASSERT_EQ(applyHunks(headLines, hunks), bufferLines) << round;
        int edits = 0;
        for (const NBEDiffHunk &hunk : hunks)
            edits += hunk.oldLineCount() + hunk.newLineCount();
        EXPECT_EQ(edits,
                  headLines.size() + bufferLines.size() - 2 * lcsLength(headLines, bufferLines))
            << round;
    }
}

TEST(NBELineDiff, LargeRewritesStayCorrect)
{
    // Two unrelated texts built from a few repeated lines: the worst case
    // for the search, which must still give a valid script.
    QRandomGenerator random(7);
    QStringList head, buffer;
    const QStringList alphabet{"{", "}", "", "  return;", "x"};
    for (int i = 0; i < 20000; ++i) {
        head.append(alphabet[random.bounded(alphabet.size())]);
        buffer.append(alphabet[random.bounded(alphabet.size())]);
    }
    const QList<NBEDiffHunk> hunks = NBELineDiff::hunks(text(head), text(buffer));
    EXPECT_EQ(applyHunks(head, hunks), buffer);
}

TEST(NBELineDiff, RunsInTheBackground)
{
    auto future = NBELineDiff::hunksInBackground("a\nb", "a\nc");
    future.waitForFinished();
    EXPECT_EQ(future.result(), (QList<NBEDiffHunk>{{Kind::modified, 2, {"b"}, 2, {"c"}}}));
}
