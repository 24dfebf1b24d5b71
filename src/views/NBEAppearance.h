#pragma once

#include <QPalette>
#include <QString>

// The application palette for the appearance setting: "light" and "dark"
// give a light or dark palette whatever the desktop uses; "system" gives the
// desktop's palette back. Windows follow through their palette-change events.
class NBEAppearance
{
public:
    static void apply(const QString &appearance);
    static QPalette palette(bool dark);
};
