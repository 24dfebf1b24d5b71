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
const QString publishDiagnostics = QStringLiteral("textDocument/publishDiagnostics");

// The kind of document sync an initialize result announces: a number, or an
// object's "change"; 0 (none) when absent.
qint64 syncKind(const NBEJSONValue &result)
{
    const NBEJSONValue *capabilities = result.find(QStringLiteral("capabilities"));
    const NBEJSONValue *sync =
        capabilities ? capabilities->find(QStringLiteral("textDocumentSync")) : nullptr;
    if (!sync)
        return 0;
    if (sync->kind() == NBEJSONValue::Kind::object)
        sync = sync->find(QStringLiteral("change"));
    return sync ? sync->intValue().value_or(0) : 0;
}

// The single characters of an initialize result's completion trigger list.
QString announcedTriggers(const NBEJSONValue &result)
{
    const NBEJSONValue *capabilities = result.find(QStringLiteral("capabilities"));
    const NBEJSONValue *provider =
        capabilities ? capabilities->find(QStringLiteral("completionProvider")) : nullptr;
    const NBEJSONValue *triggers =
        provider ? provider->find(QStringLiteral("triggerCharacters")) : nullptr;
    QString characters;
    if (!triggers || triggers->kind() != NBEJSONValue::Kind::array)
        return characters;
    for (const NBEJSONValue &trigger : triggers->arrayRef()) {
        if (const auto text = trigger.stringValue(); text && text->size() == 1)
            characters += *text;
    }
    return characters;
}
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
    // A large file's list runs to thousands of diagnostics: read where the
    // message is decoded, never on this thread.
    m_client->prepare(publishDiagnostics, [](const NBEJSONValue &params) {
        auto published = NBELSPPublishedDiagnostics::parse(params);
        return published ? QVariant::fromValue(std::move(*published)) : QVariant();
    });
    connect(m_client, &NBELSPClient::stopped, this, [this] {
        // A shutdown moves the state on first; a failed start says so itself.
        if (m_state != State::running)
            return;
        m_state = State::stopped;
        emit exited();
    });
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
            m_incrementalSync = allowIncrementalSync && syncKind(*reply) == 2;
            m_completionTriggers = announcedTriggers(*reply);
            // Everything the editor said while the server started, in order.
            const auto queued = std::exchange(m_queued, {});
            for (const auto &[method, params] : queued)
                (void)m_client->notifyInBackground(method, params);
            if (m_lateShutdown) {
                // Shut down while starting: this server is not wanted anymore.
                m_state = State::stopped;
                m_client->shutdown().then(this, [promise = m_lateShutdown] { promise->finish(); });
                return;
            }
            emit ready();
        });
}

void NBELSPServerConnection::notify(const QString &method, const NBEJSONValue &params,
                                    const QString &replaceKey)
{
    if (m_state == State::starting)
        m_queued.append({method, params});
    else if (m_state == State::running)
        // A server that is gone is not an error here.
        (void)m_client->notifyInBackground(method, params, replaceKey);
}

bool NBELSPServerConnection::changeDocument(NBELSPDocumentSync &documents, const QUrl &url,
                                            const NBETextChange &change, qint64 version,
                                            const NBELSPDocumentSync::TextReader &wholeText)
{
    NBELSPDocumentSync::Document *document = documents.find(url);
    if (!document)
        return false;
    // Which sync the server takes is known once it runs: until then the
    // edits wait as ranges, not as a whole text at every pause.
    if (m_state == State::starting && !document->pendingText) {
        if (!documents.hold(url, change, version))
            return false;
        document->textUnlessRanged = wholeText;
        return true;
    }
    if (!document->pendingText && syncsIncrementally())
        return documents.hold(url, change, version);
    document->pendingText = wholeText;
    return true;
}

void NBELSPServerConnection::sendPending(NBELSPDocumentSync &documents, const QUrl &url)
{
    NBELSPDocumentSync::Document *document = documents.find(url);
    if (!document || m_state == State::starting)
        return;
    const auto wholeText = std::exchange(document->textUnlessRanged, {});
    if (wholeText && !syncsIncrementally() && !document->heldChanges.isEmpty())
        document->pendingText = wholeText;
    if (document->pendingText)
        if (const auto text = std::exchange(document->pendingText, {})())
            sendText(documents, url, *text);
    if (auto params = documents.takeHeldChanges(url))
        notify(QStringLiteral("textDocument/didChange"), *params);
}

void NBELSPServerConnection::sendText(NBELSPDocumentSync &documents, const QUrl &url,
                                      const NBELSPDocumentSync::Text &text)
{
    auto params = documents.change(url, text);
    if (!params)
        return;
    documents.find(url)->pendingText = {};
    notify(QStringLiteral("textDocument/didChange"), *params, NBELSPDocumentSync::uri(url));
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
    if (notification.method != publishDiagnostics)
        return;
    std::optional<NBELSPPublishedDiagnostics> published;
    if (notification.prepared.canConvert<NBELSPPublishedDiagnostics>())
        published = notification.prepared.value<NBELSPPublishedDiagnostics>();
    else if (notification.params)
        published = NBELSPPublishedDiagnostics::parse(*notification.params);
    if (!published)
        return;
    const QUrl url = diagnosticsURL(published->uri);
    if (url.isEmpty())
        return;
    emit diagnosticsPublished(url, published->diagnostics);
}
