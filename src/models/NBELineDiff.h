#pragma once

#include <QFuture>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

// One change of a buffer against its text at HEAD, as the gutter shows it.
struct NBEDiffHunk
{
    enum class Kind { added, modified, deleted };

    Kind kind = Kind::added;
    // 1-based line in the HEAD text where `oldLines` begin.
    int oldStart = 1;
    QStringList oldLines;
    // 1-based buffer line where `newLines` begin; for a deletion, the line
    // whose marker shows it (the last line when the deletion is at the end).
    int newStart = 1;
    QStringList newLines;

    // Tells hunks of one result apart.
    qint64 id() const { return qint64(quint64(oldStart) + quint64(newStart) * quint64(1000003)); }
    int oldLineCount() const { return int(oldLines.size()); }
    int newLineCount() const { return int(newLines.size()); }
    // Whether a click on buffer `line` hits this hunk.
    bool covers(int line) const
    {
        if (newLines.isEmpty())
            return line == newStart;
        return line >= newStart && qint64(line) < qint64(newStart) + newLineCount();
    }

    bool operator==(const NBEDiffHunk &) const = default;
};

// The 1-based buffer lines the gutter marks.
struct NBELineChanges
{
    QSet<int> added;
    QSet<int> modified;
    QSet<int> deletedAbove;

    bool operator==(const NBELineChanges &) const = default;
};

// Compares a buffer with its HEAD text line by line: a shortest edit script
// (Myers), in memory linear in the texts' size. Pure; any thread may call it.
namespace NBELineDiff {

QList<NBEDiffHunk> hunks(const QString &head, const QString &buffer);
// The same work on a worker thread.
QFuture<QList<NBEDiffHunk>> hunksInBackground(const QString &head, const QString &buffer);

NBELineChanges changes(const QList<NBEDiffHunk> &hunks);

} // namespace NBELineDiff
