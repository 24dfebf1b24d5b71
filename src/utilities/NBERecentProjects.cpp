#include "NBERecentProjects.h"

namespace {

const QString recentProjectsKey = QStringLiteral("nbe.recentProjects");

} // namespace

QList<QUrl> NBERecentProjects::load(const NBEDefaults &defaults)
{
    QList<QUrl> folders;
    const QStringList paths = defaults.stringListValue(recentProjectsKey, {});
    for (const QString &path : paths) {
        // An empty path names no folder; it can only come from a damaged file.
        if (!path.isEmpty())
            folders.append(QUrl::fromLocalFile(path));
    }
    return folders;
}

QList<QUrl> NBERecentProjects::updatedList(const QUrl &adding, const QList<QUrl> &to, int max)
{
    const QString path = adding.toLocalFile();
    QList<QUrl> result{adding};
    for (const QUrl &folder : to) {
        if (folder.toLocalFile() != path)
            result.append(folder);
    }
    return result.mid(0, std::max(max, 0));
}

void NBERecentProjects::record(const QUrl &folder, NBEDefaults &defaults)
{
    if (!folder.isLocalFile() || folder.toLocalFile().isEmpty())
        return;
    store(updatedList(folder, load(defaults), maxCount), defaults);
}

void NBERecentProjects::remove(const QUrl &folder, NBEDefaults &defaults)
{
    const QString path = folder.toLocalFile();
    QList<QUrl> folders = load(defaults);
    folders.removeIf([&](const QUrl &entry) { return entry.toLocalFile() == path; });
    store(folders, defaults);
}

void NBERecentProjects::clear(NBEDefaults &defaults)
{
    defaults.remove(recentProjectsKey);
}

void NBERecentProjects::store(const QList<QUrl> &folders, NBEDefaults &defaults)
{
    QStringList paths;
    for (const QUrl &folder : folders)
        paths.append(folder.toLocalFile());
    defaults.setStringList(recentProjectsKey, paths);
}
