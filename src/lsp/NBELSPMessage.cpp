#include "NBELSPMessage.h"

#include <QHashFunctions>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

NBEJSONValue NBELSPID::toJSON() const
{
    return isNumber() ? NBEJSONValue(number()) : NBEJSONValue(string());
}

size_t qHash(const NBELSPID &id, size_t seed)
{
    return id.isNumber() ? qHashMulti(seed, 0, id.number()) : qHashMulti(seed, 1, id.string());
}

NBELSPMessage NBELSPMessage::request(const NBELSPID &id, const QString &method,
                                     std::optional<NBEJSONValue> params)
{
    NBELSPMessage message;
    message.id = id;
    message.method = method;
    message.params = std::move(params);
    return message;
}

NBELSPMessage NBELSPMessage::notification(const QString &method, std::optional<NBEJSONValue> params)
{
    NBELSPMessage message;
    message.method = method;
    message.params = std::move(params);
    return message;
}

NBELSPMessage NBELSPMessage::response(const NBELSPID &id, const NBEJSONValue &result)
{
    NBELSPMessage message;
    message.id = id;
    message.result = result;
    return message;
}

NBEResult<QByteArray> NBELSPMessage::encoded() const
{
    // Written by hand so the members keep their conventional order and an
    // absent member writes no key at all.
    QByteArray out;
    out.reserve(128);
    out.append("{\"jsonrpc\":");
    NBEJSONValue(jsonrpc).encodeTo(out);
    bool ok = true;
    if (id) {
        out.append(",\"id\":");
        id->toJSON().encodeTo(out);
    }
    if (method) {
        out.append(",\"method\":");
        NBEJSONValue(*method).encodeTo(out);
    }
    if (params) {
        out.append(",\"params\":");
        ok = ok && params->encodeTo(out);
    }
    if (result) {
        out.append(",\"result\":");
        ok = ok && result->encodeTo(out);
    }
    if (error) {
        out.append(",\"error\":{\"code\":");
        out.append(QByteArray::number(error->code));
        out.append(",\"message\":");
        NBEJSONValue(error->message).encodeTo(out);
        if (error->data) {
            out.append(",\"data\":");
            ok = ok && error->data->encodeTo(out);
        }
        out.append('}');
    }
    out.append('}');
    if (!ok)
        return nbeFailure(QStringLiteral("A number that is not finite cannot be written as JSON."));
    return out;
}

namespace {

std::optional<qint64> wholeNumber(const QJsonValue &value)
{
    if (!value.isDouble())
        return std::nullopt;
    const NBEJSONValue number = NBEJSONValue::fromQJsonValue(value);
    if (number.kind() != NBEJSONValue::Kind::int_)
        return std::nullopt;
    return number.intValue();
}

} // namespace

NBEResult<NBELSPMessage> NBELSPMessage::decode(const QByteArray &body)
{
    const auto failure = [](const char *what) {
        return nbeFailure(
            QStringLiteral("The message could not be read: %1.").arg(QLatin1String(what)));
    };
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(body, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject())
        return failure("not a JSON object");
    const QJsonObject object = document.object();

    NBELSPMessage message;
    const QJsonValue jsonrpc = object.value(QLatin1String("jsonrpc"));
    if (!jsonrpc.isString())
        return failure("no \"jsonrpc\" version");
    message.jsonrpc = jsonrpc.toString();

    const QJsonValue id = object.value(QLatin1String("id"));
    if (!id.isUndefined() && !id.isNull()) {
        if (const auto number = wholeNumber(id))
            message.id = NBELSPID(*number);
        else if (id.isString())
            message.id = NBELSPID(id.toString());
        else
            return failure("an \"id\" that is neither a whole number nor a string");
    }

    const QJsonValue method = object.value(QLatin1String("method"));
    if (!method.isUndefined() && !method.isNull()) {
        if (!method.isString())
            return failure("a \"method\" that is not a string");
        message.method = method.toString();
    }

    const QJsonValue params = object.value(QLatin1String("params"));
    if (!params.isUndefined() && !params.isNull())
        message.params = NBEJSONValue::fromQJsonValue(params);
    const QJsonValue result = object.value(QLatin1String("result"));
    if (!result.isUndefined() && !result.isNull())
        message.result = NBEJSONValue::fromQJsonValue(result);

    const QJsonValue error = object.value(QLatin1String("error"));
    if (!error.isUndefined() && !error.isNull()) {
        const QJsonObject errorObject = error.toObject();
        const auto code = wholeNumber(errorObject.value(QLatin1String("code")));
        const QJsonValue text = errorObject.value(QLatin1String("message"));
        if (!error.isObject() || !code || !text.isString())
            return failure("a malformed \"error\"");
        NBELSPResponseError responseError{*code, text.toString(), std::nullopt};
        const QJsonValue data = errorObject.value(QLatin1String("data"));
        if (!data.isUndefined() && !data.isNull())
            responseError.data = NBEJSONValue::fromQJsonValue(data);
        message.error = std::move(responseError);
    }
    return message;
}
