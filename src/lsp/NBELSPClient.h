#pragma once

#include "NBEError.h"
#include "NBEJSONValue.h"
#include "NBELSPFraming.h"
#include "NBELSPMessage.h"

#include <QFuture>
#include <QFutureWatcher>
#include <QHash>
#include <QMetaType>
#include <QObject>
#include <QPointer>
#include <QProcessEnvironment>
#include <QPromise>
#include <QTimer>
#include <QUrl>
#include <QVariant>

#include <chrono>
#include <deque>
#include <expected>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <variant>

class NBELSPProcess;

enum class NBELSPError { notRunning, serverExited, timedOut };

// Why a request or notification failed: the client's own reason, the
// server's error response, or an I/O or encoding failure.
struct NBELSPFailure
{
    std::variant<NBELSPError, NBELSPResponseError, NBEError> reason;

    bool is(NBELSPError error) const
    {
        const auto *own = std::get_if<NBELSPError>(&reason);
        return own && *own == error;
    }
    const NBELSPResponseError *responseError() const
    {
        return std::get_if<NBELSPResponseError>(&reason);
    }
    QString description() const;
    bool operator==(const NBELSPFailure &) const = default;
};

using NBELSPReply = std::expected<NBEJSONValue, NBELSPFailure>;

struct NBELSPNotification
{
    QString method;
    std::optional<NBEJSONValue> params;
    // What the method's preparer made of the params (see
    // NBELSPClient::prepare); the params are then left out.
    QVariant prepared;
    bool operator==(const NBELSPNotification &) const = default;
};

// One JSON-RPC connection to one language server child process: numbered
// requests matched to their responses, server notifications as a signal,
// server requests answered as a client that offers no extra features would.
// Event-driven on the thread that owns it; nothing here blocks that thread.
class NBELSPClient : public QObject
{
    Q_OBJECT

public:
    explicit NBELSPClient(QObject *parent = nullptr);
    ~NBELSPClient() override;

    // Launches the server. A client serves one server life: after stop() it
    // cannot be started again.
    NBEResult<void> start(const QString &executable, const QStringList &arguments,
                          std::optional<QProcessEnvironment> environment = std::nullopt);

    // Connects to an already running peer (used by tests and in-process
    // servers): `write` carries framed bytes to it, and output bytes come in
    // through receive().
    void attach(std::function<NBEResult<void>(const QByteArray &)> write,
                std::function<void()> terminate = {});
    void receive(const QByteArray &chunk);
    void endOfOutput();

    // One request. Without a time-out it waits until the response or until the
    // server is gone; with one it fails with timedOut and a late answer is
    // ignored. Cancelling the returned future withdraws the request: the
    // server is sent "$/cancelRequest" and its answer, if any, is dropped.
    QFuture<NBELSPReply> send(const QString &method,
                              std::optional<NBEJSONValue> params = std::nullopt,
                              std::optional<std::chrono::milliseconds> timeout = std::nullopt);
    NBEResult<void> notify(const QString &method,
                           std::optional<NBEJSONValue> params = std::nullopt);
    // The same, encoded and written off this thread when the client runs a
    // process (in order with everything else it sends). A message with a
    // `replaceKey` replaces the one queued just before it with the same key
    // when that one has not gone out yet.
    NBEResult<void> notifyInBackground(const QString &method, NBEJSONValue params,
                                       const QString &replaceKey = {});

    // Turns the params of every later notification of `method` into the
    // value its listener uses, where the message is decoded: on the thread
    // pool for a large one, so neither the reading nor the freeing of a
    // large tree (thousands of diagnostics) lands on the client's thread.
    // An invalid result keeps the params instead.
    using Preparer = std::function<QVariant(const NBEJSONValue &params)>;
    void prepare(const QString &method, Preparer preparer);

    // The handshake: "initialize", then "initialized" once it succeeded.
    QFuture<NBELSPReply>
    initialize(const QUrl &rootURL, const QString &clientName,
               std::optional<std::chrono::milliseconds> timeout = std::nullopt);

    // "shutdown" bounded by shutdownTimeout, then "exit", then stop(). Never
    // fails.
    QFuture<void> shutdown();
    static constexpr std::chrono::milliseconds shutdownTimeout{2000};

    // Ends the connection now: the server is terminated, every waiting request
    // fails with serverExited, and stopped() is emitted. Idempotent.
    void stop();

    bool isRunning() const { return m_running && !m_stopped; }
    bool isStopped() const { return m_stopped; }
    qint64 nextID() const { return m_nextID; }

    // The JSON-RPC code of the answer to a server request this client does
    // not handle.
    static constexpr qint64 methodNotFound = -32601;
    // Messages at least this long are decoded on the thread pool (a
    // completion list with its documentation runs to hundreds of KiB); all
    // are handled on the client's thread in arrival order.
    static constexpr qsizetype backgroundDecodeBytes = 16 * 1024;
    // Messages this long hand the memory of their decoding back soon after.
    static constexpr qsizetype releaseAfterBytes = 256 * 1024;

signals:
    // In arrival order; nothing is dropped.
    void notificationReceived(const NBELSPNotification &notification);
    // The connection ended (server exit, broken framing, stop or shutdown).
    void stopped();

private:
    struct Pending
    {
        std::shared_ptr<QPromise<NBELSPReply>> promise;
        std::unique_ptr<QTimer> timer;
        QFutureWatcher<NBELSPReply> *watcher = nullptr; // child; notices cancel()
    };

    // A body as it waits to be handled: decoded, or being decoded.
    struct Incoming
    {
        QByteArray body;
        bool decoding = false;
        bool decoded = false;
        std::optional<NBELSPMessage> message;
        QVariant prepared;
    };
    // A decoded message with its notification's params prepared.
    struct Decoded
    {
        std::optional<NBELSPMessage> message;
        QVariant prepared;
    };
    static Decoded decode(const QByteArray &body, const QHash<QString, Preparer> &preparers);

    NBEResult<void> writeMessage(const NBELSPMessage &message);
    // Handles the waiting bodies in order, up to one being decoded.
    void handleIncoming();
    void handle(const NBELSPMessage &message, const QVariant &prepared);
    // Removes a waiting request's entry; nothing when it was answered or
    // withdrawn already.
    std::optional<Pending> take(qint64 id);
    void resolve(qint64 id, NBELSPReply reply);
    void withdraw(qint64 id);
    void answer(const NBELSPMessage &request);

    NBELSPProcess *m_process = nullptr;
    std::function<NBEResult<void>(const QByteArray &)> m_write;
    std::function<NBEResult<void>(std::function<QByteArray()>, const QString &)> m_writeLater;
    std::function<void()> m_terminate;
    NBELSPFraming::Decoder m_decoder;
    std::deque<Incoming> m_incoming;
    // The output ended (or broke) behind bodies still waiting.
    bool m_stopAfterIncoming = false;
    std::map<qint64, Pending> m_pending;
    QHash<QString, Preparer> m_preparers;
    qint64 m_nextID = 0;
    bool m_running = false;
    bool m_stopped = false;
};

Q_DECLARE_METATYPE(NBELSPNotification)
