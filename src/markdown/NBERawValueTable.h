#pragma once

#include <QList>
#include <QString>

#include <cstddef>
#include <optional>
#include <utility>

// Raw values of an action enumeration, kept in one table of (case, name)
// pairs in declaration order.
template <typename Action, typename Value, std::size_t N> struct NBERawValueTable
{
    const std::pair<Value, const char16_t *> (&entries)[N];

    QList<Action> allCases() const
    {
        QList<Action> cases;
        for (const auto &[value, name] : entries)
            cases.append(Action(value));
        return cases;
    }

    std::optional<Action> fromRawValue(const QString &rawValue) const
    {
        for (const auto &[value, name] : entries) {
            if (rawValue == QStringView(name))
                return Action(value);
        }
        return std::nullopt;
    }

    QString rawValue(Value value) const
    {
        for (const auto &[candidate, name] : entries) {
            if (candidate == value)
                return QString::fromUtf16(name);
        }
        return {};
    }
};
