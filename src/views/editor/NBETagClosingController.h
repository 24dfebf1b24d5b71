#pragma once

#include "NBEKeyHandler.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <optional>

class NBECodeTextEdit;
class QKeyEvent;

// Closing tags in HTML: ">" typed at the end of an opening tag puts the
// matching closing tag after the caret, as one undo step.
class NBETagClosingController : public QObject, public NBEKeyHandler
{
    Q_OBJECT

public:
    NBETagClosingController(NBECodeTextEdit *textView, QObject *parent);
    ~NBETagClosingController() override;

    void setLanguageID(const std::optional<QString> &languageID);

    // A key before the text view sees it; true when handled here.
    bool keyCommand(QKeyEvent *event) override;
    // After completion and Emmet.
    int keyPriority() const override { return 10; }

    // The name of the opening tag that a ">" at `offset` would close;
    // nothing for void elements, closing tags, comments and the like.
    static std::optional<QString> openingTagName(int offset, const QString &text);

private:
    bool closeTag();

    QPointer<NBECodeTextEdit> m_textView;
    bool m_isHTML = false;
};
