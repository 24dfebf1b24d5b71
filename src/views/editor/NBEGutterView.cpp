#include "NBEGutterView.h"

#include "NBEBrand.h"
#include "NBECodeTextEdit.h"
#include "NBEHunkPopoverView.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QTextBlock>

#include <cmath>

NBEGutterView::NBEGutterView(NBECodeTextEdit *textView)
    : QWidget(textView)
    , m_textView(textView)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

NBEGutterView::~NBEGutterView()
{
    closePopover();
}

QColor NBEGutterView::addedColor()
{
    return QColor(0x28, 0xA7, 0x45);
}

QColor NBEGutterView::modifiedColor()
{
    return NBEBrand::amber();
}

QColor NBEGutterView::deletedColor()
{
    return QColor(0xE0, 0x3E, 0x3E);
}

void NBEGutterView::setNumberFont(const QFont &font)
{
    m_font = font;
    m_font.setStyleHint(QFont::Monospace);
    update();
}

void NBEGutterView::setLineChanges(const NBELineChanges &changes)
{
    if (changes == m_lineChanges)
        return;
    m_lineChanges = changes;
    update();
}

int NBEGutterView::preferredWidth() const
{
    // Wide enough for the largest line number, never narrower than the
    // usual ruler.
    const int digits = QString::number(std::max(1, m_textView->lineCount())).size();
    const int numbers = QFontMetrics(m_font).horizontalAdvance(QString(digits, QLatin1Char('9')));
    return std::max(minimumWidth, numbers + 2 * numberInset);
}

QList<QPair<int, QRect>> NBEGutterView::visibleLineLayout() const
{
    QList<QPair<int, QRect>> lines;
    QTextBlock block = m_textView->firstVisibleBlock();
    if (!block.isValid())
        return lines;
    const QPointF offset = m_textView->contentOffset();
    const int viewportTop =
        m_textView->viewport()->geometry().top() - m_textView->contentsRect().top();
    const int bottom = height();
    // A final empty line after a trailing line feed gets no number, like the
    // last row of a text view that ends in a line break; an empty text's
    // only line is line 1.
    const QTextBlock last = m_textView->document()->lastBlock();
    while (block.isValid()) {
        const QRectF box = m_textView->blockBoundingGeometry(block).translated(offset);
        const int top = int(std::round(box.top())) + viewportTop;
        if (top > bottom)
            break;
        const int height = int(std::round(box.height()));
        // A piece split off a long line widens its line's rows.
        if (m_textView->continuesLine(block) && !lines.isEmpty())
            lines.last().second.setBottom(top + height - 1);
        else if (block.isVisible() &&
                 !(block == last && block.length() <= 1 && block.blockNumber() > 0))
            lines.append({m_textView->lineNumberOf(block), QRect(0, top, width(), height)});
        block = block.next();
    }
    return lines;
}

void NBEGutterView::followText(const QRect &rect, int dy)
{
    if (dy) {
        scroll(0, dy);
        // Rows marked before the scroll would be drawn where they were.
        if (std::exchange(m_rowsPending, false))
            update();
        m_shown.reset();
        return;
    }
    QList<QPair<int, QRect>> lines = visibleLineLayout();
    if (!m_shown) {
        update(0, rect.y(), width(), rect.height());
        m_shown = std::move(lines);
        return;
    }
    const QList<QPair<int, QRect>> &shown = *m_shown;
    for (qsizetype i = 0; i < std::max(lines.size(), shown.size()); ++i) {
        if (i < lines.size() && i < shown.size() && lines[i] == shown[i])
            continue;
        if (i < lines.size())
            updateRow(lines[i].second);
        if (i < shown.size())
            updateRow(shown[i].second);
    }
    m_shown = std::move(lines);
}

void NBEGutterView::updateRow(const QRect &box)
{
    // A deletion's triangle reaches 4 px past its row.
    update(QRect(0, box.top() - 4, width(), box.height() + 8));
    m_rowsPending = true;
}

void NBEGutterView::paintEvent(QPaintEvent *event)
{
    m_rowsPending = false;
    QPainter painter(this);
    const NBEEditorColors &colors = m_textView->colors();
    painter.fillRect(event->rect(), colors.gutterBackground);
    painter.setPen(colors.gutterSeparator);
    painter.drawLine(QPointF(width() - 0.5, event->rect().top()),
                     QPointF(width() - 0.5, event->rect().bottom() + 1));
    painter.setFont(m_font);
    const int lineHeight = QFontMetrics(m_textView->font()).height();
    const bool anyChanges = !m_lineChanges.added.isEmpty() || !m_lineChanges.modified.isEmpty() ||
                            !m_lineChanges.deletedAbove.isEmpty();
    const QList<QPair<int, QRect>> lines = visibleLineLayout();
    if (event->rect().contains(rect()))
        m_shown = lines;
    for (const auto &[line, box] : lines) {
        // The triangle reaches 4 px above its line.
        if (box.bottom() + 4 < event->rect().top() || box.top() - 4 > event->rect().bottom())
            continue;
        if (anyChanges) {
            // Bars span every row of a wrapped line; an added line that is
            // also counted as modified shows as added.
            const QRect bar(width() - changeBarWidth, box.top(), changeBarWidth, box.height());
            if (m_lineChanges.added.contains(line))
                painter.fillRect(bar, addedColor());
            else if (m_lineChanges.modified.contains(line))
                painter.fillRect(bar, modifiedColor());
            if (m_lineChanges.deletedAbove.contains(line)) {
                // Points at the text, centred on the line's top edge.
                QPainterPath triangle;
                const double y = box.top();
                triangle.moveTo(width() - 7, y - 4);
                triangle.lineTo(width() - 7, y + 4);
                triangle.lineTo(width(), y);
                triangle.closeSubpath();
                painter.save();
                painter.setRenderHint(QPainter::Antialiasing);
                painter.fillPath(triangle, deletedColor());
                painter.restore();
            }
        }
        // Centred on the first row of the line, so a wrapped line keeps its
        // number at its start.
        painter.setPen(colors.gutterText);
        const QRect row(0, box.top(), width() - numberInset, std::min(box.height(), lineHeight));
        painter.drawText(row, Qt::AlignRight | Qt::AlignVCenter, QString::number(line));
    }
}

void NBEGutterView::mousePressEvent(QMouseEvent *event)
{
    const int y = int(event->position().y());
    if (hunkForLine) {
        const auto lines = visibleLineLayout();
        // A deletion's triangle straddles its line's top edge, half over the
        // line before: a click on it is the deletion's.
        for (const auto &[line, box] : lines) {
            if (m_lineChanges.deletedAbove.contains(line) && std::abs(y - box.top()) <= 4) {
                if (const std::optional<NBEDiffHunk> hunk = hunkForLine(line)) {
                    presentPopover(*hunk, box);
                    event->accept();
                    return;
                }
            }
        }
        for (const auto &[line, box] : lines) {
            if (box.top() <= y && y < box.top() + box.height()) {
                if (const std::optional<NBEDiffHunk> hunk = hunkForLine(line)) {
                    presentPopover(*hunk, box);
                    event->accept();
                    return;
                }
                break;
            }
        }
    }
    QWidget::mousePressEvent(event);
}

NBEHunkPopoverView *NBEGutterView::changePopover() const
{
    return m_changePopover;
}

void NBEGutterView::closePopover()
{
    if (m_changePopover)
        m_changePopover->close();
    m_changePopover = nullptr;
}

void NBEGutterView::presentPopover(const NBEDiffHunk &hunk, const QRect &lineRect)
{
    closePopover();
    const QPointer<NBEGutterView> self(this);
    // Each action closes the popover first, then hands the hunk on.
    const auto action = [self,
                         hunk](std::function<void(const NBEDiffHunk &)> NBEGutterView::*callback) {
        return [self, hunk, callback] {
            if (!self)
                return;
            self->closePopover();
            if (const auto &fn = (*self).*callback)
                fn(hunk);
        };
    };
    auto *popover = new NBEHunkPopoverView(
        hunk, canStageHunk, action(&NBEGutterView::onDiscardHunk),
        action(&NBEGutterView::onStageHunk), action(&NBEGutterView::onUnstageHunk),
        [self, hunk] {
            if (!self || !self->isHunkStaged)
                return QtFuture::makeReadyFuture(false);
            return self->isHunkStaged(hunk);
        },
        this);
    m_changePopover = popover;
    // Beside the line, on the side of the text.
    popover->showBeside(mapToGlobal(QPoint(width(), lineRect.top())));
}
