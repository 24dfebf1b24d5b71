// The gutter's line diff of a 100,000-line file with 1% of its lines
// changed, beside "git diff --no-index" on the same two files.
#include "NBEBenchProcess.h"
#include "NBELineDiff.h"

#include <QFile>
#include <QRandomGenerator>
#include <QStringList>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <vector>

namespace {

QString g_head, g_buffer;
QByteArray g_headPath, g_bufferPath;

// Markup-like lines: many repeat (closing tags, blank lines), many don't.
void makeTexts(const QString &folder)
{
    QRandomGenerator random(42);
    const QStringList repeated{"  </div>", "", "</section>", "    <br>", "  }"};
    QStringList head;
    for (int i = 0; i < 100000; ++i) {
        if (random.bounded(3) == 0)
            head.append(repeated[random.bounded(repeated.size())]);
        else
            head.append(QStringLiteral("    <p class=\"row-%1\">Item %2</p>").arg(i % 97).arg(i));
    }
    QStringList buffer = head;
    for (int changed = 0; changed < 1000; ++changed) {
        const int at = random.bounded(int(buffer.size()));
        switch (random.bounded(4)) {
        case 0:
            buffer.insert(at, QStringLiteral("    <p>New %1</p>").arg(changed));
            break;
        case 1:
            buffer.removeAt(at);
            break;
        case 2:
            buffer[at] = repeated[random.bounded(repeated.size())];
            break;
        default:
            buffer[at] = QStringLiteral("    <p class=\"edited\">Edit %1</p>").arg(changed);
        }
    }
    g_head = head.join(u'\n') + u'\n';
    g_buffer = buffer.join(u'\n') + u'\n';
    g_headPath = QFile::encodeName(folder + QStringLiteral("/head.html"));
    g_bufferPath = QFile::encodeName(folder + QStringLiteral("/buffer.html"));
    QFile headFile(QFile::decodeName(g_headPath));
    QFile bufferFile(QFile::decodeName(g_bufferPath));
    if (headFile.open(QIODevice::WriteOnly))
        headFile.write(g_head.toUtf8());
    if (bufferFile.open(QIODevice::WriteOnly))
        bufferFile.write(g_buffer.toUtf8());
}

size_t runGitDiff()
{
    return NBEBench::runDiscardingOutput(
        {"/usr/bin/git", "diff", "--no-index", "--no-color", g_headPath, g_bufferPath}, "/");
}

void BM_LineDiff(benchmark::State &state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(NBELineDiff::hunks(g_head, g_buffer));
}
BENCHMARK(BM_LineDiff)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_GitDiffNoIndex(benchmark::State &state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(runGitDiff());
}
BENCHMARK(BM_GitDiffNoIndex)->Unit(benchmark::kMillisecond)->UseRealTime();

// Both, alternating in one loop; the counters give medians and their ratio.
void BM_LineDiffRatio(benchmark::State &state)
{
    std::vector<double> ours, git;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(NBELineDiff::hunks(g_head, g_buffer));
        const auto middle = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(runGitDiff());
        const auto end = std::chrono::steady_clock::now();
        ours.push_back(std::chrono::duration<double, std::milli>(middle - start).count());
        git.push_back(std::chrono::duration<double, std::milli>(end - middle).count());
    }
    const auto median = [](std::vector<double> values) {
        std::sort(values.begin(), values.end());
        return values[values.size() / 2];
    };
    state.counters["ours_ms"] = median(ours);
    state.counters["git_ms"] = median(git);
    state.counters["ratio"] = median(ours) / median(git);
}
BENCHMARK(BM_LineDiffRatio)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(40);

} // namespace

int main(int argc, char **argv)
{
    QTemporaryDir folder;
    if (!folder.isValid())
        return 1;
    qputenv("GIT_CONFIG_NOSYSTEM", "1");
    qputenv("GIT_CONFIG_GLOBAL", "/dev/null");
    makeTexts(folder.path());
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
