#include "NBEColor.h"

std::optional<QColor> NBEColor::fromHex(QStringView text)
{
    QStringView digits = text.trimmed();
    if (digits.startsWith(u'#'))
        digits = digits.mid(1);
    if (digits.size() != 6)
        return std::nullopt;
    unsigned value = 0;
    for (QChar c : digits) {
        const char16_t u = c.unicode();
        unsigned digit;
        if (u >= u'0' && u <= u'9')
            digit = u - u'0';
        else if (u >= u'a' && u <= u'f')
            digit = u - u'a' + 10;
        else if (u >= u'A' && u <= u'F')
            digit = u - u'A' + 10;
        else
            return std::nullopt;
        value = value * 16 + digit;
    }
    return QColor::fromRgb((value >> 16) & 0xFF, (value >> 8) & 0xFF, value & 0xFF);
}

QColor NBEColor::hex(QStringView text)
{
    return fromHex(text).value_or(QColor(Qt::black));
}
