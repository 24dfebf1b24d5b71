// The working tree and the index: a file's diff, staging and unstaging files
// or gutter hunks, and discarding a file's changes.
#include "NBEWorkspaceViewModel.h"

#include "NBEWhenFinished.h"

#include "NBEDiffPatch.h"

#include <QPromise>

#include <functional>
#include <utility>

namespace {

// A future still to be answered, and the function that answers it.
std::pair<QFuture<bool>, std::function<void(bool)>> pendingAnswer()
{
    auto promise = std::make_shared<QPromise<bool>>();
    promise->start();
    return {promise->future(), [promise](bool answer) {
                promise->addResult(answer);
                promise->finish();
            }};
}

// What is said of a file whose name can't be spelled back to the disk.
QString unspellableName(const QString &action, const QUrl &file)
{
    return QStringLiteral("The editor can't %1 “%2”: its name isn't valid UTF-8; rename it in a "
                          "terminal.")
        .arg(action, file.fileName());
}

} // namespace

QFuture<QList<NBEGitDiffLine>> NBEWorkspaceViewModel::diff(const QUrl &file)
{
    if (!git().root)
        return QtFuture::makeReadyFuture(QList<NBEGitDiffLine>());
    // git would find nothing by the path and the view would say "No changes".
    if (NBEFileService::isUnspellable(file.toLocalFile())) {
        NBEGitDiffLine said;
        said.kind = NBEGitDiffLine::Kind::meta;
        said.text = unspellableName(QStringLiteral("show the changes of"), file);
        return QtFuture::makeReadyFuture(QList<NBEGitDiffLine>{said});
    }
    const bool untracked = gitStatus(file) == NBEGitStatus::untracked;
    // A big file's diff is read off the main thread as well.
    return m_gitService.diff(file, *git().root, untracked)
        .then(QtFuture::Launch::Async, &NBEGitDiff::parseOutput);
}

QFuture<void> NBEWorkspaceViewModel::refreshAfter(const QFuture<NBEGitResult> &command,
                                                  const QString &failure)
{
    auto promise = std::make_shared<QPromise<void>>();
    promise->start();
    QFuture<void> done = promise->future();
    nbeWhenFinished(command, this, [this, promise, failure](const NBEGitResult &result) {
        if (!result.ok)
            setErrorMessage(failure + NBEGitService::headline(result.error.value_or(QString())));
        nbeWhenFinished(refreshGitStatus(), this, [promise] { promise->finish(); });
    });
    return done;
}

QFuture<void> NBEWorkspaceViewModel::stage(const QUrl &file)
{
    if (!git().root)
        return QtFuture::makeReadyFuture();
    if (NBEFileService::isUnspellable(file.toLocalFile())) {
        setErrorMessage(unspellableName(QStringLiteral("stage"), file));
        return QtFuture::makeReadyFuture();
    }
    return refreshAfter(m_gitService.stage(file, *git().root),
                        QStringLiteral("Couldn't stage “%1”: ").arg(file.fileName()));
}

QFuture<void> NBEWorkspaceViewModel::unstage(const QUrl &file)
{
    if (!git().root)
        return QtFuture::makeReadyFuture();
    if (NBEFileService::isUnspellable(file.toLocalFile())) {
        setErrorMessage(unspellableName(QStringLiteral("unstage"), file));
        return QtFuture::makeReadyFuture();
    }
    return refreshAfter(m_gitService.unstage(file, *git().root),
                        QStringLiteral("Couldn't unstage “%1”: ").arg(file.fileName()));
}

QFuture<void> NBEWorkspaceViewModel::stageAllChanges()
{
    if (!git().root)
        return QtFuture::makeReadyFuture();
    return refreshAfter(m_gitService.stageAll(*git().root),
                        QStringLiteral("Couldn't stage the changes: "));
}

QFuture<void> NBEWorkspaceViewModel::unstageAllChanges()
{
    if (!git().root)
        return QtFuture::makeReadyFuture();
    return refreshAfter(m_gitService.unstageAll(*git().root),
                        QStringLiteral("Couldn't unstage the changes: "));
}

// --- Hunks

QFuture<bool> NBEWorkspaceViewModel::applyHunk(const NBEDiffHunk &hunk, const QUrl &fileURL,
                                               bool unstaging)
{
    if (!git().root)
        return QtFuture::makeReadyFuture(false);
    const QUrl root = *git().root;
    const QString nothingToMove = unstaging ? QStringLiteral("Failed to unstage this hunk.")
                                            : QStringLiteral("Failed to stage this hunk.");
    const auto [done, finish] = pendingAnswer();
    nbeWhenFinished(unstaging ? m_gitService.unstageHunk(hunk, fileURL, root)
                              : m_gitService.stageHunk(hunk, fileURL, root),
                    this, [this, nothingToMove, finish](const NBEGitResult &result) {
                        // Nothing of the hunk to move needs no sentence: the
                        // gutter treats false as nothing done.
                        const QString error = result.error.value_or(QString()).trimmed();
                        if (!result.ok && error != nothingToMove)
                            setErrorMessage(error.isEmpty() ? nothingToMove : error);
                        nbeWhenFinished(refreshGitStatus(), this,
                                        [finish, ok = result.ok] { finish(ok); });
                    });
    return done;
}

QFuture<bool> NBEWorkspaceViewModel::stageHunk(const NBEDiffHunk &hunk, const QUrl &fileURL)
{
    return applyHunk(hunk, fileURL, false);
}

QFuture<bool> NBEWorkspaceViewModel::unstageHunk(const NBEDiffHunk &hunk, const QUrl &fileURL)
{
    return applyHunk(hunk, fileURL, true);
}

QFuture<bool> NBEWorkspaceViewModel::isHunkStaged(const NBEDiffHunk &hunk, const QUrl &fileURL)
{
    if (!git().root)
        return QtFuture::makeReadyFuture(false);
    return m_gitService.hunkIsStaged(hunk, fileURL, *git().root);
}

// --- Discarding

QFuture<void> NBEWorkspaceViewModel::discardChanges(const QUrl &file)
{
    if (!git().root)
        return QtFuture::makeReadyFuture();
    if (NBEFileService::isUnspellable(file.toLocalFile())) {
        setErrorMessage(unspellableName(QStringLiteral("discard the changes of"), file));
        return QtFuture::makeReadyFuture();
    }
    const QUrl root = *git().root;
    const std::optional<NBEGitStatus> status = gitStatus(file);
    const NBEOpenTab *tab = firstTabShowing(file);
    if (!tab || !tab->sourceFile.isDirty())
        return discardNow(file, root, status, false);

    // The restored file would replace unsaved edits: the user decides.
    auto promise = std::make_shared<QPromise<void>>();
    promise->start();
    QFuture<void> done = promise->future();
    nbeWhenFinished(m_desktop->askToSaveChanges({tab->sourceFile.name()}), this,
                    [this, file, root, status, promise](NBEUnsavedChangesChoice choice) {
                        if (choice == NBEUnsavedChangesChoice::Cancel) {
                            promise->finish();
                            return;
                        }
                        nbeWhenFinished(
                            discardNow(file, root, status, choice == NBEUnsavedChangesChoice::Save),
                            this, [promise] { promise->finish(); });
                    });
    return done;
}

QFuture<NBEGitResult> NBEWorkspaceViewModel::restoreOrTrash(const QUrl &file,
                                                            const QUrl &repository,
                                                            std::optional<NBEGitStatus> status)
{
    if (status != NBEGitStatus::added)
        return m_gitService.discardChanges(file, repository, status == NBEGitStatus::untracked);
    // A file added since HEAD has no earlier text: restoring it from HEAD
    // would delete it for good. It leaves the index and goes to the trash,
    // as an untracked file does.
    auto promise = std::make_shared<QPromise<NBEGitResult>>();
    promise->start();
    QFuture<NBEGitResult> done = promise->future();
    const auto finish = [promise](const NBEGitResult &result) {
        promise->addResult(result);
        promise->finish();
    };
    nbeWhenFinished(m_gitService.unstage(file, repository), this,
                    [this, file, repository, finish](const NBEGitResult &unstaged) {
                        if (!unstaged.ok) {
                            finish(unstaged);
                            return;
                        }
                        nbeWhenFinished(m_gitService.discardChanges(file, repository, true), this,
                                        finish);
                    });
    return done;
}

QFuture<void> NBEWorkspaceViewModel::discardNow(const QUrl &file, const QUrl &repository,
                                                std::optional<NBEGitStatus> status, bool keepEdits)
{
    UntouchedTab untouched;
    if (const NBEOpenTab *tab = firstTabShowing(file); tab && !keepEdits)
        untouched = std::make_pair(tab->id, tab->sourceFile.content());

    auto promise = std::make_shared<QPromise<void>>();
    promise->start();
    QFuture<void> done = promise->future();
    auto finish = [this, promise] {
        setDiffTarget(std::nullopt);
        nbeWhenFinished(refreshFileTree(), this, [promise] { promise->finish(); });
    };
    nbeWhenFinished(
        restoreOrTrash(file, repository, status), this,
        [this, file, untouched, finish](const NBEGitResult &result) {
            if (!result.ok) {
                setErrorMessage(QStringLiteral("Couldn't discard changes to %1: %2")
                                    .arg(file.fileName(), NBEGitService::headline(
                                                              result.error.value_or(QString()))));
                finish();
                return;
            }
            if (!firstTabShowing(file)) {
                finish();
                return;
            }
            nbeWhenFinished(m_fileService.readFile(file), this,
                            [this, file, untouched, finish](const NBEResult<NBETextFile> &read) {
                                reloadAfterDiscard(file, read, untouched);
                                finish();
                            });
        });
    return done;
}
