#include "NBESoftBreaks.h"
#include "NBECodeSamples.h"

#include <QString>
#include <gtest/gtest.h>

using namespace NBESoftBreaks;

TEST(NBESoftBreaks, LongLinesAreCutIntoBoundedPiecesAtPunctuationWhenNear)
{
    EXPECT_TRUE(cutsIn(QString(longestPiece, u'x')).empty());

    const QString script = NBECodeSamples::minifiedScript(100'000).left(100'000);
    const std::vector<int> cuts = cutsIn(script);
    ASSERT_FALSE(cuts.empty());
    int start = 0;
    for (const int cut : cuts) {
        EXPECT_GT(cut - start, pieceLength - 200);
        EXPECT_LE(cut - start, pieceLength);
        // Each piece ends after punctuation, since the script has it often.
        EXPECT_TRUE(QStringLiteral(";{})").contains(script[cut - 1])) << cut;
        start = cut;
    }
    EXPECT_LE(script.size() - start, longestPiece);

    // No punctuation: cut at the aimed length, never inside a surrogate pair.
    const QString letters(10'000, u'x');
    EXPECT_EQ(cutsIn(letters).front(), pieceLength);
    QString emoji;
    while (emoji.size() < 10'000)
        emoji += QString::fromUtf8("\xF0\x9F\x98\x80");
    for (const int cut : cutsIn(emoji))
        EXPECT_FALSE(emoji[cut].isLowSurrogate()) << cut;
}

TEST(NBESoftBreaks, OffsetsMoveBetweenTextAndView)
{
    // Text "abcdefgh" shown as "abc|def|gh" (| a separator the view added,
    // at view offsets 3 and 7).
    const std::vector<int> breaks = {3, 7};
    const int views[] = {0, 1, 2, 3, 5, 6, 7, 9, 10};
    for (int offset = 0; offset <= 8; ++offset) {
        EXPECT_EQ(toView(breaks, offset), views[offset]) << offset;
        EXPECT_EQ(toText(breaks, toView(breaks, offset)), offset);
    }
    // Both sides of a split are the same place of the text.
    EXPECT_EQ(toText(breaks, 3), 3);
    EXPECT_EQ(toText(breaks, 4), 3);
    EXPECT_EQ(toText(breaks, 8), 6);

    // An emptied piece leaves two splits at one place of the text.
    const std::vector<int> adjacent = {2, 3};
    EXPECT_EQ(toView(adjacent, 2), 2);
    EXPECT_EQ(toView(adjacent, 3), 5);
    EXPECT_EQ(toText(adjacent, 4), 2);
    EXPECT_EQ(toView({}, 7), 7);
    EXPECT_EQ(toText({}, 7), 7);
}
