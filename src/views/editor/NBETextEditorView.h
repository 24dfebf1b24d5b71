#pragma once

#include "NBEEditorSession.h"

#include <QWidget>

class NBECodeTextEdit;
class NBEFindBar;
class NBETextEditorCoordinator;

// The code editor for one open file: the text view with its gutter and find
// bar, driven by a coordinator. Everything it shows and does comes from its
// tab's session, whose changes it follows.
class NBETextEditorView : public QWidget
{
    Q_OBJECT

public:
    explicit NBETextEditorView(std::shared_ptr<NBEEditorSession> session,
                               QWidget *parent = nullptr);
    ~NBETextEditorView() override;

    NBECodeTextEdit *textView() const { return m_textView; }
    NBEFindBar *findBar() const { return m_findBar; }
    NBETextEditorCoordinator *coordinator() const { return m_coordinator; }

private:
    NBECodeTextEdit *m_textView;
    NBEFindBar *m_findBar;
    NBETextEditorCoordinator *m_coordinator;
};
