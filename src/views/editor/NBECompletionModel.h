#pragma once

#include <QObject>
#include <QStringList>

// The labels the completion panel shows and the highlighted row.
class NBECompletionModel : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    const QStringList &items() const { return m_items; }
    int selected() const { return m_selected; }
    // Each notifies only when the value changes.
    void setItems(const QStringList &items);
    void setSelected(int selected);

Q_SIGNALS:
    void itemsChanged();
    void selectedChanged();

private:
    QStringList m_items;
    int m_selected = 0;
};
