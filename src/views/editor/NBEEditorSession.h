#pragma once

#include "NBEEditorDocument.h"
#include "NBELSPCompletionItem.h"
#include "NBELineDiff.h"
#include "NBEOpenTab.h"
#include "NBERevealTarget.h"
#include "NBETheme.h"

#include <QFuture>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

class NBEScrollLink;

// Where a document lies and what its language server offers it. Each
// function is absent when no server serves the document and answers nothing
// when the server can't; cancelling a returned future tells the server the
// answer is no longer wanted. Lines and characters count from zero.
struct NBEEditorProviders
{
    std::optional<QUrl> fileURL;
    std::optional<QUrl> projectRoot;
    std::function<QFuture<std::optional<QList<NBELSPCompletionItem>>>(int line, int character)>
        completion;
    // The characters after which the server offers completion unasked for a
    // word (as it announced them; empty until it has started).
    std::function<QString()> completionTriggers;
    std::function<QFuture<std::optional<QString>>(int line, int character)> hover;
    // The server's formatting of a whole text; nothing when it can't.
    std::function<QFuture<std::optional<QString>>(const QString &text)> formatting;
};

// Actions on one change hunk; absent ones do nothing and the staged query
// answers false. `didDiscard` is told after a discard has changed the text.
struct NBEEditorHunkActions
{
    std::function<void(const NBEDiffHunk &)> stage;
    std::function<void(const NBEDiffHunk &)> unstage;
    std::function<QFuture<bool>(const NBEDiffHunk &)> isStaged;
    std::function<void(const NBEDiffHunk &)> didDiscard;
};

// One editor's view of a tab's document: the buffer it was made for (the
// document may move on to another, and the editor is made again), the look,
// the providers, the hunk actions, the scroll link and where the caret
// starts. The document's own parts (language, settings, HEAD text,
// diagnostics) are read and followed on the document; the session's setters
// announce only a real change, by what changed. Requests to the editor
// (reveal a line) and the caret's moves travel as signals.
class NBEEditorSession : public QObject
{
    Q_OBJECT

public:
    explicit NBEEditorSession(std::shared_ptr<NBEEditorDocument> document,
                              QObject *parent = nullptr);
    // A document of its own over `buffer` (an empty one without).
    explicit NBEEditorSession(std::shared_ptr<NBETextBuffer> buffer = {},
                              QObject *parent = nullptr);

    NBEEditorDocument &document() const { return *m_document; }
    const std::shared_ptr<NBETextBuffer> &buffer() const { return m_buffer; }

    // The document's, for short.
    const std::optional<NBELanguage> &language() const { return m_document->language(); }
    std::optional<QString> languageID() const { return m_document->languageID(); }
    const NBEEditorSettings &settings() const { return m_document->settings(); }
    const std::optional<QString> &headContent() const { return m_document->headContent(); }
    const QList<NBELSPDiagnostic> &diagnostics() const { return m_document->diagnostics(); }

    // Themes count as changed when their id does.
    const NBETheme &theme() const { return m_theme; }
    void setTheme(const NBETheme &theme);
    const NBEEditorProviders &providers() const { return m_providers; }
    void setProviders(const NBEEditorProviders &providers);
    // Read at each click, so they need no announcement.
    const NBEEditorHunkActions &hunkActions() const { return m_hunkActions; }
    void setHunkActions(const NBEEditorHunkActions &actions) { m_hunkActions = actions; }
    // The live preview the editor's scrolling is paired with; read when the
    // editor is made.
    NBEScrollLink *scrollLink() const;
    void setScrollLink(NBEScrollLink *link);

    // Where the caret goes when the editor shows the buffer; read when the
    // editor is made, and put back within the text then.
    NBECursorPosition initialCaret() const { return m_initialCaret; }
    void setInitialCaret(NBECursorPosition caret) { m_initialCaret = caret; }

    // Asks the editor to select a 1-based line and scroll to it; on a line
    // wider than the view, the range chosen on it (an issue's) instead.
    void reveal(int line, const std::optional<NBERevealRange> &range = std::nullopt)
    {
        Q_EMIT revealRequested(line, range);
    }
    // The editor's caret is at `line` and `column` (both from 1, the column
    // in UTF-16 units).
    void reportCursor(int line, int column) { Q_EMIT cursorMoved(line, column); }

Q_SIGNALS:
    void themeChanged();
    void providersChanged();
    void revealRequested(int line, const std::optional<NBERevealRange> &range);
    void cursorMoved(int line, int column);

private:
    std::shared_ptr<NBEEditorDocument> m_document;
    std::shared_ptr<NBETextBuffer> m_buffer;
    NBETheme m_theme;
    NBEEditorProviders m_providers;
    NBEEditorHunkActions m_hunkActions;
    QPointer<NBEScrollLink> m_scrollLink;
    NBECursorPosition m_initialCaret;
};
