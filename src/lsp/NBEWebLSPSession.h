#pragma once

#include "NBELSPCompletionItem.h"
#include "NBELSPDiagnostic.h"
#include "NBELSPDocumentSync.h"
#include "NBEWebLSPServers.h"

#include <QFuture>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QTimer>
#include <QUrl>

#include <chrono>
#include <functional>
#include <optional>

class NBELSPServerConnection;

// Where a definition lies: the file and the zero-based start position.
struct NBELSPLocation
{
    QUrl url;
    qint64 line = 0;
    qint64 character = 0; // UTF-16 code units

    bool operator==(const NBELSPLocation &) const = default;
};

// The Node.js language servers of one workspace (HTML, CSS, JSON,
// JavaScript): each started by the first document of its language, at most
// once per session. Keeps open documents in sync (ranged changes or whole
// texts, versions that name buffer revisions) and merges every server's diagnostics into one
// signal. Lives on the main thread; nothing here blocks it.
class NBEWebLSPSession : public QObject
{
    Q_OBJECT

public:
    explicit NBEWebLSPSession(const QUrl &rootURL, QObject *parent = nullptr);
    ~NBEWebLSPSession() override;

    // Unsupported languages and unknown URLs are ignored. Edits made while
    // the server starts reach it, in order, once it is ready. `version` is
    // the revision of the buffer the text comes from; a version the server
    // already has, or an older one, is not sent.
    void didOpen(const QUrl &url, const QString &fileLanguageId, const QString &text,
                 qint64 version);
    // The whole new text.
    void didChange(const QUrl &url, const QString &text, qint64 version);
    // The edit that made `version`, sent once edits pause (or before a
    // request about the document): where the server takes ranged changes,
    // with the edits of the pause merged into one message and as few
    // changes as they allow, under the last version; else the whole text,
    // read from `wholeText` then and sent under the version it was read at.
    void didChange(const QUrl &url, const NBETextChange &change, qint64 version,
                   const NBELSPDocumentSync::TextReader &wholeText);
    void didClose(const QUrl &url);

    // Shuts every server down (each bounded by two seconds, in parallel) and
    // ends diagnostics; the session ignores every later call.
    QFuture<void> shutdown();

    // The characters after which the server serving the document offers
    // completion by itself (its announced trigger characters); empty while
    // it starts or when it has none.
    QString completionTriggers(const QUrl &url) const;
    // Whether the document's edits go to its running server as ranged
    // changes rather than whole texts.
    bool syncsIncrementally(const QUrl &url) const;

    // Requests answer nothing when the document is not open on a running
    // server, on an error, or when the server takes longer than the bound.
    // Cancelling a returned future withdraws its request (a superseded
    // completion or hover): the server is told and the answer dropped.
    QFuture<std::optional<QList<NBELSPCompletionItem>>> completion(const QUrl &url, qint64 line,
                                                                   qint64 character);
    // The whole formatted text, or nothing (no edits, or out of time: the
    // caller then uses the built-in formatter). `text` must be the text last
    // sent to the server.
    QFuture<std::optional<QString>> formatting(const QUrl &url, const QString &text, int tabSize,
                                               bool insertSpaces);
    QFuture<std::optional<QString>> hover(const QUrl &url, qint64 line, qint64 character);
    QFuture<std::optional<NBELSPLocation>> definition(const QUrl &url, qint64 line,
                                                      qint64 character);

    // Whether a document is open on a server (started or starting).
    bool isOpen(const QUrl &url) const;
    std::optional<qint64> version(const QUrl &url) const;

    // Shaping of results, exposed for tests.
    static std::optional<QString> hoverText(const NBEJSONValue *value);
    static std::optional<QString> hoverResultText(const NBEJSONValue &result);
    struct RawLocation
    {
        QString uri;
        qint64 line = 0;
        qint64 character = 0;
        bool operator==(const RawLocation &) const = default;
    };
    static std::optional<RawLocation> firstLocation(const NBEJSONValue &value);

    // Bounds. Tests shorten them; the launch lookup can be replaced to run
    // stand-in servers.
    std::chrono::milliseconds requestTimeout{10000};
    std::chrono::milliseconds formattingTimeout{5000};
    std::chrono::milliseconds handshakeTimeout{60000};
    std::function<std::optional<NBEWebLSPLaunch>(const QString &serverLanguageId)> launchFor =
        [](const QString &language) { return NBEWebLSPServers::launch(language); };
    // Off: servers get whole texts even when they take ranged changes.
    bool allowIncrementalSync = true;
    // How long edits must pause before what waits of them goes out.
    std::chrono::milliseconds changeDelay{100};

signals:
    // A server's complete list for one file (empty: the file is clean). File
    // URLs are made from the local path, whatever encoding the server used.
    void diagnosticsPublished(const QUrl &url, const QList<NBELSPDiagnostic> &diagnostics);
    // Emitted once by shutdown(): no more diagnostics will come.
    void diagnosticsFinished();
    // A running server ended by itself: its documents are dropped and its
    // diagnostics withdrawn (each file published empty) before this.
    void serverExited(const QString &serverLanguageId);

private:
    NBELSPServerConnection *server(const QString &serverLanguageId);
    // The server the document is open on, or none.
    NBELSPServerConnection *serverOf(const QUrl &url) const;
    QFuture<std::optional<NBEJSONValue>> request(const QUrl &url, const QString &method,
                                                 NBEJSONValue::Object params,
                                                 std::chrono::milliseconds timeout);

    QUrl m_rootURL;
    QHash<QString, NBELSPServerConnection *> m_servers; // by server language id
    QHash<QString, QSet<QUrl>> m_flagged; // files with diagnostics, by server language id
    void sendPendingChanges();

    NBELSPDocumentSync m_documents;
    QTimer *m_pendingTimer = nullptr;
    bool m_shutDown = false;
};

using NBEWebLanguageSession = NBEWebLSPSession;
