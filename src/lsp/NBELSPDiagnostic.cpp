#include "NBELSPDiagnostic.h"

#include <QHashFunctions>
#include <QSet>

#include <array>

std::optional<NBELSPDiagnostic::Severity> NBELSPDiagnostic::severityFromRawValue(qint64 rawValue)
{
    if (rawValue < 1 || rawValue > 4)
        return std::nullopt;
    return static_cast<Severity>(rawValue);
}

namespace {

// A range's four numbers as sent: unlike an edit's range, a diagnostic's
// may hold negative numbers, which the places that draw it clamp.
std::optional<std::array<qint64, 4>> rangeNumbers(const NBEJSONValue *range)
{
    if (!range || range->kind() != NBEJSONValue::Kind::object)
        return std::nullopt;
    std::array<qint64, 4> numbers{};
    qsizetype next = 0;
    for (const QString &end : {QStringLiteral("start"), QStringLiteral("end")}) {
        const NBEJSONValue *position = range->find(end);
        if (!position || position->kind() != NBEJSONValue::Kind::object)
            return std::nullopt;
        for (const QString &key : {QStringLiteral("line"), QStringLiteral("character")}) {
            const NBEJSONValue *member = position->find(key);
            const auto value = member ? member->intValue() : std::nullopt;
            if (!value)
                return std::nullopt;
            numbers[next++] = *value;
        }
    }
    return numbers;
}

} // namespace

std::optional<NBELSPDiagnostic> NBELSPDiagnostic::fromJSON(const NBEJSONValue &json)
{
    const auto range = rangeNumbers(json.find(QStringLiteral("range")));
    if (!range)
        return std::nullopt;

    const NBEJSONValue *message = json.find(QStringLiteral("message"));
    if (!message || message->kind() != NBEJSONValue::Kind::string)
        return std::nullopt;

    Severity severity = Severity::error;
    if (const NBEJSONValue *raw = json.find(QStringLiteral("severity"))) {
        if (const auto rawValue = raw->intValue())
            severity = severityFromRawValue(*rawValue).value_or(Severity::error);
    }
    const auto [startLine, startCharacter, endLine, endCharacter] = *range;
    return NBELSPDiagnostic{startLine,    startCharacter, endLine,
                            endCharacter, severity,       *message->stringValue()};
}

std::optional<NBELSPPublishedDiagnostics>
NBELSPPublishedDiagnostics::parse(const NBEJSONValue &params)
{
    const NBEJSONValue *uri = params.find(QStringLiteral("uri"));
    if (!uri || uri->kind() != NBEJSONValue::Kind::string)
        return std::nullopt;
    NBELSPPublishedDiagnostics published{*uri->stringValue(), {}};
    if (const NBEJSONValue *list = params.find(QStringLiteral("diagnostics"))) {
        // A page's thousands of diagnostics say a few things many times: each
        // message is held once. Every one held apart would also keep a page
        // of the decoding's memory with it.
        QSet<QString> messages;
        published.diagnostics.reserve(list->arrayRef().size());
        for (const NBEJSONValue &element : list->arrayRef()) {
            if (auto diagnostic = NBELSPDiagnostic::fromJSON(element)) {
                if (const auto held = messages.constFind(diagnostic->message);
                    held != messages.cend())
                    diagnostic->message = *held;
                else
                    messages.insert(diagnostic->message);
                published.diagnostics.append(std::move(*diagnostic));
            }
        }
    }
    return published;
}

size_t qHash(const NBELSPDiagnostic &diagnostic, size_t seed)
{
    return qHashMulti(seed, diagnostic.startLine, diagnostic.startCharacter, diagnostic.endLine,
                      diagnostic.endCharacter, static_cast<int>(diagnostic.severity),
                      diagnostic.message);
}
