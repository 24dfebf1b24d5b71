#pragma once

#include "NBEFileTreeNode.h"
#include "NBEGitFileChange.h"

#include <QHash>
#include <QTreeWidget>
#include <QUrl>
#include <QUuid>
#include <QWidget>

#include <functional>
#include <optional>

class QLabel;
class QToolButton;

// What the file tree asks of the window's view model. Every call returns at
// once; the view model reports failures itself.
struct NBEFileTreeActions
{
    std::function<void(const QUrl &, bool asPreview)> openFile;
    std::function<void(const QUuid &)> toggleExpanded;
    std::function<void(const QString &name, const QUrl &folder)> createFile;
    std::function<void(const QString &name, const QUrl &folder)> createFolder;
    std::function<void(const QUrl &, const QString &name)> renameItem;
    std::function<void(const QUrl &)> deleteItem;
    std::function<void(const QUrl &item, const QUrl &folder)> moveItem;
    std::function<void(const QUrl &)> reveal;
    // A typed name was refused before anything ran.
    std::function<void(const QString &message)> showError;
};

class NBEFileTreeWidget;

// The project folder as a list: a header with the folder's name and a plus
// menu, then one row per item, folders expandable. Click opens a preview
// tab, double click opens for good; rows have context menus for new items,
// rename, delete and reveal in the file manager, and file URLs dropped on a folder (or the list)
// move there. The tree shown is the view model's: expansion lives there too.
class NBEFileTreeView : public QWidget
{
    Q_OBJECT

public:
    explicit NBEFileTreeView(NBEFileTreeActions actions, QWidget *parent = nullptr);

    void setTree(const std::optional<NBEFileTreeNode> &root);
    void setActiveFile(const std::optional<QUrl> &url);
    void setGitStatus(const QHash<QString, NBEGitStatus> &status);

    // Asks for a name (title, field placeholder, initial text); nothing when
    // cancelled. A dialog by default; tests replace it.
    std::function<std::optional<QString>(const QString &title, const QString &placeholder,
                                         const QString &initial)>
        askName;

    // The menu commands, on the folder or item they were opened on.
    void newFile(const QUrl &folder);
    void newFolder(const QUrl &folder);
    void rename(const QUrl &item, const QString &currentName);
    void delete_(const QUrl &item);

    // Moves each dropped file URL into `folder`; true when any URL was there.
    static bool handleFileDrop(const QList<QUrl> &urls, const QUrl &folder,
                               const std::function<void(const QUrl &, const QUrl &)> &moveItem);

    NBEFileTreeWidget *treeWidget() const { return m_tree; }
    QString headerText() const;
    std::optional<QUrl> rootURL() const;
    std::optional<QUrl> activeFile() const { return m_activeFile; }
    const QHash<QString, NBEGitStatus> &gitStatus() const { return m_gitStatus; }
    const NBEFileTreeActions &actions() const { return m_actions; }

private:
    void rebuild();
    // Makes the item just created the tree's current row once a rebuild
    // shows it, opening the folders above it first.
    void showCreated();
    std::optional<QString> askCheckedName(const QString &title, const QString &placeholder,
                                          const QString &initial);
    QMenu *rootMenu(QWidget *parent);

    NBEFileTreeActions m_actions;
    std::optional<NBEFileTreeNode> m_root;
    std::optional<QUrl> m_activeFile;
    QHash<QString, NBEGitStatus> m_gitStatus;
    QLabel *m_title;
    QToolButton *m_plus;
    NBEFileTreeWidget *m_tree;
    bool m_syncing = false;
    // Created from the tree, not yet shown as the current row.
    std::optional<QUrl> m_created;
};

// The list itself: rows carry their node's id, URL and kind, and drags carry
// file URLs.
class NBEFileTreeWidget : public QTreeWidget
{
    Q_OBJECT

public:
    enum Role { NodeIDRole = Qt::UserRole + 1, URLRole, IsDirectoryRole };

    explicit NBEFileTreeWidget(NBEFileTreeView *owner);

    // Below a closed folder's first level, rows have no item until it opens
    // (when the view model keeps expansion).
    QTreeWidgetItem *itemForURL(const QUrl &url) const;
    // The folder a drop at `position` goes to: the folder row under it, else
    // the project folder.
    QUrl dropTarget(const QPoint &position) const;
    // The context menu's items for the row (the project folder's for none).
    void fillContextMenu(QMenu &menu, QTreeWidgetItem *item);

protected:
    QMimeData *mimeData(const QList<QTreeWidgetItem *> &items) const override;
    QStringList mimeTypes() const override;
    void startDrag(Qt::DropActions supportedActions) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    // Return opens the current file for good (or opens its folder).
    void keyPressEvent(QKeyEvent *event) override;
    // The list has no selection, from which the base class starts drags:
    // a press and a move past the drag distance start one here.
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;

private:
    NBEFileTreeView *m_owner;
    QPoint m_pressedAt;
    QPersistentModelIndex m_pressed;
};
