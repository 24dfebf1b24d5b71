#pragma once

#include "NBECompletionSources.h"
#include "NBELSPCompletionItem.h"

#include <QFuture>
#include <QHash>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QTimer>

#include <optional>

class NBECodeTextEdit;
class NBECompletionController;
class NBEHoverController;
class NBEHoverTrackingView;
class NBETextEditorCoordinator;
class QKeyEvent;

// The editor's help while typing, on behalf of its coordinator: the
// completion panel's keys, Emmet on Tab and the closing tag after ">" in
// HTML, renaming a tag's partner with it, completion from paths, the
// language server and the built-in lists, and the language server's hover
// text under the resting mouse.
class NBETextEditorAssist : public QObject
{
    Q_OBJECT

public:
    NBETextEditorAssist(NBETextEditorCoordinator *coordinator, NBECodeTextEdit *textView);
    ~NBETextEditorAssist() override;

    // A key before the text view sees it; true when handled here.
    bool keyCommand(QKeyEvent *event);
    // Told after every change of the text that the coordinator reported.
    void textEdited(int position, int removed, int added);

    // Shows what completes at the caret, or hides the panel.
    void updateCompletion();
    void acceptCompletion(const QString &label);

    // The mouse at a point of the text view's viewport, and leaving it.
    void hoverMoved(const QPoint &local, const QPoint &global);
    void hoverExited();

    // The offset of the character whose glyph holds a viewport point.
    std::optional<int> characterAt(const QPoint &local) const;

    NBECompletionController *completion() const { return m_completion; }
    NBEHoverController *hover() const { return m_hover; }
    const std::optional<QHash<QString, QString>> &activeLSPItems() const
    {
        return m_activeLSPItems;
    }
    std::optional<int> hoverOffset() const { return m_hoverOffset; }

    static constexpr int hoverDelayMs = 450;

    // The name of the opening tag that a ">" at `offset` would close;
    // nothing for void elements, closing tags, comments and the like.
    static std::optional<QString> openingTagName(int offset, const QString &text);

Q_SIGNALS:
    // A server's completion or hover answer came back, used or dropped; for
    // tests.
    void completionAnswered(bool used);
    void hoverAnswered(bool shown);
    // A folder listing for path completion came back; for tests.
    void pathsListed();

private:
    QString text() const;
    std::optional<QString> languageID() const;
    bool isHTML() const;
    int caret() const;
    bool hasSelection() const;
    // One undoable edit over [start, start + length), through the document.
    void insert(int start, int length, const QString &replacement);
    void setCaret(int offset);
    bool expandEmmet();
    bool closeTag(QKeyEvent *event);
    // Remembers whether the caret stands in a tag name whose partner has
    // the same name, for the next edit there (which can no longer read the
    // text as it was).
    void rememberCaretLink();
    bool isMatchedPairNameEdit(int offset) const;
    void mirrorTagRename();
    void selectionChanged();
    std::optional<NBEPathContext> pathContextAt(const QString &text, int offset) const;
    void showNativeCompletion(int offset);
    void showItems(const QStringList &items, int offset);
    void listPaths(const NBEPathContext &context, int offset);
    QRect caretRect(int offset) const;
    void cancelCompletionRequest();
    void cancelHover();
    void askHover();
    void scrolled();

    NBETextEditorCoordinator *m_coordinator;
    QPointer<NBECodeTextEdit> m_textView;
    NBECompletionController *m_completion;
    NBEHoverController *m_hover;
    QPointer<NBEHoverTrackingView> m_tracking;

    bool m_isMirroring = false;
    // Counts the edits, so a remembered caret link is used only for the text
    // it was found in.
    quint64 m_edits = 0;
    struct CaretLink
    {
        quint64 edits = 0;
        int nameStart = 0;
        int nameEnd = 0;
    };
    std::optional<CaretLink> m_caretLink;
    // The text read once per document revision.
    mutable QString m_text;
    mutable int m_textRevision = -1;
    std::optional<QHash<QString, QString>> m_activeLSPItems;
    // Moves on with every refresh, so an answer for an older text or caret
    // is dropped.
    quint64 m_completionGeneration = 0;
    QFuture<std::optional<QList<NBELSPCompletionItem>>> m_completionRequest;
    // The last folder listed for path completion, for the caret-move check.
    std::optional<QUrl> m_listedDir;
    QList<NBEPathEntry> m_listedEntries;

    QTimer m_hoverTimer;
    std::optional<int> m_hoverOffset;
    QPoint m_hoverScreenPoint;
    quint64 m_hoverGeneration = 0;
    QFuture<std::optional<QString>> m_hoverRequest;
};
