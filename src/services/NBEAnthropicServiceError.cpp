#include "NBEAnthropicServiceError.h"

#include <QCoreApplication>

NBEAnthropicServiceError NBEAnthropicServiceError::http(int status, const QString &message)
{
    return {Kind::http, status, message};
}

NBEAnthropicServiceError NBEAnthropicServiceError::network(const QString &text)
{
    return {Kind::network, 0, text};
}

NBEAnthropicServiceError NBEAnthropicServiceError::make(Kind kind)
{
    return {kind, 0, {}};
}

QString NBEAnthropicServiceError::errorDescription() const
{
    switch (kind) {
    case Kind::http:
        return QCoreApplication::translate("NBEAnthropicServiceError",
                                           "Claude request failed (HTTP %1): %2")
            .arg(QString::number(status), message);
    case Kind::network:
        return QCoreApplication::translate("NBEAnthropicServiceError", "Couldn’t reach Claude: %1")
            .arg(message);
    case Kind::missingAPIKey:
        return QCoreApplication::translate(
            "NBEAnthropicServiceError",
            "Add your Anthropic API key in Settings → AI to generate commit messages.");
    case Kind::emptyDiff:
        return QCoreApplication::translate(
            "NBEAnthropicServiceError",
            "There are no changes to describe — stage some changes first.");
    case Kind::refused:
        return QCoreApplication::translate(
            "NBEAnthropicServiceError", "Claude declined to generate a message for this change.");
    case Kind::emptyResponse:
        return QCoreApplication::translate("NBEAnthropicServiceError",
                                           "Claude returned an empty response. Try again.");
    case Kind::decoding:
        return QCoreApplication::translate("NBEAnthropicServiceError",
                                           "Couldn’t read Claude’s response.");
    }
    return {};
}
