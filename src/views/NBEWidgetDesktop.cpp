#include "NBEWidgetDesktop.h"

#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>

NBEWidgetDesktop::NBEWidgetDesktop(QWidget *window)
    : m_window(window)
{}

QString NBEWidgetDesktop::elidedNames(const QString &text)
{
    static const QRegularExpression name(QStringLiteral("\\S{%1,}").arg(longestName + 1));
    QString shown = text;
    for (auto it = name.globalMatch(text); it.hasNext();) {
        const QString whole = it.next().captured();
        const qsizetype kept = (longestName - 1) / 2;
        shown.replace(whole,
                      whole.left(kept) + QChar(0x2026) + whole.right(longestName - 1 - kept));
    }
    return shown;
}

namespace {

void setTexts(QMessageBox &box, const QString &text, const QString &informative)
{
    box.setText(NBEWidgetDesktop::elidedNames(text));
    box.setInformativeText(NBEWidgetDesktop::elidedNames(informative));
    if (box.text() != text || box.informativeText() != informative)
        box.setToolTip(text + u'\n' + informative);
}

} // namespace

QFuture<NBEUnsavedChangesChoice> NBEWidgetDesktop::askToSaveChanges(const QStringList &fileNames)
{
    QMessageBox box(m_window);
    box.setIcon(QMessageBox::Warning);
    box.setWindowTitle(QObject::tr("Unsaved Changes"));
    setTexts(
        box,
        fileNames.size() == 1 ? QObject::tr("Do you want to save the changes you made to “%1”?")
                                    .arg(fileNames.first())
                              : QObject::tr("Do you want to save the changes you made to %1 files?")
                                    .arg(fileNames.size()),
        fileNames.size() == 1 ? QObject::tr("Your changes will be lost if you don't save them.")
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

QFuture<NBEOutsideChangeChoice> NBEWidgetDesktop::askAboutOutsideChange(const QString &fileName,
                                                                        bool vanished)
{
    QMessageBox box(m_window);
    box.setIcon(QMessageBox::Warning);
    box.setWindowTitle(QObject::tr("File Changed on Disk"));
    setTexts(box,
             vanished ? QObject::tr("“%1” was deleted or moved by another program.").arg(fileName)
                      : QObject::tr("“%1” was changed by another program.").arg(fileName),
             QObject::tr("Saving will replace what is on disk with your version."));
    QPushButton *overwrite = box.addButton(QObject::tr("Overwrite"), QMessageBox::DestructiveRole);
    QPushButton *reload =
        vanished ? nullptr
                 : box.addButton(QObject::tr("Reload from Disk"), QMessageBox::AcceptRole);
    QPushButton *cancel = box.addButton(QObject::tr("Cancel"), QMessageBox::RejectRole);
    box.setDefaultButton(cancel);
    box.exec();
    NBEOutsideChangeChoice choice = NBEOutsideChangeChoice::Cancel;
    if (box.clickedButton() == overwrite)
        choice = NBEOutsideChangeChoice::Overwrite;
    else if (reload && box.clickedButton() == reload)
        choice = NBEOutsideChangeChoice::ReloadFromDisk;
    return QtFuture::makeReadyFuture(choice);
}

QFuture<NBEOutsideChangeChoice> NBEWidgetDesktop::askAboutReadOnlyFile(const QString &fileName)
{
    QMessageBox box(m_window);
    box.setIcon(QMessageBox::Warning);
    box.setWindowTitle(QObject::tr("Read-Only File"));
    setTexts(box, QObject::tr("“%1” is read-only.").arg(fileName),
             QObject::tr("Overwriting replaces it with your version; it stays read-only."));
    QPushButton *overwrite = box.addButton(QObject::tr("Overwrite"), QMessageBox::DestructiveRole);
    QPushButton *cancel = box.addButton(QObject::tr("Cancel"), QMessageBox::RejectRole);
    box.setDefaultButton(cancel);
    box.exec();
    return QtFuture::makeReadyFuture(box.clickedButton() == overwrite
                                         ? NBEOutsideChangeChoice::Overwrite
                                         : NBEOutsideChangeChoice::Cancel);
}

QFuture<bool> NBEWidgetDesktop::askToDeleteForGood(const QStringList &names)
{
    QMessageBox box(m_window);
    box.setIcon(QMessageBox::Warning);
    box.setWindowTitle(QObject::tr("Delete"));
    box.setText(names.size() == 1
                    ? QObject::tr("“%1” can't be moved to the trash. Delete it for good?")
                          .arg(names.first())
                    : QObject::tr("%1 items can't be moved to the trash. Delete them for good?")
                          .arg(names.size()));
    box.setInformativeText(QObject::tr("This can't be undone."));
    QPushButton *remove = box.addButton(QObject::tr("Delete"), QMessageBox::DestructiveRole);
    QPushButton *cancel = box.addButton(QObject::tr("Cancel"), QMessageBox::RejectRole);
    box.setDefaultButton(cancel);
    box.exec();
    return QtFuture::makeReadyFuture(box.clickedButton() == remove);
}

bool NBEWidgetDesktop::openUrl(const QUrl &url)
{
    return m_system.openUrl(url);
}

void NBEWidgetDesktop::revealInFileManager(const QUrl &url)
{
    m_system.revealInFileManager(url);
}

std::optional<QUrl> NBEWidgetDesktop::siblingApplication() const
{
    return m_system.siblingApplication();
}

void NBEWidgetDesktop::openWithApplication(const QList<QUrl> &urls, const QUrl &application)
{
    m_system.openWithApplication(urls, application);
}

std::unique_ptr<QFileDialog> NBEWidgetDesktop::savePanel(QWidget *window, const QString &message,
                                                         const QString &name, const QString &prompt,
                                                         const QUrl &directory)
{
    auto panel = std::make_unique<QFileDialog>(window, message);
    panel->setAcceptMode(QFileDialog::AcceptSave);
    panel->setFileMode(QFileDialog::AnyFile);
    panel->setLabelText(QFileDialog::Accept, prompt);
    // The name goes in with its folder: a bare name leaves the system's
    // panel in whatever folder it showed last.
    const QString folder = directory.toLocalFile();
    if (!folder.isEmpty()) {
        panel->setDirectory(folder);
        panel->selectFile(QDir(folder).filePath(name));
    } else {
        panel->selectFile(name);
    }
    return panel;
}

namespace {

std::optional<QUrl> chosen(QFileDialog &panel)
{
    if (panel.exec() != QDialog::Accepted || panel.selectedUrls().isEmpty())
        return std::nullopt;
    return panel.selectedUrls().first();
}

} // namespace

QFuture<std::optional<QUrl>> NBEWidgetDesktop::chooseNewItemLocation(const QString &message,
                                                                     const QString &name,
                                                                     const QString &prompt,
                                                                     const QUrl &directory)
{
    const auto panel = savePanel(m_window, message, name, prompt, directory);
    // An existing name is refused by the creation itself, with the reason.
    panel->setOption(QFileDialog::DontConfirmOverwrite);
    return QtFuture::makeReadyFuture(chosen(*panel));
}

QFuture<std::optional<QUrl>> NBEWidgetDesktop::chooseExportLocation(const QString &message,
                                                                    const QString &name,
                                                                    const QString &prompt,
                                                                    const QUrl &directory)
{
    const auto panel = savePanel(m_window, message, name, prompt, directory);
    panel->setNameFilter(QObject::tr("HTML files (*.html *.htm)"));
    panel->setDefaultSuffix(QStringLiteral("html"));
    return QtFuture::makeReadyFuture(chosen(*panel));
}
