#pragma once

#include "NBECompletionSources.h"
#include "NBELSPCompletionItem.h"
#include "NBETagPairs.h"
#include "NBETextWindow.h"

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
class QTextCursor;

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

    void acceptCompletion(const QString &label);

    // The mouse at a point of the text view's viewport, and leaving it.
    void hoverMoved(const QPoint &local, const QPoint &global);
    void hoverExited();

    // The offset of the character whose glyph holds a viewport point.
    std::optional<int> characterAt(const QPoint &local) const;

    NBECompletionController *completion() const { return m_completion; }
    NBEHoverController *hover() const { return m_hover; }
    // The server's items the panel shows, by label (the first of a label).
    const std::optional<QHash<QString, NBELSPCompletionItem>> &activeLSPItems() const
    {
        return m_activeLSPItems;
    }
    std::optional<int> hoverOffset() const { return m_hoverOffset; }

    static constexpr int hoverDelayMs = 450;
    // How far helpers that look near the caret read: the text before it
    // (a tag, a CSS rule, a style element's start) and after it.
    static constexpr int shortWindowBefore = 1024;
    static constexpr int windowBefore = 16 * 1024;
    static constexpr int windowAfter = 1024;
    // How far a tag's partner is looked for, on each side.
    static constexpr int partnerReach = 256 * 1024;

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
    // How an edit came about, for whether it may open the panel.
    enum class Edit { typed, deleted, other };

    NBETextWindow nearCaret(int at) const;
    std::optional<QString> languageID() const;
    bool isHTML() const;
    int caret() const;
    bool hasSelection() const;
    // One undoable edit over [start, start + length), through the document.
    void insert(int start, int length, const QString &replacement);
    void setCaret(int offset, int selected = 0);
    void moveCaret(const QTextCursor &cursor);
    // Whether an edit put in exactly the text of the key being handled.
    bool isTypedKey(int position, int added) const;
    bool expandEmmet();
    bool closeTag(QKeyEvent *event);
    // Remembers whether the caret stands in a tag name whose partner has
    // the same name, for the next edit there (which can no longer read the
    // text as it was).
    void rememberCaretLink();
    // The tag name at the offset and its partner, read from a window that
    // grows until the partner is found or `partnerReach` is read.
    std::optional<NBETagPairsLink> caretLink(int offset) const;
    bool isMatchedPairNameEdit(int offset) const;
    void mirrorTagRename();
    void selectionChanged();
    NBECompletionScope scopeAt(const NBETextWindow &window, int offset) const;
    std::optional<NBEPathContext> pathContextAt(const NBECompletionScope &scope) const;
    void refreshCompletion(Edit edit);
    QString serverTriggers() const;
    void askServer(int at, int wordStart);
    void showServerItems(const NBETextWindow &window, int at);
    void showNativeCompletion(const NBETextWindow &window, int at);
    // `takesReturn` per row: whether Return accepts it without a move.
    void showItems(const QStringList &items, const QList<bool> &takesReturn, int offset);
    void listPaths(const NBEPathContext &context, int offset);
    QRect caretRect(int offset) const;
    void hideCompletion();
    void cancelCompletionRequest();
    // Keeps the server's list on its word across an edit elsewhere.
    void followEdit(int position, int removed, int added);
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
    std::optional<QHash<QString, NBELSPCompletionItem>> m_activeLSPItems;
    // The key being handled, so its edit can be told from a paste; the edit
    // count when it came.
    struct Key
    {
        QString text;
        quint64 edits = 0;
    };
    std::optional<Key> m_key;
    // A folder was just accepted: its entries are a list the user asked for.
    bool m_folderChosen = false;
    // Where the caret was left by the last edit or by the assist itself; a
    // caret anywhere else was moved by the user.
    int m_expectedCaret = -1;
    // The server's list for the word being typed: asked once where the word
    // starts, then narrowed locally as the word grows or shrinks.
    struct ServerList
    {
        int wordStart = 0;
        bool answered = false;
        QList<NBELSPCompletionItem> items;
    };
    std::optional<ServerList> m_server;
    // Per shown row: whether an unmoved panel accepts it on Return.
    QList<bool> m_takesReturn;
    // Moves on with every request, so an answer for an older one is dropped.
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
