#pragma once

#include "NBEEditorHighlighter.h"
#include "NBETextGeometry.h"

#include <QObject>
#include <QTextCursor>
#include <QTextDocument>

#include <memory>
#include <optional>
#include <vector>

class QTextBlock;
class QTextDocument;
class NBETextBuffer;
struct NBETextChange;

// What an editor shows of a buffer that holds a line too long to lay out at
// every key (a minified bundle): a document of its own in which such lines
// are split into pieces of a few thousand characters. Edits made in it reach
// the buffer at once, without the splits; the buffer's other changes (undo,
// redo, a reload) come back the same way. The buffer keeps the undo history:
// this document has none, so splitting it never enters one.
// A change that joins lines is taken to start where they join, as every edit
// of a text view does (typing, pasting or deleting over a selection; a
// replace-all joins none). Pastes and drops go to the buffer and come back
// split in one go.
class NBELongLineDocument : public QObject, public NBETextGeometry
{
    Q_OBJECT

public:
    explicit NBELongLineDocument(std::shared_ptr<NBETextBuffer> buffer, QObject *parent = nullptr);
    // A text's split document, made on any thread; it goes to a view of a
    // buffer that still holds that text.
    struct Shown
    {
        std::unique_ptr<QTextDocument> document;
        std::vector<int> breaks;
    };
    static std::shared_ptr<Shown> split(const QString &text);
    NBELongLineDocument(std::shared_ptr<NBETextBuffer> buffer, Shown &&shown,
                        QObject *parent = nullptr);
    ~NBELongLineDocument() override;

    QTextDocument *document() const { return m_document; }
    NBETextBuffer *buffer() const { return m_buffer.get(); }

    QTextDocument *textDocument() const override;
    int toView(int offset) const override;
    int toText(int viewOffset) const override;
    bool continuesLine(const QTextBlock &block) const override;
    int lineNumber(const QTextBlock &block) const override;
    int lineCount() const override;
    QString text() const override;

    // How a pass colours this document from the buffer's text, splits as of
    // now: the runs `textTokenizer` finds in the text placed on the pieces,
    // and this document's text made from the text.
    NBEEditorHighlighter::Tokenizer
    shownTokenizer(NBEEditorHighlighter::Tokenizer textTokenizer) const;
    NBEEditorHighlighter::ShownText shownText() const;

    // Undo and redo of the buffer; the view offset where the change ended,
    // if there was one.
    std::optional<int> undo();
    std::optional<int> redo();
    bool isUndoAvailable() const;
    bool isRedoAvailable() const;

private:
    // Shows `text` (the buffer's) in place of the view offsets [from, to),
    // its long lines split.
    void show(int from, int to, const QString &text);
    void viewChanged(int position, int removed, int added);
    void bufferChanged(const NBETextChange &change);
    void forward(int from, int removed, const QString &inserted);
    void splitLongLines(int from, int to);
    // Splits the too long blocks that touch [from, to] with `cursor`, inside
    // its edit block, and adds the splits to the mapping.
    void splitIn(QTextCursor &cursor, int from, int to);
    void splitPending();
    static void mark(QTextBlock block, bool continues);
    static bool isMarked(const QTextBlock &block);

    std::shared_ptr<NBETextBuffer> m_buffer;
    QTextDocument *m_document = nullptr;
    // View offsets of the separators this document added, ascending.
    std::vector<int> m_breaks;
    int m_length = 0;
    int m_revision = 0;
    // A change made here on the buffer's behalf, or by a split, which keeps
    // its own account of the splits: the buffer has it already or never
    // sees it.
    bool m_quiet = false;
    // A change forwarded to the buffer, not to be applied back.
    bool m_forwarding = false;
    std::optional<int> m_lastApplied;
    // The last edit forwarded, so that typing or deleting on from where it
    // ended joins its undo step, as it does in a text view.
    enum class Forwarded { Other, Insertion, Replacement, Removal };
    Forwarded m_lastKind = Forwarded::Other;
    int m_lastFrom = 0;
    int m_lastTo = 0;
    quint64 m_lastRevision = 0;
    // Text typed here that may have made a line too long; split from the
    // event loop, not inside the edit.
    QTextCursor m_pendingSplit;
};
