// Routing documents to the Swift and web language sessions, collecting their
// diagnostics, and the web providers the editor and saving use.
#include "NBEWorkspaceViewModel.h"

void NBEWorkspaceViewModel::startLSPSession(const QUrl &)
{
    shutdownLSP();
}

void NBEWorkspaceViewModel::shutdownLSP()
{
    m_diagnostics.clear();
    Q_EMIT diagnosticsChanged();
}

bool NBEWorkspaceViewModel::hasWebLSP(const std::optional<QString> &)
{
    return false;
}

QFuture<void> NBEWorkspaceViewModel::lspDidOpen(const QUrl &, const std::optional<NBELanguage> &,
                                                const QString &)
{
    return QtFuture::makeReadyFuture();
}

void NBEWorkspaceViewModel::lspDidChange(const QUrl &, const std::optional<QString> &,
                                         const QString &)
{}

void NBEWorkspaceViewModel::notifyClosed(const QList<QUrl> &) {}

QFuture<std::optional<QString>> NBEWorkspaceViewModel::webHover(const QUrl &, int, int)
{
    return QtFuture::makeReadyFuture(std::optional<QString>());
}

QFuture<std::optional<QString>> NBEWorkspaceViewModel::webFormatting(const QUrl &, const QString &,
                                                                     int, bool)
{
    return QtFuture::makeReadyFuture(std::optional<QString>());
}
