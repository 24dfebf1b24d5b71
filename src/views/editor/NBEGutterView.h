#pragma once

#include "NBELineDiff.h"

#include <QColor>
#include <QFont>
#include <QFuture>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <optional>

class NBECodeTextEdit;
class NBEHunkPopoverView;

// The strip left of the text: the number of every visible line, a bar on the
// lines that differ from the file's HEAD text, a triangle where HEAD lines
// were removed, and a popover with the actions on a change hunk when such a
// line is clicked.
class NBEGutterView : public QWidget
{
    Q_OBJECT

public:
    explicit NBEGutterView(NBECodeTextEdit *textView);
    ~NBEGutterView() override;

    int preferredWidth() const;
    QFont numberFont() const { return m_font; }
    void setNumberFont(const QFont &font);

    // The visible lines as (1-based line number, rectangle in gutter
    // coordinates); a wrapped line is one rectangle over all its rows.
    QList<QPair<int, QRect>> visibleLineLayout() const;

    // Told of each repaint the text view asks for (`dy` when it scrolled):
    // only the rows whose number or place changed are drawn again, so a key
    // that recolours the lines on screen leaves the numbers alone.
    void followText(const QRect &rect, int dy);

    const NBELineChanges &lineChanges() const { return m_lineChanges; }
    // Redraws only when one of the three sets really changes.
    void setLineChanges(const NBELineChanges &changes);

    // Set by the coordinator that installs the gutter.
    std::function<std::optional<NBEDiffHunk>(int line)> hunkForLine;
    std::function<void(const NBEDiffHunk &)> onDiscardHunk;
    std::function<void(const NBEDiffHunk &)> onStageHunk;
    std::function<void(const NBEDiffHunk &)> onUnstageHunk;
    std::function<QFuture<bool>(const NBEDiffHunk &)> isHunkStaged;
    bool canStageHunk = true;

    // Shows the hunk's popover beside a line rectangle (gutter coordinates),
    // closing the one shown before.
    void presentPopover(const NBEDiffHunk &hunk, const QRect &lineRect);
    NBEHunkPopoverView *changePopover() const;

    static constexpr int minimumWidth = 44;
    static constexpr int numberInset = 8;
    static constexpr int changeBarWidth = 3;
    static QColor addedColor();
    static QColor modifiedColor();
    static QColor deletedColor();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;

private:
    void closePopover();
    void updateRow(const QRect &box);

    NBECodeTextEdit *m_textView;
    QFont m_font;
    NBELineChanges m_lineChanges;
    QPointer<NBEHunkPopoverView> m_changePopover;
    // The rows as the gutter shows them once its pending paints are done;
    // nothing after a scroll left that unknown.
    std::optional<QList<QPair<int, QRect>>> m_shown;
    // Rows were marked for drawing and not drawn yet.
    bool m_rowsPending = false;
};
