#include "NBEHTMLPreview.h"
#include "../viewmodels/NBEWorkspaceFixture.h"
#include "NBECodeTextEdit.h"
#include "NBEDefaultThemes.h"
#include "NBEHTMLSplitView.h"
#include "NBEScrollLink.h"
#include "NBESourceEditor.h"
#include "NBETextBuffer.h"
#include "NBETextEditorView.h"

#include <QApplication>
#include <QBuffer>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QScreen>
#include <QScrollBar>
#include <QSet>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <QtQuickWidgets/QQuickWidget>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <optional>
#include <random>
#include <vector>

namespace {

// What a script answers in the page, with the event loop running meanwhile.
QVariant evaluate(NBEHTMLPreview &preview, const QString &script)
{
    bool done = false;
    QVariant answer;
    preview.webView()->page()->runJavaScript(script, [&](const QVariant &value) {
        answer = value;
        done = true;
    });
    EXPECT_TRUE(NBETest::waitUntil([&] { return done; })) << script.toStdString();
    return answer;
}

double pageFraction(NBEHTMLPreview &preview)
{
    return evaluate(preview, QStringLiteral("window.scrollY / Math.max(1, "
                                            "document.documentElement.scrollHeight - "
                                            "window.innerHeight)"))
        .toDouble();
}

QByteArray pngOf(const QColor &color)
{
    QImage image(40, 20, QImage::Format_RGB32);
    image.fill(color);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

QString longPage(int paragraphs, const QString &marker = {})
{
    QString html = QStringLiteral("<!DOCTYPE html><html><body>\n");
    for (int k = 0; k < paragraphs; ++k)
        html += QStringLiteral("<p>Paragraph %1 of the page.</p>\n").arg(k);
    return html + marker + QStringLiteral("</body></html>\n");
}

// A web server on this machine that answers every request with a style
// sheet after a while.
class StyleServer : public QTcpServer
{
public:
    explicit StyleServer(int delayMs)
    {
        listen(QHostAddress::LocalHost);
        connect(this, &QTcpServer::newConnection, this, [this, delayMs] {
            while (QTcpSocket *socket = nextPendingConnection()) {
                QTimer::singleShot(delayMs, socket, [socket] {
                    socket->write("HTTP/1.0 200 OK\r\nContent-Type: text/css\r\n"
                                  "Cache-Control: no-store\r\n\r\n"
                                  "#w { color: rgb(0, 0, 255); }\n");
                    socket->disconnectFromHost();
                });
            }
        });
    }
    QString link() const
    {
        return QStringLiteral("<link rel=\"stylesheet\" href=\"http://127.0.0.1:%1/web.css\">")
            .arg(serverPort());
    }
};

// What the widget shows on the display (not what it would paint into an
// image of its own, which can differ from the screen); null where there is
// no display to read.
QImage onScreen(QWidget &widget)
{
    if (QGuiApplication::platformName() != u"xcb")
        return {};
    const QPoint at = widget.mapToGlobal(QPoint(0, 0));
    return widget.screen()
        ->grabWindow(0, at.x(), at.y(), widget.width(), widget.height())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}

bool holds(const QImage &image, const QColor &color)
{
    for (int y = 0; y < image.height(); y += 2) {
        for (int x = 0; x < image.width(); x += 2) {
            if (image.pixelColor(x, y) == color)
                return true;
        }
    }
    return false;
}

// The highest colour saturation in the image (0 for greys, 255 for pure
// colours).
int vividest(const QImage &image)
{
    int most = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            most = std::max(most, image.pixelColor(x, y).hsvSaturation());
    }
    return most;
}

int colourCount(const QImage &image)
{
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); y += 3) {
        for (int x = 0; x < image.width(); x += 3)
            colours.insert(image.pixel(x, y));
    }
    return int(colours.size());
}

class NBEHTMLPreviewTest : public NBEWorkspaceFixture
{
protected:
    QUrl folder() const { return QUrl::fromLocalFile(root + u'/'); }

    // Shows the preview and waits for its first page.
    void show(QWidget &widget, NBEHTMLPreview &preview,
              std::chrono::milliseconds limit = std::chrono::seconds(20))
    {
        QSignalSpy loaded(&preview, &NBEHTMLPreview::pageLoaded);
        widget.resize(900, 500);
        widget.show();
        ASSERT_TRUE(NBETest::waitUntil([&] { return !loaded.isEmpty(); }, limit));
        EXPECT_TRUE(loaded.first().first().toBool());
    }
};

// The page is the unsaved buffer, read as UTF-8, with the file's folder as
// its base: the relative style sheet and image load.
TEST_F(NBEHTMLPreviewTest, PageShowsTheBufferWithItsFoldersFilesAndReloadsOnceAfterTyping)
{
    write(QStringLiteral("css/site.css"), "#t { color: rgb(255, 0, 0); }\n");
    write(QStringLiteral("img/logo.png"), pngOf(Qt::blue));
    StyleServer web(0);
    const QString html =
        QStringLiteral("<html><head><link rel=\"stylesheet\" href=\"css/site.css\">") + web.link() +
        QStringLiteral("</head><body><p id=\"t\">Unsaved héllo ✓</p><p id=\"w\">web</p>"
                       "<img id=\"i\" src=\"img/logo.png\"></body></html>");
    NBEHTMLPreview preview(html, folder(), nullptr);
    show(preview, preview);

    EXPECT_EQ(evaluate(preview, QStringLiteral("document.getElementById('t').textContent")),
              QStringLiteral("Unsaved héllo ✓"));
    EXPECT_EQ(
        evaluate(preview, QStringLiteral("getComputedStyle(document.getElementById('t')).color")),
        QStringLiteral("rgb(255, 0, 0)"));
    EXPECT_EQ(evaluate(preview, QStringLiteral("document.getElementById('i').naturalWidth")), 40);

    // The same text again loads nothing; a burst of edits loads once, after
    // the pause.
    QSignalSpy loaded(&preview, &NBEHTMLPreview::pageLoaded);
    preview.setHTML(html, folder());
    QElapsedTimer clock;
    clock.start();
    qint64 lastEdit = 0;
    for (int k = 0; k < 10; ++k) {
        QTest::qWait(20);
        preview.setHTML(html + QStringLiteral("<p id=\"n\">%1</p>").arg(k), folder());
        lastEdit = clock.elapsed();
    }
    ASSERT_TRUE(NBETest::waitUntil([&] { return !loaded.isEmpty(); }));
    EXPECT_GE(clock.elapsed() - lastEdit, NBEHTMLPreview::reloadDelayMs);
    QTest::qWait(NBEHTMLPreview::reloadDelayMs + 200);
    EXPECT_EQ(loaded.size(), 1);
    EXPECT_EQ(evaluate(preview, QStringLiteral("document.getElementById('n').textContent")),
              QStringLiteral("9"));
}

// A page with a script of its own is loaded anew, one without is patched:
// either way it stays at the reader's place.
const struct
{
    const char *name;
    QString head;
} pageKinds[] = {
    {"patched", QString()},
    {"reloaded", QStringLiteral("<head><script>var loads = 1;</script></head>")},
};

TEST_F(NBEHTMLPreviewTest, AReloadKeepsTheScrollOffsetEvenWhenTypingGoesOnDuringTheLoad)
{
    for (const auto &kind : pageKinds) {
        SCOPED_TRACE(kind.name);
        const auto page = [&](int paragraphs) {
            return longPage(paragraphs)
                .replace(QStringLiteral("<body>"), kind.head + QStringLiteral("<body>"));
        };
        NBEHTMLPreview preview(page(400), folder(), nullptr);
        show(preview, preview);
        evaluate(preview, QStringLiteral("window.scrollTo(0, 1500)"));
        QSignalSpy loaded(&preview, &NBEHTMLPreview::pageLoaded);
        preview.setHTML(page(401), folder());
        ASSERT_TRUE(NBETest::waitUntil([&] { return !loaded.isEmpty(); }));
        EXPECT_TRUE(NBETest::waitUntil(
            [&] { return evaluate(preview, QStringLiteral("window.scrollY")).toInt() == 1500; }));

        // Two edits whose reloads follow each other closely.
        loaded.clear();
        preview.setHTML(page(402), folder());
        QTest::qWait(NBEHTMLPreview::reloadDelayMs + 100);
        preview.setHTML(page(403), folder());
        ASSERT_TRUE(NBETest::waitUntil([&] {
            return evaluate(preview, QStringLiteral("document.body.children.length")).toInt() ==
                   403;
        }));
        ASSERT_TRUE(NBETest::waitUntil([&] { return !loaded.isEmpty(); }));
        EXPECT_TRUE(NBETest::waitUntil([&] {
            return evaluate(preview, QStringLiteral("window.scrollY")).toInt() == 1500;
        })) << evaluate(preview, QStringLiteral("window.scrollY")).toInt()
            << " loads " << loaded.size();
    }
}

TEST_F(NBEHTMLPreviewTest, ABufferOverTwoMegabytesRenders)
{
    QString html = longPage(90000, QStringLiteral("<p id=\"end\">the end</p>"));
    ASSERT_GT(html.toUtf8().size(), 3 * 1024 * 1024);
    NBEHTMLPreview preview(html, folder(), nullptr);
    // Three megabytes take the engine a while in a sanitized build on a busy
    // machine.
    show(preview, preview, std::chrono::seconds(90));
    EXPECT_EQ(evaluate(preview, QStringLiteral("document.getElementById('end').textContent")),
              QStringLiteral("the end"));
    EXPECT_EQ(evaluate(preview, QStringLiteral("document.body.children.length")).toInt(), 90001);
}

// Editor and page follow each other through the split view's link; each
// move is made once and its echo is dropped.
TEST_F(NBEHTMLPreviewTest, ScrollingEitherSideMovesTheOtherOnceWithoutEchoes)
{
    QString source;
    for (int k = 0; k < 600; ++k)
        source += QStringLiteral("<p>Line %1 of a long page with some words in it.</p>\n").arg(k);
    write(QStringLiteral("index.html"), source.toUtf8());
    load();
    const QUuid id = open(QStringLiteral("index.html")).id;
    model->toggleActivePreview();
    // Without wrapping the editor's range is known at once: wrapped lines are
    // measured as they scroll into view, and each step reports a scroll.
    model->preferences().setWordWrap(false);
    NBEHTMLSplitView split(NBESourceEditorOwners::of(model.get()), id, NBEDefaultThemes::light());
    NBEScrollLink *link = split.scrollLink();
    ASSERT_TRUE(link->scrollPreview && link->scrollEditor);
    int pageMoves = 0, editorMoves = 0;
    const auto movePage = link->scrollPreview;
    const auto moveEditor = link->scrollEditor;
    link->scrollPreview = [&, movePage](double f) {
        ++pageMoves;
        movePage(f);
    };
    link->scrollEditor = [&, moveEditor](double f) {
        ++editorMoves;
        moveEditor(f);
    };
    show(split, *split.preview());
    EXPECT_GE(split.sourceEditor()->width(), NBEHTMLSplitView::minimumPaneWidth);
    EXPECT_GE(split.preview()->width(), NBEHTMLSplitView::minimumPaneWidth);
    NBECodeTextEdit *text = split.sourceEditor()->editor()->textView();
    QScrollBar *bar = text->verticalScrollBar();
    QTest::qWait(400);
    pageMoves = editorMoves = 0;
    bar->setValue(bar->maximum() / 2);
    EXPECT_TRUE(
        NBETest::waitUntil([&] { return std::abs(pageFraction(*split.preview()) - 0.5) < 0.02; }));
    QTest::qWait(500);
    EXPECT_EQ(pageMoves, 1);
    EXPECT_EQ(editorMoves, 0);
    EXPECT_EQ(bar->value(), bar->maximum() / 2);

    // The page scrolled by the user moves the editor, once.
    evaluate(*split.preview(),
             QStringLiteral("window.scrollTo(0, 0.25 * (document.documentElement.scrollHeight - "
                            "window.innerHeight))"));
    EXPECT_TRUE(NBETest::waitUntil([&] { return editorMoves > 0; }));
    QTest::qWait(500);
    // The page may report twice on a slow machine; the editor's moves never
    // send the page anywhere.
    EXPECT_LE(editorMoves, 2);
    EXPECT_EQ(pageMoves, 1);
    EXPECT_NEAR(text->scrollFraction(), 0.25, 0.02);

    // A fast scroll sends the page to where the editor stopped.
    QTest::qWait(NBEScrollLink::echoWindowMs + 50);
    for (int k = 0; k <= 40; ++k)
        bar->setValue(bar->maximum() * k / 50);
    EXPECT_TRUE(
        NBETest::waitUntil([&] { return std::abs(pageFraction(*split.preview()) - 0.8) < 0.02; }));

    // A reload after an edit puts the page back without moving the editor.
    QTest::qWait(500);
    editorMoves = 0;
    const int before = bar->value();
    const double pageBefore = pageFraction(*split.preview());
    QSignalSpy loaded(split.preview(), &NBEHTMLPreview::pageLoaded);
    model->tabs().updateContent(
        model->tab(id)->sourceFile.content() + QStringLiteral("<p>more</p>\n"), id);
    ASSERT_TRUE(NBETest::waitUntil([&] { return !loaded.isEmpty(); }));
    EXPECT_TRUE(NBETest::waitUntil(
        [&] { return std::abs(pageFraction(*split.preview()) - pageBefore) < 0.01; }));
    QTest::qWait(500);
    // Putting the new page in place is no scrolling of the reader's.
    EXPECT_EQ(editorMoves, 0);
    EXPECT_EQ(bar->value(), before);
}

// Pages with a linked style sheet or a background of their own look on
// screen as in a browser: their colours, not one flat area.
TEST_F(NBEHTMLPreviewTest, PagesWithStyleSheetsAndBackgroundsShowOnScreen)
{
    write(QStringLiteral("css/site.css"),
          "body { background: rgb(250, 240, 200); }\nh1 { color: rgb(200, 0, 0); }\n");
    const struct
    {
        const char *name;
        QString html;
        QColor background;
        QColor heading;
    } cases[] = {
        {"linked style sheet",
         QStringLiteral("<!DOCTYPE html>\n<html><head><link rel=\"stylesheet\" "
                        "href=\"css/site.css\"></head>\n<body><h1 id=\"h\">Welcome to the "
                        "site</h1><p>Text.</p></body></html>\n"),
         QColor(250, 240, 200), QColor(200, 0, 0)},
        {"white page background",
         QStringLiteral("<!DOCTYPE html>\n<html><head><style>body { background: #fff; } h1 { "
                        "color: rgb(0, 0, 200); }</style></head>\n<body><h1 id=\"h\">Export of "
                        "a README</h1><p>Text.</p></body></html>\n"),
         QColor(255, 255, 255), QColor(0, 0, 200)},
    };
    for (const auto &page : cases) {
        SCOPED_TRACE(page.name);
        NBEHTMLPreview preview(page.html, folder(), nullptr);
        show(preview, preview);
        EXPECT_EQ(
            evaluate(preview, QStringLiteral("getComputedStyle(document.body).backgroundColor")),
            page.background.name(QColor::HexRgb) == u"#ffffff"
                ? QStringLiteral("rgb(255, 255, 255)")
                : QStringLiteral("rgb(%1, %2, %3)")
                      .arg(page.background.red())
                      .arg(page.background.green())
                      .arg(page.background.blue()));
        EXPECT_EQ(evaluate(preview,
                           QStringLiteral("getComputedStyle(document.getElementById('h')).color")),
                  QStringLiteral("rgb(%1, %2, %3)")
                      .arg(page.heading.red())
                      .arg(page.heading.green())
                      .arg(page.heading.blue()));
        if (onScreen(preview).isNull()) {
            std::puts("no display to read: the page's pixels are not checked");
            continue;
        }
        QImage shown;
        EXPECT_TRUE(NBETest::waitUntil([&] {
            shown = onScreen(preview);
            return shown.pixelColor(5, shown.height() - 5) == page.background &&
                   holds(shown, page.heading);
        })) << "colours on screen: "
            << colourCount(shown) << ", corner "
            << shown.pixelColor(5, shown.height() - 5).name().toStdString();
    }
}

// A page gets nothing outside its project folder, however it asks: scripts
// fetching, requesting or framing parent folders, absolute paths, encoded
// dots and separators, symbolic links leading out, another preview's host or
// plain file URLs. Files inside the folder load.
TEST_F(NBEHTMLPreviewTest, APageReadsNothingOutsideItsProject)
{
    write(QStringLiteral("inside.txt"), "INSIDE-THE-PROJECT");
    QFile secret(dir.filePath(QStringLiteral("secret.txt")));
    ASSERT_TRUE(secret.open(QIODevice::WriteOnly));
    secret.write("TOPSECRET-OUTSIDE");
    secret.close();
    ASSERT_TRUE(QFile::link(secret.fileName(), root + QStringLiteral("/link.txt")));
    ASSERT_TRUE(QFile::link(dir.path(), root + QStringLiteral("/up")));
    QFile hostnameFile(QStringLiteral("/etc/hostname"));
    const QString hostname = hostnameFile.open(QIODevice::ReadOnly)
                                 ? QString::fromUtf8(hostnameFile.readAll()).trimmed()
                                 : QString();

    const QString outside = secret.fileName();
    const QStringList targets = {
        QStringLiteral("../secret.txt"),
        QStringLiteral("%2e%2e/secret.txt"),
        QStringLiteral(".%2e/secret.txt"),
        QStringLiteral("..%2fsecret.txt"),
        QStringLiteral("sub/..%2f..%2f..%2fsecret.txt"),
        QStringLiteral("%2e%2e%2fsecret.txt"),
        QStringLiteral("/etc/hostname"),
        QStringLiteral("%2fetc%2fhostname"),
        outside,
        QStringLiteral("link.txt"),
        QStringLiteral("up/secret.txt"),
        QStringLiteral("nbe-preview://p999999") + outside,
        QStringLiteral("file://") + outside,
        QStringLiteral("file:///etc/hostname"),
    };
    QString list;
    for (const QString &target : targets)
        list += u'"' + target + QStringLiteral("\",");
    const QString html =
        QStringLiteral("<!DOCTYPE html><html><body><script>\n"
                       "window.results = []; window.answers = 0;\n"
                       "function note(kind, u, text) { window.results.push(kind + ' ' + u + ' "
                       "=> ' + text); window.answers++; }\n"
                       "function probe(u) {\n"
                       "  fetch(u).then(function (r) { return r.text().then(function (t) { "
                       "note('fetch', u, r.status + ' ' + t); }); })\n"
                       "    .catch(function () { note('fetch', u, 'refused'); });\n"
                       "  var x = new XMLHttpRequest();\n"
                       "  x.onload = function () { note('xhr', u, x.status + ' ' + "
                       "x.responseText); };\n"
                       "  x.onerror = function () { note('xhr', u, 'refused'); };\n"
                       "  try { x.open('GET', u); x.send(); } catch (e) { note('xhr', u, "
                       "'refused'); }\n"
                       "  var f = document.createElement('iframe');\n"
                       "  f.onload = function () { var t = 'unreadable'; try { t = "
                       "f.contentDocument.documentElement.innerText; } catch (e) {} "
                       "window.results.push('iframe ' + u + ' => ' + t); };\n"
                       "  f.src = u; document.body.appendChild(f);\n"
                       "}\n"
                       "[%1\"inside.txt\"].forEach(probe);\n"
                       "</script></body></html>\n")
            .arg(list);
    NBEHTMLPreview preview(html, folder(), nullptr);
    show(preview, preview);
    const int expected = int(targets.size() + 1) * 2;
    ASSERT_TRUE(NBETest::waitUntil(
        [&] { return evaluate(preview, QStringLiteral("window.answers")).toInt() >= expected; }));
    // Frames answer when they load; give the refused ones the same time.
    EXPECT_TRUE(NBETest::waitUntil([&] {
        return evaluate(preview, QStringLiteral("window.results.join('\\n')"))
            .toString()
            .contains(QStringLiteral("iframe inside.txt => INSIDE-THE-PROJECT"));
    }));
    QTest::qWait(500);
    const QStringList results = evaluate(preview, QStringLiteral("window.results")).toStringList();
    for (const QString &result : results) {
        EXPECT_FALSE(result.contains(QStringLiteral("TOPSECRET")) ||
                     (!hostname.isEmpty() && result.contains(hostname)))
            << result.toStdString();
    }
    // The engine's fetch() takes web addresses only, the project's own files
    // included; requests and frames load them.
    EXPECT_TRUE(results.contains(QStringLiteral("xhr inside.txt => 200 INSIDE-THE-PROJECT")));
}

// While a reload of a long page loads, the screen keeps showing the page at
// the reader's place: never an empty page, never the page's top.
TEST_F(NBEHTMLPreviewTest, AReloadNeverShowsABlankPageOrThePageTop)
{
    for (const auto &kind : pageKinds) {
        SCOPED_TRACE(kind.name);
        const auto page = [&](int version) {
            return longPage(600, QStringLiteral("<p>version %1</p>").arg(version))
                .replace(
                    QStringLiteral("<body>"),
                    kind.head +
                        QStringLiteral("<body><div style=\"height: 400px; background: rgb(255, 0, "
                                       "0)\"></div>"));
        };
        NBEHTMLPreview preview(page(0), folder(), nullptr);
        show(preview, preview);
        if (onScreen(preview).isNull())
            GTEST_SKIP() << "no display to read";
        evaluate(preview, QStringLiteral("window.scrollTo(0, 3000)"));
        const QColor top(255, 0, 0);
        ASSERT_TRUE(NBETest::waitUntil([&] {
            const QImage shown = onScreen(preview);
            return !holds(shown, top) && colourCount(shown) > 2;
        }));
        for (int version = 1; version <= 3; ++version) {
            QSignalSpy loaded(&preview, &NBEHTMLPreview::pageLoaded);
            preview.setHTML(page(version), folder());
            int frames = 0;
            QElapsedTimer clock;
            clock.start();
            while (loaded.isEmpty() || clock.elapsed() < 1500) {
                const QImage shown = onScreen(preview);
                ++frames;
                ASSERT_FALSE(holds(shown, top)) << "the page's top showed, version " << version;
                ASSERT_GT(colourCount(shown), 2) << "an empty page showed, version " << version;
                // Nothing vivid is ever drawn over the page's corner, which is
                // white (another test's window may cover it, in its greys).
                ASSERT_LT(vividest(shown.copy(0, 0, 8, 8)), 100) << "version " << version;
                QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
                ASSERT_LT(clock.elapsed(), 20000);
            }
            EXPECT_GT(frames, 10);
            EXPECT_EQ(evaluate(preview, QStringLiteral("window.scrollY")).toInt(), 3000);
            EXPECT_EQ(
                evaluate(preview, QStringLiteral("document.body.lastElementChild.textContent")),
                QStringLiteral("version %1").arg(version));
        }
    }
}

// A page loaded anew comes up once its view has drawn it at the reader's
// place, marked by a square in its corner that only the view's picture can
// tell apart: on screen the corner never differs from the page beside it by
// more than an eye sees, at the ends of the scale too and where the edit
// changes the corner's colour, and the square is gone from the page and the
// screen once it is up.
TEST_F(NBEHTMLPreviewTest, AReloadedPagesMarkIsNeverSeenOnScreen)
{
    for (const QColor &background :
         {QColor(255, 255, 255), QColor(0, 0, 0), QColor(30, 90, 252), QColor(200, 40, 2)}) {
        SCOPED_TRACE(background.name().toStdString());
        // The last version turns the page's colour round.
        const auto colourOf = [&](int version) {
            return version < 3 ? background
                               : QColor(255 - background.red(), 255 - background.green(),
                                        255 - background.blue());
        };
        const auto page = [&](int version) {
            return longPage(400, QStringLiteral("<p>version %1</p>").arg(version))
                .replace(QStringLiteral("<body>"),
                         QStringLiteral("<head><script>var loads = 1;</script><style>html, body "
                                        "{ margin: 0; padding: 0 0 0 40px; background: %1; color: "
                                        "#888 }</style></head><body>")
                             .arg(colourOf(version).name()));
        };
        NBEHTMLPreview preview(page(0), folder(), nullptr);
        show(preview, preview);
        if (onScreen(preview).isNull())
            GTEST_SKIP() << "no display to read";
        evaluate(preview, QStringLiteral("window.scrollTo(0, 2000)"));
        // Once the page is up, the farthest the screen's corner went from the
        // page beside it (the page before may still show for a frame),
        // watched until a while after that and the page's own colour alone
        // is there.
        const auto farthestOnceUp = [&](QSignalSpy &loaded, const QColor &colour) {
            const auto distance = [](const QColor &a, const QColor &b) {
                return std::max({std::abs(a.red() - b.red()), std::abs(a.green() - b.green()),
                                 std::abs(a.blue() - b.blue())});
            };
            int farthest = 0;
            QElapsedTimer clock;
            clock.start();
            for (;;) {
                const QPoint at = preview.mapToGlobal(QPoint(0, 0));
                const QImage corner = preview.screen()
                                          ->grabWindow(0, at.x(), at.y(), 8, 8)
                                          .toImage()
                                          .convertToFormat(QImage::Format_RGB32);
                const QColor beside = corner.pixelColor(7, 7);
                int off = 0;
                for (int y = 0; y < corner.height(); ++y) {
                    for (int x = 0; x < corner.width(); ++x)
                        off = std::max(off, distance(corner.pixelColor(x, y), beside));
                }
                if (!loaded.isEmpty()) {
                    farthest = std::max(farthest, off);
                    if (off == 0 && beside == colour && clock.elapsed() > 1000)
                        return farthest;
                }
                if (clock.elapsed() > 20000)
                    return 256;
                QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
            }
        };
        for (int version = 1; version <= 3; ++version) {
            QSignalSpy loaded(&preview, &NBEHTMLPreview::pageLoaded);
            preview.setHTML(page(version), folder());
            EXPECT_LE(farthestOnceUp(loaded, colourOf(version)), 12) << "version " << version;
            EXPECT_EQ(evaluate(preview, QStringLiteral("window.scrollY")).toInt(), 2000);
            EXPECT_EQ(evaluate(preview, QStringLiteral("document.elementFromPoint(2, 2).tagName")),
                      QStringLiteral("HTML"));
            EXPECT_EQ(
                evaluate(preview, QStringLiteral("document.body.lastElementChild.textContent")),
                QStringLiteral("version %1").arg(version));
        }
    }
}

// A preview shown for the first time, as the editor shows one when its
// toggle is turned on, puts on screen either what was there before or its
// page's own background until the page is up: never the engine's white
// before a dark page, nor the editor's dark before a light page.
TEST_F(NBEHTMLPreviewTest, AFirstShowPutsNoColourOnScreenThatThePageDoesNotHave)
{
    write(QStringLiteral("css/dark.css"), "html { background: #1e1f22; color: #ddd; }\n");
    const QColor darkTheme(30, 31, 34);
    const QColor lightTheme(250, 250, 250);
    // Answers later than the preview's first wait.
    StyleServer slow(2500);
    const QString darkBody = QStringLiteral("<!DOCTYPE html><html><body style=\"background:#223\">"
                                            "<h1 style=\"color:#ccd\">Night</h1></body></html>");
    const struct
    {
        const char *name;
        QString html;
        QColor page;
        QColor theme;
        // The page comes up while the preview is hidden (as behind the
        // opening view), which shows it later.
        bool shownLater;
    } cases[] = {
        {"dark body", darkBody, QColor(0x22, 0x22, 0x33), lightTheme, false},
        {"dark style sheet",
         QStringLiteral("<!DOCTYPE html><html><head><link rel=\"stylesheet\" "
                        "href=\"css/dark.css\"></head><body><p>Evening</p></body></html>"),
         QColor(0x1e, 0x1f, 0x22), lightTheme, false},
        {"light page, dark editor",
         QStringLiteral("<!DOCTYPE html><html><body><p>Day</p></body></html>"),
         QColor(255, 255, 255), darkTheme, false},
        {"dark body shown later", darkBody, QColor(0x22, 0x22, 0x33), lightTheme, true},
        // Read only after the preview has waited long: its colour shows
        // first.
        {"dark body after a slow script",
         QString(darkBody).replace(
             QStringLiteral("<body"),
             QStringLiteral("<script src=\"http://127.0.0.1:%1/\"></script><body")
                 .arg(slow.serverPort())),
         QColor(0x22, 0x22, 0x33), lightTheme, false},
    };
    for (const auto &test : cases) {
        SCOPED_TRACE(test.name);
        QWidget window;
        auto *layout = new QHBoxLayout(&window);
        layout->setContentsMargins(0, 0, 0, 0);
        // Where the page goes, lines of text in the editor's colours.
        auto *before =
            new QLabel(QStringLiteral("const shown = previous.lines(k);\n").repeated(30));
        before->setAlignment(Qt::AlignTop | Qt::AlignLeft);
        before->setStyleSheet(QStringLiteral("background: %1; color: %2")
                                  .arg(test.theme.name(), test.theme.lightness() < 128
                                                              ? QStringLiteral("#c8c8c8")
                                                              : QStringLiteral("#282828")));
        layout->addWidget(before);
        window.resize(700, 400);
        // A window that shows its first web view is made anew, black for a
        // few frames; this one composes such views from the start, as one
        // that has shown a page before.
        (new QQuickWidget(&window))->hide();
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        if (onScreen(window).isNull())
            GTEST_SKIP() << "no display to read";
        QImage previous;
        ASSERT_TRUE(NBETest::waitUntil([&] {
            previous = onScreen(window);
            return NBETest::shareNear(previous, test.theme) > 0.5;
        }));

        auto *preview = new NBEHTMLPreview(test.html, folder(), nullptr);
        QSignalSpy loaded(preview, &NBEHTMLPreview::pageLoaded);
        if (test.shownLater) {
            preview->hide();
            layout->addWidget(preview);
            ASSERT_TRUE(NBETest::waitUntil([&] { return !loaded.isEmpty(); }));
        }
        // The pane is replaced at once, as the editor does, handing the
        // preview the picture of what it showed.
        preview->setPictureBefore(before->grab(), &window);
        delete before;
        layout->addWidget(preview);
        preview->show();
        QElapsedTimer clock;
        clock.start();
        QElapsedTimer sinceUp;
        int frames = 0;
        while (!sinceUp.isValid() || sinceUp.elapsed() < 1000) {
            const QImage shown = onScreen(window);
            ++frames;
            const double page = NBETest::shareNear(shown, test.page);
            const double kept = NBETest::shareAlike(shown, previous);
            ASSERT_TRUE(page > 0.8 || kept > 0.95)
                << "frame " << frames << " at " << clock.elapsed() << " ms: " << int(page * 100)
                << " % the page's colour, " << int(kept * 100)
                << " % as before, most at the centre "
                << shown.pixelColor(shown.width() / 2, shown.height() / 2).name().toStdString()
                << (loaded.isEmpty() ? ", page not up" : ", page up");
            if (!loaded.isEmpty() && !sinceUp.isValid())
                sinceUp.start();
            QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
            ASSERT_LT(clock.elapsed(), 20000);
        }
        EXPECT_GT(frames, 10);
    }
}

// The mark's colour is a small step from the corner it covers, never one the
// picture could take for the corner itself or for the picture behind, at
// either end of the scale.
TEST(NBEHTMLPreviewProbeColourTest, IsNearTheCornerAndApartFromBoth)
{
    const auto apart = [](const QColor &a, const QColor &b) {
        return std::abs(a.red() - b.red()) > 2 || std::abs(a.green() - b.green()) > 2 ||
               std::abs(a.blue() - b.blue()) > 2;
    };
    for (const int blue : {0, 1, 5, 6, 7, 128, 249, 250, 254, 255}) {
        const QColor shown(200, 100, blue);
        std::vector<std::optional<QColor>> behinds = {std::nullopt, shown};
        for (int other = std::max(0, blue - 14); other <= std::min(255, blue + 14); ++other)
            behinds.push_back(QColor(200, 100, other));
        for (const std::optional<QColor> &behind : behinds) {
            const QColor mark = NBEHTMLPreview::probeColour(shown, behind);
            SCOPED_TRACE(QStringLiteral("corner %1, behind %2, mark %3")
                             .arg(shown.name(), behind ? behind->name() : QStringLiteral("none"),
                                  mark.name())
                             .toStdString());
            EXPECT_TRUE(apart(mark, shown));
            EXPECT_TRUE(!behind || apart(mark, *behind));
            EXPECT_EQ(mark.red(), shown.red());
            EXPECT_EQ(mark.green(), shown.green());
            EXPECT_LE(std::abs(mark.blue() - shown.blue()), 12);
        }
    }
}

// The whole document as the page holds it, and how its linked style sheet
// and picture came out.
QString documentOf(NBEHTMLPreview &preview)
{
    return evaluate(preview,
                    QStringLiteral("[document.compatMode, document.documentElement.outerHTML, "
                                   "getComputedStyle(document.body).color, "
                                   "Array.from(document.images).map(i => i.naturalWidth)]"
                                   ".join('\\n')"))
        .toString();
}

// What a new preview shows for the text.
QString freshDocumentOf(const QString &html, const QUrl &folder)
{
    NBEHTMLPreview fresh(html, folder, nullptr);
    QSignalSpy loaded(&fresh, &NBEHTMLPreview::pageLoaded);
    fresh.resize(900, 500);
    fresh.show();
    EXPECT_TRUE(NBETest::waitUntil([&] { return !loaded.isEmpty(); }));
    // Pictures load after the page.
    EXPECT_TRUE(NBETest::waitUntil([&] {
        return evaluate(fresh, QStringLiteral("Array.from(document.images).every(i => i.complete)"))
            .toBool();
    }));
    return documentOf(fresh);
}

// Edits of the body are made in the page on screen, which keeps its place
// and its script state, and the page then holds just what a load of the same
// text gives, whatever the edit: text typed, nodes added, removed or half
// typed, attributes changed or reordered, implied table parts, pictures, the
// head's own style and title.
TEST_F(NBEHTMLPreviewTest, BodyEditsArePatchedInPlaceToWhatALoadGives)
{
    write(QStringLiteral("css/site.css"), "body { color: rgb(0, 90, 0); }\n");
    write(QStringLiteral("img/logo.png"), pngOf(Qt::blue));
    const QString head = QStringLiteral(
        "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\"><title>T</title>"
        "<link rel=\"stylesheet\" href=\"css/site.css\"></head>\n");
    QString filler;
    for (int k = 0; k < 300; ++k)
        filler += QStringLiteral("<p>Filler %1</p>\n").arg(k);
    const auto page = [&](const QString &body, const QString &bodyTag = QStringLiteral("<body>")) {
        return head + bodyTag + u'\n' + filler + body + QStringLiteral("</body></html>\n");
    };
    const struct
    {
        const char *name;
        QString html;
    } edits[] = {
        {"typed text",
         page(QStringLiteral("<p id=\"a\" class=\"x\">Hello wor</p><ul><li>one<li>two</ul>"))},
        {"more typed",
         page(QStringLiteral("<p id=\"a\" class=\"x\">Hello world &amp; ✓</p><ul><li>one<li>two"
                             "</ul>"))},
        {"emoji typed", page(QStringLiteral("<p id=\"a\" class=\"x\">Hello \U0001F600</p>"))},
        // Both pictures begin with the same half of their pair.
        {"emoji changed", page(QStringLiteral("<p id=\"a\" class=\"x\">Hello \U0001F601</p>"))},
        {"node added",
         page(QStringLiteral("<p id=\"a\" class=\"x\">Hello world &amp; ✓</p><h2>New</h2>"
                             "<ul><li>one<li>two<li>three</ul>"))},
        {"half typed tag",
         page(QStringLiteral("<p id=\"a\" class=\"x\">Hello <em</p><h2>New</h2><ul><li>one"
                             "<li>two<li>three</ul>"))},
        {"attribute changed and reordered",
         page(QStringLiteral("<p class=\"y\" title=\"t\" id=\"a\">Hello <em>you</em></p>"
                             "<ul><li>one<li>three</ul>"))},
        {"implied table parts",
         page(QStringLiteral("<table><tr><td>1<td>2</table><p id=\"a\">Hello</p>"))},
        {"picture and comment", page(QStringLiteral("<table><tr><td>1<td>2<tr><td>3</table>"
                                                    "<!-- note --><img src=\"img/logo.png\">"))},
        {"body attributes", page(QStringLiteral("<img src=\"img/logo.png\"><p>end"),
                                 QStringLiteral("<body class=\"wide\" style=\"margin: 3px\">"))},
        {"nodes removed", page(QString())},
        {"head style and title",
         QString(page(QStringLiteral("<p>end")))
             .replace(
                 QStringLiteral("<title>T</title>"),
                 QStringLiteral("<title>New</title><style>body { color: rgb(1, 2, 3) }</style>"))},
    };
    NBEHTMLPreview preview(page(QStringLiteral("<p id=\"a\">Hello</p>")), folder(), nullptr);
    show(preview, preview);
    evaluate(preview, QStringLiteral("window.kept = true; window.scrollTo(0, 1500)"));
    for (const auto &edit : edits) {
        SCOPED_TRACE(edit.name);
        QSignalSpy loaded(&preview, &NBEHTMLPreview::pageLoaded);
        preview.setHTML(edit.html, folder());
        ASSERT_TRUE(NBETest::waitUntil([&] { return !loaded.isEmpty(); }));
        EXPECT_TRUE(NBETest::waitUntil([&] {
            return evaluate(preview,
                            QStringLiteral("Array.from(document.images).every(i => i.complete)"))
                .toBool();
        }));
        EXPECT_EQ(evaluate(preview, QStringLiteral("window.kept")), true);
        EXPECT_EQ(evaluate(preview, QStringLiteral("window.scrollY")).toInt(), 1500);
        EXPECT_EQ(documentOf(preview), freshDocumentOf(edit.html, folder()));
    }
}

// The patch is worked out once the text rests and made at the pause: edits
// that come in between, and a page that changes meanwhile (the reader opens
// a details box), still end as a load of the newest text, shown once.
TEST_F(NBEHTMLPreviewTest, EditsAndPageChangesBeforeThePauseEndAsALoadOfTheNewestText)
{
    const auto page = [](const QString &body) {
        return QStringLiteral("<!DOCTYPE html>\n<html><head></head><body>\n<details><summary>S"
                              "</summary><p>hidden</p></details>\n") +
               body + QStringLiteral("</body></html>\n");
    };
    NBEHTMLPreview preview(page(QStringLiteral("<p>0</p>")), folder(), nullptr);
    show(preview, preview);
    evaluate(preview, QStringLiteral("window.kept = true"));
    const int rest = (NBETextBuffer::settleDelayMs + NBEHTMLPreview::reloadDelayMs) / 2;

    QSignalSpy loaded(&preview, &NBEHTMLPreview::pageLoaded);
    // A machine too slow to keep the gaps shorter than the wait gets more
    // than one change shown.
    qint64 longestGap = 0;
    for (int k = 1; k <= 3; ++k) {
        QElapsedTimer gap;
        gap.start();
        preview.setHTML(page(QStringLiteral("<p>%1</p>").arg(k)), folder());
        QTest::qWait(rest);
        longestGap = std::max(longestGap, gap.elapsed());
    }
    ASSERT_TRUE(NBETest::waitUntil([&] { return !loaded.isEmpty(); }));
    QTest::qWait(NBEHTMLPreview::reloadDelayMs + 200);
    if (longestGap < NBEHTMLPreview::reloadDelayMs) {
        EXPECT_EQ(loaded.size(), 1);
    }
    EXPECT_EQ(documentOf(preview), freshDocumentOf(page(QStringLiteral("<p>3</p>")), folder()));

    loaded.clear();
    const QString last = page(QStringLiteral("<p>4</p>"));
    preview.setHTML(last, folder());
    QTest::qWait(rest);
    evaluate(preview, QStringLiteral("document.querySelector('details').open = true"));
    // The reader's change came before the patch was made, unless the page
    // answered it first.
    const bool openedBeforeThePatch = loaded.isEmpty();
    ASSERT_TRUE(NBETest::waitUntil([&] { return !loaded.isEmpty(); }));
    if (openedBeforeThePatch) {
        EXPECT_EQ(documentOf(preview), freshDocumentOf(last, folder()));
    }
    EXPECT_EQ(evaluate(preview, QStringLiteral("window.kept")), true);
}

// The editor's buffer is followed: each burst of keys, worked out once the
// buffer rests and made at the pause, leaves the page as a load of the
// buffer's text, at the reader's place.
TEST_F(NBEHTMLPreviewTest, KeysTypedIntoAFollowedBufferEndAsALoadOfItsText)
{
    const std::shared_ptr<NBETextBuffer> buffer =
        NBETextBuffer::make(longPage(300, QStringLiteral("<p id=\"end\">end</p>")));
    NBEHTMLPreview preview(buffer, folder(), folder(), nullptr);
    show(preview, preview);
    const QStringList typed = {QStringLiteral("x"),    QStringLiteral("<b>"),
                               QStringLiteral("</b>"), QStringLiteral("&amp;"),
                               QStringLiteral("<li>"), QStringLiteral("\U0001F600")};
    std::mt19937 random(106);
    int patched = 0;
    for (int burst = 0; burst < 6; ++burst) {
        evaluate(preview, QStringLiteral("window.kept = true; window.scrollTo(0, 1500)"));
        QSignalSpy loaded(&preview, &NBEHTMLPreview::pageLoaded);
        for (int key = 0; key < 3; ++key) {
            const QString text = buffer->text();
            const qsizetype from = text.indexOf(QStringLiteral("<body>")) + 7;
            const qsizetype to = text.indexOf(QStringLiteral("</body>"));
            QTextCursor cursor(buffer->document());
            cursor.setPosition(int(from + qsizetype(random() % quint32(to - from))));
            if (random() % 3 == 0)
                cursor.deletePreviousChar();
            else
                cursor.insertText(typed[qsizetype(random() % quint32(typed.size()))]);
            QTest::qWait(40);
        }
        SCOPED_TRACE(burst);
        ASSERT_TRUE(NBETest::waitUntil([&] { return !loaded.isEmpty(); }));
        EXPECT_EQ(documentOf(preview), freshDocumentOf(buffer->text(), folder()));
        if (evaluate(preview, QStringLiteral("window.kept === true")).toBool()) {
            ++patched;
            EXPECT_EQ(evaluate(preview, QStringLiteral("window.scrollY")).toInt(), 1500);
        }
    }
    EXPECT_GE(patched, 4);
}

// A tab given another buffer is followed anew: the page shows that buffer's
// text even when it stands at the revision the page last showed of the first.
TEST_F(NBEHTMLPreviewTest, AnotherBufferAtTheSameRevisionIsShownToo)
{
    const std::shared_ptr<NBETextBuffer> first =
        NBETextBuffer::make(longPage(20, QStringLiteral("<p id=\"m\">first</p>")));
    const std::shared_ptr<NBETextBuffer> second =
        NBETextBuffer::make(longPage(20, QStringLiteral("<p id=\"m\">second</p>")));
    NBEHTMLPreview preview(first, folder(), folder(), nullptr);
    show(preview, preview);
    QSignalSpy loaded(&preview, &NBEHTMLPreview::pageLoaded);
    for (const std::shared_ptr<NBETextBuffer> &buffer : {first, second})
        QTextCursor(buffer->document()).insertText(QStringLiteral("<!-- edited -->"));
    ASSERT_EQ(first->revision(), second->revision());
    ASSERT_TRUE(NBETest::waitUntil([&] { return !loaded.isEmpty(); }));
    ASSERT_EQ(documentOf(preview), freshDocumentOf(first->text(), folder()));

    loaded.clear();
    preview.follow(second, folder(), folder());
    ASSERT_TRUE(NBETest::waitUntil([&] { return !loaded.isEmpty(); }));
    EXPECT_EQ(documentOf(preview), freshDocumentOf(second->text(), folder()));
}

// Whatever a run of edits makes of a page's markup, torn tags, stray end
// tags, open comments and tables included, the page on screen then holds
// what a load of the same text gives.
TEST_F(NBEHTMLPreviewTest, AnyRunOfEditsEndsAsALoadOfTheSameText)
{
    const QStringList pieces = {
        QStringLiteral("<p>"),
        QStringLiteral("</p>"),
        QStringLiteral("<div class=\"a\">"),
        QStringLiteral("</div>"),
        QStringLiteral("<b>bold</b>"),
        QStringLiteral("<i>"),
        QStringLiteral("<table><tr><td>"),
        QStringLiteral("</td><td>"),
        QStringLiteral("</table>"),
        QStringLiteral("<li>"),
        QStringLiteral("<ul>"),
        QStringLiteral("<!--"),
        QStringLiteral("-->"),
        QStringLiteral("&amp;"),
        QStringLiteral("words "),
        QStringLiteral("<pre>\n"),
        QStringLiteral("<h2 title=\"t\">"),
        QStringLiteral("<"),
        QStringLiteral("\""),
        QStringLiteral(">"),
        QStringLiteral("<br>"),
    };
    QString html = QStringLiteral(
        "<!DOCTYPE html>\n<html><head><style>p { margin: 2px }</style></head><body>\n"
        "<h1>Title</h1><p>First <em>para</em>graph.</p><ul><li>one<li>two</ul>\n"
        "<table><tr><td>a<td>b</table><div><p>inner</p><span>x</span></div>\n"
        "<pre>  kept\n  space</pre><p>last</p>\n</body></html>\n");
    NBEHTMLPreview preview(html, folder(), nullptr);
    show(preview, preview);
    std::mt19937 random(45);
    int patched = 0;
    for (int step = 0; step < 16; ++step) {
        evaluate(preview, QStringLiteral("window.kept = true"));
        const qsizetype bodyStart = html.indexOf(QStringLiteral("<body>")) + 6;
        const qsizetype at = bodyStart + qsizetype(random() % quint32(html.size() - bodyStart));
        const qsizetype cut = std::min<qsizetype>(random() % 12, html.size() - at);
        html.remove(at, cut);
        html.insert(at, pieces[qsizetype(random() % quint32(pieces.size()))]);
        SCOPED_TRACE(html.toStdString());
        QSignalSpy loaded(&preview, &NBEHTMLPreview::pageLoaded);
        preview.setHTML(html, folder());
        ASSERT_TRUE(NBETest::waitUntil([&] { return !loaded.isEmpty(); }));
        EXPECT_EQ(documentOf(preview), freshDocumentOf(html, folder()));
        patched += evaluate(preview, QStringLiteral("window.kept === true")).toBool();
    }
    // Most edits are patched in place; a torn head loads anew.
    EXPECT_GT(patched, 8);
}

// What a patch can't bring about loads the page anew: a changed base, a page
// whose scripts build part of it, a style sheet changed or a picture made on
// disk, and a page the reader left by a link.
TEST_F(NBEHTMLPreviewTest, WhatAPatchCantShowLoadsThePageAnew)
{
    write(QStringLiteral("css/site.css"), "body { color: rgb(0, 90, 0); }\n");
    write(QStringLiteral("other.html"), "<html><head></head><body><p>other</p></body></html>");
    const QString linked =
        QStringLiteral("<html><head><link rel=\"stylesheet\" href=\"css/site.css\"></head>");
    const auto kept = [](NBEHTMLPreview &preview) {
        return evaluate(preview, QStringLiteral("window.kept === true")).toBool();
    };
    const struct
    {
        const char *name;
        QString before;
        QString after;
        std::function<void(const QString &root, NBEHTMLPreview &)> meanwhile;
    } cases[] = {
        {"base address changed",
         QStringLiteral("<html><head><base href=\"css/\"><link rel=\"stylesheet\" "
                        "href=\"site.css\"></head><body><p>a</p></body></html>"),
         QStringLiteral("<html><head><base href=\"img/\"><link rel=\"stylesheet\" "
                        "href=\"site.css\"></head><body><p>a</p></body></html>"),
         nullptr},
        {"script builds the page",
         QStringLiteral("<html><head></head><body><p>a</p><script>document.body.appendChild("
                        "document.createElement('hr'))</script></body></html>"),
         QStringLiteral("<html><head></head><body><p>ab</p><script>document.body.appendChild("
                        "document.createElement('hr'))</script></body></html>"),
         nullptr},
        {"handler in an attribute",
         QStringLiteral("<html><head></head><body onload=\"document.body.dataset.ran = 1\">"
                        "<p>a</p></body></html>"),
         QStringLiteral("<html><head></head><body onload=\"document.body.dataset.ran = 1\">"
                        "<p>ab</p></body></html>"),
         nullptr},
        {"handler typed into the body",
         QStringLiteral("<html><head></head><body><p>a</p><p>b</p></body></html>"),
         QStringLiteral("<html><head></head><body><p>a</p><div><i title=\"t\" "
                        "onmouseover=\"x()\">i</i></div><p>b</p></body></html>"),
         nullptr},
        {"style sheet changed on disk", linked + QStringLiteral("<body><p>a</p></body></html>"),
         linked + QStringLiteral("<body><p>ab</p></body></html>"),
         [](const QString &root, NBEHTMLPreview &) {
             // Another size, so that the change shows within the same second.
             QFile sheet(root + QStringLiteral("/css/site.css"));
             ASSERT_TRUE(sheet.open(QIODevice::WriteOnly | QIODevice::Truncate));
             sheet.write("body { color: rgb(0, 0, 160); }\n/* new */\n");
         }},
        {"picture made after the load",
         QStringLiteral("<html><head></head><body><img src=\"img/late.png\"></body></html>"),
         QStringLiteral("<html><head></head><body><img src=\"img/late.png\"><p>b</p>"
                        "</body></html>"),
         [](const QString &root, NBEHTMLPreview &) {
             QDir(root).mkpath(QStringLiteral("img"));
             QFile picture(root + QStringLiteral("/img/late.png"));
             ASSERT_TRUE(picture.open(QIODevice::WriteOnly));
             picture.write(pngOf(Qt::green));
         }},
        {"reader followed a link",
         QStringLiteral("<html><head></head><body><a id=\"l\" href=\"other.html\">go</a>"
                        "</body></html>"),
         QStringLiteral("<html><head></head><body><a id=\"l\" href=\"other.html\">gone</a>"
                        "</body></html>"),
         [](const QString &, NBEHTMLPreview &preview) {
             evaluate(preview, QStringLiteral("document.getElementById('l').click()"));
             EXPECT_TRUE(NBETest::waitUntil([&] {
                 return evaluate(preview,
                                 QStringLiteral("document.body && document.body.textContent")) ==
                        QStringLiteral("other");
             }));
         }},
    };
    for (const auto &test : cases) {
        SCOPED_TRACE(test.name);
        NBEHTMLPreview preview(test.before, folder(), nullptr);
        show(preview, preview);
        // The page comes up once drawn; what it asks for may still be on
        // its way.
        ASSERT_TRUE(NBETest::waitUntil([&] {
            return evaluate(preview, QStringLiteral("document.readyState")) ==
                   QStringLiteral("complete");
        }));
        evaluate(preview, QStringLiteral("window.kept = true"));
        if (test.meanwhile)
            test.meanwhile(root, preview);
        QSignalSpy loaded(&preview, &NBEHTMLPreview::pageLoaded);
        preview.setHTML(test.after, folder());
        ASSERT_TRUE(NBETest::waitUntil([&] { return !loaded.isEmpty(); }));
        EXPECT_FALSE(kept(preview));
        EXPECT_EQ(documentOf(preview), freshDocumentOf(test.after, folder()));
    }
}

// Scripts that hold JSON data never run: a page whose only scripts they are
// is patched like one without, their data included, until one of them
// becomes code.
TEST_F(NBEHTMLPreviewTest, APageWhoseScriptsAreDataIsPatchedUntilOneBecomesCode)
{
    const auto page = [](const QString &type, const QString &data, const QString &text) {
        return QStringLiteral("<!DOCTYPE html>\n<html><head><script type=\"%1\">%2</script>"
                              "</head><body><p>%3</p><script type='application/json'>[1]</script>"
                              "</body></html>\n")
            .arg(type, data, text);
    };
    const QString ld = QStringLiteral("application/ld+json");
    const struct
    {
        const char *name;
        QString html;
        bool patched;
    } edits[] = {
        {"text typed", page(ld, QStringLiteral("{\"a\": 1}"), QStringLiteral("ab")), true},
        {"data changed", page(ld, QStringLiteral("{\"a\": 2}"), QStringLiteral("ab")), true},
        {"data made code",
         page(QStringLiteral("text/javascript"), QStringLiteral("document.title = 'ran'"),
              QStringLiteral("ab")),
         false},
    };
    NBEHTMLPreview preview(page(ld, QStringLiteral("{\"a\": 1}"), QStringLiteral("a")), folder(),
                           nullptr);
    show(preview, preview);
    for (const auto &edit : edits) {
        SCOPED_TRACE(edit.name);
        evaluate(preview, QStringLiteral("window.kept = true"));
        QSignalSpy loaded(&preview, &NBEHTMLPreview::pageLoaded);
        preview.setHTML(edit.html, folder());
        ASSERT_TRUE(NBETest::waitUntil([&] { return !loaded.isEmpty(); }));
        EXPECT_EQ(evaluate(preview, QStringLiteral("window.kept === true")).toBool(), edit.patched);
        EXPECT_EQ(documentOf(preview), freshDocumentOf(edit.html, folder()));
    }
    EXPECT_EQ(evaluate(preview, QStringLiteral("document.title")), QStringLiteral("ran"));
}

// A noscript never shows where scripts run, and its content is text there:
// a page holding some, in the head or the body, with markup or a style sheet
// inside, is patched like any other, and the patch leaves its content text
// (its style sheet applies to nothing). Where a noscript opens the body
// after the head was closed, the page loads anew.
TEST_F(NBEHTMLPreviewTest, APageWithNoscriptIsPatchedToWhatALoadGives)
{
    const auto page = [](const QString &head, const QString &body) {
        return QStringLiteral("<!DOCTYPE html>\n<html><head><title>N</title>%1<meta name=\"a\">"
                              "</head>\n<body>\n<p>one</p>%2<p>two</p>\n</body></html>\n")
            .arg(head, body);
    };
    const QString style = QStringLiteral("<style>body { color: rgb(255, 0, 0) }</style>");
    const QString inBody = QStringLiteral("<noscript><p class=\"n\">Turn scripts on</p>") + style +
                           QStringLiteral("<img src=\"x.png\"></noscript>");
    const QString inHead = QStringLiteral("<NoScript data-k=\"1\">") + style +
                           QStringLiteral("<p>ends the head without scripts</p></noscript>");
    const struct
    {
        const char *name;
        QString before;
        QString after;
        bool patched;
    } cases[] = {
        {"text typed beside one in the body", page(QString(), inBody),
         page(QString(), inBody + QStringLiteral("<p>new</p>")), true},
        {"one typed into the body", page(QString(), QString()),
         page(QString(), QStringLiteral("<noscript><b>x</b>")), true},
        {"its content edited", page(QString(), inBody),
         page(QString(), QString(inBody).replace(QStringLiteral("Turn"), QStringLiteral("Please"))),
         true},
        {"text typed after one in the head", page(inHead, inBody),
         page(inHead, inBody + QStringLiteral("<p>new</p>")), true},
        {"one in the head edited", page(inHead, QString()),
         page(QString(inHead).replace(QStringLiteral("data-k=\"1\""), QStringLiteral("data-k=2")),
              QStringLiteral("<p>b</p>")),
         true},
        // The words of the tag elsewhere are text and stay as written.
        {"its tag as text",
         page(QString(), QStringLiteral("<textarea><noscript></textarea><!-- <noscript> -->")),
         page(QString(), QStringLiteral("<textarea></noscript><NOSCRIPT/></textarea>"
                                        "<i title=<noscript>></i><!-- </noscript> -->")),
         true},
        {"in a template", page(QString(), inBody),
         page(QString(), inBody + QStringLiteral("<template><noscript><p>x</p></noscript>"
                                                 "<i title=\"</noscript>\">t</i></template>")),
         true},
        {"in a drawing", page(QString(), inBody),
         page(QString(), inBody + QStringLiteral("<svg><noscript><p>x</p></noscript></svg>")),
         true},
        {"after the head was closed",
         QStringLiteral("<!DOCTYPE html>\n<html><head></head><body><p>a</p></body></html>\n"),
         QStringLiteral("<!DOCTYPE html>\n<html><head></head><noscript>") + style +
             QStringLiteral("</noscript><body><p>b</p></body></html>\n"),
         false},
    };
    for (const auto &test : cases) {
        SCOPED_TRACE(test.name);
        NBEHTMLPreview preview(test.before, folder(), nullptr);
        show(preview, preview);
        evaluate(preview, QStringLiteral("window.kept = true"));
        QSignalSpy loaded(&preview, &NBEHTMLPreview::pageLoaded);
        preview.setHTML(test.after, folder());
        ASSERT_TRUE(NBETest::waitUntil([&] { return !loaded.isEmpty(); }));
        EXPECT_EQ(evaluate(preview, QStringLiteral("window.kept === true")).toBool(), test.patched);
        EXPECT_EQ(documentOf(preview), freshDocumentOf(test.after, folder()));
    }
}

// A preview that is not on screen (another tab's) draws no frames; its
// pages still come up, and it shows the newest one when it is shown.
TEST_F(NBEHTMLPreviewTest, AHiddenPreviewStillTakesEachNewPage)
{
    NBEHTMLPreview preview(longPage(10, QStringLiteral("<p id=\"v\">0</p>")), folder(), nullptr);
    QSignalSpy loaded(&preview, &NBEHTMLPreview::pageLoaded);
    ASSERT_TRUE(NBETest::waitUntil([&] { return !loaded.isEmpty(); }));
    for (int version = 1; version <= 2; ++version) {
        loaded.clear();
        preview.setHTML(longPage(10, QStringLiteral("<p id=\"v\">%1</p>").arg(version)), folder());
        ASSERT_TRUE(NBETest::waitUntil([&] { return !loaded.isEmpty(); }));
        EXPECT_EQ(evaluate(preview, QStringLiteral("document.getElementById('v').textContent")),
                  QString::number(version));
    }
    preview.resize(600, 400);
    preview.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&preview));
    EXPECT_EQ(evaluate(preview, QStringLiteral("document.getElementById('v').textContent")),
              QStringLiteral("2"));
    // Its first frames, drawn now, add nothing to the page.
    QTest::qWait(300);
    EXPECT_EQ(evaluate(preview, QStringLiteral("document.querySelectorAll('div').length")), 0);
    if (!onScreen(preview).isNull()) {
        EXPECT_TRUE(NBETest::waitUntil([&] { return colourCount(onScreen(preview)) > 2; }));
        EXPECT_LT(vividest(onScreen(preview).copy(0, 0, 8, 8)), 100);
    }
}

// A page's alert, confirm and prompt show no dialog (one in a page reloaded
// at every pause in typing would take the keys each time): the page goes on
// with confirm and prompt answered no.
TEST_F(NBEHTMLPreviewTest, APagesAlertConfirmAndPromptShowNoDialog)
{
    int dialogs = 0;
    QTimer watch;
    watch.setInterval(50);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget())) {
            ++dialogs;
            dialog->reject();
        }
    });
    watch.start();
    const QString html = QStringLiteral(
        "<html><body><p id=\"r\"></p><script>alert('hi'); var c = confirm('sure?');"
        "var p = prompt('name?', 'x');"
        "document.getElementById('r').textContent = c + ' ' + p;</script></body></html>");
    NBEHTMLPreview preview(html, folder(), nullptr);
    show(preview, preview);
    EXPECT_EQ(evaluate(preview, QStringLiteral("document.getElementById('r').textContent")),
              QStringLiteral("false null"));
    EXPECT_EQ(dialogs, 0);
}

// A page stuck in a script of its own, while loading or after it came up,
// gives way to the next text: the fixed page shows.
TEST_F(NBEHTMLPreviewTest, APageStuckInItsScriptGivesWayToTheFixedText)
{
    const QString fixed = QStringLiteral("<html><body><p id=\"f\">fixed</p>"
                                         "<script>var i = 0;</script></body></html>");
    const struct
    {
        const char *name;
        QString script;
        bool comesUp;
    } cases[] = {
        {"while loading", QStringLiteral("while (true) {}"), false},
        {"once up", QStringLiteral("setTimeout(function () { for (;;) {} }, 100);"), true},
    };
    for (const auto &stuck : cases) {
        SCOPED_TRACE(stuck.name);
        NBEHTMLPreview preview(QStringLiteral("<html><body><p id=\"f\">stuck</p><script>%1"
                                              "</script></body></html>")
                                   .arg(stuck.script),
                               folder(), nullptr);
        QSignalSpy loaded(&preview, &NBEHTMLPreview::pageLoaded);
        preview.resize(600, 400);
        preview.show();
        if (stuck.comesUp) {
            ASSERT_TRUE(NBETest::waitUntil([&] { return !loaded.isEmpty(); }));
        }
        QTest::qWait(NBEHTMLPreview::unresponsiveMs + 500);
        loaded.clear();
        preview.setHTML(fixed, folder());
        ASSERT_TRUE(NBETest::waitUntil([&] { return !loaded.isEmpty(); }));
        EXPECT_EQ(evaluate(preview, QStringLiteral("document.getElementById('f').textContent")),
                  QStringLiteral("fixed"));
    }
}

// A link followed in the page shows the linked page as it is: at its top,
// without the marks of the reload before it, and its scrolling still moves
// the editor.
TEST_F(NBEHTMLPreviewTest, ALinkFollowedAfterAReloadShowsThePageAsItIs)
{
    write(QStringLiteral("other.html"), longPage(300).toUtf8());
    NBEScrollLink link;
    std::optional<double> editorFraction;
    link.scrollEditor = [&](double fraction) { editorFraction = fraction; };
    NBEHTMLPreview preview(longPage(300), folder(), &link);
    show(preview, preview);
    evaluate(preview, QStringLiteral("window.scrollTo(0, 1500)"));
    QSignalSpy loaded(&preview, &NBEHTMLPreview::pageLoaded);
    // A script makes the edit a load behind the page, at the offset.
    preview.setHTML(longPage(300, QStringLiteral("<script>var a = 1;</script>")), folder());
    ASSERT_TRUE(NBETest::waitUntil([&] { return !loaded.isEmpty(); }));
    ASSERT_TRUE(NBETest::waitUntil(
        [&] { return evaluate(preview, QStringLiteral("window.scrollY")).toInt() == 1500; }));

    QSignalSpy followed(preview.webView()->page(), &QWebEnginePage::loadFinished);
    evaluate(preview, QStringLiteral("location.href = 'other.html'"));
    ASSERT_TRUE(NBETest::waitUntil([&] { return !followed.isEmpty(); }));
    QTest::qWait(500);
    EXPECT_TRUE(preview.webView()->page()->url().path().endsWith(QStringLiteral("/other.html")));
    EXPECT_EQ(evaluate(preview, QStringLiteral("window.scrollY")).toInt(), 0);
    EXPECT_EQ(evaluate(preview, QStringLiteral("document.querySelectorAll('div').length")), 0);
    editorFraction.reset();
    evaluate(preview, QStringLiteral("window.scrollTo(0, 800)"));
    EXPECT_TRUE(NBETest::waitUntil([&] { return editorFraction.has_value(); }));
}

} // namespace
