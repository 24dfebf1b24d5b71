// Status refresh on a large repository: our run + parse through the service
// beside git printing the same status alone, in the same process and run.
#include "NBEBenchProcess.h"
#include "NBEGitService.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <vector>

namespace {

QString g_repository;
constexpr int fileCount = 50000;
constexpr int filesPerFolder = 100;

bool git(const QStringList &arguments)
{
    QProcess process;
    process.setWorkingDirectory(g_repository);
    process.start(QStringLiteral("/usr/bin/git"), arguments);
    return process.waitForFinished(-1) && process.exitCode() == 0;
}

bool makeRepository(const QString &folder)
{
    g_repository = folder;
    QDir().mkpath(folder);
    if (!git({QStringLiteral("init"), QStringLiteral("-q")}))
        return false;
    for (int i = 0; i < fileCount; ++i) {
        const QString dir = folder + QStringLiteral("/dir%1").arg(i / filesPerFolder);
        if (i % filesPerFolder == 0)
            QDir().mkpath(dir);
        QFile file(dir + QStringLiteral("/file %1.html").arg(i));
        if (!file.open(QIODevice::WriteOnly))
            return false;
        file.write(QByteArray("<p>") + QByteArray::number(i) + "</p>\n");
    }
    if (!git({QStringLiteral("add"), QStringLiteral(".")}) ||
        !git({QStringLiteral("commit"), QStringLiteral("-q"), QStringLiteral("-m"),
              QStringLiteral("Files")}))
        return false;
    for (int i = 0; i < fileCount; i += 100) {
        QFile file(folder + QStringLiteral("/dir%1/file %2.html").arg(i / filesPerFolder).arg(i));
        if (!file.open(QIODevice::Append))
            return false;
        file.write("<p>changed</p>\n");
    }
    return git({QStringLiteral("status"), QStringLiteral("-z")});
}

// git alone: spawned directly, its output read and thrown away.
size_t runGitAlone()
{
    return NBEBench::runDiscardingOutput(
        {"/usr/bin/git", "status", "--porcelain", "-z", "--untracked-files=all"},
        QFile::encodeName(g_repository));
}

void BM_GitStatusAlone(benchmark::State &state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(runGitAlone());
}
BENCHMARK(BM_GitStatusAlone)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

void BM_ServiceStatusRefresh(benchmark::State &state)
{
    NBEGitService service;
    const QUrl repository = QUrl::fromLocalFile(g_repository);
    for (auto _ : state) {
        auto future = service.changes(repository);
        future.waitForFinished();
        if (future.result().size() != fileCount / 100)
            state.SkipWithError("unexpected status");
    }
}
BENCHMARK(BM_ServiceStatusRefresh)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

// Both, alternating in one loop so a busy machine slows them alike; the
// counters give the medians and their ratio.
void BM_StatusOverheadRatio(benchmark::State &state)
{
    NBEGitService service;
    const QUrl repository = QUrl::fromLocalFile(g_repository);
    std::vector<double> alone, ours;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(runGitAlone());
        auto middle = std::chrono::steady_clock::now();
        auto future = service.changes(repository);
        future.waitForFinished();
        benchmark::DoNotOptimize(future.result().size());
        auto end = std::chrono::steady_clock::now();
        alone.push_back(std::chrono::duration<double, std::milli>(middle - start).count());
        ours.push_back(std::chrono::duration<double, std::milli>(end - middle).count());
    }
    const auto median = [](std::vector<double> values) {
        std::sort(values.begin(), values.end());
        return values[values.size() / 2];
    };
    state.counters["git_ms"] = median(alone);
    state.counters["ours_ms"] = median(ours);
    state.counters["ratio"] = median(ours) / median(alone);
}
BENCHMARK(BM_StatusOverheadRatio)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(40);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir home;
    const QString config = home.filePath(QStringLiteral("gitconfig"));
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly))
        return 1;
    file.write("[user]\n\tname = Bench\n\temail = bench@nabri.invalid\n"
               "[init]\n\tdefaultBranch = main\n");
    file.close();
    qputenv("HOME", QFile::encodeName(home.path()));
    qputenv("GIT_CONFIG_GLOBAL", QFile::encodeName(config));
    qputenv("GIT_CONFIG_NOSYSTEM", "1");
    qputenv("LC_ALL", "C");
    if (!makeRepository(home.filePath(QStringLiteral("repo"))))
        return 1;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
