// Engines fed growing adversarial inputs (the shapes that once took
// quadratic time or memory): each case runs at N, 2N, 4N and 8N, and the
// time per doubling should stay near 2x (the reported complexity near N).

#include "NBECSSColors.h"
#include "NBECSSFormatter.h"
#include "NBEHTMLFormatter.h"
#include "NBELSPCompletionItem.h"
#include "NBELSPFraming.h"
#include "NBELanguageRegistry.h"
#include "NBESyntaxHighlighter.h"

#include <QString>

#include <benchmark/benchmark.h>

namespace {

constexpr int base = 16 * 1024;

QString repeated(const char *unit, qsizetype size)
{
    const QString piece = QString::fromLatin1(unit);
    return piece.repeated(std::max<qsizetype>(1, size / piece.size()));
}

void tokenize(benchmark::State &state, const NBELanguage &language, const char *unit)
{
    const QString text = repeated(unit, state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(NBESyntaxHighlighter::tokenize(text, language));
    state.SetComplexityN(state.range(0));
}

// String rules step over comments and stop at line ends.
void highlightJavaScriptQuotesAndComments(benchmark::State &state)
{
    tokenize(state, NBELanguageRegistry::javascript(), "'\\/*\"//`");
}

// Attribute names that are never followed by a quoted value.
void highlightHTMLAttributeNames(benchmark::State &state)
{
    tokenize(state, NBELanguageRegistry::html(), "a-b= ='");
}

void highlightCSSQuotes(benchmark::State &state)
{
    tokenize(state, NBELanguageRegistry::css(), "'\"/");
}

void highlightJavaScriptEscapes(benchmark::State &state)
{
    tokenize(state, NBELanguageRegistry::javascript(), "\"\\");
}
void highlightJavaScriptSingleEscapes(benchmark::State &state)
{
    tokenize(state, NBELanguageRegistry::javascript(), "'\\");
}
void highlightJSONEscapes(benchmark::State &state)
{
    tokenize(state, NBELanguageRegistry::json(), "\"\\");
}
void highlightJSONKeys(benchmark::State &state)
{
    tokenize(state, NBELanguageRegistry::json(), "\"a\" ");
}
void highlightUnclosedComments(benchmark::State &state)
{
    tokenize(state, NBELanguageRegistry::css(), "/*");
}
void highlightUnclosedHTMLComments(benchmark::State &state)
{
    tokenize(state, NBELanguageRegistry::html(), "<!--");
}
void highlightLongCSSWord(benchmark::State &state)
{
    tokenize(state, NBELanguageRegistry::css(), "ab");
}
void highlightMarkdownBrackets(benchmark::State &state)
{
    tokenize(state, NBELanguageRegistry::markdown(), "[](");
}
void highlightYAMLBlankLines(benchmark::State &state)
{
    tokenize(state, NBELanguageRegistry::yaml(), " \n");
}

void formatCSSComments(benchmark::State &state)
{
    const QString text = repeated("a/**/", state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(NBECSSFormatter::format(text, QStringLiteral("  ")));
    state.SetComplexityN(state.range(0));
}

void formatCSSNesting(benchmark::State &state)
{
    const QString text = repeated("a{", state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(NBECSSFormatter::format(text, QStringLiteral("  ")));
    state.SetComplexityN(state.range(0));
}

void formatHTMLNesting(benchmark::State &state)
{
    const QString text = repeated("<div>\n", state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(NBEHTMLFormatter::format(text, QStringLiteral("  ")));
    state.SetComplexityN(state.range(0));
}

void cssColourFunctions(benchmark::State &state)
{
    const QString text = QStringLiteral("a{b:") + repeated("rgb(", state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(NBECSSColors::swatches(text));
    state.SetComplexityN(state.range(0));
}

void snippetNesting(benchmark::State &state)
{
    const QString text = repeated("${1:", state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(NBELSPCompletionItem::snippetToPlainText(text));
    state.SetComplexityN(state.range(0));
}

void framingHeaderByteByByte(benchmark::State &state)
{
    const QByteArray stream =
        QByteArray(state.range(0), ' ') + NBELSPFraming::frame(QByteArrayView("{}"));
    for (auto _ : state) {
        NBELSPFraming::Decoder decoder;
        for (const char c : stream)
            benchmark::DoNotOptimize(decoder.push(QByteArrayView(&c, 1)));
    }
    state.SetComplexityN(state.range(0));
}

} // namespace

#define NBE_GROWING(name)                                                                          \
    BENCHMARK(name)                                                                                \
        ->RangeMultiplier(2)                                                                       \
        ->Range(base, 8 * base)                                                                    \
        ->Complexity()                                                                             \
        ->Unit(benchmark::kMillisecond)

NBE_GROWING(highlightJavaScriptEscapes);
NBE_GROWING(highlightJavaScriptQuotesAndComments);
NBE_GROWING(highlightHTMLAttributeNames);
NBE_GROWING(highlightCSSQuotes);
NBE_GROWING(highlightJavaScriptSingleEscapes);
NBE_GROWING(highlightJSONEscapes);
NBE_GROWING(highlightJSONKeys);
NBE_GROWING(highlightUnclosedComments);
NBE_GROWING(highlightUnclosedHTMLComments);
NBE_GROWING(highlightLongCSSWord);
NBE_GROWING(highlightMarkdownBrackets);
NBE_GROWING(highlightYAMLBlankLines);
NBE_GROWING(formatCSSComments);
NBE_GROWING(formatCSSNesting);
NBE_GROWING(formatHTMLNesting);
NBE_GROWING(cssColourFunctions);
NBE_GROWING(snippetNesting);
BENCHMARK(framingHeaderByteByByte)
    ->RangeMultiplier(2)
    ->Range(4096, 32768)
    ->Complexity()
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
