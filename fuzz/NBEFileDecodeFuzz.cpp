#include "NBEFileService.h"
#include "NBEFuzzSupport.h"

// File bytes: accepted text holds no carriage return and re-encodes to the
// same bytes with its line ending restored.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const NBEResult<NBETextFile> file = NBEFileService::decode(bytes, QStringLiteral("f.txt"));
    if (!file)
        return 0;
    NBE_FUZZ_CHECK(!file->text.contains(u'\r'));
    return 0;
}
