// New Project, the places, Open Recent, the launch rule and the help's
// commands, through the real shell and its windows.
#include "NBEAnsweringPanels.h"
#include "NBEApplicationShell.h"
#include "NBEFileTreeView.h"
#include "NBEHelp.h"
#include "NBEMainView.h"
#include "NBEPreferences.h"
#include "NBEProjectPicker.h"
#include "NBERecentProjects.h"
#include "NBESettingsWindow.h"
#include "NBETestSupport.h"
#include "NBEWorkspaceViewModel.h"

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QUrl folderURL(const QString &path)
{
    return QUrl::fromLocalFile(QDir::cleanPath(path));
}

bool loaded(NBEProjectWindow *window)
{
    return window &&
           NBETest::waitUntil([&] { return window->mainView()->viewModel()->files().isOpen(); });
}

QAction *menuAction(QWidget *window, const QString &text)
{
    for (QAction *action : window->findChildren<QAction *>())
        if (action->text() == text)
            return action;
    return nullptr;
}

// The File menu, as it is about to open.
QMenu *fileMenu(QWidget *window)
{
    QAction *newProject = menuAction(window, QStringLiteral("New Project…"));
    auto *menu = newProject ? qobject_cast<QMenu *>(newProject->parent()) : nullptr;
    if (menu)
        Q_EMIT menu->aboutToShow();
    return menu;
}

QAction *fileMenuAction(QWidget *window, const QString &text)
{
    if (QMenu *menu = fileMenu(window)) {
        for (QAction *action : menu->actions())
            if (action->text() == text)
                return action;
    }
    return nullptr;
}

QStringList entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                                  QDir::Name);
}

// A shell whose choosers answer from `panels`, with places under `home`.
struct Shell
{
    explicit Shell(const QString &home = QString())
    {
        shell.setProjectPanels(panels);
        shell.setPlacesHome(folderURL(home.isEmpty() ? emptyHome.path() : home));
    }

    QTemporaryDir emptyHome;
    std::shared_ptr<NBEAnsweringPanels> panels = std::make_shared<NBEAnsweringPanels>();
    NBEApplicationShell shell;
};

} // namespace

TEST(NBEApplicationShellProjects, NewProjectMakesTheFolderAndRepositoryAndOpensIt)
{
    QTemporaryDir dir;
    Shell s;
    s.shell.showWelcome();
    ASSERT_TRUE(s.shell.welcomeWindow());
    const QString site = dir.filePath(QStringLiteral("site"));
    s.panels->saveAnswer = NBESavePanelResult{QUrl::fromLocalFile(site), true};
    s.shell.welcomeWindow()->newProjectButton()->click();

    ASSERT_TRUE(NBETest::waitUntil([&] { return s.shell.windowFor(folderURL(site)) != nullptr; }));
    NBEProjectWindow *window = s.shell.windowFor(folderURL(site));
    ASSERT_TRUE(loaded(window));
    EXPECT_EQ(window->mainView()->viewModel()->files().workspace()->rootURL, folderURL(site));
    ASSERT_EQ(s.panels->saveRequests.size(), 1);
    EXPECT_EQ(s.panels->saveRequests.first(), NBEProjectPicker::newProjectRequest());
    EXPECT_EQ(NBETest::git(site, {QStringLiteral("rev-parse"), QStringLiteral("--show-toplevel")})
                  .trimmed(),
              QFileInfo(site).canonicalFilePath().toUtf8());
    EXPECT_EQ(entries(site), QStringList{".git"});
    EXPECT_EQ(NBERecentProjects::load().value(0), folderURL(site));
    EXPECT_TRUE(NBETest::waitUntil([&] { return s.shell.welcomeWindow() == nullptr; }));

    // The File menu's New Project…, this time without a repository.
    const QString plain = dir.filePath(QStringLiteral("plain"));
    s.panels->saveAnswer = NBESavePanelResult{QUrl::fromLocalFile(plain), false};
    QAction *newProject = menuAction(window, QStringLiteral("New Project…"));
    ASSERT_TRUE(newProject);
    newProject->trigger();
    ASSERT_TRUE(NBETest::waitUntil([&] { return s.shell.windowFor(folderURL(plain)) != nullptr; }));
    EXPECT_TRUE(loaded(s.shell.windowFor(folderURL(plain))));
    EXPECT_TRUE(entries(plain).isEmpty());
    EXPECT_EQ(s.shell.projectWindows().size(), 2);
    EXPECT_FALSE(s.shell.errorMessage().has_value());

    // The first window's Open Recent lists both, newest first, and its clear
    // command empties it.
    QAction *recent = fileMenuAction(window, QStringLiteral("Open Recent"));
    ASSERT_TRUE(recent && recent->menu());
    ASSERT_GE(recent->menu()->actions().size(), 4);
    EXPECT_TRUE(recent->isEnabled());
    EXPECT_EQ(recent->menu()->actions().at(0)->text(), QStringLiteral("plain"));
    EXPECT_EQ(recent->menu()->actions().at(1)->text(), QStringLiteral("site"));
    recent->menu()->actions().last()->trigger();
    EXPECT_TRUE(NBERecentProjects::load().isEmpty());
    fileMenu(window);
    EXPECT_FALSE(recent->isEnabled());
}

TEST(NBEApplicationShellProjects, WhatExistsIsRefusedWithASentenceAndLeftAlone)
{
    QTemporaryDir dir;
    const QString existing = dir.filePath(QStringLiteral("existing"));
    NBETest::writeFile(existing + QStringLiteral("/index.html"), "<p>mine</p>");
    Shell s;
    s.shell.showWelcome();
    s.panels->saveAnswer = NBESavePanelResult{QUrl::fromLocalFile(existing), true};
    s.shell.createAndOpenProject();

    ASSERT_TRUE(NBETest::waitUntil([&] { return s.shell.errorMessage().has_value(); }));
    EXPECT_EQ(
        *s.shell.errorMessage(),
        QStringLiteral("“existing” already exists; choose another name for the new project."));
    ASSERT_TRUE(s.shell.errorAlert());
    EXPECT_EQ(s.shell.errorAlert()->windowTitle(), QStringLiteral("Error"));
    EXPECT_TRUE(s.shell.projectWindows().isEmpty());
    EXPECT_EQ(entries(existing), QStringList{"index.html"});
    EXPECT_EQ(NBETest::readFile(existing + QStringLiteral("/index.html")), "<p>mine</p>");
    EXPECT_NE(NBERecentProjects::load().value(0), folderURL(existing));

    // OK dismisses it.
    s.shell.errorAlert()->button(QMessageBox::Ok)->click();
    EXPECT_TRUE(NBETest::waitUntil([&] { return !s.shell.errorMessage().has_value(); }));
}

TEST(NBEApplicationShellProjects, EachPlaceStartsTheFolderChooserInItsFolder)
{
    QTemporaryDir home;
    QDir(home.path()).mkdir(QStringLiteral("Tarnwick"));
    const QUrl tarnwick = QUrl::fromLocalFile(home.path() + QStringLiteral("/Tarnwick/"));
    Shell s(home.path());

    // The welcome window offers the place whose folder exists, and only it.
    s.shell.showWelcome();
    const QList<QPushButton *> buttons = s.shell.welcomeWindow()->placeButtons();
    ASSERT_EQ(buttons.size(), 1);
    EXPECT_EQ(buttons.first()->text(), QStringLiteral("Open Tarnwick Project…"));
    buttons.first()->click();
    ASSERT_EQ(s.panels->openRequests.size(), 1);
    EXPECT_EQ(s.panels->openRequests.last(),
              (NBEOpenPanelRequest{"Choose a project folder", "Open", true, tarnwick}));

    // The File menu too; a place made meanwhile appears when the menu opens.
    QTemporaryDir project;
    NBEProjectWindow *window = s.shell.openProject(folderURL(project.path()));
    ASSERT_TRUE(loaded(window));
    EXPECT_FALSE(menuAction(window, QStringLiteral("Open Pennwright Site…")));
    QAction *place = fileMenuAction(window, QStringLiteral("Open Tarnwick Project…"));
    ASSERT_TRUE(place);
    place->trigger();
    ASSERT_EQ(s.panels->openRequests.size(), 2);
    EXPECT_EQ(s.panels->openRequests.last().startingAt, tarnwick);

    QDir(home.path()).mkdir(QStringLiteral("Pennwright"));
    QAction *pennwright = fileMenuAction(window, QStringLiteral("Open Pennwright Site…"));
    ASSERT_TRUE(pennwright);
    pennwright->trigger();
    EXPECT_EQ(s.panels->openRequests.last().startingAt,
              QUrl::fromLocalFile(home.path() + QStringLiteral("/Pennwright/")));

    // A chosen folder opens in its window.
    QTemporaryDir chosen;
    s.panels->openAnswer = folderURL(chosen.path());
    fileMenuAction(window, QStringLiteral("Open Tarnwick Project…"))->trigger();
    EXPECT_TRUE(loaded(s.shell.windowFor(folderURL(chosen.path()))));
}

TEST(NBEApplicationShellProjects, TheWelcomeWindowGreetsALaunchUnlessTurnedOff)
{
    QTemporaryDir recent;
    QTemporaryDir gone;
    const QString vanished = gone.filePath(QStringLiteral("vanished"));
    NBEPreferences &preferences = NBEPreferences::shared();
    struct Case
    {
        const char *name;
        bool showAtLaunch;
        std::optional<QString> mostRecent;
        bool opensProject;
    };
    const QList<Case> cases{
        {"off, with a recent project", false, recent.path(), true},
        {"on, with a recent project", true, recent.path(), false},
        {"off, without recent projects", false, std::nullopt, false},
        {"off, the recent folder gone", false, vanished, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        preferences.setShowWelcomeAtLaunch(c.showAtLaunch);
        NBERecentProjects::clear();
        if (c.mostRecent)
            NBERecentProjects::record(folderURL(*c.mostRecent));
        Shell s;
        s.shell.launch();
        if (c.opensProject) {
            NBEProjectWindow *window = s.shell.windowFor(folderURL(*c.mostRecent));
            ASSERT_TRUE(loaded(window));
            EXPECT_EQ(s.shell.projectWindows().size(), 1);
            EXPECT_TRUE(!s.shell.welcomeWindow() || !s.shell.welcomeWindow()->isVisible());
        } else {
            EXPECT_TRUE(s.shell.projectWindows().isEmpty());
            ASSERT_TRUE(s.shell.welcomeWindow());
            EXPECT_TRUE(s.shell.welcomeWindow()->isVisible());
            EXPECT_EQ(s.shell.welcomeWindow()->showAtLaunch()->isChecked(), c.showAtLaunch);
        }
    }

    // The welcome window's box writes the same preference that Settings shows.
    Shell s;
    s.shell.showWelcome();
    NBESettingsWindow settings(preferences);
    s.shell.welcomeWindow()->showAtLaunch()->click();
    EXPECT_TRUE(preferences.showWelcomeAtLaunch());
    EXPECT_TRUE(settings.showWelcomeAtLaunch()->isChecked());
    settings.showWelcomeAtLaunch()->click();
    EXPECT_FALSE(s.shell.welcomeWindow()->showAtLaunch()->isChecked());
    preferences.setShowWelcomeAtLaunch(true);
}

TEST(NBEApplicationShellProjects, TheHelpNamesOnlyCommandsTheWindowsHave)
{
    QTemporaryDir home;
    QDir(home.path()).mkdir(QStringLiteral("Tarnwick"));
    QTemporaryDir dir;
    NBETest::writeFile(dir.filePath(QStringLiteral("index.html")), "<p>x</p>\n");
    NBETest::git(dir.path(), {QStringLiteral("init")});
    NBETest::git(dir.path(), {QStringLiteral("add"), QStringLiteral(".")});
    NBETest::git(dir.path(),
                 {QStringLiteral("commit"), QStringLiteral("-m"), QStringLiteral("one")});
    Shell s(home.path());
    NBEProjectWindow *window = s.shell.openProject(folderURL(dir.path()));
    ASSERT_TRUE(loaded(window));
    NBEWorkspaceViewModel *viewModel = window->mainView()->viewModel();
    ASSERT_TRUE(
        NBETest::waitUntil([&] { return viewModel->gitState().snapshot().branch.has_value(); }));
    s.shell.showWelcome();

    // Every command a user can reach: menus and toolbar, the tree's context
    // menu, the new-project panel, the welcome window, and the Settings
    // window's tabs and boxes.
    QSet<QString> commands;
    const auto add = [&commands](QString text) {
        text.remove(u'&');
        if (text.endsWith(u'…'))
            text.chop(1);
        commands.insert(text.trimmed());
    };
    ASSERT_TRUE(NBETest::waitUntil([&] { return menuAction(window, QStringLiteral("Pull")); }));
    for (QAction *action : window->findChildren<QAction *>())
        add(action->text());
    NBEFileTreeWidget *tree = window->mainView()->fileTree()->treeWidget();
    ASSERT_TRUE(NBETest::waitUntil([&] { return tree->topLevelItemCount() > 0; }));
    QMenu menu;
    tree->fillContextMenu(menu, tree->topLevelItem(0));
    for (QAction *action : menu.actions())
        add(action->text());
    add(NBEProjectPicker::newProjectRequest().checkboxTitle);
    for (QAbstractButton *button : s.shell.welcomeWindow()->findChildren<QAbstractButton *>())
        add(button->text());
    for (QLabel *label : s.shell.welcomeWindow()->findChildren<QLabel *>())
        add(label->text());
    NBESettingsWindow settings(NBEPreferences::shared());
    for (int i = 0; i < settings.tabs()->count(); ++i)
        add(QStringLiteral("Settings ▸ ") + settings.tabs()->tabText(i));
    for (QAbstractButton *button : settings.findChildren<QAbstractButton *>())
        add(button->text());

    // Bold words that name a feature or a gesture rather than a command, and
    // the help's names for commands that the menus word differently.
    const QSet<QString> notCommands{"Syntax highlighting", "Emmet", "Live preview",
                                    "Language servers", "Git", "Git badges", "Right-click",
                                    "Reorder", "your own API key", "Tarnwick", "Pennwright",
                                    // Offered only for a Vapor project while Tarnwick is installed.
                                    "Open in Tarnwick"};
    const QHash<QString, QString> menuWording{
        {"Close", "Close Tab"},
        {"Toggle Markdown Preview", "Toggle Preview"},
    };

    static const QRegularExpression bold(QStringLiteral("\\*\\*(.+?)\\*\\*"));
    int checked = 0;
    for (const NBEHelpTopic &topic : NBEHelp::allTopics()) {
        for (const NBEHelpBlock &block : topic.blocks) {
            if (block.kind == NBEHelpBlock::Kind::seeAlso)
                continue;
            const QStringList texts =
                block.kind == NBEHelpBlock::Kind::bullets ? block.items : QStringList{block.text};
            for (const QString &text : texts) {
                for (const QRegularExpressionMatch &match : bold.globalMatch(text)) {
                    QString name = match.captured(1);
                    if (notCommands.contains(name))
                        continue;
                    if (name.endsWith(u'…'))
                        name.chop(1);
                    name = menuWording.value(name, name);
                    ++checked;
                    EXPECT_TRUE(commands.contains(name))
                        << topic.id.toStdString() << " names “" << name.toStdString()
                        << "”, which no menu, button or setting has";
                }
            }
        }
    }
    EXPECT_GT(checked, 20);
}
