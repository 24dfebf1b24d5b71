#include "NBECompletionController.h"

#include <QFontDatabase>
#include <QListView>
#include <QStringListModel>
#include <QVBoxLayout>

void NBECompletionModel::setItems(const QStringList &items)
{
    if (items == m_items)
        return;
    m_items = items;
    Q_EMIT itemsChanged();
}

void NBECompletionModel::setSelected(int selected)
{
    if (selected == m_selected)
        return;
    m_selected = selected;
    Q_EMIT selectedChanged();
}

NBECompletionList::NBECompletionList(NBECompletionModel *model, QWidget *parent)
    : QFrame(parent)
    , m_model(model)
    , m_labels(new QStringListModel(this))
    , m_view(new QListView(this))
{
    setObjectName(QStringLiteral("completionPanel"));
    setFocusPolicy(Qt::NoFocus);
    setFrameShape(QFrame::NoFrame);
    setAttribute(Qt::WA_StyledBackground);
    setStyleSheet(QStringLiteral(
        "#completionPanel { background: palette(base); border: 1px solid palette(mid);"
        " border-radius: 6px; }"));
    // The border is drawn inside the frame's edge and counts into the
    // margins, so the rows get exactly their height: a list that fits shows
    // no scroll bar and no cut-off last row.
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, margin - 1, 0, margin - 1);
    layout->addWidget(m_view);
    m_view->setModel(m_labels);
    m_view->setFocusPolicy(Qt::NoFocus);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->setSelectionMode(QAbstractItemView::SingleSelection);
    m_view->setUniformItemSizes(true);
    m_view->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_view->setTextElideMode(Qt::ElideRight);
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSizeF(std::max(9.0, font.pointSizeF() - 1));
    m_view->setFont(font);
    // One sheet for all rows, so the highlighted row's text stays where it
    // was.
    m_view->setStyleSheet(
        QStringLiteral("QListView { background: transparent; border: none; }"
                       "QListView::item { height: %1px; padding-left: 8px; padding-right: 8px;"
                       " border: none; }"
                       "QListView::item:selected { background: palette(highlight);"
                       " color: palette(highlighted-text); }")
            .arg(rowHeight));
    connect(m_view, &QListView::clicked, this, [this](const QModelIndex &index) {
        if (onPick && index.isValid())
            onPick(index.data().toString());
    });
    connect(model, &NBECompletionModel::itemsChanged, this, &NBECompletionList::syncItems);
    connect(model, &NBECompletionModel::selectedChanged, this, &NBECompletionList::syncSelection);
    syncItems();
}

void NBECompletionList::syncItems()
{
    m_labels->setStringList(m_model->items());
    syncSelection();
}

void NBECompletionList::syncSelection()
{
    const QModelIndex index = m_labels->index(m_model->selected());
    if (!index.isValid())
        return;
    m_view->setCurrentIndex(index);
    m_view->scrollTo(index, QAbstractItemView::PositionAtCenter);
}

NBECompletionController::NBECompletionController(QObject *parent)
    : QObject(parent)
    , m_model(new NBECompletionModel(this))
{}

NBECompletionController::~NBECompletionController()
{
    // The panel belongs to the window, which may outlive the editor.
    delete m_panel;
}

int NBECompletionController::panelHeight(int count)
{
    return std::min(count * NBECompletionList::rowHeight + 2 * NBECompletionList::margin,
                    maxPanelHeight);
}

bool NBECompletionController::isVisible() const
{
    return m_panel && m_panel->isVisible();
}

void NBECompletionController::show(const QStringList &items, const QRect &caretRect,
                                   QWidget *window)
{
    // Other rows are another choice: the user's move was in the old ones.
    if (items != m_model->items())
        m_moved = false;
    m_model->setItems(items);
    if (m_model->selected() >= items.size())
        m_model->setSelected(0);
    if (!window)
        return;
    if (m_panel && m_panel->parentWidget() != window)
        delete m_panel;
    if (!m_panel)
        m_panel = makePanel(window);
    place(caretRect, window);
    m_panel->raise();
    m_panel->show();
}

void NBECompletionController::follow(const QRect &caretRect, QWidget *window)
{
    if (isVisible() && m_panel->parentWidget() == window)
        place(caretRect, window);
}

void NBECompletionController::place(const QRect &caretRect, QWidget *window)
{
    const int height = panelHeight(int(m_model->items().size()));
    // Below the caret; a child widget can't reach past its window, so near
    // the window's bottom (or right) edge the panel moves inside it.
    const QRect caret(window->mapFromGlobal(caretRect.topLeft()), caretRect.size());
    int y = caret.bottom() + 1 + 2;
    if (y + height > window->height() && caret.top() - 2 - height >= 0)
        y = caret.top() - 2 - height;
    const int x = std::max(0, std::min(caret.left(), window->width() - panelWidth));
    m_panel->setGeometry(x, y, panelWidth, height);
}

NBECompletionList *NBECompletionController::makePanel(QWidget *window)
{
    auto *panel = new NBECompletionList(m_model, window);
    panel->onPick = [this](const QString &label) {
        hide();
        if (onAccept)
            onAccept(label);
    };
    return panel;
}

void NBECompletionController::hide()
{
    m_model->setSelected(0);
    m_moved = false;
    // Kept for the next show: building the panel (its style sheets) costs
    // more than a keystroke should.
    if (m_panel)
        m_panel->hide();
}

void NBECompletionController::moveSelection(int step)
{
    const int count = int(m_model->items().size());
    if (count == 0)
        return;
    m_moved = true;
    m_model->setSelected(std::max(0, std::min(m_model->selected() + step, count - 1)));
}

void NBECompletionController::acceptSelected()
{
    const QStringList &items = m_model->items();
    const int selected = m_model->selected();
    if (selected < 0 || selected >= items.size())
        return;
    const QString label = items[selected];
    hide();
    if (onAccept)
        onAccept(label);
}
