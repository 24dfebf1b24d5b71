#include "NBEAnthropicServiceError.h"

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
        return QStringLiteral("Claude request failed (HTTP ") + QString::number(status) +
               QStringLiteral("): ") + message;
    case Kind::network:
        return QStringLiteral("Couldn’t reach Claude: ") + message;
    case Kind::missingAPIKey:
        return QStringLiteral(
            "Add your Anthropic API key in Settings → AI to generate commit messages.");
    case Kind::emptyDiff:
        return QStringLiteral("There are no changes to describe — stage some changes first.");
    case Kind::refused:
        return QStringLiteral("Claude declined to generate a message for this change.");
    case Kind::emptyResponse:
        return QStringLiteral("Claude returned an empty response. Try again.");
    case Kind::decoding:
        return QStringLiteral("Couldn’t read Claude’s response.");
    }
    return {};
}
