#pragma once

#include "NBEDefaults.h"

#include <QList>
#include <QUrl>

// The recently opened project folders, newest first, kept under
// "nbe.recentProjects" as plain paths. Entries are compared by their path
// string exactly, and folders that vanished stay until removed.
class NBERecentProjects
{
public:
    static constexpr int maxCount = 10;

    static QList<QUrl> load(const NBEDefaults &defaults = NBEDefaults::shared());
    // The list without `adding`'s path, `adding` in front, cut to `max` entries.
    static QList<QUrl> updatedList(const QUrl &adding, const QList<QUrl> &to, int max);
    static void record(const QUrl &folder, NBEDefaults &defaults = NBEDefaults::shared());
    static void remove(const QUrl &folder, NBEDefaults &defaults = NBEDefaults::shared());
    static void clear(NBEDefaults &defaults = NBEDefaults::shared());

private:
    static void store(const QList<QUrl> &folders, NBEDefaults &defaults);
};
