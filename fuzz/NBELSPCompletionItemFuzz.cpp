#include "NBEFuzzSupport.h"
#include "NBEJSONParser.h"
#include "NBELSPCompletionItem.h"

// Completion results, and snippets taken as they come.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    if (const std::optional<NBEJSONValue> result = NBEJSONParser::parse(bytes))
        NBELSPCompletionItem::parse(*result);
    const QString snippet = QString::fromUtf8(bytes);
    const QString plain = NBELSPCompletionItem::snippetToPlainText(snippet);
    // Markup is only ever removed.
    NBE_FUZZ_CHECK(plain.size() <= snippet.size());
    return 0;
}
