#include "NBEFuzzSupport.h"
#include "NBEHTMLEditor.h"
#include "NBEMarkdownEditor.h"

namespace {

// An edit replaces a range of the text and selects inside the result.
void check(const NBEMarkdownEdit &edit, const QString &text)
{
    NBE_FUZZ_CHECK(edit.range.location >= 0 && edit.range.length >= 0);
    NBE_FUZZ_CHECK(edit.range.end() <= text.size());
    const qsizetype edited = text.size() - edit.range.length + edit.replacement.size();
    NBE_FUZZ_CHECK(edit.selection.location >= 0 && edit.selection.length >= 0);
    NBE_FUZZ_CHECK(edit.selection.end() <= edited);
}

} // namespace

// The formatting commands of the Markdown and HTML toolbars, on any text and
// any selection.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    NBEFuzzInput input(data, size);
    const uint8_t action = input.byte();
    const int location = input.upTo(300) - 20;
    const int length = input.upTo(300) - 20;
    const QString text = input.rest();
    const NBETextRange selection{location, length};
    const QList<NBEMarkdownAction> markdown = NBEMarkdownAction::allCases();
    check(NBEMarkdownEditor::edit(markdown[action % markdown.size()], text, selection), text);
    const auto html = NBEHTMLAction::Value(action % (NBEHTMLAction::lineBreak + 1));
    check(NBEHTMLEditor::edit(html, text, selection), text);
    return 0;
}
