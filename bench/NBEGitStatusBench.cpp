// Status refresh on a large repository: our run + parse through the service
// beside git printing the same status alone, in the same process and run.
#include "NBEBenchProcess.h"
#include "NBEGitChangesModel.h"
#include "NBEGitNameOrder.h"
#include "NBEGitService.h"
#include "NBEGitState.h"
#include "NBEWorkspaceViewModel.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFutureWatcher>
#include <QProcess>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <vector>

namespace {

QString g_repository;
constexpr int fileCount = 50000;
constexpr int filesPerFolder = 100;

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

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
        auto future = service.index().changes(repository);
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
        auto future = service.index().changes(repository);
        future.waitForFinished();
        benchmark::DoNotOptimize(future.result().size());
        auto end = std::chrono::steady_clock::now();
        alone.push_back(std::chrono::duration<double, std::milli>(middle - start).count());
        ours.push_back(std::chrono::duration<double, std::milli>(end - middle).count());
    }
    state.counters["git_ms"] = median(alone);
    state.counters["ours_ms"] = median(ours);
    state.counters["ratio"] = median(ours) / median(alone);
}
BENCHMARK(BM_StatusOverheadRatio)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(40);

// Repositories of 50,000 and 100,000 untracked files, the case where every
// entry's key path was computed on the main thread and every row sorted.
QString g_untracked;
QHash<int, QString> g_untrackedOf;

bool makeUntracked(const QString &folder, int count)
{
    g_untrackedOf.insert(count, folder);
    if (count == fileCount)
        g_untracked = folder;
    QDir().mkpath(folder);
    QProcess init;
    init.setWorkingDirectory(folder);
    init.start(QStringLiteral("/usr/bin/git"), {QStringLiteral("init"), QStringLiteral("-q")});
    if (!init.waitForFinished(-1) || init.exitCode() != 0)
        return false;
    for (int i = 0; i < count; ++i) {
        const QString dir = folder + QStringLiteral("/dir%1").arg(i / filesPerFolder);
        if (i % filesPerFolder == 0)
            QDir().mkpath(dir);
        QFile file(dir + QStringLiteral("/new %1.html").arg(i));
        if (!file.open(QIODevice::WriteOnly))
            return false;
        file.write("<p>new</p>\n");
    }
    return true;
}

double threadMilliseconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

// A whole snapshot refresh of the view model (of the repository with the
// argument's count of untracked files), up to the changes list's rows, with
// one more untracked file each turn, of every repetition, so the change
// list always differs: main-thread CPU time (what the window can't spend on
// painting and keys) and wall time, beside git alone printing the same
// status in the same turn (a busy machine slows both alike), and their
// ratio.
void BM_ViewModelRefreshMainThread(benchmark::State &state)
{
    NBEWorkspaceEnvironment environment;
    environment.webServerLaunch = [](const QString &) { return std::optional<NBEWebLSPLaunch>(); };
    environment.timings.outsideChangeQuiet = std::chrono::milliseconds(0);
    environment.timings.autoFetchStartDelay = std::chrono::hours(1);
    NBEWorkspaceViewModel model(environment);
    // Sleeps in the event loop until the future ends, so the thread's CPU
    // time is the work done for it.
    const auto wait = [](const QFuture<void> &future) {
        QEventLoop loop;
        QFutureWatcher<void> watcher;
        QObject::connect(&watcher, &QFutureWatcher<void>::finished, &loop, &QEventLoop::quit);
        watcher.setFuture(future);
        if (!future.isFinished())
            loop.exec();
    };
    const QString repository = g_untrackedOf.value(int(state.range(0)));
    wait(model.loadWorkspace(QUrl::fromLocalFile(repository)));
    const NBEGitChangesModel rows(model.gitState());
    std::vector<double> main, wall, alone;
    // A name an earlier repetition wrote would change nothing git prints.
    static int turn = 0;
    for (auto _ : state) {
        QFile extra(repository + QStringLiteral("/extra %1.html").arg(turn++));
        if (extra.exists() || !extra.open(QIODevice::WriteOnly))
            state.SkipWithError("can't write a new file");
        extra.close();
        const int rowsBefore = rows.rowCount();
        const auto gitStart = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(NBEBench::runDiscardingOutput(
            {"/usr/bin/git", "status", "--porcelain=v2", "--branch", "-z", "--untracked-files=all"},
            QFile::encodeName(repository)));
        alone.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - gitStart)
                .count());
        const double cpu = threadMilliseconds();
        const auto start = std::chrono::steady_clock::now();
        wait(model.gitState().refresh());
        wall.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
        main.push_back(threadMilliseconds() - cpu);
        if (model.gitState().snapshot().changes.size() < state.range(0) ||
            rows.rowCount() != rowsBefore + 1)
            state.SkipWithError("unexpected status");
    }
    state.counters["main_thread_ms"] = median(main);
    state.counters["wall_ms"] = median(wall);
    state.counters["git_ms"] = median(alone);
    state.counters["ratio"] = median(wall) / median(alone);
}
BENCHMARK(BM_ViewModelRefreshMainThread)
    ->Arg(fileCount)
    ->Arg(2 * fileCount)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(15);

// Opening the repository with the argument's count of untracked files: a
// fresh git state and the changes list the Source Control view shows, timed
// from the first refresh to its rows being in the list, beside git alone
// printing the same status, alternating in one loop so a busy machine slows
// both alike.
void BM_OpenRepository(benchmark::State &state)
{
    const QString repository = g_untrackedOf.value(int(state.range(0)));
    const QUrl folder = QUrl::fromLocalFile(repository);
    NBEGitService service;
    std::vector<double> ours, alone;
    for (auto _ : state) {
        const auto gitStart = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(NBEBench::runDiscardingOutput(
            {"/usr/bin/git", "status", "--porcelain=v2", "--branch", "-z", "--untracked-files=all"},
            QFile::encodeName(repository)));
        alone.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - gitStart)
                .count());
        {
            NBEGitState git(service);
            const NBEGitChangesModel rows(git);
            git.setFolder(folder);
            const auto start = std::chrono::steady_clock::now();
            QEventLoop loop;
            QFutureWatcher<void> watcher;
            QObject::connect(&watcher, &QFutureWatcher<void>::finished, &loop, &QEventLoop::quit);
            watcher.setFuture(git.refresh());
            if (!watcher.isFinished())
                loop.exec();
            ours.push_back(
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                    .count());
            if (rows.rowCount() < state.range(0))
                state.SkipWithError("unexpected status");
        }
    }
    state.counters["git_ms"] = median(alone);
    state.counters["ours_ms"] = median(ours);
    state.counters["extra_ms"] = median(ours) - median(alone);
    state.counters["ratio"] = median(ours) / median(alone);
}
BENCHMARK(BM_OpenRepository)
    ->Arg(fileCount)
    ->Arg(2 * fileCount)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(15);

// The changes list's order and rows of 50,000 untracked files made afresh,
// as the first refresh after opening makes them.
void BM_FirstOrderAndRows(benchmark::State &state)
{
    NBEGitService service;
    const QUrl root = QUrl::fromLocalFile(g_untracked);
    auto future = service.index().changes(root);
    future.waitForFinished();
    const QList<NBEGitFileChange> changes = future.result();
    for (auto _ : state) {
        const NBEGitNameOrder order = NBEGitNameOrder::of(changes);
        if (state.range(0))
            benchmark::DoNotOptimize(NBEGitChangesModel::rowsFor(order.changes, root).size());
    }
}
BENCHMARK(BM_FirstOrderAndRows)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(2);

// Reading one status run of 50,000 untracked files into changes and the
// map by path (the service's thread does it once per refresh).
void BM_ParseWorkingState(benchmark::State &state)
{
    QProcess git;
    git.setWorkingDirectory(g_untracked);
    git.start(QStringLiteral("/usr/bin/git"),
              {QStringLiteral("status"), QStringLiteral("--porcelain=v2"),
               QStringLiteral("--branch"), QStringLiteral("-z"),
               QStringLiteral("--untracked-files=all")});
    git.waitForFinished(-1);
    const QByteArray output = git.readAllStandardOutput();
    const QUrl root = QUrl::fromLocalFile(g_untracked);
    for (auto _ : state) {
        const auto parsed = NBEGitOutput::parseWorkingState(output, root);
        if (!parsed || parsed->changes.size() < fileCount)
            state.SkipWithError("unexpected status");
    }
}
BENCHMARK(BM_ParseWorkingState)->Unit(benchmark::kMillisecond)->MinTime(2);

// What the main thread used to do per refresh on top of storing: one key
// path per entry.
void BM_StatusMapByKeyPath(benchmark::State &state)
{
    NBEGitService service;
    auto future = service.index().changes(QUrl::fromLocalFile(g_untracked));
    future.waitForFinished();
    const QList<NBEGitFileChange> changes = future.result();
    for (auto _ : state) {
        QHash<QString, NBEGitStatus> status;
        status.reserve(changes.size());
        for (const NBEGitFileChange &change : changes) {
            const QString key = NBEFileService::keyPath(change.url);
            if (!status.contains(key))
                status.insert(key, change.overallStatus());
        }
        benchmark::DoNotOptimize(status.size());
    }
}
BENCHMARK(BM_StatusMapByKeyPath)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);

// The changes list's order (argument 0), and its rows too (1), after one
// more untracked file, worked out from the previous order and rows (what a
// refresh does off the main thread).
void BM_RowsAfterOneMoreFile(benchmark::State &state)
{
    NBEGitService service;
    const QUrl root = QUrl::fromLocalFile(g_untracked);
    auto future = service.index().changes(root);
    future.waitForFinished();
    const QList<NBEGitFileChange> changes = future.result();
    const NBEGitNameOrder previous = NBEGitNameOrder::of(changes);
    const QList<NBEGitChangeRow> previousRows = NBEGitChangesModel::rowsFor(previous.changes, root);
    QList<NBEGitFileChange> next = changes;
    NBEGitFileChange extra = changes.first();
    extra.url = QUrl::fromLocalFile(g_untracked + QStringLiteral("/extra.html"));
    next.append(extra);
    for (auto _ : state) {
        const NBEGitNameOrder order = NBEGitNameOrder::updated(previous, next);
        if (state.range(0))
            benchmark::DoNotOptimize(
                NBEGitChangesModel::rowsFor(order, root, previous, previousRows).size());
    }
}
BENCHMARK(BM_RowsAfterOneMoreFile)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(2);

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
    // Our runs don't let git write the index while it reads; git alone
    // mustn't either, or it does more work than ours.
    qputenv("GIT_OPTIONAL_LOCKS", "0");
    if (!makeRepository(home.filePath(QStringLiteral("repo"))) ||
        !makeUntracked(home.filePath(QStringLiteral("untracked")), fileCount) ||
        !makeUntracked(home.filePath(QStringLiteral("untracked-twice")), 2 * fileCount))
        return 1;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
