#pragma once

#include <QString>

// A file's line ending. Text is held with "\n" only (a text document can't
// hold "\r"); the ending found on reading is written back on saving.
enum class NBELineEnding { LF, CRLF, CR };

namespace NBELineEndings {

// The first line ending in `text`; LF when it has none.
NBELineEnding detect(QStringView text);

// `text` with every "\r\n" and lone "\r" turned into "\n".
QString normalized(const QString &text);

// Normalised `text` with each "\n" written as `ending`.
QString applied(const QString &text, NBELineEnding ending);

QString sequence(NBELineEnding ending);

} // namespace NBELineEndings
