#pragma once

#include "NBECursorPosition.h"
#include "NBEEditorSettings.h"
#include "NBELSPDiagnostic.h"
#include "NBELanguage.h"
#include "NBETextBuffer.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>

#include <memory>
#include <optional>

// Where an editor of the document left its view, so the next editor of the
// same tab (after a switch to another tab) takes up the selection and the
// scroll position: text offsets, scroll-bar values and the buffer's revision
// they belong to.
struct NBEEditorViewState
{
    quint64 revision = 0;
    int anchor = 0;
    int position = 0;
    int verticalScroll = 0;
    int horizontalScroll = 0;
    bool operator==(const NBEEditorViewState &) const = default;
};

// One open tab's text and what its editors show with it: the buffer they
// edit in place, the file, its language, the editor settings, the file's
// text at HEAD and its diagnostics. Each part is set by its owner (the tabs,
// git, the diagnostics store) and announced only when it really changed, by
// what changed; an editor attached to the document asks nobody.
class NBEEditorDocument : public QObject
{
    Q_OBJECT

public:
    // Without a buffer the document holds an empty one of its own.
    explicit NBEEditorDocument(std::shared_ptr<NBETextBuffer> buffer = {},
                               QObject *parent = nullptr);

    // Another buffer means other text altogether (the preview tab moved to
    // another file): editors showing the old one are made again.
    const std::shared_ptr<NBETextBuffer> &buffer() const { return m_buffer; }
    void setBuffer(std::shared_ptr<NBETextBuffer> buffer);
    const QUrl &fileURL() const { return m_fileURL; }
    void setFileURL(const QUrl &url);
    const std::optional<NBELanguage> &language() const { return m_language; }
    std::optional<QString> languageID() const;
    void setLanguage(const std::optional<NBELanguage> &language);
    const NBEEditorSettings &settings() const { return m_settings; }
    void setSettings(const NBEEditorSettings &settings);
    // The repository holding the file; absent outside one.
    const std::optional<QUrl> &repositoryRoot() const { return m_repositoryRoot; }
    void setRepositoryRoot(const std::optional<QUrl> &root);
    // The file's text at HEAD; absent outside a repository or for a new file.
    const std::optional<QString> &headContent() const { return m_headContent; }
    void setHeadContent(const std::optional<QString> &headContent);
    const QList<NBELSPDiagnostic> &diagnostics() const { return m_diagnostics; }
    void setDiagnostics(const QList<NBELSPDiagnostic> &diagnostics);
    // Kept by an editor as it goes; forgotten with the buffer it was of.
    const std::optional<NBEEditorViewState> &viewState() const { return m_viewState; }
    void setViewState(const NBEEditorViewState &state) { m_viewState = state; }
    // The caret as the editor last reported it (1:1 until then); back at 1:1
    // with another buffer. The tabs announce its moves.
    NBECursorPosition caret() const { return m_caret; }
    void setCaret(NBECursorPosition caret) { m_caret = caret; }

Q_SIGNALS:
    void bufferChanged();
    void fileURLChanged();
    void languageChanged();
    void settingsChanged(const NBEEditorSettings &previous);
    void repositoryRootChanged();
    void headContentChanged();
    void diagnosticsChanged();

private:
    std::shared_ptr<NBETextBuffer> m_buffer;
    QUrl m_fileURL;
    std::optional<NBELanguage> m_language;
    NBEEditorSettings m_settings;
    std::optional<QUrl> m_repositoryRoot;
    std::optional<QString> m_headContent;
    QList<NBELSPDiagnostic> m_diagnostics;
    std::optional<NBEEditorViewState> m_viewState;
    NBECursorPosition m_caret;
};
