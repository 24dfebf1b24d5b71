#pragma once

#include "NBEProjectPanels.h"

#include <QList>

// Answers the project picker's panels as a user would have, and remembers
// what they showed.
class NBEAnsweringPanels : public NBEProjectPanels
{
public:
    std::optional<QUrl> runOpenPanel(const NBEOpenPanelRequest &request) override
    {
        openRequests.append(request);
        return openAnswer;
    }
    std::optional<NBESavePanelResult> runSavePanel(const NBESavePanelRequest &request) override
    {
        saveRequests.append(request);
        return saveAnswer;
    }

    std::optional<QUrl> openAnswer;
    std::optional<NBESavePanelResult> saveAnswer;
    QList<NBEOpenPanelRequest> openRequests;
    QList<NBESavePanelRequest> saveRequests;
};
