#include "NBEDiffPatch.h"

#include "NBEGitDiff.h"

#include <QStringList>

namespace {

// The half-open range of new-side lines a hunk header names. A count of 0
// (a hunk that only removes lines) covers the single line `start`. Line
// numbers are 64-bit here: a header may name lines near the largest int.
std::optional<std::pair<qint64, qint64>> parseNewRange(QStringView header)
{
    const qsizetype plus = header.indexOf(u'+');
    if (plus < 0)
        return std::nullopt;
    QStringView range = header.mid(plus + 1);
    const qsizetype blank = range.indexOf(u' ');
    if (blank >= 0)
        range = range.left(blank);
    const QList<QStringView> pieces = range.split(u',', Qt::SkipEmptyParts);
    bool ok = false;
    const qint64 start = pieces.isEmpty() ? 0 : pieces[0].toInt(&ok);
    if (!ok)
        return std::nullopt;
    qint64 count = 1;
    if (pieces.size() > 1) {
        bool countOK = false;
        const int read = pieces[1].toInt(&countOK);
        if (countOK)
            count = std::max<qint64>(read, 1);
    }
    return std::pair(start, start + count);
}

QString joined(const QStringList &lines)
{
    QString patch = lines.join(u'\n');
    if (!patch.endsWith(u'\n'))
        patch += u'\n';
    return patch;
}

// A run of removed and added lines inside one of git's hunks, with the
// position where it sits on each side: its first line, or for a side
// without lines, the line that follows.
struct Change
{
    qsizetype first = 0; // index of the change's first row in the hunk body
    qsizetype last = 0;  // one past its last row (markers included)
    qint64 oldStart = 0;
    qint64 oldCount = 0;
    qint64 newStart = 0;
    qint64 newCount = 0;
    // Whether the file's last line end comes or goes with it. The gutter
    // sees that as the empty line after the last, one line further on.
    bool atEndOfFile = false;
};

struct Hunk
{
    QStringView header;
    QList<QStringView> body;
    QList<Change> changes;
};

// git's hunks of a one-file diff, read by the counts in their headers.
std::optional<std::pair<QList<QStringView>, QList<Hunk>>> readDiff(const QList<QStringView> &lines)
{
    qsizetype i = 0;
    while (i < lines.size() && !lines[i].startsWith(u"@@"))
        ++i;
    if (i == lines.size())
        return std::nullopt;
    const QList<QStringView> fileHeader = lines.mid(0, i);
    QList<Hunk> hunks;
    while (i < lines.size()) {
        if (!lines[i].startsWith(u"@@")) {
            ++i;
            continue;
        }
        const auto header = NBEGitDiff::hunkHeader(lines[i]);
        Hunk hunk{lines[i], {}, {}};
        ++i;
        if (!header) {
            while (i < lines.size() && !lines[i].startsWith(u"@@"))
                ++i;
            continue;
        }
        qint64 oldLeft = header->oldCount;
        qint64 newLeft = header->newCount;
        qint64 oldLine = qint64(header->oldStart) + (header->oldCount == 0 ? 1 : 0);
        qint64 newLine = qint64(header->newStart) + (header->newCount == 0 ? 1 : 0);
        std::optional<Change> open;
        const auto close = [&] {
            if (open) {
                open->last = hunk.body.size();
                hunk.changes.append(*open);
                open.reset();
            }
        };
        while (i < lines.size() && (oldLeft > 0 || newLeft > 0 || lines[i].startsWith(u'\\'))) {
            const QStringView line = lines[i++];
            const QChar kind = line.isEmpty() ? u' ' : line[0];
            if (kind == u'\\') {
                if (open)
                    open->atEndOfFile = true;
                hunk.body.append(line);
                continue;
            }
            if (kind == u'-' || kind == u'+') {
                if (!open)
                    open = Change{hunk.body.size(), 0, oldLine, 0, newLine, 0};
                if (kind == u'-') {
                    ++open->oldCount;
                    ++oldLine;
                    --oldLeft;
                } else {
                    ++open->newCount;
                    ++newLine;
                    --newLeft;
                }
            } else {
                close();
                ++oldLine;
                ++newLine;
                --oldLeft;
                --newLeft;
            }
            hunk.body.append(line);
        }
        close();
        hunks.append(hunk);
    }
    return std::pair(fileHeader, hunks);
}

// Whether a change at [start, start + count) meets the gutter's lines
// [hunkStart, hunkStart + hunkCount); a side without lines is the gap
// before its start.
bool meets(qint64 start, qint64 count, qint64 hunkStart, qint64 hunkCount)
{
    if (count > 0 && hunkCount > 0)
        return start < hunkStart + hunkCount && hunkStart < start + count;
    if (count == 0 && hunkCount == 0)
        return start == hunkStart;
    if (count == 0)
        return hunkStart <= start && start <= hunkStart + hunkCount;
    return start <= hunkStart && hunkStart <= start + count;
}

} // namespace

namespace NBEDiffPatch {

std::optional<QString> hunkPatch(const QString &diff, int coveringNewLine)
{
    const QStringList lines = diff.split(u'\n');
    qsizetype first = 0;
    while (first < lines.size() && !lines[first].startsWith(QStringLiteral("@@")))
        ++first;
    if (first == lines.size())
        return std::nullopt;
    for (qsizetype start = first; start < lines.size();) {
        qsizetype end = start + 1;
        while (end < lines.size() && !lines[end].startsWith(QStringLiteral("@@")))
            ++end;
        const auto range = parseNewRange(lines[start]);
        if (range && range->first <= coveringNewLine && coveringNewLine < range->second)
            return joined(lines.mid(0, first) + lines.mid(start, end - start));
        start = end;
    }
    return std::nullopt;
}

std::optional<QString> hunkPatch(const QString &diff, const NBEDiffHunk &hunk, bool reverse)
{
    const auto read = readDiff(QStringView(diff).split(u'\n'));
    if (!read)
        return std::nullopt;
    const auto &[fileHeader, hunks] = *read;

    // A deletion after the buffer's last line is marked on that line, while
    // git places it after the line; that reading is tried only when nothing
    // meets the hunk where it is marked.
    bool shifted = false;
    const auto selected = [&](const Change &change) {
        const qint64 extra = change.atEndOfFile ? 1 : 0;
        if (reverse)
            return meets(change.oldStart, change.oldCount + extra, hunk.oldStart,
                         hunk.oldLineCount());
        if (shifted)
            return change.newCount == 0 && change.newStart == qint64(hunk.newStart) + 1;
        return meets(change.newStart, change.newCount + extra, hunk.newStart, hunk.newLineCount());
    };
    const auto anySelected = [&] {
        for (const Hunk &gitHunk : hunks)
            for (const Change &change : gitHunk.changes)
                if (selected(change))
                    return true;
        return false;
    };
    if (!anySelected() && !reverse && hunk.newLines.isEmpty()) {
        shifted = true;
        if (!anySelected())
            return std::nullopt;
    }
    // The side that the patch applies to keeps its lines: going forward an
    // unselected removal stays as context, going in reverse an unselected
    // addition does; the other side's lines of it are dropped.
    const QChar keptAsContext = reverse ? u'+' : u'-';

    QStringList patch;
    for (const QStringView line : fileHeader)
        patch.append(line.toString());
    bool any = false;
    for (const Hunk &gitHunk : hunks) {
        QList<bool> chosen;
        bool anyHere = false;
        for (const Change &change : gitHunk.changes) {
            chosen.append(selected(change));
            anyHere = anyHere || chosen.last();
        }
        if (!anyHere)
            continue;
        any = true;
        patch.append(gitHunk.header.toString());
        qsizetype next = 0;
        for (qsizetype row = 0; row < gitHunk.body.size(); ++row) {
            while (next < gitHunk.changes.size() && gitHunk.changes[next].last <= row)
                ++next;
            const QStringView line = gitHunk.body[row];
            const bool inChange =
                next < gitHunk.changes.size() && gitHunk.changes[next].first <= row;
            if (!inChange || chosen[next]) {
                patch.append(line.toString());
                continue;
            }
            if (line.startsWith(keptAsContext)) {
                patch.append(u' ' + line.mid(1).toString());
            } else if (!line.startsWith(u'\\')) {
                // Dropped, together with its "\ No newline" marker.
                if (row + 1 < gitHunk.body.size() && gitHunk.body[row + 1].startsWith(u'\\'))
                    ++row;
            } else {
                patch.append(line.toString());
            }
        }
    }
    if (!any)
        return std::nullopt;
    return joined(patch);
}

} // namespace NBEDiffPatch
