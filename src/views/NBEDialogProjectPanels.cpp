#include "NBEDialogProjectPanels.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QGridLayout>

#include <memory>

QFileDialog *NBEDialogProjectPanels::makeOpenDialog(const NBEOpenPanelRequest &request,
                                                    QWidget *parent)
{
    auto *dialog = new QFileDialog(parent, request.message);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setFileMode(request.chooseDirectories ? QFileDialog::Directory
                                                  : QFileDialog::ExistingFile);
    dialog->setOption(QFileDialog::ShowDirsOnly, request.chooseDirectories);
    dialog->setLabelText(QFileDialog::Accept, request.prompt);
    if (request.startingAt)
        dialog->setDirectoryUrl(*request.startingAt);
    return dialog;
}

QFileDialog *NBEDialogProjectPanels::makeSaveDialog(const NBESavePanelRequest &request,
                                                    QWidget *parent, QCheckBox **checkbox)
{
    auto *dialog = new QFileDialog(parent, request.message);
    // The checkbox needs Qt's own dialog; a platform dialog takes no extra widgets.
    dialog->setOption(QFileDialog::DontUseNativeDialog, true);
    // Nothing is ever replaced: an existing name is refused with the reason.
    dialog->setOption(QFileDialog::DontConfirmOverwrite, true);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setLabelText(QFileDialog::Accept, request.prompt);
    dialog->selectFile(request.nameFieldValue);
    auto *box = new QCheckBox(request.checkboxTitle, dialog);
    box->setChecked(request.checkboxOn);
    if (auto *grid = qobject_cast<QGridLayout *>(dialog->layout()))
        grid->addWidget(box, grid->rowCount(), 0, 1, grid->columnCount());
    if (checkbox)
        *checkbox = box;
    return dialog;
}

std::optional<QUrl> NBEDialogProjectPanels::runOpenPanel(const NBEOpenPanelRequest &request)
{
    std::unique_ptr<QFileDialog> dialog(makeOpenDialog(request, m_parent));
    if (dialog->exec() != QDialog::Accepted || dialog->selectedUrls().isEmpty())
        return std::nullopt;
    return dialog->selectedUrls().first();
}

std::optional<NBESavePanelResult>
NBEDialogProjectPanels::runSavePanel(const NBESavePanelRequest &request)
{
    QCheckBox *box = nullptr;
    std::unique_ptr<QFileDialog> dialog(makeSaveDialog(request, m_parent, &box));
    if (dialog->exec() != QDialog::Accepted || dialog->selectedUrls().isEmpty())
        return std::nullopt;
    return NBESavePanelResult{dialog->selectedUrls().first(), box->isChecked()};
}
