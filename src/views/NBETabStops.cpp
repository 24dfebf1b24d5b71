#include "NBETabStops.h"

#include <QApplication>
#include <QWidget>

#include <algorithm>

namespace {

struct Stop
{
    QWidget *widget;
    int area;
    QRect rect;
};

bool isStop(const QWidget *widget, const QWidget *window)
{
    return widget->window() == window && (widget->focusPolicy() & Qt::TabFocus) &&
           !widget->focusProxy() && widget->isEnabled() && NBETabStops::isShown(widget);
}

int areaOf(const QWidget *widget, const QList<QWidget *> &areas)
{
    for (int i = 0; i < areas.size(); ++i) {
        if (areas[i] && (areas[i] == widget || areas[i]->isAncestorOf(widget)))
            return i;
    }
    return int(areas.size());
}

} // namespace

namespace NBETabStops {

bool isShown(const QWidget *widget)
{
    if (!widget->isVisible())
        return false;
    // What the ancestors leave of the widget (scrolled or squeezed away).
    const QWidget *window = widget->window();
    QRect rect(widget->mapTo(window, QPoint(0, 0)), widget->size());
    for (const QWidget *parent = widget->parentWidget(); parent && parent != window;
         parent = parent->parentWidget())
        rect &= QRect(parent->mapTo(window, QPoint(0, 0)), parent->size());
    return !(rect & window->rect()).isEmpty();
}

QList<QWidget *> inOrder(QWidget *window, const QList<QWidget *> &areas)
{
    QList<Stop> stops;
    for (QWidget *widget : window->findChildren<QWidget *>()) {
        if (isStop(widget, window))
            stops.append({widget, areaOf(widget, areas),
                          QRect(widget->mapTo(window, QPoint(0, 0)), widget->size())});
    }
    std::stable_sort(stops.begin(), stops.end(), [](const Stop &a, const Stop &b) {
        return a.area != b.area ? a.area < b.area : a.rect.top() < b.rect.top();
    });
    // Controls whose middles lie within the first one's height share its
    // row, read left to right.
    QList<QWidget *> ordered;
    for (qsizetype start = 0; start < stops.size();) {
        const Stop &first = stops[start];
        qsizetype end = start + 1;
        while (end < stops.size() && stops[end].area == first.area &&
               stops[end].rect.center().y() <= first.rect.bottom())
            ++end;
        std::stable_sort(
            stops.begin() + start, stops.begin() + end,
            [](const Stop &a, const Stop &b) { return a.rect.left() < b.rect.left(); });
        for (qsizetype i = start; i < end; ++i)
            ordered.append(stops[i].widget);
        start = end;
    }
    return ordered;
}

bool move(QWidget *window, const QList<QWidget *> &areas, bool next)
{
    const QList<QWidget *> stops = inOrder(window, areas);
    if (stops.isEmpty())
        return false;
    const Qt::FocusReason reason = next ? Qt::TabFocusReason : Qt::BacktabFocusReason;
    QWidget *focus = QApplication::focusWidget();
    qsizetype at = -1;
    for (QWidget *widget = focus; widget && at < 0 && widget != window;
         widget = widget->parentWidget())
        at = stops.indexOf(widget);
    // From a control that is no stop (one being hidden, say), the nearest
    // stop along the focus chain.
    if (at < 0 && focus) {
        for (QWidget *widget = next ? focus->nextInFocusChain() : focus->previousInFocusChain();
             widget && widget != focus;
             widget = next ? widget->nextInFocusChain() : widget->previousInFocusChain()) {
            if (stops.contains(widget)) {
                widget->setFocus(reason);
                return true;
            }
        }
    }
    const qsizetype count = stops.size();
    const qsizetype target =
        at < 0 ? (next ? 0 : count - 1) : (at + (next ? 1 : count - 1)) % count;
    stops[target]->setFocus(reason);
    return true;
}

} // namespace NBETabStops
