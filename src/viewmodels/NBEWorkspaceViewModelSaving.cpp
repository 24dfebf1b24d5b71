// Saving and the auto-save settings; the saving itself is the tabs' owner's.
#include "NBEWorkspaceViewModel.h"

QString NBEWorkspaceViewModel::autoSaveMode() const
{
    return preferences().autoSaveMode();
}

double NBEWorkspaceViewModel::autoSaveDelay() const
{
    return preferences().autoSaveDelay();
}

bool NBEWorkspaceViewModel::softTabsSetting() const
{
    return preferences().useSoftTabs();
}

int NBEWorkspaceViewModel::tabSizeSetting() const
{
    return preferences().tabSize();
}

QString NBEWorkspaceViewModel::currentIndentUnit() const
{
    return m_tabs->currentIndentUnit();
}

QFuture<bool> NBEWorkspaceViewModel::saveTab(const QUuid &id, bool force)
{
    return m_tabs->saveTab(id, force);
}

QFuture<bool> NBEWorkspaceViewModel::settleUnsavedEdits()
{
    return m_tabs->settleUnsavedEdits();
}

QFuture<bool> NBEWorkspaceViewModel::flushTab(const QUuid &id)
{
    return m_tabs->flushTab(id);
}

void NBEWorkspaceViewModel::autoSaveOnFocusChange()
{
    m_tabs->autoSaveOnFocusChange();
}
