#include "NBEDiffPatch.h"
#include "NBELineDiff.h"
#include "NBELineEnding.h"

#include <QRandomGenerator>
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

using namespace Qt::StringLiterals;

namespace {

struct TextsRow
{
    const char *name;
    QString head;
    QString working;
};

QList<NBEDiffHunk> gutter(const QString &head, const QString &working)
{
    return NBELineDiff::hunks(NBELineEndings::normalized(head),
                              NBELineEndings::normalized(working));
}

QString stagedAll(const QString &head, const QString &working)
{
    QString index = head;
    for (const NBEDiffHunk &hunk : gutter(head, working))
        index = NBEDiffPatch::indexAfterHunk(head, index, working, hunk, false).value_or(index);
    return index;
}

// A text of few distinct lines, so that the diff has many ways to pair
// them. Each line's ending follows from its content, as it would in a file
// that mixes endings by region: lines the diff pairs have the same ending.
QString randomText(QRandomGenerator &random, int style)
{
    static const QStringList vocabulary{"}", "", "x", "  return;", "q"};
    QString text;
    for (int n = random.bounded(0, 9); n > 0; --n) {
        const QString line = vocabulary[random.bounded(int(vocabulary.size()))];
        const bool crlf = style == 1 || (style == 2 && (line == u"}" || line.isEmpty()));
        text += line + (line == u"q" && style == 2 ? u"\r"_s : crlf ? u"\r\n"_s : u"\n"_s);
    }
    if (random.bounded(2) == 0)
        text += vocabulary[random.bounded(int(vocabulary.size()))];
    return text;
}

} // namespace

TEST(DiffPatchTest, LastLineEndsOfCRLFFilesComeFromTheirSide)
{
    const TextsRow rows[] = {
        {"final line break removed", "a\r\nb\r\n", "a\r\nb"},
        {"line after an empty HEAD", "", "\r\nX"},
        {"empty line added at the end", "\r\n", "\r\n\r\n"},
        {"line added before the first", "a\r\n", "X\r\na\r\n"},
        {"last line replaced, break added", "a\r\nb", "a\r\nc\n"},
        {"all lines removed", "a\r\nb\r\n", ""},
    };
    for (const TextsRow &row : rows) {
        SCOPED_TRACE(row.name);
        const QString staged = stagedAll(row.head, row.working);
        EXPECT_EQ(staged, row.working);
        QString index = staged;
        for (const NBEDiffHunk &hunk : gutter(row.head, row.working))
            index = NBEDiffPatch::indexAfterHunk(row.head, index, row.working, hunk, true)
                        .value_or(index);
        EXPECT_EQ(index, row.head);
    }
}

TEST(DiffPatchTest, RepeatedLinesStageAndUnstageInEveryOrder)
{
    const TextsRow rows[] = {
        {"closing braces", "x\n}", "}\nx\n}\n}\n"},
        {"blank lines", "\n\nX", "X\n\nX\n"},
    };
    for (const TextsRow &row : rows) {
        SCOPED_TRACE(row.name);
        QList<NBEDiffHunk> hunks = gutter(row.head, row.working);
        std::vector<int> order(size_t(hunks.size()));
        std::iota(order.begin(), order.end(), 0);
        do {
            QString index = row.head;
            for (int i : order) {
                const auto next =
                    NBEDiffPatch::indexAfterHunk(row.head, index, row.working, hunks[i], false);
                ASSERT_TRUE(next) << "hunk " << i;
                index = *next;
                EXPECT_TRUE(NBEDiffPatch::indexHoldsHunk(row.head, index, row.working, hunks[i]));
            }
            EXPECT_EQ(index, row.working);
            std::vector<int> back = order;
            std::reverse(back.begin(), back.end());
            std::rotate(back.begin(), back.begin() + 1, back.end());
            for (int i : back) {
                const auto next =
                    NBEDiffPatch::indexAfterHunk(row.head, index, row.working, hunks[i], true);
                ASSERT_TRUE(next) << "hunk " << i;
                index = *next;
            }
            EXPECT_EQ(index, row.head);
        } while (std::next_permutation(order.begin(), order.end()));
    }
}

// Random LF, CRLF and mixed texts: every order of staging ends at the file,
// every order of unstaging back at HEAD, and along the way a hunk shown as
// staged can be unstaged and one just staged is shown as staged.
TEST(DiffPatchTest, RandomTextsRoundTripThroughTheIndex)
{
    for (quint32 seed = 1; seed <= 3000; ++seed) {
        QRandomGenerator random(seed);
        const int style = int(seed % 3);
        const QString head = randomText(random, style);
        const QString working = randomText(random, style);
        QList<NBEDiffHunk> hunks = gutter(head, working);
        SCOPED_TRACE(QStringLiteral("seed %1: %2 -> %3")
                         .arg(seed)
                         .arg(QString(head).replace(u'\r', u"\\r"_s).replace(u'\n', u"\\n"_s),
                              QString(working).replace(u'\r', u"\\r"_s).replace(u'\n', u"\\n"_s))
                         .toStdString());
        std::shuffle(hunks.begin(), hunks.end(), random);
        const auto checkShown = [&](const QString &index) {
            for (const NBEDiffHunk &hunk : hunks) {
                if (NBEDiffPatch::indexHoldsHunk(head, index, working, hunk)) {
                    EXPECT_TRUE(NBEDiffPatch::indexAfterHunk(head, index, working, hunk, true));
                }
            }
        };
        QString index = head;
        for (const NBEDiffHunk &hunk : hunks) {
            const auto next = NBEDiffPatch::indexAfterHunk(head, index, working, hunk, false);
            ASSERT_TRUE(next);
            index = *next;
            EXPECT_TRUE(NBEDiffPatch::indexHoldsHunk(head, index, working, hunk));
            checkShown(index);
        }
        ASSERT_EQ(index, working);
        std::shuffle(hunks.begin(), hunks.end(), random);
        for (const NBEDiffHunk &hunk : hunks) {
            const auto next = NBEDiffPatch::indexAfterHunk(head, index, working, hunk, true);
            ASSERT_TRUE(next);
            index = *next;
            checkShown(index);
        }
        ASSERT_EQ(index, head);
    }
}

// Repeated lines can read one index text more than one way. The gutter shows
// a single reading, so acting on what it shows ends at the file and at HEAD;
// mixing readings hunk by hunk once showed every hunk staged while the index
// still lacked a line.
TEST(DiffPatchTest, ActingOnWhatTheGutterShowsEndsAtTheFileAndAtHead)
{
    const QString head = u"\r\na b\rx\na b\r}\r\nx\n\r\na b"_s;
    const QString working = u"a b\r\r\na b\ra b\ra b\ra b\r}\r\n"_s;
    const QList<NBEDiffHunk> hunks = gutter(head, working);
    ASSERT_EQ(hunks.size(), 6);
    QString index = head;
    const auto act = [&](const NBEDiffHunk &hunk, bool unstaging) {
        const auto next = NBEDiffPatch::indexAfterHunk(head, index, working, hunk, unstaging);
        ASSERT_TRUE(next);
        index = *next;
    };
    for (const int i : {0, 2, 3, 4})
        act(hunks[i], false);
    for (const bool unstaging : {false, true}) {
        for (int round = 0; round < 2 * int(hunks.size()); ++round)
            for (const NBEDiffHunk &hunk : hunks)
                if (NBEDiffPatch::indexHoldsHunk(head, index, working, hunk) == unstaging)
                    act(hunk, unstaging);
        EXPECT_EQ(index, unstaging ? head : working);
    }
}
