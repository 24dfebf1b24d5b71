#pragma once

#include <QString>
#include <QUrl>

#include <optional>

// What a folder or file chooser shows.
struct NBEOpenPanelRequest
{
    QString message;
    QString prompt; // the confirm button's title
    bool chooseDirectories = true;
    std::optional<QUrl> startingAt;
    bool operator==(const NBEOpenPanelRequest &) const = default;
};

// What the new-project panel shows: a name field, and a checkbox below.
struct NBESavePanelRequest
{
    QString nameFieldValue;
    QString message;
    QString prompt;
    QString checkboxTitle;
    bool checkboxOn = true;
    bool operator==(const NBESavePanelRequest &) const = default;
};

struct NBESavePanelResult
{
    QUrl url;
    bool checkboxOn = false;
    bool operator==(const NBESavePanelResult &) const = default;
};

// The modal panels the project picker shows. The application supplies
// dialogs; tests supply answers. Each call returns when the panel closes,
// with nothing when the user cancelled.
class NBEProjectPanels
{
public:
    virtual ~NBEProjectPanels() = default;
    virtual std::optional<QUrl> runOpenPanel(const NBEOpenPanelRequest &request) = 0;
    virtual std::optional<NBESavePanelResult> runSavePanel(const NBESavePanelRequest &request) = 0;
};
