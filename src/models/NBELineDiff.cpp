#include "NBELineDiff.h"

#include <QHash>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// Myers' linear-space difference of two sequences of line ids: marks which
// lines of `a` are removed and which of `b` inserted.
class Differ
{
public:
    Differ(const std::vector<int> &a, const std::vector<int> &b)
        : m_a(a)
        , m_b(b)
    {
        m_costLimit = std::max(1024, int(4 * std::sqrt(double(a.size() + b.size()))));
    }

    std::vector<char> removed, inserted;

    void run()
    {
        removed.assign(m_a.size(), 0);
        inserted.assign(m_b.size(), 0);
        // An explicit stack: pathological inputs could split very unevenly.
        std::vector<Range> pending{{0, int(m_a.size()), 0, int(m_b.size())}};
        while (!pending.empty()) {
            Range r = pending.back();
            pending.pop_back();
            while (r.a0 < r.a1 && r.b0 < r.b1 && m_a[r.a0] == m_b[r.b0]) {
                ++r.a0;
                ++r.b0;
            }
            while (r.a0 < r.a1 && r.b0 < r.b1 && m_a[r.a1 - 1] == m_b[r.b1 - 1]) {
                --r.a1;
                --r.b1;
            }
            if (r.a0 == r.a1 || r.b0 == r.b1) {
                std::fill(removed.begin() + r.a0, removed.begin() + r.a1, 1);
                std::fill(inserted.begin() + r.b0, inserted.begin() + r.b1, 1);
                continue;
            }
            const auto [x, y] = split(r);
            if ((x == r.a0 && y == r.b0) || (x == r.a1 && y == r.b1)) {
                std::fill(removed.begin() + r.a0, removed.begin() + r.a1, 1);
                std::fill(inserted.begin() + r.b0, inserted.begin() + r.b1, 1);
                continue;
            }
            pending.push_back({r.a0, x, r.b0, y});
            pending.push_back({x, r.a1, y, r.b1});
        }
    }

private:
    struct Range
    {
        int a0, a1, b0, b1;
    };

    // A point on a shortest path through the range (the middle snake), or a
    // corner when the two sides share nothing. Past the cost limit the
    // furthest-reaching forward point is taken: the script stays correct
    // but may no longer be the shortest, and huge rewrites stay fast.
    std::pair<int, int> split(const Range &r)
    {
        const int n = r.a1 - r.a0;
        const int m = r.b1 - r.b0;
        const int *a = m_a.data() + r.a0;
        const int *b = m_b.data() + r.b0;
        const int maxD = (n + m + 1) / 2;
        const int offset = maxD + 1;
        const size_t length = size_t(2 * maxD + 3);
        m_forward.assign(length, -1);
        m_backward.assign(length, -1);
        m_forward[offset + 1] = 0;
        m_backward[offset + 1] = 0;
        const int delta = n - m;
        const bool front = (delta % 2) != 0;
        int k1start = 0, k1end = 0, k2start = 0, k2end = 0;
        for (int d = 0; d < maxD; ++d) {
            for (int k1 = -d + k1start; k1 <= d - k1end; k1 += 2) {
                const int k1o = offset + k1;
                int x1 = (k1 == -d || (k1 != d && m_forward[k1o - 1] < m_forward[k1o + 1]))
                             ? m_forward[k1o + 1]
                             : m_forward[k1o - 1] + 1;
                int y1 = x1 - k1;
                while (x1 < n && y1 < m && a[x1] == b[y1]) {
                    ++x1;
                    ++y1;
                }
                m_forward[k1o] = x1;
                if (x1 > n) {
                    k1end += 2;
                } else if (y1 > m) {
                    k1start += 2;
                } else if (front) {
                    const int k2o = offset + delta - k1;
                    if (k2o >= 0 && size_t(k2o) < length && m_backward[k2o] != -1 &&
                        x1 >= n - m_backward[k2o])
                        return {r.a0 + x1, r.b0 + y1};
                }
            }
            for (int k2 = -d + k2start; k2 <= d - k2end; k2 += 2) {
                const int k2o = offset + k2;
                int x2 = (k2 == -d || (k2 != d && m_backward[k2o - 1] < m_backward[k2o + 1]))
                             ? m_backward[k2o + 1]
                             : m_backward[k2o - 1] + 1;
                int y2 = x2 - k2;
                while (x2 < n && y2 < m && a[n - x2 - 1] == b[m - y2 - 1]) {
                    ++x2;
                    ++y2;
                }
                m_backward[k2o] = x2;
                if (x2 > n) {
                    k2end += 2;
                } else if (y2 > m) {
                    k2start += 2;
                } else if (!front) {
                    const int k1o = offset + delta - k2;
                    if (k1o >= 0 && size_t(k1o) < length && m_forward[k1o] != -1) {
                        const int x1 = m_forward[k1o];
                        const int y1 = offset + x1 - k1o;
                        if (x1 >= n - x2)
                            return {r.a0 + x1, r.b0 + y1};
                    }
                }
            }
            if (d >= m_costLimit) {
                int bestX = 0, bestY = 0;
                for (int k1 = -d + k1start; k1 <= d - k1end; k1 += 2) {
                    const int x1 = m_forward[offset + k1];
                    const int y1 = x1 - k1;
                    if (x1 >= 0 && x1 <= n && y1 >= 0 && y1 <= m && x1 + y1 > bestX + bestY) {
                        bestX = x1;
                        bestY = y1;
                    }
                }
                return {r.a0 + bestX, r.b0 + bestY};
            }
        }
        return {r.a0, r.b0};
    }

    const std::vector<int> &m_a;
    const std::vector<int> &m_b;
    std::vector<int> m_forward, m_backward;
    int m_costLimit = 1024;
};

} // namespace

namespace NBELineDiff {

QList<NBEDiffHunk> hunks(const QString &head, const QString &buffer)
{
    const QList<QStringView> oldLines = QStringView(head).split(u'\n');
    const QList<QStringView> newLines = QStringView(buffer).split(u'\n');
    const int oldCount = int(oldLines.size());
    const int newCount = int(newLines.size());

    // Lines the two texts share at both ends are settled without diffing.
    int prefix = 0;
    while (prefix < oldCount && prefix < newCount && oldLines[prefix] == newLines[prefix])
        ++prefix;
    int suffix = 0;
    while (suffix < oldCount - prefix && suffix < newCount - prefix &&
           oldLines[oldCount - 1 - suffix] == newLines[newCount - 1 - suffix])
        ++suffix;

    std::vector<char> removed(size_t(oldCount), 0);
    std::vector<char> inserted(size_t(newCount), 0);
    if (prefix + suffix < oldCount || prefix + suffix < newCount) {
        // Equal lines share an id. A line found in only one text can't be
        // part of any common subsequence, so it is marked at once and left
        // out of the comparison; this keeps the edit script shortest while
        // the search only sees lines that could match.
        QHash<QStringView, int> ids;
        std::vector<int> oldIds, newIds;
        oldIds.reserve(size_t(oldCount - prefix - suffix));
        newIds.reserve(size_t(newCount - prefix - suffix));
        for (int i = prefix; i < oldCount - suffix; ++i) {
            auto found = ids.constFind(oldLines[i]);
            if (found == ids.constEnd())
                found = ids.insert(oldLines[i], int(ids.size()));
            oldIds.push_back(*found);
        }
        std::vector<char> inOld(size_t(ids.size()), 0);
        for (int id : oldIds)
            inOld[size_t(id)] = 1;
        for (int i = prefix; i < newCount - suffix; ++i) {
            const auto found = ids.constFind(newLines[i]);
            newIds.push_back(found == ids.constEnd() ? -1 : *found);
        }
        std::vector<char> inNew(inOld.size(), 0);
        for (int id : newIds)
            if (id >= 0)
                inNew[size_t(id)] = 1;

        std::vector<int> a, b, aIndex, bIndex;
        for (size_t i = 0; i < oldIds.size(); ++i) {
            if (inNew[size_t(oldIds[i])]) {
                a.push_back(oldIds[i]);
                aIndex.push_back(prefix + int(i));
            } else {
                removed[size_t(prefix) + i] = 1;
            }
        }
        for (size_t i = 0; i < newIds.size(); ++i) {
            if (newIds[i] >= 0 && inOld[size_t(newIds[i])]) {
                b.push_back(newIds[i]);
                bIndex.push_back(prefix + int(i));
            } else {
                inserted[size_t(prefix) + i] = 1;
            }
        }
        Differ differ(a, b);
        differ.run();
        for (size_t i = 0; i < a.size(); ++i)
            if (differ.removed[i])
                removed[size_t(aIndex[i])] = 1;
        for (size_t i = 0; i < b.size(); ++i)
            if (differ.inserted[i])
                inserted[size_t(bIndex[i])] = 1;
    }

    QList<NBEDiffHunk> result;
    int o = 0, n = 0;
    while (o < oldCount || n < newCount) {
        const bool changed =
            (o < oldCount && removed[size_t(o)]) || (n < newCount && inserted[size_t(n)]);
        if (!changed) {
            ++o;
            ++n;
            continue;
        }
        NBEDiffHunk hunk;
        hunk.oldStart = o + 1;
        const int n0 = n;
        for (;;) {
            if (o < oldCount && removed[size_t(o)])
                hunk.oldLines.append(oldLines[o++].toString());
            else if (n < newCount && inserted[size_t(n)])
                hunk.newLines.append(newLines[n++].toString());
            else
                break;
        }
        if (hunk.newLines.isEmpty()) {
            hunk.kind = NBEDiffHunk::Kind::deleted;
            hunk.newStart = newCount == 0 ? 1 : std::min(n0 + 1, newCount);
        } else {
            hunk.kind =
                hunk.oldLines.isEmpty() ? NBEDiffHunk::Kind::added : NBEDiffHunk::Kind::modified;
            hunk.newStart = n0 + 1;
        }
        result.append(std::move(hunk));
    }
    return result;
}

QFuture<QList<NBEDiffHunk>> hunksInBackground(const QString &head, const QString &buffer)
{
    return QtConcurrent::run([head, buffer] { return hunks(head, buffer); });
}

NBELineChanges changes(const QList<NBEDiffHunk> &hunks)
{
    NBELineChanges result;
    for (const NBEDiffHunk &hunk : hunks) {
        switch (hunk.kind) {
        case NBEDiffHunk::Kind::added:
            for (int i = 0; i < hunk.newLineCount(); ++i)
                result.added.insert(hunk.newStart + i);
            break;
        case NBEDiffHunk::Kind::modified: {
            const int rewritten = std::min(hunk.newLineCount(), hunk.oldLineCount());
            for (int i = 0; i < hunk.newLineCount(); ++i)
                (i < rewritten ? result.modified : result.added).insert(hunk.newStart + i);
            if (hunk.newLineCount() < hunk.oldLineCount())
                result.deletedAbove.insert(hunk.newStart + hunk.newLineCount());
            break;
        }
        case NBEDiffHunk::Kind::deleted:
            result.deletedAbove.insert(hunk.newStart);
            break;
        }
    }
    return result;
}

} // namespace NBELineDiff
