#pragma once

#include "NBECodeTextEdit.h"

#include <memory>

class NBESplitStart;

struct NBEEditorSettings;
struct NBETheme;

// The start of a file that is still being opened, shown as its editor will
// show it (font, colours, wrapping, line numbers) until the editor takes its
// place: a long text takes a while to take in. Read only.
class NBEOpeningView : public NBECodeTextEdit
{
    Q_OBJECT

public:
    NBEOpeningView(const QString &start, const NBETheme &theme, const NBEEditorSettings &settings,
                   QWidget *parent = nullptr);
    ~NBEOpeningView() override;

private:
    std::unique_ptr<NBESplitStart> m_start;
};
