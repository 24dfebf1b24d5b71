// History: the commit list, one commit's patch and files, restoring a file
// from a commit, reverting a commit and tagging one.
#include "NBEWorkspaceHistory.h"

#include "NBEWhenFinished.h"

#include <QCoreApplication>
#include <QDir>
#include <QPromise>

#include <memory>

namespace {

constexpr int historyLimit = 100;

// A repository-relative path as a file URL below the root.
QUrl fileInRepository(const QUrl &root, const QString &path)
{
    return QUrl::fromLocalFile(QDir(root.toLocalFile()).filePath(path));
}

} // namespace

NBEWorkspaceHistory::NBEWorkspaceHistory(NBEGitService &service, const NBEGitState &state,
                                         NBEWorkspaceGit &git, QObject *parent)
    : QObject(parent)
    , m_service(service)
    , m_state(state)
    , m_git(git)
{}

void NBEWorkspaceHistory::setGitHistory(const QList<NBEGitCommit> &history)
{
    if (m_gitHistory == history)
        return;
    m_gitHistory = history;
    Q_EMIT gitHistoryChanged();
}

QFuture<void> NBEWorkspaceHistory::loadHistory()
{
    if (!git().root) {
        setGitHistory({});
        return QtFuture::makeReadyFuture();
    }
    auto promise = std::make_shared<QPromise<void>>();
    promise->start();
    QFuture<void> done = promise->future();
    nbeWhenFinished(m_service.history().log(*git().root, historyLimit), this,
                    [this, promise](const QList<NBEGitCommit> &history) {
                        setGitHistory(history);
                        promise->finish();
                    });
    return done;
}

QFuture<QList<NBEGitDiffLine>> NBEWorkspaceHistory::commitDiff(const QString &sha)
{
    if (!git().root)
        return QtFuture::makeReadyFuture(QList<NBEGitDiffLine>());
    // A big commit's patch is parsed off the main thread.
    return m_service.history()
        .commitDiff(sha, *git().root)
        .then(QtFuture::Launch::Async, &NBEGitDiff::parseOutput);
}

QFuture<QStringList> NBEWorkspaceHistory::changedFilesFor(const NBEGitCommit &commit)
{
    if (!git().root)
        return QtFuture::makeReadyFuture(QStringList());
    return m_service.history().changedFiles(commit.sha, *git().root);
}

QFuture<void> NBEWorkspaceHistory::restoreFile(const QString &path, const NBEGitCommit &from)
{
    if (!git().root)
        return QtFuture::makeReadyFuture();
    const QList<QUrl> files{fileInRepository(*git().root, path)};
    return m_git.rewriteFiles(files, false, [this, path, from](const QUrl &root, auto changed) {
        nbeWhenFinished(m_service.history().restoreFile(path, from.sha, root), this,
                        [this, path, from, changed](bool ok) {
                            if (!ok)
                                Q_EMIT failed(tr("Couldn't restore ") + path + tr(" to ") +
                                              from.shortSHA + u'.');
                            changed(ok);
                        });
    });
}

QFuture<void> NBEWorkspaceHistory::revertCommit(const NBEGitCommit &commit)
{
    if (!git().root)
        return QtFuture::makeReadyFuture();
    const QUrl root = *git().root;
    auto promise = std::make_shared<QPromise<void>>();
    promise->start();
    QFuture<void> done = promise->future();
    // The commit's files are known first, so their unsaved edits can be
    // asked about before git rewrites them.
    nbeWhenFinished(m_service.history().changedFiles(commit.sha, root), this,
                    [this, commit, root, promise](const QStringList &paths) {
                        QList<QUrl> files;
                        for (const QString &path : paths)
                            files.append(fileInRepository(root, path));
                        nbeWhenFinished(
                            m_git.rewriteFiles(files, true,
                                               [this, commit](const QUrl &root, auto changed) {
                                                   revertNow(commit, root, changed);
                                               }),
                            this, [this, promise] {
                                nbeWhenFinished(loadHistory(), this,
                                                [promise] { promise->finish(); });
                            });
                    });
    return done;
}

void NBEWorkspaceHistory::revertNow(const NBEGitCommit &commit, const QUrl &root,
                                    const std::function<void(bool)> &changed)
{
    nbeWhenFinished(m_service.history().revertCommit(commit.sha, root), this,
                    [this, changed](const NBEGitResult &result) {
                        if (!result.ok) {
                            const QString error = result.error.value_or(QString()).trimmed();
                            Q_EMIT failed(error.isEmpty() ? tr("Revert failed \u2014 commit or "
                                                               "stash your changes first, or "
                                                               "resolve a conflict in a "
                                                               "terminal.")
                                                          : tr("Revert failed: ") + error);
                        }
                        // A revert that stopped on a conflict has rewritten files too.
                        changed(true);
                    });
}

QFuture<bool> NBEWorkspaceHistory::createTag(const QString &name, const NBEGitCommit &at,
                                             const QString &message)
{
    // Spaces and tabs only: a line break stays for git to refuse.
    qsizetype start = 0;
    qsizetype end = name.size();
    auto blank = [](QChar c) { return c == u' ' || c == u'\t'; };
    while (start < end && blank(name[start]))
        ++start;
    while (end > start && blank(name[end - 1]))
        --end;
    const QString trimmed = name.mid(start, end - start);
    if (!git().root || trimmed.isEmpty())
        return QtFuture::makeReadyFuture(false);

    auto promise = std::make_shared<QPromise<bool>>();
    promise->start();
    QFuture<bool> done = promise->future();
    nbeWhenFinished(m_service.history().createTag(trimmed, at.sha, message, *git().root), this,
                    [this, trimmed, promise](const NBEGitResult &result) {
                        if (!result.ok) {
                            const QString error = result.error.value_or(QString()).trimmed();
                            Q_EMIT failed(error.isEmpty()
                                              ? tr("Couldn't create tag \u201C") + trimmed +
                                                    tr("\u201D \u2014 it may already "
                                                       "exist.")
                                              : tr("Couldn't create tag: ") + error);
                        }
                        promise->addResult(result.ok);
                        promise->finish();
                    });
    return done;
}

QString NBEWorkspaceHistory::suggestedTagName()
{
    const QString version = QCoreApplication::applicationVersion();
    return version.isEmpty() ? QStringLiteral("1.0.0") : version;
}
