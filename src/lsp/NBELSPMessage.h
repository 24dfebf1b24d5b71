#pragma once

#include "NBEError.h"
#include "NBEJSONValue.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <variant>

// A JSON-RPC id: the client numbers its own requests, servers may use strings.
struct NBELSPID
{
    std::variant<qint64, QString> value;

    NBELSPID(qint64 number = 0)
        : value(number)
    {}
    NBELSPID(const QString &string)
        : value(string)
    {}

    bool isNumber() const { return value.index() == 0; }
    qint64 number() const { return isNumber() ? std::get<qint64>(value) : 0; }
    QString string() const { return isNumber() ? QString() : std::get<QString>(value); }
    NBEJSONValue toJSON() const;

    bool operator==(const NBELSPID &) const = default;
};

size_t qHash(const NBELSPID &id, size_t seed = 0);

// The JSON-RPC error object; the failure of the request it answers.
struct NBELSPResponseError
{
    qint64 code = 0;
    QString message;
    std::optional<NBEJSONValue> data;

    bool operator==(const NBELSPResponseError &) const = default;
};

// One JSON-RPC message in either direction. Its kind follows from which
// members are present: id and method (request), method only (notification),
// id only (response).
struct NBELSPMessage
{
    QString jsonrpc = QStringLiteral("2.0");
    std::optional<NBELSPID> id;
    std::optional<QString> method;
    std::optional<NBEJSONValue> params;
    std::optional<NBEJSONValue> result;
    std::optional<NBELSPResponseError> error;

    bool operator==(const NBELSPMessage &) const = default;

    static NBELSPMessage request(const NBELSPID &id, const QString &method,
                                 std::optional<NBEJSONValue> params = std::nullopt);
    static NBELSPMessage notification(const QString &method,
                                      std::optional<NBEJSONValue> params = std::nullopt);
    static NBELSPMessage response(const NBELSPID &id, const NBEJSONValue &result);

    // Compact JSON with absent members left out; fails only for a number that
    // JSON cannot hold (NaN, infinity).
    NBEResult<QByteArray> encoded() const;
    // Fails for anything that is not a JSON object with a string "jsonrpc" and
    // well-formed optional members. A null member counts as absent.
    static NBEResult<NBELSPMessage> decode(const QByteArray &body);
};
