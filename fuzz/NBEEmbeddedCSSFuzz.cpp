#include "NBEEmbeddedCSS.h"
#include "NBEFuzzSupport.h"

// Style regions of an HTML text lie inside it, in order and apart.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    NBEFuzzInput input(data, size);
    const int offset = input.upTo(600) - 20;
    const QString text = input.rest();
    int end = 0;
    for (const NBETextRange &region : NBEEmbeddedCSS::styleRegions(text)) {
        NBE_FUZZ_CHECK(region.location >= end && region.length >= 0);
        NBE_FUZZ_CHECK(region.end() <= text.size());
        end = region.end();
    }
    if (const auto region = NBEEmbeddedCSS::region(offset, text))
        NBE_FUZZ_CHECK(region->location >= 0 && region->end() <= text.size());
    return 0;
}
