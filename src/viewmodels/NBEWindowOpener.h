#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QUrl>

#include <functional>

// The process-wide router of folders and files handed to the program from
// outside a project window (command line, file manager, the Open File
// command). A folder is its own project root; a file belongs to its parent
// folder and waits there, pending, until that root's window takes it.
class NBEWindowOpener : public QObject
{
    Q_OBJECT

public:
    // Shows (brings forward or creates) the project window of a root.
    using WindowOpeningAction = std::function<void(const QUrl &root)>;

    static NBEWindowOpener &shared();

    explicit NBEWindowOpener(QObject *parent = nullptr);

    // The project root of a location: a folder is its own root, anything else
    // (a file, or a path that doesn't exist yet) has its parent folder.
    static QUrl projectRoot(const QUrl &url);

    // Routes one location: a file is queued under its root, then the root's
    // window is asked for and openPendingFiles is emitted. Without an
    // installed window-opening action the root waits until one is installed.
    void open(const QUrl &url);

    // Installs (or, with an empty function, removes) the action that shows a
    // root's window. Roots that arrived while none was installed are shown now,
    // in the order they arrived.
    void setWindowOpeningAction(WindowOpeningAction action);
    bool hasWindowOpeningAction() const { return bool(m_action); }

    // The files queued for `root`, in arrival order, and empties that queue.
    // Roots compare by their cleaned absolute path.
    QList<QUrl> takePendingFiles(const QUrl &forRoot);

    // Roots that wait for a window-opening action, in arrival order.
    QList<QUrl> waitingRoots() const { return m_waitingRoots; }

Q_SIGNALS:
    // Files were queued for `root`; the window of that root takes them.
    void openPendingFiles(const QUrl &root);

private:
    void show(const QUrl &root);

    WindowOpeningAction m_action;
    QHash<QString, QList<QUrl>> m_pending;
    QList<QUrl> m_waitingRoots;
};
