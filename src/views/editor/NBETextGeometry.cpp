#include "NBETextGeometry.h"

#include <QTextCursor>
#include <QTextDocument>

QString NBETextGeometry::textBetween(int viewFrom, int viewTo) const
{
    const QTextCursor cursor =
        textCursor(toText(std::min(viewFrom, viewTo)), toText(std::max(viewFrom, viewTo)));
    return cursor.selectedText().replace(QChar::ParagraphSeparator, u'\n');
}

QTextCursor NBETextGeometry::textCursor(int anchor, int position) const
{
    QTextCursor cursor(textDocument());
    // Inside an edit block a cursor doesn't measure where it stands; an
    // empty block leaves no undo step.
    cursor.beginEditBlock();
    cursor.setPosition(anchor);
    cursor.setPosition(position, QTextCursor::KeepAnchor);
    cursor.endEditBlock();
    return cursor;
}
