#include "NBEWorkspaceSaving.h"

#include "NBEWhenFinished.h"

#include "NBEEditorSettings.h"
#include "NBEFormatter.h"
#include "NBEGitState.h"
#include "NBELog.h"
#include "NBEPreferences.h"
#include "NBEWorkspaceDesktop.h"
#include "NBEWorkspaceLanguageServers.h"
#include "NBEWorkspaceTabs.h"

#include <QFileInfo>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <cmath>

namespace {

// Whether `path` or a folder above it is among `changed`.
bool touchedBy(const QString &path, const QSet<QString> &changed)
{
    for (QString at = path; !at.isEmpty() && at != QLatin1String("/"); at = QFileInfo(at).path()) {
        if (changed.contains(at))
            return true;
    }
    return false;
}

} // namespace

NBEWorkspaceSaving::NBEWorkspaceSaving(NBEWorkspaceTabs &tabs, NBEFileService &files,
                                       std::shared_ptr<NBEWorkspaceDesktop> desktop,
                                       NBEPreferences &preferences,
                                       NBEWorkspaceLanguageServers &servers, NBEGitState &git,
                                       NBEWorkspaceTimings timings, QObject *parent)
    : QObject(parent)
    , m_tabs(tabs)
    , m_files(files)
    , m_desktop(std::move(desktop))
    , m_preferences(preferences)
    , m_servers(servers)
    , m_git(git)
    , m_timings(timings)
{
    m_tabs.setSaving(this);
    connect(&m_tabs, &NBEWorkspaceTabs::tabContentChanged, this, [this](const QUuid &tabID) {
        if (m_preferences.autoSaveMode() == QLatin1String("afterDelay"))
            scheduleAutoSave(tabID);
    });
}

NBEWorkspaceSaving::~NBEWorkspaceSaving() = default;

QString NBEWorkspaceSaving::currentIndentUnit() const
{
    NBEEditorSettings settings;
    settings.tabSize = m_preferences.tabSize();
    settings.useSoftTabs = m_preferences.useSoftTabs();
    return settings.indentUnit();
}

void NBEWorkspaceSaving::scheduleAutoSave(const QUuid &forTab)
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

QFuture<bool> NBEWorkspaceSaving::saveTab(const QUuid &id, bool force)
{
    return queueSave(id, [this, id, force] { return saveNow(id, force); });
}

QFuture<bool> NBEWorkspaceSaving::queueSave(const QUuid &id,
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
        const auto [after, finish] = nbePendingResult<bool>();
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

QFuture<bool> NBEWorkspaceSaving::saveNow(const QUuid &id, bool force)
{
    const NBEOpenTab *tab = m_tabs.find(id);
    if (!tab || (!force && !tab->sourceFile.isDirty()))
        return QtFuture::makeReadyFuture(false);

    const QUrl url = tab->sourceFile.url;
    const std::optional<QString> language = tab->languageID();
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

    const auto [done, finish] = nbePendingResult<bool>();
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
                                const NBEOpenTab *current = m_tabs.find(id);
                                if (current && current->sourceFile.buffer->revision() == revision) {
                                    m_tabs.updateContent(*formatted, id);
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

QFuture<bool> NBEWorkspaceSaving::flushTab(const QUuid &id)
{
    if (!m_tabs.find(id))
        return QtFuture::makeReadyFuture(true);
    return queueSave(id, [this, id] {
        const NBEOpenTab *tab = m_tabs.find(id);
        if (!tab)
            return QtFuture::makeReadyFuture(true);
        return write(id, tab->sourceFile.url, tab->sourceFile.content(),
                     tab->sourceFile.buffer->revision(), tab->sourceFile.lineEnding, false,
                     WriteCheck::Ask);
    });
}

QFuture<bool> NBEWorkspaceSaving::write(const QUuid &tabID, const QUrl &url, const QString &text,
                                        quint64 revision, NBELineEnding lineEnding, bool afterwards,
                                        WriteCheck check, bool replaceReadOnly)
{
    const auto [done, finish] = nbePendingResult<bool>();
    std::optional<NBEDiskKnowledge> known;
    const NBEOpenTab *tab = m_tabs.find(tabID);
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
                    Q_EMIT failed(tr("Failed to save: ") + reason);
                else if (!m_autoSaveFailures.contains(reason))
                    Q_EMIT noticed(tr("Failed to save: ") + reason);
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
            if (NBEOpenTab *tab = m_tabs.findTab(tabID); tab && tab->sourceFile.url == url) {
                tab->sourceFile.diskStamp = result->stamp;
                const bool wasMissing = std::exchange(tab->sourceFile.isMissingOnDisk, false);
                tab->sourceFile.buffer->markSaved(revision);
                if (wasMissing)
                    m_tabs.announceInPlaceChange();
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

QFuture<bool> NBEWorkspaceSaving::settleReadOnly(const QUrl &url, WriteCheck check)
{
    const QString refused = tr("Failed to save: “%1” is not writable.").arg(url.fileName());
    if (check == WriteCheck::SkipQuietly) {
        // Said once, as other reasons an automatic save fails.
        if (!m_autoSaveFailures.contains(refused)) {
            m_autoSaveFailures.insert(refused);
            Q_EMIT noticed(refused);
        }
        return QtFuture::makeReadyFuture(false);
    }
    const auto [done, answer] = nbePendingResult<bool>();
    nbeWhenFinished(m_desktop->askAboutReadOnlyFile(url.fileName()), this,
                    [this, refused, answer](NBEOutsideChangeChoice choice) {
                        // The user's own Cancel needs no word.
                        if (choice == NBEOutsideChangeChoice::Unanswered)
                            Q_EMIT failed(refused);
                        answer(choice == NBEOutsideChangeChoice::Overwrite);
                    });
    return done;
}

QFuture<bool> NBEWorkspaceSaving::settleOutsideChange(const QUuid &tabID, const QUrl &url,
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
                    ? tr("“%1” is no longer on disk, so it wasn't saved automatically.").arg(name)
                    : tr("“%1” changed on disk, so it wasn't saved automatically.").arg(name));
        }
        return QtFuture::makeReadyFuture(false);
    }
    const auto [done, answer] = nbePendingResult<bool>();
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
                                    NBEOpenTab *tab = m_tabs.findTab(tabID);
                                    if (!read)
                                        Q_EMIT failed(tr("Failed to read file: ") +
                                                      read.error().description);
                                    else if (tab && tab->sourceFile.url == url)
                                        showDiskText(*tab, *read);
                                    answer(false);
                                });
                return;
            }
            Q_EMIT failed(vanished
                              ? tr("“%1” is no longer on disk; your edits weren't saved.").arg(name)
                              : tr("“%1” changed on disk; your edits weren't saved.").arg(name));
            answer(false);
        });
    return done;
}

void NBEWorkspaceSaving::showDiskText(NBEOpenTab &tab, const NBETextFile &file)
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
    if (NBEOpenTab *shown = m_tabs.findTab(id))
        shown->isEphemeral = ephemeral;
    m_tabs.announceInPlaceChange();
}

bool NBEWorkspaceSaving::holdsTheSameText(const NBESourceFile &sourceFile, const NBETextFile &file)
{
    return sourceFile.diskStamp && file.stamp && !file.stamp->digest.isEmpty() &&
           file.stamp->digest == sourceFile.diskStamp->digest &&
           file.lineEnding == sourceFile.lineEnding &&
           file.byteOrderMark == sourceFile.byteOrderMark;
}

void NBEWorkspaceSaving::takeDiskForm(NBESourceFile &sourceFile, const NBETextFile &file)
{
    sourceFile.lineEnding = file.lineEnding;
    sourceFile.byteOrderMark = file.byteOrderMark;
    sourceFile.diskStamp = file.stamp;
    sourceFile.isMissingOnDisk = false;
}

QFuture<std::optional<QString>>
NBEWorkspaceSaving::formatForSave(const QUrl &url, const QString &text,
                                  const std::optional<QString> &language)
{
    const QString indentUnit = currentIndentUnit();
    auto builtIn = [text, language, indentUnit] {
        return QtConcurrent::run([text, language, indentUnit] {
            return NBEFormatter::format(text, language, indentUnit);
        });
    };
    if (!m_servers.hasWebLSP(language))
        return builtIn();

    // The server goes first, but only for so long: a slow or silent server
    // falls back to the built-in formatter.
    const auto [done, finish] = nbePendingResult<std::optional<QString>>();
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

void NBEWorkspaceSaving::autoSaveOnFocusChange()
{
    if (m_preferences.autoSaveMode() != QLatin1String("onFocusChange") || !m_tabs.isOpen())
        return;
    QList<QUuid> dirty;
    for (const NBEOpenTab &tab : m_tabs.tabs()) {
        if (tab.sourceFile.isDirty())
            dirty.append(tab.id);
    }
    for (const QUuid &id : dirty)
        saveTab(id, false);
}

QFuture<bool> NBEWorkspaceSaving::saveDirtyTabs(const QList<QUuid> &ids)
{
    QList<QFuture<bool>> writes;
    for (const QUuid &id : ids) {
        const NBEOpenTab *tab = m_tabs.find(id);
        if (!tab || !tab->sourceFile.isDirty())
            continue;
        writes.append(queueSave(id, [this, id] {
            const NBEOpenTab *tab = m_tabs.find(id);
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

QFuture<void> NBEWorkspaceSaving::followDisk(const QStringList &paths)
{
    const QSet<QString> changed(paths.cbegin(), paths.cend());
    QList<QUuid> ids;
    QList<QUrl> urls;
    QList<QFuture<NBEDiskChange>> checks;
    for (const NBEOpenTab &tab : m_tabs.tabs()) {
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
                            const NBEOpenTab *tab = m_tabs.find(ids[i]);
                            if (tab && tab->sourceFile.url == urls[i] &&
                                results[i].resultCount() > 0)
                                followTabFile(ids[i], results[i].result());
                        }
                        promise->finish();
                    });
    return done;
}

void NBEWorkspaceSaving::followTabFile(const QUuid &id, NBEDiskChange change)
{
    NBEOpenTab *tab = m_tabs.findTab(id);
    if (!tab)
        return;
    NBESourceFile &file = tab->sourceFile;
    switch (change) {
    case NBEDiskChange::None:
        // Back in place as the tab knew it.
        if (std::exchange(file.isMissingOnDisk, false))
            m_tabs.announceInPlaceChange();
        return;
    case NBEDiskChange::Vanished:
        // The text lives on in the tab, unsaved, until the user decides.
        if (!std::exchange(file.isMissingOnDisk, true))
            m_tabs.announceInPlaceChange();
        return;
    case NBEDiskChange::Changed:
        if (file.buffer->isDirty()) {
            // Unsaved edits stay; saving asks about the newer file.
            if (std::exchange(file.isMissingOnDisk, false))
                m_tabs.announceInPlaceChange();
            return;
        }
        const QUrl url = file.url;
        const quint64 revision = file.buffer->revision();
        nbeWhenFinished(m_files.readFile(url), this,
                        [this, id, url, revision](const NBEResult<NBETextFile> &read) {
                            NBEOpenTab *now = m_tabs.findTab(id);
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
                            if (m_unreadableNoticed.value(id) != url) {
                                m_unreadableNoticed.insert(id, url);
                                Q_EMIT noticed(tr("Failed to read file: ") +
                                               read.error().description);
                            }
                        });
        return;
    }
}

// --- Tabs under a git command

QFuture<std::optional<NBEGitRewrittenTabs>>
NBEWorkspaceSaving::settleBeforeGit(const std::optional<QList<QUrl>> &files, bool saveEdits)
{
    using Answer = std::optional<NBEGitRewrittenTabs>;
    QList<QUuid> ids;
    if (files) {
        for (const QUrl &file : *files) {
            if (const NBEOpenTab *tab = m_tabs.firstShowing(file); tab && !ids.contains(tab->id))
                ids.append(tab->id);
        }
    } else {
        for (const NBEOpenTab &tab : m_tabs.tabs())
            ids.append(tab.id);
    }
    // Read when git is about to run, so the texts are the ones it replaces.
    auto capture = [this, ids](bool replaceDirty) {
        NBEGitRewrittenTabs tabs;
        for (const QUuid &id : ids) {
            const NBEOpenTab *tab = m_tabs.find(id);
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
        const NBEOpenTab *tab = m_tabs.find(id);
        if (tab->sourceFile.isDirty()) {
            dirtyNames.append(tab->sourceFile.name());
            dirtyIDs.append(id);
        }
    }
    if (dirtyIDs.isEmpty())
        return QtFuture::makeReadyFuture(Answer(capture(true)));

    const auto [done, answer] = nbePendingResult<Answer>();
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

QFuture<void> NBEWorkspaceSaving::reloadRewritten(const NBEGitRewrittenTabs &tabs)
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
                            NBEOpenTab *open = m_tabs.findTab(tab.id);
                            if (read && open && !open->sourceFile.isDirty() &&
                                open->sourceFile.content() == read->text) {
                                takeDiskForm(open->sourceFile, *read);
                                continue;
                            }
                            NBEWorkspaceSaving::UntouchedTab untouched;
                            if (tab.replaceable)
                                untouched = std::make_pair(tab.id, *tab.replaceable);
                            reloadAfterGit(tab.url, read, untouched);
                        }
                        promise->finish();
                    });
    return done;
}

void NBEWorkspaceSaving::reloadAfterGit(const QUrl &file, const NBEResult<NBETextFile> &read,
                                        const UntouchedTab &untouched)
{
    const NBEOpenTab *found = m_tabs.firstShowing(file);
    if (!found)
        return;
    NBEOpenTab *tab = m_tabs.findTab(found->id);
    // Edits the user kept, or typed while git ran, stay in the buffer.
    const bool replace =
        untouched && untouched->first == tab->id && tab->sourceFile.content() == untouched->second;

    if (!read) {
        if (!replace)
            return;
        // The file went to the trash: its tab goes too, and the rightmost
        // remaining tab takes over as when a tab is closed.
        const QString path = NBEFileService::keyPath(tab->sourceFile.url);
        m_tabs.closeMatching([&path](const QString &each) { return each == path; });
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
