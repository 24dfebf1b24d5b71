#include "NBEMarkdownPreviewDocument.h"

#include "NBEInlineRun.h"
#include "NBEMarkdownParser.h"

#include <QAbstractTextDocumentLayout>
#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QPainter>
#include <QPainterPath>
#include <QSet>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>
#include <QThread>
#include <QtConcurrent>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <span>
#include <tuple>

namespace {

using Kind = NBEMarkdownBlock::Kind;

const QString checkedIcon = QStringLiteral("nbe-icon:checked");
const QString uncheckedIcon = QStringLiteral("nbe-icon:unchecked");
const QString photoIcon = QStringLiteral("nbe-icon:photo");

// Where text goes next: the end of the page or of a table cell. A fresh sink
// sits in an empty block that the next paragraph takes over.
struct Sink
{
    QTextCursor cursor;
    bool fresh = true;
    double spacing = 0;
    bool isPage = false;
    // The box the fresh block follows: space above the next block is kept
    // below the box, where the layout honours it.
    QTextTable *previous = nullptr;
    // The space the box was made with below it, and the space a new box
    // gets: the gap to what is likely to follow, so that it is rarely set
    // twice.
    double previousBelow = 0;
    double nextBelow = 0;
};

Qt::Alignment alignmentOf(NBEMarkdownAlignment alignment)
{
    switch (alignment) {
    case NBEMarkdownAlignment::leading:
        break;
    case NBEMarkdownAlignment::center:
        return Qt::AlignHCenter;
    case NBEMarkdownAlignment::trailing:
        return Qt::AlignRight;
    }
    return Qt::AlignLeft;
}

// Inline text keeps its line breaks inside its paragraph.
QString withLineSeparators(QString text)
{
    return text.replace(u'\n', QChar::LineSeparator);
}

QImage drawIcon(const QString &name, const QColor &color, double size)
{
    const int pixels = std::max(8, int(size * 2));
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(pixels / 20.0, pixels / 20.0);
    const QRectF box(2.5, 2.5, 15, 15);
    if (name == checkedIcon) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(color);
        painter.drawRoundedRect(box, 3.5, 3.5);
        painter.setPen(QPen(Qt::white, 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        QPainterPath tick;
        tick.moveTo(6, 10.2);
        tick.lineTo(8.8, 13);
        tick.lineTo(14, 7);
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(tick);
    } else if (name == uncheckedIcon) {
        painter.setPen(QPen(color, 1.4));
        painter.drawRoundedRect(box, 3.5, 3.5);
    } else {
        painter.setPen(QPen(color, 1.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.drawRoundedRect(QRectF(2, 4, 16, 12), 2, 2);
        QPainterPath hills;
        hills.moveTo(3, 14.5);
        hills.lineTo(8, 9.5);
        hills.lineTo(11.5, 13);
        hills.lineTo(13.5, 11);
        hills.lineTo(17, 14.5);
        painter.drawPath(hills);
        painter.setBrush(color);
        painter.drawEllipse(QPointF(13.5, 7.5), 1.3, 1.3);
    }
    return image;
}

std::optional<QImage> decodeDataURL(const QUrl &url)
{
    const QString text = url.toString(QUrl::FullyEncoded);
    const qsizetype comma = text.indexOf(u',');
    if (comma < 0)
        return std::nullopt;
    const QString header = text.mid(5, comma - 5);
    const QByteArray payload = QByteArray::fromPercentEncoding(text.mid(comma + 1).toLatin1());
    const QByteArray bytes =
        header.endsWith(QLatin1String(";base64")) ? QByteArray::fromBase64(payload) : payload;
    QImage image;
    if (!image.loadFromData(bytes))
        return std::nullopt;
    return image;
}

// Larger files are not taken for pictures.
constexpr qint64 maxImageBytes = 32 * 1024 * 1024;

// A local picture, read only when it is a regular file of a sane size: a
// device, a pipe or a socket named as an image would block the build (or
// never end), so it is not even opened for reading in a blocking way.
std::optional<QImage> readImageFile(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat info = {};
    if (::stat(name.constData(), &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    // It may have been swapped for something else since the look.
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > maxImageBytes) {
        ::close(fd);
        return std::nullopt;
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return std::nullopt;
    }
    QImageReader reader(&file);
    reader.setAutoTransform(true);
    QImage image = reader.read();
    return image.isNull() ? std::nullopt : std::optional(image);
}

// Images fill the width of their column (a table cell less its padding).
double imageWidth(const NBEPreviewImage &image, double contentWidth)
{
    if (image.columns > 1)
        return std::max(16.0, (contentWidth - image.indent) / image.columns - 20);
    return std::max(16.0, contentWidth - image.indent);
}

// The segments of a text that shows images; none for plain text, as most
// texts are (every image starts with "!").
QList<NBEInlineSegment> imageSegments(const QString &text)
{
    if (!text.contains(u'!'))
        return {};
    QList<NBEInlineSegment> segments = NBEMarkdownParser::inlineSegments(text);
    if (segments.size() == 1 && segments.first().kind == NBEInlineSegment::Kind::text)
        return {};
    return segments;
}

void collectTexts(const NBEMarkdownBlock &block, QList<QString> &texts)
{
    switch (block.kind) {
    case Kind::heading:
    case Kind::paragraph:
    case Kind::blockquote:
    case Kind::footnoteDefinition:
        texts.append(block.text);
        break;
    case Kind::bulletList:
    case Kind::orderedList:
        for (const NBEMarkdownListItem &item : block.items) {
            texts.append(item.text);
            for (const NBEMarkdownBlock &child : item.children)
                collectTexts(child, texts);
        }
        break;
    case Kind::table:
        texts.append(block.headers);
        for (const QStringList &row : block.rows)
            texts.append(row);
        break;
    case Kind::definitionList:
        for (const NBEMarkdownDefinition &item : block.definitions) {
            texts.append(item.term);
            texts.append(item.definitions);
        }
        break;
    case Kind::codeBlock:
    case Kind::image:
    case Kind::htmlBlock:
    case Kind::thematicBreak:
        break;
    }
}

// The addresses of the images a block shows, as written.
void collectImages(const NBEMarkdownBlock &block, QStringList &urls)
{
    if (block.kind == Kind::image) {
        urls.append(block.url);
        return;
    }
    // Headings and footnotes show their text only.
    if (block.kind == Kind::heading || block.kind == Kind::footnoteDefinition)
        return;
    QList<QString> texts;
    if (block.kind == Kind::bulletList || block.kind == Kind::orderedList) {
        for (const NBEMarkdownListItem &item : block.items) {
            texts.append(item.text);
            for (const NBEMarkdownBlock &child : item.children)
                collectImages(child, urls);
        }
    } else {
        collectTexts(block, texts);
    }
    for (const QString &text : std::as_const(texts)) {
        for (const NBEInlineSegment &segment : imageSegments(text)) {
            if (segment.kind == NBEInlineSegment::Kind::image)
                urls.append(segment.url);
        }
    }
}

// The runs of a text as the page writes them.
QList<NBEInlineRun> shownRuns(const QString &text)
{
    QList<NBEInlineRun> runs = NBEInlineRun::parse(text);
    for (NBEInlineRun &run : runs)
        run.text = withLineSeparators(std::move(run.text));
    return runs;
}

// The inline styles of the texts of some blocks, worked out side by side on
// the pool before the document (which only one thread may fill) is written:
// they take most of the time. Long pages repeat many texts (table cells,
// list items, whole sections), so each distinct text is styled once.
QHash<QString, QList<NBEInlineRun>> preparedRuns(std::span<const NBEMarkdownBlock> blocks,
                                                 qsizetype least)
{
    QList<QString> texts;
    for (const NBEMarkdownBlock &block : blocks)
        collectTexts(block, texts);
    QHash<QString, QList<NBEInlineRun>> runs;
    if (texts.size() < least)
        return runs;
    const QList<QString> distinct = QSet<QString>(texts.cbegin(), texts.cend()).values();
    const QList<QList<NBEInlineRun>> parsed =
        QtConcurrent::blockingMapped<QList<QList<NBEInlineRun>>>(distinct, &shownRuns);
    runs.reserve(distinct.size());
    for (qsizetype k = 0; k < distinct.size(); ++k)
        runs.insert(distinct[k], parsed[k]);
    return runs;
}

// Local files and data: what the builder reads or decodes itself. Web
// images come from the view, which fetches them.
std::optional<QImage> readImage(const QUrl &url)
{
    if (url.isLocalFile())
        return readImageFile(url.toLocalFile());
    if (url.scheme() == u"data")
        return decodeDataURL(url);
    return std::nullopt;
}

bool isWebImage(const QUrl &url)
{
    return url.scheme() == u"http" || url.scheme() == u"https";
}

class Builder
{
public:
    // A new page.
    explicit Builder(const NBEMarkdownPreviewStyle &style)
        : m_style(style)
        , m_owned(std::make_unique<QTextDocument>())
        , m_document(m_owned.get())
    {
        m_document->setUndoRedoEnabled(false);
        QFont font(style.fontFamily);
        font.setPointSizeF(style.fontSize);
        m_document->setDefaultFont(font);
        QTextOption option = m_document->defaultTextOption();
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        m_document->setDefaultTextOption(option);
        QTextFrameFormat root = m_document->rootFrame()->frameFormat();
        root.setMargin(0);
        root.setLeftMargin(NBEMarkdownPreviewDocument::horizontalPadding);
        root.setRightMargin(NBEMarkdownPreviewDocument::horizontalPadding);
        root.setTopMargin(NBEMarkdownPreviewDocument::verticalPadding);
        root.setBottomMargin(NBEMarkdownPreviewDocument::verticalPadding);
        m_document->rootFrame()->setFrameFormat(root);
        m_page.cursor = QTextCursor(m_document);
        m_page.isPage = true;
        const double iconSize = style.fontSize * 1.25;
        m_iconSize = iconSize;
        m_document->addResource(QTextDocument::ImageResource, QUrl(checkedIcon),
                                drawIcon(checkedIcon, style.accent, iconSize));
        m_document->addResource(QTextDocument::ImageResource, QUrl(uncheckedIcon),
                                drawIcon(uncheckedIcon, style.secondary, iconSize));
        m_document->addResource(QTextDocument::ImageResource, QUrl(photoIcon),
                                drawIcon(photoIcon, style.secondary, iconSize));
    }

    // Writing into a page built before with the same style.
    Builder(const NBEMarkdownPreviewStyle &style, QTextDocument *document,
            const NBEMarkdownPreviewChange &change)
        : m_style(style)
        , m_document(document)
        , m_runs(change.runs)
        , m_preloaded(change.images)
    {
        m_page.cursor = QTextCursor(m_document);
        m_page.isPage = true;
        m_iconSize = style.fontSize * 1.25;
    }

    NBEMarkdownPreviewBuild finish(const QList<NBEMarkdownBlock> &blocks, QThread *owner)
    {
        m_runs = preparedRuns(blocks, 64);
        m_page.cursor.beginEditBlock();
        for (qsizetype k = 0; k < blocks.size(); ++k)
            writeBlock(blocks, k);
        if (!blocks.isEmpty())
            finishPage();
        m_page.cursor.endEditBlock();
        if (owner) {
            // The view lays the page out at its own width. A layout made now,
            // with no page size yet, lays out nothing: the view's width is
            // then the page's first and only layout.
            m_document->setPageSize(QSizeF(0, 0));
            m_document->documentLayout();
            m_document->moveToThread(owner);
        }
        NBEMarkdownPreviewBuild build;
        build.content.blocks = blocks;
        build.content.spans = std::move(m_spans);
        build.content.images = std::move(m_images);
        build.remoteImages = std::move(m_remote);
        build.document = std::make_shared<std::unique_ptr<QTextDocument>>(std::move(m_owned));
        return build;
    }

    // Takes the changed stretch out of the page and writes the new blocks in
    // its place. The block after it was written for what stood before it;
    // when that ended differently (in a box or not), that block is written
    // again too, and so on until the page settles.
    QStringList replace(const NBEMarkdownPreviewChange &change, NBEMarkdownPreviewContent &content)
    {
        const QList<NBEPreviewBlockSpan> &old = content.spans;
        const QList<NBEMarkdownBlock> &blocks = change.blocks;
        int start = 0;
        qsizetype imagesBefore = 0;
        for (qsizetype k = 0; k < change.first; ++k) {
            start += old[k].length;
            imagesBefore += old[k].images;
        }
        QTextCursor &cursor = m_page.cursor;
        cursor.beginEditBlock();
        cursor.setPosition(start);
        qsizetype o = change.first;
        m_page.fresh = o == 0 || old[o - 1].endsInBox;
        m_page.previous = o > 0 && m_page.fresh ? boxEndingAt(start) : nullptr;
        m_page.previousBelow = m_page.previous ? m_page.previous->format().bottomMargin() : 0;
        Junction next = remove(old, o, change.oldEnd);
        // The page's first block is written as in a new page.
        if (o == 0) {
            cursor.setBlockFormat(QTextBlockFormat());
            cursor.setBlockCharFormat(QTextCharFormat());
        }
        o = change.oldEnd;
        qsizetype n = change.first;
        for (; n < change.newEnd; ++n)
            writeBlock(blocks, n);
        for (; n < blocks.size(); ++n, ++o) {
            if (m_page.fresh == old[o - 1].endsInBox) {
                if (m_page.fresh) {
                    cursor.setBlockFormat(next.format);
                    setSpaceBelow(m_page, next.below);
                }
                break;
            }
            next = remove(old, o, o + 1);
            writeBlock(blocks, n);
        }
        if (n == blocks.size() && !blocks.isEmpty())
            finishPage();
        cursor.endEditBlock();

        int written = 0;
        for (const NBEPreviewBlockSpan &span : std::as_const(m_spans))
            written += span.length;
        const int shift = written - m_removedLength;
        QList<NBEPreviewImage> images = content.images.first(imagesBefore);
        images.append(m_images);
        for (qsizetype k = imagesBefore + m_removedImages; k < content.images.size(); ++k) {
            images.append(content.images[k]);
            images.last().position += shift;
        }
        QList<NBEPreviewBlockSpan> spans = old.first(change.first);
        spans.append(m_spans);
        spans.append(old.sliced(o));
        content.blocks = blocks;
        content.spans = std::move(spans);
        content.images = std::move(images);
        return m_remote;
    }

private:
    // What the block after a box set below it: its first block's look and
    // the box's space below.
    struct Junction
    {
        QTextBlockFormat format;
        double below = 0;
    };

    void writeBlock(const QList<NBEMarkdownBlock> &blocks, qsizetype k)
    {
        m_page.spacing = k == 0 ? 0 : NBEMarkdownPreviewDocument::blockSpacing;
        // A box followed by a box or by nothing keeps no space below.
        m_page.nextBelow = k + 1 < blocks.size() && !startsWithBox(blocks[k + 1])
                               ? NBEMarkdownPreviewDocument::blockSpacing
                               : 0;
        const int start = m_page.cursor.position();
        const qsizetype images = m_images.size();
        block(m_page, blocks[k], 0);
        m_spans.append(
            {m_page.cursor.position() - start, m_page.fresh, int(m_images.size() - images)});
    }

    // A trailing empty block left after a box takes no room.
    void finishPage()
    {
        if (!m_page.fresh)
            return;
        setSpaceBelow(m_page, 0);
        collapse(m_page.cursor);
    }

    // The box on the page that ends just before `position`.
    QTextTable *boxEndingAt(int position) const
    {
        QTextTable *table = qobject_cast<QTextTable *>(m_document->frameAt(position - 1));
        return table && table->lastPosition() == position - 1 ? table : nullptr;
    }

    // Removes old blocks at the cursor, keeping what the block after them
    // set below them when they end in a box.
    Junction remove(const QList<NBEPreviewBlockSpan> &old, qsizetype from, qsizetype to)
    {
        int length = 0;
        for (qsizetype k = from; k < to; ++k) {
            length += old[k].length;
            m_removedImages += old[k].images;
        }
        const int start = m_page.cursor.position();
        Junction after;
        if (to > 0 && old[to - 1].endsInBox) {
            after.format = m_document->findBlock(start + length).blockFormat();
            if (QTextTable *box = boxEndingAt(start + length))
                after.below = box->format().bottomMargin();
        }
        if (length > 0) {
            // An empty block (a heading without text) goes with its end, and
            // the look of the block after it would take its place.
            const QTextBlockFormat kept = m_page.cursor.blockFormat();
            m_page.cursor.setPosition(start + length, QTextCursor::KeepAnchor);
            m_page.cursor.removeSelectedText();
            if (!m_page.fresh)
                m_page.cursor.setBlockFormat(kept);
        }
        m_removedLength += length;
        return after;
    }

    // --- Formats

    // The format kept under `key`, made the first time it is asked for.
    template <typename Formats, typename Key, typename Make>
    static auto made(Formats &formats, const Key &key, const Make &make)
    {
        auto known = formats.find(key);
        if (known == formats.end())
            known = formats.emplace(key, make()).first;
        return known->second;
    }

    // A page uses a handful of formats many thousand times: each is made
    // once and shared, so the document matches it by its kept hash.
    QTextCharFormat textFormat(double size, const QColor &color, int weight = QFont::Normal,
                               bool italic = false, bool fixed = false) const
    {
        return made(m_formats, std::make_tuple(size, color.rgba(), weight, italic, fixed), [&] {
            QTextCharFormat format;
            format.setFontFamilies(
                QStringList{fixed ? m_style.fixedFontFamily : m_style.fontFamily});
            format.setFontPointSize(size);
            if (weight != QFont::Normal)
                format.setFontWeight(weight);
            if (italic)
                format.setFontItalic(italic);
            format.setForeground(color);
            if (fixed)
                format.setFontFixedPitch(true);
            return format;
        });
    }

    // The look of a plain block: its indent, the space above it and the gap
    // between its lines. Zero values are left unset.
    QTextBlockFormat blockFormat(double indent, double top = 0, double lineGap = 0) const
    {
        return made(m_blockFormats, std::make_tuple(indent, top, lineGap), [&] {
            QTextBlockFormat format;
            if (indent != 0)
                format.setLeftMargin(indent);
            if (top != 0)
                format.setTopMargin(top);
            if (lineGap != 0)
                format.setLineHeight(lineGap, QTextBlockFormat::LineDistanceHeight);
            return format;
        });
    }

    // A look with the space above it added, made once for each.
    QTextBlockFormat spaced(const QTextBlockFormat &format, double spacing) const
    {
        for (const auto &[base, space, result] : m_spacedFormats) {
            if (space == spacing && base == format)
                return result;
        }
        QTextBlockFormat result = format;
        result.setTopMargin(format.topMargin() + spacing);
        m_spacedFormats.append({format, spacing, result});
        return result;
    }

    // A list item's look: its text beside the marker, wrapped lines below the
    // text.
    QTextBlockFormat itemFormat(double indent, double markerWidth) const
    {
        return made(m_itemFormats, std::make_pair(indent, markerWidth), [&] {
            QTextBlockFormat format;
            format.setLeftMargin(indent + markerWidth);
            format.setTextIndent(-markerWidth);
            format.setTabPositions({QTextOption::Tab(markerWidth, QTextOption::LeftTab)});
            return format;
        });
    }

    QTextCharFormat numberFormat() const
    {
        if (!m_numberFormat) {
            QTextCharFormat number = fixedFormat(m_style.accent);
            number.setFontFamilies(QStringList{m_style.fontFamily});
            number.setFontStyleHint(QFont::Monospace);
            m_numberFormat = number;
        }
        return *m_numberFormat;
    }

    QTextCharFormat fixedFormat(const QColor &color) const
    {
        return textFormat(m_style.fontSize, color, QFont::Normal, false, true);
    }

    // --- Placing blocks and boxes

    void newBlock(Sink &sink, QTextBlockFormat format, const QTextCharFormat &charFormat)
    {
        const double spacing = std::exchange(sink.spacing, 0);
        // The block after a box draws with its text's formats: its own
        // character format (the box's end) is left, as setting it costs as
        // much as the text.
        const bool afterBox = sink.previous;
        if (sink.fresh && sink.previous) {
            setSpaceBelow(sink, spacing);
            sink.previous = nullptr;
        } else {
            format = spaced(format, spacing);
        }
        if (sink.fresh) {
            sink.cursor.setBlockFormat(format);
            // In a table cell the first block's character format is the
            // cell's own (its padding): the text's look is added to it.
            if (!afterBox)
                sink.cursor.mergeBlockCharFormat(charFormat);
            sink.fresh = false;
        } else {
            sink.cursor.insertBlock(format, charFormat);
        }
    }

    // An empty block between boxes: a fixed height of nought whatever its
    // font.
    static void collapse(QTextCursor &cursor)
    {
        static const QTextBlockFormat format = [] {
            QTextBlockFormat format;
            format.setLineHeight(0, QTextBlockFormat::FixedHeight);
            return format;
        }();
        cursor.setBlockFormat(format);
    }

    static void setSpaceBelow(Sink &sink, double spacing)
    {
        if (!sink.previous || sink.previousBelow == spacing)
            return;
        QTextTableFormat below = sink.previous->format();
        // No space is no property, as a box made without space has none.
        if (spacing == 0)
            below.clearProperty(QTextFormat::FrameBottomMargin);
        else
            below.setBottomMargin(spacing);
        sink.previous->setFormat(below);
        sink.previousBelow = spacing;
    }

    // A table on the page, after what is there; the page continues below it.
    // Text given goes into the first cell.
    QTextTable *table(Sink &sink, int rows, int columns, const QTextTableFormat &format,
                      const QString &text = {}, const QTextCharFormat &textFormat = {})
    {
        const double above = std::exchange(sink.spacing, 0);
        if (sink.fresh) {
            // Boxes in a row keep only the space above the next one.
            setSpaceBelow(sink, 0);
            collapse(sink.cursor);
        }
        const double below = sink.nextBelow;
        QTextTable *table = sink.cursor.insertTable(rows, columns, spacedBox(format, above, below));
        // The cursor stands in the first cell, and goes on after the table.
        if (!text.isEmpty())
            sink.cursor.insertText(text, textFormat);
        sink.cursor.setPosition(table->lastPosition() + 1);
        sink.fresh = true;
        sink.previous = table;
        sink.previousBelow = below;
        return table;
    }

    // A box's look with the space above and below it, made once for each.
    // No space is no property.
    QTextTableFormat spacedBox(const QTextTableFormat &format, double above, double below) const
    {
        for (const auto &[base, top, bottom, result] : m_spacedBoxes) {
            if (top == above && bottom == below && base == format)
                return result;
        }
        QTextTableFormat result = format;
        if (above != 0)
            result.setTopMargin(above);
        if (below != 0)
            result.setBottomMargin(below);
        m_spacedBoxes.append({format, above, below, result});
        return result;
    }

    // Made once per indent and padding: a page holds thousands of boxes.
    // Margins that stay zero are left unset.
    QTextTableFormat boxFormat(double indent, double padding) const
    {
        return made(m_boxFormats, std::make_pair(indent, padding), [&] {
            QTextTableFormat format;
            format.setBorder(0);
            format.setCellSpacing(0);
            format.setCellPadding(padding);
            if (indent != 0)
                format.setLeftMargin(indent);
            format.setWidth(QTextLength(QTextLength::PercentageLength, 100));
            format.setBackground(m_style.box);
            return format;
        });
    }

    // Literal text in a box that spans the page: code and HTML blocks.
    void box(Sink &sink, const QString &text, const QColor &color, double indent)
    {
        QString literal = text;
        if (literal.endsWith(u'\n'))
            literal.chop(1);
        table(sink, 1, 1, boxFormat(indent, 12), withLineSeparators(literal), fixedFormat(color));
    }

    static bool startsWithBox(const NBEMarkdownBlock &block)
    {
        switch (block.kind) {
        case Kind::codeBlock:
        case Kind::htmlBlock:
        case Kind::blockquote:
        case Kind::table:
        case Kind::thematicBreak:
            return true;
        default:
            return false;
        }
    }

    // A text's runs, after `lead` in the base look; the lead goes in with
    // the first run when that has the base look too.
    void insertRuns(QTextCursor &cursor, const QString &text, const QTextCharFormat &base,
                    const QString &lead = {})
    {
        const auto known = m_runs.constFind(text);
        const QList<NBEInlineRun> runs = known != m_runs.constEnd() ? *known : shownRuns(text);
        qsizetype k = 0;
        if (!lead.isEmpty()) {
            if (!runs.isEmpty() && isPlain(runs.first())) {
                cursor.insertText(lead + runs.first().text, base);
                k = 1;
            } else {
                cursor.insertText(lead, base);
            }
        }
        for (; k < runs.size(); ++k)
            cursor.insertText(runs[k].text, runFormat(base, runs[k]));
    }

    static bool isPlain(const NBEInlineRun &run)
    {
        return !run.bold && !run.italic && !run.strikethrough && !run.code && run.link.isEmpty();
    }

    // The format of a styled run. Those without a link are few on any page
    // and made once: a format the document already holds is found faster.
    QTextCharFormat runFormat(const QTextCharFormat &base, const NBEInlineRun &run)
    {
        if (isPlain(run))
            return base;
        const int style =
            int(run.bold) | int(run.italic) << 1 | int(run.strikethrough) << 2 | int(run.code) << 3;
        if (run.link.isEmpty()) {
            for (const auto &[knownStyle, knownBase, format] : m_runFormats) {
                if (knownStyle == style && knownBase == base)
                    return format;
            }
        }
        QTextCharFormat format = base;
        if (run.bold)
            format.setFontWeight(QFont::Bold);
        if (run.italic)
            format.setFontItalic(true);
        if (run.strikethrough)
            format.setFontStrikeOut(true);
        if (run.code) {
            format.setFontFamilies(QStringList{m_style.fixedFontFamily});
            format.setFontFixedPitch(true);
            format.setBackground(m_style.box);
        }
        if (!run.link.isEmpty()) {
            format.setAnchor(true);
            format.setAnchorHref(run.link);
            format.setForeground(m_style.accent);
            format.setFontUnderline(true);
            return format;
        }
        m_runFormats.append({style, base, format});
        return format;
    }

    // --- Blocks

    void block(Sink &sink, const NBEMarkdownBlock &block, double indent)
    {
        const double size = m_style.fontSize;
        switch (block.kind) {
        case Kind::heading: {
            const QTextBlockFormat format = blockFormat(indent, block.level < 3 ? 6 : 0);
            const QTextCharFormat text =
                textFormat(NBEMarkdownPreviewDocument::headingSize(block.level, size), m_style.text,
                           QFont::Bold);
            newBlock(sink, format, text);
            insertRuns(sink.cursor, block.text, text);
            break;
        }
        case Kind::paragraph:
            inlineView(sink, block.text, textFormat(size, m_style.text), indent, true);
            break;
        case Kind::bulletList:
        case Kind::orderedList:
            list(sink, block.items, block.kind == Kind::orderedList, indent);
            break;
        case Kind::codeBlock:
            box(sink, block.code, m_style.text, indent);
            break;
        case Kind::htmlBlock:
            box(sink, block.text, m_style.secondary, indent);
            break;
        case Kind::blockquote:
            quote(sink, block.text, indent);
            break;
        case Kind::table:
            tableBlock(sink, block, indent);
            break;
        case Kind::image:
            image(sink, block.alt, block.url, indent);
            break;
        case Kind::footnoteDefinition: {
            newBlock(sink, blockFormat(indent), textFormat(size * 0.9, m_style.secondary));
            sink.cursor.insertText(block.id + QStringLiteral(".  "),
                                   textFormat(size * 0.85, m_style.accent, QFont::DemiBold));
            insertRuns(sink.cursor, block.text, textFormat(size * 0.9, m_style.secondary));
            break;
        }
        case Kind::definitionList:
            for (qsizetype d = 0; d < block.definitions.size(); ++d) {
                const NBEMarkdownDefinition &item = block.definitions[d];
                if (d > 0)
                    sink.spacing += 8;
                inlineView(sink, item.term, textFormat(size, m_style.text, QFont::DemiBold), indent,
                           false);
                for (const QString &definition : item.definitions) {
                    sink.spacing += 3;
                    inlineView(sink, definition, textFormat(size, m_style.secondary), indent + 16,
                               false);
                }
            }
            break;
        case Kind::thematicBreak:
            rule(sink, indent);
            break;
        }
    }

    // A line of the separator colour across the text's width: a box one
    // pixel high (the layout draws a block's own ruler only as wide as its
    // text).
    void rule(Sink &sink, double indent)
    {
        QTextTableFormat format = boxFormat(indent, 0);
        format.setBackground(m_style.separator);
        QTextTable *line = table(sink, 1, 1, format);
        QTextCursor cell = line->cellAt(0, 0).firstCursorPosition();
        QTextBlockFormat thin;
        thin.setLineHeight(1, QTextBlockFormat::FixedHeight);
        cell.setBlockFormat(thin);
        QTextCharFormat tiny;
        tiny.setFontPointSize(1);
        cell.setBlockCharFormat(tiny);
    }

    // A text that may hold images: the text around each image on its own
    // line, each image at full width.
    void inlineView(Sink &sink, const QString &text, const QTextCharFormat &charFormat,
                    double indent, bool paragraph)
    {
        const QTextBlockFormat format = blockFormat(indent, 0, paragraph ? 3 : 0);
        const QList<NBEInlineSegment> segments = imageSegments(text);
        if (segments.isEmpty()) {
            newBlock(sink, format, charFormat);
            insertRuns(sink.cursor, text, charFormat);
            return;
        }
        bool first = true;
        for (const NBEInlineSegment &segment : segments) {
            if (segment.kind == NBEInlineSegment::Kind::text && segment.text.trimmed().isEmpty())
                continue;
            if (!first)
                sink.spacing += 6;
            first = false;
            if (segment.kind == NBEInlineSegment::Kind::image) {
                image(sink, segment.alt, segment.url, indent);
                continue;
            }
            newBlock(sink, format, charFormat);
            insertRuns(sink.cursor, segment.text, charFormat);
        }
    }

    void list(Sink &sink, const QList<NBEMarkdownListItem> &items, bool ordered, double indent)
    {
        const double size = m_style.fontSize;
        const QString widest = QString::number(items.size()) + u'.';
        // Room for the marker and 8 points after it.
        const double markerWidth =
            ordered ? size * 0.62 * widest.size() + 8 : std::max(m_iconSize, size * 0.7) + 8;
        const QTextCharFormat text = textFormat(size, m_style.text);
        for (qsizetype k = 0; k < items.size(); ++k) {
            const NBEMarkdownListItem &item = items[k];
            if (k > 0)
                sink.spacing += 6;
            newBlock(sink, itemFormat(indent, markerWidth), text);
            if (item.checked) {
                QTextImageFormat box;
                box.setName(*item.checked ? checkedIcon : uncheckedIcon);
                box.setWidth(m_iconSize);
                box.setHeight(m_iconSize);
                box.setVerticalAlignment(QTextCharFormat::AlignMiddle);
                box.setProperty(QTextFormat::UserProperty, *item.checked);
                sink.cursor.insertImage(box);
            } else if (ordered) {
                sink.cursor.insertText(QString::number(k + 1) + u'.', numberFormat());
            } else {
                sink.cursor.insertText(QStringLiteral("•"), textFormat(size, m_style.accent));
            }
            const QList<NBEInlineSegment> segments = imageSegments(item.text);
            if (segments.isEmpty()) {
                insertRuns(sink.cursor, item.text, text, QStringLiteral("\t"));
            } else {
                sink.cursor.insertText(QStringLiteral("\t"), text);
                // Text before the first image stays beside the marker.
                bool first = true;
                for (const NBEInlineSegment &segment : segments) {
                    if (segment.kind == NBEInlineSegment::Kind::text &&
                        segment.text.trimmed().isEmpty())
                        continue;
                    if (first && segment.kind == NBEInlineSegment::Kind::text) {
                        insertRuns(sink.cursor, segment.text, text);
                    } else if (segment.kind == NBEInlineSegment::Kind::text) {
                        sink.spacing += 6;
                        QTextBlockFormat rest;
                        rest.setLeftMargin(indent + markerWidth);
                        newBlock(sink, rest, text);
                        insertRuns(sink.cursor, segment.text, text);
                    } else {
                        sink.spacing += 6;
                        image(sink, segment.alt, segment.url, indent + markerWidth);
                    }
                    first = false;
                }
            }
            for (const NBEMarkdownBlock &child : item.children) {
                sink.spacing += 6;
                block(sink, child, indent + NBEMarkdownPreviewDocument::nestedIndent);
            }
        }
    }

    void quote(Sink &sink, const QString &text, double indent)
    {
        QTextTableFormat format = boxFormat(indent, 0);
        format.clearBackground();
        format.setColumnWidthConstraints({QTextLength(QTextLength::FixedLength, 3),
                                          QTextLength(QTextLength::VariableLength, 0)});
        QTextTable *quote = table(sink, 1, 2, format);
        QTextTableCellFormat bar;
        bar.setBackground(m_style.accent);
        quote->cellAt(0, 0).setFormat(bar);
        QTextTableCellFormat body;
        body.setLeftPadding(10);
        quote->cellAt(0, 1).setFormat(body);
        Sink cell{quote->cellAt(0, 1).firstCursorPosition()};
        inlineView(cell, text, textFormat(m_style.fontSize, m_style.secondary, QFont::Normal, true),
                   0, false);
    }

    void tableBlock(Sink &sink, const NBEMarkdownBlock &block, double indent)
    {
        qsizetype columns = block.headers.size();
        for (const QStringList &row : block.rows)
            columns = std::max(columns, row.size());
        if (columns == 0)
            return;
        QTextTableFormat format = boxFormat(indent, 0);
        format.clearBackground();
        format.setBorder(1);
        format.setBorderBrush(m_style.separator);
        format.setBorderStyle(QTextFrameFormat::BorderStyle_Solid);
        format.setBorderCollapse(true);
        QList<QTextLength> widths;
        for (qsizetype c = 0; c < columns; ++c)
            widths.append(QTextLength(QTextLength::PercentageLength, 100.0 / double(columns)));
        format.setColumnWidthConstraints(widths);
        format.setHeaderRowCount(1);
        QTextTable *table = this->table(sink, int(block.rows.size()) + 1, int(columns), format);
        const double size = m_style.fontSize;
        for (int r = 0; r <= block.rows.size(); ++r) {
            const QStringList &cells = r == 0 ? block.headers : block.rows[r - 1];
            for (int c = 0; c < columns; ++c) {
                QTextTableCell cell = table->cellAt(r, c);
                QTextTableCellFormat cellFormat;
                cellFormat.setLeftPadding(10);
                cellFormat.setRightPadding(10);
                cellFormat.setTopPadding(6);
                cellFormat.setBottomPadding(6);
                cellFormat.setLeftBorderStyle(QTextFrameFormat::BorderStyle_None);
                cellFormat.setRightBorderStyle(QTextFrameFormat::BorderStyle_None);
                cellFormat.setBottomBorderStyle(QTextFrameFormat::BorderStyle_None);
                if (r == 0)
                    cellFormat.setTopBorderStyle(QTextFrameFormat::BorderStyle_None);
                cellFormat.setTopBorder(r == 0 ? 0 : 1);
                cellFormat.setTopBorderBrush(m_style.separator);
                if (r == 0)
                    cellFormat.setBackground(m_style.box);
                cell.setFormat(cellFormat);
                QTextCursor cursor = cell.firstCursorPosition();
                QTextBlockFormat alignment;
                alignment.setAlignment(
                    c < block.alignments.size() ? alignmentOf(block.alignments[c]) : Qt::AlignLeft);
                cursor.setBlockFormat(alignment);
                if (c >= cells.size())
                    continue;
                const QTextCharFormat text =
                    textFormat(size, m_style.text, r == 0 ? QFont::DemiBold : QFont::Normal);
                cellText(cursor, cells[c], text, indent, int(columns));
            }
        }
    }

    // A cell's text with its images inline, each at the cell's width.
    void cellText(QTextCursor &cursor, const QString &text, const QTextCharFormat &format,
                  double indent, int columns)
    {
        const QList<NBEInlineSegment> segments = imageSegments(text);
        if (segments.isEmpty())
            insertRuns(cursor, text, format);
        for (const NBEInlineSegment &segment : segments) {
            if (segment.kind == NBEInlineSegment::Kind::text) {
                insertRuns(cursor, segment.text, format);
                continue;
            }
            const std::optional<QImage> loaded = loadImage(segment.url);
            if (!loaded) {
                insertFallbackText(cursor, segment.alt, segment.url);
                continue;
            }
            insertImage(cursor, segment.url, *loaded, indent, columns);
        }
    }

    // --- Images

    std::optional<QImage> loadImage(const QString &urlString)
    {
        if (const auto known = m_preloaded.constFind(urlString); known != m_preloaded.constEnd())
            return known->isNull() ? std::nullopt : std::optional(*known);
        const std::optional<QUrl> url =
            NBEMarkdownPreviewDocument::resolvedImageURL(urlString, m_style.baseURL);
        if (!url)
            return std::nullopt;
        if (isWebImage(*url)) {
            const QString key = url->toString();
            const auto known = m_style.remoteImages.constFind(key);
            if (known != m_style.remoteImages.constEnd())
                return known->isNull() ? std::nullopt : std::optional(*known);
            if (!m_remote.contains(key))
                m_remote.append(key);
            return std::nullopt;
        }
        return readImage(*url);
    }

    // Named after its address, so that a page written in parts names it as a
    // page written at once does.
    void insertImage(QTextCursor &cursor, const QString &url, const QImage &image, double indent,
                     int columns)
    {
        const QString name =
            QStringLiteral("nbe-image:") +
            QString::fromLatin1(
                QCryptographicHash::hash(url.toUtf8(), QCryptographicHash::Sha1).toHex());
        m_document->addResource(QTextDocument::ImageResource, QUrl(name), image);
        NBEPreviewImage placed;
        placed.position = cursor.position();
        placed.naturalSize = image.deviceIndependentSize();
        placed.indent = indent;
        placed.columns = columns;
        QTextImageFormat format;
        format.setName(name);
        const double width = imageWidth(placed, m_style.contentWidth);
        format.setWidth(width);
        format.setHeight(width * placed.naturalSize.height() /
                         std::max(1.0, placed.naturalSize.width()));
        cursor.insertImage(format);
        m_images.append(placed);
    }

    void insertFallbackText(QTextCursor &cursor, const QString &alt, const QString &url)
    {
        QTextImageFormat icon;
        icon.setName(photoIcon);
        icon.setWidth(m_iconSize);
        icon.setHeight(m_iconSize);
        icon.setVerticalAlignment(QTextCharFormat::AlignMiddle);
        cursor.insertImage(icon);
        cursor.insertText(QStringLiteral(" ") + (alt.isEmpty() ? url : alt),
                          textFormat(m_style.fontSize, m_style.secondary));
    }

    void image(Sink &sink, const QString &alt, const QString &url, double indent)
    {
        if (const std::optional<QImage> loaded = loadImage(url)) {
            QTextBlockFormat format;
            format.setLeftMargin(indent);
            newBlock(sink, format, textFormat(m_style.fontSize, m_style.text));
            insertImage(sink.cursor, url, *loaded, indent, 1);
            return;
        }
        if (!sink.isPage) {
            QTextBlockFormat format;
            newBlock(sink, format, textFormat(m_style.fontSize, m_style.secondary));
            insertFallbackText(sink.cursor, alt, url);
            return;
        }
        // The placeholder: a boxed photo sign with the alt text (or the
        // address when there is none).
        QTextTable *box = table(sink, 1, 1, boxFormat(indent, 10));
        QTextCursor cell = box->cellAt(0, 0).firstCursorPosition();
        insertFallbackText(cell, alt, url);
    }

    const NBEMarkdownPreviewStyle &m_style;
    std::unique_ptr<QTextDocument> m_owned;
    QTextDocument *m_document = nullptr;
    Sink m_page;
    double m_iconSize = 16;
    QList<NBEPreviewImage> m_images;
    QList<NBEPreviewBlockSpan> m_spans;
    int m_removedLength = 0;
    qsizetype m_removedImages = 0;
    QStringList m_remote;
    QHash<QString, QList<NBEInlineRun>> m_runs;
    QHash<QString, QImage> m_preloaded;
    mutable std::map<std::tuple<double, QRgb, int, bool, bool>, QTextCharFormat> m_formats;
    mutable std::map<std::pair<double, double>, QTextTableFormat> m_boxFormats;
    mutable std::map<std::tuple<double, double, double>, QTextBlockFormat> m_blockFormats;
    mutable std::map<std::pair<double, double>, QTextBlockFormat> m_itemFormats;
    mutable QList<std::tuple<QTextBlockFormat, double, QTextBlockFormat>> m_spacedFormats;
    mutable std::optional<QTextCharFormat> m_numberFormat;
    mutable QList<std::tuple<QTextTableFormat, double, double, QTextTableFormat>> m_spacedBoxes;
    QList<std::tuple<int, QTextCharFormat, QTextCharFormat>> m_runFormats;
};

} // namespace

NBEMarkdownPreviewBuild NBEMarkdownPreviewDocument::build(const QString &markdown,
                                                          const NBEMarkdownPreviewStyle &style,
                                                          QThread *owner)
{
    return build(NBEMarkdownParser::parse(markdown), style, owner);
}

NBEMarkdownPreviewBuild NBEMarkdownPreviewDocument::build(const QList<NBEMarkdownBlock> &blocks,
                                                          const NBEMarkdownPreviewStyle &style,
                                                          QThread *owner)
{
    Builder builder(style);
    return builder.finish(blocks, owner);
}

NBEMarkdownPreviewChange NBEMarkdownPreviewDocument::change(const QList<NBEMarkdownBlock> &shown,
                                                            const QList<NBEMarkdownBlock> &blocks,
                                                            const NBEMarkdownPreviewStyle &style)
{
    // Blocks compare by value: a block whose reference links resolve
    // differently after a definition changed is a changed block.
    NBEMarkdownPreviewChange change;
    change.blocks = blocks;
    const qsizetype common = std::min(shown.size(), blocks.size());
    qsizetype first = 0;
    while (first < common && shown[first] == blocks[first])
        ++first;
    // The first block has no space above it: one that becomes the first or
    // stops being it is written again.
    const qsizetype room = first == 0 ? common - 1 : common - first;
    qsizetype last = 0;
    while (last < room && shown[shown.size() - 1 - last] == blocks[blocks.size() - 1 - last])
        ++last;
    change.first = first;
    change.oldEnd = shown.size() - last;
    change.newEnd = blocks.size() - last;
    if (change.isEmpty() || !isWorthUpdating(change))
        return change;

    const std::span<const NBEMarkdownBlock> written(blocks.constData() + first,
                                                    std::size_t(change.newEnd - first));
    change.runs = preparedRuns(written, 0);
    QStringList urls;
    for (const NBEMarkdownBlock &block : written)
        collectImages(block, urls);
    for (const QString &url : std::as_const(urls)) {
        if (change.images.contains(url))
            continue;
        const std::optional<QUrl> resolved = resolvedImageURL(url, style.baseURL);
        if (resolved && !isWebImage(*resolved))
            change.images.insert(url, readImage(*resolved).value_or(QImage()));
    }
    return change;
}

bool NBEMarkdownPreviewDocument::isWorthUpdating(const NBEMarkdownPreviewChange &change)
{
    // Past half the page, a new one is built on the pool while the old one
    // stays on screen, rather than written on the main thread.
    const qsizetype written = change.newEnd - change.first;
    return !change.blocks.isEmpty() && (written <= 64 || written * 2 <= change.blocks.size());
}

QStringList NBEMarkdownPreviewDocument::update(QTextDocument *document,
                                               NBEMarkdownPreviewContent &content,
                                               const NBEMarkdownPreviewChange &change,
                                               const NBEMarkdownPreviewStyle &style)
{
    if (change.isEmpty()) {
        content.blocks = change.blocks;
        return {};
    }
    Builder builder(style, document, change);
    return builder.replace(change, content);
}

void NBEMarkdownPreviewDocument::fitImages(QTextDocument *document,
                                           const QList<NBEPreviewImage> &images,
                                           double contentWidth)
{
    if (images.isEmpty())
        return;
    QTextCursor cursor(document);
    cursor.beginEditBlock();
    for (const NBEPreviewImage &image : images) {
        cursor.setPosition(image.position);
        cursor.setPosition(image.position + 1, QTextCursor::KeepAnchor);
        QTextImageFormat format = cursor.charFormat().toImageFormat();
        if (!format.isValid())
            continue;
        const double width = imageWidth(image, contentWidth);
        if (qFuzzyCompare(format.width(), width))
            continue;
        format.setWidth(width);
        format.setHeight(width * image.naturalSize.height() /
                         std::max(1.0, image.naturalSize.width()));
        cursor.setCharFormat(format);
    }
    cursor.endEditBlock();
}

std::optional<QUrl> NBEMarkdownPreviewDocument::resolvedImageURL(const QString &url,
                                                                 const std::optional<QUrl> &baseURL)
{
    const QUrl parsed(url, QUrl::StrictMode);
    if (parsed.isValid() && !parsed.scheme().isEmpty())
        return parsed;
    if (!baseURL)
        return std::nullopt;
    if (QFileInfo(url).isAbsolute())
        return QUrl::fromLocalFile(url);
    QString folder = baseURL->toLocalFile();
    if (!folder.endsWith(u'/'))
        folder += u'/';
    return QUrl::fromLocalFile(folder + url);
}

double NBEMarkdownPreviewDocument::headingSize(int level, double fontSize)
{
    switch (level) {
    case 1:
        return fontSize * 2.0;
    case 2:
        return fontSize * 1.6;
    case 3:
        return fontSize * 1.3;
    case 4:
        return fontSize * 1.15;
    case 5:
        return fontSize;
    default:
        return fontSize * 0.9;
    }
}
