#pragma once

#include "NBEFileService.h"
#include "NBEGitRewrittenTab.h"
#include "NBEOpenTab.h"
#include "NBEWorkspaceTimings.h"

#include <QFuture>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QStringList>
#include <QUuid>

#include <functional>
#include <memory>
#include <optional>
#include <utility>

class NBEGitState;
class NBEPreferences;
class NBEWorkspaceDesktop;
class NBEWorkspaceLanguageServers;
class NBEWorkspaceTabs;
class QTimer;

// Writing the tabs to disk and following the disk back: saving (with format
// on save), the three auto-save modes, files other programs or git changed,
// and the user's word on unsaved edits before git rewrites files.
class NBEWorkspaceSaving : public QObject
{
    Q_OBJECT

public:
    // Saves `tabs` (and sets itself as their saver); the web servers format
    // before a save, and a save refreshes `git`.
    NBEWorkspaceSaving(NBEWorkspaceTabs &tabs, NBEFileService &files,
                       std::shared_ptr<NBEWorkspaceDesktop> desktop, NBEPreferences &preferences,
                       NBEWorkspaceLanguageServers &servers, NBEGitState &git,
                       NBEWorkspaceTimings timings, QObject *parent = nullptr);
    ~NBEWorkspaceSaving() override;

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
    // A one-sentence failure for the window to show.
    void failed(const QString &message);
    // The same for what went wrong without a command (an automatic save, a
    // file followed from disk): it may come while the user types.
    void noticed(const QString &message);

private:
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

    NBEWorkspaceTabs &m_tabs;
    NBEFileService &m_files;
    std::shared_ptr<NBEWorkspaceDesktop> m_desktop;
    NBEPreferences &m_preferences;
    NBEWorkspaceLanguageServers &m_servers;
    NBEGitState &m_git;
    NBEWorkspaceTimings m_timings;

    QHash<QUuid, QTimer *> m_autoSaveTimers;
    // The latest save of each tab; a new one waits for it.
    QHash<QUuid, QFuture<bool>> m_savesRunning;
    // Tabs whose automatic save was skipped over an outside change, and said
    // so.
    QSet<QUuid> m_outsideChangeNoticed;
    // Clean tabs whose changed file couldn't be read to follow it, and said
    // so, with that file: the preview tab shows one file after another.
    QHash<QUuid, QUrl> m_unreadableNoticed;
    // Why automatic saves failed, each said once; forgotten at the next save
    // that succeeds.
    QSet<QString> m_autoSaveFailures;
};
