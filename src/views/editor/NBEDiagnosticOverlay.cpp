#include "NBEDiagnosticOverlay.h"

#include "NBECodeTextEdit.h"

#include <QAbstractTextDocumentLayout>
#include <QFontMetricsF>
#include <QPainter>
#include <QRegion>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

#include <algorithm>
#include <limits>

NBEDiagnosticOverlay::NBEDiagnosticOverlay(NBECodeTextEdit *textView)
    : NBEEditorOverlay(textView)
    , m_textView(textView)
{}

void NBEDiagnosticOverlay::setDiagnostics(const QList<NBELSPDiagnostic> &diagnostics)
{
    if (diagnostics == m_diagnostics)
        return;
    const QRectF screen = m_textView ? QRectF(m_textView->viewport()->rect()) : QRectF();
    const QList<NBEDiagnosticSquiggle> before = squiggles(screen);
    m_diagnostics = diagnostics;
    m_byLine.clear();
    m_byLine.reserve(size_t(diagnostics.size()));
    constexpr qint64 far = std::numeric_limits<qint64>::max();
    for (qsizetype i = 0; i < diagnostics.size(); ++i) {
        const NBELSPDiagnostic &d = diagnostics[i];
        const qint64 endLine = std::max<qint64>(d.endLine, 0);
        const qint64 character = std::max<qint64>(d.endCharacter, 0);
        m_byLine.push_back(
            {d.startLine, character >= far - endLine ? far : endLine + character, i});
    }
    std::ranges::stable_sort(m_byLine, {}, &Entry::startLine);
    m_reachSoFar.resize(m_byLine.size());
    qint64 reach = std::numeric_limits<qint64>::min();
    for (size_t i = 0; i < m_byLine.size(); ++i)
        m_reachSoFar[i] = reach = std::max(reach, m_byLine[i].reach);
    if (!m_textView)
        return;
    // A server sends the whole list again after each change; what changed
    // mostly lies off screen or leaves the squiggles on screen where they
    // were. Only squiggles that came, went or changed are drawn again.
    const QList<NBEDiagnosticSquiggle> after = squiggles(screen);
    QRegion changed;
    const auto mark = [&](const QList<NBEDiagnosticSquiggle> &from,
                          const QList<NBEDiagnosticSquiggle> &to) {
        for (const NBEDiagnosticSquiggle &squiggle : from) {
            // The wave swings below its line.
            if (!to.contains(squiggle))
                changed += squiggle.rect.adjusted(-2, -1, 2, 3).toAlignedRect();
        }
    };
    mark(before, after);
    mark(after, before);
    if (!changed.isEmpty())
        m_textView->viewport()->update(changed);
}

void NBEDiagnosticOverlay::update()
{
    m_blockCount = -1;
    // With nothing to draw, a text change leaves nothing stale.
    if (m_textView && !m_diagnostics.isEmpty())
        m_textView->viewport()->update();
}

void NBEDiagnosticOverlay::updateChange(int position, int added)
{
    NBECodeTextEdit *view = m_textView;
    if (!view)
        return;
    const QTextDocument *document = view->document();
    const bool linesMoved = std::exchange(m_blockCount, document->blockCount()) != m_blockCount;
    if (m_diagnostics.isEmpty())
        return;
    const QTextBlock first = document->findBlock(position);
    QTextBlock last = document->findBlock(position + added);
    if (!last.isValid())
        last = document->lastBlock();
    if (!first.isValid()) {
        update();
        return;
    }
    const QPointF offset = view->contentOffsetPublic();
    QRectF area = view->blockGeometry(first).translated(offset);
    area = area.united(view->blockGeometry(last).translated(offset));
    // A squiggle hangs below its line.
    area.setBottom(linesMoved ? view->viewport()->height() : area.bottom() + 2);
    area.setLeft(0);
    area.setRight(view->viewport()->width());
    view->viewport()->update(area.toAlignedRect());
}

qsizetype NBEDiagnosticOverlay::offset(qint64 line, qint64 character, const QTextDocument *document)
{
    const qsizetype length = std::max(0, document->characterCount() - 1);
    if (line >= document->blockCount())
        return length;
    const qsizetype lineStart = line <= 0 ? 0 : document->findBlockByNumber(int(line)).position();
    return std::min(lineStart + std::clamp<qint64>(character, 0, length), length);
}

QColor NBEDiagnosticOverlay::color(NBELSPDiagnosticSeverity severity)
{
    return severity == NBELSPDiagnosticSeverity::error ? QColor(255, 59, 48) : QColor(255, 149, 0);
}

QPolygonF NBEDiagnosticOverlay::squigglePath(const QRectF &rect)
{
    const qreal baseline = rect.bottom() - 1;
    qreal x = rect.left();
    QPolygonF path{QPointF(x, baseline)};
    bool upward = true;
    while (x < rect.right()) {
        x = std::min(x + 2, rect.right());
        path << QPointF(x, upward ? baseline - 1.5 : baseline + 1.5);
        upward = !upward;
    }
    return path;
}

QList<qsizetype> NBEDiagnosticOverlay::candidates(qint64 first, qint64 last) const
{
    // Starts below the last line can't reach it (offsets only grow with the
    // line); before the first entry whose reach so far gets to `first`, none
    // does.
    const auto end = std::ranges::upper_bound(m_byLine, last, {}, &Entry::startLine);
    const auto from = std::ranges::lower_bound(m_reachSoFar, first) - m_reachSoFar.begin();
    QList<qsizetype> found;
    for (auto entry = m_byLine.begin() + std::min(from, end - m_byLine.begin()); entry < end;
         ++entry) {
        if (entry->reach >= first)
            found.append(entry->index);
    }
    std::ranges::sort(found);
    return found;
}

QList<NBEDiagnosticSquiggle> NBEDiagnosticOverlay::squiggles(const QRectF &area) const
{
    QList<NBEDiagnosticSquiggle> result;
    NBECodeTextEdit *view = m_textView;
    if (!view || m_diagnostics.isEmpty())
        return result;
    const QTextDocument *document = view->document();
    QAbstractTextDocumentLayout *documentLayout = document->documentLayout();

    // The lines on screen that touch the area, each with its layout's origin.
    struct Visible
    {
        QTextBlock block;
        QPointF origin;
    };
    QList<Visible> visible;
    QTextBlock block = view->firstVisibleTextBlock();
    if (!block.isValid())
        return result;
    QTextBlock lastBlock = block;
    const QPointF scroll = view->contentOffsetPublic();
    const qreal bottom = std::min<qreal>(view->viewport()->height(), area.bottom());
    qreal top = view->blockGeometry(block).translated(scroll).top();
    int lastNumber = block.blockNumber();
    for (; block.isValid() && top <= bottom; block = block.next()) {
        // Laying the block out here keeps a line that gave back its glyphs
        // measurable.
        const qreal height = documentLayout->blockBoundingRect(block).height();
        // A squiggle hangs half a pixel below its line.
        if (top + height + 1 >= area.top())
            visible.append({block, QPointF(scroll.x(), top) + block.layout()->position()});
        lastNumber = block.blockNumber();
        lastBlock = block;
        top += height;
    }
    if (visible.isEmpty())
        return result;
    const int firstNumber = visible.first().block.blockNumber();
    const qreal spaceWidth = QFontMetricsF(view->font()).horizontalAdvance(QLatin1Char(' '));

    // Ranges are placed in the text, then in the view, which may split lines.
    const NBETextGeometry &geometry = view->textGeometry();
    const QTextDocument *text = geometry.textDocument();

    for (const qsizetype index : candidates(view->lineNumberOf(visible.first().block) - 1,
                                            view->lineNumberOf(lastBlock) - 1)) {
        const NBELSPDiagnostic &diagnostic = m_diagnostics[index];
        const qsizetype textStart = offset(diagnostic.startLine, diagnostic.startCharacter, text);
        const qsizetype textEnd = offset(diagnostic.endLine, diagnostic.endCharacter, text);
        if (textEnd <= textStart)
            continue;
        const auto [viewStart, viewEnd] = geometry.toViewRange(int(textStart), int(textEnd));
        const qsizetype start = viewStart;
        const qsizetype end = viewEnd;
        const int startNumber = document->findBlock(int(start)).blockNumber();
        const int endNumber = document->findBlock(int(end - 1)).blockNumber();
        if (endNumber < firstNumber || startNumber > lastNumber)
            continue;
        const QColor colour = color(diagnostic.severity);
        for (const Visible &line : visible) {
            const int number = line.block.blockNumber();
            if (number < startNumber || number > endNumber)
                continue;
            const QTextLayout *layout = line.block.layout();
            const qsizetype blockStart = line.block.position();
            for (int i = 0; i < layout->lineCount(); ++i) {
                const QTextLine textLine = layout->lineAt(i);
                const qsizetype lineStart = blockStart + textLine.textStart();
                const qsizetype lineEnd = lineStart + textLine.textLength();
                // The line break belongs to the block's last visual line.
                const qsizetype coveredEnd = i == layout->lineCount() - 1 ? lineEnd + 1 : lineEnd;
                const qsizetype from = std::max(start, lineStart);
                const qsizetype to = std::min(end, coveredEnd);
                if (to <= from)
                    continue;
                qreal x1 = textLine.cursorToX(int(std::min(from, lineEnd) - blockStart));
                qreal x2 = textLine.cursorToX(int(std::min(to, lineEnd) - blockStart));
                if (x1 > x2)
                    std::swap(x1, x2);
                // A range that covers only a line break still shows.
                if (x2 <= x1 && to > lineEnd)
                    x2 = x1 + spaceWidth;
                const QRectF rect(line.origin.x() + x1, line.origin.y() + textLine.y(), x2 - x1,
                                  textLine.height());
                if (rect.adjusted(0, 0, 0, 1).intersects(area))
                    result.append({rect, colour});
            }
        }
    }
    return result;
}

void NBEDiagnosticOverlay::paint(QPainter &painter, const QRectF &dirty)
{
    const QList<NBEDiagnosticSquiggle> drawn = squiggles(dirty);
    if (drawn.isEmpty())
        return;
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(Qt::NoBrush);
    for (const NBEDiagnosticSquiggle &squiggle : drawn) {
        painter.setPen(QPen(squiggle.color, 1));
        painter.drawPolyline(squigglePath(squiggle.rect));
    }
    Q_EMIT painted(drawn);
}
