#pragma once

#include "NBEError.h"
#include "NBEProjectPanels.h"

#include <QFuture>
#include <QUrl>

#include <optional>

// A project folder the picker made.
struct NBENewProject
{
    QUrl folder;
    // A repository was asked for and `git init` failed; the folder is there.
    bool gitFailed = false;
    bool operator==(const NBENewProject &) const = default;
};

// Picks what to open: a project folder, a single file, or a new project
// folder (optionally a git repository). Callers record and open the result.
class NBEProjectPicker
{
public:
    // Asks for a new project's folder, then creates it (and runs `git init`
    // in it when the box is ticked) off the main thread. Nothing when
    // cancelled; an error sentence when the folder can't be made.
    static QFuture<std::optional<NBEResult<NBENewProject>>> createProject(NBEProjectPanels &panels);
    static std::optional<QUrl> chooseFolder(NBEProjectPanels &panels,
                                            const std::optional<QUrl> &startingAt = {});
    static std::optional<QUrl> chooseFile(NBEProjectPanels &panels,
                                          const std::optional<QUrl> &startingAt = {});

    // Creates `folder` (and missing parents), then runs `git init` in it when
    // asked. Anything already at `folder` is refused and left untouched: a
    // new project never takes over an existing folder or file.
    static QFuture<NBEResult<NBENewProject>> makeProject(const QUrl &folder, bool gitRepository);

    static NBESavePanelRequest newProjectRequest();
};
