#include "NBEAppLauncher.h"
#include "NBEIntegration.h"
#include "NBETestSupport.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QString applicationsFolder()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::ApplicationsLocation);
    QDir().mkpath(folder);
    return folder;
}

void writeEntry(const QString &id, const QByteArray &body)
{
    NBETest::writeFile(applicationsFolder() + QLatin1Char('/') + id, body);
}

class NBEAppLauncherTest : public ::testing::Test
{
protected:
    void TearDown() override
    {
        QFile::remove(applicationsFolder() + QLatin1Char('/') +
                      NBEAppLauncher::tarnwickDesktopEntryId());
    }
};

} // namespace

TEST_F(NBEAppLauncherTest, TarnwickIsFoundByItsDesktopEntry)
{
    EXPECT_EQ(NBEAppLauncher::tarnwickURL(), std::nullopt);

    const QString id = NBEAppLauncher::tarnwickDesktopEntryId();
    EXPECT_EQ(id, QStringLiteral("dev.nabri.Tarnwick.desktop"));
    struct Case
    {
        const char *name;
        QByteArray body;
        bool installed;
    };
    const QList<Case> cases{
        {"application", "[Desktop Entry]\nType=Application\nName=Tarnwick\nExec=/bin/true %F\n",
         true},
        {"hidden", "[Desktop Entry]\nType=Application\nExec=/bin/true\nHidden=true\n", false},
        {"no command", "[Desktop Entry]\nType=Application\nName=Tarnwick\n", false},
        {"a link", "[Desktop Entry]\nType=Link\nURL=https://example.invalid\nExec=/bin/true\n",
         false},
        {"missing TryExec", "[Desktop Entry]\nType=Application\nExec=x\nTryExec=/nonexistent/x\n",
         false},
        {"TryExec on the path", "[Desktop Entry]\nType=Application\nExec=sh\nTryExec=sh\n", true},
        {"keys of another group",
         "[Desktop Action new]\nExec=/bin/true\n\n[Desktop Entry]\n"
         "Type=Application\nName=T\n",
         false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        writeEntry(id, c.body);
        const auto url = NBEAppLauncher::tarnwickURL();
        EXPECT_EQ(url.has_value(), c.installed);
        if (url) {
            EXPECT_EQ(*url, QUrl::fromLocalFile(applicationsFolder() + QLatin1Char('/') + id));
        }
    }
    EXPECT_EQ(NBEAppLauncher::applicationURL(QStringLiteral("../x.desktop")), std::nullopt);
}

TEST_F(NBEAppLauncherTest, OpenHandsTheFolderToTheApplication)
{
    QTemporaryDir dir;
    const QString script = dir.filePath(QStringLiteral("tarnwick"));
    const QString output = dir.filePath(QStringLiteral("arguments.txt"));
    NBETest::writeFile(script, "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$0.tmp\" && mv \"$0.tmp\" \"" +
                                   output.toUtf8() + "\"\n");
    QFile::setPermissions(script, QFile::permissions(script) | QFileDevice::ExeUser);
    writeEntry(NBEAppLauncher::tarnwickDesktopEntryId(),
               "[Desktop Entry]\nType=Application\nName=Tarnwick\nExec=\"" + script.toUtf8() +
                   "\" --open %F\n");

    const auto app = NBEAppLauncher::tarnwickURL();
    ASSERT_TRUE(app.has_value());
    const QString project = dir.filePath(QStringLiteral("my api"));
    EXPECT_TRUE(NBEAppLauncher::open({QUrl::fromLocalFile(project)}, *app));
    ASSERT_TRUE(NBETest::waitUntil([&] { return QFile::exists(output); }));
    EXPECT_EQ(NBETest::readFile(output), "--open\n" + project.toUtf8() + "\n");

    EXPECT_FALSE(NBEAppLauncher::open({QUrl::fromLocalFile(project)},
                                      QUrl::fromLocalFile(dir.filePath("none.desktop"))));
}

TEST(NBEAppLauncher, CommandLinesFromExec)
{
    const QList<QUrl> two{QUrl::fromLocalFile(QStringLiteral("/p/a b")),
                          QUrl::fromLocalFile(QStringLiteral("/p/c"))};
    struct Case
    {
        const char *name;
        QString exec;
        QList<QStringList> expected; // empty: unusable
    };
    const QList<Case> cases{
        {"file list", "tarnwick %F", {{"tarnwick", "/p/a b", "/p/c"}}},
        {"url list",
         "tarnwick --urls %U",
         {{"tarnwick", "--urls", "file:///p/a%20b", "file:///p/c"}}},
        {"one per file", "tarnwick %f", {{"tarnwick", "/p/a b"}, {"tarnwick", "/p/c"}}},
        {"no file code", "tarnwick --new", {{"tarnwick", "--new"}}},
        {"quoting",
         R"("/opt/My App/run" "say \"hi\" \$HOME \\ \`x\`" %F)",
         {{"/opt/My App/run", R"(say "hi" $HOME \ `x`)", "/p/a b", "/p/c"}}},
        {"percent, name, icon, entry",
         "run 100%% --name=%c %i %k %d",
         {{"run", "100%", "--name=Tarnwick", "--icon", "tarnwick", "/e.desktop"}}},
        {"extra spaces", "  run   %F  ", {{"run", "/p/a b", "/p/c"}}},
        {"unclosed quote", R"("run %F)", {}},
        {"empty", "", {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const auto lines =
            NBEAppLauncher::commandLines(c.exec, two, QStringLiteral("Tarnwick"),
                                         QStringLiteral("tarnwick"), QStringLiteral("/e.desktop"));
        if (c.expected.isEmpty())
            EXPECT_FALSE(lines.has_value());
        else
            EXPECT_EQ(lines, std::optional(c.expected));
    }
    EXPECT_EQ(NBEAppLauncher::commandLines(QStringLiteral("run %f --x %u"), {}),
              std::optional(QList<QStringList>{{"run", "--x"}}));
}

TEST(NBEIntegration, CandidatesUnderHome)
{
    const QList<NBEIntegrationLocation> places =
        NBEIntegration::candidates(QUrl::fromLocalFile(QStringLiteral("/home/x")));
    ASSERT_EQ(places.size(), 2);
    EXPECT_EQ(places.at(0).id, QStringLiteral("pennwright"));
    EXPECT_EQ(places.at(0).url, QUrl::fromLocalFile(QStringLiteral("/home/x/Pennwright/")));
    EXPECT_EQ(places.at(1), (NBEIntegrationLocation{"tarnwick", "Open Tarnwick Project…",
                                                    QUrl::fromLocalFile("/home/x/Tarnwick/")}));
    EXPECT_EQ(NBEIntegration::candidates(QUrl::fromLocalFile(QStringLiteral("/home/x/"))), places);

    const QList<NBEIntegrationLocation> menu = NBEIntegration::menuLocations();
    ASSERT_EQ(menu.size(), 2);
    EXPECT_TRUE(menu.at(1).url.toLocalFile().endsWith(QStringLiteral("/Tarnwick/")));
}

TEST(NBEIntegration, OnlyPlacesOnDiskAreOffered)
{
    QTemporaryDir home;
    const QUrl homeURL = QUrl::fromLocalFile(home.path());
    EXPECT_TRUE(NBEIntegration::availableLocations(homeURL).isEmpty());
    // A file by the place's name is no place to start a folder chooser.
    NBETest::writeFile(home.filePath(QStringLiteral("Pennwright")), "x");
    QDir(home.path()).mkdir(QStringLiteral("Tarnwick"));
    const QList<NBEIntegrationLocation> offered = NBEIntegration::availableLocations(homeURL);
    ASSERT_EQ(offered.size(), 1);
    EXPECT_EQ(offered.first().id, QStringLiteral("tarnwick"));
}
