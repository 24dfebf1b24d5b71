#pragma once

#include "NBEDefaultThemes.h"
#include "NBEScrollLink.h"
#include "NBETextBuffer.h"
#include "NBETextEditorInputs.h"

#include <QObject>

#include <memory>

// Stands in for the window around one editor: holds the tab's buffer and the
// values and actions the editor is handed, and records what reaches them.
// Not copyable: the editor's callbacks point at it.
struct NBEEditorTestHost
{
    explicit NBEEditorTestHost(const QString &text = {}) { setBuffer(NBETextBuffer::make(text)); }
    NBEEditorTestHost(const NBEEditorTestHost &) = delete;
    NBEEditorTestHost &operator=(const NBEEditorTestHost &) = delete;

    std::shared_ptr<NBETextBuffer> buffer() const { return m_buffer; }
    // A buffer made elsewhere (a large one, or one an earlier editor showed);
    // an editor made afterwards shows it.
    void setBuffer(std::shared_ptr<NBETextBuffer> buffer)
    {
        m_context = std::make_unique<QObject>();
        m_buffer = std::move(buffer);
        announced = m_buffer->text();
        QObject::connect(m_buffer.get(), &NBETextBuffer::changed, m_context.get(),
                         [this](const NBETextChange &change) {
                             announced.replace(change.position, change.removed, change.inserted);
                             ++changes;
                         });
    }
    QString text() const { return m_buffer->text(); }
    // A new text from outside the editor (a reload from disk).
    void setText(const QString &text) { m_buffer->replaceAll(text); }

    std::optional<NBELanguage> language;
    NBETheme theme = NBEDefaultThemes::light();
    NBEEditorSettings settings;
    std::optional<QString> head;
    QList<NBELSPDiagnostic> diagnostics;
    QPointer<NBEScrollLink> link;
    std::optional<QUrl> fileURL;
    std::optional<QUrl> projectRoot;

    std::optional<int> reveal;

    decltype(NBETextEditorInputs::lspCompletion) lspCompletion;
    QString triggers;
    decltype(NBETextEditorInputs::lspHover) lspHover;
    decltype(NBETextEditorInputs::lspFormatting) lspFormatting;
    decltype(NBETextEditorInputs::isHunkStaged) isHunkStaged;

    // The text rebuilt from the changes the buffer announced, and how many
    // there were.
    QString announced;
    int changes = 0;
    QList<QPair<int, int>> carets;
    QList<NBEDiffHunk> staged, unstaged, discarded;

    NBETextEditorInputs inputs()
    {
        NBETextEditorInputs in;
        in.buffer = m_buffer;
        in.language = language;
        in.theme = theme;
        in.settings = settings;
        in.onCursorChange = [this](int line, int column) { carets.append({line, column}); };
        in.revealLine = NBEBinding<std::optional<int>>::over(reveal);
        in.headContent = head;
        in.scrollLink = link;
        in.fileURL = fileURL;
        in.projectRoot = projectRoot;
        in.diagnostics = diagnostics;
        in.lspCompletion = lspCompletion;
        in.lspCompletionTriggers = [this] { return triggers; };
        in.lspHover = lspHover;
        in.lspFormatting = lspFormatting;
        in.onStageHunk = [this](const NBEDiffHunk &hunk) { staged.append(hunk); };
        in.onUnstageHunk = [this](const NBEDiffHunk &hunk) { unstaged.append(hunk); };
        in.onDidDiscardHunk = [this](const NBEDiffHunk &hunk) { discarded.append(hunk); };
        in.isHunkStaged = isHunkStaged;
        return in;
    }

private:
    std::shared_ptr<NBETextBuffer> m_buffer;
    // Ends the buffer's connection with the host when the host goes, even
    // if an editor still holds the buffer.
    std::unique_ptr<QObject> m_context;
};
