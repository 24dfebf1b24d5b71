// The built-in HTML check for files no server serves.
#include "NBEWorkspaceViewModel.h"

void NBEWorkspaceViewModel::scheduleHTMLValidation(const QUrl &url, const QString &content)
{
    m_htmlValidation->schedule(url, content);
}

void NBEWorkspaceViewModel::scheduleHTMLValidation(const QUrl &url,
                                                   const std::shared_ptr<NBETextBuffer> &buffer)
{
    m_htmlValidation->schedule(url, buffer);
}
