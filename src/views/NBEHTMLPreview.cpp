#include "NBEHTMLPreview.h"

#include "NBEHTMLPreviewPatch.h"
#include "NBEPreviewSchemeHandler.h"
#include "NBEScrollLink.h"
#include "NBETextBuffer.h"
#include "NBEWhenFinished.h"

#include <QApplication>
#include <QDateTime>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLocale>
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QStackedLayout>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineView>
#include <QtConcurrent>

#include <cstdlib>
#include <functional>

namespace {

// Reports the page's scroll fraction at most once per animation frame, but
// not while the page is being put back in place behind the one on screen,
// nor where the editor just sent it (that is no scrolling of the reader's,
// however late the report comes). The report travels as a console message,
// which only our page reads.
const char *const scrollReportScript =
    "(function () {\n"
    "  var ticking = false;\n"
    "  function report() {\n"
    "    ticking = false;\n"
    "    if (window.nbeHeld) return;\n"
    "    if (window.scrollY === window.nbeSentTo) { window.nbeSentTo = undefined; return; }\n"
    "    var max = Math.max(0, document.documentElement.scrollHeight - window.innerHeight);\n"
    "    console.log('nbeScroll ' + JSON.stringify(max > 0 ? window.scrollY / max : 0));\n"
    "  }\n"
    "  window.addEventListener('scroll', function () {\n"
    "    if (!ticking) { window.requestAnimationFrame(report); ticking = true; }\n"
    "  }, { passive: true });\n"
    "})();";

// Puts a page loading behind the one on screen at the offset as soon as it
// is parsed, marks its top-left corner with a small square of a colour of
// its own and says so, and scrolls again in its first frames (once its style
// sheets are in). The square seen in the view's picture proves that a frame
// drawn at the offset has reached it. Its colour is the eye's same as the
// corner of the page on screen: where the new page beside it has that colour
// too, the page comes up at once and the square goes after. Scrolls made
// here are not reported as the reader's. Once its style sheets are in, says
// the colour of its canvas (red, green, blue, over the engine's white, and
// whether it is opaque). Runs once per document.
const char *const restoreScript =
    "(function () {\n"
    "  var x = %1, y = %2, frames = 0;\n"
    "  if (document.nbeRestoring === %3 || document.nbeShown) return;\n"
    "  document.nbeRestoring = %3;\n"
    "  window.nbeHeld = true;\n"
    "  window.scrollTo(x, y);\n"
    "  var probe = document.createElement('div');\n"
    "  probe.style.cssText = 'position: fixed; left: 0; top: 0; width: %4px; height: %4px; '\n"
    "    + 'margin: 0; padding: 0; border: 0; background: %5; z-index: 2147483647; '\n"
    "    + 'pointer-events: none; display: block';\n"
    "  document.documentElement.appendChild(probe);\n"
    "  window.nbeProbe = probe;\n"
    "  console.log('nbeProbe %3');\n"
    "  function frame() {\n"
    "    if (document.nbeShown) return;\n"
    "    window.scrollTo(x, y);\n"
    "    if (++frames < 2) window.requestAnimationFrame(frame);\n"
    "  }\n"
    "  window.requestAnimationFrame(frame);\n"
    "  function canvas() {\n"
    "    function colour(element) {\n"
    "      if (!element) return null;\n"
    "      var parts = (getComputedStyle(element).backgroundColor.match(/[\\d.]+/g) || [])\n"
    "        .map(Number);\n"
    "      return parts.length >= 3 && (parts.length < 4 || parts[3] > 0) ? parts : null;\n"
    "    }\n"
    "    var c = colour(document.documentElement) || colour(document.body) || [255, 255, 255];\n"
    "    var a = c.length > 3 ? c[3] : 1;\n"
    "    console.log('nbeCanvas %3 ' + JSON.stringify([0, 1, 2].map(function (k) {\n"
    "      return Math.round(c[k] * a + 255 * (1 - a));\n"
    "    }).concat([a >= 1])));\n"
    "  }\n"
    "  var links = document.querySelectorAll('link[rel~=\"stylesheet\"]');\n"
    "  var sheets = Array.prototype.filter.call(links, function (l) { return !l.sheet; });\n"
    "  var waiting = sheets.length;\n"
    "  if (!waiting) canvas();\n"
    "  sheets.forEach(function (l) {\n"
    "    function done() { if (--waiting === 0) canvas(); }\n"
    "    l.addEventListener('load', done);\n"
    "    l.addEventListener('error', done);\n"
    "  });\n"
    "})();";

// Ends the restore and takes the square away.
const char *const removeProbeScript = "document.nbeShown = true;\n"
                                      "window.nbeProbe && window.nbeProbe.remove();\n"
                                      "window.nbeProbe = null;\n"
                                      "window.nbeHeld = false;";

const QString scrollMessagePrefix = QStringLiteral("nbeScroll ");
const QString probeMessagePrefix = QStringLiteral("nbeProbe ");
const QString canvasMessagePrefix = QStringLiteral("nbeCanvas ");
const QString restoreScriptName = QStringLiteral("nbeRestore");

// A page that takes nothing but the preview's own scheme and the web: no
// file: URL, whatever the page asks.
class PreviewPage : public QWebEnginePage
{
public:
    using QWebEnginePage::QWebEnginePage;
    std::function<void(const QString &)> onScrollMessage;
    std::function<void(quint64)> onProbe;
    std::function<void(const QColor &, bool)> onCanvas;

protected:
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString &message,
                                  int line, const QString &source) override
    {
        if (onScrollMessage && message.startsWith(scrollMessagePrefix)) {
            onScrollMessage(message.mid(scrollMessagePrefix.size()));
            return;
        }
        if (message.startsWith(canvasMessagePrefix)) {
            const QJsonArray parts =
                QJsonDocument::fromJson(message.section(u' ', 2).toUtf8()).array();
            if (onCanvas && parts.size() == 4)
                onCanvas(QColor(parts[0].toInt(), parts[1].toInt(), parts[2].toInt()),
                         parts[3].toBool());
            return;
        }
        if (message.startsWith(probeMessagePrefix)) {
            if (onProbe)
                onProbe(message.mid(probeMessagePrefix.size()).toULongLong());
            return;
        }
        QWebEnginePage::javaScriptConsoleMessage(level, message, line, source);
    }

    // A page's dialogs never stop the editor: an alert in a page reloaded at
    // every pause in typing would take the keys each time. Alerts show
    // nothing; confirm and prompt are answered no.
    void javaScriptAlert(const QUrl &, const QString &) override {}
    bool javaScriptConfirm(const QUrl &, const QString &) override { return false; }
    bool javaScriptPrompt(const QUrl &, const QString &, const QString &, QString *) override
    {
        return false;
    }

    bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) override
    {
        if (url.isLocalFile())
            return false;
        return QWebEnginePage::acceptNavigationRequest(url, type, isMainFrame);
    }
};

QString shortest(double value)
{
    return QString::number(value, 'g', QLocale::FloatingPointShortest);
}

// How long a loaded page behind may take to draw its first frames before it
// is shown anyway (a page in a covered or minimised window draws none), and
// how long a preview shows what was there before while its first page draws.
constexpr int swapLimitMs = 2000;

// The square marking a page drawn at its place: its side in CSS pixels, how
// far its colour lies from the corner it covers (out of 255, in blue: more
// than a picture's rounding, less than an eye sees), how long it may take to
// show before the page comes up anyway, and how often the view's picture is
// read meanwhile.
constexpr int probeSide = 6;
constexpr int probeShift = 6;
constexpr int probeLimitMs = 3000;
constexpr int probePollMs = 4;

bool sameColour(const QColor &a, const QColor &b)
{
    return std::abs(a.red() - b.red()) <= 2 && std::abs(a.green() - b.green()) <= 2 &&
           std::abs(a.blue() - b.blue()) <= 2;
}

// Whether two colours are the same to the eye.
bool nearColour(const QColor &a, const QColor &b)
{
    return std::abs(a.red() - b.red()) <= 2 * probeShift &&
           std::abs(a.green() - b.green()) <= 2 * probeShift &&
           std::abs(a.blue() - b.blue()) <= 2 * probeShift;
}

// What a view's picture holds at its top-left corner: the middle of the
// square's place, and a point of the page beside it to the right and below.
struct Corner
{
    QColor inside;
    QColor right;
    QColor below;
};

std::optional<Corner> cornerOf(QWebEngineView *view)
{
    const QImage image = view->grab(QRect(0, 0, probeSide + 2, probeSide + 2)).toImage();
    if (image.isNull())
        return std::nullopt;
    const double scale = image.width() / double(probeSide + 2);
    const auto at = [&](int x, int y) { return image.pixelColor(int(x * scale), int(y * scale)); };
    return Corner{at(probeSide / 2, probeSide / 2), at(probeSide + 1, probeSide / 2),
                  at(probeSide / 2, probeSide + 1)};
}

} // namespace

QColor NBEHTMLPreview::probeColour(const QColor &shown, const std::optional<QColor> &behind)
{
    // Of two shifts each way one is always in range and clear of the
    // picture behind.
    for (const int shift : {probeShift, -probeShift, 2 * probeShift, -2 * probeShift}) {
        const int blue = shown.blue() + shift;
        if (blue < 0 || blue > 255)
            continue;
        const QColor candidate(shown.red(), shown.green(), blue);
        if (!behind || !sameColour(candidate, *behind))
            return candidate;
    }
    return shown;
}

NBEHTMLPreview::NBEHTMLPreview(NBEScrollLink *scrollLink, QWidget *parent)
    : QWidget(parent)
    , m_pages(new QWidget(this))
    , m_stack(new QStackedLayout(m_pages))
    , m_scrollLink(scrollLink)
    , m_host(NBEPreviewSchemeHandler::shared()->newHost())
{
    // The views draw beside the preview, where none of it shows, until the
    // first page is up: the engine's white would flash before a dark page.
    // (Hidden views would load their pages at a background tab's pace.)
    // Meanwhile the preview shows what was there before; for a page slow to
    // draw, the page's own colour once that is known, and in the end the
    // window's.
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_longWaitTimer.setSingleShot(true);
    m_longWaitTimer.setInterval(swapLimitMs);
    connect(&m_longWaitTimer, &QTimer::timeout, this, [this] {
        if (++m_longWaits == 1)
            m_longWaitTimer.start(probeLimitMs);
        update();
    });
    m_stack->setContentsMargins(0, 0, 0, 0);
    // Both pages are on screen, the one behind covered: only a page on
    // screen lays itself out and draws.
    m_stack->setStackingMode(QStackedLayout::StackAll);
    for (int view = 0; view < 2; ++view)
        makeView(view);
    // An empty page of the same site is on screen until the first page is
    // drawn behind it: from then on both views have drawn before, so every
    // reload takes the place of the page on screen at once.
    m_front = 1;
    m_stack->setCurrentIndex(m_front);
    QUrl site;
    site.setScheme(QString::fromLatin1(NBEPreviewSchemeHandler::scheme));
    site.setHost(m_host);
    site.setPath(QStringLiteral("/"));
    m_views[m_front]->setHtml(QString(), site);

    m_reloadTimer.setSingleShot(true);
    m_reloadTimer.setTimerType(Qt::PreciseTimer);
    m_reloadTimer.setInterval(reloadDelayMs);
    connect(&m_reloadTimer, &QTimer::timeout, this, [this] { reloadNow(m_reloads.next()); });
    m_prepareTimer.setSingleShot(true);
    m_prepareTimer.setInterval(NBETextBuffer::settleDelayMs);
    connect(&m_prepareTimer, &QTimer::timeout, this, &NBEHTMLPreview::prepare);
    m_swapTimer.setSingleShot(true);
    m_swapTimer.setInterval(swapLimitMs);
    connect(&m_swapTimer, &QTimer::timeout, this, [this] {
        if (m_backGeneration && m_probe == Probe::none)
            bringUp();
    });
    m_probeTimer.setInterval(probePollMs);
    connect(&m_probeTimer, &QTimer::timeout, this, &NBEHTMLPreview::watchProbe);

    if (scrollLink) {
        const std::shared_ptr<bool> alive = m_alive;
        scrollLink->scrollPreview = [this, alive](double fraction) {
            if (!*alive)
                return;
            m_pendingScroll = fraction;
            // The page loading behind goes to where the editor is when it
            // comes on screen.
            if (m_backGeneration)
                m_editorFraction = fraction;
            if (!m_scrollInFlight)
                flushScroll();
        };
    }
}

NBEHTMLPreview::NBEHTMLPreview(const QString &html, const QUrl &baseURL, NBEScrollLink *scrollLink,
                               QWidget *parent)
    : NBEHTMLPreview(scrollLink, parent)
{
    m_html = html;
    m_baseURL = baseURL;
    loadBehind(m_reloads.next());
}

NBEHTMLPreview::NBEHTMLPreview(const std::shared_ptr<NBETextBuffer> &buffer, const QUrl &baseURL,
                               const QUrl &root, NBEScrollLink *scrollLink, QWidget *parent)
    : NBEHTMLPreview(scrollLink, parent)
{
    follow(buffer, baseURL, root);
    m_reloadTimer.stop();
    loadBehind(m_reloads.next());
}

NBEHTMLPreview::~NBEHTMLPreview()
{
    // Script answers that arrive while the page goes away find nothing.
    *m_alive = false;
    NBEPreviewSchemeHandler::shared()->withdraw(m_host);
    delete m_views[0];
    delete m_views[1];
}

void NBEHTMLPreview::makeView(int view)
{
    const std::shared_ptr<bool> alive = m_alive;
    auto *webView = new QWebEngineView(m_pages);
    auto *page = new PreviewPage(NBEPreviewSchemeHandler::profile(), webView);
    if (m_scrollLink) {
        page->onScrollMessage = [this, alive, view](const QString &body) {
            if (*alive)
                pageScrolled(view, body);
        };
        QWebEngineScript script;
        script.setName(QStringLiteral("nbeScroll"));
        script.setSourceCode(QString::fromLatin1(scrollReportScript));
        script.setInjectionPoint(QWebEngineScript::DocumentReady);
        script.setWorldId(QWebEngineScript::ApplicationWorld);
        script.setRunsOnSubFrames(false);
        page->scripts().insert(script);
    }
    page->onProbe = [this, alive, view](quint64 generation) {
        if (*alive)
            probeAdded(view, generation);
    };
    page->onCanvas = [this, alive, page](const QColor &canvas, bool opaque) {
        if (*alive)
            canvasKnown(page, canvas, opaque);
    };
    // The page's own background, or the engine's white where it has none,
    // as in a browser.
    webView->setPage(page);
    connect(page, &QWebEnginePage::loadFinished, this,
            [this, view](bool ok) { pageFinished(view, ok); });
    // The reader may follow a link or reload the page on screen.
    connect(page, &QWebEnginePage::loadStarted, this, [this, view] {
        if (view == m_front) {
            m_frontShowsLoad = false;
            forgetHeldText();
        }
    });
    QWebEngineView *old = std::exchange(m_views[view], webView);
    m_viewURL[view] = QUrl();
    m_unresponsive[view] = false;
    if (!old) {
        m_stack->addWidget(webView);
        return;
    }
    m_stack->insertWidget(m_stack->indexOf(old), webView);
    // Its renderer goes with it, even one stuck in the page's script.
    delete old;
    m_stack->setCurrentIndex(m_front);
}

void NBEHTMLPreview::setHTML(const QString &html, const QUrl &baseURL)
{
    if (m_buffer.expired() && html == m_html && baseURL == m_baseURL)
        return;
    for (const QMetaObject::Connection &connection : m_bufferConnections)
        disconnect(connection);
    m_buffer.reset();
    m_html = html;
    m_baseURL = baseURL;
    ++m_htmlRevision;
    ++m_source;
    textChanged();
}

void NBEHTMLPreview::follow(const std::shared_ptr<NBETextBuffer> &buffer, const QUrl &baseURL,
                            const QUrl &root)
{
    m_baseURL = baseURL;
    m_root = root;
    if (!buffer || buffer == m_buffer.lock())
        return;
    for (const QMetaObject::Connection &connection : m_bufferConnections)
        disconnect(connection);
    m_html.clear();
    m_buffer = buffer;
    // Another buffer's revisions say nothing of what the page shows.
    ++m_source;
    m_loadedRevision.reset();
    m_bufferConnections[0] =
        connect(buffer.get(), &NBETextBuffer::changed, this, &NBEHTMLPreview::textChanged);
    // The buffer's pause has the text read already.
    m_bufferConnections[1] =
        connect(buffer.get(), &NBETextBuffer::settled, this, &NBEHTMLPreview::prepare);
    textChanged();
}

void NBEHTMLPreview::textChanged()
{
    // Every change restarts the wait and cancels a reload still reading the
    // offset.
    m_reloads.supersede();
    m_prepared.reset();
    m_applyGeneration.reset();
    m_reloadTimer.start();
    if (m_buffer.expired())
        m_prepareTimer.start();
}

QString NBEHTMLPreview::takeText()
{
    m_loadedRevision = currentRevision();
    return currentText();
}

QString NBEHTMLPreview::currentText() const
{
    if (const std::shared_ptr<NBETextBuffer> buffer = m_buffer.lock())
        return buffer->snapshot();
    return m_html;
}

std::optional<quint64> NBEHTMLPreview::currentRevision() const
{
    if (const std::shared_ptr<NBETextBuffer> buffer = m_buffer.lock())
        return buffer->revision();
    return std::nullopt;
}

quint64 NBEHTMLPreview::textVersion() const
{
    return currentRevision().value_or(m_htmlRevision);
}

QWebEnginePage *NBEHTMLPreview::page(int view) const
{
    return m_views[view]->page();
}

void NBEHTMLPreview::load(int view)
{
    m_pageURL = NBEPreviewSchemeHandler::shared()->publish(m_host, m_baseURL, takeText(), m_root);
    // Each load has an address of its own: the engine takes a load of the
    // address a view already shows for a reload and puts back the offset it
    // kept for it, after ours.
    QUrl url = m_pageURL;
    url.setQuery(QStringLiteral("nbe=%1").arg(++m_loads));
    m_viewURL[view] = url;
    m_viewBaseURL[view] = m_baseURL;
    page(view)->load(url);
}

void NBEHTMLPreview::reloadNow(NBERequestOrder::Token generation)
{
    if (const std::optional<quint64> revision = currentRevision();
        revision && m_loadedRevision == revision)
        return;
    if (!canPatch()) {
        loadAtOffset(generation);
        return;
    }
    // A pause before the text rested long enough to be prepared prepares it
    // now.
    prepare();
    if (m_prepared && !m_prepared->sent)
        m_applyGeneration = generation;
    else
        apply(generation);
}

bool NBEHTMLPreview::canPatch() const
{
    return m_frontShowsLoad && !m_backGeneration && m_viewBaseURL[m_front] == m_baseURL &&
           page(m_front)->url().adjusted(QUrl::RemoveFragment) == m_viewURL[m_front] &&
           !NBEPreviewSchemeHandler::shared()->servedFilesChanged(m_host);
}

void NBEHTMLPreview::prepare()
{
    const quint64 version = textVersion();
    if ((m_prepared && m_prepared->version == version) || !canPatch())
        return;
    m_prepared = Prepared{version, m_source, currentText(), currentRevision()};
    // The page is handed only what differs from the text it holds, worked
    // out away from the keys.
    const NBERequestOrder::Token frontPage = m_frontPages.next();
    nbeWhenFinished(
        QtConcurrent::run(
            [version, text = m_prepared->text, base = m_heldVersion, held = m_heldText] {
                const bool needsLoad = NBEHTMLPreviewPatch::needsLoad(text);
                return std::make_pair(needsLoad, needsLoad ? QString()
                                                           : NBEHTMLPreviewPatch::prepareScript(
                                                                 version, text, base, held));
            }),
        this, [this, version, source = m_source, frontPage](const std::pair<bool, QString> &work) {
            if (!m_prepared || m_prepared->version != version || m_prepared->source != source)
                return;
            prepared(version, !m_frontPages.isCurrent(frontPage), work.first, work.second);
        });
}

void NBEHTMLPreview::prepared(quint64 version, bool pageChanged, bool needsLoad,
                              const QString &script)
{
    m_prepared->sent = true;
    m_prepared->needsLoad = needsLoad;
    // Worked out against a page that has gone: the pause hands the new one
    // the whole text.
    if (pageChanged) {
        m_prepared.reset();
    } else if (!needsLoad) {
        m_heldVersion = version;
        m_heldText = m_prepared->text;
        const std::shared_ptr<bool> alive = m_alive;
        page(m_front)->runJavaScript(
            script, QWebEngineScript::ApplicationWorld, [this, alive](const QVariant &answer) {
                // The page held another text: the next one goes whole.
                if (*alive && answer.toString() == QLatin1String(NBEHTMLPreviewPatch::stale))
                    forgetHeldText();
            });
    }
    if (const std::optional<NBERequestOrder::Token> generation =
            std::exchange(m_applyGeneration, std::nullopt)) {
        if (m_prepared)
            apply(*generation);
        else
            patchWhole(*generation);
    }
}

void NBEHTMLPreview::apply(NBERequestOrder::Token generation)
{
    if (!m_prepared || m_prepared->needsLoad || !canPatch()) {
        loadAtOffset(generation);
        return;
    }
    m_loadedRevision = m_prepared->revision;
    const std::shared_ptr<bool> alive = m_alive;
    const int view = m_front;
    page(view)->runJavaScript(
        NBEHTMLPreviewPatch::applyScript(m_prepared->version), QWebEngineScript::ApplicationWorld,
        [this, alive, generation, view, text = m_prepared->text](const QVariant &answer) {
            if (!*alive)
                return;
            if (answer.toString() == QLatin1String(NBEHTMLPreviewPatch::done) && view == m_front)
                patched(text);
            else if (!m_reloads.isCurrent(generation))
                return;
            else if (answer.toString() == QLatin1String(NBEHTMLPreviewPatch::absent))
                patchWhole(generation);
            else
                loadAtOffset(generation);
        });
}

void NBEHTMLPreview::patchWhole(NBERequestOrder::Token generation)
{
    const QString text = takeText();
    if (NBEHTMLPreviewPatch::needsLoad(text) || !canPatch()) {
        loadAtOffset(generation);
        return;
    }
    const quint64 version = textVersion();
    m_heldVersion = version;
    m_heldText = text;
    const std::shared_ptr<bool> alive = m_alive;
    const int view = m_front;
    page(view)->runJavaScript(
        NBEHTMLPreviewPatch::patchScript(version, text), QWebEngineScript::ApplicationWorld,
        [this, alive, generation, view, text](const QVariant &answer) {
            if (!*alive)
                return;
            if (answer.toString() == QLatin1String(NBEHTMLPreviewPatch::done) && view == m_front)
                patched(text);
            else if (m_reloads.isCurrent(generation))
                loadAtOffset(generation);
        });
}

void NBEHTMLPreview::patched(const QString &text)
{
    // A reload by the reader gets this text too.
    NBEPreviewSchemeHandler::shared()->update(m_host, text);
    // The page may move as its content settles: that is no scrolling of the
    // reader's.
    m_ignoreReportsUntil = QDateTime::currentMSecsSinceEpoch() + NBEScrollLink::echoWindowMs * 2;
    Q_EMIT pageLoaded(true);
}

void NBEHTMLPreview::forgetHeldText()
{
    m_frontPages.supersede();
    m_heldVersion.reset();
    m_heldText = QString();
    // A patch still being worked out finds the page gone when it is done.
    if (m_prepared && m_prepared->sent)
        m_prepared.reset();
}

void NBEHTMLPreview::loadAtOffset(NBERequestOrder::Token generation)
{
    const std::shared_ptr<bool> alive = m_alive;
    // A page busy in a script of its own never answers: the new page loads
    // at the top instead of waiting for it.
    const auto answered = std::make_shared<bool>(false);
    const int view = m_front;
    QTimer::singleShot(unresponsiveMs, this, [this, answered, generation, view] {
        if (std::exchange(*answered, true))
            return;
        m_unresponsive[view] = true;
        if (m_reloads.isCurrent(generation))
            loadBehind(generation);
    });
    page(m_front)->runJavaScript(
        QStringLiteral("[window.scrollX, window.scrollY]"), QWebEngineScript::ApplicationWorld,
        [this, alive, answered, generation](const QVariant &result) {
            if (!*alive || std::exchange(*answered, true))
                return;
            const QVariantList offset = result.toList();
            if (offset.size() == 2 && offset[0].canConvert<double>() &&
                offset[1].canConvert<double>())
                m_restoreScroll = QPointF(offset[0].toDouble(), offset[1].toDouble());
            if (!m_reloads.isCurrent(generation))
                return;
            loadBehind(generation);
        });
}

void NBEHTMLPreview::loadBehind(NBERequestOrder::Token generation)
{
    // The page behind takes the new text; the one on screen stays until the
    // new one is drawn at the same place.
    const int back = 1 - m_front;
    // A page behind that is still loading long after it was asked for may
    // be stuck in its own script, which no new load interrupts: a new view
    // takes its place.
    if (m_unresponsive[back] ||
        (m_backGeneration && m_backClock.isValid() && m_backClock.elapsed() > unresponsiveMs)) {
        // Answers the old page still gives find no load of theirs.
        m_backGeneration.reset();
        m_probe = Probe::none;
        makeView(back);
    }
    m_backClock.start();
    const QPointF at = m_restoreScroll.value_or(QPointF());
    // The page on screen shows at its corner what the new one will, as a
    // rule: an edit rarely reaches it.
    const std::optional<Corner> shown = cornerOf(m_views[m_front]);
    const std::optional<Corner> behind = cornerOf(m_views[back]);
    m_probeColour = probeColour(shown ? shown->inside : QColor(Qt::white),
                                behind ? std::optional<QColor>(behind->inside) : std::nullopt);
    m_restoreSource = QString::fromLatin1(restoreScript)
                          .arg(shortest(at.x()), shortest(at.y()), QString::number(generation),
                               QString::number(probeSide), m_probeColour.name(QColor::HexRgb));
    QWebEngineScriptCollection &scripts = page(back)->scripts();
    for (const QWebEngineScript &old : scripts.find(restoreScriptName))
        scripts.remove(old);
    QWebEngineScript restore;
    restore.setName(restoreScriptName);
    restore.setSourceCode(m_restoreSource);
    restore.setInjectionPoint(QWebEngineScript::DocumentReady);
    restore.setWorldId(QWebEngineScript::ApplicationWorld);
    restore.setRunsOnSubFrames(false);
    scripts.insert(restore);
    m_backGeneration = generation;
    m_editorFraction.reset();
    m_swapTimer.stop();
    m_probeTimer.stop();
    m_probe = Probe::none;
    // The covered view isn't drawn for each frame of the page loading in it:
    // that work is on the window's thread, which the engine's load shares.
    // It draws again once the page is at the offset and marked.
    m_views[back]->setUpdatesEnabled(false);
    load(back);
}

void NBEHTMLPreview::pageFinished(int view, bool ok)
{
    if (!ok)
        reveal();
    if (view == m_front || !ok || !m_backGeneration)
        return;
    // A page that draws nothing comes up a little later; one not on screen
    // at all comes up now.
    if (!isVisible()) {
        bringUp();
        return;
    }
    m_swapTimer.start();
    // A page whose document was replaced by its scripts missed the restore;
    // it is put in place now.
    page(view)->runJavaScript(m_restoreSource, QWebEngineScript::ApplicationWorld);
}

void NBEHTMLPreview::canvasKnown(QWebEnginePage *loaded, const QColor &canvas, bool opaque)
{
    // A view shown again shows its page's own colour until the page's first
    // frame: under an opaque canvas only, as under any other it would change
    // the page.
    if (opaque && loaded->backgroundColor() != canvas)
        loaded->setBackgroundColor(canvas);
    if (m_revealed)
        return;
    m_firstCanvas = canvas;
    update();
}

void NBEHTMLPreview::reveal()
{
    if (m_revealed)
        return;
    m_revealed = true;
    m_longWaitTimer.stop();
    m_pictureBefore = QPixmap();
    m_pages->setGeometry(rect());
}

void NBEHTMLPreview::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    m_pages->setGeometry(rect().translated(m_revealed ? 0 : width(), 0));
}

void NBEHTMLPreview::setPictureBefore(const QPixmap &picture, const QWidget *area)
{
    m_pictureBefore = picture;
    m_pictureArea = area;
    update();
}

void NBEHTMLPreview::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!m_revealed && !m_longWaitTimer.isActive())
        m_longWaitTimer.start();
}

void NBEHTMLPreview::paintEvent(QPaintEvent *event)
{
    if (m_revealed)
        return;
    QPainter painter(this);
    if (m_longWaits > 0 && m_firstCanvas) {
        painter.fillRect(event->rect(), *m_firstCanvas);
        return;
    }
    painter.fillRect(event->rect(), palette().window());
    if (m_longWaits < 2 && m_pictureArea && m_pictureArea->isAncestorOf(this))
        painter.drawPixmap(-mapTo(m_pictureArea, QPoint(0, 0)), m_pictureBefore);
}

bool NBEHTMLPreview::showsProbe(int view) const
{
    const std::optional<Corner> corner = cornerOf(m_views[view]);
    return corner && sameColour(corner->inside, m_probeColour);
}

void NBEHTMLPreview::probeAdded(int view, NBERequestOrder::Token generation)
{
    if (view == m_front || m_backGeneration != generation || m_probe != Probe::none)
        return;
    m_probe = Probe::appearing;
    m_views[view]->setUpdatesEnabled(true);
    m_probeClock.start();
    m_probeTimer.start();
    watchProbe();
}

void NBEHTMLPreview::watchProbe()
{
    if (!m_backGeneration) {
        m_probeTimer.stop();
        return;
    }
    const int back = 1 - m_front;
    const NBERequestOrder::Token generation = *m_backGeneration;
    const bool timedOut = m_probeClock.elapsed() > probeLimitMs;
    switch (m_probe) {
    case Probe::none:
        m_probeTimer.stop();
        return;
    case Probe::appearing:
        if (const std::optional<Corner> corner = cornerOf(m_views[back]);
            corner && sameColour(corner->inside, m_probeColour)) {
            // The view holds a frame drawn at the offset. Where the page
            // beside the square has its colour to the eye, the page comes up
            // now and the square goes after.
            if (nearColour(corner->right, m_probeColour) &&
                nearColour(corner->below, m_probeColour)) {
                bringUp();
                return;
            }
            // Elsewhere the square goes first, and the page comes up once the
            // view holds a frame without it.
            m_probe = Probe::removing;
            m_probeClock.start();
            const std::shared_ptr<bool> alive = m_alive;
            page(back)->runJavaScript(
                QString::fromLatin1(removeProbeScript), QWebEngineScript::ApplicationWorld,
                [this, alive, generation](const QVariant &) {
                    if (!*alive || m_backGeneration != generation || m_probe != Probe::removing)
                        return;
                    m_probe = Probe::going;
                    m_probeClock.start();
                    watchProbe();
                });
        } else if (timedOut) {
            bringUp();
        }
        return;
    case Probe::removing:
        if (timedOut)
            bringUp();
        return;
    case Probe::going:
        if (!showsProbe(back) || timedOut)
            bringUp();
        return;
    }
}

void NBEHTMLPreview::bringUp()
{
    if (!m_backGeneration)
        return;
    const int view = 1 - m_front;
    const bool hadFocus =
        m_views[m_front]->isAncestorOf(QApplication::focusWidget()) || m_views[m_front]->hasFocus();
    // The square, where it is still there, goes with the next frame; one
    // never drawn (in a hidden window) must not be drawn later.
    page(view)->runJavaScript(QString::fromLatin1(removeProbeScript),
                              QWebEngineScript::ApplicationWorld);
    // The restore belongs to this load: a page the reader goes on to (a
    // link, a reload) opens at its top, unmarked, and reports its scrolling.
    QWebEngineScriptCollection &scripts = page(view)->scripts();
    for (const QWebEngineScript &restore : scripts.find(restoreScriptName))
        scripts.remove(restore);
    // A view under another one keeps the picture it last showed: it is
    // drawn whole once now, before it comes up.
    m_views[view]->setUpdatesEnabled(true);
    m_views[view]->grab();
    m_front = view;
    m_frontShowsLoad = true;
    forgetHeldText();
    m_stack->setCurrentIndex(view);
    reveal();
    if (hadFocus)
        m_views[view]->setFocus();
    m_backGeneration.reset();
    m_swapTimer.stop();
    m_probeTimer.stop();
    m_probe = Probe::none;
    m_restoreScroll.reset();
    // The page that went behind stuck in its script stops running now.
    if (m_unresponsive[1 - m_front])
        makeView(1 - m_front);
    // Putting the page back is no scrolling of the user's: its report must
    // not move the editor.
    m_ignoreReportsUntil = QDateTime::currentMSecsSinceEpoch() + NBEScrollLink::echoWindowMs * 2;
    // Scroll scripts sent to the page now behind don't matter any more.
    m_scrollInFlight = false;
    if (const std::optional<double> fraction = std::exchange(m_editorFraction, std::nullopt))
        m_pendingScroll = *fraction;
    if (m_pendingScroll)
        flushScroll();
    Q_EMIT pageLoaded(true);
}

void NBEHTMLPreview::flushScroll()
{
    if (!m_pendingScroll)
        return;
    const double fraction = *std::exchange(m_pendingScroll, std::nullopt);
    m_scrollInFlight = true;
    const std::shared_ptr<bool> alive = m_alive;
    page(m_front)->runJavaScript(
        // A page still being replaced has no document element yet.
        QStringLiteral("if (document.documentElement) {\n"
                       "  window.scrollTo(0, %1 * Math.max(0, "
                       "document.documentElement.scrollHeight - window.innerHeight));\n"
                       "  window.nbeSentTo = window.scrollY;\n"
                       "}")
            .arg(shortest(fraction)),
        QWebEngineScript::ApplicationWorld, [this, alive](const QVariant &) {
            if (!*alive)
                return;
            m_scrollInFlight = false;
            if (m_pendingScroll)
                flushScroll();
        });
}

void NBEHTMLPreview::pageScrolled(int view, const QString &body)
{
    bool isNumber = false;
    const double fraction = body.toDouble(&isNumber);
    if (view != m_front || !isNumber || !m_scrollLink)
        return;
    if (QDateTime::currentMSecsSinceEpoch() < m_ignoreReportsUntil)
        return;
    m_scrollLink->previewScrolled(fraction);
}
