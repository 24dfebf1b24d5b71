#include "NBEWebLSPServers.h"
#include "NBETestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class NBEWebLSPServersTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    QString path(const QString &relative) const { return dir.filePath(relative); }

    void touch(const QString &relative, bool executable = false)
    {
        QDir().mkpath(QFileInfo(path(relative)).path());
        NBETest::writeFile(path(relative), "#!/bin/sh\n");
        if (executable)
            QFile::setPermissions(path(relative),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    QTemporaryDir dir;
};

const QString cssScript =
    "node_modules/vscode-langservers-extracted/bin/vscode-css-language-server";

} // namespace

TEST_F(NBEWebLSPServersTest, ServedLanguagesMapToThemselves)
{
    for (const char *language : {"html", "css", "json", "javascript"})
        EXPECT_EQ(NBEWebLSPServers::serverLanguageId(language), QString(language));
    for (const char *language : {"HTML", "swift", "markdown", "leaf", "env", "yaml", ""})
        EXPECT_FALSE(NBEWebLSPServers::serverLanguageId(language)) << language;
    EXPECT_EQ(NBEWebLSPServers::relativeScriptPath("javascript"),
              "node_modules/typescript-language-server/lib/cli.mjs");
    EXPECT_FALSE(NBEWebLSPServers::launch("markdown"));
}

TEST_F(NBEWebLSPServersTest, SearchRootsInOrderWithTheDepthLimit)
{
    const QStringList roots =
        NBEWebLSPServers::searchRoots(path("data"), path("prefix"), path("a/b/c/d/e/f/g/h/i/bin"));
    ASSERT_EQ(roots.size(), 10);
    EXPECT_EQ(roots[0], path("data/web-lsp"));
    EXPECT_EQ(roots[1], path("prefix/share/nabri-editor/web-lsp"));
    EXPECT_EQ(roots[2], path("a/b/c/d/e/f/g/h/i/bin/Vendor/web-lsp"));
    EXPECT_EQ(roots[9], path("a/b/c/Vendor/web-lsp"));

    // Seven folders above the executable's folder are searched, eight are not.
    touch("a/b/c/" + QString("Vendor/web-lsp/") + cssScript);
    EXPECT_EQ(NBEWebLSPServers::serverScript("css", roots),
              path("a/b/c/Vendor/web-lsp/" + cssScript));
    QFile::remove(path("a/b/c/Vendor/web-lsp/" + cssScript));
    touch("a/b/Vendor/web-lsp/" + cssScript);
    EXPECT_FALSE(NBEWebLSPServers::serverScript("css", roots));

    // The walk stops at the file-system root.
    EXPECT_EQ(NBEWebLSPServers::searchRoots({}, {}, "/usr/bin"),
              (QStringList{"/usr/bin/Vendor/web-lsp", "/usr/Vendor/web-lsp", "/Vendor/web-lsp"}));
}

TEST_F(NBEWebLSPServersTest, EarlierRootsWinForScriptsAndNode)
{
    const QStringList roots =
        NBEWebLSPServers::searchRoots(path("data"), path("prefix"), path("build/bin"));
    touch("prefix/share/nabri-editor/web-lsp/" + cssScript);
    EXPECT_EQ(NBEWebLSPServers::serverScript("css", roots),
              path("prefix/share/nabri-editor/web-lsp/" + cssScript));
    touch("data/web-lsp/" + cssScript);
    EXPECT_EQ(NBEWebLSPServers::serverScript("css", roots), path("data/web-lsp/" + cssScript));
    EXPECT_FALSE(NBEWebLSPServers::serverScript("html", roots));

    touch("fixed/node", true);
    touch("onpath/node", true);
    touch("data/web-lsp/bin/node", true); // not directly in the root
    EXPECT_EQ(NBEWebLSPServers::nodeExecutable(roots, {path("fixed/node")}, path("onpath")),
              path("fixed/node"));
    EXPECT_EQ(NBEWebLSPServers::nodeExecutable(roots, {}, path("empty") + ":" + path("onpath")),
              path("onpath/node"));
    touch("prefix/share/nabri-editor/web-lsp/node"); // not executable
    EXPECT_EQ(NBEWebLSPServers::nodeExecutable(roots, {path("fixed/node")}, {}),
              path("fixed/node"));
    touch("data/web-lsp/node", true);
    EXPECT_EQ(NBEWebLSPServers::nodeExecutable(roots, {path("fixed/node")}, {}),
              path("data/web-lsp/node"));

    const auto launch = NBEWebLSPServers::launch("css", roots, {}, {});
    ASSERT_TRUE(launch);
    EXPECT_EQ(*launch, (NBEWebLSPLaunch{path("data/web-lsp/node"),
                                        {path("data/web-lsp/" + cssScript), "--stdio"},
                                        "css"}));

    // Without Node.js there is no launch, even with every script present.
    QFile::remove(path("data/web-lsp/node"));
    EXPECT_FALSE(NBEWebLSPServers::launch("css", roots, {}, path("empty")));
}

TEST_F(NBEWebLSPServersTest, ABuildTreeFindsTheRepositoryServers)
{
    // The test program sits in the build tree, below the repository.
    for (const char *language : {"html", "css", "json", "javascript"}) {
        const auto launch = NBEWebLSPServers::launch(language);
        ASSERT_TRUE(launch) << language << ": run scripts/setup to install the servers";
        EXPECT_TRUE(launch->arguments[0].startsWith(
            QDir::cleanPath(QStringLiteral(NBE_SOURCE_DIR)) + "/Vendor/web-lsp/"));
        EXPECT_EQ(launch->arguments[1], "--stdio");
    }
}
