// Routing documents to the Swift and web language sessions, collecting their
// diagnostics, and the web providers the editor and saving use.
#include "NBEWorkspaceViewModel.h"

#include "NBELSPSession.h"
#include "NBELanguageRegistry.h"
#include "NBELog.h"
#include "NBEWebLSPServers.h"
#include "NBEWebLSPSession.h"
#include "NBEWhenFinished.h"

namespace {

// A session's diagnostics go to the model while both exist; the connection
// ends with either.
template <typename Session>
void forwardDiagnostics(Session *session, NBEWorkspaceViewModel *model,
                        std::function<void(const QUrl &, const QList<NBELSPDiagnostic> &)> store)
{
    QObject::connect(session, &Session::diagnosticsPublished, model, std::move(store));
}

} // namespace

void NBEWorkspaceViewModel::startLSPSession(const QUrl &rootURL)
{
    shutdownLSP();
    m_webLSPServes.clear();
    // Neither session starts a server here: each starts its own with the
    // first document of its language.
    m_lspSession = std::make_shared<NBELSPSession>(rootURL, m_environment.swiftServerOverride);
    forwardDiagnostics(m_lspSession.get(), this,
                       [this](const QUrl &url, const auto &list) { setDiagnostics(url, list); });
    m_webLSP = std::make_shared<NBEWebLSPSession>(rootURL);
    m_webLSP->launchFor = [lookup = m_webServerLaunch](const QString &language) {
        return lookup(language);
    };
    forwardDiagnostics(m_webLSP.get(), this,
                       [this](const QUrl &url, const auto &list) { setDiagnostics(url, list); });
    connect(m_lspSession.get(), &NBELSPSession::serverExited, this,
            &NBEWorkspaceViewModel::noteCheckingStopped);
    connect(m_webLSP.get(), &NBEWebLSPSession::serverExited, this,
            &NBEWorkspaceViewModel::noteCheckingStopped);
}

void NBEWorkspaceViewModel::noteCheckingStopped(const QString &languageId)
{
    const auto language = NBELanguageRegistry::languageWithID(languageId);
    const QString name = language ? language->name : languageId;
    if (m_checkingStopped.contains(name))
        return;
    NBELog::lsp().error("Checking stopped: %s", name);
    m_checkingStopped.append(name);
    Q_EMIT checkingStoppedChanged();
}

std::optional<QString> NBEWorkspaceViewModel::checkingStoppedNotice() const
{
    if (m_checkingStopped.isEmpty())
        return std::nullopt;
    if (m_checkingStopped.size() == 1)
        return QStringLiteral("%1 checking stopped: its language server quit.")
            .arg(m_checkingStopped.first());
    const QString names =
        m_checkingStopped.mid(0, m_checkingStopped.size() - 1).join(QStringLiteral(", ")) +
        QStringLiteral(" and ") + m_checkingStopped.last();
    return QStringLiteral("%1 checking stopped: their language servers quit.").arg(names);
}

void NBEWorkspaceViewModel::shutdownLSP()
{
    if (m_lspSession)
        m_lspSession->disconnect(this);
    if (m_webLSP)
        m_webLSP->disconnect(this);
    m_diagnostics.clear();
    Q_EMIT diagnosticsChanged();
    // A folder opened again starts its servers afresh.
    if (!m_checkingStopped.isEmpty()) {
        m_checkingStopped.clear();
        Q_EMIT checkingStoppedChanged();
    }
    // Each shutdown holds its session until it has finished; the model
    // doesn't wait for either.
    if (auto session = std::exchange(m_lspSession, nullptr))
        session->shutdown().then([session] {});
    if (auto session = std::exchange(m_webLSP, nullptr))
        session->shutdown().then([session] {});
}

bool NBEWorkspaceViewModel::hasWebLSP(const std::optional<QString> &languageID) const
{
    if (!languageID || !NBEWebLSPServers::serverLanguageId(*languageID))
        return false;
    return m_webServerLaunch(*languageID).has_value();
}

QFuture<void> NBEWorkspaceViewModel::lspDidOpen(const QUrl &url,
                                                const std::optional<NBELanguage> &language,
                                                const QString &content)
{
    if (!language)
        return QtFuture::makeReadyFuture();
    if (language->id == QLatin1String("swift")) {
        if (m_lspSession)
            m_lspSession->didOpen(url, language->id, content);
    } else if (hasWebLSP(language->id) && m_webLSP) {
        m_webLSP->didOpen(url, language->id, content);
    }
    return QtFuture::makeReadyFuture();
}

bool NBEWorkspaceViewModel::servedByWebLSP(const std::optional<QString> &languageID) const
{
    if (!languageID)
        return false;
    const auto known = m_webLSPServes.constFind(*languageID);
    if (known != m_webLSPServes.cend())
        return *known;
    const bool serves = hasWebLSP(languageID);
    m_webLSPServes.insert(*languageID, serves);
    return serves;
}

void NBEWorkspaceViewModel::lspDidChange(const QUrl &url, const std::optional<QString> &languageID,
                                         const NBETextChange &change,
                                         const std::shared_ptr<NBETextBuffer> &buffer)
{
    // The whole text is read only if a server syncs whole texts, and then
    // only when it is sent.
    const std::weak_ptr<NBETextBuffer> weak = buffer;
    const auto wholeText = [weak] {
        const std::shared_ptr<NBETextBuffer> live = weak.lock();
        return live ? live->snapshot() : QString();
    };
    if (languageID == QLatin1String("swift")) {
        if (m_lspSession)
            m_lspSession->didChange(url, change, wholeText);
    } else if (m_webLSP) {
        m_webLSP->didChange(url, change, wholeText);
    }
}

void NBEWorkspaceViewModel::notifyClosed(const QList<QUrl> &urls)
{
    // Both sessions hear of every closed document, the Swift one first; each
    // ignores what it never opened.
    for (const QUrl &url : urls) {
        if (m_lspSession)
            m_lspSession->didClose(url);
        if (m_webLSP)
            m_webLSP->didClose(url);
    }
}

QString NBEWorkspaceViewModel::webCompletionTriggers(const QUrl &url) const
{
    return m_webLSP ? m_webLSP->completionTriggers(url) : QString();
}

QFuture<std::optional<QList<NBELSPCompletionItem>>>
NBEWorkspaceViewModel::webCompletion(const QUrl &url, int line, int character)
{
    if (!m_webLSP)
        return QtFuture::makeReadyFuture(std::optional<QList<NBELSPCompletionItem>>());
    return m_webLSP->completion(url, line, character);
}

QFuture<std::optional<QString>> NBEWorkspaceViewModel::webHover(const QUrl &url, int line,
                                                                int character)
{
    if (!m_webLSP)
        return QtFuture::makeReadyFuture(std::optional<QString>());
    return m_webLSP->hover(url, line, character);
}

QFuture<std::optional<QString>> NBEWorkspaceViewModel::webFormatting(const QUrl &url,
                                                                     const QString &text,
                                                                     int tabSize, bool insertSpaces)
{
    if (!m_webLSP)
        return QtFuture::makeReadyFuture(std::optional<QString>());
    return m_webLSP->formatting(url, text, tabSize, insertSpaces);
}

void NBEWorkspaceViewModel::jumpToDefinition()
{
    const std::optional<NBEOpenTab> tab = activeTab();
    if (!tab || !tab->language || !hasWebLSP(tab->language->id) || !m_webLSP)
        return;
    const int line = std::max(0, tab->cursorPosition.line - 1);
    const int character = std::max(0, tab->cursorPosition.column - 1);
    nbeWhenFinished(m_webLSP->definition(tab->sourceFile.url, line, character), this,
                    [this](const std::optional<NBELSPLocation> &location) {
                        if (location)
                            revealLine(location->url, int(location->line) + 1);
                    });
}
