#pragma once

#include "NBELSPCompletionItem.h"
#include "NBELSPDiagnostic.h"
#include "NBELanguage.h"
#include "NBETextBuffer.h"
#include "NBEWebLSPServers.h"
#include "NBEWebLSPSession.h"

#include <QFuture>
#include <QHash>
#include <QObject>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

class NBELSPSession;

// The language servers of one open folder: the Swift session and the web
// session, which documents go to which, and which servers quit by themselves.
// Neither session starts a server before the first document of its language.
class NBEWorkspaceLanguageServers : public QObject
{
    Q_OBJECT

public:
    // How a web language server is found for a language id.
    using Launch = std::function<std::optional<NBEWebLSPLaunch>(const QString &languageID)>;

    NBEWorkspaceLanguageServers(Launch launch, std::optional<QString> swiftServerOverride,
                                QObject *parent = nullptr);

    // Sessions for the folder at `rootURL`, after stopping any earlier ones.
    void start(const QUrl &rootURL);
    // Stops the servers without waiting for them and forgets which quit.
    void shutdown();

    // Whether a web language server is installed for the language id; looked
    // up once per start.
    bool hasWebLSP(const std::optional<QString> &languageID) const;

    // Documents go to the session of their language: Swift to the Swift
    // session, a language a web server serves to the web session, others
    // nowhere.
    // `revision` is that of the buffer `content` was read from: the servers
    // know every text by its buffer revision.
    void didOpen(const QUrl &url, const std::optional<NBELanguage> &language,
                 const QString &content, quint64 revision);
    // The whole text is read from `buffer` only when a server syncs whole
    // texts, and then only when it is sent.
    void didChange(const QUrl &url, const std::optional<QString> &languageID,
                   const NBETextChange &change, const std::shared_ptr<NBETextBuffer> &buffer);
    // Both sessions hear of every closed document, the Swift one first; each
    // ignores what it never opened.
    void didClose(const QList<QUrl> &urls);

    // The web session's providers; nothing while no folder is open.
    QString completionTriggers(const QUrl &url) const;
    QFuture<std::optional<QList<NBELSPCompletionItem>>> completion(const QUrl &url, int line,
                                                                   int character);
    QFuture<std::optional<QString>> hover(const QUrl &url, int line, int character);
    QFuture<std::optional<QString>> formatting(const QUrl &url, const QString &text, int tabSize,
                                               bool insertSpaces);
    QFuture<std::optional<NBELSPLocation>> definition(const QUrl &url, int line, int character);

    // Says which languages' servers quit by themselves since the start, so
    // their files go unchecked ("CSS checking stopped: …").
    std::optional<QString> checkingStoppedNotice() const;

Q_SIGNALS:
    void diagnosticsPublished(const QUrl &url, const QList<NBELSPDiagnostic> &diagnostics);
    void checkingStoppedChanged();

private:
    void noteCheckingStopped(const QString &languageID);

    Launch m_launch;
    std::optional<QString> m_swiftServerOverride;
    std::shared_ptr<NBELSPSession> m_lspSession;
    std::shared_ptr<NBEWebLSPSession> m_webLSP;
    mutable QHash<QString, bool> m_webLSPServes;
    QStringList m_checkingStopped; // language names
};
