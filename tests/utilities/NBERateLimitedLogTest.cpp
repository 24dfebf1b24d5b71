#include "NBERateLimitedLog.h"

#include <gtest/gtest.h>

TEST(NBERateLimitedLog, KeepsLinesWithinTheBudgetAndCountsTheRest)
{
    NBERateLimitedLog log(10);
    // Lines end at "\n" ("\r\n" too); a line waits for its end.
    EXPECT_EQ(log.take("ab\r\ncd", 0), (QStringList{"ab"}));
    EXPECT_EQ(log.take("ef\n\n", 100), (QStringList{"cdef", ""}));
    // Past the budget of the window, lines are counted, and so is every
    // line after the first one dropped, even one that would fit.
    EXPECT_EQ(log.take("12345\nx\ny\n", 200), (QStringList{}));
    EXPECT_EQ(log.pendingDrops(), 3);
    // The next window says the count first.
    EXPECT_EQ(log.take("next\n", 1000), (QStringList{"\u2026 3 lines dropped", "next"}));
    EXPECT_EQ(log.pendingDrops(), 0);
    EXPECT_EQ(log.take("1234567\n", 1100), (QStringList{}));
    // An empty read opens a due window, which says the count alone.
    EXPECT_EQ(log.take({}, 1500), (QStringList{}));
    EXPECT_EQ(log.take({}, 2000), (QStringList{"\u2026 1 lines dropped"}));
    // The end says the unfinished line and what is still unsaid.
    EXPECT_EQ(log.take("1234567890", 2100), (QStringList{}));
    EXPECT_EQ(log.take("tail", 2200), (QStringList{}));
    EXPECT_EQ(log.finish(2300), (QStringList{"\u2026 1 lines dropped"}));
    NBERateLimitedLog fresh(10);
    EXPECT_EQ(fresh.take("tail", 0), (QStringList{}));
    EXPECT_EQ(fresh.finish(0), (QStringList{"tail"}));
}

TEST(NBERateLimitedLog, CutsALineThatNeverEnds)
{
    NBERateLimitedLog log(1 << 20);
    const QByteArray endless(NBERateLimitedLog::longestLine * 3, 'x');
    const QStringList lines = log.take(endless, 0);
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_EQ(lines.first().size(), NBERateLimitedLog::longestLine);
}
