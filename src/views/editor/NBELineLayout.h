#pragma once

#include <QPlainTextDocumentLayout>
#include <QTextLayout>

// The text view's layout of a document, one block per line. A change that
// stays inside one line lays out and repaints that line alone, once, also
// when it removed characters or only recoloured the line: the stock layout
// counts removed characters as if they were still there, which carries such
// a change into the lines below, throws their layouts away and repaints the
// whole view at every key of a coloured line.
class NBELineLayout : public QPlainTextDocumentLayout
{
    Q_OBJECT

public:
    explicit NBELineLayout(QTextDocument *document);

    // Gives a line of this layout's document new formats. A line laid out
    // is laid out again and drawn; one that is not (off screen) stays so
    // until it shows.
    static void setFormats(const QTextBlock &block, const QList<QTextLayout::FormatRange> &formats);

protected:
    void documentChanged(int from, int charsRemoved, int charsAdded) override;

private:
    int m_blockCount = -1;
    // The line being given formats while it is not laid out.
    int m_notLaidOut = -1;
};
