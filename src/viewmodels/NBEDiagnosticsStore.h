#pragma once

#include "NBEFileDiagnostic.h"

#include <QObject>

// The diagnostics of a workspace's files, as the servers and the built-in
// HTML check last reported them, with error and warning counts kept as lists
// come and go so the status bar never counts them over again.
class NBEDiagnosticsStore : public QObject
{
    Q_OBJECT

public:
    explicit NBEDiagnosticsStore(QObject *parent = nullptr);

    // Keyed by the file's cleaned absolute path.
    const NBEDiagnosticsByFile &all() const { return m_diagnostics; }
    QList<NBELSPDiagnostic> forFile(const QUrl &file) const;
    NBEDiagnosticSummary summary() const { return m_summary; }
    // Every diagnostic in the issues-list order.
    QList<NBEFileDiagnostic> sorted() const;

    // Replaces the file's list; announces even an equal one.
    void set(const QUrl &file, const QList<NBELSPDiagnostic> &list);
    // Forgets the file's list; announces only when it had one.
    void remove(const QUrl &file);
    // Forgets every list; always announces.
    void clear();

Q_SIGNALS:
    // After each file's change (set, removed or cleared), before changed().
    void fileChanged(const QUrl &file);
    void changed();

private:
    void count(const QList<NBELSPDiagnostic> &list, int sign);

    NBEDiagnosticsByFile m_diagnostics;
    NBEDiagnosticSummary m_summary;
};
