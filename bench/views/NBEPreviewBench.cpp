// The previews under a display. HTML: from the last keystroke in a 1 MiB page
// to the changed page on screen (the reload waits for the typing pause
// first). Markdown: building the rendered document of a 1 MB text, beside the
// time the parser alone takes for it, and to the first painted screen.
#include "NBEDefaultThemes.h"
#include "NBEHTMLPreview.h"
#include "NBEMarkdownParser.h"
#include "NBEMarkdownPreview.h"
#include "NBEMarkdownPreviewDocument.h"
#include "NBEPreviewSchemeHandler.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFontDatabase>
#include <QImage>
#include <QTextDocument>
#include <QWebEngineView>
#include <benchmark/benchmark.h>

#include <algorithm>

namespace {

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

// A page of cards about 1 MiB long; the box at its top takes `color`.
QString pageOf(const QColor &color)
{
    QString html = QStringLiteral("<!DOCTYPE html><html><head><style>"
                                  ".card{border:1px solid #ccc;margin:8px;padding:8px}"
                                  "</style></head><body>"
                                  "<div id=\"probe\" style=\"height:80px;background:%1\"></div>\n")
                       .arg(color.name());
    for (int i = 0; html.size() < 1024 * 1024; ++i)
        html += QStringLiteral("<section class=\"card\"><h2>Heading %1</h2><p>Some <strong>bold"
                               "</strong> text and a <a href=\"#%1\">link</a> with words to fill "
                               "the line.</p></section>\n")
                    .arg(i);
    return html + QStringLiteral("</body></html>\n");
}

void BM_HTMLReloadPainted1MiB(benchmark::State &state)
{
    const QUrl folder = QUrl::fromLocalFile(QDir::tempPath() + u'/');
    NBEHTMLPreview preview(pageOf(Qt::red), folder, nullptr);
    preview.resize(900, 700);
    preview.show();
    const auto probe = [&] { return preview.webView()->grab().toImage().pixelColor(40, 40); };
    if (!waitUntil([&] { return probe() == QColor(Qt::red); })) {
        state.SkipWithError("the first page never showed");
        return;
    }
    QList<double> painted;
    const QList<QColor> colors = {Qt::blue, Qt::green, Qt::red};
    int k = 0;
    for (auto _ : state) {
        for (int round = 0; round < 9; ++round) {
            const QColor color = colors[k++ % colors.size()];
            const QString html = pageOf(color);
            QElapsedTimer clock;
            clock.start();
            preview.setHTML(html, folder);
            if (!waitUntil([&] { return probe() == color; })) {
                state.SkipWithError("a reload never showed");
                return;
            }
            painted.append(double(clock.nsecsElapsed()) / 1e6);
        }
    }
    state.counters["painted_after_keystroke_ms"] = median(painted);
    state.counters["painted_after_pause_ms"] = median(painted) - NBEHTMLPreview::reloadDelayMs;
    state.counters["worst_after_pause_ms"] =
        *std::max_element(painted.begin(), painted.end()) - NBEHTMLPreview::reloadDelayMs;
}
BENCHMARK(BM_HTMLReloadPainted1MiB)->Unit(benchmark::kMillisecond)->Iterations(1);

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
    QList<double> parse, build, firstPaint;
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
        // The widget: from the text to its first painted screen.
        for (int round = 0; round < 3; ++round) {
            QElapsedTimer clock;
            clock.start();
            NBEMarkdownPreview preview(text, std::nullopt, NBEDefaultThemes::light(), 13);
            preview.resize(900, 700);
            preview.show();
            waitUntil([&] { return preview.isBuilt(); });
            preview.grab();
            firstPaint.append(double(clock.nsecsElapsed()) / 1e6);
        }
    }
    state.counters["parse_ms"] = median(parse);
    state.counters["build_ms"] = median(build);
    state.counters["build_over_parse"] = median(build) / median(parse);
    state.counters["first_paint_ms"] = median(firstPaint);
}
BENCHMARK(BM_MarkdownPreview1MB)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

int main(int argc, char **argv)
{
    NBEPreviewSchemeHandler::registerScheme();
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
