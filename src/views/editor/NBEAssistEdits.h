#pragma once

#include <QTextCursor>

class NBECodeTextEdit;
class QString;
class QTextDocument;

// The edits the editor's typing help makes: each one undoable step through
// the document, so the text view's undo history and the buffer both see it.
namespace NBEAssistEdits {

// How far helpers read before the caret for what they work on (a tag, an
// abbreviation, a CSS rule).
inline constexpr int windowBefore = 16 * 1024;

// Replaces [start, start + length) with `replacement` as one undo step; the
// cursor after the new text. Undoing it puts the caret at `caret`, or at the
// end of the replaced text when none is given.
QTextCursor replaced(QTextDocument *document, int start, int length, const QString &replacement,
                     int caret = -1);
// A cursor at `offset` with `selected` characters after it selected, both
// kept inside the text.
QTextCursor cursorAt(QTextDocument *document, int offset, int selected = 0);
// The same through a text view, by offsets of its text, whose caret follows
// and stays in view.
void replace(NBECodeTextEdit *textView, int start, int length, const QString &replacement);
void placeCaret(NBECodeTextEdit *textView, int offset, int selected = 0);

} // namespace NBEAssistEdits
