#include "NBESwatchScheduler.h"

#include "NBEBackgroundPool.h"
#include "NBECSSColors.h"
#include "NBECodeTextEdit.h"
#include "NBEColorSwatchOverlay.h"
#include "NBEEditorSession.h"
#include "NBEWhenFinished.h"

#include <QTextDocument>

NBESwatchScheduler::NBESwatchScheduler(std::shared_ptr<NBEEditorSession> session,
                                       std::shared_ptr<NBETextBuffer> buffer,
                                       NBECodeTextEdit *textView, QObject *owner)
    : QObject(owner)
    , m_session(std::move(session))
    , m_buffer(std::move(buffer))
    , m_textView(textView)
{}

NBEColorSwatchOverlay *NBESwatchScheduler::overlay() const
{
    return m_overlay;
}

void NBESwatchScheduler::installOverlay()
{
    if (!m_textView || m_overlay)
        return;
    m_timer.setSingleShot(true);
    m_timer.setInterval(delayMs);
    connect(&m_timer, &QTimer::timeout, this, &NBESwatchScheduler::recomputeNow);
    m_overlay = new NBEColorSwatchOverlay(m_textView, m_buffer.get());
    // A picked colour is written like typing: one undoable edit that reaches
    // the buffer. A range the text no longer reaches is ignored.
    m_overlay->onPick = [textView = QPointer<NBECodeTextEdit>(m_textView)](NBETextRange range,
                                                                           const QString &text) {
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
    recomputeAtRest();
}

void NBESwatchScheduler::recomputeAtRest()
{
    // Only when the language or the text moved on since the last scan.
    if (!m_textView)
        return;
    const QString key = m_session->languageID().value_or(QStringLiteral("-")) + u'|' +
                        QString::number(m_buffer->revision());
    if (key == m_lastKey)
        return;
    m_lastKey = key;
    recomputeNow();
}

void NBESwatchScheduler::scheduleRecompute()
{
    m_requests.supersede();
    m_timer.start();
}

void NBESwatchScheduler::recompute(const std::optional<QString> &current)
{
    m_timer.stop();
    const NBERequestOrder::Token request = m_requests.next();
    NBEColorSwatchOverlay *overlay = m_overlay;
    if (!overlay || !m_textView)
        return;
    const QString text = current ? *current : m_buffer->snapshot();
    const std::optional<QString> languageID = m_session->languageID();
    if (text.size() <= backgroundChars) {
        overlay->setSwatches(NBECSSColors::swatches(text, languageID));
        Q_EMIT recomputed();
        return;
    }
    nbeWhenFinished(NBEBackgroundPool::run(
                        [text, languageID] { return NBECSSColors::swatches(text, languageID); }),
                    this,
                    [this, request,
                     revision = m_buffer->revision()](const QList<NBECSSColorsSwatch> &swatches) {
                        // Any edit or newer scan since makes these ranges stale.
                        if (!m_requests.isCurrent(request) || revision != m_buffer->revision() ||
                            !m_overlay)
                            return;
                        m_overlay->setSwatches(swatches);
                        Q_EMIT recomputed();
                    });
}
