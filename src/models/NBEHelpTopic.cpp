#include "NBEHelpTopic.h"

QString NBEHelpBlock::id() const
{
    switch (kind) {
    case Kind::paragraph:
        return QStringLiteral("p:") + text;
    case Kind::heading:
        return QStringLiteral("h:") + text;
    case Kind::bullets:
        return QStringLiteral("b:") + items.join(QLatin1Char('|'));
    case Kind::tip:
        return QStringLiteral("t:") + text;
    case Kind::code:
        return QStringLiteral("c:") + text;
    case Kind::seeAlso:
        return QStringLiteral("s:") + items.join(QLatin1Char(','));
    }
    return {};
}

QString NBEHelpTopic::searchText() const
{
    QStringList parts{title, subtitle};
    for (const NBEHelpBlock &block : blocks) {
        switch (block.kind) {
        case NBEHelpBlock::Kind::bullets:
            parts += block.items;
            break;
        case NBEHelpBlock::Kind::seeAlso:
            break;
        default:
            parts.append(block.text);
        }
    }
    return parts.join(QLatin1Char(' ')).toLower();
}
