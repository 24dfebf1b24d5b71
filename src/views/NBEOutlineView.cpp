#include "NBEOutlineView.h"

#include "NBEBrand.h"
#include "NBEEmptyState.h"
#include "NBEIcons.h"
#include "NBEOutline.h"
#include "NBEWhenFinished.h"
#include "NBEWorkspaceNavigation.h"
#include "NBEWorkspaceTabs.h"

#include <QAbstractListModel>
#include <QApplication>
#include <QFontDatabase>
#include <QLabel>
#include <QListView>
#include <QPainter>
#include <QScrollBar>
#include <QStackedWidget>
#include <QStyledItemDelegate>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

namespace {

constexpr int indentPerLevel = 12;
constexpr int iconFrame = 15;
constexpr int gap = 6;

bool isDark(const QPalette &palette)
{
    return palette.color(QPalette::Window).lightness() < 128;
}

// Draws one symbol row: kind icon, name cut in the middle, line number.
class RowDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override
    {
        QStyleOptionViewItem base = option;
        initStyleOption(&base, index);
        base.text.clear();
        base.icon = QIcon();
        const QWidget *widget = option.widget;
        QStyle *style = widget ? widget->style() : QApplication::style();
        style->drawPrimitive(QStyle::PE_PanelItemViewItem, &base, painter, widget);

        const auto symbol = index.data(Qt::UserRole).value<NBESymbol>();
        QRect rect = option.rect.adjusted(6 + int(symbol.depth) * indentPerLevel, 0, -8, 0);
        const bool dark = isDark(option.palette);
        const QIcon kindIcon = NBEIcons::icon(NBEOutlineView::icon(symbol.kind),
                                              NBEOutlineView::color(symbol.kind, dark));
        const QRect iconRect(rect.left(), rect.center().y() - 6, 13, 13);
        kindIcon.paint(painter, iconRect);
        rect.setLeft(rect.left() + iconFrame + gap);

        const bool selected = option.state & QStyle::State_Selected;
        QFont lineFont = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        lineFont.setPointSizeF(option.font.pointSizeF() * 0.85);
        const QString lineText = QString::number(symbol.line);
        const int lineWidth = QFontMetrics(lineFont).horizontalAdvance(lineText);
        painter->save();
        painter->setFont(lineFont);
        painter->setPen(
            option.palette.color(selected ? QPalette::HighlightedText : QPalette::PlaceholderText));
        painter->drawText(rect, Qt::AlignRight | Qt::AlignVCenter, lineText);
        painter->restore();

        rect.setRight(rect.right() - lineWidth - 4);
        const QString name =
            option.fontMetrics.elidedText(symbol.name, Qt::ElideMiddle, rect.width());
        painter->setPen(
            option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
        painter->drawText(rect, Qt::AlignLeft | Qt::AlignVCenter, name);
    }

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &) const override
    {
        return QSize(100, option.fontMetrics.height() + 8);
    }
};

} // namespace

class NBEOutlineView::Model : public QAbstractListModel
{
public:
    using QAbstractListModel::QAbstractListModel;

    void setSymbols(const QList<NBESymbol> *symbols)
    {
        beginResetModel();
        m_symbols = symbols;
        endResetModel();
    }

    int rowCount(const QModelIndex &parent) const override
    {
        return parent.isValid() || !m_symbols ? 0 : int(m_symbols->size());
    }

    QVariant data(const QModelIndex &index, int role) const override
    {
        if (!m_symbols || index.row() < 0 || index.row() >= m_symbols->size())
            return {};
        const NBESymbol &symbol = m_symbols->at(index.row());
        switch (role) {
        case Qt::DisplayRole:
        case Qt::AccessibleTextRole:
            return symbol.name;
        case Qt::ToolTipRole:
            return symbol.name;
        case Qt::UserRole:
            return QVariant::fromValue(symbol);
        default:
            return {};
        }
    }

private:
    const QList<NBESymbol> *m_symbols = nullptr;
};

NBEOutlineView::NBEOutlineView(NBEWorkspaceTabs &tabs, NBEWorkspaceNavigation &navigation,
                               QWidget *parent)
    : QWidget(parent)
    , m_tabs(tabs)
    , m_navigation(navigation)
    , m_stack(new QStackedWidget(this))
    , m_empty(new NBEEmptyState(QStringLiteral("list.bullet.indent"), 28, QString(), 6, m_stack))
    , m_list(new QListView(m_stack))
    , m_model(new Model(this))
{
    setObjectName(QStringLiteral("outline"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_stack);

    m_stack->addWidget(m_empty);

    m_list->setModel(m_model);
    m_list->setItemDelegate(new RowDelegate(m_list));
    m_list->setUniformItemSizes(true);
    m_list->setFrameShape(QFrame::NoFrame);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setMouseTracking(true);
    m_stack->addWidget(m_list);
    connect(m_list, &QListView::clicked, this,
            [this](const QModelIndex &index) { reveal(index.row()); });
    connect(m_list, &QListView::activated, this,
            [this](const QModelIndex &index) { reveal(index.row()); });

    // The outline follows once typing pauses.
    connect(&tabs, &NBEWorkspaceTabs::tabsChanged, this, &NBEOutlineView::workspaceChanged);
    connect(&tabs, &NBEWorkspaceTabs::tabContentChanged, this, [this](const QUuid &id) {
        if (id == m_tabID)
            m_pending = true;
    });
    connect(&tabs, &NBEWorkspaceTabs::tabContentSettled, this, [this](const QUuid &id) {
        if (id == m_tabID)
            outlineNow();
    });
    outlineNow();
}

NBEOutlineView::~NBEOutlineView()
{
    m_model->setSymbols(nullptr);
}

bool NBEOutlineView::isShowingEmptyState() const
{
    return m_stack->currentWidget() == m_empty;
}

QString NBEOutlineView::emptyMessage() const
{
    return m_tabs.activeTab() ? tr("No symbols in this file.")
                              : tr("Open an HTML, CSS, or JavaScript file to see its "
                                   "outline.");
}

QString NBEOutlineView::icon(NBESymbolKind kind)
{
    switch (kind) {
    case NBESymbolKind::function:
    case NBESymbolKind::method:
        return QStringLiteral("function");
    case NBESymbolKind::cls:
        return QStringLiteral("cube");
    case NBESymbolKind::selector:
        return QStringLiteral("number");
    case NBESymbolKind::atRule:
        return QStringLiteral("at");
    case NBESymbolKind::element:
        return QStringLiteral("chevron.left.forwardslash.chevron.right");
    }
    return {};
}

QColor NBEOutlineView::color(NBESymbolKind kind, bool dark)
{
    // The platform's standard blue, purple and teal, in their light and dark
    // variants.
    switch (kind) {
    case NBESymbolKind::function:
    case NBESymbolKind::method:
        return dark ? QColor(10, 132, 255) : QColor(0, 122, 255);
    case NBESymbolKind::cls:
        return dark ? QColor(191, 90, 242) : QColor(175, 82, 222);
    case NBESymbolKind::selector:
    case NBESymbolKind::atRule:
        return NBEBrand::amber();
    case NBESymbolKind::element:
        return dark ? QColor(64, 200, 224) : QColor(48, 176, 199);
    }
    return {};
}

void NBEOutlineView::workspaceChanged()
{
    const std::optional<NBEOpenTab> tab = m_tabs.activeTab();
    const std::optional<QUuid> id = tab ? std::optional(tab->id) : std::nullopt;
    const std::optional<QString> language =
        tab && tab->language ? std::optional(tab->language->id) : std::nullopt;
    if (id != m_tabID || language != m_languageID) {
        outlineNow();
        return;
    }
}

void NBEOutlineView::outlineNow()
{
    const std::optional<NBEOpenTab> tab = m_tabs.activeTab();
    m_tabID = tab ? std::optional(tab->id) : std::nullopt;
    m_languageID = tab && tab->language ? std::optional(tab->language->id) : std::nullopt;
    // Read once per pause in typing, shared with the pause's other readers.
    const QString text = tab ? tab->sourceFile.snapshot() : QString();
    const NBETextBuffer *buffer = tab ? tab->sourceFile.buffer.get() : nullptr;
    const Stamp stamp{tab ? tab->sourceFile.id : QUuid(), m_languageID,
                      buffer ? buffer->revision() : 0};
    m_requested = stamp;
    if (text.size() <= inlineLimit) {
        showSymbols(NBEOutline::symbols(text, m_languageID));
        return;
    }
    m_pending = true;
    nbeWhenFinished(QtConcurrent::run(&NBEOutline::symbols, text, m_languageID), this,
                    [this, stamp](const QList<NBESymbol> &symbols) {
                        if (stamp == m_requested)
                            showSymbols(symbols);
                    });
}

void NBEOutlineView::showSymbols(const QList<NBESymbol> &symbols)
{
    m_pending = false;
    if (symbols != m_symbols || m_model->rowCount({}) != symbols.size()) {
        // The rows are rebuilt in place; the reader keeps their place.
        const int scroll = m_list->verticalScrollBar()->value();
        m_symbols = symbols;
        m_model->setSymbols(&m_symbols);
        m_list->verticalScrollBar()->setValue(scroll);
    }
    m_empty->setText(emptyMessage());
    m_stack->setCurrentWidget(m_symbols.isEmpty() ? m_empty : static_cast<QWidget *>(m_list));
    Q_EMIT symbolsUpdated();
}

void NBEOutlineView::reveal(int row)
{
    const std::optional<NBEOpenTab> tab = m_tabs.activeTab();
    if (!tab || row < 0 || row >= m_symbols.size())
        return;
    m_navigation.revealLine(tab->sourceFile.url, int(m_symbols.at(row).line));
}
