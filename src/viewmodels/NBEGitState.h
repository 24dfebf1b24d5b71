#pragma once

#include "NBEGitFileChange.h"
#include "NBEGitService.h"

#include <QFuture>
#include <QHash>
#include <QObject>
#include <QStringList>
#include <QUrl>

#include <optional>

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
        bool operator==(const Snapshot &) const = default;
    };

    // `service` runs the queries and outlives this.
    explicit NBEGitState(NBEGitService &service, QObject *parent = nullptr);

    const Snapshot &snapshot() const { return m_snapshot; }
    // Reads the repository holding `folder` (none: no folder, an empty
    // snapshot). The future ends once the snapshot is stored; an older
    // refresh ending after a newer one is dropped.
    QFuture<void> refresh(const std::optional<QUrl> &folder);

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
    // The file's text at HEAD; nothing outside a repository.
    QFuture<std::optional<QString>> headContent(const QUrl &forFile);

Q_SIGNALS:
    void changed();
    // After changed(), when a merge began, ended or changed its message.
    void mergeChanged(const std::optional<NBEGitMergeState> &before);
    void loadingChanged();

private:
    void store(const Snapshot &snapshot);

    NBEGitService &m_service;
    Snapshot m_snapshot;
    bool m_isLoading = false;
    // Refreshes started and the newest one stored: the repository has no
    // revision of its own to stamp answers with.
    quint64 m_generation = 0;
    quint64 m_stored = 0;
    // The status run the snapshot's changes were read from, for the next
    // refresh to read only what differs.
    NBEGitStatusRun m_lastRun;
};
