#include "NBEFuzzSupport.h"
#include "NBEJSONParser.h"
#include "NBELSPDiagnostic.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const std::optional<NBEJSONValue> params = NBEJSONParser::parse(bytes);
    if (!params)
        return 0;
    if (const auto published = NBELSPPublishedDiagnostics::parse(*params)) {
        for (const NBELSPDiagnostic &diagnostic : published->diagnostics)
            qHash(diagnostic);
    }
    NBELSPDiagnostic::fromJSON(*params);
    return 0;
}
