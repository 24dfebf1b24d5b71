#include "NBEMainView.h"

#include "NBEDefaultThemes.h"
#include "NBEEmptyState.h"
#include "NBEFileTreeView.h"
#include "NBEGitChangesView.h"
#include "NBEGitDiffView.h"
#include "NBEGitHistoryView.h"
#include "NBEHTMLPreview.h"
#include "NBEHTMLSplitView.h"
#include "NBEHTMLToolbar.h"
#include "NBEIcons.h"
#include "NBEMarkdownPreview.h"
#include "NBEMarkdownToolbar.h"
#include "NBENoticeBar.h"
#include "NBEOpeningView.h"
#include "NBEOutlineView.h"
#include "NBESourceEditor.h"
#include "NBEStatusBar.h"
#include "NBETabBar.h"
#include "NBEWhenFinished.h"
#include "NBEWidgetDesktop.h"
#include "NBEWindowOpener.h"
#include "NBEWorkspaceViewModel.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QSplitter>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace {

QFrame *divider(QWidget *parent)
{
    auto *line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    line->setForegroundRole(QPalette::Mid);
    return line;
}

} // namespace

NBEMainView::NBEMainView(const QUrl &rootURL, QWidget *parent)
    : NBEMainView(rootURL, NBEWorkspaceEnvironment(), parent)
{}

NBEMainView::NBEMainView(const QUrl &rootURL, NBEWorkspaceEnvironment environment, QWidget *parent)
    : QWidget(parent)
    , m_rootURL(rootURL)
    , m_desktop(std::make_shared<NBEWidgetDesktop>(this))
{
    environment.desktop = m_desktop;
    m_viewModel = new NBEWorkspaceViewModel(environment, this);
    NBEWorkspaceViewModel *viewModel = m_viewModel;

    NBEFileTreeActions actions;
    // A preview (one click) leaves the keys with the tree; a file opened for
    // good (a double click) takes them.
    actions.openFile = [this, viewModel](const QUrl &url, bool preview) {
        const QFuture<void> opened = viewModel->navigation().openFile(url, preview);
        if (preview)
            return;
        // Keys typed while a large file loads go into it once it shows.
        if (m_opening++ == 0)
            qApp->installEventFilter(this);
        nbeWhenFinished(opened, this, [this] {
            if (--m_opening == 0)
                qApp->removeEventFilter(this);
            std::vector<std::unique_ptr<QKeyEvent>> held = std::exchange(m_heldKeys, {});
            if (!m_pane)
                return;
            m_pane->setFocus();
            for (const auto &key : held) {
                QWidget *target = QApplication::focusWidget();
                QCoreApplication::sendEvent(
                    target && m_pane->isAncestorOf(target) ? target : m_pane.data(), key.get());
            }
        });
    };
    actions.toggleExpanded = [viewModel](const QUuid &id) {
        viewModel->files().toggleExpanded(id);
    };
    actions.createFile = [viewModel](const QString &name, const QUrl &folder) {
        viewModel->files().createFile(name, folder);
    };
    actions.createFolder = [viewModel](const QString &name, const QUrl &folder) {
        viewModel->files().createFolder(name, folder);
    };
    actions.renameItem = [viewModel](const QUrl &item, const QString &name) {
        viewModel->files().renameItem(item, name);
    };
    actions.deleteItem = [viewModel](const QUrl &item) { viewModel->files().deleteItem(item); };
    actions.moveItem = [viewModel](const QUrl &item, const QUrl &folder) {
        viewModel->files().moveItem(item, folder);
    };
    actions.reveal = [viewModel](const QUrl &item) {
        viewModel->files().revealInFileManager(item);
    };
    actions.showError = [this](const QString &message) {
        QMessageBox::warning(this, tr("Error"), message);
    };
    m_fileTreeActions = actions;

    auto *splitter = new QSplitter(Qt::Horizontal, this);
    splitter->setChildrenCollapsible(false);
    m_sidebar = new NBESidebarView(
        [this](NBESidebarMode mode, QWidget *parent) { return makePane(mode, parent); }, splitter);
    m_sidebar->setMinimumWidth(180);
    m_sidebar->setMaximumWidth(350);
    splitter->addWidget(m_sidebar);

    // The notice bar sits above the editor, the empty state and the diff
    // alike, and is never modal: a notice may come while the user types.
    auto *detailArea = new QWidget(splitter);
    auto *detailLayout = new QVBoxLayout(detailArea);
    detailLayout->setContentsMargins(0, 0, 0, 0);
    detailLayout->setSpacing(0);
    m_noticeBar = new NBENoticeBar(detailArea);
    detailLayout->addWidget(m_noticeBar);
    connect(viewModel, &NBEWorkspaceViewModel::noticeChanged, m_noticeBar,
            [this] { m_noticeBar->setMessage(m_viewModel->notice()); });
    connect(m_noticeBar, &NBENoticeBar::closed, viewModel, &NBEWorkspaceViewModel::clearNotice);
    m_detail = new QStackedWidget(detailArea);
    detailLayout->addWidget(m_detail, 1);
    m_empty = new NBEEmptyState(QStringLiteral("doc.text"), 48, tr("Open a file to start editing"),
                                8, m_detail);
    m_detail->addWidget(m_empty);
    m_tabArea = new QWidget(m_detail);
    m_tabAreaLayout = new QVBoxLayout(m_tabArea);
    m_tabAreaLayout->setContentsMargins(0, 0, 0, 0);
    m_tabAreaLayout->setSpacing(0);
    m_tabBar =
        new NBETabBar(viewModel->tabs(), viewModel->navigation(), viewModel->files(), m_tabArea);
    m_tabAreaLayout->addWidget(m_tabBar);
    m_tabAreaLayout->addWidget(divider(m_tabArea));
    // The formatting toolbars, each shown while its language is edited.
    m_markdownToolbar = new NBEMarkdownToolbar(
        [viewModel](NBEMarkdownAction action) { viewModel->requestMarkdownEdit(action); },
        m_tabArea);
    m_tabAreaLayout->addWidget(m_markdownToolbar);
    m_markdownDivider = divider(m_tabArea);
    m_tabAreaLayout->addWidget(m_markdownDivider);
    m_htmlToolbar = new NBEHTMLToolbar(
        [viewModel](NBEHTMLAction action) { viewModel->requestHTMLEdit(action); }, m_tabArea);
    m_tabAreaLayout->addWidget(m_htmlToolbar);
    m_htmlDivider = divider(m_tabArea);
    m_tabAreaLayout->addWidget(m_htmlDivider);
    // The active tab's editor goes between the tab bar and the status bar.
    // Tabs without an active one leave a blank space there.
    m_noEditor = new QWidget(m_tabArea);
    m_tabAreaLayout->addWidget(m_noEditor, 1);
    m_statusDivider = divider(m_tabArea);
    m_tabAreaLayout->addWidget(m_statusDivider);
    m_statusBar =
        new NBEStatusBar(viewModel->tabs(), viewModel->diagnosticsStore(),
                         viewModel->languageServers(), viewModel->navigation(), m_tabArea);
    m_tabAreaLayout->addWidget(m_statusBar);
    m_detail->addWidget(m_tabArea);
    splitter->addWidget(detailArea);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({220, 780});

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(splitter);

    // Neither fires for an edit or a caret move.
    // After the tab and status bars, which hear the owners first.
    connect(&viewModel->files(), &NBEWorkspaceFiles::workspaceChanged, this, &NBEMainView::refresh);
    connect(&viewModel->tabs(), &NBEWorkspaceTabs::tabsChanged, this, &NBEMainView::refresh);
    connect(&viewModel->tabs(), &NBEWorkspaceTabs::openingChanged, this, &NBEMainView::showOpening);
    // A previewed Markdown tab's text changes only from outside (a reload).
    connect(&viewModel->tabs(), &NBEWorkspaceTabs::tabContentChanged, this,
            [this](const QUuid &id) {
                if (id == m_paneTabID && markdownPreview())
                    if (const auto tab = m_viewModel->tab(id))
                        updatePane(*tab);
            });
    connect(&viewModel->gitState(), &NBEGitState::changed, this, [this] {
        if (m_fileTree)
            m_fileTree->setGitStatus(m_viewModel->gitState().snapshot().status);
    });
    connect(viewModel, &NBEWorkspaceViewModel::errorMessageChanged, this, &NBEMainView::showError);
    connect(&viewModel->navigation(), &NBEWorkspaceNavigation::diffTargetChanged, this,
            &NBEMainView::refreshDiff);
    // Files queued for a root reach every window; only the window of that
    // root takes them.
    connect(&NBEWindowOpener::shared(), &NBEWindowOpener::openPendingFiles, this,
            [viewModel](const QUrl &root) { viewModel->openPendingFiles(root); });
    connect(&viewModel->preferences(), &NBEPreferences::changed, this,
            [this](NBEPreferences::Key key) {
                if (NBEPreferences::isEditorKey(key) || key == NBEPreferences::Key::appearance)
                    applySettings();
            });
    refresh();
}

NBEMainView::~NBEMainView()
{
    // However the window goes away, its language servers go with it.
    m_viewModel->shutdownLSP();
    // The panes go before the view model they keep their last words with
    // (the commit box saves its draft). One at a time: a pane may take a
    // sibling with it (an editor its completion panel).
    while (QWidget *child = findChild<QWidget *>(QString(), Qt::FindDirectChildrenOnly))
        delete child;
}

void NBEMainView::start()
{
    const auto openQueued = [this] {
        m_viewModel->openPendingFiles(m_rootURL);
        Q_EMIT started();
    };
    if (m_viewModel->files().isOpen()) {
        openQueued();
        return;
    }
    nbeWhenFinished(m_viewModel->loadWorkspace(m_rootURL), this, openQueued);
}

NBEEditorSettings NBEMainView::currentSettings() const
{
    return m_viewModel->preferences().editorSettings();
}

NBETheme NBEMainView::currentTheme(const QPalette &palette, const QString &appearance)
{
    if (appearance == QLatin1String("dark"))
        return NBEDefaultThemes::dark();
    if (appearance == QLatin1String("light"))
        return NBEDefaultThemes::light();
    return palette.color(QPalette::Window).lightness() < 128 ? NBEDefaultThemes::dark()
                                                             : NBEDefaultThemes::light();
}

NBETheme NBEMainView::theme() const
{
    return currentTheme(palette(), m_viewModel->preferences().appearance());
}

void NBEMainView::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    // A switch between the system's light and dark looks reaches the open
    // editor at once.
    if (event->type() == QEvent::PaletteChange ||
        event->type() == QEvent::ApplicationPaletteChange) {
        applySettings();
    }
}

bool NBEMainView::eventFilter(QObject *watched, QEvent *event)
{
    if (m_opening > 0 && event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        auto *widget = qobject_cast<QWidget *>(watched);
        if (widget && isAncestorOf(widget) && !key->text().isEmpty() &&
            !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))) {
            m_heldKeys.push_back(std::unique_ptr<QKeyEvent>(key->clone()));
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void NBEMainView::windowDeactivated()
{
    m_viewModel->saving().autoSaveOnFocusChange();
}

bool NBEMainView::isShowingEmptyState() const
{
    return m_detail->currentWidget() == m_empty;
}

NBESourceEditor *NBEMainView::sourceEditor() const
{
    if (auto *editor = qobject_cast<NBESourceEditor *>(m_pane.data()))
        return editor;
    if (auto *split = htmlSplitView())
        return split->sourceEditor();
    return nullptr;
}

NBEHTMLSplitView *NBEMainView::htmlSplitView() const
{
    return qobject_cast<NBEHTMLSplitView *>(m_pane.data());
}

NBEMarkdownPreview *NBEMainView::markdownPreview() const
{
    return qobject_cast<NBEMarkdownPreview *>(m_pane.data());
}

void NBEMainView::applySettings()
{
    // The editor's settings reach it through its document.
    if (NBESourceEditor *editor = sourceEditor())
        editor->setTheme(theme());
    if (const auto tab = m_viewModel->tabs().activeTab())
        updatePane(*tab);
}

NBEMainView::PaneKind NBEMainView::paneKind(const NBEOpenTab &tab)
{
    if (tab.isShowingPreview && tab.isMarkdown())
        return PaneKind::markdownPreview;
    if (tab.isShowingPreview && tab.isHTML())
        return PaneKind::htmlSplit;
    return PaneKind::editor;
}

QWidget *NBEMainView::editorView(const NBEOpenTab &tab)
{
    const NBETheme theme = this->theme();
    const NBESourceEditorOwners owners = NBESourceEditorOwners::of(m_viewModel);
    switch (paneKind(tab)) {
    case PaneKind::markdownPreview:
        return new NBEMarkdownPreview(tab.sourceFile.snapshot(),
                                      tab.sourceFile.url.adjusted(QUrl::RemoveFilename), theme,
                                      currentSettings().fontSize, m_tabArea);
    case PaneKind::htmlSplit:
        return new NBEHTMLSplitView(owners, tab.id, theme, m_tabArea);
    case PaneKind::editor:
        break;
    }
    return new NBESourceEditor(owners, tab.id, theme, nullptr, m_tabArea);
}

// The editors follow the view model themselves; the Markdown preview is
// handed the tab's text.
void NBEMainView::updatePane(const NBEOpenTab &tab)
{
    if (NBEMarkdownPreview *preview = markdownPreview())
        preview->setInputs(tab.sourceFile.snapshot(),
                           tab.sourceFile.url.adjusted(QUrl::RemoveFilename), theme(),
                           currentSettings().fontSize);
}

void NBEMainView::refresh()
{
    const auto &workspace = m_viewModel->files().workspace();
    if (workspace)
        m_hadWorkspace = true;
    else if (m_hadWorkspace) {
        m_hadWorkspace = false;
        Q_EMIT workspaceClosed();
    }
    refreshFileTree();
    refreshFormattingToolbars();
    const auto active = m_viewModel->tabs().activeTab();

    showDetail(workspace && !m_viewModel->tabs().tabs().isEmpty());
    // Each tab gets a pane of its own, and so does each way of showing it:
    // another active tab, or a preview turned on or off, builds a new one.
    const std::optional<QUuid> activeID = active ? std::optional(active->id) : std::nullopt;
    const PaneKind kind = active ? paneKind(*active) : PaneKind::editor;
    if (activeID == m_paneTabID && kind == m_paneKind && (m_pane || !activeID)) {
        if (active)
            updatePane(*active);
        return;
    }
    const bool hadFocus = m_pane && m_pane->isAncestorOf(QApplication::focusWidget());
    // A page beside the editor shows what the pane showed until it is drawn.
    const QPixmap before =
        kind == PaneKind::htmlSplit && m_pane && m_pane->isVisible() ? m_pane->grab() : QPixmap();
    // Closing a previewing tab frees its page and the engine's resources now.
    delete m_pane;
    m_paneTabID = activeID;
    m_paneKind = kind;
    m_noEditor->setVisible(!activeID && !m_openingView);
    if (!active)
        return;
    m_pane = editorView(*active);
    if (NBEHTMLSplitView *split = htmlSplitView(); split && !before.isNull())
        split->preview()->setPictureBefore(before, split);
    m_tabAreaLayout->insertWidget(m_tabAreaLayout->indexOf(m_statusDivider), m_pane, 1);
    m_pane->setVisible(!m_openingView);
    // Keys being given to the tree stay there (arrows, Return).
    const QWidget *focused = QApplication::focusWidget();
    if (hadFocus || (isVisible() && !(focused && m_fileTree && m_fileTree->isAncestorOf(focused))))
        m_pane->setFocus();
}

void NBEMainView::showDetail(bool hasTabs)
{
    if (m_diffView)
        m_detail->setCurrentWidget(m_diffView);
    else
        m_detail->setCurrentWidget(hasTabs || m_openingView ? m_tabArea
                                                            : static_cast<QWidget *>(m_empty));
}

void NBEMainView::showOpening()
{
    delete m_openingView;
    if (const auto &opening = m_viewModel->tabs().opening()) {
        m_openingView = new NBEOpeningView(opening->start, theme(), currentSettings(), m_tabArea);
        m_tabAreaLayout->insertWidget(m_tabAreaLayout->indexOf(m_statusDivider), m_openingView, 1);
        m_openingView->show();
    }
    if (m_pane)
        m_pane->setVisible(!m_openingView);
    m_noEditor->setVisible(!m_pane && !m_openingView);
    showDetail(m_viewModel->files().workspace() && !m_viewModel->tabs().tabs().isEmpty());
}

NBEGitDiffView *NBEMainView::diffView() const
{
    return m_diffView;
}

// A file's diff, else a commit's, covers the whole detail column until
// neither is asked for.
void NBEMainView::focusEditor()
{
    if (m_pane)
        m_pane->setFocus();
}

void NBEMainView::refreshDiff()
{
    std::optional<NBEDiffSource> source;
    if (const auto &file = m_viewModel->navigation().diffTarget())
        source = NBEDiffSource::file(*file);
    else if (const auto &commit = m_viewModel->navigation().commitDiffTarget())
        source = NBEDiffSource::commit(commit->sha, commit->subject);
    if (m_diffView && source == m_diffView->source())
        return;
    delete m_diffView;
    if (source) {
        m_diffView = new NBEGitDiffView(*source,
                                        {m_viewModel->gitState(), m_viewModel->history(),
                                         m_viewModel->workingTree(), m_viewModel->navigation(),
                                         m_viewModel->files()},
                                        theme(), m_detail);
        m_detail->addWidget(m_diffView);
    }
    refresh();
}

void NBEMainView::refreshFileTree()
{
    if (!m_fileTree)
        return;
    const auto &workspace = m_viewModel->files().workspace();
    m_fileTree->setTree(workspace ? workspace->fileTree : std::nullopt);
    const auto active = m_viewModel->tabs().activeTab();
    m_fileTree->setActiveFile(active ? std::optional(active->sourceFile.url) : std::nullopt);
    m_fileTree->setGitStatus(m_viewModel->gitState().snapshot().status);
}

void NBEMainView::refreshFormattingToolbars()
{
    const auto active = m_viewModel->tabs().activeTab();
    // Markdown formatting acts on the source, so it goes with the preview;
    // HTML formatting stays beside the preview.
    const bool markdown = active && active->isMarkdown() && !active->isShowingPreview;
    const bool html = active && active->isHTML();
    m_markdownToolbar->setVisible(markdown);
    m_markdownDivider->setVisible(markdown);
    m_htmlToolbar->setVisible(html);
    m_htmlDivider->setVisible(html);
}

QWidget *NBEMainView::makePane(NBESidebarMode mode, QWidget *parent)
{
    switch (mode) {
    case NBESidebarMode::files:
        m_fileTree = new NBEFileTreeView(m_fileTreeActions, parent);
        refreshFileTree();
        return m_fileTree;
    case NBESidebarMode::outline:
        m_outline = new NBEOutlineView(m_viewModel->tabs(), m_viewModel->navigation(), parent);
        return m_outline;
    case NBESidebarMode::changes:
        return new NBEGitChangesView(
            NBEGitChangesOwners{m_viewModel->gitState(), m_viewModel->workspaceGit(),
                                m_viewModel->commitBox(), m_viewModel->workingTree(),
                                m_viewModel->navigation(), m_viewModel->files()},
            parent);
    case NBESidebarMode::history:
        return new NBEGitHistoryView(m_viewModel->gitState(), m_viewModel->history(),
                                     m_viewModel->navigation(), parent);
    }
    return nullptr;
}

void NBEMainView::showError()
{
    const auto &message = m_viewModel->errorMessage();
    if (!message) {
        if (m_alert)
            m_alert->close();
        return;
    }
    // One alert per window: a new message while it shows replaces its text.
    // A long name in it is elided; the tooltip has the whole message.
    const QString shown = NBEWidgetDesktop::elidedNames(*message);
    if (m_alert) {
        m_alert->setText(shown);
        m_alert->setToolTip(shown == *message ? QString() : *message);
        return;
    }
    m_alert = new QMessageBox(QMessageBox::Warning, tr("Error"), shown, QMessageBox::Ok, this);
    m_alert->setToolTip(shown == *message ? QString() : *message);
    m_alert->setAttribute(Qt::WA_DeleteOnClose);
    connect(m_alert, &QMessageBox::finished, this, [this] { m_viewModel->clearErrorMessage(); });
    m_alert->open();
}
