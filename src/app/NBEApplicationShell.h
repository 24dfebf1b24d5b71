#pragma once

#include "NBEIntegration.h"
#include "NBEMenuCommand.h"
#include "NBEWelcomeWindow.h"

#include <QFuture>
#include <QHash>
#include <QList>
#include <QMainWindow>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>
#include <utility>

class NBEMainView;
class NBEProjectPanels;
class NBEWindowToolbar;

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

    // Where the File menu's place items come from; asked whenever it opens.
    void setPlacesSource(std::function<QList<NBEIntegrationLocation>()> places);
    // Asks about the tabs' unsaved edits as closing the window does (Save /
    // Don't Save / Cancel) and closes the tabs; true unless cancelled.
    QFuture<bool> closeTabsAsking();
    // Asks about the tabs' unsaved edits as closing does, closing nothing;
    // true unless cancelled or a save failed.
    QFuture<bool> settleAsking();
    // Quit: each project window asks in turn; Cancel in any stops the quit
    // with every window and tab as it was. Otherwise every window closes and
    // the process ends.
    static void quitApplication();
    // Every visible project window asks in turn, the one in front first;
    // true once all agreed.
    static QFuture<bool> settleEveryWindow();
    // Closes every window without asking and ends the event loop.
    static void closeEveryWindowAndQuit();

Q_SIGNALS:
    void newProjectRequested();
    void openFolderRequested();
    void openFileRequested();
    // The folder chooser, starting in `folder`.
    void openPlaceRequested(const QUrl &folder);
    void openProjectRequested(const QUrl &folder);

protected:
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    // Tab and Shift+Tab go through the window's visible controls: toolbar,
    // sidebar, then the editor area, each from top to bottom and left to
    // right, wherever a control was created.
    bool focusNextPrevChild(bool next) override;

private:
    void buildMenus();
    // A menu of the menu bar holding `commands` in order.
    QMenu *addMenu(const QString &title, const QList<NBEMenuCommand> &commands);
    void addCommands(QMenu *menu, const QList<NBEMenuCommand> &commands);
    // Enables each command that applies to the window as it is now.
    void updateCommands();
    void refreshProjectMenu();
    void refreshPlaces();
    void fillRecentMenu(QMenu *menu);
    static void settleInTurn(QList<QPointer<NBEProjectWindow>> left,
                             const std::function<void(bool)> &finish);

    QUrl m_root;
    NBEMainView *m_mainView;
    QMenu *m_projectMenu;
    QMenu *m_fileMenu = nullptr;
    QMenu *m_recentMenu = nullptr;
    QList<QAction *> m_placeActions;
    QList<std::pair<QAction *, std::function<bool()>>> m_conditionalCommands;
    std::function<QList<NBEIntegrationLocation>()> m_places;
    NBEWindowToolbar *m_toolbar = nullptr;
    bool m_closing = false;
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
    // What a launch without folders shows: the welcome window, or the most
    // recent project when "show at launch" is off and that folder is there.
    void launch();
    void showWelcome();
    // The new-project panel; the folder made is opened.
    void createAndOpenProject();
    void chooseAndOpenFolder(const std::optional<QUrl> &startingAt = {});
    void chooseAndOpenFile(const std::optional<QUrl> &startingAt = {});
    // Folders and files from the command line, as a file manager hands them.
    void openPaths(const QStringList &paths);

    // SIGTERM and SIGHUP (handled on the main thread) and the session
    // manager's request to save all end the session through endSession().
    void handleSessionEnd();
    // Keeps the unsaved text of every window (NBERecoveredEdits), says so
    // when it couldn't, then quits as File → Quit does, asking about unsaved
    // edits. Once all of them are settled the kept copy goes; a process
    // ended before that leaves it, and the next start says where it is.
    void endSession();
    // The folder holding the copy `endSession` kept, until it is settled.
    QString keptEdits() const { return m_keptEdits; }
    // Where copies are kept, the usual place first.
    void setRecoveryPlaces(const QStringList &places) { m_recoveryPlaces = places; }
    // Says where an earlier session's unsaved edits were kept, once.
    void announceRecoveredEdits();

    NBEProjectWindow *windowFor(const QUrl &folder) const;
    QList<NBEProjectWindow *> projectWindows() const;
    NBEWelcomeWindow *welcomeWindow() const { return m_welcome; }

    // The sibling applications' places that exist under the home folder.
    QList<NBEIntegrationLocation> places() const;
    void setPlacesHome(const QUrl &home) { m_placesHome = home; }
    // The panels the choosers run in; Qt's file dialogs unless given.
    void setProjectPanels(std::shared_ptr<NBEProjectPanels> panels);

    // The last failure of a shell command, shown in an "Error" alert until
    // it is dismissed.
    std::optional<QString> errorMessage() const { return m_errorMessage; }
    QMessageBox *errorAlert() const { return m_alert; }

private:
    static QString key(const QUrl &folder);
    // Removes the kept copy once no window (no visible one, with
    // `visibleOnly`) holds unsaved edits.
    void discardKeptEditsIfSettled(bool visibleOnly = false);
    void discardKeptEdits();
    NBEProjectPanels &panels();
    void showError(const QString &message);
    // What the settings store found wrong, said without taking the keys
    // where a project window is open.
    void showProblem(const QString &message);

    QHash<QString, QPointer<NBEProjectWindow>> m_windows;
    QPointer<NBEWelcomeWindow> m_welcome;
    QString m_keptEdits;
    QStringList m_recoveryPlaces;
    bool m_ending = false;
    bool m_handlesSignals = false;
    QUrl m_placesHome;
    std::shared_ptr<NBEProjectPanels> m_panels;
    std::shared_ptr<NBEProjectPanels> m_dialogPanels;
    std::optional<QString> m_errorMessage;
    QPointer<QMessageBox> m_alert;
};
