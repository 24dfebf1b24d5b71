#include "NBEEditorOverlay.h"

#include "NBECodeTextEdit.h"

NBEEditorOverlay::NBEEditorOverlay(NBECodeTextEdit *textView)
    : QObject(textView)
{
    textView->addOverlay(this);
}

bool NBEEditorOverlay::mouseEvent(QMouseEvent *)
{
    return false;
}
