#include "NBEGitChangesView.h"

#include "NBEBrand.h"
#include "NBEGitChangeRowDelegate.h"
#include "NBEGitChangesModel.h"
#include "NBEGitQuestions.h"
#include "NBEGitState.h"
#include "NBEIcons.h"
#include "NBEWhenFinished.h"
#include "NBEWorkspaceCommit.h"
#include "NBEWorkspaceFiles.h"
#include "NBEWorkspaceGit.h"
#include "NBEWorkspaceNavigation.h"
#include "NBEWorkspaceWorkingTree.h"

#include <QCheckBox>
#include <QContextMenuEvent>
#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStackedWidget>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int draftDelayMs = 400;

// The commit message box. Data without a single format (a clipboard whose
// owner did not answer) holds nothing to paste, and Qt's own insertion would
// read its first format and crash.
class MessageEdit : public QPlainTextEdit
{
public:
    using QPlainTextEdit::QPlainTextEdit;

protected:
    void insertFromMimeData(const QMimeData *source) override
    {
        if (source && !source->formats().isEmpty())
            QPlainTextEdit::insertFromMimeData(source);
    }
};

QString actionTitle(NBEGitChangeRow::Action action)
{
    switch (action) {
    case NBEGitChangeRow::Action::stage:
        return QObject::tr("Stage Changes");
    case NBEGitChangeRow::Action::unstage:
        return QObject::tr("Unstage Changes");
    case NBEGitChangeRow::Action::discard:
        return QObject::tr("Discard Changes");
    case NBEGitChangeRow::Action::stageAll:
        return QObject::tr("Stage All Changes");
    case NBEGitChangeRow::Action::unstageAll:
        return QObject::tr("Unstage All Changes");
    }
    return {};
}

} // namespace

NBEGitChangesView::NBEGitChangesView(const NBEGitChangesOwners &owners, QWidget *parent)
    : QWidget(parent)
    , m_git(&owners.git)
    , m_sync(&owners.sync)
    , m_commitBox(&owners.commitBox)
    , m_workingTree(&owners.workingTree)
    , m_navigation(&owners.navigation)
    , m_files(&owners.files)
    , m_draftTimer(new QTimer(this))
    , m_model(new NBEGitChangesModel(owners.git, this))
{
    m_pages = new QStackedWidget(this);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_pages);

    buildNotRepositoryPage();
    m_repository = new QWidget(m_pages);
    auto *repo = new QVBoxLayout(m_repository);
    repo->setContentsMargins(8, 6, 8, 0);
    repo->setSpacing(6);

    buildSyncRow(repo);
    buildCommitBox(repo);
    buildChangeList(repo);
    m_pages->addWidget(m_repository);

    followList();
    followMessage();
    followOwners();
    refreshMessage();
    refreshGit();
    rowsReplaced();
}

// Outside a repository: what the pane says and the button that creates one.
void NBEGitChangesView::buildNotRepositoryPage()
{
    m_notRepository = new QWidget(m_pages);
    auto *notLayout = new QVBoxLayout(m_notRepository);
    notLayout->addStretch();
    m_notRepositoryText = new QLabel(m_notRepository);
    m_notRepositoryText->setAlignment(Qt::AlignCenter);
    m_notRepositoryText->setWordWrap(true);
    m_notRepositoryText->setForegroundRole(QPalette::PlaceholderText);
    notLayout->addWidget(m_notRepositoryText);
    m_initialize = new QPushButton(tr("Initialize Git Repository"), m_notRepository);
    notLayout->addWidget(m_initialize, 0, Qt::AlignCenter);
    notLayout->addStretch();
    m_pages->addWidget(m_notRepository);
    connect(m_initialize, &QPushButton::clicked, this, [this] { m_sync->initRepository(); });
}

// The branch with its sync state, and the pull and push buttons.
void NBEGitChangesView::buildSyncRow(QVBoxLayout *repo)
{
    auto *syncRow = new QHBoxLayout;
    syncRow->setSpacing(4);
    auto *branchIcon = new QLabel(m_repository);
    branchIcon->setPixmap(NBEIcons::icon(QStringLiteral("arrow.triangle.branch")).pixmap(14, 14));
    syncRow->addWidget(branchIcon);
    m_branch = new QLabel(m_repository);
    QFont bold = m_branch->font();
    bold.setWeight(QFont::DemiBold);
    m_branch->setFont(bold);
    m_branch->setTextFormat(Qt::PlainText);
    // A long name is elided to the room beside the buttons, whole in its tip.
    m_branch->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_branch->setMinimumWidth(0);
    m_branch->installEventFilter(this);
    syncRow->addWidget(m_branch, 1);
    m_syncState = new QLabel(m_repository);
    m_syncState->setForegroundRole(QPalette::PlaceholderText);
    syncRow->addWidget(m_syncState);
    m_pull = new QToolButton(m_repository);
    m_pull->setToolTip(tr("Pull"));
    m_pull->setAutoRaise(true);
    syncRow->addWidget(m_pull);
    m_push = new QToolButton(m_repository);
    m_push->setAutoRaise(true);
    syncRow->addWidget(m_push);
    repo->addLayout(syncRow);
    connect(m_pull, &QToolButton::clicked, this, [this] { m_sync->pull(); });
    connect(m_push, &QToolButton::clicked, this, [this] { m_sync->push(); });
}

// The merge in progress, the message box and its Amend, Generate and Commit.
void NBEGitChangesView::buildCommitBox(QVBoxLayout *repo)
{
    m_mergeState = new QLabel(m_repository);
    m_mergeState->setWordWrap(true);
    m_mergeState->setTextFormat(Qt::PlainText);
    m_mergeState->hide();
    repo->addWidget(m_mergeState);

    m_message = new MessageEdit(m_repository);
    m_message->setPlaceholderText(tr("Message (Ctrl+Return to commit)"));
    m_message->setTabChangesFocus(true);
    m_message->installEventFilter(this);
    m_message->setFixedHeight(QFontMetrics(m_message->font()).lineSpacing() * 4 + 12);
    repo->addWidget(m_message);

    auto *actionRow = new QHBoxLayout;
    m_amend = new QCheckBox(tr("Amend"), m_repository);
    m_amend->setToolTip(tr("Replace the last commit (only while it hasn't been pushed)"));
    actionRow->addWidget(m_amend);
    actionRow->addStretch();
    m_generate = new QPushButton(tr("Generate"), m_repository);
    m_generate->setToolTip(tr("Write a commit message with AI"));
    actionRow->addWidget(m_generate);
    repo->addLayout(actionRow);
    // A row of its own, so "Commit Merge" is read whole in the narrowest sidebar.
    // A commit runs the repository's hooks, which may take long or hang:
    // while it runs the button cancels it.
    m_committing =
        new QLabel(tr("Committing\u2026 git is running the commit and its hooks."), m_repository);
    m_committing->setWordWrap(true);
    m_committing->setForegroundRole(QPalette::PlaceholderText);
    m_committing->hide();
    repo->addWidget(m_committing);
    m_commit = new QPushButton(tr("Commit"), m_repository);
    m_commit->setDefault(true);
    repo->addWidget(m_commit);
    connect(m_amend, &QCheckBox::toggled, this, &NBEGitChangesView::amendToggled);
    connect(m_generate, &QPushButton::clicked, this, &NBEGitChangesView::generate);
    connect(m_commit, &QPushButton::clicked, this, [this] {
        if (m_commitBox->isCommitting())
            m_commitBox->cancelCommit();
        else
            commit();
    });
}

// The changed files, or "No changes".
void NBEGitChangesView::buildChangeList(QVBoxLayout *repo)
{
    m_list = new QTreeView(m_repository);
    // Before the list hears of it: the list moves its current row off rows
    // that go.
    connect(m_model, &QAbstractItemModel::rowsAboutToBeRemoved, this,
            [this](const QModelIndex &, int first, int last) {
                const int current = m_list->currentIndex().row();
                const NBEGitChangeRow row = m_model->row(current);
                if (current >= first && current <= last && row.isFile())
                    m_keptFile = std::pair(row.kind, row.url);
            });
    m_list->setModel(m_model);
    m_list->setHeaderHidden(true);
    m_list->setRootIsDecorated(false);
    m_list->setIndentation(0);
    // Every row is one line high: a long list lays out without asking each.
    m_list->setUniformRowHeights(true);
    m_list->setFrameShape(QFrame::NoFrame);
    m_list->setMouseTracking(true);
    m_list->setSelectionMode(QAbstractItemView::NoSelection);
    m_list->setFocusPolicy(Qt::StrongFocus);
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);
    m_delegate = new NBEGitChangeRowDelegate(m_model, m_list);
    m_list->setItemDelegate(m_delegate);
    m_list->viewport()->installEventFilter(this);
    m_list->installEventFilter(this);
    repo->addWidget(m_list, 1);
    m_noChanges = new QLabel(tr("No changes"), m_repository);
    m_noChanges->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    m_noChanges->setForegroundRole(QPalette::PlaceholderText);
    m_noChanges->setWordWrap(true);
    repo->addWidget(m_noChanges, 1);
}

// Clicks and menus on the rows, and the keyboard's place as rows come and go.
void NBEGitChangesView::followList()
{
    connect(m_list, &QTreeView::clicked, this, [this](const QModelIndex &index) {
        const NBEGitChangeRow row = m_model->row(index.row());
        if (row.isFile())
            m_navigation->setDiffTarget(row.url);
    });
    connect(m_list, &QTreeView::doubleClicked, this, [this](const QModelIndex &index) {
        const NBEGitChangeRow row = m_model->row(index.row());
        if (row.isFile() && row.status != NBEGitStatus::deleted)
            m_navigation->openFile(row.url, false);
    });
    connect(m_list, &QWidget::customContextMenuRequested, this, [this](const QPoint &at) {
        const QModelIndex index = m_list->indexAt(at);
        if (index.isValid())
            showContextMenu(index.row(), m_list->viewport()->mapToGlobal(at));
    });
    // The keyboard stays on the same place in the list as rows come and go.
    connect(m_model, &QAbstractItemModel::modelAboutToBeReset, this, [this] {
        m_keptRow = m_list->currentIndex().row();
        // Kept through a list that is empty for a moment, until another row
        // is current.
        if (const NBEGitChangeRow row = m_model->row(m_keptRow); m_keptRow >= 0)
            m_keptFile = row.isFile() ? std::optional(std::pair(row.kind, row.url)) : std::nullopt;
        m_keptScroll = m_list->verticalScrollBar()->value();
    });
    connect(m_model, &QAbstractItemModel::modelReset, this, &NBEGitChangesView::rowsReplaced);
    // Rows that come and go one by one keep the place by themselves, but for
    // the current file when it goes and comes back elsewhere (staged).
    for (const auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(m_model, signal, this, [this] {
            m_list->setVisible(m_model->rowCount() > 0);
            m_noChanges->setVisible(m_model->rowCount() == 0);
        });
    connect(m_model, &QAbstractItemModel::rowsInserted, this, [this] {
        if (const int found = keptFileRow(); found >= 0)
            m_list->setCurrentIndex(m_model->index(found));
    });
}

// The message box writes the commit message and, once typing pauses, the
// repository's draft.
void NBEGitChangesView::followMessage()
{
    // Typing is kept as the repository's draft once it pauses.
    m_draftTimer->setSingleShot(true);
    m_draftTimer->setInterval(draftDelayMs);
    connect(m_draftTimer, &QTimer::timeout, this, [this] { m_commitBox->persistCommitDraft(); });
    connect(m_message, &QPlainTextEdit::textChanged, this, [this] {
        const QString text = m_message->toPlainText();
        if (text != m_commitBox->commitMessage()) {
            m_commitBox->setCommitMessage(text);
            m_draftTimer->start();
        }
        refreshButtons();
    });
}

// The pane follows the git state, syncing, the commit box and the diff shown.
void NBEGitChangesView::followOwners()
{
    connect(m_git, &NBEGitState::loadingChanged, this, &NBEGitChangesView::refreshGit);
    connect(m_git, &NBEGitState::changed, this, &NBEGitChangesView::refreshGit);
    connect(m_sync, &NBEWorkspaceGit::isSyncingChanged, this, &NBEGitChangesView::refreshSync);
    connect(m_commitBox, &NBEWorkspaceCommit::commitMessageChanged, this,
            &NBEGitChangesView::refreshMessage);
    connect(m_commitBox, &NBEWorkspaceCommit::isGeneratingCommitMessageChanged, this,
            &NBEGitChangesView::refreshButtons);
    connect(m_commitBox, &NBEWorkspaceCommit::isCommittingChanged, this,
            &NBEGitChangesView::refreshButtons);
    connect(m_commitBox, &NBEWorkspaceCommit::canCancelCommitChanged, this,
            &NBEGitChangesView::refreshButtons);
    connect(m_navigation, &NBEWorkspaceNavigation::diffTargetChanged, this, [this] {
        m_delegate->current = m_navigation->diffTarget();
        m_list->viewport()->update();
    });
}

NBEGitChangesView::~NBEGitChangesView()
{
    flushDraft();
}

bool NBEGitChangesView::isShowingRepository() const
{
    return m_pages->currentWidget() == m_repository;
}

QList<NBEGitChangeRow> NBEGitChangesView::shownRows() const
{
    return m_model->rows();
}

void NBEGitChangesView::flushDraft()
{
    if (m_draftTimer->isActive()) {
        m_draftTimer->stop();
        m_commitBox->persistCommitDraft();
    }
}

void NBEGitChangesView::refreshGit()
{
    const bool repository = m_git->isRepository();
    const bool loading = m_git->isLoading();
    m_pages->setCurrentWidget(repository ? m_repository : m_notRepository);
    // Slow git answers late: until then nothing is said about the folder.
    m_notRepositoryText->setText(loading ? tr("Loading…")
                                         : tr("This folder isn't a git repository."));
    m_initialize->setVisible(!loading);
    m_initialize->setEnabled(m_files->isOpen());
    if (!m_git->canAmendSafely() && m_amend->isChecked())
        m_amend->setChecked(false);
    m_amend->setEnabled(m_git->canAmendSafely() && m_git->snapshot().headSHA.has_value());
    if (const auto &merge = m_git->snapshot().merge) {
        const QString into = m_git->snapshot().branch.value_or(tr("current branch"));
        m_mergeState->setText(
            tr("Merging %1 into %2").arg(merge->name, into) + u'\n' +
            (m_git->hasConflicts()
                 ? tr("Resolve the conflicts and stage the files; then Commit concludes the merge.")
                 : tr("Commit concludes the merge with this message.")));
    }
    m_mergeState->setVisible(m_git->snapshot().merge.has_value());
    // Changes git couldn't read are unknown, not none.
    m_noChanges->setText(m_git->snapshot().error.value_or(tr("No changes")));
    refreshSync();
    refreshButtons();
}

void NBEGitChangesView::refreshSync()
{
    const auto &branch = m_git->snapshot().branch;
    m_branchName = branch.value_or(tr("No branch"));
    m_branch->setToolTip(m_branchName);
    elideBranch();
    const bool syncing = m_sync->isSyncing();
    const bool remote = !m_git->snapshot().remotes.isEmpty();
    if (syncing)
        m_syncState->setText(tr("Syncing\u2026"));
    else if (!remote)
        m_syncState->setText(tr("No remote"));
    else
        m_syncState->clear();

    m_pull->setVisible(remote && m_git->snapshot().hasUpstream);
    m_pull->setText(QStringLiteral("\u2193 %1").arg(m_git->snapshot().behind));
    m_pull->setEnabled(!syncing);
    m_push->setVisible(remote);
    if (m_git->needsPublish()) {
        m_push->setText(tr("Publish Branch"));
        m_push->setToolTip(tr("Push this branch and track it on the remote"));
    } else {
        m_push->setText(QStringLiteral("\u2191 %1").arg(m_git->commitsToPush()));
        m_push->setToolTip(tr("Push"));
    }
    m_push->setEnabled(!syncing);
}

void NBEGitChangesView::refreshButtons()
{
    const bool generating = m_commitBox->isGeneratingCommitMessage();
    m_generate->setText(generating ? tr("Generating\u2026") : tr("Generate"));
    m_generate->setEnabled(!generating);
    const bool amend = m_amend->isChecked();
    const bool merging = m_git->snapshot().merge.has_value();
    const bool committing = m_commitBox->isCommitting();
    // Once git has made the commit only the refresh runs: nothing to cancel.
    const bool cancellable = committing && m_commitBox->canCancelCommit();
    m_committing->setVisible(cancellable);
    m_commit->setText(cancellable ? tr("Cancel Commit")
                      : merging   ? tr("Commit Merge")
                      : amend     ? tr("Amend")
                                  : tr("Commit"));
    const NBECommitBlocker blocker = m_commitBox->commitBlocker(amend);
    m_commit->setEnabled(cancellable || blocker == NBECommitBlocker::none);
    m_commit->setToolTip(
        blocker == NBECommitBlocker::conflicts ? tr("Resolve and stage the conflicted files first")
        : blocker == NBECommitBlocker::nothingStaged ? tr("Stage some changes first")
                                                     : QString());
}

void NBEGitChangesView::refreshMessage()
{
    const QString &message = m_commitBox->commitMessage();
    if (m_message->toPlainText() == message)
        return;
    m_message->setPlainText(message);
    m_message->moveCursor(QTextCursor::End);
}

void NBEGitChangesView::rowsReplaced()
{
    const int count = m_model->rowCount();
    m_list->setVisible(count > 0);
    m_noChanges->setVisible(count == 0);
    int current = keptFileRow();
    if (current < 0 && m_keptRow >= 0)
        current = std::min(m_keptRow, count - 1);
    if (current >= 0)
        m_list->setCurrentIndex(m_model->index(current));
    m_list->verticalScrollBar()->setValue(m_keptScroll);
    m_keptRow = -1;
}

int NBEGitChangesView::keptFileRow() const
{
    for (int index = 0; m_keptFile && index < m_model->rowCount(); ++index) {
        const NBEGitChangeRow row = m_model->row(index);
        if (row.kind == m_keptFile->first && row.url == m_keptFile->second)
            return index;
    }
    return -1;
}

QRect NBEGitChangesView::actionRect(int row, NBEGitChangeRow::Action action) const
{
    const QList<NBEGitChangeRow::Action> actions = m_model->row(row).actions();
    const qsizetype at = actions.indexOf(action);
    if (row < 0 || row >= m_model->rowCount() || at < 0)
        return {};
    const QRect rect = m_list->visualRect(m_model->index(row));
    const int trailing = NBEGitChangeRowDelegate::trailingWidth(m_model->row(row), m_list->font());
    return NBEGitChangeRowDelegate::actionRects(rect, int(actions.size()), trailing).value(at);
}

void NBEGitChangesView::trigger(int index, NBEGitChangeRow::Action action)
{
    if (index < 0 || index >= m_model->rowCount())
        return;
    const NBEGitChangeRow row = m_model->row(index);
    switch (action) {
    case NBEGitChangeRow::Action::stage:
        m_workingTree->stage(row.url);
        break;
    case NBEGitChangeRow::Action::unstage:
        m_workingTree->unstage(row.url);
        break;
    case NBEGitChangeRow::Action::stageAll:
        m_workingTree->stageAllChanges();
        break;
    case NBEGitChangeRow::Action::unstageAll:
        m_workingTree->unstageAllChanges();
        break;
    case NBEGitChangeRow::Action::discard: {
        const bool untracked =
            row.status == NBEGitStatus::untracked || row.status == NBEGitStatus::added;
        // git lists a repository nested in this one as its folder.
        const bool repository = row.url.path().endsWith(u'/');
        const QString detail =
            repository  ? tr("The folder will be moved to the trash, with the commits of its own "
                              "repository.")
            : untracked ? tr("The file will be moved to the trash.")
                        : tr("Its staged and unstaged changes will be lost. This can't be undone.");
        QPointer<NBEWorkspaceWorkingTree> workingTree = m_workingTree;
        NBEGitQuestions::confirm(this, tr("Discard changes to \u201C%1\u201D?").arg(row.name),
                                 detail, tr("Discard Changes"), [workingTree, url = row.url] {
                                     if (workingTree)
                                         workingTree->discardChanges(url);
                                 });
        break;
    }
    }
}

void NBEGitChangesView::elideBranch()
{
    m_branch->setText(
        m_branch->fontMetrics().elidedText(m_branchName, Qt::ElideMiddle, m_branch->width()));
}

bool NBEGitChangesView::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_branch && event->type() == QEvent::Resize)
        elideBranch();
    if (watched == m_list->viewport() && listEvent(event))
        return true;
    if (watched == m_list && listKeyEvent(event))
        return true;
    if (watched == m_message && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
            key->modifiers().testFlag(Qt::ControlModifier)) {
            if (m_commit->isEnabled() && !m_commitBox->isCommitting())
                commit();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

// The current row from the keyboard: Return shows its changes, Space runs
// its first action (stage or unstage), the Menu key opens its menu.
bool NBEGitChangesView::listKeyEvent(QEvent *event)
{
    const int index = m_list->currentIndex().row();
    if (index < 0 || index >= m_model->rowCount())
        return false;
    const NBEGitChangeRow row = m_model->row(index);
    const QRect rect = m_list->visualRect(m_list->currentIndex());
    if (event->type() == QEvent::ContextMenu &&
        static_cast<QContextMenuEvent *>(event)->reason() == QContextMenuEvent::Keyboard) {
        showContextMenu(index, m_list->viewport()->mapToGlobal(rect.bottomLeft()));
        return true;
    }
    if (event->type() != QEvent::KeyPress)
        return false;
    const auto *key = static_cast<QKeyEvent *>(event);
    if (key->modifiers() & ~Qt::KeypadModifier)
        return false;
    switch (key->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (row.isFile())
            m_navigation->setDiffTarget(row.url);
        return true;
    case Qt::Key_Space:
        if (row.actions().isEmpty())
            return true;
        // The selection moves on to the next file in the list, wherever the
        // staged one lands, so a second Space acts on the file below.
        for (int next = index + 1; next < m_model->rowCount(); ++next) {
            if (m_model->row(next).isFile()) {
                m_list->setCurrentIndex(m_model->index(next));
                break;
            }
        }
        trigger(index, row.actions().first());
        return true;
    default:
        return false;
    }
}

// A press on a row's button runs it instead of choosing the row.
bool NBEGitChangesView::listEvent(QEvent *event)
{
    const auto type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonRelease &&
        type != QEvent::MouseButtonDblClick && type != QEvent::ToolTip)
        return false;
    const QPoint at = type == QEvent::ToolTip
                          ? static_cast<QHelpEvent *>(event)->pos()
                          : static_cast<QMouseEvent *>(event)->position().toPoint();
    const QModelIndex item = m_list->indexAt(at);
    if (!item.isValid())
        return false;
    const int index = item.row();
    for (NBEGitChangeRow::Action action : m_model->row(index).actions()) {
        if (!actionRect(index, action).contains(at))
            continue;
        if (type == QEvent::ToolTip)
            QToolTip::showText(static_cast<QHelpEvent *>(event)->globalPos(), actionTitle(action),
                               m_list->viewport());
        else if (type == QEvent::MouseButtonRelease &&
                 static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton)
            trigger(index, action);
        return true;
    }
    return false;
}

void NBEGitChangesView::showContextMenu(int index, const QPoint &globalAt)
{
    if (index < 0 || index >= m_model->rowCount())
        return;
    const NBEGitChangeRow row = m_model->row(index);
    QMenu menu(this);
    if (row.isFile()) {
        menu.addAction(tr("Show Changes"), this,
                       [this, url = row.url] { m_navigation->setDiffTarget(url); });
        if (row.status != NBEGitStatus::deleted)
            menu.addAction(tr("Open File"), this,
                           [this, url = row.url] { m_navigation->openFile(url, false); });
        menu.addSeparator();
    }
    for (NBEGitChangeRow::Action action : row.actions()) {
        const QString title = action == NBEGitChangeRow::Action::discard
                                  ? actionTitle(action) + QStringLiteral("\u2026")
                                  : actionTitle(action);
        menu.addAction(title, this, [this, index, action] { trigger(index, action); });
    }
    if (menu.isEmpty())
        return;
    menu.exec(globalAt);
}

void NBEGitChangesView::amendToggled(bool on)
{
    refreshButtons();
    if (!on || !m_message->toPlainText().trimmed().isEmpty())
        return;
    // An empty box takes the last commit's message to edit.
    nbeWhenFinished(
        m_commitBox->lastCommitMessage(), this, [this](const std::optional<QString> &message) {
            if (message && m_amend->isChecked() && m_message->toPlainText().trimmed().isEmpty())
                m_message->setPlainText(*message);
        });
}

void NBEGitChangesView::commit()
{
    if (m_commitBox->isCommitting())
        return;
    flushDraft();
    const bool amend = m_amend->isChecked();
    nbeWhenFinished(m_commitBox->commit(amend), this, [this, amend](bool committed) {
        // Amend was for that commit; ticked again since, it stays.
        if (committed && amend)
            m_amend->setChecked(false);
        refreshButtons();
    });
}

void NBEGitChangesView::generate()
{
    flushDraft();
    m_commitBox->generateCommitMessage();
}
