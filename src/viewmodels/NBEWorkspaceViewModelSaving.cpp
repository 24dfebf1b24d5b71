// Saving (with format on save), flushing and the three auto-save modes.
#include "NBEWorkspaceViewModel.h"

#include "NBEWhenFinished.h"

#include "NBEEditorSettings.h"
#include "NBEFormatter.h"
#include "NBELog.h"

#include <QPromise>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <cmath>

namespace {

std::optional<QString> languageID(const NBEOpenTab &tab)
{
    if (!tab.language)
        return std::nullopt;
    return tab.language->id;
}

} // namespace

QString NBEWorkspaceViewModel::autoSaveMode() const
{
    return preferences().autoSaveMode();
}

double NBEWorkspaceViewModel::autoSaveDelay() const
{
    return preferences().autoSaveDelay();
}

bool NBEWorkspaceViewModel::softTabsSetting() const
{
    return preferences().useSoftTabs();
}

int NBEWorkspaceViewModel::tabSizeSetting() const
{
    return preferences().tabSize();
}

QString NBEWorkspaceViewModel::currentIndentUnit() const
{
    NBEEditorSettings settings;
    settings.tabSize = tabSizeSetting();
    settings.useSoftTabs = softTabsSetting();
    return settings.indentUnit();
}

void NBEWorkspaceViewModel::scheduleAutoSave(const QUuid &forTab)
{
    QTimer *&timer = m_autoSaveTimers[forTab];
    if (!timer) {
        // Owned by the view model, so a timer never fires into a released one.
        timer = new QTimer(this);
        timer->setSingleShot(true);
        timer->setTimerType(Qt::PreciseTimer);
        connect(timer, &QTimer::timeout, this, [this, forTab] { saveTab(forTab, false); });
    }
    const double seconds = autoSaveDelay() * m_environment.timings.autoSaveDelayScale;
    timer->start(int(std::llround(seconds * 1000.0)));
}

QFuture<bool> NBEWorkspaceViewModel::saveTab(const QUuid &id, bool force)
{
    return queueSave(id, [this, id, force] { return saveNow(id, force); });
}

QFuture<bool> NBEWorkspaceViewModel::queueSave(const QUuid &id,
                                               const std::function<QFuture<bool>()> &save)
{
    // One focus loss reaches the view model more than once (the application
    // and the window both report it): a second save that ran beside the
    // first would write the text the first one is formatting over its result.
    const QFuture<bool> before = m_savesRunning.value(id);
    QFuture<bool> done;
    if (!before.isValid() || before.isFinished()) {
        done = save();
    } else {
        auto promise = std::make_shared<QPromise<bool>>();
        promise->start();
        done = promise->future();
        nbeWhenFinished(before, this, [this, save, promise](bool) {
            nbeWhenFinished(save(), this, [promise](bool ok) {
                promise->addResult(ok);
                promise->finish();
            });
        });
    }
    m_savesRunning.insert(id, done);
    nbeWhenFinished(done, this, [this, id](bool) {
        // The last save of the tab is done: nothing to wait for.
        if (m_savesRunning.value(id).isFinished())
            m_savesRunning.remove(id);
    });
    return done;
}

QFuture<bool> NBEWorkspaceViewModel::saveNow(const QUuid &id, bool force)
{
    const NBEOpenTab *tab = findTab(id);
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
    const bool shouldFormat = (force || autoSaveMode() == QLatin1String("onFocusChange")) &&
                              preferences().formatOnSave() && NBEFormatter::canFormat(language);
    if (!shouldFormat)
        return write(id, url, text, revision, lineEnding, true, check);

    auto promise = std::make_shared<QPromise<bool>>();
    promise->start();
    QFuture<bool> done = promise->future();
    nbeWhenFinished(formatForSave(url, text, language), this,
                    [this, id, url, text, revision, lineEnding, check,
                     promise](std::optional<QString> formatted) {
                        QString toWrite = text;
                        quint64 written = revision;
                        if (formatted && *formatted != text) {
                            // Text typed while the formatter ran is never replaced: the
                            // captured text is written and the tab stays dirty.
                            const NBEOpenTab *current = findTab(id);
                            if (current && current->sourceFile.buffer->revision() == revision) {
                                updateContent(*formatted, id);
                                toWrite = *formatted;
                                written = current->sourceFile.buffer->revision();
                            }
                        }
                        nbeWhenFinished(write(id, url, toWrite, written, lineEnding, true, check),
                                        this, [promise](bool ok) {
                                            promise->addResult(ok);
                                            promise->finish();
                                        });
                    });
    return done;
}

QFuture<bool> NBEWorkspaceViewModel::flushTab(const QUuid &id)
{
    if (!findTab(id))
        return QtFuture::makeReadyFuture(true);
    return queueSave(id, [this, id] {
        const NBEOpenTab *tab = findTab(id);
        if (!tab)
            return QtFuture::makeReadyFuture(true);
        return write(id, tab->sourceFile.url, tab->sourceFile.content(),
                     tab->sourceFile.buffer->revision(), tab->sourceFile.lineEnding, false,
                     WriteCheck::Ask);
    });
}

QFuture<bool> NBEWorkspaceViewModel::write(const QUuid &tabID, const QUrl &url, const QString &text,
                                           quint64 revision, NBELineEnding lineEnding,
                                           bool afterwards, WriteCheck check)
{
    auto promise = std::make_shared<QPromise<bool>>();
    promise->start();
    QFuture<bool> done = promise->future();
    auto finish = [promise](bool ok) {
        promise->addResult(ok);
        promise->finish();
    };
    std::optional<NBEDiskKnowledge> known;
    if (const NBEOpenTab *tab = findTab(tabID); tab && check != WriteCheck::Overwrite)
        known = NBEDiskKnowledge{tab->sourceFile.diskStamp, tab->sourceFile.isMissingOnDisk};
    nbeWhenFinished(
        m_fileService.writeFileChecked(text, url, lineEnding, known), this,
        [this, tabID, url, text, revision, lineEnding, afterwards, check,
         finish](NBEResult<NBEWritten> result) {
            if (!result) {
                setErrorMessage(QStringLiteral("Failed to save: ") + result.error().description);
                if (afterwards)
                    NBELog::fileIO().error("Failed to save: %s", result.error().description);
                finish(false);
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
            nbeWhenFinished(refreshGitStatus(), this, [url, finish] {
                NBELog::fileIO().info("Saved: %s", url.fileName());
                finish(true);
            });
        });
    return done;
}

QFuture<bool> NBEWorkspaceViewModel::settleOutsideChange(const QUuid &tabID, const QUrl &url,
                                                         NBEDiskChange change, WriteCheck check)
{
    const QString name = url.fileName();
    const bool vanished = change == NBEDiskChange::Vanished;
    if (check == WriteCheck::SkipQuietly) {
        // Said once per tab until it is saved or reloaded, not at every pause.
        if (!m_outsideChangeNoticed.contains(tabID)) {
            m_outsideChangeNoticed.insert(tabID);
            setErrorMessage(
                vanished
                    ? QStringLiteral("“%1” is no longer on disk, so it wasn't saved automatically.")
                          .arg(name)
                    : QStringLiteral("“%1” changed on disk, so it wasn't saved automatically.")
                          .arg(name));
        }
        return QtFuture::makeReadyFuture(false);
    }
    auto promise = std::make_shared<QPromise<bool>>();
    promise->start();
    QFuture<bool> done = promise->future();
    nbeWhenFinished(
        m_desktop->askAboutOutsideChange(name, vanished), this,
        [this, tabID, url, name, vanished, promise](NBEOutsideChangeChoice choice) {
            auto answer = [promise](bool overwrite) {
                promise->addResult(overwrite);
                promise->finish();
            };
            if (choice == NBEOutsideChangeChoice::Overwrite) {
                answer(true);
                return;
            }
            if (choice == NBEOutsideChangeChoice::ReloadFromDisk && !vanished) {
                nbeWhenFinished(m_fileService.readFile(url), this,
                                [this, tabID, url, answer](const NBEResult<NBETextFile> &read) {
                                    NBEOpenTab *tab = findTab(tabID);
                                    if (!read)
                                        setErrorMessage(QStringLiteral("Failed to read file: ") +
                                                        read.error().description);
                                    else if (tab && tab->sourceFile.url == url)
                                        showDiskText(*tab, *read);
                                    answer(false);
                                });
                return;
            }
            setErrorMessage(
                vanished
                    ? QStringLiteral("“%1” is no longer on disk; your edits weren't saved.")
                          .arg(name)
                    : QStringLiteral("“%1” changed on disk; your edits weren't saved.").arg(name));
            answer(false);
        });
    return done;
}

void NBEWorkspaceViewModel::showDiskText(NBEOpenTab &tab, const NBETextFile &file)
{
    m_outsideChangeNoticed.remove(tab.id);
    // The editor keeps the buffer, its undo history starts over, and the
    // servers and the built-in check hear of the new text as an edit.
    tab.sourceFile.id = QUuid::createUuid();
    tab.sourceFile.lineEnding = file.lineEnding;
    tab.sourceFile.diskStamp = file.stamp;
    tab.sourceFile.isMissingOnDisk = false;
    tab.sourceFile.buffer->replaceAll(file.text, true);
    Q_EMIT tabsChanged();
}

QFuture<std::optional<QString>>
NBEWorkspaceViewModel::formatForSave(const QUrl &url, const QString &text,
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
    auto promise = std::make_shared<QPromise<std::optional<QString>>>();
    promise->start();
    QFuture<std::optional<QString>> done = promise->future();
    auto settled = std::make_shared<bool>(false);
    auto fallBack = [this, promise, settled, builtIn] {
        if (std::exchange(*settled, true))
            return;
        nbeWhenFinished(builtIn(), this, [promise](std::optional<QString> formatted) {
            promise->addResult(formatted);
            promise->finish();
        });
    };
    QTimer::singleShot(m_environment.timings.serverFormattingLimit, this, fallBack);
    nbeWhenFinished(webFormatting(url, text, tabSizeSetting(), softTabsSetting()), this,
                    [promise, settled, fallBack](std::optional<QString> formatted) {
                        if (!formatted) {
                            fallBack();
                            return;
                        }
                        if (std::exchange(*settled, true))
                            return;
                        promise->addResult(formatted);
                        promise->finish();
                    });
    return done;
}

void NBEWorkspaceViewModel::autoSaveOnFocusChange()
{
    if (autoSaveMode() != QLatin1String("onFocusChange") || !m_workspace)
        return;
    QList<QUuid> dirty;
    for (const NBEOpenTab &tab : m_workspace->openTabs) {
        if (tab.sourceFile.isDirty())
            dirty.append(tab.id);
    }
    for (const QUuid &id : dirty)
        saveTab(id, false);
}

QFuture<bool> NBEWorkspaceViewModel::saveDirtyTabs(const QList<QUuid> &ids)
{
    QList<QFuture<bool>> writes;
    for (const QUuid &id : ids) {
        const NBEOpenTab *tab = findTab(id);
        if (!tab || !tab->sourceFile.isDirty())
            continue;
        writes.append(queueSave(id, [this, id] {
            const NBEOpenTab *tab = findTab(id);
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
