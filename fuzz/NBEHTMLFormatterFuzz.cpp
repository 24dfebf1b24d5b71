#include "NBEFuzzSupport.h"
#include "NBEHTMLFormatter.h"

// Formatting formatted HTML changes nothing.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    NBEFuzzInput input(data, size);
    const QString indent = input.byte() & 1 ? QStringLiteral("\t") : QStringLiteral("  ");
    const QString formatted = NBEHTMLFormatter::format(input.rest(), indent);
    NBE_FUZZ_CHECK(NBEHTMLFormatter::format(formatted, indent) == formatted);
    return 0;
}
