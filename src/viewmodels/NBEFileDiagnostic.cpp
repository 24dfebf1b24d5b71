#include "NBEFileDiagnostic.h"

#include "NBEFileTreeNode.h"

#include <QFileInfo>

#include <algorithm>
#include <tuple>

namespace NBEFileDiagnostics {

bool precedes(const NBEFileDiagnostic &a, const NBEFileDiagnostic &b)
{
    if (a.diagnostic.severity != b.diagnostic.severity)
        return a.diagnostic.severity < b.diagnostic.severity;
    if (a.url != b.url) {
        // Equal names in different folders fall through to the path, so two
        // index.html files never compare as equal.
        if (const int c = NBEFileTreeNode::compareNames(a.url.fileName(), b.url.fileName()))
            return c < 0;
        if (const int c = QString::compare(a.url.path(), b.url.path()))
            return c < 0;
    }
    const auto &x = a.diagnostic;
    const auto &y = b.diagnostic;
    if (std::tie(x.startLine, x.startCharacter) != std::tie(y.startLine, y.startCharacter))
        return std::tie(x.startLine, x.startCharacter) < std::tie(y.startLine, y.startCharacter);
    return x.message < y.message;
}

QList<NBEFileDiagnostic> sorted(const NBEDiagnosticsByFile &diagnostics)
{
    // Files are ranked once (name comparisons are the costly part), then the
    // diagnostics sort on plain numbers: the same order as precedes().
    QStringList paths = diagnostics.keys();
    QList<QUrl> urls;
    urls.reserve(paths.size());
    std::sort(paths.begin(), paths.end(), [](const QString &a, const QString &b) {
        if (const int c =
                NBEFileTreeNode::compareNames(QFileInfo(a).fileName(), QFileInfo(b).fileName()))
            return c < 0;
        return QUrl::fromLocalFile(a).path() < QUrl::fromLocalFile(b).path();
    });
    struct Entry
    {
        int rank;
        const NBELSPDiagnostic *diagnostic;
    };
    QList<Entry> entries;
    for (int rank = 0; rank < paths.size(); ++rank) {
        urls.append(QUrl::fromLocalFile(paths[rank]));
        for (const NBELSPDiagnostic &diagnostic : *diagnostics.constFind(paths[rank]))
            entries.append(Entry{rank, &diagnostic});
    }
    std::stable_sort(entries.begin(), entries.end(), [](const Entry &a, const Entry &b) {
        const NBELSPDiagnostic &x = *a.diagnostic;
        const NBELSPDiagnostic &y = *b.diagnostic;
        return std::tie(x.severity, a.rank, x.startLine, x.startCharacter) <
                   std::tie(y.severity, b.rank, y.startLine, y.startCharacter) ||
               (std::tie(x.severity, a.rank, x.startLine, x.startCharacter) ==
                    std::tie(y.severity, b.rank, y.startLine, y.startCharacter) &&
                x.message < y.message);
    });
    QList<NBEFileDiagnostic> all;
    all.reserve(entries.size());
    for (const Entry &entry : std::as_const(entries))
        all.append(NBEFileDiagnostic{urls[entry.rank], *entry.diagnostic});
    return all;
}

NBEDiagnosticSummary summary(const NBEDiagnosticsByFile &diagnostics)
{
    NBEDiagnosticSummary result;
    for (const auto &list : diagnostics) {
        const NBEDiagnosticSummary file = summary(list);
        result.errors += file.errors;
        result.warnings += file.warnings;
    }
    return result;
}

NBEDiagnosticSummary summary(const QList<NBELSPDiagnostic> &diagnostics)
{
    NBEDiagnosticSummary result;
    for (const NBELSPDiagnostic &diagnostic : diagnostics) {
        if (diagnostic.severity == NBELSPDiagnostic::Severity::error)
            ++result.errors;
        else if (diagnostic.severity == NBELSPDiagnostic::Severity::warning)
            ++result.warnings;
    }
    return result;
}

} // namespace NBEFileDiagnostics
