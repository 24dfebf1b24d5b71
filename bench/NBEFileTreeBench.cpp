// Building the file tree of a large generated folder, beside `find | wc -l`
// over the same folder in the same run. NBE_BENCH_TREE names an existing
// folder to use instead of the generated one.
#include "NBEFileService.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>

namespace {

constexpr int fileCount = 50000;

QString treeFolder()
{
    static std::unique_ptr<QTemporaryDir> generated;
    static QString folder = [] {
        const QByteArray given = qgetenv("NBE_BENCH_TREE");
        if (!given.isEmpty())
            return QString::fromLocal8Bit(given);
        generated = std::make_unique<QTemporaryDir>();
        // 50 folders of 10 subfolders of 100 files, names with numbers.
        for (int i = 0; i < fileCount; ++i) {
            const QString dir = QStringLiteral("%1/pkg%2/part%3")
                                    .arg(generated->path())
                                    .arg(i / 1000)
                                    .arg((i / 100) % 10);
            if (i % 100 == 0)
                QDir().mkpath(dir);
            QFile file(QStringLiteral("%1/file%2.html").arg(dir).arg(i % 100));
            file.open(QIODevice::WriteOnly);
        }
        return generated->path();
    }();
    return folder;
}

void BM_BuildFileTree(benchmark::State &state)
{
    const QString folder = treeFolder();
    for (auto _ : state) {
        auto tree = NBEFileService::buildFileTreeNow(folder);
        benchmark::DoNotOptimize(tree);
        if (!tree)
            state.SkipWithError("build failed");
    }
    state.counters["files"] = fileCount;
}

void BM_FindWcL(benchmark::State &state)
{
    const QString folder = treeFolder();
    const QByteArray command = "find '" + QFile::encodeName(folder) + "' | wc -l > /dev/null";
    for (auto _ : state) {
        if (std::system(command.constData()) != 0)
            state.SkipWithError("find failed");
    }
}

} // namespace

BENCHMARK(BM_BuildFileTree)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FindWcL)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_MAIN();
