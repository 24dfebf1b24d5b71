#pragma once

#include "NBEMarkdownBlock.h"

#include <QColor>
#include <QHash>
#include <QImage>
#include <QList>
#include <QSizeF>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <memory>
#include <optional>

class QTextDocument;
class QThread;

// What the rendered Markdown looks like: colours from the theme, sizes from
// the editor's font size.
struct NBEMarkdownPreviewStyle
{
    std::optional<QUrl> baseURL;
    QColor background;
    QColor text;
    QColor secondary;
    QColor box;
    QColor separator;
    QColor accent;
    double fontSize = 13;
    QString fontFamily;
    QString fixedFontFamily;
    // The width images are laid out for until the view tells the real one.
    double contentWidth = 600;
    // Web images already fetched, by URL text.
    QHash<QString, QImage> remoteImages;
};

// An image drawn at the width of what holds it.
struct NBEPreviewImage
{
    int position = 0;
    QSizeF naturalSize;
    // How much narrower than the page its column is, and how many columns
    // share that width (table cells).
    double indent = 0;
    int columns = 1;
};

struct NBEMarkdownPreviewBuild
{
    // Owned here until a view takes it.
    std::shared_ptr<std::unique_ptr<QTextDocument>> document;
    QList<NBEPreviewImage> images;
    // Web images the page shows as placeholders until they are fetched.
    QStringList remoteImages;
};

// Turns Markdown into the rich-text document of the native preview: one
// selectable, read-only document in which every block has its own look
// (sized headings, amber markers and task boxes, aligned tables, boxed code).
// Runs on any thread; the document is handed to `owner` when given.
class NBEMarkdownPreviewDocument
{
public:
    NBEMarkdownPreviewDocument() = delete;

    static NBEMarkdownPreviewBuild
    build(const QString &markdown, const NBEMarkdownPreviewStyle &style, QThread *owner = nullptr);
    // Resizes the images to the page's content width.
    static void fitImages(QTextDocument *document, const QList<NBEPreviewImage> &images,
                          double contentWidth);

    // Any URL with a scheme as it stands; otherwise a path below the base
    // folder; otherwise none.
    static std::optional<QUrl> resolvedImageURL(const QString &url,
                                                const std::optional<QUrl> &baseURL);
    static double headingSize(int level, double fontSize);

    static constexpr double horizontalPadding = 28;
    static constexpr double verticalPadding = 24;
    static constexpr double blockSpacing = 14;
    static constexpr double nestedIndent = 18;
};
