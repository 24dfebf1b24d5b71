// The language servers of the open folder: their diagnostics land in the
// store, and the web providers serve the editor and saving.
#include "NBEWorkspaceViewModel.h"

#include "NBEEditorDocument.h"
#include "NBEWhenFinished.h"

void NBEWorkspaceViewModel::shutdownLSP()
{
    m_diagnostics->clear();
    m_languageServers->shutdown();
}

void NBEWorkspaceViewModel::jumpToDefinition()
{
    const std::optional<NBEOpenTab> tab = m_tabs->activeTab();
    if (!tab || !tab->language || !m_languageServers->hasWebLSP(tab->language->id))
        return;
    const std::shared_ptr<NBEEditorDocument> document = m_tabs->document(tab->id);
    if (!document)
        return;
    const NBECursorPosition caret = document->caret();
    const int line = std::max(0, caret.line - 1);
    const int character = std::max(0, caret.column - 1);
    nbeWhenFinished(m_languageServers->definition(tab->sourceFile.url, line, character), this,
                    [this](const std::optional<NBELSPLocation> &location) {
                        if (location)
                            m_navigation->revealLine(location->url, int(location->line) + 1);
                    });
}
