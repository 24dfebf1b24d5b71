// Tabs: opening files (the single preview tab and tabs for good), pending
// files from the window opener, activating, moving and closing.
#include "NBEWorkspaceViewModel.h"

#include "NBEWhenFinished.h"

#include "NBELanguageRegistry.h"
#include "NBELog.h"
#include "NBEOutline.h"
#include "NBEWindowOpener.h"

#include <QPromise>
#include <QTimer>

namespace {

bool sameFile(const QUrl &a, const QUrl &b)
{
    return NBEFileService::keyPath(a) == NBEFileService::keyPath(b);
}

} // namespace

NBEOpenTab *NBEWorkspaceViewModel::findTab(const QUuid &id)
{
    if (!m_workspace)
        return nullptr;
    for (NBEOpenTab &tab : m_workspace->openTabs) {
        if (tab.id == id)
            return &tab;
    }
    return nullptr;
}

const NBEOpenTab *NBEWorkspaceViewModel::findTab(const QUuid &id) const
{
    return const_cast<NBEWorkspaceViewModel *>(this)->findTab(id);
}

std::optional<NBEOpenTab> NBEWorkspaceViewModel::tab(const QUuid &id) const
{
    if (const NBEOpenTab *found = findTab(id))
        return *found;
    return std::nullopt;
}

std::optional<NBEOpenTab> NBEWorkspaceViewModel::activeTab() const
{
    if (!m_workspace || !m_workspace->activeTabID)
        return std::nullopt;
    return tab(*m_workspace->activeTabID);
}

QList<NBESymbol> NBEWorkspaceViewModel::activeOutline() const
{
    const std::optional<NBEOpenTab> tab = activeTab();
    if (!tab)
        return {};
    return NBEOutline::symbols(tab->sourceFile.snapshot(),
                               tab->language ? std::optional<QString>(tab->language->id)
                                             : std::nullopt);
}

QFuture<void> NBEWorkspaceViewModel::openFile(const QUrl &at, bool asPreview)
{
    if (!m_workspace)
        return QtFuture::makeReadyFuture();
    setDiffTarget(std::nullopt);
    setCommitDiffTarget(std::nullopt);

    for (const NBEOpenTab &existing : m_workspace->openTabs) {
        if (!sameFile(existing.sourceFile.url, at))
            continue;
        NBEWorkspace workspace = *m_workspace;
        workspace.activeTabID = existing.id;
        // A single click on a file open for good doesn't make it a preview.
        if (!asPreview) {
            for (NBEOpenTab &tab : workspace.openTabs) {
                if (tab.id == existing.id)
                    tab.isEphemeral = false;
            }
        }
        setWorkspace(workspace);
        return QtFuture::makeReadyFuture();
    }

    auto promise = std::make_shared<QPromise<void>>();
    promise->start();
    QFuture<void> done = promise->future();
    nbeWhenFinished(
        m_fileService.readFile(at), this,
        [this, at, asPreview, promise](NBEResult<NBETextFile> file) {
            if (!file) {
                setErrorMessage(QStringLiteral("Failed to read file: ") + file.error().description);
                NBELog::fileIO().error("Failed to read file: %s", file.error().description);
                promise->finish();
                return;
            }
            // Taking a large text into a document takes a while: off this
            // thread.
            nbeWhenFinished(NBETextBuffer::makeInBackground(file->text), this,
                            [this, at, asPreview, promise, text = file->text,
                             lineEnding = file->lineEnding,
                             stamp = file->stamp](const std::shared_ptr<NBETextBuffer> &buffer) {
                                NBESourceFile sourceFile(at, buffer, lineEnding);
                                sourceFile.diskStamp = stamp;
                                finishOpening(at, asPreview, sourceFile, text);
                                promise->finish();
                            });
        });
    return done;
}

void NBEWorkspaceViewModel::finishOpening(const QUrl &url, bool asPreview,
                                          const NBESourceFile &sourceFile, const QString &text)
{
    if (!m_workspace)
        return;
    NBEWorkspace workspace = *m_workspace;

    // Two requests for the same file that overlapped: the later one finds the
    // tab the earlier one added and only activates it.
    for (NBEOpenTab &existing : workspace.openTabs) {
        if (sameFile(existing.sourceFile.url, url)) {
            workspace.activeTabID = existing.id;
            if (!asPreview)
                existing.isEphemeral = false;
            setWorkspace(workspace);
            return;
        }
    }

    const std::optional<NBELanguage> language = NBELanguageRegistry::language(url);
    std::optional<QUrl> replaced;

    NBEOpenTab *preview = nullptr;
    if (asPreview) {
        for (NBEOpenTab &tab : workspace.openTabs) {
            if (tab.isEphemeral) {
                preview = &tab;
                break;
            }
        }
    }
    if (preview) {
        replaced = preview->sourceFile.url;
        preview->sourceFile = sourceFile;
        preview->language = language;
        preview->cursorPosition = NBECursorPosition{};
        workspace.activeTabID = preview->id;
    } else {
        NBEOpenTab tab(sourceFile, language, asPreview);
        workspace.openTabs.append(tab);
        workspace.activeTabID = tab.id;
    }
    setWorkspace(workspace);

    // The diagnostics and pending validation of the file the preview tab
    // showed stay; only its document closes.
    if (replaced)
        m_languageServers->didClose({*replaced});
    m_languageServers->didOpen(url, language, text);
    if (language && language->id == QLatin1String("html") && !hasWebLSP(language->id))
        scheduleHTMLValidation(url, sourceFile.buffer);
    NBELog::editor().info("Opened file: %s", url.fileName());
}

void NBEWorkspaceViewModel::openPendingFiles(const QUrl &forRoot)
{
    if (!m_workspace || !forRoot.isLocalFile() || !sameFile(m_workspace->rootURL, forRoot))
        return;
    for (const QUrl &file : NBEWindowOpener::shared().takePendingFiles(forRoot))
        openFile(file, false);
}

void NBEWorkspaceViewModel::setActiveTab(const QUuid &id)
{
    if (autoSaveMode() == QLatin1String("onFocusChange") && m_workspace &&
        m_workspace->activeTabID && *m_workspace->activeTabID != id) {
        saveTab(*m_workspace->activeTabID, false);
    }
    if (m_workspace) {
        NBEWorkspace workspace = *m_workspace;
        workspace.activeTabID = id;
        setWorkspace(workspace);
    }
    setDiffTarget(std::nullopt);
    setCommitDiffTarget(std::nullopt);
}

void NBEWorkspaceViewModel::moveTab(int fromIndex, int toIndex)
{
    if (!m_workspace)
        return;
    const int count = int(m_workspace->openTabs.size());
    if (fromIndex < 0 || fromIndex >= count || toIndex < 0 || toIndex >= count ||
        fromIndex == toIndex)
        return;
    NBEWorkspace workspace = *m_workspace;
    workspace.openTabs.move(fromIndex, toIndex);
    setWorkspace(workspace);
}

QFuture<bool> NBEWorkspaceViewModel::closeTab(const QUuid &id)
{
    return closeTabsAsking({id}, [this, id] {
        if (!m_workspace)
            return;
        NBEWorkspace workspace = *m_workspace;
        std::optional<QUrl> closed;
        for (const NBEOpenTab &tab : workspace.openTabs) {
            if (tab.id == id) {
                closed = tab.sourceFile.url;
                break;
            }
        }
        workspace.openTabs.removeIf([&](const NBEOpenTab &tab) { return tab.id == id; });
        // The rightmost remaining tab takes over, not a neighbour.
        if (workspace.activeTabID == id) {
            workspace.activeTabID = workspace.openTabs.isEmpty()
                                        ? std::nullopt
                                        : std::optional<QUuid>(workspace.openTabs.last().id);
        }
        setWorkspace(workspace);
        if (!closed)
            return;
        m_diagnostics->remove(*closed);
        m_htmlValidation->drop(*closed);
        m_languageServers->didClose({*closed});
    });
}

QFuture<bool> NBEWorkspaceViewModel::closeOtherTabs(const QUuid &keeping)
{
    QList<QUuid> ids;
    if (m_workspace) {
        for (const NBEOpenTab &tab : m_workspace->openTabs) {
            if (tab.id != keeping)
                ids.append(tab.id);
        }
    }
    return closeTabsAsking(ids, [this, keeping] {
        if (!m_workspace)
            return;
        NBEWorkspace workspace = *m_workspace;
        QList<QUrl> closed;
        for (const NBEOpenTab &tab : workspace.openTabs) {
            if (tab.id != keeping)
                closed.append(tab.sourceFile.url);
        }
        workspace.openTabs.removeIf([&](const NBEOpenTab &tab) { return tab.id != keeping; });
        workspace.activeTabID = keeping;
        setWorkspace(workspace);
        m_languageServers->didClose(closed);
    });
}

QFuture<bool> NBEWorkspaceViewModel::closeAllTabs()
{
    QList<QUuid> ids;
    if (m_workspace) {
        for (const NBEOpenTab &tab : m_workspace->openTabs)
            ids.append(tab.id);
    }
    return closeTabsAsking(ids, [this] {
        if (!m_workspace)
            return;
        NBEWorkspace workspace = *m_workspace;
        QList<QUrl> closed;
        for (const NBEOpenTab &tab : workspace.openTabs)
            closed.append(tab.sourceFile.url);
        workspace.openTabs.clear();
        workspace.activeTabID = std::nullopt;
        setWorkspace(workspace);
        m_languageServers->didClose(closed);
    });
}

QFuture<bool> NBEWorkspaceViewModel::closeTabsAsking(const QList<QUuid> &ids,
                                                     std::function<void()> close)
{
    QList<QUuid> dirty;
    QStringList names;
    for (const QUuid &id : ids) {
        const NBEOpenTab *tab = findTab(id);
        if (tab && tab->sourceFile.isDirty() && !dirty.contains(id)) {
            dirty.append(id);
            names.append(tab->sourceFile.name());
        }
    }
    if (dirty.isEmpty()) {
        close();
        return QtFuture::makeReadyFuture(true);
    }

    auto promise = std::make_shared<QPromise<bool>>();
    promise->start();
    QFuture<bool> done = promise->future();
    auto finish = [promise](bool closed) {
        promise->addResult(closed);
        promise->finish();
    };
    nbeWhenFinished(m_desktop->askToSaveChanges(names), this,
                    [this, dirty, close, finish](NBEUnsavedChangesChoice choice) {
                        switch (choice) {
                        case NBEUnsavedChangesChoice::Cancel:
                            finish(false);
                            return;
                        case NBEUnsavedChangesChoice::DontSave:
                            close();
                            finish(true);
                            return;
                        case NBEUnsavedChangesChoice::Save:
                            // Closes only when every file was written; a failed write
                            // leaves the tabs open with their edits and the error shown.
                            nbeWhenFinished(saveDirtyTabs(dirty), this,
                                            [close, finish](bool saved) {
                                                if (saved)
                                                    close();
                                                finish(saved);
                                            });
                            return;
                        }
                    });
    return done;
}

QList<NBEUnsavedText> NBEWorkspaceViewModel::unsavedTexts() const
{
    QList<NBEUnsavedText> texts;
    if (!m_workspace)
        return texts;
    for (const NBEOpenTab &tab : m_workspace->openTabs) {
        if (tab.sourceFile.isDirty())
            texts.append(
                {tab.sourceFile.url.toLocalFile(),
                 NBELineEndings::applied(tab.sourceFile.content(), tab.sourceFile.lineEnding)
                     .toUtf8()});
    }
    return texts;
}
