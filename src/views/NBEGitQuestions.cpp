#include "NBEGitQuestions.h"

#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

namespace NBEGitQuestions {

QString quoted(const QString &text)
{
    return QStringLiteral("\u201C") + text + QStringLiteral("\u201D");
}

QDialog *confirm(QWidget *parent, const QString &text, const QString &informativeText,
                 const QString &action, std::function<void()> confirmed)
{
    auto *box = new QMessageBox(QMessageBox::Warning, action, text, QMessageBox::NoButton, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setInformativeText(informativeText);
    QPushButton *accept = box->addButton(action, QMessageBox::DestructiveRole);
    QPushButton *cancel = box->addButton(QMessageBox::Cancel);
    // Return must not destroy anything.
    box->setDefaultButton(cancel);
    QObject::connect(box, &QMessageBox::buttonClicked, box,
                     [accept, confirmed = std::move(confirmed)](QAbstractButton *button) {
                         if (button == accept)
                             confirmed();
                     });
    box->open();
    return box;
}

QDialog *askForText(QWidget *parent, const QString &title, const QString &label,
                    const QString &text, const QString &action,
                    std::function<void(const QString &)> accepted)
{
    auto *dialog = new QInputDialog(parent);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(title);
    dialog->setLabelText(label);
    dialog->setTextValue(text);
    dialog->setOkButtonText(action);
    // The dialog's layout fixes its size to its content, so the field's
    // width is what makes a URL or a long name fit.
    if (auto *field = dialog->findChild<QLineEdit *>())
        field->setMinimumWidth(400);
    QObject::connect(dialog, &QInputDialog::textValueSelected, dialog, std::move(accepted));
    dialog->open();
    return dialog;
}

} // namespace NBEGitQuestions
