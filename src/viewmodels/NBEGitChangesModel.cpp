#include "NBEGitChangesModel.h"

#include "NBEGitState.h"

#include <vector>

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

namespace {

// Which sections a change has a row in: a conflict only under merge
// changes, otherwise under staged changes, changes, or both.
bool inConflicts(const NBEGitFileChange &change)
{
    return change.overallStatus() == NBEGitStatus::conflicted;
}

bool inSection(NBEGitChangeRow::Kind kind, const NBEGitFileChange &change, bool conflict)
{
    switch (kind) {
    case NBEGitChangeRow::Kind::conflictsSection:
        return conflict;
    case NBEGitChangeRow::Kind::stagedSection:
        return !conflict && change.isStaged();
    default:
        return !conflict && change.worktree != u' ';
    }
}

constexpr NBEGitChangeRow::Kind sections[] = {NBEGitChangeRow::Kind::conflictsSection,
                                              NBEGitChangeRow::Kind::stagedSection,
                                              NBEGitChangeRow::Kind::changesSection};

// The sections a change has a row in, one bit each in the order above.
unsigned char sectionsOf(const NBEGitFileChange &change)
{
    const bool conflict = inConflicts(change);
    unsigned char bits = 0;
    for (int s = 0; s < 3; ++s)
        bits |= inSection(sections[s], change, conflict) ? 1u << s : 0u;
    return bits;
}

// The rows of `changes` (by name); `reused(i, section)` gives the row a
// change already had in that section (its index into `from`), or -1.
template <typename Reused>
QList<NBEGitChangeRow> rowsOf(const QList<NBEGitFileChange> &changes, const QUrl &root,
                              const QList<NBEGitChangeRow> &from, Reused reused)
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
    std::vector<unsigned char> in(static_cast<size_t>(changes.size()));
    int counts[3] = {};
    for (qsizetype i = 0; i < changes.size(); ++i) {
        in[size_t(i)] = sectionsOf(changes[i]);
        for (int s = 0; s < 3; ++s)
            counts[s] += (in[size_t(i)] >> s) & 1;
    }
    QList<NBEGitChangeRow> rows;
    rows.reserve(counts[0] + counts[1] + counts[2] + 3);
    // What still needs resolving comes first.
    for (int s = 0; s < 3; ++s) {
        if (counts[s] == 0)
            continue;
        rows.append({sections[s], {}, {}, {}, {}, counts[s]});
        for (qsizetype i = 0; i < changes.size(); ++i) {
            if (!((in[size_t(i)] >> s) & 1))
                continue;
            const qsizetype old = reused(i, s);
            rows.append(old >= 0 ? from[old]
                                 : fileRow(changes[i],
                                           sections[s] == NBEGitChangeRow::Kind::stagedSection));
        }
    }
    return rows;
}

} // namespace

QList<NBEGitChangeRow> NBEGitChangesModel::rowsFor(const QList<NBEGitFileChange> &changedFiles,
                                                   const QUrl &root)
{
    return rowsOf(changedFiles, root, {}, [](qsizetype, int) { return qsizetype(-1); });
}

QList<NBEGitChangeRow> NBEGitChangesModel::rowsFor(const NBEGitNameOrder &order, const QUrl &root,
                                                   const NBEGitNameOrder &previous,
                                                   const QList<NBEGitChangeRow> &previousRows)
{
    // Where each change of the previous order has its row in each section:
    // the sections list their files in the order's order.
    const qsizetype count = previous.changes.size();
    std::vector<unsigned char> in(static_cast<size_t>(count));
    for (qsizetype p = 0; p < count; ++p)
        in[size_t(p)] = sectionsOf(previous.changes[p]);
    std::vector<qsizetype> rowAt(size_t(count) * 3, -1);
    qsizetype header = 0;
    bool matches = true;
    for (int s = 0; s < 3 && matches; ++s) {
        qsizetype files = 0;
        for (qsizetype p = 0; p < count; ++p) {
            if ((in[size_t(p)] >> s) & 1)
                rowAt[size_t(p) * 3 + s] = header + ++files;
        }
        if (files == 0)
            continue;
        matches = header + files < previousRows.size() &&
                  previousRows[header].kind == sections[s] && previousRows[header].count == files;
        header += files + 1;
    }
    matches = matches && header == previousRows.size();
    if (!matches || order.previousPlaces.size() != order.changes.size())
        return rowsFor(order.changes, root);
    return rowsOf(order.changes, root, previousRows, [&](qsizetype i, int s) {
        const qsizetype was = order.previousPlaces[i];
        return was >= 0 && was < count ? rowAt[size_t(was) * 3 + s] : qsizetype(-1);
    });
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
