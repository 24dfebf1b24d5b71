#include "NBECodeTextEdit.h"

#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTextBlock>

#include <cmath>

NBECodeTextEdit::NBECodeTextEdit(QWidget *parent)
    : QPlainTextEdit(parent)
{
    setFrameShape(QFrame::NoFrame);
    // Pasting rich text would bring in formats the highlighter doesn't own.
    setAcceptDrops(true);
    setCenterOnScroll(false);
    setTabChangesFocus(false);
    connect(this, &QPlainTextEdit::updateRequest, this, [this](const QRect &rect, int dy) {
        if (!m_gutter)
            return;
        if (dy)
            m_gutter->scroll(0, dy);
        else
            m_gutter->update(0, rect.y(), m_gutter->width(), rect.height());
    });
    connect(this, &QPlainTextEdit::blockCountChanged, this, [this] { updateGutterGeometry(); });
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this,
            [this] { Q_EMIT scrolled(scrollFraction()); });
    connect(verticalScrollBar(), &QScrollBar::rangeChanged, this,
            [this] { Q_EMIT scrolled(scrollFraction()); });
    applyTextOptions();
}

QString NBECodeTextEdit::text() const
{
    return text(document());
}

QString NBECodeTextEdit::text(const QTextDocument *document)
{
    QString raw = document->toRawText();
    raw.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    return raw;
}

void NBECodeTextEdit::setEditorFont(const QFont &font)
{
    setFont(font);
    document()->setDefaultFont(font);
    if (m_gutter) {
        QFont numbers = font;
        numbers.setPointSizeF(std::max(1.0, font.pointSizeF() - 1));
        m_gutter->setNumberFont(numbers);
    }
    setTabSize(m_tabSize);
    updateGutterGeometry();
}

void NBECodeTextEdit::setColors(const NBEEditorColors &colors)
{
    m_colors = colors;
    QPalette p = palette();
    p.setColor(QPalette::Base, colors.background);
    p.setColor(QPalette::Window, colors.background);
    p.setColor(QPalette::Text, colors.text);
    p.setColor(QPalette::WindowText, colors.text);
    setPalette(p);
    viewport()->setPalette(p);
    if (m_gutter)
        m_gutter->update();
}

void NBECodeTextEdit::setWordWrap(bool wrap)
{
    setLineWrapMode(wrap ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
    setHorizontalScrollBarPolicy(wrap ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAsNeeded);
}

void NBECodeTextEdit::setShowInvisibles(bool show)
{
    m_showInvisibles = show;
    applyTextOptions();
}

void NBECodeTextEdit::setTabSize(int tabSize)
{
    m_tabSize = std::max(1, tabSize);
    setTabStopDistance(QFontMetricsF(font()).horizontalAdvance(QLatin1Char(' ')) * m_tabSize);
}

void NBECodeTextEdit::setSoftTabs(bool soft, int tabSize)
{
    m_softTabs = soft;
    setTabSize(tabSize);
}

void NBECodeTextEdit::applyTextOptions()
{
    QTextOption option = document()->defaultTextOption();
    QTextOption::Flags flags = option.flags();
    flags.setFlag(QTextOption::ShowTabsAndSpaces, m_showInvisibles);
    flags.setFlag(QTextOption::ShowLineAndParagraphSeparators, m_showInvisibles);
    option.setFlags(flags);
    document()->setDefaultTextOption(option);
}

void NBECodeTextEdit::setLineNumbersVisible(bool visible)
{
    if (visible == (m_gutter != nullptr))
        return;
    if (visible) {
        m_gutter = new NBELineNumberGutter(this);
        QFont numbers = font();
        numbers.setPointSizeF(std::max(1.0, font().pointSizeF() - 1));
        m_gutter->setNumberFont(numbers);
        m_gutter->show();
    } else {
        delete m_gutter;
        m_gutter = nullptr;
    }
    updateGutterGeometry();
}

int NBECodeTextEdit::gutterWidth() const
{
    return m_gutter ? m_gutter->preferredWidth() : 0;
}

void NBECodeTextEdit::updateGutterGeometry()
{
    setViewportMargins(gutterWidth(), 0, 0, 0);
    if (m_gutter) {
        const QRect contents = contentsRect();
        m_gutter->setGeometry(contents.left(), contents.top(), gutterWidth(), contents.height());
        m_gutter->update();
    }
}

double NBECodeTextEdit::scrollFraction() const
{
    const QScrollBar *bar = verticalScrollBar();
    const int range = bar->maximum() - bar->minimum();
    if (range <= 0)
        return 0;
    return double(bar->value() - bar->minimum()) / double(std::max(range, 1));
}

void NBECodeTextEdit::scrollToFraction(double fraction)
{
    QScrollBar *bar = verticalScrollBar();
    const int range = bar->maximum() - bar->minimum();
    if (range <= 0)
        return;
    bar->setValue(bar->minimum() + int(std::lround(fraction * range)));
}

void NBECodeTextEdit::keyPressEvent(QKeyEvent *event)
{
    if (event == QKeySequence::Find) {
        Q_EMIT findRequested();
        return;
    }
    if (event == QKeySequence::FindNext || event == QKeySequence::FindPrevious) {
        Q_EMIT findNextRequested(event == QKeySequence::FindPrevious);
        return;
    }
    // Soft tabs: a fixed number of spaces in place of the selection, as one
    // undoable edit.
    if (event->key() == Qt::Key_Tab && event->modifiers() == Qt::NoModifier && m_softTabs &&
        !isReadOnly()) {
        textCursor().insertText(QString(m_tabSize, QLatin1Char(' ')));
        ensureCursorVisible();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

void NBECodeTextEdit::resizeEvent(QResizeEvent *event)
{
    QPlainTextEdit::resizeEvent(event);
    updateGutterGeometry();
}

void NBECodeTextEdit::changeEvent(QEvent *event)
{
    QPlainTextEdit::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        updateGutterGeometry();
}

// MARK: - Gutter

NBELineNumberGutter::NBELineNumberGutter(NBECodeTextEdit *editor)
    : QWidget(editor)
    , m_editor(editor)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void NBELineNumberGutter::setNumberFont(const QFont &font)
{
    m_font = font;
    m_font.setStyleHint(QFont::Monospace);
    update();
}

int NBELineNumberGutter::preferredWidth() const
{
    // Wide enough for the largest line number, never narrower than the
    // usual ruler.
    const int digits = QString::number(std::max(1, m_editor->blockCount())).size();
    const int numbers = QFontMetrics(m_font).horizontalAdvance(QString(digits, QLatin1Char('9')));
    return std::max(minimumWidth, numbers + 2 * numberInset);
}

QList<QPair<int, QRect>> NBELineNumberGutter::visibleLineLayout() const
{
    QList<QPair<int, QRect>> lines;
    QTextBlock block = m_editor->firstVisibleBlock();
    if (!block.isValid())
        return lines;
    const QPointF offset = m_editor->contentOffset();
    const int viewportTop = m_editor->viewport()->geometry().top() - m_editor->contentsRect().top();
    const int bottom = height();
    // A final empty line after a trailing line feed gets no number, like the
    // last row of a text view that ends in a line break.
    const QTextBlock last = m_editor->document()->lastBlock();
    while (block.isValid()) {
        const QRectF box = m_editor->blockBoundingGeometry(block).translated(offset);
        const int top = int(std::round(box.top())) + viewportTop;
        if (top > bottom)
            break;
        if (block.isVisible() && !(block == last && block.length() <= 1))
            lines.append(
                {block.blockNumber() + 1, QRect(0, top, width(), int(std::round(box.height())))});
        block = block.next();
    }
    return lines;
}

void NBELineNumberGutter::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    const NBEEditorColors &colors = m_editor->colors();
    painter.fillRect(rect(), colors.gutterBackground);
    painter.setPen(colors.gutterSeparator);
    painter.drawLine(QPointF(width() - 0.5, event->rect().top()),
                     QPointF(width() - 0.5, event->rect().bottom() + 1));
    painter.setFont(m_font);
    painter.setPen(colors.gutterText);
    const int lineHeight = QFontMetrics(m_editor->font()).height();
    for (const auto &[line, box] : visibleLineLayout()) {
        if (box.bottom() < event->rect().top() || box.top() > event->rect().bottom())
            continue;
        // Centred on the first row of the line, so a wrapped line keeps its
        // number at its start.
        const QRect row(0, box.top(), width() - numberInset, std::min(box.height(), lineHeight));
        painter.drawText(row, Qt::AlignRight | Qt::AlignVCenter, QString::number(line));
    }
}
