#include "NBELineLayout.h"

#include <QScopedValueRollback>
#include <QTextBlock>
#include <QTextDocument>

#include <algorithm>
#include <optional>
#include <utility>

NBELineLayout::NBELineLayout(QTextDocument *document)
    : QPlainTextDocumentLayout(document)
{}

void NBELineLayout::setFormats(const QTextBlock &block,
                               const QList<QTextLayout::FormatRange> &formats)
{
    // A block hands out its document read-only; marking it changed is what
    // setting formats asks for.
    auto *document = const_cast<QTextDocument *>(block.document());
    auto *lines = qobject_cast<NBELineLayout *>(document->documentLayout());
    const bool laidOut = block.layout()->lineCount() > 0;
    // New formats drop the line's layout and mark the line changed; the
    // change is passed on at once, so the next edit reports only its own.
    block.layout()->setFormats(formats);
    std::optional<QScopedValueRollback<int>> notLaidOut;
    if (lines)
        notLaidOut.emplace(lines->m_notLaidOut, laidOut ? -1 : block.position());
    document->markContentsDirty(block.position(), block.length());
}

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
        QTextBlock block = text->findBlock(from);
        if (block.isValid() && block == text->findBlock(from + std::max(charsAdded, 1) - 1)) {
            if (block.position() == m_notLaidOut)
                return;
            const int rows = block.lineCount();
            block.clearLayout();
            ensureBlockLayout(block);
            if (block.lineCount() == rows) {
                Q_EMIT updateBlock(block);
                return;
            }
        }
    }
    QPlainTextDocumentLayout::documentChanged(from, charsRemoved, charsAdded);
}
