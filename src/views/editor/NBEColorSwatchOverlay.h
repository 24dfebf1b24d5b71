#pragma once

#include "NBECSSColors.h"
#include "NBETextRange.h"

#include <QColor>
#include <QColorDialog>
#include <QList>
#include <QPointer>
#include <QRectF>
#include <QTextCursor>
#include <QWidget>

#include <functional>
#include <optional>

class NBECodeTextEdit;
class NBETextBuffer;
struct NBETextChange;

// A small square of each colour literal's colour after the end of its line,
// over the text view's viewport. Clicking one opens a colour dialog; every
// colour picked there rewrites the literal in its own notation.
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

    struct Box
    {
        QRectF rect;
        int index = 0;
    };
    // The squares of the swatches in the visible lines, in the viewport's
    // coordinates (which are this overlay's).
    QList<Box> boxes() const;
    // The swatch whose square holds a point of the viewport.
    std::optional<int> swatchAt(const QPointF &point) const;

    // The literal the colour dialog writes to, and its text.
    std::optional<NBETextRange> activeRange() const;
    std::optional<QString> activeOriginal() const { return m_activeOriginal; }
    // Made on the first click on a swatch.
    QColorDialog *colorPanel() const { return m_panel; }

Q_SIGNALS:
    // A picked colour was handed to onPick (or found to change nothing).
    void pickFlushed();

protected:
    void paintEvent(QPaintEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void beginPicking(int index);
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
};
