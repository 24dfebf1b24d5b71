#include "NBEGitDiff.h"
#include "NBEDiffPatch.h"

#include <gtest/gtest.h>

namespace {

using Kind = NBEGitDiffLine::Kind;
using Line = NBEGitDiffLine;
constexpr std::nullopt_t none = std::nullopt;

} // namespace

TEST(NBEGitDiff, NumbersRowsOfANewFile)
{
    const QString diff = "diff --git a/x b/x\n"
                         "new file mode 100644\n"
                         "index 0000000..e69de29\n"
                         "--- /dev/null\n"
                         "+++ b/x\n"
                         "@@ -0,0 +1,3 @@\n"
                         "+one\n"
                         "+two\n"
                         "+three\n";
    const QList<Line> expected{
        {Kind::meta, "diff --git a/x b/x", none, none},
        {Kind::meta, "new file mode 100644", none, none},
        {Kind::meta, "index 0000000..e69de29", none, none},
        {Kind::meta, "--- /dev/null", none, none},
        {Kind::meta, "+++ b/x", none, none},
        {Kind::hunk, "@@ -0,0 +1,3 @@", none, none},
        {Kind::addition, "one", none, 1},
        {Kind::addition, "two", none, 2},
        {Kind::addition, "three", none, 3},
        {Kind::context, "", 0, 4},
    };
    EXPECT_EQ(NBEGitDiff::parse(diff), expected);
}

TEST(NBEGitDiff, ContentThatLooksLikeHeaders)
{
    // A removed "-- note" and an added "++ x" read as file headers outside a
    // hunk but are content inside one; the numbering after them holds.
    const QString diff = "diff --git a/a.sql b/a.sql\n"
                         "--- a/a.sql\n"
                         "+++ b/a.sql\n"
                         "@@ -10,4 +10,4 @@ select\n"
                         " keep\n"
                         "--- note\n"
                         "+++ x\n"
                         "\n"
                         " end\n"
                         "\\ No newline at end of file\n"
                         "diff --git a/b b/b\n"
                         "--- a/b\n"
                         "+++ b/b\n"
                         "@@ -1 +1 @@\n"
                         "-old\n"
                         "+new";
    const QList<Line> expected{
        {Kind::meta, "diff --git a/a.sql b/a.sql", none, none},
        {Kind::meta, "--- a/a.sql", none, none},
        {Kind::meta, "+++ b/a.sql", none, none},
        {Kind::hunk, "@@ -10,4 +10,4 @@ select", none, none},
        {Kind::context, "keep", 10, 10},
        {Kind::deletion, "-- note", 11, none},
        {Kind::addition, "++ x", none, 11},
        {Kind::context, "", 12, 12},
        {Kind::context, "end", 13, 13},
        {Kind::meta, "\\ No newline at end of file", none, none},
        {Kind::meta, "diff --git a/b b/b", none, none},
        {Kind::meta, "--- a/b", none, none},
        {Kind::meta, "+++ b/b", none, none},
        {Kind::hunk, "@@ -1 +1 @@", none, none},
        {Kind::deletion, "old", 1, none},
        {Kind::addition, "new", none, 1},
    };
    EXPECT_EQ(NBEGitDiff::parse(diff), expected);
}

// A CRLF file's carriage returns end its lines; no row's text holds one.
TEST(NBEGitDiff, CarriageReturnsEndLinesInsteadOfFillingThem)
{
    const QString diff = "diff --git a/w.css b/w.css\n"
                         "--- a/w.css\n"
                         "+++ b/w.css\n"
                         "@@ -1,3 +1,3 @@ body {\r\n"
                         " body {\r\n"
                         "-  color: red;\r\n"
                         "+  color: blue;\r\n"
                         "+\r\n"
                         " }\r\n";
    const QList<Line> expected{
        {Kind::meta, "diff --git a/w.css b/w.css", none, none},
        {Kind::meta, "--- a/w.css", none, none},
        {Kind::meta, "+++ b/w.css", none, none},
        {Kind::hunk, "@@ -1,3 +1,3 @@ body {", none, none},
        {Kind::context, "body {", 1, 1},
        {Kind::deletion, "  color: red;", 2, none},
        {Kind::addition, "  color: blue;", none, 2},
        {Kind::addition, "", none, 3},
        {Kind::context, "}", 3, 4},
        {Kind::context, "", 4, 5},
    };
    EXPECT_EQ(NBEGitDiff::parse(diff), expected);
}

TEST(NBEGitDiff, LinesOutsideHunksAndUnreadableHeaders)
{
    // A binary file says so, without line numbers; after another file's
    // rows too, and in a hunk such a line is content.
    const QList<Line> binary = NBEGitDiff::parse(
        "@@ -1 +1 @@\n-a\n+b\ndiff --git a/x b/x\nBinary files a/x and b/x differ\n"
        "@@ -1 +1 @@\n-c\n+Binary files d");
    EXPECT_EQ(binary[4], (Line{Kind::meta, "Binary files a/x and b/x differ", none, none}));
    EXPECT_EQ(binary[7], (Line{Kind::addition, "Binary files d", none, 1}));

    // A header that doesn't read leaves the numbering as it was.
    const QList<Line> rows = NBEGitDiff::parse("@@ -3 +5 @@\n x\n@@ nonsense @@\n y");
    EXPECT_EQ(rows[1], (Line{Kind::context, "x", 3, 5}));
    EXPECT_EQ(rows[2].kind, Kind::hunk);
    EXPECT_EQ(rows[3], (Line{Kind::context, "y", 4, 6}));

    EXPECT_EQ(NBEGitDiff::hunkHeader(u"@@ -12,5 +12,7 @@ fn"), (NBEGitHunkHeader{12, 5, 12, 7}));
    EXPECT_EQ(NBEGitDiff::hunkHeader(u"@@ -1 +0,0 @@"), (NBEGitHunkHeader{1, 1, 0, 0}));
    EXPECT_FALSE(NBEGitDiff::hunkHeader(u"@@ -x +1 @@"));
    EXPECT_FALSE(NBEGitDiff::hunkHeader(u"@@"));
    EXPECT_FALSE(NBEGitDiff::hunkHeader(u"@@ --3 +1 @@"));

    // Numbering near the largest int stops instead of wrapping negative.
    const QList<Line> far = NBEGitDiff::parse("@@ -2147483647,2 +2147483646,3 @@\n a\n+b\n c");
    EXPECT_EQ(far[1], (Line{Kind::context, "a", 2147483647, 2147483646}));
    EXPECT_EQ(far[2], (Line{Kind::addition, "b", std::nullopt, 2147483647}));
    EXPECT_EQ(far[3], (Line{Kind::context, "c", std::nullopt, std::nullopt}));
}

TEST(NBEDiffPatch, CutsTheHunkCoveringALine)
{
    const QString header = "diff --git a/f b/f\nindex 1..2 100644\n--- a/f\n+++ b/f\n";
    const QString first = "@@ -2,3 +2,4 @@\n a\n+b\n c\n d\n";
    const QString second = "@@ -38,6 +40,6 @@ fn\n x\n x\n-y\n+Y\n x\n x";
    const QString diff = header + first + second + "\n";

    EXPECT_EQ(NBEDiffPatch::hunkPatch(diff, 42), header + second + "\n");
    EXPECT_EQ(NBEDiffPatch::hunkPatch(diff, 3), header + first);
    EXPECT_FALSE(NBEDiffPatch::hunkPatch(diff, 20));
    EXPECT_FALSE(NBEDiffPatch::hunkPatch(diff, 46));
    EXPECT_FALSE(NBEDiffPatch::hunkPatch(header, 1));

    for (const char *range : {"+7", "+7,0"}) {
        const QString single = header + "@@ -7 " + range + " @@\n-x\n";
        EXPECT_TRUE(NBEDiffPatch::hunkPatch(single, 7)) << range;
        EXPECT_FALSE(NBEDiffPatch::hunkPatch(single, 8)) << range;
        EXPECT_FALSE(NBEDiffPatch::hunkPatch(single, 6)) << range;
    }

    // A header that doesn't read is skipped; later hunks are still tried.
    const QString skipped = header + "@@ -1 +x @@\n-a\n@@ -5 +5 @@\n-b\n+c\n";
    EXPECT_EQ(NBEDiffPatch::hunkPatch(skipped, 5), header + "@@ -5 +5 @@\n-b\n+c\n");

    const QString added = "diff --git a/n b/n\nnew file mode 100644\n--- /dev/null\n+++ b/n\n"
                          "@@ -0,0 +1,2 @@\n+a\n+b\n";
    EXPECT_EQ(NBEDiffPatch::hunkPatch(added, 2), added);

    // Ranges that end past the largest int still cover their lines.
    const QString far = header + "@@ -2147483640,9 +2147483640,9 @@\n x\n-y\n+Y\n";
    EXPECT_EQ(NBEDiffPatch::hunkPatch(far, 2147483647), far);
    NBEDiffHunk gutter;
    gutter.kind = NBEDiffHunk::Kind::modified;
    gutter.oldStart = gutter.newStart = 2147483641;
    gutter.oldLines = {"y"};
    gutter.newLines = {"Y"};
    EXPECT_TRUE(gutter.covers(2147483641));
    EXPECT_EQ(NBEDiffPatch::hunkPatch(far, gutter, false), far);
    EXPECT_EQ(NBEDiffPatch::hunkPatch(far, gutter, true), far);
}
