#pragma once

#include <QList>
#include <QPointer>
#include <QWidget>

#include <functional>

class QButtonGroup;
class QToolButton;
class QVBoxLayout;

// The sidebar's modes, in the picker's order.
enum class NBESidebarMode { files, outline, changes, history };

// The sidebar column: a segmented picker of the four modes over the pane of
// the selected one. Each switch builds the pane afresh from `makePane` and
// drops the one it replaces, with whatever the pane held itself (a name
// half typed, a selection); what the view model holds stays.
class NBESidebarView : public QWidget
{
    Q_OBJECT

public:
    using PaneFactory = std::function<QWidget *(NBESidebarMode mode, QWidget *parent)>;
    explicit NBESidebarView(PaneFactory makePane, QWidget *parent = nullptr);

    static const QList<NBESidebarMode> &allModes();
    static QString symbol(NBESidebarMode mode);
    static QString toolTip(NBESidebarMode mode);

    NBESidebarMode mode() const { return m_mode; }
    void setMode(NBESidebarMode mode);
    QWidget *pane() const { return m_pane; }
    QToolButton *pickerButton(NBESidebarMode mode) const;

Q_SIGNALS:
    void modeChanged(NBESidebarMode mode);

private:
    void buildPane();

    PaneFactory m_makePane;
    NBESidebarMode m_mode = NBESidebarMode::files;
    QButtonGroup *m_picker;
    QVBoxLayout *m_layout;
    QPointer<QWidget> m_pane;
};
