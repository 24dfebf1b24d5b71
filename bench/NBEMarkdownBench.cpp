#include "NBEMarkdownHTMLRenderer.h"
#include "NBEMarkdownParser.h"

#include "../tests/markdown/NBEMarkdownPathological.h"

#include <QFile>

#include <cstring>

#include <benchmark/benchmark.h>

// Parse and render a large document made of the CommonMark spec text
// repeated, and each pathological input once per iteration.
//
//   NBEMarkdownBench --render=FILE   reads FILE, decodes it, renders it and
//   writes the HTML to stdout: the whole job of a command-line renderer, which
//   bench/markdown-vs-cmark.sh times process against process with cmark.

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

int renderFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return 1;
    const QString html =
        NBEMarkdownHTMLRenderer::render(QString::fromUtf8(file.readAll()), path.section(u'/', -1));
    QFile output;
    if (!output.open(stdout, QIODevice::WriteOnly))
        return 1;
    return output.write(html.toUtf8()) < 0 ? 1 : 0;
}

} // namespace

int main(int argc, char **argv)
{
    constexpr const char *renderFlag = "--render=";
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], renderFlag, std::strlen(renderFlag)) == 0)
            return renderFile(QString::fromLocal8Bit(argv[i] + std::strlen(renderFlag)));
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
