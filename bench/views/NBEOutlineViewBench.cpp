// The outline of a 1 MiB HTML file in the real window with the real view
// model (language servers off, so the numbers are the window's own): time
// from an edit to the outline's rows showing it, and the keystroke-to-repaint
// p95 with the outline on screen against the same with the file tree.
#include "../support/NBEBenchSupport.h"
#include "NBECodeTextEdit.h"
#include "NBEMainView.h"
#include "NBEOutlineView.h"
#include "NBESourceEditor.h"
#include "NBETextEditorView.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <algorithm>

namespace {

using NBEBench::percentile;
using NBEBench::waitFor;

// Sections with a heading, bold text and a link.
QByteArray outlinedHTML(qsizetype bytes)
{
    return NBEBench::generatedHTML(
               bytes,
               QStringLiteral(
                   "<section class=\"card\" id=\"item-%1\">\n  <h2 class=\"title\">Heading "
                   "%1</h2>\n  <p>Some <strong>bold</strong> text and <a href=\"/%1\">a "
                   "link</a>.</p>\n</section>\n"),
               QStringLiteral("<html>\n<body>\n"))
        .toUtf8();
}

class PaintCounter : public QObject
{
public:
    explicit PaintCounter(QWidget *viewport) { viewport->installEventFilter(this); }
    int paints = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

// A window on a folder holding one 1 MiB HTML file, open in the editor with
// the caret in its middle.
struct Session
{
    QTemporaryDir dir;
    std::unique_ptr<NBEDefaults> store;
    std::unique_ptr<NBEPreferences> preferences;
    std::unique_ptr<NBEMainView> view;

    Session()
    {
        const QString path = dir.filePath(QStringLiteral("big.html"));
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(outlinedHTML(1024 * 1024));
        file.close();
        store = std::make_unique<NBEDefaults>(dir.filePath(QStringLiteral("settings.json")));
        preferences = std::make_unique<NBEPreferences>(*store);
        NBEWorkspaceEnvironment environment;
        environment.preferences = preferences.get();
        environment.webServerLaunch = [](const QString &) {
            return std::optional<NBEWebLSPLaunch>();
        };
        environment.timings.autoFetchStartDelay = std::chrono::hours(1);
        view = std::make_unique<NBEMainView>(QUrl::fromLocalFile(dir.path()), environment);
        view->resize(1200, 800);
        view->show();
        bool started = false;
        QObject::connect(view.get(), &NBEMainView::started, [&] { started = true; });
        view->start();
        waitFor([&] { return started; });
        view->viewModel()->navigation().openFile(QUrl::fromLocalFile(path), false);
        waitFor([&] {
            return view->sourceEditor() &&
                   view->sourceEditor()->editor()->textView()->document()->characterCount() >
                       1024 * 1024;
        });
        NBECodeTextEdit *text = textView();
        QTextCursor cursor = text->textCursor();
        cursor.setPosition(text->document()->characterCount() / 2);
        text->setTextCursor(cursor);
        text->centerCursor();
        // Loading and the first highlighting pass settle.
        QElapsedTimer settle;
        settle.start();
        waitFor([&] { return settle.elapsed() > 3000; });
    }

    NBECodeTextEdit *textView() const { return view->sourceEditor()->editor()->textView(); }

    double typeKey(PaintCounter &counter)
    {
        const int before = counter.paints;
        QElapsedTimer timer;
        timer.start();
        QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
        QCoreApplication::sendEvent(textView(), &press);
        QCoreApplication::sendEvent(textView(), &release);
        for (int round = 0; round < 20 && counter.paints == before; ++round)
            QCoreApplication::processEvents();
        return timer.nsecsElapsed() / 1e6;
    }

    // 100 keys in bursts of ten with a pause after each burst, in which the
    // outline (when shown) catches up.
    QList<double> typing(NBESidebarMode mode)
    {
        view->sidebar()->setMode(mode);
        PaintCounter counter(textView()->viewport());
        QList<double> times;
        for (int burst = 0; burst < 10; ++burst) {
            for (int key = 0; key < 10; ++key)
                times.append(typeKey(counter));
            QElapsedTimer pause;
            pause.start();
            waitFor([&] {
                return pause.elapsed() > 200 &&
                       (!view->outline() || !view->outline()->isUpdating());
            });
        }
        return times;
    }
};

Session *session = nullptr;

void BM_OutlineRefreshAfterEdit1MiB(benchmark::State &state)
{
    session->view->sidebar()->setMode(NBESidebarMode::outline);
    NBEOutlineView *outline = session->view->outline();
    waitFor([&] { return !outline->isUpdating() && !outline->symbols().isEmpty(); });
    PaintCounter counter(session->textView()->viewport());
    QList<double> refresh;
    for (auto _ : state) {
        for (int i = 0; i < 20; ++i) {
            bool updated = false;
            const auto connection =
                QObject::connect(outline, &NBEOutlineView::symbolsUpdated, [&] { updated = true; });
            session->typeKey(counter);
            QElapsedTimer timer;
            timer.start();
            waitFor([&] { return updated; });
            refresh.append(timer.nsecsElapsed() / 1e6);
            QObject::disconnect(connection);
        }
    }
    state.counters["rows"] = outline->symbols().size();
    state.counters["edit_to_rows_p50_ms"] = percentile(refresh, 0.5);
    state.counters["edit_to_rows_p95_ms"] = percentile(refresh, 0.95);
}
BENCHMARK(BM_OutlineRefreshAfterEdit1MiB)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_KeystrokeOutlineShownVersusHidden1MiB(benchmark::State &state)
{
    QList<double> hidden, shown;
    for (auto _ : state) {
        // Alternating, so a busy moment of the machine lands on both sides.
        for (int round = 0; round < 4; ++round) {
            hidden += session->typing(NBESidebarMode::files);
            shown += session->typing(NBESidebarMode::outline);
        }
    }
    const double hiddenP95 = percentile(hidden, 0.95);
    const double shownP95 = percentile(shown, 0.95);
    state.counters["hidden_p50_ms"] = percentile(hidden, 0.5);
    state.counters["hidden_p95_ms"] = hiddenP95;
    state.counters["shown_p50_ms"] = percentile(shown, 0.5);
    state.counters["shown_p95_ms"] = shownP95;
    state.counters["p95_ratio"] = hiddenP95 > 0 ? shownP95 / hiddenP95 : 0;
}
BENCHMARK(BM_KeystrokeOutlineShownVersusHidden1MiB)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    Session shared;
    session = &shared;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    session = nullptr;
    return 0;
}
