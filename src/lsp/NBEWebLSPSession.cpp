#include "NBEWebLSPSession.h"

#include "NBELSPPosition.h"
#include "NBELSPServerConnection.h"
#include "NBELSPTextEdit.h"
#include "NBELog.h"
#include "NBEThenCancellable.h"

#include <QDir>
#include <QFileInfo>
#include <QPromise>
#include <QtConcurrent/QtConcurrentRun>

namespace {

template <typename T> QFuture<std::optional<T>> nothing()
{
    // A shared empty answer: GCC 12 takes a destroyed empty temporary of this
    // type for an uninitialised one and warns.
    static const std::optional<T> none;
    return QtFuture::makeReadyFuture(none);
}

NBEJSONValue textDocument(const QUrl &url)
{
    return NBEJSONValue::object({{"uri", NBELSPDocumentSync::uri(url)}});
}

NBEJSONValue::Object positionParams(const QUrl &url, qint64 line, qint64 character)
{
    return {{QStringLiteral("textDocument"), textDocument(url)},
            {QStringLiteral("position"), NBELSPPosition{line, character}.toJSON()}};
}

} // namespace

NBEWebLSPSession::NBEWebLSPSession(const QUrl &rootURL, QObject *parent)
    : QObject(parent)
    , m_rootURL(rootURL)
    , m_pendingTimer(new QTimer(this))
{
    m_pendingTimer->setSingleShot(true);
    connect(m_pendingTimer, &QTimer::timeout, this, &NBEWebLSPSession::sendPendingChanges);
}

NBEWebLSPSession::~NBEWebLSPSession()
{
    if (!m_shutDown)
        shutdown();
}

bool NBEWebLSPSession::isOpen(const QUrl &url) const
{
    return m_documents.find(url) != nullptr;
}

std::optional<qint64> NBEWebLSPSession::version(const QUrl &url) const
{
    const auto *open = m_documents.find(url);
    return open ? std::optional<qint64>(open->version) : std::nullopt;
}

NBELSPServerConnection *NBEWebLSPSession::serverOf(const QUrl &url) const
{
    const NBELSPDocumentSync::Document *document = m_documents.find(url);
    return document ? m_servers.value(document->serverLanguageId) : nullptr;
}

NBELSPServerConnection *NBEWebLSPSession::server(const QString &serverLanguageId)
{
    if (auto *existing = m_servers.value(serverLanguageId))
        return existing;
    auto *connection = new NBELSPServerConnection(this);
    connection->allowIncrementalSync = allowIncrementalSync;
    m_servers.insert(serverLanguageId, connection);
    connect(connection, &NBELSPServerConnection::diagnosticsPublished, this,
            [this, serverLanguageId](const QUrl &url, const QList<NBELSPDiagnostic> &diagnostics) {
                if (m_shutDown)
                    return;
                if (diagnostics.isEmpty())
                    m_flagged[serverLanguageId].remove(url);
                else
                    m_flagged[serverLanguageId].insert(url);
                emit diagnosticsPublished(url, diagnostics);
            });
    connect(connection, &NBELSPServerConnection::exited, this, [this, serverLanguageId] {
        NBELog::lsp().error("web LSP exited: %s", serverLanguageId);
        m_documents.forgetLanguage(serverLanguageId);
        // Nothing checks these files anymore: stale marks would mislead.
        for (const QUrl &url : m_flagged.take(serverLanguageId))
            emit diagnosticsPublished(url, {});
        emit serverExited(serverLanguageId);
    });
    connect(connection, &NBELSPServerConnection::ready, this, [this, serverLanguageId] {
        NBELog::lsp().info("web LSP ready: %s", serverLanguageId);
        // Edits made while it started waited for it.
        if (!m_documents.pending().isEmpty())
            m_pendingTimer->start(changeDelay);
    });
    connect(connection, &NBELSPServerConnection::failed, this,
            [this, serverLanguageId](const QString &reason) {
                NBELog::lsp().error("web LSP unavailable %s",
                                    QStringLiteral("(%1): %2").arg(serverLanguageId, reason));
                // Its documents were never opened anywhere.
                m_documents.forgetLanguage(serverLanguageId);
            });

    const auto launch = launchFor(serverLanguageId);
    if (!launch) {
        // No Node.js or no script: remembered for the session, not logged.
        m_documents.forgetLanguage(serverLanguageId);
        connection->markUnavailable();
        return connection;
    }
    connection->start(launch->executable, NBEWebLSPServers::processArguments(*launch), m_rootURL,
                      handshakeTimeout);
    const NBEJSONValue settings = NBEWebLSPServers::settings(serverLanguageId);
    if (!settings.isNull())
        connection->notify(
            QStringLiteral("workspace/didChangeConfiguration"),
            NBEJSONValue::object(
                {{"settings", NBEJSONValue::object({{serverLanguageId, settings}})}}));
    return connection;
}

void NBEWebLSPSession::didOpen(const QUrl &url, const QString &fileLanguageId, const QString &text,
                               qint64 version)
{
    if (m_shutDown)
        return;
    const auto language = NBEWebLSPServers::serverLanguageId(fileLanguageId);
    if (!language)
        return;
    NBELSPServerConnection *connection = m_servers.value(*language);
    if (!connection) {
        // Record nothing before the launch lookup: a language without a
        // server must leave no document behind.
        connection = server(*language);
    }
    using State = NBELSPServerConnection::State;
    if (connection->state() != State::starting && connection->state() != State::running)
        return;
    connection->notify(QStringLiteral("textDocument/didOpen"),
                       m_documents.open(url, *language, {text, version}));
}

void NBEWebLSPSession::didChange(const QUrl &url, const QString &text, qint64 version)
{
    if (m_shutDown)
        return;
    if (NBELSPServerConnection *connection = serverOf(url))
        connection->sendText(m_documents, url, {text, version});
}

void NBEWebLSPSession::didChange(const QUrl &url, const NBETextChange &change, qint64 version,
                                 const NBELSPDocumentSync::TextReader &wholeText)
{
    if (m_shutDown)
        return;
    NBELSPServerConnection *connection = serverOf(url);
    if (connection && connection->changeDocument(m_documents, url, change, version, wholeText))
        m_pendingTimer->start(changeDelay);
}

void NBEWebLSPSession::sendPendingChanges()
{
    if (m_shutDown)
        return;
    for (const QUrl &url : m_documents.pending()) {
        if (NBELSPServerConnection *connection = serverOf(url))
            connection->sendPending(m_documents, url);
    }
}

void NBEWebLSPSession::didClose(const QUrl &url)
{
    if (m_shutDown)
        return;
    NBELSPDocumentSync::Document document;
    if (auto params = m_documents.close(url, &document))
        if (NBELSPServerConnection *connection = m_servers.value(document.serverLanguageId))
            connection->notify(QStringLiteral("textDocument/didClose"), *params);
}

QFuture<void> NBEWebLSPSession::shutdown()
{
    if (m_shutDown) {
        QPromise<void> promise;
        promise.start();
        promise.finish();
        return promise.future();
    }
    m_shutDown = true;
    emit diagnosticsFinished();
    QList<QFuture<void>> stops;
    for (NBELSPServerConnection *connection : std::as_const(m_servers)) {
        // The connection outlives the session until its server is gone, so
        // dropping the session right after shutdown() stays graceful. A
        // future takes one continuation: the caller's goes on the one that
        // follows the release.
        connection->setParent(nullptr);
        disconnect(connection, nullptr, this, nullptr);
        stops.append(
            connection->shutdown().then(connection, [connection] { connection->deleteLater(); }));
    }
    m_servers.clear();
    return QtFuture::whenAll(stops.begin(), stops.end()).then([](const QList<QFuture<void>> &) {});
}

QFuture<std::optional<NBEJSONValue>> NBEWebLSPSession::request(const QUrl &url,
                                                               const QString &method,
                                                               NBEJSONValue::Object params,
                                                               std::chrono::milliseconds timeout)
{
    NBELSPServerConnection *connection = serverOf(url);
    if (m_shutDown || !connection || connection->state() != NBELSPServerConnection::State::running)
        return nothing<NBEJSONValue>();
    // The server answers about the text as it stands.
    connection->sendPending(m_documents, url);
    return nbeThenCancellable(connection->request(method, NBEJSONValue(std::move(params)), timeout),
                              [](NBELSPReply reply) -> std::optional<NBEJSONValue> {
                                  if (!reply)
                                      return std::nullopt;
                                  return *reply;
                              });
}

QString NBEWebLSPSession::completionTriggers(const QUrl &url) const
{
    const NBELSPServerConnection *connection = serverOf(url);
    return connection ? connection->completionTriggers() : QString();
}

bool NBEWebLSPSession::syncsIncrementally(const QUrl &url) const
{
    const NBELSPServerConnection *connection = serverOf(url);
    return connection && connection->syncsIncrementally();
}

QFuture<std::optional<QList<NBELSPCompletionItem>>>
NBEWebLSPSession::completion(const QUrl &url, qint64 line, qint64 character)
{
    return nbeThenCancellable(
        request(url, QStringLiteral("textDocument/completion"),
                positionParams(url, line, character), requestTimeout),
        [](std::optional<NBEJSONValue> result) -> std::optional<QList<NBELSPCompletionItem>> {
            if (!result)
                return std::nullopt;
            return NBELSPCompletionItem::parse(*result);
        });
}

QFuture<std::optional<QString>> NBEWebLSPSession::formatting(const QUrl &url, const QString &text,
                                                             int tabSize, bool insertSpaces)
{
    NBEJSONValue::Object params{
        {QStringLiteral("textDocument"), textDocument(url)},
        {QStringLiteral("options"),
         NBEJSONValue::object({{"tabSize", tabSize}, {"insertSpaces", insertSpaces}})}};
    return nbeThenCancellable(request(url, QStringLiteral("textDocument/formatting"),
                                      std::move(params), formattingTimeout),
                              [text](std::optional<NBEJSONValue> result) -> std::optional<QString> {
                                  if (!result)
                                      return std::nullopt;
                                  const QList<NBELSPTextEdit> edits =
                                      NBELSPTextEdit::parse(*result);
                                  if (edits.isEmpty())
                                      return std::nullopt;
                                  QString formatted = NBELSPTextEdit::apply(edits, text);
                                  // The servers drop the line break that ends the
                                  // file; a file that had one keeps it.
                                  if (text.endsWith(u'\n') && !formatted.endsWith(u'\n'))
                                      formatted += u'\n';
                                  return formatted;
                              });
}

QFuture<std::optional<QString>> NBEWebLSPSession::hover(const QUrl &url, qint64 line,
                                                        qint64 character)
{
    return nbeThenCancellable(request(url, QStringLiteral("textDocument/hover"),
                                      positionParams(url, line, character), requestTimeout),
                              [](std::optional<NBEJSONValue> result) -> std::optional<QString> {
                                  if (!result)
                                      return std::nullopt;
                                  return hoverResultText(*result);
                              });
}

QFuture<std::optional<NBELSPLocation>> NBEWebLSPSession::definition(const QUrl &url, qint64 line,
                                                                    qint64 character)
{
    return nbeThenCancellable(
        request(url, QStringLiteral("textDocument/definition"),
                positionParams(url, line, character), requestTimeout),
        [](std::optional<NBEJSONValue> result) -> std::optional<NBELSPLocation> {
            if (!result)
                return std::nullopt;
            const auto location = firstLocation(*result);
            if (!location)
                return std::nullopt;
            const QUrl target = NBELSPServerConnection::diagnosticsURL(location->uri);
            if (target.isEmpty())
                return std::nullopt;
            return NBELSPLocation{target, location->line, location->character};
        });
}

std::optional<QString> NBEWebLSPSession::hoverResultText(const NBEJSONValue &result)
{
    const auto text = hoverText(result.find(QStringLiteral("contents")));
    if (!text)
        return std::nullopt;
    const QString trimmed = text->trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;
    return trimmed;
}

std::optional<QString> NBEWebLSPSession::hoverText(const NBEJSONValue *value)
{
    if (!value)
        return std::nullopt;
    switch (value->kind()) {
    case NBEJSONValue::Kind::string:
        return value->stringValue();
    case NBEJSONValue::Kind::object: {
        const NBEJSONValue *inner = value->find(QStringLiteral("value"));
        return inner ? inner->stringValue() : std::nullopt;
    }
    case NBEJSONValue::Kind::array: {
        QStringList parts;
        for (const NBEJSONValue &element : value->arrayRef())
            if (auto part = hoverText(&element))
                parts.append(*part);
        return parts.join(QStringLiteral("\n\n"));
    }
    default:
        return std::nullopt;
    }
}

std::optional<NBEWebLSPSession::RawLocation>
NBEWebLSPSession::firstLocation(const NBEJSONValue &value)
{
    const NBEJSONValue *candidate = &value;
    if (value.kind() == NBEJSONValue::Kind::array) {
        if (value.arrayRef().isEmpty())
            return std::nullopt;
        candidate = &value.arrayRef().first();
    }
    if (candidate->kind() != NBEJSONValue::Kind::object)
        return std::nullopt;

    const auto startOf = [](const QString &uri,
                            const NBEJSONValue *range) -> std::optional<RawLocation> {
        if (!range)
            return std::nullopt;
        const auto start = NBELSPPosition::fromJSON(range->find(QStringLiteral("start")));
        if (!start)
            return std::nullopt;
        return RawLocation{uri, start->line, start->character};
    };

    const NBEJSONValue *uri = candidate->find(QStringLiteral("uri"));
    const NBEJSONValue *range = candidate->find(QStringLiteral("range"));
    if (uri && uri->stringValue() && range && range->kind() == NBEJSONValue::Kind::object &&
        range->find(QStringLiteral("start")))
        return startOf(*uri->stringValue(), range);

    const NBEJSONValue *targetUri = candidate->find(QStringLiteral("targetUri"));
    if (!targetUri || !targetUri->stringValue())
        return std::nullopt;
    const NBEJSONValue *targetRange = candidate->find(QStringLiteral("targetSelectionRange"));
    if (!targetRange)
        targetRange = candidate->find(QStringLiteral("targetRange"));
    return startOf(*targetUri->stringValue(), targetRange);
}
