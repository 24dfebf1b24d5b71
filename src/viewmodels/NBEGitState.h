#pragma once

#include "NBEGitChangeRow.h"
#include "NBEGitFileChange.h"
#include "NBEGitNameOrder.h"
#include "NBEGitService.h"
#include "NBERequestOrder.h"

#include <QFuture>
#include <QHash>
#include <QObject>
#include <QStringList>
#include <QUrl>

#include <optional>

class NBEEditorDocument;

// What git says about a workspace's repository, as of the latest refresh,
// and the questions the source control views ask of it. The snapshot changes
// only through refresh(); a folder's first refresh runs while it loads.
class NBEGitState : public QObject
{
    Q_OBJECT

public:
    struct Snapshot
    {
        std::optional<QUrl> root;
        std::optional<QString> branch;
        QStringList branches;
        QStringList remotes;
        int ahead = 0;
        int behind = 0;
        bool hasUpstream = false;
        int unpushed = 0;
        bool browserAuthConfigured = false;
        std::optional<QString> headSHA;
        QList<NBEGitFileChange> changes;
        // Keyed by the changed file's cleaned absolute path.
        QHash<QString, NBEGitStatus> status;
        // A merge left in progress; the next commit concludes it.
        std::optional<NBEGitMergeState> merge;
        // git's reason when it couldn't read the working tree (a corrupt
        // index, a missing HEAD commit): the changes are unknown, not none.
        std::optional<QString> error;
        bool operator==(const Snapshot &) const = default;
    };

    // `service` runs the queries and outlives this.
    explicit NBEGitState(NBEGitService &service, QObject *parent = nullptr);

    const Snapshot &snapshot() const { return m_snapshot; }
    // The open folder, told by its owner as it opens and closes; the next
    // refresh reads it.
    const std::optional<QUrl> &folder() const { return m_folder; }
    void setFolder(const std::optional<QUrl> &folder) { m_folder = folder; }
    // Reads the repository holding the folder (none: an empty snapshot).
    // The future ends once the snapshot is stored; an older refresh ending
    // after a newer one is dropped.
    QFuture<void> refresh();

    // The open folder's first git answers are still coming: whether it is a
    // repository isn't known yet.
    bool isLoading() const { return m_isLoading; }
    void setLoading(bool loading);

    bool isRepository() const { return m_snapshot.root.has_value(); }
    std::optional<NBEGitStatus> status(const QUrl &forFile) const;
    int commitsToPush() const;
    bool needsPublish() const;
    bool hasStagedChanges() const;
    // False while a merge is in progress: git can't amend then.
    bool canAmendSafely() const;
    // Some path is still unmerged (git refuses to commit until none is).
    bool hasConflicts() const;
    // The changes ordered by file name, case-insensitively; stable.
    QList<NBEGitFileChange> changedFiles() const;
    // How the changes list's rows went from the previous snapshot's to this
    // one's: `removed` rows at `at` gave way to `inserted` ones, and section
    // rows may show new counts. `before` is the list it starts from and
    // `between` that list with the removed rows gone (only when some go).
    struct RowsChange
    {
        QList<NBEGitChangeRow> before;
        QList<NBEGitChangeRow> between;
        qsizetype at = 0;
        qsizetype removed = 0;
        qsizetype inserted = 0;
    };
    // The changes list's rows (see NBEGitChangesModel), built with the
    // snapshot off the main thread, and how they changed with it.
    const QList<NBEGitChangeRow> &changeRows() const { return m_rows; }
    const RowsChange &rowsChange() const { return m_rowsChange; }
    // The file's text at HEAD; nothing outside a repository.
    QFuture<std::optional<QString>> headContent(const QUrl &forFile);
    // Keeps the document's repository root and HEAD text as of the latest
    // refresh, for as long as both live. The HEAD text is read again only
    // when the document's file or HEAD moved.
    void follow(NBEEditorDocument &document);

Q_SIGNALS:
    void changed();
    // After changed(), when a merge began, ended or changed its message.
    void mergeChanged(const std::optional<NBEGitMergeState> &before);
    void loadingChanged();
    // A refresh ended, whether or not its snapshot differed.
    void refreshed();

private:
    // A snapshot with what is derived from it, worked out off the main
    // thread against the one stored `storeCount` stores ago.
    struct Prepared
    {
        Snapshot snapshot;
        bool same = false;
        NBEGitNameOrder order;
        QList<NBEGitChangeRow> rows;
        RowsChange rowsChange;
        quint64 storeCount = 0;
    };
    static Prepared prepared(Snapshot snapshot, const Snapshot &previous,
                             const NBEGitNameOrder &previousOrder,
                             const QList<NBEGitChangeRow> &previousRows);
    QFuture<Prepared> prepareElsewhere(Snapshot snapshot) const;
    void store(Prepared prepared);

    NBEGitService &m_service;
    std::optional<QUrl> m_folder;
    Snapshot m_snapshot;
    bool m_isLoading = false;
    // Refreshes started and the newest one stored: the repository has no
    // revision of its own to stamp answers with.
    NBERequestOrder m_refreshes;
    // The newest refresh whose snapshot is stored; an older one finishing
    // later is dropped.
    NBERequestOrder::Token m_stored = 0;
    // The status run the snapshot's changes were read from, for the next
    // refresh to read only what differs.
    NBEGitStatusRun m_lastRun;
    NBEGitNameOrder m_order;
    QList<NBEGitChangeRow> m_rows;
    RowsChange m_rowsChange;
    quint64 m_storeCount = 0;
};
