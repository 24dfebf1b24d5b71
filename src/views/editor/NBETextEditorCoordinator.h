#pragma once

#include "NBECSSColors.h"
#include "NBEEditorHighlighter.h"
#include "NBEEditorSession.h"
#include "NBELineDiff.h"
#include "NBERequestOrder.h"

#include <QFont>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <optional>

class QTextCursor;
class QTextDocument;

class NBEChangeMarkers;
class NBECodeTextEdit;
class NBEEditorAssist;
class NBEEditorFormatting;
class NBECompletionController;
class NBEDiagnosticOverlay;
class NBEGutterView;
class NBEHoverController;
class NBELongLineView;
class NBESwatchScheduler;
struct NBETextChange;

// The text view's delegate and the owner of one editor's editing state: what
// was applied last (font, theme, settings) and the work that waits for the
// buffer's pause (re-highlight, change markers, swatches). The change markers,
// the swatch scans, the typing help and formatting are parts it owns.
class NBETextEditorCoordinator : public QObject
{
    Q_OBJECT

public:
    explicit NBETextEditorCoordinator(std::shared_ptr<NBEEditorSession> session,
                                      QObject *owner = nullptr);
    ~NBETextEditorCoordinator() override;

    // Configures a new text view from the session: settings, colours, the
    // buffer, first highlight and the scroll link; from then on it follows
    // the session's changes.
    void attach(NBECodeTextEdit *textView);

    // The toolbar's actions and formatting, each one undoable change.
    NBEEditorFormatting *formatting() const { return m_formatting; }
    // Selects a 1-based line and scrolls to it; any other number puts the
    // caret at the end.
    void scrollTo(int line, const std::optional<NBERevealRange> &range = std::nullopt);
    // Leaves the selection and scroll position with the document, for the
    // next editor of the same text.
    void keepViewState();
    // Keys typed while the text was split go into it now, before the view
    // goes (its tab switched or closed meanwhile).
    void takeHeldInput();

    NBECodeTextEdit *textView() const { return m_textView; }
    NBEEditorHighlighter *highlighter() const { return m_highlighter; }
    NBEEditorSession *session() const { return m_session.get(); }
    QFont font() const { return m_font; }
    QString currentThemeID() const { return m_session->theme().id; }
    bool isUserEditing() const { return m_isUserEditing; }
    const std::optional<QString> &headContent() const { return m_session->headContent(); }
    // The comparison with HEAD and the gutter that shows it.
    NBEChangeMarkers *changeMarkers() const { return m_changes; }
    NBEGutterView *gutter() const;
    NBEDiagnosticOverlay *diagnosticOverlay() const;
    // Typing help: completion and the language server's hover text.
    NBECompletionController *completion() const;
    NBEHoverController *hover() const;

    // Colour swatches: when the text is scanned for them, and their overlay.
    NBESwatchScheduler *swatches() const { return m_swatches; }

Q_SIGNALS:

private:
    // The rest of attaching, once the view has the document to show first.
    void show(QTextDocument *document);
    void finishAttaching();
    // Puts the caret where the session's tab left it and scrolls it into view
    // once laid out; told to the session only when the text moved it. An
    // earlier editor's selection and scroll position of the same text come
    // back as they were.
    void placeInitialCaret();
    // Each change of the session reaches only what it concerns.
    void listenToSession();
    void settingsDidChange(const NBEEditorSettings &previous);
    void languageDidChange();
    void textDidChange(const NBETextChange &change);
    void noteEdit(int position, int added);
    // Wrapping, font, tabs and invisibles as `settings` have them.
    void applySettings(const NBEEditorSettings &settings);
    // Around the view taking a split document: edits are followed in it,
    // coloured by its own highlighter, and the caret stays where it was.
    void splitWillShow();
    void splitShown(int anchor, int position);
    void bufferWillBeReplaced();
    void bufferReplaced();
    void selectionDidChange();
    // Puts the view's caret at a text offset, with an anchor when given.
    void placeCaret(int offset, std::optional<int> anchor = std::nullopt);
    NBECursorPosition caretOf(const QTextCursor &viewCursor) const;
    void applyColors();
    // Gives the highlighter the session's language.
    void applyLanguage();
    // Starts a pass over `text` (which is the document's), or over the text
    // read now.
    void highlightWholeText(const std::optional<QString> &text = std::nullopt);
    // After edits paused: re-highlighting, change markers and swatches from
    // one copy of the text.
    void textSettled();
    void observeScroll(NBEScrollLink *link);

    std::shared_ptr<NBEEditorSession> m_session;
    // The buffer shown (held, so it outlives the view).
    std::shared_ptr<NBETextBuffer> m_buffer;
    int m_replacedCaret = 0;
    int m_replacedScroll = 0;
    QPointer<NBECodeTextEdit> m_textView;
    NBEEditorHighlighter *m_highlighter = nullptr;
    // The highlighter of the text shown whole, between the two steps of a
    // swap to the split view.
    QPointer<NBEEditorHighlighter> m_wholeHighlighter;
    NBELongLineView *m_longLineView = nullptr;
    QFont m_font;
    bool m_isUserEditing = false;
    NBEChangeMarkers *m_changes = nullptr;
    QPointer<NBEDiagnosticOverlay> m_diagnosticOverlay;
    // The typing help.
    NBEEditorAssist *m_assist = nullptr;
    NBEEditorFormatting *m_formatting;
    bool m_replacing = false;
    bool m_scrollObserved = false;
    // The language of the last highlight pass: another one needs a new
    // tokenizer before the next pass.
    std::optional<QString> m_highlightedLanguageID;
    NBESwatchScheduler *m_swatches = nullptr;
    // A line to reveal asked for before the text was shown.
    std::optional<std::pair<int, std::optional<NBERevealRange>>> m_pendingReveal;
};
