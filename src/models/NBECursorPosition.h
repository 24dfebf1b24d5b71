#pragma once

// A caret's place in a text, 1-based.
struct NBECursorPosition
{
    int line = 1;
    int column = 1;

    bool operator==(const NBECursorPosition &) const = default;
};
