#include "NBEEditorFormatting.h"

#include "NBEAssistEdits.h"
#include "NBECodeTextEdit.h"
#include "NBEEditorSession.h"
#include "NBEFormatter.h"
#include "NBEHTMLEditor.h"
#include "NBEMarkdownEditor.h"
#include "NBEWhenFinished.h"

#include <QTextDocument>
#include <QtConcurrent/QtConcurrentRun>

NBEEditorFormatting::NBEEditorFormatting(std::shared_ptr<NBEEditorSession> session, QObject *owner)
    : QObject(owner)
    , m_session(std::move(session))
{}

void NBEEditorFormatting::placeCaret(int offset, std::optional<int> anchor)
{
    const NBETextGeometry &geometry = m_textView->textGeometry();
    QTextCursor cursor(m_textView->document());
    cursor.setPosition(geometry.toView(anchor.value_or(offset)));
    cursor.setPosition(geometry.toView(offset), QTextCursor::KeepAnchor);
    m_textView->setTextCursor(cursor);
}

NBETextRange NBEEditorFormatting::selection() const
{
    const QTextCursor cursor = m_textView->textCursor();
    const int start = m_textView->textGeometry().toText(cursor.selectionStart());
    return {start, m_textView->textGeometry().toText(cursor.selectionEnd()) - start};
}

void NBEEditorFormatting::applyMarkdownAction(NBEMarkdownAction action)
{
    if (m_textView)
        applyEdit(NBEMarkdownEditor::edit(action, m_textView->text(), selection()));
}

void NBEEditorFormatting::applyHTMLAction(NBEHTMLAction action)
{
    if (m_textView)
        applyEdit(NBEHTMLEditor::edit(action, m_textView->text(), selection()));
}

void NBEEditorFormatting::applyEdit(const NBEMarkdownEdit &edit)
{
    NBECodeTextEdit *textView = m_textView;
    if (!textView || textView->isReadOnly())
        return;
    QTextDocument *document = m_textView->textGeometry().textDocument();
    const int length = document->characterCount() - 1;
    const int start = int(std::clamp<int>(edit.range.location, 0, length));
    const int end = int(std::clamp<int>(edit.range.end(), start, length));
    QTextCursor cursor(document);
    cursor.setPosition(start);
    cursor.setPosition(end, QTextCursor::KeepAnchor);
    cursor.insertText(edit.replacement);
    const int newLength = document->characterCount() - 1;
    const int selStart = int(std::clamp<int>(edit.selection.location, 0, newLength));
    const int selEnd = int(std::clamp<int>(edit.selection.end(), selStart, newLength));
    placeCaret(selEnd, selStart);
    textView->setFocus();
}

void NBEEditorFormatting::format()
{
    if (!m_textView)
        return;
    const QString source = m_textView->text();
    const NBEEditorSettings &settings = m_session->settings();
    const QString indent = settings.indentUnit();
    const std::optional<QString> languageID = m_session->languageID();
    // The built-in formatters work on the whole text: off the main thread.
    const auto builtIn = [this, source, languageID, indent] {
        nbeWhenFinished(QtConcurrent::run([source, languageID, indent] {
                            return NBEFormatter::format(source, languageID, indent);
                        }),
                        this, [this, source](const std::optional<QString> &result) {
                            finishFormat(source, result);
                        });
    };
    const auto &formatting = m_session->providers().formatting;
    if (!formatting) {
        builtIn();
        return;
    }
    nbeWhenFinished(formatting(source), this,
                    [this, source, builtIn](const std::optional<QString> &result) {
                        if (result)
                            finishFormat(source, result);
                        else
                            builtIn();
                    });
}

void NBEEditorFormatting::finishFormat(const QString &source, const std::optional<QString> &result)
{
    // A result computed from a text the user has changed since would undo
    // that typing: it is dropped.
    if (!m_textView || !result) {
        Q_EMIT formatFinished(false);
        return;
    }
    const QString current = m_textView->text();
    if (current != source || *result == current) {
        Q_EMIT formatFinished(false);
        return;
    }
    applyFormattedText(*result);
    Q_EMIT formatFinished(true);
}

void NBEEditorFormatting::applyFormattedText(const QString &formatted)
{
    NBECodeTextEdit *textView = m_textView;
    if (!textView || textView->isReadOnly())
        return;
    const QString before = textView->text();
    const int caret =
        std::min<int>(m_textView->textGeometry().toText(textView->textCursor().selectionStart()),
                      int(before.size()));
    const qsizetype lines = QStringView(before).left(caret).count(u'\n');

    // Opened at the caret, where undo puts it back (not at the text's end).
    NBEAssistEdits::replaced(m_textView->textGeometry().textDocument(), 0, int(before.size()),
                             formatted, caret);

    qsizetype position = 0;
    for (qsizetype passed = 0; passed < lines; ++passed) {
        const qsizetype next = formatted.indexOf(u'\n', position);
        if (next < 0) {
            position = formatted.size();
            break;
        }
        position = next + 1;
    }
    placeCaret(int(std::min<qsizetype>(position, formatted.size())));
    textView->ensureCursorVisible();
}
