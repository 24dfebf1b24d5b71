#pragma once

#include "NBEJSONValue.h"

#include <QByteArrayView>

#include <optional>

// A strict JSON reader into NBEJSONValue: message bodies are decoded on
// every keystroke's round trip. Whole numbers that fit 64 bits become ints
// whatever their spelling. A text is read by simdjson first (about twice as
// fast); whatever it refuses (invalid UTF-8, a lone surrogate escape, deep
// nesting, huge numbers) is decided by the own byte-by-byte reader, so both
// give the same answer for every text.
namespace NBEJSONParser {

inline constexpr int maxDepth = 512;

// The one value the text holds (surrounding white space allowed), or nothing
// when the text is not exactly one valid JSON value.
std::optional<NBEJSONValue> parse(QByteArrayView text);

// The own reader alone; for comparisons.
std::optional<NBEJSONValue> parseByteByByte(QByteArrayView text);

} // namespace NBEJSONParser
