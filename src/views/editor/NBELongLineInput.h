#pragma once

#include <QObject>
#include <QPointer>

class QDropEvent;
class QKeyEvent;
class QMimeData;
class NBECodeTextEdit;
class NBELongLineDocument;

// How a text view that shows a NBELongLineDocument takes what the user does
// where a split may stand: keys that would stop at or delete a split, drops,
// pastes and copies, which go by the text, and undo and redo, which go by
// the buffer's history (the split document keeps none). It watches the
// view's keys and drops; the view hands it its pastes, copies and undo.
class NBELongLineInput : public QObject
{
    Q_OBJECT

public:
    NBELongLineInput(NBECodeTextEdit *view, NBELongLineDocument *document);
    ~NBELongLineInput() override;

    // Puts `source`'s text in place of the selection; false when it has
    // none for the view to take its own way.
    bool paste(const QMimeData *source);
    // The selection's text; null once the document is gone.
    QMimeData *copy() const;
    // False once the document is gone.
    bool undoOrRedo(bool redo);
    // Takes a drop on the view; false when the view is to take it its own
    // way.
    bool drop(QDropEvent *event);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool key(QKeyEvent *event);

    NBECodeTextEdit *m_view;
    QPointer<NBELongLineDocument> m_document;
    // A key sent on to the view, not to be taken again.
    bool m_passing = false;
};
