#include "NBELSPClient.h"

#include "NBELSPProcess.h"
#include "NBEMemory.h"
#include "NBEWebLSPServers.h"
#include "NBEWhenFinished.h"

#include <QCoreApplication>
#include <QtConcurrent/QtConcurrentRun>

// The connection's life: new → running (start() launched a server, or
// attach() connected a peer) → stopped. Stopped is final and is reached once,
// by stop(): called for a server that exited, an output that ended or broke
// (after the bodies already received were handled), shutdown(), or the
// destructor. Every request still waiting then fails with serverExited.
//
// Incoming bytes are framed into bodies and queued in arrival order. A large
// body is decoded on the thread pool while the queue behind it waits, so
// notifications, answers to the server's own requests and responses are
// handled strictly in the order the server sent them.
//
// A request's life: send() numbers it and files a Pending entry (its promise,
// an optional time-out timer, a watcher that notices cancel) before the bytes
// leave. It ends exactly once, by whoever takes the entry first: the response
// (resolve), the time-out (timedOut; a later answer finds no entry and is
// dropped), a cancel of its future (withdraw: no result, "$/cancelRequest"
// sent), or stop() (serverExited).

namespace {

QFuture<NBELSPReply> readyReply(NBELSPReply reply)
{
    QPromise<NBELSPReply> promise;
    promise.start();
    promise.addResult(std::move(reply));
    promise.finish();
    return promise.future();
}

NBELSPFailure failure(NBELSPError error)
{
    return NBELSPFailure{error};
}

} // namespace

QString NBELSPFailure::description() const
{
    if (const auto *own = std::get_if<NBELSPError>(&reason)) {
        switch (*own) {
        case NBELSPError::notRunning:
            return QCoreApplication::translate("NBELSPClient",
                                               "The language server is not running.");
        case NBELSPError::serverExited:
            return QCoreApplication::translate("NBELSPClient", "The language server exited.");
        case NBELSPError::timedOut:
            return QCoreApplication::translate("NBELSPClient",
                                               "The language server did not answer in time.");
        }
    }
    if (const auto *response = responseError())
        return response->message;
    return std::get<NBEError>(reason).description;
}

NBELSPClient::NBELSPClient(QObject *parent)
    : QObject(parent)
{}

NBELSPClient::~NBELSPClient()
{
    // Waiting requests must not hang; nobody is left to hear stopped().
    blockSignals(true);
    stop();
}

NBEResult<void> NBELSPClient::start(const QString &executable, const QStringList &arguments,
                                    std::optional<QProcessEnvironment> environment)
{
    if (m_stopped || m_running)
        return nbeFailure(tr("The language server connection was already used."));
    auto *process = new NBELSPProcess(executable, arguments, std::move(environment), this);
    if (auto launched = process->launch(); !launched) {
        delete process;
        return launched;
    }
    m_process = process;
    connect(process, &NBELSPProcess::output, this, &NBELSPClient::receive);
    connect(process, &NBELSPProcess::outputFinished, this, &NBELSPClient::endOfOutput);
    // A crash may leave the output pipe open in a grandchild; exit is final.
    connect(process, &NBELSPProcess::terminated, this, &NBELSPClient::stop);
    attach([process](const QByteArray &bytes) { return process->write(bytes); },
           [process] {
               process->terminate();
               process->releaseWhenFinished();
           });
    m_writeLater = [process](std::function<QByteArray()> produce, const QString &replaceKey) {
        return process->writeLater(std::move(produce), replaceKey);
    };
    return {};
}

void NBELSPClient::attach(std::function<NBEResult<void>(const QByteArray &)> write,
                          std::function<void()> terminate)
{
    m_write = std::move(write);
    m_terminate = std::move(terminate);
    m_running = true;
}

void NBELSPClient::receive(const QByteArray &chunk)
{
    if (m_stopped)
        return;
    NBELSPFraming::Decoder::Output output = m_decoder.push(chunk);
    for (QByteArray &body : output.bodies)
        m_incoming.push_back(Incoming{std::move(body)});
    if (output.error)
        m_stopAfterIncoming = true;
    handleIncoming();
}

NBELSPClient::Decoded NBELSPClient::decode(const QByteArray &body,
                                           const QHash<QString, Preparer> &preparers)
{
    auto decoded = NBELSPMessage::decode(body);
    if (!decoded)
        return {};
    Decoded out{std::move(*decoded), {}};
    NBELSPMessage &message = *out.message;
    if (message.id || !message.method || !message.params)
        return out;
    const auto preparer = preparers.constFind(*message.method);
    if (preparer == preparers.cend())
        return out;
    out.prepared = (*preparer)(*message.params);
    if (out.prepared.isValid())
        message.params.reset();
    return out;
}

void NBELSPClient::prepare(const QString &method, Preparer preparer)
{
    m_preparers.insert(method, std::move(preparer));
}

void NBELSPClient::handleIncoming()
{
    const QPointer<NBELSPClient> self(this);
    while (!m_incoming.empty() && !m_stopped) {
        Incoming &next = m_incoming.front();
        if (next.decoding)
            return;
        if (!next.decoded && next.body.size() >= backgroundDecodeBytes) {
            next.decoding = true;
            nbeWhenFinished(QtConcurrent::run([body = next.body, preparers = m_preparers] {
                                return decode(body, preparers);
                            }),
                            this, [this, size = next.body.size()](Decoded decoded) {
                                if (m_stopped || m_incoming.empty())
                                    return;
                                Incoming &front = m_incoming.front();
                                front.decoding = false;
                                front.decoded = true;
                                front.message = std::move(decoded.message);
                                front.prepared = std::move(decoded.prepared);
                                // A long message (a large file's diagnostics)
                                // left its pieces in a pool thread's arena.
                                if (size >= releaseAfterBytes)
                                    NBEMemory::releaseSoon(0);
                                handleIncoming();
                            });
            return;
        }
        Decoded decoded{std::move(next.message), std::move(next.prepared)};
        if (!next.decoded)
            decoded = decode(next.body, m_preparers);
        m_incoming.pop_front();
        if (decoded.message)
            handle(*decoded.message, decoded.prepared);
        // A slot may have stopped or even deleted the client.
        if (!self || m_stopped)
            return;
    }
    if (m_incoming.empty() && m_stopAfterIncoming)
        stop();
}

void NBELSPClient::endOfOutput()
{
    // What the server said before it went is still heard.
    if (!m_incoming.empty()) {
        m_stopAfterIncoming = true;
        return;
    }
    stop();
}

NBEResult<void> NBELSPClient::writeMessage(const NBELSPMessage &message)
{
    auto body = message.encoded();
    if (!body)
        return std::unexpected(body.error());
    return m_write(NBELSPFraming::frame(*body));
}

QFuture<NBELSPReply> NBELSPClient::send(const QString &method, std::optional<NBEJSONValue> params,
                                        std::optional<std::chrono::milliseconds> timeout)
{
    if (m_stopped || !m_write)
        return readyReply(std::unexpected(failure(NBELSPError::notRunning)));
    const qint64 id = m_nextID++;
    auto body = NBELSPMessage::request(NBELSPID(id), method, std::move(params)).encoded();
    if (!body)
        return readyReply(std::unexpected(NBELSPFailure{body.error()}));

    auto promise = std::make_shared<QPromise<NBELSPReply>>();
    promise->start();
    QFuture<NBELSPReply> future = promise->future();
    Pending pending{promise, nullptr};
    if (timeout) {
        pending.timer = std::make_unique<QTimer>();
        pending.timer->setSingleShot(true);
        connect(pending.timer.get(), &QTimer::timeout, this,
                [this, id] { resolve(id, std::unexpected(failure(NBELSPError::timedOut))); });
        pending.timer->start(*timeout);
    }
    pending.watcher = new QFutureWatcher<NBELSPReply>(this);
    connect(pending.watcher, &QFutureWatcherBase::canceled, this, [this, id] { withdraw(id); });
    pending.watcher->setFuture(future);
    // In place before the bytes leave, so no answer can come before its entry.
    m_pending.emplace(id, std::move(pending));
    if (auto written = m_write(NBELSPFraming::frame(*body)); !written)
        resolve(id, std::unexpected(NBELSPFailure{written.error()}));
    return future;
}

NBEResult<void> NBELSPClient::notify(const QString &method, std::optional<NBEJSONValue> params)
{
    if (m_stopped || !m_write)
        return nbeFailure(failure(NBELSPError::notRunning).description());
    return writeMessage(NBELSPMessage::notification(method, std::move(params)));
}

NBEResult<void> NBELSPClient::notifyInBackground(const QString &method, NBEJSONValue params,
                                                 const QString &replaceKey)
{
    if (m_stopped || !m_write)
        return nbeFailure(failure(NBELSPError::notRunning).description());
    if (!m_writeLater)
        return notify(method, std::move(params));
    return m_writeLater(
        [message = NBELSPMessage::notification(method, std::move(params))] {
            const auto body = message.encoded();
            return body ? NBELSPFraming::frame(*body) : QByteArray();
        },
        replaceKey);
}

QFuture<NBELSPReply> NBELSPClient::initialize(const QUrl &rootURL, const QString &clientName,
                                              std::optional<std::chrono::milliseconds> timeout)
{
    const NBEJSONValue empty = NBEJSONValue::Object();
    const NBEJSONValue params = NBEJSONValue::object({
        {"processId", QCoreApplication::applicationPid()},
        {"clientInfo", NBEJSONValue::object({{"name", clientName}})},
        {"rootUri", rootURL.toString(QUrl::FullyEncoded)},
        {"capabilities",
         NBEJSONValue::object({
             {"textDocument",
              NBEJSONValue::object({
                  {"synchronization", NBEJSONValue::object({{"didSave", true}})},
                  {"completion",
                   NBEJSONValue::object(
                       {{"completionItem", NBEJSONValue::object({{"snippetSupport", false}})}})},
                  {"hover", empty},
                  {"definition", empty},
                  {"publishDiagnostics", empty},
              })},
             {"workspace", empty},
         })},
    });
    return send(QStringLiteral("initialize"), params, timeout)
        .then(this, [this](NBELSPReply reply) -> NBELSPReply {
            if (!reply)
                return reply;
            if (auto sent = notify(QStringLiteral("initialized"), NBEJSONValue::Object()); !sent)
                return std::unexpected(NBELSPFailure{sent.error()});
            return reply;
        });
}

QFuture<void> NBELSPClient::shutdown()
{
    return send(QStringLiteral("shutdown"), std::nullopt, shutdownTimeout)
        .then(this, [this](NBELSPReply) {
            (void)notify(QStringLiteral("exit"));
            stop();
        });
}

void NBELSPClient::stop()
{
    if (m_stopped)
        return;
    m_stopped = true;
    m_running = false;
    m_incoming.clear();
    if (m_process)
        disconnect(m_process, nullptr, this, nullptr);
    if (m_terminate)
        m_terminate();
    m_process = nullptr;
    m_write = {};
    m_writeLater = {};
    m_terminate = {};
    auto pending = std::exchange(m_pending, {});
    for (auto &[id, entry] : pending) {
        entry.watcher->deleteLater();
        entry.promise->addResult(std::unexpected(failure(NBELSPError::serverExited)));
        entry.promise->finish();
    }
    emit stopped();
}

std::optional<NBELSPClient::Pending> NBELSPClient::take(qint64 id)
{
    const auto it = m_pending.find(id);
    if (it == m_pending.end())
        return std::nullopt;
    Pending entry = std::move(it->second);
    m_pending.erase(it);
    entry.watcher->deleteLater();
    return entry;
}

void NBELSPClient::resolve(qint64 id, NBELSPReply reply)
{
    if (auto entry = take(id)) {
        entry->promise->addResult(std::move(reply));
        entry->promise->finish();
    }
}

void NBELSPClient::withdraw(qint64 id)
{
    if (auto entry = take(id)) {
        entry->promise->finish();
        (void)notify(QStringLiteral("$/cancelRequest"), NBEJSONValue::object({{"id", id}}));
    }
}

void NBELSPClient::answer(const NBELSPMessage &request)
{
    const QString &method = *request.method;
    NBELSPMessage response = NBELSPMessage::response(*request.id, NBEJSONValue());
    if (method == u"workspace/configuration") {
        // One entry per item asked for; null means "no setting of ours".
        const NBEJSONValue *items =
            request.params ? request.params->find(QStringLiteral("items")) : nullptr;
        NBEJSONValue::Array settings;
        if (items) {
            for (const NBEJSONValue &item : items->arrayRef()) {
                const NBEJSONValue *section = item.find(QStringLiteral("section"));
                settings.append(NBEWebLSPServers::settings(
                    section ? section->stringValue().value_or(QString()) : QString()));
            }
        }
        response.result = std::move(settings);
    } else if (method != u"client/registerCapability" && method != u"client/unregisterCapability" &&
               method != u"window/workDoneProgress/create" &&
               method != u"window/showMessageRequest") {
        response.result.reset();
        response.error =
            NBELSPResponseError{methodNotFound, QStringLiteral("Unhandled method ") + method, {}};
    }
    (void)writeMessage(response);
}

void NBELSPClient::handle(const NBELSPMessage &message, const QVariant &prepared)
{
    if (!message.id) {
        if (message.method)
            emit notificationReceived(
                NBELSPNotification{*message.method, message.params, prepared});
        return;
    }
    if (message.method) {
        if (m_write)
            answer(message);
        return;
    }
    if (!message.id->isNumber())
        return;
    if (message.error)
        resolve(message.id->number(), std::unexpected(NBELSPFailure{*message.error}));
    else
        resolve(message.id->number(), message.result.value_or(NBEJSONValue()));
}
