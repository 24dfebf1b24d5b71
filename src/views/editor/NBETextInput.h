#pragma once

class QDropEvent;
class QMimeData;

// What a text view hands on before taking it its own way: pastes, drops,
// copies, undo and redo. A view that shows its text split (see
// NBELongLineView) goes by the text for them; each answers false (or null)
// when the view is to take it as usual.
class NBETextInput
{
public:
    virtual ~NBETextInput() = default;

    // Puts `source`'s text in place of the selection.
    virtual bool paste(const QMimeData *source) = 0;
    virtual bool drop(QDropEvent *event) = 0;
    // The selection's text.
    virtual QMimeData *copy() const = 0;
    virtual bool undoOrRedo(bool redo) = 0;
};
