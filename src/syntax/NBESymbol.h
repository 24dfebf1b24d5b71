#pragma once

#include <QMetaType>
#include <QString>

enum class NBESymbolKind { function, cls, method, selector, atRule, element };

// One outline entry. `id` is unique within one outline: the UTF-16 offset of
// the symbol for HTML and CSS, line index x 100003 + symbols before it for
// JavaScript (64-bit, so it cannot overflow for any text that fits in memory).
struct NBESymbol
{
    qint64 id = 0;
    QString name;
    NBESymbolKind kind = NBESymbolKind::element;
    qint64 line = 1;  // 1-based
    qint64 depth = 0; // 0 at top level

    bool operator==(const NBESymbol &) const = default;
};

Q_DECLARE_METATYPE(NBESymbol)
