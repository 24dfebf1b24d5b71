#include "NBECodeTextEdit.h"

#include "NBEEditorOverlay.h"
#include "NBEGutterView.h"
#include "NBEKeyHandler.h"
#include "NBELineLayout.h"
#include "NBETextBuffer.h"
#include "NBETextInput.h"

#include <QDropEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QTextBlock>

#include <algorithm>
#include <cmath>

namespace {

// A view that shows every line whole: its offsets and lines are the text's.
class WholeLines : public NBETextGeometry
{
public:
    explicit WholeLines(const QPlainTextEdit *view)
        : m_view(view)
    {}
    QTextDocument *textDocument() const override { return m_view->document(); }
    int toView(int offset) const override { return offset; }
    int toText(int viewOffset) const override { return viewOffset; }
    bool continuesLine(const QTextBlock &) const override { return false; }
    int lineNumber(const QTextBlock &block) const override { return block.blockNumber() + 1; }
    int lineCount() const override { return m_view->blockCount(); }
    QString text() const override { return NBETextBuffer::wholeText(m_view->document()); }

private:
    const QPlainTextEdit *m_view;
};

} // namespace

NBECodeTextEdit::NBECodeTextEdit(QWidget *parent)
    : QPlainTextEdit(parent)
    , m_wholeLines(std::make_unique<WholeLines>(this))
{
    setFrameShape(QFrame::NoFrame);
    auto *document = new QTextDocument(this);
    document->setDocumentLayout(new NBELineLayout(document));
    setDocument(document);
    // Pasting rich text would bring in formats the highlighter doesn't own.
    setAcceptDrops(true);
    setCenterOnScroll(false);
    setTabChangesFocus(false);
    connect(this, &QPlainTextEdit::updateRequest, this, [this](const QRect &rect, int dy) {
        if (m_gutter)
            m_gutter->followText(rect, dy);
    });
    connect(this, &QPlainTextEdit::blockCountChanged, this, [this] { updateGutterGeometry(); });
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this,
            [this] { Q_EMIT scrolled(scrollFraction()); });
    connect(verticalScrollBar(), &QScrollBar::rangeChanged, this,
            [this] { Q_EMIT scrolled(scrollFraction()); });
    applyTextOptions();
}

void NBECodeTextEdit::addKeyHandler(NBEKeyHandler *handler)
{
    // After those of the same priority: the first added goes first.
    const auto at =
        std::find_if(m_keyHandlers.cbegin(), m_keyHandlers.cend(), [&](const NBEKeyHandler *other) {
            return other->keyPriority() < handler->keyPriority();
        });
    m_keyHandlers.insert(at - m_keyHandlers.cbegin(), handler);
}

void NBECodeTextEdit::removeKeyHandler(NBEKeyHandler *handler)
{
    m_keyHandlers.removeAll(handler);
}

void NBECodeTextEdit::setTextGeometry(const NBETextGeometry *geometry)
{
    m_textGeometry = geometry;
}

NBECodeTextEdit::~NBECodeTextEdit() = default;

const NBETextGeometry &NBECodeTextEdit::textGeometry() const
{
    if (m_textGeometry)
        return *m_textGeometry;
    return *m_wholeLines;
}

int NBECodeTextEdit::textCaret() const
{
    return textGeometry().toText(textCursor().position());
}

int NBECodeTextEdit::textSelectionStart() const
{
    return textGeometry().toText(textCursor().selectionStart());
}

int NBECodeTextEdit::textSelectionEnd() const
{
    return textGeometry().toText(textCursor().selectionEnd());
}

void NBECodeTextEdit::showTextCursor(const QTextCursor &cursor)
{
    const NBETextGeometry &geometry = textGeometry();
    if (cursor.document() == document()) {
        setTextCursor(cursor);
        return;
    }
    QTextCursor shown = textCursor();
    shown.setPosition(geometry.toView(cursor.anchor()));
    shown.setPosition(geometry.toView(cursor.position()), QTextCursor::KeepAnchor);
    setTextCursor(shown);
}

QString NBECodeTextEdit::text(const QTextDocument *document)
{
    return NBETextBuffer::wholeText(document);
}

void NBECodeTextEdit::setEditorFont(const QFont &font)
{
    m_editorFont = font;
    QFont shown = font;
    if (m_shapingSkipped)
        shown.setStyleStrategy(QFont::StyleStrategy(font.styleStrategy() | QFont::PreferNoShaping));
    setFont(shown);
    // (Each new default lays the text out again.)
    if (document()->defaultFont() != shown)
        document()->setDefaultFont(shown);
    if (m_gutter) {
        QFont numbers = font;
        numbers.setPointSizeF(std::max(1.0, font.pointSizeF() - 1));
        m_gutter->setNumberFont(numbers);
    }
    setTabSize(m_tabSize);
    updateGutterGeometry();
}

void NBECodeTextEdit::setShapingSkipped(bool skip)
{
    if (skip == m_shapingSkipped)
        return;
    m_shapingSkipped = skip;
    setEditorFont(m_editorFont);
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
    m_tabSize = std::clamp(tabSize, 1, 8);
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
    if (flags == option.flags())
        return;
    option.setFlags(flags);
    document()->setDefaultTextOption(option);
}

void NBECodeTextEdit::prepareDocument(QTextDocument *document) const
{
    document->setDefaultFont(this->document()->defaultFont());
    document->setDefaultTextOption(this->document()->defaultTextOption());
}

void NBECodeTextEdit::setLineNumbersVisible(bool visible)
{
    if (visible == (m_gutter != nullptr))
        return;
    if (visible) {
        installGutter();
        return;
    }
    delete m_gutter;
    m_gutter = nullptr;
    updateGutterGeometry();
}

NBEGutterView *NBECodeTextEdit::installGutter()
{
    delete m_gutter;
    m_gutter = new NBEGutterView(this);
    QFont numbers = font();
    numbers.setPointSizeF(std::max(1.0, font().pointSizeF() - 1));
    m_gutter->setNumberFont(numbers);
    m_gutter->show();
    updateGutterGeometry();
    return m_gutter;
}

void NBECodeTextEdit::addOverlay(NBEEditorOverlay *overlay)
{
    m_overlays.removeAll(nullptr);
    m_overlays.append(overlay);
}

QList<NBEEditorOverlay *> NBECodeTextEdit::overlays() const
{
    QList<NBEEditorOverlay *> alive;
    for (const QPointer<NBEEditorOverlay> &overlay : m_overlays)
        if (overlay)
            alive.append(overlay);
    return alive;
}

int NBECodeTextEdit::gutterWidth() const
{
    return m_gutter ? m_gutter->preferredWidth() : 0;
}

void NBECodeTextEdit::updateGutterGeometry()
{
    // New margins lay the viewport out again, which lays out every line on
    // screen: a change of the block count (each paste of a long line shown
    // split) mostly keeps the gutter's width.
    if (viewportMargins().left() != gutterWidth())
        setViewportMargins(gutterWidth(), 0, 0, 0);
    if (m_gutter) {
        const QRect contents = contentsRect();
        // A new size repaints it; new numbers in the same place follow the
        // text's own repaints.
        m_gutter->setGeometry(contents.left(), contents.top(), gutterWidth(), contents.height());
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

void NBECodeTextEdit::undo()
{
    undoOrRedo(false);
}

void NBECodeTextEdit::redo()
{
    undoOrRedo(true);
}

void NBECodeTextEdit::undoOrRedo(bool redo)
{
    const QScopedValueRollback marking(m_undoingOrRedoing, true);
    if (m_textInput && m_textInput->undoOrRedo(redo))
        return;
    if (redo)
        QPlainTextEdit::redo();
    else
        QPlainTextEdit::undo();
}

void NBECodeTextEdit::contextMenuEvent(QContextMenuEvent *event)
{
    std::unique_ptr<QMenu> menu(createStandardContextMenu(event->pos()));
    // The menu's undo and redo go through the marking ones, and by the
    // history of the text (a split view's own document keeps none).
    const QTextDocument *history = textGeometry().textDocument();
    for (QAction *action : menu->actions()) {
        if (action->objectName() == QLatin1String("edit-undo")) {
            disconnect(action, &QAction::triggered, nullptr, nullptr);
            connect(action, &QAction::triggered, this, &NBECodeTextEdit::undo);
            action->setEnabled(!isReadOnly() && history->isUndoAvailable());
        } else if (action->objectName() == QLatin1String("edit-redo")) {
            disconnect(action, &QAction::triggered, nullptr, nullptr);
            connect(action, &QAction::triggered, this, &NBECodeTextEdit::redo);
            action->setEnabled(!isReadOnly() && history->isRedoAvailable());
        }
    }
    menu->exec(event->globalPos());
}

namespace {

// Dragged items of the file tree or a file manager: local files and nothing
// to type. A file manager adds their addresses as text for a terminal; that
// text is no reason to type them. A web address (a browser's link) is text.
bool isFileDrop(const QMimeData *source)
{
    if (!source || !source->hasUrls())
        return false;
    const QList<QUrl> urls = source->urls();
    return std::all_of(urls.cbegin(), urls.cend(),
                       [](const QUrl &url) { return url.isLocalFile(); });
}

} // namespace

bool NBECodeTextEdit::canInsertFromMimeData(const QMimeData *source) const
{
    return !isFileDrop(source) && QPlainTextEdit::canInsertFromMimeData(source);
}

void NBECodeTextEdit::dragEnterEvent(QDragEnterEvent *event)
{
    if (!isFileDrop(event->mimeData())) {
        QPlainTextEdit::dragEnterEvent(event);
        return;
    }
    event->acceptProposedAction();
}

void NBECodeTextEdit::dragMoveEvent(QDragMoveEvent *event)
{
    if (!isFileDrop(event->mimeData())) {
        QPlainTextEdit::dragMoveEvent(event);
        return;
    }
    event->acceptProposedAction();
}

void NBECodeTextEdit::dropEvent(QDropEvent *event)
{
    if (!isFileDrop(event->mimeData())) {
        if (!m_textInput || !m_textInput->drop(event))
            QPlainTextEdit::dropEvent(event);
        return;
    }
    // Copy: the source must not delete what it dragged here.
    event->setDropAction(Qt::CopyAction);
    event->accept();
    Q_EMIT filesDropped(event->mimeData()->urls());
}

void NBECodeTextEdit::insertFromMimeData(const QMimeData *source)
{
    // Data without a single format (a clipboard whose owner did not answer)
    // holds nothing to insert, and Qt's own insertion would read its first
    // format and crash.
    if (!source || source->formats().isEmpty() || isFileDrop(source))
        return;
    if (!m_textInput || !m_textInput->paste(source))
        QPlainTextEdit::insertFromMimeData(source);
}

QMimeData *NBECodeTextEdit::createMimeDataFromSelection() const
{
    if (QMimeData *data = m_textInput ? m_textInput->copy() : nullptr)
        return data;
    return QPlainTextEdit::createMimeDataFromSelection();
}

void NBECodeTextEdit::keyPressEvent(QKeyEvent *event)
{
    for (NBEKeyHandler *handler : std::as_const(m_keyHandlers)) {
        if (handler->keyCommand(event)) {
            event->accept();
            return;
        }
    }
    if (event == QKeySequence::Undo || event == QKeySequence::Redo) {
        // Through the text input, as the menu's undo and redo go.
        if (!isReadOnly()) {
            undoOrRedo(event == QKeySequence::Redo);
            event->accept();
            return;
        }
        const QScopedValueRollback marking(m_undoingOrRedoing, true);
        QPlainTextEdit::keyPressEvent(event);
        return;
    }
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        Q_EMIT escapePressed();
        return;
    }
    if (event == QKeySequence::Find) {
        Q_EMIT findRequested();
        return;
    }
    if (event == QKeySequence::FindNext || event == QKeySequence::FindPrevious) {
        Q_EMIT findNextRequested(event == QKeySequence::FindPrevious);
        return;
    }
    // Tab indents, so Ctrl+Tab and Ctrl+Shift+Tab leave the editor.
    if ((event->key() == Qt::Key_Tab || event->key() == Qt::Key_Backtab) &&
        event->modifiers().testFlag(Qt::ControlModifier)) {
        QWidget::focusNextPrevChild(event->key() == Qt::Key_Tab &&
                                    !event->modifiers().testFlag(Qt::ShiftModifier));
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

void NBECodeTextEdit::paintEvent(QPaintEvent *event)
{
    keepVisibleGlyphs();
    QPlainTextEdit::paintEvent(event);
    const QList<NBEEditorOverlay *> drawn = overlays();
    if (drawn.isEmpty())
        return;
    QPainter painter(viewport());
    for (NBEEditorOverlay *overlay : drawn) {
        painter.save();
        overlay->paint(painter, event->rect());
        painter.restore();
    }
}

bool NBECodeTextEdit::viewportEvent(QEvent *event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
        for (NBEEditorOverlay *overlay : overlays()) {
            if (overlay->mouseEvent(static_cast<QMouseEvent *>(event)))
                return true;
        }
        break;
    default:
        break;
    }
    return QPlainTextEdit::viewportEvent(event);
}

void NBECodeTextEdit::keepGlyphsOf(const QTextBlock &block)
{
    if (!block.isValid())
        return;
    block.layout()->setCacheEnabled(true);
    const int number = block.blockNumber();
    m_glyphsFirst = m_glyphsLast < m_glyphsFirst ? number : std::min(m_glyphsFirst, number);
    m_glyphsLast = std::max(m_glyphsLast, number);
}

void NBECodeTextEdit::keepVisibleGlyphs()
{
    // A line drawn without a cache is shaped again at each paint. So lines on
    // screen keep their shaped glyphs; lines that left the screen give them
    // back.
    QTextBlock block = firstVisibleBlock();
    if (!block.isValid())
        return;
    const int first = block.blockNumber();
    const qreal height = viewport()->height();
    qreal top = blockBoundingGeometry(block).translated(contentOffset()).top();
    int last = first;
    for (; block.isValid() && top <= height; block = block.next(), ++last) {
        block.layout()->setCacheEnabled(true);
        top += blockBoundingRect(block).height();
    }
    --last;
    for (int number = m_glyphsFirst; number <= m_glyphsLast; ++number) {
        if (number >= first && number <= last)
            continue;
        const QTextBlock gone = document()->findBlockByNumber(number);
        if (!gone.isValid() || !gone.layout()->cacheEnabled())
            continue;
        // An empty layout frees its glyphs; the line is laid out again when
        // it is next needed.
        QTextLayout *layout = gone.layout();
        layout->setCacheEnabled(false);
        layout->beginLayout();
        layout->endLayout();
    }
    m_glyphsFirst = first;
    m_glyphsLast = last;
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
