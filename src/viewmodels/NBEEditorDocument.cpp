#include "NBEEditorDocument.h"

namespace {

// Stores `value` and says whether it differed.
template <typename T> bool assign(T &field, const T &value)
{
    if (field == value)
        return false;
    field = value;
    return true;
}

} // namespace

NBEEditorDocument::NBEEditorDocument(std::shared_ptr<NBETextBuffer> buffer, QObject *parent)
    : QObject(parent)
    , m_buffer(buffer ? std::move(buffer) : NBETextBuffer::make())
{}

void NBEEditorDocument::setBuffer(std::shared_ptr<NBETextBuffer> buffer)
{
    if (!buffer || buffer == m_buffer)
        return;
    m_buffer = std::move(buffer);
    m_viewState.reset();
    m_caret = {};
    Q_EMIT bufferChanged();
}

void NBEEditorDocument::setFileURL(const QUrl &url)
{
    if (assign(m_fileURL, url))
        Q_EMIT fileURLChanged();
}

std::optional<QString> NBEEditorDocument::languageID() const
{
    return m_language ? std::optional(m_language->id) : std::nullopt;
}

void NBEEditorDocument::setLanguage(const std::optional<NBELanguage> &language)
{
    if (assign(m_language, language))
        Q_EMIT languageChanged();
}

void NBEEditorDocument::setSettings(const NBEEditorSettings &settings)
{
    if (settings == m_settings)
        return;
    const NBEEditorSettings previous = std::exchange(m_settings, settings);
    Q_EMIT settingsChanged(previous);
}

void NBEEditorDocument::setRepositoryRoot(const std::optional<QUrl> &root)
{
    if (assign(m_repositoryRoot, root))
        Q_EMIT repositoryRootChanged();
}

void NBEEditorDocument::setHeadContent(const std::optional<QString> &headContent)
{
    if (assign(m_headContent, headContent))
        Q_EMIT headContentChanged();
}

void NBEEditorDocument::setDiagnostics(const QList<NBELSPDiagnostic> &diagnostics)
{
    if (assign(m_diagnostics, diagnostics))
        Q_EMIT diagnosticsChanged();
}
