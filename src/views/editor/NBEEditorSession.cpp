#include "NBEEditorSession.h"

#include "NBEScrollLink.h"

NBEEditorSession::NBEEditorSession(std::shared_ptr<NBEEditorDocument> document, QObject *parent)
    : QObject(parent)
    , m_document(document ? std::move(document) : std::make_shared<NBEEditorDocument>())
    , m_buffer(m_document->buffer())
{}

NBEEditorSession::NBEEditorSession(std::shared_ptr<NBETextBuffer> buffer, QObject *parent)
    : NBEEditorSession(std::make_shared<NBEEditorDocument>(std::move(buffer)), parent)
{}

void NBEEditorSession::setTheme(const NBETheme &theme)
{
    if (theme == m_theme)
        return;
    m_theme = theme;
    Q_EMIT themeChanged();
}

void NBEEditorSession::setProviders(const NBEEditorProviders &providers)
{
    // Functions can't be compared: every new set counts as a change.
    m_providers = providers;
    Q_EMIT providersChanged();
}

NBEScrollLink *NBEEditorSession::scrollLink() const
{
    return m_scrollLink;
}

void NBEEditorSession::setScrollLink(NBEScrollLink *link)
{
    m_scrollLink = link;
}
