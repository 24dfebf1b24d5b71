#include "NBECompletionList.h"

#include "NBECompletionModel.h"

#include <QFontDatabase>
#include <QListView>
#include <QStringListModel>
#include <QVBoxLayout>

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
    // Decided from the count before the rows are laid out: a scroll bar left
    // to the layout comes and goes while the list resizes, and each show or
    // hide of a widget in a visible window waits on the display server.
    const bool scrolls = NBECompletionList::scrolls(m_model->items().size());
    m_view->setVerticalScrollBarPolicy(scrolls ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
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
