#include "NBEFuzzSupport.h"
#include "NBEGitService.h"

#include <QUrl>

// What git prints for status, log and ahead/behind.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString output = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const QUrl root = QUrl::fromLocalFile(QStringLiteral("/repo"));
    for (const NBEGitFileChange &change : NBEGitOutput::parseStatus(output, root)) {
        change.overallStatus();
        NBE_FUZZ_CHECK(change.url.isLocalFile());
    }
    if (const auto counts = NBEGitOutput::parseAheadBehind(output))
        NBE_FUZZ_CHECK(counts->ahead >= 0 && counts->behind >= 0);
    NBEGitOutput::parseLog(output);
    return 0;
}
