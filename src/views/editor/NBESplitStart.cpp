#include "NBESplitStart.h"

#include "NBELineLayout.h"
#include "NBELongLineDocument.h"
#include "NBESoftBreaks.h"

#include <QTextBlock>
#include <QTextDocument>

#include <algorithm>

NBESplitStart::NBESplitStart(const QString &text, QObject *owner)
    : m_text(text)
{
    const std::shared_ptr<NBELongLineDocument::Shown> shown = NBELongLineDocument::split(text);
    m_breaks = shown->breaks;
    m_document = shown->document.release();
    m_document->setParent(owner);
    m_document->setDocumentLayout(new NBELineLayout(m_document));
}

int NBESplitStart::toView(int offset) const
{
    return NBESoftBreaks::toView(m_breaks, offset);
}

int NBESplitStart::toText(int viewOffset) const
{
    return NBESoftBreaks::toText(m_breaks, viewOffset);
}

bool NBESplitStart::continuesLine(const QTextBlock &block) const
{
    return block.isValid() && NBESoftBreaks::continuesLine(m_breaks, block.position());
}

int NBESplitStart::lineNumber(const QTextBlock &block) const
{
    // Each split before the block made one more block of the same line.
    const auto splits = std::lower_bound(m_breaks.begin(), m_breaks.end(), block.position());
    return block.blockNumber() + 1 - int(splits - m_breaks.begin());
}

int NBESplitStart::lineCount() const
{
    return m_document->blockCount() - int(m_breaks.size());
}
