#pragma once

#include "NBEOpenTab.h"

#include <QColor>
#include <QFont>
#include <QPalette>
#include <QRect>

class QPainter;

// How one tab of the tab bar looks: title, modified dot and close button.
// A value drawn by the strip; it knows nothing of the view model.
struct NBETabItem
{
    NBEOpenTab tab;
    bool isActive = false;
    bool isHovering = false;
    bool isHoveringClose = false;

    static constexpr int horizontalPadding = 10;
    static constexpr int verticalPadding = 4;
    static constexpr int spacing = 4;
    static constexpr int dotSize = 6;
    static constexpr int closeSize = 16;
    // A long name is elided in the middle (keeping its extension) so that
    // one tab never fills the bar; the tooltip has the whole path.
    static constexpr int maxTitleWidth = 240;

    // The file's name; the tooltip is its path.
    QString title() const;
    QString shownTitle(const QFont &base) const;
    QString toolTip() const;
    bool isModified() const { return tab.sourceFile.isDirty(); }
    // Shown on the active tab and on the tab under the pointer; hidden, it
    // keeps its place.
    bool showsCloseButton() const { return isActive || isHovering; }

    QFont titleFont(const QFont &base) const;
    int width(const QFont &base) const;
    QRect closeRect(const QRect &box) const;
    // Amber when active (even under the pointer), a faint primary colour
    // under the pointer, else clear.
    QColor background(const QPalette &palette) const;

    void paint(QPainter &painter, const QRect &box, const QPalette &palette,
               const QFont &base) const;
};
