#pragma once

#include "NBECompletionList.h"
#include "NBECompletionModel.h"
#include "NBECompletionSources.h"
#include "NBELSPCompletionItem.h"
#include "NBERequestOrder.h"
#include "NBETextWindow.h"

#include "NBEKeyHandler.h"
#include <QFuture>
#include <QHash>

#include <QObject>
#include <QPointer>
#include <QRect>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

class NBECodeTextEdit;
class NBETextBuffer;
class QKeyEvent;
class QTextCursor;

// Owns the completion panel of one editor: fills it, places it below the
// caret inside the editor's window, moves its highlight and accepts a row.
// Keys reach it through the editor; the panel is a child widget and never
// takes focus. With a text view it also decides what the panel offers while
// the user types: paths, the language server's list for the word being
// typed (asked once, narrowed as the word changes), or the built-in lists.
class NBECompletionController : public QObject, public NBEKeyHandler
{
    Q_OBJECT

public:
    // The server's list at a zero-based line and UTF-16 character; nothing
    // when it can't answer. Cancelling the future withdraws the request.
    using Provider =
        std::function<QFuture<std::optional<QList<NBELSPCompletionItem>>>(int line, int character)>;

    // A bare panel, shown and filled by hand.
    explicit NBECompletionController(QObject *parent = nullptr);
    NBECompletionController(NBECodeTextEdit *textView, std::shared_ptr<const NBETextBuffer> buffer,
                            QObject *parent);
    ~NBECompletionController() override;

    // HTML and CSS complete; any other language hides the panel on an edit.
    void setLanguageID(const std::optional<QString> &languageID) { m_languageID = languageID; }
    // Where relative paths start: the document's folder and the project's.
    void setDocumentLocation(const std::optional<QUrl> &fileURL,
                             const std::optional<QUrl> &projectRoot);
    // Without a provider the built-in lists serve. `triggers` gives the
    // characters after which the server offers completion unasked for a word.
    void setServer(const Provider &provider, const std::function<QString()> &triggers);

    // A key before the text view sees it; true when handled here.
    bool keyCommand(QKeyEvent *event) override;
    // The panel's keys come first: Tab accepts a shown row before it expands.
    int keyPriority() const override { return 30; }
    // Told after every change of the text. An edit the typing help made on
    // its own (a tag partner's rename) is followed but opens nothing.
    void textEdited(int position, int removed, int added, bool assisted = false);

    // `caretRect` in global coordinates; `window` is the widget the panel
    // lives in (the editor's window).
    void show(const QStringList &items, const QRect &caretRect, QWidget *window);
    // Puts a shown panel below the caret again (the editor scrolled).
    void follow(const QRect &caretRect, QWidget *window);
    void hide();
    void moveSelection(int step);
    void acceptSelected();
    bool isVisible() const;
    // Whether the user moved the highlight in the rows on show.
    bool isMoved() const { return m_moved; }

    NBECompletionModel *model() const { return m_model; }
    NBECompletionList *panel() const { return m_panel; }
    std::function<void(const QString &label)> onAccept;
    // The server's items the panel shows, by label (the first of a label).
    const std::optional<QHash<QString, NBELSPCompletionItem>> &activeLSPItems() const
    {
        return m_activeLSPItems;
    }

    static constexpr int panelWidth = 260;
    static constexpr int maxPanelHeight = NBECompletionList::maxHeight;
    static int panelHeight(int count);
    // How far the completion reads near the caret: the text before it (a
    // tag, a CSS rule, a style element's start) and after it.
    static constexpr int shortWindowBefore = 1024;
    static constexpr int windowAfter = 1024;

Q_SIGNALS:
    // A server's answer came back, used or dropped; for tests.
    void completionAnswered(bool used);
    // A folder listing for path completion came back; for tests.
    void pathsListed();

private:
    // How an edit came about, for whether it may open the panel.
    enum class Edit { typed, deleted, other };

    NBECompletionList *makePanel(QWidget *window);
    void place(const QRect &caretRect, QWidget *window);
    // Places the panel held back while an edit was being reported.
    void placeAfterEdit();

    NBETextWindow nearCaret(int at) const;
    int caret() const;
    bool hasSelection() const;
    void moveCaret(const QTextCursor &cursor);
    // Whether an edit put in exactly the text of the key being handled.
    bool isTypedKey(int position, int added) const;
    void selectionChanged();
    void scrolled();
    NBECompletionScope scopeAt(const NBETextWindow &window, int offset) const;
    std::optional<NBEPathContext> pathContextAt(const NBECompletionScope &scope) const;
    void refresh(Edit edit);
    // Hides the panel and drops the list and any request for it.
    void dismiss();
    void cancelRequest();
    QString serverTriggers() const;
    void askServer(int at, int wordStart);
    void showServerItems(const NBETextWindow &window, int at);
    void showNativeItems(const NBETextWindow &window, int at);
    // `takesReturn` per row: whether Return accepts it without a move.
    void showItems(const QStringList &items, const QList<bool> &takesReturn, int offset);
    void listPaths(const NBEPathContext &context, int offset);
    QRect caretRect(int offset) const;
    void accept(const QString &label);
    // Keeps the server's list on its word across an edit elsewhere.
    void followEdit(int position, int removed, int added);

    NBECompletionModel *m_model;
    QPointer<NBECompletionList> m_panel;
    // Whether the panel is in view; once shown it stays a visible widget.
    bool m_shown = false;
    bool m_moved = false;
    // While an edit is reported, the text view hasn't laid out its new text:
    // a caret's place read then is where the old text had it. The panel is
    // placed once the view has the edit.
    bool m_inEdit = false;
    bool m_placeAfterEdit = false;

    QPointer<NBECodeTextEdit> m_textView;
    std::optional<QString> m_languageID;
    std::optional<QUrl> m_fileURL;
    std::optional<QUrl> m_projectRoot;
    Provider m_provider;
    std::function<QString()> m_triggers;
    std::optional<QHash<QString, NBELSPCompletionItem>> m_activeLSPItems;
    // Its revision moves with every edit, so a key is matched only with the
    // edit it made.
    std::shared_ptr<const NBETextBuffer> m_buffer;
    // The key being handled, so its edit can be told from a paste.
    struct Key
    {
        QString text;
        quint64 revision = 0; // the buffer's, as the key went down
    };
    std::optional<Key> m_key;
    // A folder was just accepted: its entries are a list the user asked for.
    bool m_folderChosen = false;
    // Where the caret was left by the last edit or by the completion itself;
    // a caret anywhere else was moved by the user.
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
    // An answer for an older request is dropped.
    NBERequestOrder m_requests;
    QFuture<std::optional<QList<NBELSPCompletionItem>>> m_request;
};
