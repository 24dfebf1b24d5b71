#include "NBELineLayout.h"

#include <QSignalSpy>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>
#include <gtest/gtest.h>

namespace {

void recolour(QTextDocument &document, int number)
{
    QTextCharFormat red;
    red.setForeground(Qt::red);
    NBELineLayout::setFormats(document.findBlockByNumber(number), {{0, 1, red}});
}

} // namespace

// What a change lays out again and asks to be drawn again: the line it
// changed when it stays in that line, not the lines below or the whole view.
TEST(NBELineLayout, AChangeInsideALineLaysOutAndRepaintsThatLineAlone)
{
    QTextDocument document;
    document.setPlainText(QStringLiteral("first\nsecond\nthird\nfourth"));
    auto *layout = new NBELineLayout(&document);
    document.setDocumentLayout(layout);
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next())
        layout->blockBoundingRect(block);
    QSignalSpy whole(layout, &QAbstractTextDocumentLayout::update);
    QSignalSpy lines(layout, &QAbstractTextDocumentLayout::updateBlock);
    const auto repainted = [&] {
        QList<int> numbers;
        for (const QList<QVariant> &call : std::as_const(lines))
            numbers.append(call.at(0).value<QTextBlock>().blockNumber());
        lines.clear();
        return numbers;
    };

    // Recoloured, then characters taken out of a line and replaced.
    recolour(document, 1);
    EXPECT_EQ(repainted(), QList<int>{1});
    QTextCursor cursor(document.findBlockByNumber(2));
    cursor.deleteChar();
    EXPECT_EQ(repainted(), QList<int>{2});
    cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    cursor.insertText(QStringLiteral("3rd"));
    EXPECT_EQ(repainted(), QList<int>{2});
    EXPECT_EQ(whole.count(), 0);
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next())
        EXPECT_GT(block.layout()->lineCount(), 0) << block.text().toStdString();

    // A line not laid out (off screen) stays so until it is shown.
    document.findBlockByNumber(3).clearLayout();
    recolour(document, 3);
    EXPECT_EQ(document.findBlockByNumber(3).layout()->lineCount(), 0);
    EXPECT_TRUE(repainted().isEmpty());
    EXPECT_EQ(whole.count(), 0);

    // Lines joined: the lines below moved, so the whole view is drawn.
    cursor.movePosition(QTextCursor::EndOfBlock);
    cursor.deleteChar();
    EXPECT_EQ(document.blockCount(), 3);
    EXPECT_GT(whole.count(), 0);
}
