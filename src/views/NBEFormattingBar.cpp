#include "NBEFormattingBar.h"

#include "NBEIcons.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>
#include <QStyle>
#include <QWheelEvent>

NBEToolbarButton::NBEToolbarButton(const QIcon &icon, const QString &toolTip, QWidget *parent)
    : QToolButton(parent)
{
    setIcon(icon);
    setIconSize(QSize(16, 16));
    setToolTip(toolTip);
    setAutoRaise(true);
    setFocusPolicy(Qt::NoFocus);
    setFixedSize(26, 26);
    setCursor(Qt::ArrowCursor);
}

void NBEToolbarButton::setPullDownMenu(QMenu *menu)
{
    setMenu(menu);
    setPopupMode(QToolButton::InstantPopup);
    // No arrow beside the label.
    setStyleSheet(QStringLiteral("QToolButton::menu-indicator { image: none; width: 0; }"));
}

void NBEToolbarButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if ((m_hovering && !menu()) || isDown()) {
        QColor fill = palette().color(QPalette::WindowText);
        fill.setAlphaF(isDown() ? 0.18 : 0.1);
        QPainterPath shape;
        shape.addRoundedRect(QRectF(rect()), 5, 5);
        painter.fillPath(shape, fill);
    }
    const QRect glyph = QStyle::alignedRect(layoutDirection(), Qt::AlignCenter, iconSize(), rect());
    icon().paint(&painter, glyph, Qt::AlignCenter, isEnabled() ? QIcon::Normal : QIcon::Disabled);
}

void NBEToolbarButton::enterEvent(QEnterEvent *event)
{
    m_hovering = true;
    update();
    QToolButton::enterEvent(event);
}

void NBEToolbarButton::leaveEvent(QEvent *event)
{
    m_hovering = false;
    update();
    QToolButton::leaveEvent(event);
}

NBEFormattingBar::NBEFormattingBar(QWidget *parent)
    : QScrollArea(parent)
    , m_row(new QWidget(this))
    , m_layout(new QHBoxLayout(m_row))
{
    setFixedHeight(barHeight);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setWidgetResizable(false);
    setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    setBackgroundRole(QPalette::Window);
    setAutoFillBackground(true);
    m_row->setBackgroundRole(QPalette::Window);
    m_layout->setContentsMargins(8, 0, 8, 0);
    m_layout->setSpacing(2);
    m_layout->setAlignment(Qt::AlignVCenter);
    m_row->setFixedHeight(barHeight);
    setWidget(m_row);
}

NBEToolbarButton *NBEFormattingBar::addButton(const QString &symbol, const QString &toolTip)
{
    auto *button = new NBEToolbarButton(NBEIcons::icon(symbol), toolTip, m_row);
    button->setObjectName(symbol);
    addWidget(button);
    return button;
}

void NBEFormattingBar::addSeparator()
{
    auto *line = new QFrame(m_row);
    line->setFrameShape(QFrame::VLine);
    line->setFrameShadow(QFrame::Plain);
    line->setForegroundRole(QPalette::Mid);
    line->setFixedHeight(16);
    // 4 points either side on top of the row's spacing.
    m_layout->addSpacing(2);
    m_layout->addWidget(line);
    m_layout->addSpacing(2);
}

void NBEFormattingBar::addWidget(QWidget *widget)
{
    widget->setParent(m_row);
    m_layout->addWidget(widget);
    m_row->adjustSize();
}

QList<NBEToolbarButton *> NBEFormattingBar::buttons() const
{
    return m_row->findChildren<NBEToolbarButton *>(Qt::FindDirectChildrenOnly);
}

void NBEFormattingBar::wheelEvent(QWheelEvent *event)
{
    // Without a scroll bar, the wheel moves the row sideways.
    QScrollBar *bar = horizontalScrollBar();
    const QPoint delta = event->angleDelta();
    bar->setValue(bar->value() - (delta.x() != 0 ? delta.x() : delta.y()) / 2);
    event->accept();
}
