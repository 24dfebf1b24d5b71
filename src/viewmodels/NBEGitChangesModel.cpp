#include "NBEGitChangesModel.h"

#include "NBEGitState.h"

#include <QFileInfo>

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
{
    connect(&m_state, &NBEGitState::changed, this, &NBEGitChangesModel::follow);
    m_rows = m_state.snapshot().root ? rowsFor(m_state.changedFiles(), *m_state.snapshot().root)
                                     : QList<NBEGitChangeRow>();
}

QList<NBEGitChangeRow> NBEGitChangesModel::rowsFor(const QList<NBEGitFileChange> &changedFiles,
                                                   const QUrl &root)
{
    const QString prefix = root.toLocalFile() + u'/';
    auto fileRow = [&](const NBEGitFileChange &change, bool staged) {
        NBEGitChangeRow row;
        row.kind = staged ? NBEGitChangeRow::Kind::stagedFile : NBEGitChangeRow::Kind::changedFile;
        row.url = change.url;
        const QString path = change.url.toLocalFile();
        const QString relative = path.startsWith(prefix) ? path.mid(prefix.size()) : path;
        row.name = QFileInfo(relative).fileName();
        const qsizetype slash = relative.lastIndexOf(u'/');
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
    const std::optional<QUrl> &root = m_state.snapshot().root;
    QList<NBEGitChangeRow> rows =
        root ? rowsFor(m_state.changedFiles(), *root) : QList<NBEGitChangeRow>();
    if (rows == m_rows)
        return;
    // The list keeps its place by position (the view restores it), so the
    // rows are replaced as a whole.
    beginResetModel();
    m_rows = std::move(rows);
    endResetModel();
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
