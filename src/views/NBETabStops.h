#pragma once

#include <QList>

class QWidget;

// The order Tab and Shift+Tab take through a window: the controls a user can
// see (enabled, shown, not clipped away, taking Tab), area by area in the
// order given, each area from top to bottom and left to right. Where a
// control was created plays no part, so panes built later fall in place.
namespace NBETabStops {

// Shown on screen: visible, with some of it left inside its ancestors.
bool isShown(const QWidget *widget);

// `areas` are containers inside `window`; controls in none of them come last.
QList<QWidget *> inOrder(QWidget *window, const QList<QWidget *> &areas);

// Moves the focus to the next (or previous) stop after the focused control,
// wrapping around; false when the window has no stop.
bool move(QWidget *window, const QList<QWidget *> &areas, bool next);

} // namespace NBETabStops
