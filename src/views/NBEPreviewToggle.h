#pragma once

#include <QToolButton>

class NBEWorkspaceTabs;

// The toolbar button that flips the active tab between its source and its
// preview (the toolbar shows it only for a tab that can be previewed). The
// menu command carries the shortcut its tooltip names.
class NBEPreviewToggle : public QToolButton
{
    Q_OBJECT

public:
    explicit NBEPreviewToggle(NBEWorkspaceTabs &tabs, QWidget *parent = nullptr);

private:
    void refresh();

    NBEWorkspaceTabs &m_tabs;
};
