#pragma once

#include <QFuture>
#include <QList>
#include <QStringList>
#include <QUrl>

#include <optional>

// What to do with unsaved edits before something closes.
enum class NBEUnsavedChangesChoice { Save, DontSave, Cancel };

// What to do when a file changed on disk since its tab last read or wrote it.
// Unanswered: nobody could be asked (no window).
enum class NBEOutsideChangeChoice { Overwrite, ReloadFromDisk, Cancel, Unanswered };

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

    // Asks what to do with a tab about to be saved over a file that changed
    // (or vanished, when `vanished`) since the tab last read or wrote it:
    // Overwrite / Reload from Disk / Cancel. Without a user: Unanswered.
    virtual QFuture<NBEOutsideChangeChoice> askAboutOutsideChange(const QString &fileName,
                                                                  bool vanished)
    {
        Q_UNUSED(fileName);
        Q_UNUSED(vanished);
        return QtFuture::makeReadyFuture(NBEOutsideChangeChoice::Unanswered);
    }

    // Asks whether to replace a read-only file of the user's own with the
    // tab's text (Overwrite / Cancel); it stays read-only. Without a user:
    // Unanswered.
    virtual QFuture<NBEOutsideChangeChoice> askAboutReadOnlyFile(const QString &fileName)
    {
        Q_UNUSED(fileName);
        return QtFuture::makeReadyFuture(NBEOutsideChangeChoice::Unanswered);
    }

    // Asks whether to delete the named items for good, where no trash can
    // take them. Without a user: no.
    virtual QFuture<bool> askToDeleteForGood(const QStringList &names)
    {
        Q_UNUSED(names);
        return QtFuture::makeReadyFuture(false);
    }

    // Opens a location with the system's handler (a web page in the browser).
    virtual bool openUrl(const QUrl &url) = 0;

    // Shows the item selected in the file manager, or opens its folder when
    // no file manager answers. Without a desktop, nothing.
    virtual void revealInFileManager(const QUrl &url) { Q_UNUSED(url); }

    // The installed sibling application for local web-framework projects, or
    // none when it isn't installed.
    virtual std::optional<QUrl> siblingApplication() const = 0;

    // Asks the system to open `urls` with the application at `application`;
    // the outcome is not reported.
    virtual void openWithApplication(const QList<QUrl> &urls, const QUrl &application) = 0;

    // Asks where a new item goes: a save panel opening in `directory` with
    // `name` filled in, showing `message` and the accept button `prompt`.
    // None when cancelled; without a user, always none.
    virtual QFuture<std::optional<QUrl>> chooseNewItemLocation(const QString &message,
                                                               const QString &name,
                                                               const QString &prompt,
                                                               const QUrl &directory)
    {
        Q_UNUSED(message);
        Q_UNUSED(name);
        Q_UNUSED(prompt);
        Q_UNUSED(directory);
        return QtFuture::makeReadyFuture(std::optional<QUrl>());
    }

    // Asks where an exported HTML page goes: a save panel opening in
    // `directory` that proposes `name`, shows `message` and the accept
    // button `prompt`, may create folders and offers HTML files only. None
    // when cancelled; without a user, always none.
    virtual QFuture<std::optional<QUrl>> chooseExportLocation(const QString &message,
                                                              const QString &name,
                                                              const QString &prompt,
                                                              const QUrl &directory)
    {
        Q_UNUSED(message);
        Q_UNUSED(name);
        Q_UNUSED(prompt);
        Q_UNUSED(directory);
        return QtFuture::makeReadyFuture(std::optional<QUrl>());
    }
};

// The desktop without a user to ask: unsaved edits are kept (every question
// answers Cancel); locations and the sibling application open through the
// system.
class NBEHeadlessDesktop : public NBEWorkspaceDesktop
{
public:
    QFuture<NBEUnsavedChangesChoice> askToSaveChanges(const QStringList &fileNames) override;
    bool openUrl(const QUrl &url) override;
    void revealInFileManager(const QUrl &url) override;
    std::optional<QUrl> siblingApplication() const override;
    void openWithApplication(const QList<QUrl> &urls, const QUrl &application) override;
};
