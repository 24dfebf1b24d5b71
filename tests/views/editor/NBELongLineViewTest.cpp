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
        {"long text, split later",
         QString(NBELongLineView::splitInBackgroundChars, u'x') + QStringLiteral(" + 56;"), false,
         false},
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
