#pragma once

#include "NBELSPDiagnostic.h"
#include "NBELSPDocumentSync.h"
#include "NBELSPToolchain.h"

#include <QFuture>
#include <QObject>
#include <QSet>
#include <QTimer>
#include <QUrl>

#include <chrono>
#include <optional>

class NBELSPServerConnection;

// The Swift documents of one workspace and one sourcekit-lsp, started by the
// first Swift document that opens. Full-text sync and diagnostics only; no
// server (none found, or it failed to start) leaves the session silent for
// the rest of its life. Lives on the main thread.
class NBELSPSession : public QObject
{
    Q_OBJECT

public:
    explicit NBELSPSession(const QUrl &rootURL,
                           std::optional<QString> toolchainOverride = std::nullopt,
                           QObject *parent = nullptr);
    ~NBELSPSession() override;

    // Only language id "swift" is served. Edits made while the server starts
    // reach it, in order, once it is ready.
    // Versions are buffer revisions, as NBEWebLSPSession takes them.
    void didOpen(const QUrl &url, const QString &languageId, const QString &text, qint64 version);
    void didChange(const QUrl &url, const QString &text, qint64 version);
    // One edit, sent as NBEWebLSPSession sends it.
    void didChange(const QUrl &url, const NBETextChange &change, qint64 version,
                   const NBELSPDocumentSync::TextReader &wholeText);
    void didClose(const QUrl &url);

    // "shutdown" (bounded by two seconds), "exit", termination; ends the
    // diagnostics. The session ignores every later call.
    QFuture<void> shutdown();

    bool isOpen(const QUrl &url) const { return m_documents.find(url) != nullptr; }
    std::optional<qint64> version(const QUrl &url) const
    {
        const auto *document = m_documents.find(url);
        return document ? std::optional<qint64>(document->version) : std::nullopt;
    }
    bool isUnavailable() const { return m_unavailable; }

    // Where toolchains and the default server are looked for; tests point
    // them at temporary folders.
    QStringList toolchainFolders = NBELSPToolchain::toolchainFolders();
    QString searchPath = QString::fromLocal8Bit(qgetenv("PATH"));
    std::chrono::milliseconds handshakeTimeout{60000};
    std::chrono::milliseconds changeDelay{100};

signals:
    void diagnosticsPublished(const QUrl &url, const QList<NBELSPDiagnostic> &diagnostics);
    void diagnosticsFinished();
    // The running server ended by itself; its diagnostics were withdrawn
    // (each file published empty) and the session stays silent.
    void serverExited(const QString &languageId);

private:
    bool ensureStarted();

    QUrl m_rootURL;
    std::optional<QString> m_toolchainOverride;
    NBELSPServerConnection *m_server = nullptr;
    NBELSPDocumentSync m_documents;
    QSet<QUrl> m_flagged; // files with diagnostics
    QTimer *m_pendingTimer = nullptr;
    bool m_unavailable = false;
    bool m_shutDown = false;
};

using NBESwiftLanguageSession = NBELSPSession;
