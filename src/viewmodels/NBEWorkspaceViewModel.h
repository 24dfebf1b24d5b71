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
    bool isLoading() const { return m_gitState->isLoading(); }
    const QList<QUrl> &recentProjects() const { return m_recentProjects; }
    const QString &commitMessage() const { return m_commit->commitMessage(); }
    void setCommitMessage(const QString &message) { m_commit->setCommitMessage(message); }
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
    // Closing asks about unsaved edits (Save / Don't Save / Cancel); the
    // future says whether the tabs were closed.
    QFuture<bool> closeTab(const QUuid &id);
    QFuture<bool> closeOtherTabs(const QUuid &keeping);
    QFuture<bool> closeAllTabs();
    // Asks about unsaved edits as closing every tab does, closing nothing;
    // false on Cancel or a failed save.
    QFuture<bool> settleUnsavedEdits();
    // The text of every tab with unsaved edits, as saving would write it.
    QList<NBEUnsavedText> unsavedTexts() const;
    void setActiveTab(const QUuid &id);
    void moveTab(int fromIndex, int toIndex);

    // --- Language servers
    void shutdownLSP();
    NBEWorkspaceLanguageServers &languageServers() const { return *m_languageServers; }
    // Whether a web language server is installed for the language id, looked
    // up once per folder load.
    bool hasWebLSP(const std::optional<QString> &languageID) const;
    // The characters the web server serving the file completes after.
    QString webCompletionTriggers(const QUrl &url) const;
    QFuture<std::optional<QList<NBELSPCompletionItem>>> webCompletion(const QUrl &url, int line,
                                                                      int character);
    QFuture<std::optional<QString>> webHover(const QUrl &url, int line, int character);
    QFuture<std::optional<QString>> webFormatting(const QUrl &url, const QString &text, int tabSize,
                                                  bool insertSpaces);

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
    // Saves one tab; an unforced save of an unchanged tab does nothing. The
    // future says whether the file was written.
    QFuture<bool> saveTab(const QUuid &id, bool force);
    // Writes the tab's text as it is (no formatting) and marks it saved. The
    // future says false when the write failed ("Failed to save: ..." is set
    // then) or the file changed on disk and the user didn't choose to
    // overwrite it; an unknown tab has nothing to write.
    QFuture<bool> flushTab(const QUuid &id);
    void autoSaveOnFocusChange();
    QString autoSaveMode() const;
    double autoSaveDelay() const;
    bool softTabsSetting() const;
    int tabSizeSetting() const;
    QString currentIndentUnit() const;

    // --- Diagnostics
    NBEDiagnosticsStore &diagnosticsStore() const { return *m_diagnostics; }
    const NBEDiagnosticsByFile &diagnostics() const { return m_diagnostics->all(); }
    QList<NBELSPDiagnostic> diagnostics(const QUrl &forFile) const
    {
        return m_diagnostics->forFile(forFile);
    }
    NBEDiagnosticSummary diagnosticSummary() const { return m_diagnostics->summary(); }
    // Says which languages' servers quit by themselves since the folder
    // opened, so their files go unchecked ("CSS checking stopped: …").
    std::optional<QString> checkingStoppedNotice() const;
    QList<NBEFileDiagnostic> allDiagnostics() const { return m_diagnostics->sorted(); }
    void scheduleHTMLValidation(const QUrl &url, const QString &content);
    // The same, reading the buffer's text only when the check runs.
    void scheduleHTMLValidation(const QUrl &url, const std::shared_ptr<NBETextBuffer> &buffer);

    // --- Git
    NBEGitState &gitState() const { return *m_gitState; }
    const std::optional<QUrl> &gitRoot() const { return git().root; }
    const std::optional<QString> &gitBranch() const { return git().branch; }
    const QStringList &gitBranches() const { return git().branches; }
    const QStringList &gitRemotes() const { return git().remotes; }
    int gitAhead() const { return git().ahead; }
    int gitBehind() const { return git().behind; }
    bool gitHasUpstream() const { return git().hasUpstream; }
    int gitUnpushed() const { return git().unpushed; }
    bool gitBrowserAuthConfigured() const { return git().browserAuthConfigured; }
    const std::optional<QString> &gitHeadSHA() const { return git().headSHA; }
    const QList<NBEGitFileChange> &gitChanges() const { return git().changes; }
    // Keyed by the changed file's cleaned absolute path.
    const QHash<QString, NBEGitStatus> &gitStatus() const { return git().status; }
    std::optional<NBEGitStatus> gitStatus(const QUrl &forFile) const
    {
        return m_gitState->status(forFile);
    }

    bool isGitRepository() const { return m_gitState->isRepository(); }
    // The folder loads until its first git answers are in (isLoadingChanged).
    bool isGitStateLoading() const { return m_gitState->isLoading(); }
    bool gitHasRemote() const { return !git().remotes.isEmpty(); }
    int gitCommitsToPush() const { return m_gitState->commitsToPush(); }
    bool gitNeedsPublish() const { return m_gitState->needsPublish(); }
    bool hasStagedChanges() const { return m_gitState->hasStagedChanges(); }
    // False while a merge is in progress: git can't amend then.
    bool canAmendSafely() const { return m_gitState->canAmendSafely(); }
    // A merge left in progress; the next commit concludes it.
    const std::optional<NBEGitMergeState> &gitMerge() const { return git().merge; }
    // Some path is still unmerged (git refuses to commit until none is).
    bool hasConflicts() const { return m_gitState->hasConflicts(); }
    // The changes ordered by file name, case-insensitively; stable.
    QList<NBEGitFileChange> changedFiles() const { return m_gitState->changedFiles(); }

    // Rebuilds the git snapshot; the future ends once it is stored.
    QFuture<void> refreshGitStatus();
    // The file's text at HEAD, for the editor's change markers.
    QFuture<std::optional<QString>> headContent(const QUrl &forFile);
    void initGitRepository();
    void loadCommitDraft() { m_commit->loadCommitDraft(); }

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

    // --- Remote and sync
Q_SIGNALS:
    void isSyncingChanged();
    void syncStatusChanged();

public:
    // True while a pull or push runs; further pulls and pushes do nothing
    // meanwhile.
    NBEWorkspaceGit &workspaceGit() const { return *m_workspaceGit; }
    bool isSyncing() const { return m_workspaceGit->isSyncing(); }
    // The short-lived text confirming a commit, branch, remote, pull or push;
    // it goes away after a few seconds unless a newer one replaced it.
    const std::optional<QString> &syncStatus() const { return m_workspaceGit->syncStatus(); }
    // The URL of origin (to prefill the Set Remote URL sheet); nothing outside
    // a repository or without an origin.
    QFuture<std::optional<QString>> currentOriginURL();
    // Points origin at `url` (adding it when missing) and, when no browser
    // sign-in helper is configured yet, prepares the repository for one.
    // Every operation here starts at once and ends after the git state was
    // refreshed, or at once when there is nothing to do.
    QFuture<void> setOriginRemote(const QString &url);
    // The browser sign-in helper program, when it is installed and executable.
    std::optional<QUrl> bundledOAuthHelperURL() const;
    bool canSetUpBrowserSignIn() const;
    // Registers the browser sign-in helper for this repository, or for the
    // user's global git configuration.
    QFuture<void> setUpBrowserSignIn(bool global);
    // Fast-forward only. Success flashes a status text, failure sets
    // `errorMessage`.
    QFuture<void> pull();
    // Publishes the branch with an upstream on its first push.
    QFuture<void> push();

    // --- Branches
    // The branch whose plain delete git refused as not fully merged; the
    // branch menu asks whether to force it and then clears this.
    const std::optional<QString> &branchPendingForceDelete() const
    {
        return m_workspaceGit->branchPendingForceDelete();
    }
    void setBranchPendingForceDelete(const std::optional<QString> &name);
    // Each ends once the git state was refreshed: success flashes a status
    // text, failure lands in `errorMessage`. Nothing happens outside a
    // repository, and switch, delete and merge do nothing for the current
    // branch. Before a switch or merge rewrites files, unsaved edits in tabs
    // are asked about (Cancel does nothing, Save writes them first); tabs
    // show the files' new text afterwards.
    QFuture<void> switchBranch(const QString &name);
    // Surrounding whitespace is dropped; a name with a space is refused with
    // a dashed suggestion.
    QFuture<void> createBranch(const QString &name);
    // A plain delete that git refuses as unmerged sets
    // `branchPendingForceDelete` instead of an error.
    QFuture<void> deleteBranch(const QString &name, bool force);
    QFuture<void> mergeBranch(const QString &name);

Q_SIGNALS:
    void branchPendingForceDeleteChanged();

public:
    // --- History
    NBEWorkspaceHistory &history() const { return *m_history; }
    const QList<NBEGitCommit> &gitHistory() const { return m_history->gitHistory(); }
    QFuture<void> loadHistory() { return m_history->loadHistory(); }
    QFuture<QList<NBEGitDiffLine>> commitDiff(const QString &sha)
    {
        return m_history->commitDiff(sha);
    }
    QFuture<QStringList> changedFilesFor(const NBEGitCommit &commit)
    {
        return m_history->changedFilesFor(commit);
    }
    // Unsaved edits in the file's tab are asked about first (Cancel restores
    // nothing, Save keeps the edits in the tab); a clean tab shows the
    // restored text.
    QFuture<void> restoreFile(const QString &path, const NBEGitCommit &from)
    {
        return m_history->restoreFile(path, from);
    }
    // Then reloads the commit's open files, the git state and the history.
    QFuture<void> revertCommit(const NBEGitCommit &commit)
    {
        return m_history->revertCommit(commit);
    }
    QFuture<bool> createTag(const QString &name, const NBEGitCommit &at, const QString &message)
    {
        return m_history->createTag(name, at, message);
    }
    QString suggestedTagName() const { return NBEWorkspaceHistory::suggestedTagName(); }

Q_SIGNALS:
    void gitHistoryChanged();

public:
    // --- Commit and generated messages
    NBEWorkspaceCommit &commitBox() const { return *m_commit; }
    bool isGeneratingCommitMessage() const { return m_commit->isGeneratingCommitMessage(); }
    bool canCommit(bool amend) const { return m_commit->canCommit(amend); }
    QFuture<bool> commit(bool amend) { return m_commit->commit(amend); }
    QFuture<std::optional<QString>> lastCommitMessage() { return m_commit->lastCommitMessage(); }
    QFuture<void> generateCommitMessage() { return m_commit->generateCommitMessage(); }
    void persistCommitDraft() { m_commit->persistCommitDraft(); }
    QFuture<bool> isAIConfigured() const { return m_commit->isAIConfigured(); }
    QString fileChangeSummary(const QUrl &root) const { return m_commit->fileChangeSummary(root); }
    static QString truncatedDiff(const QString &diff, int limit)
    {
        return NBEWorkspaceCommit::truncatedDiff(diff, limit);
    }

Q_SIGNALS:
    void isGeneratingCommitMessageChanged();

public:
    // --- Background fetch
    // "nbe.gitAutoFetch", read at every turn; on unless stored as false.
    bool isAutoFetchEnabled() const;

Q_SIGNALS:
    // The folder or its tree changed (see NBEWorkspaceFiles).
    void workspaceChanged();
    // The open tabs, their files, saved states or preview flags, or the
    // active tab changed.
    void tabsChanged();
    // One tab's text changed (every edit).
    void tabContentChanged(const QUuid &tabID);
    // One tab's edits paused: the moment to read its whole text (through
    // the buffer's snapshot, which every such reader shares).
    void tabContentSettled(const QUuid &tabID);
    // One tab's caret moved; also when it was reported again unmoved.
    void cursorPositionChanged(const QUuid &tabID);
    void errorMessageChanged();
    void isLoadingChanged();
    void recentProjectsChanged();
    void commitMessageChanged();
    // Also when the same target is asked for again.
    void revealTargetChanged();
    // diagnosticsStore() changed; also when a file's list is replaced by an
    // equal one.
    void diagnosticsChanged();
    void checkingStoppedChanged();
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
