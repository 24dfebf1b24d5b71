#include "NBELSPServerConnection.h"

#include <QDir>
#include <QPromise>

namespace {
QFuture<void> readyVoid()
{
    QPromise<void> promise;
    promise.start();
    promise.finish();
    return promise.future();
}

const QString clientName = QStringLiteral("Nabri Editor");
} // namespace

NBELSPServerConnection::NBELSPServerConnection(QObject *parent)
    : QObject(parent)
{}

void NBELSPServerConnection::start(const QString &program, const QStringList &arguments,
                                   const QUrl &rootURL, std::chrono::milliseconds handshakeTimeout)
{
    if (m_state != State::idle)
        return;
    m_state = State::starting;
    m_client = new NBELSPClient(this);
    connect(m_client, &NBELSPClient::notificationReceived, this, &NBELSPServerConnection::forward);
    if (auto started = m_client->start(program, arguments); !started) {
        m_state = State::failed;
        m_queued.clear();
        emit failed(started.error().description);
        return;
    }
    m_client->initialize(rootURL, clientName, handshakeTimeout)
        .then(this, [this](NBELSPReply reply) {
            if (!reply) {
                m_client->stop();
                m_state = State::failed;
                m_queued.clear();
                if (m_lateShutdown)
                    m_lateShutdown->finish();
                emit failed(reply.error().description());
                return;
            }
            m_state = State::running;
            // Everything the editor said while the server started, in order.
            const auto queued = std::exchange(m_queued, {});
            for (const auto &[method, params] : queued)
                (void)m_client->notify(method, params);
            if (m_lateShutdown) {
                // Shut down while starting: this server is not wanted anymore.
                m_state = State::stopped;
                m_client->shutdown().then(this, [promise = m_lateShutdown] { promise->finish(); });
                return;
            }
            emit ready();
        });
}

void NBELSPServerConnection::notify(const QString &method, const NBEJSONValue &params)
{
    if (m_state == State::starting)
        m_queued.append({method, params});
    else if (m_state == State::running)
        (void)m_client->notify(method, params); // a server that is gone is not an error here
}

QFuture<NBELSPReply> NBELSPServerConnection::request(const QString &method,
                                                     const NBEJSONValue &params,
                                                     std::chrono::milliseconds timeout)
{
    if (m_state != State::running || !m_client->isRunning()) {
        QPromise<NBELSPReply> promise;
        promise.start();
        promise.addResult(std::unexpected(NBELSPFailure{NBELSPError::notRunning}));
        promise.finish();
        return promise.future();
    }
    return m_client->send(method, params, timeout);
}

QFuture<void> NBELSPServerConnection::shutdown()
{
    switch (m_state) {
    case State::starting:
        m_queued.clear();
        if (!m_lateShutdown) {
            m_lateShutdown = std::make_shared<QPromise<void>>();
            m_lateShutdown->start();
        }
        return m_lateShutdown->future(); // finished once the handshake ends
    case State::running:
        m_state = State::stopped;
        return m_client->shutdown();
    case State::idle:
    case State::failed:
    case State::stopped:
        m_state = m_state == State::idle ? State::stopped : m_state;
        break;
    }
    return readyVoid();
}

QUrl NBELSPServerConnection::diagnosticsURL(const QString &uri)
{
    const QUrl url(uri, QUrl::StrictMode);
    if (!url.isValid() || url.scheme().isEmpty())
        return {};
    if (url.isLocalFile())
        return QUrl::fromLocalFile(QDir::cleanPath(url.toLocalFile()));
    return url;
}

void NBELSPServerConnection::forward(const NBELSPNotification &notification)
{
    if (notification.method != QLatin1String("textDocument/publishDiagnostics") ||
        !notification.params)
        return;
    const auto published = NBELSPPublishedDiagnostics::parse(*notification.params);
    if (!published)
        return;
    const QUrl url = diagnosticsURL(published->uri);
    if (url.isEmpty())
        return;
    emit diagnosticsPublished(url, published->diagnostics);
}
