#pragma once

#include "NBELSPPosition.h"

// A protocol Range: `end` is exclusive and refers to the same text as `start`.
struct NBELSPRange
{
    NBELSPPosition start;
    NBELSPPosition end;

    bool operator==(const NBELSPRange &) const = default;

    // Absent unless `json` is an object with a well-formed "start" and "end".
    static std::optional<NBELSPRange> fromJSON(const NBEJSONValue *json);
    NBEJSONValue toJSON() const;
};
