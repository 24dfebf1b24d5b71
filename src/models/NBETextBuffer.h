#pragma once

#include "NBETextChange.h"

#include <QFuture>
#include <QObject>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

class QAbstractTextDocumentLayout;
class QTimer;
class QTextDocument;

// The one store of a tab's live text: a text document the tab's editor shows
// while the tab is on screen and that outlives it. Every edit, the editor's
// or anyone else's, is announced as a change carrying only what changed;
// nobody needs a copy of the whole text to follow it. Whether the text
// differs from the file is answered by the document's undo state first,
// then by the length, and only when both leave it open (typed back to the
// saved length) by a fingerprint of the whole text: at once for a short
// text, at the pause for a long one (dirty until then), so no key costs the
// file's size. The pause reads a long text a slice per turn of the event
// loop, so a key that comes meanwhile waits for one slice, not the whole
// text; a text holding a line longer than a slice (a minified script) is
// read so once, and at later pauses made off the main thread from the text
// of the last pause and the edits since. Lives on the main thread.
class NBETextBuffer : public QObject
{
    Q_OBJECT

public:
    // A clean buffer holding `text` ("\n" line breaks).
    explicit NBETextBuffer(const QString &text = {}, QObject *parent = nullptr);
    ~NBETextBuffer() override;

    // Buffers are shared by the tab values that name them and by the editor
    // showing one; the last holder releases it on its own thread.
    static std::shared_ptr<NBETextBuffer> make(const QString &text = {});
    // The same, the document built on the thread pool for a long text; the
    // future's result belongs to the thread that asked.
    static QFuture<std::shared_ptr<NBETextBuffer>> makeInBackground(const QString &text);
    static constexpr qsizetype builtInBackgroundLength = 1024 * 1024;

    QTextDocument *document() const { return m_document; }

    static constexpr int settleDelayMs = 150;
    // A text this long waits longer: the whole-text work of its pause costs
    // more than a typist's gap between keys, and would land on the next key.
    static constexpr qsizetype longTextLength = 8 * 1024 * 1024;
    static constexpr int longTextSettleDelayMs = 400;
    // Texts up to this many units are fingerprinted in the edit itself.
    static constexpr qsizetype comparedAtOnceLength = 256 * 1024;
    // Units the pause reads per turn of the event loop.
    static constexpr qsizetype pauseSliceLength = 256 * 1024;
    // Edits a pause builds its text from at most; past them it reads the
    // document again.
    static constexpr size_t pauseEditsKept = 2048;

    // The whole text, read from the document at each call (a copy kept
    // would double the memory a large file takes at rest).
    QString text() const;
    // Any document's whole text ("\n" line breaks, other characters as
    // stored). Every whole-text read goes through here and is counted, so a
    // test can show that a path reads none.
    static QString wholeText(const QTextDocument *document);
    static quint64 wholeTextReads();
    // A line longer than a slice, copied once for all the slices that read
    // it: a cursor placed inside it would lay it out whole. After a change
    // inside it, changed the same way; emptied after any other change.
    struct LongLine
    {
        qsizetype start = -1;
        QString text;
    };
    // Appends to `read`, which holds the start of `document`'s text, up to
    // `count` more units of it (as wholeText has them). Answers whether the
    // text is now whole.
    static bool readOn(const QTextDocument *document, QString &read, qsizetype count,
                       LongLine &line);
    static bool readOn(const QTextDocument *document, QString &read, qsizetype count);
    // Units the pauses of every buffer have copied out of documents.
    static quint64 unitsReadAtPauses();
    // One edit of a text: `removed` units at `position` gave way to
    // `inserted`, which made the text's revision `revision`.
    struct Edit
    {
        quint64 revision = 0;
        qsizetype position = 0;
        qsizetype removed = 0;
        QString inserted;
    };
    // `text` with `edits` made in order, each costing the edits before it,
    // not the text's length, until the result is copied once; nothing when
    // an edit falls outside the text it is made in.
    static std::optional<QString> withEdits(const QString &text, const std::vector<Edit> &edits);
    // The same text, read once per revision and shared by every caller up to
    // the end of the pause: whoever needs the whole text then (highlighting,
    // change markers, outline, servers, previews) shares one copy.
    QString snapshot() const;
    // Lets snapshot() answer `text` for the rest of this turn of the event
    // loop while the buffer is still at `revision`: the whole text as of
    // then, read from the buffer or the one it was made from, shared instead
    // of read again.
    void shareSnapshot(const QString &text, quint64 revision);
    qsizetype length() const { return m_length; }
    // Moves on with every change.
    quint64 revision() const { return m_revision; }

    bool isDirty() const;
    // The text as of `revision` is what the file now holds: clean when no
    // edit came since (a later edit keeps the buffer dirty).
    void markSaved(quint64 revision);
    // Dirty without an edit (a text that was never saved).
    void markUnsaved();

    // Replaces the whole text as one change that can't be undone (the undo
    // history goes with it); `saved` says the new text is the file's.
    // Nothing happens when the text is already `text`.
    void replaceAll(const QString &text, bool saved = false);

    // The editor's layout goes in through here, so that its installation
    // reports no change; none puts back one that lays nothing out.
    void setDocumentLayout(QAbstractTextDocumentLayout *layout);
    // Runs `work` (formats only, never text) without reporting changes.
    void withoutReporting(const std::function<void()> &work);

Q_SIGNALS:
    // After every change of the text, in order.
    void changed(const NBETextChange &change);
    // Around a whole replacement from outside the editor (a reload, a
    // formatted save) by `text`: the editor keeps its caret and colours
    // across it.
    void aboutToReplace(const QString &text);
    void replaced();
    void dirtyChanged(bool dirty);
    // Once `settleDelayMs` have passed without a change and the pause has
    // read the text: the moment for work on the whole text, which every such
    // consumer shares (snapshot() answers the text read).
    void settled();

private:
    void documentChanged(int position, int removed, int added);
    // The current text, which wholeText reads as `text`, is the file's.
    void remember(const QString &text);
    void updateDirty();
    void compareWithSaved();
    // The pause: the next slice of the text, and once it is whole, the
    // announcement.
    void readAtPause();
    // Makes the pause's text off the main thread from the last pause's text
    // and the edits since, and announces it; false when they are not known.
    bool buildAtPause();
    // The pause's text is read: it is announced. The text is kept for the
    // next pause when it holds a line longer than a slice.
    void announcePause(bool holdsLongLine);
    void forgetPauseText();
    void setPauseText(const QString &text);
    void releaseSnapshot() const;
    // Outside a pause a snapshot serves this turn of the event loop's
    // readers only.
    void releaseSnapshotSoon() const;
    QString read(qsizetype from, qsizetype count) const;

    QTextDocument *m_document = nullptr;
    qsizetype m_length = 0;
    int m_blockCount = 1;
    quint64 m_revision = 0;
    int m_documentRevision = 0;
    bool m_quiet = false;
    bool m_unsaved = false;
    // The text the buffer was made from reads back as it is.
    bool m_madeAsRead = false;
    mutable QString m_snapshot;
    mutable std::optional<quint64> m_snapshotRevision;
    bool m_dirty = false;
    // Of the text the file holds; nothing when a write of an older revision
    // left it unknown.
    qsizetype m_savedLength = 0;
    std::optional<size_t> m_savedFingerprint;
    // A long text at the saved length waits for the pause to be compared.
    bool m_comparePending = false;
    bool m_replacing = false;
    // A child, so it moves with a buffer made on the pool.
    QTimer *m_settleTimer = nullptr;
    // The start of the text that pauses have read so far; an edit cuts it
    // back to where it begins, and the next pause reads on from there.
    QString m_pauseRead;
    LongLine m_pauseLine;
    bool m_pauseReadLongLine = false;
    QTimer *m_sliceTimer = nullptr;
    // The text of the last pause (a text with a line longer than a slice
    // only: any other is read in slices, and kept by no one at rest) and the
    // edits made since, up to a number and size past which reading the text
    // again costs less.
    QString m_pauseText;
    quint64 m_pauseTextRevision = 0;
    std::vector<Edit> m_pauseEdits;
    qsizetype m_pauseEditUnits = 0;
};
