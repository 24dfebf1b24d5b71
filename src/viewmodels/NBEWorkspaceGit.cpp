// The repository's remote: setting origin, pulling and pushing the current
// branch, switching, creating, deleting and merging branches (with the care
// for open tabs whose files a git command rewrites), browser sign-in through git's credential
// helpers, background fetch (which keeps the ahead and behind counts current without ever asking
// for credentials), and the status text that confirms a git action for a few seconds.
#include "NBEWorkspaceGit.h"

#include "NBEApplicationActivity.h"
#include "NBEGitSyncMessage.h"
#include "NBEPreferences.h"
#include "NBEWhenFinished.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPromise>
#include <QStandardPaths>
#include <QTimer>

#include <algorithm>
#include <array>

namespace {

// The git host whose OAuth application the browser sign-in helper uses.
const QString gitHost = QStringLiteral("github.com");
const QString gitHubOAuthClientID = QStringLiteral("Nb23EditorOAuthApp01");

QString noRemoteMessage()
{
    return NBEWorkspaceGit::tr(
        "No remote configured. Add one from the branch menu \u2192 Set Remote URL\u2026");
}

QString trimmed(const std::optional<QString> &text)
{
    return text ? text->trimmed() : QString();
}

// A future that ends once `then` has run on `context` with `source`'s result
// and the future `then` returned has ended too.
template <typename T, typename Then>
QFuture<void> chain(const QFuture<T> &source, QObject *context, Then &&then)
{
    auto promise = std::make_shared<QPromise<void>>();
    promise->start();
    QFuture<void> done = promise->future();
    nbeWhenFinished(source, context,
                    [context, promise, then = std::forward<Then>(then)](const T &value) mutable {
                        nbeWhenFinished(then(value), context, [promise] { promise->finish(); });
                    });
    return done;
}

std::shared_ptr<QPromise<void>> startedPromise()
{
    auto promise = std::make_shared<QPromise<void>>();
    promise->start();
    return promise;
}

// git takes a name that begins with "-" for an option.
bool isOptionLike(const QString &name)
{
    return name.startsWith(u'-');
}

QString optionLikeBranchName()
{
    return NBEWorkspaceGit::tr("Branch names can't begin with \u201C-\u201D.");
}

// git's own error text, else the sentence written for the case.
QString errorText(const std::optional<QString> &error, const QString &fallback)
{
    const QString text = error.value_or(QString()).trimmed();
    return text.isEmpty() ? fallback : text;
}

} // namespace

NBEWorkspaceGit::NBEWorkspaceGit(NBEGitService &service, NBEGitState &state,
                                 NBEPreferences &preferences, NBEApplicationActivity *activity,
                                 Settings settings, NBEWorkspaceGitHost host, QObject *parent)
    : QObject(parent)
    , m_service(service)
    , m_state(state)
    , m_preferences(preferences)
    , m_activity(activity)
    , m_settings(std::move(settings))
    , m_host(std::move(host))
{}

void NBEWorkspaceGit::setSyncing(bool syncing)
{
    if (m_isSyncing == syncing)
        return;
    m_isSyncing = syncing;
    Q_EMIT isSyncingChanged();
}

void NBEWorkspaceGit::flashSyncStatus(const QString &text)
{
    const NBERequestOrder::Token flash = m_syncStatusFlashes.next();
    if (m_syncStatus != text) {
        m_syncStatus = text;
        Q_EMIT syncStatusChanged();
    }
    // Only the newest text's timer clears it, so a newer one keeps its full
    // lifetime.
    QTimer::singleShot(m_settings.timings.syncStatusDuration, this, [this, flash] {
        if (!m_syncStatusFlashes.isCurrent(flash) || !m_syncStatus)
            return;
        m_syncStatus.reset();
        Q_EMIT syncStatusChanged();
    });
}

QString NBEWorkspaceGit::syncRemoteName() const
{
    if (git().remotes.contains(QStringLiteral("origin")) || git().remotes.isEmpty())
        return QStringLiteral("origin");
    return git().remotes.first();
}

QString NBEWorkspaceGit::syncFailureMessage(const std::optional<QString> &error,
                                            const QString &action) const
{
    const QString text = trimmed(error);
    const QString lower = text.toLower();
    static const std::array<QString, 6> markers{
        QStringLiteral("could not read username"),
        QStringLiteral("terminal prompts disabled"),
        QStringLiteral("authentication failed"),
        QStringLiteral("permission denied"),
        QStringLiteral("invalid username or password"),
        QStringLiteral("support for password authentication")};
    const bool needsSignIn = std::any_of(markers.begin(), markers.end(),
                                         [&](const QString &m) { return lower.contains(m); });
    if (!needsSignIn)
        return text.isEmpty() ? tr("%1 failed.").arg(action) : text;
    if (canSetUpBrowserSignIn() && !git().browserAuthConfigured)
        return tr("%1 failed \u2014 you're not signed in yet. Choose \u201CSet Up Browser "
                  "Sign-In\u201D in the branch menu, then %1 again: it opens your browser to "
                  "authorize, and you stay signed in after that.")
            .arg(action);
    return tr("%1 failed \u2014 the remote needs you to sign in, and Nabri Editor "
              "doesn't store passwords. Set sign-in up once and it works from here "
              "on:\n\n\u2022  Browser sign-in: choose \u201CSet Up Browser "
              "Sign-In\u201D in the branch menu, then %1 again.\n\u2022  Or use an SSH remote "
              "(git@%2:you/repo.git) with an SSH key in your agent.\n\nThen try %1 again.")
        .arg(action, gitHost);
}

// --- Origin

QFuture<std::optional<QString>> NBEWorkspaceGit::currentOriginURL()
{
    if (!git().root)
        return QtFuture::makeReadyFuture(std::optional<QString>());
    return m_service.remote().originURL(*git().root);
}

QFuture<void> NBEWorkspaceGit::setOriginRemote(const QString &url)
{
    if (!git().root)
        return QtFuture::makeReadyFuture();
    const QString remoteURL = url.trimmed();
    // Refused here with a sentence, so the sheet never seems to do nothing;
    // the service refuses a URL git would read as an option.
    if (remoteURL.isEmpty()) {
        Q_EMIT failed(tr("A remote URL can't be empty."));
        return QtFuture::makeReadyFuture();
    }
    // Git would store a pasted second line as part of the URL.
    if (std::any_of(remoteURL.cbegin(), remoteURL.cend(),
                    [](QChar c) { return c.category() == QChar::Other_Control; })) {
        Q_EMIT failed(tr("A remote URL can't contain line breaks or tabs."));
        return QtFuture::makeReadyFuture();
    }
    const QUrl repository = *git().root;
    const bool exists = git().remotes.contains(QStringLiteral("origin"));
    return chain(
        m_service.remote().setOriginURL(remoteURL, exists, repository), this,
        [this, repository, remoteURL](const NBEGitResult &result) -> QFuture<void> {
            if (!result.ok) {
                const QString error = trimmed(result.error);
                Q_EMIT failed(error.isEmpty() ? tr("Couldn't set the remote URL.") : error);
                return m_state.refresh();
            }
            flashSyncStatus(
                tr("Remote set \u00B7 %1").arg(NBEGitSyncMessage::prettyRemote(remoteURL)));
            if (!bundledOAuthHelperURL())
                return m_state.refresh();
            // A repository that gets a remote is quietly prepared for browser
            // sign-in unless a browser-capable helper is already configured.
            return chain(m_service.remote().hasBrowserAuthHelper(repository), this,
                         [this, repository](bool configured) -> QFuture<void> {
                             if (configured)
                                 return m_state.refresh();
                             return chain(
                                 applySignInConfig(false, repository), this,
                                 [this](const NBEGitResult &) { return m_state.refresh(); });
                         });
        });
}

// --- Browser sign-in

std::optional<QUrl> NBEWorkspaceGit::bundledOAuthHelperURL() const
{
    const QString path = m_settings.browserAuthHelper.isEmpty()
                             ? NBEGitRemote::browserAuthHelperPath()
                             : m_settings.browserAuthHelper;
    const QFileInfo info(path);
    if (!info.isFile() || !info.isExecutable())
        return std::nullopt;
    return QUrl::fromLocalFile(info.absoluteFilePath());
}

std::optional<std::pair<QString, QString>> NBEWorkspaceGit::gitHubBranding() const
{
    const QString path = m_settings.oauthAppFile.isEmpty()
                             ? QStandardPaths::locate(QStandardPaths::AppDataLocation,
                                                      QStringLiteral("NBEGitHubOAuth.json"))
                             : m_settings.oauthAppFile;
    if (path.isEmpty())
        return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll());
    const QJsonValue secret = document.object().value(QStringLiteral("clientSecret"));
    if (!secret.isString() || secret.toString().isEmpty())
        return std::nullopt;
    return std::pair{gitHubOAuthClientID, secret.toString()};
}

QFuture<NBEGitResult> NBEWorkspaceGit::applySignInConfig(bool global, const QUrl &repository)
{
    const auto helper = bundledOAuthHelperURL();
    if (!helper)
        return QtFuture::makeReadyFuture(NBEGitResult{false, std::nullopt});
    const QFuture<NBEGitResult> registered =
        m_service.remote().configureBrowserAuth(helper->toLocalFile(), global, repository);
    const auto branding = gitHubBranding();
    if (!branding)
        return registered;
    // Queued behind the helper entries on the service; its own outcome is
    // not reported. The secret goes only into git's configuration.
    const QFuture<NBEGitResult> identity = m_service.remote().configureOAuthApp(
        gitHost, branding->first, branding->second, global, repository);
    auto promise = std::make_shared<QPromise<NBEGitResult>>();
    promise->start();
    QFuture<NBEGitResult> done = promise->future();
    nbeWhenFinished(identity, this, [registered, promise](const NBEGitResult &) {
        promise->addResult(registered.resultCount() > 0 ? registered.result()
                                                        : NBEGitResult{false, std::nullopt});
        promise->finish();
    });
    return done;
}

QFuture<void> NBEWorkspaceGit::setUpBrowserSignIn(bool global)
{
    if (!bundledOAuthHelperURL() || !git().root)
        return QtFuture::makeReadyFuture();
    return chain(applySignInConfig(global, *git().root), this, [this](const NBEGitResult &result) {
        if (!result.ok) {
            const QString error = trimmed(result.error);
            Q_EMIT failed(error.isEmpty() ? tr("Couldn't set up browser sign-in.") : error);
        }
        return m_state.refresh();
    });
}

// --- Pull and push

QFuture<void> NBEWorkspaceGit::sync(const QFuture<NBEGitResult> &command, const QString &action,
                                    const QString &success)
{
    return chain(command, this, [this, action, success](const NBEGitResult &result) {
        // Cleared before anything is shown, so the alert or text never
        // appears next to a spinning indicator.
        setSyncing(false);
        if (result.ok)
            flashSyncStatus(success);
        else
            Q_EMIT failed(syncFailureMessage(result.error, action));
        return m_state.refresh();
    });
}

QFuture<void> NBEWorkspaceGit::pull()
{
    if (m_isSyncing || !git().root)
        return QtFuture::makeReadyFuture();
    if (git().remotes.isEmpty()) {
        Q_EMIT failed(noRemoteMessage());
        return QtFuture::makeReadyFuture();
    }
    if (!git().hasUpstream) {
        Q_EMIT failed(tr("This branch has no upstream yet. Push it first to set one."));
        return QtFuture::makeReadyFuture();
    }
    const QString remote = syncRemoteName();
    const QString branch = git().branch.value_or(QStringLiteral("HEAD"));
    const QUrl root = *git().root;
    setSyncing(true);
    // Tabs still holding the old text would write it back over the pulled
    // files on the next save. Unsaved edits are asked about first; saved ones
    // make git refuse to pull over them.
    auto pulled = [this, root, remote, branch](const std::optional<NBEGitRewrittenTabs> &tabs) {
        if (!tabs) {
            setSyncing(false);
            return QtFuture::makeReadyFuture();
        }
        return chain(
            m_service.remote().pull(root), this,
            [this, tabs, remote, branch](const NBEGitPullResult &result) {
                setSyncing(false);
                if (result.ok)
                    flashSyncStatus(NBEGitSyncMessage::pull(remote, branch, result.commits));
                else
                    Q_EMIT failed(syncFailureMessage(result.error, tr("Pull")));
                const QFuture<void> reloaded =
                    result.ok ? m_host.reloadTabs(*tabs) : QtFuture::makeReadyFuture();
                auto promise = std::make_shared<QPromise<void>>();
                promise->start();
                nbeWhenFinished(reloaded, this, [this, promise] {
                    nbeWhenFinished(m_state.refresh(), this, [promise] { promise->finish(); });
                });
                return promise->future();
            });
    };
    return chain(m_host.settleTabs(std::nullopt, true), this, pulled);
}

QFuture<void> NBEWorkspaceGit::push()
{
    if (m_isSyncing || !git().root)
        return QtFuture::makeReadyFuture();
    if (git().remotes.isEmpty()) {
        Q_EMIT failed(noRemoteMessage());
        return QtFuture::makeReadyFuture();
    }
    const QString remote = syncRemoteName();
    const QString branch = git().branch.value_or(QStringLiteral("HEAD"));
    const bool hadUpstream = git().hasUpstream;
    const QString success =
        NBEGitSyncMessage::push(remote, branch, m_state.commitsToPush(), hadUpstream);
    setSyncing(true);
    const QFuture<NBEGitResult> command =
        hadUpstream ? m_service.remote().push(*git().root)
                    : m_service.remote().pushSettingUpstream(remote, branch, *git().root);
    return sync(command, tr("Push"), success);
}

// --- Branches

void NBEWorkspaceGit::setBranchPendingForceDelete(const std::optional<QString> &name)
{
    if (m_branchPendingForceDelete == name)
        return;
    m_branchPendingForceDelete = name;
    Q_EMIT branchPendingForceDeleteChanged();
}

QFuture<void> NBEWorkspaceGit::rewriteFiles(const std::optional<QList<QUrl>> &files, bool saveEdits,
                                            const Rewrite &command)
{
    const QUrl root = *git().root;
    auto promise = startedPromise();
    QFuture<void> done = promise->future();
    auto refreshed = [this, promise] {
        nbeWhenFinished(m_state.refresh(), this, [promise] { promise->finish(); });
    };
    nbeWhenFinished(
        m_host.settleTabs(files, saveEdits), this,
        [this, root, command, promise, refreshed](const std::optional<NBEGitRewrittenTabs> &tabs) {
            if (!tabs) {
                promise->finish();
                return;
            }
            command(root, [this, tabs, refreshed](bool changed) {
                if (changed)
                    nbeWhenFinished(m_host.reloadTabs(*tabs), this, refreshed);
                else
                    refreshed();
            });
        });
    return done;
}

// --- Branch operations

QFuture<void> NBEWorkspaceGit::switchBranch(const QString &name)
{
    if (!git().root || git().branch == name)
        return QtFuture::makeReadyFuture();
    if (isOptionLike(name)) {
        Q_EMIT failed(optionLikeBranchName());
        return QtFuture::makeReadyFuture();
    }
    const QString head = git().branch.value_or(QString());
    // Tabs still holding the old branch's text would write it over the new
    // branch's files on the next save.
    return rewriteFiles(std::nullopt, true, [this, name, head](const QUrl &root, auto changed) {
        // Commits made on a detached HEAD that nothing else holds drop out
        // of sight with the switch; the user learns how to keep them.
        nbeWhenFinished(m_service.history().commitsOnNoBranch(root), this,
                        [this, name, head, root, changed](int left) {
                            switchNow(name, root, head, left, changed);
                        });
    });
}

void NBEWorkspaceGit::switchNow(const QString &name, const QUrl &root, const QString &head,
                                int left, const std::function<void(bool)> &changed)
{
    nbeWhenFinished(m_service.history().switchBranch(name, root), this,
                    [this, name, head, left, changed](const NBEGitResult &result) {
                        if (result.ok && left > 0)
                            Q_EMIT failed(
                                tr("Switched to %1, leaving %2 made on the detached HEAD on no "
                                   "branch: run “git branch <name> %3” in a "
                                   "terminal to keep %4.")
                                    .arg(name,
                                         left == 1 ? tr("1 commit") : tr("%1 commits").arg(left),
                                         head, left == 1 ? tr("it") : tr("them")));
                        if (result.ok)
                            flashSyncStatus(tr("Switched to %1").arg(name));
                        else if (NBEGitIndex::isLockedIndex(result))
                            Q_EMIT failed(tr("Couldn't switch to %1: %2")
                                              .arg(name, NBEGitOutput::headline(*result.error)));
                        else
                            Q_EMIT failed(tr("Couldn't switch to %1 \u2014 commit or stash "
                                             "your changes first.")
                                              .arg(name));
                        changed(result.ok);
                    });
}

QFuture<void> NBEWorkspaceGit::createBranch(const QString &name)
{
    const QString trimmed = name.trimmed();
    if (!git().root || trimmed.isEmpty())
        return QtFuture::makeReadyFuture();
    if (trimmed.contains(u' ')) {
        QString suggestion = trimmed;
        suggestion.replace(u' ', u'-');
        Q_EMIT failed(tr("Branch names can't contain spaces. Try \"%1\".").arg(suggestion));
        return QtFuture::makeReadyFuture();
    }
    if (isOptionLike(trimmed)) {
        Q_EMIT failed(optionLikeBranchName());
        return QtFuture::makeReadyFuture();
    }
    auto promise = startedPromise();
    QFuture<void> done = promise->future();
    nbeWhenFinished(m_service.history().createBranch(trimmed, *git().root), this,
                    [this, trimmed, promise](const NBEGitResult &result) {
                        if (result.ok)
                            flashSyncStatus(tr("Created branch %1").arg(trimmed));
                        else
                            Q_EMIT failed(errorText(result.error,
                                                    tr("Couldn't create branch %1.").arg(trimmed)));
                        nbeWhenFinished(m_state.refresh(), this, [promise] { promise->finish(); });
                    });
    return done;
}

QFuture<void> NBEWorkspaceGit::deleteBranch(const QString &name, bool force)
{
    if (!git().root || git().branch == name)
        return QtFuture::makeReadyFuture();
    if (isOptionLike(name)) {
        Q_EMIT failed(optionLikeBranchName());
        return QtFuture::makeReadyFuture();
    }
    auto promise = startedPromise();
    QFuture<void> done = promise->future();
    nbeWhenFinished(
        m_service.history().deleteBranch(name, force, *git().root), this,
        [this, name, force, promise](const NBEGitResult &result) {
            const QString error = result.error.value_or(QString());
            if (result.ok)
                flashSyncStatus(tr("Deleted branch %1").arg(name));
            else if (!force &&
                     error.contains(QStringLiteral("not fully merged"), Qt::CaseInsensitive))
                setBranchPendingForceDelete(name);
            else
                Q_EMIT failed(errorText(error, tr("Couldn't delete branch %1.").arg(name)));
            nbeWhenFinished(m_state.refresh(), this, [promise] { promise->finish(); });
        });
    return done;
}

QFuture<void> NBEWorkspaceGit::mergeBranch(const QString &name)
{
    if (!git().root || git().branch == name)
        return QtFuture::makeReadyFuture();
    if (isOptionLike(name)) {
        Q_EMIT failed(optionLikeBranchName());
        return QtFuture::makeReadyFuture();
    }
    const QString target = git().branch.value_or(tr("current branch"));
    return rewriteFiles(std::nullopt, true, [this, name, target](const QUrl &root, auto changed) {
        nbeWhenFinished(m_service.history().merge(name, root), this,
                        [this, name, target, changed](const NBEGitMergeResult &result) {
                            if (result.ok)
                                flashSyncStatus(tr("Merged %1 into %2").arg(name, target));
                            else if (result.conflicts)
                                Q_EMIT failed(tr("Merging %1 hit conflicts. Resolve them in "
                                                 "the terminal (git status, edit the files, "
                                                 "git add, git commit), or run git merge "
                                                 "--abort.")
                                                  .arg(name));
                            else
                                Q_EMIT failed(
                                    errorText(result.error, tr("Couldn't merge %1.").arg(name)));
                            // Any other failure stopped git before it touched a file.
                            changed(result.ok || result.conflicts);
                        });
    });
}

// --- Background fetch

bool NBEWorkspaceGit::isAutoFetchEnabled() const
{
    return m_preferences.gitAutoFetch();
}

void NBEWorkspaceGit::startAutoFetch()
{
    stopAutoFetch();
    const NBERequestOrder::Token run = m_autoFetchRuns.next();
    m_autoFetchTimer = new QTimer(this);
    m_autoFetchTimer->setSingleShot(true);
    m_autoFetchTimer->setTimerType(Qt::PreciseTimer);
    connect(m_autoFetchTimer, &QTimer::timeout, this, [this, run] {
        // The pause counts from the end of a fetch, so turns never pile up.
        nbeWhenFinished(autoFetchNow(), this, [this, run] {
            if (m_autoFetchRuns.isCurrent(run) && m_autoFetchTimer)
                m_autoFetchTimer->start(m_settings.timings.autoFetchInterval);
        });
    });
    m_autoFetchTimer->start(m_settings.timings.autoFetchStartDelay);
    if (m_activity) {
        m_appActiveObserver = connect(m_activity.data(), &NBEApplicationActivity::becameActive,
                                      this, [this] { autoFetchNow(); });
    }
}

void NBEWorkspaceGit::stopAutoFetch()
{
    m_autoFetchRuns.supersede();
    delete m_autoFetchTimer;
    m_autoFetchTimer = nullptr;
    disconnect(m_appActiveObserver);
    m_appActiveObserver = {};
}

QFuture<void> NBEWorkspaceGit::autoFetchNow()
{
    // A second request while one runs (an activation during the loop's turn)
    // waits for that one instead of fetching twice in a row.
    if (m_autoFetchRunning && !m_autoFetchRunning->isFinished())
        return *m_autoFetchRunning;
    if (!isAutoFetchEnabled() || m_isSyncing || git().remotes.isEmpty() || !git().root)
        return QtFuture::makeReadyFuture();

    auto promise = std::make_shared<QPromise<void>>();
    promise->start();
    QFuture<void> done = promise->future();
    m_autoFetchRunning = done;
    // Every failure is silent: the state keeps what the last refresh found.
    nbeWhenFinished(m_service.remote().fetch(*git().root), this, [this, promise](bool fetched) {
        // A closed workspace keeps its last git state; refreshing without a
        // workspace would wipe it.
        if (!fetched || !m_state.folder().has_value()) {
            promise->finish();
            return;
        }
        nbeWhenFinished(m_state.refresh(), this, [promise] { promise->finish(); });
    });
    return done;
}

void NBEWorkspaceGit::initRepository()
{
    const std::optional<QUrl> folder = m_state.folder();
    if (!folder)
        return;
    nbeWhenFinished(m_service.initRepository(*folder), this, [this](bool) { m_state.refresh(); });
}
