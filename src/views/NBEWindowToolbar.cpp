#include "NBEWindowToolbar.h"

#include "NBEGitState.h"
#include "NBEIcons.h"
#include "NBEWorkspaceFiles.h"
#include "NBEWorkspaceGit.h"
#include "NBEWorkspaceTabs.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QToolButton>

NBEWindowToolbar::NBEWindowToolbar(Sources sources, QMenu *projectMenu, QWidget *parent)
    : QToolBar(tr("Project"), parent)
    , m_sources(sources)
    , m_projectButton(new QToolButton(this))
    , m_syncItem(new QWidget(this))
    , m_syncText(new QLabel(m_syncItem))
{
    setObjectName(QStringLiteral("windowToolbar"));
    setMovable(false);
    setFloatable(false);

    m_projectButton->setPopupMode(QToolButton::InstantPopup);
    m_projectButton->setMenu(projectMenu);
    m_projectButton->setToolButtonStyle(Qt::ToolButtonTextOnly);
    QFont bold = m_projectButton->font();
    bold.setWeight(QFont::DemiBold);
    m_projectButton->setFont(bold);
    m_projectButton->setObjectName(QStringLiteral("projectMenuButton"));
    addWidget(m_projectButton);

    // Where the branch menu goes once one is given.
    m_branchAnchor = addSeparator();
    m_branchAnchor->setVisible(false);

    auto *syncLayout = new QHBoxLayout(m_syncItem);
    syncLayout->setContentsMargins(8, 0, 8, 0);
    syncLayout->setSpacing(4);
    auto *check = new QLabel(m_syncItem);
    check->setPixmap(NBEIcons::icon(QStringLiteral("checkmark.circle"),
                                    palette().color(QPalette::PlaceholderText))
                         .pixmap(14, 14));
    syncLayout->addWidget(check);
    QFont callout = m_syncText->font();
    callout.setPointSizeF(callout.pointSizeF() * 0.95);
    m_syncText->setFont(callout);
    m_syncText->setForegroundRole(QPalette::PlaceholderText);
    m_syncText->setTextFormat(Qt::PlainText);
    m_syncText->setObjectName(QStringLiteral("syncStatus"));
    syncLayout->addWidget(m_syncText);
    m_syncItem->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    m_syncAction = addWidget(m_syncItem);

    m_spacer = new QWidget(this);
    m_spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    addWidget(m_spacer);

    connect(&sources.gitState, &NBEGitState::changed, this, &NBEWindowToolbar::refresh);
    connect(&sources.git, &NBEWorkspaceGit::syncStatusChanged, this, &NBEWindowToolbar::refresh);
    connect(&sources.files, &NBEWorkspaceFiles::workspaceChanged, this, &NBEWindowToolbar::refresh);
    connect(&sources.tabs, &NBEWorkspaceTabs::tabsChanged, this, &NBEWindowToolbar::refresh);
    refresh();
}

bool NBEWindowToolbar::isShowingSyncStatus() const
{
    return m_syncAction->isVisible();
}

void NBEWindowToolbar::setBranchMenu(QWidget *menu)
{
    if (m_branchAction) {
        removeAction(m_branchAction);
        delete m_branchMenu;
    }
    m_branchMenu = menu;
    m_branchAction = menu ? insertWidget(m_branchAnchor, menu) : nullptr;
    refresh();
}

void NBEWindowToolbar::setPreviewToggle(QWidget *toggle)
{
    if (m_previewAction) {
        removeAction(m_previewAction);
        delete m_previewToggle;
    }
    m_previewToggle = toggle;
    m_previewAction = toggle ? addWidget(toggle) : nullptr;
    // The bar is as tall with the toggle hidden as with it shown, so the
    // window below doesn't move as tabs of other kinds come to the front.
    m_spacer->setMinimumHeight(toggle ? toggle->sizeHint().height() : 0);
    refresh();
}

void NBEWindowToolbar::refresh()
{
    const auto &workspace = m_sources.files.workspace();
    m_projectButton->setText(workspace ? workspace->name() : tr("Nabri Editor"));
    if (m_branchAction)
        m_branchAction->setVisible(m_sources.gitState.isRepository());
    const std::optional<QString> &status = m_sources.git.syncStatus();
    if (status)
        m_syncText->setText(*status);
    m_syncAction->setVisible(status.has_value());
    if (m_previewAction) {
        const std::optional<NBEOpenTab> tab = m_sources.tabs.activeTab();
        m_previewAction->setVisible(tab && tab->isPreviewable());
    }
}
