#include "NBECSSColors.h"
#include "NBEFuzzSupport.h"

// Swatches lie inside the text, in order and apart, on valid colours.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    int end = 0;
    for (const NBECSSColorsSwatch &swatch : NBECSSColors::swatches(text)) {
        NBE_FUZZ_CHECK(swatch.range.location >= end && swatch.range.length > 0);
        NBE_FUZZ_CHECK(swatch.range.end() <= text.size());
        NBE_FUZZ_CHECK(swatch.color.isValid());
        end = swatch.range.end();
        const QString original = text.mid(swatch.range.location, swatch.range.length);
        NBECSSColors::replacement(swatch.color, original);
    }
    return 0;
}
