#include "NBEWorkspaceViewModel.h"

#include "NBEWhenFinished.h"

#include "NBEApplicationActivity.h"
#include "NBEEditorDocument.h"
#include "NBEHTMLValidation.h"
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
    if (!m_environment.desktop)
        m_environment.desktop = std::make_shared<NBEHeadlessDesktop>();
    // One store behind both, so what the preferences write the drafts and
    // recent projects see too.
    if (m_environment.preferences) {
        if (!m_environment.defaults)
            m_environment.defaults = &m_environment.preferences->store();
    } else if (m_environment.defaults) {
        m_environment.preferences = new NBEPreferences(*m_environment.defaults, this);
    } else {
        m_environment.defaults = &NBEDefaults::shared();
        m_environment.preferences = &NBEPreferences::shared();
    }
    m_languageServers = new NBEWorkspaceLanguageServers(
        m_environment.webServerLaunch
            ? m_environment.webServerLaunch
            : [](const QString &language) { return NBEWebLSPServers::launch(language); },
        m_environment.swiftServerOverride, this);
    NBEApplicationActivity *activity = m_environment.activity
                                           ? m_environment.activity
                                           : NBEApplicationActivity::followingApplication(this);
    m_recentProjects = NBERecentProjects::load(*m_environment.defaults);
    // The application losing focus saves in the focus-change mode; the
    // window adds its own focus loss.
    connect(activity, &NBEApplicationActivity::resignedActive, this,
            [this] { m_saving->autoSaveOnFocusChange(); });
    m_gitState = new NBEGitState(m_gitService, this);
    // Git meets the tabs, made further down, only when a command rewrites
    // files.
    NBEWorkspaceGitHost host;
    host.settleTabs = [this](const std::optional<QList<QUrl>> &files, bool saveEdits) {
        return m_saving->settleBeforeGit(files, saveEdits);
    };
    host.reloadTabs = [this](const NBEGitRewrittenTabs &tabs) {
        return m_saving->reloadRewritten(tabs);
    };
    m_workspaceGit = new NBEWorkspaceGit(
        m_gitService, *m_gitState, preferences(), activity,
        {m_environment.timings, m_environment.browserAuthHelper, m_environment.oauthAppFile},
        std::move(host), this);
    connect(m_workspaceGit, &NBEWorkspaceGit::failed, this,
            [this](const QString &message) { setErrorMessage(message); });
    m_history = new NBEWorkspaceHistory(m_gitService, *m_gitState, *m_workspaceGit, this);
    connect(m_history, &NBEWorkspaceHistory::failed, this,
            [this](const QString &message) { setErrorMessage(message); });
    m_commit =
        new NBEWorkspaceCommit(m_gitService, *m_gitState, *m_workspaceGit, *m_environment.defaults,
                               preferences(), m_environment.aiBaseURL, this);
    connect(m_commit, &NBEWorkspaceCommit::failed, this,
            [this](const QString &message) { setErrorMessage(message); });
    m_diagnostics = new NBEDiagnosticsStore(this);
    m_htmlValidation =
        new NBEHTMLValidation(*m_diagnostics, m_environment.timings.validationDelay, this);
    m_tabs = new NBEWorkspaceTabs(m_fileService, m_environment.desktop, preferences(),
                                  *m_languageServers, *m_diagnostics, *m_htmlValidation, this);
    m_saving = new NBEWorkspaceSaving(*m_tabs, m_fileService, m_environment.desktop, preferences(),
                                      *m_languageServers, *m_gitState, m_environment.timings, this);
    connect(m_tabs, &NBEWorkspaceTabs::documentOpened, m_gitState,
            [this](NBEEditorDocument *document) { m_gitState->follow(*document); });
    connect(m_tabs, &NBEWorkspaceTabs::failed, this,
            [this](const QString &message) { setErrorMessage(message); });
    connect(m_tabs, &NBEWorkspaceTabs::noticed, this,
            [this](const QString &message) { setNotice(message); });
    connect(m_saving, &NBEWorkspaceSaving::failed, this,
            [this](const QString &message) { setErrorMessage(message); });
    connect(m_saving, &NBEWorkspaceSaving::noticed, this,
            [this](const QString &message) { setNotice(message); });
    connect(m_languageServers, &NBEWorkspaceLanguageServers::diagnosticsPublished, m_diagnostics,
            &NBEDiagnosticsStore::set);
    m_navigation = new NBEWorkspaceNavigation(*m_tabs, this);
    m_files = new NBEWorkspaceFiles(m_fileService, *m_gitState, *m_tabs, *m_saving, *m_navigation,
                                    m_environment.desktop, activity,
                                    m_environment.timings.outsideChangeQuiet, this);
    connect(m_files, &NBEWorkspaceFiles::failed, this,
            [this](const QString &message) { setErrorMessage(message); });
    connect(m_files, &NBEWorkspaceFiles::noticed, this,
            [this](const QString &message) { setNotice(message); });
    m_workingTree =
        new NBEWorkspaceWorkingTree(m_gitService, *m_gitState, m_fileService, m_environment.desktop,
                                    *m_tabs, *m_saving, *m_navigation, *m_files, this);
    connect(m_workingTree, &NBEWorkspaceWorkingTree::failed, this,
            [this](const QString &message) { setErrorMessage(message); });
}

// Releasing the view model stops no server: only closing the workspace does.
NBEWorkspaceViewModel::~NBEWorkspaceViewModel() = default;

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

void NBEWorkspaceViewModel::setNotice(const std::optional<QString> &message)
{
    if (m_notice == message)
        return;
    m_notice = message;
    Q_EMIT noticeChanged();
}

void NBEWorkspaceViewModel::clearNotice()
{
    setNotice(std::nullopt);
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

    nbeWhenFinished(
        m_fileService.buildFileTree(folder), this,
        [this, folder, promise](NBEResult<NBEFileTreeNode> tree) {
            if (!tree) {
                // Files queued for this window stay queued: nothing takes them
                // without a workspace of their root.
                setErrorMessage(tr("Failed to open folder: ") + tree.error().description);
                NBELog::app().error("Failed to open workspace: %s", tree.error().description);
                m_gitState->setLoading(false);
                promise->finish();
                return;
            }
            m_files->open(folder, std::move(*tree));
            shutdownLSP();
            m_languageServers->start(folder);
            NBERecentProjects::record(folder, *m_environment.defaults);
            setRecentProjects(NBERecentProjects::load(*m_environment.defaults));
            nbeWhenFinished(m_gitState->refresh(), this, [this, folder, promise] {
                m_workspaceGit->startAutoFetch();
                m_files->startFollowingOutsideChanges();
                m_commit->loadCommitDraft();
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
        // A check still pending would list a closed folder's files again.
        m_htmlValidation->dropAll();
        m_files->close();
        setErrorMessage(std::nullopt);
        setNotice(std::nullopt);
    });
}

void NBEWorkspaceViewModel::clearRecentProjects()
{
    NBERecentProjects::clear(*m_environment.defaults);
    setRecentProjects({});
}
