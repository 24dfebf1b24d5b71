#pragma once

#include <QFrame>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QStringList>

#include <functional>

class QListView;
class QStringListModel;

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

private:
    void syncItems();
    void syncSelection();

    NBECompletionModel *m_model;
    QStringListModel *m_labels;
    QListView *m_view;
};

// Owns the completion panel of one editor: fills it, places it below the
// caret inside the editor's window, moves its highlight and accepts a row.
// Keys reach it through the editor; the panel is a child widget and never
// takes focus.
class NBECompletionController : public QObject
{
    Q_OBJECT

public:
    explicit NBECompletionController(QObject *parent = nullptr);
    ~NBECompletionController() override;

    // `caretRect` in global coordinates; `window` is the widget the panel
    // lives in (the editor's window).
    void show(const QStringList &items, const QRect &caretRect, QWidget *window);
    // Puts a shown panel below the caret again (the editor scrolled).
    void follow(const QRect &caretRect, QWidget *window);
    void hide();
    void moveSelection(int step);
    void acceptSelected();
    bool isVisible() const;
    // Whether the user moved the highlight in the rows on show.
    bool isMoved() const { return m_moved; }

    NBECompletionModel *model() const { return m_model; }
    NBECompletionList *panel() const { return m_panel; }
    std::function<void(const QString &label)> onAccept;

    static constexpr int panelWidth = 260;
    static constexpr int maxPanelHeight = 224;
    static int panelHeight(int count);

private:
    NBECompletionList *makePanel(QWidget *window);

    void place(const QRect &caretRect, QWidget *window);

    NBECompletionModel *m_model;
    QPointer<NBECompletionList> m_panel;
    bool m_moved = false;
};
