#include "NBELongLineDocument.h"

#include "NBELineLayout.h"
#include "NBESoftBreaks.h"
#include "NBETextBuffer.h"

#include <QScopedValueRollback>
#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>

#include <algorithm>

namespace {

// Marks a block whose line the view split before it. Kept with the block,
// not in its state (the highlighter's), so a piece keeps it across edits of
// the document: a block split by typing starts without it and its left part
// keeps it, so a typed line break is never taken for a split; a merge may
// carry it left, which is why the first block of each change is marked again.
class SplitMark : public QTextBlockUserData
{
};

} // namespace

NBELongLineDocument::NBELongLineDocument(std::shared_ptr<NBETextBuffer> buffer, QObject *parent)
    : NBELongLineDocument(buffer, std::move(*split(buffer->snapshot())), parent)
{}

NBELongLineDocument::NBELongLineDocument(std::shared_ptr<NBETextBuffer> buffer, Shown &&shown,
                                         QObject *parent)
    : QObject(parent)
    , m_buffer(std::move(buffer))
    , m_document(shown.document.release())
    , m_breaks(std::move(shown.breaks))
{
    m_document->setParent(this);
    // Changes are reported only while the document has a layout.
    m_document->setDocumentLayout(new NBELineLayout(m_document));
    m_length = m_document->characterCount() - 1;
    m_revision = m_document->revision();
    connect(m_document, &QTextDocument::contentsChange, this, &NBELongLineDocument::viewChanged);
    connect(m_buffer.get(), &NBETextBuffer::changed, this, &NBELongLineDocument::bufferChanged);
}

std::shared_ptr<NBELongLineDocument::Shown> NBELongLineDocument::split(const QString &text)
{
    auto result = std::make_shared<Shown>();
    QString shown;
    shown.reserve(text.size() + text.size() / NBESoftBreaks::pieceLength + 1);
    qsizetype start = 0;
    while (start <= text.size()) {
        qsizetype end = text.indexOf(u'\n', start);
        if (end < 0)
            end = text.size();
        const QStringView line = QStringView(text).mid(start, end - start);
        qsizetype from = 0;
        for (const int cut : NBESoftBreaks::cutsIn(line)) {
            shown += line.mid(from, cut - from);
            result->breaks.push_back(int(shown.size()));
            shown += u'\n';
            from = cut;
        }
        shown += line.mid(from);
        if (end < text.size())
            shown += u'\n';
        start = end + 1;
    }
    // Without a layout until it is shown, so that it can be made on any
    // thread.
    result->document = std::make_unique<QTextDocument>();
    result->document->setUndoRedoEnabled(false);
    result->document->setPlainText(shown);
    auto next = result->breaks.cbegin();
    for (QTextBlock block = result->document->begin();
         block.isValid() && next != result->breaks.cend(); block = block.next()) {
        if (block.position() - 1 == *next) {
            mark(block, true);
            ++next;
        }
    }
    return result;
}

NBELongLineDocument::~NBELongLineDocument() = default;

QTextDocument *NBELongLineDocument::textDocument() const
{
    return m_buffer->document();
}

int NBELongLineDocument::toView(int offset) const
{
    return NBESoftBreaks::toView(m_breaks, offset);
}

int NBELongLineDocument::toText(int viewOffset) const
{
    return NBESoftBreaks::toText(m_breaks, viewOffset);
}

bool NBELongLineDocument::continuesLine(const QTextBlock &block) const
{
    return block.isValid() && NBESoftBreaks::continuesLine(m_breaks, block.position());
}

int NBELongLineDocument::lineNumber(const QTextBlock &block) const
{
    return m_buffer->document()->findBlock(toText(block.position())).blockNumber() + 1;
}

int NBELongLineDocument::lineCount() const
{
    return m_buffer->document()->blockCount();
}

QString NBELongLineDocument::text() const
{
    // One copy per revision, shared by the find bar's searches and count.
    return m_buffer->snapshot();
}

NBEEditorHighlighter::Tokenizer
NBELongLineDocument::shownTokenizer(NBEEditorHighlighter::Tokenizer textTokenizer) const
{
    return [textTokenizer = std::move(textTokenizer), breaks = m_breaks](const QString &text) {
        QList<NBEHighlightRun> runs = textTokenizer(text);
        // A run's first character stands after every split before it or at
        // it; its end after the splits before it.
        for (NBEHighlightRun &run : runs) {
            const int start = NBESoftBreaks::toView(breaks, run.start + 1) - 1;
            run.length = NBESoftBreaks::toView(breaks, run.start + run.length) - start;
            run.start = start;
        }
        return runs;
    };
}

NBEEditorHighlighter::ShownText NBELongLineDocument::shownText() const
{
    return [breaks = m_breaks](const QString &text) {
        QString shown;
        shown.reserve(text.size() + qsizetype(breaks.size()));
        qsizetype from = 0;
        for (size_t i = 0; i < breaks.size(); ++i) {
            // Split i stands before text offset breaks[i] - i.
            const qsizetype at = breaks[i] - qsizetype(i);
            shown += QStringView(text).mid(from, at - from);
            shown += u'\n';
            from = at;
        }
        shown += QStringView(text).mid(from);
        return shown;
    };
}

std::optional<int> NBELongLineDocument::undo()
{
    m_lastApplied.reset();
    m_buffer->document()->undo();
    return m_lastApplied;
}

std::optional<int> NBELongLineDocument::redo()
{
    m_lastApplied.reset();
    m_buffer->document()->redo();
    return m_lastApplied;
}

bool NBELongLineDocument::isUndoAvailable() const
{
    return m_buffer->document()->isUndoAvailable();
}

bool NBELongLineDocument::isRedoAvailable() const
{
    return m_buffer->document()->isRedoAvailable();
}

void NBELongLineDocument::mark(QTextBlock block, bool continues)
{
    if (block.isValid() && continues != isMarked(block))
        block.setUserData(continues ? new SplitMark : nullptr);
}

bool NBELongLineDocument::isMarked(const QTextBlock &block)
{
    return dynamic_cast<SplitMark *>(block.userData()) != nullptr;
}

void NBELongLineDocument::viewChanged(int position, int removed, int added)
{
    const int newLength = m_document->characterCount() - 1;
    const NBEChangedSpan span = NBEChangedSpan::of(position, removed, m_length, newLength);
    const int from = int(span.from);
    const int gone = int(span.removed);
    const int come = int(span.added);
    const int revision = m_document->revision();
    if (m_quiet || (gone == come && revision == m_revision && added == removed))
        return;
    m_revision = revision;
    m_length = newLength;

    // Splits inside the replaced range went with it; later ones moved.
    const auto first = std::lower_bound(m_breaks.begin(), m_breaks.end(), from);
    const auto last = std::lower_bound(first, m_breaks.end(), from + gone);
    const int textFrom = from - int(first - m_breaks.begin());
    const int textGone = gone - int(last - first);
    const auto rest = m_breaks.erase(first, last);
    for (auto it = rest; it != m_breaks.end(); ++it)
        *it += come - gone;
    const size_t insertAt = size_t(rest - m_breaks.begin());

    // The first block's own split is known from before the change; the
    // blocks after it inside the new text are new (no split) or splits that
    // the change kept.
    const QTextBlock firstBlock = m_document->findBlock(from);
    mark(firstBlock,
         std::binary_search(m_breaks.begin(), m_breaks.end(), firstBlock.position() - 1));
    std::vector<int> splitsKept;
    for (QTextBlock block = firstBlock.next(); block.isValid() && block.position() <= from + come;
         block = block.next())
        if (isMarked(block))
            splitsKept.push_back(block.position() - 1);
    m_breaks.insert(m_breaks.begin() + std::ptrdiff_t(insertAt), splitsKept.begin(),
                    splitsKept.end());

    QTextCursor range(m_document);
    range.setPosition(from);
    range.setPosition(from + come, QTextCursor::KeepAnchor);
    QString inserted = range.selectedText();
    for (auto it = splitsKept.rbegin(); it != splitsKept.rend(); ++it)
        inserted.remove(*it - from, 1);
    inserted.replace(QChar::ParagraphSeparator, u'\n');
    if (textGone > 0 || !inserted.isEmpty())
        forward(textFrom, textGone, inserted);
    // A line that grew too long is split once the edit is over.
    bool tooLong = false;
    for (QTextBlock block = firstBlock; block.isValid() && block.position() <= from + come;
         block = block.next())
        tooLong = tooLong || block.length() - 1 > NBESoftBreaks::longestPiece;
    if (tooLong) {
        if (m_pendingSplit.isNull()) {
            m_pendingSplit = QTextCursor(m_document);
            m_pendingSplit.setPosition(from);
            QTimer::singleShot(0, this, &NBELongLineDocument::splitPending);
        }
        const int start = std::min(m_pendingSplit.selectionStart(), from);
        const int end = std::max(m_pendingSplit.selectionEnd(), from + come);
        m_pendingSplit.setPosition(start);
        m_pendingSplit.setPosition(end, QTextCursor::KeepAnchor);
    }
}

void NBELongLineDocument::forward(int from, int removed, const QString &inserted)
{
    const QScopedValueRollback forwarding(m_forwarding, true);
    QTextDocument *document = m_buffer->document();
    const bool typed = !inserted.isEmpty() && !inserted.contains(u'\n');
    const Forwarded kind = typed && removed == 0 ? Forwarded::Insertion
                           : typed               ? Forwarded::Replacement
                           : inserted.isEmpty()  ? Forwarded::Removal
                                                 : Forwarded::Other;
    // Nothing else touched the buffer since, and it holds unsaved edits.
    const bool onFromLast = m_buffer->revision() == m_lastRevision && document->isModified();
    // Typing on after text typed over a selection joins it too: one undo
    // gives the selection back.
    const bool joins =
        onFromLast &&
        (kind == Forwarded::Insertion
             ? (m_lastKind == Forwarded::Insertion || m_lastKind == Forwarded::Replacement) &&
                   from == m_lastTo
         : kind == Forwarded::Removal
             ? m_lastKind == kind && (from + removed == m_lastFrom || from == m_lastFrom)
             : false);
    QTextCursor cursor(document);
    // Outside an edit block a cursor measures its place on the line, which
    // itemizes the whole line (megabytes) at every key.
    if (joins)
        cursor.joinPreviousEditBlock();
    else
        cursor.beginEditBlock();
    cursor.setPosition(from);
    cursor.setPosition(from + removed, QTextCursor::KeepAnchor);
    cursor.insertText(inserted);
    cursor.endEditBlock();
    m_lastKind = kind;
    m_lastFrom = from;
    m_lastTo = from + int(inserted.size());
    m_lastRevision = m_buffer->revision();
}

void NBELongLineDocument::splitPending()
{
    if (m_pendingSplit.isNull())
        return;
    const int from = m_pendingSplit.selectionStart();
    const int to = m_pendingSplit.selectionEnd();
    m_pendingSplit = QTextCursor();
    splitLongLines(from, to);
}

void NBELongLineDocument::bufferChanged(const NBETextChange &change)
{
    if (m_forwarding)
        return;
    show(toView(int(change.position)), toView(int(change.position + change.removed)),
         change.inserted);
    m_lastApplied = toView(int(change.position + change.inserted.size()));
}

void NBELongLineDocument::show(int from, int to, const QString &text)
{
    const QScopedValueRollback quiet(m_quiet, true);
    QTextCursor cursor(m_document);
    // One edit: the layout lays out nothing of it at once (a line of the new
    // text may be megabytes long), and the cursor never measures its place.
    cursor.beginEditBlock();
    cursor.setPosition(from);
    cursor.setPosition(to, QTextCursor::KeepAnchor);
    cursor.insertText(text);
    // Splits inside the replaced range went with it; later ones moved.
    const auto first = std::lower_bound(m_breaks.begin(), m_breaks.end(), from);
    const auto last = std::lower_bound(first, m_breaks.end(), to);
    const int moved = int(text.size()) - (to - from);
    for (auto it = m_breaks.erase(first, last); it != m_breaks.end(); ++it)
        *it += moved;
    const QTextBlock firstBlock = m_document->findBlock(from);
    mark(firstBlock, continuesLine(firstBlock));
    splitIn(cursor, from, from + int(text.size()));
    cursor.endEditBlock();
    m_length = m_document->characterCount() - 1;
    m_revision = m_document->revision();
}

void NBELongLineDocument::splitLongLines(int from, int to)
{
    const QScopedValueRollback quiet(m_quiet, true);
    QTextCursor cursor(m_document);
    cursor.beginEditBlock();
    splitIn(cursor, from, to);
    cursor.endEditBlock();
    m_length = m_document->characterCount() - 1;
    m_revision = m_document->revision();
}

void NBELongLineDocument::splitIn(QTextCursor &cursor, int from, int to)
{
    const int length = m_document->characterCount() - 1;
    std::vector<int> cuts;
    const QTextBlock last = m_document->findBlock(std::clamp(to, 0, length));
    for (QTextBlock block = m_document->findBlock(std::clamp(from, 0, length)); block.isValid();
         block = block.next()) {
        if (block.length() - 1 > NBESoftBreaks::longestPiece) {
            const int start = block.position();
            for (const int cut : NBESoftBreaks::cutsIn(block.text()))
                cuts.push_back(start + cut);
        }
        if (block == last)
            break;
    }
    if (cuts.empty())
        return;
    // From the end, so the offsets before each cut stay as they are.
    for (auto cut = cuts.rbegin(); cut != cuts.rend(); ++cut) {
        cursor.setPosition(*cut);
        cursor.insertBlock();
        mark(cursor.block(), true);
    }
    // Cut i now stands i places further on; a split after it as many more
    // as cuts came before it.
    std::vector<int> breaks;
    breaks.reserve(m_breaks.size() + cuts.size());
    size_t before = 0;
    for (const int at : m_breaks) {
        for (; before < cuts.size() && cuts[before] <= at; ++before)
            breaks.push_back(cuts[before] + int(before));
        breaks.push_back(at + int(before));
    }
    for (; before < cuts.size(); ++before)
        breaks.push_back(cuts[before] + int(before));
    m_breaks = std::move(breaks);
}
