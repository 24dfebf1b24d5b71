// The work of one keystroke in the workspace view model, as a user causes
// it: an edit of the tab's buffer (its document, as the editor changes it),
// the change announced, routed and sent to the real language server of the
// file (the HTML server from Vendor/web-lsp; Markdown has none), the HTML
// check and auto-save scheduled. Process CPU time, so the thread that
// encodes and writes to the server counts too. And the issues-list sort.
#include "NBEApplicationActivity.h"
#include "NBEFileDiagnostic.h"
#include "NBEWorkspaceViewModel.h"
#include "support/NBEBenchSupport.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTextCursor>
#include <QTextDocument>
#include <benchmark/benchmark.h>

namespace {

using NBEBench::waitFor;

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
    NBEWorkspaceViewModel model(environment);
    const QUrl url = QUrl::fromLocalFile(dir.filePath(fileName));
    const QFuture<void> loading = model.loadWorkspace(QUrl::fromLocalFile(dir.path()));
    waitFor([&] { return loading.isFinished(); });
    const QFuture<void> opening = model.navigation().openFile(url, false);
    waitFor([&] { return opening.isFinished(); });
    if (model.languageServers().hasWebLSP(model.tabs().activeTab()->language->id)) {
        // The server has the document once it has said something about it.
        const QString key = QDir::cleanPath(dir.filePath(fileName));
        waitFor([&] { return model.diagnosticsStore().all().contains(key); });
    }

    QTextDocument *document = model.tabs().activeTab()->sourceFile.buffer->document();
    QTextCursor cursor(document);
    cursor.setPosition(int(text.size() / 2));
    bool typed = false;
    for (auto _ : state) {
        if ((typed = !typed))
            cursor.insertText(QStringLiteral("x"));
        else
            cursor.deletePreviousChar();
        if (state.iterations() % 64 == 0)
            QCoreApplication::processEvents();
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_KeystrokeHTML(benchmark::State &state)
{
    keystrokes(state, QStringLiteral("page.html"));
}
BENCHMARK(BM_KeystrokeHTML)->Arg(64 << 10)->Arg(1 << 20)->Arg(10 << 20)->MeasureProcessCPUTime();

void BM_KeystrokeMarkdown(benchmark::State &state)
{
    keystrokes(state, QStringLiteral("notes.md"));
}
BENCHMARK(BM_KeystrokeMarkdown)->Arg(1 << 20)->MeasureProcessCPUTime();

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
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
