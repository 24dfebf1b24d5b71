#include "NBEFuzzSupport.h"
#include "NBEGitDiff.h"

// Unified diff text: every row's line numbers are positive.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString diff = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    for (const NBEGitDiffLine &line : NBEGitDiff::parse(diff)) {
        NBE_FUZZ_CHECK(!line.oldLine || *line.oldLine >= 0);
        NBE_FUZZ_CHECK(!line.newLine || *line.newLine >= 0);
    }
    NBEGitDiff::parseOutput(diff);
    for (const QStringView line : QStringView(diff).split(u'\n'))
        NBEGitDiff::hunkHeader(line);
    return 0;
}
