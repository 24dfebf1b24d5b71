// The editor under a display: time to the first painted, highlighted screen
// of a large HTML file; per-keystroke time to repaint in the middle of a
// 1 MiB file and to re-highlight after it; heap growth per MB of text; a long
// paste, its undo and redo in a file shown split; keys typed into the find
// field of a 50 MB file. The
// bare QPlainTextEdit and QTextDocument runs are the floor the editor is
// compared with.
#include "../support/NBERealCorpus.h"
#include "NBEBenchWindow.h"
#include "NBECodeTextEdit.h"
#include "NBEDefaultThemes.h"
#include "NBEEditorHighlighter.h"
#include "NBEFindBar.h"
#include "NBELanguageRegistry.h"
#include "NBESoftBreaks.h"
#include "NBETextBuffer.h"
#include "NBETextEditorCoordinator.h"
#include "NBETextEditorView.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextDocument>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <malloc.h>

using NBEBenchWindow::generatedHTML;
using NBEBenchWindow::percentile;
using NBEBenchWindow::waitFor;

namespace {

// Bytes of heap in use (small chunks plus mmapped large ones), after
// returning free memory, so transient buffers of a load don't count.
double heapInUse()
{
    malloc_trim(0);
    const struct mallinfo2 info = mallinfo2();
    return double(info.uordblks + info.hblkhd);
}

double fileMegabytes(const QString &text)
{
    return text.toUtf8().size() / (1024.0 * 1024.0);
}

// The session of an HTML tab.
std::shared_ptr<NBEEditorSession> htmlSession(const std::shared_ptr<NBETextBuffer> &buffer)
{
    auto session = std::make_shared<NBEEditorSession>(buffer);
    session->document().setLanguage(NBELanguageRegistry::html());
    session->setTheme(NBEDefaultThemes::light());
    return session;
}

// Every visible line with something to colour carries formats. (A plain
// text layout gives each block its own height, not its place.)
bool visibleLinesColoured(QPlainTextEdit *edit, const QTextBlock &first)
{
    const int bottom = edit->viewport()->height();
    QAbstractTextDocumentLayout *layout = edit->document()->documentLayout();
    qreal top = 0;
    int checked = 0;
    for (QTextBlock block = first; block.isValid() && top <= bottom; block = block.next()) {
        top += layout->blockBoundingRect(block).height();
        if (!block.text().trimmed().isEmpty() && block.layout()->formats().isEmpty())
            return false;
        ++checked;
    }
    return checked > 0;
}

// Counts paint events of a viewport, and whether one of them showed the
// visible lines coloured.
class PaintWatch : public QObject
{
public:
    PaintWatch(QPlainTextEdit *edit, std::function<QTextBlock()> firstVisible, bool checkColours)
        : m_edit(edit)
        , m_firstVisible(std::move(firstVisible))
        , m_checkColours(checkColours)
    {
        edit->viewport()->installEventFilter(this);
    }
    int paints = 0;
    bool colouredPaint = false;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && watched == m_edit->viewport()) {
            ++paints;
            if (m_checkColours && !colouredPaint)
                colouredPaint = visibleLinesColoured(m_edit, m_firstVisible());
        }
        return false;
    }

private:
    QPlainTextEdit *m_edit;
    std::function<QTextBlock()> m_firstVisible;
    bool m_checkColours;
};

// Processes events until the viewport has painted (at most a few rounds; a
// change that needs no paint ends at once).
void processUntilPainted(PaintWatch &watch, int before)
{
    for (int round = 0; round < 20 && watch.paints == before; ++round)
        QCoreApplication::processEvents();
}

void BM_FirstHighlightedScreen10MB(benchmark::State &state)
{
    const QString text = generatedHTML(10 * 1024 * 1024);
    const double megabytes = fileMegabytes(text);
    for (auto _ : state) {
        const double heapBefore = heapInUse();
        // The tab's buffer exists before its editor is made.
        const auto buffer = NBETextBuffer::make(text);
        QElapsedTimer timer;
        timer.start();
        NBETextEditorView view(htmlSession(buffer));
        NBECodeTextEdit *edit = view.textView();
        PaintWatch watch(
            edit, [edit] { return edit->firstVisibleTextBlock(); }, true);
        view.resize(1000, 700);
        view.show();
        waitFor([&] { return watch.colouredPaint; });
        state.SetIterationTime(timer.nsecsElapsed() / 1e9);
        waitFor([&] { return !view.coordinator()->highlighter()->isBusy(); });
        state.counters["whole_pass_ms"] = timer.nsecsElapsed() / 1e6;
        QCoreApplication::processEvents();
        state.counters["heap_MB_per_MB"] =
            (heapInUse() - heapBefore) / (1024.0 * 1024.0) / megabytes;
        // A new width lays every line out again, and the plain text layout
        // gives each line a layout object on the way.
        view.resize(1100, 700);
        QCoreApplication::processEvents();
        state.counters["heap_after_resize_MB_per_MB"] =
            (heapInUse() - heapBefore) / (1024.0 * 1024.0) / megabytes;
    }
}
// A real 10 MB page that holds one line too long to show whole (an inline
// drawing): its first screen, shown whole, then split off the main thread
// and coloured.
void BM_FirstScreenRealPageWithALongLine10MB(benchmark::State &state)
{
    QString text = NBERealCorpus::html(10 * 1000 * 1000);
    if (text.isEmpty()) {
        state.SkipWithError("corpus not installed");
        return;
    }
    // An inline drawing of 24,129 characters on one line, after the first.
    QString drawing = QStringLiteral("<svg viewBox=\"0 0 9 9\"><path d=\"M0 0");
    while (drawing.size() < 24'129 - 16)
        drawing += QStringLiteral(" L%1 %2").arg(drawing.size() % 97).arg(drawing.size() % 89);
    drawing += QStringLiteral("\"/></svg>");
    text.insert(text.indexOf(u'\n') + 1, drawing.leftJustified(24'129, u' ') + u'\n');
    for (auto _ : state) {
        const auto buffer = NBETextBuffer::make(text);
        QElapsedTimer timer;
        timer.start();
        NBETextEditorView view(htmlSession(buffer));
        NBECodeTextEdit *edit = view.textView();
        PaintWatch watch(
            edit, [edit] { return edit->firstVisibleTextBlock(); }, false);
        view.resize(1000, 700);
        view.show();
        waitFor([&] { return watch.paints > 0; });
        state.SetIterationTime(timer.nsecsElapsed() / 1e9);
        waitFor([&] { return edit->textGeometry().textDocument() != edit->document(); });
        state.counters["split_ms"] = timer.nsecsElapsed() / 1e6;
        // (Prose lines of a page have nothing to colour.)
        waitFor([&] {
            QTextBlock block = edit->firstVisibleTextBlock();
            for (int i = 0; i < 40 && block.isValid(); ++i, block = block.next())
                if (!block.layout()->formats().isEmpty())
                    return true;
            return false;
        });
        state.counters["coloured_ms"] = timer.nsecsElapsed() / 1e6;
    }
}
BENCHMARK(BM_FirstScreenRealPageWithALongLine10MB)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

BENCHMARK(BM_FirstHighlightedScreen10MB)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

// The floor: a bare QPlainTextEdit showing the same text uncoloured.
void BM_BarePlainTextEdit10MB(benchmark::State &state)
{
    const QString text = generatedHTML(10 * 1024 * 1024);
    const double megabytes = fileMegabytes(text);
    for (auto _ : state) {
        const double heapBefore = heapInUse();
        QElapsedTimer timer;
        timer.start();
        QPlainTextEdit edit;
        PaintWatch watch(&edit, {}, false);
        edit.setPlainText(text);
        edit.resize(1000, 700);
        edit.show();
        waitFor([&] { return watch.paints > 0; });
        state.SetIterationTime(timer.nsecsElapsed() / 1e9);
        QCoreApplication::processEvents();
        state.counters["heap_MB_per_MB"] =
            (heapInUse() - heapBefore) / (1024.0 * 1024.0) / megabytes;
        edit.resize(1100, 700);
        QCoreApplication::processEvents();
        state.counters["heap_after_resize_MB_per_MB"] =
            (heapInUse() - heapBefore) / (1024.0 * 1024.0) / megabytes;
    }
}
BENCHMARK(BM_BarePlainTextEdit10MB)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

// The floor of the text store alone: a QTextDocument holding the text.
void BM_BareDocument10MB(benchmark::State &state)
{
    const QString text = generatedHTML(10 * 1024 * 1024);
    const double megabytes = fileMegabytes(text);
    for (auto _ : state) {
        const double heapBefore = heapInUse();
        QTextDocument document;
        document.setUndoRedoEnabled(false);
        document.setPlainText(text);
        state.counters["heap_MB_per_MB"] =
            (heapInUse() - heapBefore) / (1024.0 * 1024.0) / megabytes;
        state.counters["blocks"] = document.blockCount();
    }
}
BENCHMARK(BM_BareDocument10MB)->Unit(benchmark::kMillisecond)->Iterations(1);

// A 1 MiB HTML file in an editor on screen, the caret in its middle.
struct TypingSession
{
    QString text = generatedHTML(1024 * 1024);
    std::shared_ptr<NBETextBuffer> buffer = NBETextBuffer::make(text);
    NBETextEditorView view{htmlSession(buffer)};
    PaintWatch watch{view.textView(), {}, false};

    TypingSession()
    {
        view.resize(1000, 700);
        view.show();
        waitFor([&] { return !view.coordinator()->highlighter()->isBusy(); });
        QTextCursor cursor = view.textView()->textCursor();
        cursor.setPosition(int(text.size() / 2));
        view.textView()->setTextCursor(cursor);
        view.textView()->centerCursor();
        QCoreApplication::processEvents();
    }

    // Types one character and waits for the repaint that shows it; adds the
    // time taken to `times` and answers whether a paint happened.
    bool typeKey(QList<double> &times)
    {
        const int paints = watch.paints;
        QElapsedTimer timer;
        timer.start();
        QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
        QCoreApplication::sendEvent(view.textView(), &press);
        QCoreApplication::sendEvent(view.textView(), &release);
        processUntilPainted(watch, paints);
        times.append(timer.nsecsElapsed() / 1e6);
        return watch.paints != paints;
    }
};

void BM_Keystroke1MiB(benchmark::State &state)
{
    TypingSession session;
    NBETextEditorView &view = session.view;
    const QString &text = session.text;

    QList<double> typing, highlighting;
    int unpainted = 0;
    for (auto _ : state) {
        for (int i = 0; i < 200; ++i) {
            // The key, the buffer's announcement, and the repaint of the screen that
            // shows the new character.
            unpainted += !session.typeKey(typing);
            // The re-highlight after the rest: from the end of the debounce to
            // the recoloured lines on screen.
            waitFor([&] { return !view.coordinator()->isUserEditing(); });
            QElapsedTimer pass;
            pass.start();
            waitFor([&] { return !view.coordinator()->highlighter()->isBusy(); });
            QCoreApplication::processEvents();
            highlighting.append(pass.nsecsElapsed() / 1e6);
        }
    }
    if (session.buffer->length() != text.size() + 200)
        state.SkipWithError("the buffer did not receive every keystroke");
    state.counters["type_repaint_p50_ms"] = percentile(typing, 0.5);
    state.counters["type_repaint_p95_ms"] = percentile(typing, 0.95);
    state.counters["rehighlight_p50_ms"] = percentile(highlighting, 0.5);
    state.counters["rehighlight_p95_ms"] = percentile(highlighting, 0.95);
    state.counters["keys_unpainted"] = unpainted;
}
BENCHMARK(BM_Keystroke1MiB)->Unit(benchmark::kMillisecond)->Iterations(1);

// A fast typist: keys back to back, each repainted, no re-highlight between
// them.
void BM_KeystrokeBurst1MiB(benchmark::State &state)
{
    TypingSession session;
    QList<double> typing;
    for (auto _ : state) {
        for (int i = 0; i < 1000; ++i)
            session.typeKey(typing);
    }
    state.counters["type_repaint_p50_ms"] = percentile(typing, 0.5);
    state.counters["type_repaint_p95_ms"] = percentile(typing, 0.95);
}
BENCHMARK(BM_KeystrokeBurst1MiB)->Unit(benchmark::kMillisecond)->Iterations(1);

// Functions on one line, like a minified script, of `units` characters.
QString minifiedScript(qsizetype units)
{
    QString text;
    for (int i = 0; text.size() < units; ++i)
        text += QStringLiteral("function f%1(a){return a*%1};").arg(i);
    return text.left(units);
}

// A paste of a quarter million characters into a minified script shown
// split, then its undo and redo, each timed to its return to the event loop
// and to the paint that shows it; with lines wrapped (1) or not (0).
void BM_LongPasteUndoRedo(benchmark::State &state)
{
    const QString original = minifiedScript(2 * NBESoftBreaks::longestWholeLine);
    const QString pasted = minifiedScript(256'000);
    const auto buffer = NBETextBuffer::make(original);
    auto session = std::make_shared<NBEEditorSession>(buffer);
    session->document().setLanguage(NBELanguageRegistry::javascript());
    session->setTheme(NBEDefaultThemes::light());
    NBEEditorSettings settings = session->settings();
    settings.wordWrap = state.range(0) != 0;
    session->document().setSettings(settings);
    NBETextEditorView view(session);
    NBECodeTextEdit *edit = view.textView();
    PaintWatch watch(edit, {}, false);
    view.resize(1000, 700);
    view.show();
    waitFor([&] {
        return edit->textGeometry().textDocument() != edit->document() && watch.paints > 0;
    });
    QGuiApplication::clipboard()->setText(pasted);
    QList<double> returned[3];
    QList<double> painted[3];
    const auto timed = [&](int kind, const std::function<void()> &action) {
        const int paints = watch.paints;
        QElapsedTimer timer;
        timer.start();
        action();
        returned[kind].append(timer.nsecsElapsed() / 1e6);
        processUntilPainted(watch, paints);
        painted[kind].append(timer.nsecsElapsed() / 1e6);
    };
    for (auto _ : state) {
        for (int round = 0; round < 5; ++round) {
            QTextCursor cursor = edit->textCursor();
            cursor.setPosition(edit->textGeometry().toView(12'345));
            edit->setTextCursor(cursor);
            QCoreApplication::processEvents();
            timed(0, [&] { edit->paste(); });
            timed(1, [&] { edit->undo(); });
            timed(2, [&] { edit->redo(); });
            edit->undo();
            waitFor([&] { return !view.coordinator()->isUserEditing(); });
            QCoreApplication::processEvents();
        }
    }
    if (edit->text() != original)
        state.SkipWithError("undo did not give the text back");
    const char *names[] = {"paste", "undo", "redo"};
    for (int kind = 0; kind < 3; ++kind) {
        state.counters[std::string(names[kind]) + "_return_p50_ms"] =
            percentile(returned[kind], 0.5);
        state.counters[std::string(names[kind]) + "_return_max_ms"] =
            *std::ranges::max_element(returned[kind]);
        state.counters[std::string(names[kind]) + "_paint_p50_ms"] = percentile(painted[kind], 0.5);
    }
}
BENCHMARK(BM_LongPasteUndoRedo)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->Iterations(1);

// A search typed into the find field of an HTML file of `range(0)` bytes,
// letter by letter and erased again, five times over: each key timed from
// its press to its count shown, against one read of the whole text (the
// copy that searching once made per key, and more).
void BM_FindFieldTyping(benchmark::State &state)
{
    const QString text = generatedHTML(state.range(0));
    const QString term = QStringLiteral("picture 4242\"");
    const qsizetype count = text.count(term);
    const QString shown =
        count == 1 ? QStringLiteral("1 match") : QStringLiteral("%1 matches").arg(count);
    const auto buffer = NBETextBuffer::make(text);
    NBETextEditorView view(htmlSession(buffer));
    view.resize(1000, 700);
    view.show();
    waitFor([&] { return !view.coordinator()->highlighter()->isBusy(); });
    NBEFindBar *bar = view.findBar();
    bar->open();
    QLineEdit *field = nullptr;
    for (QLineEdit *child : bar->findChildren<QLineEdit *>())
        if (child->placeholderText() == QStringLiteral("Find"))
            field = child;
    QCoreApplication::processEvents();

    const auto key = [&](Qt::Key code, const QString &text, QList<double> &times) {
        QElapsedTimer timer;
        timer.start();
        QKeyEvent press(QEvent::KeyPress, code, Qt::NoModifier, text);
        QKeyEvent release(QEvent::KeyRelease, code, Qt::NoModifier, text);
        QCoreApplication::sendEvent(field, &press);
        QCoreApplication::sendEvent(field, &release);
        QCoreApplication::processEvents();
        times.append(timer.nsecsElapsed() / 1e6);
    };
    QList<double> typed;
    QList<double> erased;
    const quint64 reads = NBETextBuffer::wholeTextReads();
    for (auto _ : state) {
        for (int round = 0; round < 5; ++round) {
            for (const QChar c : term)
                key(Qt::Key(c.toUpper().unicode()), QString(c), typed);
            if (bar->countText() != shown)
                state.SkipWithError("the count shown is not the term's");
            for (qsizetype i = 0; i < term.size(); ++i)
                key(Qt::Key_Backspace, {}, erased);
        }
    }
    const qsizetype keys = typed.size() + erased.size();
    state.counters["reads_per_key"] = double(NBETextBuffer::wholeTextReads() - reads) / keys;
    QElapsedTimer copy;
    copy.start();
    benchmark::DoNotOptimize(view.textView()->text());
    const double copyMs = copy.nsecsElapsed() / 1e6;
    state.counters["text_read_ms"] = copyMs;
    state.counters["type_p50_ms"] = percentile(typed, 0.5);
    state.counters["type_max_ms"] = *std::ranges::max_element(typed);
    state.counters["erase_p50_ms"] = percentile(erased, 0.5);
    state.counters["type_p50_per_text_read"] = percentile(typed, 0.5) / copyMs;
}
BENCHMARK(BM_FindFieldTyping)
    ->Arg(50 * 1000 * 1000)
    ->Arg(50 * 1000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
