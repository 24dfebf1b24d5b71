#include "NBEMarkdownPreview.h"

#include "NBEBrand.h"
#include "NBEMarkdownParser.h"
#include "NBEWhenFinished.h"

#include <QDesktopServices>
#include <QFontDatabase>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QScrollBar>
#include <QTextDocument>
#include <QThreadPool>
#include <QtConcurrent>

namespace {

// Builds run one at a time on a thread of their own, whose memory stays warm
// from one build to the next: a long page parses markedly faster there than
// on whichever pool thread is free.
QThreadPool *buildThread()
{
    static QThreadPool *const pool = [] {
        auto *pool = new QThreadPool(QCoreApplication::instance());
        pool->setMaxThreadCount(1);
        pool->setExpiryTimeout(-1);
        return pool;
    }();
    return pool;
}

} // namespace

NBEMarkdownPreview::NBEMarkdownPreview(const QString &text, const std::optional<QUrl> &baseURL,
                                       const NBETheme &theme, double fontSize, QWidget *parent)
    : QTextBrowser(parent)
{
    setObjectName(QStringLiteral("markdownPreview"));
    setFrameShape(QFrame::NoFrame);
    setOpenLinks(false);
    // No keyboard selection: it brings a text caret, which promises typing
    // into a page that takes none. Select All and Copy keep their keys.
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::LinksAccessibleByMouse |
                            Qt::LinksAccessibleByKeyboard);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // Links with an address of their own open in the system's handler.
    connect(this, &QTextBrowser::anchorClicked, this, [](const QUrl &url) {
        if (!url.scheme().isEmpty())
            QDesktopServices::openUrl(url);
    });
    m_text = text;
    m_baseURL = baseURL;
    m_theme = theme;
    m_fontSize = fontSize;
    rebuild();
}

NBEMarkdownPreview::~NBEMarkdownPreview()
{
    // A build still running finds itself superseded.
    m_builds.supersede();
}

void NBEMarkdownPreview::setInputs(const QString &text, const std::optional<QUrl> &baseURL,
                                   const NBETheme &theme, double fontSize)
{
    const bool restyled = baseURL != m_baseURL || theme != m_theme || fontSize != m_fontSize;
    if (text == m_text && !restyled)
        return;
    if (restyled)
        ++m_styleRevision;
    m_text = text;
    m_baseURL = baseURL;
    m_theme = theme;
    m_fontSize = fontSize;
    rebuild();
}

NBEMarkdownPreviewStyle NBEMarkdownPreview::style() const
{
    NBEMarkdownPreviewStyle style;
    style.baseURL = m_baseURL;
    style.background = m_theme.editorBackground;
    style.text = m_theme.editorText;
    style.secondary = m_theme.editorText;
    style.secondary.setAlphaF(0.6f);
    style.box = m_theme.gutterBackground;
    style.separator = m_theme.gutterSeparator;
    style.accent = NBEBrand::amber();
    style.fontSize = m_fontSize;
    style.fontFamily = QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
    style.fixedFontFamily = QFontDatabase::systemFont(QFontDatabase::FixedFont).family();
    style.contentWidth = contentWidth();
    style.remoteImages = m_remoteImages;
    return style;
}

double NBEMarkdownPreview::contentWidth() const
{
    const int width = viewport()->width() > 100 ? viewport()->width() : 640;
    return width - 2 * NBEMarkdownPreviewDocument::horizontalPadding;
}

void NBEMarkdownPreview::rebuild()
{
    QPalette colors = palette();
    colors.setColor(QPalette::Base, m_theme.editorBackground);
    colors.setColor(QPalette::Window, m_theme.editorBackground);
    colors.setColor(QPalette::Text, m_theme.editorText);
    setPalette(colors);

    m_built = false;
    const NBERequestOrder::Token generation = m_builds.next();
    // One build at a time: inputs that change meanwhile are built when it
    // ends, from the newest text, so edits never pile up builds.
    if (m_building)
        return;
    m_building = true;
    const QString text = m_text;
    const NBEMarkdownPreviewStyle style = this->style();
    QThread *owner = thread();
    const bool restyled = !m_hasPage || m_showsHead || m_pageStyleRevision != m_styleRevision;
    const std::optional<QList<NBEMarkdownBlock>> shown =
        restyled ? std::nullopt : std::optional(m_content.blocks);
    // A page built anew shows its head first only where the reader would see
    // it: near the top, and not in place of a head already shown.
    const bool headFirst = !m_showsHead && verticalScrollBar()->value() <= viewport()->height();
    const int styleRevision = m_styleRevision;
    nbeWhenFinished(QtConcurrent::run(
                        buildThread(),
                        [text, style, owner, shown, headFirst] {
                            Update update;
                            QList<NBEMarkdownBlock> blocks = NBEMarkdownParser::parse(text);
                            if (shown) {
                                update.change =
                                    NBEMarkdownPreviewDocument::change(*shown, blocks, style);
                                if (NBEMarkdownPreviewDocument::isWorthUpdating(update.change))
                                    return update;
                            }
                            if (headFirst && blocks.size() > headBlocks) {
                                update.build = NBEMarkdownPreviewDocument::build(
                                    blocks.first(headBlocks), style, owner);
                                update.whole = std::move(blocks);
                                return update;
                            }
                            update.build = NBEMarkdownPreviewDocument::build(blocks, style, owner);
                            return update;
                        }),
                    this, [this, generation, styleRevision, style](const Update &update) {
                        finish(update, generation, styleRevision, style);
                    });
}

void NBEMarkdownPreview::finish(const Update &update, NBERequestOrder::Token generation,
                                int styleRevision, const NBEMarkdownPreviewStyle &style)
{
    m_building = false;
    if (!m_builds.isCurrent(generation)) {
        rebuild();
        return;
    }
    // The rest of the page, from the same parse and look, is built while
    // the head goes in and is read.
    if (update.whole) {
        m_building = true;
        QThread *owner = thread();
        nbeWhenFinished(QtConcurrent::run(buildThread(),
                                          [blocks = *update.whole, style, owner] {
                                              Update whole;
                                              whole.build = NBEMarkdownPreviewDocument::build(
                                                  blocks, style, owner);
                                              return whole;
                                          }),
                        this, [this, generation, styleRevision, style](const Update &whole) {
                            finish(whole, generation, styleRevision, style);
                        });
    }
    install(update);
    m_pageStyleRevision = styleRevision;
}

void NBEMarkdownPreview::install(const Update &update)
{
    QStringList remoteImages;
    if (update.build.document) {
        QTextDocument *document = update.build.document->release();
        if (!document)
            return;
        int scroll = verticalScrollBar()->value();
        // The shorter head may have pulled the reader up; unless they moved
        // since, the whole page puts them back.
        if (m_showsHead && scroll == m_headSettledScroll)
            scroll = m_headScroll;
        // The editor frees only a page of its own making: the one shown
        // before goes once the new one is painted.
        QTextDocument *shown = this->document()->parent() == this ? this->document() : nullptr;
        document->setParent(this);
        setDocument(document);
        if (shown)
            shown->deleteLater();
        m_content = update.build.content;
        m_hasPage = true;
        NBEMarkdownPreviewDocument::fitImages(document, m_content.images, contentWidth());
        verticalScrollBar()->setValue(scroll);
        m_showsHead = update.whole.has_value();
        m_headScroll = scroll;
        m_headSettledScroll = verticalScrollBar()->value();
        remoteImages = update.build.remoteImages;
    } else {
        // The blocks shown before are freed on the build thread: a long page has
        // tens of thousands of them.
        QList<NBEMarkdownBlock> shown = m_content.blocks;
        remoteImages =
            NBEMarkdownPreviewDocument::update(document(), m_content, update.change, style());
        buildThread()->start([shown = std::move(shown)] {});
    }
    fetchRemoteImages(remoteImages);
    if (m_showsHead) {
        Q_EMIT headShown();
        return;
    }
    m_built = true;
    Q_EMIT built();
}

void NBEMarkdownPreview::resizeEvent(QResizeEvent *event)
{
    QTextBrowser::resizeEvent(event);
    NBEMarkdownPreviewDocument::fitImages(document(), m_content.images, contentWidth());
}

void NBEMarkdownPreview::fetchRemoteImages(const QStringList &urls)
{
    for (const QString &url : urls) {
        if (m_requested.contains(url))
            continue;
        m_requested.insert(url);
        if (!m_network)
            m_network = new QNetworkAccessManager(this);
        QNetworkReply *reply = m_network->get(QNetworkRequest(QUrl(url)));
        connect(reply, &QNetworkReply::finished, this, [this, reply, url] {
            reply->deleteLater();
            QImage image;
            if (reply->error() == QNetworkReply::NoError)
                image.loadFromData(reply->readAll());
            // A failed image stays a placeholder; a loaded one shows at once.
            m_remoteImages.insert(url, image);
            if (!image.isNull()) {
                ++m_styleRevision;
                rebuild();
            }
        });
    }
}
