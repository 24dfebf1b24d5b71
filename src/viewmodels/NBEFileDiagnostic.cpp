#include "NBEFileDiagnostic.h"

#include "NBEFileTreeNode.h"

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
    QList<NBEFileDiagnostic> all;
    for (auto it = diagnostics.cbegin(); it != diagnostics.cend(); ++it) {
        const QUrl url = QUrl::fromLocalFile(it.key());
        for (const NBELSPDiagnostic &diagnostic : it.value())
            all.append(NBEFileDiagnostic{url, diagnostic});
    }
    std::stable_sort(all.begin(), all.end(), precedes);
    return all;
}

NBEDiagnosticSummary summary(const NBEDiagnosticsByFile &diagnostics)
{
    NBEDiagnosticSummary result;
    for (const auto &list : diagnostics) {
        for (const NBELSPDiagnostic &diagnostic : list) {
            if (diagnostic.severity == NBELSPDiagnostic::Severity::error)
                ++result.errors;
            else if (diagnostic.severity == NBELSPDiagnostic::Severity::warning)
                ++result.warnings;
        }
    }
    return result;
}

} // namespace NBEFileDiagnostics
