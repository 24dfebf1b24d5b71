#include "NBETabStrip.h"

#include <QContextMenuEvent>
#include <QHelpEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <QVariantAnimation>

NBETabStrip::NBETabStrip(NBETabStripActions actions, QWidget *parent)
    : QWidget(parent)
    , m_actions(std::move(actions))
{
    setMouseTracking(true);
    setFixedHeight(stripHeight);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

std::optional<NBETabMove> NBETabStrip::liveReorderStep(const QList<QUuid> &order,
                                                       const QUuid &dragged, double offset,
                                                       const QHash<QUuid, double> &widths)
{
    const qsizetype i = order.indexOf(dragged);
    if (i < 0)
        return std::nullopt;
    if (offset > 0 && i < order.size() - 1) {
        const double w = widths.value(order.at(i + 1), unmeasuredWidth);
        if (offset > w * 0.5)
            return NBETabMove{int(i), int(i + 1), offset - w};
    } else if (offset < 0 && i > 0) {
        const double w = widths.value(order.at(i - 1), unmeasuredWidth);
        if (offset < -w * 0.5)
            return NBETabMove{int(i), int(i - 1), offset + w};
    }
    return std::nullopt;
}

void NBETabStrip::setTabs(const QList<NBEOpenTab> &tabs, const std::optional<QUuid> &activeID)
{
    m_tabs = tabs;
    m_activeID = activeID;
    if (m_hoveredID && std::none_of(tabs.begin(), tabs.end(),
                                    [&](const NBEOpenTab &t) { return t.id == *m_hoveredID; }))
        m_hoveredID.reset();
    relayout();
}

NBETabItem NBETabStrip::itemAt(int index) const
{
    NBETabItem item;
    item.tab = m_tabs.at(index);
    item.isActive = m_activeID == item.tab.id;
    item.isHovering = m_hoveredID == item.tab.id;
    item.isHoveringClose = item.isHovering && m_hoveringClose;
    return item;
}

void NBETabStrip::relayout()
{
    m_widths.clear();
    for (int i = 0; i < m_tabs.size(); ++i) {
        const int width = itemAt(i).width(font());
        m_widths.append(width);
        // Widths are kept after a tab closes; they are only ever overwritten.
        m_tabWidths.insert(m_tabs.at(i).id, width);
    }
    updateGeometry();
    resize(sizeHint());
    update();
}

QSize NBETabStrip::sizeHint() const
{
    int width = 0;
    for (int w : m_widths)
        width += w + 1; // each tab is followed by a hairline divider
    return QSize(width, stripHeight);
}

QSize NBETabStrip::minimumSizeHint() const
{
    return sizeHint();
}

QRect NBETabStrip::tabRect(int index) const
{
    int x = 0;
    for (int i = 0; i < index && i < m_widths.size(); ++i)
        x += m_widths.at(i) + 1;
    return QRect(x, 0, index < m_widths.size() ? m_widths.at(index) : 0, stripHeight);
}

int NBETabStrip::tabAt(const QPoint &point) const
{
    for (int i = 0; i < m_tabs.size(); ++i) {
        if (tabRect(i).contains(point))
            return i;
    }
    return -1;
}

void NBETabStrip::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QPalette pal = palette();
    int dragged = -1;
    QColor divider = pal.color(QPalette::WindowText);
    divider.setAlphaF(0.15f);
    for (int i = 0; i < m_tabs.size(); ++i) {
        const QRect box = tabRect(i);
        painter.fillRect(
            QRect(box.right() + 1, (stripHeight - dividerHeight) / 2, 1, dividerHeight), divider);
        if (m_draggingID == m_tabs.at(i).id) {
            dragged = i;
            continue;
        }
        itemAt(i).paint(painter, box, pal, font());
    }
    if (dragged >= 0) {
        // Drawn last, above its neighbours, where the pointer holds it.
        const QRect box = tabRect(dragged).translated(int(std::lround(m_dragOffset)), 0);
        painter.fillRect(box, pal.color(QPalette::Window));
        itemAt(dragged).paint(painter, box, pal, font());
    }
}

void NBETabStrip::mousePressEvent(QMouseEvent *event)
{
    const int index = tabAt(event->position().toPoint());
    if (event->button() != Qt::LeftButton || index < 0) {
        QWidget::mousePressEvent(event);
        return;
    }
    const NBETabItem item = itemAt(index);
    m_pressedID = item.tab.id;
    m_pressPosition = event->position().toPoint();
    m_pressedOnClose =
        item.showsCloseButton() && item.closeRect(tabRect(index)).contains(m_pressPosition);
}

void NBETabStrip::mouseMoveEvent(QMouseEvent *event)
{
    const QPoint position = event->position().toPoint();
    if (m_pressedID && !m_pressedOnClose) {
        const double dx = position.x() - m_pressPosition.x();
        if (!m_draggingID && std::abs(dx) >= dragThreshold) {
            if (m_settle)
                m_settle->stop();
            m_draggingID = m_pressedID;
            if (m_actions.select)
                m_actions.select(*m_pressedID);
        }
        if (m_draggingID == m_pressedID) {
            m_dragOffset = dx;
            liveReorder();
            update();
            return;
        }
    }
    const int index = tabAt(position);
    const std::optional<QUuid> hovered =
        index >= 0 ? std::optional(m_tabs.at(index).id) : std::nullopt;
    const bool onClose = index >= 0 && itemAt(index).closeRect(tabRect(index)).contains(position);
    if (hovered != m_hoveredID || onClose != m_hoveringClose) {
        m_hoveredID = hovered;
        m_hoveringClose = onClose;
        update();
    }
}

void NBETabStrip::liveReorder()
{
    QList<QUuid> order;
    for (const NBEOpenTab &tab : m_tabs)
        order.append(tab.id);
    const auto step = liveReorderStep(order, *m_draggingID, m_dragOffset, m_tabWidths);
    if (!step)
        return;
    // The slot moves by one place; the corrected offset keeps the tab under
    // the pointer. Measured from the new slot, so the press point moves too.
    const double shift = m_dragOffset - step->offset;
    m_dragOffset = step->offset;
    m_pressPosition.rx() += int(std::lround(shift));
    if (m_actions.move)
        m_actions.move(step->fromIndex, step->toIndex);
}

void NBETabStrip::mouseReleaseEvent(QMouseEvent *event)
{
    const std::optional<QUuid> pressed = m_pressedID;
    m_pressedID.reset();
    if (m_draggingID) {
        endDrag();
        return;
    }
    if (!pressed || event->button() != Qt::LeftButton)
        return;
    const int index = tabAt(event->position().toPoint());
    if (index < 0 || m_tabs.at(index).id != *pressed)
        return;
    const NBETabItem item = itemAt(index);
    if (m_pressedOnClose && item.closeRect(tabRect(index)).contains(event->position().toPoint())) {
        if (m_actions.close)
            m_actions.close(*pressed);
    } else if (!m_pressedOnClose && m_actions.select) {
        m_actions.select(*pressed);
    }
}

void NBETabStrip::endDrag()
{
    if (!m_settle) {
        m_settle = new QVariantAnimation(this);
        m_settle->setDuration(180);
        m_settle->setEasingCurve(QEasingCurve::InOutQuad);
        connect(m_settle, &QVariantAnimation::valueChanged, this, [this](const QVariant &v) {
            m_dragOffset = v.toDouble();
            update();
        });
        connect(m_settle, &QVariantAnimation::finished, this, [this] {
            m_dragOffset = 0;
            m_draggingID.reset();
            update();
        });
    }
    m_settle->stop();
    m_settle->setStartValue(m_dragOffset);
    m_settle->setEndValue(0.0);
    m_settle->start();
}

void NBETabStrip::leaveEvent(QEvent *event)
{
    m_hoveredID.reset();
    m_hoveringClose = false;
    update();
    QWidget::leaveEvent(event);
}

void NBETabStrip::contextMenuEvent(QContextMenuEvent *event)
{
    const int index = tabAt(event->pos());
    if (index < 0)
        return;
    const NBEOpenTab tab = m_tabs.at(index);
    QMenu menu(this);
    menu.addAction(tr("Close Tab"), this, [this, id = tab.id] {
        if (m_actions.close)
            m_actions.close(id);
    });
    menu.addAction(tr("Close Other Tabs"), this, [this, id = tab.id] {
        if (m_actions.closeOthers)
            m_actions.closeOthers(id);
    });
    menu.addAction(tr("Close All Tabs"), this, [this] {
        if (m_actions.closeAll)
            m_actions.closeAll();
    });
    menu.addSeparator();
    menu.addAction(tr("Copy Path"), this, [this, url = tab.sourceFile.url] {
        if (m_actions.copyPath)
            m_actions.copyPath(url);
    });
    menu.addAction(tr("Reveal in File Manager"), this, [this, url = tab.sourceFile.url] {
        if (m_actions.reveal)
            m_actions.reveal(url);
    });
    menu.exec(event->globalPos());
}

bool NBETabStrip::event(QEvent *event)
{
    if (event->type() == QEvent::ToolTip) {
        auto *help = static_cast<QHelpEvent *>(event);
        const int index = tabAt(help->pos());
        if (index < 0) {
            QToolTip::hideText();
            return true;
        }
        const NBETabItem item = itemAt(index);
        const QString text =
            item.closeRect(tabRect(index)).contains(help->pos())
                ? tr("Close tab (%1)")
                      .arg(QKeySequence(Qt::CTRL | Qt::Key_W).toString(QKeySequence::NativeText))
                : item.toolTip();
        QToolTip::showText(help->globalPos(), text, this);
        return true;
    }
    return QWidget::event(event);
}
