#include "NBEHTMLPreview.h"
#include "../viewmodels/NBEWorkspaceFixture.h"
#include "NBECodeTextEdit.h"
#include "NBEDefaultThemes.h"
#include "NBEHTMLSplitView.h"
#include "NBEScrollLink.h"
#include "NBESourceEditor.h"
#include "NBETextEditorView.h"

#include <QBuffer>
#include <QImage>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <cmath>

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

class NBEHTMLPreviewTest : public NBEWorkspaceFixture
{
protected:
    QUrl folder() const { return QUrl::fromLocalFile(root + u'/'); }

    // Shows the preview and waits for its first page.
    void show(QWidget &widget, NBEHTMLPreview &preview)
    {
        QSignalSpy loaded(&preview, &NBEHTMLPreview::pageLoaded);
        widget.resize(900, 500);
        widget.show();
        ASSERT_TRUE(NBETest::waitUntil([&] { return !loaded.isEmpty(); }));
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

TEST_F(NBEHTMLPreviewTest, AReloadKeepsTheScrollOffsetEvenWhenTypingGoesOnDuringTheLoad)
{
    const auto page = [](int paragraphs) { return longPage(paragraphs); };
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
        return evaluate(preview, QStringLiteral("document.body.children.length")).toInt() == 403;
    }));
    ASSERT_TRUE(NBETest::waitUntil([&] { return !loaded.isEmpty(); }));
    EXPECT_TRUE(NBETest::waitUntil([&] {
        return evaluate(preview, QStringLiteral("window.scrollY")).toInt() == 1500;
    })) << evaluate(preview, QStringLiteral("window.scrollY")).toInt()
        << " loads " << loaded.size();
}

TEST_F(NBEHTMLPreviewTest, ABufferOverTwoMegabytesRenders)
{
    QString html = longPage(90000, QStringLiteral("<p id=\"end\">the end</p>"));
    ASSERT_GT(html.toUtf8().size(), 3 * 1024 * 1024);
    NBEHTMLPreview preview(html, folder(), nullptr);
    show(preview, preview);
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
    NBEEditorSettings settings;
    settings.wordWrap = false;
    NBEHTMLSplitView split(model.get(), id, NBEDefaultThemes::light(), settings);
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
    model->updateContent(model->tab(id)->sourceFile.content() + QStringLiteral("<p>more</p>\n"),
                         id);
    ASSERT_TRUE(NBETest::waitUntil([&] { return !loaded.isEmpty(); }));
    EXPECT_TRUE(NBETest::waitUntil(
        [&] { return std::abs(pageFraction(*split.preview()) - pageBefore) < 0.01; }));
    QTest::qWait(500);
    EXPECT_EQ(editorMoves, 0);
    EXPECT_EQ(bar->value(), before);
}

} // namespace
