#include "NBEHTMLPreview.h"

#include "NBEPreviewSchemeHandler.h"
#include "NBEScrollLink.h"

#include <QDateTime>
#include <QLocale>
#include <QVBoxLayout>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineView>

#include <functional>

#if defined(__SANITIZE_ADDRESS__)
// The web engine's own library frees some objects through a base class of
// another size; that check would stop every program that shows a page.
extern "C" const char *__asan_default_options()
{
    return "new_delete_type_mismatch=0";
}
#endif

namespace {

// Reports the page's scroll fraction at most once per animation frame. The
// report travels as a console message, which only our page reads.
const char *const scrollReportScript = "(function () {\n"
                                       "  var ticking = false;\n"
                                       "  function report() {\n"
                                       "    var max = Math.max(0, "
                                       "document.documentElement.scrollHeight - "
                                       "window.innerHeight);\n"
                                       "    console.log('nbeScroll ' + JSON.stringify(max > 0 ? "
                                       "window.scrollY / max : 0));\n"
                                       "    ticking = false;\n"
                                       "  }\n"
                                       "  window.addEventListener('scroll', function () {\n"
                                       "    if (!ticking) { window.requestAnimationFrame(report); "
                                       "ticking = true; }\n"
                                       "  }, { passive: true });\n"
                                       "})();";

const QString scrollMessagePrefix = QStringLiteral("nbeScroll ");

class PreviewPage : public QWebEnginePage
{
public:
    using QWebEnginePage::QWebEnginePage;
    std::function<void(const QString &)> onScrollMessage;

protected:
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString &message,
                                  int line, const QString &source) override
    {
        if (onScrollMessage && message.startsWith(scrollMessagePrefix)) {
            onScrollMessage(message.mid(scrollMessagePrefix.size()));
            return;
        }
        QWebEnginePage::javaScriptConsoleMessage(level, message, line, source);
    }
};

QString shortest(double value)
{
    return QString::number(value, 'g', QLocale::FloatingPointShortest);
}

} // namespace

NBEHTMLPreview::NBEHTMLPreview(const QString &html, const QUrl &baseURL, NBEScrollLink *scrollLink,
                               QWidget *parent)
    : QWidget(parent)
    , m_scrollLink(scrollLink)
    , m_host(NBEPreviewSchemeHandler::shared()->newHost())
    , m_lastHTML(html)
    , m_baseURL(baseURL)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_view = new QWebEngineView(this);
    auto *page = new PreviewPage(NBEPreviewSchemeHandler::profile(), m_view);
    m_page = page;
    const std::shared_ptr<bool> alive = m_alive;
    if (scrollLink) {
        page->onScrollMessage = [this, alive](const QString &body) {
            if (*alive)
                pageScrolled(body);
        };
        QWebEngineScript script;
        script.setName(QStringLiteral("nbeScroll"));
        script.setSourceCode(QString::fromLatin1(scrollReportScript));
        script.setInjectionPoint(QWebEngineScript::DocumentReady);
        script.setWorldId(QWebEngineScript::ApplicationWorld);
        script.setRunsOnSubFrames(false);
        page->scripts().insert(script);
    }
    // A page without a background of its own shows the window behind it.
    page->setBackgroundColor(Qt::transparent);
    m_view->setPage(page);
    layout->addWidget(m_view);
    connect(page, &QWebEnginePage::loadFinished, this, &NBEHTMLPreview::pageFinished);

    m_reloadTimer.setSingleShot(true);
    m_reloadTimer.setTimerType(Qt::PreciseTimer);
    m_reloadTimer.setTimerType(Qt::PreciseTimer);
    m_reloadTimer.setInterval(reloadDelayMs);
    connect(&m_reloadTimer, &QTimer::timeout, this, [this] { reloadNow(m_reloadGeneration); });

    load();

    if (scrollLink) {
        scrollLink->scrollPreview = [this, alive](double fraction) {
            if (!*alive)
                return;
            m_pendingScroll = fraction;
            if (!m_scrollInFlight)
                flushScroll();
        };
    }
}

NBEHTMLPreview::~NBEHTMLPreview()
{
    // Script answers that arrive while the page goes away find nothing.
    *m_alive = false;
    NBEPreviewSchemeHandler::shared()->withdraw(m_host);
    delete m_view;
}

void NBEHTMLPreview::setHTML(const QString &html, const QUrl &baseURL)
{
    if (html == m_lastHTML && baseURL == m_baseURL)
        return;
    m_lastHTML = html;
    m_baseURL = baseURL;
    // Every change restarts the wait and cancels a reload still reading the
    // offset.
    ++m_reloadGeneration;
    m_reloadTimer.start();
}

void NBEHTMLPreview::load()
{
    m_loading = true;
    m_pageURL = NBEPreviewSchemeHandler::shared()->publish(m_host, m_baseURL, m_lastHTML);
    m_page->load(m_pageURL);
}

void NBEHTMLPreview::reloadNow(quint64 generation)
{
    // While the last reload is still loading, the page shows its top; the
    // offset saved for that load is the one to keep.
    if (m_loading && m_restoreScroll) {
        load();
        return;
    }
    const std::shared_ptr<bool> alive = m_alive;
    m_page->runJavaScript(
        QStringLiteral("[window.scrollX, window.scrollY]"), QWebEngineScript::ApplicationWorld,
        [this, alive, generation](const QVariant &result) {
            if (!*alive)
                return;
            const QVariantList offset = result.toList();
            if (offset.size() == 2 && offset[0].canConvert<double>() &&
                offset[1].canConvert<double>())
                m_restoreScroll = QPointF(offset[0].toDouble(), offset[1].toDouble());
            if (generation != m_reloadGeneration)
                return;
            load();
        });
}

void NBEHTMLPreview::pageFinished(bool ok)
{
    if (!ok)
        return;
    m_loading = false;
    // A scroll script sent to the page that went away never answers.
    m_scrollInFlight = false;
    if (m_restoreScroll) {
        const QPointF offset = *std::exchange(m_restoreScroll, std::nullopt);
        // Putting the page back is no scrolling of the user's: its report
        // must not move the editor.
        m_ignoreReportsUntil =
            QDateTime::currentMSecsSinceEpoch() + NBEScrollLink::echoWindowMs * 2;
        m_page->runJavaScript(QStringLiteral("window.scrollTo(%1, %2)")
                                  .arg(shortest(offset.x()), shortest(offset.y())),
                              QWebEngineScript::ApplicationWorld);
    }
    if (m_pendingScroll)
        flushScroll();
    Q_EMIT pageLoaded(ok);
}

void NBEHTMLPreview::flushScroll()
{
    if (!m_pendingScroll)
        return;
    const double fraction = *std::exchange(m_pendingScroll, std::nullopt);
    m_scrollInFlight = true;
    const std::shared_ptr<bool> alive = m_alive;
    m_page->runJavaScript(
        // A page still being replaced has no document element yet.
        QStringLiteral("document.documentElement && window.scrollTo(0, %1 * Math.max(0, "
                       "document.documentElement.scrollHeight - window.innerHeight))")
            .arg(shortest(fraction)),
        QWebEngineScript::ApplicationWorld, [this, alive](const QVariant &) {
            if (!*alive)
                return;
            m_scrollInFlight = false;
            if (m_pendingScroll)
                flushScroll();
        });
}

void NBEHTMLPreview::pageScrolled(const QString &body)
{
    bool isNumber = false;
    const double fraction = body.toDouble(&isNumber);
    if (!isNumber || !m_scrollLink)
        return;
    if (QDateTime::currentMSecsSinceEpoch() < m_ignoreReportsUntil)
        return;
    m_scrollLink->previewScrolled(fraction);
}
