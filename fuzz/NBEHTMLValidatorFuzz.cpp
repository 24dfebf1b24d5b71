#include "NBEFuzzSupport.h"
#include "NBEHTMLValidator.h"

// Diagnostics point into the text.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const qsizetype lines = text.count(u'\n') + 1;
    for (const NBELSPDiagnostic &diagnostic : NBEHTMLValidator::validate(text)) {
        NBE_FUZZ_CHECK(diagnostic.startLine >= 0 && diagnostic.startLine < lines);
        NBE_FUZZ_CHECK(diagnostic.endLine >= diagnostic.startLine && diagnostic.endLine < lines);
        NBE_FUZZ_CHECK(diagnostic.startCharacter >= 0 && diagnostic.endCharacter >= 0);
        NBE_FUZZ_CHECK(!diagnostic.message.isEmpty());
    }
    return 0;
}
