#pragma once

#include "NBEProjectPanels.h"

#include <QFuture>
#include <QUrl>

#include <optional>

// Picks what to open: a project folder, a single file, or a new project
// folder (optionally a git repository). Callers record and open the result.
class NBEProjectPicker
{
public:
    // Asks for a new project's folder, then creates it (and runs `git init`
    // in it when the box is ticked) off the main thread. Nothing when cancelled.
    static QFuture<std::optional<QUrl>> createProject(NBEProjectPanels &panels);
    static std::optional<QUrl> chooseFolder(NBEProjectPanels &panels,
                                            const std::optional<QUrl> &startingAt = {});
    static std::optional<QUrl> chooseFile(NBEProjectPanels &panels,
                                          const std::optional<QUrl> &startingAt = {});

    // Creates `folder` and missing parents unless something exists there, then
    // runs `git init` in it when asked. Failures pass silently: the folder is
    // handed back either way and opening it reports any real problem.
    static QFuture<QUrl> makeProject(const QUrl &folder, bool gitRepository);

    static NBESavePanelRequest newProjectRequest();
};
