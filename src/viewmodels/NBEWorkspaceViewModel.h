#pragma once

#include "NBEDefaults.h"
#include "NBEDiagnosticsStore.h"
#include "NBEFileService.h"
#include "NBEGitService.h"
#include "NBEGitState.h"
#include "NBEHTMLAction.h"
#include "NBEMarkdownAction.h"
#include "NBEPreferences.h"
#include "NBESymbol.h"
#include "NBEWorkspace.h"
#include "NBEWorkspaceCommit.h"
#include "NBEWorkspaceDesktop.h"
#include "NBEWorkspaceFiles.h"
#include "NBEWorkspaceGit.h"
#include "NBEWorkspaceHistory.h"
#include "NBEWorkspaceLanguageServers.h"
#include "NBEWorkspaceNavigation.h"
#include "NBEWorkspaceSaving.h"
#include "NBEWorkspaceTabs.h"
#include "NBEWorkspaceTimings.h"
#include "NBEWorkspaceWorkingTree.h"

#include <QFuture>
#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>
#include <optional>

class NBEApplicationActivity;
class NBEHTMLValidation;

// What a workspace view model takes from its surroundings. Everything left
// empty gets the program's own: no user to ask, the application's activity,
// the shared settings store, /usr/bin/git.
struct NBEWorkspaceEnvironment
{
    std::shared_ptr<NBEWorkspaceDesktop> desktop;
    NBEApplicationActivity *activity = nullptr;
    NBEDefaults *defaults = nullptr;
    // The typed "nbe." preferences; empty: ones over `defaults` (or the
    // shared ones when that is empty too).
    NBEPreferences *preferences = nullptr;
    NBEWorkspaceTimings timings;
    QUrl gitURL = QUrl::fromLocalFile(QStringLiteral("/usr/bin/git"));
    // How a web language server is found for a language id; empty: on disk.
    std::function<std::optional<NBEWebLSPLaunch>(const QString &languageID)> webServerLaunch;
    // The Swift server to run instead of the one a toolchain gives.
    std::optional<QString> swiftServerOverride;
    // The browser sign-in helper; empty: the one the system installs.
    QString browserAuthHelper;
    // The JSON file holding the OAuth application's "clientSecret"; empty:
    // NBEGitHubOAuth.json in the application's data folders.
    QString oauthAppFile;
    // Where commit messages are asked for; empty: the AI service itself.
    QUrl aiBaseURL;
};

// The controller of one project window. It makes and wires the owners of the
// folder, its tabs, the language servers, diagnostics and git state; views
// reach each owner directly. What stays here spans several of them: loading
// and closing, the window's error and recent projects, and the menu commands.
// Runs on the main thread without any widget; slow work runs elsewhere and
// comes back here before it touches state. Each property has a change signal,
// emitted only when the value really changed (the few that always announce
// say so).
class NBEWorkspaceViewModel : public QObject
{
    Q_OBJECT

public:
    explicit NBEWorkspaceViewModel(NBEWorkspaceEnvironment environment = {},
                                   QObject *parent = nullptr);
    ~NBEWorkspaceViewModel() override;

    // --- The owners: state and the operations on one owner live there.
    // The folder, its tree and items, and outside changes to its files.
    NBEWorkspaceFiles &files() const { return *m_files; }
    NBEWorkspaceTabs &tabs() const { return *m_tabs; }
    // Saving and auto-save, and files changed on disk.
    NBEWorkspaceSaving &saving() const { return *m_saving; }
    // Opening and activating tabs, the diff shown, reveal requests.
    NBEWorkspaceNavigation &navigation() const { return *m_navigation; }
    // Diffs, staging and discarding.
    NBEWorkspaceWorkingTree &workingTree() const { return *m_workingTree; }
    NBEWorkspaceLanguageServers &languageServers() const { return *m_languageServers; }
    NBEDiagnosticsStore &diagnosticsStore() const { return *m_diagnostics; }
    NBEGitState &gitState() const { return *m_gitState; }
    // Remote, sync and branches.
    NBEWorkspaceGit &workspaceGit() const { return *m_workspaceGit; }
    NBEWorkspaceHistory &history() const { return *m_history; }
    NBEWorkspaceCommit &commitBox() const { return *m_commit; }

    // --- State
    const std::optional<QString> &errorMessage() const { return m_errorMessage; }
    // The window calls this once it has shown the message.
    void clearErrorMessage();
    // What happened without a command (an automatic save that failed, a
    // file changed outside); the window shows it without taking the keys,
    // as it may come while the user types.
    const std::optional<QString> &notice() const { return m_notice; }
    void clearNotice();
    // A notice from outside the folder, such as the settings store's.
    void showNotice(const QString &message) { setNotice(message); }
    const QList<QUrl> &recentProjects() const { return m_recentProjects; }

    NBEPreferences &preferences() const { return *m_environment.preferences; }
    // The outline of the active tab's current text; empty without one.
    QList<NBESymbol> activeOutline() const;
    std::optional<NBEOpenTab> tab(const QUuid &id) const;

    // --- Loading and closing
    // Opens `folder` as this window's workspace; the future ends when the
    // load (with its git refresh) is done, also after a failure.
    QFuture<void> loadWorkspace(const QUrl &folder);
    // Stops the servers and forgets the workspace. Unsaved edits are asked
    // about first; the future says whether the workspace was closed.
    QFuture<bool> closeWorkspace();
    void clearRecentProjects();

    // --- Tabs
    // Opens for good the files the window opener holds for this workspace.
    void openPendingFiles(const QUrl &forRoot);

    // --- Language servers
    void shutdownLSP();

    // Asks the web server where the symbol at the active tab's caret is
    // defined and reveals that line.
    void jumpToDefinition();

    // --- Menu commands
    // A Markdown tab showing its source (not its preview) is active.
    bool isEditingMarkdown() const;
    bool canPreviewActiveTab() const;
    bool canFormatActiveTab() const;

    // Each does nothing when its command does not apply to the active tab.
    // The tabs' owner announces the edits; the tab's editor applies them.
    void requestMarkdownEdit(NBEMarkdownAction action);
    void requestHTMLEdit(NBEHTMLAction action);
    void requestFormatDocument();
    void toggleActivePreview();
    // Renders the active Markdown tab (unsaved edits included) as one HTML
    // page and writes it where the user chooses; other tabs do nothing. Ends
    // after the write, or at once.
    QFuture<void> exportActiveFileAsHTML();
    void saveActiveFile();
    void closeActiveTab();

Q_SIGNALS:
    void errorMessageChanged();
    void noticeChanged();
    void recentProjectsChanged();

private:
    void setErrorMessage(const std::optional<QString> &message);
    void setNotice(const std::optional<QString> &message);
    void setRecentProjects(const QList<QUrl> &projects);

    // With the desktop, settings store and preferences filled in.
    NBEWorkspaceEnvironment m_environment;
    std::optional<QString> m_errorMessage;
    std::optional<QString> m_notice;
    QList<QUrl> m_recentProjects;
    NBEFileService m_fileService;
    NBEGitService m_gitService;
    NBEGitState *m_gitState = nullptr;
    NBEWorkspaceGit *m_workspaceGit = nullptr;
    NBEWorkspaceHistory *m_history = nullptr;
    NBEWorkspaceCommit *m_commit = nullptr;

    NBEDiagnosticsStore *m_diagnostics = nullptr;
    NBEWorkspaceLanguageServers *m_languageServers = nullptr;

    NBEHTMLValidation *m_htmlValidation = nullptr;
    NBEWorkspaceTabs *m_tabs = nullptr;
    NBEWorkspaceSaving *m_saving = nullptr;
    NBEWorkspaceNavigation *m_navigation = nullptr;
    NBEWorkspaceWorkingTree *m_workingTree = nullptr;
    NBEWorkspaceFiles *m_files = nullptr;
};
