#include "NBEApplicationShell.h"

#include "NBEAboutWindow.h"
#include "NBEAppearance.h"
#include "NBECodeTextEdit.h"
#include "NBEDialogProjectPanels.h"
#include "NBEFileService.h"
#include "NBEGitToolbarMenu.h"
#include "NBEHelpWindow.h"
#include "NBELog.h"
#include "NBEMainView.h"
#include "NBEMarkdownAction.h"
#include "NBEPreviewToggle.h"
#include "NBEProjectPicker.h"
#include "NBERecentProjects.h"
#include "NBERecoveredEdits.h"
#include "NBESettingsWindow.h"
#include "NBESourceEditor.h"
#include "NBETabStops.h"
#include "NBETextEditorView.h"
#include "NBEWhenFinished.h"
#include "NBEWindowOpener.h"
#include "NBEWindowToolbar.h"
#include "NBEWorkspaceViewModel.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSessionManager>
#include <QSocketNotifier>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// The pipe that carries a termination signal to the main thread; the
// handler may do nothing but write to it.
int signalWriteEnd = -1;
int signalReadEnd = -1;

void onTerminationSignal(int)
{
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalWriteEnd, &byte, 1);
    errno = saved;
}

} // namespace

NBEProjectWindow::NBEProjectWindow(const QUrl &root, QWidget *parent)
    : QMainWindow(parent)
    , m_root(root)
    , m_mainView(new NBEMainView(root, this))
    , m_projectMenu(new QMenu(this))
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QDir(root.toLocalFile()).dirName());
    resize(defaultSize);
    setCentralWidget(m_mainView);
    buildMenus();
    connect(&m_mainView->viewModel()->files(), &NBEWorkspaceFiles::workspaceChanged, this,
            &NBEProjectWindow::refreshProjectMenu);
    connect(m_mainView->viewModel(), &NBEWorkspaceViewModel::recentProjectsChanged, this,
            &NBEProjectWindow::refreshProjectMenu);
    connect(m_projectMenu, &QMenu::aboutToShow, this, &NBEProjectWindow::refreshProjectMenu);
    refreshProjectMenu();
    fillRecentMenu(m_recentMenu);
}

QMenu *NBEProjectWindow::addMenu(const QString &title, const QList<NBEMenuCommand> &commands)
{
    QMenu *menu = menuBar()->addMenu(title);
    addCommands(menu, commands);
    return menu;
}

void NBEProjectWindow::addCommands(QMenu *menu, const QList<NBEMenuCommand> &commands)
{
    for (const NBEMenuCommand &command : commands) {
        if (command.name.isEmpty()) {
            menu->addSeparator();
            continue;
        }
        QAction *action = menu->addAction(command.title, command.keys, this, command.run);
        action->setObjectName(command.name);
        if (command.applies)
            m_conditionalCommands.append({action, command.applies});
    }
}

void NBEProjectWindow::updateCommands()
{
    for (const auto &[action, applies] : std::as_const(m_conditionalCommands))
        action->setEnabled(applies());
}

namespace {

// The standard editing commands act on the focused text as their keys do,
// so the editor's own undo history, the find bar and the commit box all
// answer. Their keys reach a focused text widget directly; the items are for
// the mouse and for other widgets.
NBEMenuCommand standardCommand(const QString &name, const QString &title,
                               QKeySequence::StandardKey key)
{
    return {name, title, QKeySequence(key), [key] {
                static bool forwarding = false;
                QWidget *focused = QApplication::focusWidget();
                const QList<QKeySequence> bindings = QKeySequence::keyBindings(key);
                if (forwarding || !focused || bindings.isEmpty())
                    return;
                // A sent key meets the window's shortcuts before the widget:
                // the commands on it stand aside meanwhile, or a widget that
                // doesn't claim the key (a tree, a preview) never gets it and
                // the command sends it again and again.
                QList<QPointer<QAction>> asideActions;
                for (QAction *action : focused->window()->findChildren<QAction *>()) {
                    if (action->isEnabled() && bindings.contains(action->shortcut())) {
                        action->setEnabled(false);
                        asideActions.append(action);
                    }
                }
                const QKeyCombination keys = bindings.first()[0];
                QKeyEvent press(QEvent::KeyPress, keys.key(), keys.keyboardModifiers());
                forwarding = true;
                QCoreApplication::sendEvent(focused, &press);
                forwarding = false;
                for (const QPointer<QAction> &action : asideActions)
                    if (action)
                        action->setEnabled(true);
            }};
}

} // namespace

void NBEProjectWindow::buildMenus()
{
    NBEWorkspaceViewModel *viewModel = m_mainView->viewModel();
    const NBEMenuCommand separator;
    const auto canPreview = [viewModel] { return viewModel->canPreviewActiveTab(); };
    const auto markdown = [viewModel](const QString &name, const QString &title,
                                      const QKeySequence &keys, NBEMarkdownAction action) {
        return NBEMenuCommand{name, title, keys,
                              [viewModel, action] { viewModel->requestMarkdownEdit(action); },
                              [viewModel] { return viewModel->isEditingMarkdown(); }};
    };

    m_fileMenu =
        addMenu(tr("&File"), {{QStringLiteral("file_new_project"),
                               tr("New Project…"),
                               {},
                               [this] { Q_EMIT newProjectRequested(); }},
                              {QStringLiteral("file_open_folder"), tr("Open Folder…"),
                               QKeySequence::Open, [this] { Q_EMIT openFolderRequested(); }},
                              {QStringLiteral("file_open_file"), tr("Open File…"),
                               QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O),
                               [this] { Q_EMIT openFileRequested(); }}});
    // The places go between Open File… and Open Recent.
    m_recentMenu = m_fileMenu->addMenu(tr("Open Recent"));
    connect(m_fileMenu, &QMenu::aboutToShow, this, [this] {
        refreshPlaces();
        fillRecentMenu(m_recentMenu);
    });
    addCommands(m_fileMenu,
                {separator,
                 {QStringLiteral("file_new_file"), tr("New File…"), QKeySequence::New,
                  [this, viewModel] {
                      // The new file is there to be typed into, wherever the keys were.
                      nbeWhenFinished(viewModel->files().newFile(), this,
                                      [this] { m_mainView->focusEditor(); });
                  }},
                 {QStringLiteral("file_new_folder"), tr("New Folder…"),
                  QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_N),
                  [viewModel] { viewModel->files().newFolder(); }},
                 separator,
                 {QStringLiteral("file_save"), tr("Save"), QKeySequence::Save,
                  [viewModel] { viewModel->saveActiveFile(); }},
                 {QStringLiteral("file_export_html"),
                  tr("Export as HTML…"),
                  {},
                  [viewModel] { viewModel->exportActiveFileAsHTML(); },
                  canPreview},
                 separator,
                 {QStringLiteral("file_close_tab"), tr("Close Tab"),
                  QKeySequence(Qt::CTRL | Qt::Key_W), [viewModel] { viewModel->closeActiveTab(); }},
                 {QStringLiteral("file_close_folder"), tr("Close Folder"),
                  QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_W),
                  [viewModel] { viewModel->closeWorkspace(); }},
                 separator,
                 {QStringLiteral("file_init_git"),
                  tr("Initialize Git Repository…"),
                  {},
                  [viewModel] { viewModel->workspaceGit().initRepository(); },
                  [viewModel] {
                      return viewModel->files().isOpen() && !viewModel->gitState().isRepository() &&
                             !viewModel->gitState().isLoading();
                  }},
                 separator,
                 {QStringLiteral("file_quit"), tr("Quit"), QKeySequence::Quit,
                  &NBEProjectWindow::quitApplication}});

    addMenu(
        tr("&Edit"),
        {standardCommand(QStringLiteral("edit_undo"), tr("Undo"), QKeySequence::Undo),
         standardCommand(QStringLiteral("edit_redo"), tr("Redo"), QKeySequence::Redo),
         separator,
         standardCommand(QStringLiteral("edit_cut"), tr("Cut"), QKeySequence::Cut),
         standardCommand(QStringLiteral("edit_copy"), tr("Copy"), QKeySequence::Copy),
         standardCommand(QStringLiteral("edit_paste"), tr("Paste"), QKeySequence::Paste),
         standardCommand(QStringLiteral("edit_select_all"), tr("Select All"),
                         QKeySequence::SelectAll),
         separator,
         // The editor opens its own find bar; the menu names the key and
         // reaches the same bar.
         {QStringLiteral("edit_find"), tr("Find…"), QKeySequence::Find,
          [this] {
              if (NBESourceEditor *editor = m_mainView->sourceEditor())
                  Q_EMIT editor->editor()->textView()->findRequested();
          },
          [this] { return m_mainView->sourceEditor() != nullptr; }},
         separator,
         {QStringLiteral("edit_settings"), tr("Settings…"), QKeySequence(Qt::CTRL | Qt::Key_Comma),
          [viewModel] { NBESettingsWindow::present(viewModel->preferences()); }}});

    addMenu(tr("&View"), {{QStringLiteral("view_toggle_preview"), tr("Toggle Preview"),
                           QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_P),
                           [viewModel] { viewModel->toggleActivePreview(); }, canPreview}});

    // Whether a server answers is the view model's to find out (it looks on
    // disk), so not on every keystroke here.
    addMenu(tr("&Go"), {{QStringLiteral("go_jump_to_definition"), tr("Jump to Definition"),
                         QKeySequence(Qt::CTRL | Qt::META | Qt::Key_J),
                         [viewModel] { viewModel->jumpToDefinition(); },
                         [viewModel] {
                             const auto active = viewModel->tabs().activeTab();
                             return active && active->language;
                         }}});

    addMenu(tr("F&ormat"), {markdown(QStringLiteral("format_bold"), tr("Bold"),
                                     QKeySequence(Qt::CTRL | Qt::Key_B), NBEMarkdownAction::bold),
                            markdown(QStringLiteral("format_italic"), tr("Italic"),
                                     QKeySequence(Qt::CTRL | Qt::Key_I), NBEMarkdownAction::italic),
                            markdown(QStringLiteral("format_insert_link"), tr("Insert Link"),
                                     QKeySequence(Qt::CTRL | Qt::Key_K), NBEMarkdownAction::link),
                            separator,
                            {QStringLiteral("format_document"), tr("Format Document"),
                             QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F),
                             [viewModel] { viewModel->requestFormatDocument(); },
                             [viewModel] { return viewModel->canFormatActiveTab(); }}});

    addMenu(tr("&Help"), {{QStringLiteral("help_contents"), tr("Nabri Editor Help"),
                           QKeySequence::HelpContents, [] { NBEHelpWindow::present(); }},
                          {QStringLiteral("help_keyboard_shortcuts"),
                           tr("Keyboard Shortcuts"),
                           {},
                           [] { NBEHelpWindow::present(QStringLiteral("keyboard-shortcuts")); }},
                          separator,
                          {QStringLiteral("help_about"), tr("About Nabri Editor"), {}, [] {
                               NBEAboutWindow::present();
                           }}});

    // Shortcuts fire without the menu being opened, so the enabled states
    // follow the active tab as it changes.
    // After the window's own views, which hear the same owners first.
    connect(&viewModel->files(), &NBEWorkspaceFiles::workspaceChanged, this,
            &NBEProjectWindow::updateCommands);
    connect(&viewModel->tabs(), &NBEWorkspaceTabs::tabsChanged, this,
            &NBEProjectWindow::updateCommands);
    connect(&viewModel->gitState(), &NBEGitState::changed, this, &NBEProjectWindow::updateCommands);
    connect(&viewModel->gitState(), &NBEGitState::loadingChanged, this,
            &NBEProjectWindow::updateCommands);
    updateCommands();

    m_toolbar = new NBEWindowToolbar(
        {viewModel->files(), viewModel->tabs(), viewModel->gitState(), viewModel->workspaceGit()},
        m_projectMenu, this);
    m_toolbar->setBranchMenu(
        new NBEGitToolbarMenu(viewModel->gitState(), viewModel->workspaceGit()));
    addToolBar(m_toolbar);
    m_toolbar->setPreviewToggle(new NBEPreviewToggle(viewModel->tabs()));
}

void NBEProjectWindow::setPlacesSource(std::function<QList<NBEIntegrationLocation>()> places)
{
    m_places = std::move(places);
    refreshPlaces();
}

void NBEProjectWindow::refreshPlaces()
{
    qDeleteAll(m_placeActions);
    m_placeActions.clear();
    if (!m_places)
        return;
    for (const NBEIntegrationLocation &place : m_places()) {
        auto *action = new QAction(place.title, m_fileMenu);
        connect(action, &QAction::triggered, this,
                [this, folder = place.url] { Q_EMIT openPlaceRequested(folder); });
        m_fileMenu->insertAction(m_recentMenu->menuAction(), action);
        m_placeActions.append(action);
    }
}

void NBEProjectWindow::fillRecentMenu(QMenu *menu)
{
    NBEWorkspaceViewModel *viewModel = m_mainView->viewModel();
    // Read afresh: other windows record their folders too.
    const QList<QUrl> recent = NBERecentProjects::load();
    menu->clear();
    for (const QUrl &url : recent) {
        QAction *item = menu->addAction(QFileInfo(url.toLocalFile()).fileName(), this,
                                        [this, url] { Q_EMIT openProjectRequested(url); });
        item->setToolTip(url.toLocalFile());
    }
    menu->addSeparator();
    menu->addAction(tr("Clear Recent Projects"), this,
                    [viewModel] { viewModel->clearRecentProjects(); });
    menu->menuAction()->setEnabled(!recent.isEmpty());
}

void NBEProjectWindow::refreshProjectMenu()
{
    NBEWorkspaceViewModel *viewModel = m_mainView->viewModel();
    // Later, not now: this may run inside one of the submenu's items.
    for (QMenu *submenu : m_projectMenu->findChildren<QMenu *>(Qt::FindDirectChildrenOnly))
        submenu->deleteLater();
    m_projectMenu->clear();
    m_projectMenu->addAction(tr("Open Folder…"), this, [this] { Q_EMIT openFolderRequested(); });
    if (!NBERecentProjects::load().isEmpty())
        fillRecentMenu(m_projectMenu->addMenu(tr("Open Recent")));
    if (viewModel->files().canOpenInTarnwick()) {
        m_projectMenu->addSeparator();
        m_projectMenu->addAction(tr("Open in Tarnwick"), this,
                                 [viewModel] { viewModel->files().openInTarnwick(); });
    }
    m_projectMenu->addSeparator();
    m_projectMenu->addAction(tr("Close Folder"), this,
                             [viewModel] { viewModel->closeWorkspace(); });
}

void NBEProjectWindow::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && !isActiveWindow())
        m_mainView->windowDeactivated();
}

bool NBEProjectWindow::focusNextPrevChild(bool next)
{
    return NBETabStops::move(this, {m_toolbar, m_mainView->sidebar(), m_mainView}, next) ||
           QMainWindow::focusNextPrevChild(next);
}

void NBEProjectWindow::closeEvent(QCloseEvent *event)
{
    // Unsaved edits are asked about before the window goes.
    if (m_closing || !m_mainView->viewModel()->files().isOpen()) {
        event->accept();
        return;
    }
    event->ignore();
    nbeWhenFinished(closeTabsAsking(), this, [this](bool closed) {
        if (!closed)
            return;
        m_closing = true;
        close();
    });
}

QFuture<bool> NBEProjectWindow::closeTabsAsking()
{
    NBEWorkspaceViewModel *viewModel = m_mainView->viewModel();
    if (m_closing || !viewModel->files().isOpen())
        return QtFuture::makeReadyFuture(true);
    return viewModel->tabs().closeAllTabs();
}

QFuture<bool> NBEProjectWindow::settleAsking()
{
    NBEWorkspaceViewModel *viewModel = m_mainView->viewModel();
    if (m_closing || !viewModel->files().isOpen())
        return QtFuture::makeReadyFuture(true);
    return viewModel->tabs().settleUnsavedEdits();
}

void NBEProjectWindow::quitApplication()
{
    nbeWhenFinished(settleEveryWindow(), qApp, [](bool agreed) {
        if (agreed)
            closeEveryWindowAndQuit();
    });
}

QFuture<bool> NBEProjectWindow::settleEveryWindow()
{
    // The window in front asks first.
    QList<QPointer<NBEProjectWindow>> windows;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        auto *window = qobject_cast<NBEProjectWindow *>(widget);
        if (!window || !window->isVisible())
            continue;
        if (window->isActiveWindow())
            windows.prepend(window);
        else
            windows.append(window);
    }
    auto promise = std::make_shared<QPromise<bool>>();
    promise->start();
    settleInTurn(windows, [promise](bool agreed) {
        promise->addResult(agreed);
        promise->finish();
    });
    return promise->future();
}

// Nothing closes until every window has agreed, so a Cancel leaves every
// window and tab as it was.
void NBEProjectWindow::settleInTurn(QList<QPointer<NBEProjectWindow>> left,
                                    const std::function<void(bool)> &finish)
{
    while (!left.isEmpty() && !left.first())
        left.removeFirst();
    if (left.isEmpty()) {
        finish(true);
        return;
    }
    NBEProjectWindow *window = left.takeFirst();
    window->raise();
    nbeWhenFinished(window->settleAsking(), qApp, [left, finish](bool agreed) {
        if (agreed)
            settleInTurn(left, finish);
        else
            finish(false);
    });
}

void NBEProjectWindow::closeEveryWindowAndQuit()
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *window = qobject_cast<NBEProjectWindow *>(widget)) {
            window->m_closing = true;
            window->close();
        }
    }
    // The welcome, settings and help windows and any alert have nothing to
    // ask. The loop ends even if one of them refuses to close, which would
    // stop a plain quit().
    QApplication::closeAllWindows();
    QCoreApplication::exit(0);
}

NBEApplicationShell::NBEApplicationShell(QObject *parent)
    : QObject(parent)
    , m_recoveryPlaces(NBERecoveredEdits::places())
    , m_placesHome(NBEIntegration::realHomeDirectory())
{
    NBEPreferences &preferences = NBEPreferences::shared();
    // Before the first read: a settings file found broken is said once.
    connect(&preferences.store(), &NBEDefaults::problemFound, this,
            &NBEApplicationShell::showProblem);
    NBEAppearance::apply(preferences.appearance());
    connect(&preferences, &NBEPreferences::changed, this, [&preferences](NBEPreferences::Key key) {
        if (key == NBEPreferences::Key::appearance)
            NBEAppearance::apply(preferences.appearance());
    });
    NBEWindowOpener::shared().setWindowOpeningAction(
        [this](const QUrl &root) { openProject(root); });
    // Every question was answered by then: windows closed after Don't Save
    // still hold their edits, hidden.
    connect(qApp, &QCoreApplication::aboutToQuit, this,
            [this] { discardKeptEditsIfSettled(true); });
}

NBEApplicationShell::~NBEApplicationShell()
{
    // Nothing would read the pipe anymore: the signals end the process again.
    if (std::exchange(m_handlesSignals, false)) {
        std::signal(SIGTERM, SIG_DFL);
        std::signal(SIGHUP, SIG_DFL);
        ::close(std::exchange(signalWriteEnd, -1));
        ::close(std::exchange(signalReadEnd, -1));
    }
    NBEWindowOpener::shared().setWindowOpeningAction({});
    delete m_welcome;
    delete m_alert;
    for (const auto &window : std::as_const(m_windows))
        delete window.data();
}

void NBEApplicationShell::handleSessionEnd()
{
    int ends[2];
    if (signalWriteEnd < 0 &&
        ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, ends) == 0) {
        signalReadEnd = ends[0];
        signalWriteEnd = ends[1];
        auto *notifier = new QSocketNotifier(ends[0], QSocketNotifier::Read, this);
        connect(notifier, &QSocketNotifier::activated, this, [this, read = ends[0]] {
            char bytes[16];
            while (::read(read, bytes, sizeof bytes) > 0) {
            }
            endSession();
        });
        struct sigaction action = {};
        action.sa_handler = onTerminationSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        ::sigaction(SIGTERM, &action, nullptr);
        ::sigaction(SIGHUP, &action, nullptr);
        m_handlesSignals = true;
    }
    connect(
        qApp, &QGuiApplication::commitDataRequest, this,
        [this](QSessionManager &) { endSession(); }, Qt::DirectConnection);
}

void NBEApplicationShell::endSession()
{
    QList<NBEUnsavedText> unsaved;
    for (NBEProjectWindow *window : projectWindows())
        unsaved += window->mainView()->viewModel()->tabs().unsavedTexts();
    std::optional<QString> atRisk;
    if (!unsaved.isEmpty()) {
        // On disk before any question: the session may end while it shows.
        const auto kept = NBERecoveredEdits::keep(unsaved, m_recoveryPlaces);
        if (kept) {
            if (!m_keptEdits.isEmpty() && m_keptEdits != kept->folder)
                NBERecoveredEdits::discard(m_keptEdits);
            m_keptEdits = kept->folder;
            NBELog::app().info("Unsaved edits kept in %s", m_keptEdits);
        }
        if (!kept) {
            atRisk = tr("The unsaved edits couldn't be kept in case Nabri Editor is ended: %1.")
                         .arg(kept.error().description);
        } else if (!kept->missing.isEmpty()) {
            QStringList names;
            for (const QString &path : kept->missing)
                names.append(QStringLiteral("“%1”").arg(QFileInfo(path).fileName()));
            atRisk = tr("The unsaved edits of %1 couldn't be kept in case Nabri Editor is "
                        "ended: %2.")
                         .arg(names.join(QStringLiteral(", ")), kept->reason);
        } else if (NBERecoveredEdits::isInTemporaryFolder(kept->folder)) {
            // Emptied when the computer starts: the next start may have
            // nothing to announce.
            atRisk = tr("The unsaved edits were kept only in the temporary folder “%1”, which "
                        "is emptied when the computer starts again.")
                         .arg(kept->folder);
        }
        if (atRisk)
            NBELog::app().error("%s", *atRisk);
    }
    // A second request while the questions show only refreshes the copy.
    if (std::exchange(m_ending, true))
        return;
    // As File → Quit, also while other windows or dialogs are open.
    const auto quit = [this] {
        nbeWhenFinished(NBEProjectWindow::settleEveryWindow(), this, [this](bool agreed) {
            m_ending = false;
            if (!agreed)
                return;
            discardKeptEdits();
            NBEProjectWindow::closeEveryWindowAndQuit();
        });
    };
    if (!atRisk) {
        quit();
        return;
    }
    // Said before the questions: what is lost if the process is killed.
    showError(*atRisk);
    connect(m_alert, &QMessageBox::finished, this, quit,
            Qt::ConnectionType(Qt::QueuedConnection | Qt::SingleShotConnection));
}

void NBEApplicationShell::discardKeptEditsIfSettled(bool visibleOnly)
{
    if (m_keptEdits.isEmpty())
        return;
    for (NBEProjectWindow *window : projectWindows()) {
        if (visibleOnly && !window->isVisible())
            continue;
        if (!window->mainView()->viewModel()->tabs().unsavedTexts().isEmpty())
            return;
    }
    discardKeptEdits();
}

void NBEApplicationShell::discardKeptEdits()
{
    if (!m_keptEdits.isEmpty())
        NBERecoveredEdits::discard(std::exchange(m_keptEdits, QString()));
}

void NBEApplicationShell::announceRecoveredEdits()
{
    for (const NBEKeptEdits &kept : NBERecoveredEdits::unannounced(m_recoveryPlaces)) {
        NBERecoveredEdits::markAnnounced(kept.folder);
        QString text = tr("Nabri Editor ended with unsaved edits. Their text was kept in “%1”.")
                           .arg(kept.folder);
        if (!kept.missing.isEmpty()) {
            QStringList paths;
            for (const QString &path : kept.missing)
                paths.append(QStringLiteral("“%1”").arg(path));
            text = tr("Nabri Editor ended with unsaved edits. Their text was kept in “%1”, except "
                      "that of %2, which couldn't be written.")
                       .arg(kept.folder, paths.join(QStringLiteral(", ")));
        }
        auto *box = new QMessageBox(QMessageBox::Information, tr("Unsaved Edits Kept"), text);
        box->setAttribute(Qt::WA_DeleteOnClose);
        QPushButton *show = box->addButton(tr("Show in File Manager"), QMessageBox::ActionRole);
        // Escape and the end of the session close it too.
        box->setEscapeButton(box->addButton(QMessageBox::Ok));
        connect(show, &QPushButton::clicked, box,
                [folder = kept.folder] { QDesktopServices::openUrl(QUrl::fromLocalFile(folder)); });
        box->show();
    }
}

QString NBEApplicationShell::key(const QUrl &folder)
{
    return NBEFileService::keyPath(folder);
}

NBEProjectWindow *NBEApplicationShell::windowFor(const QUrl &folder) const
{
    return m_windows.value(key(folder)).data();
}

QList<NBEProjectWindow *> NBEApplicationShell::projectWindows() const
{
    QList<NBEProjectWindow *> windows;
    for (const auto &window : m_windows)
        if (window)
            windows.append(window.data());
    return windows;
}

NBEProjectWindow *NBEApplicationShell::openProject(const QUrl &folder)
{
    NBERecentProjects::record(folder);
    if (NBEProjectWindow *existing = windowFor(folder)) {
        existing->show();
        existing->raise();
        existing->activateWindow();
        return existing;
    }
    auto *window = new NBEProjectWindow(folder);
    m_windows.insert(key(folder), window);
    // Checked once the window is gone, not while it is being destroyed; and
    // after a save or a closed tab, as the copy goes once nothing is unsaved.
    connect(
        window, &QObject::destroyed, this, [this] { discardKeptEditsIfSettled(); },
        Qt::QueuedConnection);
    connect(
        &window->mainView()->viewModel()->tabs(), &NBEWorkspaceTabs::tabsChanged, this,
        [this] { discardKeptEditsIfSettled(); }, Qt::QueuedConnection);
    connect(window, &NBEProjectWindow::newProjectRequested, this,
            &NBEApplicationShell::createAndOpenProject);
    connect(window, &NBEProjectWindow::openFolderRequested, this,
            [this] { chooseAndOpenFolder(); });
    connect(window, &NBEProjectWindow::openFileRequested, this,
            [this, folder] { chooseAndOpenFile(folder); });
    connect(window, &NBEProjectWindow::openPlaceRequested, this,
            [this](const QUrl &place) { chooseAndOpenFolder(place); });
    connect(window, &NBEProjectWindow::openProjectRequested, this,
            &NBEApplicationShell::openProject);
    window->setPlacesSource([this] { return places(); });
    // Close Folder turns the window back into the welcome window.
    connect(window->mainView(), &NBEMainView::workspaceClosed, this, [this, window] {
        showWelcome();
        window->close();
    });
    window->show();
    window->mainView()->start();
    if (m_welcome)
        m_welcome->close();
    return window;
}

void NBEApplicationShell::launch()
{
    const QList<QUrl> recent = NBERecentProjects::load();
    // A folder that has gone since is no project to open: greet instead.
    if (!NBEPreferences::shared().showWelcomeAtLaunch() && !recent.isEmpty() &&
        QFileInfo(recent.first().toLocalFile()).isDir()) {
        openProject(recent.first());
        return;
    }
    showWelcome();
}

void NBEApplicationShell::showWelcome()
{
    if (!m_welcome) {
        m_welcome = new NBEWelcomeWindow(NBEPreferences::shared());
        m_welcome->setAttribute(Qt::WA_DeleteOnClose);
        connect(m_welcome, &NBEWelcomeWindow::newProjectRequested, this,
                &NBEApplicationShell::createAndOpenProject);
        connect(m_welcome, &NBEWelcomeWindow::openFolderRequested, this,
                [this] { chooseAndOpenFolder(); });
        connect(m_welcome, &NBEWelcomeWindow::openPlaceRequested, this,
                [this](const QUrl &place) { chooseAndOpenFolder(place); });
        connect(m_welcome, &NBEWelcomeWindow::openProjectRequested, this,
                &NBEApplicationShell::openProject);
    }
    m_welcome->reload();
    m_welcome->setPlaces(places());
    m_welcome->show();
    m_welcome->raise();
}

QList<NBEIntegrationLocation> NBEApplicationShell::places() const
{
    return NBEIntegration::availableLocations(m_placesHome);
}

void NBEApplicationShell::setProjectPanels(std::shared_ptr<NBEProjectPanels> panels)
{
    m_panels = std::move(panels);
}

NBEProjectPanels &NBEApplicationShell::panels()
{
    if (m_panels)
        return *m_panels;
    m_dialogPanels = std::make_shared<NBEDialogProjectPanels>(QApplication::activeWindow());
    return *m_dialogPanels;
}

void NBEApplicationShell::createAndOpenProject()
{
    using Outcome = std::optional<NBEResult<NBENewProject>>;
    nbeWhenFinished(NBEProjectPicker::createProject(panels()), this, [this](const Outcome &made) {
        if (!made)
            return;
        if (!made->has_value()) {
            showError(made->error().description);
            return;
        }
        openProject((*made)->folder);
        if ((*made)->gitFailed)
            showError(tr("The project folder was created, but git couldn't make a repository "
                         "in it."));
    });
}

void NBEApplicationShell::chooseAndOpenFolder(const std::optional<QUrl> &startingAt)
{
    if (const auto folder = NBEProjectPicker::chooseFolder(panels(), startingAt))
        openProject(*folder);
}

void NBEApplicationShell::chooseAndOpenFile(const std::optional<QUrl> &startingAt)
{
    if (const auto file = NBEProjectPicker::chooseFile(panels(), startingAt))
        NBEWindowOpener::shared().open(*file);
}

void NBEApplicationShell::showError(const QString &message)
{
    m_errorMessage = message;
    if (!m_alert) {
        m_alert = new QMessageBox(QMessageBox::Warning, tr("Error"), message, QMessageBox::Ok,
                                  QApplication::activeWindow());
        m_alert->setAttribute(Qt::WA_DeleteOnClose);
        connect(m_alert, &QMessageBox::finished, this, [this] { m_errorMessage.reset(); });
    }
    m_alert->setText(message);
    m_alert->open();
}

void NBEApplicationShell::showProblem(const QString &message)
{
    // A settings write finds it, and one may come while the user types:
    // the windows' bars never take the keys. Before any window, the alert.
    const QList<NBEProjectWindow *> windows = projectWindows();
    if (windows.isEmpty()) {
        showError(message);
        return;
    }
    for (NBEProjectWindow *window : windows)
        window->mainView()->viewModel()->showNotice(message);
}

void NBEApplicationShell::openPaths(const QStringList &paths)
{
    for (const QString &path : paths)
        NBEWindowOpener::shared().open(
            QUrl::fromLocalFile(QDir::cleanPath(QFileInfo(path).absoluteFilePath())));
}
