#pragma once

#include "NBEGitChangeRow.h"
#include "NBEGitNameOrder.h"

#include <QAbstractListModel>
#include <QList>

class NBEGitState;

// The changes list of the repository as rows: conflicted files first, then
// the staged and the unstaged ones, each group under its section row. It
// follows the git state; the rows are replaced only when they differ.
class NBEGitChangesModel : public QAbstractListModel
{
    Q_OBJECT

public:
    explicit NBEGitChangesModel(const NBEGitState &state, QObject *parent = nullptr);

    // The sections and files of `changedFiles` (by name), in order.
    static QList<NBEGitChangeRow> rowsFor(const QList<NBEGitFileChange> &changedFiles,
                                          const QUrl &root);
    // The same for `order`, taking the rows of the changes it kept from
    // `previous` out of `previousRows` (the rows of `previous`).
    static QList<NBEGitChangeRow> rowsFor(const NBEGitNameOrder &order, const QUrl &root,
                                          const NBEGitNameOrder &previous,
                                          const QList<NBEGitChangeRow> &previousRows);

    const QList<NBEGitChangeRow> &rows() const { return m_rows; }
    // The row at `index`; a default row outside the list.
    NBEGitChangeRow row(int index) const { return m_rows.value(index); }

    int rowCount(const QModelIndex &parent = {}) const override;
    // The file's name or the section's title; a file's path as its tool tip.
    QVariant data(const QModelIndex &index, int role) const override;

private:
    void follow();

    const NBEGitState &m_state;
    QList<NBEGitChangeRow> m_rows;
};
