#include "NBETabStrip.h"
#include "NBETabBar.h"

#include "NBEQtPrinters.h"
#include "NBETestSupport.h"
#include "NBEWorkspaceDesktop.h"

#include <QDesktopServices>
#include <QTest>
#include <gtest/gtest.h>

namespace {

NBEOpenTab makeTab(const QString &path, bool dirty = false)
{
    NBEOpenTab tab(NBESourceFile(QUrl::fromLocalFile(path), QStringLiteral("x")), std::nullopt);
    tab.id = QUuid::createUuid();
    if (dirty)
        tab.sourceFile.buffer->replaceAll(QStringLiteral("changed"));
    return tab;
}

} // namespace

TEST(NBETabStrip, LiveReorderThresholds)
{
    const QUuid a = QUuid::createUuid(), b = QUuid::createUuid(), c = QUuid::createUuid();
    const QList<QUuid> order{a, b, c};
    const QHash<QUuid, double> widths{{a, 100}, {b, 80}, {c, 60}};
    const struct
    {
        const char *name;
        QUuid dragged;
        double offset;
        QHash<QUuid, double> widths;
        std::optional<NBETabMove> expected;
    } cases[] = {
        {"0.6 of the right neighbour moves right", a, 48, widths, NBETabMove{0, 1, -32}},
        {"exactly half moves nothing", a, 40, widths, std::nullopt},
        {"left past half moves left", c, -41, widths, NBETabMove{2, 1, 39}},
        {"left exactly half moves nothing", c, -40, widths, std::nullopt},
        {"last tab to the right", c, 500, widths, std::nullopt},
        {"first tab to the left", a, -500, widths, std::nullopt},
        {"no offset", b, 0, widths, std::nullopt},
        {"unmeasured neighbour counts 120", a, 61, {}, NBETabMove{0, 1, -59}},
        {"unmeasured neighbour below half", a, 60, {}, std::nullopt},
        {"closed while dragged", QUuid::createUuid(), 200, widths, std::nullopt},
    };
    for (const auto &c : cases)
        EXPECT_EQ(NBETabStrip::liveReorderStep(order, c.dragged, c.offset, c.widths), c.expected)
            << c.name;
    EXPECT_FALSE(NBETabStrip::liveReorderStep({a}, a, 300, widths)); // the only tab
}

TEST(NBETabStrip, ClicksSelectCloseAndDragReorders)
{
    QList<QString> calls;
    QList<NBEOpenTab> tabs{makeTab(QStringLiteral("/p/index.html")),
                           makeTab(QStringLiteral("/p/style.css"), true),
                           makeTab(QStringLiteral("/p/app.js"))};
    NBETabStrip *strip = nullptr;
    NBETabStripActions actions;
    actions.select = [&](const QUuid &id) {
        calls << QStringLiteral("select %1")
                     .arg(tabs.indexOf(
                         *std::find_if(tabs.begin(), tabs.end(),
                                       [&](const NBEOpenTab &t) { return t.id == id; })));
        strip->setTabs(tabs, id);
    };
    actions.close = [&](const QUuid &id) {
        for (int i = 0; i < tabs.size(); ++i)
            if (tabs[i].id == id)
                calls << QStringLiteral("close %1").arg(i);
    };
    actions.move = [&](int from, int to) {
        calls << QStringLiteral("move %1 %2").arg(from).arg(to);
        tabs.move(from, to);
        strip->setTabs(tabs, strip->activeID());
    };
    NBETabStrip widget(actions);
    strip = &widget;
    widget.setTabs(tabs, tabs[0].id);
    widget.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&widget));

    // A click that moves less than the threshold selects and drags nothing.
    const QRect second = widget.tabRect(1);
    QTest::mousePress(&widget, Qt::LeftButton, {}, second.center());
    QTest::mouseMove(&widget, second.center() + QPoint(5, 0));
    QTest::mouseRelease(&widget, Qt::LeftButton, {}, second.center() + QPoint(5, 0));
    EXPECT_EQ(calls, QStringList{QStringLiteral("select 1")});
    EXPECT_FALSE(widget.draggingID());

    // The close button of the active tab closes that tab.
    calls.clear();
    const QRect close = NBETabItem{tabs[1], true}.closeRect(widget.tabRect(1));
    QTest::mouseClick(&widget, Qt::LeftButton, {}, close.center());
    EXPECT_EQ(calls, QStringList{QStringLiteral("close 1")});

    // Dragging the first tab right past half of its neighbour moves it once.
    calls.clear();
    const QRect first = widget.tabRect(0);
    const int neighbour = widget.tabRect(1).width();
    QTest::mousePress(&widget, Qt::LeftButton, {}, first.center());
    QTest::mouseMove(&widget, first.center() + QPoint(10, 0));
    QTest::mouseMove(&widget, first.center() + QPoint(neighbour * 6 / 10, 0));
    EXPECT_EQ(calls, (QStringList{QStringLiteral("select 0"), QStringLiteral("move 0 1")}));
    EXPECT_EQ(tabs[1].sourceFile.url.fileName(), QStringLiteral("index.html"));
    EXPECT_NEAR(widget.dragOffset(), neighbour * 6 / 10 - neighbour, 1.0);
    QTest::mouseRelease(&widget, Qt::LeftButton, {},
                        first.center() + QPoint(neighbour * 6 / 10, 0));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !widget.draggingID(); }, 2000));
    EXPECT_EQ(widget.dragOffset(), 0.0);
    EXPECT_EQ(calls.size(), 2); // nothing more on release
}

TEST(NBETabStrip, ItemLooks)
{
    NBETabItem item{makeTab(QStringLiteral("/p/a b.md"), true)};
    EXPECT_EQ(item.title(), QStringLiteral("a b.md"));
    EXPECT_EQ(item.toolTip(), QStringLiteral("/p/a b.md"));
    EXPECT_TRUE(item.isModified());
    EXPECT_FALSE(item.showsCloseButton());
    item.isHovering = true;
    EXPECT_TRUE(item.showsCloseButton());
    QPalette palette;
    EXPECT_NEAR(item.background(palette).alphaF(), 0.06, 0.01);
    item.isActive = true; // active wins over hover
    EXPECT_NEAR(item.background(palette).alphaF(), 0.12, 0.01);
    EXPECT_EQ(item.background(palette).rgb(), QColor(0xD9, 0x77, 0x06).rgb());
    item.tab.isEphemeral = true;
    EXPECT_TRUE(item.titleFont(QFont()).italic());
}

namespace {

// Takes the URLs the desktop is asked to open.
class OpenedURLs : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> urls;

public Q_SLOTS:
    void open(const QUrl &url) { urls.append(url); }
};

} // namespace

// The test session's bus has no file manager: the folder opens instead.
TEST(NBETabStrip, RevealOpensTheFolderWhenNoFileManagerAnswers)
{
    OpenedURLs opened;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &opened, "open");
    NBEHeadlessDesktop().revealInFileManager(
        QUrl::fromLocalFile(QStringLiteral("/tmp/site/index.html")));
    EXPECT_TRUE(NBETest::waitUntil([&] { return !opened.urls.isEmpty(); }));
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    EXPECT_EQ(opened.urls, QList<QUrl>{QUrl::fromLocalFile(QStringLiteral("/tmp/site"))});
}

#include "NBETabStripTest.moc"

// A very long file name is elided in the middle, keeping its extension, so
// the tab keeps a bounded width; the tooltip still names the whole path.
TEST(NBETabStrip, ALongNameIsElidedInItsTab)
{
    const QString name = QString(300, u'n') + QStringLiteral(".html");
    NBETabItem item{makeTab(QStringLiteral("/p/") + name, false)};
    const QFont font;
    const QString shown = item.shownTitle(font);
    EXPECT_TRUE(shown.contains(QChar(0x2026)));
    EXPECT_TRUE(shown.endsWith(QStringLiteral(".html")));
    EXPECT_LE(item.width(font), NBETabItem::maxTitleWidth + 2 * NBETabItem::horizontalPadding +
                                    NBETabItem::spacing + NBETabItem::closeSize);
    EXPECT_EQ(item.toolTip(), QStringLiteral("/p/") + name);
    NBETabItem plain{makeTab(QStringLiteral("/p/a.css"), false)};
    EXPECT_EQ(plain.shownTitle(font), QStringLiteral("a.css"));
}
