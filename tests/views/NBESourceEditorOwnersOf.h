#pragma once

#include "NBESourceEditor.h"
#include "NBEWorkspaceViewModel.h"

// The owners a window hands its editors, taken from one view model.
inline NBESourceEditorOwners sourceEditorOwnersOf(NBEWorkspaceViewModel *model)
{
    return {model->tabs(), model->workingTree(), model->files(), model->languageServers(),
            [model] { return model->refreshGitStatus(); }};
}
