#include "NBEDiffPatch.h"

#include "NBEGitDiff.h"
#include "NBELineEnding.h"

#include <QHash>
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

// --- Whole texts

namespace {

QStringView withoutCR(QStringView line)
{
    return line.endsWith(u'\r') ? line.chopped(1) : line;
}

// Whether `lines` hold `expected` from `from` on, line ends aside (the
// gutter compares texts with "\n" ends, git stores the file's own).
bool holds(const QStringList &lines, qsizetype from, const QStringList &expected)
{
    if (from < 0 || from + expected.size() > lines.size())
        return false;
    for (qsizetype i = 0; i < expected.size(); ++i)
        if (withoutCR(lines[from + i]) != withoutCR(expected[i]))
            return false;
    return true;
}

// A half-open range of 0-based HEAD lines.
struct Span
{
    qsizetype start = 0;
    qsizetype end = 0;
};

// Whether two changes of HEAD touch the same lines. An insertion touches
// lines it sits strictly inside of, or another insertion at its place; at
// an edge it stays a neighbour.
bool overlaps(Span a, Span b)
{
    if (a.start == a.end && b.start == b.end)
        return a.start == b.start;
    if (a.start == a.end)
        return b.start < a.start && a.start < b.end;
    if (b.start == b.end)
        return a.start < b.start && b.start < a.end;
    return a.start < b.end && b.start < a.end;
}

Span spanOf(const NBEDiffHunk &hunk)
{
    return {hunk.oldStart - 1, hunk.oldStart - 1 + hunk.oldLineCount()};
}

// The HEAD lines a gutter hunk and the staged changes it touches cover,
// and where those lines stand in the index.
struct Region
{
    Span head;
    Span index;
    bool staged = false;
};

Region regionOf(const QString &head, const QString &index, Span hunk)
{
    Region region{hunk, {}, false};
    qsizetype before = 0;
    qsizetype inside = 0;
    // Staged changes are one line or more apart, so only those the hunk
    // touches can meet the region.
    for (const NBEDiffHunk &staged : NBELineDiff::hunks(head, index)) {
        const Span span{staged.oldStart - 1, staged.oldStart - 1 + staged.oldLineCount()};
        const qsizetype gained = staged.newLineCount() - staged.oldLineCount();
        if (overlaps(span, hunk)) {
            region.staged = true;
            region.head.start = std::min(region.head.start, span.start);
            region.head.end = std::max(region.head.end, span.end);
            inside += gained;
        } else if (span.end <= hunk.start) {
            before += gained;
        }
    }
    region.index = {region.head.start + before, region.head.end + before + inside};
    return region;
}

// The region's lines with the hunk's new lines in place of its old ones.
QStringList staged(const QStringList &head, const Region &region, Span hunk,
                   const QStringList &newLines)
{
    return head.mid(region.head.start, hunk.start - region.head.start) + newLines +
           head.mid(hunk.end, region.head.end - hunk.end);
}

qsizetype editCount(const QList<NBEDiffHunk> &hunks)
{
    qsizetype count = 0;
    for (const NBEDiffHunk &hunk : hunks)
        count += hunk.oldLineCount() + hunk.newLineCount();
    return count;
}

// Where the hunk's new lines stand in the index when the index holds them
// as the gutter shows them: HEAD plus that hunk alone is nearer the index
// than HEAD by the whole hunk, and the two differ away from the hunk's
// lines. Diffs of the same texts may align other lines differently, so
// this is asked before the index is compared with HEAD itself.
std::optional<Span> heldAt(const QStringList &head, const QString &index, const NBEDiffHunk &hunk,
                           Span span)
{
    QStringList plainHead;
    plainHead.reserve(head.size());
    for (const QString &line : head)
        plainHead.append(withoutCR(line).toString());
    const QStringList withHunk =
        plainHead.mid(0, span.start) + hunk.newLines + plainHead.mid(span.end);
    const QString plainIndex = QString(index).replace(QLatin1String("\r\n"), QLatin1String("\n"));
    const QList<NBEDiffHunk> rest = NBELineDiff::hunks(withHunk.join(u'\n'), plainIndex);
    if (editCount(rest) + hunk.oldLineCount() + hunk.newLineCount() >
        editCount(NBELineDiff::hunks(plainHead.join(u'\n'), plainIndex)))
        return std::nullopt;
    const Span inWithHunk{span.start, span.start + hunk.newLineCount()};
    qsizetype before = 0;
    for (const NBEDiffHunk &other : rest) {
        const Span otherSpan = spanOf(other);
        if (overlaps(otherSpan, inWithHunk))
            return std::nullopt;
        if (otherSpan.end <= inWithHunk.start)
            before += other.newLineCount() - other.oldLineCount();
    }
    return Span{inWithHunk.start + before, inWithHunk.end + before};
}

// --- Pairing by the gutter's own diff

// A text cut into the lines the gutter sees: "\r\n", "\n" and a lone "\r"
// each end a line, and the piece after the last line end is a line too.
struct Pieces
{
    QString text;
    QList<qsizetype> starts;
    QList<qsizetype> ends; // where each line's content ends, before its line end

    qsizetype count() const { return starts.size(); }
    QStringView line(qsizetype i) const
    {
        return QStringView(text).mid(starts[i], ends[i] - starts[i]);
    }

    // Where lines [from, to) lie in the text with the line ends that belong
    // to them. A run in the middle takes the line end after each line; a run
    // that reaches the end takes the one before each line instead, so that
    // taking away or adding the last lines takes away or adds the line end
    // that went with them.
    std::pair<qsizetype, qsizetype> span(qsizetype from, qsizetype to) const
    {
        if (to < count())
            return {starts[from], starts[to]};
        return {from == 0 ? 0 : ends[from - 1], text.size()};
    }
};

Pieces piecesOf(const QString &text)
{
    Pieces pieces{text, {0}, {}};
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != u'\r' && text[i] != u'\n')
            continue;
        pieces.ends.append(i);
        if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
            ++i;
        pieces.starts.append(i + 1);
    }
    pieces.ends.append(text.size());
    return pieces;
}

bool sameLines(const Pieces &a, qsizetype at, const Pieces &b, qsizetype from, qsizetype to)
{
    if (at + (to - from) > a.count())
        return false;
    for (qsizetype i = from; i < to; ++i)
        if (a.line(at + i - from) != b.line(i))
            return false;
    return true;
}

// A gutter hunk as ranges of lines on HEAD's side and on the file's side.
struct GutterChange
{
    qsizetype oldFrom, oldTo, newFrom, newTo;
};

// Where each gutter hunk stands in the index, and whether it is there with
// its new lines (staged) or its old ones.
struct Placed
{
    qsizetype from, to;
    bool staged;
};

// Reads the index as HEAD with some of the gutter's hunks staged: HEAD's
// unchanged lines in order, each hunk's old or new lines between them. Any
// other reading of the index (a diff of its own) could pair repeated lines
// differently from the gutter. Where repeated lines allow several readings
// of one text, the one that stages the most changed lines is taken, and the
// gutter shows and switches hunks by that one alone: two readings mixed hunk
// by hunk could show every hunk staged while the index still differs from
// the file, and staging a hunk always brings the reading closer to the file.
// Nothing when the index isn't such a text.
std::optional<QList<Placed>> placeInIndex(const Pieces &head, const Pieces &working,
                                          const Pieces &index, const QList<GutterChange> &changes)
{
    struct Step
    {
        qsizetype from, to;
        qsizetype parent;
        bool staged;
        qsizetype weight; // changed lines staged up to here
    };
    struct Stand
    {
        qsizetype at, parent, weight;
    };
    // Every index line where a reading can stand, kept once each with the
    // heaviest step that reached it; there are few unless lines repeat a lot.
    QList<QList<Step>> steps;
    QList<Stand> frontier{{0, -1, 0}};
    qsizetype headAt = 0;
    for (qsizetype k = 0;; ++k) {
        const bool last = k == changes.size();
        const qsizetype segmentEnd = last ? head.count() : changes[k].oldFrom;
        QList<Stand> afterSegment;
        for (const Stand &stand : std::as_const(frontier))
            if (sameLines(index, stand.at, head, headAt, segmentEnd))
                afterSegment.append({stand.at + segmentEnd - headAt, stand.parent, stand.weight});
        if (last) {
            const Stand *best = nullptr;
            for (const Stand &stand : std::as_const(afterSegment))
                if (stand.at == index.count() && (!best || stand.weight > best->weight))
                    best = &stand;
            if (!best)
                return std::nullopt;
            QList<Placed> placed(changes.size());
            for (qsizetype j = changes.size() - 1, p = best->parent; j >= 0; --j) {
                const Step &step = steps[j][p];
                placed[j] = {step.from, step.to, step.staged};
                p = step.parent;
            }
            return placed;
        }
        const GutterChange &change = changes[k];
        const qsizetype changed = change.oldTo - change.oldFrom + change.newTo - change.newFrom;
        QList<Step> reached;
        QHash<qsizetype, qsizetype> reachedAt;
        for (const Stand &stand : std::as_const(afterSegment)) {
            for (const bool staged : {false, true}) {
                const Pieces &side = staged ? working : head;
                const qsizetype from = staged ? change.newFrom : change.oldFrom;
                const qsizetype to = staged ? change.newTo : change.oldTo;
                if (!sameLines(index, stand.at, side, from, to))
                    continue;
                const Step step{stand.at, stand.at + to - from, stand.parent, staged,
                                stand.weight + (staged ? changed : 0)};
                const auto known = reachedAt.constFind(step.to);
                if (known == reachedAt.cend()) {
                    reachedAt.insert(step.to, reached.size());
                    reached.append(step);
                } else if (step.weight > reached[*known].weight) {
                    reached[*known] = step;
                }
            }
        }
        if (reached.isEmpty())
            return std::nullopt;
        frontier.clear();
        for (qsizetype i = 0; i < reached.size(); ++i)
            frontier.append({reached[i].to, i, reached[i].weight});
        steps.append(reached);
        headAt = change.oldTo;
    }
}

struct Pairing
{
    Pieces head, working, index;
    QList<GutterChange> changes;
    qsizetype hunk = -1;
};

// The gutter's hunks of the file against HEAD, worked out again here, and
// which of them `hunk` is. Nothing when the gutter showed another text (an
// unsaved edit) and `hunk` isn't among them.
std::optional<Pairing> pairing(const QString &head, const QString &index, const QString &working,
                               const NBEDiffHunk &hunk)
{
    Pairing pairing{piecesOf(head), piecesOf(working), piecesOf(index), {}, -1};
    const QList<NBEDiffHunk> hunks =
        NBELineDiff::hunks(NBELineEndings::normalized(head), NBELineEndings::normalized(working));
    qsizetype shift = 0;
    for (const NBEDiffHunk &gutter : hunks) {
        const qsizetype oldFrom = gutter.oldStart - 1;
        const qsizetype newFrom = oldFrom + shift;
        pairing.changes.append(
            {oldFrom, oldFrom + gutter.oldLineCount(), newFrom, newFrom + gutter.newLineCount()});
        shift += gutter.newLineCount() - gutter.oldLineCount();
        // The line the gutter marks may differ when the tab holds unsaved
        // lines above; the change itself may not.
        if (gutter.oldStart == hunk.oldStart && gutter.oldLines == hunk.oldLines &&
            gutter.newLines == hunk.newLines)
            pairing.hunk = pairing.changes.size() - 1;
    }
    if (pairing.hunk < 0)
        return std::nullopt;
    return pairing;
}

// The index with the paired hunk moved to the other side; nothing when it
// already stands there, or when the index isn't HEAD plus gutter hunks.
std::optional<std::optional<QString>> movedByPairing(const QString &head, const QString &index,
                                                     const QString &working,
                                                     const NBEDiffHunk &hunk, bool unstaging)
{
    const auto paired = pairing(head, index, working, hunk);
    if (!paired)
        return std::nullopt;
    const auto placed = placeInIndex(paired->head, paired->working, paired->index, paired->changes);
    if (!placed)
        return std::nullopt;
    const Placed &at = (*placed)[paired->hunk];
    if (at.staged != unstaging)
        return std::optional<QString>();
    const GutterChange &change = paired->changes[paired->hunk];
    const Pieces &side = unstaging ? paired->head : paired->working;
    const auto [cut, cutEnd] = paired->index.span(at.from, at.to);
    const auto [from, to] = unstaging ? side.span(change.oldFrom, change.oldTo)
                                      : side.span(change.newFrom, change.newTo);
    return std::optional<QString>(index.left(cut) + side.text.mid(from, to - from) +
                                  index.mid(cutEnd));
}

} // namespace

namespace NBEDiffPatch {

std::optional<QString> indexAfterHunk(const QString &head, const QString &index,
                                      const QString &working, const NBEDiffHunk &hunk,
                                      bool unstaging)
{
    if (const auto moved = movedByPairing(head, index, working, hunk, unstaging))
        return *moved;
    const QStringList headLines = head.split(u'\n');
    const Span span = spanOf(hunk);
    if (!holds(headLines, span.start, hunk.oldLines))
        return std::nullopt;
    QStringList replacement;
    Span target;
    if (unstaging) {
        if (const auto held = heldAt(headLines, index, hunk, span)) {
            target = *held;
            replacement = headLines.mid(span.start, span.end - span.start);
        } else {
            const Region region = regionOf(head, index, span);
            if (!region.staged)
                return std::nullopt;
            target = region.index;
            replacement = headLines.mid(region.head.start, region.head.end - region.head.start);
        }
    } else {
        const QStringList workingLines = working.split(u'\n');
        const qsizetype from = hunk.newStart - 1;
        if (!holds(workingLines, from, hunk.newLines))
            return std::nullopt;
        const Region region = regionOf(head, index, span);
        target = region.index;
        replacement = staged(headLines, region, span, workingLines.mid(from, hunk.newLineCount()));
    }
    const QStringList indexLines = index.split(u'\n');
    const QString result =
        (indexLines.mid(0, target.start) + replacement + indexLines.mid(target.end)).join(u'\n');
    if (result == index)
        return std::nullopt;
    return result;
}

bool indexHoldsHunk(const QString &head, const QString &index, const QString &working,
                    const NBEDiffHunk &hunk)
{
    if (const auto paired = pairing(head, index, working, hunk)) {
        if (const auto placed =
                placeInIndex(paired->head, paired->working, paired->index, paired->changes))
            return (*placed)[paired->hunk].staged;
    }
    const QStringList headLines = head.split(u'\n');
    const Span span = spanOf(hunk);
    if (!holds(headLines, span.start, hunk.oldLines))
        return false;
    if (heldAt(headLines, index, hunk, span))
        return true;
    const Region region = regionOf(head, index, span);
    const QStringList expected = staged(headLines, region, span, hunk.newLines);
    return region.staged && region.index.end - region.index.start == expected.size() &&
           holds(index.split(u'\n'), region.index.start, expected);
}

} // namespace NBEDiffPatch
