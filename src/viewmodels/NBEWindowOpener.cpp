#include "NBEWindowOpener.h"

#include "NBEFileService.h"

#include <QFileInfo>

#include <algorithm>
#include <utility>

NBEWindowOpener &NBEWindowOpener::shared()
{
    static NBEWindowOpener opener;
    return opener;
}

NBEWindowOpener::NBEWindowOpener(QObject *parent)
    : QObject(parent)
{}

QUrl NBEWindowOpener::projectRoot(const QUrl &url)
{
    const QString path = NBEFileService::keyPath(url);
    if (QFileInfo(path).isDir())
        return QUrl::fromLocalFile(path);
    return QUrl::fromLocalFile(QFileInfo(path).absolutePath());
}

void NBEWindowOpener::open(const QUrl &url)
{
    if (!url.isLocalFile())
        return;
    const QUrl root = projectRoot(url);
    const QString path = NBEFileService::keyPath(url);
    if (!QFileInfo(path).isDir()) {
        QList<QUrl> &files = m_pending[NBEFileService::keyPath(root)];
        const QUrl file = QUrl::fromLocalFile(path);
        if (!files.contains(file))
            files.append(file);
    }
    if (!m_action) {
        const QString key = NBEFileService::keyPath(root);
        const bool waiting =
            std::any_of(m_waitingRoots.cbegin(), m_waitingRoots.cend(),
                        [&](const QUrl &r) { return NBEFileService::keyPath(r) == key; });
        if (!waiting)
            m_waitingRoots.append(root);
        return;
    }
    show(root);
}

void NBEWindowOpener::setWindowOpeningAction(WindowOpeningAction action)
{
    m_action = std::move(action);
    if (!m_action)
        return;
    const QList<QUrl> roots = std::exchange(m_waitingRoots, {});
    for (const QUrl &root : roots)
        show(root);
}

QList<QUrl> NBEWindowOpener::takePendingFiles(const QUrl &forRoot)
{
    if (!forRoot.isLocalFile())
        return {};
    return m_pending.take(NBEFileService::keyPath(forRoot));
}

void NBEWindowOpener::show(const QUrl &root)
{
    // The window is shown first, so a window created now is listening when
    // the signal goes out; one that is still loading takes the files after
    // its load instead.
    m_action(root);
    Q_EMIT openPendingFiles(root);
}
