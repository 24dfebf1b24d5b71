// Menu commands: predicates that enable them, actions that carry them out
// and the one-shot requests through which they reach the editor.

#include "NBEWorkspaceViewModel.h"

#include "NBEFormatter.h"
#include "NBELog.h"
#include "NBEMarkdownHTMLRenderer.h"
#include "NBEWhenFinished.h"

#include <QFileInfo>
#include <QPromise>

namespace {

std::optional<QString> languageIDOf(const std::optional<NBEOpenTab> &tab)
{
    if (!tab || !tab->language)
        return std::nullopt;
    return tab->language->id;
}

} // namespace

bool NBEWorkspaceViewModel::isEditingMarkdown() const
{
    const auto tab = m_tabs->activeTab();
    return tab && tab->isMarkdown() && !tab->isShowingPreview;
}

bool NBEWorkspaceViewModel::canPreviewActiveTab() const
{
    const auto tab = m_tabs->activeTab();
    return tab && tab->isPreviewable();
}

bool NBEWorkspaceViewModel::canFormatActiveTab() const
{
    const auto languageID = languageIDOf(m_tabs->activeTab());
    return languageID && NBEFormatter::canFormat(languageID);
}

void NBEWorkspaceViewModel::requestMarkdownEdit(NBEMarkdownAction action)
{
    if (isEditingMarkdown())
        Q_EMIT m_tabs->markdownEditRequested(m_tabs->activeTab()->id, action);
}

void NBEWorkspaceViewModel::requestHTMLEdit(NBEHTMLAction action)
{
    // An HTML tab showing its preview still edits its source beside it.
    const auto tab = m_tabs->activeTab();
    if (tab && tab->isHTML())
        Q_EMIT m_tabs->htmlEditRequested(tab->id, action);
}

void NBEWorkspaceViewModel::requestFormatDocument()
{
    if (canFormatActiveTab())
        Q_EMIT m_tabs->formatRequested(m_tabs->activeTab()->id);
}

void NBEWorkspaceViewModel::toggleActivePreview()
{
    const auto tab = m_tabs->activeTab();
    if (!tab || !tab->isPreviewable())
        return;
    m_tabs->togglePreview(tab->id);
}

QFuture<void> NBEWorkspaceViewModel::exportActiveFileAsHTML()
{
    const auto tab = m_tabs->activeTab();
    if (!tab || !tab->isMarkdown())
        return QtFuture::makeReadyFuture();
    const QFileInfo source(tab->sourceFile.url.toLocalFile());
    const QString page =
        NBEMarkdownHTMLRenderer::render(tab->sourceFile.content(), source.fileName());
    auto promise = std::make_shared<QPromise<void>>();
    promise->start();
    QFuture<void> done = promise->future();
    nbeWhenFinished(m_environment.desktop->chooseExportLocation(
                        tr("Export the rendered Markdown as HTML"),
                        source.completeBaseName() + QStringLiteral(".html"), tr("Export"),
                        QUrl::fromLocalFile(source.absolutePath())),
                    this, [this, page, promise](const std::optional<QUrl> &url) {
                        if (!url || !url->isLocalFile()) {
                            promise->finish();
                            return;
                        }
                        nbeWhenFinished(m_fileService.writeFile(page, *url), this,
                                        [this, url, promise](const NBEResult<void> &written) {
                                            if (written) {
                                                NBELog::fileIO().info("Exported HTML: %s",
                                                                      url->fileName());
                                            } else {
                                                setErrorMessage(tr("Failed to export HTML: ") +
                                                                written.error().description);
                                                NBELog::fileIO().error("Failed to export HTML: %s",
                                                                       written.error().description);
                                            }
                                            promise->finish();
                                        });
                    });
    return done;
}

void NBEWorkspaceViewModel::saveActiveFile()
{
    if (const std::optional<QUuid> &active = m_tabs->activeTabID())
        m_saving->saveTab(*active, true);
}

void NBEWorkspaceViewModel::closeActiveTab()
{
    if (const std::optional<QUuid> &active = m_tabs->activeTabID())
        m_tabs->closeTab(*active);
}
