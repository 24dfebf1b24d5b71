#pragma once

#include "NBEDefaultThemes.h"
#include "NBEEditorSession.h"
#include "NBEScrollLink.h"
#include "NBETextBuffer.h"

#include <QObject>

#include <memory>

// Stands in for the window around one editor: holds the tab's session with a
// real buffer, the values and actions the session carries, and records what
// reaches them. Not copyable: the session's callbacks point at it.
struct NBEEditorTestHost
{
    explicit NBEEditorTestHost(const QString &text = {}) { setBuffer(NBETextBuffer::make(text)); }
    NBEEditorTestHost(const NBEEditorTestHost &) = delete;
    NBEEditorTestHost &operator=(const NBEEditorTestHost &) = delete;

    std::shared_ptr<NBETextBuffer> buffer() const { return m_session->buffer(); }
    // A buffer made elsewhere (a large one, or one an earlier editor showed)
    // in a new session; an editor made afterwards shows it.
    void setBuffer(std::shared_ptr<NBETextBuffer> buffer)
    {
        m_context = std::make_unique<QObject>();
        m_session = std::make_shared<NBEEditorSession>(std::move(buffer));
        announced = m_session->buffer()->text();
        QObject::connect(m_session->buffer().get(), &NBETextBuffer::changed, m_context.get(),
                         [this](const NBETextChange &change) {
                             announced.replace(change.position, change.removed, change.inserted);
                             ++changes;
                         });
        QObject::connect(m_session.get(), &NBEEditorSession::cursorMoved, m_context.get(),
                         [this](int line, int column) {
                             carets.append({line, column});
                         });
    }
    QString text() const { return m_session->buffer()->text(); }
    // A new text from outside the editor (a reload from disk).
    void setText(const QString &text) { m_session->buffer()->replaceAll(text); }

    // The session an editor is made with, holding the values below.
    std::shared_ptr<NBEEditorSession> session()
    {
        apply();
        return m_session;
    }
    // Carries the values below into the session, as the window does after a
    // change of them; a line to reveal is handed over once.
    void apply()
    {
        NBEEditorSession *session = m_session.get();
        NBEEditorDocument &document = session->document();
        document.setLanguage(language);
        session->setTheme(theme);
        document.setSettings(settings);
        document.setHeadContent(head);
        document.setDiagnostics(diagnostics);
        session->setScrollLink(link);
        session->setProviders({fileURL, projectRoot, lspCompletion, [this] { return triggers; },
                               lspHover, lspFormatting});
        NBEEditorHunkActions actions;
        actions.stage = [this](const NBEDiffHunk &hunk) { staged.append(hunk); };
        actions.unstage = [this](const NBEDiffHunk &hunk) { unstaged.append(hunk); };
        actions.didDiscard = [this](const NBEDiffHunk &hunk) { discarded.append(hunk); };
        actions.isStaged = isHunkStaged;
        session->setHunkActions(actions);
        if (reveal)
            session->reveal(*std::exchange(reveal, std::nullopt));
    }

    std::optional<NBELanguage> language;
    NBETheme theme = NBEDefaultThemes::light();
    NBEEditorSettings settings;
    std::optional<QString> head;
    QList<NBELSPDiagnostic> diagnostics;
    QPointer<NBEScrollLink> link;
    std::optional<QUrl> fileURL;
    std::optional<QUrl> projectRoot;
    std::optional<int> reveal;

    decltype(NBEEditorProviders::completion) lspCompletion;
    QString triggers;
    decltype(NBEEditorProviders::hover) lspHover;
    decltype(NBEEditorProviders::formatting) lspFormatting;
    decltype(NBEEditorHunkActions::isStaged) isHunkStaged;

    // The text rebuilt from the changes the buffer announced, and how many
    // there were.
    QString announced;
    int changes = 0;
    QList<QPair<int, int>> carets;
    QList<NBEDiffHunk> staged, unstaged, discarded;

private:
    std::shared_ptr<NBEEditorSession> m_session;
    // Ends the host's connections when the host goes, even if an editor
    // still holds the session.
    std::unique_ptr<QObject> m_context;
};
