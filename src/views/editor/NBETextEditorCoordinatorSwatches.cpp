// The coordinator's part in colour swatches: when to scan the text for
// colour literals and how their new text is written back.

#include "NBEBackgroundPool.h"
#include "NBECodeTextEdit.h"
#include "NBEColorSwatchOverlay.h"
#include "NBETextEditorCoordinator.h"
#include "NBEWhenFinished.h"

NBEColorSwatchOverlay *NBETextEditorCoordinator::swatchOverlay() const
{
    return m_swatchOverlay;
}

void NBETextEditorCoordinator::installSwatchOverlay()
{
    if (!m_textView || m_swatchOverlay)
        return;
    m_swatchTimer.setSingleShot(true);
    m_swatchTimer.setInterval(swatchDelayMs);
    connect(&m_swatchTimer, &QTimer::timeout, this,
            &NBETextEditorCoordinator::recomputeSwatchesNow);
    m_swatchOverlay = new NBEColorSwatchOverlay(m_textView, m_buffer.get());
    // A picked colour is written like typing: one undoable edit that reaches
    // the buffer. A range the text no longer reaches is ignored.
    m_swatchOverlay->onPick = [textView = QPointer<NBECodeTextEdit>(m_textView)](
                                  NBETextRange range, const QString &text) {
        if (!textView || textView->isReadOnly())
            return;
        QTextDocument *document = textView->textGeometry().textDocument();
        if (range.location < 0 || range.length < 0 || range.end() > document->characterCount() - 1)
            return;
        QTextCursor cursor(document);
        cursor.beginEditBlock();
        cursor.setPosition(range.location);
        cursor.setPosition(range.end(), QTextCursor::KeepAnchor);
        cursor.insertText(text);
        cursor.endEditBlock();
    };
    recomputeSwatchesAtRest();
}

void NBETextEditorCoordinator::recomputeSwatchesAtRest()
{
    // Only when the language or the text moved on since the last scan.
    if (!m_textView)
        return;
    const QString key = m_session->languageID().value_or(QStringLiteral("-")) + u'|' +
                        QString::number(m_buffer->revision());
    if (key == m_lastSwatchKey)
        return;
    m_lastSwatchKey = key;
    recomputeSwatchesNow();
}

void NBETextEditorCoordinator::scheduleSwatchRecompute()
{
    m_swatchRequests.supersede();
    m_swatchTimer.start();
}

void NBETextEditorCoordinator::recomputeSwatchesNow()
{
    recomputeSwatches(std::nullopt);
}

void NBETextEditorCoordinator::recomputeSwatches(const std::optional<QString> &current)
{
    m_swatchTimer.stop();
    const NBERequestOrder::Token request = m_swatchRequests.next();
    NBEColorSwatchOverlay *overlay = m_swatchOverlay;
    if (!overlay || !m_textView)
        return;
    const QString text = current ? *current : m_buffer->snapshot();
    const std::optional<QString> languageID = m_session->languageID();
    if (text.size() <= swatchBackgroundChars) {
        overlay->setSwatches(NBECSSColors::swatches(text, languageID));
        Q_EMIT swatchesRecomputed();
        return;
    }
    nbeWhenFinished(NBEBackgroundPool::run(
                        [text, languageID] { return NBECSSColors::swatches(text, languageID); }),
                    this,
                    [this, request,
                     revision = m_buffer->revision()](const QList<NBECSSColorsSwatch> &swatches) {
                        // Any edit or newer scan since makes these ranges stale.
                        if (!m_swatchRequests.isCurrent(request) ||
                            revision != m_buffer->revision() || !m_swatchOverlay)
                            return;
                        m_swatchOverlay->setSwatches(swatches);
                        Q_EMIT swatchesRecomputed();
                    });
}
