#include "NBEFileTreeView.h"

#include "NBEBrand.h"
#include "NBEFileService.h"
#include "NBEFileTreeRow.h"

#include <QApplication>
#include <QDir>
#include <QDrag>
#include <QDropEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QSet>
#include <QStyledItemDelegate>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

// Draws a row: background by state, tinted icon, name (medium weight for the
// active file) and the git badge at the trailing edge.
class RowDelegate : public QStyledItemDelegate
{
public:
    explicit RowDelegate(NBEFileTreeView *owner)
        : QStyledItemDelegate(owner)
        , m_owner(owner)
    {}

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override
    {
        const QUrl url = index.data(NBEFileTreeWidget::URLRole).toUrl();
        const bool isDirectory = index.data(NBEFileTreeWidget::IsDirectoryRole).toBool();
        const bool active = !isDirectory && m_owner->activeFile() == url;
        const bool hovering = option.state & QStyle::State_MouseOver;
        const QColor primary = option.palette.color(QPalette::Text);
        painter->save();
        painter->fillRect(option.rect, NBEFileTreeRow::rowBackground(active, hovering, primary));
        // The row the keys act on, while the list has them.
        if (option.state & QStyle::State_HasFocus) {
            QColor current = option.palette.color(QPalette::Highlight);
            current.setAlphaF(0.3f);
            painter->fillRect(option.rect, current);
        }

        QRect box = option.rect.adjusted(4, 0, -4, 0);
        QString symbol;
        QColor tint;
        if (isDirectory) {
            const bool expanded = option.state & QStyle::State_Open;
            symbol = expanded ? QStringLiteral("folder.fill") : QStringLiteral("folder");
            tint = NBEBrand::amber();
        } else {
            symbol = NBEFileTreeRow::fileIcon(QFileInfo(url.path()).suffix());
            tint = active ? NBEBrand::amber() : option.palette.color(QPalette::PlaceholderText);
        }
        const int iconSize = 16;
        NBEFileTreeRow::icon(symbol, tint, iconSize)
            .paint(painter,
                   QRect(box.left(), box.center().y() - iconSize / 2 + 1, iconSize, iconSize));
        box.setLeft(box.left() + iconSize + 6);

        if (!isDirectory) {
            const auto status = m_owner->gitStatus().find(NBEFileService::keyPath(url));
            if (status != m_owner->gitStatus().end()) {
                QFont badge = option.font;
                badge.setPointSizeF(std::max(6.0, badge.pointSizeF() - 2));
                badge.setWeight(QFont::DemiBold);
                painter->setFont(badge);
                painter->setPen(NBEFileTreeRow::gitColor(*status));
                const QString letter = NBEFileTreeRow::letter(*status);
                const int width = QFontMetrics(badge).horizontalAdvance(letter) + 2;
                painter->drawText(QRect(box.right() - width, box.top(), width, box.height()),
                                  Qt::AlignVCenter | Qt::AlignLeft, letter);
                box.setRight(box.right() - width - 4);
            }
        }
        QFont font = option.font;
        if (active)
            font.setWeight(QFont::Medium);
        painter->setFont(font);
        // An unreadable folder's own colour says so.
        const QVariant foreground = index.data(Qt::ForegroundRole);
        painter->setPen(foreground.isValid() ? foreground.value<QBrush>().color() : primary);
        const QString name = index.data(Qt::DisplayRole).toString();
        painter->drawText(box, Qt::AlignVCenter | Qt::AlignLeft,
                          QFontMetrics(font).elidedText(name, Qt::ElideMiddle, box.width()));
        painter->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setHeight(std::max(size.height(), 22));
        return size;
    }

private:
    NBEFileTreeView *m_owner;
};

// A row and the rows below it. With `allBelow` off, only rows that show or
// are one click away get items: the children of a shown folder, open or not
// (so its arrow and its first level are there at once), and below that only
// what open folders hold. A large closed folder then costs one row.
QTreeWidgetItem *makeItem(const NBEFileTreeNode &node, bool allBelow, bool shown = true)
{
    auto *item = new QTreeWidgetItem(QStringList{node.name});
    item->setData(0, NBEFileTreeWidget::NodeIDRole, node.id);
    item->setData(0, NBEFileTreeWidget::URLRole, node.url);
    item->setData(0, NBEFileTreeWidget::IsDirectoryRole, node.isDirectory);
    item->setToolTip(0, node.url.toLocalFile());
    // A folder that couldn't be listed shows dimmed, with the reason.
    if (node.isUnreadable()) {
        item->setToolTip(
            0, QObject::tr("%1 couldn't be read: %2").arg(node.url.toLocalFile(), node.readError));
        item->setForeground(0, QPalette().brush(QPalette::Disabled, QPalette::Text));
    }
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled;
    if (node.isDirectory)
        flags |= Qt::ItemIsDropEnabled;
    item->setFlags(flags);
    if (node.isDirectory && !node.isUnreadable())
        item->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
    if (allBelow || shown) {
        const bool childrenShown = shown && node.isExpanded;
        QList<QTreeWidgetItem *> children;
        children.reserve(node.children.size());
        for (const NBEFileTreeNode &child : node.children)
            children.append(makeItem(child, allBelow, childrenShown));
        item->addChildren(children);
    }
    return item;
}

// Rows start closed: only open folders are told, and only folders are
// visited.
void applyExpansion(QTreeWidgetItem *item, const NBEFileTreeNode &node)
{
    if (!node.isDirectory)
        return;
    if (node.isExpanded)
        item->setExpanded(true);
    for (int i = 0; i < item->childCount() && i < node.children.size(); ++i)
        applyExpansion(item->child(i), node.children.at(i));
}

} // namespace

NBEFileTreeView::NBEFileTreeView(NBEFileTreeActions actions, QWidget *parent)
    : QWidget(parent)
    , m_actions(std::move(actions))
    , m_title(new QLabel(this))
    , m_plus(new QToolButton(this))
    , m_tree(new NBEFileTreeWidget(this))
{
    askName = [this](const QString &title, const QString &placeholder,
                     const QString &initial) -> std::optional<QString> {
        QInputDialog dialog(this);
        dialog.setWindowTitle(title);
        dialog.setLabelText(title);
        dialog.setTextValue(initial);
        dialog.setOkButtonText(title == tr("Rename") ? tr("Rename") : tr("Create"));
        // The dialog's layout fixes its size to its content: the field's
        // width is what lets a long name show whole.
        if (auto *field = dialog.findChild<QLineEdit *>()) {
            field->setPlaceholderText(placeholder);
            field->setMinimumWidth(400);
        }
        if (dialog.exec() != QDialog::Accepted)
            return std::nullopt;
        return dialog.textValue();
    };

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto *header = new QWidget(this);
    auto *headerLayout = new QHBoxLayout(header);
    headerLayout->setContentsMargins(10, 5, 10, 5);
    headerLayout->setSpacing(6);
    QFont caption = m_title->font();
    caption.setPointSizeF(std::max(7.0, caption.pointSizeF() - 1));
    caption.setWeight(QFont::DemiBold);
    m_title->setFont(caption);
    m_title->setForegroundRole(QPalette::PlaceholderText);
    m_title->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_plus->setText(QStringLiteral("+"));
    m_plus->setAutoRaise(true);
    m_plus->setPopupMode(QToolButton::InstantPopup);
    m_plus->setToolTip(tr("New file or folder in the project root"));
    m_plus->setMenu(rootMenu(m_plus));
    m_plus->setStyleSheet(QStringLiteral("QToolButton::menu-indicator { image: none; }"));
    headerLayout->addWidget(m_title, 1);
    headerLayout->addWidget(m_plus);
    auto *divider = new QFrame(this);
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Plain);
    divider->setForegroundRole(QPalette::Mid);
    layout->addWidget(header);
    layout->addWidget(divider);
    layout->addWidget(m_tree, 1);

    m_tree->setItemDelegate(new RowDelegate(this));
    connect(m_tree, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem *item) {
        const QUrl url = item->data(0, NBEFileTreeWidget::URLRole).toUrl();
        if (item->data(0, NBEFileTreeWidget::IsDirectoryRole).toBool()) {
            if (m_actions.toggleExpanded)
                m_actions.toggleExpanded(item->data(0, NBEFileTreeWidget::NodeIDRole).toUuid());
            else
                item->setExpanded(!item->isExpanded());
        } else if (m_actions.openFile) {
            m_actions.openFile(url, true);
        }
    });
    connect(m_tree, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem *item) {
        if (!item->data(0, NBEFileTreeWidget::IsDirectoryRole).toBool() && m_actions.openFile)
            m_actions.openFile(item->data(0, NBEFileTreeWidget::URLRole).toUrl(), false);
    });
    // The disclosure arrow: expansion lives in the view model's tree, so the
    // arrow asks for a toggle and the rebuilt tree shows the result.
    const auto toggled = [this](QTreeWidgetItem *item) {
        if (m_syncing || !m_actions.toggleExpanded)
            return;
        m_actions.toggleExpanded(item->data(0, NBEFileTreeWidget::NodeIDRole).toUuid());
    };
    connect(m_tree, &QTreeWidget::itemExpanded, this, toggled);
    connect(m_tree, &QTreeWidget::itemCollapsed, this, toggled);
}

QMenu *NBEFileTreeView::rootMenu(QWidget *parent)
{
    auto *menu = new QMenu(parent);
    menu->addAction(tr("New File…"), this,
                    [this] {
                        if (const auto root = rootURL())
                            newFile(*root);
                    })
        ->setEnabled(bool(m_actions.createFile));
    menu->addAction(tr("New Folder…"), this,
                    [this] {
                        if (const auto root = rootURL())
                            newFolder(*root);
                    })
        ->setEnabled(bool(m_actions.createFolder));
    return menu;
}

std::optional<QUrl> NBEFileTreeView::rootURL() const
{
    if (!m_root)
        return std::nullopt;
    return m_root->url;
}

QString NBEFileTreeView::headerText() const
{
    return m_title->text();
}

void NBEFileTreeView::setTree(const std::optional<NBEFileTreeNode> &root)
{
    if (root == m_root)
        return;
    m_root = root;
    rebuild();
}

void NBEFileTreeView::rebuild()
{
    m_syncing = true;
    const int scroll = m_tree->verticalScrollBar()->value();
    // Without a view model that keeps expansion, the list keeps it itself.
    QSet<QUrl> expanded;
    if (!m_actions.toggleExpanded) {
        for (QTreeWidgetItemIterator it(m_tree); *it; ++it)
            if ((*it)->isExpanded())
                expanded.insert((*it)->data(0, NBEFileTreeWidget::URLRole).toUrl());
    }
    m_tree->clear();
    m_title->setText(m_root ? m_root->name : QString());
    if (m_root) {
        QList<QTreeWidgetItem *> items;
        // Without a view model the list opens folders itself: every row
        // must be there.
        const bool allBelow = !m_actions.toggleExpanded;
        items.reserve(m_root->children.size());
        for (const NBEFileTreeNode &child : m_root->children)
            items.append(makeItem(child, allBelow));
        m_tree->addTopLevelItems(items);
        for (int i = 0; i < items.size(); ++i)
            applyExpansion(items.at(i), m_root->children.at(i));
        for (QTreeWidgetItemIterator it(m_tree); *it && !expanded.isEmpty(); ++it)
            if (expanded.contains((*it)->data(0, NBEFileTreeWidget::URLRole).toUrl()))
                (*it)->setExpanded(true);
    }
    m_tree->verticalScrollBar()->setValue(scroll);
    m_syncing = false;
    showCreated();
}

void NBEFileTreeView::showCreated()
{
    if (!m_created)
        return;
    QTreeWidgetItem *item = m_tree->itemForURL(*m_created);
    if (!item)
        return;
    for (QTreeWidgetItem *folder = item->parent(); folder; folder = folder->parent()) {
        if (folder->isExpanded())
            continue;
        if (!m_actions.toggleExpanded) {
            folder->setExpanded(true);
            continue;
        }
        // The view model's rebuilt tree comes back here with the folder open.
        const QUuid id = folder->data(0, NBEFileTreeWidget::NodeIDRole).toUuid();
        QMetaObject::invokeMethod(
            this,
            [this, id] {
                if (m_actions.toggleExpanded)
                    m_actions.toggleExpanded(id);
            },
            Qt::QueuedConnection);
        return;
    }
    m_created.reset();
    m_tree->setCurrentItem(item);
    m_tree->scrollToItem(item);
}

void NBEFileTreeView::setActiveFile(const std::optional<QUrl> &url)
{
    if (url == m_activeFile)
        return;
    m_activeFile = url;
    m_tree->viewport()->update();
}

void NBEFileTreeView::setGitStatus(const QHash<QString, NBEGitStatus> &status)
{
    if (status == m_gitStatus)
        return;
    m_gitStatus = status;
    m_tree->viewport()->update();
}

std::optional<QString> NBEFileTreeView::askCheckedName(const QString &title,
                                                       const QString &placeholder,
                                                       const QString &initial)
{
    const auto name = askName(title, placeholder, initial);
    if (!name || name->isEmpty())
        return std::nullopt;
    // Refused here, before any file operation, with the reason.
    if (const auto valid = NBEFileService::checkName(*name); !valid) {
        if (m_actions.showError)
            m_actions.showError(valid.error().description);
        return std::nullopt;
    }
    return name;
}

namespace {

QUrl childURL(const QUrl &folder, const QString &name)
{
    return QUrl::fromLocalFile(QDir(folder.toLocalFile()).filePath(name));
}

} // namespace

// The new item isn't opened: it becomes the tree's current row and the tree
// keeps the keys, so what is typed next never lands in the file that had
// them before the name was asked (Return opens the new one).
void NBEFileTreeView::newFile(const QUrl &folder)
{
    const auto name = askCheckedName(tr("New File"), tr("File name"), QString());
    if (!name || !m_actions.createFile)
        return;
    m_created = childURL(folder, *name);
    m_tree->setFocus(Qt::OtherFocusReason);
    m_actions.createFile(*name, folder);
}

void NBEFileTreeView::newFolder(const QUrl &folder)
{
    const auto name = askCheckedName(tr("New Folder"), tr("Folder name"), QString());
    if (!name || !m_actions.createFolder)
        return;
    m_created = childURL(folder, *name);
    m_tree->setFocus(Qt::OtherFocusReason);
    m_actions.createFolder(*name, folder);
}

void NBEFileTreeView::rename(const QUrl &item, const QString &currentName)
{
    if (const auto name = askCheckedName(tr("Rename"), tr("New name"), currentName);
        name && m_actions.renameItem)
        m_actions.renameItem(item, *name);
}

void NBEFileTreeView::delete_(const QUrl &item)
{
    if (m_actions.deleteItem)
        m_actions.deleteItem(item);
}

bool NBEFileTreeView::handleFileDrop(
    const QList<QUrl> &urls, const QUrl &folder,
    const std::function<void(const QUrl &, const QUrl &)> &moveItem)
{
    bool handled = false;
    for (const QUrl &url : urls) {
        if (!url.isLocalFile())
            continue;
        handled = true;
        if (moveItem)
            moveItem(url, folder);
    }
    return handled;
}

NBEFileTreeWidget::NBEFileTreeWidget(NBEFileTreeView *owner)
    : QTreeWidget(owner)
    , m_owner(owner)
{
    setHeaderHidden(true);
    setColumnCount(1);
    setFrameShape(QFrame::NoFrame);
    setSelectionMode(QAbstractItemView::NoSelection);
    setDragEnabled(true);
    setAcceptDrops(true);
    setDropIndicatorShown(false);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDefaultDropAction(Qt::MoveAction);
    setMouseTracking(true);
    setExpandsOnDoubleClick(false);
    setUniformRowHeights(true);
    setIndentation(14);
    setAnimated(false);
}

QTreeWidgetItem *NBEFileTreeWidget::itemForURL(const QUrl &url) const
{
    QTreeWidgetItemIterator it(const_cast<NBEFileTreeWidget *>(this));
    for (; *it; ++it) {
        if ((*it)->data(0, URLRole).toUrl() == url)
            return *it;
    }
    return nullptr;
}

QUrl NBEFileTreeWidget::dropTarget(const QPoint &position) const
{
    if (QTreeWidgetItem *item = itemAt(position); item && item->data(0, IsDirectoryRole).toBool())
        return item->data(0, URLRole).toUrl();
    return m_owner->rootURL().value_or(QUrl());
}

QStringList NBEFileTreeWidget::mimeTypes() const
{
    return {QStringLiteral("text/uri-list")};
}

QMimeData *NBEFileTreeWidget::mimeData(const QList<QTreeWidgetItem *> &items) const
{
    auto *data = new QMimeData;
    QList<QUrl> urls;
    for (QTreeWidgetItem *item : items)
        urls.append(item->data(0, URLRole).toUrl());
    data->setUrls(urls);
    return data;
}

void NBEFileTreeWidget::mousePressEvent(QMouseEvent *event)
{
    QTreeWidget::mousePressEvent(event);
    m_pressed =
        event->button() == Qt::LeftButton ? indexAt(event->position().toPoint()) : QModelIndex();
    m_pressedAt = event->position().toPoint();
}

void NBEFileTreeWidget::mouseMoveEvent(QMouseEvent *event)
{
    if (m_pressed.isValid() && (event->buttons() & Qt::LeftButton) &&
        (event->position().toPoint() - m_pressedAt).manhattanLength() >=
            QApplication::startDragDistance()) {
        startDrag(Qt::MoveAction | Qt::CopyAction);
        m_pressed = QModelIndex();
        return;
    }
    QTreeWidget::mouseMoveEvent(event);
}

void NBEFileTreeWidget::startDrag(Qt::DropActions)
{
    QTreeWidgetItem *item = m_pressed.isValid() ? itemFromIndex(m_pressed) : currentItem();
    if (!item)
        return;
    auto *drag = new QDrag(this);
    drag->setMimeData(mimeData({item}));
    // The drop moves the file itself; the list never removes rows on its own.
    drag->exec(Qt::MoveAction | Qt::CopyAction, Qt::MoveAction);
}

void NBEFileTreeWidget::dragEnterEvent(QDragEnterEvent *event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
    else
        event->ignore();
}

void NBEFileTreeWidget::dragMoveEvent(QDragMoveEvent *event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
    else
        event->ignore();
}

void NBEFileTreeWidget::dropEvent(QDropEvent *event)
{
    const QUrl folder = dropTarget(event->position().toPoint());
    if (folder.isEmpty() || !NBEFileTreeView::handleFileDrop(event->mimeData()->urls(), folder,
                                                             m_owner->actions().moveItem)) {
        event->ignore();
        return;
    }
    // Copy tells the source not to delete anything: the move already happened.
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void NBEFileTreeWidget::keyPressEvent(QKeyEvent *event)
{
    QTreeWidgetItem *item = currentItem();
    if (!item || (event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter) ||
        event->modifiers() & ~Qt::KeypadModifier) {
        QTreeWidget::keyPressEvent(event);
        return;
    }
    const NBEFileTreeActions &actions = m_owner->actions();
    if (!item->data(0, IsDirectoryRole).toBool()) {
        if (actions.openFile)
            actions.openFile(item->data(0, URLRole).toUrl(), false);
    } else if (actions.toggleExpanded) {
        actions.toggleExpanded(item->data(0, NodeIDRole).toUuid());
    } else {
        item->setExpanded(!item->isExpanded());
    }
    event->accept();
}

void NBEFileTreeWidget::contextMenuEvent(QContextMenuEvent *event)
{
    QMenu menu(this);
    fillContextMenu(menu, itemAt(event->pos()));
    if (!menu.isEmpty())
        menu.exec(event->globalPos());
}

void NBEFileTreeWidget::fillContextMenu(QMenu &menu, QTreeWidgetItem *item)
{
    if (!item) {
        if (!m_owner->rootURL())
            return;
        const QUrl root = *m_owner->rootURL();
        menu.addAction(tr("New File…"), m_owner, [this, root] { m_owner->newFile(root); })
            ->setEnabled(bool(m_owner->actions().createFile));
        menu.addAction(tr("New Folder…"), m_owner, [this, root] { m_owner->newFolder(root); })
            ->setEnabled(bool(m_owner->actions().createFolder));
        return;
    }
    const QUrl url = item->data(0, URLRole).toUrl();
    const QString name = item->text(0);
    if (item->data(0, IsDirectoryRole).toBool()) {
        menu.addAction(tr("New File…"), m_owner, [this, url] { m_owner->newFile(url); })
            ->setEnabled(bool(m_owner->actions().createFile));
        menu.addAction(tr("New Folder…"), m_owner, [this, url] { m_owner->newFolder(url); })
            ->setEnabled(bool(m_owner->actions().createFolder));
        menu.addSeparator();
    }
    menu.addAction(tr("Rename…"), m_owner, [this, url, name] { m_owner->rename(url, name); })
        ->setEnabled(bool(m_owner->actions().renameItem));
    menu.addAction(tr("Delete"), m_owner, [this, url] { m_owner->delete_(url); })
        ->setEnabled(bool(m_owner->actions().deleteItem));
    menu.addSeparator();
    const auto reveal = m_owner->actions().reveal;
    menu.addAction(tr("Reveal in File Manager"), m_owner, [reveal, url] { reveal(url); })
        ->setEnabled(bool(reveal));
}
