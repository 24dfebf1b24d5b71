#pragma once

#include <QFrame>

#include <functional>

class NBECompletionModel;
class QListView;
class QStringListModel;

// The list on screen: one row per label, the highlighted one scrolled to the
// middle; a click picks a row. It never takes the keyboard focus.
class NBECompletionList : public QFrame
{
    Q_OBJECT

public:
    NBECompletionList(NBECompletionModel *model, QWidget *parent);

    std::function<void(const QString &label)> onPick;
    QListView *listView() const { return m_view; }

    static constexpr int rowHeight = 20;
    static constexpr int margin = 4;
    static constexpr int maxHeight = 224;
    // Whether `count` rows need the scroll bar at the tallest height.
    static bool scrolls(qsizetype count) { return count * rowHeight > maxHeight - 2 * margin; }

private:
    void syncItems();
    void syncSelection();

    NBECompletionModel *m_model;
    QStringListModel *m_labels;
    QListView *m_view;
};
