#pragma once

#include <QFuture>
#include <QList>
#include <QStringList>
#include <QUrl>

#include <optional>

// What to do with unsaved edits before something closes.
enum class NBEUnsavedChangesChoice { Save, DontSave, Cancel };

// Everything a workspace view model needs from the desktop, so the view model
// runs without a window: questions to the user, opening locations and the
// sibling application. The project window gives the real one; tests give
// their own.
class NBEWorkspaceDesktop
{
public:
    virtual ~NBEWorkspaceDesktop() = default;

    // Asks whether to save the unsaved edits of the named files before they
    // close (Save / Don't Save / Cancel). The answer may come later.
    virtual QFuture<NBEUnsavedChangesChoice> askToSaveChanges(const QStringList &fileNames) = 0;

    // Opens a location with the system's handler (a web page in the browser).
    virtual bool openUrl(const QUrl &url) = 0;

    // The installed sibling application for local web-framework projects, or
    // none when it isn't installed.
    virtual std::optional<QUrl> siblingApplication() const = 0;

    // Asks the system to open `urls` with the application at `application`;
    // the outcome is not reported.
    virtual void openWithApplication(const QList<QUrl> &urls, const QUrl &application) = 0;
};

// The desktop without a user to ask: unsaved edits are kept (every question
// answers Cancel); locations and the sibling application open through the
// system.
class NBEHeadlessDesktop : public NBEWorkspaceDesktop
{
public:
    QFuture<NBEUnsavedChangesChoice> askToSaveChanges(const QStringList &fileNames) override;
    bool openUrl(const QUrl &url) override;
    std::optional<QUrl> siblingApplication() const override;
    void openWithApplication(const QList<QUrl> &urls, const QUrl &application) override;
};
