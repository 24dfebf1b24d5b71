// Committing, the per-repository draft of the commit box, and messages
// written by the AI service.
#include "NBEWorkspaceViewModel.h"

#include "NBEWhenFinished.h"

#include "NBEAIConfig.h"
#include "NBECommitDrafts.h"
#include "NBEKeychain.h"

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

} // namespace

void NBEWorkspaceViewModel::setGeneratingCommitMessage(bool generating)
{
    if (m_isGeneratingCommitMessage == generating)
        return;
    m_isGeneratingCommitMessage = generating;
    Q_EMIT isGeneratingCommitMessageChanged();
}

NBEAnthropicService &NBEWorkspaceViewModel::anthropicService()
{
    if (!m_anthropicService) {
        m_anthropicService = std::make_unique<NBEAnthropicService>(
            m_environment.aiBaseURL.isEmpty() ? NBEAnthropicService::defaultBaseURL()
                                              : m_environment.aiBaseURL);
    }
    return *m_anthropicService;
}

QFuture<bool> NBEWorkspaceViewModel::commit(bool amend)
{
    const QString typed = m_commitMessage;
    const QString message = typed.trimmed();
    if (!git().root || message.isEmpty())
        return QtFuture::makeReadyFuture(false);
    const QUrl root = *git().root;
    const QString branch = git().branch.value_or(QStringLiteral("HEAD"));
    const std::optional<NBEGitMergeState> shownMerge = git().merge;

    auto promise = std::make_shared<QPromise<bool>>();
    promise->start();
    QFuture<bool> done = promise->future();
    auto finish = [this, promise](bool committed) {
        nbeWhenFinished(refreshGitStatus(), this, [promise, committed] {
            promise->addResult(committed);
            promise->finish();
        });
    };
    auto committed = [this, typed, root, amend, branch, shownMerge, finish](bool ok) {
        if (ok) {
            // Whatever was typed while git ran is a new message: keep it.
            if (m_commitMessage == typed) {
                setCommitMessage(QString());
                NBECommitDrafts::save(QString(), root, defaults());
            }
            flashSyncStatus(shownMerge ? QStringLiteral("Merged ") + shownMerge->name +
                                             QStringLiteral(" into ") + branch
                            : amend ? QStringLiteral("Amended last commit")
                                    : QStringLiteral("Committed to ") + branch);
        } else if (shownMerge && hasConflicts()) {
            setErrorMessage(
                QStringLiteral("Commit failed — resolve the conflicts and stage the files first."));
        } else {
            setErrorMessage(
                QStringLiteral("Commit failed — stage some changes first, and make sure "
                               "git user.name / user.email are set."));
        }
        finish(ok);
    };
    // git makes any commit during a merge the merge commit, and can't amend
    // then: a merge the box didn't announce stops the commit so it can.
    nbeWhenFinished(m_gitService.mergeState(root), this,
                    [this, message, amend, root, shownMerge, committed,
                     finish](const std::optional<NBEGitMergeState> &merge) {
                        const bool asShown = merge.has_value() == shownMerge.has_value() &&
                                             (!merge || merge->head == shownMerge->head);
                        if (!asShown || (merge && amend)) {
                            setErrorMessage(
                                merge ? QStringLiteral("A merge of %1 is in progress, so this "
                                                       "commit would conclude it. Check the "
                                                       "message and commit again.")
                                            .arg(merge->name)
                                      : QStringLiteral("The merge was concluded or aborted "
                                                       "meanwhile. Check the message and commit "
                                                       "again."));
                            finish(false);
                            return;
                        }
                        nbeWhenFinished(m_gitService.commit(message, amend, root), this, committed);
                    });
    return done;
}

QFuture<std::optional<QString>> NBEWorkspaceViewModel::lastCommitMessage()
{
    if (!git().root)
        return QtFuture::makeReadyFuture(std::optional<QString>());
    return m_gitService.lastCommitMessage(*git().root);
}

void NBEWorkspaceViewModel::persistCommitDraft()
{
    if (!git().root)
        return;
    NBECommitDrafts::save(m_commitMessage, *git().root, defaults());
}

void NBEWorkspaceViewModel::loadCommitDraft()
{
    if (!git().root)
        return;
    const QString draft = NBECommitDrafts::load(*git().root, defaults());
    // A merge in progress offers git's message when there is no draft.
    setCommitMessage(draft.isEmpty() && git().merge ? git().merge->message : draft);
}

QFuture<bool> NBEWorkspaceViewModel::isAIConfigured() const
{
    return NBEAIConfig::isConfigured(defaults());
}

QString NBEWorkspaceViewModel::fileChangeSummary(const QUrl &root) const
{
    QString prefix = root.toLocalFile();
    if (!prefix.endsWith(u'/'))
        prefix += u'/';
    QStringList lines;
    const QList<NBEGitFileChange> changes = changedFiles().mid(0, summaryLimit);
    for (const NBEGitFileChange &change : changes) {
        QString path = change.url.toLocalFile();
        if (path.startsWith(prefix))
            path = path.mid(prefix.size());
        lines.append(summaryLetter(change.overallStatus()) + QStringLiteral("  ") + path);
    }
    return lines.join(u'\n');
}

QString NBEWorkspaceViewModel::truncatedDiff(const QString &diff, int limit)
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

QFuture<void> NBEWorkspaceViewModel::generateCommitMessage()
{
    if (!git().root)
        return QtFuture::makeReadyFuture();
    if (!preferences().aiEnabled()) {
        setErrorMessage(
            QStringLiteral("AI features are turned off. Enable them in Settings → AI."));
        return QtFuture::makeReadyFuture();
    }
    const QUrl root = *git().root;
    auto promise = std::make_shared<QPromise<void>>();
    promise->start();
    QFuture<void> done = promise->future();
    nbeWhenFinished(NBEKeychain::get(NBEKeychainKey::anthropicAPIKey), this,
                    [this, root, promise](const std::optional<QString> &key) {
                        if (!key) {
                            setErrorMessage(QStringLiteral(
                                "Add your Anthropic API key in Settings → AI to generate "
                                "commit messages."));
                            promise->finish();
                            return;
                        }
                        requestCommitMessage(root, *key, promise);
                    });
    return done;
}

void NBEWorkspaceViewModel::requestCommitMessage(const QUrl &root, const QString &apiKey,
                                                 std::shared_ptr<QPromise<void>> promise)
{
    setGeneratingCommitMessage(true);
    auto ask = [this, root, apiKey, promise](const QString &diff) {
        nbeWhenFinished(
            m_gitService.log(root, subjectLimit), this,
            [this, root, apiKey, promise, diff](const QList<NBEGitCommit> &commits) {
                QStringList subjects;
                for (const NBEGitCommit &commit : commits)
                    subjects.append(commit.subject);
                const QFuture<NBEResult<QString>> answer = anthropicService().generateCommitMessage(
                    truncatedDiff(diff, diffLimit), fileChangeSummary(root), subjects,
                    preferences().aiModel(), apiKey);
                nbeWhenFinished(answer, this, [this, promise](const NBEResult<QString> &result) {
                    if (result) {
                        setCommitMessage(*result);
                        persistCommitDraft();
                    } else {
                        setErrorMessage(result.error().description);
                    }
                    setGeneratingCommitMessage(false);
                    promise->finish();
                });
            });
    };
    nbeWhenFinished(m_gitService.stagedDiff(root), this,
                    [this, root, ask](const std::optional<QString> &staged) {
                        if (staged && !staged->trimmed().isEmpty()) {
                            ask(*staged);
                            return;
                        }
                        nbeWhenFinished(m_gitService.workingDiff(root), this,
                                        [ask](const std::optional<QString> &working) {
                                            ask(working.value_or(QString()));
                                        });
                    });
}
