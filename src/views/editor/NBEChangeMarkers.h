#pragma once

#include "NBELineDiff.h"
#include "NBERequestOrder.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <memory>
#include <optional>

class NBECodeTextEdit;
class NBEEditorSession;
class NBEGutterView;
class NBETextBuffer;

// One editor's comparison of its text with the HEAD text: the hunks, the
// gutter's markers drawn from them, and the gutter's hunk actions.
class NBEChangeMarkers : public QObject
{
    Q_OBJECT

public:
    NBEChangeMarkers(std::shared_ptr<NBEEditorSession> session,
                     std::shared_ptr<NBETextBuffer> buffer, NBECodeTextEdit *textView,
                     QObject *owner);

    // Puts a new gutter on the text view, wired to these markers, and
    // schedules the markers for it.
    void installGutter();
    NBEGutterView *gutter() const;
    // Compares the text with the HEAD text again once edits have paused;
    // a newer request supersedes a pending or running one.
    void scheduleRecompute();
    // Compares `text` (which is the buffer's), or the text read now.
    void recompute(const std::optional<QString> &text = std::nullopt);
    // An edit: a scheduled comparison waits for the buffer's pause.
    void stop() { m_timer.stop(); }

    const QList<NBEDiffHunk> &currentHunks() const { return m_currentHunks; }
    // The first hunk of the last comparison that covers a 1-based line.
    std::optional<NBEDiffHunk> hunkForLine(int line) const;
    // Puts a hunk's HEAD lines back in the text as one undoable edit. A hunk
    // that no longer matches the text does nothing.
    void discardHunk(const NBEDiffHunk &hunk);

    // The delay between the last change and the comparison.
    static constexpr int delayMs = 150;

Q_SIGNALS:
    // The comparison went off the main thread; for tests.
    void diffStarted();
    // New hunks and markers were stored; for tests.
    void recomputed();

private:
    void storeHunks(const QList<NBEDiffHunk> &hunks);

    std::shared_ptr<NBEEditorSession> m_session;
    std::shared_ptr<NBETextBuffer> m_buffer;
    QPointer<NBECodeTextEdit> m_textView;
    QList<NBEDiffHunk> m_currentHunks;
    QPointer<NBEGutterView> m_gutter;
    QTimer m_timer;
    // A comparison that was superseded while it ran stores nothing.
    NBERequestOrder m_requests;
};
