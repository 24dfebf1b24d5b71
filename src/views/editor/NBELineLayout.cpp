#include "NBELineLayout.h"

#include <QTextBlock>
#include <QTextDocument>

#include <algorithm>
#include <utility>

NBELineLayout::NBELineLayout(QTextDocument *document)
    : QPlainTextDocumentLayout(document)
{}

void NBELineLayout::documentChanged(int from, int charsRemoved, int charsAdded)
{
    // A line coloured while its edit is reported has the edit passed on at
    // once; the document then reports it again with no start.
    if (from < 0)
        return;
    const QTextDocument *text = document();
    const int blockCount = text->blockCount();
    const int linesBefore = std::exchange(m_blockCount, blockCount);
    // Removed characters are gone: what changed is what the text holds now
    // from `from` on. With the same lines as before, a change whose new text
    // lies in one line touched only that line.
    if (charsRemoved > 0 && blockCount == linesBefore) {
        const int added = std::max(charsAdded, 1);
        const QTextBlock first = text->findBlock(from);
        if (first.isValid() && first == text->findBlock(from + added - 1)) {
            QPlainTextDocumentLayout::documentChanged(from, 0, added);
            return;
        }
    }
    QPlainTextDocumentLayout::documentChanged(from, charsRemoved, charsAdded);
}
