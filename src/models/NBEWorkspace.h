#pragma once

#include "NBEFileTreeNode.h"

#include <QUrl>

#include <optional>

// The folder of one project window and its tree; the window's tabs are
// their owner's.
struct NBEWorkspace
{
    QUrl rootURL;
    // Absent until the file service has built it.
    std::optional<NBEFileTreeNode> fileTree;

    NBEWorkspace() = default;
    explicit NBEWorkspace(const QUrl &rootURL)
        : rootURL(rootURL)
    {}

    // The folder's name, also when the URL ends with a slash.
    QString name() const;

    bool operator==(const NBEWorkspace &) const = default;
};
