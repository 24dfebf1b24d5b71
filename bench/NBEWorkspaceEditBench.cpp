// The work the workspace view model does on every keystroke (store the text,
// route it, restart the HTML check), and the issues-list sort.
#include "NBEApplicationActivity.h"
#include "NBEFileDiagnostic.h"
#include "NBEWorkspaceViewModel.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

void waitFor(const QFuture<void> &future)
{
    while (!future.isFinished())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

void keystrokes(benchmark::State &state, const QString &fileName)
{
    QTemporaryDir dir;
    NBEDefaults settings(dir.filePath(QStringLiteral("settings.json")));
    QString text;
    const QString block = QStringLiteral("<section class=\"card\">\n  <h2>Title</h2>\n"
                                         "  <p>Some text with <a href=\"#\">a link</a>.</p>\n"
                                         "</section>\n");
    while (text.size() < state.range(0))
        text += block;
    QFile file(dir.filePath(fileName));
    file.open(QIODevice::WriteOnly);
    file.write(text.toUtf8());
    file.close();

    NBEApplicationActivity activity;
    NBEWorkspaceEnvironment environment;
    environment.activity = &activity;
    environment.defaults = &settings;
    environment.webServerLaunch = [](const QString &) { return std::optional<NBEWebLSPLaunch>(); };
    NBEWorkspaceViewModel model(environment);
    waitFor(model.loadWorkspace(QUrl::fromLocalFile(dir.path())));
    waitFor(model.openFile(QUrl::fromLocalFile(dir.filePath(fileName)), false));
    const QUuid id = model.activeTab()->id;

    // Two texts a keystroke apart, built once: the loop measures the model,
    // not the copying of the text.
    const QString typed = QString(text).insert(text.size() / 2, QLatin1Char('x'));
    bool flip = false;
    for (auto _ : state) {
        model.updateContent((flip = !flip) ? typed : text, id);
        if (state.iterations() % 256 == 0)
            QCoreApplication::processEvents();
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_KeystrokeHTML(benchmark::State &state)
{
    keystrokes(state, QStringLiteral("page.html"));
}
BENCHMARK(BM_KeystrokeHTML)->Arg(64 << 10)->Arg(1 << 20);

void BM_KeystrokeMarkdown(benchmark::State &state)
{
    keystrokes(state, QStringLiteral("notes.md"));
}
BENCHMARK(BM_KeystrokeMarkdown)->Arg(1 << 20);

void BM_AllDiagnosticsSort(benchmark::State &state)
{
    NBEDiagnosticsByFile byFile;
    const int files = 100;
    for (int f = 0; f < files; ++f) {
        QList<NBELSPDiagnostic> list;
        for (int i = 0; i < state.range(0) / files; ++i) {
            NBELSPDiagnostic d;
            d.severity = NBELSPDiagnostic::Severity((i % 4) + 1);
            d.startLine = (i * 7919) % 5000;
            d.message = QStringLiteral("message %1").arg(i);
            list.append(d);
        }
        byFile.insert(QStringLiteral("/p/folder%1/index.html").arg(f % 10) +
                          (f < 10 ? QString() : QString::number(f)),
                      list);
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(NBEFileDiagnostics::sorted(byFile));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_AllDiagnosticsSort)->Arg(1000)->Arg(10000);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
