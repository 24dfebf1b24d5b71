#pragma once

#include "NBELanguage.h"
#include "NBERequestOrder.h"
#include "NBESyntaxHighlighter.h"

#include <QFutureWatcher>
#include <QList>
#include <QMutex>
#include <QPointer>
#include <QSyntaxHighlighter>
#include <QTextCharFormat>
#include <QTextLayout>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class NBECodeTextEdit;
class QTextBlock;

// One coloured run: a start and length in UTF-16 units and a style index
// (the adapter's list of formats).
struct NBEHighlightRun
{
    int start = 0;
    int length = 0;
    int style = 0;
    bool operator==(const NBEHighlightRun &) const = default;
};
using NBELineRuns = QList<NBEHighlightRun>;

// One line's runs in a few bytes each (gap and length as variable-length
// numbers, the style packed with the length), kept inside the value when
// they fit: a large file has hundreds of thousands of lines, each holding
// its runs until it scrolls into view.
class NBEPackedRuns
{
public:
    NBEPackedRuns() = default;
    explicit NBEPackedRuns(const NBELineRuns &runs);
    NBEPackedRuns(const NBEPackedRuns &other);
    NBEPackedRuns(NBEPackedRuns &&other) noexcept;
    NBEPackedRuns &operator=(const NBEPackedRuns &other);
    NBEPackedRuns &operator=(NBEPackedRuns &&other) noexcept;
    ~NBEPackedRuns();

    NBELineRuns unpack() const;
    bool isEmpty() const { return size() == 0; }
    bool operator==(const NBEPackedRuns &other) const;

private:
    static constexpr size_t inlineCapacity = 23;
    static constexpr uint8_t onHeap = 0xFF;

    size_t size() const;
    const uint8_t *data() const;
    void assign(const uint8_t *bytes, size_t size);
    void release();

    // Bytes 0-22 hold the packed runs inline, or a pointer and a size when
    // they live on the heap; byte 23 is the inline size or `onHeap`.
    alignas(8) uint8_t m_raw[24] = {};
};

// Applies colours computed off the main thread. A pass tokenizes a snapshot
// of the whole text on the thread pool and splits the runs by line; when it
// comes back for the text the document still holds, only lines whose runs
// changed are marked, and marked lines are formatted when they are (nearly)
// on screen. Formats go on the lines' layouts, not into the text, so they
// never add an undo step. While the user types, the runs of the edited line move with the
// text until the next pass.
class NBEEditorHighlighter : public QSyntaxHighlighter
{
    Q_OBJECT

public:
    // Runs over the whole text with offsets into it. Called on a pool
    // thread: it must only read its argument and immutable data.
    using Tokenizer = std::function<QList<NBEHighlightRun>(const QString &text)>;
    // The document's text made from the text a pass is given, where the
    // document shows it otherwise (split into pieces). Called on a pool
    // thread, as a tokenizer is.
    using ShownText = std::function<QString(const QString &text)>;

    explicit NBEEditorHighlighter(NBECodeTextEdit *view);
    ~NBEEditorHighlighter() override;
    // The highlighter of the view's document, which a document shown before
    // keeps; made when there is none.
    static NBEEditorHighlighter *forView(NBECodeTextEdit *view);

    // With `shown`, a pass is given the text, and the tokenizer's runs are
    // offsets into shown(text), which the document holds.
    void setTokenizer(Tokenizer tokenizer, ShownText shown = {});
    // Stops following the view, which shows another document now; a pass
    // still running applies nothing.
    void leaveView();
    // The language's token rules as a tokenizer (that setLanguage uses).
    static Tokenizer tokenizerFor(const NBELanguage &language);
    // Colours by the language's token rules (styles by token type). A pass
    // after edits then redoes only the stretch they touched, with the same
    // result as a whole pass; without a language nothing is coloured.
    void setLanguage(const std::optional<NBELanguage> &language);
    bool hasTokenizer() const { return bool(m_tokenizer); }
    // Formats by style index; lines already formatted are formatted again.
    void setStyles(const QList<QTextCharFormat> &styles);

    // Starts a pass over `text`, which must be the document's text now (or
    // the text it shows, given a ShownText).
    // A pass still running is superseded. While a pass over the whole text
    // runs, the lines on screen (wherever the view stands, and as it moves)
    // are coloured first by small passes at the window's priority: over the
    // text up to them when that is short, else over a stretch just before
    // them, which may colour a construct begun far above otherwise until
    // the whole pass comes.
    void highlight(const QString &text);
    // Lines formatted first for a quick first screen: a pass over the first
    // `lineCount` lines runs before the whole text.
    void highlightWithQuickStart(const QString &text, int lineCount);
    // Around a replacement of the document's whole text, so the base class
    // doesn't format every new line: lines are formatted when a pass has
    // coloured them and they come near the screen.
    void beginWholeReplacement();
    void endWholeReplacement();
    // Forgets every run (the text was replaced wholesale or the language
    // changed) without touching formats already on screen.
    void clearRuns();

    // Takes the runs of `lines`, by line of the document, as if a pass had
    // found them: a document shown in place of another keeps its colours
    // until its own pass comes back.
    void adoptRuns(std::vector<NBEPackedRuns> lines);
    const std::vector<NBEPackedRuns> &runsByLine() const { return m_lines; }

    bool isBusy() const { return m_running; }
    size_t lineCount() const { return m_lines.size(); }
    NBELineRuns lineRuns(size_t line) const { return m_lines.at(line).unpack(); }

    // Lines longer than NBESoftBreaks::longestWholeLine are left uncoloured
    // where they are shown whole: the text view formats and lays out a line
    // whole, so colours on a line of megabytes cost seconds and hundreds of
    // megabytes at every edit of it.
    // Whether formatting `block` can change it: false for a line left
    // uncoloured that holds no formats.
    static bool needsFormatting(const QTextBlock &block);

    // Splits whole-text runs into per-line runs; a run over a line break is
    // cut into one piece per line. Exposed for tests.
    static std::vector<NBELineRuns> splitIntoLines(const QString &text,
                                                   const QList<NBEHighlightRun> &runs);

Q_SIGNALS:
    // A pass was applied to the visible lines.
    void passApplied();

protected:
    void highlightBlock(const QString &text) override;

private:
    struct Pass
    {
        NBERequestOrder::Token generation = 0;
        bool partial = false;
        std::shared_ptr<std::vector<NBEPackedRuns>> lines;
        // Set when the pass redid a stretch: `lines` begin at the line
        // that starts at `from`.
        std::optional<qsizetype> from;
        std::shared_ptr<const NBETokenizerState> state;
        // Of a partial pass: the line its `lines` begin at.
        size_t firstLine = 0;
    };
    // The edits since the text of the last applied pass, as one
    // replacement of `removed` units at `position` by `added` units.
    struct Edit
    {
        qsizetype position = 0;
        qsizetype removed = 0;
        qsizetype added = 0;
    };

    // The text a pass waiting for a thread will read: let go when a newer
    // pass starts, so passes queued on a busy machine don't each hold a
    // text of their own.
    struct QueuedText
    {
        QMutex mutex;
        std::optional<QString> text;
    };
    std::shared_ptr<QueuedText> queue(const QString &text);
    // The text, once; none when a newer pass let go of it.
    static std::optional<QString> take(QueuedText &queued);
    void letGoOfQueuedTexts();

    void start(const QString &text, int quickLines);
    bool startStretch(const QString &text, NBERequestOrder::Token generation);
    // A partial pass for lines [first, end) of the whole pass's text.
    void startPrompt(int first, int end);
    // Starts one for the lines on screen if no earlier one covers them.
    void promptScreen();
    // Nothing running is wanted any more.
    void dropPass();
    void letGoOfWholeText();
    void forgetState();
    void finish(const Pass &pass);
    void onContentsChange(int position, int removed, int added);
    void applyVisible();
    // Formats the dirty lines on and around the screen whose first line is
    // `first`.
    void applyAround(const QTextBlock &first);
    // Formats `block` if it is dirty; the rows it takes.
    int applyTo(const QTextBlock &block);
    // Gives `block` the formats of its runs, unless it shows them already.
    void format(const QTextBlock &block);
    // The layout formats of a line's runs, for a line of `length` units.
    QList<QTextLayout::FormatRange> formatRanges(const NBEPackedRuns &runs, int length) const;
    void markAllDirty();

    QPointer<NBECodeTextEdit> m_view;
    Tokenizer m_tokenizer;
    ShownText m_shown;
    std::optional<NBELanguage> m_language;
    // What the last applied pass of the language leaves for the next, and
    // the edits made since; either is absent when that text is not known.
    std::shared_ptr<const NBETokenizerState> m_state;
    std::optional<Edit> m_edit;
    QList<QTextCharFormat> m_styles;
    std::vector<NBEPackedRuns> m_lines;
    std::vector<bool> m_dirty;
    int m_blockCount = 1;
    // A new pass, an edit, a new tokenizer or leaving the view makes the
    // pass under way stale.
    NBERequestOrder m_passes;
    bool m_running = false;
    // The text of the whole pass under way, which partial passes read; the
    // lines the latest of them colours, and whether it is still out.
    QString m_wholeText;
    NBERequestOrder::Token m_wholePass = 0;
    int m_promptFirst = 0;
    int m_promptEnd = 0;
    NBERequestOrder::Token m_promptPass = 0;
    std::vector<std::weak_ptr<QueuedText>> m_queued;
    bool m_applying = false;
    bool m_replacingWhole = false;
};
