#include "NBELSPRange.h"

std::optional<NBELSPRange> NBELSPRange::fromJSON(const NBEJSONValue *json)
{
    if (!json || json->kind() != NBEJSONValue::Kind::object)
        return std::nullopt;
    const auto start = NBELSPPosition::fromJSON(json->find(QStringLiteral("start")));
    const auto end = NBELSPPosition::fromJSON(json->find(QStringLiteral("end")));
    if (!start || !end)
        return std::nullopt;
    return NBELSPRange{*start, *end};
}

NBEJSONValue NBELSPRange::toJSON() const
{
    return NBEJSONValue::object({{"start", start.toJSON()}, {"end", end.toJSON()}});
}
