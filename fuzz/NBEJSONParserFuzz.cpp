#include "NBEFuzzSupport.h"
#include "NBEJSONParser.h"
#include "NBEJSONValue.h"

// Message bodies: whatever parses encodes to JSON that parses to the same value.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const std::optional<NBEJSONValue> value = NBEJSONParser::parse(bytes);
    if (!value)
        return 0;
    const NBEResult<QByteArray> encoded = value->encoded();
    if (!encoded)
        return 0;
    const std::optional<NBEJSONValue> again = NBEJSONParser::parse(*encoded);
    NBE_FUZZ_CHECK(again.has_value());
    NBE_FUZZ_CHECK(*again == *value);
    return 0;
}
