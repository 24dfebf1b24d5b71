#pragma once

#include "NBECursorPosition.h"

#include <QUrl>

#include <optional>

// A stretch of a text between two places (lines and UTF-16 columns from 1).
struct NBERevealRange
{
    NBECursorPosition start;
    NBECursorPosition end;
    bool operator==(const NBERevealRange &) const = default;
};

// A line the editor showing `url` is asked to scroll to (counted from 1),
// and what on it was chosen (an issue's range), if anything.
struct NBERevealTarget
{
    QUrl url;
    int line = 1;
    std::optional<NBERevealRange> range;
    bool operator==(const NBERevealTarget &) const = default;
};
