#include "NBEFuzzSupport.h"
#include "NBETagPairs.h"

namespace {

void checkName(const NBETextRange &range, const QString &name, const QString &text)
{
    NBE_FUZZ_CHECK(range.location >= 0 && range.end() <= text.size());
    NBE_FUZZ_CHECK(text.mid(range.location, range.length) == name);
}

} // namespace

// The tag name under the caret and its partner are that name in the text.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    NBEFuzzInput input(data, size);
    const int caret = input.upTo(600) - 20;
    const QString text = input.rest();
    if (const auto link = NBETagPairs::caretLink(text, caret)) {
        checkName(link->caretName, link->name, text);
        if (link->pairName)
            NBE_FUZZ_CHECK(link->pairName->location >= 0 && link->pairName->end() <= text.size());
    }
    return 0;
}
