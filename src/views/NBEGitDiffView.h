#pragma once

#include "NBEDiffSource.h"
#include "NBEGitDiff.h"
#include "NBERequestOrder.h"
#include "NBETheme.h"

#include <QColor>
#include <QStringList>
#include <QWidget>

class NBEGitState;
class NBEWorkspaceFiles;
class NBEWorkspaceHistory;
class NBEWorkspaceNavigation;
class NBEWorkspaceWorkingTree;
class QLabel;
class QListWidget;
class QPlainTextEdit;
class QStackedWidget;
class QToolButton;

// The diff in place of the tabs: a title bar with a close button, for a
// commit the files it touched, then the diff's rows with line numbers,
// added and removed lines tinted and their code coloured for its language.
// It loads its rows itself, starting empty and loading.
struct NBEDiffOwners
{
    const NBEGitState &git;
    NBEWorkspaceHistory &history;
    // A file's diff.
    NBEWorkspaceWorkingTree &workingTree;
    // Closing goes back to the editor through it.
    NBEWorkspaceNavigation &navigation;
    NBEWorkspaceFiles &files;
};

class NBEGitDiffView : public QWidget
{
    Q_OBJECT

public:
    NBEGitDiffView(const NBEDiffSource &source, const NBEDiffOwners &owners, const NBETheme &theme,
                   QWidget *parent = nullptr);

    const NBEDiffSource &source() const { return m_source; }
    bool isLoading() const { return m_loading; }
    const QList<NBEGitDiffLine> &lines() const { return m_lines; }
    const QStringList &files() const { return m_files; }

    // The tint behind a row of `kind` (transparent for context rows).
    static QColor background(NBEGitDiffLine::Kind kind, const NBETheme &theme);

    QLabel *titleLabel() const { return m_title; }
    QLabel *detailLabel() const { return m_detail; }
    QToolButton *closeButton() const { return m_close; }
    QPlainTextEdit *textView() const { return m_text; }
    QListWidget *fileList() const { return m_fileList; }
    QLabel *stateLabel() const { return m_state; }

Q_SIGNALS:
    // The rows (and a commit's files) arrived and are shown; for a file,
    // again after each change of the git state.
    void loaded();

private:
    void load();
    void showLines(const QList<NBEGitDiffLine> &lines);
    void showFiles(const QStringList &files);
    void scrollToFile(const QString &path);

    NBEDiffSource m_source;
    const NBEGitState *m_git;
    NBEWorkspaceHistory *m_history;
    NBEWorkspaceWorkingTree *m_workingTree;
    NBEWorkspaceNavigation *m_navigation;
    NBEWorkspaceFiles *m_projectFiles;
    NBETheme m_theme;
    bool m_loading = true;
    int m_pending = 0;
    NBERequestOrder m_loads;
    QList<NBEGitDiffLine> m_lines;
    QStringList m_files;
    QLabel *m_title;
    QLabel *m_detail;
    QToolButton *m_close;
    QListWidget *m_fileList;
    QStackedWidget *m_body;
    QLabel *m_state;
    QPlainTextEdit *m_text;
};
