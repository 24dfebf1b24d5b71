#include "NBEWindowOpener.h"

#include "NBETestSupport.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct Folders
{
    QTemporaryDir dir;
    QString site;
    QString blog;

    Folders()
    {
        QDir(dir.path()).mkpath(QStringLiteral("site/css"));
        QDir(dir.path()).mkpath(QStringLiteral("blog"));
        site = dir.path() + QStringLiteral("/site");
        blog = dir.path() + QStringLiteral("/blog");
        NBETest::writeFile(site + QStringLiteral("/index.html"), "<p>");
        NBETest::writeFile(site + QStringLiteral("/about.html"), "<p>");
        NBETest::writeFile(site + QStringLiteral("/css/main.css"), "p{}");
        NBETest::writeFile(blog + QStringLiteral("/post.md"), "# Post");
    }
    QUrl url(const QString &path) const { return QUrl::fromLocalFile(path); }
};

} // namespace

TEST(NBEWindowOpener, ProjectRootOfFoldersAndFiles)
{
    Folders f;
    EXPECT_EQ(NBEWindowOpener::projectRoot(f.url(f.site)), f.url(f.site));
    EXPECT_EQ(NBEWindowOpener::projectRoot(f.url(f.site + QStringLiteral("/"))), f.url(f.site));
    EXPECT_EQ(NBEWindowOpener::projectRoot(f.url(f.site + QStringLiteral("/index.html"))),
              f.url(f.site));
    EXPECT_EQ(NBEWindowOpener::projectRoot(f.url(f.site + QStringLiteral("/css/main.css"))),
              f.url(f.site + QStringLiteral("/css")));
    // A file that doesn't exist yet still belongs to its folder.
    EXPECT_EQ(NBEWindowOpener::projectRoot(f.url(f.site + QStringLiteral("/new.html"))),
              f.url(f.site));
}

TEST(NBEWindowOpener, FilesWaitPerRootInArrivalOrderUntilTaken)
{
    Folders f;
    NBEWindowOpener opener;
    QList<QUrl> shown;
    opener.setWindowOpeningAction([&](const QUrl &root) { shown.append(root); });
    QList<QUrl> posted;
    QObject::connect(&opener, &NBEWindowOpener::openPendingFiles,
                     [&](const QUrl &root) { posted.append(root); });

    opener.open(f.url(f.site + QStringLiteral("/index.html")));
    opener.open(f.url(f.blog + QStringLiteral("/post.md")));
    opener.open(f.url(f.site + QStringLiteral("/about.html")));
    opener.open(f.url(f.site + QStringLiteral("/index.html"))); // already queued

    EXPECT_EQ(shown, (QList<QUrl>{f.url(f.site), f.url(f.blog), f.url(f.site), f.url(f.site)}));
    ASSERT_EQ(posted.count(), 4);
    EXPECT_EQ(posted.at(1), f.url(f.blog));

    // Another root's queue is not touched; a root with a trailing slash is the same root.
    EXPECT_EQ(opener.takePendingFiles(f.url(f.site + QStringLiteral("/"))),
              (QList<QUrl>{f.url(f.site + QStringLiteral("/index.html")),
                           f.url(f.site + QStringLiteral("/about.html"))}));
    EXPECT_TRUE(opener.takePendingFiles(f.url(f.site)).isEmpty());
    EXPECT_EQ(opener.takePendingFiles(f.url(f.blog)),
              QList<QUrl>{f.url(f.blog + QStringLiteral("/post.md"))});
    EXPECT_TRUE(opener.takePendingFiles(QUrl(QStringLiteral("https://example.com/"))).isEmpty());
}

TEST(NBEWindowOpener, FolderOpensItsWindowWithoutQueueingAFile)
{
    Folders f;
    NBEWindowOpener opener;
    QList<QUrl> shown;
    opener.setWindowOpeningAction([&](const QUrl &root) { shown.append(root); });
    opener.open(f.url(f.site));
    EXPECT_EQ(shown, QList<QUrl>{f.url(f.site)});
    EXPECT_TRUE(opener.takePendingFiles(f.url(f.site)).isEmpty());
    opener.open(QUrl(QStringLiteral("https://example.com/")));
    EXPECT_EQ(shown.size(), 1);
}

TEST(NBEWindowOpener, RootsWaitForTheWindowOpeningAction)
{
    Folders f;
    NBEWindowOpener opener;
    QList<QUrl> posted;
    QObject::connect(&opener, &NBEWindowOpener::openPendingFiles,
                     [&](const QUrl &root) { posted.append(root); });
    opener.open(f.url(f.blog + QStringLiteral("/post.md")));
    opener.open(f.url(f.site + QStringLiteral("/index.html")));
    opener.open(f.url(f.blog));
    EXPECT_EQ(posted.count(), 0);
    EXPECT_EQ(opener.waitingRoots(), (QList<QUrl>{f.url(f.blog), f.url(f.site)}));

    QList<QUrl> shown;
    opener.setWindowOpeningAction([&](const QUrl &root) { shown.append(root); });
    EXPECT_EQ(shown, (QList<QUrl>{f.url(f.blog), f.url(f.site)}));
    EXPECT_EQ(posted.count(), 2);
    EXPECT_TRUE(opener.waitingRoots().isEmpty());
    EXPECT_EQ(opener.takePendingFiles(f.url(f.site)),
              QList<QUrl>{f.url(f.site + QStringLiteral("/index.html"))});
}
