#include "NBEFuzzSupport.h"
#include "NBELineDiff.h"

// The hunks turn the HEAD text into the buffer.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    NBEFuzzInput input(data, size);
    const auto [head, buffer] = input.twoTexts();
    const QList<NBEDiffHunk> hunks = NBELineDiff::hunks(head, buffer);
    const QStringList oldLines = head.split(u'\n');
    QStringList rebuilt;
    int next = 0; // 0-based index of the first HEAD line not yet copied
    for (const NBEDiffHunk &hunk : hunks) {
        const int from = hunk.oldStart - 1;
        NBE_FUZZ_CHECK(from >= next && from <= oldLines.size());
        rebuilt += oldLines.mid(next, from - next);
        NBE_FUZZ_CHECK(oldLines.mid(from, hunk.oldLines.size()) == hunk.oldLines);
        rebuilt += hunk.newLines;
        next = from + int(hunk.oldLines.size());
    }
    rebuilt += oldLines.mid(next);
    NBE_FUZZ_CHECK(rebuilt.join(u'\n') == buffer);
    NBELineDiff::changes(hunks);
    return 0;
}
