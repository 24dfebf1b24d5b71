#pragma once

#include "NBECSSColors.h"
#include "NBEEditorOverlay.h"
#include "NBETextRange.h"

#include <QColor>
#include <QColorDialog>
#include <QList>
#include <QMenu>
#include <QPointer>
#include <QRectF>
#include <QRegion>
#include <QTextCursor>

#include <functional>
#include <optional>
#include <utility>

class NBECodeTextEdit;
class NBETextBuffer;
struct NBETextChange;

// A small square of each colour literal's colour after the end of its line
// (or of the piece of a long line that holds it), painted by the text view
// over its text. Clicking one opens a colour dialog; every colour picked
// there rewrites the literal in its own notation. Squares that would run
// past the right edge are gathered in one "+N" box at the end of the row
// (under or above the line's end, where no text is, when not even that box
// fits after it), whose click lists their colours. Of the viewport's mouse
// events it takes only the presses on a swatch.
class NBEColorSwatchOverlay : public NBEEditorOverlay
{
    Q_OBJECT

public:
    // Follows `buffer`'s changes, the text `textView` shows.
    NBEColorSwatchOverlay(NBECodeTextEdit *textView, NBETextBuffer *buffer);
    ~NBEColorSwatchOverlay() override;

    // Asked to replace a range of the text with a literal's new text.
    std::function<void(NBETextRange range, const QString &text)> onPick;

    const QList<NBECSSColorsSwatch> &swatches() const { return m_swatches; }
    // The ranges must be those of the current text (not of a split view).
    void setSwatches(const QList<NBECSSColorsSwatch> &swatches);

    // A square of the swatch `index`, or the "+N" box that stands for the
    // swatches `more` (the first of them is `index`).
    struct Box
    {
        QRectF rect;
        int index = 0;
        QList<int> more;
    };
    // The boxes of the swatches in the visible lines, in the viewport's
    // coordinates.
    QList<Box> boxes() const;
    // The box that holds a point of the viewport.
    std::optional<Box> boxAt(const QPointF &point) const;

    // The literal the colour dialog writes to, and its text.
    std::optional<NBETextRange> activeRange() const;
    std::optional<QString> activeOriginal() const { return m_activeOriginal; }
    // Made on the first click on a swatch.
    QColorDialog *colorPanel() const { return m_panel; }
    // The list of the swatches of a "+N" box, while it is open.
    QMenu *moreMenu() const { return m_more; }

    void paint(QPainter &painter, const QRectF &dirty) override;
    bool mouseEvent(QMouseEvent *event) override;

Q_SIGNALS:
    // A picked colour was handed to onPick (or found to change nothing).
    void pickFlushed();

private:
    void beginPicking(int index);
    void showMore(const Box &box);
    // One line's swatches and where their row goes: from `left` on,
    // centred on `middle`, the middle of the line's last row of `height`.
    struct Row
    {
        QList<int> swatches;
        qreal left = 0;
        qreal middle = 0;
        qreal height = 0;
        qreal side = 0;
    };
    // Where boxes may go on screen: left of `right`, above `bottom`, over
    // none of the rows of `text` shown. `aside` are the boxes with no room
    // after their line: their index and the height of its rows.
    struct Room
    {
        qreal right = 0;
        qreal bottom = 0;
        QList<QRectF> text;
        QList<std::pair<qsizetype, qreal>> aside;
    };
    void placeRow(QList<Box> &boxes, const Row &row, Room &room) const;
    // Once every row is placed, as the others leave room.
    static void moveAside(QList<Box> &boxes, const Room &room);
    QFont moreFont(qreal side) const;
    static QString moreText(qsizetype count);
    void colorDidChange(const QColor &color);
    void flushPick();
    void textDidChange(const NBETextChange &change);
    // Draws again where an edit moved or changed squares.
    void updateEdited(const NBETextChange &change);
    QString literalAt(NBETextRange range) const;
    // Marks an area of the viewport for drawing, all of it when empty.
    void update(const QRegion &area = {});

    QPointer<NBECodeTextEdit> m_textView;
    QList<NBECSSColorsSwatch> m_swatches;
    // Each swatch's text when it was stored: a swatch whose text changed is
    // dropped until the next scan.
    QStringList m_literals;
    // Selects the literal being edited, so edits before it carry it along.
    std::optional<QTextCursor> m_active;
    std::optional<QString> m_activeOriginal;
    std::optional<QColor> m_pendingColor;
    bool m_applyScheduled = false;
    bool m_pressTaken = false;
    bool m_pointing = false;
    QPointer<QColorDialog> m_panel;
    QPointer<QMenu> m_more;
    // Where the "+N" boxes were drawn last: one may leave its line, where
    // the line's own repaint doesn't reach.
    QList<QRectF> m_drawnMore;
};
