#include "NBEMarkdownPreview.h"
#include "NBEBrand.h"
#include "NBEDefaultThemes.h"
#include "NBEMarkdownParser.h"
#include "NBETestSupport.h"

#include <QAbstractTextDocumentLayout>
#include <QBuffer>
#include <QClipboard>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPointer>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>
#include <QtConcurrent>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <random>

namespace {

constexpr double fontSize = 13;

QTextDocument *built(NBEMarkdownPreview &preview)
{
    EXPECT_TRUE(NBETest::waitUntil([&] { return preview.isBuilt(); }));
    return preview.document();
}

// The first block whose text starts with `text`, outside and inside tables.
QTextBlock blockStartingWith(QTextDocument *document, const QString &text)
{
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        if (block.text().startsWith(text))
            return block;
    }
    ADD_FAILURE() << "no block " << text.toStdString() << " in "
                  << document->toPlainText().toStdString();
    return {};
}

QTextCharFormat formatAt(const QTextBlock &block, int offset = 0)
{
    QTextCursor cursor(block);
    cursor.setPosition(block.position() + offset + 1);
    return cursor.charFormat();
}

QList<QTextImageFormat> images(QTextDocument *document)
{
    QList<QTextImageFormat> found;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            if (it.fragment().charFormat().isImageFormat())
                found.append(it.fragment().charFormat().toImageFormat());
        }
    }
    return found;
}

TEST(NBEMarkdownPreview, BlocksGetTheirSizesMarkersAndAlignment)
{
    QTemporaryDir dir;
    QImage logo(200, 100, QImage::Format_RGB32);
    logo.fill(Qt::red);
    QDir().mkpath(dir.filePath(QStringLiteral("img")));
    ASSERT_TRUE(logo.save(dir.filePath(QStringLiteral("img/logo.png"))));
    const QString text = QStringLiteral("# Title\n\n"
                                        "##### Five\n\n"
                                        "###### Six\n\n"
                                        "Body with **bold** and a note[^1] and [^x].\n\n"
                                        "3. third\n4. fourth\n\nTasks:\n\n"
                                        "- [x] done\n- [ ] todo\n- plain\n- **Bold** first\n\n"
                                        "| Name | Size | Note |\n"
                                        "|:-----|-----:|:----:|\n"
                                        "| a | 1 | n | extra |\n\n"
                                        "![Logo](img/logo.png)\n\n"
                                        "![Company logo](img/missing.png)\n\n"
                                        "![](img/gone.png)\n\n"
                                        "[^1]: The note.\n");
    NBEMarkdownPreview preview(text, QUrl::fromLocalFile(dir.path() + u'/'),
                               NBEDefaultThemes::light(), fontSize);
    preview.resize(700, 600);
    QTextDocument *document = built(preview);

    const struct
    {
        QString heading;
        double size;
        double topMargin;
    } headings[] = {{QStringLiteral("Title"), fontSize * 2, 6},
                    {QStringLiteral("Five"), fontSize, 14},
                    {QStringLiteral("Six"), fontSize * 0.9, 14}};
    for (const auto &h : headings) {
        const QTextBlock block = blockStartingWith(document, h.heading);
        EXPECT_DOUBLE_EQ(formatAt(block).fontPointSize(), h.size) << h.heading.toStdString();
        EXPECT_EQ(formatAt(block).fontWeight(), QFont::Bold);
        EXPECT_DOUBLE_EQ(block.blockFormat().topMargin(), h.topMargin) << h.heading.toStdString();
    }

    // Inline styles, and only numeric footnote references become superscripts.
    const QTextBlock body = blockStartingWith(document, QStringLiteral("Body with bold"));
    EXPECT_EQ(body.text(), QStringLiteral("Body with bold and a note¹ and [^x]."));
    EXPECT_EQ(formatAt(body, 10).fontWeight(), QFont::Bold);
    EXPECT_EQ(formatAt(body, 5).fontWeight(), QFont::Normal);
    const QTextBlock note = blockStartingWith(document, QStringLiteral("1.  The"));
    EXPECT_EQ(formatAt(note).foreground().color(), NBEBrand::amber());
    EXPECT_DOUBLE_EQ(formatAt(note, 4).fontPointSize(), fontSize * 0.9);

    // Lists count from one; task boxes show their state.
    EXPECT_EQ(blockStartingWith(document, QStringLiteral("1.")).text(),
              QStringLiteral("1.\tthird"));
    EXPECT_EQ(blockStartingWith(document, QStringLiteral("2.")).text(),
              QStringLiteral("2.\tfourth"));
    EXPECT_EQ(formatAt(blockStartingWith(document, QStringLiteral("•"))).foreground().color(),
              NBEBrand::amber());
    // The text after the marker keeps its own look from its first letter.
    const QTextBlock styled = blockStartingWith(document, QStringLiteral("•\tBold"));
    EXPECT_EQ(formatAt(styled, 1).fontWeight(), QFont::Normal);
    EXPECT_EQ(formatAt(styled, 1).foreground().color(), formatAt(body).foreground().color());
    EXPECT_EQ(formatAt(styled, 2).fontWeight(), QFont::Bold);
    EXPECT_EQ(formatAt(styled, 7).fontWeight(), QFont::Normal);
    QStringList boxes;
    for (const QTextImageFormat &image : images(document)) {
        if (image.name().startsWith(QLatin1String("nbe-icon:c")) ||
            image.name().startsWith(QLatin1String("nbe-icon:u")))
            boxes.append(image.name());
    }
    EXPECT_EQ(boxes, (QStringList{QStringLiteral("nbe-icon:checked"),
                                  QStringLiteral("nbe-icon:unchecked")}));

    // Table columns keep their alignment in every row; a cell beyond the
    // alignments is leading.
    QTextTable *table = nullptr;
    for (QTextFrame *frame : document->rootFrame()->childFrames()) {
        auto *candidate = qobject_cast<QTextTable *>(frame);
        if (candidate && candidate->columns() == 4)
            table = candidate;
    }
    ASSERT_TRUE(table);
    ASSERT_EQ(table->rows(), 2);
    const auto alignment = [&](int row, int column) {
        return table->cellAt(row, column).firstCursorPosition().blockFormat().alignment() &
               Qt::AlignHorizontal_Mask;
    };
    for (int row : {0, 1}) {
        EXPECT_EQ(alignment(row, 0), Qt::AlignLeft);
        EXPECT_EQ(alignment(row, 1), Qt::AlignRight);
        EXPECT_EQ(alignment(row, 2), Qt::AlignHCenter);
    }
    EXPECT_EQ(alignment(1, 3), Qt::AlignLeft);
    EXPECT_EQ(table->cellAt(0, 0).firstCursorPosition().charFormat().fontWeight(), QFont::DemiBold);
    EXPECT_EQ(table->cellAt(1, 1).firstCursorPosition().block().text(), QStringLiteral("1"));

    // The folder's image fills the width; missing ones show their alt text,
    // or the path without one.
    bool logoShown = false;
    for (const QTextImageFormat &image : images(document)) {
        if (image.name().startsWith(QLatin1String("nbe-image:"))) {
            logoShown = true;
            EXPECT_NEAR(image.width(), preview.viewport()->width() - 56, 1);
            EXPECT_NEAR(image.height(), image.width() / 2, 1);
        }
    }
    EXPECT_TRUE(logoShown);
    EXPECT_TRUE(document->toPlainText().contains(QStringLiteral(" Company logo")));
    EXPECT_TRUE(document->toPlainText().contains(QStringLiteral(" img/gone.png")));

    // Everything can be selected and copied.
    EXPECT_TRUE(preview.textInteractionFlags() & Qt::TextSelectableByMouse);
    EXPECT_TRUE(preview.isReadOnly());
    preview.selectAll();
    EXPECT_TRUE(preview.textCursor().selectedText().contains(QStringLiteral("The note.")));
}

// The quote's text keeps its gap from the amber bar, in its own look.
TEST(NBEMarkdownPreview, QuotedTextStandsApartFromItsBar)
{
    NBEMarkdownPreview preview(QStringLiteral("Intro\n\n> Quoted *words*\n> on two lines\n"),
                               std::nullopt, NBEDefaultThemes::light(), fontSize);
    preview.resize(600, 300);
    QTextDocument *document = built(preview);
    const QTextBlock quoted = blockStartingWith(document, QStringLiteral("Quoted"));
    ASSERT_TRUE(qobject_cast<QTextTable *>(QTextCursor(quoted).currentFrame()));
    const double barEnd = NBEMarkdownPreviewDocument::horizontalPadding + 3;
    EXPECT_NEAR(document->documentLayout()->blockBoundingRect(quoted).left(), barEnd + 10, 1);
    EXPECT_TRUE(formatAt(quoted).fontItalic());
    EXPECT_EQ(formatAt(quoted).foreground().color(), preview.style().secondary);
}

TEST(NBEMarkdownPreview, WithoutAFolderImagesArePlaceholdersAndEmptyTextIsAnEmptyPage)
{
    NBEMarkdownPreview preview(QStringLiteral("![Logo](img/logo.png)\n"), std::nullopt,
                               NBEDefaultThemes::dark(), fontSize);
    QTextDocument *document = built(preview);
    EXPECT_TRUE(document->toPlainText().contains(QStringLiteral("Logo")));
    EXPECT_EQ(preview.palette().color(QPalette::Base), NBEDefaultThemes::dark().editorBackground);

    // A new text replaces the page; an empty one leaves only the background.
    preview.setInputs(QString(), std::nullopt, NBEDefaultThemes::dark(), fontSize);
    document = built(preview);
    EXPECT_TRUE(document->toPlainText().trimmed().isEmpty());
}

// Names of things that are not image files never hold the build up: a
// device that never ends, a pipe nobody writes to, the program's own input.
TEST(NBEMarkdownPreview, ImagesThatAreNoRegularFilesBuildAtOnceAsPlaceholders)
{
    QTemporaryDir dir;
    const QString fifo = dir.filePath(QStringLiteral("pipe.png"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QImage logo(20, 10, QImage::Format_RGB32);
    logo.fill(Qt::red);
    ASSERT_TRUE(logo.save(dir.filePath(QStringLiteral("logo.png"))));
    const QString text =
        QStringLiteral("![stdin](/dev/stdin)\n\n![pipe](pipe.png)\n\n"
                       "![zero](/dev/zero)\n\n| a |\n|---|\n| ![cell](/dev/zero) |\n\n"
                       "![logo](logo.png)\n");
    NBEMarkdownPreviewStyle style;
    style.baseURL = QUrl::fromLocalFile(dir.path() + u'/');
    QFuture<NBEMarkdownPreviewBuild> building =
        QtConcurrent::run([&] { return NBEMarkdownPreviewDocument::build(text, style); });
    if (!NBETest::waitUntil([&] { return building.isFinished(); }, std::chrono::seconds(10))) {
        ADD_FAILURE() << "the build is stuck reading an image";
        std::_Exit(1);
    }
    const NBEMarkdownPreviewBuild build = building.result();
    QTextDocument *document = build.document->get();
    for (const QString &alt : {QStringLiteral("stdin"), QStringLiteral("pipe"),
                               QStringLiteral("zero"), QStringLiteral("cell")})
        EXPECT_TRUE(
            blockStartingWith(document, QChar(QChar::ObjectReplacementCharacter) + u' ' + alt)
                .isValid())
            << alt.toStdString();
    // The regular file beside them is read as ever.
    ASSERT_EQ(build.content.images.size(), 1);
    EXPECT_EQ(build.content.images.first().naturalSize, QSizeF(20, 10));
}

// Rules, code and HTML blocks are boxes across the text's width, at any
// width; code keeps its box colour and padding.
TEST(NBEMarkdownPreview, BoxesSpanTheTextWidth)
{
    const NBETheme theme = NBEDefaultThemes::light();
    const struct
    {
        const char *name;
        QString markdown;
        QString inside;
        QColor background;
    } cases[] = {
        {"thematic break", QStringLiteral("Above\n\n---\n\nBelow\n"), {}, theme.gutterSeparator},
        {"code block", QStringLiteral("Above\n\n```\nlet x = 1;\nlet y = 2;\n```\n\nBelow\n"),
         QStringLiteral("let x = 1;"), theme.gutterBackground},
        {"html block", QStringLiteral("Above\n\n<div>\nraw\n</div>\n\nBelow\n"),
         QStringLiteral("<div>"), theme.gutterBackground},
    };
    for (const auto &box : cases) {
        SCOPED_TRACE(box.name);
        NBEMarkdownPreview preview(box.markdown, std::nullopt, theme, fontSize);
        for (const int width : {400, 900}) {
            preview.resize(width, 300);
            QTextDocument *document = built(preview);
            QTextFrame *frame = nullptr;
            if (box.inside.isEmpty()) {
                const QList<QTextFrame *> frames = document->rootFrame()->childFrames();
                frame = frames.isEmpty() ? nullptr : frames.first();
            } else {
                for (QTextBlock block = document->begin(); block.isValid() && !frame;
                     block = block.next()) {
                    if (block.text().contains(box.inside))
                        frame = QTextCursor(block).currentFrame();
                }
            }
            ASSERT_TRUE(frame && frame != document->rootFrame());
            const QTextFrameFormat format = frame->frameFormat();
            EXPECT_EQ(format.background().color(), box.background);
            const QRectF rect = document->documentLayout()->frameBoundingRect(frame);
            EXPECT_NEAR(rect.width(),
                        document->textWidth() - 2 * NBEMarkdownPreviewDocument::horizontalPadding,
                        2);
            const double inner = rect.height() - format.topMargin() - format.bottomMargin();
            if (box.inside.isEmpty()) {
                // One pixel high between the spacing above and below it.
                EXPECT_LE(inner, 3);
                continue;
            }
            // The box's colour from end to end, around the padded text.
            EXPECT_GE(inner, 2 * 12 + fontSize);
            QImage page(int(document->size().width()), int(document->size().height()) + 1,
                        QImage::Format_RGB32);
            page.fill(Qt::white);
            QPainter painter(&page);
            document->drawContents(&painter);
            painter.end();
            const int y = int(rect.top() + format.topMargin() + 5);
            const double left = NBEMarkdownPreviewDocument::horizontalPadding;
            const double right =
                document->textWidth() - NBEMarkdownPreviewDocument::horizontalPadding;
            EXPECT_EQ(page.pixelColor(int(left + 2), y), box.background);
            EXPECT_EQ(page.pixelColor(int(right - 3), y), box.background);
            EXPECT_EQ(page.pixelColor(int(left - 3), y), QColor(Qt::white));
            EXPECT_EQ(page.pixelColor(int(right + 3), y), QColor(Qt::white));
        }
    }
}

// A format's properties as text; the numbers Qt gives the page's objects
// depend on the order they were made in, so they are left out.
QString describe(QTextFormat format)
{
    format.clearProperty(QTextFormat::ObjectIndex);
    QString text;
    QDebug(&text).nospace() << format.type() << ':' << format.objectType() << format.properties();
    return text;
}

// A block as its look and its runs of one look, however the document split
// them into fragments.
void describe(const QTextBlock &block, QStringList &lines)
{
    lines.append(describe(block.blockFormat()) + u'|' + describe(block.charFormat()));
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        const QString look = describe(it.fragment().charFormat());
        if (lines.last().startsWith(u'"') && lines.last().endsWith(look))
            lines.last().insert(lines.last().lastIndexOf(QStringLiteral("\" ")),
                                it.fragment().text());
        else
            lines.append(u'"' + it.fragment().text() + QStringLiteral("\" ") + look);
    }
}

// The whole page, block by block and box by box, cell by cell, as lines.
QStringList describe(QTextDocument *document)
{
    QStringList lines{describe(document->rootFrame()->frameFormat())};
    for (auto it = document->rootFrame()->begin(); !it.atEnd(); ++it) {
        auto *table = qobject_cast<QTextTable *>(it.currentFrame());
        if (!table) {
            describe(it.currentBlock(), lines);
            continue;
        }
        lines.append(QStringLiteral("table %1x%2 ").arg(table->rows()).arg(table->columns()) +
                     describe(table->format()));
        for (int cell = 0; cell < table->rows() * table->columns(); ++cell) {
            const QTextTableCell at =
                table->cellAt(cell / table->columns(), cell % table->columns());
            lines.append(QStringLiteral("cell ") + describe(at.format()));
            for (auto inner = at.begin(); !inner.atEnd(); ++inner)
                describe(inner.currentBlock(), lines);
        }
    }
    return lines;
}

bool saveLogo(const QTemporaryDir &dir, QSize size)
{
    QImage logo(size, QImage::Format_RGB32);
    logo.fill(Qt::red);
    return logo.save(dir.filePath(QStringLiteral("logo.png")));
}

QList<int> imagePositions(const NBEMarkdownPreviewContent &content)
{
    QList<int> positions;
    for (const NBEPreviewImage &image : content.images)
        positions.append(image.position);
    return positions;
}

// Every block kind, boxes after boxes, and links whose definition comes
// later in the text.
const QString corpus =
    QStringLiteral("# Title with [a link][ref]\n\n"
                   "Intro with **bold**, *italic*, `code` and [text][ref].\nA second line.\n\n"
                   "Setext heading\n---------------\n\n"
                   "- one\n- two with ![inline](logo.png)\n  - nested *a*\n  - nested b\n    1. "
                   "deeper\n- three\n\n"
                   "1. first\n2. second\n\n- [x] done\n- [ ] todo\n\n# #\n"
                   "> quoted [ref] text\n> on two lines\n\n"
                   "```js\nlet x = 1;\n\nlet y = 2;\n```\n\n"
                   "| Name | Size |\n|:-----|-----:|\n| a ![cell](logo.png) | 1 |\n| b | 2 |\n\n"
                   "---\n\n![Logo](logo.png)\n\n![Missing](missing.png)\n\n"
                   "Text ![logo](logo.png) around ![gone](gone.png) images.\n\n"
                   "<div>\n<b>raw</b>\n</div>\n\n***\n\n```\nbox\n```\n```\nbox after box\n```\n\n"
                   "Term\n: its definition\n: another\n\nA note[^1].\n\n[^1]: The note.\n\n"
                   "[ref]: https://example.com/first\n\nClosing paragraph.\n");

// Pages changed a bit at a time equal pages built at once from the same
// text, block for block, including every look, box and image.
TEST(NBEMarkdownPreview, PagesUpdatedInPlaceEqualPagesBuiltAfresh)
{
    QTemporaryDir dir;
    ASSERT_TRUE(saveLogo(dir, QSize(40, 20)));
    NBEMarkdownPreviewStyle style;
    style.baseURL = QUrl::fromLocalFile(dir.path() + u'/');
    style.box = Qt::lightGray;
    style.separator = Qt::gray;
    style.accent = NBEBrand::amber();

    QString text = corpus;
    NBEMarkdownPreviewBuild page = NBEMarkdownPreviewDocument::build(text, style);
    const auto check = [&](const QString &edit) {
        SCOPED_TRACE(QStringLiteral("%1\n%2").arg(edit, text).toStdString());
        const NBEMarkdownPreviewChange change = NBEMarkdownPreviewDocument::change(
            page.content.blocks, NBEMarkdownParser::parse(text), style);
        NBEMarkdownPreviewDocument::update(page.document->get(), page.content, change, style);
        const NBEMarkdownPreviewBuild fresh = NBEMarkdownPreviewDocument::build(text, style);
        const QStringList expected = describe(fresh.document->get());
        const QStringList actual = describe(page.document->get());
        const auto differs =
            std::mismatch(actual.cbegin(), actual.cend(), expected.cbegin(), expected.cend());
        if (differs.first != actual.cend() || differs.second != expected.cend())
            ADD_FAILURE() << "line " << differs.first - actual.cbegin() << "\nactual   "
                          << actual.value(differs.first - actual.cbegin()).toStdString()
                          << "\nexpected "
                          << expected.value(differs.second - expected.cbegin()).toStdString();
        EXPECT_EQ(page.content.spans, fresh.content.spans);
        EXPECT_EQ(imagePositions(page.content), imagePositions(fresh.content));
    };

    // Blocks that become the first or the last, boxes meeting boxes, and a
    // definition that changes the links above it.
    const struct
    {
        const char *name, *before, *after;
    } edits[] = {
        {"a box comes first", "# Title", "---\n\n# Title"},
        {"the box goes again", "---\n\n# Title", "# Title"},
        {"a paragraph comes first", "# Title", "Lead\n\n# Title"},
        {"the first two blocks go", "Lead\n\n# Title with [a link][ref]\n\n", ""},
        {"a definition changes", "/first", "/changed"},
        {"a box comes last", "Closing paragraph.\n", "Closing paragraph.\n\n```\nlast\n```\n"},
        {"a paragraph after it", "last\n```\n", "last\n```\n\nafter\n"},
        {"the paragraph goes", "```\n\nafter\n", "```\n"},
        {"the last box goes", "\n\n```\nlast\n```\n", "\n"},
        {"a definition list between boxes becomes a box", "Term\n: its definition\n: another\n",
         "```\nx\n```\n"},
        {"a box between boxes becomes a paragraph", "***\n", "stars\n"},
    };
    for (const auto &edit : edits) {
        ASSERT_TRUE(text.contains(QString::fromUtf8(edit.before))) << edit.name;
        text.replace(QString::fromUtf8(edit.before), QString::fromUtf8(edit.after));
        check(QString::fromUtf8(edit.name));
    }
    // A long run of blocks alike.
    text = QStringLiteral("Same.\n\n").repeated(300);
    page = NBEMarkdownPreviewDocument::build(text, style);
    for (const qsizetype at : {1400, 700, 1000, 7}) {
        text.insert(at, QStringLiteral("Other.\n\n"));
        check(QStringLiteral("a paragraph comes in at %1").arg(at));
        text.remove(at + 8, 7);
        check(QStringLiteral("one goes at %1").arg(at));
    }
    text.clear();
    check(QStringLiteral("everything goes"));
    text = corpus;
    check(QStringLiteral("everything comes back"));

    const QStringList pieces = {
        QStringLiteral("\n"),
        QStringLiteral("\n\n"),
        QStringLiteral("# "),
        QStringLiteral("- "),
        QStringLiteral("  - "),
        QStringLiteral("1. "),
        QStringLiteral("> "),
        QStringLiteral("```\n"),
        QStringLiteral("---\n"),
        QStringLiteral("| a | b |\n|---|---|\n"),
        QStringLiteral("![logo](logo.png)"),
        QStringLiteral("\n![gone](gone.png)\n"),
        QStringLiteral("[ref]"),
        QStringLiteral("\n[ref]: https://example.com/other\n"),
        QStringLiteral("\n<p>\n"),
        QStringLiteral("word **"),
        QStringLiteral(": definition\n"),
        QStringLiteral("\n[^1]: note\n"),
        QStringLiteral("\n```\ncode\n```\n"),
    };
    for (unsigned seed = 1; seed <= 6 && !HasFailure(); ++seed) {
        std::mt19937 random(seed);
        const auto below = [&](qsizetype bound) {
            return qsizetype(std::uniform_int_distribution<qsizetype>(0, bound - 1)(random));
        };
        text = corpus;
        page = NBEMarkdownPreviewDocument::build(text, style);
        for (int step = 0; step < 50 && !HasFailure(); ++step) {
            // Now and then at an end, where blocks become the first or last.
            const qsizetype at = below(8) > 0 ? below(text.size() + 1) : below(2) * text.size();
            const qsizetype length = below(3) == 0 ? 0 : std::min(text.size() - at, below(40));
            const QString piece = below(3) == 0 ? QString() : pieces[below(pieces.size())];
            text.replace(at, length, piece);
            check(QStringLiteral("seed %1 step %2: %3 at %4 by %5")
                      .arg(seed)
                      .arg(step)
                      .arg(length)
                      .arg(at)
                      .arg(piece));
        }
    }
}

// A long page built anew shows its leading blocks first, then the whole page
// of the newest text, also when the text changes while the head is shown.
TEST(NBEMarkdownPreview, ALongPageShowsItsHeadFirstThenTheWholePage)
{
    QString text = QStringLiteral("Links to [the end][end].\n\n");
    for (int k = 0; k < 150; ++k)
        text += QStringLiteral("## Section %1\n\n```\ncode %1\n```\n").arg(k);
    text += QStringLiteral("[end]: https://example.com/end\n");
    const auto fresh = [](const QString &text, const NBEMarkdownPreviewStyle &style,
                          qsizetype blocks) {
        QList<NBEMarkdownBlock> parsed = NBEMarkdownParser::parse(text);
        return describe(
            NBEMarkdownPreviewDocument::build(parsed.first(std::min(blocks, parsed.size())), style)
                .document->get());
    };

    NBEMarkdownPreview preview(QString(), std::nullopt, NBEDefaultThemes::light(), fontSize);
    preview.resize(600, 400);
    preview.show();
    built(preview);
    QList<QStringList> heads;
    QString changed;
    QObject::connect(&preview, &NBEMarkdownPreview::headShown, &preview, [&] {
        EXPECT_FALSE(preview.isBuilt());
        heads.append(describe(preview.document()));
        if (!changed.isEmpty())
            preview.setInputs(changed, std::nullopt, NBEDefaultThemes::light(), fontSize);
    });

    preview.setInputs(text, std::nullopt, NBEDefaultThemes::dark(), fontSize);
    built(preview);
    ASSERT_EQ(heads.size(), 1);
    EXPECT_EQ(heads.first(), fresh(text, preview.style(), NBEMarkdownPreview::headBlocks));
    EXPECT_TRUE(heads.first().join(u'\n').contains(QStringLiteral("https://example.com/end")));
    EXPECT_EQ(describe(preview.document()), fresh(text, preview.style(), text.size()));

    // A short text, and an edit to a whole page, come in one piece.
    preview.setInputs(QStringLiteral("# Short\n"), std::nullopt, NBEDefaultThemes::dark(),
                      fontSize);
    built(preview);
    preview.setInputs(text, std::nullopt, NBEDefaultThemes::dark(), fontSize);
    built(preview);
    heads.clear();
    preview.setInputs(text + QStringLiteral("\nMore.\n"), std::nullopt, NBEDefaultThemes::dark(),
                      fontSize);
    built(preview);
    EXPECT_TRUE(heads.isEmpty());

    // Another look starts from a head again; a text typed while it is shown
    // is what the page ends with, never the head's.
    changed = text;
    changed.replace(QStringLiteral("Section 140"), QStringLiteral("Changed 140"));
    preview.verticalScrollBar()->setValue(150);
    preview.setInputs(text, std::nullopt, NBEDefaultThemes::light(), fontSize);
    built(preview);
    EXPECT_EQ(heads.size(), 1);
    EXPECT_EQ(preview.verticalScrollBar()->value(), 150);
    EXPECT_EQ(describe(preview.document()), fresh(changed, preview.style(), changed.size()));
}

// A long page on screen keeps its document and the reader's place when its
// text changes, and its images keep fitting the width.
TEST(NBEMarkdownPreview, ANewTextChangesThePageInPlace)
{
    QTemporaryDir dir;
    ASSERT_TRUE(saveLogo(dir, QSize(200, 100)));
    QString text;
    for (int k = 0; k < 300; ++k)
        text += QStringLiteral("## Section %1\n\nSome text of section %1.\n\n").arg(k);
    const std::optional<QUrl> folder = QUrl::fromLocalFile(dir.path() + u'/');
    NBEMarkdownPreview preview(text, folder, NBEDefaultThemes::light(), fontSize);
    preview.resize(600, 400);
    preview.show();
    QTextDocument *document = built(preview);
    preview.verticalScrollBar()->setValue(preview.verticalScrollBar()->maximum() / 2);
    const int place = preview.verticalScrollBar()->value();
    ASSERT_GT(place, 0);

    // Near the end, below what the reader sees, an image comes in.
    text.replace(QStringLiteral("text of section 290."),
                 QStringLiteral("text of section 290.\n\n![logo](logo.png)"));
    preview.setInputs(text, folder, NBEDefaultThemes::light(), fontSize);
    EXPECT_EQ(built(preview), document);
    EXPECT_EQ(preview.verticalScrollBar()->value(), place);
    EXPECT_EQ(images(document).size(), 1);

    // Narrower, then a change above it: the image still fills the width.
    preview.resize(450, 400);
    text.replace(QStringLiteral("Section 3\n"), QStringLiteral("Section three\n"));
    preview.setInputs(text, folder, NBEDefaultThemes::light(), fontSize);
    EXPECT_EQ(built(preview), document);
    EXPECT_TRUE(document->toPlainText().contains(QStringLiteral("Section three")));
    const QList<QTextImageFormat> shown = images(document);
    ASSERT_EQ(shown.size(), 1);
    EXPECT_NEAR(shown.first().width(), preview.viewport()->width() - 56, 1);
    preview.resize(500, 400);
    EXPECT_NEAR(images(document).first().width(), preview.viewport()->width() - 56, 1);

    // A selection from one paragraph to another holds just what lies
    // between, wherever they are on the long page.
    QTextCursor selection(document);
    for (const int k : {10, 150}) {
        selection.setPosition(
            document->find(QStringLiteral("text of section %1.").arg(k)).selectionStart());
        selection.setPosition(
            document->find(QStringLiteral("text of section %1.").arg(k + 70)).selectionStart(),
            QTextCursor::KeepAnchor);
        EXPECT_TRUE(
            selection.selectedText().startsWith(QStringLiteral("text of section %1.").arg(k)))
            << k;
        EXPECT_EQ(selection.selectedText().count(QStringLiteral("Section")), 70) << k;
    }

    // Another look builds a new page, and the page it replaces goes.
    const QPointer<QTextDocument> replaced = document;
    preview.setInputs(text, folder, NBEDefaultThemes::dark(), fontSize);
    EXPECT_NE(built(preview), document);
    EXPECT_TRUE(NBETest::waitUntil([&] { return replaced.isNull(); }));
    preview.setInputs(text, folder, NBEDefaultThemes::dark(), fontSize + 1);
    built(preview);
    EXPECT_TRUE(NBETest::waitUntil([&] {
        return preview.findChildren<QTextDocument *>(Qt::FindDirectChildrenOnly).size() == 1;
    }));
}

} // namespace

// The page reads as read-only: with the keys it shows no text caret (which
// would promise typing), while its text can still be selected and copied.
TEST(NBEMarkdownPreview, WithTheKeysThePageShowsNoCaretAndCopies)
{
    NBEMarkdownPreview preview(QStringLiteral("Short.\n"), std::nullopt, NBEDefaultThemes::light(),
                               fontSize);
    preview.resize(400, 200);
    built(preview);
    preview.show();
    preview.activateWindow();
    preview.setFocus();
    ASSERT_TRUE(NBETest::waitUntil([&] { return preview.hasFocus(); }));
    QTextCursor end(preview.document());
    end.movePosition(QTextCursor::End);
    preview.setTextCursor(end);
    const QRect caret = preview.cursorRect(end).adjusted(0, 1, 0, -1);
    ASSERT_TRUE(preview.viewport()->rect().contains(caret));
    QCoreApplication::processEvents();
    const QImage shown = preview.viewport()->grab().toImage();
    const QColor background = shown.pixelColor(preview.viewport()->width() - 2, caret.center().y());
    int marked = 0;
    for (int x = caret.left(); x <= caret.right() + 1; ++x)
        for (int y = caret.top(); y <= caret.bottom(); ++y)
            marked += shown.pixelColor(x, y) != background;
    EXPECT_EQ(marked, 0);

    QTest::keyClick(&preview, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(&preview, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("Short."));
}
