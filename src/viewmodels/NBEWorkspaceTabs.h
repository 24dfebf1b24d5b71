#pragma once

#include "NBEFileService.h"
#include "NBEGitRewrittenTab.h"
#include "NBEHTMLAction.h"
#include "NBEMarkdownAction.h"
#include "NBEOpenTab.h"
#include "NBEOpeningFile.h"
#include "NBERecoveredEdits.h"
#include "NBEWorkspaceTimings.h"

#include <QFuture>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPromise>
#include <QSet>
#include <QUuid>

#include <functional>
#include <memory>
#include <optional>
#include <utility>

class NBEDiagnosticsStore;
class NBEEditorDocument;
class NBEGitState;
class NBEHTMLValidation;
class NBEPreferences;
struct NBETextChange;
class NBEWorkspaceDesktop;
class NBEWorkspaceLanguageServers;
class QTimer;

// The open tabs of a folder and their buffers: opening, activating, moving
// and closing them, edits and carets, saving (with format on save) and
// auto-save, and following their files when other programs change them.
// Edits travel on to the language servers and the built-in HTML check.
class NBEWorkspaceTabs : public QObject
{
    Q_OBJECT

public:
    NBEWorkspaceTabs(NBEFileService &files, std::shared_ptr<NBEWorkspaceDesktop> desktop,
                     NBEPreferences &preferences, NBEWorkspaceLanguageServers &servers,
                     NBEDiagnosticsStore &diagnostics, NBEHTMLValidation &validation,
                     NBEGitState &git, NBEWorkspaceTimings timings, QObject *parent = nullptr);
    ~NBEWorkspaceTabs() override;

    // In tab-bar order.
    const QList<NBEOpenTab> &tabs() const { return m_tabs; }
    const std::optional<QUuid> &activeTabID() const { return m_activeTabID; }
    const NBEOpenTab *find(const QUuid &id) const;
    std::optional<NBEOpenTab> activeTab() const;
    const NBEOpenTab *firstShowing(const QUrl &file) const;
    // What the tab's editors show: its buffer, file and language as the tab
    // has them, the editor preferences and the file's diagnostics, each
    // kept current here. Null for an unknown tab.
    std::shared_ptr<NBEEditorDocument> document(const QUuid &tabID) const;
    // The latest file read for opening whose tab is still being made.
    const std::optional<NBEOpeningFile> &opening() const { return m_opening; }
    // Forgets every tab without asking, as a folder opens or closes; says
    // whether there was anything to forget (and announced it).
    bool clear();
    // Tabs live only in an open folder: told by the folder's owner as it
    // opens and closes. Nothing opens without one.
    bool isOpen() const { return m_isOpen; }
    void setFolderOpen(bool open) { m_isOpen = open; }

    // Activates the file's tab, or reads the file and opens it: as the
    // single preview tab (reused in place) or for good.
    QFuture<void> openFile(const QUrl &at, bool asPreview);
    void setActiveTab(const QUuid &id);
    void moveTab(int fromIndex, int toIndex);
    void togglePreview(const QUuid &id);
    // Closing asks about unsaved edits (Save / Don't Save / Cancel); the
    // future says whether the tabs were closed.
    QFuture<bool> closeTab(const QUuid &id);
    QFuture<bool> closeOtherTabs(const QUuid &keeping);
    QFuture<bool> closeAllTabs();
    // Asks about every tab's unsaved edits as closing them does, but closes
    // nothing: Save writes them, Don't Save leaves them to whatever closes
    // next. False on Cancel or a failed save.
    QFuture<bool> settleUnsavedEdits();
    // Asks about unsaved edits among `ids` and runs `close` unless the user
    // cancelled or a save failed; the future says whether it ran.
    QFuture<bool> closeAsking(const QList<QUuid> &ids, std::function<void()> close);
    // Closes, without asking, the tabs whose clean file paths match.
    void closeMatching(const std::function<bool(const QString &path)> &matches);
    // Points each tab at the clean path `moved` gives for its own, keeping
    // ids, buffers and carets; the servers hear of it.
    void retarget(const std::function<std::optional<QString>(const QString &path)> &moved);
    // The text of every tab with unsaved edits, as saving would write it.
    QList<NBEUnsavedText> unsavedTexts() const;

    // Replaces the whole text from outside; an equal text changes nothing.
    void updateContent(const QString &content, const QUuid &forTab);
    void updateCursorPosition(int line, int column, const QUuid &forTab);

    // Saves one tab; an unforced save of an unchanged tab does nothing.
    QFuture<bool> saveTab(const QUuid &id, bool force);
    // Writes the tab's text as it is (no formatting) and marks it saved.
    QFuture<bool> flushTab(const QUuid &id);
    // Writes the dirty ones among `ids`; true when every write succeeded.
    QFuture<bool> saveDirtyTabs(const QList<QUuid> &ids);
    void autoSaveOnFocusChange();
    QString currentIndentUnit() const;

    // Checks the tabs whose files are at or below `paths` (every tab when
    // empty) against the disk: a clean tab shows the new text, a vanished
    // file marks its tab. Ends once every tab was checked.
    QFuture<void> followDisk(const QStringList &paths);

    // Asks about unsaved edits in the tabs of `files` (every tab when
    // absent) before git rewrites them. Nothing on Cancel or when saving
    // failed; Save writes the edits first when `saveEdits`, else keeps them.
    QFuture<std::optional<NBEGitRewrittenTabs>>
    settleBeforeGit(const std::optional<QList<QUrl>> &files, bool saveEdits);
    // Shows each tab's file as git left it; edits typed meanwhile or kept
    // stay in their buffers.
    QFuture<void> reloadRewritten(const NBEGitRewrittenTabs &tabs);
    // The tab's id and text when a git command started: only a buffer still
    // holding that text is replaced by the file's new text (or closed when
    // the file is gone).
    using UntouchedTab = std::optional<std::pair<QUuid, QString>>;
    void reloadAfterGit(const QUrl &file, const NBEResult<NBETextFile> &read,
                        const UntouchedTab &untouched);

Q_SIGNALS:
    // The open tabs, their files, saved states or preview flags, or the
    // active tab changed.
    void tabsChanged();
    // opening() changed: just before the tab comes (in the same turn).
    void openingChanged();
    // One tab's text changed (every edit).
    void tabContentChanged(const QUuid &tabID);
    // One tab's edits paused: the moment to read its whole text.
    void tabContentSettled(const QUuid &tabID);
    // One tab's caret moved; also when it was reported again unmoved.
    void cursorPositionChanged(const QUuid &tabID);
    // A one-sentence failure for the window to show.
    void failed(const QString &message);
    // The same for what went wrong without a command (an automatic save, a
    // file followed from disk): it may come while the user types.
    void noticed(const QString &message);
    // A new tab's document, announced as the tab appears: before anyone
    // else hears tabsChanged().
    void documentOpened(NBEEditorDocument *document);
    // One-shot edits of a tab's text, announced once per request; the
    // editor of that tab applies them.
    void markdownEditRequested(const QUuid &tabID, NBEMarkdownAction action);
    void htmlEditRequested(const QUuid &tabID, NBEHTMLAction action);
    void formatRequested(const QUuid &tabID);

private:
    NBEOpenTab *findTab(const QUuid &id);
    // Stores the tabs and the active one, announcing when either differs.
    void setTabs(const QList<NBEOpenTab> &tabs, const std::optional<QUuid> &active);
    // Removes the tabs `closing` picks; the rightmost remaining tab takes
    // over when the active one went. Returns the closed files.
    QList<QUrl> removeTabs(const std::function<bool(const NBEOpenTab &)> &closing);
    // Builds the buffer of a file read for opening, then its tab.
    void takeIn(const QUrl &url, bool asPreview, const NBETextFile &file,
                const std::shared_ptr<QPromise<void>> &promise);
    void finishOpening(const QUrl &url, bool asPreview, const NBESourceFile &sourceFile,
                       const QString &text);
    // The file's diagnostics and pending check go with its tab.
    void forgetFile(const QUrl &url);
    // Gives each tab a document that follows it; a closed tab's goes.
    void updateDocuments();
    bool hasWebLSP(const std::optional<QString> &languageID) const;

    // Hears a tab's buffer: its edits travel on to the servers, the HTML
    // check and auto-save; a new buffer is heard once.
    void followBuffer(const QUuid &tabID, const std::shared_ptr<NBETextBuffer> &buffer);
    void bufferChanged(const QUuid &tabID, const NBETextBuffer *buffer,
                       const NBETextChange &change);

    void scheduleAutoSave(const QUuid &forTab);
    // Runs `save` once no earlier save of the tab runs, so each save finds
    // the tab (its text and what it knows of the disk) as the last one left
    // it.
    QFuture<bool> queueSave(const QUuid &id, const std::function<QFuture<bool>()> &save);
    QFuture<bool> saveNow(const QUuid &id, bool force);
    // How a write treats a file changed on disk since the tab last read or
    // wrote it: ask the user, skip it (automatic saves), or write anyway.
    enum class WriteCheck { Ask, SkipQuietly, Overwrite };
    // Writes `text`, the buffer's text as of `revision`, and once written
    // marks the tab saved unless it was edited since. A read-only file is
    // replaced only with `replaceReadOnly` (the user said so).
    QFuture<bool> write(const QUuid &tabID, const QUrl &url, const QString &text, quint64 revision,
                        NBELineEnding lineEnding, bool afterwards, WriteCheck check,
                        bool replaceReadOnly = false);
    // A write found the file read-only: says so or asks. The future says
    // whether to replace it.
    QFuture<bool> settleReadOnly(const QUrl &url, WriteCheck check);
    // A write found `change` on disk: says so or asks. The future says
    // whether to overwrite.
    QFuture<bool> settleOutsideChange(const QUuid &tabID, const QUrl &url, NBEDiskChange change,
                                      WriteCheck check);
    QFuture<std::optional<QString>> formatForSave(const QUrl &url, const QString &text,
                                                  const std::optional<QString> &languageID);
    void followTabFile(const QUuid &id, NBEDiskChange change);
    // The tab shows the file's text as read, clean; its editor keeps the
    // buffer and the servers hear of the new text as an edit.
    void showDiskText(NBEOpenTab &tab, const NBETextFile &file);
    // The file as read is what the tab knows of the disk: its stamp, and the
    // line ending and mark a save writes back.
    static void takeDiskForm(NBESourceFile &sourceFile, const NBETextFile &file);
    // The file as read holds the text, line ending and mark the tab last
    // read or wrote (by digest).
    static bool holdsTheSameText(const NBESourceFile &sourceFile, const NBETextFile &file);

    NBEFileService &m_files;
    std::shared_ptr<NBEWorkspaceDesktop> m_desktop;
    NBEPreferences &m_preferences;
    NBEWorkspaceLanguageServers &m_servers;
    NBEDiagnosticsStore &m_diagnostics;
    NBEHTMLValidation &m_validation;
    // Refreshed after a save.
    NBEGitState &m_git;
    NBEWorkspaceTimings m_timings;
    bool m_isOpen = false;

    QList<NBEOpenTab> m_tabs;
    std::optional<QUuid> m_activeTabID;
    std::optional<NBEOpeningFile> m_opening;
    QSet<const NBETextBuffer *> m_followedBuffers;
    QHash<QUuid, QTimer *> m_autoSaveTimers;
    // The latest save of each tab; a new one waits for it.
    QHash<QUuid, QFuture<bool>> m_savesRunning;
    // Tabs whose automatic save was skipped over an outside change, and said
    // so.
    QSet<QUuid> m_outsideChangeNoticed;
    // Clean tabs whose changed file couldn't be read to follow it, and said so.
    QSet<QUuid> m_unreadableNoticed;
    // Why automatic saves failed, each said once; forgotten at the next save
    // that succeeds.
    QSet<QString> m_autoSaveFailures;
    QHash<QUuid, std::shared_ptr<NBEEditorDocument>> m_documents;
};
