#pragma once

#include "NBESourceEditor.h"
#include "NBETheme.h"

#include <QSplitter>
#include <QUuid>

class NBEHTMLPreview;
class NBEScrollLink;

// An HTML tab's source editor and its live page side by side, joined by one
// scroll link that lives as long as this view. The page follows the tab's
// buffer, unsaved edits included.
class NBEHTMLSplitView : public QSplitter
{
    Q_OBJECT

public:
    NBEHTMLSplitView(const NBESourceEditorOwners &owners, const QUuid &tabID, const NBETheme &theme,
                     QWidget *parent = nullptr);

    NBESourceEditor *sourceEditor() const { return m_editor; }
    NBEHTMLPreview *preview() const { return m_preview; }
    NBEScrollLink *scrollLink() const { return m_scrollLink; }

    static constexpr int minimumPaneWidth = 240;

private:
    void refresh();

    const NBEWorkspaceTabs &m_tabs;
    const NBEWorkspaceFiles &m_files;
    QUuid m_tabID;
    NBEScrollLink *m_scrollLink;
    NBESourceEditor *m_editor;
    NBEHTMLPreview *m_preview;
};
