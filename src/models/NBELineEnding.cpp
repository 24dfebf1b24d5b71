#include "NBELineEnding.h"

namespace NBELineEndings {

NBELineEnding detect(QStringView text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('\n'))
            return NBELineEnding::LF;
        if (text[i] == QLatin1Char('\r')) {
            return i + 1 < text.size() && text[i + 1] == QLatin1Char('\n') ? NBELineEnding::CRLF
                                                                           : NBELineEnding::CR;
        }
    }
    return NBELineEnding::LF;
}

QString normalized(const QString &text)
{
    if (!text.contains(QLatin1Char('\r')))
        return text;
    QString result;
    result.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == QLatin1Char('\r')) {
            result.append(QLatin1Char('\n'));
            if (i + 1 < text.size() && text[i + 1] == QLatin1Char('\n'))
                ++i;
        } else {
            result.append(c);
        }
    }
    return result;
}

QString applied(const QString &text, NBELineEnding ending)
{
    const QString plain = normalized(text);
    if (ending == NBELineEnding::LF)
        return plain;
    QString result = plain;
    result.replace(QLatin1Char('\n'), sequence(ending));
    return result;
}

QString sequence(NBELineEnding ending)
{
    switch (ending) {
    case NBELineEnding::LF:
        return QStringLiteral("\n");
    case NBELineEnding::CRLF:
        return QStringLiteral("\r\n");
    case NBELineEnding::CR:
        return QStringLiteral("\r");
    }
    return QStringLiteral("\n");
}

} // namespace NBELineEndings
