#pragma once

#include "NBEJSONValue.h"

#include <QList>
#include <QMetaType>
#include <QString>

#include <optional>

// The protocol's severity numbers.
enum class NBELSPDiagnosticSeverity : int { error = 1, warning = 2, information = 3, hint = 4 };

// The one diagnostic type of the editor: language servers and the built-in
// HTML validator both produce it, and everything downstream sees only it.
struct NBELSPDiagnostic
{
    using Severity = NBELSPDiagnosticSeverity;

    qint64 startLine = 0;
    qint64 startCharacter = 0; // UTF-16 code units
    qint64 endLine = 0;
    qint64 endCharacter = 0; // exclusive
    Severity severity = Severity::error;
    QString message;

    bool operator==(const NBELSPDiagnostic &) const = default;

    // Exactly 1 to 4; anything else is absent.
    static std::optional<Severity> severityFromRawValue(qint64 rawValue);

    // One protocol Diagnostic object, or absent when its range or message is
    // unusable. A missing or unknown severity reads as an error.
    static std::optional<NBELSPDiagnostic> fromJSON(const NBEJSONValue &json);
};

// What one "textDocument/publishDiagnostics" notification says: the file's
// URI as the server sent it and its complete list of diagnostics.
struct NBELSPPublishedDiagnostics
{
    QString uri;
    QList<NBELSPDiagnostic> diagnostics;

    bool operator==(const NBELSPPublishedDiagnostics &) const = default;

    // Absent when "uri" is not a string. Malformed diagnostics are skipped;
    // a missing "diagnostics" array gives an empty list (the file is clean).
    static std::optional<NBELSPPublishedDiagnostics> parse(const NBEJSONValue &params);
};

size_t qHash(const NBELSPDiagnostic &diagnostic, size_t seed = 0);

Q_DECLARE_METATYPE(NBELSPDiagnostic)
Q_DECLARE_METATYPE(NBELSPPublishedDiagnostics)
