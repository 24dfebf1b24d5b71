#pragma once

#include <QList>
#include <QString>

#include <array>
#include <optional>

// The closed set of token classes the highlighter emits and a theme colours.
// The order is the ordinal order; `plain` is last.
enum class NBETokenType {
    keyword,
    string,
    comment,
    number,
    operator_,
    type,
    function,
    property,
    tag,
    attribute,
    punctuation,
    preprocessor,
    plain,
};

namespace NBETokenTypes {

inline constexpr int count = 13;

// Every case in ordinal order.
const std::array<NBETokenType, count> &allCases();

// The case name as text ("operator" for `operator_`).
QString rawValue(NBETokenType type);

// The case whose name is exactly `raw` (case-sensitive).
std::optional<NBETokenType> fromRawValue(const QString &raw);

inline int ordinal(NBETokenType type)
{
    return static_cast<int>(type);
}

} // namespace NBETokenTypes

inline size_t qHash(NBETokenType type, size_t seed = 0) noexcept
{
    return ::qHash(static_cast<int>(type), seed);
}
