#include "NBECompletionModel.h"

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
