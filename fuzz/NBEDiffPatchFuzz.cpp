#include "NBEDiffPatch.h"
#include "NBEFuzzSupport.h"
#include "NBELineDiff.h"

#include <limits>

// A file's unified diff cut down to one gutter hunk.
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
    return 0;
}
