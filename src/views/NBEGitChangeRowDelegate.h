#pragma once

#include "NBEGitChangeRow.h"

#include <QFont>
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

    // The room at the row's end for a file's status letter or a section's
    // count, drawn in `font` (the list's).
    static int trailingWidth(const NBEGitChangeRow &row, const QFont &font);
    // Where a row's `count` buttons are, rightmost first, left of `trailing`.
    static QList<QRect> actionRects(const QRect &row, int count, int trailing);

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;

private:
    const NBEGitChangesModel *m_model;
};
