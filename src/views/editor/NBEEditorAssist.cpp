#include "NBEEditorAssist.h"

#include "NBECompletionController.h"
#include "NBEEditorSession.h"
#include "NBEEmmetController.h"
#include "NBEHoverController.h"
#include "NBELinkedRenameController.h"
#include "NBETagClosingController.h"

NBEEditorAssist::NBEEditorAssist(NBEEditorSession *session,
                                 const std::shared_ptr<NBETextBuffer> &buffer,
                                 NBECodeTextEdit *textView, QObject *owner)
    : QObject(owner)
    , m_session(session)
    , m_emmet(new NBEEmmetController(textView, this))
    , m_tagClosing(new NBETagClosingController(textView, this))
    , m_linkedRename(new NBELinkedRenameController(textView, buffer, this))
    , m_completion(new NBECompletionController(textView, buffer, this))
    , m_hover(new NBEHoverController(textView, this))
{
    feed();
}

void NBEEditorAssist::feed()
{
    const std::optional<QString> languageID = m_session->languageID();
    m_emmet->setLanguageID(languageID);
    m_emmet->setSettings(m_session->settings());
    m_tagClosing->setLanguageID(languageID);
    m_linkedRename->setLanguageID(languageID);
    m_completion->setLanguageID(languageID);
    const NBEEditorProviders &providers = m_session->providers();
    m_completion->setDocumentLocation(providers.fileURL, providers.projectRoot);
    m_completion->setServer(providers.completion, providers.completionTriggers);
    m_hover->setProvider(providers.hover);
}

void NBEEditorAssist::setSettings(const NBEEditorSettings &settings)
{
    m_emmet->setSettings(settings);
}

void NBEEditorAssist::textEdited(int position, int removed, int added)
{
    // A partner's rename is the typing help's own edit: it neither opens nor
    // hides anything.
    const bool mirrored = m_linkedRename->isMirroring();
    m_linkedRename->textEdited(position);
    m_completion->textEdited(position, removed, added, mirrored);
    if (!mirrored)
        m_hover->textEdited();
}
