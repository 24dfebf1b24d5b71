#include "NBESourceEditor.h"
#include "NBEScrollLink.h"

#include "NBECodeTextEdit.h"
#include "NBETextEditorCoordinator.h"
#include "NBETextEditorView.h"
#include "NBEWhenFinished.h"
#include "NBEWorkspaceViewModel.h"

#include <QPromise>
#include <QTimer>
#include <QVBoxLayout>

NBESourceEditor::NBESourceEditor(NBEWorkspaceViewModel *viewModel, const QUuid &tabID,
                                 const NBETheme &theme, const NBEEditorSettings &settings,
                                 NBEScrollLink *scrollLink, QWidget *parent)
    : QWidget(parent)
    , m_viewModel(viewModel)
    , m_tabID(tabID)
    , m_theme(theme)
    , m_settings(settings)
    , m_scrollLink(scrollLink)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    makeEditor();

    // Edits and caret moves reach the buffer and the view model from the
    // editor itself: neither needs a render.
    for (auto signal :
         {&NBEWorkspaceViewModel::workspaceChanged, &NBEWorkspaceViewModel::tabsChanged,
          &NBEWorkspaceViewModel::revealTargetChanged, &NBEWorkspaceViewModel::diagnosticsChanged,
          &NBEWorkspaceViewModel::gitStateChanged})
        connect(viewModel, signal, this, &NBESourceEditor::scheduleRender);
    // Menu commands name their tab: this tab's editor applies them once.
    connect(viewModel, &NBEWorkspaceViewModel::markdownEditRequested, this,
            [this](const QUuid &tabID, NBEMarkdownAction action) {
                if (tabID == m_tabID)
                    m_editor->coordinator()->applyMarkdownAction(action);
            });
    connect(viewModel, &NBEWorkspaceViewModel::htmlEditRequested, this,
            [this](const QUuid &tabID, NBEHTMLAction action) {
                if (tabID == m_tabID)
                    m_editor->coordinator()->applyHTMLAction(action);
            });
    connect(viewModel, &NBEWorkspaceViewModel::formatRequested, this, [this](const QUuid &tabID) {
        if (tabID == m_tabID)
            m_editor->coordinator()->format();
    });
    reloadHeadIfNeeded();
}

void NBESourceEditor::makeEditor()
{
    const bool hadFocus = m_editor && m_editor->hasFocus();
    delete m_editor;
    const auto tab = m_viewModel->tab(m_tabID);
    m_session = std::make_shared<NBEEditorSession>(tab ? tab->sourceFile.buffer : nullptr);
    m_buffer = tab ? tab->sourceFile.buffer.get() : nullptr;
    m_providersKey.clear();
    m_session->setScrollLink(m_scrollLink);
    m_session->setHunkActions(hunkActions());
    // Coming back to a tab finds its caret where it was left.
    if (tab)
        m_session->setInitialCaret(tab->cursorPosition);
    connect(m_session.get(), &NBEEditorSession::cursorMoved, this,
            [viewModel = m_viewModel, id = m_tabID](int line, int column) {
                viewModel->updateCursorPosition(line, column, id);
            });
    pushState();
    m_editor = new NBETextEditorView(m_session, this);
    takeReveal();
    layout()->addWidget(m_editor);
    setFocusProxy(m_editor);
    if (hadFocus)
        m_editor->setFocus();
}

void NBESourceEditor::setTheme(const NBETheme &theme)
{
    m_theme = theme;
    scheduleRender();
}

void NBESourceEditor::setSettings(const NBEEditorSettings &settings)
{
    m_settings = settings;
    scheduleRender();
}

QString NBESourceEditor::headTaskKey() const
{
    const auto tab = m_viewModel->tab(m_tabID);
    const QString path = tab ? tab->sourceFile.url.toLocalFile() : QString();
    return path + u'|' + m_viewModel->gitHeadSHA().value_or(QString());
}

void NBESourceEditor::pushState()
{
    NBEWorkspaceViewModel *viewModel = m_viewModel;
    const std::optional<NBEOpenTab> tab = viewModel->tab(m_tabID);
    const QUrl url = tab ? tab->sourceFile.url : QUrl();
    NBEEditorSession *session = m_session.get();
    session->setLanguage(tab ? tab->language : std::nullopt);
    session->setTheme(m_theme);
    session->setSettings(m_settings);
    session->setHeadContent(m_headContent);
    session->setDiagnostics(viewModel->diagnostics(url));

    std::optional<QUrl> projectRoot;
    if (viewModel->gitRoot())
        projectRoot = *viewModel->gitRoot();
    else if (viewModel->workspace())
        projectRoot = viewModel->workspace()->rootURL;
    const std::optional<QString> languageID =
        tab && tab->language ? std::optional(tab->language->id) : std::nullopt;
    const bool served = viewModel->hasWebLSP(languageID);
    // The providers are closures: they are made again only when what they
    // close over changed.
    const QString key =
        QStringList{url.toString(), projectRoot ? projectRoot->toString() : QString(),
                    QString::number(served), QString::number(m_settings.tabSize),
                    QString::number(m_settings.useSoftTabs)}
            .join(u'|');
    if (key != m_providersKey) {
        m_providersKey = key;
        session->setProviders(providers(url, projectRoot, served));
    }
}

void NBESourceEditor::takeReveal()
{
    // A reveal of this tab's file is taken once, by the editor showing it.
    const auto &target = m_viewModel->revealTarget();
    if (!target || target->url != fileURL())
        return;
    const int line = target->line;
    m_viewModel->clearRevealTarget();
    m_session->reveal(line);
}

NBEEditorProviders NBESourceEditor::providers(const QUrl &url,
                                              const std::optional<QUrl> &projectRoot,
                                              bool served) const
{
    NBEEditorProviders providers;
    providers.fileURL = url;
    providers.projectRoot = projectRoot;
    if (!served)
        return providers;
    const QPointer<NBEWorkspaceViewModel> viewModel(m_viewModel);
    using Items = std::optional<QList<NBELSPCompletionItem>>;
    providers.completion = [viewModel, url](int line, int character) {
        if (!viewModel)
            return QtFuture::makeReadyFuture(Items());
        return viewModel->webCompletion(url, line, character);
    };
    providers.completionTriggers = [viewModel, url] {
        return viewModel ? viewModel->webCompletionTriggers(url) : QString();
    };
    providers.hover = [viewModel, url](int line, int character) {
        if (!viewModel)
            return QtFuture::makeReadyFuture(std::optional<QString>());
        return viewModel->webHover(url, line, character);
    };
    const int tabSize = m_settings.tabSize;
    const bool soft = m_settings.useSoftTabs;
    providers.formatting = [viewModel, url, tabSize, soft](const QString &text) {
        if (!viewModel)
            return QtFuture::makeReadyFuture(std::optional<QString>());
        return viewModel->webFormatting(url, text, tabSize, soft);
    };
    return providers;
}

NBEEditorHunkActions NBESourceEditor::hunkActions() const
{
    // Every hunk action exists, also outside a repository; the view model
    // reports failures itself.
    const QPointer<const NBESourceEditor> self(this);
    NBEEditorHunkActions actions;
    actions.stage = [self](const NBEDiffHunk &hunk) {
        if (self)
            self->stageHunk(hunk);
    };
    actions.unstage = [self](const NBEDiffHunk &hunk) {
        if (self)
            self->unstageHunk(hunk);
    };
    actions.isStaged = [self](const NBEDiffHunk &hunk) {
        if (!self)
            return QtFuture::makeReadyFuture(false);
        return self->m_viewModel->isHunkStaged(hunk, self->fileURL());
    };
    actions.didDiscard = [self](const NBEDiffHunk &hunk) {
        if (self)
            self->didDiscardHunk(hunk);
    };
    return actions;
}

QUrl NBESourceEditor::fileURL() const
{
    const auto tab = m_viewModel->tab(m_tabID);
    return tab ? tab->sourceFile.url : QUrl();
}

// The steps run on the view model's lifetime, not the host's: a tab closed
// meanwhile still gets its hunk staged.
QFuture<bool> NBESourceEditor::stageHunk(const NBEDiffHunk &hunk) const
{
    NBEWorkspaceViewModel *viewModel = m_viewModel;
    const QUrl url = fileURL();
    auto promise = std::make_shared<QPromise<bool>>();
    promise->start();
    const auto finish = [promise](bool staged) {
        promise->addResult(staged);
        promise->finish();
    };
    nbeWhenFinished(viewModel->flushTab(m_tabID), viewModel,
                    [viewModel, hunk, url, finish](bool written) {
                        // Git would stage the hunk against a file that still
                        // holds other lines.
                        if (!written) {
                            finish(false);
                            return;
                        }
                        nbeWhenFinished(viewModel->stageHunk(hunk, url), viewModel, finish);
                    });
    return promise->future();
}

QFuture<bool> NBESourceEditor::unstageHunk(const NBEDiffHunk &hunk) const
{
    return m_viewModel->unstageHunk(hunk, fileURL());
}

QFuture<void> NBESourceEditor::didDiscardHunk(const NBEDiffHunk &hunk) const
{
    NBEWorkspaceViewModel *viewModel = m_viewModel;
    const QUrl url = fileURL();
    auto promise = std::make_shared<QPromise<void>>();
    promise->start();
    nbeWhenFinished(viewModel->flushTab(m_tabID), viewModel, [viewModel, hunk, url, promise](bool) {
        nbeWhenFinished(viewModel->unstageHunk(hunk, url), viewModel, [viewModel, promise](bool) {
            nbeWhenFinished(viewModel->refreshGitStatus(), viewModel,
                            [promise] { promise->finish(); });
        });
    });
    return promise->future();
}

void NBESourceEditor::scheduleRender()
{
    if (m_renderPending)
        return;
    m_renderPending = true;
    // Once per turn of the event loop, never inside the editor's own
    // callbacks (an edit's binding write notifies the view model at once).
    QTimer::singleShot(0, this, [this] {
        m_renderPending = false;
        render();
    });
}

void NBESourceEditor::render()
{
    reloadHeadIfNeeded();
    // The tab shows another buffer (the preview tab moved to another file):
    // an editor of its own, as for another tab.
    const auto tab = m_viewModel->tab(m_tabID);
    if (tab && tab->sourceFile.buffer.get() != m_buffer) {
        makeEditor();
        return;
    }
    pushState();
    takeReveal();
}

void NBESourceEditor::reloadHeadIfNeeded()
{
    const QString key = headTaskKey();
    if (key == m_headKey)
        return;
    m_headKey = key;
    const auto tab = m_viewModel->tab(m_tabID);
    if (!tab)
        return;
    const quint64 request = ++m_headRequest;
    nbeWhenFinished(m_viewModel->headContent(tab->sourceFile.url), this,
                    [this, request](const std::optional<QString> &head) {
                        // A newer request (another file or HEAD) supersedes this one.
                        if (request != m_headRequest)
                            return;
                        m_headContent = head;
                        scheduleRender();
                    });
}
