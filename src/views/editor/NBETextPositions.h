#pragma once

#include <QString>

// Conversions between UTF-16 offsets of an editor text and lines, shared by
// completion, hover and the gutter. Only the line feed ends a line; a
// carriage return is an ordinary character.
namespace NBETextPositions {

struct LineCharacter
{
    int line = 0;
    int character = 0;
    bool operator==(const LineCharacter &) const = default;
};

// The zero-based line and UTF-16 character of an offset, as language servers
// count them. Past the end the character keeps counting; at 0 or below the
// line is 0 and the character the offset itself.
LineCharacter lineCharacter(int offset, const QString &text);

// The offset where a line (counted from 1) starts: 0 for line 1 or less,
// the text's length past the last line.
int startCharIndex(int line, const QString &text);

} // namespace NBETextPositions
