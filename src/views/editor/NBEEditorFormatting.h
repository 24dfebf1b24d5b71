#pragma once

#include "NBEHTMLAction.h"
#include "NBEMarkdownAction.h"
#include "NBEMarkdownEdit.h"

#include <QObject>
#include <QPointer>

#include <memory>
#include <optional>

class NBECodeTextEdit;
class NBEEditorSession;

// Edits that rewrite a range or the whole of one editor's text as one
// undoable change: the toolbar's actions on the selection and formatting.
class NBEEditorFormatting : public QObject
{
    Q_OBJECT

public:
    NBEEditorFormatting(std::shared_ptr<NBEEditorSession> session, QObject *owner);

    // The view edited from now on.
    void setTextView(NBECodeTextEdit *textView) { m_textView = textView; }

    // One formatting edit as one undoable change.
    void applyEdit(const NBEMarkdownEdit &edit);
    // A toolbar action on the selection, as one undoable change.
    void applyMarkdownAction(NBEMarkdownAction action);
    void applyHTMLAction(NBEHTMLAction action);
    // Formats the whole text: the language server's formatting when it has
    // one, the built-in formatter otherwise. A text typed into meanwhile
    // stays as it is.
    void format();
    // Replaces the whole text with a formatted one; the caret keeps its line.
    void applyFormattedText(const QString &formatted);

Q_SIGNALS:
    // A whole-document format finished (applied or not); for tests.
    void formatFinished(bool applied);

private:
    void finishFormat(const QString &source, const std::optional<QString> &result);
    // The selection in text offsets (not a split view's).
    NBETextRange selection() const;
    // Puts the view's caret at a text offset, with an anchor when given.
    void placeCaret(int offset, std::optional<int> anchor = std::nullopt);

    std::shared_ptr<NBEEditorSession> m_session;
    QPointer<NBECodeTextEdit> m_textView;
};
