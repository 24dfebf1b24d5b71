#include "NBEWorkspaceLanguageServers.h"

#include "NBELSPSession.h"
#include "NBELanguageRegistry.h"
#include "NBELog.h"

NBEWorkspaceLanguageServers::NBEWorkspaceLanguageServers(Launch launch,
                                                         std::optional<QString> swiftServerOverride,
                                                         QObject *parent)
    : QObject(parent)
    , m_launch(std::move(launch))
    , m_swiftServerOverride(std::move(swiftServerOverride))
{}

void NBEWorkspaceLanguageServers::start(const QUrl &rootURL)
{
    shutdown();
    m_webLSPServes.clear();
    m_lspSession = std::make_shared<NBELSPSession>(rootURL, m_swiftServerOverride);
    m_webLSP = std::make_shared<NBEWebLSPSession>(rootURL);
    m_webLSP->launchFor = [launch = m_launch](const QString &language) { return launch(language); };
    // A session's reports reach here while both exist; the connections end
    // with either.
    connect(m_lspSession.get(), &NBELSPSession::diagnosticsPublished, this,
            &NBEWorkspaceLanguageServers::diagnosticsPublished);
    connect(m_webLSP.get(), &NBEWebLSPSession::diagnosticsPublished, this,
            &NBEWorkspaceLanguageServers::diagnosticsPublished);
    connect(m_lspSession.get(), &NBELSPSession::serverExited, this,
            &NBEWorkspaceLanguageServers::noteCheckingStopped);
    connect(m_webLSP.get(), &NBEWebLSPSession::serverExited, this,
            &NBEWorkspaceLanguageServers::noteCheckingStopped);
}

void NBEWorkspaceLanguageServers::shutdown()
{
    if (m_lspSession)
        m_lspSession->disconnect(this);
    if (m_webLSP)
        m_webLSP->disconnect(this);
    // A folder opened again starts its servers afresh.
    if (!m_checkingStopped.isEmpty()) {
        m_checkingStopped.clear();
        Q_EMIT checkingStoppedChanged();
    }
    // Each shutdown holds its session until it has finished; nobody waits
    // for either.
    if (auto session = std::exchange(m_lspSession, nullptr))
        session->shutdown().then([session] {});
    if (auto session = std::exchange(m_webLSP, nullptr))
        session->shutdown().then([session] {});
}

bool NBEWorkspaceLanguageServers::hasWebLSP(const std::optional<QString> &languageID) const
{
    if (!languageID || !NBEWebLSPServers::serverLanguageId(*languageID))
        return false;
    const auto known = m_webLSPServes.constFind(*languageID);
    if (known != m_webLSPServes.cend())
        return *known;
    const bool serves = m_launch(*languageID).has_value();
    m_webLSPServes.insert(*languageID, serves);
    return serves;
}

void NBEWorkspaceLanguageServers::didOpen(const QUrl &url,
                                          const std::optional<NBELanguage> &language,
                                          const QString &content, quint64 revision)
{
    if (!language)
        return;
    if (language->id == QLatin1String("swift")) {
        if (m_lspSession)
            m_lspSession->didOpen(url, language->id, content, qint64(revision));
    } else if (m_webLSP && hasWebLSP(language->id)) {
        m_webLSP->didOpen(url, language->id, content, qint64(revision));
    }
}

void NBEWorkspaceLanguageServers::didChange(const QUrl &url,
                                            const std::optional<QString> &languageID,
                                            const NBETextChange &change,
                                            const std::shared_ptr<NBETextBuffer> &buffer)
{
    const std::weak_ptr<NBETextBuffer> weak = buffer;
    const auto wholeText = [weak]() -> std::optional<NBELSPDocumentSync::Text> {
        const std::shared_ptr<NBETextBuffer> live = weak.lock();
        if (!live)
            return std::nullopt;
        return NBELSPDocumentSync::Text{live->snapshot(), qint64(live->revision())};
    };
    const auto version = qint64(buffer->revision());
    if (languageID == QLatin1String("swift")) {
        if (m_lspSession)
            m_lspSession->didChange(url, change, version, wholeText);
    } else if (m_webLSP && hasWebLSP(languageID)) {
        m_webLSP->didChange(url, change, version, wholeText);
    }
}

void NBEWorkspaceLanguageServers::didClose(const QList<QUrl> &urls)
{
    for (const QUrl &url : urls) {
        if (m_lspSession)
            m_lspSession->didClose(url);
        if (m_webLSP)
            m_webLSP->didClose(url);
    }
}

QString NBEWorkspaceLanguageServers::completionTriggers(const QUrl &url) const
{
    return m_webLSP ? m_webLSP->completionTriggers(url) : QString();
}

QFuture<std::optional<QList<NBELSPCompletionItem>>>
NBEWorkspaceLanguageServers::completion(const QUrl &url, int line, int character)
{
    if (!m_webLSP)
        return QtFuture::makeReadyFuture(std::optional<QList<NBELSPCompletionItem>>());
    return m_webLSP->completion(url, line, character);
}

QFuture<std::optional<QString>> NBEWorkspaceLanguageServers::hover(const QUrl &url, int line,
                                                                   int character)
{
    if (!m_webLSP)
        return QtFuture::makeReadyFuture(std::optional<QString>());
    return m_webLSP->hover(url, line, character);
}

QFuture<std::optional<QString>> NBEWorkspaceLanguageServers::formatting(const QUrl &url,
                                                                        const QString &text,
                                                                        int tabSize,
                                                                        bool insertSpaces)
{
    if (!m_webLSP)
        return QtFuture::makeReadyFuture(std::optional<QString>());
    return m_webLSP->formatting(url, text, tabSize, insertSpaces);
}

QFuture<std::optional<NBELSPLocation>>
NBEWorkspaceLanguageServers::definition(const QUrl &url, int line, int character)
{
    if (!m_webLSP)
        return QtFuture::makeReadyFuture(std::optional<NBELSPLocation>());
    return m_webLSP->definition(url, line, character);
}

void NBEWorkspaceLanguageServers::noteCheckingStopped(const QString &languageID)
{
    const auto language = NBELanguageRegistry::languageWithID(languageID);
    const QString name = language ? language->name : languageID;
    if (m_checkingStopped.contains(name))
        return;
    NBELog::lsp().error("Checking stopped: %s", name);
    m_checkingStopped.append(name);
    Q_EMIT checkingStoppedChanged();
}

std::optional<QString> NBEWorkspaceLanguageServers::checkingStoppedNotice() const
{
    if (m_checkingStopped.isEmpty())
        return std::nullopt;
    if (m_checkingStopped.size() == 1)
        return tr("%1 checking stopped: its language server quit.").arg(m_checkingStopped.first());
    const QString names =
        m_checkingStopped.mid(0, m_checkingStopped.size() - 1).join(QStringLiteral(", ")) +
        tr(" and ") + m_checkingStopped.last();
    return tr("%1 checking stopped: their language servers quit.").arg(names);
}
