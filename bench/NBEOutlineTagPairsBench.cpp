#include "NBEEmmet.h"
#include "NBEOutline.h"
#include "NBETagPairs.h"
#include "support/NBEBenchSupport.h"

#include <benchmark/benchmark.h>

// Nested sections with ids, classes, headings, void elements and comments,
// about `bytes` bytes, ending in "<p>last</p>" so the caret can sit in the
// last tag name.
static QString sectionsHTML(qsizetype bytes)
{
    return NBEBench::generatedHTML(
        bytes,
        QStringLiteral("<section id=\"s%1\" class=\"card wide\">\n"
                       "  <h2>Title %1</h2>\n"
                       "  <!-- section %1 -->\n"
                       "  <div class=\"body\"><p>Some <b>bold</b> text<br>\n"
                       "  <img src=\"i%1.png\" alt=\"x > y\"></p></div>\n"
                       "  <ul><li>one</li><li>two</li></ul>\n"
                       "</section>\n"),
        QStringLiteral("<!DOCTYPE html>\n<html>\n<body>\n"),
        QStringLiteral("<p>last</p>\n</body>\n</html>\n"));
}

static void BM_OutlineHTML(benchmark::State &state)
{
    const QString html = sectionsHTML(state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(NBEOutline::symbols(html, QStringLiteral("html")));
    state.SetBytesProcessed(state.iterations() * html.size());
}
BENCHMARK(BM_OutlineHTML)->Arg(1 << 20)->Arg(2 << 20)->Unit(benchmark::kMillisecond);

// The lookup the editor makes on a keystroke, with the caret in the last
// tag name of the file.
static void BM_TagPairAtEnd(benchmark::State &state)
{
    const QString html = sectionsHTML(state.range(0));
    const int caret = int(html.lastIndexOf(QStringLiteral("</p>"))) + 3;
    for (auto _ : state) {
        const auto link = NBETagPairs::caretLink(html, caret);
        if (!link || !link->pairName)
            state.SkipWithError("no pair found");
        benchmark::DoNotOptimize(link);
    }
    state.SetBytesProcessed(state.iterations() * html.size());
}
BENCHMARK(BM_TagPairAtEnd)->Arg(1 << 20)->Arg(2 << 20)->Unit(benchmark::kMillisecond);

// The editor's lookup, which scans only from the caret's tag to its
// partner: the same closing tag at the end, a caret in text (what most
// keystrokes meet), and the worst case, the body tag whose partner ends the
// file.
static void tagPairNearby(benchmark::State &state, const QString &html, int caret, bool paired)
{
    for (auto _ : state) {
        const auto link = NBETagPairs::caretLinkNearby(html, caret);
        if (paired && (!link || !link->pairName))
            state.SkipWithError("no pair found");
        benchmark::DoNotOptimize(link);
    }
}
static void BM_TagPairNearbyAtEnd(benchmark::State &state)
{
    const QString html = sectionsHTML(state.range(0));
    tagPairNearby(state, html, int(html.lastIndexOf(QStringLiteral("</p>"))) + 3, true);
}
BENCHMARK(BM_TagPairNearbyAtEnd)->Arg(1 << 20)->Unit(benchmark::kMicrosecond);
static void BM_TagPairNearbyInText(benchmark::State &state)
{
    const QString html = sectionsHTML(state.range(0));
    tagPairNearby(state, html, int(html.indexOf(QStringLiteral("Title 500"))) + 2, false);
}
BENCHMARK(BM_TagPairNearbyInText)->Arg(1 << 20)->Unit(benchmark::kMicrosecond);
static void BM_TagPairNearbyBodyTag(benchmark::State &state)
{
    const QString html = sectionsHTML(state.range(0));
    tagPairNearby(state, html, int(html.indexOf(QStringLiteral("<body"))) + 2, true);
}
BENCHMARK(BM_TagPairNearbyBodyTag)->Arg(1 << 20)->Unit(benchmark::kMillisecond);

static void BM_EmmetRefusesHuge(benchmark::State &state)
{
    const QString huge = QStringLiteral("ul>li*100000000>a*100000000");
    for (auto _ : state)
        benchmark::DoNotOptimize(NBEEmmet::expand(huge, QStringLiteral("  ")));
}
BENCHMARK(BM_EmmetRefusesHuge)->Unit(benchmark::kMicrosecond);

static void BM_EmmetLargestAllowed(benchmark::State &state)
{
    const QString abbreviation = QStringLiteral("ul>li.item*999");
    for (auto _ : state)
        benchmark::DoNotOptimize(NBEEmmet::expand(abbreviation, QStringLiteral("  ")));
}
BENCHMARK(BM_EmmetLargestAllowed)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
