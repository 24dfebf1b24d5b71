// Completion in a real project window (NBEMainView with its view model) on
// a 1 MiB HTML file served by the real HTML language server: the keystroke
// time (key press to the editor's repaint) while completion is active,
// against the same file opened as plain text, and the time from a key to the
// completion panel painted with the server's answer; blanks typed at the same
// place show what the tab costs without completion. Run under a display
// (xvfb-run); prints p50 and p95 in milliseconds.
#include "NBEBenchWindow.h"
#include "NBECodeTextEdit.h"
#include "NBECompletionController.h"
#include "NBEMainView.h"
#include "NBESourceEditor.h"
#include "NBETextEditorCoordinator.h"
#include "NBETextEditorView.h"
#include "NBEWebLSPServers.h"
#include "NBEWorkspaceViewModel.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QListView>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

using namespace NBEBenchWindow;

namespace {

struct Window
{
    QTemporaryDir folder;
    NBEMainView *view = nullptr;
    PaintCounter editorPaints;
    // The key's own handling, before the event loop runs again.
    QList<double> handlingTimes;
    // Keys during which the server's answer came in, and those without.
    QList<double> withAnswer, withoutAnswer;
    int answers = 0;
    int caret = 0;

    NBESourceEditor *source() const { return view->sourceEditor(); }
    NBECodeTextEdit *editor() const { return source() ? source()->editor()->textView() : nullptr; }
    NBECompletionController *completion() const
    {
        return source() ? source()->editor()->coordinator()->completion() : nullptr;
    }

    // Opens (or shows again) a file of the folder and puts the caret after
    // the "<a " in its middle.
    void show(const QString &name, qsizetype length)
    {
        const QUrl url = QUrl::fromLocalFile(folder.filePath(name));
        view->viewModel()->navigation().openFile(url, false);
        waitFor([&] {
            NBECodeTextEdit *edit = editor();
            return edit && !edit->isReadOnly() && edit->document()->characterCount() > length &&
                   view->viewModel()->tabs().activeTab()->sourceFile.url == url;
        });
        settle(1500);
        NBECodeTextEdit *edit = editor();
        editorPaints.watch(edit->viewport());
        edit->setFocus();
        QTextCursor cursor = edit->textCursor();
        cursor.setPosition(caret);
        edit->setTextCursor(cursor);
        edit->centerCursor();
        settle(500);
    }

    void send(Qt::Key key, const QString &text)
    {
        QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier, text);
        QKeyEvent up(QEvent::KeyRelease, key, Qt::NoModifier, text);
        QCoreApplication::sendEvent(editor(), &down);
        QCoreApplication::sendEvent(editor(), &up);
    }

    // One key, then the event loop until the editor has painted it.
    double press(Qt::Key key, const QString &text)
    {
        const int before = editorPaints.paints;
        QElapsedTimer timer;
        timer.start();
        send(key, text);
        handlingTimes.append(timer.nsecsElapsed() / 1e6);
        const int answered = answers;
        for (int round = 0; round < 50 && editorPaints.paints == before; ++round)
            QCoreApplication::processEvents();
        const double ms = timer.nsecsElapsed() / 1e6;
        (answers != answered ? withAnswer : withoutAnswer).append(ms);
        return ms;
    }
};

// A word typed after "<a " and taken back, at a fast typist's pace. For
// "href" the first letter asks the server, the next ones narrow its list and
// the last Backspace closes the panel; blanks open nothing, so they measure
// the tab without completion.
QList<double> typingTimes(Window &window, int rounds, const QString &word)
{
    QList<double> samples;
    for (int round = 0; round < rounds; ++round) {
        for (const QChar c : word) {
            samples.append(window.press(Qt::Key(c.toUpper().unicode()), QString(c)));
            settle(25);
        }
        for (qsizetype i = 0; i < word.size(); ++i) {
            samples.append(window.press(Qt::Key_Backspace, QStringLiteral("\b")));
            settle(25);
        }
    }
    return samples;
}

// Counts paints of any completion panel's rows; the panel is made on its
// first show, so its first paint may come before anyone could watch it.
class PanelPaints : public QObject
{
public:
    int paints = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && watched->parent() &&
            qobject_cast<NBECompletionList *>(watched->parent()->parent()))
            ++paints;
        return false;
    }
};

// A letter that asks the server, to the panel painted with its answer; a
// Backspace then closes the panel again.
QList<double> panelTimes(Window &window, int count)
{
    QList<double> samples;
    NBECompletionController *completion = window.completion();
    bool answered = false;
    const auto connection =
        QObject::connect(completion, &NBECompletionController::completionAnswered,
                         [&](bool used) { answered = answered || used; });
    PanelPaints painted;
    qApp->installEventFilter(&painted);
    for (int i = 0; i < count; ++i) {
        answered = false;
        QElapsedTimer timer;
        timer.start();
        window.send(Qt::Key_H, QStringLiteral("h"));
        waitFor([&] { return answered; }, 30000);
        if (completion->isVisible()) {
            waitFor([&] { return painted.paints > 0; }, 30000);
            samples.append(timer.nsecsElapsed() / 1e6);
        }
        window.press(Qt::Key_Backspace, QStringLiteral("\b"));
        settle(50);
        painted.paints = 0;
    }
    qApp->removeEventFilter(&painted);
    QObject::disconnect(connection);
    return samples;
}

} // namespace

int main(int argc, char **argv)
{
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    if (!NBEWebLSPServers::launch(QStringLiteral("html"))) {
        std::fprintf(stderr, "No HTML language server in Vendor/web-lsp.\n");
        return 1;
    }
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 50;

    Window window;
    QString text = generatedHTML(1024 * 1024);
    const qsizetype middle = text.indexOf(u'\n', text.size() / 2) + 1;
    text.insert(middle, QStringLiteral("<a \n"));
    window.caret = int(middle) + 3;
    for (const char *name : {"big.html", "big.txt"}) {
        QFile file(window.folder.filePath(QString::fromLatin1(name)));
        file.open(QIODevice::WriteOnly);
        file.write(text.toUtf8());
    }
    window.view = openProjectWindow(window.folder.path());

    window.show(QStringLiteral("big.txt"), text.size());
    const QString word = QStringLiteral("href");
    const QString blanks = QStringLiteral("    ");
    const QList<double> plain = typingTimes(window, rounds, word);
    const QList<double> plainHandling = std::exchange(window.handlingTimes, {});
    const QList<double> plainBlanks = typingTimes(window, rounds, blanks);

    // Open means the server has answered with its first diagnostics, so it
    // has the whole text.
    NBEWorkspaceViewModel *model = window.view->viewModel();
    const QString htmlPath = QDir::cleanPath(window.folder.filePath(QStringLiteral("big.html")));
    window.show(QStringLiteral("big.html"), text.size());
    waitFor([&] { return model->diagnosticsStore().all().contains(htmlPath); }, 120000);
    settle(1000);
    std::fprintf(stderr, "typing into the HTML tab (pid %lld)\n", qlonglong(getpid()));
    QObject::connect(window.completion(), &NBECompletionController::completionAnswered,
                     [&] { ++window.answers; });
    window.withAnswer.clear();
    window.withoutAnswer.clear();
    const QList<double> html = typingTimes(window, rounds, word);
    const QList<double> withAnswer = std::exchange(window.withAnswer, {});
    const QList<double> withoutAnswer = std::exchange(window.withoutAnswer, {});
    const QList<double> htmlHandling = std::exchange(window.handlingTimes, {});
    const QList<double> htmlBlanks = typingTimes(window, rounds, blanks);
    const QList<double> panel = panelTimes(window, rounds * 2);

    std::printf("keystroke plain text   p50 %7.2f p95 %7.2f ms\n", percentile(plain, 0.5),
                percentile(plain, 0.95));
    std::printf("keystroke completion   p50 %7.2f p95 %7.2f ms   ratio p50 %.2f p95 %.2f\n",
                percentile(html, 0.5), percentile(html, 0.95),
                percentile(html, 0.5) / percentile(plain, 0.5),
                percentile(html, 0.95) / percentile(plain, 0.95));
    std::printf("  keys an answer came in p50 %7.2f p95 %7.2f ms (%lld), others p50 %7.2f p95 "
                "%7.2f ms (%lld)\n",
                percentile(withAnswer, 0.5), percentile(withAnswer, 0.95),
                qlonglong(withAnswer.size()), percentile(withoutAnswer, 0.5),
                percentile(withoutAnswer, 0.95), qlonglong(withoutAnswer.size()));
    // Each key of the word and of its taking back on its own: which ones the
    // panel's coming, narrowing and widening make slow.
    const qsizetype perWord = 2 * word.size();
    for (qsizetype k = 0; k < perWord; ++k) {
        QList<double> at;
        for (qsizetype i = k; i < html.size(); i += perWord)
            at.append(html[i]);
        const QString key = k < word.size()
                                ? QString(word[k])
                                : QStringLiteral("Backspace %1").arg(k - word.size() + 1);
        std::printf("  %-11s p50 %7.2f p95 %7.2f ms\n", qPrintable(key), percentile(at, 0.5),
                    percentile(at, 0.95));
    }
    std::printf("blanks plain text      p50 %7.2f p95 %7.2f ms\n", percentile(plainBlanks, 0.5),
                percentile(plainBlanks, 0.95));
    std::printf("blanks HTML            p50 %7.2f p95 %7.2f ms   ratio p50 %.2f p95 %.2f\n",
                percentile(htmlBlanks, 0.5), percentile(htmlBlanks, 0.95),
                percentile(htmlBlanks, 0.5) / percentile(plainBlanks, 0.5),
                percentile(htmlBlanks, 0.95) / percentile(plainBlanks, 0.95));
    std::printf("key handling plain     p50 %7.2f p95 %7.2f ms\n", percentile(plainHandling, 0.5),
                percentile(plainHandling, 0.95));
    std::printf("key handling HTML      p50 %7.2f p95 %7.2f ms\n", percentile(htmlHandling, 0.5),
                percentile(htmlHandling, 0.95));
    std::printf("key to server panel    p50 %7.2f p95 %7.2f ms   (%lld samples)\n",
                percentile(panel, 0.5), percentile(panel, 0.95), qlonglong(panel.size()));
    std::fflush(stdout);
    delete window.view;
    settle(500);
    return 0;
}
