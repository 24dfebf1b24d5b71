#pragma once

#include <QPointer>
#include <QToolButton>

class NBEGitState;
class NBEWorkspaceGit;
class QDialog;
class QMenu;

// The branch menu of the window's toolbar, titled with the current branch:
// switch to another branch, create one, merge one into the current branch,
// delete one (asking first, and again when git refuses an unmerged branch),
// set the remote's URL, pull, push or publish, and set up browser sign-in.
// It is disabled while a pull or push runs.
class NBEGitToolbarMenu : public QToolButton
{
    Q_OBJECT

public:
    NBEGitToolbarMenu(const NBEGitState &state, NBEWorkspaceGit &git, QWidget *parent = nullptr);

    // The menu's entries as they stand now (rebuilt each time it opens).
    QMenu *branchMenu() const { return m_menu; }
    void rebuildMenu();

    // The entries that ask something first.
    QDialog *askNewBranch();
    QDialog *askDeleteBranch(const QString &name);
    QDialog *askRemoteURL();
    // The question shown for a pending forced delete, if any.
    QDialog *forceDeleteQuestion() const { return m_forceQuestion; }

private:
    void refresh();
    void askForceDelete();

    const NBEGitState *m_state;
    NBEWorkspaceGit *m_git;
    QMenu *m_menu;
    QPointer<QDialog> m_forceQuestion;
};
