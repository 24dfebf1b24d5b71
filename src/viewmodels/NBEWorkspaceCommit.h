#pragma once

#include "NBEAnthropicService.h"
#include "NBEGitService.h"
#include "NBEGitState.h"
#include "NBEWorkspaceGit.h"

#include <QFuture>
#include <QObject>
#include <QPromise>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

class NBEDefaults;
class NBEPreferences;

// Why the commit button is off; the reasons are in the order the button
// names them.
enum class NBECommitBlocker { none, conflicts, nothingStaged, committing, noMessage };

// What decides whether a commit can be made.
struct NBECommitReadiness
{
    bool hasMessage = false;
    bool amend = false;
    bool merging = false;
    bool conflicts = false;
    bool hasStagedChanges = false;
    bool committing = false;

    NBECommitBlocker blocker() const;
};

// The commit box of the repository: its message and per-repository draft,
// messages written by the AI service, and making the commit (or amending
// HEAD, or concluding a merge).
class NBEWorkspaceCommit : public QObject
{
    Q_OBJECT

public:
    // `aiBaseURL` empty: the AI service itself. A commit refreshes `state`
    // and is confirmed in `git`'s sync status.
    NBEWorkspaceCommit(NBEGitService &service, NBEGitState &state, NBEWorkspaceGit &git,
                       NBEDefaults &defaults, NBEPreferences &preferences, QUrl aiBaseURL,
                       QObject *parent = nullptr);
    ~NBEWorkspaceCommit() override;

    const QString &commitMessage() const { return m_commitMessage; }
    void setCommitMessage(const QString &message);
    bool isGeneratingCommitMessage() const { return m_isGeneratingCommitMessage; }
    // True from a commit's start until its refresh is done.
    bool isCommitting() const { return m_commitsRunning > 0; }

    // Why a commit (or an amend) can't be made now; none when it can.
    NBECommitBlocker commitBlocker(bool amend) const;
    bool canCommit(bool amend) const { return commitBlocker(amend) == NBECommitBlocker::none; }

    // Commits the staged changes with the trimmed message, or amends HEAD.
    // The future says whether git made the commit; it ends after the refresh.
    // Refused (false at once) while another commit runs.
    QFuture<bool> commit(bool amend);
    // True from a commit's start until git has made it (or refused it):
    // the refresh that follows can't undo the commit.
    bool canCancelCommit() const { return m_cancellable; }
    // Stops the running commit: git, its hooks and what they started. The
    // commit's future then says false, and nothing is reported as failed.
    // Does nothing once git is done.
    void cancelCommit();
    // HEAD's full message, trimmed; nothing outside a repository.
    QFuture<std::optional<QString>> lastCommitMessage();
    // Asks the AI service for a message describing the pending changes and
    // puts it in the box; a failure is reported.
    QFuture<void> generateCommitMessage();
    // Keeps the box's text as the repository's draft.
    void persistCommitDraft();
    // Fills the box with the repository's draft (or a merge's message).
    void loadCommitDraft();
    // AI features are on and a key is in the keyring.
    QFuture<bool> isAIConfigured() const;
    // One line per changed file ("M  path/below/root"), at most 50, by name.
    QString fileChangeSummary(const QUrl &root) const;
    // Cut to `limit` user-perceived characters, marked when it was cut.
    static QString truncatedDiff(const QString &diff, int limit);

Q_SIGNALS:
    void commitMessageChanged();
    void isGeneratingCommitMessageChanged();
    void isCommittingChanged();
    void canCancelCommitChanged();
    // A one-sentence failure for the window to show.
    void failed(const QString &message);

private:
    const NBEGitState::Snapshot &git() const { return m_state.snapshot(); }
    void setGeneratingCommitMessage(bool generating);
    // One more (+1) or one fewer (-1) commit running.
    void countCommit(int change);
    void setCancellable(bool cancellable);
    // Fills or clears the box as a merge begins or ends.
    void offerMergeMessage(const std::optional<NBEGitMergeState> &before);
    NBEAnthropicService &anthropicService();
    void requestCommitMessage(const QUrl &root, const QString &apiKey,
                              std::shared_ptr<QPromise<void>> promise);

    NBEGitService &m_service;
    NBEGitState &m_state;
    NBEWorkspaceGit &m_git;
    NBEDefaults &m_defaults;
    NBEPreferences &m_preferences;
    QUrl m_aiBaseURL;

    QString m_commitMessage;
    bool m_isGeneratingCommitMessage = false;
    // Commits running; the box is busy while any runs.
    int m_commitsRunning = 0;
    // The running commit was asked to stop.
    bool m_cancelAsked = false;
    // git hasn't yet made or refused the running commit.
    bool m_cancellable = false;
    std::unique_ptr<NBEAnthropicService> m_anthropicService;
};
