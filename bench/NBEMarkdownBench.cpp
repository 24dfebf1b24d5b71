#include "NBEMarkdownHTMLRenderer.h"
#include "NBEMarkdownParser.h"

#include "../tests/markdown/NBEMarkdownPathological.h"

#include <QFile>

#include <benchmark/benchmark.h>

// Parse and render a large document made of the CommonMark spec text
// repeated (the B2 figure; bench/markdown-vs-cmark.sh times cmark on the same
// file), and each pathological input once per iteration.

namespace {

QString specText()
{
    QFile file(
        QStringLiteral(NBE_SOURCE_DIR "/tests/markdown/npm/node_modules/commonmark-spec/spec.txt"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

// The spec text repeated to at least `megabytes` of UTF-8.
QString document(int megabytes)
{
    const QString path = qEnvironmentVariable("NBE_MARKDOWN_BENCH_FILE");
    if (!path.isEmpty() && megabytes == 10) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly))
            return QString::fromUtf8(file.readAll());
    }
    const QString spec = specText();
    if (spec.isEmpty())
        return {};
    const qsizetype bytes = spec.toUtf8().size();
    return spec.repeated(int((qsizetype(megabytes) * 1024 * 1024 + bytes - 1) / bytes));
}

void BM_RenderSpecRepeated(benchmark::State &state)
{
    const QString text = document(int(state.range(0)));
    if (text.isEmpty()) {
        state.SkipWithError("spec.txt missing; run scripts/setup");
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(NBEMarkdownHTMLRenderer::render(text, QStringLiteral("spec.md")));
    state.SetBytesProcessed(state.iterations() * text.toUtf8().size());
}
BENCHMARK(BM_RenderSpecRepeated)->Arg(10)->Arg(20)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ParseSpecRepeated(benchmark::State &state)
{
    const QString text = document(int(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(NBEMarkdownParser::parse(text));
}
BENCHMARK(BM_ParseSpecRepeated)->Arg(10)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Pathological(benchmark::State &state)
{
    const auto [name, text] = NBEMarkdownPathological::inputs().at(state.range(0));
    state.SetLabel(name.toStdString());
    for (auto _ : state)
        benchmark::DoNotOptimize(NBEMarkdownHTMLRenderer::render(text, name));
}
BENCHMARK(BM_Pathological)
    ->DenseRange(0, int(NBEMarkdownPathological::inputs().size()) - 1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace

BENCHMARK_MAIN();
