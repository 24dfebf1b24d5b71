#pragma once

#include "NBERequestOrder.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <memory>
#include <optional>

class NBECodeTextEdit;
class NBEColorSwatchOverlay;
class NBEEditorSession;
class NBETextBuffer;

// When one editor's text is scanned for colour literals, and how a picked
// colour is written back: the swatch overlay is its output.
class NBESwatchScheduler : public QObject
{
    Q_OBJECT

public:
    NBESwatchScheduler(std::shared_ptr<NBEEditorSession> session,
                       std::shared_ptr<NBETextBuffer> buffer, NBECodeTextEdit *textView,
                       QObject *owner);

    // Puts the overlay on the text view and scans the text at rest.
    void installOverlay();
    NBEColorSwatchOverlay *overlay() const;

    // Scanned again at once, once edits have paused, or (an update at rest)
    // only when the text or the language changed since the last scan.
    void recomputeNow() { recompute(std::nullopt); }
    void scheduleRecompute();
    void recomputeAtRest();
    // Scans `text` (which is the buffer's), or the text read now.
    void recompute(const std::optional<QString> &text);
    // An edit: a scheduled scan waits for the buffer's pause.
    void stop() { m_timer.stop(); }

    // The delay between the last edit and the scan; longer texts are
    // scanned off the main thread.
    static constexpr int delayMs = 200;
    static constexpr qsizetype backgroundChars = 256 * 1024;

Q_SIGNALS:
    // A scan reached the overlay; for tests.
    void recomputed();

private:
    std::shared_ptr<NBEEditorSession> m_session;
    std::shared_ptr<NBETextBuffer> m_buffer;
    QPointer<NBECodeTextEdit> m_textView;
    QPointer<NBEColorSwatchOverlay> m_overlay;
    QTimer m_timer;
    // The language and buffer revision of the last scan at rest.
    std::optional<QString> m_lastKey;
    // A background scan that a newer one superseded stores nothing.
    NBERequestOrder m_requests;
};
