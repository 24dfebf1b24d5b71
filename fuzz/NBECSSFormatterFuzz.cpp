#include "NBECSSFormatter.h"
#include "NBEFormatter.h"
#include "NBEFuzzSupport.h"

// Formatting formatted CSS changes nothing.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    NBEFuzzInput input(data, size);
    const QString indent = input.byte() & 1 ? QStringLiteral("\t") : QStringLiteral("    ");
    const QString formatted = NBECSSFormatter::format(input.rest(), indent);
    NBE_FUZZ_CHECK(NBECSSFormatter::format(formatted, indent) == formatted);
    NBEFormatter::format(formatted, QStringLiteral("json"), indent);
    return 0;
}
