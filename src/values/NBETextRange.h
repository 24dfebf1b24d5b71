#pragma once

// A run of UTF-16 units in a text: QString indices, as the editor's cursor
// positions count them.
struct NBETextRange
{
    int location = 0;
    int length = 0;

    int end() const { return location + length; }
    bool contains(int offset) const { return offset >= location && offset <= end(); }
    bool operator==(const NBETextRange &) const = default;
};
