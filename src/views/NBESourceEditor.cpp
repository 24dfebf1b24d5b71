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
    const NBETextEditorInputs in = inputs();
    m_buffer = in.buffer.get();
    m_editor = new NBETextEditorView(in, this);
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

NBETextEditorInputs NBESourceEditor::inputs() const
{
    NBEWorkspaceViewModel *viewModel = m_viewModel;
    const QUuid id = m_tabID;
    const std::optional<NBEOpenTab> tab = viewModel->tab(id);
    const QUrl url = tab ? tab->sourceFile.url : QUrl();

    NBETextEditorInputs in;
    if (tab)
        in.buffer = tab->sourceFile.buffer;
    in.language = tab ? tab->language : std::nullopt;
    in.theme = m_theme;
    in.settings = m_settings;
    in.onCursorChange = [viewModel, id](int line, int column) {
        viewModel->updateCursorPosition(line, column, id);
    };
    // Reading the reveal request of another file answers nothing; writing
    // anything clears the request.
    in.revealLine = {[viewModel, url]() -> std::optional<int> {
                         const auto &target = viewModel->revealTarget();
                         if (target && target->url == url)
                             return target->line;
                         return std::nullopt;
                     },
                     [viewModel](const std::optional<int> &) { viewModel->clearRevealTarget(); }};
    in.headContent = m_headContent;
    in.scrollLink = m_scrollLink;
    in.fileURL = url;
    if (viewModel->gitRoot())
        in.projectRoot = *viewModel->gitRoot();
    else if (viewModel->workspace())
        in.projectRoot = viewModel->workspace()->rootURL;
    in.diagnostics = viewModel->diagnostics(url);
    const std::optional<QString> languageID =
        tab && tab->language ? std::optional(tab->language->id) : std::nullopt;
    if (viewModel->hasWebLSP(languageID)) {
        using Items = std::optional<QList<NBELSPCompletionItem>>;
        in.lspCompletion = [viewModel = QPointer(viewModel), url](int line, int character) {
            if (!viewModel)
                return QtFuture::makeReadyFuture(Items());
            return viewModel->webCompletion(url, line, character);
        };
        in.lspCompletionTriggers = [viewModel = QPointer(viewModel), url] {
            return viewModel ? viewModel->webCompletionTriggers(url) : QString();
        };
        in.lspHover = [viewModel = QPointer(viewModel), url](int line, int character) {
            if (!viewModel)
                return QtFuture::makeReadyFuture(std::optional<QString>());
            return viewModel->webHover(url, line, character);
        };
        const int tabSize = m_settings.tabSize;
        const bool soft = m_settings.useSoftTabs;
        in.lspFormatting = [viewModel = QPointer(viewModel), url, tabSize,
                            soft](const QString &text) {
            if (!viewModel)
                return QtFuture::makeReadyFuture(std::optional<QString>());
            return viewModel->webFormatting(url, text, tabSize, soft);
        };
    }
    // Every hunk action exists, also outside a repository; the view model
    // reports failures itself.
    const QPointer<const NBESourceEditor> self(this);
    in.onStageHunk = [self](const NBEDiffHunk &hunk) {
        if (self)
            self->stageHunk(hunk);
    };
    in.onUnstageHunk = [self](const NBEDiffHunk &hunk) {
        if (self)
            self->unstageHunk(hunk);
    };
    in.isHunkStaged = [self](const NBEDiffHunk &hunk) {
        if (!self)
            return QtFuture::makeReadyFuture(false);
        return self->m_viewModel->isHunkStaged(hunk, self->fileURL());
    };
    in.onDidDiscardHunk = [self](const NBEDiffHunk &hunk) {
        if (self)
            self->didDiscardHunk(hunk);
    };
    return in;
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
    m_editor->applyInputs(inputs());
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
