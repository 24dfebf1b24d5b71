#include "NBESoftBreaks.h"

#include <algorithm>

namespace {

// How far before a piece's aimed end a better place to split is looked for.
constexpr int lookBack = 200;

bool endsAPiece(QChar c)
{
    switch (c.unicode()) {
    case u';':
    case u',':
    case u'{':
    case u'}':
    case u')':
    case u'>':
    case u' ':
    case u'\t':
        return true;
    default:
        return false;
    }
}

} // namespace

std::vector<int> NBESoftBreaks::cutsIn(QStringView line)
{
    std::vector<int> cuts;
    qsizetype start = 0;
    while (line.size() - start > longestPiece) {
        qsizetype cut = start + pieceLength;
        for (qsizetype at = cut; at > cut - lookBack; --at) {
            if (endsAPiece(line[at - 1])) {
                cut = at;
                break;
            }
        }
        if (line[cut - 1].isHighSurrogate() && line[cut].isLowSurrogate())
            --cut;
        cuts.push_back(int(cut));
        start = cut;
    }
    return cuts;
}

int NBESoftBreaks::toView(const std::vector<int> &breaks, int offset)
{
    // The text offset where break i stands (breaks[i] - i) grows with i.
    size_t low = 0;
    size_t high = breaks.size();
    while (low < high) {
        const size_t middle = (low + high) / 2;
        if (breaks[middle] - int(middle) < offset)
            low = middle + 1;
        else
            high = middle;
    }
    return offset + int(low);
}

int NBESoftBreaks::toText(const std::vector<int> &breaks, int viewOffset)
{
    const auto before = std::lower_bound(breaks.begin(), breaks.end(), viewOffset);
    return viewOffset - int(before - breaks.begin());
}

bool NBESoftBreaks::continuesLine(const std::vector<int> &breaks, int blockPosition)
{
    return std::binary_search(breaks.begin(), breaks.end(), blockPosition - 1);
}
