#include "NBEOpeningFile.h"

QString NBEOpeningFile::startOf(const QString &text)
{
    // Looks no further: a minified file is one line of megabytes.
    const QStringView head = QStringView(text).left(shownUnits);
    qsizetype end = 0;
    for (int line = 0; line < shownLines && end < head.size(); ++line) {
        const qsizetype next = head.indexOf(u'\n', end);
        end = next < 0 ? head.size() : next + 1;
    }
    // Never half a character.
    if (end < text.size() && end > 0 && head.at(end - 1).isHighSurrogate())
        --end;
    return text.left(end);
}
