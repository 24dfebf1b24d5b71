#include "NBEWidgetDesktop.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

NBEWidgetDesktop::NBEWidgetDesktop(QWidget *window)
    : m_window(window)
{}

QFuture<NBEUnsavedChangesChoice> NBEWidgetDesktop::askToSaveChanges(const QStringList &fileNames)
{
    QMessageBox box(m_window);
    box.setIcon(QMessageBox::Warning);
    box.setWindowTitle(QObject::tr("Unsaved Changes"));
    box.setText(fileNames.size() == 1
                    ? QObject::tr("Do you want to save the changes you made to “%1”?")
                          .arg(fileNames.first())
                    : QObject::tr("Do you want to save the changes you made to %1 files?")
                          .arg(fileNames.size()));
    box.setInformativeText(fileNames.size() == 1
                               ? QObject::tr("Your changes will be lost if you don't save them.")
                               : fileNames.join(u'\n'));
    QPushButton *save = box.addButton(QObject::tr("Save"), QMessageBox::AcceptRole);
    QPushButton *discard = box.addButton(QObject::tr("Don't Save"), QMessageBox::DestructiveRole);
    box.addButton(QObject::tr("Cancel"), QMessageBox::RejectRole);
    box.setDefaultButton(save);
    box.exec();
    NBEUnsavedChangesChoice choice = NBEUnsavedChangesChoice::Cancel;
    if (box.clickedButton() == save)
        choice = NBEUnsavedChangesChoice::Save;
    else if (box.clickedButton() == discard)
        choice = NBEUnsavedChangesChoice::DontSave;
    return QtFuture::makeReadyFuture(choice);
}

bool NBEWidgetDesktop::openUrl(const QUrl &url)
{
    return m_system.openUrl(url);
}

std::optional<QUrl> NBEWidgetDesktop::siblingApplication() const
{
    return m_system.siblingApplication();
}

void NBEWidgetDesktop::openWithApplication(const QList<QUrl> &urls, const QUrl &application)
{
    m_system.openWithApplication(urls, application);
}

QFuture<std::optional<QUrl>> NBEWidgetDesktop::chooseNewItemLocation(const QString &message,
                                                                     const QString &name,
                                                                     const QString &prompt,
                                                                     const QUrl &directory)
{
    QFileDialog panel(m_window, message, directory.toLocalFile());
    panel.setAcceptMode(QFileDialog::AcceptSave);
    panel.setFileMode(QFileDialog::AnyFile);
    // An existing name is refused by the creation itself, with the reason.
    panel.setOption(QFileDialog::DontConfirmOverwrite);
    panel.setLabelText(QFileDialog::Accept, prompt);
    panel.selectFile(name);
    if (panel.exec() != QDialog::Accepted || panel.selectedUrls().isEmpty())
        return QtFuture::makeReadyFuture(std::optional<QUrl>());
    return QtFuture::makeReadyFuture(std::optional<QUrl>(panel.selectedUrls().first()));
}

QFuture<std::optional<QUrl>> NBEWidgetDesktop::chooseExportLocation(const QString &message,
                                                                    const QString &name,
                                                                    const QString &prompt)
{
    QFileDialog panel(m_window, message);
    panel.setAcceptMode(QFileDialog::AcceptSave);
    panel.setFileMode(QFileDialog::AnyFile);
    panel.setNameFilter(QObject::tr("HTML files (*.html *.htm)"));
    panel.setDefaultSuffix(QStringLiteral("html"));
    panel.setLabelText(QFileDialog::Accept, prompt);
    panel.selectFile(name);
    if (panel.exec() != QDialog::Accepted || panel.selectedUrls().isEmpty())
        return QtFuture::makeReadyFuture(std::optional<QUrl>());
    return QtFuture::makeReadyFuture(std::optional<QUrl>(panel.selectedUrls().first()));
}
