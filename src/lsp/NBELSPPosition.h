#pragma once

#include "NBEJSONValue.h"

#include <optional>

// A protocol Position: a zero-based line and a character offset in UTF-16
// code units on that line.
struct NBELSPPosition
{
    qint64 line = 0;
    qint64 character = 0;

    bool operator==(const NBELSPPosition &) const = default;

    // Absent unless `json` is an object whose "line" and "character" are both
    // non-negative integers. A missing number is refused rather than read as
    // 0: a guess would put an edit, a squiggle or a jump on the wrong line.
    static std::optional<NBELSPPosition> fromJSON(const NBEJSONValue *json);
    NBEJSONValue toJSON() const;
};
