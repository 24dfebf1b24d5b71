#include "NBELSPPosition.h"

std::optional<NBELSPPosition> NBELSPPosition::fromJSON(const NBEJSONValue *json)
{
    if (!json || json->kind() != NBEJSONValue::Kind::object)
        return std::nullopt;
    const auto number = [json](const QString &key) -> std::optional<qint64> {
        const NBEJSONValue *member = json->find(key);
        const auto value = member ? member->intValue() : std::nullopt;
        if (!value || *value < 0)
            return std::nullopt;
        return value;
    };
    const auto line = number(QStringLiteral("line"));
    const auto character = number(QStringLiteral("character"));
    if (!line || !character)
        return std::nullopt;
    return NBELSPPosition{*line, *character};
}

NBEJSONValue NBELSPPosition::toJSON() const
{
    return NBEJSONValue::object({{"line", line}, {"character", character}});
}
