// Branches: switching, creating, deleting and merging, and the care for open
// tabs whose files a git command rewrites.
#include "NBEWorkspaceViewModel.h"

#include "NBEWhenFinished.h"

#include <QPromise>

#include <memory>

namespace {

std::shared_ptr<QPromise<void>> startedPromise()
{
    auto promise = std::make_shared<QPromise<void>>();
    promise->start();
    return promise;
}

// git takes a name that begins with "-" for an option.
bool isOptionLike(const QString &name)
{
    return name.startsWith(u'-');
}

QString optionLikeBranchName()
{
    return QStringLiteral("Branch names can't begin with \u201C-\u201D.");
}

// git's own error text, else the sentence written for the case.
QString errorText(const std::optional<QString> &error, const QString &fallback)
{
    const QString text = error.value_or(QString()).trimmed();
    return text.isEmpty() ? fallback : text;
}

} // namespace

void NBEWorkspaceViewModel::setBranchPendingForceDelete(const std::optional<QString> &name)
{
    if (m_branchPendingForceDelete == name)
        return;
    m_branchPendingForceDelete = name;
    Q_EMIT branchPendingForceDeleteChanged();
}

// --- Tabs under a git command

QFuture<std::optional<NBEWorkspaceViewModel::GitRewrittenTabs>>
NBEWorkspaceViewModel::settleTabsBeforeGit(const std::optional<QList<QUrl>> &files, bool saveEdits)
{
    using Answer = std::optional<GitRewrittenTabs>;
    QList<QUuid> ids;
    if (m_workspace) {
        if (files) {
            for (const QUrl &file : *files) {
                if (const NBEOpenTab *tab = firstTabShowing(file); tab && !ids.contains(tab->id))
                    ids.append(tab->id);
            }
        } else {
            for (const NBEOpenTab &tab : m_workspace->openTabs)
                ids.append(tab.id);
        }
    }
    // Read when git is about to run, so the texts are the ones it replaces.
    auto capture = [this, ids](bool replaceDirty) {
        GitRewrittenTabs tabs;
        for (const QUuid &id : ids) {
            const NBEOpenTab *tab = findTab(id);
            if (!tab)
                continue;
            const bool replace = replaceDirty || !tab->sourceFile.isDirty();
            tabs.append(
                {id, tab->sourceFile.url,
                 replace ? std::optional<QString>(tab->sourceFile.content()) : std::nullopt});
        }
        return tabs;
    };

    QStringList dirtyNames;
    QList<QUuid> dirtyIDs;
    for (const QUuid &id : std::as_const(ids)) {
        const NBEOpenTab *tab = findTab(id);
        if (tab->sourceFile.isDirty()) {
            dirtyNames.append(tab->sourceFile.name());
            dirtyIDs.append(id);
        }
    }
    if (dirtyIDs.isEmpty())
        return QtFuture::makeReadyFuture(Answer(capture(true)));

    auto promise = std::make_shared<QPromise<Answer>>();
    promise->start();
    QFuture<Answer> done = promise->future();
    auto answer = [promise](const Answer &tabs) {
        promise->addResult(tabs);
        promise->finish();
    };
    nbeWhenFinished(m_desktop->askToSaveChanges(dirtyNames), this,
                    [this, capture, dirtyIDs, saveEdits, answer](NBEUnsavedChangesChoice choice) {
                        if (choice == NBEUnsavedChangesChoice::Cancel) {
                            answer(std::nullopt);
                        } else if (choice == NBEUnsavedChangesChoice::DontSave) {
                            answer(capture(true));
                        } else if (!saveEdits) {
                            answer(capture(false));
                        } else {
                            // A failed write has said so; git must not run over the edits.
                            nbeWhenFinished(
                                saveDirtyTabs(dirtyIDs), this, [capture, answer](bool saved) {
                                    answer(saved ? Answer(capture(false)) : std::nullopt);
                                });
                        }
                    });
    return done;
}

QFuture<void> NBEWorkspaceViewModel::reloadRewrittenTabs(const GitRewrittenTabs &tabs)
{
    if (tabs.isEmpty())
        return QtFuture::makeReadyFuture();
    QList<QFuture<NBEResult<NBETextFile>>> reads;
    for (const GitRewrittenTab &tab : tabs)
        reads.append(m_fileService.readFile(tab.url));
    auto promise = startedPromise();
    QFuture<void> done = promise->future();
    nbeWhenFinished(QtFuture::whenAll(reads.begin(), reads.end()), this,
                    [this, tabs, promise](const QList<QFuture<NBEResult<NBETextFile>>> &results) {
                        for (qsizetype i = 0; i < tabs.size() && i < results.size(); ++i) {
                            if (results[i].resultCount() == 0)
                                continue;
                            const GitRewrittenTab &tab = tabs[i];
                            const NBEResult<NBETextFile> &read = results[i].result();
                            // A file git left as it was keeps its tab, undo history and all.
                            const NBEOpenTab *open = findTab(tab.id);
                            if (read && open && !open->sourceFile.isDirty() &&
                                open->sourceFile.content() == read->text)
                                continue;
                            UntouchedTab untouched;
                            if (tab.replaceable)
                                untouched = std::make_pair(tab.id, *tab.replaceable);
                            reloadAfterDiscard(tab.url, read, untouched);
                        }
                        promise->finish();
                    });
    return done;
}

QFuture<void> NBEWorkspaceViewModel::rewriteFiles(const std::optional<QList<QUrl>> &files,
                                                  bool saveEdits, const GitRewrite &command)
{
    const QUrl root = *git().root;
    auto promise = startedPromise();
    QFuture<void> done = promise->future();
    auto refreshed = [this, promise] {
        nbeWhenFinished(refreshGitStatus(), this, [promise] { promise->finish(); });
    };
    nbeWhenFinished(
        settleTabsBeforeGit(files, saveEdits), this,
        [this, root, command, promise, refreshed](const std::optional<GitRewrittenTabs> &tabs) {
            if (!tabs) {
                promise->finish();
                return;
            }
            command(root, [this, tabs, refreshed](bool changed) {
                if (changed)
                    nbeWhenFinished(reloadRewrittenTabs(*tabs), this, refreshed);
                else
                    refreshed();
            });
        });
    return done;
}

// --- Branch operations

QFuture<void> NBEWorkspaceViewModel::switchBranch(const QString &name)
{
    if (!git().root || git().branch == name)
        return QtFuture::makeReadyFuture();
    if (isOptionLike(name)) {
        setErrorMessage(optionLikeBranchName());
        return QtFuture::makeReadyFuture();
    }
    // Tabs still holding the old branch's text would write it over the new
    // branch's files on the next save.
    return rewriteFiles(std::nullopt, true, [this, name](const QUrl &root, auto changed) {
        nbeWhenFinished(
            m_gitService.switchBranch(name, root), this, [this, name, changed](bool ok) {
                if (ok)
                    flashSyncStatus(QStringLiteral("Switched to ") + name);
                else
                    setErrorMessage(QStringLiteral("Couldn't switch to ") + name +
                                    QStringLiteral(" \u2014 commit or stash your changes first."));
                changed(ok);
            });
    });
}

QFuture<void> NBEWorkspaceViewModel::createBranch(const QString &name)
{
    const QString trimmed = name.trimmed();
    if (!git().root || trimmed.isEmpty())
        return QtFuture::makeReadyFuture();
    if (trimmed.contains(u' ')) {
        QString suggestion = trimmed;
        suggestion.replace(u' ', u'-');
        setErrorMessage(QStringLiteral("Branch names can't contain spaces. Try \"") + suggestion +
                        QStringLiteral("\"."));
        return QtFuture::makeReadyFuture();
    }
    if (isOptionLike(trimmed)) {
        setErrorMessage(optionLikeBranchName());
        return QtFuture::makeReadyFuture();
    }
    auto promise = startedPromise();
    QFuture<void> done = promise->future();
    nbeWhenFinished(m_gitService.createBranch(trimmed, *git().root), this,
                    [this, trimmed, promise](const NBEGitResult &result) {
                        if (result.ok)
                            flashSyncStatus(QStringLiteral("Created branch ") + trimmed);
                        else
                            setErrorMessage(
                                errorText(result.error, QStringLiteral("Couldn't create branch ") +
                                                            trimmed + u'.'));
                        nbeWhenFinished(refreshGitStatus(), this, [promise] { promise->finish(); });
                    });
    return done;
}

QFuture<void> NBEWorkspaceViewModel::deleteBranch(const QString &name, bool force)
{
    if (!git().root || git().branch == name)
        return QtFuture::makeReadyFuture();
    if (isOptionLike(name)) {
        setErrorMessage(optionLikeBranchName());
        return QtFuture::makeReadyFuture();
    }
    auto promise = startedPromise();
    QFuture<void> done = promise->future();
    nbeWhenFinished(m_gitService.deleteBranch(name, force, *git().root), this,
                    [this, name, force, promise](const NBEGitResult &result) {
                        const QString error = result.error.value_or(QString());
                        if (result.ok)
                            flashSyncStatus(QStringLiteral("Deleted branch ") + name);
                        else if (!force && error.contains(QStringLiteral("not fully merged"),
                                                          Qt::CaseInsensitive))
                            setBranchPendingForceDelete(name);
                        else
                            setErrorMessage(errorText(
                                error, QStringLiteral("Couldn't delete branch ") + name + u'.'));
                        nbeWhenFinished(refreshGitStatus(), this, [promise] { promise->finish(); });
                    });
    return done;
}

QFuture<void> NBEWorkspaceViewModel::mergeBranch(const QString &name)
{
    if (!git().root || git().branch == name)
        return QtFuture::makeReadyFuture();
    if (isOptionLike(name)) {
        setErrorMessage(optionLikeBranchName());
        return QtFuture::makeReadyFuture();
    }
    const QString target = git().branch.value_or(QStringLiteral("current branch"));
    return rewriteFiles(std::nullopt, true, [this, name, target](const QUrl &root, auto changed) {
        nbeWhenFinished(
            m_gitService.merge(name, root), this,
            [this, name, target, changed](const NBEGitMergeResult &result) {
                if (result.ok)
                    flashSyncStatus(QStringLiteral("Merged ") + name + QStringLiteral(" into ") +
                                    target);
                else if (result.conflicts)
                    setErrorMessage(QStringLiteral("Merging ") + name +
                                    QStringLiteral(" hit conflicts. Resolve them in the terminal "
                                                   "(git status, edit the files, git add, git "
                                                   "commit), or run git merge --abort."));
                else
                    setErrorMessage(
                        errorText(result.error, QStringLiteral("Couldn't merge ") + name + u'.'));
                // Any other failure stopped git before it touched a file.
                changed(result.ok || result.conflicts);
            });
    });
}
