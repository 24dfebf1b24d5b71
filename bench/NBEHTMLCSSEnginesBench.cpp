#include "NBECSSColors.h"
#include "NBECSSFormatter.h"
#include "NBEHTMLFormatter.h"
#include "NBEHTMLValidator.h"
#include "support/NBEBenchSupport.h"

#include <benchmark/benchmark.h>

// Realistic generated input of about `bytes` bytes: nested sections with
// attributes, comments, a pre block and void elements; or rules with
// selectors lists, comments, colours and a media query.
static QString sectionsHTML(qsizetype bytes)
{
    return NBEBench::generatedHTML(
        bytes, QStringLiteral("<section id=\"s%1\" class=\"card wide\">\n"
                              "<h2>Title %1</h2>\n"
                              "<!-- section %1 -->\n"
                              "<p>Some <b>bold</b> text &amp; <a href=\"/p/%1\">a link</a>\n"
                              "  that wraps.<br>\n"
                              "<img src=\"i%1.png\" alt=\"x > y\"></p>\n"
                              "<pre>  raw %1\n   text</pre>\n"
                              "<ul><li>one</li><li>two</li></ul>\n"
                              "</section>\n"));
}

static QString generatedCSS(qsizetype bytes)
{
    QString css;
    for (int i = 0; css.size() < bytes; ++i) {
        css += QStringLiteral(".card-%1 > .title,.card-%1:hover{color:#3a%2;background:rgba(0,0,0,."
                              "5) url(\"a%1.png\");margin:0 auto}/* rule %1 */\n"
                              "@media (max-width:600px){.card-%1{padding:4px 8px;border:1px solid "
                              "hsl(%2, 50%, 50%)}}\n")
                   .arg(i)
                   .arg(i % 90 + 10);
    }
    return css;
}

static void BM_ValidateHTML(benchmark::State &state)
{
    const QString html = sectionsHTML(state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(NBEHTMLValidator::validate(html));
    state.SetBytesProcessed(state.iterations() * html.size());
}
BENCHMARK(BM_ValidateHTML)->Arg(1 << 20)->Arg(2 << 20)->Unit(benchmark::kMillisecond);

static void BM_FormatHTML(benchmark::State &state)
{
    const QString html = sectionsHTML(state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(NBEHTMLFormatter::format(html, QStringLiteral("  ")));
    state.SetBytesProcessed(state.iterations() * html.size());
}
BENCHMARK(BM_FormatHTML)->Arg(1 << 20)->Arg(2 << 20)->Unit(benchmark::kMillisecond);

static void BM_FormatCSS(benchmark::State &state)
{
    const QString css = generatedCSS(state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(NBECSSFormatter::format(css, QStringLiteral("  ")));
    state.SetBytesProcessed(state.iterations() * css.size());
}
BENCHMARK(BM_FormatCSS)->Arg(1 << 20)->Arg(2 << 20)->Unit(benchmark::kMillisecond);

static void BM_CSSSwatches(benchmark::State &state)
{
    const QString css = generatedCSS(state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(NBECSSColors::swatches(css));
    state.SetBytesProcessed(state.iterations() * css.size());
}
BENCHMARK(BM_CSSSwatches)->Arg(1 << 20)->Arg(2 << 20)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
