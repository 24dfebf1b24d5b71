#pragma once

#include <QList>
#include <QRect>
#include <QStyledItemDelegate>
#include <QUrl>

#include <optional>

class NBEGitChangesModel;

// Draws a row of the changes list: a section title with its count, or a
// file's name, folder and status letter; the row's buttons show on sections
// always and on files under the pointer or the keyboard.
class NBEGitChangeRowDelegate : public QStyledItemDelegate
{
public:
    NBEGitChangeRowDelegate(const NBEGitChangesModel *model, QObject *parent);

    // The file whose diff is shown, drawn as chosen.
    std::optional<QUrl> current;

    // Where a row's `count` buttons are, rightmost first.
    static QList<QRect> actionRects(const QRect &row, int count);

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;

private:
    const NBEGitChangesModel *m_model;
};
