#pragma once

#include <QUrl>

// A line the editor showing `url` is asked to scroll to (counted from 1).
struct NBERevealTarget
{
    QUrl url;
    int line = 1;
    bool operator==(const NBERevealTarget &) const = default;
};
