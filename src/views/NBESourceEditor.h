#pragma once

#include "NBEEditorSettings.h"
#include "NBEScrollLink.h"
#include "NBETextEditorInputs.h"
#include "NBETheme.h"

#include <QPointer>
#include <QUuid>
#include <QWidget>

class NBETextEditorView;
class NBEWorkspaceViewModel;

// Shows one open tab in the code editor and binds every input and callback
// of the editor to the window's view model: text, caret, reveal requests,
// diagnostics, the HEAD text for change markers and the web language
// server's completion, hover and formatting. The editor shows the tab's buffer itself. Renders
// again (once per turn of the event loop) when the view model's tabs, diagnostics, git state or
// requests change; never for an edit or a caret move.
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
    QUuid tabID() const { return m_tabID; }
    std::optional<QString> headContent() const { return m_headContent; }
    // The identity of the HEAD text request: the file's path and HEAD commit.
    QString headTaskKey() const;

    NBETextEditorInputs inputs() const;
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
    // The buffer the editor was made for (identity only).
    const NBETextBuffer *m_buffer = nullptr;
};
