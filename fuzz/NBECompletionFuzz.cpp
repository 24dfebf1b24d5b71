#include "NBECSSCompletion.h"
#include "NBEFuzzSupport.h"
#include "NBEWebCompletion.h"

namespace {

// What is replaced lies before the caret, and the caret lands inside the
// inserted text.
void checkInsertion(const std::optional<NBECompletionInsertion> &insertion, int caret)
{
    if (!insertion)
        return;
    NBE_FUZZ_CHECK(insertion->partialLength >= 0 && insertion->partialLength <= caret);
    NBE_FUZZ_CHECK(insertion->caretBack >= 0 &&
                   insertion->caretBack <= insertion->insertion.size());
}

} // namespace

// CSS and HTML completion at any caret of any text.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    NBEFuzzInput input(data, size);
    const int caret = input.upTo(600) - 20;
    const QString text = input.rest();
    const QStringList css = NBECSSCompletion::completions(text, caret);
    if (!css.isEmpty())
        checkInsertion(NBECSSCompletion::insertion(css.first(), text, caret), caret);
    const QStringList html = NBEWebCompletion::completions(text, caret);
    if (!html.isEmpty())
        checkInsertion(NBEWebCompletion::insertion(html.first(), text, caret), caret);
    return 0;
}
