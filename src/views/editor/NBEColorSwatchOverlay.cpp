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
    : QWidget(textView)
    , m_textView(textView)
    , m_viewport(textView->viewport())
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
    m_viewport->installEventFilter(this);
    // Swatches are kept by offsets of the text, in which the buffer reports
    // its changes.
    connect(buffer, &NBETextBuffer::changed, this, &NBEColorSwatchOverlay::textDidChange);
    // A scroll moves the text under the squares.
    connect(textView, &QPlainTextEdit::updateRequest, this, [this](const QRect &, int dy) {
        if (dy)
            update();
    });
    followViewport();
    raise();
    show();
}

NBEColorSwatchOverlay::~NBEColorSwatchOverlay() = default;

void NBEColorSwatchOverlay::followViewport()
{
    setGeometry(m_viewport->geometry());
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
    update(QRect(0, line.top() - 1, width(), line.height() + 2));
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
    int shownEnd = block.position();
    for (QTextBlock shown = block; shown.isValid(); shown = shown.next()) {
        if (m_textView->blockGeometry(shown).translated(offset).top() > bottom)
            break;
        shownEnd = shown.position() + shown.length();
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
    const qreal right = std::max<qreal>(
        m_viewport->width(),
        offset.x() + m_textView->document()->documentLayout()->documentSize().width());
    QList<int> row;
    qreal left = 0;
    qreal middle = 0;
    qreal side = 0;
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
            placeRow(result, row, left, right, middle, side);
            row.clear();
            blockNumber = block.blockNumber();
            const QTextLine line = layout->lineAt(layout->lineCount() - 1);
            side = std::clamp<qreal>(line.height() - 4, 8, 12);
            left = geometry.left() + line.cursorToX(line.textStart() + line.textLength()) + 6;
            middle = geometry.top() + line.y() + line.height() / 2;
        }
        row.append(int(it - m_swatches.cbegin()));
    }
    placeRow(result, row, left, right, middle, side);
    return result;
}

QFont NBEColorSwatchOverlay::moreFont(qreal side) const
{
    QFont small = font();
    small.setPixelSize(std::max(6, int(side) - 2));
    return small;
}

QString NBEColorSwatchOverlay::moreText(qsizetype count)
{
    return QStringLiteral("+%1").arg(count);
}

void NBEColorSwatchOverlay::placeRow(QList<Box> &boxes, const QList<int> &row, qreal left,
                                     qreal right, qreal middle, qreal side) const
{
    if (row.isEmpty())
        return;
    const qreal step = side + 4;
    const qreal top = middle - side / 2;
    // All of them while they fit; else as many as fit beside the box that
    // lists the rest. (Past the edge only when not even that box fits.)
    qsizetype shown = row.size();
    qreal moreWidth = 0;
    if (left + shown * step - 4 > right) {
        const QFontMetricsF metrics(moreFont(side));
        moreWidth = std::max(side, metrics.horizontalAdvance(moreText(row.size())) + 6);
        shown =
            std::clamp<qsizetype>(qsizetype((right - left - moreWidth) / step), 0, row.size() - 1);
    }
    qreal x = left;
    for (qsizetype i = 0; i < shown; ++i, x += step)
        boxes.append({QRectF(x, top, side, side), row[i], {}});
    if (shown < row.size())
        boxes.append({QRectF(x, top, moreWidth, side), row[shown], row.mid(shown)});
}

std::optional<NBEColorSwatchOverlay::Box> NBEColorSwatchOverlay::boxAt(const QPointF &point) const
{
    for (const Box &box : boxes())
        if (box.rect.contains(point))
            return box;
    return std::nullopt;
}

void NBEColorSwatchOverlay::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF dirty = event->rect();
    for (const Box &box : boxes()) {
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
}

bool NBEColorSwatchOverlay::eventFilter(QObject *watched, QEvent *event)
{
    // Only the pointer is compared: the text view may be going away.
    if (watched != m_viewport)
        return QWidget::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::Resize:
    case QEvent::Move:
        followViewport();
        break;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() != Qt::LeftButton)
            break;
        const std::optional<Box> box = boxAt(mouse->position());
        if (!box)
            break;
        m_pressTaken = true;
        if (event->type() == QEvent::MouseButtonPress && box->more.isEmpty())
            beginPicking(box->index);
        else if (event->type() == QEvent::MouseButtonPress)
            showMore(*box);
        return true;
    }
    case QEvent::MouseButtonRelease:
        if (m_pressTaken) {
            m_pressTaken = false;
            return true;
        }
        break;
    case QEvent::MouseMove: {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        const bool pointing =
            mouse->buttons() == Qt::NoButton && boxAt(mouse->position()).has_value();
        if (pointing != m_pointing) {
            m_pointing = pointing;
            m_viewport->setCursor(pointing ? Qt::PointingHandCursor : Qt::IBeamCursor);
        }
        break;
    }
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
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
        m_panel = new QColorDialog(this);
        m_panel->setAttribute(Qt::WA_TransparentForMouseEvents, false);
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
    m_more = new QMenu(this);
    m_more->setAttribute(Qt::WA_TransparentForMouseEvents, false);
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
    m_more->popup(mapToGlobal(box.rect.bottomLeft().toPoint()));
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
