#pragma once

#include "NBEOpenTab.h"
#include "NBETabItem.h"

#include <QHash>
#include <QList>
#include <QUuid>
#include <QWidget>

#include <functional>
#include <optional>

class QVariantAnimation;

// What the tab strip asks of its owner; every call names the tab the user
// acted on, which need not be the active one.
struct NBETabStripActions
{
    std::function<void(const QUuid &)> select;
    std::function<void(const QUuid &)> close;
    std::function<void(const QUuid &)> closeOthers;
    std::function<void()> closeAll;
    std::function<void(int fromIndex, int toIndex)> move;
    std::function<void(const QUrl &)> copyPath;
    std::function<void(const QUrl &)> reveal;
};

// One step of live reordering: move the dragged tab one place and carry on
// with the corrected offset.
struct NBETabMove
{
    int fromIndex = 0;
    int toIndex = 0;
    double offset = 0;
    bool operator==(const NBETabMove &) const = default;
};

// The row of tabs, drawn by hand so a dragged tab can follow the pointer
// above its neighbours.
class NBETabStrip : public QWidget
{
    Q_OBJECT

public:
    explicit NBETabStrip(NBETabStripActions actions, QWidget *parent = nullptr);

    void setTabs(const QList<NBEOpenTab> &tabs, const std::optional<QUuid> &activeID);
    const QList<NBEOpenTab> &tabs() const { return m_tabs; }
    std::optional<QUuid> activeID() const { return m_activeID; }

    // A tab without a measured width counts this wide when reordering.
    static constexpr double unmeasuredWidth = 120;
    // The pointer must move this far before a press becomes a drag.
    static constexpr int dragThreshold = 8;
    static constexpr int dividerHeight = 16;
    static constexpr int stripHeight = 30;

    // Moves the dragged tab by at most one place once its offset passed half
    // of its neighbour's width (strictly); nothing when no move is due.
    static std::optional<NBETabMove> liveReorderStep(const QList<QUuid> &order,
                                                     const QUuid &dragged, double offset,
                                                     const QHash<QUuid, double> &widths);

    // Where tab `index` is drawn (before any drag offset).
    QRect tabRect(int index) const;
    int tabAt(const QPoint &point) const;
    std::optional<QUuid> draggingID() const { return m_draggingID; }
    double dragOffset() const { return m_dragOffset; }
    const QHash<QUuid, double> &tabWidths() const { return m_tabWidths; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    bool event(QEvent *event) override;

private:
    NBETabItem itemAt(int index) const;
    void relayout();
    void liveReorder();
    void endDrag();

    NBETabStripActions m_actions;
    QList<NBEOpenTab> m_tabs;
    std::optional<QUuid> m_activeID;
    QList<int> m_widths;
    QHash<QUuid, double> m_tabWidths;
    std::optional<QUuid> m_hoveredID;
    bool m_hoveringClose = false;
    std::optional<QUuid> m_pressedID;
    QPoint m_pressPosition;
    bool m_pressedOnClose = false;
    std::optional<QUuid> m_draggingID;
    double m_dragOffset = 0;
    QVariantAnimation *m_settle = nullptr;
};
