#pragma once

#include "NBELSPDiagnostic.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QUrl>

// One diagnostic with the file it belongs to, as the issues list shows it.
struct NBEFileDiagnostic
{
    QUrl url;
    NBELSPDiagnostic diagnostic;
    bool operator==(const NBEFileDiagnostic &) const = default;
};

// Errors and warnings over all files (information and hints aren't counted).
struct NBEDiagnosticSummary
{
    int errors = 0;
    int warnings = 0;
    bool operator==(const NBEDiagnosticSummary &) const = default;
};

// Diagnostics of a workspace, keyed by the file's cleaned absolute path.
using NBEDiagnosticsByFile = QHash<QString, QList<NBELSPDiagnostic>>;

namespace NBEFileDiagnostics {

// The issues-list order, a strict total order: severity (errors first), file
// name (case-insensitive, as a file browser orders names), full path, start
// line, start column, then message.
bool precedes(const NBEFileDiagnostic &a, const NBEFileDiagnostic &b);

// Every diagnostic of every file in the issues-list order.
QList<NBEFileDiagnostic> sorted(const NBEDiagnosticsByFile &diagnostics);

NBEDiagnosticSummary summary(const NBEDiagnosticsByFile &diagnostics);
NBEDiagnosticSummary summary(const QList<NBELSPDiagnostic> &diagnostics);

} // namespace NBEFileDiagnostics
