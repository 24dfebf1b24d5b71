#include "NBEFuzzSupport.h"
#include "NBEMarkdownHTMLRenderer.h"
#include "NBEMarkdownParser.h"

// Markdown a user opens, parsed and rendered for the preview.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    NBEMarkdownParser::parse(text);
    NBEMarkdownParser::inlineSegments(text);
    const QString html = NBEMarkdownHTMLRenderer::render(text, QStringLiteral("t"));
    NBE_FUZZ_CHECK(html.contains(QLatin1StringView("</html>")));
    return 0;
}
