#include "NBEWorkspaceViewModel.h"

#include "NBEWhenFinished.h"

#include "NBEApplicationActivity.h"
#include "NBELog.h"
#include "NBERecentProjects.h"

#include <QDir>
#include <QFile>
#include <QPromise>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QTimer>

NBEWorkspaceViewModel::NBEWorkspaceViewModel(NBEWorkspaceEnvironment environment, QObject *parent)
    : QObject(parent)
    , m_environment(std::move(environment))
    , m_gitService(m_environment.gitURL)
{
    m_desktop =
        m_environment.desktop ? m_environment.desktop : std::make_shared<NBEHeadlessDesktop>();
    // One store behind both, so what the preferences write the drafts and
    // recent projects see too.
    if (m_environment.preferences) {
        m_preferences = m_environment.preferences;
        m_defaults = m_environment.defaults ? m_environment.defaults : &m_preferences->store();
    } else {
        m_defaults = m_environment.defaults ? m_environment.defaults : &NBEDefaults::shared();
        m_preferences = m_environment.defaults ? new NBEPreferences(*m_defaults, this)
                                               : &NBEPreferences::shared();
    }
    m_languageServers = new NBEWorkspaceLanguageServers(
        m_environment.webServerLaunch
            ? m_environment.webServerLaunch
            : [](const QString &language) { return NBEWebLSPServers::launch(language); },
        m_environment.swiftServerOverride, this);
    connect(m_languageServers, &NBEWorkspaceLanguageServers::checkingStoppedChanged, this,
            &NBEWorkspaceViewModel::checkingStoppedChanged);
    m_activity = m_environment.activity ? m_environment.activity
                                        : NBEApplicationActivity::followingApplication(this);
    m_recentProjects = NBERecentProjects::load(*m_defaults);
    // The application losing focus saves in the focus-change mode; the
    // window adds its own focus loss.
    connect(m_activity.data(), &NBEApplicationActivity::resignedActive, this,
            &NBEWorkspaceViewModel::autoSaveOnFocusChange);
    m_gitState = new NBEGitState(m_gitService, this);
    connect(m_gitState, &NBEGitState::changed, this, &NBEWorkspaceViewModel::gitStateChanged);
    connect(m_gitState, &NBEGitState::loadingChanged, this,
            &NBEWorkspaceViewModel::isLoadingChanged);
    NBEWorkspaceGitHost host;
    host.isOpen = [this] { return m_workspace.has_value(); };
    host.refresh = [this] { return refreshGitStatus(); };
    host.settleTabs = [this](const std::optional<QList<QUrl>> &files, bool saveEdits) {
        return m_tabs->settleBeforeGit(files, saveEdits);
    };
    host.reloadTabs = [this](const NBEGitRewrittenTabs &tabs) {
        return m_tabs->reloadRewritten(tabs);
    };
    m_workspaceGit = new NBEWorkspaceGit(
        m_gitService, *m_gitState, *m_preferences, m_activity,
        {m_environment.timings, m_environment.browserAuthHelper, m_environment.oauthAppFile},
        std::move(host), this);
    connect(m_workspaceGit, &NBEWorkspaceGit::failed, this,
            [this](const QString &message) { setErrorMessage(message); });
    connect(m_workspaceGit, &NBEWorkspaceGit::isSyncingChanged, this,
            &NBEWorkspaceViewModel::isSyncingChanged);
    connect(m_workspaceGit, &NBEWorkspaceGit::syncStatusChanged, this,
            &NBEWorkspaceViewModel::syncStatusChanged);
    connect(m_workspaceGit, &NBEWorkspaceGit::branchPendingForceDeleteChanged, this,
            &NBEWorkspaceViewModel::branchPendingForceDeleteChanged);
    NBEWorkspaceHistoryHost historyHost;
    historyHost.rewriteFiles = [this](const QList<QUrl> &files, bool saveEdits,
                                      const NBEWorkspaceHistoryHost::Command &command) {
        return rewriteFiles(files, saveEdits, command);
    };
    m_history = new NBEWorkspaceHistory(m_gitService, *m_gitState, std::move(historyHost), this);
    connect(m_history, &NBEWorkspaceHistory::failed, this,
            [this](const QString &message) { setErrorMessage(message); });
    connect(m_history, &NBEWorkspaceHistory::gitHistoryChanged, this,
            &NBEWorkspaceViewModel::gitHistoryChanged);
    NBEWorkspaceCommitHost commitHost;
    commitHost.refresh = [this] { return refreshGitStatus(); };
    commitHost.flash = [this](const QString &text) { flashSyncStatus(text); };
    m_commit = new NBEWorkspaceCommit(m_gitService, *m_gitState, *m_defaults, *m_preferences,
                                      m_environment.aiBaseURL, std::move(commitHost), this);
    connect(m_commit, &NBEWorkspaceCommit::failed, this,
            [this](const QString &message) { setErrorMessage(message); });
    connect(m_commit, &NBEWorkspaceCommit::commitMessageChanged, this,
            &NBEWorkspaceViewModel::commitMessageChanged);
    connect(m_commit, &NBEWorkspaceCommit::isGeneratingCommitMessageChanged, this,
            &NBEWorkspaceViewModel::isGeneratingCommitMessageChanged);
    m_diagnostics = new NBEDiagnosticsStore(this);
    connect(m_diagnostics, &NBEDiagnosticsStore::changed, this,
            &NBEWorkspaceViewModel::diagnosticsChanged);
    m_htmlValidation =
        new NBEHTMLValidation(*m_diagnostics, m_environment.timings.validationDelay, this);
    NBEWorkspaceTabsHost tabsHost;
    tabsHost.isOpen = [this] { return m_workspace.has_value(); };
    tabsHost.refreshGit = [this] { return refreshGitStatus(); };
    m_tabs = new NBEWorkspaceTabs(m_fileService, m_desktop, *m_preferences, *m_languageServers,
                                  *m_diagnostics, *m_htmlValidation, m_environment.timings,
                                  std::move(tabsHost), this);
    connect(m_tabs, &NBEWorkspaceTabs::tabsChanged, this, &NBEWorkspaceViewModel::tabsChanged);
    connect(m_tabs, &NBEWorkspaceTabs::tabContentChanged, this,
            &NBEWorkspaceViewModel::tabContentChanged);
    connect(m_tabs, &NBEWorkspaceTabs::tabContentSettled, this,
            &NBEWorkspaceViewModel::tabContentSettled);
    connect(m_tabs, &NBEWorkspaceTabs::cursorPositionChanged, this,
            &NBEWorkspaceViewModel::cursorPositionChanged);
    connect(m_tabs, &NBEWorkspaceTabs::failed, this,
            [this](const QString &message) { setErrorMessage(message); });
    connect(m_languageServers, &NBEWorkspaceLanguageServers::diagnosticsPublished, m_diagnostics,
            &NBEDiagnosticsStore::set);
    NBEWorkspaceWorkingTreeHost workingTreeHost;
    workingTreeHost.isOpen = [this] { return m_workspace.has_value(); };
    workingTreeHost.refreshGit = [this] { return refreshGitStatus(); };
    workingTreeHost.refreshFileTree = [this] { return refreshFileTree(); };
    m_workingTree = new NBEWorkspaceWorkingTree(m_gitService, *m_gitState, m_fileService, m_desktop,
                                                *m_tabs, std::move(workingTreeHost), this);
    connect(m_workingTree, &NBEWorkspaceWorkingTree::failed, this,
            [this](const QString &message) { setErrorMessage(message); });
    connect(m_workingTree, &NBEWorkspaceWorkingTree::revealTargetChanged, this,
            &NBEWorkspaceViewModel::revealTargetChanged);
}

// Releasing the view model stops no server: only closing the workspace does.
NBEWorkspaceViewModel::~NBEWorkspaceViewModel() = default;

const std::optional<NBEWorkspace> &NBEWorkspaceViewModel::workspace() const
{
    if (m_workspace) {
        m_workspace->openTabs = m_tabs->tabs();
        m_workspace->activeTabID = m_tabs->activeTabID();
    }
    return m_workspace;
}

namespace {

// The same folder with the same tree; tabs aside.
bool sameFolder(const std::optional<NBEWorkspace> &a, const std::optional<NBEWorkspace> &b)
{
    return a.has_value() == b.has_value() &&
           (!a || (a->rootURL == b->rootURL && a->fileTree == b->fileTree));
}

} // namespace

void NBEWorkspaceViewModel::setWorkspace(const std::optional<NBEWorkspace> &workspace)
{
    if (sameFolder(m_workspace, workspace))
        return;
    m_workspace = workspace;
    Q_EMIT workspaceChanged();
}

void NBEWorkspaceViewModel::replaceFolder(const std::optional<NBEWorkspace> &workspace)
{
    const bool appearsOrGoes = m_workspace.has_value() != workspace.has_value();
    const bool differs = !sameFolder(m_workspace, workspace);
    m_workspace = workspace;
    // The tab bar follows a folder opening or closing even without tabs.
    const bool tabsAnnounced = m_tabs->clear();
    if (differs)
        Q_EMIT workspaceChanged();
    if (appearsOrGoes && !tabsAnnounced)
        Q_EMIT tabsChanged();
}

void NBEWorkspaceViewModel::setErrorMessage(const std::optional<QString> &message)
{
    if (m_errorMessage == message)
        return;
    m_errorMessage = message;
    Q_EMIT errorMessageChanged();
}

void NBEWorkspaceViewModel::clearErrorMessage()
{
    setErrorMessage(std::nullopt);
}

void NBEWorkspaceViewModel::setRecentProjects(const QList<QUrl> &projects)
{
    if (m_recentProjects == projects)
        return;
    m_recentProjects = projects;
    Q_EMIT recentProjectsChanged();
}

QFuture<void> NBEWorkspaceViewModel::loadWorkspace(const QUrl &folder)
{
    m_gitState->setLoading(true);
    auto promise = std::make_shared<QPromise<void>>();
    promise->start();
    QFuture<void> done = promise->future();

    nbeWhenFinished(m_fileService.buildFileTree(folder), this,
                    [this, folder, promise](NBEResult<NBEFileTreeNode> tree) {
                        if (!tree) {
                            // Files queued for this window stay queued: nothing takes them
                            // without a workspace of their root.
                            setErrorMessage(QStringLiteral("Failed to open folder: ") +
                                            tree.error().description);
                            NBELog::app().error("Failed to open workspace: %s",
                                                tree.error().description);
                            m_gitState->setLoading(false);
                            promise->finish();
                            return;
                        }
                        NBEWorkspace workspace(folder);
                        workspace.fileTree = std::move(*tree);
                        replaceFolder(workspace);
                        m_unreadableFolders.clear();
                        sayUnreadableFolders();
                        readVaporManifest();
                        startLSPSession(folder);
                        NBERecentProjects::record(folder, defaults());
                        setRecentProjects(NBERecentProjects::load(defaults()));
                        nbeWhenFinished(refreshGitStatus(), this, [this, folder, promise] {
                            m_workspaceGit->startAutoFetch();
                            startFollowingOutsideChanges();
                            loadCommitDraft();
                            NBELog::app().info("Opened workspace: %s", folder.fileName());
                            m_gitState->setLoading(false);
                            promise->finish();
                        });
                    });
    return done;
}

QFuture<bool> NBEWorkspaceViewModel::closeWorkspace()
{
    QList<QUuid> ids;
    for (const NBEOpenTab &tab : m_tabs->tabs())
        ids.append(tab.id);
    return m_tabs->closeAsking(ids, [this] {
        shutdownLSP();
        m_workspaceGit->stopAutoFetch();
        stopFollowingOutsideChanges();
        // A check still pending would list a closed folder's files again.
        m_htmlValidation->dropAll();
        replaceFolder(std::nullopt);
        setErrorMessage(std::nullopt);
    });
}

void NBEWorkspaceViewModel::clearRecentProjects()
{
    NBERecentProjects::clear(defaults());
    setRecentProjects({});
}

void NBEWorkspaceViewModel::readVaporManifest()
{
    m_isVaporProject = false;
    if (!m_workspace)
        return;
    QFile manifest(
        QDir(m_workspace->rootURL.toLocalFile()).filePath(QStringLiteral("Package.swift")));
    if (!manifest.open(QIODevice::ReadOnly))
        return;
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(manifest.readAll());
    if (decoder.hasError())
        return;
    static const QRegularExpression package(QStringLiteral("\\.package\\([^)]*vapor"));
    m_isVaporProject =
        text.contains(QLatin1String("vapor/vapor")) || package.match(text).hasMatch();
}

bool NBEWorkspaceViewModel::canOpenInTarnwick() const
{
    return isVaporProject() && m_desktop->siblingApplication().has_value();
}

void NBEWorkspaceViewModel::openInTarnwick()
{
    if (!m_workspace)
        return;
    const std::optional<QUrl> application = m_desktop->siblingApplication();
    if (!application)
        return;
    m_desktop->openWithApplication({m_workspace->rootURL}, *application);
}

void NBEWorkspaceViewModel::revealInFileManager(const QUrl &url)
{
    m_desktop->revealInFileManager(url);
}
