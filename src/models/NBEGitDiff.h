#pragma once

#include <QList>
#include <QString>

#include <optional>

// One row of a unified diff as the diff view shows it.
struct NBEGitDiffLine
{
    enum class Kind { context, addition, deletion, hunk, meta };

    Kind kind = Kind::context;
    // Without the leading "+", "-" or blank for content rows; the whole line
    // for hunk and meta rows.
    QString text;
    std::optional<int> oldLine;
    std::optional<int> newLine;

    bool operator==(const NBEGitDiffLine &) const = default;
};

// The line ranges of a hunk header such as "@@ -12,5 +12,7 @@ name". A count
// left out is 1; a side with count 0 names the line before its position.
struct NBEGitHunkHeader
{
    int oldStart = 0;
    int oldCount = 0;
    int newStart = 0;
    int newCount = 0;
    bool operator==(const NBEGitHunkHeader &) const = default;
};

// Reads git's unified diff text (of a file or of a whole commit).
namespace NBEGitDiff {

// One row per line of `diff`, in order; never fails.
QList<NBEGitDiffLine> parse(const QString &diff);

// git's diff output as the diff view shows it: no rows for no or empty
// output, and no blank row after the newline that ends the last line.
QList<NBEGitDiffLine> parseOutput(std::optional<QString> output);

// Nothing when either start doesn't read. A count that doesn't read is 0.
std::optional<NBEGitHunkHeader> hunkHeader(QStringView line);

} // namespace NBEGitDiff
