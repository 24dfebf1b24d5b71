#pragma once

#include "NBEError.h"

#include <QString>

// Why a commit-message request failed; `errorDescription()` is the sentence
// the user sees.
struct NBEAnthropicServiceError
{
    enum class Kind { http, network, missingAPIKey, emptyDiff, refused, emptyResponse, decoding };

    Kind kind = Kind::decoding;
    int status = 0;  // http
    QString message; // http: the service's message; network: the transport's text

    static NBEAnthropicServiceError http(int status, const QString &message);
    static NBEAnthropicServiceError network(const QString &text);
    static NBEAnthropicServiceError make(Kind kind);

    QString errorDescription() const;
    NBEError toError() const { return NBEError{errorDescription()}; }

    bool operator==(const NBEAnthropicServiceError &) const = default;
};
