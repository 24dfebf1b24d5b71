#pragma once

#include "NBETextInput.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPoint>

#include <QPointer>
#include <optional>
#include <utility>

class QDropEvent;
class QKeyEvent;
class QMouseEvent;
class QMimeData;
class NBECodeTextEdit;
class NBELongLineDocument;

// How a text view that shows a NBELongLineDocument takes what the user does
// where a split may stand: keys that would stop at or delete a split, drops,
// pastes and copies, which go by the text, and undo and redo, which go by
// the buffer's history (the split document keeps none). It watches the
// view's keys; the view hands it its pastes, drops, copies and undo.
class NBELongLineInput : public QObject, public NBETextInput
{
    Q_OBJECT

public:
    // Has `view`, which shows `document`'s document, place things by the
    // text and take its input here, until this goes.
    NBELongLineInput(NBECodeTextEdit *view, NBELongLineDocument *document);
    ~NBELongLineInput() override;

    // False (or null) once the document is gone, and for a paste or drop
    // without text.
    bool paste(const QMimeData *source) override;
    bool drop(QDropEvent *event) override;
    QMimeData *copy() const override;
    bool undoOrRedo(bool redo) override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool key(QKeyEvent *event);
    // A double or triple click selects the word or line it meant, across
    // the splits.
    bool click(QMouseEvent *event);
    // A drag on from such a click extends the selection from all it chose.
    bool extend(QMouseEvent *event);
    void uninstall();

    QPointer<NBECodeTextEdit> m_view;
    QPointer<NBELongLineDocument> m_document;
    // A key sent on to the view, not to be taken again.
    bool m_passing = false;
    // The last double click, which a third click follows soon.
    QElapsedTimer m_doubleClick;
    QPoint m_doubleClickAt;
    // The view offsets of the word or line such a click chose past the
    // splits, while its button is held.
    std::optional<std::pair<int, int>> m_unit;
};
