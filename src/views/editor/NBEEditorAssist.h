#pragma once

#include <QObject>

#include <memory>

class NBECodeTextEdit;
class NBECompletionController;
class NBEEditorSession;
class NBEEmmetController;
class NBEHoverController;
class NBELinkedRenameController;
class NBETagClosingController;
class NBETextBuffer;
struct NBEEditorSettings;

// One editor's typing help: completion, hover, Emmet, tag closing and
// linked renames, wired to the text view and fed from the session.
class NBEEditorAssist : public QObject
{
    Q_OBJECT

public:
    NBEEditorAssist(NBEEditorSession *session, const std::shared_ptr<NBETextBuffer> &buffer,
                    NBECodeTextEdit *textView, QObject *owner);

    NBECompletionController *completion() const { return m_completion; }
    NBEHoverController *hover() const { return m_hover; }

    // Gives every controller the session's language and providers.
    void feed();
    void setSettings(const NBEEditorSettings &settings);
    // An edit of the text, in its offsets.
    void textEdited(int position, int removed, int added);

private:
    NBEEditorSession *m_session;
    NBEEmmetController *m_emmet;
    NBETagClosingController *m_tagClosing;
    NBELinkedRenameController *m_linkedRename;
    NBECompletionController *m_completion;
    NBEHoverController *m_hover;
};
