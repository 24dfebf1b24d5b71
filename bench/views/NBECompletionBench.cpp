// Completion in the middle of a 1 MiB HTML file under a display: the time
// from a keystroke to the completion panel painted with the built-in lists
// and with the real HTML server's items, and the keystroke time (key to
// painted editor) with completion active against the same file in a plain
// text tab. Reports p50 and p95 in milliseconds.
#include "NBECodeTextEdit.h"
#include "NBECompletionController.h"
#include "NBEDefaultThemes.h"
#include "NBELanguageRegistry.h"
#include "NBETextEditorAssist.h"
#include "NBETextEditorCoordinator.h"
#include "NBETextEditorView.h"
#include "NBEWebLSPServers.h"
#include "NBEWebLSPSession.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QListView>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <benchmark/benchmark.h>

#include <algorithm>

namespace {

constexpr int keystrokes = 200;

// Key presses as a user's: press and release through the application.
void sendKey(QWidget *widget, Qt::Key key, const QString &text)
{
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(widget, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QApplication::sendEvent(widget, &release);
}

void pause(int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

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
    QString text = QStringLiteral("<!DOCTYPE html>\n<html>\n<body>\n");
    for (int i = 0; text.size() < bytes; ++i)
        text += block.arg(i);
    return text + QStringLiteral("</body>\n</html>\n");
}

// The 1 MiB file with "<a " in the middle of it, and the offset after it.
struct Document
{
    QString text;
    int caret = 0;
};

Document middleDocument()
{
    Document document{generatedHTML(1 << 20)};
    const qsizetype middle = document.text.indexOf(u'\n', document.text.size() / 2) + 1;
    document.text.insert(middle, QStringLiteral("<a \n"));
    document.caret = int(middle) + 3;
    return document;
}

class PaintCounter : public QObject
{
public:
    int paints = 0;
    void watch(QWidget *widget)
    {
        if (widget && !m_watched.contains(widget)) {
            widget->installEventFilter(this);
            m_watched.append(widget);
        }
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }

private:
    QList<QPointer<QWidget>> m_watched;
};

struct Editor
{
    QString text;
    std::function<void(const QString &)> onText;
    std::function<QFuture<std::optional<QList<NBELSPCompletionItem>>>(int, int)> lspCompletion;
    QWidget window;
    NBETextEditorView *view = nullptr;

    void open(const Document &document, std::optional<NBELanguage> language)
    {
        text = document.text;
        NBETextEditorInputs in;
        in.text = {[this] { return text; },
                   [this](const QString &t) {
                       text = t;
                       if (onText)
                           onText(t);
                   }};
        in.language = language;
        in.theme = NBEDefaultThemes::light();
        in.lspCompletion = lspCompletion;
        auto *layout = new QVBoxLayout(&window);
        view = new NBETextEditorView(in, &window);
        layout->addWidget(view);
        window.resize(1000, 700);
        window.show();
        QApplication::setActiveWindow(&window);
        view->textView()->setFocus();
        QElapsedTimer timer;
        timer.start();
        while (view->coordinator()->isLoading() && timer.elapsed() < 60000)
            QCoreApplication::processEvents();
        QTextCursor cursor = view->textView()->textCursor();
        cursor.setPosition(document.caret);
        view->textView()->setTextCursor(cursor);
        view->textView()->centerCursor();
        pause(300);
    }
    NBETextEditorAssist *assist() const { return view->coordinator()->assist(); }
};

void report(benchmark::State &state, QList<double> samples, const char *name)
{
    std::sort(samples.begin(), samples.end());
    const auto at = [&](double q) { return samples[qsizetype(q * (samples.size() - 1))]; };
    state.counters[std::string(name) + "_p50_ms"] = at(0.5);
    state.counters[std::string(name) + "_p95_ms"] = at(0.95);
}

// Alternately types "h" and deletes it after "<a ": both keep the panel up
// with another list. Returns the time from each key to the painted panel.
QList<double> panelTimes(Editor &editor, const std::function<bool()> &answered)
{
    QList<double> samples;
    PaintCounter counter;
    for (int i = 0; i < keystrokes; ++i) {
        const bool letter = i % 2 == 0;
        QElapsedTimer timer;
        timer.start();
        sendKey(editor.view->textView(), letter ? Qt::Key_H : Qt::Key_Backspace,
                letter ? QStringLiteral("h") : QStringLiteral("\b"));
        while (!answered() && timer.elapsed() < 30000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 1);
        auto *panel = editor.assist()->completion()->panel();
        if (!panel)
            continue;
        counter.watch(panel->listView()->viewport());
        const int before = counter.paints;
        while (counter.paints == before && timer.elapsed() < 30000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        samples.append(timer.nsecsElapsed() / 1e6);
    }
    return samples;
}

void BM_PanelPaintedBuiltIn1MiB(benchmark::State &state)
{
    const Document document = middleDocument();
    for (auto _ : state) {
        Editor editor;
        editor.open(document, NBELanguageRegistry::html());
        report(state, panelTimes(editor, [] { return true; }), "panel");
    }
}
BENCHMARK(BM_PanelPaintedBuiltIn1MiB)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_PanelPaintedServer1MiB(benchmark::State &state)
{
    const Document document = middleDocument();
    QTemporaryDir dir;
    const QUrl url = QUrl::fromLocalFile(dir.filePath(QStringLiteral("big.html")));
    if (!NBEWebLSPServers::launch(QStringLiteral("html"))) {
        state.SkipWithError("no HTML server in Vendor/web-lsp");
        return;
    }
    for (auto _ : state) {
        NBEWebLSPSession session(QUrl::fromLocalFile(dir.path()));
        session.didOpen(url, QStringLiteral("html"), document.text);
        // Waits until the server answers at all.
        QElapsedTimer ready;
        ready.start();
        for (;;) {
            auto probe = session.completion(url, 0, 0);
            while (!probe.isFinished())
                QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            if (probe.result() || ready.elapsed() > 120000)
                break;
        }
        Editor editor;
        editor.onText = [&](const QString &text) { session.didChange(url, text); };
        editor.lspCompletion = [&](int line, int character) {
            return session.completion(url, line, character);
        };
        editor.open(document, NBELanguageRegistry::html());
        bool got = false;
        QObject::connect(editor.assist(), &NBETextEditorAssist::completionAnswered,
                         [&](bool used) { got = got || used; });
        QList<double> samples = panelTimes(editor, [&] { return std::exchange(got, false); });
        report(state, samples, "panel");
        while (!session.shutdown().isFinished())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
}
BENCHMARK(BM_PanelPaintedServer1MiB)->Iterations(1)->Unit(benchmark::kMillisecond);

// Key to painted editor, typing letters at the same place of the same file.
QList<double> keystrokeTimes(Editor &editor)
{
    QList<double> samples;
    PaintCounter counter;
    counter.watch(editor.view->textView()->viewport());
    for (int i = 0; i < keystrokes; ++i) {
        const bool letter = i % 2 == 0;
        QElapsedTimer timer;
        timer.start();
        const int before = counter.paints;
        sendKey(editor.view->textView(), letter ? Qt::Key_H : Qt::Key_Backspace,
                letter ? QStringLiteral("h") : QStringLiteral("\b"));
        while (counter.paints == before && timer.elapsed() < 30000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        samples.append(timer.nsecsElapsed() / 1e6);
    }
    return samples;
}

void BM_KeystrokeCompletionVsPlainText1MiB(benchmark::State &state)
{
    const Document document = middleDocument();
    for (auto _ : state) {
        QList<double> plain, html;
        {
            Editor editor;
            editor.open(document, std::nullopt);
            plain = keystrokeTimes(editor);
        }
        {
            Editor editor;
            editor.open(document, NBELanguageRegistry::html());
            html = keystrokeTimes(editor);
            if (!editor.assist()->completion()->isVisible())
                state.SkipWithError("completion was not active");
        }
        report(state, plain, "plain");
        report(state, html, "completion");
        std::sort(plain.begin(), plain.end());
        std::sort(html.begin(), html.end());
        const auto p95 = [](const QList<double> &s) { return s[qsizetype(0.95 * (s.size() - 1))]; };
        state.counters["p95_ratio"] = p95(html) / p95(plain);
    }
}
BENCHMARK(BM_KeystrokeCompletionVsPlainText1MiB)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
