// Edits and caret moves: a tab's buffer announces each edit as a change, and
// the change travels on to the language servers, the built-in HTML check and
// auto-save. Nothing here reads the whole text.
#include "NBEWorkspaceViewModel.h"

namespace {

std::optional<QString> languageID(const NBEOpenTab &tab)
{
    if (!tab.language)
        return std::nullopt;
    return tab.language->id;
}

} // namespace

void NBEWorkspaceViewModel::followBuffer(const QUuid &tabID,
                                         const std::shared_ptr<NBETextBuffer> &buffer)
{
    NBETextBuffer *source = buffer.get();
    if (!source || m_followedBuffers.contains(source))
        return;
    m_followedBuffers.insert(source);
    connect(source, &QObject::destroyed, this,
            [this, source] { m_followedBuffers.remove(source); });
    connect(source, &NBETextBuffer::changed, this,
            [this, tabID, source](const NBETextChange &change) {
                bufferChanged(tabID, source, change);
            });
    connect(source, &NBETextBuffer::settled, this, [this, tabID, source] {
        const NBEOpenTab *tab = findTab(tabID);
        if (tab && tab->sourceFile.buffer.get() == source)
            Q_EMIT tabContentSettled(tabID);
    });
    connect(source, &NBETextBuffer::dirtyChanged, this, [this, tabID, source] {
        const NBEOpenTab *tab = findTab(tabID);
        if (tab && tab->sourceFile.buffer.get() == source)
            Q_EMIT tabsChanged();
    });
}

void NBEWorkspaceViewModel::bufferChanged(const QUuid &tabID, const NBETextBuffer *buffer,
                                          const NBETextChange &change)
{
    NBEOpenTab *tab = findTab(tabID);
    // A buffer the tab no longer shows (the preview tab moved on) is heard no
    // more.
    if (!tab || tab->sourceFile.buffer.get() != buffer)
        return;
    const QUrl url = tab->sourceFile.url;
    const std::optional<QString> language = languageID(*tab);
    const std::shared_ptr<NBETextBuffer> shared = tab->sourceFile.buffer;
    // Typing into a preview tab keeps it.
    if (std::exchange(tab->isEphemeral, false))
        Q_EMIT tabsChanged();
    Q_EMIT tabContentChanged(tabID);

    if (language == QLatin1String("swift") || hasWebLSP(language))
        m_languageServers->didChange(url, language, change, shared);
    else if (language == QLatin1String("html"))
        scheduleHTMLValidation(url, shared);

    if (autoSaveMode() == QLatin1String("afterDelay"))
        scheduleAutoSave(tabID);
}

void NBEWorkspaceViewModel::updateContent(const QString &content, const QUuid &forTab)
{
    if (NBEOpenTab *tab = findTab(forTab))
        tab->sourceFile.buffer->replaceAll(content);
}

void NBEWorkspaceViewModel::updateCursorPosition(int line, int column, const QUuid &forTab)
{
    NBEOpenTab *tab = findTab(forTab);
    if (!tab)
        return;
    tab->cursorPosition = NBECursorPosition{line, column};
    Q_EMIT cursorPositionChanged(forTab);
}
