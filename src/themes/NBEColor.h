#pragma once

#include <QColor>
#include <QStringView>

#include <optional>

struct NBEColor
{
    // A colour from six hexadecimal digits, optionally after one "#", with
    // surrounding white space ignored. Any other form (three or eight digits,
    // a non-digit) gives no colour.
    static std::optional<QColor> fromHex(QStringView text);

    // Only for the built-in constants, whose digits are known to be valid.
    static QColor hex(QStringView text);
};
