#include "NBELongLineView.h"

#include "NBECodeTextEdit.h"
#include "NBELineLayout.h"
#include "NBELongLineDocument.h"
#include "NBETextBuffer.h"
#include "NBEWhenFinished.h"

#include <QTextDocument>
#include <QThread>
#include <QtConcurrent/QtConcurrentRun>

namespace {

// Lines tokenized first when a text is shown, so the first screen is
// coloured before a large file has been tokenized whole.
constexpr int quickStartLines = 300;

} // namespace

NBELongLineView::NBELongLineView(std::shared_ptr<NBETextBuffer> buffer, NBECodeTextEdit *view,
                                 QObject *parent)
    : QObject(parent)
    , m_buffer(std::move(buffer))
    , m_view(view)
{
    // Split before a paste or drop brings the line, even while a split is
    // being made off the main thread: the view never lays it out whole.
    view->splitBeforeLongLine = [self = QPointer(this)] {
        if (self)
            self->showSplitNow();
    };
}

NBELongLineView::~NBELongLineView()
{
    if (m_view)
        m_view->splitBeforeLongLine = nullptr;
}

QTextDocument *NBELongLineView::firstDocument()
{
    QTextDocument *document = m_buffer->document();
    if (m_buffer->length() >= splitInBackgroundChars || !NBECodeTextEdit::hasLongLine(document))
        return document;
    // A line of megabytes would be laid out whole at every key: the view
    // shows it split, and the buffer's document goes without a layout.
    m_buffer->setDocumentLayout(nullptr);
    m_longLines = new NBELongLineDocument(m_buffer, this);
    m_view->setLongLines(m_longLines);
    m_view->prepareDocument(m_longLines->document());
    return m_longLines->document();
}

void NBELongLineView::enableUndo()
{
    if (!m_longLines && !m_view->document()->isUndoRedoEnabled())
        m_view->setUndoRedoEnabled(true);
}

void NBELongLineView::split()
{
    if (m_longLines || m_splitting || !m_view)
        return;
    if (m_buffer->length() < splitInBackgroundChars) {
        show(new NBELongLineDocument(m_buffer, this));
        return;
    }
    m_splitting = true;
    const quint64 revision = m_buffer->revision();
    QThread *owner = thread();
    nbeWhenFinished(
        QtConcurrent::run([text = m_buffer->snapshot(), owner] {
            std::shared_ptr<NBELongLineDocument::Shown> shown = NBELongLineDocument::split(text);
            shown->document->moveToThread(owner);
            return shown;
        }),
        this, [this, revision](const std::shared_ptr<NBELongLineDocument::Shown> &shown) {
            m_splitting = false;
            if (!m_view || m_longLines || !NBECodeTextEdit::hasLongLine(m_view->document()))
                return;
            // The text moved on while it was split.
            if (m_buffer->revision() != revision) {
                split();
                return;
            }
            show(new NBELongLineDocument(m_buffer, std::move(*shown), this));
        });
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

void NBELongLineView::showWholeAgain()
{
    if (!m_longLines || !m_view || NBECodeTextEdit::hasLongLine(m_buffer->document()))
        return;
    NBECodeTextEdit *view = m_view;
    const int anchor = m_longLines->toText(view->textCursor().anchor());
    const int position = m_longLines->toText(view->textCursor().position());
    Q_EMIT splitWillShow();
    QTextDocument *document = m_buffer->document();
    view->prepareDocument(document);
    m_buffer->setDocumentLayout(new NBELineLayout(document));
    view->setLongLines(nullptr);
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
    m_longLines = longLines;
    QTextDocument *document = longLines->document();
    view->setLongLines(longLines);
    view->prepareDocument(document);
    view->keepGlyphsOf(document->firstBlock());
    view->setDocument(document);
    m_buffer->setDocumentLayout(nullptr);
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
