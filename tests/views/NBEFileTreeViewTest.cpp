#include "NBEFileTreeView.h"
#include "NBEFileService.h"
#include "NBEFileTreeRow.h"
#include "NBEQtPrinters.h"
#include "NBETestSupport.h"

#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

struct Recorder
{
    QStringList calls;
    NBEFileTreeActions actions()
    {
        NBEFileTreeActions a;
        a.openFile = [this](const QUrl &url, bool preview) {
            calls << QStringLiteral("open %1 %2").arg(url.fileName()).arg(preview);
        };
        a.toggleExpanded = [this](const QUuid &) { calls << QStringLiteral("toggle"); };
        a.createFile = [this](const QString &name, const QUrl &folder) {
            calls << QStringLiteral("createFile [%1] in %2").arg(name, folder.fileName());
        };
        a.createFolder = [this](const QString &name, const QUrl &folder) {
            calls << QStringLiteral("createFolder [%1] in %2").arg(name, folder.fileName());
        };
        a.renameItem = [this](const QUrl &url, const QString &name) {
            calls << QStringLiteral("rename %1 to [%2]").arg(url.fileName(), name);
        };
        a.deleteItem = [this](const QUrl &url) {
            calls << QStringLiteral("delete %1").arg(url.fileName());
        };
        a.moveItem = [this](const QUrl &item, const QUrl &folder) {
            calls << QStringLiteral("move %1 into %2").arg(item.fileName(), folder.fileName());
        };
        a.showError = [this](const QString &message) {
            calls << QStringLiteral("error ") + message;
        };
        return a;
    }
};

QStringList topLevelNames(QTreeWidget *tree)
{
    QStringList names;
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        names << tree->topLevelItem(i)->text(0);
    return names;
}

} // namespace

TEST(NBEFileTreeRow, IconsBadgesAndBackgrounds)
{
    const struct
    {
        QString ext, symbol;
    } icons[] = {{QStringLiteral("MD"), QStringLiteral("doc.richtext")},
                 {QStringLiteral("HTM"), QStringLiteral("chevron.left.forwardslash.chevron.right")},
                 {QStringLiteral("gz"), QStringLiteral("doc")},
                 {QString(), QStringLiteral("doc")},
                 {QStringLiteral("ts"), QStringLiteral("doc")},
                 {QStringLiteral("mjs"), QStringLiteral("curlybraces")},
                 {QStringLiteral("css"), QStringLiteral("paintbrush")},
                 {QStringLiteral("json"), QStringLiteral("doc.text")},
                 {QStringLiteral("swift"), QStringLiteral("swift")}};
    for (const auto &c : icons)
        EXPECT_EQ(NBEFileTreeRow::fileIcon(c.ext), c.symbol) << c.ext.toStdString();

    const QColor amber(0xD9, 0x77, 0x06);
    const struct
    {
        NBEGitStatus status;
        const char *letter;
        QColor color;
    } badges[] = {{NBEGitStatus::modified, "M", amber},
                  {NBEGitStatus::renamed, "R", amber},
                  {NBEGitStatus::added, "A", NBEFileTreeRow::gitColor(NBEGitStatus::untracked)},
                  {NBEGitStatus::untracked, "U", NBEFileTreeRow::gitColor(NBEGitStatus::added)},
                  {NBEGitStatus::deleted, "D", NBEFileTreeRow::gitColor(NBEGitStatus::conflicted)},
                  {NBEGitStatus::conflicted, "C", NBEFileTreeRow::gitColor(NBEGitStatus::deleted)}};
    for (const auto &c : badges) {
        EXPECT_EQ(NBEFileTreeRow::letter(c.status), QLatin1String(c.letter));
        EXPECT_EQ(NBEFileTreeRow::gitColor(c.status), c.color) << c.letter;
    }
    EXPECT_GT(NBEFileTreeRow::gitColor(NBEGitStatus::added).green(),
              NBEFileTreeRow::gitColor(NBEGitStatus::added).red());
    EXPECT_GT(NBEFileTreeRow::gitColor(NBEGitStatus::deleted).red(),
              NBEFileTreeRow::gitColor(NBEGitStatus::deleted).green());

    const QColor primary = Qt::black;
    EXPECT_NEAR(NBEFileTreeRow::rowBackground(true, true, primary).alphaF(), 0.15, 0.01);
    EXPECT_EQ(NBEFileTreeRow::rowBackground(true, true, primary).rgb(), amber.rgb());
    EXPECT_NEAR(NBEFileTreeRow::rowBackground(false, true, primary).alphaF(), 0.06, 0.01);
    EXPECT_EQ(NBEFileTreeRow::rowBackground(false, false, primary).alpha(), 0);
}

TEST(NBEFileTreeView, ShowsTheTreeInOrderAndSendsClicks)
{
    QTemporaryDir dir;
    NBETest::writeFile(dir.filePath(QStringLiteral("b.html")), "x");
    NBETest::writeFile(dir.filePath(QStringLiteral("A.css")), "x");
    NBETest::writeFile(dir.filePath(QStringLiteral("zeta/inner.js")), "x");
    NBETest::writeFile(dir.filePath(QStringLiteral("file10.md")), "x");
    NBETest::writeFile(dir.filePath(QStringLiteral("file2.md")), "x");
    auto tree = NBEFileService::buildFileTreeNow(dir.path());
    ASSERT_TRUE(tree.has_value());

    Recorder recorder;
    NBEFileTreeView view(recorder.actions());
    view.resize(250, 400);
    view.setTree(*tree);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    EXPECT_EQ(view.headerText(), QDir(dir.path()).dirName());
    QTreeWidget *list = view.treeWidget();
    EXPECT_EQ(
        topLevelNames(list),
        (QStringList{QStringLiteral("zeta"), QStringLiteral("A.css"), QStringLiteral("b.html"),
                     QStringLiteral("file2.md"), QStringLiteral("file10.md")}));

    const auto rowCentre = [&](const QString &name) {
        return list
            ->visualItemRect(list->findItems(name, Qt::MatchExactly | Qt::MatchRecursive).first())
            .center();
    };
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rowCentre(QStringLiteral("b.html")));
    // A double click: the first click, then the double click.
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rowCentre(QStringLiteral("A.css")));
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, rowCentre(QStringLiteral("A.css")));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rowCentre(QStringLiteral("zeta")));
    EXPECT_EQ(recorder.calls,
              (QStringList{QStringLiteral("open b.html 1"), QStringLiteral("open A.css 1"),
                           QStringLiteral("open A.css 0"), QStringLiteral("toggle")}));

    // Expansion comes from the tree value.
    EXPECT_FALSE(list->topLevelItem(0)->isExpanded());
    NBEFileTreeNode expanded = *tree;
    expanded.children[0].isExpanded = true;
    recorder.calls.clear();
    view.setTree(expanded);
    EXPECT_TRUE(list->topLevelItem(0)->isExpanded());
    EXPECT_TRUE(recorder.calls.isEmpty()); // showing it asks for no toggle
}

// Icons are made once per look, and each look keeps its own colour.
TEST(NBEFileTreeRow, IconsAreTintedInTheColourAsked)
{
    for (const QColor colour : {QColor(Qt::red), QColor(Qt::blue), QColor(Qt::red)}) {
        const QImage image = NBEFileTreeRow::icon(QStringLiteral("doc"), colour, 16)
                                 .pixmap(16, 16)
                                 .toImage()
                                 .convertToFormat(QImage::Format_ARGB32);
        int opaque = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (qAlpha(image.pixel(x, y)) == 255) {
                    ++opaque;
                    EXPECT_EQ(QColor(image.pixel(x, y)), colour);
                }
        EXPECT_GT(opaque, 0);
    }
}

// Rows of a large tree: what shows and what one click opens has items, with
// the arrows a closed folder needs; what lies deeper in closed folders comes
// when a folder opens. A list that keeps its own expansion has every row.
TEST(NBEFileTreeView, RowsComeForWhatShowsAndWhatOneClickOpens)
{
    const auto url = [](const QString &path) {
        return QUrl::fromLocalFile(QStringLiteral("/p/") + path);
    };
    const auto file = [&](const QString &path) { return NBEFileTreeNode(url(path), false); };
    const auto folder = [&](const QString &path, QList<NBEFileTreeNode> children,
                            bool expanded = false) {
        NBEFileTreeNode node(url(path), true, std::move(children));
        node.isExpanded = expanded;
        return node;
    };
    // closed/inner holds a file and was left open inside its closed parent.
    const NBEFileTreeNode root = folder(
        QString(),
        {folder("closed", {folder("closed/inner", {file("closed/inner/deep.txt")}, true),
                           file("closed/a.txt")}),
         folder("open", {folder("open/sub", {file("open/sub/x.txt")}), file("open/b.txt")}, true),
         file("top.txt")});

    Recorder recorder;
    NBEFileTreeView view(recorder.actions());
    view.resize(300, 400);
    view.show();
    view.setTree(root);
    NBEFileTreeWidget *list = view.treeWidget();
    EXPECT_EQ(topLevelNames(list), (QStringList{"closed", "open", "top.txt"}));
    QTreeWidgetItem *closed = list->itemForURL(url("closed"));
    ASSERT_NE(closed, nullptr);
    EXPECT_FALSE(closed->isExpanded());
    EXPECT_EQ(closed->childCount(), 2);
    QTreeWidgetItem *inner = list->itemForURL(url("closed/inner"));
    ASSERT_NE(inner, nullptr);
    EXPECT_EQ(inner->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
    EXPECT_EQ(list->itemForURL(url("closed/inner/deep.txt")), nullptr);
    QTreeWidgetItem *open = list->itemForURL(url("open"));
    ASSERT_NE(open, nullptr);
    EXPECT_TRUE(open->isExpanded());
    EXPECT_NE(list->itemForURL(url("open/sub/x.txt")), nullptr) << "one click away";
    EXPECT_TRUE(list->itemForURL(url("open/b.txt"))->isHidden() == false);

    // Opening the closed folder shows the folder left open inside it, open.
    NBEFileTreeNode opened = root;
    opened.children[0].isExpanded = true;
    view.setTree(opened);
    inner = list->itemForURL(url("closed/inner"));
    ASSERT_NE(inner, nullptr);
    EXPECT_TRUE(inner->isExpanded());
    ASSERT_NE(list->itemForURL(url("closed/inner/deep.txt")), nullptr);
    EXPECT_TRUE(list->visualItemRect(list->itemForURL(url("closed/inner/deep.txt"))).isValid());

    NBEFileTreeActions own = recorder.actions();
    own.toggleExpanded = nullptr;
    NBEFileTreeView selfKept(own);
    selfKept.setTree(root);
    EXPECT_NE(selfKept.treeWidget()->itemForURL(url("closed/inner/deep.txt")), nullptr);
}

TEST(NBEFileTreeView, NamesAreCheckedBeforeAnythingRuns)
{
    Recorder recorder;
    NBEFileTreeView view(recorder.actions());
    std::optional<QString> answer;
    view.askName = [&](const QString &, const QString &, const QString &initial) {
        recorder.calls << QStringLiteral("asked [%1]").arg(initial);
        return answer;
    };
    const QUrl folder = QUrl::fromLocalFile(QStringLiteral("/p/site"));
    const QUrl file = QUrl::fromLocalFile(QStringLiteral("/p/site/a.html"));

    answer = QStringLiteral("new.css");
    view.newFile(folder);
    answer = QStringLiteral("   ");
    view.newFolder(folder);
    answer = QString();
    view.newFile(folder); // empty: nothing
    answer = std::nullopt;
    view.newFolder(folder); // cancelled: nothing
    answer = QStringLiteral("a/b.html");
    view.rename(file, QStringLiteral("a.html"));
    answer = QStringLiteral("..");
    view.newFolder(folder);
    answer = QStringLiteral("a.html");
    view.rename(file, QStringLiteral("a.html")); // unchanged still goes through
    view.delete_(file);

    ASSERT_EQ(recorder.calls.size(), 13);
    EXPECT_EQ(recorder.calls[1], QStringLiteral("createFile [new.css] in site"));
    EXPECT_TRUE(recorder.calls[3].startsWith(QStringLiteral("error "))); // blank
    EXPECT_EQ(recorder.calls[6], QStringLiteral("asked [a.html]"));
    EXPECT_TRUE(recorder.calls[7].startsWith(QStringLiteral("error ")));
    EXPECT_TRUE(recorder.calls[9].startsWith(QStringLiteral("error ")));
    EXPECT_EQ(recorder.calls[11], QStringLiteral("rename a.html to [a.html]"));
    EXPECT_EQ(recorder.calls[12], QStringLiteral("delete a.html"));
}

TEST(NBEFileTreeView, DropsMoveIntoTheFolderUnderThePointerOrTheRoot)
{
    QTemporaryDir dir;
    NBETest::writeFile(dir.filePath(QStringLiteral("docs/readme.md")), "x");
    NBETest::writeFile(dir.filePath(QStringLiteral("page.html")), "x");
    auto tree = NBEFileService::buildFileTreeNow(dir.path());
    ASSERT_TRUE(tree.has_value());
    Recorder recorder;
    NBEFileTreeView view(recorder.actions());
    view.resize(250, 300);
    view.setTree(*tree);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    NBEFileTreeWidget *list = view.treeWidget();

    const auto drop = [&](const QList<QUrl> &urls, const QPoint &at) {
        QMimeData data;
        data.setUrls(urls);
        // A drop goes to the widget a drag entered first.
        QDragEnterEvent enter(at, Qt::MoveAction | Qt::CopyAction, &data, Qt::LeftButton, {});
        QCoreApplication::sendEvent(list->viewport(), &enter);
        QDropEvent event(at, Qt::MoveAction | Qt::CopyAction, &data, Qt::LeftButton, {});
        QCoreApplication::sendEvent(list->viewport(), &event);
        return event.isAccepted();
    };
    const QUrl page = QUrl::fromLocalFile(dir.filePath(QStringLiteral("page.html")));
    const QPoint onFolder = list->visualItemRect(list->topLevelItem(0)).center();
    const QPoint onFile = list->visualItemRect(list->topLevelItem(1)).center();
    EXPECT_TRUE(drop({page}, onFolder));
    EXPECT_TRUE(drop({QUrl::fromLocalFile(QStringLiteral("/elsewhere/x.css"))}, onFile));
    EXPECT_FALSE(drop({QUrl(QStringLiteral("https://example.com/a.css"))}, onFolder));
    EXPECT_EQ(recorder.calls,
              (QStringList{QStringLiteral("move page.html into docs"),
                           QStringLiteral("move x.css into %1").arg(QDir(dir.path()).dirName())}));
    EXPECT_FALSE(NBEFileTreeView::handleFileDrop({}, page, nullptr));
}

TEST(NBEFileTreeView, AnUnreadableFolderShowsDimmedWithItsReason)
{
    QTemporaryDir dir;
    NBETest::writeFile(dir.filePath(QStringLiteral("ok/a.css")), "x");
    ASSERT_TRUE(QDir().mkpath(dir.filePath(QStringLiteral("data"))));
    auto tree = NBEFileService::buildFileTreeNow(dir.path());
    ASSERT_TRUE(tree.has_value());
    tree->children[0].readError = QStringLiteral("Permission denied");

    Recorder recorder;
    NBEFileTreeView view(recorder.actions());
    view.setTree(*tree);
    const QTreeWidgetItem *data = view.treeWidget()->topLevelItem(0);
    const QTreeWidgetItem *ok = view.treeWidget()->topLevelItem(1);
    ASSERT_EQ(data->text(0), QStringLiteral("data"));
    EXPECT_TRUE(data->toolTip(0).endsWith(QStringLiteral("couldn't be read: Permission denied")));
    EXPECT_EQ(data->childIndicatorPolicy(), QTreeWidgetItem::DontShowIndicatorWhenChildless);
    EXPECT_TRUE(data->data(0, Qt::ForegroundRole).isValid());
    EXPECT_EQ(ok->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
    EXPECT_FALSE(ok->data(0, Qt::ForegroundRole).isValid());
}
