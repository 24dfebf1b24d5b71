#pragma once

#include "NBETextEditorInputs.h"

#include <QWidget>

class NBECodeTextEdit;
class NBEFindBar;
class NBETextEditorCoordinator;

// The code editor for one open file: the text view with its gutter and find
// bar, driven by a coordinator. Everything it shows and does arrives as
// inputs; `update` carries a new set in.
class NBETextEditorView : public QWidget
{
    Q_OBJECT

public:
    explicit NBETextEditorView(const NBETextEditorInputs &inputs, QWidget *parent = nullptr);
    ~NBETextEditorView() override;

    void applyInputs(const NBETextEditorInputs &inputs);

    NBECodeTextEdit *textView() const { return m_textView; }
    NBEFindBar *findBar() const { return m_findBar; }
    NBETextEditorCoordinator *coordinator() const { return m_coordinator; }

private:
    NBECodeTextEdit *m_textView;
    NBEFindBar *m_findBar;
    NBETextEditorCoordinator *m_coordinator;
};
