// The path a user hits: a real project window (NBEMainView with its own
// view model) on an HTML file of 1 MiB and of 10 MB, generated and made of
// real pages (prose with apostrophes, scripts, styles), served by the real
// HTML language server from Vendor/web-lsp; a real 9 MB JavaScript library;
// an 8 MB minified script on one line, generated or of real minified
// modules (also with keys 150 ms apart, just
// after the buffer's pause, and with a paste of 256,000 characters, its undo
// and redo; and its opening); a paste of such a line into a short script
// shown whole. Measures key press (at its time, waiting for work that
// holds the event loop) to the repaint
// that shows it, caret moves, process memory after opening and after 1,000
// keys (its language servers' too, with the processes they start), and the
// CPU time of the whole process (pool threads included) and of its language
// servers per key, with the bytes each of those read; and memory over five openings and
// closings of a 5 MB page. Run under a display (xvfb-run); prints one table row per file.
//
// Keys are sent as QKeyEvents straight to the editor: the X server's input
// path and the compositor are left out of every figure.
#include "../support/NBERealCorpus.h"
#include "NBEBenchWindow.h"
#include "NBECodeTextEdit.h"
#include "NBEMainView.h"
#include "NBEMemory.h"
#include "NBESourceEditor.h"
#include "NBETextEditorView.h"
#include "NBEWebLSPServers.h"
#include "NBEWorkspaceViewModel.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

using namespace NBEBenchWindow;

namespace {

double residentMegabytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return 0;
}

// In use by the program, whatever the allocator keeps besides. Never trims:
// that would hand back what the program itself leaves to the allocator and
// hide it from the RSS figures.
double heapMegabytes()
{
    const struct mallinfo2 info = mallinfo2();
    return double(info.uordblks + info.hblkhd) / (1024.0 * 1024.0);
}

double cpuMilliseconds()
{
    struct rusage usage = {};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

// The fields after the parenthesised name in /proc/<pid>/stat (state,
// parent, ...), after the process id, of every process started under this one:
// the language servers and what they start themselves (the JavaScript
// server's tsserver instances, its typings installer and the npm runs of that).
QList<QList<QByteArray>> childrenStats()
{
    QHash<QByteArray, QList<QByteArray>> all;
    for (const QString &pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = stat.readAll();
        QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 21)
            all.insert(line.left(line.indexOf(' ')),
                       QList<QByteArray>{line.left(line.indexOf(' '))} + fields);
    }
    const QByteArray self = QByteArray::number(QCoreApplication::applicationPid());
    QList<QList<QByteArray>> children;
    for (const QList<QByteArray> &process : std::as_const(all)) {
        QByteArray parent = process[2];
        for (int depth = 0; depth < 16 && parent != self && all.contains(parent); ++depth)
            parent = all.value(parent)[2];
        if (parent == self)
            children.append(process);
    }
    return children;
}

// The processor time of the children, which the process's own figure
// leaves out: user time (14th field) and system time (15th).
double childrenCpuMilliseconds()
{
    const double tick = double(sysconf(_SC_CLK_TCK));
    double total = 0;
    for (const QList<QByteArray> &child : childrenStats())
        total += (child[12].toDouble() + child[13].toDouble()) / tick * 1e3;
    return total;
}

// The bytes each child has read, their messages included, by the script it
// runs (or its program's name).
QHash<QString, double> childrenReadBytesByName()
{
    QHash<QString, double> read;
    for (const QList<QByteArray> &child : childrenStats()) {
        const QString pid = QString::fromLatin1(child[0]);
        QFile io(QStringLiteral("/proc/%1/io").arg(pid));
        QFile command(QStringLiteral("/proc/%1/cmdline").arg(pid));
        if (!io.open(QIODevice::ReadOnly) || !command.open(QIODevice::ReadOnly))
            continue;
        QString name;
        for (const QByteArray &argument : command.readAll().split('\0')) {
            if (name.isEmpty() || argument.endsWith(".js") || argument.endsWith(".mjs"))
                name = QFileInfo(QString::fromLocal8Bit(argument)).fileName();
            if (argument.endsWith(".js") || argument.endsWith(".mjs"))
                break;
        }
        for (const QByteArray &entry : io.readAll().split('\n'))
            if (entry.startsWith("rchar:"))
                read[name] += entry.mid(6).trimmed().toDouble();
    }
    return read;
}

// The resident memory of the children: resident pages (24th field).
double childrenResidentMegabytes()
{
    const double page = double(sysconf(_SC_PAGESIZE));
    double total = 0;
    for (const QList<QByteArray> &child : childrenStats())
        total += child[22].toDouble() * page / (1024.0 * 1024.0);
    return total;
}

struct Window
{
    QTemporaryDir folder;
    NBEMainView *view = nullptr;
    PaintCounter counter;

    NBECodeTextEdit *editor() const
    {
        NBESourceEditor *source = view->sourceEditor();
        return source ? source->editor()->textView() : nullptr;
    }

    // Sends one key to the editor and runs the event loop until its viewport
    // has painted; answers the milliseconds taken.
    double press(Qt::Key key, const QString &text)
    {
        NBECodeTextEdit *edit = editor();
        const int before = counter.paints;
        QElapsedTimer timer;
        timer.start();
        QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier, text);
        QKeyEvent up(QEvent::KeyRelease, key, Qt::NoModifier, text);
        QCoreApplication::sendEvent(edit, &down);
        QCoreApplication::sendEvent(edit, &up);
        for (int round = 0; round < 50 && counter.paints == before; ++round)
            QCoreApplication::processEvents();
        return timer.nsecsElapsed() / 1e6;
    }
};

// The page with a style sheet of one unknown property after a line every
// 2 KB: thousands of diagnostics from the server, spread over the text as on
// a page with many faults.
QString withProblems(const QString &page)
{
    QString out;
    out.reserve(page.size() + page.size() / 50);
    for (qsizetype at = 0; at < page.size();) {
        qsizetype next = page.indexOf(u'\n', at + 2000);
        next = next < 0 ? page.size() : next + 1;
        out += QStringView(page).sliced(at, next - at);
        out += QStringLiteral("<style>.nbe { widht: 1px }</style>\n");
        at = next;
    }
    return out;
}

// A run stops typing when the process grows past this: the machine is shared.
constexpr double residentCapMegabytes = 3000;

struct Figures
{
    double keyP50 = 0, keyP95 = 0, caretP50 = 0;
};

// Keys come this far apart unless a run says otherwise: a fast typist.
constexpr int typistGapMs = 25;

// A paste of a quarter million characters in the middle of the text, its
// undo and redo: each from the key to the event loop's return.
void pasteUndoRedo(NBECodeTextEdit *edit)
{
    QGuiApplication::clipboard()->setText(NBERealCorpus::minifiedJavaScript(256'000).left(256'000));
    const auto timed = [&](const QKeySequence &sequence) {
        QElapsedTimer timer;
        timer.start();
        const QKeyCombination combination = sequence[0];
        QKeyEvent down(QEvent::KeyPress, combination.key(), combination.keyboardModifiers());
        QCoreApplication::sendEvent(edit, &down);
        QCoreApplication::processEvents();
        const double ms = timer.nsecsElapsed() / 1e6;
        settle(500);
        return ms;
    };
    const double paste = timed(QKeySequence(QKeySequence::Paste));
    const double undo = timed(QKeySequence(QKeySequence::Undo));
    const double redo = timed(QKeySequence(QKeySequence::Redo));
    std::printf("          | paste of 256,000 characters %7.1f ms, undo %7.1f ms, redo %7.1f ms\n",
                paste, undo, redo);
}

// A style sheet of 2,000 rules with three colour literals each: the colour
// squares' share of a key.
QString generatedCSS()
{
    QString out;
    for (int i = 0; i < 2000; ++i)
        out += QStringLiteral(".rule%1 {\n  color: #%2;\n  background: rgb(%3, 40, 80);\n"
                              "  border: 1px solid red;\n  margin: 0 auto;\n}\n")
                   .arg(i)
                   .arg(i % 0x1000, 3, 16, QLatin1Char('0'))
                   .arg(i % 256);
    return out;
}

// With `atOnce`, the keys start as soon as the text is shown, while the
// language server may still start.
Figures run(const char *label, const QString &fileName, const QString &text, int keyCount,
            int gapMs = typistGapMs, bool paste = false, bool atOnce = false)
{
    if (text.isEmpty()) {
        std::printf("%-9s | corpus not installed\n", label);
        return {};
    }
    Window window;
    const QString path = window.folder.filePath(fileName);
    {
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(text.toUtf8());
    }
    const double megabytes = double(QFileInfo(path).size()) / (1024.0 * 1024.0);
    const double rssStart = residentMegabytes();
    const double heapStart = heapMegabytes();

    window.view = openProjectWindow(window.folder.path());
    NBEWorkspaceViewModel *model = window.view->viewModel();
    QElapsedTimer opening;
    opening.start();
    model->navigation().openFile(QUrl::fromLocalFile(path), false);
    waitFor([&] { return window.editor() != nullptr; });
    // Open means: the whole text is in the editor and the server has
    // answered with its first diagnostics for it.
    bool diagnosed = false;
    QObject::connect(&model->diagnosticsStore(), &NBEDiagnosticsStore::changed, [&] {
        diagnosed = diagnosed || model->diagnosticsStore().all().contains(
                                     QDir::cleanPath(QFileInfo(path).absoluteFilePath()));
    });
    waitFor([&] {
        NBECodeTextEdit *edit = window.editor();
        return edit && edit->isReadOnly() == false &&
               edit->document()->characterCount() >= text.size();
    });
    const double loadedMs = opening.nsecsElapsed() / 1e6;
    if (fileName.endsWith(QLatin1String(".html")))
        waitFor([&] { return diagnosed; }, 60000);
    const qsizetype diagnostics = model->diagnosticsStore()
                                      .all()
                                      .value(QDir::cleanPath(QFileInfo(path).absoluteFilePath()))
                                      .size();
    if (!atOnce)
        settle(1500);
    NBECodeTextEdit *edit = window.editor();
    edit->viewport()->installEventFilter(&window.counter);
    edit->setFocus();
    QTextCursor cursor = edit->textCursor();
    cursor.setPosition(int(text.size() / 2));
    edit->setTextCursor(cursor);
    edit->centerCursor();
    if (!atOnce)
        settle(500);
    const double rssOpen = residentMegabytes();
    const double heapOpen = heapMegabytes();
    const double serversOpen = childrenResidentMegabytes();

    // Keys at a fast typist's pace; a pause of a second after every 100 lets
    // the debounced work (highlighting, diagnostics) run as it does for a
    // user.
    QList<double> keys;
    const double cpuBefore = cpuMilliseconds();
    const double serverCpuBefore = childrenCpuMilliseconds();
    const QHash<QString, double> serverReadBefore = childrenReadBytesByName();
    int typed = 0;
    // A key comes at its time whatever the window does: work that holds the
    // event loop past it (the pause's) is waited for, and counted.
    QElapsedTimer rhythm;
    rhythm.start();
    double due = 0;
    for (; typed < keyCount; ++typed) {
        const double waited = std::max(0.0, rhythm.nsecsElapsed() / 1e6 - due);
        keys.append(waited + window.press(Qt::Key_X, QStringLiteral("x")));
        due = rhythm.nsecsElapsed() / 1e6 + gapMs;
        settle(gapMs);
        if (typed % 100 == 99) {
            settle(1000);
            due = rhythm.nsecsElapsed() / 1e6;
            if (residentMegabytes() > residentCapMegabytes) {
                ++typed;
                break;
            }
        }
    }
    const double cpuPerKey = (cpuMilliseconds() - cpuBefore) / std::max(1, typed);
    const double serverCpuPerKey =
        (childrenCpuMilliseconds() - serverCpuBefore) / std::max(1, typed);
    // A few hundred bytes when the servers take ranged changes; the whole
    // text for every change sent otherwise. Besides, what a server reads of
    // its own once: its code, and the JavaScript server's libraries and
    // typings (its installer runs npm shortly after the first change).
    const QHash<QString, double> serverReadAfter = childrenReadBytesByName();
    double serverRead = 0;
    QString readers;
    for (auto it = serverReadAfter.cbegin(); it != serverReadAfter.cend(); ++it) {
        const double bytes = it.value() - serverReadBefore.value(it.key());
        serverRead += bytes;
        readers +=
            QStringLiteral(" %1 %2").arg(it.key()).arg(bytes / std::max(1, typed), 0, 'f', 0);
    }
    const double serverBytesPerKey = serverRead / std::max(1, typed);
    settle(2000);
    const double rssTyped = residentMegabytes();
    const double heapTyped = heapMegabytes();
    const double serversTyped = childrenResidentMegabytes();

    QList<double> carets;
    for (int i = 0; i < 200; ++i) {
        carets.append(window.press(i % 40 < 20 ? Qt::Key_Right : Qt::Key_Left, QString()));
        settle(10);
    }

    std::printf(
        "%-9s | %6.2f MB | %5lld diagnostics | loaded %7.0f ms | key p50 %7.2f p95 %7.2f ms "
        "| caret p50 %7.2f p95 %7.2f ms | RSS start %6.0f open %6.0f after %d keys %6.0f MB (%+.1f "
        "%%) | heap "
        "%5.2f MB per MB, in use open %4.0f typed %4.0f MB | CPU %6.2f ms per key, servers %6.2f "
        "| servers RSS open %4.0f typed %4.0f MB, read %7.0f bytes per key\n",
        label, megabytes, static_cast<long long>(diagnostics), loadedMs, percentile(keys, 0.5),
        percentile(keys, 0.95), percentile(carets, 0.5), percentile(carets, 0.95), rssStart,
        rssOpen, typed, rssTyped, (rssTyped - rssOpen) / rssOpen * 100.0,
        (heapOpen - heapStart) / megabytes, heapOpen, heapTyped, cpuPerKey, serverCpuPerKey,
        serversOpen, serversTyped, serverBytesPerKey);
    std::printf("          | servers read per key:%s\n", qPrintable(readers));
    std::fflush(stdout);
    if (paste)
        pasteUndoRedo(edit);

    // Released with its edits: nothing asks about them.
    delete window.view;
    settle(500);
    return {percentile(keys, 0.5), percentile(keys, 0.95), percentile(carets, 0.5)};
}

// Peak and current resident memory of the process; the peak starts again
// from now on after resetPeak().
double statusMegabytes(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(qsizetype(qstrlen(field))).trimmed().split(' ').first().toDouble() /
                   1024.0;
    }
    return 0;
}

void resetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

// Watches every editor viewport for its first paint with text (a long
// file's start may stand in for its editor), the first of the editor that
// takes keys, and the first with the lines on screen coloured.
class OpenWatch : public QObject
{
public:
    QElapsedTimer clock;
    double textMs = -1;
    double editableMs = -1;
    double colouredMs = -1;
    // Paints count as coloured only with this line or one below it on top.
    int fromLine = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::Paint || colouredMs >= 0)
            return false;
        auto *edit = qobject_cast<NBECodeTextEdit *>(watched->parent());
        if (!edit || edit->viewport() != watched || edit->document()->characterCount() < 2)
            return false;
        if (textMs < 0)
            textMs = clock.nsecsElapsed() / 1e6;
        if (editableMs < 0 && !edit->isReadOnly())
            editableMs = clock.nsecsElapsed() / 1e6;
        QTextBlock block = edit->firstVisibleTextBlock();
        if (block.blockNumber() < fromLine)
            return false;
        for (int i = 0; i < 40 && block.isValid(); ++i, block = block.next())
            if (!block.layout()->formats().isEmpty()) {
                colouredMs = clock.nsecsElapsed() / 1e6;
                break;
            }
        return false;
    }
};

// Writes `text` at `path` in the window's folder and opens the window on
// the folder, settled; the file is not open yet.
NBEWorkspaceViewModel *openOnFile(Window &window, const QString &path, const QString &text)
{
    {
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(text.toUtf8());
    }
    window.view = openProjectWindow(window.folder.path());
    settle(500);
    return window.view->viewModel();
}

// From the open command to the first screen of text and to the first
// coloured screen, the process's peak memory on the way and its memory once
// the open has settled.
void openTimes(const char *label, const QString &fileName, const QString &text)
{
    if (text.isEmpty()) {
        std::printf("%-9s | corpus not installed\n", label);
        return;
    }
    Window window;
    const QString path = window.folder.filePath(fileName);
    NBEWorkspaceViewModel *model = openOnFile(window, path, text);
    malloc_trim(0);
    const double rssBefore = statusMegabytes("VmRSS:");
    OpenWatch watch;
    qApp->installEventFilter(&watch);
    // The longest the event loop was held: a timer due every 5 ms that came
    // late by that much.
    QTimer beat;
    beat.setTimerType(Qt::PreciseTimer);
    beat.setInterval(5);
    QElapsedTimer sinceBeat;
    double stallMs = 0;
    QObject::connect(&beat, &QTimer::timeout, [&] {
        stallMs = std::max(stallMs, sinceBeat.nsecsElapsed() / 1e6 - 5);
        sinceBeat.start();
    });
    resetPeak();
    watch.clock.start();
    sinceBeat.start();
    beat.start();
    model->navigation().openFile(QUrl::fromLocalFile(path), false);
    waitFor([&] { return watch.colouredMs >= 0; }, 60000);
    const double loadedMs = watch.clock.nsecsElapsed() / 1e6;
    settle(5000);
    beat.stop();
    qApp->removeEventFilter(&watch);
    const double peak = statusMegabytes("VmHWM:");
    const double steady = statusMegabytes("VmRSS:");
    std::printf("%-9s | %6.2f MB | first text %7.0f ms | editable %7.0f ms | coloured %7.0f ms | "
                "RSS before %5.0f peak %5.0f settled %5.0f MB, peak/settled %.2fx, above before "
                "%.2fx | longest stall %5.0f ms\n",
                label, double(QFileInfo(path).size()) / (1024.0 * 1024.0), watch.textMs,
                watch.editableMs, watch.colouredMs, rssBefore, peak, steady, peak / steady,
                (peak - rssBefore) / std::max(1.0, steady - rssBefore), stallMs);
    std::fflush(stdout);
    Q_UNUSED(loadedMs);
    delete window.view;
    settle(500);
}

// From the open command, with its line revealed when `line` is past the
// first, to the first paint of the lines there coloured; and caret keys
// during the first three seconds after the text takes keys (while its
// colours are worked out), key press to paint.
void openScreen(const char *label, const QString &fileName, const QString &text, int line)
{
    Window window;
    const QString path = window.folder.filePath(fileName);
    NBEWorkspaceViewModel *model = openOnFile(window, path, text);
    OpenWatch watch;
    watch.fromLine = std::max(0, line - 100);
    qApp->installEventFilter(&watch);
    watch.clock.start();
    if (line > 1)
        model->navigation().revealLine(QUrl::fromLocalFile(path), line);
    else
        model->navigation().openFile(QUrl::fromLocalFile(path), false);
    waitFor([&] {
        NBECodeTextEdit *edit = window.editor();
        return edit && !edit->isReadOnly() && edit->document()->characterCount() >= text.size();
    });
    NBECodeTextEdit *edit = window.editor();
    edit->viewport()->installEventFilter(&window.counter);
    QList<double> keys;
    QElapsedTimer during;
    during.start();
    for (int i = 0; during.elapsed() < 3000; ++i) {
        keys.append(window.press(i % 2 ? Qt::Key_Left : Qt::Key_Right, QString()));
        settle(40);
    }
    waitFor([&] { return watch.colouredMs >= 0; }, 120000);
    qApp->removeEventFilter(&watch);
    std::printf("%-9s | %6.2f MB | line %6d | editable %7.0f ms | screen coloured %7.0f ms | "
                "caret keys in the first 3 s: %3lld, p50 %6.2f p95 %6.2f max %6.2f ms\n",
                label, double(QFileInfo(path).size()) / (1024.0 * 1024.0), line, watch.editableMs,
                watch.colouredMs, static_cast<long long>(keys.size()), percentile(keys, 0.5),
                percentile(keys, 0.95), *std::max_element(keys.cbegin(), keys.cend()));
    std::fflush(stdout);
    delete window.view;
    settle(500);
}

// Opens a page in one window and closes its tab, five times: what stays
// after the first closing should stay the same.
void openAndClose(const QString &text)
{
    if (text.isEmpty()) {
        std::printf("open/close | corpus not installed\n");
        return;
    }
    Window window;
    const QString path = window.folder.filePath(QStringLiteral("page.html"));
    {
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(text.toUtf8());
    }
    window.view = openProjectWindow(window.folder.path());
    NBEWorkspaceViewModel *model = window.view->viewModel();
    QList<double> closed, heap;
    for (int round = 0; round < 5; ++round) {
        model->navigation().openFile(QUrl::fromLocalFile(path), false);
        waitFor([&] {
            NBECodeTextEdit *edit = window.editor();
            return edit && !edit->isReadOnly() && edit->document()->characterCount() >= text.size();
        });
        settle(3000);
        const auto tab = model->tabs().activeTab();
        if (tab)
            model->tabs().closeTab(tab->id);
        settle(2000);
        closed.append(residentMegabytes());
        heap.append(heapMegabytes());
    }
    // RSS growing while the heap in use stays is memory the allocator keeps;
    // a growing heap is the program's own.
    std::printf("open/close 5x %.1f MB: RSS after each closing", double(text.size()) / 1e6);
    for (double rss : closed)
        std::printf(" %.0f", rss);
    std::printf(" MB (last %+.1f %% of first), heap in use",
                (closed.last() - closed.first()) / closed.first() * 100);
    for (double used : heap)
        std::printf(" %.0f", used);
    std::printf(" MB\n");
    std::fflush(stdout);
    delete window.view;
    settle(500);
}

} // namespace

int main(int argc, char **argv)
{
    // As the application starts.
    NBEMemory::configureAllocator();
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    if (!NBEWebLSPServers::launch(QStringLiteral("html"))) {
        std::fprintf(stderr, "No HTML language server in Vendor/web-lsp.\n");
        return 1;
    }
    // Arguments: which case (1MiB, 10MB, real1MiB, real10MB, squiggles, js,
    // minified, minified150, bundle150, bundleatonce, minifiedopen, pastewhole, open10MB,
    // openscreen, huge, openclose, css; all when absent) and how many keys.
    const QString only = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    const int keys = argc > 2 ? std::max(1, atoi(argv[2])) : 1000;
    const auto wanted = [&](const char *name) {
        return only.isEmpty() || only == QLatin1String(name);
    };
    const QString html = QStringLiteral("index.html");
    if (wanted("1MiB"))
        run("1 MiB", html, generatedHTML(1024 * 1024), keys);
    if (wanted("10MB"))
        run("10 MB", html, generatedHTML(10 * 1000 * 1000), keys);
    if (wanted("real1MiB"))
        run("real 1MiB", html, NBERealCorpus::html(1024 * 1024), keys);
    if (wanted("real10MB"))
        run("real 10MB", html, NBERealCorpus::html(10 * 1000 * 1000), keys);
    if (wanted("squiggles")) {
        // The same bytes with the server's diagnostics and as plain text, in
        // one run: what the squiggles cost a key and a caret move.
        const QString page = withProblems(NBERealCorpus::html(10 * 1000 * 1000));
        const Figures html = run("real 10MB", QStringLiteral("page.html"), page, keys);
        const Figures plain = run("as .txt", QStringLiteral("page.txt"), page, keys);
        if (plain.keyP50 > 0)
            std::printf("squiggles | html/txt key p50 %.2fx p95 %.2fx, caret p50 %.2fx\n",
                        html.keyP50 / plain.keyP50, html.keyP95 / plain.keyP95,
                        html.caretP50 / plain.caretP50);
    }
    if (wanted("js"))
        run("real JS", QStringLiteral("typescript.js"), NBERealCorpus::javascript(), keys);
    if (wanted("minified"))
        run("minified", QStringLiteral("bundle.min.js"),
            NBERealCorpus::minifiedJavaScript(8 * 1000 * 1000), keys);
    // Keys a second apart (each after its pause's work is done) are the
    // anchor for keys that come just as the pause starts.
    const auto atRhythm = [&](const char *apartLabel, const char *label, const QString &bundle) {
        const Figures apart =
            run(apartLabel, QStringLiteral("bundle.min.js"), bundle, std::min(keys, 30), 1000);
        const Figures rhythm =
            run(label, QStringLiteral("bundle.min.js"), bundle, std::min(keys, 300), 150, true);
        if (apart.keyP50 > 0)
            std::printf("%-9s | /1s key p50 %.2fx p95 %.2fx\n", label, rhythm.keyP50 / apart.keyP50,
                        rhythm.keyP95 / apart.keyP95);
    };
    if (wanted("minified150"))
        atRhythm("min 1s", "min 150ms", NBERealCorpus::minifiedJavaScript(8 * 1000 * 1000));
    if (wanted("bundle150"))
        atRhythm("bundle 1s", "bundle 150", NBERealCorpus::minifiedBundle(8 * 1000 * 1000));
    if (wanted("bundleatonce"))
        run("at once", QStringLiteral("bundle.min.js"),
            NBERealCorpus::minifiedBundle(8 * 1000 * 1000), std::min(keys, 30), 150, false, true);
    if (wanted("minifiedopen"))
        openTimes("min open", QStringLiteral("bundle.min.js"),
                  NBERealCorpus::minifiedJavaScript(8 * 1000 * 1000));
    if (wanted("pastewhole")) {
        // A paste of a long line into a text shown whole until then.
        QString script;
        for (int i = 0; i < 400; ++i)
            script += QStringLiteral("let value%1 = compute(%1);\n").arg(i);
        run("paste whole", QStringLiteral("app.js"), script, 20, typistGapMs, true);
    }
    if (wanted("open10MB")) {
        // A real page as it is, and with an inline drawing of 24,129
        // characters on one line after its first.
        QString page = NBERealCorpus::html(10 * 1000 * 1000);
        openTimes("real 10MB", html, page);
        QString drawing = QStringLiteral("<svg viewBox=\"0 0 9 9\"><path d=\"M0 0");
        while (drawing.size() < 24'129 - 16)
            drawing += QStringLiteral(" L%1 %2").arg(drawing.size() % 97).arg(drawing.size() % 89);
        drawing += QStringLiteral("\"/></svg>");
        page.insert(page.indexOf(u'\n') + 1, drawing.leftJustified(24'129, u' ') + u'\n');
        openTimes("long line", html, page);
    }
    if (wanted("huge")) {
        const QString page = NBERealCorpus::html(66 * 1000 * 1000);
        openTimes("real 66MB", html, page);
        const Figures apart = run("66MB 1s", html, page, std::min(keys, 20), 1000);
        const Figures rhythm = run("66MB 150ms", html, page, std::min(keys, 60), 150);
        if (apart.keyP50 > 0)
            std::printf("66MB 150ms | /1s key p50 %.2fx p95 %.2fx\n", rhythm.keyP50 / apart.keyP50,
                        rhythm.keyP95 / apart.keyP95);
    }
    if (wanted("openscreen")) {
        // A real page of 2.9 MB and of 10 MB opened at its start and at a
        // line two thirds down (a reveal, as a restored place or a search
        // result opens it).
        for (const qsizetype size : {qsizetype(2'900'000), qsizetype(10'000'000)}) {
            const QString page = NBERealCorpus::html(size);
            if (page.isEmpty()) {
                std::printf("openscreen | corpus not installed\n");
                break;
            }
            const int lines = int(page.count(u'\n'));
            const QByteArray label = QByteArray::number(double(size) / 1e6, 'f', 1) + " MB";
            openScreen(label.constData(), html, page, 1);
            openScreen(label.constData(), html, page, lines * 2 / 3);
        }
    }
    if (wanted("css"))
        run("colours", QStringLiteral("site.css"), generatedCSS(), keys);
    if (wanted("openclose"))
        openAndClose(NBERealCorpus::html(5 * 1000 * 1000));
    return 0;
}
