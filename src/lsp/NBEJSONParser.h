#pragma once

#include "NBEJSONValue.h"

#include <QByteArrayView>

#include <optional>

// A strict JSON reader straight into NBEJSONValue, without an intermediate
// document: message bodies are decoded on every keystroke's round trip.
// Whole numbers that fit 64 bits become ints whatever their spelling.
namespace NBEJSONParser {

inline constexpr int maxDepth = 512;

// The one value the text holds (surrounding white space allowed), or nothing
// when the text is not exactly one valid JSON value.
std::optional<NBEJSONValue> parse(QByteArrayView text);

} // namespace NBEJSONParser
