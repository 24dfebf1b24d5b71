#pragma once

#include "NBEEditorSettings.h"
#include "NBEFileTreeView.h"
#include "NBEOpenTab.h"
#include "NBEOutlineView.h"
#include "NBESidebarView.h"
#include "NBESourceEditor.h"
#include "NBETheme.h"
#include "NBEWorkspaceViewModel.h"

#include <QKeyEvent>
#include <QMessageBox>
#include <QPointer>
#include <QUrl>
#include <QUuid>
#include <QWidget>

#include <memory>
#include <optional>
#include <vector>

class NBEFileTreeView;
class NBEGitDiffView;
class NBEHTMLToolbar;
class NBEMarkdownToolbar;
class NBEHTMLSplitView;
class NBEMarkdownPreview;
class NBENoticeBar;
class NBEOpeningView;
class NBEStatusBar;
class NBETabBar;
class NBEWidgetDesktop;
class QFrame;
class QLabel;
class QSplitter;
class QStackedWidget;
class QVBoxLayout;

// The content of one project window: it owns the window's view model, loads
// the folder when started, takes files queued for its folder, shows the view
// model's errors in one alert, and says when the folder was closed. Sidebar
// with its mode picker over the pane of the mode; detail column with the tab
// bar, the formatting toolbar of the active tab's language and its editor
// above the status bar, or an empty state.
class NBEMainView : public QWidget
{
    Q_OBJECT

public:
    explicit NBEMainView(const QUrl &rootURL, QWidget *parent = nullptr);
    // With the view model's surroundings given (its desktop is the window's).
    NBEMainView(const QUrl &rootURL, NBEWorkspaceEnvironment environment,
                QWidget *parent = nullptr);
    ~NBEMainView() override;

    QUrl rootURL() const { return m_rootURL; }
    NBEWorkspaceViewModel *viewModel() const { return m_viewModel; }

    // Loads the folder (unless loaded) and then opens the files queued for it.
    void start();

    // The editor settings from the view model's preferences.
    NBEEditorSettings currentSettings() const;
    // The built-in dark theme for the "dark" appearance, or for "system" on
    // a dark palette; the light one otherwise.
    static NBETheme currentTheme(const QPalette &palette,
                                 const QString &appearance = QStringLiteral("system"));

    // The window stopped being the active one.
    void windowDeactivated();

    NBESidebarView *sidebar() const { return m_sidebar; }
    // The panes of the sidebar's current mode; null in the other modes.
    NBEFileTreeView *fileTree() const { return m_fileTree; }
    NBEOutlineView *outline() const { return m_outline; }
    NBEMarkdownToolbar *markdownToolbar() const { return m_markdownToolbar; }
    NBEHTMLToolbar *htmlToolbar() const { return m_htmlToolbar; }
    NBETabBar *tabBar() const { return m_tabBar; }
    // The active tab's source editor, alone or beside its page; none while
    // a Markdown tab shows its preview.
    NBESourceEditor *sourceEditor() const;
    // Gives the keys to the active tab's pane, when there is one.
    void focusEditor();
    NBEHTMLSplitView *htmlSplitView() const;
    NBEMarkdownPreview *markdownPreview() const;
    NBEStatusBar *statusBar() const { return m_statusBar; }
    // The diff shown in place of the tabs, if one was asked for.
    NBEGitDiffView *diffView() const;
    bool isShowingEmptyState() const;
    QMessageBox *errorAlert() const { return m_alert; }
    NBENoticeBar *noticeBar() const { return m_noticeBar; }

Q_SIGNALS:
    // The folder was closed (the workspace went away after it was open).
    void workspaceClosed();
    // Loading finished and the queued files were asked for.
    void started();

protected:
    void changeEvent(QEvent *event) override;
    // Holds the keys typed while a file opened for good still loads.
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // What the active tab shows: its source, its rendered Markdown in place
    // of the source, or its source beside its live page.
    enum class PaneKind { editor, markdownPreview, htmlSplit };
    static PaneKind paneKind(const NBEOpenTab &tab);
    QWidget *editorView(const NBEOpenTab &tab);
    void updatePane(const NBEOpenTab &tab);

    void refresh();
    // The start of a file being opened stands in for the pane until its tab
    // comes.
    void showOpening();
    void showDetail(bool hasTabs);
    void refreshDiff();
    void refreshFileTree();
    void refreshFormattingToolbars();
    void showError();
    void applySettings();
    NBETheme theme() const;
    // The pane of a sidebar mode, built afresh on every switch.
    QWidget *makePane(NBESidebarMode mode, QWidget *parent);

    QUrl m_rootURL;
    std::shared_ptr<NBEWidgetDesktop> m_desktop;
    NBEWorkspaceViewModel *m_viewModel;
    NBEFileTreeActions m_fileTreeActions;
    NBESidebarView *m_sidebar;
    QPointer<NBEFileTreeView> m_fileTree;
    QPointer<NBEOutlineView> m_outline;
    QStackedWidget *m_detail;
    QWidget *m_empty;
    NBEMarkdownToolbar *m_markdownToolbar;
    QFrame *m_markdownDivider;
    NBEHTMLToolbar *m_htmlToolbar;
    QFrame *m_htmlDivider;
    QWidget *m_tabArea;
    QVBoxLayout *m_tabAreaLayout;
    NBETabBar *m_tabBar;
    NBEStatusBar *m_statusBar;
    QFrame *m_statusDivider;
    QWidget *m_noEditor;
    QPointer<NBEGitDiffView> m_diffView;
    // Rebuilt for another tab or another kind of pane.
    QPointer<QWidget> m_pane;
    QPointer<NBEOpeningView> m_openingView;
    std::optional<QUuid> m_paneTabID;
    PaneKind m_paneKind = PaneKind::editor;
    QPointer<QMessageBox> m_alert;
    NBENoticeBar *m_noticeBar = nullptr;
    bool m_hadWorkspace = false;
    int m_opening = 0;
    std::vector<std::unique_ptr<QKeyEvent>> m_heldKeys;
};
