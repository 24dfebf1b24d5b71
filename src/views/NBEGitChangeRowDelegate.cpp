#include "NBEGitChangeRowDelegate.h"

#include "NBEFileTreeRow.h"
#include "NBEGitChangesModel.h"

#include <QPainter>

#include <algorithm>

namespace {

// The room the status letter takes at the row's end, and the least a
// section's count gets.
constexpr int letterWidth = 28;
constexpr int countMargin = 8;

QFont sectionFont(const QFont &font)
{
    QFont section = font;
    section.setWeight(QFont::DemiBold);
    section.setPointSizeF(font.pointSizeF() * 0.9);
    return section;
}

QString glyph(NBEGitChangeRow::Action action)
{
    switch (action) {
    case NBEGitChangeRow::Action::stage:
    case NBEGitChangeRow::Action::stageAll:
        return QStringLiteral("+");
    case NBEGitChangeRow::Action::unstage:
    case NBEGitChangeRow::Action::unstageAll:
        return QStringLiteral("\u2212");
    case NBEGitChangeRow::Action::discard:
        return QStringLiteral("\u21BA");
    }
    return {};
}

} // namespace

NBEGitChangeRowDelegate::NBEGitChangeRowDelegate(const NBEGitChangesModel *model, QObject *parent)
    : QStyledItemDelegate(parent)
    , m_model(model)
{}

int NBEGitChangeRowDelegate::trailingWidth(const NBEGitChangeRow &row, const QFont &font)
{
    if (row.isFile())
        return letterWidth;
    const int count = QFontMetrics(sectionFont(font)).horizontalAdvance(QString::number(row.count));
    return std::max(letterWidth, count + 2 * countMargin);
}

QList<QRect> NBEGitChangeRowDelegate::actionRects(const QRect &row, int count, int trailing)
{
    QList<QRect> rects;
    const int size = row.height() - 6;
    int right = row.right() - trailing;
    for (int i = 0; i < count; ++i) {
        rects.append(QRect(right - size, row.top() + 3, size, size));
        right -= size + 2;
    }
    return rects;
}

QSize NBEGitChangeRowDelegate::sizeHint(const QStyleOptionViewItem &option,
                                        const QModelIndex &) const
{
    return {option.rect.width(), QFontMetrics(option.font).height() + 10};
}

void NBEGitChangeRowDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                                    const QModelIndex &index) const
{
    const NBEGitChangeRow row = m_model->row(index.row());
    const QRect rect = option.rect;
    const bool hovering = option.state & QStyle::State_MouseOver;
    const QColor primary = option.palette.color(QPalette::Text);
    const QColor secondary = option.palette.color(QPalette::PlaceholderText);
    painter->save();
    painter->fillRect(
        rect, NBEFileTreeRow::rowBackground(row.isFile() && row.url == current, hovering, primary));
    const QFont &font = option.font;
    const QList<NBEGitChangeRow::Action> actions = row.actions();
    const bool focused = option.state & QStyle::State_HasFocus;
    const bool showActions = !row.isFile() || hovering || focused;
    const int actionsWidth = showActions ? int(actions.size()) * (rect.height() - 4) + 4 : 0;
    const int trailing = trailingWidth(row, option.font);
    QRect text = rect.adjusted(row.isFile() ? 22 : 8, 0, -(trailing + actionsWidth), 0);
    if (!row.isFile()) {
        painter->setFont(sectionFont(option.font));
        painter->setPen(secondary);
        const QString title = index.data(Qt::DisplayRole).toString();
        painter->drawText(text, Qt::AlignLeft | Qt::AlignVCenter, title.toUpper());
        painter->drawText(rect.adjusted(0, 0, -countMargin, 0), Qt::AlignRight | Qt::AlignVCenter,
                          QString::number(row.count));
    } else {
        painter->setFont(font);
        painter->setPen(primary);
        const QFontMetrics metrics(font);
        const QString name = metrics.elidedText(row.name, Qt::ElideMiddle, text.width());
        painter->drawText(text, Qt::AlignLeft | Qt::AlignVCenter, name);
        const int used = metrics.horizontalAdvance(name) + 6;
        if (!row.folder.isEmpty() && used < text.width()) {
            QFont small = font;
            small.setPointSizeF(font.pointSizeF() * 0.9);
            painter->setFont(small);
            painter->setPen(secondary);
            painter->drawText(
                text.adjusted(used, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter,
                QFontMetrics(small).elidedText(row.folder, Qt::ElideLeft, text.width() - used));
        }
        QFont badge = font;
        badge.setWeight(QFont::DemiBold);
        painter->setFont(badge);
        painter->setPen(NBEFileTreeRow::gitColor(row.status));
        painter->drawText(QRect(rect.right() - trailing, rect.top(), trailing - 8, rect.height()),
                          Qt::AlignRight | Qt::AlignVCenter, NBEFileTreeRow::letter(row.status));
    }
    if (showActions) {
        const QList<QRect> rects = actionRects(rect, int(actions.size()), trailing);
        QFont glyphFont = option.font;
        glyphFont.setWeight(QFont::Bold);
        painter->setFont(glyphFont);
        painter->setRenderHint(QPainter::Antialiasing);
        for (int i = 0; i < rects.size(); ++i) {
            QColor back = primary;
            back.setAlphaF(0.08f);
            painter->setPen(Qt::NoPen);
            painter->setBrush(back);
            painter->drawRoundedRect(rects[i], 3, 3);
            painter->setPen(primary);
            painter->drawText(rects[i], Qt::AlignCenter, glyph(actions[i]));
        }
    }
    // The keyboard's row: Space and the Menu key act on it.
    if (focused) {
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setPen(QPen(option.palette.color(QPalette::Highlight), 2));
        painter->setBrush(Qt::NoBrush);
        painter->drawRoundedRect(QRectF(rect).adjusted(1, 1, -1, -1), 3, 3);
    }
    painter->restore();
}
