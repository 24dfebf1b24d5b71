#include "NBEWorkspaceWorkingTree.h"

#include "NBEWhenFinished.h"

#include "NBEDiffPatch.h"
#include "NBEWorkspaceDesktop.h"
#include "NBEWorkspaceFiles.h"
#include "NBEWorkspaceNavigation.h"
#include "NBEWorkspaceSaving.h"

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
    return NBEWorkspaceWorkingTree::tr(
               "The editor can't %1 “%2”: its name isn't valid UTF-8; rename it in a "
               "terminal.")
        .arg(action, file.fileName());
}

} // namespace

NBEWorkspaceWorkingTree::NBEWorkspaceWorkingTree(NBEGitService &git, NBEGitState &state,
                                                 NBEFileService &files,
                                                 std::shared_ptr<NBEWorkspaceDesktop> desktop,
                                                 NBEWorkspaceTabs &tabs, NBEWorkspaceSaving &saving,
                                                 NBEWorkspaceNavigation &navigation,
                                                 NBEWorkspaceFiles &folder, QObject *parent)
    : QObject(parent)
    , m_git(git)
    , m_state(state)
    , m_files(files)
    , m_desktop(std::move(desktop))
    , m_tabs(tabs)
    , m_saving(saving)
    , m_navigation(navigation)
    , m_folder(folder)
{}

QFuture<QList<NBEGitDiffLine>> NBEWorkspaceWorkingTree::diff(const QUrl &file)
{
    if (!git().root)
        return QtFuture::makeReadyFuture(QList<NBEGitDiffLine>());
    // git would find nothing by the path and the view would say "No changes".
    if (NBEFileService::isUnspellable(file.toLocalFile())) {
        NBEGitDiffLine said;
        said.kind = NBEGitDiffLine::Kind::meta;
        said.text = unspellableName(tr("show the changes of"), file);
        return QtFuture::makeReadyFuture(QList<NBEGitDiffLine>{said});
    }
    const bool untracked = m_state.status(file) == NBEGitStatus::untracked;
    // A big file's diff is read off the main thread as well. A diff git
    // couldn't read says why instead of looking like no changes.
    return m_git.index()
        .diff(file, *git().root, untracked)
        .then(QtFuture::Launch::Async, [](const NBEResult<QString> &output) {
            if (output)
                return NBEGitDiff::parseOutput(*output);
            NBEGitDiffLine said;
            said.kind = NBEGitDiffLine::Kind::meta;
            said.text = output.error().description;
            return QList<NBEGitDiffLine>{said};
        });
}

QFuture<void> NBEWorkspaceWorkingTree::refreshAfter(const QFuture<NBEGitResult> &command,
                                                    const QString &failure)
{
    auto promise = std::make_shared<QPromise<void>>();
    promise->start();
    QFuture<void> done = promise->future();
    nbeWhenFinished(command, this, [this, promise, failure](const NBEGitResult &result) {
        if (!result.ok)
            Q_EMIT failed(failure + NBEGitOutput::headline(result.error.value_or(QString())));
        nbeWhenFinished(m_state.refresh(), this, [promise] { promise->finish(); });
    });
    return done;
}

QFuture<void> NBEWorkspaceWorkingTree::stage(const QUrl &file)
{
    return changeIndex(file, tr("stage"),
                       [&](const QUrl &root) { return m_git.index().stage(file, root); });
}

QFuture<void> NBEWorkspaceWorkingTree::unstage(const QUrl &file)
{
    return changeIndex(file, tr("unstage"),
                       [&](const QUrl &root) { return m_git.index().unstage(file, root); });
}

QFuture<void> NBEWorkspaceWorkingTree::changeIndex(
    const QUrl &file, const QString &verb,
    const std::function<QFuture<NBEGitResult>(const QUrl &root)> &command)
{
    if (!git().root)
        return QtFuture::makeReadyFuture();
    if (NBEFileService::isUnspellable(file.toLocalFile())) {
        Q_EMIT failed(unspellableName(verb, file));
        return QtFuture::makeReadyFuture();
    }
    return refreshAfter(command(*git().root), tr("Couldn't %1 “%2”: ").arg(verb, file.fileName()));
}

QFuture<void> NBEWorkspaceWorkingTree::stageAllChanges()
{
    if (!git().root)
        return QtFuture::makeReadyFuture();
    return refreshAfter(m_git.index().stageAll(*git().root), tr("Couldn't stage the changes: "));
}

QFuture<void> NBEWorkspaceWorkingTree::unstageAllChanges()
{
    if (!git().root)
        return QtFuture::makeReadyFuture();
    return refreshAfter(m_git.index().unstageAll(*git().root),
                        tr("Couldn't unstage the changes: "));
}

// --- Hunks

QFuture<bool> NBEWorkspaceWorkingTree::applyHunk(const NBEDiffHunk &hunk, const QUrl &fileURL,
                                                 bool unstaging)
{
    if (!git().root)
        return QtFuture::makeReadyFuture(false);
    const QUrl root = *git().root;
    const QString nothingToMove =
        unstaging ? tr("Failed to unstage this hunk.") : tr("Failed to stage this hunk.");
    const auto [done, finish] = pendingAnswer();
    nbeWhenFinished(unstaging ? m_git.index().unstageHunk(hunk, fileURL, root)
                              : m_git.index().stageHunk(hunk, fileURL, root),
                    this, [this, nothingToMove, finish](const NBEGitResult &result) {
                        // Nothing of the hunk to move needs no sentence: the
                        // gutter treats false as nothing done.
                        const QString error = result.error.value_or(QString()).trimmed();
                        if (!result.ok && result.kind != NBEGitFailure::nothingToMove)
                            Q_EMIT failed(error.isEmpty() ? nothingToMove : error);
                        nbeWhenFinished(m_state.refresh(), this,
                                        [finish, ok = result.ok] { finish(ok); });
                    });
    return done;
}

QFuture<bool> NBEWorkspaceWorkingTree::stageHunk(const NBEDiffHunk &hunk, const QUrl &fileURL)
{
    return applyHunk(hunk, fileURL, false);
}

QFuture<bool> NBEWorkspaceWorkingTree::unstageHunk(const NBEDiffHunk &hunk, const QUrl &fileURL)
{
    return applyHunk(hunk, fileURL, true);
}

QFuture<bool> NBEWorkspaceWorkingTree::isHunkStaged(const NBEDiffHunk &hunk, const QUrl &fileURL)
{
    if (!git().root)
        return QtFuture::makeReadyFuture(false);
    return m_git.index().hunkIsStaged(hunk, fileURL, *git().root);
}

// --- Discarding

QFuture<void> NBEWorkspaceWorkingTree::discardChanges(const QUrl &file)
{
    if (!git().root)
        return QtFuture::makeReadyFuture();
    if (NBEFileService::isUnspellable(file.toLocalFile())) {
        Q_EMIT failed(unspellableName(tr("discard the changes of"), file));
        return QtFuture::makeReadyFuture();
    }
    const QUrl root = *git().root;
    const std::optional<NBEGitStatus> status = m_state.status(file);
    const NBEOpenTab *tab = m_tabs.firstShowing(file);
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

QFuture<NBEGitResult> NBEWorkspaceWorkingTree::restoreOrTrash(const QUrl &file,
                                                              const QUrl &repository,
                                                              std::optional<NBEGitStatus> status)
{
    if (status != NBEGitStatus::added && status != NBEGitStatus::renamed)
        return m_git.index().discardChanges(file, repository, status == NBEGitStatus::untracked);
    // A file added since HEAD has no earlier text: restoring it from HEAD
    // would delete it for good. It leaves the index and goes to the trash,
    // as an untracked file does. A renamed file's text goes the same way,
    // and the file it was renamed from comes back from HEAD.
    auto promise = std::make_shared<QPromise<NBEGitResult>>();
    promise->start();
    QFuture<NBEGitResult> done = promise->future();
    const auto finish = [promise](const NBEGitResult &result) {
        promise->addResult(result);
        promise->finish();
    };
    const auto trash = [this, file, repository](const std::function<void(NBEGitResult)> &then) {
        nbeWhenFinished(m_git.index().unstage(file, repository), this,
                        [this, file, repository, then](const NBEGitResult &unstaged) {
                            if (!unstaged.ok) {
                                then(unstaged);
                                return;
                            }
                            nbeWhenFinished(m_git.index().discardChanges(file, repository, true),
                                            this, then);
                        });
    };
    if (status == NBEGitStatus::added) {
        trash(finish);
        return done;
    }
    nbeWhenFinished(m_git.index().renameSource(file, repository), this,
                    [this, repository, trash, finish](const std::optional<QUrl> &source) {
                        trash([this, repository, source, finish](const NBEGitResult &trashed) {
                            if (!trashed.ok || !source) {
                                finish(trashed);
                                return;
                            }
                            nbeWhenFinished(
                                m_git.index().discardChanges(*source, repository, false), this,
                                finish);
                        });
                    });
    return done;
}

QFuture<void> NBEWorkspaceWorkingTree::discardNow(const QUrl &file, const QUrl &repository,
                                                  std::optional<NBEGitStatus> status,
                                                  bool keepEdits)
{
    NBEWorkspaceSaving::UntouchedTab untouched;
    if (const NBEOpenTab *tab = m_tabs.firstShowing(file); tab && !keepEdits)
        untouched = std::make_pair(tab->id, tab->sourceFile.content());

    auto promise = std::make_shared<QPromise<void>>();
    promise->start();
    QFuture<void> done = promise->future();
    auto finish = [this, promise] {
        m_navigation.setDiffTarget(std::nullopt);
        nbeWhenFinished(m_folder.refreshFileTree(), this, [promise] { promise->finish(); });
    };
    nbeWhenFinished(
        restoreOrTrash(file, repository, status), this,
        [this, file, untouched, finish](const NBEGitResult &result) {
            if (!result.ok) {
                Q_EMIT failed(tr("Couldn't discard changes to %1: %2")
                                  .arg(file.fileName(),
                                       NBEGitOutput::headline(result.error.value_or(QString()))));
                finish();
                return;
            }
            if (!m_tabs.firstShowing(file)) {
                finish();
                return;
            }
            nbeWhenFinished(m_files.readFile(file), this,
                            [this, file, untouched, finish](const NBEResult<NBETextFile> &read) {
                                m_saving.reloadAfterGit(file, read, untouched);
                                finish();
                            });
        });
    return done;
}
