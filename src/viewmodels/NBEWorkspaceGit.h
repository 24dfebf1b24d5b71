#pragma once

#include "NBEGitRewrittenTab.h"
#include "NBEGitService.h"
#include "NBEGitState.h"
#include "NBERequestOrder.h"
#include "NBEWorkspaceTimings.h"

#include <QFuture>
#include <QObject>
#include <QPointer>

#include <functional>
#include <optional>
#include <utility>

class NBEApplicationActivity;
class NBEPreferences;
class QTimer;

// Where git meets the tabs: the user's word on unsaved edits in the files a
// command may rewrite, and showing those files as git left them.
struct NBEWorkspaceGitHost
{
    // Asks about unsaved edits in the tabs of `files` (every tab when absent)
    // before git rewrites them: nothing on Cancel or when saving failed;
    // Save writes the edits first when `saveEdits`, else keeps them.
    std::function<QFuture<std::optional<NBEGitRewrittenTabs>>(
        const std::optional<QList<QUrl>> &files, bool saveEdits)>
        settleTabs;
    // Shows each tab's file as git left it.
    std::function<QFuture<void>(const NBEGitRewrittenTabs &tabs)> reloadTabs;
};

// The repository's branches and remote: switching, creating, deleting and
// merging branches, origin, pull and push, browser sign-in through git's
// credential helpers, background fetch, and the short-lived text that
// confirms a git action.
class NBEWorkspaceGit : public QObject
{
    Q_OBJECT

public:
    struct Settings
    {
        NBEWorkspaceTimings timings;
        // The browser sign-in helper; empty: the one the system installs.
        QString browserAuthHelper;
        // The JSON file holding the OAuth application's "clientSecret";
        // empty: NBEGitHubOAuth.json in the application's data folders.
        QString oauthAppFile;
    };

    // `state` follows the open folder; commands run in it and refresh it.
    NBEWorkspaceGit(NBEGitService &service, NBEGitState &state, NBEPreferences &preferences,
                    NBEApplicationActivity *activity, Settings settings, NBEWorkspaceGitHost host,
                    QObject *parent = nullptr);

    // True while a pull or push runs; further pulls and pushes do nothing
    // meanwhile, and background fetch skips its turn.
    bool isSyncing() const { return m_isSyncing; }
    const std::optional<QString> &syncStatus() const { return m_syncStatus; }
    // Shows `text` for a few seconds unless a newer text replaces it.
    void flashSyncStatus(const QString &text);

    QFuture<std::optional<QString>> currentOriginURL();
    QFuture<void> setOriginRemote(const QString &url);
    std::optional<QUrl> bundledOAuthHelperURL() const;
    bool canSetUpBrowserSignIn() const { return bundledOAuthHelperURL().has_value(); }
    QFuture<void> setUpBrowserSignIn(bool global);
    QFuture<void> pull();
    QFuture<void> push();

    // The branch whose plain delete git refused as not fully merged.
    const std::optional<QString> &branchPendingForceDelete() const
    {
        return m_branchPendingForceDelete;
    }
    void setBranchPendingForceDelete(const std::optional<QString> &name);
    QFuture<void> switchBranch(const QString &name);
    QFuture<void> createBranch(const QString &name);
    QFuture<void> deleteBranch(const QString &name, bool force);
    QFuture<void> mergeBranch(const QString &name);

    // A git command that may rewrite the files of open tabs: settles their
    // unsaved edits (nothing runs on Cancel), runs `command`, which reports
    // its outcome and calls back whether files may have changed, then shows
    // the tabs' new text and refreshes the git state.
    using Rewrite = std::function<void(const QUrl &root, std::function<void(bool)> changed)>;
    QFuture<void> rewriteFiles(const std::optional<QList<QUrl>> &files, bool saveEdits,
                               const Rewrite &command);

    // "nbe.gitAutoFetch", read at every turn.
    bool isAutoFetchEnabled() const;
    // Fetches after a start delay, then after each pause, and whenever the
    // application becomes active.
    void startAutoFetch();
    void stopAutoFetch();

    // Makes the open folder a repository, then refreshes the git state.
    void initRepository();

Q_SIGNALS:
    void isSyncingChanged();
    void syncStatusChanged();
    void branchPendingForceDeleteChanged();
    // A one-sentence failure for the window to show.
    void failed(const QString &message);

private:
    const NBEGitState::Snapshot &git() const { return m_state.snapshot(); }
    void setSyncing(bool syncing);
    QFuture<NBEGitResult> applySignInConfig(bool global, const QUrl &repository);
    std::optional<std::pair<QString, QString>> gitHubBranding() const;
    QString syncRemoteName() const;
    QString syncFailureMessage(const std::optional<QString> &error, const QString &action) const;
    QFuture<void> sync(const QFuture<NBEGitResult> &command, const QString &action,
                       const QString &success);
    // One background fetch; joins the one already running.
    QFuture<void> autoFetchNow();
    // Switches once `left`, the commits only the detached HEAD `head` holds,
    // is known.
    void switchNow(const QString &name, const QUrl &root, const QString &head, int left,
                   const std::function<void(bool)> &changed);

    NBEGitService &m_service;
    NBEGitState &m_state;
    NBEPreferences &m_preferences;
    QPointer<NBEApplicationActivity> m_activity;
    Settings m_settings;
    NBEWorkspaceGitHost m_host;

    bool m_isSyncing = false;
    std::optional<QString> m_syncStatus;
    // Only the newest text's timer clears it.
    NBERequestOrder m_syncStatusFlashes;

    std::optional<QString> m_branchPendingForceDelete;

    QTimer *m_autoFetchTimer = nullptr;
    QMetaObject::Connection m_appActiveObserver;
    // Every start and stop makes a new run, so a fetch of an earlier run
    // doesn't re-arm the timer.
    NBERequestOrder m_autoFetchRuns;
    std::optional<QFuture<void>> m_autoFetchRunning;
};
