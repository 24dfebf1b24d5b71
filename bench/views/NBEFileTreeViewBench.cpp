// A folder of 50,000 files opened in the real window: the time from asking
// for the project until the file tree shows its rows, and the time a click
// on a folder takes to show it open.
#include "NBEBenchWindow.h"
#include "NBEFileTreeView.h"
#include "NBEMainView.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <memory>

namespace {

using NBEBench::percentile;
using NBEBench::waitFor;

constexpr int fileCount = 50000;

// 50 folders of 10 subfolders of 100 files, as bench/NBEFileTreeBench.
bool makeFolder(const QString &root)
{
    for (int i = 0; i < fileCount; ++i) {
        const QString dir =
            QStringLiteral("%1/pkg%2/part%3").arg(root).arg(i / 1000).arg((i / 100) % 10);
        if (i % 100 == 0)
            QDir().mkpath(dir);
        QFile file(QStringLiteral("%1/file%2.html").arg(dir).arg(i % 100));
        if (!file.open(QIODevice::WriteOnly))
            return false;
    }
    return true;
}

QTemporaryDir *folder = nullptr;

// Notes the first paint of a file tree's rows, wherever the tree is.
class RowsPainted : public QObject
{
public:
    NBEFileTreeWidget *tree = nullptr;
    int paints = 0;

protected:
    bool eventFilter(QObject *object, QEvent *event) override
    {
        if (event->type() != QEvent::Paint)
            return false;
        auto *tree = qobject_cast<NBEFileTreeWidget *>(object->parent());
        if (tree && tree->viewport() == object && tree->topLevelItemCount() > 0) {
            this->tree = tree;
            ++paints;
        }
        return false;
    }
};

void BM_FolderShowsItsRows(benchmark::State &state)
{
    QList<double> shown, expanded;
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        RowsPainted painted;
        qApp->installEventFilter(&painted);
        std::unique_ptr<NBEMainView> view(NBEBenchWindow::openProjectWindow(folder->path()));
        if (!waitFor([&] { return painted.paints > 0; }, 60000))
            state.SkipWithError("the rows never showed");
        shown.append(clock.nsecsElapsed() / 1e6);

        // A click on the first folder, until it shows open.
        const int before = painted.paints;
        clock.restart();
        NBEFileTreeWidget *tree = painted.tree;
        emit tree->itemClicked(tree->topLevelItem(0), 0);
        if (!waitFor([&] {
                return tree->topLevelItem(0) && tree->topLevelItem(0)->isExpanded() &&
                       painted.paints > before;
            }))
            state.SkipWithError("the folder never opened");
        expanded.append(clock.nsecsElapsed() / 1e6);
    }
    state.counters["rows_shown_p50_ms"] = percentile(shown, 0.5);
    state.counters["expand_p50_ms"] = percentile(expanded, 0.5);
}
BENCHMARK(BM_FolderShowsItsRows)->Unit(benchmark::kMillisecond)->Iterations(7)->UseRealTime();

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    QTemporaryDir dir;
    if (!makeFolder(dir.path())) {
        fprintf(stderr, "can't set up the folder\n");
        return 1;
    }
    folder = &dir;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    folder = nullptr;
    return 0;
}
