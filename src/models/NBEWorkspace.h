#pragma once

#include "NBEFileTreeNode.h"
#include "NBEOpenTab.h"

#include <QList>
#include <QUrl>
#include <QUuid>

#include <optional>

// One open project window: its folder, tree and tabs. A plain value whose
// tabs name their text buffers: copies share them.
struct NBEWorkspace
{
    QUrl rootURL;
    // Absent until the file service has built it.
    std::optional<NBEFileTreeNode> fileTree;
    // In tab-bar order.
    QList<NBEOpenTab> openTabs;
    std::optional<QUuid> activeTabID;

    NBEWorkspace() = default;
    explicit NBEWorkspace(const QUrl &rootURL)
        : rootURL(rootURL)
    {}

    // The folder's name, also when the URL ends with a slash.
    QString name() const;

    bool operator==(const NBEWorkspace &) const = default;
};
