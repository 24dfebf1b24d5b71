#include "NBEGitChangesModel.h"

#include "NBEGitState.h"

namespace {

// The status of one side of a change: a conflict or an untracked file is
// the same on both sides.
NBEGitStatus sideStatus(const NBEGitFileChange &change, bool staged)
{
    const NBEGitStatus overall = change.overallStatus();
    if (overall == NBEGitStatus::conflicted || overall == NBEGitStatus::untracked)
        return overall;
    NBEGitFileChange side = change;
    if (staged)
        side.worktree = u' ';
    else
        side.index = u' ';
    return side.overallStatus();
}

QString sectionTitle(NBEGitChangeRow::Kind kind)
{
    switch (kind) {
    case NBEGitChangeRow::Kind::conflictsSection:
        return QObject::tr("Merge Changes");
    case NBEGitChangeRow::Kind::stagedSection:
        return QObject::tr("Staged Changes");
    default:
        return QObject::tr("Changes");
    }
}

} // namespace

QList<NBEGitChangeRow::Action> NBEGitChangeRow::actions() const
{
    switch (kind) {
    case Kind::conflictsSection:
        return {};
    case Kind::stagedSection:
        return {Action::unstageAll};
    case Kind::changesSection:
        return {Action::stageAll};
    case Kind::stagedFile:
        return {Action::unstage};
    case Kind::changedFile:
        return {Action::stage, Action::discard};
    }
    return {};
}

NBEGitChangesModel::NBEGitChangesModel(const NBEGitState &state, QObject *parent)
    : QAbstractListModel(parent)
    , m_state(state)
    , m_rows(state.changeRows())
{
    connect(&m_state, &NBEGitState::changed, this, &NBEGitChangesModel::follow);
}

QList<NBEGitChangeRow> NBEGitChangesModel::rowsFor(const QList<NBEGitFileChange> &changedFiles,
                                                   const QUrl &root)
{
    const QString prefix = root.toLocalFile() + u'/';
    auto fileRow = [&](const NBEGitFileChange &change, bool staged) {
        NBEGitChangeRow row;
        row.kind = staged ? NBEGitChangeRow::Kind::stagedFile : NBEGitChangeRow::Kind::changedFile;
        row.url = change.url;
        QString path = change.url.toLocalFile();
        // git lists a repository nested in this one as its folder, "lib/vendor/".
        if (path.endsWith(u'/'))
            path.chop(1);
        const QString relative = path.startsWith(prefix) ? path.mid(prefix.size()) : path;
        const qsizetype slash = relative.lastIndexOf(u'/');
        row.name = relative.mid(slash + 1);
        row.folder = slash < 0 ? QString() : relative.left(slash);
        row.status = sideStatus(change, staged);
        return row;
    };
    QList<NBEGitChangeRow> conflicts;
    QList<NBEGitChangeRow> staged;
    QList<NBEGitChangeRow> changed;
    for (const NBEGitFileChange &change : changedFiles) {
        if (change.overallStatus() == NBEGitStatus::conflicted) {
            conflicts.append(fileRow(change, false));
            continue;
        }
        if (change.isStaged())
            staged.append(fileRow(change, true));
        if (change.worktree != u' ')
            changed.append(fileRow(change, false));
    }
    QList<NBEGitChangeRow> rows;
    auto section = [&rows](NBEGitChangeRow::Kind kind, const QList<NBEGitChangeRow> &files) {
        if (files.isEmpty())
            return;
        rows.append({kind, {}, {}, {}, {}, int(files.size())});
        rows.append(files);
    };
    // What still needs resolving comes first.
    section(NBEGitChangeRow::Kind::conflictsSection, conflicts);
    section(NBEGitChangeRow::Kind::stagedSection, staged);
    section(NBEGitChangeRow::Kind::changesSection, changed);
    return rows;
}

void NBEGitChangesModel::follow()
{
    const QList<NBEGitChangeRow> &rows = m_state.changeRows();
    if (rows.constData() == m_rows.constData() && rows.size() == m_rows.size())
        return;
    const NBEGitState::RowsChange &change = m_state.rowsChange();
    const bool fromOurs =
        change.before.constData() == m_rows.constData() && change.before.size() == m_rows.size();
    if (!fromOurs) {
        if (rows == m_rows)
            return;
        beginResetModel();
        m_rows = rows;
        endResetModel();
        return;
    }
    // Only the rows that came or went move; the lists were built elsewhere.
    if (change.removed > 0) {
        beginRemoveRows({}, int(change.at), int(change.at + change.removed - 1));
        m_rows = change.between;
        endRemoveRows();
    }
    if (change.inserted > 0) {
        beginInsertRows({}, int(change.at), int(change.at + change.inserted - 1));
        m_rows = rows;
        endInsertRows();
    }
    m_rows = rows;
    // Section rows keep their place with a new count.
    for (qsizetype i = 0; i < m_rows.size(); ++i) {
        if (std::as_const(m_rows)[i].isFile())
            continue;
        const qsizetype old = i < change.at ? i
                              : i < change.at + change.inserted
                                  ? -1
                                  : i - change.inserted + change.removed;
        if (old >= 0 && change.before[old].count != std::as_const(m_rows)[i].count)
            Q_EMIT dataChanged(index(int(i)), index(int(i)));
    }
}

int NBEGitChangesModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

QVariant NBEGitChangesModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const NBEGitChangeRow &row = m_rows[index.row()];
    switch (role) {
    case Qt::DisplayRole:
        return row.isFile() ? row.name : sectionTitle(row.kind);
    case Qt::ToolTipRole:
        return row.isFile() ? row.url.toLocalFile() : QString();
    default:
        return {};
    }
}
