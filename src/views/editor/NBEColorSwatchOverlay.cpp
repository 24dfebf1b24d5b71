#include "NBEColorSwatchOverlay.h"

#include "NBECodeTextEdit.h"
#include "NBETextBuffer.h"

#include <QColorDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QTextBlock>
#include <QTextLayout>
#include <QTimer>

#include <algorithm>

namespace {

// A character that would run on into a literal it touches, so an edit
// beside the literal may have changed what it is.
bool continuesLiteral(QChar c)
{
    return c.isLetterOrNumber() || c == u'-' || c == u'_' || c == u'#' || c == u'(' || c == u'.' ||
           c == u'%';
}

} // namespace

NBEColorSwatchOverlay::NBEColorSwatchOverlay(NBECodeTextEdit *textView, NBETextBuffer *buffer)
    : NBEEditorOverlay(textView)
    , m_textView(textView)
{
    // Swatches are kept by offsets of the text, in which the buffer reports
    // its changes.
    connect(buffer, &NBETextBuffer::changed, this, &NBEColorSwatchOverlay::textDidChange);
}

NBEColorSwatchOverlay::~NBEColorSwatchOverlay()
{
    // They are the text view's windows, and of no use without the overlay.
    delete m_panel;
    delete m_more;
}

void NBEColorSwatchOverlay::update(const QRegion &area)
{
    if (!m_textView)
        return;
    if (area.isEmpty())
        m_textView->viewport()->update();
    else
        m_textView->viewport()->update(area);
}

QString NBEColorSwatchOverlay::literalAt(NBETextRange range) const
{
    if (!m_textView)
        return {};
    QTextDocument *document = m_textView->textGeometry().textDocument();
    if (range.location < 0 || range.length < 0 || range.end() > document->characterCount() - 1)
        return {};
    QTextCursor cursor(document);
    cursor.setPosition(range.location);
    cursor.setPosition(range.end(), QTextCursor::KeepAnchor);
    return cursor.selectedText().replace(QChar::ParagraphSeparator, u'\n');
}

void NBEColorSwatchOverlay::setSwatches(const QList<NBECSSColorsSwatch> &swatches)
{
    m_literals.clear();
    m_literals.reserve(swatches.size());
    for (const NBECSSColorsSwatch &swatch : swatches)
        m_literals.append(literalAt(swatch.range));
    if (swatches == m_swatches)
        return;
    m_swatches = swatches;
    update();
}

void NBEColorSwatchOverlay::textDidChange(const NBETextChange &change)
{
    const int position = int(change.position);
    const int added = int(change.inserted.size());
    // Until the next scan the squares follow their literals: those after the
    // edit move with it, those the edit touched stay only while their text
    // is unchanged (a change of colours only). A key costs only the swatches
    // it reaches, however many the text has.
    if (m_swatches.isEmpty() || !m_textView)
        return;
    const QTextDocument *document = m_textView->textGeometry().textDocument();
    const int length = document->characterCount() - 1;
    const int delta = added - int(change.removed);
    const int removedEnd = position + int(change.removed);
    // Literals come in text order and never overlap, so their ends are in
    // order too.
    const qsizetype first = std::partition_point(m_swatches.cbegin(), m_swatches.cend(),
                                                 [&](const NBECSSColorsSwatch &swatch) {
                                                     return swatch.range.end() < position;
                                                 }) -
                            m_swatches.cbegin();
    const qsizetype last = std::partition_point(m_swatches.cbegin() + first, m_swatches.cend(),
                                                [&](const NBECSSColorsSwatch &swatch) {
                                                    return swatch.range.location <= removedEnd;
                                                }) -
                           m_swatches.cbegin();
    bool changed = false;
    if (delta != 0 && last < m_swatches.size()) {
        for (auto it = m_swatches.begin() + last; it != m_swatches.end(); ++it)
            it->range.location += delta;
        changed = true;
    }
    const auto stays = [&](NBECSSColorsSwatch &swatch, const QString &literal) {
        const NBETextRange old = swatch.range;
        if (old.location == removedEnd && old.end() > position)
            swatch.range.location += delta;
        else if (old.end() > position && delta != 0)
            return false;
        const NBETextRange now = swatch.range;
        if (literalAt(now) != literal)
            return false;
        if (now.end() == position && now.end() < length &&
            continuesLiteral(document->characterAt(now.end())))
            return false;
        if (now.location == position + added && now.location > 0 &&
            continuesLiteral(document->characterAt(now.location - 1)))
            return false;
        return true;
    };
    qsizetype kept = first;
    for (qsizetype i = first; i < last; ++i) {
        const NBETextRange old = m_swatches[i].range;
        if (!stays(m_swatches[i], m_literals[i])) {
            changed = true;
            continue;
        }
        changed = changed || m_swatches[i].range != old;
        if (kept != i) {
            m_swatches[kept] = std::move(m_swatches[i]);
            m_literals[kept] = std::move(m_literals[i]);
        }
        ++kept;
    }
    if (kept < last) {
        m_swatches.remove(kept, last - kept);
        m_literals.remove(kept, last - kept);
    }
    if (changed)
        updateEdited(change);
}

void NBEColorSwatchOverlay::updateEdited(const NBETextChange &change)
{
    // Squares sit after their line's end (a piece's, in a line shown in
    // pieces), so an edit inside one line or piece moves only its squares.
    // Painting the whole overlay would have the text view beneath it draw
    // every line again at each key.
    const QTextDocument *shown = m_textView->document();
    const bool oneLine = change.startLine == change.endLine && !change.inserted.contains(u'\n');
    const int position = int(change.position);
    const auto [from, to] =
        m_textView->textGeometry().toViewRange(position, position + int(change.inserted.size()));
    const QTextBlock block = shown->findBlock(from);
    if (!oneLine || !block.isValid() || shown->findBlock(to) != block) {
        update();
        return;
    }
    const QRect line = m_textView->blockGeometry(block)
                           .translated(m_textView->contentOffsetPublic())
                           .toAlignedRect();
    update(QRect(0, line.top() - 1, m_textView->viewport()->width(), line.height() + 2));
}

QList<NBEColorSwatchOverlay::Box> NBEColorSwatchOverlay::boxes() const
{
    QList<Box> result;
    if (!m_textView || m_swatches.isEmpty())
        return result;
    const NBETextGeometry &text = m_textView->textGeometry();
    const int length = text.textDocument()->characterCount() - 1;
    const QPointF offset = m_textView->contentOffsetPublic();
    const qreal bottom = m_textView->viewport()->height();
    QTextBlock block = m_textView->firstVisibleTextBlock();
    if (!block.isValid())
        return result;
    // Where the screen's last line ends: a literal beyond it has no square
    // to show, and seeking its line would lay out every line on the way.
    // The rows of text on screen are what a box must not cover.
    Room room;
    room.bottom = bottom;
    int shownEnd = block.position();
    for (QTextBlock shown = block; shown.isValid(); shown = shown.next()) {
        const QRectF geometry = m_textView->blockGeometry(shown).translated(offset);
        if (geometry.top() > bottom)
            break;
        shownEnd = shown.position() + shown.length();
        const QTextLayout *layout = shown.layout();
        for (int i = 0; shown.isVisible() && layout && i < layout->lineCount(); ++i)
            room.text.append(layout->lineAt(i).naturalTextRect().translated(geometry.topLeft()));
    }
    // Literals come in text order: start at the first visible line.
    const auto first =
        std::lower_bound(m_swatches.cbegin(), m_swatches.cend(), text.toText(block.position()),
                         [](const NBECSSColorsSwatch &swatch, int position) {
                             return swatch.range.location < position;
                         });
    // The squares of a line sit in a row after its last character, in the
    // literals' order, so no square ever covers a character; those that
    // would pass the right edge of the text are gathered in one box.
    room.right = std::max<qreal>(
        m_textView->viewport()->width(),
        offset.x() + m_textView->document()->documentLayout()->documentSize().width());
    Row row;
    int blockNumber = -1;
    for (auto it = first; it != m_swatches.cend(); ++it) {
        const NBETextRange range = it->range;
        if (range.length < 1 || range.end() > length)
            continue;
        // (A literal right after a split is on the piece after it.)
        const int start = text.toView(range.location + 1) - 1;
        if (start >= shownEnd)
            break;
        while (block.isValid() && start >= block.position() + block.length())
            block = block.next();
        if (!block.isValid())
            break;
        const QRectF geometry = m_textView->blockGeometry(block).translated(offset);
        if (geometry.top() > bottom)
            break;
        const QTextLayout *layout = block.layout();
        if (!block.isVisible() || !layout || layout->lineCount() == 0)
            continue;
        if (block.blockNumber() != blockNumber) {
            placeRow(result, row, room);
            blockNumber = block.blockNumber();
            const QTextLine line = layout->lineAt(layout->lineCount() - 1);
            row.swatches.clear();
            row.side = std::clamp<qreal>(line.height() - 4, 8, 12);
            row.left = geometry.left() + line.cursorToX(line.textStart() + line.textLength()) + 6;
            row.middle = geometry.top() + line.y() + line.height() / 2;
            row.height = line.height();
        }
        row.swatches.append(int(it - m_swatches.cbegin()));
    }
    placeRow(result, row, room);
    moveAside(result, room);
    return result;
}

QFont NBEColorSwatchOverlay::moreFont(qreal side) const
{
    QFont small = m_textView ? m_textView->font() : QFont();
    small.setPixelSize(std::max(6, int(side) - 2));
    return small;
}

QString NBEColorSwatchOverlay::moreText(qsizetype count)
{
    return QStringLiteral("+%1").arg(count);
}

void NBEColorSwatchOverlay::placeRow(QList<Box> &boxes, const Row &row, Room &room) const
{
    const QList<int> &swatches = row.swatches;
    if (swatches.isEmpty())
        return;
    const qreal side = row.side;
    const qreal step = side + 4;
    // Half of a box's 1 px outline lies outside its rect.
    const qreal right = room.right - 1;
    // All of them while they fit; else as many as fit beside the box that
    // lists the rest.
    qsizetype shown = swatches.size();
    qreal moreWidth = 0;
    if (row.left + shown * step - 4 > right) {
        const QFontMetricsF metrics(moreFont(side));
        moreWidth = std::max(side, metrics.horizontalAdvance(moreText(swatches.size())) + 6);
        shown = std::clamp<qsizetype>(qsizetype((right - row.left - moreWidth) / step), 0,
                                      swatches.size() - 1);
    }
    qreal x = row.left;
    for (qsizetype i = 0; i < shown; ++i, x += step)
        boxes.append({QRectF(x, row.middle - side / 2, side, side), swatches[i], {}});
    if (shown == swatches.size())
        return;
    if (x + moreWidth > right) {
        // A line that ends at the edge (a full last row of a wrapped line)
        // has no room even for the box: it waits at the edge of its own row
        // for moveAside, which knows where every other box went.
        x = right - moreWidth;
        room.aside.append({boxes.size(), row.height});
    }
    boxes.append(
        {QRectF(x, row.middle - side / 2, moreWidth, side), swatches[shown], swatches.mid(shown)});
}

void NBEColorSwatchOverlay::moveAside(QList<Box> &boxes, const Room &room)
{
    for (const auto &[index, height] : room.aside) {
        // Under the line's end, or above it, where neither text nor another
        // box is; else over the end of its own row, rather than out of reach
        // or over another line.
        const QRectF own = boxes[index].rect;
        for (const qreal shift : {height, -height}) {
            const QRectF there = own.translated(0, shift);
            const QRectF clear = there.adjusted(-2, -1, 2, 1);
            const auto covers = [&](const QRectF &rect) { return rect.intersects(clear); };
            bool free = there.top() >= 0.5 && there.bottom() <= room.bottom - 0.5 &&
                        std::none_of(room.text.cbegin(), room.text.cend(), covers);
            for (qsizetype other = 0; free && other < boxes.size(); ++other)
                free = other == index || !covers(boxes[other].rect);
            if (free) {
                boxes[index].rect = there;
                break;
            }
        }
    }
}

std::optional<NBEColorSwatchOverlay::Box> NBEColorSwatchOverlay::boxAt(const QPointF &point) const
{
    for (const Box &box : boxes())
        if (box.rect.contains(point))
            return box;
    return std::nullopt;
}

void NBEColorSwatchOverlay::paint(QPainter &painter, const QRectF &dirty)
{
    painter.setRenderHint(QPainter::Antialiasing);
    const QList<Box> all = boxes();
    QList<QRectF> more;
    for (const Box &box : all) {
        if (!box.more.isEmpty())
            more.append(box.rect);
        if (!box.rect.intersects(dirty))
            continue;
        QPainterPath path;
        path.addRoundedRect(box.rect, 2, 2);
        // White first, so a translucent colour shows as it would on a page.
        painter.fillPath(path, Qt::white);
        if (box.more.isEmpty()) {
            painter.fillPath(path, m_swatches[box.index].color);
        } else {
            painter.setFont(moreFont(box.rect.height()));
            painter.setPen(QColor(0, 0, 0, 160));
            painter.drawText(box.rect, Qt::AlignCenter, moreText(box.more.size()));
        }
        painter.strokePath(path, QPen(QColor(0, 0, 0, 64), 1));
    }
    if (more != m_drawnMore) {
        // Where a "+N" box was, or is now, may lie outside what was drawn.
        QRegion moved;
        for (const QRectF &rect : std::as_const(m_drawnMore) + more)
            moved += rect.toAlignedRect().adjusted(-1, -1, 1, 1);
        m_drawnMore = more;
        update(moved);
    }
}

bool NBEColorSwatchOverlay::mouseEvent(QMouseEvent *event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
        if (event->button() != Qt::LeftButton)
            return false;
        const std::optional<Box> box = boxAt(event->position());
        if (!box)
            return false;
        m_pressTaken = true;
        if (event->type() == QEvent::MouseButtonPress && box->more.isEmpty())
            beginPicking(box->index);
        else if (event->type() == QEvent::MouseButtonPress)
            showMore(*box);
        return true;
    }
    case QEvent::MouseButtonRelease:
        return std::exchange(m_pressTaken, false);
    case QEvent::MouseMove: {
        const bool pointing =
            event->buttons() == Qt::NoButton && boxAt(event->position()).has_value();
        if (pointing != m_pointing && m_textView) {
            m_pointing = pointing;
            m_textView->viewport()->setCursor(pointing ? Qt::PointingHandCursor : Qt::IBeamCursor);
        }
        return false;
    }
    default:
        return false;
    }
}

std::optional<NBETextRange> NBEColorSwatchOverlay::activeRange() const
{
    if (!m_active)
        return std::nullopt;
    return NBETextRange{m_active->selectionStart(),
                        m_active->selectionEnd() - m_active->selectionStart()};
}

void NBEColorSwatchOverlay::beginPicking(int index)
{
    if (!m_textView || index < 0 || index >= m_swatches.size())
        return;
    const NBECSSColorsSwatch swatch = m_swatches[index];
    const QString literal = literalAt(swatch.range);
    if (literal.isEmpty() || literal != m_literals[index])
        return;
    QTextCursor cursor(m_textView->textGeometry().textDocument());
    cursor.setPosition(swatch.range.location);
    cursor.setPosition(swatch.range.end(), QTextCursor::KeepAnchor);
    m_active = cursor;
    m_activeOriginal = literal;
    m_pendingColor.reset();

    if (!m_panel) {
        m_panel = new QColorDialog(m_textView);
        m_panel->setOptions(QColorDialog::ShowAlphaChannel | QColorDialog::NoButtons |
                            QColorDialog::DontUseNativeDialog);
        connect(m_panel, &QColorDialog::currentColorChanged, this,
                &NBEColorSwatchOverlay::colorDidChange);
        // Without buttons nothing took Return: a colour typed into a field
        // is accepted with it, and the panel gives the keys back.
        for (QLineEdit *field : m_panel->findChildren<QLineEdit *>())
            connect(field, &QLineEdit::returnPressed, m_panel.data(), &QDialog::accept);
    }
    {
        // Showing the literal's own colour is no pick.
        const QSignalBlocker quiet(m_panel);
        m_panel->setCurrentColor(swatch.color);
    }
    m_panel->show();
    m_panel->raise();
    m_panel->activateWindow();
}

void NBEColorSwatchOverlay::showMore(const Box &box)
{
    delete m_more;
    m_more = new QMenu(m_textView);
    m_more->setAttribute(Qt::WA_DeleteOnClose);
    const QFontMetrics metrics(m_more->font());
    for (const int index : box.more) {
        QPixmap square(12, 12);
        square.fill(Qt::white);
        {
            QPainter painter(&square);
            painter.fillRect(square.rect(), m_swatches[index].color);
            painter.setPen(QColor(0, 0, 0, 64));
            painter.drawRect(square.rect().adjusted(0, 0, -1, -1));
        }
        const QString literal =
            metrics.elidedText(literalAt(m_swatches[index].range), Qt::ElideMiddle, 240);
        QAction *action = m_more->addAction(QIcon(square), literal);
        // The list was made from these swatches: a pick goes by the literal,
        // which beginPicking checks is still the one listed.
        connect(action, &QAction::triggered, this, [this, index] { beginPicking(index); });
    }
    m_more->popup(m_textView->viewport()->mapToGlobal(box.rect.bottomLeft().toPoint()));
}

void NBEColorSwatchOverlay::colorDidChange(const QColor &color)
{
    if (!m_active)
        return;
    // A drag sends many colours: the newest one is written once per turn.
    m_pendingColor = color;
    if (m_applyScheduled)
        return;
    m_applyScheduled = true;
    QTimer::singleShot(0, this, [this] {
        m_applyScheduled = false;
        flushPick();
    });
}

void NBEColorSwatchOverlay::flushPick()
{
    if (!m_pendingColor || !m_active || !m_activeOriginal)
        return;
    const QColor color = *m_pendingColor;
    m_pendingColor.reset();
    const QString original = *m_activeOriginal;
    const QString text = NBECSSColors::replacement(color, original);
    const NBETextRange range = *activeRange();
    // The dialog stays tied to its literal: edits before it carry it along,
    // but once its own text changed (or went) a pick writes nothing.
    if (text != original && literalAt(range) == original && onPick) {
        onPick(range, text);
        const NBETextRange written{range.location, int(text.size())};
        if (literalAt(written) == text) {
            QTextCursor cursor(m_textView->textGeometry().textDocument());
            cursor.setPosition(written.location);
            cursor.setPosition(written.end(), QTextCursor::KeepAnchor);
            m_active = cursor;
            m_activeOriginal = text;
            // The square stays on the rewritten literal until the next scan.
            const auto at = std::lower_bound(m_swatches.begin(), m_swatches.end(), written.location,
                                             [](const NBECSSColorsSwatch &swatch, int position) {
                                                 return swatch.range.location < position;
                                             });
            const qsizetype index = at - m_swatches.begin();
            if (at == m_swatches.end() || at->range != written) {
                m_swatches.insert(index, {written, color});
                m_literals.insert(index, text);
            } else {
                at->color = color;
            }
            update();
        }
    }
    Q_EMIT pickFlushed();
}
