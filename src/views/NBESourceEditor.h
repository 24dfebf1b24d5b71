#pragma once

#include "NBEEditorDocument.h"
#include "NBEEditorSession.h"
#include "NBEScrollLink.h"
#include "NBETheme.h"

#include <QPointer>
#include <QUuid>
#include <QWidget>

#include <functional>
#include <memory>

class NBETextEditorView;
class NBEWorkspaceFiles;
class NBEWorkspaceLanguageServers;
class NBEWorkspaceSaving;
class NBEWorkspaceTabs;
class NBEWorkspaceViewModel;
class NBEWorkspaceNavigation;
class NBEWorkspaceWorkingTree;
class NBEGitState;

// What a tab's editor reads and acts on.
struct NBESourceEditorOwners
{
    // The tab's document and caret, and the menu's edit requests.
    NBEWorkspaceTabs &tabs;
    // The tab's flush before a hunk is staged.
    NBEWorkspaceSaving &saving;
    // Reveal requests, and opening files dropped on the text.
    NBEWorkspaceNavigation &navigation;
    // The hunks' index.
    NBEWorkspaceWorkingTree &workingTree;
    // The project root, outside a repository.
    const NBEWorkspaceFiles &files;
    NBEWorkspaceLanguageServers &languageServers;
    // Rebuilt after a discarded hunk left the index.
    NBEGitState &git;

    // The owners a window hands its editors, taken from its view model.
    static NBESourceEditorOwners of(NBEWorkspaceViewModel *viewModel);
};

// Shows one open tab in the code editor: attaches an editor to the tab's
// document, which its owners keep current (language, settings, HEAD text,
// diagnostics), and adds what only this editor has: the look, reveal
// requests, the web language server's completion, hover and formatting, and
// the hunk actions; the caret goes back. Nothing here is redone for an edit
// or a caret move.
class NBESourceEditor : public QWidget
{
    Q_OBJECT

public:
    NBESourceEditor(const NBESourceEditorOwners &owners, const QUuid &tabID, const NBETheme &theme,
                    NBEScrollLink *scrollLink = nullptr, QWidget *parent = nullptr);

    void setTheme(const NBETheme &theme);

    NBETextEditorView *editor() const { return m_editor; }
    // What the editor is fed: the tab's document and what goes with it.
    NBEEditorSession *session() const { return m_session.get(); }
    QUuid tabID() const { return m_tabID; }

    // The editor's hunk actions. Staging writes the buffer first and stages
    // nothing when that write failed (its error is already shown); unstaging
    // writes nothing; after a discard in the buffer the file is written, the
    // hunk leaves the index and the git state is refreshed. The futures end
    // when all of that is done; staging says whether the hunk was staged.
    QFuture<bool> stageHunk(const NBEDiffHunk &hunk) const;
    QFuture<bool> unstageHunk(const NBEDiffHunk &hunk) const;
    QFuture<void> didDiscardHunk(const NBEDiffHunk &hunk) const;
    // Takes a pending reveal of this tab's file now.
    void render();

private:
    void makeEditor();
    // Made again only when what the providers close over changed.
    void updateProviders();
    NBEEditorProviders providers(const QUrl &url, const std::optional<QUrl> &projectRoot,
                                 bool served) const;
    NBEEditorHunkActions hunkActions() const;
    void takeReveal();
    QUrl fileURL() const { return m_document->fileURL(); }

    NBESourceEditorOwners m_owners;
    QUuid m_tabID;
    NBETheme m_theme;
    QPointer<NBEScrollLink> m_scrollLink;
    // Held on to after the tab closes, until this editor goes.
    std::shared_ptr<NBEEditorDocument> m_document;
    NBETextEditorView *m_editor = nullptr;
    std::shared_ptr<NBEEditorSession> m_session;
    QString m_providersKey;
};
