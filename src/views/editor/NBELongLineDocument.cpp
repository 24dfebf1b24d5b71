#include "NBELongLineDocument.h"

#include "NBESoftBreaks.h"
#include "NBETextBuffer.h"

#include <QPlainTextDocumentLayout>
#include <QScopedValueRollback>
#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>

#include <algorithm>

namespace {

// The block state of a block whose line the view split before it. A block
// split by typing starts with no state and its left part keeps it, so a
// typed line break is never taken for a split; a merge may carry a state
// left, which is why the first block of each change is marked again.
constexpr int continuesState = 0x5EB;

// A change this large is shown by splitting the whole text again, not by
// splitting it piece by piece.
constexpr qsizetype rebuildChars = 256 * 1024;

} // namespace

NBELongLineDocument::NBELongLineDocument(std::shared_ptr<NBETextBuffer> buffer, QObject *parent)
    : QObject(parent)
    , m_buffer(std::move(buffer))
    , m_document(new QTextDocument(this))
{
    m_document->setUndoRedoEnabled(false);
    // Changes are reported only while the document has a layout.
    m_document->setDocumentLayout(new QPlainTextDocumentLayout(m_document));
    rebuild();
    connect(m_document, &QTextDocument::contentsChange, this, &NBELongLineDocument::viewChanged);
    connect(m_buffer.get(), &NBETextBuffer::changed, this, &NBELongLineDocument::bufferChanged);
}

NBELongLineDocument::~NBELongLineDocument() = default;

void NBELongLineDocument::rebuild()
{
    const QScopedValueRollback applying(m_applying, true);
    const QString text = m_buffer->text();
    QString shown;
    shown.reserve(text.size() + text.size() / NBESoftBreaks::pieceLength + 1);
    m_breaks.clear();
    qsizetype start = 0;
    while (start <= text.size()) {
        qsizetype end = text.indexOf(u'\n', start);
        if (end < 0)
            end = text.size();
        const QStringView line = QStringView(text).mid(start, end - start);
        qsizetype from = 0;
        for (const int cut : NBESoftBreaks::cutsIn(line)) {
            shown += line.mid(from, cut - from);
            m_breaks.push_back(int(shown.size()));
            shown += u'\n';
            from = cut;
        }
        shown += line.mid(from);
        if (end < text.size())
            shown += u'\n';
        start = end + 1;
    }
    m_document->setPlainText(shown);
    for (const int at : m_breaks)
        mark(m_document->findBlock(at + 1), true);
    m_length = m_document->characterCount() - 1;
    m_revision = m_document->revision();
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
    return block.isValid() && block.userState() == continuesState;
}

int NBELongLineDocument::lineNumber(const QTextBlock &block) const
{
    return m_buffer->document()->findBlock(toText(block.position())).blockNumber() + 1;
}

int NBELongLineDocument::lineCount() const
{
    return m_buffer->document()->blockCount();
}

QString NBELongLineDocument::textBetween(int from, int to) const
{
    const int start = toText(std::min(from, to));
    const int end = toText(std::max(from, to));
    QTextCursor cursor(m_buffer->document());
    // (An edit block spares the cursor measuring its place on the line.)
    cursor.beginEditBlock();
    cursor.setPosition(start);
    cursor.setPosition(end, QTextCursor::KeepAnchor);
    QString text = cursor.selectedText();
    cursor.endEditBlock();
    text.replace(QChar::ParagraphSeparator, u'\n');
    return text;
}

QString NBELongLineDocument::text() const
{
    // One copy per revision, shared by the find bar's searches and count.
    return m_buffer->snapshot();
}

NBEEditorHighlighter::Tokenizer
NBELongLineDocument::shownTokenizer(NBEEditorHighlighter::Tokenizer textTokenizer) const
{
    return [textTokenizer = std::move(textTokenizer), breaks = m_breaks](const QString &shown) {
        QString text;
        text.reserve(shown.size());
        qsizetype from = 0;
        for (const int at : breaks) {
            text += QStringView(shown).mid(from, at - from);
            from = at + 1;
        }
        text += QStringView(shown).mid(from);
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

void NBELongLineDocument::mark(QTextBlock block, bool continues) const
{
    if (block.isValid())
        block.setUserState(continues ? continuesState : -1);
}

void NBELongLineDocument::viewChanged(int position, int removed, int added)
{
    const int newLength = m_document->characterCount() - 1;
    const NBEChangedSpan span = NBEChangedSpan::of(position, removed, m_length, newLength);
    const int from = int(span.from);
    const int gone = int(span.removed);
    const int come = int(span.added);
    const int revision = m_document->revision();
    if (gone == come && revision == m_revision && added == removed)
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
        if (continuesLine(block))
            splitsKept.push_back(block.position() - 1);
    m_breaks.insert(m_breaks.begin() + std::ptrdiff_t(insertAt), splitsKept.begin(),
                    splitsKept.end());

    if (m_applying)
        return;
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
    const Forwarded kind = removed == 0 && !inserted.contains(u'\n') ? Forwarded::Insertion
                           : inserted.isEmpty()                      ? Forwarded::Removal
                                                                     : Forwarded::Other;
    // Nothing else touched the buffer since, and it holds unsaved edits.
    const bool onFromLast = m_buffer->revision() == m_lastRevision && document->isModified();
    const bool joins =
        onFromLast && kind == m_lastKind &&
        (kind == Forwarded::Insertion ? from == m_lastTo
         : kind == Forwarded::Removal ? from + removed == m_lastFrom || from == m_lastFrom
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
    if (change.inserted.size() >= rebuildChars || change.removed >= rebuildChars) {
        Q_EMIT aboutToResplit();
        rebuild();
        Q_EMIT resplit(int(change.position), int(change.removed), int(change.inserted.size()));
        m_lastApplied = toView(int(change.position + change.inserted.size()));
        return;
    }
    const int from = toView(int(change.position));
    const int to = toView(int(change.position + change.removed));
    {
        const QScopedValueRollback applying(m_applying, true);
        QTextCursor cursor(m_document);
        cursor.setPosition(from);
        cursor.setPosition(to, QTextCursor::KeepAnchor);
        cursor.insertText(change.inserted);
    }
    splitLongLines(from, from + int(change.inserted.size()));
    m_lastApplied = toView(int(change.position + change.inserted.size()));
}

void NBELongLineDocument::splitLongLines(int from, int to)
{
    const QScopedValueRollback applying(m_applying, true);
    QTextBlock block = m_document->findBlock(std::clamp(from, 0, m_length));
    const QTextBlock last = m_document->findBlock(std::clamp(to, 0, m_length));
    while (block.isValid()) {
        const QTextBlock next = block.next();
        const bool lastOne = block == last;
        if (block.length() - 1 > NBESoftBreaks::longestPiece) {
            const int start = block.position();
            const std::vector<int> cuts = NBESoftBreaks::cutsIn(block.text());
            // From the end, so the offsets before each cut stay as they are.
            for (auto cut = cuts.rbegin(); cut != cuts.rend(); ++cut) {
                QTextCursor cursor(m_document);
                cursor.setPosition(start + *cut);
                cursor.insertBlock();
                mark(cursor.block(), true);
                const int at = start + *cut;
                m_breaks.insert(std::lower_bound(m_breaks.begin(), m_breaks.end(), at), at);
            }
        }
        if (lastOne)
            break;
        block = next;
    }
}
