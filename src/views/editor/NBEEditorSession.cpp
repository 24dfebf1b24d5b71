#include "NBEEditorSession.h"

#include "NBEScrollLink.h"

NBEEditorSession::NBEEditorSession(std::shared_ptr<NBETextBuffer> buffer, QObject *parent)
    : QObject(parent)
    , m_buffer(buffer ? std::move(buffer) : NBETextBuffer::make())
{}

std::optional<QString> NBEEditorSession::languageID() const
{
    return m_language ? std::optional(m_language->id) : std::nullopt;
}

void NBEEditorSession::setLanguage(const std::optional<NBELanguage> &language)
{
    if (language == m_language)
        return;
    m_language = language;
    Q_EMIT languageChanged();
}

void NBEEditorSession::setTheme(const NBETheme &theme)
{
    if (theme == m_theme)
        return;
    m_theme = theme;
    Q_EMIT themeChanged();
}

void NBEEditorSession::setSettings(const NBEEditorSettings &settings)
{
    if (settings == m_settings)
        return;
    const NBEEditorSettings previous = std::exchange(m_settings, settings);
    Q_EMIT settingsChanged(previous);
}

void NBEEditorSession::setHeadContent(const std::optional<QString> &headContent)
{
    if (headContent == m_headContent)
        return;
    m_headContent = headContent;
    Q_EMIT headContentChanged();
}

void NBEEditorSession::setDiagnostics(const QList<NBELSPDiagnostic> &diagnostics)
{
    if (diagnostics == m_diagnostics)
        return;
    m_diagnostics = diagnostics;
    Q_EMIT diagnosticsChanged();
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
