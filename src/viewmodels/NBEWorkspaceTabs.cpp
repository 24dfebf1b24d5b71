#include "NBEWorkspaceTabs.h"

#include "NBEWhenFinished.h"

#include "NBEDiagnosticsStore.h"
#include "NBEEditorDocument.h"
#include "NBEEditorSettings.h"
#include "NBEFormatter.h"
#include "NBEGitState.h"
#include "NBEHTMLValidation.h"
#include "NBELanguageRegistry.h"
#include "NBELog.h"
#include "NBEPreferences.h"
#include "NBEWorkspaceDesktop.h"
#include "NBEWorkspaceLanguageServers.h"

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

std::optional<QString> languageID(const NBEOpenTab &tab)
{
    if (!tab.language)
        return std::nullopt;
    return tab.language->id;
}

// Whether `path` or a folder above it is among `changed`.
bool touchedBy(const QString &path, const QSet<QString> &changed)
{
    for (QString at = path; !at.isEmpty() && at != QLatin1String("/"); at = QFileInfo(at).path()) {
        if (changed.contains(at))
            return true;
    }
    return false;
}

template <typename T> std::pair<QFuture<T>, std::function<void(const T &)>> pendingResult()
{
    auto promise = std::make_shared<QPromise<T>>();
    promise->start();
    return {promise->future(), [promise](const T &value) {
                promise->addResult(value);
                promise->finish();
            }};
}

} // namespace

NBEWorkspaceTabs::NBEWorkspaceTabs(NBEFileService &files,
                                   std::shared_ptr<NBEWorkspaceDesktop> desktop,
                                   NBEPreferences &preferences,
                                   NBEWorkspaceLanguageServers &servers,
                                   NBEDiagnosticsStore &diagnostics, NBEHTMLValidation &validation,
                                   NBEGitState &git, NBEWorkspaceTimings timings, QObject *parent)
    : QObject(parent)
    , m_files(files)
    , m_desktop(std::move(desktop))
    , m_preferences(preferences)
    , m_servers(servers)
    , m_diagnostics(diagnostics)
    , m_validation(validation)
    , m_git(git)
    , m_timings(timings)
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
    nbeWhenFinished(
        m_files.readFile(at, NBEFileService::Digest::Later), this,
        [this, at, asPreview, promise](const NBEResult<NBETextFile> &file) {
            if (!file) {
                Q_EMIT failed(QStringLiteral("Failed to read file: ") + file.error().description);
                NBELog::fileIO().error("Failed to read file: %s", file.error().description);
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
        *m_activeTabID != id)
        saveTab(*m_activeTabID, false);
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

    const auto [done, finish] = pendingResult<bool>();
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
    const std::optional<QString> language = languageID(*tab);
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

    if (m_preferences.autoSaveMode() == QLatin1String("afterDelay"))
        scheduleAutoSave(tabID);
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

// --- Saving (with format on save), flushing and the three auto-save modes

QString NBEWorkspaceTabs::currentIndentUnit() const
{
    NBEEditorSettings settings;
    settings.tabSize = m_preferences.tabSize();
    settings.useSoftTabs = m_preferences.useSoftTabs();
    return settings.indentUnit();
}

void NBEWorkspaceTabs::scheduleAutoSave(const QUuid &forTab)
{
    QTimer *&timer = m_autoSaveTimers[forTab];
    if (!timer) {
        // Owned here, so a timer never fires into released tabs.
        timer = new QTimer(this);
        timer->setSingleShot(true);
        timer->setTimerType(Qt::PreciseTimer);
        connect(timer, &QTimer::timeout, this, [this, forTab] { saveTab(forTab, false); });
    }
    const double seconds = m_preferences.autoSaveDelay() * m_timings.autoSaveDelayScale;
    timer->start(int(std::llround(seconds * 1000.0)));
}

QFuture<bool> NBEWorkspaceTabs::saveTab(const QUuid &id, bool force)
{
    return queueSave(id, [this, id, force] { return saveNow(id, force); });
}

QFuture<bool> NBEWorkspaceTabs::queueSave(const QUuid &id,
                                          const std::function<QFuture<bool>()> &save)
{
    // One focus loss reaches the tabs more than once (the application and
    // the window both report it): a second save that ran beside the first
    // would write the text the first one is formatting over its result.
    const QFuture<bool> before = m_savesRunning.value(id);
    QFuture<bool> done;
    if (!before.isValid() || before.isFinished()) {
        done = save();
    } else {
        const auto [after, finish] = pendingResult<bool>();
        done = after;
        nbeWhenFinished(before, this,
                        [this, save, finish](bool) { nbeWhenFinished(save(), this, finish); });
    }
    m_savesRunning.insert(id, done);
    nbeWhenFinished(done, this, [this, id](bool) {
        // The last save of the tab is done: nothing to wait for.
        if (m_savesRunning.value(id).isFinished())
            m_savesRunning.remove(id);
    });
    return done;
}

QFuture<bool> NBEWorkspaceTabs::saveNow(const QUuid &id, bool force)
{
    const NBEOpenTab *tab = find(id);
    if (!tab || (!force && !tab->sourceFile.isDirty()))
        return QtFuture::makeReadyFuture(false);

    const QUrl url = tab->sourceFile.url;
    const std::optional<QString> language = languageID(*tab);
    const QString text = tab->sourceFile.content();
    const quint64 revision = tab->sourceFile.buffer->revision();
    const NBELineEnding lineEnding = tab->sourceFile.lineEnding;
    // An unforced save is an automatic one: it never asks, and never writes
    // over a file someone else changed or removed.
    const WriteCheck check = force ? WriteCheck::Ask : WriteCheck::SkipQuietly;
    if (check == WriteCheck::SkipQuietly && tab->sourceFile.isMissingOnDisk)
        return settleOutsideChange(id, url, NBEDiskChange::Vanished, check);
    const bool shouldFormat =
        (force || m_preferences.autoSaveMode() == QLatin1String("onFocusChange")) &&
        m_preferences.formatOnSave() && NBEFormatter::canFormat(language);
    if (!shouldFormat)
        return write(id, url, text, revision, lineEnding, true, check);

    const auto [done, finish] = pendingResult<bool>();
    const auto formatAndWrite = [this, id, url, text, revision, lineEnding, language,
                                 finish](WriteCheck writeCheck) {
        nbeWhenFinished(formatForSave(url, text, language), this,
                        [this, id, url, text, revision, lineEnding, writeCheck,
                         finish](std::optional<QString> formatted) {
                            QString toWrite = text;
                            quint64 written = revision;
                            if (formatted && *formatted != text) {
                                // Text typed while the formatter ran is never replaced: the
                                // captured text is written and the tab stays dirty.
                                const NBEOpenTab *current = find(id);
                                if (current && current->sourceFile.buffer->revision() == revision) {
                                    updateContent(*formatted, id);
                                    toWrite = *formatted;
                                    written = current->sourceFile.buffer->revision();
                                }
                            }
                            nbeWhenFinished(
                                write(id, url, toWrite, written, lineEnding, true, writeCheck),
                                this, finish);
                        });
    };
    // The outside-change question comes before the formatter touches the
    // buffer, so Cancel leaves the text as it was typed.
    const NBEDiskKnowledge known{tab->sourceFile.diskStamp, tab->sourceFile.isMissingOnDisk};
    nbeWhenFinished(m_files.diskChange(url, known), this,
                    [this, id, url, check, finish, formatAndWrite](NBEDiskChange change) {
                        if (change == NBEDiskChange::None) {
                            formatAndWrite(check);
                            return;
                        }
                        nbeWhenFinished(settleOutsideChange(id, url, change, check), this,
                                        [finish, formatAndWrite](bool overwrite) {
                                            if (overwrite)
                                                formatAndWrite(WriteCheck::Overwrite);
                                            else
                                                finish(false);
                                        });
                    });
    return done;
}

QFuture<bool> NBEWorkspaceTabs::flushTab(const QUuid &id)
{
    if (!find(id))
        return QtFuture::makeReadyFuture(true);
    return queueSave(id, [this, id] {
        const NBEOpenTab *tab = find(id);
        if (!tab)
            return QtFuture::makeReadyFuture(true);
        return write(id, tab->sourceFile.url, tab->sourceFile.content(),
                     tab->sourceFile.buffer->revision(), tab->sourceFile.lineEnding, false,
                     WriteCheck::Ask);
    });
}

QFuture<bool> NBEWorkspaceTabs::write(const QUuid &tabID, const QUrl &url, const QString &text,
                                      quint64 revision, NBELineEnding lineEnding, bool afterwards,
                                      WriteCheck check, bool replaceReadOnly)
{
    const auto [done, finish] = pendingResult<bool>();
    std::optional<NBEDiskKnowledge> known;
    const NBEOpenTab *tab = find(tabID);
    if (tab && check != WriteCheck::Overwrite)
        known = NBEDiskKnowledge{tab->sourceFile.diskStamp, tab->sourceFile.isMissingOnDisk};
    const bool byteOrderMark = tab && tab->sourceFile.byteOrderMark;
    nbeWhenFinished(
        m_files.writeFileChecked(text, url, lineEnding, known, byteOrderMark, replaceReadOnly),
        this,
        [this, tabID, url, text, revision, lineEnding, afterwards, check,
         finish](NBEResult<NBEWritten> result) {
            if (!result) {
                const QString reason = result.error().description;
                // Automatic saves fail again at every pause for the same
                // reason (a full disk): each reason is said once.
                if (check != WriteCheck::SkipQuietly)
                    Q_EMIT failed(QStringLiteral("Failed to save: ") + reason);
                else if (!m_autoSaveFailures.contains(reason))
                    Q_EMIT noticed(QStringLiteral("Failed to save: ") + reason);
                if (check == WriteCheck::SkipQuietly)
                    m_autoSaveFailures.insert(reason);
                if (afterwards)
                    NBELog::fileIO().error("Failed to save: %s", result.error().description);
                finish(false);
                return;
            }
            if (result->readOnly) {
                nbeWhenFinished(settleReadOnly(url, check), this,
                                [this, tabID, url, text, revision, lineEnding, afterwards, check,
                                 finish](bool replace) {
                                    if (!replace) {
                                        finish(false);
                                        return;
                                    }
                                    // The outside-change answer, if any, was given.
                                    nbeWhenFinished(write(tabID, url, text, revision, lineEnding,
                                                          afterwards, check, true),
                                                    this, finish);
                                });
                return;
            }
            if (result->change != NBEDiskChange::None) {
                nbeWhenFinished(settleOutsideChange(tabID, url, result->change, check), this,
                                [this, tabID, url, text, revision, lineEnding, afterwards,
                                 finish](bool overwrite) {
                                    if (!overwrite) {
                                        finish(false);
                                        return;
                                    }
                                    nbeWhenFinished(write(tabID, url, text, revision, lineEnding,
                                                          afterwards, WriteCheck::Overwrite),
                                                    this, finish);
                                });
                return;
            }
            m_outsideChangeNoticed.remove(tabID);
            m_unreadableNoticed.remove(tabID);
            m_autoSaveFailures.clear();
            // What was written is what is saved: text typed during the write
            // keeps the tab dirty.
            if (NBEOpenTab *tab = findTab(tabID); tab && tab->sourceFile.url == url) {
                tab->sourceFile.diskStamp = result->stamp;
                const bool wasMissing = std::exchange(tab->sourceFile.isMissingOnDisk, false);
                tab->sourceFile.buffer->markSaved(revision);
                if (wasMissing)
                    Q_EMIT tabsChanged();
            }
            if (!afterwards) {
                finish(true);
                return;
            }
            nbeWhenFinished(m_git.refresh(), this, [url, finish] {
                NBELog::fileIO().info("Saved: %s", url.fileName());
                finish(true);
            });
        });
    return done;
}

QFuture<bool> NBEWorkspaceTabs::settleReadOnly(const QUrl &url, WriteCheck check)
{
    const QString refused =
        QStringLiteral("Failed to save: “%1” is not writable.").arg(url.fileName());
    if (check == WriteCheck::SkipQuietly) {
        // Said once, as other reasons an automatic save fails.
        if (!m_autoSaveFailures.contains(refused)) {
            m_autoSaveFailures.insert(refused);
            Q_EMIT noticed(refused);
        }
        return QtFuture::makeReadyFuture(false);
    }
    const auto [done, answer] = pendingResult<bool>();
    nbeWhenFinished(m_desktop->askAboutReadOnlyFile(url.fileName()), this,
                    [this, refused, answer](NBEOutsideChangeChoice choice) {
                        // The user's own Cancel needs no word.
                        if (choice == NBEOutsideChangeChoice::Unanswered)
                            Q_EMIT failed(refused);
                        answer(choice == NBEOutsideChangeChoice::Overwrite);
                    });
    return done;
}

QFuture<bool> NBEWorkspaceTabs::settleOutsideChange(const QUuid &tabID, const QUrl &url,
                                                    NBEDiskChange change, WriteCheck check)
{
    const QString name = url.fileName();
    const bool vanished = change == NBEDiskChange::Vanished;
    if (check == WriteCheck::SkipQuietly) {
        // Said once per tab until it is saved or reloaded, not at every pause.
        if (!m_outsideChangeNoticed.contains(tabID)) {
            m_outsideChangeNoticed.insert(tabID);
            Q_EMIT noticed(
                vanished
                    ? QStringLiteral("“%1” is no longer on disk, so it wasn't saved automatically.")
                          .arg(name)
                    : QStringLiteral("“%1” changed on disk, so it wasn't saved automatically.")
                          .arg(name));
        }
        return QtFuture::makeReadyFuture(false);
    }
    const auto [done, answer] = pendingResult<bool>();
    nbeWhenFinished(
        m_desktop->askAboutOutsideChange(name, vanished), this,
        [this, tabID, url, name, vanished, answer](NBEOutsideChangeChoice choice) {
            if (choice == NBEOutsideChangeChoice::Overwrite) {
                answer(true);
                return;
            }
            // The user's own Cancel needs no word; only a question nobody
            // could answer is told.
            if (choice == NBEOutsideChangeChoice::Cancel) {
                answer(false);
                return;
            }
            if (choice == NBEOutsideChangeChoice::ReloadFromDisk && !vanished) {
                nbeWhenFinished(m_files.readFile(url), this,
                                [this, tabID, url, answer](const NBEResult<NBETextFile> &read) {
                                    NBEOpenTab *tab = findTab(tabID);
                                    if (!read)
                                        Q_EMIT failed(QStringLiteral("Failed to read file: ") +
                                                      read.error().description);
                                    else if (tab && tab->sourceFile.url == url)
                                        showDiskText(*tab, *read);
                                    answer(false);
                                });
                return;
            }
            Q_EMIT failed(
                vanished
                    ? QStringLiteral("“%1” is no longer on disk; your edits weren't saved.")
                          .arg(name)
                    : QStringLiteral("“%1” changed on disk; your edits weren't saved.").arg(name));
            answer(false);
        });
    return done;
}

void NBEWorkspaceTabs::showDiskText(NBEOpenTab &tab, const NBETextFile &file)
{
    m_outsideChangeNoticed.remove(tab.id);
    m_unreadableNoticed.remove(tab.id);
    // The editor keeps the buffer, its undo history starts over, and the
    // servers and the built-in check hear of the new text as an edit.
    tab.sourceFile.id = QUuid::createUuid();
    takeDiskForm(tab.sourceFile, file);
    // The disk's text is no edit: a preview tab stays a preview.
    const bool ephemeral = tab.isEphemeral;
    const QUuid id = tab.id;
    tab.sourceFile.buffer->replaceAll(file.text, true);
    if (NBEOpenTab *shown = findTab(id))
        shown->isEphemeral = ephemeral;
    Q_EMIT tabsChanged();
}

bool NBEWorkspaceTabs::holdsTheSameText(const NBESourceFile &sourceFile, const NBETextFile &file)
{
    return sourceFile.diskStamp && file.stamp && !file.stamp->digest.isEmpty() &&
           file.stamp->digest == sourceFile.diskStamp->digest &&
           file.lineEnding == sourceFile.lineEnding &&
           file.byteOrderMark == sourceFile.byteOrderMark;
}

void NBEWorkspaceTabs::takeDiskForm(NBESourceFile &sourceFile, const NBETextFile &file)
{
    sourceFile.lineEnding = file.lineEnding;
    sourceFile.byteOrderMark = file.byteOrderMark;
    sourceFile.diskStamp = file.stamp;
    sourceFile.isMissingOnDisk = false;
}

QFuture<std::optional<QString>>
NBEWorkspaceTabs::formatForSave(const QUrl &url, const QString &text,
                                const std::optional<QString> &language)
{
    const QString indentUnit = currentIndentUnit();
    auto builtIn = [text, language, indentUnit] {
        return QtConcurrent::run([text, language, indentUnit] {
            return NBEFormatter::format(text, language, indentUnit);
        });
    };
    if (!hasWebLSP(language))
        return builtIn();

    // The server goes first, but only for so long: a slow or silent server
    // falls back to the built-in formatter.
    const auto [done, finish] = pendingResult<std::optional<QString>>();
    auto settled = std::make_shared<bool>(false);
    auto fallBack = [this, finish, settled, builtIn] {
        if (std::exchange(*settled, true))
            return;
        nbeWhenFinished(builtIn(), this, finish);
    };
    QTimer::singleShot(m_timings.serverFormattingLimit, this, fallBack);
    nbeWhenFinished(
        m_servers.formatting(url, text, m_preferences.tabSize(), m_preferences.useSoftTabs()), this,
        [finish, settled, fallBack](std::optional<QString> formatted) {
            if (!formatted) {
                fallBack();
                return;
            }
            if (std::exchange(*settled, true))
                return;
            finish(formatted);
        });
    return done;
}

void NBEWorkspaceTabs::autoSaveOnFocusChange()
{
    if (m_preferences.autoSaveMode() != QLatin1String("onFocusChange") || !isOpen())
        return;
    QList<QUuid> dirty;
    for (const NBEOpenTab &tab : std::as_const(m_tabs)) {
        if (tab.sourceFile.isDirty())
            dirty.append(tab.id);
    }
    for (const QUuid &id : dirty)
        saveTab(id, false);
}

QFuture<bool> NBEWorkspaceTabs::saveDirtyTabs(const QList<QUuid> &ids)
{
    QList<QFuture<bool>> writes;
    for (const QUuid &id : ids) {
        const NBEOpenTab *tab = find(id);
        if (!tab || !tab->sourceFile.isDirty())
            continue;
        writes.append(queueSave(id, [this, id] {
            const NBEOpenTab *tab = find(id);
            if (!tab || !tab->sourceFile.isDirty())
                return QtFuture::makeReadyFuture(true);
            return write(id, tab->sourceFile.url, tab->sourceFile.content(),
                         tab->sourceFile.buffer->revision(), tab->sourceFile.lineEnding, true,
                         WriteCheck::Ask);
        }));
    }
    if (writes.isEmpty())
        return QtFuture::makeReadyFuture(true);
    return QtFuture::whenAll(writes.begin(), writes.end())
        .then([](const QList<QFuture<bool>> &results) {
            return std::all_of(results.cbegin(), results.cend(), [](const QFuture<bool> &f) {
                return f.resultCount() > 0 && f.result();
            });
        });
}

// --- Files changed by other programs

QFuture<void> NBEWorkspaceTabs::followDisk(const QStringList &paths)
{
    const QSet<QString> changed(paths.cbegin(), paths.cend());
    QList<QUuid> ids;
    QList<QUrl> urls;
    QList<QFuture<NBEDiskChange>> checks;
    for (const NBEOpenTab &tab : std::as_const(m_tabs)) {
        if (!changed.isEmpty() && !touchedBy(NBEFileService::keyPath(tab.sourceFile.url), changed))
            continue;
        ids.append(tab.id);
        urls.append(tab.sourceFile.url);
        checks.append(m_files.diskChange(
            tab.sourceFile.url,
            NBEDiskKnowledge{tab.sourceFile.diskStamp, tab.sourceFile.isMissingOnDisk}));
    }
    if (checks.isEmpty())
        return QtFuture::makeReadyFuture();
    auto promise = std::make_shared<QPromise<void>>();
    promise->start();
    QFuture<void> done = promise->future();
    nbeWhenFinished(QtFuture::whenAll(checks.begin(), checks.end()), this,
                    [this, ids, urls, promise](const QList<QFuture<NBEDiskChange>> &results) {
                        for (qsizetype i = 0; i < ids.size() && i < results.size(); ++i) {
                            // A tab renamed or moved meanwhile names another file.
                            const NBEOpenTab *tab = find(ids[i]);
                            if (tab && tab->sourceFile.url == urls[i] &&
                                results[i].resultCount() > 0)
                                followTabFile(ids[i], results[i].result());
                        }
                        promise->finish();
                    });
    return done;
}

void NBEWorkspaceTabs::followTabFile(const QUuid &id, NBEDiskChange change)
{
    NBEOpenTab *tab = findTab(id);
    if (!tab)
        return;
    NBESourceFile &file = tab->sourceFile;
    switch (change) {
    case NBEDiskChange::None:
        // Back in place as the tab knew it.
        if (std::exchange(file.isMissingOnDisk, false))
            Q_EMIT tabsChanged();
        return;
    case NBEDiskChange::Vanished:
        // The text lives on in the tab, unsaved, until the user decides.
        if (!std::exchange(file.isMissingOnDisk, true))
            Q_EMIT tabsChanged();
        return;
    case NBEDiskChange::Changed:
        if (file.buffer->isDirty()) {
            // Unsaved edits stay; saving asks about the newer file.
            if (std::exchange(file.isMissingOnDisk, false))
                Q_EMIT tabsChanged();
            return;
        }
        const QUrl url = file.url;
        const quint64 revision = file.buffer->revision();
        nbeWhenFinished(m_files.readFile(url), this,
                        [this, id, url, revision](const NBEResult<NBETextFile> &read) {
                            NBEOpenTab *now = findTab(id);
                            // Typed into meanwhile: the edits win, the save asks.
                            if (!now || now->sourceFile.url != url ||
                                now->sourceFile.buffer->revision() != revision ||
                                now->sourceFile.buffer->isDirty())
                                return;
                            if (read && holdsTheSameText(now->sourceFile, *read)) {
                                // Only its identity, owner or mode changed (a
                                // chmod, a copy put back): caret and history stay.
                                takeDiskForm(now->sourceFile, *read);
                                m_unreadableNoticed.remove(id);
                                return;
                            }
                            if (read) {
                                showDiskText(*now, *read);
                                return;
                            }
                            // The tab can't show what the file holds now (no
                            // longer UTF-8, say): it keeps its text and says
                            // why once, rather than pass for the file.
                            if (!m_unreadableNoticed.contains(id)) {
                                m_unreadableNoticed.insert(id);
                                Q_EMIT noticed(QStringLiteral("Failed to read file: ") +
                                               read.error().description);
                            }
                        });
        return;
    }
}

// --- Tabs under a git command

QFuture<std::optional<NBEGitRewrittenTabs>>
NBEWorkspaceTabs::settleBeforeGit(const std::optional<QList<QUrl>> &files, bool saveEdits)
{
    using Answer = std::optional<NBEGitRewrittenTabs>;
    QList<QUuid> ids;
    if (files) {
        for (const QUrl &file : *files) {
            if (const NBEOpenTab *tab = firstShowing(file); tab && !ids.contains(tab->id))
                ids.append(tab->id);
        }
    } else {
        for (const NBEOpenTab &tab : std::as_const(m_tabs))
            ids.append(tab.id);
    }
    // Read when git is about to run, so the texts are the ones it replaces.
    auto capture = [this, ids](bool replaceDirty) {
        NBEGitRewrittenTabs tabs;
        for (const QUuid &id : ids) {
            const NBEOpenTab *tab = find(id);
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
        const NBEOpenTab *tab = find(id);
        if (tab->sourceFile.isDirty()) {
            dirtyNames.append(tab->sourceFile.name());
            dirtyIDs.append(id);
        }
    }
    if (dirtyIDs.isEmpty())
        return QtFuture::makeReadyFuture(Answer(capture(true)));

    const auto [done, answer] = pendingResult<Answer>();
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

QFuture<void> NBEWorkspaceTabs::reloadRewritten(const NBEGitRewrittenTabs &tabs)
{
    if (tabs.isEmpty())
        return QtFuture::makeReadyFuture();
    QList<QFuture<NBEResult<NBETextFile>>> reads;
    for (const NBEGitRewrittenTab &tab : tabs)
        reads.append(m_files.readFile(tab.url));
    auto promise = std::make_shared<QPromise<void>>();
    promise->start();
    QFuture<void> done = promise->future();
    nbeWhenFinished(QtFuture::whenAll(reads.begin(), reads.end()), this,
                    [this, tabs, promise](const QList<QFuture<NBEResult<NBETextFile>>> &results) {
                        for (qsizetype i = 0; i < tabs.size() && i < results.size(); ++i) {
                            if (results[i].resultCount() == 0)
                                continue;
                            const NBEGitRewrittenTab &tab = tabs[i];
                            const NBEResult<NBETextFile> &read = results[i].result();
                            // A file git left with the same text keeps its tab, undo
                            // history and all; its line ends or mark may have changed.
                            NBEOpenTab *open = findTab(tab.id);
                            if (read && open && !open->sourceFile.isDirty() &&
                                open->sourceFile.content() == read->text) {
                                takeDiskForm(open->sourceFile, *read);
                                continue;
                            }
                            UntouchedTab untouched;
                            if (tab.replaceable)
                                untouched = std::make_pair(tab.id, *tab.replaceable);
                            reloadAfterGit(tab.url, read, untouched);
                        }
                        promise->finish();
                    });
    return done;
}

void NBEWorkspaceTabs::reloadAfterGit(const QUrl &file, const NBEResult<NBETextFile> &read,
                                      const UntouchedTab &untouched)
{
    const NBEOpenTab *found = firstShowing(file);
    if (!found)
        return;
    NBEOpenTab *tab = findTab(found->id);
    // Edits the user kept, or typed while git ran, stay in the buffer.
    const bool replace =
        untouched && untouched->first == tab->id && tab->sourceFile.content() == untouched->second;

    if (!read) {
        if (!replace)
            return;
        // The file went to the trash: its tab goes too, and the rightmost
        // remaining tab takes over as when a tab is closed.
        const QUuid id = tab->id;
        const QList<QUrl> closed =
            removeTabs([&](const NBEOpenTab &each) { return each.id == id; });
        for (const QUrl &url : closed)
            forgetFile(url);
        m_servers.didClose(closed);
        return;
    }

    if (!replace) {
        // The kept edits are unsaved against the file as git left it.
        takeDiskForm(tab->sourceFile, *read);
        if (tab->sourceFile.content() == read->text)
            tab->sourceFile.markSaved();
        else
            tab->sourceFile.buffer->markUnsaved();
        return;
    }
    showDiskText(*tab, *read);
}
