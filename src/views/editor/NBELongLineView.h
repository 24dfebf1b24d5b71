#pragma once

#include "NBEEditorHighlighter.h"
#include "NBETextInput.h"

#include "NBELongLineDocument.h"

#include <QFuture>
#include <QObject>
#include <QPointer>

#include <memory>

class QTextDocument;
class NBECodeTextEdit;
class NBEHeldInput;
class NBELongLineInput;
class NBESplitStart;
class NBETextBuffer;
struct NBETextChange;

// Whether a text view shows its buffer whole or split (a
// NBELongLineDocument), decided here alone, and all that follows from it for
// the view and its driver, which never ask which: the document shown, its
// geometry and input on the view, whose undo history the view keeps, whether
// glyphs are shaped, and how a highlight pass colours what it shows. A text
// holding a line too long to lay out at every key is shown split: at once
// when it is short, else once its split document is made off the main
// thread (the view shows the text's start, read only, until then, and keeps
// what is typed meanwhile for the text). A paste, drop, replacement, undo or
// redo that brings such a line splits the view first.
class NBELongLineView : public QObject, private NBETextInput
{
    Q_OBJECT

public:
    NBELongLineView(std::shared_ptr<NBETextBuffer> buffer, NBECodeTextEdit *view,
                    QObject *parent = nullptr);
    ~NBELongLineView() override;

    // A text at least this long is split off the main thread: the split of a
    // minified script of 8 MB holds the main thread for about 100 ms, one of
    // a megabyte for about a tenth of that.
    static constexpr qsizetype splitInBackgroundChars = 1024 * 1024;

    // Whether a line that touches the document offsets [from, to] (the
    // whole document when `to` is negative) is longer than
    // NBESoftBreaks::longestWholeLine.
    static bool hasLongLine(const QTextDocument *document, int from = 0, int to = -1);

    // The document the view is to show first. A short text with a long line
    // is split now, its document readied with the view's font and options.
    // A longer one is split off the main thread: none now, the view shows
    // the text's start read only, and firstDocumentReady brings it; keys
    // typed meanwhile reach the view after it.
    QTextDocument *firstDocument();
    // Brings the first document now, when keys typed meanwhile wait for it
    // (the view is about to go): they reach the text as if typed then.
    void takeHeldInput();
    // Turns the view's undo on, off since a replacement of the text, unless
    // the view shows a split document, which keeps none (the buffer's is
    // used). (Turned on again while on, undo would forget where the saved
    // text lies in it.)
    void enableUndo();
    // After the buffer's text was replaced: a line too long to show whole
    // is shown split before the caret is placed.
    void textReplaced();
    // After edits paused: a text that no longer holds a line too long to
    // show whole is shown whole again, so no line keeps pieces it no longer
    // needs.
    void textSettled();

    // Gives `highlighter` the language's colours, or none. A split view is
    // coloured by a tokenizer made for its splits at each pass.
    void setLanguage(NBEEditorHighlighter &highlighter,
                     const std::optional<NBELanguage> &language) const;
    // Starts a pass over `text`, the buffer's, as the view shows it;
    // `languageChanged` when the last pass was of another language.
    void highlight(NBEEditorHighlighter &highlighter, const NBELanguage &language,
                   const QString &text, bool languageChanged) const;
    // Just after the view took a split document: its lines that were shown
    // whole keep the colours `whole`, the highlighter of the document left,
    // gave them, until `shown`'s first pass comes back.
    void keepColours(const NBEEditorHighlighter &whole, NBEEditorHighlighter &shown) const;

Q_SIGNALS:
    // The document to show first, made off the main thread; the buffer's
    // snapshot is the text it was made from.
    void firstDocumentReady(QTextDocument *document);
    // Around the view taking a split document in place of the buffer's, or
    // the buffer's again: a highlighter of the document left must leave the
    // view first. The caret was at the text offsets `anchor` and `position`.
    void splitWillShow();
    void splitShown(int anchor, int position);

private:
    // Splits `text`, the buffer's, off the main thread for the first
    // document; made again while the buffer moves on meanwhile.
    void splitFirstInBackground(const QString &text);
    // Shows the first document split as `shown`, unless the buffer moved on
    // since: then split again, in the background or, `now`, here.
    void firstSplitMade(const std::shared_ptr<NBELongLineDocument::Shown> &shown, bool now);
    // Waits for the first split under way and shows its document.
    void showFirstNow();
    void showFirst(NBELongLineDocument *longLines);
    // Shows the text split now, unless it is split already or its first
    // document is being split off the main thread.
    void splitNow();
    void showSplitNow();
    void showWholeAgain();
    void show(NBELongLineDocument *longLines);
    // Shows a line too long to shape split, unless the first document is
    // still being split off the main thread.
    void updateShaping();
    void bufferChanged(const NBETextChange &change);
    void bufferWillBeReplaced(const QString &text);
    // Whether `text` in place of the view's selection makes a line longer
    // than NBESoftBreaks::longestWholeLine.
    bool bringsLongLine(const QString &text) const;
    // Splits the view first when `source` brings a long line into it whole;
    // answers whether it did.
    bool splitFor(const QMimeData *source);

    // The view's input while it shows the text whole: a paste or drop that
    // brings a long line is taken split.
    bool paste(const QMimeData *source) override;
    bool drop(QDropEvent *event) override;
    QMimeData *copy() const override { return nullptr; }
    // An undo or redo that may bring a long line back is taken split.
    bool undoOrRedo(bool redo) override;

    std::shared_ptr<NBETextBuffer> m_buffer;
    QPointer<NBECodeTextEdit> m_view;
    NBELongLineDocument *m_longLines = nullptr;
    // Installed on the view while it shows m_longLines.
    std::unique_ptr<NBELongLineInput> m_input;
    // The text's start, shown until its first document is made.
    std::unique_ptr<NBESplitStart> m_start;
    // Keys typed while the first document is made.
    std::unique_ptr<NBEHeldInput> m_held;
    // The first split under way: of m_firstText, the buffer's at
    // m_firstRevision; its count tells a split waited for from a later one.
    QFuture<std::shared_ptr<NBELongLineDocument::Shown>> m_firstSplit;
    QString m_firstText;
    quint64 m_firstRevision = 0;
    quint64 m_firstSplits = 0;
    bool m_splitting = false;
    // The buffer's undo history may hold a line too long to show whole: the
    // view showed one since the history began.
    bool m_historyHoldsLongLine = false;
};
