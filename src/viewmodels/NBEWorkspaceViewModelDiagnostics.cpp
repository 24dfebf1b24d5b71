// Diagnostics of every file, the built-in HTML check for files no server
// serves, and reveal requests for the editor.
#include "NBEWorkspaceViewModel.h"

void NBEWorkspaceViewModel::revealLine(const QUrl &url, int line)
{
    setDiffTarget(std::nullopt);
    openFile(url, false);
    // Set before the file has opened: the editor made for it finds it then.
    m_revealTarget = NBERevealTarget{url, line};
    Q_EMIT revealTargetChanged();
}

void NBEWorkspaceViewModel::revealDiagnostic(const QUrl &url, int line)
{
    revealLine(url, line);
}

void NBEWorkspaceViewModel::clearRevealTarget()
{
    if (!m_revealTarget)
        return;
    m_revealTarget.reset();
    Q_EMIT revealTargetChanged();
}

void NBEWorkspaceViewModel::scheduleHTMLValidation(const QUrl &url, const QString &content)
{
    m_htmlValidation->schedule(url, content);
}

void NBEWorkspaceViewModel::scheduleHTMLValidation(const QUrl &url,
                                                   const std::shared_ptr<NBETextBuffer> &buffer)
{
    m_htmlValidation->schedule(url, buffer);
}
