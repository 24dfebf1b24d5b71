#include "NBESourceEditor.h"

#include "NBECodeTextEdit.h"
#include "NBEEditorFormatting.h"
#include "NBETextEditorCoordinator.h"
#include "NBETextEditorView.h"
#include "NBEWhenFinished.h"
#include "NBEWorkspaceFiles.h"
#include "NBEWorkspaceLanguageServers.h"
#include "NBEWorkspaceNavigation.h"
#include "NBEWorkspaceSaving.h"
#include "NBEWorkspaceTabs.h"
#include "NBEWorkspaceViewModel.h"
#include "NBEWorkspaceWorkingTree.h"

#include <QFileInfo>
#include <QPromise>
#include <QVBoxLayout>

NBESourceEditorOwners NBESourceEditorOwners::of(NBEWorkspaceViewModel *viewModel)
{
    return {viewModel->tabs(),        viewModel->saving(), viewModel->navigation(),
            viewModel->workingTree(), viewModel->files(),  viewModel->languageServers(),
            viewModel->gitState()};
}

NBESourceEditor::NBESourceEditor(const NBESourceEditorOwners &owners, const QUuid &tabID,
                                 const NBETheme &theme, NBEScrollLink *scrollLink, QWidget *parent)
    : QWidget(parent)
    , m_owners(owners)
    , m_tabID(tabID)
    , m_theme(theme)
    , m_scrollLink(scrollLink)
    , m_document(owners.tabs.document(tabID))
{
    if (!m_document)
        m_document = std::make_shared<NBEEditorDocument>();
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    makeEditor();

    NBEEditorDocument *document = m_document.get();
    // The preview tab moved to another file: an editor of its own, as for
    // another tab, before the old one hears of the new file.
    connect(document, &NBEEditorDocument::bufferChanged, this, &NBESourceEditor::makeEditor);
    connect(document, &NBEEditorDocument::fileURLChanged, this, [this] {
        updateProviders();
        takeReveal();
    });
    // What the providers close over: whether a server serves the language,
    // where the project lies, and how formatting indents.
    connect(document, &NBEEditorDocument::languageChanged, this, &NBESourceEditor::updateProviders);
    connect(document, &NBEEditorDocument::repositoryRootChanged, this,
            &NBESourceEditor::updateProviders);
    connect(document, &NBEEditorDocument::settingsChanged, this, &NBESourceEditor::updateProviders);
    connect(&owners.navigation, &NBEWorkspaceNavigation::revealTargetChanged, this,
            &NBESourceEditor::takeReveal);
    // Menu commands name their tab: this tab's editor applies them once.
    connect(&owners.tabs, &NBEWorkspaceTabs::markdownEditRequested, this,
            [this](const QUuid &tabID, NBEMarkdownAction action) {
                if (tabID == m_tabID)
                    m_editor->coordinator()->formatting()->applyMarkdownAction(action);
            });
    connect(&owners.tabs, &NBEWorkspaceTabs::htmlEditRequested, this,
            [this](const QUuid &tabID, NBEHTMLAction action) {
                if (tabID == m_tabID)
                    m_editor->coordinator()->formatting()->applyHTMLAction(action);
            });
    connect(&owners.tabs, &NBEWorkspaceTabs::formatRequested, this, [this](const QUuid &tabID) {
        if (tabID == m_tabID)
            m_editor->coordinator()->formatting()->format();
    });
}

void NBESourceEditor::makeEditor()
{
    const bool hadFocus = m_editor && m_editor->hasFocus();
    delete m_editor;
    m_session = std::make_shared<NBEEditorSession>(m_document);
    m_providersKey.clear();
    m_session->setTheme(m_theme);
    m_session->setScrollLink(m_scrollLink);
    m_session->setHunkActions(hunkActions());
    // Coming back to a tab finds its caret where it was left.
    m_session->setInitialCaret(m_document->caret());
    connect(m_session.get(), &NBEEditorSession::cursorMoved, this,
            [tabs = &m_owners.tabs, id = m_tabID](int line, int column) {
                tabs->updateCursorPosition(line, column, id);
            });
    updateProviders();
    m_editor = new NBETextEditorView(m_session, this);
    // Files dropped on the text open in tabs of their own; a folder has none.
    connect(m_editor->textView(), &NBECodeTextEdit::filesDropped, this,
            [navigation = &m_owners.navigation](const QList<QUrl> &files) {
                for (const QUrl &file : files) {
                    if (!QFileInfo(file.toLocalFile()).isDir())
                        navigation->openFile(file, false);
                }
            });
    takeReveal();
    layout()->addWidget(m_editor);
    setFocusProxy(m_editor);
    if (hadFocus)
        m_editor->setFocus();
}

void NBESourceEditor::setTheme(const NBETheme &theme)
{
    m_theme = theme;
    m_session->setTheme(theme);
}

void NBESourceEditor::updateProviders()
{
    const QUrl url = fileURL();
    std::optional<QUrl> projectRoot = m_document->repositoryRoot();
    if (!projectRoot && m_owners.files.workspace())
        projectRoot = m_owners.files.workspace()->rootURL;
    const bool served = m_owners.languageServers.hasWebLSP(m_document->languageID());
    const NBEEditorSettings &settings = m_document->settings();
    const QString key =
        QStringList{url.toString(), projectRoot ? projectRoot->toString() : QString(),
                    QString::number(served), QString::number(settings.tabSize),
                    QString::number(settings.useSoftTabs)}
            .join(u'|');
    if (key == m_providersKey)
        return;
    m_providersKey = key;
    m_session->setProviders(providers(url, projectRoot, served));
}

void NBESourceEditor::takeReveal()
{
    // A reveal of this tab's file is taken once, by the editor showing it.
    NBEWorkspaceNavigation &navigation = m_owners.navigation;
    const auto &target = navigation.revealTarget();
    if (!target || target->url != fileURL())
        return;
    const NBERevealTarget taken = *target;
    navigation.clearRevealTarget();
    m_session->reveal(taken.line, taken.range);
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
    const QPointer<NBEWorkspaceLanguageServers> servers(&m_owners.languageServers);
    using Items = std::optional<QList<NBELSPCompletionItem>>;
    providers.completion = [servers, url](int line, int character) {
        if (!servers)
            return QtFuture::makeReadyFuture(Items());
        return servers->completion(url, line, character);
    };
    providers.completionTriggers = [servers, url] {
        return servers ? servers->completionTriggers(url) : QString();
    };
    providers.hover = [servers, url](int line, int character) {
        if (!servers)
            return QtFuture::makeReadyFuture(std::optional<QString>());
        return servers->hover(url, line, character);
    };
    const int tabSize = m_document->settings().tabSize;
    const bool soft = m_document->settings().useSoftTabs;
    providers.formatting = [servers, url, tabSize, soft](const QString &text) {
        if (!servers)
            return QtFuture::makeReadyFuture(std::optional<QString>());
        return servers->formatting(url, text, tabSize, soft);
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
        return self->m_owners.workingTree.isHunkStaged(hunk, self->fileURL());
    };
    actions.didDiscard = [self](const NBEDiffHunk &hunk) {
        if (self)
            self->didDiscardHunk(hunk);
    };
    return actions;
}

// The steps run on the owners' lifetime, not the host's: a tab closed
// meanwhile still gets its hunk staged.
QFuture<bool> NBESourceEditor::stageHunk(const NBEDiffHunk &hunk) const
{
    NBEWorkspaceWorkingTree *workingTree = &m_owners.workingTree;
    const QUrl url = fileURL();
    auto promise = std::make_shared<QPromise<bool>>();
    promise->start();
    const auto finish = [promise](bool staged) {
        promise->addResult(staged);
        promise->finish();
    };
    nbeWhenFinished(m_owners.saving.flushTab(m_tabID), workingTree,
                    [workingTree, hunk, url, finish](bool written) {
                        // Git would stage the hunk against a file that still
                        // holds other lines.
                        if (!written) {
                            finish(false);
                            return;
                        }
                        nbeWhenFinished(workingTree->stageHunk(hunk, url), workingTree, finish);
                    });
    return promise->future();
}

QFuture<bool> NBESourceEditor::unstageHunk(const NBEDiffHunk &hunk) const
{
    return m_owners.workingTree.unstageHunk(hunk, fileURL());
}

QFuture<void> NBESourceEditor::didDiscardHunk(const NBEDiffHunk &hunk) const
{
    NBEWorkspaceWorkingTree *workingTree = &m_owners.workingTree;
    const QUrl url = fileURL();
    auto promise = std::make_shared<QPromise<void>>();
    promise->start();
    nbeWhenFinished(m_owners.saving.flushTab(m_tabID), workingTree,
                    [workingTree, git = &m_owners.git, hunk, url, promise](bool) {
                        nbeWhenFinished(workingTree->unstageHunk(hunk, url), workingTree,
                                        [workingTree, git, promise](bool) {
                                            nbeWhenFinished(git->refresh(), workingTree,
                                                            [promise] { promise->finish(); });
                                        });
                    });
    return promise->future();
}

void NBESourceEditor::render()
{
    takeReveal();
}
