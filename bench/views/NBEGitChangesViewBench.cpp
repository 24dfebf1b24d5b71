// A repository of 100,000 untracked files in the real window with Source
// Control shown: one file written from outside at a time, the watch sees
// it, and the changes list gains its row. Measured: the longest stretch the
// main thread went without turning its event loop (what a key pressed then
// would wait) beside the same in a quiet stretch, and the time until the
// row shows.
#include "NBEBenchWindow.h"
#include "NBEGitChangesView.h"
#include "NBEMainView.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>
#include <benchmark/benchmark.h>

namespace {

using NBEBench::percentile;
using NBEBench::waitFor;

constexpr int fileCount = 100000;
constexpr int filesPerFolder = 500;

// The longest gap between turns of the event loop while it runs.
class StallProbe : public QObject
{
public:
    StallProbe()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(1);
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] {
            longest = std::max(longest, m_clock.nsecsElapsed() / 1e6);
            m_clock.restart();
        });
    }
    void start()
    {
        longest = 0;
        m_clock.start();
        m_timer.start();
    }
    void stop() { m_timer.stop(); }
    double longest = 0;

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
};

struct Session
{
    QTemporaryDir dir;
    std::unique_ptr<NBEMainView> view;

    bool make()
    {
        QProcess init;
        init.setWorkingDirectory(dir.path());
        init.start(QStringLiteral("/usr/bin/git"), {QStringLiteral("init"), QStringLiteral("-q")});
        if (!init.waitForFinished(-1) || init.exitCode() != 0)
            return false;
        for (int i = 0; i < fileCount; ++i) {
            const QString folder = dir.filePath(QStringLiteral("dir%1").arg(i / filesPerFolder));
            if (i % filesPerFolder == 0)
                QDir().mkpath(folder);
            QFile file(folder + QStringLiteral("/new %1.html").arg(i));
            if (!file.open(QIODevice::WriteOnly))
                return false;
        }
        view.reset(NBEBenchWindow::openProjectWindow(dir.path()));
        view->sidebar()->setMode(NBESidebarMode::changes);
        return waitFor([&] { return rows() > fileCount; });
    }

    int rows() const
    {
        const auto *changes = view->findChild<NBEGitChangesView *>();
        const auto *list = changes ? changes->findChild<QTreeView *>() : nullptr;
        return list && list->model() ? list->model()->rowCount() : 0;
    }
};

Session *session = nullptr;

void BM_OutsideChangeWithHundredThousandUntracked(benchmark::State &state)
{
    StallProbe probe;
    QList<double> stalls, shown, idle;
    int turn = 0;
    for (auto _ : state) {
        // Quiet first, so the turn measures its own change alone; the
        // longest stall of the quiet time is what the machine's load alone
        // gives.
        probe.start();
        NBEBenchWindow::settle(1500);
        probe.stop();
        idle.append(probe.longest);
        const int before = session->rows();
        probe.start();
        QElapsedTimer clock;
        clock.start();
        QFile extra(session->dir.filePath(QStringLiteral("dir7/extra %1.html").arg(turn++)));
        if (!extra.open(QIODevice::WriteOnly))
            state.SkipWithError("can't write");
        extra.close();
        if (!waitFor([&] { return session->rows() > before; }, 60000))
            state.SkipWithError("the row never showed");
        shown.append(clock.nsecsElapsed() / 1e6);
        // The rest of the turn's work (the tree, the badges) runs on too.
        NBEBenchWindow::settle(1500);
        probe.stop();
        stalls.append(probe.longest);
    }
    state.counters["stall_p50_ms"] = percentile(stalls, 0.5);
    state.counters["stall_max_ms"] = percentile(stalls, 1.0);
    state.counters["row_shown_p50_ms"] = percentile(shown, 0.5);
    state.counters["idle_stall_p50_ms"] = percentile(idle, 0.5);
}
BENCHMARK(BM_OutsideChangeWithHundredThousandUntracked)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(8)
    ->UseRealTime();

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    Session shared;
    if (!shared.make()) {
        fprintf(stderr, "can't set up the repository\n");
        return 1;
    }
    session = &shared;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    session = nullptr;
    return 0;
}
