#pragma once

#include "NBEIntegration.h"

#include <QList>
#include <QUrl>
#include <QWidget>

class NBEPreferences;
class QCheckBox;
class QListWidget;
class QPushButton;
class QVBoxLayout;

// The window without a folder: New Project, Open Folder, a button per
// sibling application's place, the recent projects, and whether this window
// greets the next launch.
class NBEWelcomeWindow : public QWidget
{
    Q_OBJECT

public:
    explicit NBEWelcomeWindow(NBEPreferences &preferences, QWidget *parent = nullptr);

    // Reads the recent projects again.
    void reload();
    // One button per place, in order.
    void setPlaces(const QList<NBEIntegrationLocation> &places);

    QListWidget *recentList() const { return m_recent; }
    QPushButton *newProjectButton() const { return m_newProject; }
    QPushButton *openFolderButton() const { return m_openFolder; }
    const QList<QPushButton *> &placeButtons() const { return m_placeButtons; }
    QCheckBox *showAtLaunch() const { return m_showAtLaunch; }

Q_SIGNALS:
    void newProjectRequested();
    void openFolderRequested();
    // The folder chooser, starting in `folder`.
    void openPlaceRequested(const QUrl &folder);
    void openProjectRequested(const QUrl &folder);

private:
    void loadShowAtLaunch();

    NBEPreferences &m_preferences;
    QListWidget *m_recent;
    QPushButton *m_newProject;
    QPushButton *m_openFolder;
    QVBoxLayout *m_places;
    QList<QPushButton *> m_placeButtons;
    QCheckBox *m_showAtLaunch;
};
