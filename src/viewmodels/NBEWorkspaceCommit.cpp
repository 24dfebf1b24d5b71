// Committing, the per-repository draft of the commit box, and messages
// written by the AI service.
#include "NBEWorkspaceCommit.h"

#include "NBEWhenFinished.h"

#include "NBEAIConfig.h"
#include "NBECommitDrafts.h"
#include "NBEKeychain.h"
#include "NBEPreferences.h"

#include <QPromise>
#include <QTextBoundaryFinder>

namespace {

constexpr int diffLimit = 60000;
constexpr int summaryLimit = 50;
constexpr int subjectLimit = 8;

// The summary's own letters: untracked is "U" and conflicted "C", unlike
// git's short codes.
QChar summaryLetter(NBEGitStatus status)
{
    switch (status) {
    case NBEGitStatus::modified:
        return u'M';
    case NBEGitStatus::added:
        return u'A';
    case NBEGitStatus::untracked:
        return u'U';
    case NBEGitStatus::deleted:
        return u'D';
    case NBEGitStatus::renamed:
        return u'R';
    case NBEGitStatus::conflicted:
        return u'C';
    }
    return u'M';
}

// git says nothing when there is nothing to commit and explains a missing
// identity; any other text is a hook's (a project's linter, say) or a
// signing program's, and says why better than a guess.
bool isStoppedByHook(const NBEGitResult &result)
{
    const QString error = result.error.value_or(QString()).trimmed();
    if (error.isEmpty() || result.kind == NBEGitFailure::silent)
        return false;
    for (const QLatin1String identity :
         {QLatin1String("identity unknown"), QLatin1String("tell me who you are"),
          QLatin1String("ident name"), QLatin1String("auto-detect email")}) {
        if (error.contains(identity, Qt::CaseInsensitive))
            return false;
    }
    return true;
}

} // namespace

NBECommitBlocker NBECommitReadiness::blocker() const
{
    if (merging && conflicts)
        return NBECommitBlocker::conflicts;
    // A merge is concluded even when its result equals HEAD.
    if (!amend && !merging && !hasStagedChanges)
        return NBECommitBlocker::nothingStaged;
    if (committing)
        return NBECommitBlocker::committing;
    if (!hasMessage)
        return NBECommitBlocker::noMessage;
    return NBECommitBlocker::none;
}

NBEWorkspaceCommit::NBEWorkspaceCommit(NBEGitService &service, NBEGitState &state,
                                       NBEWorkspaceGit &git, NBEDefaults &defaults,
                                       NBEPreferences &preferences, QUrl aiBaseURL, QObject *parent)
    : QObject(parent)
    , m_service(service)
    , m_state(state)
    , m_git(git)
    , m_defaults(defaults)
    , m_preferences(preferences)
    , m_aiBaseURL(std::move(aiBaseURL))
{
    connect(&m_state, &NBEGitState::mergeChanged, this, &NBEWorkspaceCommit::offerMergeMessage);
}

NBEWorkspaceCommit::~NBEWorkspaceCommit() = default;

void NBEWorkspaceCommit::setCommitMessage(const QString &message)
{
    if (m_commitMessage == message)
        return;
    m_commitMessage = message;
    Q_EMIT commitMessageChanged();
}

void NBEWorkspaceCommit::offerMergeMessage(const std::optional<NBEGitMergeState> &before)
{
    // An empty box takes git's message for a new merge; the message of a
    // merge that ended elsewhere leaves with it. Typed text stays.
    const std::optional<NBEGitMergeState> &merge = git().merge;
    const QString typed = m_commitMessage.trimmed();
    if (merge && (typed.isEmpty() || (before && typed == before->message)))
        setCommitMessage(merge->message);
    else if (!merge && before && typed == before->message)
        setCommitMessage(QString());
}

NBECommitBlocker NBEWorkspaceCommit::commitBlocker(bool amend) const
{
    NBECommitReadiness readiness;
    readiness.hasMessage = !m_commitMessage.trimmed().isEmpty();
    readiness.amend = amend;
    readiness.merging = git().merge.has_value();
    readiness.conflicts = m_state.hasConflicts();
    readiness.hasStagedChanges = m_state.hasStagedChanges();
    readiness.committing = isCommitting();
    return readiness.blocker();
}

void NBEWorkspaceCommit::countCommit(int change)
{
    const bool was = isCommitting();
    m_commitsRunning += change;
    if (was != isCommitting())
        Q_EMIT isCommittingChanged();
}

void NBEWorkspaceCommit::setCancellable(bool cancellable)
{
    if (m_cancellable == cancellable)
        return;
    m_cancellable = cancellable;
    Q_EMIT canCancelCommitChanged();
}

void NBEWorkspaceCommit::setGeneratingCommitMessage(bool generating)
{
    if (m_isGeneratingCommitMessage == generating)
        return;
    m_isGeneratingCommitMessage = generating;
    Q_EMIT isGeneratingCommitMessageChanged();
}

NBEAnthropicService &NBEWorkspaceCommit::anthropicService()
{
    if (!m_anthropicService) {
        m_anthropicService = std::make_unique<NBEAnthropicService>(
            m_aiBaseURL.isEmpty() ? NBEAnthropicService::defaultBaseURL() : m_aiBaseURL);
    }
    return *m_anthropicService;
}

QFuture<bool> NBEWorkspaceCommit::commit(bool amend)
{
    const QString typed = m_commitMessage;
    const QString message = typed.trimmed();
    // A second commit (or amend) from a shortcut would commit whatever the
    // first one left staged, or amend it again.
    if (!git().root || message.isEmpty() || isCommitting())
        return QtFuture::makeReadyFuture(false);
    const QUrl root = *git().root;
    const QString branch = git().branch.value_or(QStringLiteral("HEAD"));
    const std::optional<NBEGitMergeState> shownMerge = git().merge;

    auto promise = std::make_shared<QPromise<bool>>();
    promise->start();
    QFuture<bool> done = promise->future();
    m_cancelAsked = false;
    setCancellable(true);
    countCommit(+1);
    auto finish = [this, promise](bool committed) {
        setCancellable(false);
        nbeWhenFinished(m_state.refresh(), this, [this, promise, committed] {
            countCommit(-1);
            promise->addResult(committed);
            promise->finish();
        });
    };
    auto committed = [this, typed, root, amend, branch, shownMerge,
                      finish](const NBEGitResult &result) {
        // What git did stands: the box is told before anything else.
        setCancellable(false);
        const bool ok = result.ok;
        if (result.cancelled) {
            m_git.flashSyncStatus(tr("Commit cancelled"));
        } else if (ok) {
            // Whatever was typed while git ran is a new message: keep it.
            if (m_commitMessage == typed) {
                setCommitMessage(QString());
                NBECommitDrafts::save(QString(), root, m_defaults);
            }
            m_git.flashSyncStatus(shownMerge ? tr("Merged %1 into %2").arg(shownMerge->name, branch)
                                  : amend    ? tr("Amended last commit")
                                             : tr("Committed to %1").arg(branch));
        } else if (NBEGitIndex::isLockedIndex(result)) {
            Q_EMIT failed(tr("Commit failed: %1").arg(NBEGitOutput::headline(*result.error)));
        } else if (shownMerge && m_state.hasConflicts()) {
            Q_EMIT failed(tr("Commit failed — resolve the conflicts and stage the files first."));
        } else if (isStoppedByHook(result)) {
            Q_EMIT failed(tr("Commit failed: %1").arg(NBEGitOutput::headline(*result.error)));
        } else {
            Q_EMIT failed(tr("Commit failed — stage some changes first, and make sure "
                             "git user.name / user.email are set."));
        }
        finish(ok);
    };
    // git makes any commit during a merge the merge commit, and can't amend
    // then: a merge the box didn't announce stops the commit so it can.
    nbeWhenFinished(m_service.history().mergeState(root), this,
                    [this, message, amend, root, shownMerge, committed,
                     finish](const std::optional<NBEGitMergeState> &merge) {
                        const bool asShown = merge.has_value() == shownMerge.has_value() &&
                                             (!merge || merge->head == shownMerge->head);
                        if (!asShown || (merge && amend)) {
                            Q_EMIT failed(merge ? tr("A merge of %1 is in progress, so this "
                                                     "commit would conclude it. Check the "
                                                     "message and commit again.")
                                                      .arg(merge->name)
                                                : tr("The merge was concluded or aborted "
                                                     "meanwhile. Check the message and commit "
                                                     "again."));
                            finish(false);
                            return;
                        }
                        if (m_cancelAsked) {
                            m_git.flashSyncStatus(tr("Commit cancelled"));
                            finish(false);
                            return;
                        }
                        nbeWhenFinished(m_service.history().commit(message, amend, root), this,
                                        committed);
                    });
    return done;
}

void NBEWorkspaceCommit::cancelCommit()
{
    if (!m_cancellable)
        return;
    m_cancelAsked = true;
    m_service.history().cancelCommits();
}

QFuture<std::optional<QString>> NBEWorkspaceCommit::lastCommitMessage()
{
    if (!git().root)
        return QtFuture::makeReadyFuture(std::optional<QString>());
    return m_service.history().lastCommitMessage(*git().root);
}

void NBEWorkspaceCommit::persistCommitDraft()
{
    if (!git().root)
        return;
    NBECommitDrafts::save(m_commitMessage, *git().root, m_defaults);
}

void NBEWorkspaceCommit::loadCommitDraft()
{
    if (!git().root)
        return;
    const QString draft = NBECommitDrafts::load(*git().root, m_defaults);
    // A merge in progress offers git's message when there is no draft.
    setCommitMessage(draft.isEmpty() && git().merge ? git().merge->message : draft);
}

QFuture<bool> NBEWorkspaceCommit::isAIConfigured() const
{
    return NBEAIConfig::isConfigured(m_defaults);
}

QString NBEWorkspaceCommit::fileChangeSummary(const QUrl &root) const
{
    QString prefix = root.toLocalFile();
    if (!prefix.endsWith(u'/'))
        prefix += u'/';
    QStringList lines;
    const QList<NBEGitFileChange> changes = m_state.changedFiles().mid(0, summaryLimit);
    for (const NBEGitFileChange &change : changes) {
        QString path = change.url.toLocalFile();
        if (path.startsWith(prefix))
            path = path.mid(prefix.size());
        lines.append(summaryLetter(change.overallStatus()) + QStringLiteral("  ") + path);
    }
    return lines.join(u'\n');
}

QString NBEWorkspaceCommit::truncatedDiff(const QString &diff, int limit)
{
    // A character is never shorter than one UTF-16 unit, so a short diff
    // needs no counting.
    if (diff.size() <= limit)
        return diff;
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, diff);
    qsizetype end = 0;
    for (int count = 0; count < limit; ++count) {
        end = graphemes.toNextBoundary();
        if (end < 0)
            return diff;
    }
    if (end >= diff.size())
        return diff;
    return diff.left(end) + QStringLiteral("\n\n[diff truncated]");
}

QFuture<void> NBEWorkspaceCommit::generateCommitMessage()
{
    if (!git().root)
        return QtFuture::makeReadyFuture();
    if (!m_preferences.aiEnabled()) {
        Q_EMIT failed(tr("AI features are turned off. Enable them in Settings → AI."));
        return QtFuture::makeReadyFuture();
    }
    const QUrl root = *git().root;
    auto promise = std::make_shared<QPromise<void>>();
    promise->start();
    QFuture<void> done = promise->future();
    nbeWhenFinished(NBEKeychain::get(NBEKeychainKey::anthropicAPIKey), this,
                    [this, root, promise](const std::optional<QString> &key) {
                        if (!key) {
                            Q_EMIT failed(
                                tr("Add your Anthropic API key in Settings → AI to generate "
                                   "commit messages."));
                            promise->finish();
                            return;
                        }
                        requestCommitMessage(root, *key, promise);
                    });
    return done;
}

void NBEWorkspaceCommit::requestCommitMessage(const QUrl &root, const QString &apiKey,
                                              std::shared_ptr<QPromise<void>> promise)
{
    setGeneratingCommitMessage(true);
    // What the box held when asked: a message typed while the service
    // wrote one is the user's own and stays.
    const QString asked = m_commitMessage;
    auto ask = [this, root, apiKey, promise, asked](const QString &diff) {
        nbeWhenFinished(
            m_service.history().log(root, subjectLimit), this,
            [this, root, apiKey, promise, diff, asked](const QList<NBEGitCommit> &commits) {
                QStringList subjects;
                for (const NBEGitCommit &commit : commits)
                    subjects.append(commit.subject);
                const QFuture<NBEResult<QString>> answer = anthropicService().generateCommitMessage(
                    truncatedDiff(diff, diffLimit), fileChangeSummary(root), subjects,
                    m_preferences.aiModel(), apiKey);
                nbeWhenFinished(
                    answer, this, [this, root, promise, asked](const NBEResult<QString> &result) {
                        // Another folder opened meanwhile has its own box and draft.
                        const bool sameBox = git().root == root && m_commitMessage == asked;
                        if (result && sameBox) {
                            setCommitMessage(*result);
                            persistCommitDraft();
                        } else if (!result) {
                            Q_EMIT failed(result.error().description);
                        }
                        setGeneratingCommitMessage(false);
                        promise->finish();
                    });
            });
    };
    nbeWhenFinished(m_service.index().stagedDiff(root), this,
                    [this, root, ask](const std::optional<QString> &staged) {
                        if (staged && !staged->trimmed().isEmpty()) {
                            ask(*staged);
                            return;
                        }
                        nbeWhenFinished(m_service.index().workingDiff(root), this,
                                        [ask](const std::optional<QString> &working) {
                                            ask(working.value_or(QString()));
                                        });
                    });
}
