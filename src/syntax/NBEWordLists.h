#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

#include <initializer_list>
#include <utility>

// Builders for the constant vocabulary tables, written as ", "-separated
// literals so each table reads like the list it holds.
namespace NBEWordLists {

inline QStringList list(const char *items)
{
    return QString::fromLatin1(items).split(QStringLiteral(", "));
}

// Rows naming several keys give each the same list.
inline QHash<QString, QStringList>
table(std::initializer_list<std::pair<const char *, const char *>> rows)
{
    QHash<QString, QStringList> result;
    for (const auto &[keys, values] : rows) {
        const QStringList valueList = list(values);
        for (const QString &key : list(keys))
            result.insert(key, valueList);
    }
    return result;
}

// The items whose lower-cased form begins with the lower-cased prefix, in order.
inline QStringList startingWith(const QStringList &items, const QString &prefix)
{
    const QString lower = prefix.toLower();
    QStringList result;
    for (const QString &item : items) {
        if (item.toLower().startsWith(lower))
            result.append(item);
    }
    return result;
}

} // namespace NBEWordLists
