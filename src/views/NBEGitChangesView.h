#pragma once

#include "NBEGitChangeRow.h"

#include <QColor>
#include <QList>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <QWidget>

#include <optional>
#include <utility>

class NBEGitChangeRowDelegate;
class NBEGitChangesModel;
class NBEGitState;
class NBEWorkspaceCommit;
class NBEWorkspaceFiles;
class NBEWorkspaceGit;
class NBEWorkspaceNavigation;
class NBEWorkspaceWorkingTree;
class QCheckBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QStackedWidget;
class QTimer;
class QToolButton;
class QTreeView;
class QVBoxLayout;

// The Source Control pane: the branch with its sync state and the pull and
// push buttons, the commit box bound to the repository's draft (Commit,
// Amend, Generate), then the conflicted, staged and unstaged files. A click
// on a file (or Return on the current row) shows its diff; each file can be
// staged, unstaged (Space) or, after a question, discarded. A merge in
// progress is said above the box, which then concludes it. Ctrl+Return in the
// box commits. Outside a repository it offers to create one.
// What the Source Control pane shows and acts on.
struct NBEGitChangesOwners
{
    const NBEGitState &git;
    // Pull, push and making a repository.
    NBEWorkspaceGit &sync;
    NBEWorkspaceCommit &commitBox;
    // Staging and discarding.
    NBEWorkspaceWorkingTree &workingTree;
    // Diffs shown, opening files.
    NBEWorkspaceNavigation &navigation;
    NBEWorkspaceFiles &files;
};

class NBEGitChangesView : public QWidget
{
    Q_OBJECT

public:
    explicit NBEGitChangesView(const NBEGitChangesOwners &owners, QWidget *parent = nullptr);
    ~NBEGitChangesView() override;

    QList<NBEGitChangeRow> shownRows() const;
    // Runs one of a row's actions as its button would (discard asks first).
    void trigger(int row, NBEGitChangeRow::Action action);
    // Where the row's button for `action` is, in the list's viewport.
    QRect actionRect(int row, NBEGitChangeRow::Action action) const;

    QTreeView *list() const { return m_list; }
    QPlainTextEdit *messageBox() const { return m_message; }
    QCheckBox *amendBox() const { return m_amend; }
    QPushButton *commitButton() const { return m_commit; }
    QPushButton *generateButton() const { return m_generate; }
    QPushButton *initializeButton() const { return m_initialize; }
    // What the pane says when it shows no repository.
    QLabel *stateLabel() const { return m_notRepositoryText; }
    QToolButton *pullButton() const { return m_pull; }
    QToolButton *pushButton() const { return m_push; }
    QLabel *branchLabel() const { return m_branch; }
    QLabel *syncLabel() const { return m_syncState; }
    // "Merging <branch> into <current>" while a merge is in progress.
    QLabel *mergeLabel() const { return m_mergeState; }
    // Shown while a commit (and its hooks) runs.
    QLabel *committingLabel() const { return m_committing; }
    bool isShowingRepository() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // The constructor's steps.
    void buildNotRepositoryPage();
    void buildSyncRow(QVBoxLayout *repo);
    void buildCommitBox(QVBoxLayout *repo);
    void buildChangeList(QVBoxLayout *repo);
    void followList();
    void followMessage();
    void followOwners();

    void elideBranch();
    void refreshGit();
    void refreshSync();
    void refreshButtons();
    void refreshMessage();
    // The list shows new rows: the keyboard keeps its place by position.
    void rowsReplaced();
    void commit();
    void generate();
    void amendToggled(bool on);
    void flushDraft();
    void showContextMenu(int row, const QPoint &globalAt);
    bool listEvent(QEvent *event);
    bool listKeyEvent(QEvent *event);

    const NBEGitState *m_git;
    NBEWorkspaceGit *m_sync;
    NBEWorkspaceCommit *m_commitBox;
    NBEWorkspaceWorkingTree *m_workingTree;
    NBEWorkspaceNavigation *m_navigation;
    NBEWorkspaceFiles *m_files;
    QStackedWidget *m_pages;
    QWidget *m_notRepository;
    QLabel *m_notRepositoryText;
    QPushButton *m_initialize;
    QWidget *m_repository;
    QLabel *m_branch;
    QString m_branchName;
    QLabel *m_syncState;
    QToolButton *m_pull;
    QToolButton *m_push;
    QLabel *m_mergeState;
    QLabel *m_committing;
    QPlainTextEdit *m_message;
    QCheckBox *m_amend;
    QPushButton *m_generate;
    QPushButton *m_commit;
    QTreeView *m_list;
    NBEGitChangeRowDelegate *m_delegate;
    QLabel *m_noChanges;
    QTimer *m_draftTimer;
    NBEGitChangesModel *m_model;
    // The row of the file kept in `m_keptFile`; -1 when it isn't listed.
    int keptFileRow() const;
    int m_keptRow = -1;
    // The current row's file and side, found again after the rows change.
    std::optional<std::pair<NBEGitChangeRow::Kind, QUrl>> m_keptFile;
    int m_keptScroll = 0;
};
