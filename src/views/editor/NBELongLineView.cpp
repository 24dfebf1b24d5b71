#include "NBELongLineView.h"

#include "NBECodeTextEdit.h"
#include "NBEHeldInput.h"
#include "NBELineLayout.h"
#include "NBELongLineDocument.h"
#include "NBELongLineInput.h"
#include "NBEOpeningFile.h"
#include "NBESoftBreaks.h"
#include "NBESplitStart.h"
#include "NBETextBuffer.h"
#include "NBEWhenFinished.h"

#include <QDropEvent>
#include <QMimeData>
#include <QTextBlock>
#include <QTextDocument>
#include <QThread>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

namespace {

// Lines tokenized first when a text is shown, so the first screen is
// coloured before a large file has been tokenized whole.
constexpr int quickStartLines = 300;

bool holdsLongLine(const QString &text)
{
    for (qsizetype start = 0; start < text.size();) {
        qsizetype end = text.indexOf(u'\n', start);
        if (end < 0)
            end = text.size();
        if (end - start > NBESoftBreaks::longestWholeLine)
            return true;
        start = end + 1;
    }
    return false;
}

} // namespace

NBELongLineView::NBELongLineView(std::shared_ptr<NBETextBuffer> buffer, NBECodeTextEdit *view,
                                 QObject *parent)
    : QObject(parent)
    , m_buffer(std::move(buffer))
    , m_view(view)
{
    // Split before a paste or drop brings the line, even while a split is
    // being made off the main thread: the view never lays it out whole.
    view->setTextInput(this);
    // Before the view's driver hears of the change or the replacement.
    connect(m_buffer.get(), &NBETextBuffer::changed, this, &NBELongLineView::bufferChanged);
    connect(m_buffer.get(), &NBETextBuffer::aboutToReplace, this,
            &NBELongLineView::bufferWillBeReplaced);
}

NBELongLineView::~NBELongLineView()
{
    if (m_start && m_view && &m_view->textGeometry() == m_start.get())
        m_view->setTextGeometry(nullptr);
    m_held.reset();
    m_input.reset();
    if (m_view && m_view->textInput() == this)
        m_view->setTextInput(nullptr);
}

bool NBELongLineView::hasLongLine(const QTextDocument *document, int from, int to)
{
    const int end = document->characterCount() - 1;
    QTextBlock block = document->findBlock(std::clamp(from, 0, end));
    const QTextBlock last = to < 0 ? document->lastBlock() : document->findBlock(std::min(to, end));
    for (; block.isValid(); block = block.next()) {
        if (block.length() - 1 > NBESoftBreaks::longestWholeLine)
            return true;
        if (block == last)
            break;
    }
    return false;
}

QTextDocument *NBELongLineView::firstDocument()
{
    QTextDocument *document = m_buffer->document();
    if (!hasLongLine(document))
        return document;
    // A line of megabytes would be laid out whole at every key: the view
    // shows it split, and the buffer's document goes without a layout.
    m_historyHoldsLongLine = true;
    if (m_buffer->length() >= splitInBackgroundChars) {
        const QString text = m_buffer->snapshot();
        // Its first screen meanwhile.
        m_start = std::make_unique<NBESplitStart>(NBEOpeningFile::startOf(text), this);
        m_view->prepareDocument(m_start->document());
        m_view->setDocument(m_start->document());
        m_view->setTextGeometry(m_start.get());
        m_view->setReadOnly(true);
        m_held = std::make_unique<NBEHeldInput>(m_view, [this] { showFirstNow(); });
        splitFirstInBackground(text);
        return nullptr;
    }
    m_buffer->setDocumentLayout(nullptr);
    m_longLines = new NBELongLineDocument(m_buffer, this);
    m_input = std::make_unique<NBELongLineInput>(m_view, m_longLines);
    m_view->prepareDocument(m_longLines->document());
    return m_longLines->document();
}

void NBELongLineView::splitFirstInBackground(const QString &text)
{
    m_splitting = true;
    m_firstText = text;
    m_firstRevision = m_buffer->revision();
    const quint64 split = ++m_firstSplits;
    QThread *owner = thread();
    m_firstSplit = QtConcurrent::run([text, owner] {
        std::shared_ptr<NBELongLineDocument::Shown> shown = NBELongLineDocument::split(text);
        shown->document->moveToThread(owner);
        return shown;
    });
    nbeWhenFinished(m_firstSplit, this,
                    [this, split](const std::shared_ptr<NBELongLineDocument::Shown> &shown) {
                        // Not when it was waited for already.
                        if (m_splitting && split == m_firstSplits)
                            firstSplitMade(shown, false);
                    });
}

void NBELongLineView::showFirstNow()
{
    if (!m_splitting)
        return;
    // The rest of the split's time, at most; keys wait for its document.
    m_firstSplit.waitForFinished();
    firstSplitMade(m_firstSplit.resultCount() > 0 ? m_firstSplit.result() : nullptr, true);
}

void NBELongLineView::takeHeldInput()
{
    if (m_held && !m_held->isEmpty())
        showFirstNow();
}

void NBELongLineView::firstSplitMade(const std::shared_ptr<NBELongLineDocument::Shown> &shown,
                                     bool now)
{
    m_splitting = false;
    ++m_firstSplits;
    if (!m_view)
        return;
    if (shown && m_buffer->revision() == m_firstRevision) {
        // Read once for the split, and again by none of the readers of the
        // text shown.
        m_buffer->shareSnapshot(m_firstText, m_firstRevision);
        m_firstText.clear();
        showFirst(new NBELongLineDocument(m_buffer, std::move(*shown), this));
        return;
    }
    // The text moved on while it was split (a reload, an edit in another
    // view of it): the split is of the text as it is now.
    m_firstText.clear();
    const bool longLine = hasLongLine(m_buffer->document());
    if (longLine && !now)
        splitFirstInBackground(m_buffer->snapshot());
    else
        showFirst(longLine ? new NBELongLineDocument(m_buffer, this) : nullptr);
}

void NBELongLineView::showFirst(NBELongLineDocument *longLines)
{
    QTextDocument *document = m_buffer->document();
    if (longLines) {
        m_longLines = longLines;
        m_input = std::make_unique<NBELongLineInput>(m_view, longLines);
        m_buffer->setDocumentLayout(nullptr);
        document = longLines->document();
        m_view->prepareDocument(document);
    } else {
        m_view->setTextGeometry(nullptr);
    }
    m_view->setReadOnly(false);
    Q_EMIT firstDocumentReady(document);
    if (m_view->document() != m_start->document()) {
        delete m_start->document();
        m_start.reset();
    }
    // Typed while the text was split, into the text as it is shown now.
    if (m_held)
        m_held->release();
}

void NBELongLineView::enableUndo()
{
    if (!m_longLines && !m_view->document()->isUndoRedoEnabled())
        m_view->setUndoRedoEnabled(true);
}

void NBELongLineView::splitNow()
{
    if (!m_splitting)
        showSplitNow();
}

void NBELongLineView::showSplitNow()
{
    if (m_longLines || !m_view)
        return;
    // A split off the main thread that is still running is shown no more.
    show(new NBELongLineDocument(m_buffer, this));
}

void NBELongLineView::textReplaced()
{
    updateShaping();
}

void NBELongLineView::textSettled()
{
    // Only a text that had a long line is read for one again.
    if (m_view && m_view->isShapingSkipped())
        updateShaping();
    showWholeAgain();
}

void NBELongLineView::updateShaping()
{
    if (!m_view)
        return;
    const bool longLine = hasLongLine(m_view->document());
    // A new font would lay a line too long to show whole out again: the view
    // shows it split instead.
    if (longLine && !m_longLines) {
        splitNow();
        if (!m_longLines)
            return;
    }
    m_view->setShapingSkipped(hasLongLine(m_view->document()));
}

void NBELongLineView::bufferChanged(const NBETextChange &change)
{
    // A line that grew too long is laid out unshaped from the next turn on
    // (a new font relays the whole text, not to be done inside an edit),
    // until it is shown split. A split view splits its own pieces.
    if (!m_view || m_longLines || m_splitting || m_view->isShapingSkipped())
        return;
    const int position = int(change.position);
    if (hasLongLine(m_view->document(), position, position + int(change.inserted.size())))
        QTimer::singleShot(0, this, &NBELongLineView::updateShaping);
}

void NBELongLineView::bufferWillBeReplaced(const QString &text)
{
    // A text that brings a line too long to show whole goes to a split view:
    // shown whole, the line would be laid out whole. The replacement
    // starts a new undo history.
    m_historyHoldsLongLine = false;
    if (m_view && !m_longLines && holdsLongLine(text))
        splitNow();
}

bool NBELongLineView::bringsLongLine(const QString &text) const
{
    const QTextCursor cursor = m_view->textCursor();
    const QTextDocument *document = m_view->document();
    const QTextBlock first = document->findBlock(cursor.selectionStart());
    const QTextBlock last = document->findBlock(cursor.selectionEnd());
    // The first line goes on from the text before the selection, the last
    // one into the text after it.
    qsizetype line = cursor.selectionStart() - first.position();
    for (const QChar c : text) {
        if (c == u'\n' || c == u'\r' || c == QChar::ParagraphSeparator ||
            c == QChar::LineSeparator) {
            line = 0;
            continue;
        }
        if (++line > NBESoftBreaks::longestWholeLine)
            return true;
    }
    return line + last.position() + last.length() - 1 - cursor.selectionEnd() >
           NBESoftBreaks::longestWholeLine;
}

bool NBELongLineView::splitFor(const QMimeData *source)
{
    if (m_longLines || !m_view || m_view->isReadOnly() || !source || !source->hasText() ||
        !bringsLongLine(source->text()))
        return false;
    showSplitNow();
    return m_input != nullptr;
}

bool NBELongLineView::paste(const QMimeData *source)
{
    return splitFor(source) && m_input->paste(source);
}

bool NBELongLineView::drop(QDropEvent *event)
{
    return splitFor(event->mimeData()) && m_input->drop(event);
}

bool NBELongLineView::undoOrRedo(bool redo)
{
    // Which step brings the line back is not known before it is taken: once
    // the history held one, every step goes split (shown whole, the line
    // would be laid out whole), and the view is whole again at the pause.
    const QTextDocument *document = m_buffer->document();
    if (!m_historyHoldsLongLine || m_longLines || m_splitting || !m_view ||
        !(redo ? document->isRedoAvailable() : document->isUndoAvailable()))
        return false;
    showSplitNow();
    return m_input && m_input->undoOrRedo(redo);
}

void NBELongLineView::showWholeAgain()
{
    if (!m_longLines || !m_view || hasLongLine(m_buffer->document()))
        return;
    NBECodeTextEdit *view = m_view;
    const int anchor = m_longLines->toText(view->textCursor().anchor());
    const int position = m_longLines->toText(view->textCursor().position());
    Q_EMIT splitWillShow();
    QTextDocument *document = m_buffer->document();
    view->prepareDocument(document);
    m_buffer->setDocumentLayout(new NBELineLayout(document));
    m_input.reset();
    view->setTextInput(this);
    view->setDocument(document);
    // Follows the buffer no more; gone once the events about it are.
    NBELongLineDocument *split = std::exchange(m_longLines, nullptr);
    disconnect(m_buffer.get(), nullptr, split, nullptr);
    split->deleteLater();
    Q_EMIT splitShown(anchor, position);
}

void NBELongLineView::show(NBELongLineDocument *longLines)
{
    NBECodeTextEdit *view = m_view;
    const QTextCursor caret = view->textCursor();
    Q_EMIT splitWillShow();
    m_historyHoldsLongLine = true;
    m_longLines = longLines;
    QTextDocument *document = longLines->document();
    m_input = std::make_unique<NBELongLineInput>(view, longLines);
    view->prepareDocument(document);
    view->keepGlyphsOf(document->firstBlock());
    view->setDocument(document);
    m_buffer->setDocumentLayout(nullptr);
    // Its pieces are short enough to shape.
    view->setShapingSkipped(false);
    // The view showed the text whole: its offsets were the text's.
    Q_EMIT splitShown(caret.anchor(), caret.position());
}

void NBELongLineView::setLanguage(NBEEditorHighlighter &highlighter,
                                  const std::optional<NBELanguage> &language) const
{
    if (!m_longLines)
        highlighter.setLanguage(language);
    else if (!language)
        highlighter.setTokenizer({});
}

void NBELongLineView::highlight(NBEEditorHighlighter &highlighter, const NBELanguage &language,
                                const QString &text, bool languageChanged) const
{
    if (m_longLines) {
        // The splits move with every edit: the pass takes those of now, and
        // the text the pause read (the pieces are made off the main thread).
        highlighter.setTokenizer(
            m_longLines->shownTokenizer(NBEEditorHighlighter::tokenizerFor(language)),
            m_longLines->shownText());
        highlighter.highlight(text);
        return;
    }
    if (!highlighter.hasTokenizer() || languageChanged)
        highlighter.setLanguage(language);
    if (m_view->firstVisibleTextBlock().blockNumber() == 0)
        highlighter.highlightWithQuickStart(text, quickStartLines);
    else
        highlighter.highlight(text);
}

void NBELongLineView::keepColours(const NBEEditorHighlighter &whole,
                                  NBEEditorHighlighter &shown) const
{
    // A split line had no colours.
    if (!m_longLines || !m_view || whole.runsByLine().empty())
        return;
    const std::vector<NBEPackedRuns> &wholeLines = whole.runsByLine();
    const QTextDocument *document = m_longLines->document();
    std::vector<NBEPackedRuns> lines(size_t(document->blockCount()));
    size_t line = 0;
    size_t number = 0;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next(), ++number) {
        if (m_longLines->continuesLine(block))
            continue;
        if (number > 0)
            ++line;
        if (line < wholeLines.size() && !m_longLines->continuesLine(block.next()))
            lines[number] = wholeLines[line];
    }
    shown.adoptRuns(std::move(lines));
}
