#pragma once

#include "NBEProjectPanels.h"

#include <QPointer>
#include <QWidget>

class QCheckBox;
class QFileDialog;

// The project picker's panels as Qt file dialogs, modal to `parent`.
class NBEDialogProjectPanels : public NBEProjectPanels
{
public:
    explicit NBEDialogProjectPanels(QWidget *parent = nullptr)
        : m_parent(parent)
    {}

    std::optional<QUrl> runOpenPanel(const NBEOpenPanelRequest &request) override;
    std::optional<NBESavePanelResult> runSavePanel(const NBESavePanelRequest &request) override;

    // The configured dialogs, unshown (the run functions execute them).
    static QFileDialog *makeOpenDialog(const NBEOpenPanelRequest &request, QWidget *parent);
    static QFileDialog *makeSaveDialog(const NBESavePanelRequest &request, QWidget *parent,
                                       QCheckBox **checkbox);

private:
    QPointer<QWidget> m_parent;
};
