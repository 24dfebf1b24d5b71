#pragma once

#include "NBECSSColors.h"
#include "NBETextRange.h"

#include <QColor>
#include <QColorDialog>
#include <QList>
#include <QMenu>
#include <QPointer>
#include <QRectF>
#include <QTextCursor>
#include <QWidget>

#include <functional>
#include <optional>

class NBECodeTextEdit;
class NBETextBuffer;
struct NBETextChange;

// A small square of each colour literal's colour after the end of its line
// (or of the piece of a long line that holds it), over the text view's
// viewport. Clicking one opens a colour dialog; every colour picked there
// rewrites the literal in its own notation. Squares that would run past the
// right edge are gathered in one "+N" box at the end of the row, whose click
// lists their colours.
//
// The overlay lies above the viewport but lets every mouse event through;
// it watches the viewport's presses and takes only those on a swatch.
class NBEColorSwatchOverlay : public QWidget
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
    // coordinates (which are this overlay's).
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

Q_SIGNALS:
    // A picked colour was handed to onPick (or found to change nothing).
    void pickFlushed();

protected:
    void paintEvent(QPaintEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void beginPicking(int index);
    void showMore(const Box &box);
    // Places the boxes of the swatches `row` of one line from `left` on, up
    // to `right` at most when it can.
    void placeRow(QList<Box> &boxes, const QList<int> &row, qreal left, qreal right, qreal middle,
                  qreal side) const;
    QFont moreFont(qreal side) const;
    static QString moreText(qsizetype count);
    void colorDidChange(const QColor &color);
    void flushPick();
    void textDidChange(const NBETextChange &change);
    // Draws again where an edit moved or changed squares.
    void updateEdited(const NBETextChange &change);
    QString literalAt(NBETextRange range) const;
    void followViewport();

    QPointer<NBECodeTextEdit> m_textView;
    // The text view's child, as this overlay is: both go with the text view.
    QWidget *m_viewport;
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
};
