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

    // Whether the document for the latest inputs is in.
    bool isBuilt() const { return m_built; }
    NBEMarkdownPreviewStyle style() const;

Q_SIGNALS:
    void built();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    // A new page, or the change to the one shown.
    struct Update
    {
        NBEMarkdownPreviewBuild build;
        NBEMarkdownPreviewChange change;
    };

    void rebuild();
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
    int m_styleRevision = 0;
    int m_pageStyleRevision = -1;
    QHash<QString, QImage> m_remoteImages;
    QSet<QString> m_requested;
    QNetworkAccessManager *m_network = nullptr;
};
