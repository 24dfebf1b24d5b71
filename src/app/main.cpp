// Entry point. Until the project window exists this shows a folder's file
// tree, built by the file service, in a plain window.
#include "NBEFileService.h"

#include <QApplication>
#include <QDir>
#include <QFileIconProvider>
#include <QFutureWatcher>
#include <QHeaderView>
#include <QLabel>
#include <QStandardItemModel>
#include <QTreeView>
#include <QVBoxLayout>

namespace {

void addNode(QStandardItem *parent, const NBEFileTreeNode &node, const QFileIconProvider &icons)
{
    auto *item = new QStandardItem(
        icons.icon(node.isDirectory ? QFileIconProvider::Folder : QFileIconProvider::File),
        node.name);
    item->setEditable(false);
    item->setToolTip(node.url.toLocalFile());
    for (const NBEFileTreeNode &child : node.children)
        addNode(item, child, icons);
    parent->appendRow(item);
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Nabri"));
    QCoreApplication::setApplicationName(QStringLiteral("Nabri Editor"));
    QGuiApplication::setApplicationDisplayName(QStringLiteral("Nabri Editor"));

    const QStringList args = app.arguments();
    const QString folder = QDir(args.size() > 1 ? args.at(1) : QDir::currentPath()).absolutePath();

    QWidget window;
    window.setWindowTitle(QDir(folder).dirName());
    window.resize(1000, 700);
    auto *layout = new QVBoxLayout(&window);
    auto *status = new QLabel(QStringLiteral("Loading %1…").arg(folder));
    auto *tree = new QTreeView;
    auto *model = new QStandardItemModel(&window);
    tree->setModel(model);
    tree->header()->hide();
    layout->addWidget(tree);
    layout->addWidget(status);

    NBEFileService files;
    files.buildFileTree(QUrl::fromLocalFile(folder))
        .then(&window, [model, tree, status, folder](NBEResult<NBEFileTreeNode> result) {
            if (!result) {
                status->setText(QStringLiteral("Failed to open folder: ") +
                                result.error().description);
                return;
            }
            const QFileIconProvider icons;
            for (const NBEFileTreeNode &child : result->children)
                addNode(model->invisibleRootItem(), child, icons);
            status->setText(folder);
            tree->setFocus();
        });

    window.show();
    return app.exec();
}
