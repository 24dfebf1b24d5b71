#pragma once

#include "NBEAnthropicServiceError.h"
#include "NBEAnthropicServiceModel.h"
#include "NBEError.h"

#include <QByteArray>
#include <QFuture>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QStringList>
#include <QUrl>

#include <chrono>
#include <expected>

// Asks the Anthropic Messages API for a commit message describing a diff.
// Lives on a thread with an event loop (the main thread); requests run
// concurrently and never block it. The key is passed in, never stored.
class NBEAnthropicService
{
public:
    static QUrl defaultBaseURL();

    // `baseURL` is the scheme and host the "/v1/messages" path is appended to.
    explicit NBEAnthropicService(const QUrl &baseURL = defaultBaseURL());
    ~NBEAnthropicService();

    NBEAnthropicService(const NBEAnthropicService &) = delete;
    NBEAnthropicService &operator=(const NBEAnthropicService &) = delete;

    QUrl endpoint() const { return m_endpoint; }

    // How long the request may sit idle before it fails; 60 seconds unless set.
    std::chrono::milliseconds timeout() const { return m_timeout; }
    void setTimeout(std::chrono::milliseconds timeout) { m_timeout = timeout; }

    QFuture<NBEResult<QString>> generateCommitMessage(const QString &diff,
                                                      const QString &fileSummary,
                                                      const QStringList &recentSubjects,
                                                      NBEAnthropicServiceModel model,
                                                      const QString &apiKey);

    static QJsonObject requestBody(NBEAnthropicServiceModel model, const QString &diff,
                                   const QString &fileSummary, const QStringList &recentSubjects);
    static QString systemPrompt();
    static QString userContent(const QString &diff, const QString &fileSummary,
                               const QStringList &recentSubjects);
    static std::expected<QString, NBEAnthropicServiceError> parseMessage(const QByteArray &body);
    static QString stripFences(const QString &text);
    static QString errorMessage(const QByteArray &body);

private:
    QUrl m_endpoint;
    std::chrono::milliseconds m_timeout{std::chrono::seconds(60)};
    QNetworkAccessManager m_manager;
};
