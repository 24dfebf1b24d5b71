#pragma once

#include "NBEEditorSettings.h"

#include "NBEKeyHandler.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <optional>

class NBECodeTextEdit;
class QKeyEvent;

// Emmet in HTML: Tab after an abbreviation on the caret's line puts its
// markup in its place as one undo step, the caret in the first empty element.
class NBEEmmetController : public QObject, public NBEKeyHandler
{
    Q_OBJECT

public:
    NBEEmmetController(NBECodeTextEdit *textView, QObject *parent);
    ~NBEEmmetController() override;

    void setLanguageID(const std::optional<QString> &languageID);
    // The indentation of the expanded lines follows the tab settings.
    void setSettings(const NBEEditorSettings &settings) { m_settings = settings; }

    // A key before the text view sees it; true when handled here.
    bool keyCommand(QKeyEvent *event) override;
    // Tab expands an abbreviation unless the completion panel takes it.
    int keyPriority() const override { return 20; }

private:
    bool expand();

    QPointer<NBECodeTextEdit> m_textView;
    bool m_isHTML = false;
    NBEEditorSettings m_settings;
};
