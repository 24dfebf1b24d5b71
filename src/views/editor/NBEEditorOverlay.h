#pragma once

#include <QObject>

class NBECodeTextEdit;
class QMouseEvent;
class QPainter;
class QRectF;

// Something drawn over the editor's text, such as squiggles or colour
// squares. The text view paints its overlays in its viewport, after the
// text, in the order they came; they scroll with the text as it does. The
// viewport's mouse events reach them before the text.
class NBEEditorOverlay : public QObject
{
public:
    // Lives as a child of the text view, which paints it from now on.
    explicit NBEEditorOverlay(NBECodeTextEdit *textView);

    // Draws what meets `dirty` (viewport coordinates); the painter's state
    // is restored afterwards.
    virtual void paint(QPainter &painter, const QRectF &dirty) = 0;
    // A press, release, double click or move over the viewport: true when
    // taken here, so the text never sees it.
    virtual bool mouseEvent(QMouseEvent *event);
};
