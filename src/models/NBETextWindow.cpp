#include "NBETextWindow.h"

#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>

NBETextWindow NBETextWindow::read(const QTextDocument *document, int from, int to)
{
    NBETextWindow window;
    window.documentLength = document->characterCount() - 1;
    const int start = std::clamp(from, 0, window.documentLength);
    const int end = std::clamp(to, start, window.documentLength);
    window.start = start;
    if (end == start)
        return window;
    // A cursor reads only the fragments of the range; the document's own
    // whole-text readers would copy everything.
    QTextCursor cursor(const_cast<QTextDocument *>(document));
    cursor.setPosition(start);
    cursor.setPosition(end, QTextCursor::KeepAnchor);
    window.text = cursor.selectedText();
    window.text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    return window;
}

NBETextWindow NBETextWindow::around(const QTextDocument *document, int position, int before,
                                    int after)
{
    return read(document, position - std::max(0, before), position + std::max(0, after));
}
