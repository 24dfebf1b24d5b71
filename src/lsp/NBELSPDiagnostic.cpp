#include "NBELSPDiagnostic.h"

#include "NBELSPRange.h"

#include <QHashFunctions>

std::optional<NBELSPDiagnostic::Severity> NBELSPDiagnostic::severityFromRawValue(qint64 rawValue)
{
    if (rawValue < 1 || rawValue > 4)
        return std::nullopt;
    return static_cast<Severity>(rawValue);
}

std::optional<NBELSPDiagnostic> NBELSPDiagnostic::fromJSON(const NBEJSONValue &json)
{
    const auto range = NBELSPRange::fromJSON(json.find(QStringLiteral("range")));
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
    return NBELSPDiagnostic{range->start.line, range->start.character,
                            range->end.line,   range->end.character,
                            severity,          *message->stringValue()};
}

std::optional<NBELSPPublishedDiagnostics>
NBELSPPublishedDiagnostics::parse(const NBEJSONValue &params)
{
    const NBEJSONValue *uri = params.find(QStringLiteral("uri"));
    if (!uri || uri->kind() != NBEJSONValue::Kind::string)
        return std::nullopt;
    NBELSPPublishedDiagnostics published{*uri->stringValue(), {}};
    if (const NBEJSONValue *list = params.find(QStringLiteral("diagnostics"))) {
        for (const NBEJSONValue &element : list->arrayRef()) {
            if (auto diagnostic = NBELSPDiagnostic::fromJSON(element))
                published.diagnostics.append(std::move(*diagnostic));
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
