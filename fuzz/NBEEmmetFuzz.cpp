#include "NBEEmmet.h"
#include "NBEFuzzSupport.h"

// Abbreviations before any caret: the expansion replaces a range of the text
// and stays within the size limit.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    NBEFuzzInput input(data, size);
    const int caret = input.upTo(300) - 10;
    const QString text = input.rest();
    if (const auto expansion = NBEEmmet::expansion(caret, text, QStringLiteral("  "))) {
        NBE_FUZZ_CHECK(expansion->range.location >= 0 && expansion->range.length >= 0);
        NBE_FUZZ_CHECK(expansion->range.end() <= text.size());
    }
    if (const auto html = NBEEmmet::expand(text, QStringLiteral("\t")))
        NBE_FUZZ_CHECK(html->size() <= NBEEmmet::maxLength);
    return 0;
}
