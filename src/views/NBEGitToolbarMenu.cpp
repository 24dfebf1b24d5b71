#include "NBEGitToolbarMenu.h"

#include "NBEGitQuestions.h"
#include "NBEIcons.h"
#include "NBEWhenFinished.h"
#include "NBEWorkspaceViewModel.h"

#include <QDialog>
#include <QInputDialog>
#include <QMenu>

NBEGitToolbarMenu::NBEGitToolbarMenu(NBEWorkspaceViewModel *viewModel, QWidget *parent)
    : QToolButton(parent)
    , m_viewModel(viewModel)
    , m_menu(new QMenu(this))
{
    setPopupMode(QToolButton::InstantPopup);
    setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    setIcon(NBEIcons::icon(QStringLiteral("arrow.triangle.branch")));
    setAutoRaise(true);
    setMenu(m_menu);
    setToolTip(tr("Branches and sync"));
    connect(m_menu, &QMenu::aboutToShow, this, &NBEGitToolbarMenu::rebuildMenu);
    connect(viewModel, &NBEWorkspaceViewModel::gitStateChanged, this, &NBEGitToolbarMenu::refresh);
    connect(viewModel, &NBEWorkspaceViewModel::isSyncingChanged, this, &NBEGitToolbarMenu::refresh);
    connect(viewModel, &NBEWorkspaceViewModel::branchPendingForceDeleteChanged, this,
            &NBEGitToolbarMenu::askForceDelete);
    refresh();
    rebuildMenu();
}

void NBEGitToolbarMenu::refresh()
{
    const auto &branch = m_viewModel->gitBranch();
    setText(branch.value_or(tr("No branch")));
    // Nothing moves the branch under a pull or push.
    setEnabled(!m_viewModel->isSyncing());
}

void NBEGitToolbarMenu::rebuildMenu()
{
    m_menu->clear();
    NBEWorkspaceViewModel *viewModel = m_viewModel;
    const std::optional<QString> current = viewModel->gitBranch();
    const QStringList branches = viewModel->gitBranches();
    QStringList others;
    for (const QString &branch : branches) {
        if (branch != current)
            others.append(branch);
    }

    m_menu->addSection(tr("Switch Branch"));
    for (const QString &branch : branches) {
        QAction *action = m_menu->addAction(
            branch, this, [viewModel, branch] { viewModel->switchBranch(branch); });
        action->setCheckable(true);
        action->setChecked(branch == current);
    }
    m_menu->addAction(tr("New Branch\u2026"), this, [this] { askNewBranch(); });

    const QString into = current.value_or(tr("current branch"));
    QMenu *merge = m_menu->addMenu(tr("Merge into %1").arg(into));
    QMenu *remove = m_menu->addMenu(tr("Delete Branch"));
    for (const QString &branch : std::as_const(others)) {
        merge->addAction(branch, this, [viewModel, branch] { viewModel->mergeBranch(branch); });
        remove->addAction(branch, this, [this, branch] { askDeleteBranch(branch); });
    }
    merge->setEnabled(!others.isEmpty());
    remove->setEnabled(!others.isEmpty());

    m_menu->addSeparator();
    m_menu->addAction(tr("Set Remote URL\u2026"), this, [this] { askRemoteURL(); });
    QAction *pull = m_menu->addAction(tr("Pull"), this, [viewModel] { viewModel->pull(); });
    const bool publish = viewModel->gitNeedsPublish();
    QAction *push = m_menu->addAction(publish ? tr("Publish Branch") : tr("Push"), this,
                                      [viewModel] { viewModel->push(); });
    pull->setEnabled(!viewModel->isSyncing());
    push->setEnabled(!viewModel->isSyncing());

    if (viewModel->canSetUpBrowserSignIn()) {
        m_menu->addSeparator();
        QMenu *signIn = m_menu->addMenu(tr("Set Up Browser Sign-In"));
        signIn->addAction(tr("For This Repository"), this,
                          [viewModel] { viewModel->setUpBrowserSignIn(false); });
        signIn->addAction(tr("For All Repositories"), this,
                          [viewModel] { viewModel->setUpBrowserSignIn(true); });
    }
}

QDialog *NBEGitToolbarMenu::askNewBranch()
{
    QPointer<NBEWorkspaceViewModel> viewModel = m_viewModel;
    return NBEGitQuestions::askForText(
        window(), tr("New Branch"), tr("Name of the new branch, made from the current one:"),
        QString(), tr("Create Branch"), [viewModel](const QString &name) {
            if (viewModel)
                viewModel->createBranch(name);
        });
}

QDialog *NBEGitToolbarMenu::askDeleteBranch(const QString &name)
{
    QPointer<NBEWorkspaceViewModel> viewModel = m_viewModel;
    return NBEGitQuestions::confirm(window(),
                                    tr("Delete the branch %1?").arg(NBEGitQuestions::quoted(name)),
                                    tr("The branch's name goes; its commits stay on any other "
                                       "branch that holds them."),
                                    tr("Delete Branch"), [viewModel, name] {
                                        if (viewModel)
                                            viewModel->deleteBranch(name, false);
                                    });
}

void NBEGitToolbarMenu::askForceDelete()
{
    const std::optional<QString> name = m_viewModel->branchPendingForceDelete();
    if (!name || m_forceQuestion)
        return;
    QPointer<NBEWorkspaceViewModel> viewModel = m_viewModel;
    m_forceQuestion = NBEGitQuestions::confirm(
        window(), tr("The branch %1 isn't fully merged.").arg(NBEGitQuestions::quoted(*name)),
        tr("Deleting it anyway loses the commits no other branch holds."), tr("Delete Anyway"),
        [viewModel, name] {
            if (!viewModel)
                return;
            viewModel->deleteBranch(*name, true);
            viewModel->setBranchPendingForceDelete(std::nullopt);
        });
    // Cancel, or any other way out, leaves nothing pending.
    connect(m_forceQuestion, &QDialog::finished, this,
            [this] { m_viewModel->setBranchPendingForceDelete(std::nullopt); });
}

QDialog *NBEGitToolbarMenu::askRemoteURL()
{
    QPointer<NBEWorkspaceViewModel> viewModel = m_viewModel;
    QDialog *sheet = NBEGitQuestions::askForText(
        window(), tr("Set Remote URL"), tr("URL of the remote \u201Corigin\u201D:"), QString(),
        tr("Set URL"), [viewModel](const QString &url) {
            if (viewModel)
                viewModel->setOriginRemote(url);
        });
    QPointer<QDialog> guard = sheet;
    nbeWhenFinished(m_viewModel->currentOriginURL(), sheet,
                    [guard](const std::optional<QString> &url) {
                        auto *input = qobject_cast<QInputDialog *>(guard.data());
                        if (input && url && input->textValue().isEmpty())
                            input->setTextValue(*url);
                    });
    return sheet;
}
