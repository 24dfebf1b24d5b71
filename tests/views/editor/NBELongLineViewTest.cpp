#include "NBELongLineView.h"
#include "NBECodeTextEdit.h"
#include "NBEEditorHighlighter.h"
#include "NBELanguageRegistry.h"
#include "NBELongLineDocument.h"
#include "NBESoftBreaks.h"
#include "NBESplitView.h"
#include "NBETestSupport.h"
#include "NBETextBuffer.h"

#include <QPlainTextDocumentLayout>
#include <QTextBlock>
#include <QTextDocument>

#include <gtest/gtest.h>

// The view's driver makes the same calls whether the text is shown split or
// whole; what it gets differs: the document, the undo history kept, and
// colours placed on the pieces.
TEST(NBELongLineView, ShowsATextSplitOnlyWhenALineIsTooLongAndColoursWhatItShows)
{
    const QString longLine(NBESoftBreaks::longestWholeLine + 1, u'x');
    const struct
    {
        const char *name;
        QString text;
        bool split;
        bool coloured;
    } cases[] = {
        {"short lines", QStringLiteral("let a;\nb = 56;"), false, true},
        {"one long line", QStringLiteral("let a;\nb = ") + longLine + QStringLiteral(" + 56;"),
         true, true},
    };
    const NBELanguage language = NBELanguageRegistry::javascript();
    for (const auto &c : cases) {
        const std::shared_ptr<NBETextBuffer> buffer = NBETextBuffer::make(c.text);
        NBECodeTextEdit view;
        view.resize(400, 300);
        NBELongLineView lines(buffer, &view);
        QTextDocument *document = lines.firstDocument();
        EXPECT_EQ(document != buffer->document(), c.split) << c.name;
        EXPECT_EQ(NBETest::longLines(&view) != nullptr, c.split) << c.name;
        if (!c.split)
            buffer->setDocumentLayout(new QPlainTextDocumentLayout(document));
        view.setDocument(document);
        view.setUndoRedoEnabled(false);
        lines.enableUndo();
        // A split document keeps no history: the buffer's is the text's.
        EXPECT_EQ(document->isUndoRedoEnabled(), !c.split) << c.name;

        auto *highlighter = NBEEditorHighlighter::forView(&view);
        lines.setLanguage(*highlighter, language);
        lines.highlight(*highlighter, language, buffer->text(), true);
        ASSERT_TRUE(NBETest::waitForWork([&] { return !highlighter->isBusy(); })) << c.name;
        // The number at the end is coloured where the view shows it, unless
        // its line is too long to colour whole (until it is split).
        const int number = view.textGeometry().toView(int(c.text.lastIndexOf(u"56")));
        const QTextBlock block = document->findBlock(number);
        const NBELineRuns runs = highlighter->lineRuns(size_t(block.blockNumber()));
        const bool coloured =
            std::any_of(runs.cbegin(), runs.cend(), [&](const NBEHighlightRun &run) {
                return run.start == number - block.position() && run.length == 2;
            });
        EXPECT_EQ(coloured, c.coloured) << c.name;
    }
}

// A long text with a long line is split off the main thread: until then the
// view shows its start split as the whole will be, read only, and then the
// document of the whole text, split, with the text it was made from.
TEST(NBELongLineView, SplitsALongTextOffTheMainThreadShowingItsStartMeanwhile)
{
    const QString text = QStringLiteral("b = ") +
                         QString(NBELongLineView::splitInBackgroundChars, u'x') +
                         QStringLiteral(" + 56;");
    const std::shared_ptr<NBETextBuffer> buffer = NBETextBuffer::make(text);
    NBECodeTextEdit view;
    NBELongLineView lines(buffer, &view);
    QTextDocument *shown = nullptr;
    quint64 reads = 0;
    QObject::connect(&lines, &NBELongLineView::firstDocumentReady, [&](QTextDocument *document) {
        shown = document;
        // The text it was split from is the one its readers share.
        reads = NBETextBuffer::wholeTextReads();
        EXPECT_EQ(buffer->snapshot(), text);
        EXPECT_EQ(NBETextBuffer::wholeTextReads(), reads);
        view.setDocument(document);
    });
    EXPECT_EQ(lines.firstDocument(), nullptr);
    EXPECT_TRUE(view.isReadOnly());
    const QString start = NBECodeTextEdit::text(view.document());
    EXPECT_TRUE(text.startsWith(QString(start).remove(u'\n'))) << start.left(40).toStdString();
    EXPECT_GT(start.size(), 1000);
    EXPECT_LT(start.size(), NBELongLineView::splitInBackgroundChars / 8);
    for (QTextBlock block = view.document()->begin(); block.isValid(); block = block.next())
        ASSERT_LE(block.length() - 1, NBESoftBreaks::longestPiece);

    ASSERT_TRUE(NBETest::waitForWork([&] { return shown != nullptr; }));
    EXPECT_FALSE(view.isReadOnly());
    ASSERT_TRUE(NBETest::longLines(&view));
    EXPECT_EQ(view.text(), text);
    EXPECT_GT(shown->blockCount(), 100);
}
