#include "NBEApplicationShell.h"
#include "NBEDefaults.h"
#include "NBEMainView.h"
#include "NBENoticeBar.h"
#include "NBEPreferences.h"
#include "NBETestSupport.h"
#include "NBEWorkspaceViewModel.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// A settings file broken before launch: the editor starts on defaults, says
// so once, and a setting changed afterwards leaves the old bytes on disk.
TEST(NBEApplicationShellSettings, ABrokenSettingsFileIsSaidOnceAndKept)
{
    const QString path = NBEDefaults::shared().filePath();
    const QByteArray broken =
        R"({"version": 1, "values": {"nbe.tabSize": {"type": "int", "value": "2"},}})";
    ASSERT_TRUE(QDir().mkpath(QFileInfo(path).absolutePath()));
    NBETest::writeFile(path, broken);

    NBEApplicationShell shell;
    shell.launch();
    ASSERT_TRUE(NBETest::waitUntil([&] { return shell.errorMessage().has_value(); }));
    const QString sentence = *shell.errorMessage();
    EXPECT_TRUE(sentence.startsWith(QStringLiteral("The settings file couldn't be read")))
        << sentence.toStdString();
    EXPECT_EQ(NBEPreferences::shared().tabSize(), 4);

    ASSERT_TRUE(NBEPreferences::shared().setTabSize(3));
    const QStringList kept = QFileInfo(path).dir().entryList({QStringLiteral("settings (*).json")});
    ASSERT_EQ(kept.size(), 1);
    EXPECT_TRUE(sentence.contains(kept.first()));
    EXPECT_EQ(NBETest::readFile(QFileInfo(path).dir().filePath(kept.first())), broken);
    EXPECT_EQ(NBEDefaults(path).intValue(QStringLiteral("nbe.tabSize")), std::optional<qint64>(3));
}

// Broken while a project window is open, the file is found at a settings
// write, which may come while the user types: the window's bar says so, and
// no alert takes the keys.
TEST(NBEApplicationShellSettings, AFileBrokenWhileAWindowIsOpenIsSaidWithoutTakingTheKeys)
{
    QTemporaryDir dir;
    NBEApplicationShell shell;
    NBEProjectWindow *window = shell.openProject(QUrl::fromLocalFile(QDir::cleanPath(dir.path())));
    NBEWorkspaceViewModel *model = window->mainView()->viewModel();
    ASSERT_TRUE(NBETest::waitUntil([&] { return model->files().isOpen(); }));
    NBEPreferences &preferences = NBEPreferences::shared();
    ASSERT_TRUE(preferences.setTabSize(2));
    NBETest::writeFile(NBEDefaults::shared().filePath(), R"({"version": 1, "values": )");

    preferences.setTabSize(3);
    ASSERT_TRUE(NBETest::waitUntil([&] { return model->notice().has_value(); }));
    EXPECT_TRUE(model->notice()->startsWith(QStringLiteral("The settings file couldn't be read")))
        << model->notice()->toStdString();
    EXPECT_TRUE(window->mainView()->noticeBar()->isVisible());
    EXPECT_EQ(shell.errorAlert(), nullptr);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_EQ(preferences.tabSize(), 3);
}
