#pragma once

#include <QPointF>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QUrl>
#include <QWidget>

#include <memory>
#include <optional>

class NBEScrollLink;
class QWebEngineView;
class QWebEnginePage;

// The live page of an HTML tab: the buffer's text rendered by the web engine
// with the file's folder as its base. A changed text reloads the page shortly
// after the last change, at the scroll offset it had. With a scroll link the
// page reports its scrolling to the link and follows the editor's, with at
// most one scroll script in the page at a time.
class NBEHTMLPreview : public QWidget
{
    Q_OBJECT

public:
    NBEHTMLPreview(const QString &html, const QUrl &baseURL, NBEScrollLink *scrollLink,
                   QWidget *parent = nullptr);
    ~NBEHTMLPreview() override;

    // Takes the newest text; an unchanged text costs one comparison.
    void setHTML(const QString &html, const QUrl &baseURL);

    QWebEngineView *webView() const { return m_view; }
    QUrl pageURL() const { return m_pageURL; }

    static constexpr int reloadDelayMs = 350;

Q_SIGNALS:
    // A load of the page finished (after the scroll offset was sent back).
    void pageLoaded(bool ok);

private:
    void load();
    void reloadNow(quint64 generation);
    void pageFinished(bool ok);
    void flushScroll();
    void pageScrolled(const QString &body);

    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
    QWebEngineView *m_view;
    QWebEnginePage *m_page;
    QPointer<NBEScrollLink> m_scrollLink;
    QString m_host;
    QUrl m_pageURL;
    QString m_lastHTML;
    QUrl m_baseURL;
    QTimer m_reloadTimer;
    quint64 m_reloadGeneration = 0;
    bool m_loading = false;
    std::optional<QPointF> m_restoreScroll;
    qint64 m_ignoreReportsUntil = 0;
    std::optional<double> m_pendingScroll;
    bool m_scrollInFlight = false;
};
