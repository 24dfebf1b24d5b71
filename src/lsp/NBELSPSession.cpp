#include "NBELSPSession.h"

#include "NBELSPServerConnection.h"
#include "NBELog.h"

#include <QPromise>

NBELSPSession::NBELSPSession(const QUrl &rootURL, std::optional<QString> toolchainOverride,
                             QObject *parent)
    : QObject(parent)
    , m_rootURL(rootURL)
    , m_toolchainOverride(std::move(toolchainOverride))
    , m_pendingTimer(new QTimer(this))
{
    m_pendingTimer->setSingleShot(true);
    connect(m_pendingTimer, &QTimer::timeout, this, [this] {
        if (m_shutDown || m_unavailable || !m_server)
            return;
        for (const QUrl &url : m_documents.pending())
            m_server->sendPending(m_documents, url);
    });
}

NBELSPSession::~NBELSPSession()
{
    if (!m_shutDown)
        shutdown();
}

bool NBELSPSession::ensureStarted()
{
    if (m_unavailable)
        return false;
    if (m_server)
        return true;
    const QString name =
        m_rootURL.fileName().isEmpty() ? m_rootURL.toLocalFile() : m_rootURL.fileName();
    // A few file checks; no process runs here.
    const auto resolution = NBELSPToolchain::resolve(m_rootURL.toLocalFile(), m_toolchainOverride,
                                                     toolchainFolders, searchPath);
    if (!resolution) {
        m_unavailable = true;
        NBELog::lsp().info("No sourcekit-lsp toolchain resolved; LSP off for %s", name);
        return false;
    }
    m_server = new NBELSPServerConnection(this);
    connect(m_server, &NBELSPServerConnection::diagnosticsPublished, this,
            [this](const QUrl &url, const QList<NBELSPDiagnostic> &diagnostics) {
                if (m_shutDown)
                    return;
                if (diagnostics.isEmpty())
                    m_flagged.remove(url);
                else
                    m_flagged.insert(url);
                emit diagnosticsPublished(url, diagnostics);
            });
    connect(m_server, &NBELSPServerConnection::exited, this, [this] {
        NBELog::lsp().error("sourcekit-lsp exited for %s", m_rootURL.fileName());
        m_unavailable = true;
        m_documents.forgetLanguage(QStringLiteral("swift"));
        for (const QUrl &url : std::exchange(m_flagged, {}))
            emit diagnosticsPublished(url, {});
        emit serverExited(QStringLiteral("swift"));
    });
    connect(m_server, &NBELSPServerConnection::ready, this, [this, name] {
        NBELog::lsp().info("sourcekit-lsp ready for %s", name);
        // Edits made while it started waited for it.
        if (!m_documents.pending().isEmpty())
            m_pendingTimer->start(changeDelay);
    });
    connect(m_server, &NBELSPServerConnection::failed, this, [this](const QString &reason) {
        m_unavailable = true;
        m_documents.forgetLanguage(QStringLiteral("swift"));
        NBELog::lsp().error("sourcekit-lsp unavailable: %s", reason);
    });
    m_server->start(resolution->executable, {}, m_rootURL, handshakeTimeout);
    return !m_unavailable;
}

void NBELSPSession::didOpen(const QUrl &url, const QString &languageId, const QString &text,
                            qint64 version)
{
    if (m_shutDown || languageId != QLatin1String("swift") || !ensureStarted())
        return;
    m_server->notify(QStringLiteral("textDocument/didOpen"),
                     m_documents.open(url, languageId, {text, version}));
}

void NBELSPSession::didChange(const QUrl &url, const QString &text, qint64 version)
{
    if (m_shutDown || m_unavailable || !m_server)
        return;
    m_server->sendText(m_documents, url, {text, version});
}

void NBELSPSession::didChange(const QUrl &url, const NBETextChange &change, qint64 version,
                              const NBELSPDocumentSync::TextReader &wholeText)
{
    if (m_shutDown || m_unavailable || !m_server)
        return;
    if (m_server->changeDocument(m_documents, url, change, version, wholeText))
        m_pendingTimer->start(changeDelay);
}

void NBELSPSession::didClose(const QUrl &url)
{
    if (m_shutDown)
        return;
    if (auto params = m_documents.close(url); params && m_server && !m_unavailable)
        m_server->notify(QStringLiteral("textDocument/didClose"), *params);
}

QFuture<void> NBELSPSession::shutdown()
{
    const bool first = !m_shutDown;
    m_shutDown = true;
    if (first)
        emit diagnosticsFinished();
    if (!first || !m_server) {
        m_unavailable = true;
        QPromise<void> promise;
        promise.start();
        promise.finish();
        return promise.future();
    }
    m_unavailable = true;
    NBELSPServerConnection *server = std::exchange(m_server, nullptr);
    // Outlives the session until its server is gone; the caller's
    // continuation goes on the future that follows the release (a future
    // takes one).
    server->setParent(nullptr);
    disconnect(server, nullptr, this, nullptr);
    return server->shutdown().then(server, [server] { server->deleteLater(); });
}
