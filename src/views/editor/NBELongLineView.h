#pragma once

#include "NBEEditorHighlighter.h"

#include <QObject>
#include <QPointer>

#include <memory>

class QTextDocument;
class NBECodeTextEdit;
class NBELongLineDocument;
class NBETextBuffer;

// Whether a text view shows its buffer split (a NBELongLineDocument), and
// all that follows from it for the view's driver, which never asks which:
// the document shown, whose undo history the view keeps, and how a highlight
// pass colours what it shows. A text holding a line too long to lay out at
// every key is shown split: at once when it is short, else once its split
// document is made off the main thread.
class NBELongLineView : public QObject
{
    Q_OBJECT

public:
    NBELongLineView(std::shared_ptr<NBETextBuffer> buffer, NBECodeTextEdit *view,
                    QObject *parent = nullptr);
    ~NBELongLineView() override;

    // A text at least this long is split off the main thread. Below it the
    // split costs less than laying its long line out whole: a minified
    // script of 8 MB is split in well under 100 ms.
    static constexpr qsizetype splitInBackgroundChars = 16 * 1024 * 1024;

    // The document the view is to show first. A short text with a long line
    // is split now, its document readied with the view's font and options;
    // a longer one is shown whole at first (the buffer's document).
    QTextDocument *firstDocument();
    // Turns the view's undo on, off since a replacement of the text, unless
    // the view shows a split document, which keeps none (the buffer's is
    // used). (Turned on again while on, undo would forget where the saved
    // text lies in it.)
    void enableUndo();
    // Shows the text split once the view holds a line too long to shape,
    // unless it is split or being split already.
    void split();
    // Shows the text split now, unless it is split already or being split
    // off the main thread (a text opened with a long line).
    void splitNow();
    // Shows the text whole again once no line of it is too long to, so no
    // line keeps pieces it no longer needs.
    void showWholeAgain();

    // Gives `highlighter` the language's colours, or none. A split view is
    // coloured by a tokenizer made for its splits at each pass.
    void setLanguage(NBEEditorHighlighter &highlighter,
                     const std::optional<NBELanguage> &language) const;
    // Starts a pass over `text`, the buffer's, as the view shows it;
    // `languageChanged` when the last pass was of another language.
    void highlight(NBEEditorHighlighter &highlighter, const NBELanguage &language,
                   const QString &text, bool languageChanged) const;

Q_SIGNALS:
    // Around the view taking a split document in place of the buffer's, or
    // the buffer's again: a highlighter of the document left must leave the
    // view first. The caret was at the text offsets `anchor` and `position`.
    void splitWillShow();
    void splitShown(int anchor, int position);

private:
    void show(NBELongLineDocument *longLines);
    void showSplitNow();

    std::shared_ptr<NBETextBuffer> m_buffer;
    QPointer<NBECodeTextEdit> m_view;
    NBELongLineDocument *m_longLines = nullptr;
    bool m_splitting = false;
};
