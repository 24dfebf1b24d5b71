// The tab side of git commands that rewrite files: asking about unsaved edits
// first and showing the files as git left them; the branch operations
// themselves forward to the workspace's git owner.
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

} // namespace

void NBEWorkspaceViewModel::setBranchPendingForceDelete(const std::optional<QString> &name)
{
    m_workspaceGit->setBranchPendingForceDelete(name);
}

QFuture<void> NBEWorkspaceViewModel::switchBranch(const QString &name)
{
    return m_workspaceGit->switchBranch(name);
}

QFuture<void> NBEWorkspaceViewModel::createBranch(const QString &name)
{
    return m_workspaceGit->createBranch(name);
}

QFuture<void> NBEWorkspaceViewModel::deleteBranch(const QString &name, bool force)
{
    return m_workspaceGit->deleteBranch(name, force);
}

QFuture<void> NBEWorkspaceViewModel::mergeBranch(const QString &name)
{
    return m_workspaceGit->mergeBranch(name);
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
