#pragma once

#include <QUuid>
#include <QWidget>

#include <optional>

class NBETabStrip;
class NBEWorkspaceFiles;
class NBEWorkspaceTabs;
class NBEWorkspaceNavigation;
class QScrollArea;
class QToolButton;
class QVariantAnimation;

// The strip of open files above the editor: the window's tabs in order, the active one marked and
// kept in view, and an overflow menu when the strip is too narrow for all of them.
class NBETabBar : public QWidget
{
    Q_OBJECT

public:
    // A chosen tab is activated through `navigation` (leaving any diff);
    // `files` reveals a tab's file in the file manager.
    NBETabBar(NBEWorkspaceTabs &tabs, NBEWorkspaceNavigation &navigation, NBEWorkspaceFiles &files,
              QWidget *parent = nullptr);

    NBETabStrip *strip() const { return m_strip; }
    bool isOverflowShown() const;

    // The menu shows only when the row is more than a point wider than the
    // space it has.
    static bool showsOverflow(double containerWidth, double contentWidth)
    {
        return containerWidth + 1 < contentWidth;
    }

    static void copyPath(const QUrl &url);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void refresh();
    void updateOverflow();
    void scrollToActive();
    void fillOverflowMenu();

    NBEWorkspaceTabs &m_tabs;
    NBEWorkspaceNavigation &m_navigation;
    QScrollArea *m_scroll;
    NBETabStrip *m_strip;
    QToolButton *m_overflow;
    QVariantAnimation *m_scrollAnimation;
    std::optional<QUuid> m_lastActive;
    bool m_seenActive = false;
};
