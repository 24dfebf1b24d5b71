#pragma once

#include "NBEGitCommit.h"

#include <QList>
#include <QPointer>
#include <QWidget>

#include <optional>

class NBEGitState;
class NBEWorkspaceHistory;
class NBEWorkspaceNavigation;
class QDialog;
class QLabel;
class QLineEdit;
class QListWidget;
class QStackedWidget;

// The History pane: the newest commits with subject, short hash, author and
// age. A click shows the commit's patch; each commit's menu reverts it
// (after a question), tags it (a sheet offering the application's version)
// or restores one of its files (a sheet naming what will be replaced).
class NBEGitHistoryView : public QWidget
{
    Q_OBJECT

public:
    // A chosen commit's patch is shown through `navigation`.
    NBEGitHistoryView(const NBEGitState &git, NBEWorkspaceHistory &history,
                      NBEWorkspaceNavigation &navigation, QWidget *parent = nullptr);

    QListWidget *list() const { return m_list; }
    QLabel *stateLabel() const { return m_state; }
    const QList<NBEGitCommit> &shownCommits() const { return m_commits; }

    // The commit menu's entries, as the menu runs them.
    void revert(const NBEGitCommit &commit);
    QDialog *createTag(const NBEGitCommit &commit);
    QDialog *restoreFile(const NBEGitCommit &commit);

    // The sheet shown now, if any.
    QDialog *tagSheet() const { return m_tagSheet; }
    QDialog *restoreSheet() const { return m_restoreSheet; }

protected:
    void showEvent(QShowEvent *event) override;

private:
    void refresh();
    void reloadIfHeadMoved();
    void showContextMenu(const QPoint &at);

    const NBEGitState *m_git;
    NBEWorkspaceHistory *m_history;
    NBEWorkspaceNavigation *m_navigation;
    QStackedWidget *m_pages;
    QLabel *m_state;
    QListWidget *m_list;
    QList<NBEGitCommit> m_commits;
    std::optional<std::optional<QString>> m_loadedHead;
    QPointer<QDialog> m_tagSheet;
    QPointer<QDialog> m_restoreSheet;
};
