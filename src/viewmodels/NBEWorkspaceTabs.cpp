#include "NBEWorkspaceTabs.h"

#include "NBEWhenFinished.h"

#include "NBEDiagnosticsStore.h"
#include "NBEEditorDocument.h"
#include "NBEEditorSettings.h"
#include "NBEHTMLValidation.h"
#include "NBELanguageRegistry.h"
#include "NBELog.h"
#include "NBEPreferences.h"
#include "NBEWorkspaceDesktop.h"
#include "NBEWorkspaceLanguageServers.h"
#include "NBEWorkspaceSaving.h"

#include <QFileInfo>
#include <QPromise>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <cmath>

namespace {

bool sameFile(const QUrl &a, const QUrl &b)
{
    return NBEFileService::keyPath(a) == NBEFileService::keyPath(b);
}

} // namespace

NBEWorkspaceTabs::NBEWorkspaceTabs(NBEFileService &files,
                                   std::shared_ptr<NBEWorkspaceDesktop> desktop,
                                   NBEPreferences &preferences,
                                   NBEWorkspaceLanguageServers &servers,
                                   NBEDiagnosticsStore &diagnostics, NBEHTMLValidation &validation,
                                   QObject *parent)
    : QObject(parent)
    , m_files(files)
    , m_desktop(std::move(desktop))
    , m_preferences(preferences)
    , m_servers(servers)
    , m_diagnostics(diagnostics)
    , m_validation(validation)
{
    // First of all listeners: an editor made for a new tab finds its
    // document ready.
    connect(this, &NBEWorkspaceTabs::tabsChanged, this, &NBEWorkspaceTabs::updateDocuments);
    connect(&m_preferences, &NBEPreferences::editorSettingsChanged, this, [this] {
        const NBEEditorSettings settings = m_preferences.editorSettings();
        for (const auto &document : QList(m_documents.cbegin(), m_documents.cend()))
            document->setSettings(settings);
    });
    connect(&m_diagnostics, &NBEDiagnosticsStore::fileChanged, this, [this](const QUrl &file) {
        for (const auto &document : QList(m_documents.cbegin(), m_documents.cend())) {
            if (sameFile(document->fileURL(), file))
                document->setDiagnostics(m_diagnostics.forFile(file));
        }
    });
}

NBEWorkspaceTabs::~NBEWorkspaceTabs()
{
    // The buffers may outlive the tabs (an editor holds one): either way they
    // no longer report here.
    for (const NBETextBuffer *buffer : std::as_const(m_followedBuffers))
        disconnect(buffer, nullptr, this, nullptr);
}

// --- The tab list

NBEOpenTab *NBEWorkspaceTabs::findTab(const QUuid &id)
{
    for (NBEOpenTab &tab : m_tabs) {
        if (tab.id == id)
            return &tab;
    }
    return nullptr;
}

const NBEOpenTab *NBEWorkspaceTabs::find(const QUuid &id) const
{
    for (const NBEOpenTab &tab : m_tabs) {
        if (tab.id == id)
            return &tab;
    }
    return nullptr;
}

std::optional<NBEOpenTab> NBEWorkspaceTabs::activeTab() const
{
    if (!m_activeTabID)
        return std::nullopt;
    if (const NBEOpenTab *tab = find(*m_activeTabID))
        return *tab;
    return std::nullopt;
}

const NBEOpenTab *NBEWorkspaceTabs::firstShowing(const QUrl &file) const
{
    const QString key = NBEFileService::keyPath(file);
    for (const NBEOpenTab &tab : m_tabs) {
        if (NBEFileService::keyPath(tab.sourceFile.url) == key)
            return &tab;
    }
    return nullptr;
}

void NBEWorkspaceTabs::setTabs(const QList<NBEOpenTab> &tabs, const std::optional<QUuid> &active)
{
    if (m_tabs == tabs && m_activeTabID == active)
        return;
    for (const NBEOpenTab &tab : tabs)
        followBuffer(tab.id, tab.sourceFile.buffer);
    m_tabs = tabs;
    m_activeTabID = active;
    Q_EMIT tabsChanged();
}

std::shared_ptr<NBEEditorDocument> NBEWorkspaceTabs::document(const QUuid &tabID) const
{
    return m_documents.value(tabID);
}

void NBEWorkspaceTabs::updateDocuments()
{
    // Copies: the documents' listeners may change the tabs meanwhile.
    const QList<NBEOpenTab> tabs = m_tabs;
    QList<std::shared_ptr<NBEEditorDocument>> opened;
    QSet<QUuid> ids;
    for (const NBEOpenTab &tab : tabs) {
        ids.insert(tab.id);
        std::shared_ptr<NBEEditorDocument> document = m_documents.value(tab.id);
        if (!document) {
            document = std::make_shared<NBEEditorDocument>(tab.sourceFile.buffer);
            document->setSettings(m_preferences.editorSettings());
            m_documents.insert(tab.id, document);
            opened.append(document);
        }
        // The buffer first: an editor of the old one goes before it hears
        // of another file.
        document->setBuffer(tab.sourceFile.buffer);
        const QUrl &url = tab.sourceFile.url;
        const bool moved = document->fileURL() != url;
        document->setFileURL(url);
        document->setLanguage(tab.language);
        if (moved)
            document->setDiagnostics(m_diagnostics.forFile(url));
    }
    m_documents.removeIf([&ids](const auto &each) { return !ids.contains(each.key()); });
    for (const auto &document : std::as_const(opened))
        Q_EMIT documentOpened(document.get());
}

void NBEWorkspaceTabs::setSaving(NBEWorkspaceSaving *saving)
{
    m_saving = saving;
}

bool NBEWorkspaceTabs::clear()
{
    if (m_tabs.isEmpty() && !m_activeTabID)
        return false;
    setTabs({}, std::nullopt);
    return true;
}

QList<QUrl> NBEWorkspaceTabs::removeTabs(const std::function<bool(const NBEOpenTab &)> &closing)
{
    QList<NBEOpenTab> tabs = m_tabs;
    QList<QUrl> closed;
    tabs.removeIf([&](const NBEOpenTab &tab) {
        if (!closing(tab))
            return false;
        closed.append(tab.sourceFile.url);
        return true;
    });
    std::optional<QUuid> active = m_activeTabID;
    // The rightmost remaining tab takes over, not a neighbour.
    if (active && std::none_of(tabs.cbegin(), tabs.cend(),
                               [&](const NBEOpenTab &tab) { return tab.id == *active; }))
        active = tabs.isEmpty() ? std::nullopt : std::optional<QUuid>(tabs.last().id);
    setTabs(tabs, active);
    return closed;
}

void NBEWorkspaceTabs::forgetFile(const QUrl &url)
{
    m_diagnostics.remove(url);
    m_validation.drop(url);
}

bool NBEWorkspaceTabs::hasWebLSP(const std::optional<QString> &languageID) const
{
    return m_servers.hasWebLSP(languageID);
}

// --- Opening, activating, moving, closing

QFuture<void> NBEWorkspaceTabs::openFile(const QUrl &at, bool asPreview)
{
    if (!isOpen())
        return QtFuture::makeReadyFuture();
    for (const NBEOpenTab &existing : std::as_const(m_tabs)) {
        if (!sameFile(existing.sourceFile.url, at))
            continue;
        const QUuid id = existing.id;
        QList<NBEOpenTab> tabs = m_tabs;
        // A single click on a file open for good doesn't make it a preview.
        if (!asPreview) {
            for (NBEOpenTab &tab : tabs) {
                if (tab.id == id)
                    tab.isEphemeral = false;
            }
        }
        setTabs(tabs, id);
        return QtFuture::makeReadyFuture();
    }

    auto promise = std::make_shared<QPromise<void>>();
    promise->start();
    QFuture<void> done = promise->future();
    nbeWhenFinished(m_files.readFile(at, NBEFileService::Digest::Later), this,
                    [this, at, asPreview, promise](const NBEResult<NBETextFile> &file) {
                        if (!file) {
                            Q_EMIT failed(tr("Failed to read file: ") + file.error().description);
                            NBELog::fileIO().error("Failed to read file: %s",
                                                   file.error().description);
                            promise->finish();
                            return;
                        }
                        if (file->text.size() >= NBETextBuffer::builtInBackgroundLength) {
                            m_opening = NBEOpeningFile{at, NBEOpeningFile::startOf(file->text)};
                            Q_EMIT openingChanged();
                        }
                        takeIn(at, asPreview, *file, promise);
                    });
    return done;
}

void NBEWorkspaceTabs::takeIn(const QUrl &url, bool asPreview, const NBETextFile &file,
                              const std::shared_ptr<QPromise<void>> &promise)
{
    // Taking a large text into a document takes a while: off this thread,
    // and the digest of the text beside it rather than before.
    const QFuture<QByteArray> digest =
        file.stamp ? NBEDiskStamp::digestInBackground(file.text) : QFuture<QByteArray>();
    nbeWhenFinished(NBETextBuffer::makeInBackground(file.text), this,
                    [this, url, asPreview, file, promise,
                     digest](const std::shared_ptr<NBETextBuffer> &buffer) {
                        NBESourceFile sourceFile(url, buffer, file.lineEnding);
                        sourceFile.byteOrderMark = file.byteOrderMark;
                        auto open = [this, url, asPreview, file, promise,
                                     sourceFile](const QByteArray &digest) mutable {
                            if (file.stamp) {
                                sourceFile.diskStamp = file.stamp;
                                sourceFile.diskStamp->digest = digest;
                            }
                            if (m_opening && m_opening->url == url) {
                                m_opening.reset();
                                Q_EMIT openingChanged();
                            }
                            // Those who read the text as the tab opens
                            // share the one read from the file.
                            sourceFile.buffer->shareSnapshot(file.text, 0);
                            finishOpening(url, asPreview, sourceFile, file.text);
                            promise->finish();
                        };
                        // The digest is the shorter work: mostly done by now.
                        if (!file.stamp || digest.isFinished())
                            open(file.stamp ? digest.result() : QByteArray());
                        else
                            nbeWhenFinished(digest, this, std::move(open));
                    });
}

void NBEWorkspaceTabs::finishOpening(const QUrl &url, bool asPreview,
                                     const NBESourceFile &sourceFile, const QString &text)
{
    if (!isOpen())
        return;
    QList<NBEOpenTab> tabs = m_tabs;

    // Two requests for the same file that overlapped: the later one finds the
    // tab the earlier one added and only activates it.
    for (NBEOpenTab &existing : tabs) {
        if (sameFile(existing.sourceFile.url, url)) {
            if (!asPreview)
                existing.isEphemeral = false;
            setTabs(tabs, existing.id);
            return;
        }
    }

    const std::optional<NBELanguage> language = NBELanguageRegistry::language(url);
    std::optional<QUrl> replaced;
    std::optional<QUuid> active;

    NBEOpenTab *preview = nullptr;
    if (asPreview) {
        for (NBEOpenTab &tab : tabs) {
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
        active = preview->id;
    } else {
        NBEOpenTab tab(sourceFile, language, asPreview);
        tabs.append(tab);
        active = tab.id;
    }
    setTabs(tabs, active);

    // The diagnostics and pending validation of the file the preview tab
    // showed stay; only its document closes.
    if (replaced)
        m_servers.didClose({*replaced});
    m_servers.didOpen(url, language, text, sourceFile.buffer->revision());
    if (language && language->id == QLatin1String("html") && !hasWebLSP(language->id))
        m_validation.schedule(url, sourceFile.buffer);
    NBELog::editor().info("Opened file: %s", url.fileName());
}

void NBEWorkspaceTabs::setActiveTab(const QUuid &id)
{
    if (m_preferences.autoSaveMode() == QLatin1String("onFocusChange") && m_activeTabID &&
        *m_activeTabID != id && m_saving)
        m_saving->saveTab(*m_activeTabID, false);
    if (isOpen())
        setTabs(m_tabs, id);
}

void NBEWorkspaceTabs::moveTab(int fromIndex, int toIndex)
{
    const int count = int(m_tabs.size());
    if (fromIndex < 0 || fromIndex >= count || toIndex < 0 || toIndex >= count ||
        fromIndex == toIndex)
        return;
    QList<NBEOpenTab> tabs = m_tabs;
    tabs.move(fromIndex, toIndex);
    setTabs(tabs, m_activeTabID);
}

void NBEWorkspaceTabs::togglePreview(const QUuid &id)
{
    QList<NBEOpenTab> tabs = m_tabs;
    for (NBEOpenTab &each : tabs) {
        if (each.id == id) {
            each.isShowingPreview = !each.isShowingPreview;
            break;
        }
    }
    setTabs(tabs, m_activeTabID);
}

QFuture<bool> NBEWorkspaceTabs::closeTab(const QUuid &id)
{
    return closeAsking({id}, [this, id] {
        if (!isOpen())
            return;
        const QList<QUrl> closed = removeTabs([&](const NBEOpenTab &tab) { return tab.id == id; });
        if (closed.isEmpty())
            return;
        forgetFile(closed.first());
        m_servers.didClose(closed);
    });
}

QFuture<bool> NBEWorkspaceTabs::closeOtherTabs(const QUuid &keeping)
{
    QList<QUuid> ids;
    for (const NBEOpenTab &tab : std::as_const(m_tabs)) {
        if (tab.id != keeping)
            ids.append(tab.id);
    }
    return closeAsking(ids, [this, keeping] {
        if (!isOpen())
            return;
        QList<NBEOpenTab> tabs = m_tabs;
        QList<QUrl> closed;
        tabs.removeIf([&](const NBEOpenTab &tab) {
            if (tab.id == keeping)
                return false;
            closed.append(tab.sourceFile.url);
            return true;
        });
        setTabs(tabs, keeping);
        m_servers.didClose(closed);
    });
}

QFuture<bool> NBEWorkspaceTabs::closeAllTabs()
{
    QList<QUuid> ids;
    for (const NBEOpenTab &tab : std::as_const(m_tabs))
        ids.append(tab.id);
    return closeAsking(ids, [this] {
        if (!isOpen())
            return;
        QList<QUrl> closed;
        for (const NBEOpenTab &tab : std::as_const(m_tabs))
            closed.append(tab.sourceFile.url);
        setTabs({}, std::nullopt);
        m_servers.didClose(closed);
    });
}

QFuture<bool> NBEWorkspaceTabs::settleUnsavedEdits()
{
    QList<QUuid> ids;
    for (const NBEOpenTab &tab : std::as_const(m_tabs))
        ids.append(tab.id);
    return closeAsking(ids, [] {});
}

QFuture<bool> NBEWorkspaceTabs::closeAsking(const QList<QUuid> &ids, std::function<void()> close)
{
    QList<QUuid> dirty;
    QStringList names;
    for (const QUuid &id : ids) {
        const NBEOpenTab *tab = find(id);
        if (tab && tab->sourceFile.isDirty() && !dirty.contains(id)) {
            dirty.append(id);
            names.append(tab->sourceFile.name());
        }
    }
    if (dirty.isEmpty()) {
        close();
        return QtFuture::makeReadyFuture(true);
    }

    const auto [done, finish] = nbePendingResult<bool>();
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
                            if (!m_saving) {
                                finish(false);
                                return;
                            }
                            nbeWhenFinished(m_saving->saveDirtyTabs(dirty), this,
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

void NBEWorkspaceTabs::closeMatching(const std::function<bool(const QString &path)> &matches)
{
    const QList<QUrl> closed = removeTabs([&](const NBEOpenTab &tab) {
        return matches(NBEFileService::keyPath(tab.sourceFile.url));
    });
    for (const QUrl &url : closed)
        forgetFile(url);
    m_servers.didClose(closed);
}

void NBEWorkspaceTabs::retarget(
    const std::function<std::optional<QString>(const QString &path)> &moved)
{
    QList<NBEOpenTab> tabs = m_tabs;
    QList<QUrl> closed;
    QList<NBEOpenTab> reopened;
    for (NBEOpenTab &tab : tabs) {
        const auto path = moved(NBEFileService::keyPath(tab.sourceFile.url));
        if (!path)
            continue;
        closed.append(tab.sourceFile.url);
        const QUrl url = QUrl::fromLocalFile(*path);
        tab.sourceFile.url = url;
        tab.sourceFile.id = QUuid::createUuid();
        // The file is where it was moved, whatever a look at the old place saw.
        tab.sourceFile.isMissingOnDisk = false;
        tab.language = NBELanguageRegistry::language(url);
        reopened.append(tab);
    }
    setTabs(tabs, m_activeTabID);

    // The servers and the built-in check know the files by location: the old
    // one is gone, the new one opens with the buffer as it stands.
    for (const QUrl &url : std::as_const(closed))
        forgetFile(url);
    m_servers.didClose(closed);
    for (const NBEOpenTab &tab : std::as_const(reopened)) {
        m_servers.didOpen(tab.sourceFile.url, tab.language, tab.sourceFile.content(),
                          tab.sourceFile.buffer->revision());
        if (tab.isHTML() && !hasWebLSP(QStringLiteral("html")))
            m_validation.schedule(tab.sourceFile.url, tab.sourceFile.content());
    }
}

QList<NBEUnsavedText> NBEWorkspaceTabs::unsavedTexts() const
{
    QList<NBEUnsavedText> texts;
    for (const NBEOpenTab &tab : m_tabs) {
        if (tab.sourceFile.isDirty())
            texts.append(
                {tab.sourceFile.url.toLocalFile(),
                 NBEFileService::encode(tab.sourceFile.content(), tab.sourceFile.lineEnding,
                                        tab.sourceFile.byteOrderMark)});
    }
    return texts;
}

// --- Edits and carets: nothing here reads the whole text.

void NBEWorkspaceTabs::followBuffer(const QUuid &tabID,
                                    const std::shared_ptr<NBETextBuffer> &buffer)
{
    NBETextBuffer *source = buffer.get();
    if (!source || m_followedBuffers.contains(source))
        return;
    m_followedBuffers.insert(source);
    connect(source, &QObject::destroyed, this,
            [this, source] { m_followedBuffers.remove(source); });
    connect(source, &NBETextBuffer::changed, this,
            [this, tabID, source](const NBETextChange &change) {
                bufferChanged(tabID, source, change);
            });
    connect(source, &NBETextBuffer::settled, this, [this, tabID, source] {
        const NBEOpenTab *tab = find(tabID);
        if (tab && tab->sourceFile.buffer.get() == source)
            Q_EMIT tabContentSettled(tabID);
    });
    connect(source, &NBETextBuffer::dirtyChanged, this, [this, tabID, source] {
        const NBEOpenTab *tab = find(tabID);
        if (tab && tab->sourceFile.buffer.get() == source)
            Q_EMIT tabsChanged();
    });
}

void NBEWorkspaceTabs::bufferChanged(const QUuid &tabID, const NBETextBuffer *buffer,
                                     const NBETextChange &change)
{
    const NBEOpenTab *tab = find(tabID);
    // A buffer the tab no longer shows (the preview tab moved on) is heard no
    // more.
    if (!tab || tab->sourceFile.buffer.get() != buffer)
        return;
    const QUrl url = tab->sourceFile.url;
    const std::optional<QString> language = tab->languageID();
    const std::shared_ptr<NBETextBuffer> shared = tab->sourceFile.buffer;
    // Typing into a preview tab keeps it.
    if (tab->isEphemeral) {
        findTab(tabID)->isEphemeral = false;
        Q_EMIT tabsChanged();
    }
    Q_EMIT tabContentChanged(tabID);

    if (language == QLatin1String("swift") || hasWebLSP(language))
        m_servers.didChange(url, language, change, shared);
    else if (language == QLatin1String("html"))
        m_validation.schedule(url, shared);
}

void NBEWorkspaceTabs::updateContent(const QString &content, const QUuid &forTab)
{
    if (const NBEOpenTab *tab = find(forTab))
        tab->sourceFile.buffer->replaceAll(content);
}

void NBEWorkspaceTabs::updateCursorPosition(int line, int column, const QUuid &forTab)
{
    const std::shared_ptr<NBEEditorDocument> document = m_documents.value(forTab);
    if (!document)
        return;
    document->setCaret(NBECursorPosition{line, column});
    Q_EMIT cursorPositionChanged(forTab);
}
