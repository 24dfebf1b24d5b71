#include "NBETokenType.h"

namespace NBETokenTypes {

namespace {
constexpr std::array<const char *, count> names = {
    "keyword",  "string", "comment",   "number",      "operator",     "type",  "function",
    "property", "tag",    "attribute", "punctuation", "preprocessor", "plain",
};
} // namespace

const std::array<NBETokenType, count> &allCases()
{
    static const std::array<NBETokenType, count> cases = [] {
        std::array<NBETokenType, count> all{};
        for (int i = 0; i < count; ++i)
            all[i] = static_cast<NBETokenType>(i);
        return all;
    }();
    return cases;
}

QString rawValue(NBETokenType type)
{
    return QString::fromLatin1(names[ordinal(type)]);
}

std::optional<NBETokenType> fromRawValue(const QString &raw)
{
    for (int i = 0; i < count; ++i) {
        if (raw == QLatin1StringView(names[i]))
            return static_cast<NBETokenType>(i);
    }
    return std::nullopt;
}

} // namespace NBETokenTypes
