// Saving and the auto-save settings; the saving itself is the tabs' owner's.
#include "NBEWorkspaceViewModel.h"

QFuture<bool> NBEWorkspaceViewModel::flushTab(const QUuid &id)
{
    return m_tabs->flushTab(id);
}

void NBEWorkspaceViewModel::autoSaveOnFocusChange()
{
    m_tabs->autoSaveOnFocusChange();
}
