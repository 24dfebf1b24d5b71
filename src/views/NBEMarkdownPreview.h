#pragma once

#include "NBEMarkdownPreviewDocument.h"
#include "NBERequestOrder.h"
#include "NBETheme.h"

#include <QHash>
#include <QImage>
#include <QSet>
#include <QTextBrowser>
#include <QUrl>

#include <optional>

class QNetworkAccessManager;

// A Markdown tab's text rendered natively: read-only and selectable, coloured
// by the theme, sized from the editor's font size. The page is built off the
// main thread; the previous one stays on screen until the new one is in. A
// new text only rewrites the blocks that changed in the page on screen.
class NBEMarkdownPreview : public QTextBrowser
{
    Q_OBJECT

public:
    NBEMarkdownPreview(const QString &text, const std::optional<QUrl> &baseURL,
                       const NBETheme &theme, double fontSize, QWidget *parent = nullptr);
    ~NBEMarkdownPreview() override;

    // Builds again when anything differs from what is shown.
    void setInputs(const QString &text, const std::optional<QUrl> &baseURL, const NBETheme &theme,
                   double fontSize);

    // Whether the whole document for the latest inputs is in.
    bool isBuilt() const { return m_built; }
    // How many top-level blocks a page built from scratch shows first, while
    // the rest of a longer text is built.
    static constexpr qsizetype headBlocks = 48;
    NBEMarkdownPreviewStyle style() const;

Q_SIGNALS:
    void built();
    // The leading blocks of a long page are on screen; `built` follows.
    void headShown();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    // A new page, or the change to the one shown.
    struct Update
    {
        NBEMarkdownPreviewBuild build;
        NBEMarkdownPreviewChange change;
        // All the blocks of the text when `build` holds only its head.
        std::optional<QList<NBEMarkdownBlock>> whole;
    };

    void rebuild();
    // Installs a build still current, and then builds the whole page after
    // a head.
    void finish(const Update &update, NBERequestOrder::Token generation, int styleRevision,
                const NBEMarkdownPreviewStyle &style);
    void install(const Update &update);
    void fetchRemoteImages(const QStringList &urls);
    double contentWidth() const;

    QString m_text;
    std::optional<QUrl> m_baseURL;
    NBETheme m_theme;
    double m_fontSize = 13;
    NBERequestOrder m_builds;
    bool m_built = false;
    bool m_building = false;
    // What the page on screen shows, and the look it was built with; a new
    // look builds a new page.
    NBEMarkdownPreviewContent m_content;
    bool m_hasPage = false;
    // A head page is never updated in place: what follows it is a whole page.
    bool m_showsHead = false;
    // Where the reader was when the head came in, and where the shorter
    // head left the scroll bar, so the whole page can put them back.
    int m_headScroll = 0;
    int m_headSettledScroll = 0;
    int m_styleRevision = 0;
    int m_pageStyleRevision = -1;
    QHash<QString, QImage> m_remoteImages;
    QSet<QString> m_requested;
    QNetworkAccessManager *m_network = nullptr;
};
