#pragma once

#include <QPointer>
#include <QToolBar>

class NBEGitState;
class NBEWorkspaceFiles;
class NBEWorkspaceGit;
class NBEWorkspaceTabs;
class QAction;
class QLabel;
class QMenu;
class QToolButton;

// The project window's toolbar, in order: the project menu, the branch menu
// (while the folder is a git repository), the transient sync status (while
// the view model has one) and, at the far end, the preview toggle (while the
// active tab can be previewed). The branch menu and the preview toggle are
// slots their own views fill; an item whose condition fails takes no room.
class NBEWindowToolbar : public QToolBar
{
    Q_OBJECT

public:
    // The owners whose state the toolbar shows.
    struct Sources
    {
        NBEWorkspaceFiles &files;
        NBEWorkspaceTabs &tabs;
        NBEGitState &gitState;
        NBEWorkspaceGit &git;
    };

    NBEWindowToolbar(Sources sources, QMenu *projectMenu, QWidget *parent = nullptr);

    QToolButton *projectButton() const { return m_projectButton; }
    // The status label's widget and whether it is shown.
    QWidget *syncStatusItem() const { return m_syncItem; }
    QLabel *syncStatusText() const { return m_syncText; }
    bool isShowingSyncStatus() const;

    // The widget shown as item 2; replaces an earlier one.
    void setBranchMenu(QWidget *menu);
    QWidget *branchMenu() const { return m_branchMenu; }
    // The widget shown as item 4; replaces an earlier one.
    void setPreviewToggle(QWidget *toggle);
    QWidget *previewToggle() const { return m_previewToggle; }

    void refresh();

private:
    Sources m_sources;
    QToolButton *m_projectButton;
    QAction *m_branchAnchor;
    QAction *m_branchAction = nullptr;
    QPointer<QWidget> m_branchMenu;
    QWidget *m_syncItem;
    QLabel *m_syncText;
    QAction *m_syncAction;
    QWidget *m_spacer;
    QAction *m_previewAction = nullptr;
    QPointer<QWidget> m_previewToggle;
};
