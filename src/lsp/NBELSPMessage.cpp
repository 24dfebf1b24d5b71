#include "NBELSPMessage.h"

#include "NBEJSONParser.h"

#include <QHashFunctions>

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

NBEResult<NBELSPMessage> NBELSPMessage::decode(const QByteArray &body)
{
    const auto failure = [](const char *what) {
        return nbeFailure(
            QStringLiteral("The message could not be read: %1.").arg(QLatin1String(what)));
    };
    const auto parsed = NBEJSONParser::parse(body);
    if (!parsed || parsed->kind() != NBEJSONValue::Kind::object)
        return failure("not a JSON object");
    const NBEJSONValue &object = *parsed;
    // A member that is missing and one that is null are both absent.
    const auto member = [&](const char *key) -> const NBEJSONValue * {
        const NBEJSONValue *value = object.find(QString::fromLatin1(key));
        return value && !value->isNull() ? value : nullptr;
    };

    NBELSPMessage message;
    const NBEJSONValue *jsonrpc = object.find(QStringLiteral("jsonrpc"));
    if (!jsonrpc || !jsonrpc->stringValue())
        return failure("no \"jsonrpc\" version");
    message.jsonrpc = *jsonrpc->stringValue();

    if (const NBEJSONValue *id = member("id")) {
        if (id->kind() == NBEJSONValue::Kind::int_)
            message.id = NBELSPID(*id->intValue());
        else if (id->kind() == NBEJSONValue::Kind::string)
            message.id = NBELSPID(*id->stringValue());
        else
            return failure("an \"id\" that is neither a whole number nor a string");
    }
    if (const NBEJSONValue *method = member("method")) {
        if (!method->stringValue())
            return failure("a \"method\" that is not a string");
        message.method = *method->stringValue();
    }
    if (const NBEJSONValue *params = member("params"))
        message.params = *params;
    if (const NBEJSONValue *result = member("result"))
        message.result = *result;
    if (const NBEJSONValue *error = member("error")) {
        const NBEJSONValue *code = error->find(QStringLiteral("code"));
        const NBEJSONValue *text = error->find(QStringLiteral("message"));
        if (!code || code->kind() != NBEJSONValue::Kind::int_ || !text || !text->stringValue())
            return failure("a malformed \"error\"");
        NBELSPResponseError responseError{*code->intValue(), *text->stringValue(), std::nullopt};
        if (const NBEJSONValue *data = error->find(QStringLiteral("data")); data && !data->isNull())
            responseError.data = *data;
        message.error = std::move(responseError);
    }
    return message;
}
