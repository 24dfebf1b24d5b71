#pragma once

#include "NBELSPClient.h"
#include "NBELSPDiagnostic.h"
#include "NBELSPDocumentSync.h"

#include <QFuture>
#include <QList>
#include <QObject>
#include <QPair>
#include <QPromise>
#include <QUrl>

#include <chrono>
#include <memory>

// One language server as the sessions use it: started once, initialised,
// fed document notifications (held back while it starts and then sent in
// order, so its copy of a document is never stale), asked bounded requests,
// and heard through its published diagnostics.
class NBELSPServerConnection : public QObject
{
    Q_OBJECT

public:
    enum class State { idle, starting, running, failed, stopped };

    explicit NBELSPServerConnection(QObject *parent = nullptr);

    // Launches the server and sends the handshake; ready() or failed()
    // follows. A handshake that takes longer than `handshakeTimeout` fails.
    void start(const QString &program, const QStringList &arguments, const QUrl &rootURL,
               std::chrono::milliseconds handshakeTimeout);

    // There is no server to start: state failed, without a signal.
    void markUnavailable()
    {
        if (m_state == State::idle)
            m_state = State::failed;
    }

    // Sent now when running, queued while starting, dropped otherwise.
    // Encoded and written off this thread; see NBELSPClient for `replaceKey`.
    void notify(const QString &method, const NBEJSONValue &params, const QString &replaceKey = {});

    // The server, running, takes ranged document changes (it said so in its
    // handshake, and ranged changes are allowed).
    bool syncsIncrementally() const { return m_state == State::running && m_incrementalSync; }
    // Off: every change goes as the whole text, whatever the server offers.
    bool allowIncrementalSync = true;

    // One edit of a document open on this server, the one that made
    // `version`, to be sent later (answers true) so a run of edits costs
    // one message: a ranged change, merged with the edits next to it, when
    // the server takes those (or still starts) and no whole text waits;
    // otherwise the whole text, read then.
    bool changeDocument(NBELSPDocumentSync &documents, const QUrl &url, const NBETextChange &change,
                        qint64 version, const NBELSPDocumentSync::TextReader &wholeText);
    // Sends what waits for the document, if anything; nothing while the
    // server starts (what waits goes once it is ready).
    void sendPending(NBELSPDocumentSync &documents, const QUrl &url);
    // Sends the whole text now (the text replaces any that waits).
    void sendText(NBELSPDocumentSync &documents, const QUrl &url,
                  const NBELSPDocumentSync::Text &text);

    // A request with a bound; fails with notRunning unless running.
    QFuture<NBELSPReply> request(const QString &method, const NBEJSONValue &params,
                                 std::chrono::milliseconds timeout);

    // "shutdown" (bounded), "exit", termination. A server still starting is
    // shut down as soon as its handshake ends. Never fails.
    QFuture<void> shutdown();

    State state() const { return m_state; }
    // The characters the server announced it completes after, one each.
    QString completionTriggers() const { return m_completionTriggers; }
    NBELSPClient *client() const { return m_client; }

    // The file a published uri names: file URIs become the URL of their
    // cleaned local path, however the server encoded them ("%2B" or "+").
    static QUrl diagnosticsURL(const QString &uri);

signals:
    void ready();
    void failed(const QString &reason);
    // The running server ended without being asked to (it crashed or was
    // killed). Nothing starts it again.
    void exited();
    void diagnosticsPublished(const QUrl &url, const QList<NBELSPDiagnostic> &diagnostics);

private:
    void forward(const NBELSPNotification &notification);

    NBELSPClient *m_client = nullptr;
    State m_state = State::idle;
    QString m_completionTriggers;
    std::shared_ptr<QPromise<void>> m_lateShutdown; // shutdown() while starting
    bool m_incrementalSync = false;
    QList<QPair<QString, NBEJSONValue>> m_queued;
};
