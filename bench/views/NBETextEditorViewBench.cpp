// The editor under a display: time to the first painted, highlighted screen
// of a large HTML file; per-keystroke time to repaint in the middle of a
// 1 MiB file and to re-highlight after it; memory per MB of text.
#include "NBECodeTextEdit.h"
#include "NBEDefaultThemes.h"
#include "NBEEditorHighlighter.h"
#include "NBELanguageRegistry.h"
#include "NBETextEditorCoordinator.h"
#include "NBETextEditorView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QTextBlock>
#include <benchmark/benchmark.h>

#include <algorithm>

namespace {

QString generatedHTML(qsizetype bytes)
{
    const QString block = QStringLiteral(
        "<section class=\"card\" id=\"item-%1\">\n"
        "  <!-- card %1 -->\n"
        "  <h2 class=\"title\">Heading number %1</h2>\n"
        "  <p>Some <strong>bold</strong> text, an <a href=\"https://example.com/%1\">link</a> "
        "&amp; more words to fill the line.</p>\n"
        "  <img src=\"images/%1.png\" alt=\"picture %1\" width=\"320\" height=\"200\">\n"
        "</section>\n");
    QString text;
    text.reserve(bytes + block.size() * 2);
    for (int i = 0; text.size() < bytes; ++i)
        text += block.arg(i);
    return text;
}

qint64 residentBytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong() * 1024;
    return 0;
}

struct Host
{
    QString text;
    NBETextEditorInputs inputs()
    {
        NBETextEditorInputs in;
        in.text = NBEBinding<QString>::over(text);
        in.language = NBELanguageRegistry::html();
        in.theme = NBEDefaultThemes::light();
        return in;
    }
};

bool visibleLinesColoured(NBETextEditorView &view)
{
    const QTextBlock first = view.textView()->firstVisibleTextBlock();
    return !first.layout()->formats().isEmpty();
}

void waitFor(const std::function<bool()> &done)
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

void BM_FirstHighlightedScreen10MB(benchmark::State &state)
{
    const QString text = generatedHTML(10 * 1024 * 1024);
    for (auto _ : state) {
        Host host{text};
        const qint64 before = residentBytes();
        QElapsedTimer timer;
        timer.start();
        NBETextEditorView view(host.inputs());
        view.resize(1000, 700);
        view.show();
        waitFor([&] { return view.isVisible() && visibleLinesColoured(view); });
        view.textView()->viewport()->repaint();
        state.SetIterationTime(timer.nsecsElapsed() / 1e9);
        waitFor([&] { return !view.coordinator()->highlighter()->isBusy(); });
        const double megabytes = text.size() / (1024.0 * 1024.0);
        state.counters["whole_pass_ms"] = timer.nsecsElapsed() / 1e6;
        state.counters["rss_MB_per_MB"] =
            (residentBytes() - before) / (1024.0 * 1024.0) / megabytes;
    }
}
BENCHMARK(BM_FirstHighlightedScreen10MB)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

void BM_Keystroke1MiB(benchmark::State &state)
{
    const QString text = generatedHTML(1024 * 1024);
    Host host{text};
    NBETextEditorView view(host.inputs());
    view.resize(1000, 700);
    view.show();
    waitFor([&] { return !view.coordinator()->highlighter()->isBusy(); });
    QTextCursor cursor = view.textView()->textCursor();
    cursor.setPosition(int(text.size() / 2));
    view.textView()->setTextCursor(cursor);
    view.textView()->centerCursor();
    QCoreApplication::processEvents();

    QList<double> typing, highlighting;
    for (auto _ : state) {
        for (int i = 0; i < 200; ++i) {
            QElapsedTimer timer;
            timer.start();
            QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
            QKeyEvent release(QEvent::KeyRelease, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
            QCoreApplication::sendEvent(view.textView(), &press);
            QCoreApplication::sendEvent(view.textView(), &release);
            view.textView()->viewport()->repaint();
            typing.append(timer.nsecsElapsed() / 1e6);
            // The re-highlight after the rest: the whole-text pass off the
            // main thread and the recolouring of the changed lines.
            waitFor([&] { return !view.coordinator()->isUserEditing(); });
            QElapsedTimer pass;
            pass.start();
            waitFor([&] { return !view.coordinator()->highlighter()->isBusy(); });
            view.textView()->viewport()->repaint();
            highlighting.append(pass.nsecsElapsed() / 1e6);
        }
    }
    const auto percentile = [](QList<double> values, double p) {
        std::sort(values.begin(), values.end());
        return values.at(std::min<qsizetype>(values.size() - 1, qsizetype(p * values.size())));
    };
    state.counters["type_repaint_p50_ms"] = percentile(typing, 0.5);
    state.counters["type_repaint_p95_ms"] = percentile(typing, 0.95);
    state.counters["rehighlight_p50_ms"] = percentile(highlighting, 0.5);
    state.counters["rehighlight_p95_ms"] = percentile(highlighting, 0.95);
}
BENCHMARK(BM_Keystroke1MiB)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
