#pragma once

#include <QHash>
#include <QList>
#include <QMainWindow>
#include <QObject>
#include <QPointer>
#include <QUrl>

class NBEMainView;
class NBEWindowToolbar;
class NBEWelcomeWindow;
class QListWidget;

// One project window: the folder's main view, its menu commands and the
// project menu. Closing it by its close box shuts its servers down and opens
// no welcome window.
class NBEProjectWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit NBEProjectWindow(const QUrl &root, QWidget *parent = nullptr);

    NBEMainView *mainView() const { return m_mainView; }
    NBEWindowToolbar *toolbar() const { return m_toolbar; }
    QUrl root() const { return m_root; }

    static constexpr QSize defaultSize{1000, 700};

Q_SIGNALS:
    void openFolderRequested();
    void openProjectRequested(const QUrl &folder);

protected:
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void buildMenus();
    void refreshProjectMenu();

    QUrl m_root;
    NBEMainView *m_mainView;
    QMenu *m_projectMenu;
    NBEWindowToolbar *m_toolbar = nullptr;
    bool m_closing = false;
};

// The window without a folder: Open Folder and the recent projects.
class NBEWelcomeWindow : public QWidget
{
    Q_OBJECT

public:
    explicit NBEWelcomeWindow(QWidget *parent = nullptr);
    void reload();
    QListWidget *recentList() const { return m_recent; }

Q_SIGNALS:
    void openFolderRequested();
    void openProjectRequested(const QUrl &folder);

private:
    QListWidget *m_recent;
};

// The application's windows: project windows keyed by folder (one per
// folder), the welcome window, and the routing of folders and files handed
// to the program.
class NBEApplicationShell : public QObject
{
    Q_OBJECT

public:
    explicit NBEApplicationShell(QObject *parent = nullptr);
    ~NBEApplicationShell() override;

    // Records the folder among the recent projects and brings its window
    // forward, making one when there is none.
    NBEProjectWindow *openProject(const QUrl &folder);
    void showWelcome();
    void chooseAndOpenFolder();
    // Folders and files from the command line, as a file manager hands them.
    void openPaths(const QStringList &paths);

    // SIGTERM and SIGHUP (handled on the main thread) and the session
    // manager's request to save all end the session through endSession().
    void handleSessionEnd();
    // Keeps the unsaved text of every window (NBERecoveredEdits), then closes
    // every window as File → Quit does, asking about unsaved edits. Once all
    // of them are settled the kept copy goes; a process ended before that
    // leaves it, and the next start says where it is.
    void endSession();
    // The folder holding the copy `endSession` kept, until it is settled.
    QString keptEdits() const { return m_keptEdits; }
    // Says where an earlier session's unsaved edits were kept, once.
    void announceRecoveredEdits();

    NBEProjectWindow *windowFor(const QUrl &folder) const;
    QList<NBEProjectWindow *> projectWindows() const;
    NBEWelcomeWindow *welcomeWindow() const { return m_welcome; }

private:
    static QString key(const QUrl &folder);
    void discardKeptEditsIfSettled();

    QHash<QString, QPointer<NBEProjectWindow>> m_windows;
    QPointer<NBEWelcomeWindow> m_welcome;
    QString m_keptEdits;
    bool m_ending = false;
    bool m_handlesSignals = false;
};
