#include "NBEAnthropicService.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPromise>
#include <QTimer>

#include <memory>

namespace {

using Kind = NBEAnthropicServiceError::Kind;

bool isFenceLine(const QString &line)
{
    return line.startsWith(QStringLiteral("```"));
}

QFuture<NBEResult<QString>> failedNow(Kind kind)
{
    return QtFuture::makeReadyFuture<NBEResult<QString>>(
        std::unexpected(NBEAnthropicServiceError::make(kind).toError()));
}

} // namespace

QUrl NBEAnthropicService::defaultBaseURL()
{
    return QUrl(QStringLiteral("https://api.anthropic.com"));
}

NBEAnthropicService::NBEAnthropicService(const QUrl &baseURL)
    : m_endpoint(baseURL)
{
    m_endpoint.setPath(QStringLiteral("/v1/messages"));
    // Nothing persists between requests: no cookies kept, no cache.
    m_manager.setCookieJar(nullptr);
    m_manager.setCache(nullptr);
}

NBEAnthropicService::~NBEAnthropicService()
{
    // Every pending caller gets an answer rather than a cancelled future.
    const auto replies = m_manager.findChildren<QNetworkReply *>();
    for (QNetworkReply *reply : replies)
        reply->abort();
}

QFuture<NBEResult<QString>>
NBEAnthropicService::generateCommitMessage(const QString &diff, const QString &fileSummary,
                                           const QStringList &recentSubjects,
                                           NBEAnthropicServiceModel model, const QString &apiKey)
{
    const QString key = apiKey.trimmed();
    if (key.isEmpty())
        return failedNow(Kind::missingAPIKey);
    if (diff.trimmed().isEmpty() && fileSummary.isEmpty())
        return failedNow(Kind::emptyDiff);

    QNetworkRequest request(m_endpoint);
    request.setRawHeader("content-type", "application/json");
    request.setRawHeader("x-api-key", key.toUtf8());
    request.setRawHeader("anthropic-version", "2023-06-01");
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    const QByteArray body = QJsonDocument(requestBody(model, diff, fileSummary, recentSubjects))
                                .toJson(QJsonDocument::Compact);

    auto promise = std::make_shared<QPromise<NBEResult<QString>>>();
    promise->start();
    QFuture<NBEResult<QString>> future = promise->future();

    QNetworkReply *reply = m_manager.post(request, body);
    // The time-out counts idle time, so a slow but moving transfer survives.
    auto *idle = new QTimer(reply);
    idle->setSingleShot(true);
    idle->setInterval(m_timeout);
    auto timedOut = std::make_shared<bool>(false);
    QObject::connect(idle, &QTimer::timeout, reply, [reply, timedOut] {
        *timedOut = true;
        reply->abort();
    });
    const auto restart = [idle] { idle->start(); };
    QObject::connect(reply, &QNetworkReply::uploadProgress, idle, restart);
    QObject::connect(reply, &QNetworkReply::downloadProgress, idle, restart);
    idle->start();

    QObject::connect(reply, &QNetworkReply::finished, reply, [reply, idle, timedOut, promise] {
        idle->stop();
        reply->deleteLater();
        const auto finish = [&](NBEResult<QString> result) {
            promise->addResult(std::move(result));
            promise->finish();
        };
        const auto fail = [&](const NBEAnthropicServiceError &error) {
            finish(std::unexpected(error.toError()));
        };
        if (*timedOut) {
            fail(NBEAnthropicServiceError::network(
                QCoreApplication::translate("NBEAnthropicService", "The request timed out.")));
            return;
        }
        // Below 200 Qt reports transport and proxy failures; above, HTTP statuses
        // whose body still carries the service's answer.
        const QNetworkReply::NetworkError error = reply->error();
        if (error != QNetworkReply::NoError && error < QNetworkReply::ContentAccessDenied) {
            fail(NBEAnthropicServiceError::network(reply->errorString()));
            return;
        }
        const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        if (!status.isValid()) {
            fail(error == QNetworkReply::NoError
                     ? NBEAnthropicServiceError::make(Kind::emptyResponse)
                     : NBEAnthropicServiceError::network(reply->errorString()));
            return;
        }
        const QByteArray data = reply->readAll();
        const int code = status.toInt();
        if (code >= 200 && code <= 299) {
            const auto message = parseMessage(data);
            if (message)
                finish(*message);
            else
                fail(message.error());
            return;
        }
        fail(NBEAnthropicServiceError::http(code, errorMessage(data)));
    });
    return future;
}

QJsonObject NBEAnthropicService::requestBody(NBEAnthropicServiceModel model, const QString &diff,
                                             const QString &fileSummary,
                                             const QStringList &recentSubjects)
{
    QJsonObject message{
        {QStringLiteral("role"), QStringLiteral("user")},
        {QStringLiteral("content"), userContent(diff, fileSummary, recentSubjects)}};
    return QJsonObject{
        {QStringLiteral("model"), NBEAnthropicModels::rawValue(model)},
        {QStringLiteral("max_tokens"), 1024},
        {QStringLiteral("thinking"),
         QJsonObject{{QStringLiteral("type"), QStringLiteral("disabled")}}},
        {QStringLiteral("system"), systemPrompt()},
        {QStringLiteral("messages"), QJsonArray{message}},
    };
}

QString NBEAnthropicService::systemPrompt()
{
    static const QString prompt =
        QStringList{
            QStringLiteral("You write git commit messages for a professional macOS / Swift and "
                           "web-development codebase. Given a diff, produce ONE commit message."),
            QString(),
            QStringLiteral("Rules:"),
            QStringLiteral("- First line: a concise, imperative summary under 72 characters (e.g. "
                           "\"Fix crash on empty diff\", not \"Fixed the crash\" or \"This "
                           "fixes...\"). No trailing period."),
            QStringLiteral("- If the change is non-trivial, add a blank line then a short body of "
                           "1–4 bullet lines (\"- ...\") describing what changed and why. Skip the "
                           "body for small, obvious changes."),
            QStringLiteral("- Match the style of the recent commit subjects provided, if any."),
            QStringLiteral(
                "- Describe what the change accomplishes, not the mechanics of the diff."),
            QStringLiteral("- Output ONLY the commit message text: no preamble, no explanation, no "
                           "markdown code fences, no surrounding quotes."),
        }
            .join(QLatin1Char('\n'));
    return prompt;
}

QString NBEAnthropicService::userContent(const QString &diff, const QString &fileSummary,
                                         const QStringList &recentSubjects)
{
    QStringList sections;
    if (!recentSubjects.isEmpty()) {
        QStringList lines;
        for (const QString &subject : recentSubjects.mid(0, 8))
            lines.append(QStringLiteral("- ") + subject);
        sections.append(QStringLiteral("Recent commit subjects (match this style):\n") +
                        lines.join(QLatin1Char('\n')));
    }
    if (!fileSummary.isEmpty())
        sections.append(QStringLiteral("Files changed:\n") + fileSummary);
    sections.append(QStringLiteral("Diff:\n") +
                    (diff.isEmpty() ? QStringLiteral("(no textual diff available)") : diff));
    return sections.join(QStringLiteral("\n\n"));
}

std::expected<QString, NBEAnthropicServiceError>
NBEAnthropicService::parseMessage(const QByteArray &body)
{
    const auto failure = [](Kind kind) {
        return std::unexpected(NBEAnthropicServiceError::make(kind));
    };
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(body, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject())
        return failure(Kind::decoding);
    const QJsonObject object = document.object();
    if (object.value(QStringLiteral("stop_reason")) == QJsonValue(QStringLiteral("refusal")))
        return failure(Kind::refused);
    const QJsonValue content = object.value(QStringLiteral("content"));
    if (!content.isArray())
        return failure(Kind::decoding);
    QString text;
    for (const QJsonValue &element : content.toArray()) {
        if (!element.isObject())
            return failure(Kind::decoding);
        const QJsonObject block = element.toObject();
        const QJsonValue part = block.value(QStringLiteral("text"));
        if (block.value(QStringLiteral("type")) == QJsonValue(QStringLiteral("text")) &&
            part.isString())
            text += part.toString();
    }
    text = text.trimmed();
    if (text.isEmpty())
        return failure(Kind::emptyResponse);
    // A reply of nothing but fence lines holds no message either.
    const QString message = stripFences(text);
    if (message.isEmpty())
        return failure(Kind::emptyResponse);
    return message;
}

QString NBEAnthropicService::stripFences(const QString &text)
{
    QStringList lines = text.split(QLatin1Char('\n'));
    if (!isFenceLine(lines.first()))
        return text;
    lines.removeFirst();
    if (!lines.isEmpty() && isFenceLine(lines.last()))
        lines.removeLast();
    return lines.join(QLatin1Char('\n')).trimmed();
}

QString NBEAnthropicService::errorMessage(const QByteArray &body)
{
    const QJsonDocument document = QJsonDocument::fromJson(body);
    const QJsonValue message = document.object()
                                   .value(QStringLiteral("error"))
                                   .toObject()
                                   .value(QStringLiteral("message"));
    if (message.isString() && !message.toString().isEmpty())
        return message.toString();
    return QCoreApplication::translate("NBEAnthropicService", "Unknown error.");
}
