#include "NBEDiffPatch.h"
#include "NBEFuzzSupport.h"
#include "NBELineDiff.h"
#include "NBELineEnding.h"

#include <QStringList>

#include <limits>

namespace {

// A small text of few distinct lines, so that a diff can pair them many
// ways. A line's ending follows from its content (a lone CR never stands
// before an LF), so lines paired alike end alike.
QString smallText(NBEFuzzInput &input)
{
    static const QStringList lines{"}", "", "x", "a b"};
    static const QStringList endings{"\r\n", "\r\n", "\n", "\r"};
    QString text;
    for (int n = input.byte() % 8; n > 0; --n) {
        const int pick = input.byte() % 4;
        text += lines[pick] + endings[pick];
    }
    if (input.byte() & 1)
        text += lines[input.byte() % 4];
    return text;
}

} // namespace

// A file's unified diff cut down to one gutter hunk; then staging the
// gutter hunks of two small texts, which must give the file, and unstaging
// them, which must give HEAD back.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    NBEFuzzInput input(data, size);
    const uint8_t choice = input.byte();
    const int far = std::numeric_limits<int>::max() - input.byte();
    const int line = choice & 1 ? far : input.upTo(40);
    NBEDiffHunk hunk;
    hunk.kind = NBEDiffHunk::Kind(input.byte() % 3);
    hunk.oldStart = choice & 2 ? far : input.upTo(40);
    hunk.newStart = choice & 4 ? far : input.upTo(40);
    for (int i = input.byte() % 4; i > 0; --i)
        hunk.oldLines.append(QStringLiteral("a"));
    for (int i = input.byte() % 4; i > 0; --i)
        hunk.newLines.append(QStringLiteral("b"));
    const QString diff = input.rest();
    if (const auto patch = NBEDiffPatch::hunkPatch(diff, line))
        NBE_FUZZ_CHECK(!patch->isEmpty());
    NBEDiffPatch::hunkPatch(diff, hunk, bool(choice & 8));

    const QString head = smallText(input);
    const QString working = smallText(input);
    QList<NBEDiffHunk> hunks =
        NBELineDiff::hunks(NBELineEndings::normalized(head), NBELineEndings::normalized(working));
    // Acting on each hunk the gutter shows on the other side, round after
    // round in any order, ends at the file (staging) and at HEAD (unstaging).
    // Hunk by hunk the user's order can't always be kept: with repeated
    // lines two histories can leave the same index text.
    QString index = head;
    for (const bool unstaging : {false, true}) {
        for (qsizetype round = 0; round <= 2 * hunks.size(); ++round) {
            for (qsizetype i = hunks.size() - 1; i > 0; --i)
                hunks.swapItemsAt(i, input.byte() % (i + 1));
            bool acted = false;
            for (const NBEDiffHunk &each : hunks) {
                if (NBEDiffPatch::indexHoldsHunk(head, index, working, each) != unstaging)
                    continue;
                const auto next =
                    NBEDiffPatch::indexAfterHunk(head, index, working, each, unstaging);
                NBE_FUZZ_CHECK(next.has_value());
                index = *next;
                acted = true;
            }
            if (!acted)
                break;
        }
        NBE_FUZZ_CHECK(index == (unstaging ? head : working));
    }
    return 0;
}
