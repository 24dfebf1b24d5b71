#include "NBEProjectPicker.h"
#include "NBEAnsweringPanels.h"
#include "NBETestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

bool isRepository(const QString &path)
{
    return QFileInfo(path + QStringLiteral("/.git")).isDir();
}

} // namespace

TEST(NBEProjectPicker, NewProjectWithAndWithoutRepository)
{
    QTemporaryDir dir;
    struct Case
    {
        const char *name;
        QString path;
        bool git;
    };
    const QList<Case> cases{
        {"with repository", dir.filePath(QStringLiteral("site")), true},
        {"without repository", dir.filePath(QStringLiteral("plain")), false},
        {"missing parents", dir.filePath(QStringLiteral("deep/er/project")), true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        NBEAnsweringPanels panels;
        panels.saveAnswer = NBESavePanelResult{QUrl::fromLocalFile(c.path), c.git};
        const auto created = NBETest::await(NBEProjectPicker::createProject(panels));
        ASSERT_TRUE(created.has_value());
        ASSERT_TRUE(created->has_value()) << created->error().description.toStdString();
        EXPECT_EQ(**created, (NBENewProject{QUrl::fromLocalFile(c.path), false}));
        EXPECT_TRUE(QFileInfo(c.path).isDir());
        EXPECT_EQ(isRepository(c.path), c.git);
        // Nothing but the repository is written.
        const QStringList entries =
            QDir(c.path).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        EXPECT_EQ(entries, c.git ? QStringList{".git"} : QStringList{});
        ASSERT_EQ(panels.saveRequests.size(), 1);
        EXPECT_EQ(panels.saveRequests.first(),
                  (NBESavePanelRequest{"New Project", "Create a new project folder", "Create",
                                       "Create a Git repository", true}));
    }
}

TEST(NBEProjectPicker, WhatExistsIsRefusedAndLeftAlone)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("existing"));
    NBETest::writeFile(folder + QStringLiteral("/index.html"), "<p>keep</p>");
    const QString file = dir.filePath(QStringLiteral("notes.txt"));
    NBETest::writeFile(file, "keep");
    struct Case
    {
        const char *name;
        QString path;
        QString error;
    };
    const QList<Case> cases{
        {"a folder", folder,
         QStringLiteral("“existing” already exists; choose another name for the new project.")},
        {"a file", file,
         QStringLiteral("“notes.txt” already exists; choose another name for the new project.")},
        {"a file in the way", file + QStringLiteral("/project"),
         QStringLiteral("Couldn't create “project” because “notes.txt” isn't a folder.")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        NBEAnsweringPanels panels;
        panels.saveAnswer = NBESavePanelResult{QUrl::fromLocalFile(c.path), true};
        const auto created = NBETest::await(NBEProjectPicker::createProject(panels));
        ASSERT_TRUE(created.has_value());
        ASSERT_FALSE(created->has_value());
        EXPECT_EQ(created->error().description, c.error);
    }
    EXPECT_EQ(NBETest::readFile(folder + QStringLiteral("/index.html")), "<p>keep</p>");
    EXPECT_FALSE(isRepository(folder));
    EXPECT_EQ(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{"index.html"});
    EXPECT_EQ(NBETest::readFile(file), "keep");
}

TEST(NBEProjectPicker, AFailedGitInitStillGivesTheFolder)
{
    QTemporaryDir dir;
    // A repository directory that is a file: git init can't make it.
    const QString blocker = dir.filePath(QStringLiteral("blocker"));
    NBETest::writeFile(blocker, "x");
    qputenv("GIT_DIR", blocker.toUtf8());
    const QString path = dir.filePath(QStringLiteral("site"));
    const auto made =
        NBETest::await(NBEProjectPicker::makeProject(QUrl::fromLocalFile(path), true));
    qunsetenv("GIT_DIR");
    ASSERT_TRUE(made.has_value());
    EXPECT_TRUE(made->gitFailed);
    EXPECT_TRUE(QFileInfo(path).isDir());
}

TEST(NBEProjectPicker, CancelledPanelsGiveNothing)
{
    NBEAnsweringPanels panels;
    EXPECT_FALSE(NBETest::await(NBEProjectPicker::createProject(panels)).has_value());
    EXPECT_EQ(NBEProjectPicker::chooseFolder(panels), std::nullopt);
    EXPECT_EQ(NBEProjectPicker::chooseFile(panels), std::nullopt);
}

TEST(NBEProjectPicker, ChoosersAskForTheRightKind)
{
    NBEAnsweringPanels panels;
    const QUrl start = QUrl::fromLocalFile(QStringLiteral("/home/x/Tarnwick/"));
    panels.openAnswer = QUrl::fromLocalFile(QStringLiteral("/home/x/Tarnwick/api"));
    EXPECT_EQ(NBEProjectPicker::chooseFolder(panels, start), panels.openAnswer);
    EXPECT_EQ(NBEProjectPicker::chooseFile(panels), panels.openAnswer);
    ASSERT_EQ(panels.openRequests.size(), 2);
    EXPECT_EQ(panels.openRequests.at(0),
              (NBEOpenPanelRequest{"Choose a project folder", "Open", true, start}));
    EXPECT_EQ(panels.openRequests.at(1),
              (NBEOpenPanelRequest{"Choose a file to open", "Open", false, std::nullopt}));
}
