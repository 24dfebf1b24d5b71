#pragma once

#include "NBETokenType.h"

#include <QtGlobal>

// One coloured range of a text, in UTF-16 units.
struct NBEToken
{
    qsizetype location = 0;
    qsizetype length = 0;
    NBETokenType type = NBETokenType::plain;

    qsizetype end() const { return location + length; }
    bool operator==(const NBEToken &) const = default;
};
