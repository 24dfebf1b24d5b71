#pragma once

#include "NBEEditorSession.h"
#include "NBEEditorSettings.h"
#include "NBEScrollLink.h"
#include "NBETheme.h"

#include <QPointer>
#include <QUuid>
#include <QWidget>

class NBETextEditorView;
class NBEWorkspaceViewModel;

// Shows one open tab in the code editor and feeds the editor's session from
// the window's view model: the tab's buffer, language, diagnostics, the HEAD
// text for change markers, reveal requests, the web language server's
// completion, hover and formatting, and the hunk actions; the caret goes
// back. Renders again (once per turn of the event loop) when the view
// model's tabs, diagnostics or git state change, and the session announces
// only what changed; never for an edit or a caret move.
class NBESourceEditor : public QWidget
{
    Q_OBJECT

public:
    NBESourceEditor(NBEWorkspaceViewModel *viewModel, const QUuid &tabID, const NBETheme &theme,
                    const NBEEditorSettings &settings, NBEScrollLink *scrollLink = nullptr,
                    QWidget *parent = nullptr);

    void setTheme(const NBETheme &theme);
    void setSettings(const NBEEditorSettings &settings);

    NBETextEditorView *editor() const { return m_editor; }
    // What the editor is fed: the tab's buffer and what goes with it.
    NBEEditorSession *session() const { return m_session.get(); }
    QUuid tabID() const { return m_tabID; }
    std::optional<QString> headContent() const { return m_headContent; }
    // The identity of the HEAD text request: the file's path and HEAD commit.
    QString headTaskKey() const;

    // The editor's hunk actions. Staging writes the buffer first and stages
    // nothing when that write failed (its error is already shown); unstaging
    // writes nothing; after a discard in the buffer the file is written, the
    // hunk leaves the index and the git state is refreshed. The futures end
    // when all of that is done; staging says whether the hunk was staged.
    QFuture<bool> stageHunk(const NBEDiffHunk &hunk) const;
    QFuture<bool> unstageHunk(const NBEDiffHunk &hunk) const;
    QFuture<void> didDiscardHunk(const NBEDiffHunk &hunk) const;
    // Carries the view model's current state into the editor now.
    void render();

private:
    void makeEditor();
    // Carries the tab's state from the view model into the session; each
    // part the session announces only when it changed.
    void pushState();
    NBEEditorProviders providers(const QUrl &url, const std::optional<QUrl> &projectRoot,
                                 bool served) const;
    NBEEditorHunkActions hunkActions() const;
    void takeReveal();
    void scheduleRender();
    void reloadHeadIfNeeded();
    QUrl fileURL() const;

    NBEWorkspaceViewModel *m_viewModel;
    QUuid m_tabID;
    NBETheme m_theme;
    NBEEditorSettings m_settings;
    QPointer<NBEScrollLink> m_scrollLink;
    std::optional<QString> m_headContent;
    QString m_headKey;
    quint64 m_headRequest = 0;
    bool m_renderPending = false;
    NBETextEditorView *m_editor = nullptr;
    std::shared_ptr<NBEEditorSession> m_session;
    QString m_providersKey;
    // The buffer the editor was made for (identity only).
    const NBETextBuffer *m_buffer = nullptr;
};
