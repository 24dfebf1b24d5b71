#include "NBETabItem.h"

#include "NBEBrand.h"

#include <QFileInfo>
#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>

QString NBETabItem::title() const
{
    return QFileInfo(tab.sourceFile.url.path()).fileName();
}

QString NBETabItem::toolTip() const
{
    return tab.sourceFile.url.toLocalFile();
}

QFont NBETabItem::titleFont(const QFont &base) const
{
    QFont font = base;
    font.setItalic(tab.isEphemeral);
    return font;
}

QString NBETabItem::shownTitle(const QFont &base) const
{
    return QFontMetrics(titleFont(base)).elidedText(title(), Qt::ElideMiddle, maxTitleWidth);
}

int NBETabItem::width(const QFont &base) const
{
    const int titleWidth = QFontMetrics(titleFont(base)).horizontalAdvance(shownTitle(base));
    int width = 2 * horizontalPadding + titleWidth + spacing + closeSize;
    if (isModified())
        width += dotSize + spacing;
    return width;
}

QRect NBETabItem::closeRect(const QRect &box) const
{
    return QRect(box.right() + 1 - horizontalPadding - closeSize,
                 box.top() + (box.height() - closeSize) / 2, closeSize, closeSize);
}

static QColor withAlpha(QColor color, double alpha)
{
    color.setAlphaF(float(alpha));
    return color;
}

QColor NBETabItem::background(const QPalette &palette) const
{
    if (isActive)
        return withAlpha(NBEBrand::amber(), 0.12);
    if (isHovering)
        return withAlpha(palette.color(QPalette::WindowText), 0.06);
    return Qt::transparent;
}

void NBETabItem::paint(QPainter &painter, const QRect &box, const QPalette &palette,
                       const QFont &base) const
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(box, background(palette));
    int x = box.left() + horizontalPadding;
    if (isModified()) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(NBEBrand::amber());
        painter.drawEllipse(QRectF(x, box.center().y() - dotSize / 2.0 + 0.5, dotSize, dotSize));
        x += dotSize + spacing;
    }
    const QRect close = closeRect(box);
    painter.setFont(titleFont(base));
    painter.setPen(palette.color(QPalette::WindowText));
    painter.drawText(QRect(x, box.top(), close.left() - spacing - x, box.height()),
                     Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine, shownTitle(base));
    if (showsCloseButton()) {
        if (isHoveringClose) {
            painter.setPen(Qt::NoPen);
            painter.setBrush(withAlpha(palette.color(QPalette::WindowText), 0.12));
            painter.drawEllipse(close);
        }
        QColor mark = palette.color(QPalette::WindowText);
        if (!isHoveringClose)
            mark = withAlpha(mark, 0.55);
        painter.setPen(QPen(mark, 1.3));
        const QRectF cross = QRectF(close).adjusted(5, 5, -5, -5);
        painter.drawLine(cross.topLeft(), cross.bottomRight());
        painter.drawLine(cross.topRight(), cross.bottomLeft());
    }
    painter.restore();
}
