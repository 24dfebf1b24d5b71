#pragma once

#include "NBERequestOrder.h"

#include <QColor>
#include <QElapsedTimer>
#include <QPixmap>
#include <QPointF>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QUrl>
#include <QWidget>

#include <memory>
#include <optional>

class NBEScrollLink;
class NBETextBuffer;
class QStackedLayout;
class QWebEngineView;
class QWebEnginePage;

// The live page of an HTML tab: the buffer's text rendered by the web engine
// with the file's folder as its base. A changed text shows shortly after the
// last change: where only the page's body changed, the nodes that differ are
// replaced in the page on screen (worked out as soon as the text rests, so
// that the end of the wait only has them made); otherwise the page reloads
// at the scroll offset it had, the new page loading behind the one on screen
// and taking its place once it is drawn there, so a change never shows an
// empty page or the page's top. With a scroll link the page reports its
// scrolling to the link and follows the editor's, with at most one scroll
// script in the page at a time. The first page too takes the place of what
// was on screen once it is drawn, so that a dark page doesn't open on the
// engine's white.
class NBEHTMLPreview : public QWidget
{
    Q_OBJECT

public:
    NBEHTMLPreview(const QString &html, const QUrl &baseURL, NBEScrollLink *scrollLink,
                   QWidget *parent = nullptr);
    // Shows the buffer's text and follows it (see follow()).
    NBEHTMLPreview(const std::shared_ptr<NBETextBuffer> &buffer, const QUrl &baseURL,
                   const QUrl &root, NBEScrollLink *scrollLink, QWidget *parent = nullptr);
    ~NBEHTMLPreview() override;

    // Takes the newest text; an unchanged text costs one comparison.
    void setHTML(const QString &html, const QUrl &baseURL);
    // Follows a buffer instead: an edit only restarts the wait, and the text
    // is taken from the buffer when the reload starts. Files outside `root`
    // (the project folder) are never served to the page.
    void follow(const std::shared_ptr<NBETextBuffer> &buffer, const QUrl &baseURL,
                const QUrl &root);

    // The view on screen.
    QWebEngineView *webView() const { return m_views[m_front]; }
    QUrl pageURL() const { return m_pageURL; }

    // The colour of the square that marks a page drawn at its place behind
    // the one on screen: one the eye can't tell from the corner `shown` of
    // the page on screen, which the view's picture can tell from it and
    // from the corner of the picture `behind`.
    static QColor probeColour(const QColor &shown, const std::optional<QColor> &behind);

    // What `area`, an ancestor, showed before the preview came: the preview
    // shows its part of it until the first page is up.
    void setPictureBefore(const QPixmap &picture, const QWidget *area);

    static constexpr int reloadDelayMs = 350;
    // How long a page may keep a script answer or a load waiting before it
    // counts as stuck in a script of its own.
    static constexpr int unresponsiveMs = 2000;

protected:
    void showEvent(QShowEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

Q_SIGNALS:
    // A page is on screen (at the offset the one before had), loaded or
    // patched.
    void pageLoaded(bool ok);

private:
    NBEHTMLPreview(NBEScrollLink *scrollLink, QWidget *parent);
    // Puts a new web view in the place of `view`.
    void makeView(int view);
    void textChanged();
    QString takeText();
    QString currentText() const;
    std::optional<quint64> currentRevision() const;
    // The buffer's revision, or that of the HTML given without one.
    quint64 textVersion() const;
    void load(int view);
    void reloadNow(NBERequestOrder::Token generation);
    bool canPatch() const;
    void prepare();
    void prepared(quint64 version, bool pageChanged, bool needsLoad, const QString &script);
    void apply(NBERequestOrder::Token generation);
    void patchWhole(NBERequestOrder::Token generation);
    void patched(const QString &text);
    void forgetHeldText();
    void loadAtOffset(NBERequestOrder::Token generation);
    void loadBehind(NBERequestOrder::Token generation);
    void pageFinished(int view, bool ok);
    // A loaded page's canvas has this colour.
    void canvasKnown(QWebEnginePage *loaded, const QColor &canvas, bool opaque);
    // Puts the views in place.
    void reveal();
    bool showsProbe(int view) const;
    void probeAdded(int view, NBERequestOrder::Token generation);
    void watchProbe();
    // Raises the page behind.
    void bringUp();
    void flushScroll();
    void pageScrolled(int view, const QString &body);
    QWebEnginePage *page(int view) const;

    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
    // Holds both views, beside the preview until the first page is up.
    QWidget *m_pages;
    QStackedLayout *m_stack;
    bool m_revealed = false;
    QPixmap m_pictureBefore;
    QPointer<const QWidget> m_pictureArea;
    // Waits for the first page to draw: after the first, the page's colour
    // shows in place of the picture before, once it is known; after the
    // second, where it isn't, the window's.
    QTimer m_longWaitTimer;
    int m_longWaits = 0;
    std::optional<QColor> m_firstCanvas;
    QWebEngineView *m_views[2] = {nullptr, nullptr};
    // What each view was last asked to load, and the folder it resolves
    // against.
    QUrl m_viewURL[2];
    QUrl m_viewBaseURL[2];
    int m_front = 1;
    // A view whose page didn't answer in time.
    bool m_unresponsive[2] = {false, false};
    // Since the load behind was asked for.
    QElapsedTimer m_backClock;
    // The page on screen is the one last loaded into its view, whole.
    bool m_frontShowsLoad = false;
    QPointer<NBEScrollLink> m_scrollLink;
    QString m_host;
    QUrl m_pageURL;
    QString m_html;
    std::weak_ptr<NBETextBuffer> m_buffer;
    QMetaObject::Connection m_bufferConnections[2];
    std::optional<quint64> m_loadedRevision;
    QUrl m_baseURL;
    QUrl m_root;
    QTimer m_reloadTimer;
    // Without a buffer the text is prepared once it rests as long as a
    // buffer's does.
    QTimer m_prepareTimer;
    // The revision of `m_html`, when the text has no buffer.
    quint64 m_htmlRevision = 0;
    // Moves with every buffer or HTML followed: revisions of different
    // texts can be equal.
    quint64 m_source = 0;
    // The patch of the newest text, worked out on the pool and then in the
    // page on screen ahead of the pause.
    struct Prepared
    {
        quint64 version = 0;
        quint64 source = 0;
        QString text;
        std::optional<quint64> revision;
        bool needsLoad = false;
        bool sent = false;
    };
    std::optional<Prepared> m_prepared;
    // A pause that came before its patch reached the page.
    std::optional<NBERequestOrder::Token> m_applyGeneration;
    // The text the page on screen holds for patches, by number, and which
    // page that is: a load or the other view coming up holds none.
    std::optional<quint64> m_heldVersion;
    QString m_heldText;
    NBERequestOrder m_frontPages;
    QTimer m_swapTimer;
    // The page behind is shown once its view's picture holds the square its
    // restore script draws after scrolling, and, where the page beside the
    // square differs from it to the eye, then lost it.
    enum class Probe { none, appearing, removing, going };
    Probe m_probe = Probe::none;
    QColor m_probeColour;
    QTimer m_probeTimer;
    QElapsedTimer m_probeClock;
    QString m_restoreSource;
    // Each reload's token: a change of the text, from the buffer or given,
    // makes the reload under way stale.
    NBERequestOrder m_reloads;
    quint64 m_loads = 0;
    // The reload loading behind the page on screen, if any.
    std::optional<NBERequestOrder::Token> m_backGeneration;
    std::optional<QPointF> m_restoreScroll;
    qint64 m_ignoreReportsUntil = 0;
    std::optional<double> m_pendingScroll;
    std::optional<double> m_editorFraction;
    bool m_scrollInFlight = false;
};
