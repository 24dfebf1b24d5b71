#include "NBEFuzzSupport.h"
#include "NBELSPMessage.h"

// A decoded message encodes to a body that decodes to the same message.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const NBEResult<NBELSPMessage> message = NBELSPMessage::decode(bytes);
    if (!message)
        return 0;
    const NBEResult<QByteArray> body = message->encoded();
    if (!body)
        return 0;
    const NBEResult<NBELSPMessage> again = NBELSPMessage::decode(*body);
    NBE_FUZZ_CHECK(again.has_value());
    NBE_FUZZ_CHECK(*again == *message);
    return 0;
}
