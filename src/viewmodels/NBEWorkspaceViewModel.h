#pragma once

#include "NBEDefaults.h"
#include "NBEDiagnosticsStore.h"
#include "NBEFileService.h"
#include "NBEGitCommit.h"
#include "NBEGitDiff.h"
#include "NBEGitFileChange.h"
#include "NBEGitService.h"
#include "NBEGitState.h"
#include "NBEHTMLAction.h"
#include "NBEHTMLValidation.h"
#include "NBELSPCompletionItem.h"
#include "NBEMarkdownAction.h"
#include "NBEPreferences.h"
#include "NBERecoveredEdits.h"
#include "NBESymbol.h"
#include "NBEWorkspace.h"
#include "NBEWorkspaceCommit.h"
#include "NBEWorkspaceDesktop.h"
#include "NBEWorkspaceFiles.h"
#include "NBEWorkspaceGit.h"
#include "NBEWorkspaceHistory.h"
#include "NBEWorkspaceLanguageServers.h"
#include "NBEWorkspaceTabs.h"
#include "NBEWorkspaceTimings.h"
#include "NBEWorkspaceWorkingTree.h"

#include <QFuture>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QUuid>

#include <QPromise>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

class NBEApplicationActivity;

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

// The controller of one project window: the open folder, its tabs, the
// language servers, diagnostics and git state, and every operation on them.
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

    // --- State
    // The folder and its tree; the tabs are tabs()'s.
    const std::optional<NBEWorkspace> &workspace() const { return m_files->workspace(); }
    const std::optional<QString> &errorMessage() const { return m_errorMessage; }
    // The window calls this once it has shown the message.
    void clearErrorMessage();
    const QList<QUrl> &recentProjects() const { return m_recentProjects; }
    const std::optional<NBERevealTarget> &revealTarget() const
    {
        return m_workingTree->revealTarget();
    }
    // The editor takes the request and clears it.
    void clearRevealTarget() { m_workingTree->clearRevealTarget(); }

    bool hasWorkspace() const { return m_files->isOpen(); }
    NBEWorkspaceTabs &tabs() const { return *m_tabs; }
    // Diffs and reveal requests, staging and discarding.
    NBEWorkspaceWorkingTree &workingTree() const { return *m_workingTree; }
    NBEPreferences &preferences() const { return *m_environment.preferences; }
    // The folder, its tree and items, and outside changes to its files.
    NBEWorkspaceFiles &files() const { return *m_files; }
    // The active tab, if any.
    std::optional<NBEOpenTab> activeTab() const;
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
    // Activates the file's tab, or reads the file and opens it: as the single
    // preview tab (reused in place) or for good.
    QFuture<void> openFile(const QUrl &at, bool asPreview);
    // Opens for good the files the window opener holds for this workspace.
    void openPendingFiles(const QUrl &forRoot);
    void setActiveTab(const QUuid &id);

    // --- Language servers
    void shutdownLSP();
    NBEWorkspaceLanguageServers &languageServers() const { return *m_languageServers; }
    // Whether a web language server is installed for the language id, looked
    // up once per folder load.
    bool hasWebLSP(const std::optional<QString> &languageID) const;
    QFuture<std::optional<QList<NBELSPCompletionItem>>> webCompletion(const QUrl &url, int line,
                                                                      int character);
    QFuture<std::optional<QString>> webHover(const QUrl &url, int line, int character);

    // Asks the web server where the symbol at the active tab's caret is
    // defined and reveals that line.
    void jumpToDefinition();

    // --- Editing and saving
    // Edits reach the tab's buffer (NBEOpenTab::sourceFile.buffer) straight
    // from its editor and travel on from there as changes. This replaces the
    // whole text from outside (a formatter, a test); an equal text changes
    // nothing.
    void updateContent(const QString &content, const QUuid &forTab);
    void updateCursorPosition(int line, int column, const QUuid &forTab);
    // Writes the tab's text as it is (no formatting) and marks it saved. The
    // future says false when the write failed ("Failed to save: ..." is set
    // then) or the file changed on disk and the user didn't choose to
    // overwrite it; an unknown tab has nothing to write.
    QFuture<bool> flushTab(const QUuid &id);
    void autoSaveOnFocusChange();

    // --- Diagnostics
    NBEDiagnosticsStore &diagnosticsStore() const { return *m_diagnostics; }
    const NBEDiagnosticsByFile &diagnostics() const { return m_diagnostics->all(); }
    QList<NBELSPDiagnostic> diagnostics(const QUrl &forFile) const
    {
        return m_diagnostics->forFile(forFile);
    }

    // --- Git
    NBEGitState &gitState() const { return *m_gitState; }
    const std::optional<QUrl> &gitRoot() const { return git().root; }
    const std::optional<QString> &gitHeadSHA() const { return git().headSHA; }
    // Keyed by the changed file's cleaned absolute path.
    const QHash<QString, NBEGitStatus> &gitStatus() const { return git().status; }
    std::optional<NBEGitStatus> gitStatus(const QUrl &forFile) const
    {
        return m_gitState->status(forFile);
    }

    bool gitHasRemote() const { return !git().remotes.isEmpty(); }

    // Rebuilds the git snapshot; the future ends once it is stored.
    QFuture<void> refreshGitStatus();
    // The file's text at HEAD, for the editor's change markers.
    QFuture<std::optional<QString>> headContent(const QUrl &forFile);

    // --- Gutter hunks (see NBEWorkspaceWorkingTree)
    QFuture<bool> stageHunk(const NBEDiffHunk &hunk, const QUrl &fileURL)
    {
        return m_workingTree->stageHunk(hunk, fileURL);
    }
    QFuture<bool> unstageHunk(const NBEDiffHunk &hunk, const QUrl &fileURL)
    {
        return m_workingTree->unstageHunk(hunk, fileURL);
    }
    QFuture<bool> isHunkStaged(const NBEDiffHunk &hunk, const QUrl &fileURL)
    {
        return m_workingTree->isHunkStaged(hunk, fileURL);
    }

    // --- Menu commands
    // A Markdown tab showing its source (not its preview) is active.
    bool isEditingMarkdown() const;
    bool canPreviewActiveTab() const;
    bool canFormatActiveTab() const;

    // Each does nothing when its command does not apply to the active tab.
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

    // --- The git owners
    // Remote, sync and branches.
    NBEWorkspaceGit &workspaceGit() const { return *m_workspaceGit; }
    NBEWorkspaceHistory &history() const { return *m_history; }
    NBEWorkspaceCommit &commitBox() const { return *m_commit; }

Q_SIGNALS:
    // The folder or its tree changed (see NBEWorkspaceFiles).
    void workspaceChanged();
    // The open tabs, their files, saved states or preview flags, or the
    // active tab changed.
    void tabsChanged();
    void errorMessageChanged();
    void recentProjectsChanged();
    // Also when the same target is asked for again.
    void revealTargetChanged();
    // diagnosticsStore() changed; also when a file's list is replaced by an
    // equal one.
    void diagnosticsChanged();
    void gitStateChanged();
    // One-shot edits of a tab's text, announced once per request; the
    // editor of that tab applies them.
    void markdownEditRequested(const QUuid &tabID, NBEMarkdownAction action);
    void htmlEditRequested(const QUuid &tabID, NBEHTMLAction action);
    void formatRequested(const QUuid &tabID);

private:
    const NBEGitState::Snapshot &git() const { return m_gitState->snapshot(); }

    void setErrorMessage(const std::optional<QString> &message);
    void setRecentProjects(const QList<QUrl> &projects);
    void startLSPSession(const QUrl &rootURL);

    NBEDefaults &defaults() const { return *m_environment.defaults; }

    // --- Remote and sync
    using GitRewrittenTab = NBEGitRewrittenTab;
    using GitRewrittenTabs = NBEGitRewrittenTabs;
    void flashSyncStatus(const QString &text) { m_workspaceGit->flashSyncStatus(text); }

    // --- Branches
    using GitRewrite = NBEWorkspaceGit::Rewrite;
    QFuture<void> rewriteFiles(const std::optional<QList<QUrl>> &files, bool saveEdits,
                               const GitRewrite &command)
    {
        return m_workspaceGit->rewriteFiles(files, saveEdits, command);
    }

    // With the desktop, settings store and preferences filled in.
    NBEWorkspaceEnvironment m_environment;
    std::optional<QString> m_errorMessage;
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
    NBEWorkspaceWorkingTree *m_workingTree = nullptr;
    NBEWorkspaceFiles *m_files = nullptr;
};
