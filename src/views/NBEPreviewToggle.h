#pragma once

#include <QToolButton>

class NBEWorkspaceViewModel;

// The toolbar button that flips the active tab between its source and its
// preview (the toolbar shows it only for a tab that can be previewed). The
// menu command carries the shortcut its tooltip names.
class NBEPreviewToggle : public QToolButton
{
    Q_OBJECT

public:
    explicit NBEPreviewToggle(NBEWorkspaceViewModel *viewModel, QWidget *parent = nullptr);

private:
    void refresh();

    NBEWorkspaceViewModel *m_viewModel;
};
