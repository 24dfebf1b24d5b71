#include "NBEChangeMarkers.h"

#include "NBECodeTextEdit.h"
#include "NBEEditorSession.h"
#include "NBEGutterView.h"
#include "NBEHunkDiscard.h"
#include "NBEWhenFinished.h"

#include <QTextDocument>

NBEChangeMarkers::NBEChangeMarkers(std::shared_ptr<NBEEditorSession> session,
                                   std::shared_ptr<NBETextBuffer> buffer, NBECodeTextEdit *textView,
                                   QObject *owner)
    : QObject(owner)
    , m_session(std::move(session))
    , m_buffer(std::move(buffer))
    , m_textView(textView)
{
    m_timer.setSingleShot(true);
    m_timer.setInterval(delayMs);
    connect(&m_timer, &QTimer::timeout, this, [this] { recompute(); });
}

NBEGutterView *NBEChangeMarkers::gutter() const
{
    return m_gutter;
}

void NBEChangeMarkers::installGutter()
{
    if (!m_textView)
        return;
    NBEGutterView *gutter = m_textView->installGutter();
    m_gutter = gutter;
    gutter->canStageHunk = true;
    // The gutter may outlive neither, but its callbacks check anyway: the
    // actions read the inputs current at the click, not at installation.
    const QPointer<NBEChangeMarkers> self(this);
    gutter->hunkForLine = [self](int line) {
        return self ? self->hunkForLine(line) : std::nullopt;
    };
    gutter->onDiscardHunk = [self](const NBEDiffHunk &hunk) {
        if (self)
            self->discardHunk(hunk);
    };
    gutter->onStageHunk = [self](const NBEDiffHunk &hunk) {
        if (self && self->m_session->hunkActions().stage)
            self->m_session->hunkActions().stage(hunk);
    };
    gutter->onUnstageHunk = [self](const NBEDiffHunk &hunk) {
        if (self && self->m_session->hunkActions().unstage)
            self->m_session->hunkActions().unstage(hunk);
    };
    gutter->isHunkStaged = [self](const NBEDiffHunk &hunk) {
        if (self && self->m_session->hunkActions().isStaged)
            return self->m_session->hunkActions().isStaged(hunk);
        return QtFuture::makeReadyFuture(false);
    };
    scheduleRecompute();
}

void NBEChangeMarkers::scheduleRecompute()
{
    m_requests.supersede();
    m_timer.start();
}

void NBEChangeMarkers::recompute(const std::optional<QString> &current)
{
    if (!m_gutter)
        return;
    if (!m_session->headContent() || !m_textView) {
        storeHunks({});
        return;
    }
    const NBERequestOrder::Token request = m_requests.next();
    const quint64 revision = m_buffer->revision();
    const QString text = current ? *current : m_buffer->snapshot();
    nbeWhenFinished(NBELineDiff::hunksInBackground(*m_session->headContent(), text), this,
                    [this, request, revision](const QList<NBEDiffHunk> &hunks) {
                        if (m_requests.isCurrent(request) && revision == m_buffer->revision())
                            storeHunks(hunks);
                    });
    Q_EMIT diffStarted();
}

void NBEChangeMarkers::storeHunks(const QList<NBEDiffHunk> &hunks)
{
    // Hunks and markers always describe the same comparison.
    m_currentHunks = hunks;
    if (m_gutter)
        m_gutter->setLineChanges(NBELineDiff::changes(hunks));
    Q_EMIT recomputed();
}

std::optional<NBEDiffHunk> NBEChangeMarkers::hunkForLine(int line) const
{
    for (const NBEDiffHunk &hunk : m_currentHunks)
        if (hunk.covers(line))
            return hunk;
    return std::nullopt;
}

void NBEChangeMarkers::discardHunk(const NBEDiffHunk &hunk)
{
    NBECodeTextEdit *textView = m_textView;
    if (!textView || textView->isReadOnly() || !m_session->headContent())
        return;
    // A hunk from before the latest edits may no longer fit the text.
    const auto discard = NBEHunkDiscard::of(hunk, textView->text(), *m_session->headContent());
    if (!discard)
        return;

    const NBETextGeometry &geometry = textView->textGeometry();
    QTextCursor cursor(geometry.textDocument());
    cursor.beginEditBlock();
    cursor.setPosition(int(discard->from));
    cursor.setPosition(int(discard->to), QTextCursor::KeepAnchor);
    if (discard->replacement.isEmpty())
        cursor.removeSelectedText();
    else
        cursor.insertText(discard->replacement);
    cursor.endEditBlock();
    QTextCursor caret(textView->document());
    caret.setPosition(geometry.toView(cursor.position()));
    textView->setTextCursor(caret);
    textView->setFocus();
    if (m_session->hunkActions().didDiscard)
        m_session->hunkActions().didDiscard(hunk);
}
