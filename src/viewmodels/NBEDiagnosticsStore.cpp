#include "NBEDiagnosticsStore.h"

#include "NBEFileService.h"

NBEDiagnosticsStore::NBEDiagnosticsStore(QObject *parent)
    : QObject(parent)
{}

QList<NBELSPDiagnostic> NBEDiagnosticsStore::forFile(const QUrl &file) const
{
    return m_diagnostics.value(NBEFileService::keyPath(file));
}

QList<NBEFileDiagnostic> NBEDiagnosticsStore::sorted() const
{
    return NBEFileDiagnostics::sorted(m_diagnostics);
}

void NBEDiagnosticsStore::count(const QList<NBELSPDiagnostic> &list, int sign)
{
    const NBEDiagnosticSummary counted = NBEFileDiagnostics::summary(list);
    m_summary.errors += sign * counted.errors;
    m_summary.warnings += sign * counted.warnings;
}

void NBEDiagnosticsStore::set(const QUrl &file, const QList<NBELSPDiagnostic> &list)
{
    const QString key = NBEFileService::keyPath(file);
    count(m_diagnostics.value(key), -1);
    count(list, +1);
    m_diagnostics.insert(key, list);
    Q_EMIT fileChanged(file);
    Q_EMIT changed();
}

void NBEDiagnosticsStore::remove(const QUrl &file)
{
    const auto it = m_diagnostics.constFind(NBEFileService::keyPath(file));
    if (it == m_diagnostics.cend())
        return;
    count(*it, -1);
    m_diagnostics.erase(it);
    Q_EMIT fileChanged(file);
    Q_EMIT changed();
}

void NBEDiagnosticsStore::clear()
{
    const QStringList files = m_diagnostics.keys();
    m_diagnostics.clear();
    m_summary = {};
    for (const QString &path : files)
        Q_EMIT fileChanged(QUrl::fromLocalFile(path));
    Q_EMIT changed();
}
