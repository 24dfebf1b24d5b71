#include "NBEAssistEdits.h"

#include "NBECodeTextEdit.h"

#include <QTextDocument>

#include <algorithm>

QTextCursor NBEAssistEdits::replaced(QTextDocument *document, int start, int length,
                                     const QString &replacement, int caret)
{
    // Undo puts the caret back where the cursor stood when the edit block
    // opened, so it opens at the user's caret rather than the text's start.
    QTextCursor cursor = cursorAt(document, caret < 0 ? start + length : caret);
    cursor.beginEditBlock();
    cursor.setPosition(start);
    cursor.setPosition(start + length, QTextCursor::KeepAnchor);
    cursor.insertText(replacement);
    cursor.endEditBlock();
    return cursor;
}

QTextCursor NBEAssistEdits::cursorAt(QTextDocument *document, int offset, int selected)
{
    const int length = int(document->characterCount() - 1);
    QTextCursor cursor(document);
    cursor.setPosition(std::clamp(offset, 0, length));
    if (selected > 0)
        cursor.setPosition(std::clamp(offset + selected, 0, length), QTextCursor::KeepAnchor);
    return cursor;
}

void NBEAssistEdits::replace(NBECodeTextEdit *textView, int start, int length,
                             const QString &replacement)
{
    textView->showTextCursor(replaced(textView->textGeometry().textDocument(), start, length,
                                      replacement, textView->textCaret()));
    textView->ensureCursorVisible();
}

void NBEAssistEdits::placeCaret(NBECodeTextEdit *textView, int offset, int selected)
{
    textView->showTextCursor(cursorAt(textView->textGeometry().textDocument(), offset, selected));
}
