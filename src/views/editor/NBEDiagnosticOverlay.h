#pragma once

#include "NBEEditorOverlay.h"
#include "NBELSPDiagnostic.h"

#include <QColor>
#include <QList>
#include <QPointer>
#include <QPolygonF>
#include <QRectF>

#include <vector>

class NBECodeTextEdit;
class QPainter;
class QTextDocument;

// One wavy underline: the rectangle of text it lies under (viewport
// coordinates) and its colour.
struct NBEDiagnosticSquiggle
{
    QRectF rect;
    QColor color;
    bool operator==(const NBEDiagnosticSquiggle &) const = default;
};

// Draws a squiggle under every range of the text that a diagnostic names.
// The view paints it after the text, from the view's own layout, so
// squiggles scroll, wrap and move with the text; it takes no mouse input. A page can carry
// thousands of diagnostics: the list is sorted by line once when it arrives, and a paint places
// only those that can reach the lines on screen, so a key or caret move costs the screen, not the
// list.
class NBEDiagnosticOverlay : public NBEEditorOverlay
{
    Q_OBJECT

public:
    explicit NBEDiagnosticOverlay(NBECodeTextEdit *textView);

    NBECodeTextEdit *textView() const { return m_textView; }
    const QList<NBELSPDiagnostic> &diagnostics() const { return m_diagnostics; }
    // Redraws only when the list really changed.
    void setDiagnostics(const QList<NBELSPDiagnostic> &diagnostics);
    // Marks the whole view for drawing, e.g. after the text was replaced.
    void update();
    // Marks for drawing the lines that a change of `added` units at
    // `position` touched (and the rest of the view when the number of lines
    // changed, as the text below moved too).
    void updateChange(int position, int added);

    // The squiggles of the lines on screen that touch `area` (viewport
    // coordinates), in list order.
    QList<NBEDiagnosticSquiggle> squiggles(const QRectF &area) const;
    void paint(QPainter &painter, const QRectF &dirty) override;

    // A zero-based line and UTF-16 character as an offset into the document.
    // A line past the last one gives the text's length; a character past its
    // line's end runs on into the next lines; the result is kept inside the
    // text.
    static qsizetype offset(qint64 line, qint64 character, const QTextDocument *document);
    // The wave under one rectangle: rising first, 2 px per segment, ending at
    // the right edge.
    static QPolygonF squigglePath(const QRectF &rect);
    static QColor color(NBELSPDiagnosticSeverity severity);

Q_SIGNALS:
    // The view drew squiggles for a dirty area; for tests.
    void painted(const QList<NBEDiagnosticSquiggle> &squiggles);

private:
    // A diagnostic by the lines it can touch: it starts on `startLine` or
    // later, and its end (a character past its line runs on) lies no further
    // than `reach` lines down, as every line holds at least its break.
    struct Entry
    {
        qint64 startLine;
        qint64 reach;
        qsizetype index;
    };
    // The indexes, in list order, of the diagnostics that may touch the text
    // lines `first` to `last` (zero-based).
    QList<qsizetype> candidates(qint64 first, qint64 last) const;

    QPointer<NBECodeTextEdit> m_textView;
    QList<NBELSPDiagnostic> m_diagnostics;
    // By start line; `m_reachSoFar[i]` is the furthest reach of entries 0..i.
    std::vector<Entry> m_byLine;
    std::vector<qint64> m_reachSoFar;
    int m_blockCount = -1;
};
