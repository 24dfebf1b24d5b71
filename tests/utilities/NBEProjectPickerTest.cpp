#include "NBEProjectPicker.h"
#include "NBETestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// Answers the panels as a user would have, and remembers what they showed.
class AnsweringPanels : public NBEProjectPanels
{
public:
    std::optional<QUrl> runOpenPanel(const NBEOpenPanelRequest &request) override
    {
        openRequests.append(request);
        return openAnswer;
    }
    std::optional<NBESavePanelResult> runSavePanel(const NBESavePanelRequest &request) override
    {
        saveRequests.append(request);
        return saveAnswer;
    }

    std::optional<QUrl> openAnswer;
    std::optional<NBESavePanelResult> saveAnswer;
    QList<NBEOpenPanelRequest> openRequests;
    QList<NBESavePanelRequest> saveRequests;
};

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
        AnsweringPanels panels;
        panels.saveAnswer = NBESavePanelResult{QUrl::fromLocalFile(c.path), c.git};
        const auto created = NBETest::await(NBEProjectPicker::createProject(panels));
        ASSERT_TRUE(created.has_value());
        EXPECT_EQ(*created, QUrl::fromLocalFile(c.path));
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

TEST(NBEProjectPicker, ExistingFolderIsKept)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("existing"));
    NBETest::writeFile(path + QStringLiteral("/index.html"), "<p>keep</p>");
    AnsweringPanels panels;
    panels.saveAnswer = NBESavePanelResult{QUrl::fromLocalFile(path), true};
    const auto created = NBETest::await(NBEProjectPicker::createProject(panels));
    ASSERT_TRUE(created.has_value());
    EXPECT_EQ(NBETest::readFile(path + QStringLiteral("/index.html")), "<p>keep</p>");
    EXPECT_TRUE(isRepository(path));
}

TEST(NBEProjectPicker, CancelledPanelsGiveNothing)
{
    AnsweringPanels panels;
    EXPECT_EQ(NBETest::await(NBEProjectPicker::createProject(panels)), std::nullopt);
    EXPECT_EQ(NBEProjectPicker::chooseFolder(panels), std::nullopt);
    EXPECT_EQ(NBEProjectPicker::chooseFile(panels), std::nullopt);
}

TEST(NBEProjectPicker, ChoosersAskForTheRightKind)
{
    AnsweringPanels panels;
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

TEST(NBEProjectPicker, UncreatableFolderIsStillHandedBack)
{
    QTemporaryDir dir;
    const QString blocker = dir.filePath(QStringLiteral("file"));
    NBETest::writeFile(blocker, "x");
    const QUrl inside = QUrl::fromLocalFile(blocker + QStringLiteral("/project"));
    EXPECT_EQ(NBETest::await(NBEProjectPicker::makeProject(inside, true)), inside);
    EXPECT_FALSE(QFileInfo::exists(blocker + QStringLiteral("/project")));
}
