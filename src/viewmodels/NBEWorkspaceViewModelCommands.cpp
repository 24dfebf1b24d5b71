// Menu commands: predicates that enable them, actions that carry them out
// and the one-shot requests through which they reach the editor.

#include "NBEWorkspaceViewModel.h"

#include "NBEFormatter.h"

namespace {

std::optional<QString> languageIDOf(const std::optional<NBEOpenTab> &tab)
{
    if (!tab || !tab->language)
        return std::nullopt;
    return tab->language->id;
}

} // namespace

void NBEWorkspaceViewModel::setPendingMarkdownCommand(
    const std::optional<NBEMarkdownEditCommand> &command)
{
    if (m_pendingMarkdownCommand == command)
        return;
    m_pendingMarkdownCommand = command;
    Q_EMIT pendingMarkdownCommandChanged();
}

void NBEWorkspaceViewModel::setPendingHTMLCommand(const std::optional<NBEHTMLEditCommand> &command)
{
    if (m_pendingHTMLCommand == command)
        return;
    m_pendingHTMLCommand = command;
    Q_EMIT pendingHTMLCommandChanged();
}

void NBEWorkspaceViewModel::setPendingFormat(const std::optional<QUuid> &request)
{
    if (m_pendingFormat == request)
        return;
    m_pendingFormat = request;
    Q_EMIT pendingFormatChanged();
}

bool NBEWorkspaceViewModel::isEditingMarkdown() const
{
    const auto tab = activeTab();
    return tab && tab->isMarkdown() && !tab->isShowingPreview;
}

bool NBEWorkspaceViewModel::canPreviewActiveTab() const
{
    const auto tab = activeTab();
    return tab && tab->isPreviewable();
}

bool NBEWorkspaceViewModel::canFormatActiveTab() const
{
    const auto languageID = languageIDOf(activeTab());
    return languageID && NBEFormatter::canFormat(languageID);
}

void NBEWorkspaceViewModel::requestMarkdownEdit(NBEMarkdownAction action)
{
    if (isEditingMarkdown())
        setPendingMarkdownCommand(NBEMarkdownEditCommand(action));
}

void NBEWorkspaceViewModel::requestHTMLEdit(NBEHTMLAction action)
{
    // An HTML tab showing its preview still edits its source beside it.
    const auto tab = activeTab();
    if (tab && tab->isHTML())
        setPendingHTMLCommand(NBEHTMLEditCommand(action));
}

void NBEWorkspaceViewModel::requestFormatDocument()
{
    if (canFormatActiveTab())
        setPendingFormat(QUuid::createUuid());
}

void NBEWorkspaceViewModel::toggleActivePreview()
{
    const auto tab = activeTab();
    if (!tab || !tab->isPreviewable())
        return;
    NBEWorkspace workspace = *m_workspace;
    for (NBEOpenTab &each : workspace.openTabs) {
        if (each.id == tab->id) {
            each.isShowingPreview = !each.isShowingPreview;
            break;
        }
    }
    setWorkspace(workspace);
}

void NBEWorkspaceViewModel::saveActiveFile()
{
    if (m_workspace && m_workspace->activeTabID)
        saveTab(*m_workspace->activeTabID, true);
}

void NBEWorkspaceViewModel::closeActiveTab()
{
    if (m_workspace && m_workspace->activeTabID)
        closeTab(*m_workspace->activeTabID);
}
