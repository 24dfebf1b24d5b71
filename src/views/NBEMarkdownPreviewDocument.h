#pragma once

#include "NBEInlineRun.h"
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

// Where one top-level block lies in a page: from where the page was when it
// began to where the next one begins.
struct NBEPreviewBlockSpan
{
    int length = 0;
    // Whether it ends in a box, so that the next block starts in the empty
    // block below that box.
    bool endsInBox = false;
    // How many of the page's images it holds.
    int images = 0;

    bool operator==(const NBEPreviewBlockSpan &) const = default;
};

// What a page shows, block by block, so that a new text replaces only the
// blocks that differ.
struct NBEMarkdownPreviewContent
{
    QList<NBEMarkdownBlock> blocks;
    QList<NBEPreviewBlockSpan> spans;
    // In page order.
    QList<NBEPreviewImage> images;
};

struct NBEMarkdownPreviewBuild
{
    // Owned here until a view takes it.
    std::shared_ptr<std::unique_ptr<QTextDocument>> document;
    NBEMarkdownPreviewContent content;
    // Web images the page shows as placeholders until they are fetched.
    QStringList remoteImages;
};

// The blocks of a new text against those shown: the stretch that differs
// (from `first` to the ends in the old and the new list) and what writing
// it needs that is done best off the main thread.
struct NBEMarkdownPreviewChange
{
    QList<NBEMarkdownBlock> blocks;
    qsizetype first = 0;
    qsizetype oldEnd = 0;
    qsizetype newEnd = 0;
    // The inline runs of the new blocks' texts (line breaks kept inside
    // their paragraph), and their local and data images by the address as
    // written (a null image could not be read).
    QHash<QString, QList<NBEInlineRun>> runs;
    QHash<QString, QImage> images;

    bool isEmpty() const { return first == oldEnd && first == newEnd; }
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
    static NBEMarkdownPreviewBuild build(const QList<NBEMarkdownBlock> &blocks,
                                         const NBEMarkdownPreviewStyle &style,
                                         QThread *owner = nullptr);

    // The stretch of `blocks` that differs from `shown`, made ready to
    // write. Runs on any thread.
    static NBEMarkdownPreviewChange change(const QList<NBEMarkdownBlock> &shown,
                                           const QList<NBEMarkdownBlock> &blocks,
                                           const NBEMarkdownPreviewStyle &style);
    // Whether writing the change costs clearly less than a new page.
    static bool isWorthUpdating(const NBEMarkdownPreviewChange &change);
    // Replaces the changed blocks of a page built with the same style, in
    // one edit, leaving the rest of the page as it is. Returns the web
    // images the new blocks show as placeholders.
    static QStringList update(QTextDocument *document, NBEMarkdownPreviewContent &content,
                              const NBEMarkdownPreviewChange &change,
                              const NBEMarkdownPreviewStyle &style);
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
