#pragma once

#include "NBEFileService.h"
#include "NBEHTMLAction.h"
#include "NBEMarkdownAction.h"
#include "NBEOpenTab.h"
#include "NBEOpeningFile.h"
#include "NBERecoveredEdits.h"

#include <QFuture>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QPromise>
#include <QSet>
#include <QUuid>

#include <functional>
#include <memory>
#include <optional>
#include <utility>

class NBEDiagnosticsStore;
class NBEEditorDocument;
class NBEHTMLValidation;
class NBEPreferences;
class NBEWorkspaceSaving;
struct NBETextChange;
class NBEWorkspaceDesktop;
class NBEWorkspaceLanguageServers;

// The open tabs of a folder and their buffers: opening, activating, moving
// and closing them (asking about unsaved edits), edits and carets, and each
// tab's document. Edits travel on to the language servers and the built-in
// HTML check; NBEWorkspaceSaving writes the tabs.
class NBEWorkspaceTabs : public QObject
{
    Q_OBJECT

public:
    NBEWorkspaceTabs(NBEFileService &files, std::shared_ptr<NBEWorkspaceDesktop> desktop,
                     NBEPreferences &preferences, NBEWorkspaceLanguageServers &servers,
                     NBEDiagnosticsStore &diagnostics, NBEHTMLValidation &validation,
                     QObject *parent = nullptr);
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
    // Saving changes a tab in place (what it knows of the disk) and then
    // announces it as a change of the tabs.
    NBEOpenTab *findTab(const QUuid &id);
    void announceInPlaceChange() { Q_EMIT tabsChanged(); }
    // The owner that writes the tabs: closing and a switch away (in the
    // focus-change mode) save through it. It sets itself as it is made.
    void setSaving(NBEWorkspaceSaving *saving);

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

    NBEFileService &m_files;
    std::shared_ptr<NBEWorkspaceDesktop> m_desktop;
    NBEPreferences &m_preferences;
    NBEWorkspaceLanguageServers &m_servers;
    NBEDiagnosticsStore &m_diagnostics;
    NBEHTMLValidation &m_validation;
    bool m_isOpen = false;
    QPointer<NBEWorkspaceSaving> m_saving;

    QList<NBEOpenTab> m_tabs;
    std::optional<QUuid> m_activeTabID;
    std::optional<NBEOpeningFile> m_opening;
    QSet<const NBETextBuffer *> m_followedBuffers;
    QHash<QUuid, std::shared_ptr<NBEEditorDocument>> m_documents;
};
