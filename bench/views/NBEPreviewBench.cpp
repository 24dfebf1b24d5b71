// The previews under a display. HTML: keys typed into the project window's
// editor in the middle of a 1 MiB page, from the last key to the changed
// page on screen at the reader's place (the update waits for the typing
// pause first), with no empty page or page top on screen in between. Markdown: building the
// rendered document of a 1 MB text, beside the time the parser alone takes for it, and to the first
// painted screen; and a letter typed into that text, to the updated preview painted.
#include "../support/NBEBenchSupport.h"
#include "NBECodeTextEdit.h"
#include "NBEDefaultThemes.h"
#include "NBEHTMLPreview.h"
#include "NBEHTMLSplitView.h"
#include "NBEMainView.h"
#include "NBEMarkdownParser.h"
#include "NBEMarkdownPreview.h"
#include "NBEMarkdownPreviewDocument.h"
#include "NBEPreviewSchemeHandler.h"
#include "NBESourceEditor.h"
#include "NBETextEditorView.h"
#include "NBEWorkspaceViewModel.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFontDatabase>
#include <QImage>
#include <QKeyEvent>
#include <QRegularExpression>
#include <QScreen>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <optional>

namespace {

using NBEBench::percentile;

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values[values.size() / 2];
}

bool waitUntil(const std::function<bool()> &done, int timeoutMs = 30000)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
    }
    return true;
}

// Like waitUntil, and the longest the event loop was held up meanwhile:
// what a reader feels as a stall.
double longestStallUntil(const std::function<bool()> &done)
{
    double longest = 0;
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < 30000) {
        QElapsedTimer turn;
        turn.start();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
        longest = std::max(longest, double(turn.nsecsElapsed()) / 1e6);
    }
    return longest;
}

// Runs the event loop for `ms` without spinning.
void settle(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// A page of cards about 1 MiB long: a red banner at its top, and in its
// middle a tall striped box whose colour the typing changes ("#0000f" and
// a digit). A page with a script of its own is loaded anew on each change
// instead of being patched; one with noscripts (in its head, and one every
// few cards, as real pages have them) is patched.
enum class PageKind { plain, scripted, noscripts };

QString typedPage(PageKind kind)
{
    QString html =
        QStringLiteral("<!DOCTYPE html>\n<html><head><style>\n"
                       ".card { border: 1px solid #ccc; margin: 8px; padding: 8px }\n"
                       "</style>%1</head><body>\n"
                       "<div style=\"height: 400px; background: rgb(255, 0, 0)\"></div>\n")
            .arg(kind == PageKind::scripted ? QStringLiteral("<script>var ready = true;</script>")
                 : kind == PageKind::noscripts
                     ? QStringLiteral("<noscript><style>.card { color: red }</style></noscript>")
                     : QString());
    const QString aside = QStringLiteral("<noscript><img src=\"pixel.gif\"></noscript>\n");
    const QString card = QStringLiteral("<section class=\"card\"><h2>Heading %1</h2><p>Some "
                                        "<strong>bold</strong> text and a <a href=\"#%1\">link</a> "
                                        "with words to fill the line.</p></section>\n");
    // Cards of one length, so that a line's place in the text is its place on
    // the page, as the scroll link assumes.
    for (int i = 0; html.size() < 512 * 1024; ++i) {
        html += card.arg(i, 6, 10, QLatin1Char('0'));
        if (kind == PageKind::noscripts && i % 100 == 0)
            html += aside;
    }
    html +=
        QStringLiteral("<div id=\"probe\" style=\"height: 12000px; background: "
                       "repeating-linear-gradient(#0000f0 0 20px, #000000 20px 40px)\"></div>\n");
    for (int i = 0; html.size() < 1024 * 1024; ++i) {
        html += card.arg(i + 500000, 6, 10, QLatin1Char('0'));
        if (kind == PageKind::noscripts && i % 100 == 0)
            html += aside;
    }
    return html + QStringLiteral("</body></html>\n");
}

// A column down the middle of the widget as the screen shows it: enough to
// tell an empty page, the page's top or the probe's colour, and cheap to
// take, so that watching every frame leaves the event loop free to feed the
// page.
QImage onScreen(QWidget *widget)
{
    constexpr int column = 64;
    const QPoint at = widget->mapToGlobal(QPoint((widget->width() - column) / 2, 0));
    return widget->screen()
        ->grabWindow(0, at.x(), at.y(), std::min(column, widget->width()), widget->height())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}

// What one screen of the page shows: the colours of the probe's stripes, the
// banner at the page's top, or one flat area.
struct Frame
{
    QSet<QRgb> colours;
    bool has(const QColor &color) const { return colours.contains(color.rgb()); }
    bool flat() const { return colours.size() < 2; }
};

Frame frameOf(const QImage &image)
{
    Frame frame;
    for (int y = 0; y < image.height(); y += 4) {
        for (int x = 0; x < image.width(); x += 4)
            frame.colours.insert(image.pixel(x, y) | 0xff000000u);
    }
    return frame;
}

void press(QWidget *target, Qt::Key key, const QString &text)
{
    QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier, text);
    QKeyEvent up(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QCoreApplication::sendEvent(target, &down);
    QCoreApplication::sendEvent(target, &up);
}

// The project window on a 1 MiB page with its preview on, the caret in the
// middle of the page: keys typed into the editor change the colour of the
// box the reader looks at. Measured from the last key to the screen showing
// the new colour at the reader's place, watching every frame in between for
// an empty page or the page's top.
void BM_HTMLTypingInWindow1MiB(benchmark::State &state)
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("index.html"));
    const QString text = typedPage(PageKind(state.range(0)));
    {
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(text.toUtf8());
    }
    NBEMainView view(QUrl::fromLocalFile(folder.path()));
    view.resize(1200, 800);
    view.show();
    bool started = false;
    QObject::connect(&view, &NBEMainView::started, [&] { started = true; });
    view.start();
    waitUntil([&] { return started; });
    NBEWorkspaceViewModel *model = view.viewModel();
    model->navigation().openFile(QUrl::fromLocalFile(path), false);
    waitUntil([&] { return view.sourceEditor() != nullptr; });
    model->toggleActivePreview();
    if (!waitUntil([&] { return view.htmlSplitView() != nullptr; })) {
        state.SkipWithError("no preview");
        return;
    }
    NBEHTMLPreview *preview = view.htmlSplitView()->preview();
    NBECodeTextEdit *editor = view.htmlSplitView()->sourceEditor()->editor()->textView();
    const QColor banner(255, 0, 0);
    if (!waitUntil([&] { return !frameOf(onScreen(preview)).flat(); })) {
        state.SkipWithError("the page never showed");
        return;
    }
    // The caret goes to the probe's colour; the page follows the editor.
    const int digit = int(text.indexOf(QStringLiteral("#0000f0")) + 7);
    editor->setFocus();
    QTextCursor cursor = editor->textCursor();
    cursor.setPosition(digit);
    editor->setTextCursor(cursor);
    editor->centerCursor();
    const auto probeShows = [&](int value) {
        return frameOf(onScreen(preview)).has(QColor(0, 0, 0xf0 + value));
    };
    if (!waitUntil([&] { return probeShows(0); }, 10000)) {
        state.SkipWithError("the probe is not where the editor is");
        return;
    }
    settle(1000);

    QList<double> painted, answered, engineLoaded;
    int blank = 0, top = 0, value = 0;
    // When the preview has the change in its page: what lies between that and
    // the picture is the engine's drawing.
    QElapsedTimer clock;
    std::optional<double> answeredAt;
    QObject::connect(preview, &NBEHTMLPreview::pageLoaded,
                     [&] { answeredAt = double(clock.nsecsElapsed()) / 1e6; });
    // A page loaded anew: when the engine has it whole, before the preview
    // puts it in place and shows it.
    std::optional<double> loadedAt;
    for (QWebEngineView *view : preview->findChildren<QWebEngineView *>())
        QObject::connect(view->page(), &QWebEnginePage::loadFinished, [&] {
            if (!loadedAt)
                loadedAt = double(clock.nsecsElapsed()) / 1e6;
        });
    // The anchor: the engine on its own, a bare view of the preview's size
    // over it, loading the same page at the same place (the engine's own
    // jump to the box) and timed the same way, from the load to the new
    // colour on screen. It is raised only for its own rounds.
    QWebEngineView anchor;
    anchor.setPage(new QWebEnginePage(NBEPreviewSchemeHandler::profile(), &anchor));
    anchor.setAttribute(Qt::WA_ShowWithoutActivating);
    anchor.setGeometry(QRect(preview->mapToGlobal(QPoint(0, 0)), preview->size()));
    const QString anchorHost = NBEPreviewSchemeHandler::shared()->newHost();
    int anchorLoads = 0;
    const auto anchorLoad = [&] {
        QUrl url = NBEPreviewSchemeHandler::shared()->publish(
            anchorHost, QUrl::fromLocalFile(folder.path()), editor->toPlainText(),
            QUrl::fromLocalFile(folder.path()));
        url.setQuery(QStringLiteral("nbe=%1").arg(++anchorLoads));
        url.setFragment(QStringLiteral("probe"));
        anchor.page()->load(url);
    };
    anchor.show();
    anchorLoad();
    if (!waitUntil([&] { return frameOf(onScreen(&anchor)).has(QColor(0, 0, 0xf0 + value)); })) {
        state.SkipWithError("the anchor never showed the page");
        return;
    }
    anchor.lower();
    settle(500);
    QList<double> anchorPainted, anchorLoaded;

    for (auto _ : state) {
        for (int round = 0; round < 15; ++round) {
            value = (value + 1) % 10;
            press(editor, Qt::Key_Backspace, QString());
            settle(30);
            press(editor, Qt::Key(Qt::Key_0 + value), QString::number(value));
            clock.start();
            answeredAt.reset();
            loadedAt.reset();
            bool seen = false;
            while (!seen && clock.elapsed() < 10000) {
                QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
                const Frame frame = frameOf(onScreen(preview));
                blank += frame.flat();
                top += frame.has(banner);
                seen = frame.has(QColor(0, 0, 0xf0 + value));
            }
            if (!seen) {
                state.SkipWithError("a change never showed");
                return;
            }
            painted.append(double(clock.nsecsElapsed()) / 1e6);
            settle(300);
            answered.append(answeredAt.value_or(painted.last()));
            if (loadedAt)
                engineLoaded.append(*loadedAt);

            anchor.raise();
            settle(300);
            bool anchorFinished = false;
            const QMetaObject::Connection finished =
                QObject::connect(anchor.page(), &QWebEnginePage::loadFinished, [&] {
                    if (!std::exchange(anchorFinished, true))
                        anchorLoaded.append(double(clock.nsecsElapsed()) / 1e6);
                });
            clock.start();
            anchorLoad();
            seen = false;
            while (!seen && clock.elapsed() < 10000) {
                QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
                seen = frameOf(onScreen(&anchor)).has(QColor(0, 0, 0xf0 + value));
            }
            if (!seen) {
                state.SkipWithError("the anchor never showed a change");
                return;
            }
            anchorPainted.append(double(clock.nsecsElapsed()) / 1e6);
            waitUntil([&] { return anchorFinished; });
            QObject::disconnect(finished);
            anchor.lower();
            settle(300);
        }
    }
    state.counters["painted_p50_ms"] = percentile(painted, 0.5);
    state.counters["painted_p95_ms"] = percentile(painted, 0.95);
    state.counters["after_pause_p50_ms"] = percentile(painted, 0.5) - NBEHTMLPreview::reloadDelayMs;
    state.counters["after_pause_p95_ms"] =
        percentile(painted, 0.95) - NBEHTMLPreview::reloadDelayMs;
    state.counters["in_page_after_pause_p50_ms"] =
        percentile(answered, 0.5) - NBEHTMLPreview::reloadDelayMs;
    state.counters["in_page_after_pause_p95_ms"] =
        percentile(answered, 0.95) - NBEHTMLPreview::reloadDelayMs;
    if (!engineLoaded.isEmpty()) {
        state.counters["engine_loaded_after_pause_p50_ms"] =
            percentile(engineLoaded, 0.5) - NBEHTMLPreview::reloadDelayMs;
        state.counters["engine_loaded_after_pause_p95_ms"] =
            percentile(engineLoaded, 0.95) - NBEHTMLPreview::reloadDelayMs;
    }
    // The engine's own load of the same page to the same place on screen,
    // and the preview's time from the pause to its picture over it.
    state.counters["anchor_painted_p50_ms"] = percentile(anchorPainted, 0.5);
    state.counters["anchor_painted_p95_ms"] = percentile(anchorPainted, 0.95);
    state.counters["anchor_loaded_p50_ms"] = percentile(anchorLoaded, 0.5);
    state.counters["after_pause_over_anchor_p50"] =
        (percentile(painted, 0.5) - NBEHTMLPreview::reloadDelayMs) / percentile(anchorPainted, 0.5);
    state.counters["after_pause_over_anchor_p95"] =
        (percentile(painted, 0.95) - NBEHTMLPreview::reloadDelayMs) /
        percentile(anchorPainted, 0.95);
    state.counters["blank_frames"] = blank;
    state.counters["top_frames"] = top;
    // The window goes with its edits unsaved; nothing asks about them.
}
BENCHMARK(BM_HTMLTypingInWindow1MiB)
    ->ArgName("plain_scripted_noscripts")
    ->Arg(int(PageKind::plain))
    ->Arg(int(PageKind::scripted))
    ->Arg(int(PageKind::noscripts))
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

QString specText(qsizetype megabytes)
{
    QFile file(
        QStringLiteral(NBE_SOURCE_DIR "/tests/markdown/npm/node_modules/commonmark-spec/spec.txt"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QString spec = QString::fromUtf8(file.readAll());
    const qsizetype bytes = spec.toUtf8().size();
    return spec.repeated(int((megabytes * 1024 * 1024 + bytes - 1) / bytes));
}

void BM_MarkdownPreview1MB(benchmark::State &state)
{
    const QString text = specText(1);
    if (text.isEmpty()) {
        state.SkipWithError("spec.txt missing; run scripts/setup");
        return;
    }
    NBEMarkdownPreviewStyle style;
    style.text = Qt::black;
    style.secondary = Qt::gray;
    style.box = QColor(0xf0, 0xf0, 0xf0);
    style.separator = Qt::lightGray;
    style.accent = QColor(0xD9, 0x77, 0x06);
    style.fontFamily = QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
    style.fixedFontFamily = QFontDatabase::systemFont(QFontDatabase::FixedFont).family();
    QList<double> parse, build, firstPaint, wholePaint, stalls;
    for (auto _ : state) {
        for (int round = 0; round < 5; ++round) {
            QElapsedTimer clock;
            clock.start();
            const auto blocks = NBEMarkdownParser::parse(text);
            benchmark::DoNotOptimize(blocks);
            parse.append(double(clock.nsecsElapsed()) / 1e6);
            clock.restart();
            const NBEMarkdownPreviewBuild built = NBEMarkdownPreviewDocument::build(text, style);
            build.append(double(clock.nsecsElapsed()) / 1e6);
        }
        // The widget: from the text to its first painted screen (the head of
        // the page, on a long text), and to the whole page painted; and the
        // longest the window was held up on the way.
        for (int round = 0; round < 3; ++round) {
            QElapsedTimer clock;
            clock.start();
            NBEMarkdownPreview preview(text, std::nullopt, NBEDefaultThemes::light(), 13);
            bool shown = false;
            QObject::connect(&preview, &NBEMarkdownPreview::headShown, [&] { shown = true; });
            preview.resize(900, 700);
            preview.show();
            double stall = longestStallUntil([&] { return shown || preview.isBuilt(); });
            preview.grab();
            firstPaint.append(double(clock.nsecsElapsed()) / 1e6);
            stall = std::max(stall, longestStallUntil([&] { return preview.isBuilt(); }));
            preview.grab();
            wholePaint.append(double(clock.nsecsElapsed()) / 1e6);
            stalls.append(stall);
        }
    }
    state.counters["parse_ms"] = median(parse);
    state.counters["build_ms"] = median(build);
    state.counters["build_over_parse"] = median(build) / median(parse);
    state.counters["first_paint_ms"] = median(firstPaint);
    state.counters["first_paint_over_parse"] = median(firstPaint) / median(parse);
    state.counters["whole_paint_ms"] = median(wholePaint);
    // The longest the window could not answer while the page was put in.
    state.counters["longest_stall_ms"] = median(stalls);
}
BENCHMARK(BM_MarkdownPreview1MB)->Unit(benchmark::kMillisecond)->Iterations(1);

// Typing into a 1 MB Markdown text with its preview on screen: one letter in a
// paragraph at the start, in the middle or at the end, then the preview
// updated and painted. Beside it the parse of the whole text, the two steps
// of the update on their own (working out the changed blocks on the pool,
// writing them into the page on the main thread) and the page built from
// scratch.
void BM_MarkdownPreviewEdit1MB(benchmark::State &state)
{
    QString text = specText(1);
    if (text.isEmpty()) {
        state.SkipWithError("spec.txt missing; run scripts/setup");
        return;
    }
    // The first letter of a paragraph at or after the place asked for.
    const qsizetype wanted = state.range(0) * (text.size() - 1) / 100;
    qsizetype at = -1;
    for (qsizetype from = wanted; at < 0 && from >= 0; from -= 4096) {
        static const QRegularExpression paragraph(QStringLiteral("\n\n[A-Za-z]"));
        const QRegularExpressionMatch match = paragraph.match(text, from);
        if (match.hasMatch())
            at = match.capturedStart() + 2;
    }
    if (at < 0) {
        state.SkipWithError("no paragraph");
        return;
    }
    NBEMarkdownPreview preview(text, std::nullopt, NBEDefaultThemes::light(), 13);
    preview.resize(900, 700);
    preview.show();
    waitUntil([&] { return preview.isBuilt(); });
    preview.grab();
    const NBEMarkdownPreviewStyle style = preview.style();
    NBEMarkdownPreviewBuild page = NBEMarkdownPreviewDocument::build(text, style);

    QList<double> parse, change, write, updated, painted, full;
    for (auto _ : state) {
        for (int round = 0; round < 10; ++round) {
            if (round % 2 == 0)
                text.insert(at, u'X');
            else
                text.remove(at, 1);
            QElapsedTimer clock;
            clock.start();
            const QList<NBEMarkdownBlock> blocks = NBEMarkdownParser::parse(text);
            parse.append(double(clock.nsecsElapsed()) / 1e6);
            clock.restart();
            const NBEMarkdownPreviewChange changed =
                NBEMarkdownPreviewDocument::change(page.content.blocks, blocks, style);
            change.append(double(clock.nsecsElapsed()) / 1e6);
            clock.restart();
            NBEMarkdownPreviewDocument::update(page.document->get(), page.content, changed, style);
            write.append(double(clock.nsecsElapsed()) / 1e6);
            if (round < 3) {
                clock.restart();
                const NBEMarkdownPreviewBuild built =
                    NBEMarkdownPreviewDocument::build(blocks, style);
                full.append(double(clock.nsecsElapsed()) / 1e6);
            }

            settle(50);
            clock.restart();
            preview.setInputs(text, std::nullopt, NBEDefaultThemes::light(), 13);
            // Timed when the page is in, before the event loop paints it.
            const QMetaObject::Connection in =
                QObject::connect(&preview, &NBEMarkdownPreview::built, [&] {
                    updated.append(double(clock.nsecsElapsed()) / 1e6);
                    preview.viewport()->repaint();
                    painted.append(double(clock.nsecsElapsed()) / 1e6);
                });
            waitUntil([&] { return preview.isBuilt(); });
            QObject::disconnect(in);
        }
    }
    state.counters["parse_ms"] = median(parse);
    state.counters["change_ms"] = median(change);
    state.counters["write_ms"] = median(write);
    state.counters["updated_ms"] = median(updated);
    state.counters["painted_ms"] = median(painted);
    state.counters["full_build_ms"] = median(full);
    state.counters["updated_over_parse"] = median(updated) / median(parse);
    state.counters["painted_over_parse"] = median(painted) / median(parse);
    state.counters["full_build_over_parse"] = median(full) / median(parse);
}
BENCHMARK(BM_MarkdownPreviewEdit1MB)
    ->ArgName("at_percent")
    ->Arg(0)
    ->Arg(50)
    ->Arg(100)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

} // namespace

int main(int argc, char **argv)
{
    NBEPreviewSchemeHandler::registerScheme();
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
