#include "NBEWelcomeWindow.h"

#include "NBEPreferences.h"
#include "NBERecentProjects.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

NBEWelcomeWindow::NBEWelcomeWindow(NBEPreferences &preferences, QWidget *parent)
    : QWidget(parent)
    , m_preferences(preferences)
    , m_recent(new QListWidget(this))
    , m_newProject(new QPushButton(tr("New Project…"), this))
    , m_openFolder(new QPushButton(tr("Open Folder…"), this))
    , m_places(new QVBoxLayout)
    , m_showAtLaunch(new QCheckBox(tr("Show this window at launch"), this))
{
    setWindowTitle(tr("Welcome to Nabri Editor"));
    setObjectName(QStringLiteral("welcome"));
    resize(560, 460);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 24, 24, 24);
    auto *title = new QLabel(tr("Nabri Editor"), this);
    QFont big = title->font();
    big.setPointSizeF(big.pointSizeF() * 1.8);
    big.setWeight(QFont::Bold);
    title->setFont(big);
    layout->addWidget(title);
    auto *actions = new QHBoxLayout;
    actions->addWidget(m_newProject);
    actions->addWidget(m_openFolder);
    actions->addStretch(1);
    layout->addLayout(actions);
    m_places->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(m_places);
    layout->addSpacing(12);
    layout->addWidget(new QLabel(tr("Recent Projects"), this));
    layout->addWidget(m_recent, 1);
    layout->addWidget(m_showAtLaunch);

    connect(m_newProject, &QPushButton::clicked, this, [this] { Q_EMIT newProjectRequested(); });
    connect(m_openFolder, &QPushButton::clicked, this, [this] { Q_EMIT openFolderRequested(); });
    connect(m_recent, &QListWidget::itemActivated, this, [this](QListWidgetItem *item) {
        Q_EMIT openProjectRequested(item->data(Qt::UserRole).toUrl());
    });
    connect(m_showAtLaunch, &QCheckBox::toggled, this,
            [this](bool on) { m_preferences.setShowWelcomeAtLaunch(on); });
    connect(&preferences, &NBEPreferences::changed, this, [this](NBEPreferences::Key key) {
        if (key == NBEPreferences::Key::showWelcomeAtLaunch)
            loadShowAtLaunch();
    });
    loadShowAtLaunch();
    reload();
}

void NBEWelcomeWindow::reload()
{
    m_recent->clear();
    for (const QUrl &url : NBERecentProjects::load()) {
        auto *item = new QListWidgetItem(QFileInfo(url.toLocalFile()).fileName(), m_recent);
        item->setToolTip(url.toLocalFile());
        item->setData(Qt::UserRole, url);
    }
}

void NBEWelcomeWindow::setPlaces(const QList<NBEIntegrationLocation> &places)
{
    qDeleteAll(m_placeButtons);
    m_placeButtons.clear();
    for (const NBEIntegrationLocation &place : places) {
        auto *button = new QPushButton(place.title, this);
        button->setToolTip(place.url.toLocalFile());
        connect(button, &QPushButton::clicked, this,
                [this, folder = place.url] { Q_EMIT openPlaceRequested(folder); });
        m_places->addWidget(button, 0, Qt::AlignLeft);
        m_placeButtons.append(button);
    }
}

void NBEWelcomeWindow::loadShowAtLaunch()
{
    const QSignalBlocker block(m_showAtLaunch);
    m_showAtLaunch->setChecked(m_preferences.showWelcomeAtLaunch());
}
