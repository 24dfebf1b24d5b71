#pragma once

#include "NBEWorkspaceDesktop.h"

#include <QPointer>
#include <QWidget>

#include <memory>

class QFileDialog;

// The desktop of a project window: questions are dialogs over the window,
// locations open with the system's handlers.
class NBEWidgetDesktop : public NBEWorkspaceDesktop
{
public:
    explicit NBEWidgetDesktop(QWidget *window = nullptr);
    void setWindow(QWidget *window) { m_window = window; }

    QFuture<NBEUnsavedChangesChoice> askToSaveChanges(const QStringList &fileNames) override;
    QFuture<NBEOutsideChangeChoice> askAboutOutsideChange(const QString &fileName,
                                                          bool vanished) override;
    QFuture<NBEOutsideChangeChoice> askAboutReadOnlyFile(const QString &fileName) override;
    QFuture<bool> askToDeleteForGood(const QStringList &names) override;
    bool openUrl(const QUrl &url) override;

    // A dialog's text with each very long name (a run without spaces)
    // elided in its middle, so that the dialog keeps a readable width; the
    // whole text goes in its tooltip.
    static QString elidedNames(const QString &text);
    static constexpr qsizetype longestName = 48;
    void revealInFileManager(const QUrl &url) override;
    std::optional<QUrl> siblingApplication() const override;
    void openWithApplication(const QList<QUrl> &urls, const QUrl &application) override;
    QFuture<std::optional<QUrl>> chooseNewItemLocation(const QString &message, const QString &name,
                                                       const QString &prompt,
                                                       const QUrl &directory) override;
    QFuture<std::optional<QUrl>> chooseExportLocation(const QString &message, const QString &name,
                                                      const QString &prompt,
                                                      const QUrl &directory) override;

    // A save panel opening in `directory` with `name` proposed there.
    static std::unique_ptr<QFileDialog> savePanel(QWidget *window, const QString &message,
                                                  const QString &name, const QString &prompt,
                                                  const QUrl &directory);

private:
    QPointer<QWidget> m_window;
    NBEHeadlessDesktop m_system;
};
