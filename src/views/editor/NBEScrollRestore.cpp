#include "NBEScrollRestore.h"

#include <QEvent>
#include <QPlainTextEdit>
#include <QScrollBar>

NBEScrollRestore *NBEScrollRestore::start(QPlainTextEdit *view, std::optional<Place> place)
{
    // One at a time: a newer place replaces an older one still waiting.
    for (NBEScrollRestore *older :
         view->findChildren<NBEScrollRestore *>(Qt::FindDirectChildrenOnly))
        older->finish();
    return new NBEScrollRestore(view, place);
}

NBEScrollRestore::NBEScrollRestore(QPlainTextEdit *view, std::optional<Place> place)
    : QObject(view)
    , m_view(view)
    , m_viewport(view->viewport())
    , m_place(place)
{
    for (QScrollBar *bar : {view->verticalScrollBar(), view->horizontalScrollBar()}) {
        // The caret is shown by the view's own size, not by each change of
        // the text's length.
        connect(bar, &QScrollBar::rangeChanged, this, [this] {
            if (m_place)
                apply();
        });
        connect(bar, &QScrollBar::valueChanged, this, [this, bar](int value) {
            // A value held down by a range still too short is the layout's
            // doing, not a scroll.
            if (m_applying || (value == bar->maximum() && m_place))
                return;
            finish();
        });
    }
    // A caret moved meanwhile (a line revealed) is what shows instead.
    connect(view, &QPlainTextEdit::cursorPositionChanged, this, [this] { m_place.reset(); });
    m_viewport->installEventFilter(this);
    apply();
}

void NBEScrollRestore::apply()
{
    if (m_done)
        return;
    m_applying = true;
    if (m_place) {
        m_view->verticalScrollBar()->setValue(m_place->vertical);
        m_view->horizontalScrollBar()->setValue(m_place->horizontal);
    } else {
        m_view->ensureCursorVisible();
    }
    m_applying = false;
}

bool NBEScrollRestore::isThere() const
{
    if (!m_place)
        return true;
    return m_view->verticalScrollBar()->value() == m_place->vertical &&
           m_view->horizontalScrollBar()->value() == m_place->horizontal;
}

bool NBEScrollRestore::eventFilter(QObject *watched, QEvent *event)
{
    // Compared by the pointer kept: the view may be on its way out.
    if (m_done || watched != m_viewport)
        return false;
    if (event->type() == QEvent::Resize) {
        apply();
    } else if (event->type() == QEvent::Paint && m_view->isVisible()) {
        // Painted where it belongs: the layout is done.
        if (isThere()) {
            if (!m_place)
                apply();
            finish();
        } else {
            apply();
        }
    }
    return false;
}

void NBEScrollRestore::finish()
{
    if (m_done)
        return;
    m_done = true;
    m_viewport->removeEventFilter(this);
    deleteLater();
}
