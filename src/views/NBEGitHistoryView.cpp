#include "NBEGitHistoryView.h"

#include "NBEFileTreeRow.h"
#include "NBEGitQuestions.h"
#include "NBEGitState.h"
#include "NBEWhenFinished.h"
#include "NBEWorkspaceHistory.h"
#include "NBEWorkspaceNavigation.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QStackedWidget>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

namespace {

constexpr int commitRole = Qt::UserRole + 1;

} // namespace

Q_DECLARE_METATYPE(NBEGitCommit)

// Two lines per commit: the subject, then hash, author and age in the
// secondary colour; the commit whose patch is shown is highlighted.
class NBEGitCommitDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    std::optional<QString> current;

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &) const override
    {
        return {option.rect.width(), QFontMetrics(option.font).height() * 2 + 12};
    }

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override
    {
        const NBEGitCommit commit = index.data(commitRole).value<NBEGitCommit>();
        const QRect rect = option.rect;
        const QColor primary = option.palette.color(QPalette::Text);
        painter->save();
        painter->fillRect(
            rect, NBEFileTreeRow::rowBackground(commit.sha == current,
                                                option.state & QStyle::State_MouseOver, primary));
        const QRect text = rect.adjusted(10, 5, -10, -5);
        const int lineHeight = text.height() / 2;
        QFont font = option.font;
        font.setWeight(QFont::Medium);
        painter->setFont(font);
        painter->setPen(primary);
        painter->drawText(
            QRect(text.left(), text.top(), text.width(), lineHeight),
            Qt::AlignLeft | Qt::AlignVCenter,
            QFontMetrics(font).elidedText(commit.subject, Qt::ElideRight, text.width()));
        QFont small = option.font;
        small.setPointSizeF(option.font.pointSizeF() * 0.9);
        painter->setFont(small);
        painter->setPen(option.palette.color(QPalette::PlaceholderText));
        const QString detail = commit.shortSHA + QStringLiteral(" \u00B7 ") + commit.author +
                               QStringLiteral(" \u00B7 ") + commit.relativeDate;
        painter->drawText(QRect(text.left(), text.top() + lineHeight, text.width(), lineHeight),
                          Qt::AlignLeft | Qt::AlignVCenter,
                          QFontMetrics(small).elidedText(detail, Qt::ElideRight, text.width()));
        painter->restore();
    }
};

NBEGitHistoryView::NBEGitHistoryView(const NBEGitState &git, NBEWorkspaceHistory &history,
                                     NBEWorkspaceNavigation &navigation, QWidget *parent)
    : QWidget(parent)
    , m_git(&git)
    , m_history(&history)
    , m_navigation(&navigation)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_pages = new QStackedWidget(this);
    layout->addWidget(m_pages);
    m_state = new QLabel(m_pages);
    m_state->setAlignment(Qt::AlignCenter);
    m_state->setWordWrap(true);
    m_state->setForegroundRole(QPalette::PlaceholderText);
    m_pages->addWidget(m_state);
    m_list = new QListWidget(m_pages);
    m_list->setFrameShape(QFrame::NoFrame);
    m_list->setMouseTracking(true);
    m_list->setSelectionMode(QAbstractItemView::NoSelection);
    m_list->setFocusPolicy(Qt::NoFocus);
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);
    m_list->setItemDelegate(new NBEGitCommitDelegate(m_list));
    m_pages->addWidget(m_list);

    connect(m_list, &QListWidget::itemClicked, this, [this](QListWidgetItem *item) {
        m_navigation->showCommitDiff(item->data(commitRole).value<NBEGitCommit>());
    });
    connect(m_list, &QWidget::customContextMenuRequested, this,
            &NBEGitHistoryView::showContextMenu);
    connect(m_history, &NBEWorkspaceHistory::gitHistoryChanged, this, &NBEGitHistoryView::refresh);
    connect(m_git, &NBEGitState::loadingChanged, this, &NBEGitHistoryView::refresh);
    connect(m_git, &NBEGitState::changed, this, &NBEGitHistoryView::reloadIfHeadMoved);
    connect(m_navigation, &NBEWorkspaceNavigation::diffTargetChanged, this, [this] {
        const auto &target = m_navigation->commitDiffTarget();
        static_cast<NBEGitCommitDelegate *>(m_list->itemDelegate())->current =
            target ? std::optional(target->sha) : std::nullopt;
        m_list->viewport()->update();
    });
    refresh();
}

void NBEGitHistoryView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    m_loadedHead.reset();
    reloadIfHeadMoved();
}

// A commit, switch, pull or revert moves HEAD; the list follows it.
void NBEGitHistoryView::reloadIfHeadMoved()
{
    refresh();
    if (!isVisible() || m_loadedHead == m_git->snapshot().headSHA)
        return;
    m_loadedHead = m_git->snapshot().headSHA;
    m_history->loadHistory();
}

void NBEGitHistoryView::refresh()
{
    const bool repository = m_git->isRepository();
    const QList<NBEGitCommit> commits =
        repository ? m_history->gitHistory() : QList<NBEGitCommit>();
    if (!repository && m_git->isLoading())
        m_state->setText(tr("Loading…"));
    else if (!repository)
        m_state->setText(tr("This folder isn't a git repository."));
    else if (commits.isEmpty())
        m_state->setText(tr("No commits yet"));
    m_pages->setCurrentWidget(commits.isEmpty() ? static_cast<QWidget *>(m_state) : m_list);
    if (commits == m_commits)
        return;
    m_commits = commits;
    m_list->clear();
    for (const NBEGitCommit &commit : commits) {
        auto *item = new QListWidgetItem(m_list);
        item->setData(commitRole, QVariant::fromValue(commit));
        item->setToolTip(commit.sha);
    }
}

void NBEGitHistoryView::showContextMenu(const QPoint &at)
{
    QListWidgetItem *item = m_list->itemAt(at);
    if (!item)
        return;
    const NBEGitCommit commit = item->data(commitRole).value<NBEGitCommit>();
    QMenu menu(this);
    menu.addAction(tr("Show Changes"), this,
                   [this, commit] { m_navigation->showCommitDiff(commit); });
    menu.addSeparator();
    menu.addAction(tr("Create Tag\u2026"), this, [this, commit] { createTag(commit); });
    menu.addAction(tr("Restore a File\u2026"), this, [this, commit] { restoreFile(commit); });
    menu.addSeparator();
    menu.addAction(tr("Revert Commit\u2026"), this, [this, commit] { revert(commit); });
    menu.exec(m_list->viewport()->mapToGlobal(at));
}

void NBEGitHistoryView::revert(const NBEGitCommit &commit)
{
    QPointer<NBEWorkspaceHistory> history = m_history;
    NBEGitQuestions::confirm(this, tr("Revert %1?").arg(NBEGitQuestions::quoted(commit.subject)),
                             tr("A new commit will undo the changes %1 made.").arg(commit.shortSHA),
                             tr("Revert Commit"), [history, commit] {
                                 if (history)
                                     history->revertCommit(commit);
                             });
}

QDialog *NBEGitHistoryView::createTag(const NBEGitCommit &commit)
{
    auto *sheet = new QDialog(this);
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    sheet->setWindowTitle(tr("Create Tag"));
    auto *layout = new QVBoxLayout(sheet);
    auto *intro = new QLabel(
        tr("Tag %1 %2").arg(commit.shortSHA, NBEGitQuestions::quoted(commit.subject)), sheet);
    intro->setWordWrap(true);
    layout->addWidget(intro);
    auto *form = new QFormLayout;
    auto *name = new QLineEdit(NBEWorkspaceHistory::suggestedTagName(), sheet);
    name->setObjectName(QStringLiteral("tagName"));
    name->selectAll();
    form->addRow(tr("Name:"), name);
    auto *message = new QLineEdit(sheet);
    message->setObjectName(QStringLiteral("tagMessage"));
    message->setPlaceholderText(tr("Optional"));
    form->addRow(tr("Message:"), message);
    layout->addLayout(form);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, sheet);
    QPushButton *create = buttons->addButton(tr("Create Tag"), QDialogButtonBox::AcceptRole);
    create->setDefault(true);
    layout->addWidget(buttons);
    connect(name, &QLineEdit::textChanged, create,
            [create](const QString &text) { create->setEnabled(!text.trimmed().isEmpty()); });
    connect(buttons, &QDialogButtonBox::rejected, sheet, &QDialog::reject);
    connect(buttons, &QDialogButtonBox::accepted, sheet, &QDialog::accept);
    QPointer<NBEWorkspaceHistory> history = m_history;
    connect(sheet, &QDialog::accepted, this, [history, commit, name, message] {
        if (history)
            history->createTag(name->text(), commit, message->text());
    });
    sheet->setMinimumWidth(360);
    m_tagSheet = sheet;
    sheet->open();
    return sheet;
}

QDialog *NBEGitHistoryView::restoreFile(const NBEGitCommit &commit)
{
    auto *sheet = new QDialog(this);
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    sheet->setWindowTitle(tr("Restore a File"));
    auto *layout = new QVBoxLayout(sheet);
    auto *intro = new QLabel(tr("Choose a file to bring back as it was in %1 %2. Its current "
                                "content will be replaced.")
                                 .arg(commit.shortSHA, NBEGitQuestions::quoted(commit.subject)),
                             sheet);
    intro->setWordWrap(true);
    layout->addWidget(intro);
    auto *files = new QListWidget(sheet);
    files->setObjectName(QStringLiteral("restoreFiles"));
    layout->addWidget(files);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, sheet);
    QPushButton *restore = buttons->addButton(tr("Restore"), QDialogButtonBox::AcceptRole);
    restore->setEnabled(false);
    layout->addWidget(buttons);
    connect(files, &QListWidget::currentRowChanged, restore,
            [restore](int row) { restore->setEnabled(row >= 0); });
    connect(buttons, &QDialogButtonBox::rejected, sheet, &QDialog::reject);
    connect(buttons, &QDialogButtonBox::accepted, sheet, &QDialog::accept);
    QPointer<NBEWorkspaceHistory> history = m_history;
    connect(sheet, &QDialog::accepted, this, [history, commit, files] {
        if (history && files->currentItem())
            history->restoreFile(files->currentItem()->text(), commit);
    });
    nbeWhenFinished(m_history->changedFilesFor(commit), files,
                    [files](const QStringList &paths) { files->addItems(paths); });
    sheet->setMinimumWidth(420);
    m_restoreSheet = sheet;
    sheet->open();
    return sheet;
}
