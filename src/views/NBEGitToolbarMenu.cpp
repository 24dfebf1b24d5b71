#include "NBEGitToolbarMenu.h"

#include "NBEGitQuestions.h"
#include "NBEGitState.h"
#include "NBEIcons.h"
#include "NBEWhenFinished.h"
#include "NBEWorkspaceGit.h"

#include <QDialog>
#include <QInputDialog>
#include <QMenu>

namespace {

// A branch name as a button or menu shows it: git allows "&" in names,
// which Qt would take for a mnemonic, dropping it and underlining the next letter.
QString shown(QString name)
{
    return name.replace(u'&', QStringLiteral("&&"));
}

} // namespace

NBEGitToolbarMenu::NBEGitToolbarMenu(const NBEGitState &state, NBEWorkspaceGit &git,
                                     QWidget *parent)
    : QToolButton(parent)
    , m_state(&state)
    , m_git(&git)
    , m_menu(new QMenu(this))
{
    setPopupMode(QToolButton::InstantPopup);
    setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    setIcon(NBEIcons::icon(QStringLiteral("arrow.triangle.branch")));
    setAutoRaise(true);
    setMenu(m_menu);
    setToolTip(tr("Branches and sync"));
    connect(m_menu, &QMenu::aboutToShow, this, &NBEGitToolbarMenu::rebuildMenu);
    connect(&state, &NBEGitState::changed, this, &NBEGitToolbarMenu::refresh);
    connect(&git, &NBEWorkspaceGit::isSyncingChanged, this, &NBEGitToolbarMenu::refresh);
    connect(&git, &NBEWorkspaceGit::branchPendingForceDeleteChanged, this,
            &NBEGitToolbarMenu::askForceDelete);
    refresh();
    rebuildMenu();
}

void NBEGitToolbarMenu::refresh()
{
    const auto &branch = m_state->snapshot().branch;
    // What git couldn't read is said where the branch is, not taken for a
    // repository without one.
    if (const auto &error = m_state->snapshot().error) {
        setText(shown(fontMetrics().elidedText(*error, Qt::ElideRight,
                                               40 * fontMetrics().averageCharWidth())));
        setToolTip(*error);
    } else {
        setText(branch ? shown(*branch) : tr("No branch"));
        setToolTip(tr("Branches and sync"));
    }
    // Nothing moves the branch under a pull or push.
    setEnabled(!m_git->isSyncing());
}

void NBEGitToolbarMenu::rebuildMenu()
{
    m_menu->clear();
    NBEWorkspaceGit *git = m_git;
    const std::optional<QString> current = m_state->snapshot().branch;
    const QStringList branches = m_state->snapshot().branches;
    QStringList others;
    for (const QString &branch : branches) {
        if (branch != current)
            others.append(branch);
    }

    m_menu->addSection(tr("Switch Branch"));
    for (const QString &branch : branches) {
        QAction *action =
            m_menu->addAction(shown(branch), this, [git, branch] { git->switchBranch(branch); });
        action->setCheckable(true);
        action->setChecked(branch == current);
    }
    m_menu->addAction(tr("New Branch\u2026"), this, [this] { askNewBranch(); });

    const QString into = current.value_or(tr("current branch"));
    QMenu *merge = m_menu->addMenu(tr("Merge into %1").arg(shown(into)));
    QMenu *remove = m_menu->addMenu(tr("Delete Branch"));
    for (const QString &branch : std::as_const(others)) {
        merge->addAction(shown(branch), this, [git, branch] { git->mergeBranch(branch); });
        remove->addAction(shown(branch), this, [this, branch] { askDeleteBranch(branch); });
    }
    merge->setEnabled(!others.isEmpty());
    remove->setEnabled(!others.isEmpty());

    m_menu->addSeparator();
    m_menu->addAction(tr("Set Remote URL\u2026"), this, [this] { askRemoteURL(); });
    QAction *pull = m_menu->addAction(tr("Pull"), this, [git] { git->pull(); });
    const bool publish = m_state->needsPublish();
    QAction *push = m_menu->addAction(publish ? tr("Publish Branch") : tr("Push"), this,
                                      [git] { git->push(); });
    pull->setEnabled(!m_git->isSyncing());
    push->setEnabled(!m_git->isSyncing());

    if (m_git->canSetUpBrowserSignIn()) {
        m_menu->addSeparator();
        QMenu *signIn = m_menu->addMenu(tr("Set Up Browser Sign-In"));
        signIn->addAction(tr("For This Repository"), this,
                          [git] { git->setUpBrowserSignIn(false); });
        signIn->addAction(tr("For All Repositories"), this,
                          [git] { git->setUpBrowserSignIn(true); });
    }
}

QDialog *NBEGitToolbarMenu::askNewBranch()
{
    QPointer<NBEWorkspaceGit> git = m_git;
    return NBEGitQuestions::askForText(window(), tr("New Branch"),
                                       tr("Name of the new branch, made from the current one:"),
                                       QString(), tr("Create Branch"), [git](const QString &name) {
                                           if (git)
                                               git->createBranch(name);
                                       });
}

QDialog *NBEGitToolbarMenu::askDeleteBranch(const QString &name)
{
    QPointer<NBEWorkspaceGit> git = m_git;
    return NBEGitQuestions::confirm(window(),
                                    tr("Delete the branch %1?").arg(NBEGitQuestions::quoted(name)),
                                    tr("The branch's name goes; its commits stay on any other "
                                       "branch that holds them."),
                                    tr("Delete Branch"), [git, name] {
                                        if (git)
                                            git->deleteBranch(name, false);
                                    });
}

void NBEGitToolbarMenu::askForceDelete()
{
    const std::optional<QString> name = m_git->branchPendingForceDelete();
    if (!name || m_forceQuestion)
        return;
    QPointer<NBEWorkspaceGit> git = m_git;
    m_forceQuestion = NBEGitQuestions::confirm(
        window(), tr("The branch %1 isn't fully merged.").arg(NBEGitQuestions::quoted(*name)),
        tr("Deleting it anyway loses the commits no other branch holds."), tr("Delete Anyway"),
        [git, name] {
            if (!git)
                return;
            git->deleteBranch(*name, true);
            git->setBranchPendingForceDelete(std::nullopt);
        });
    // Cancel, or any other way out, leaves nothing pending.
    connect(m_forceQuestion, &QDialog::finished, this,
            [this] { m_git->setBranchPendingForceDelete(std::nullopt); });
}

QDialog *NBEGitToolbarMenu::askRemoteURL()
{
    QPointer<NBEWorkspaceGit> git = m_git;
    QDialog *sheet = NBEGitQuestions::askForText(
        window(), tr("Set Remote URL"), tr("URL of the remote \u201Corigin\u201D:"), QString(),
        tr("Set URL"), [git](const QString &url) {
            if (git)
                git->setOriginRemote(url);
        });
    QPointer<QDialog> guard = sheet;
    nbeWhenFinished(m_git->currentOriginURL(), sheet, [guard](const std::optional<QString> &url) {
        auto *input = qobject_cast<QInputDialog *>(guard.data());
        if (input && url && input->textValue().isEmpty())
            input->setTextValue(*url);
    });
    return sheet;
}
