#include "NBESplitStart.h"
#include "NBECodeTextEdit.h"
#include "NBEDefaultThemes.h"
#include "NBEEditorSettings.h"
#include "NBEGutterView.h"
#include "NBEOpeningView.h"
#include "NBESoftBreaks.h"

#include <QTextBlock>
#include <QTextDocument>

#include <gtest/gtest.h>

namespace {

constexpr int limit = NBESoftBreaks::longestWholeLine;

} // namespace

// A start shown split reads as its text: lines by the text's numbers, every
// offset of the text found again, and no piece longer than a view lays out.
TEST(NBESplitStart, PlacesTheTextsLinesAndOffsetsOnItsPieces)
{
    const QString longLine = QString(limit * 2, u'x');
    const struct
    {
        const char *name;
        QString text;
        int lines;
    } cases[] = {
        {"short lines", QStringLiteral("ab\ncd"), 2},
        {"a long line between short ones",
         QStringLiteral("ab\n") + longLine + QStringLiteral("\ncd"), 3},
        {"only a long line", longLine, 1},
    };
    for (const auto &c : cases) {
        QObject owner;
        const NBESplitStart start(c.text, &owner);
        const QTextDocument *document = start.document();
        EXPECT_EQ(start.text(), c.text) << c.name;
        EXPECT_EQ(start.lineCount(), c.lines) << c.name;
        int line = 0;
        for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
            ASSERT_LE(block.length() - 1, NBESoftBreaks::longestPiece) << c.name;
            if (!start.continuesLine(block))
                ++line;
            EXPECT_EQ(start.lineNumber(block), line) << c.name;
        }
        EXPECT_EQ(line, c.lines) << c.name;
        for (const int offset : {0, 1, 3, 3 + limit, int(c.text.size()) - 1}) {
            if (offset >= c.text.size())
                continue;
            EXPECT_EQ(document->characterAt(start.toViewRange(offset, offset + 1).first),
                      c.text.at(offset))
                << c.name << " " << offset;
            EXPECT_EQ(start.toText(start.toView(offset)), offset) << c.name;
        }
    }
}

// The start of a minified file, shown while the file is taken in, is shown
// in pieces under its line number.
TEST(NBESplitStart, TheOpeningViewShowsAMinifiedStartInPiecesOfOneLine)
{
    const QString text = QString(limit * 3, u'x');
    NBEEditorSettings settings;
    settings.showLineNumbers = true;
    NBEOpeningView view(text, NBEDefaultThemes::light(), settings);
    view.resize(600, 400);
    view.show();
    EXPECT_GT(view.document()->blockCount(), 2);
    for (QTextBlock block = view.document()->begin(); block.isValid(); block = block.next())
        ASSERT_LE(block.length() - 1, NBESoftBreaks::longestPiece);
    EXPECT_EQ(view.text(), text);
    EXPECT_EQ(view.lineCount(), 1);
    ASSERT_TRUE(view.gutter());
    const auto rows = view.gutter()->visibleLineLayout();
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows.first().first, 1);
}
