#include "NBETextBuffer.h"

#include "NBEMemory.h"
#include "NBEWhenFinished.h"

#include <QAbstractTextDocumentLayout>
#include <QScopedValueRollback>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QThread>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <atomic>

namespace {

std::atomic<quint64> wholeReads{0};
std::atomic<quint64> pauseReads{0};

bool holdsLineLongerThan(const QString &text, qsizetype length)
{
    for (qsizetype start = 0; start < text.size();) {
        qsizetype end = text.indexOf(u'\n', start);
        if (end < 0)
            end = text.size();
        if (end - start > length)
            return true;
        start = end + 1;
    }
    return false;
}

// A pause's text made on the pool.
struct Built
{
    std::optional<QString> text;
    bool holdsLongLine = false;
};

// Whether a document made from `text` reads back as `text`: it holds no
// character that the document takes for a line or frame break besides "\n".
// A large file's text is then fingerprinted without a second copy.
bool readsBackAsIs(const QString &text)
{
    return !text.contains(u'\r') && !text.contains(QChar::ParagraphSeparator) &&
           !text.contains(QChar(0xFDD0)) && !text.contains(QChar(0xFDD1));
}

// A document reports its changes only while it has a layout. This one lays
// nothing out: a buffer without an editor needs none.
class NBEQuietLayout : public QAbstractTextDocumentLayout
{
public:
    using QAbstractTextDocumentLayout::QAbstractTextDocumentLayout;
    void draw(QPainter *, const PaintContext &) override {}
    int hitTest(const QPointF &, Qt::HitTestAccuracy) const override { return -1; }
    int pageCount() const override { return 1; }
    QSizeF documentSize() const override { return {}; }
    QRectF frameBoundingRect(QTextFrame *) const override { return {}; }
    QRectF blockBoundingRect(const QTextBlock &) const override { return {}; }

protected:
    void documentChanged(int, int, int) override {}
};

} // namespace

NBETextBuffer::NBETextBuffer(const QString &text, QObject *parent)
    : QObject(parent)
    , m_document(new QTextDocument(this))
{
    m_settleTimer = new QTimer(this);
    m_settleTimer->setSingleShot(true);
    m_settleTimer->setInterval(settleDelayMs);
    connect(m_settleTimer, &QTimer::timeout, this, &NBETextBuffer::readAtPause);
    m_sliceTimer = new QTimer(this);
    m_sliceTimer->setSingleShot(true);
    m_sliceTimer->setInterval(0);
    connect(m_sliceTimer, &QTimer::timeout, this, &NBETextBuffer::readAtPause);
    m_document->setDocumentLayout(new NBEQuietLayout(m_document));
    m_document->setUndoRedoEnabled(false);
    m_document->setPlainText(text);
    m_document->setUndoRedoEnabled(true);
    m_document->setModified(false);
    m_length = m_document->characterCount() - 1;
    m_blockCount = m_document->blockCount();
    m_documentRevision = m_document->revision();
    m_madeAsRead = readsBackAsIs(text);
    remember(m_madeAsRead ? text : this->text());
    connect(m_document, &QTextDocument::contentsChange, this, &NBETextBuffer::documentChanged);
    connect(m_document, &QTextDocument::modificationChanged, this, &NBETextBuffer::updateDirty);
}

NBETextBuffer::~NBETextBuffer()
{
    if (m_length * qsizetype(sizeof(QChar)) >= NBEMemory::largeBlockBytes)
        NBEMemory::releaseSoon();
}

std::shared_ptr<NBETextBuffer> NBETextBuffer::make(const QString &text)
{
    return std::shared_ptr<NBETextBuffer>(new NBETextBuffer(text), [](NBETextBuffer *buffer) {
        if (buffer->thread() == QThread::currentThread())
            delete buffer;
        else
            buffer->deleteLater();
    });
}

QFuture<std::shared_ptr<NBETextBuffer>> NBETextBuffer::makeInBackground(const QString &text)
{
    if (text.size() < builtInBackgroundLength)
        return QtFuture::makeReadyFuture(make(text));
    QThread *owner = QThread::currentThread();
    return QtConcurrent::run([text, owner] {
        std::shared_ptr<NBETextBuffer> buffer = make(text);
        buffer->moveToThread(owner);
        return buffer;
    });
}

QString NBETextBuffer::text() const
{
    return wholeText(m_document);
}

QString NBETextBuffer::wholeText(const QTextDocument *document)
{
    wholeReads.fetch_add(1, std::memory_order_relaxed);
    QString raw = document->toRawText();
    raw.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    return raw;
}

quint64 NBETextBuffer::wholeTextReads()
{
    return wholeReads.load(std::memory_order_relaxed);
}

bool NBETextBuffer::readOn(const QTextDocument *document, QString &read, qsizetype count)
{
    LongLine line;
    return readOn(document, read, count, line);
}

bool NBETextBuffer::readOn(const QTextDocument *document, QString &read, qsizetype count,
                           LongLine &line)
{
    const qsizetype length = document->characterCount() - 1;
    const qsizetype end = std::min(length, read.size() + count);
    QTextBlock block = document->findBlock(int(read.size()));
    // Never a cursor: placed in a line, it measures its place there, which
    // lays the whole line out.
    while (read.size() < end && block.isValid()) {
        const qsizetype at = read.size();
        const qsizetype start = block.position();
        const qsizetype lineEnd = start + block.length() - 1;
        if (at == lineEnd) {
            read += u'\n';
            block = block.next();
            line = {};
        } else if (at == start && lineEnd - start <= count) {
            read += block.text();
            pauseReads.fetch_add(quint64(lineEnd - start), std::memory_order_relaxed);
        } else {
            if (line.start != start) {
                line = {start, block.text()};
                pauseReads.fetch_add(quint64(line.text.size()), std::memory_order_relaxed);
            }
            read += QStringView(line.text).mid(at - start, std::min(end, lineEnd) - at);
        }
    }
    return read.size() == length;
}

quint64 NBETextBuffer::unitsReadAtPauses()
{
    return pauseReads.load(std::memory_order_relaxed);
}

std::optional<QString> NBETextBuffer::withEdits(const QString &text, const std::vector<Edit> &edits)
{
    // The result as stretches of the text and of the inserted texts: an
    // edit splits and drops stretches, and the text is copied once at the
    // end.
    struct Piece
    {
        const QString *source;
        qsizetype from;
        qsizetype length;
    };
    std::vector<Piece> pieces;
    if (!text.isEmpty())
        pieces.push_back({&text, 0, text.size()});
    qsizetype length = text.size();
    for (const Edit &edit : edits) {
        if (edit.position < 0 || edit.removed < 0 || edit.position > length ||
            edit.removed > length - edit.position)
            return std::nullopt;
        size_t i = 0;
        qsizetype at = 0;
        while (i < pieces.size() && at + pieces[i].length <= edit.position)
            at += pieces[i++].length;
        if (at < edit.position) {
            Piece &piece = pieces[i];
            const qsizetype head = edit.position - at;
            const Piece tail{piece.source, piece.from + head, piece.length - head};
            piece.length = head;
            pieces.insert(pieces.begin() + qsizetype(++i), tail);
        }
        size_t end = i;
        for (qsizetype left = edit.removed; left > 0;) {
            Piece &piece = pieces[end];
            if (piece.length <= left) {
                left -= piece.length;
                ++end;
            } else {
                piece.from += left;
                piece.length -= left;
                left = 0;
            }
        }
        pieces.erase(pieces.begin() + qsizetype(i), pieces.begin() + qsizetype(end));
        if (!edit.inserted.isEmpty())
            pieces.insert(pieces.begin() + qsizetype(i),
                          Piece{&edit.inserted, 0, edit.inserted.size()});
        length += edit.inserted.size() - edit.removed;
    }
    QString result;
    result.reserve(length);
    for (const Piece &piece : pieces)
        result += QStringView(*piece.source).mid(piece.from, piece.length);
    return result;
}

void NBETextBuffer::readAtPause()
{
    bool holdsLongLine = !m_pauseText.isEmpty();
    if (m_snapshotRevision == m_revision) {
        // Read whole meanwhile by someone who couldn't wait.
        m_pauseRead = QString();
    } else if (m_pauseRead.isEmpty() && m_length <= pauseSliceLength) {
        snapshot();
        holdsLongLine = false;
    } else if (buildAtPause()) {
        return;
    } else {
        if (m_pauseRead.isEmpty())
            m_pauseReadLongLine = false;
        if (m_pauseRead.capacity() < m_length)
            m_pauseRead.reserve(m_length + pauseSliceLength);
        const bool whole = readOn(m_document, m_pauseRead, pauseSliceLength, m_pauseLine);
        // A line longer than a slice is cut by a slice's end.
        m_pauseReadLongLine = m_pauseReadLongLine || m_pauseLine.text.size() > pauseSliceLength;
        if (!whole) {
            m_sliceTimer->start();
            return;
        }
        m_pauseLine = {};
        holdsLongLine = m_pauseReadLongLine;
        wholeReads.fetch_add(1, std::memory_order_relaxed);
        m_snapshot = std::exchange(m_pauseRead, QString());
        m_snapshotRevision = m_revision;
    }
    announcePause(holdsLongLine);
}

bool NBETextBuffer::buildAtPause()
{
    if (m_pauseText.isEmpty())
        return false;
    m_pauseRead = QString();
    m_pauseLine = {};
    const quint64 revision = m_revision;
    nbeWhenFinished(
        QtConcurrent::run([text = m_pauseText, edits = m_pauseEdits, length = m_length] {
            Built built;
            built.text = withEdits(text, edits);
            if (built.text && built.text->size() != length)
                built.text.reset();
            built.holdsLongLine = built.text && holdsLineLongerThan(*built.text, pauseSliceLength);
            return built;
        }),
        this, [this, revision](const Built &built) {
            if (!built.text) {
                // Edits the log missed: the document is read instead.
                forgetPauseText();
                if (revision == m_revision && !m_settleTimer->isActive())
                    readAtPause();
                return;
            }
            if (revision != m_revision) {
                // Typed on meanwhile: the next pause builds on from this text.
                if (!built.holdsLongLine || m_pauseText.isEmpty() ||
                    revision <= m_pauseTextRevision)
                    return;
                setPauseText(*built.text);
                m_pauseTextRevision = revision;
                const auto later =
                    std::find_if(m_pauseEdits.begin(), m_pauseEdits.end(),
                                 [&](const Edit &e) { return e.revision > revision; });
                m_pauseEdits.erase(m_pauseEdits.begin(), later);
                m_pauseEditUnits = 0;
                for (const Edit &edit : m_pauseEdits)
                    m_pauseEditUnits += edit.inserted.size();
                return;
            }
            if (m_snapshotRevision != m_revision) {
                wholeReads.fetch_add(1, std::memory_order_relaxed);
                m_snapshot = *built.text;
                m_snapshotRevision = m_revision;
            }
            announcePause(built.holdsLongLine);
        });
    return true;
}

void NBETextBuffer::announcePause(bool holdsLongLine)
{
    forgetPauseText();
    if (holdsLongLine) {
        // Edits made from here on, the settled() readers' too, are logged.
        setPauseText(m_snapshot);
        m_pauseTextRevision = m_revision;
    }
    if (m_comparePending)
        compareWithSaved();
    Q_EMIT settled();
    releaseSnapshot();
    // What the readers of the pause's text copy and let go on pool threads
    // would otherwise stay with their arenas, a little more at every pause.
    if (m_length * qsizetype(sizeof(QChar)) >= NBEMemory::largeBlockBytes)
        NBEMemory::releaseSoon(NBEMemory::pauseReleaseDelayMs);
}

void NBETextBuffer::setPauseText(const QString &text)
{
    // Megabytes that no reader shares any more, freed here, would hold up
    // the next key.
    QString old = std::exchange(m_pauseText, text);
    if (old.isDetached() && old.size() * qsizetype(sizeof(QChar)) >= NBEMemory::largeBlockBytes)
        NBEMemory::freeElsewhere(std::move(old));
}

void NBETextBuffer::forgetPauseText()
{
    setPauseText(QString());
    m_pauseEdits.clear();
    m_pauseEditUnits = 0;
}

QString NBETextBuffer::snapshot() const
{
    if (m_snapshotRevision != m_revision) {
        // Untouched since the last pause, whose text is kept.
        const bool kept = !m_pauseText.isEmpty() && m_pauseTextRevision == m_revision;
        m_snapshot = kept ? m_pauseText : text();
        m_snapshotRevision = m_revision;
        releaseSnapshotSoon();
    }
    return m_snapshot;
}

void NBETextBuffer::shareSnapshot(const QString &text, quint64 revision)
{
    // At the first revision the text may be the one the buffer was made
    // from, which reads back otherwise when it held a character the
    // document takes for a break.
    if (revision != m_revision || m_snapshotRevision == m_revision || text.size() != m_length ||
        (revision == 0 && !m_madeAsRead))
        return;
    m_snapshot = text;
    m_snapshotRevision = m_revision;
    releaseSnapshotSoon();
}

void NBETextBuffer::releaseSnapshotSoon() const
{
    const auto inPause = [this] { return m_settleTimer->isActive() || m_sliceTimer->isActive(); };
    if (!inPause())
        QTimer::singleShot(0, this, [this, inPause] {
            if (!inPause())
                releaseSnapshot();
        });
}

void NBETextBuffer::releaseSnapshot() const
{
    // The readers hold their shares; the buffer keeps no copy of its text
    // at rest.
    m_snapshot = QString();
    m_snapshotRevision.reset();
}

bool NBETextBuffer::isDirty() const
{
    return m_unsaved || m_dirty;
}

namespace {

size_t fingerprint(const QString &text)
{
    return qHash(text, size_t(0x9e3779b97f4a7c15ULL));
}

} // namespace

void NBETextBuffer::remember(const QString &text)
{
    m_unsaved = false;
    m_document->setModified(false);
    m_savedLength = m_document->characterCount() - 1;
    m_savedFingerprint = fingerprint(text);
    updateDirty();
}

void NBETextBuffer::updateDirty()
{
    const bool wasDirty = isDirty();
    const qsizetype length = m_document->characterCount() - 1;
    m_comparePending = false;
    if (!m_savedFingerprint || (m_document->isModified() && length != m_savedLength)) {
        m_dirty = true;
    } else if (!m_document->isModified()) {
        m_dirty = false;
    } else if (length <= comparedAtOnceLength || m_replacing) {
        m_dirty = fingerprint(text()) != *m_savedFingerprint;
    } else {
        m_dirty = true;
        m_comparePending = true;
    }
    if (wasDirty != isDirty())
        Q_EMIT dirtyChanged(isDirty());
}

void NBETextBuffer::compareWithSaved()
{
    m_comparePending = false;
    const bool wasDirty = isDirty();
    // The pause's own copy, shared with its other readers.
    m_dirty = !m_savedFingerprint || fingerprint(snapshot()) != *m_savedFingerprint;
    if (wasDirty != isDirty())
        Q_EMIT dirtyChanged(isDirty());
}

void NBETextBuffer::markSaved(quint64 revision)
{
    if (revision == m_revision) {
        remember(text());
        return;
    }
    // The file holds a text the buffer no longer has: dirty until the next
    // write, whatever the edits since.
    m_savedFingerprint.reset();
    updateDirty();
}

void NBETextBuffer::markUnsaved()
{
    if (isDirty()) {
        m_unsaved = true;
        return;
    }
    m_unsaved = true;
    Q_EMIT dirtyChanged(true);
}

void NBETextBuffer::replaceAll(const QString &text, bool saved)
{
    if (text == this->text()) {
        if (saved)
            markSaved(m_revision);
        return;
    }
    Q_EMIT aboutToReplace(text);
    if (saved) {
        // Known before the edit, so the buffer never looks dirty on the way.
        m_savedLength = text.size();
        m_savedFingerprint = fingerprint(text);
    }
    // Not a key: a reload compares at once, so it never looks dirty.
    const QScopedValueRollback<bool> replacing(m_replacing, true);
    const bool undo = m_document->isUndoRedoEnabled();
    m_document->setUndoRedoEnabled(false);
    QTextCursor cursor(m_document);
    cursor.select(QTextCursor::Document);
    cursor.insertText(text);
    m_document->setUndoRedoEnabled(undo);
    if (saved)
        remember(readsBackAsIs(text) ? text : this->text());
    Q_EMIT replaced();
}

void NBETextBuffer::setDocumentLayout(QAbstractTextDocumentLayout *layout)
{
    if (!layout)
        layout = new NBEQuietLayout(m_document);
    withoutReporting([&] { m_document->setDocumentLayout(layout); });
}

void NBETextBuffer::withoutReporting(const std::function<void()> &work)
{
    const QScopedValueRollback<bool> quiet(m_quiet, true);
    work();
    m_documentRevision = m_document->revision();
}

QString NBETextBuffer::read(qsizetype from, qsizetype count) const
{
    // Through a selection, which copies only the selected fragments: a
    // block's text would copy the whole line (a minified file is one line
    // of megabytes) for every key.
    QTextCursor cursor(m_document);
    cursor.setPosition(int(from));
    cursor.setPosition(int(from + count), QTextCursor::KeepAnchor);
    QString out = cursor.selectedText();
    out.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    return out;
}

void NBETextBuffer::documentChanged(int position, int removed, int added)
{
    if (m_quiet)
        return;
    const qsizetype newLength = m_document->characterCount() - 1;
    const auto [from, gone, come] = NBEChangedSpan::of(position, removed, m_length, newLength);
    // Formats applied in an edit block are reported like an edit of the same
    // length, but leave the text (and its revision) as it was.
    const int documentRevision = m_document->revision();
    if (gone == come && documentRevision == m_documentRevision && added == removed)
        return;
    m_documentRevision = documentRevision;

    NBETextChange change;
    change.position = from;
    change.removed = gone;
    change.inserted = read(from, come);
    // The text before the change is the same in both versions, so its start
    // is placed in the new one. Where the change removed line breaks, the
    // end is placed at the start of the line after the old end line, and the
    // rest of that line (unchanged, so read from the new text) goes with the
    // inserted text.
    const QTextBlock first = m_document->findBlock(int(from));
    change.startLine = first.blockNumber();
    change.startCharacter = int(from - first.position());
    const int newBlockCount = m_document->blockCount();
    const int insertedBreaks = int(change.inserted.count(QLatin1Char('\n')));
    const int removedBreaks = m_blockCount - newBlockCount + insertedBreaks;
    if (removedBreaks == 0) {
        change.endLine = change.startLine;
        change.endCharacter = int(change.startCharacter + gone);
        change.rangeText = change.inserted;
    } else {
        const QTextBlock last = m_document->findBlock(int(from + come));
        const qsizetype lineEnd = last.position() + last.length() - 1;
        change.endLine = change.startLine + removedBreaks + 1;
        change.endCharacter = 0;
        change.rangeText = change.inserted + read(from + come, lineEnd - (from + come));
        if (last.next().isValid())
            change.rangeText += QLatin1Char('\n');
    }

    m_length = newLength;
    m_blockCount = newBlockCount;
    ++m_revision;
    m_snapshot = QString();
    m_snapshotRevision.reset();
    // What the pause read before `from` is still the text; it reads on from
    // there when the next pause comes.
    m_sliceTimer->stop();
    // The long line being read takes an edit inside it as the document did:
    // read again, it would be copied whole (megabytes) at every pause.
    const LongLine &line = m_pauseLine;
    if (insertedBreaks == 0 && removedBreaks == 0 && line.start >= 0 && from >= line.start &&
        from + gone <= line.start + line.text.size())
        m_pauseLine.text.replace(from - line.start, gone, change.inserted);
    else
        m_pauseLine = {};
    if (m_pauseRead.size() > from)
        m_pauseRead.truncate(from);
    if (!m_pauseText.isEmpty()) {
        m_pauseEdits.push_back({m_revision, from, gone, change.inserted});
        m_pauseEditUnits += change.inserted.size();
        // A text replaced or rewritten at large is read again.
        if (m_pauseEdits.size() > pauseEditsKept ||
            m_pauseEditUnits > std::max(m_length / 2, pauseSliceLength))
            forgetPauseText();
    }
    m_settleTimer->start(m_length >= longTextLength ? longTextSettleDelayMs : settleDelayMs);
    Q_EMIT changed(change);
    updateDirty();
}
