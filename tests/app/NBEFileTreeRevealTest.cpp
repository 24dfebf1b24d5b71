// The file tree's Reveal item, through the real shell, reaching a file
// manager that this test plays on a private bus. A program of its own, so
// the bus it points the environment at touches no other test.
#include "NBEApplicationShell.h"
#include "NBEFileTreeView.h"
#include "NBEMainView.h"
#include "NBETestSupport.h"
#include "NBEWorkspaceViewModel.h"

#include <QAction>
#include <QDBusConnection>
#include <QMenu>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// Plays the file manager on a bus of its own.
class FakeFileManager : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")

public:
    QList<QStringList> shown;

public Q_SLOTS:
    void ShowItems(const QStringList &uris, const QString &startupId)
    {
        Q_UNUSED(startupId);
        shown.append(uris);
    }
};

// A private session bus, so no other program's file manager (or test) answers.
class PrivateBus
{
public:
    PrivateBus()
    {
        m_daemon.start(QStringLiteral("dbus-daemon"),
                       {QStringLiteral("--session"), QStringLiteral("--nofork"),
                        QStringLiteral("--print-address=1")});
        if (!m_daemon.waitForStarted() || !m_daemon.waitForReadyRead(10000))
            return;
        address = QString::fromUtf8(m_daemon.readLine()).trimmed();
        m_previous = qgetenv("DBUS_SESSION_BUS_ADDRESS");
        qputenv("DBUS_SESSION_BUS_ADDRESS", address.toUtf8());
    }
    ~PrivateBus()
    {
        QDBusConnection::disconnectFromBus(QStringLiteral("nbe-file-manager"));
        if (!address.isEmpty() && m_previous.isNull())
            qunsetenv("DBUS_SESSION_BUS_ADDRESS");
        else if (!address.isEmpty())
            qputenv("DBUS_SESSION_BUS_ADDRESS", m_previous);
        m_daemon.kill();
        m_daemon.waitForFinished();
    }

    QString address;

private:
    QProcess m_daemon;
    QByteArray m_previous;
};

} // namespace

TEST(NBEFileTreeReveal, TheTreesRevealItemShowsTheItemInTheFileManager)
{
    PrivateBus bus;
    if (bus.address.isEmpty())
        GTEST_SKIP() << "dbus-daemon could not start";
    QDBusConnection connection =
        QDBusConnection::connectToBus(bus.address, QStringLiteral("nbe-file-manager"));
    FakeFileManager fileManager;
    ASSERT_TRUE(connection.registerService(QStringLiteral("org.freedesktop.FileManager1")));
    ASSERT_TRUE(connection.registerObject(QStringLiteral("/org/freedesktop/FileManager1"),
                                          &fileManager, QDBusConnection::ExportAllSlots));

    QTemporaryDir dir;
    NBETest::writeFile(dir.filePath(QStringLiteral("my page.html")), "<p>x</p>\n");
    NBEApplicationShell shell;
    NBEProjectWindow *window = shell.openProject(QUrl::fromLocalFile(QDir::cleanPath(dir.path())));
    ASSERT_TRUE(
        NBETest::waitUntil([&] { return window->mainView()->viewModel()->files().isOpen(); }));
    const QUrl page =
        QUrl::fromLocalFile(QDir::cleanPath(dir.filePath(QStringLiteral("my page.html"))));
    NBEFileTreeWidget *tree = window->mainView()->fileTree()->treeWidget();
    ASSERT_TRUE(NBETest::waitUntil([&] { return tree->itemForURL(page) != nullptr; }));
    QMenu menu;
    tree->fillContextMenu(menu, tree->itemForURL(page));
    QAction *reveal = nullptr;
    for (QAction *action : menu.actions())
        if (action->text() == QStringLiteral("Reveal in File Manager"))
            reveal = action;
    ASSERT_TRUE(reveal);
    ASSERT_TRUE(reveal->isEnabled());
    reveal->trigger();
    ASSERT_TRUE(NBETest::waitUntil([&] { return !fileManager.shown.isEmpty(); }));
    EXPECT_EQ(fileManager.shown.first(), QStringList{page.toString(QUrl::FullyEncoded)});
}

#include "NBEFileTreeRevealTest.moc"
