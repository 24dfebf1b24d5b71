#include "NBEEditorHighlighter.h"

#include "NBECodeTextEdit.h"
#include "NBEWhenFinished.h"

#include <QFontMetrics>
#include <QTextBlock>
#include <QTextDocument>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>

namespace {

// Lines formatted beyond the visible ones, so a short scroll shows colour at once.
constexpr int marginLines = 40;

} // namespace

NBEEditorHighlighter::NBEEditorHighlighter(NBECodeTextEdit *view)
    : QSyntaxHighlighter(static_cast<QObject *>(view))
    , m_view(view)
{
    QTextDocument *document = view->document();
    // Connected before the highlighter attaches, so the runs have moved with
    // an edit by the time the base class formats the edited lines again.
    connect(document, &QTextDocument::contentsChange, this,
            &NBEEditorHighlighter::onContentsChange);
    m_blockCount = document->blockCount();
    m_lines.resize(m_blockCount);
    m_dirty.resize(m_blockCount, false);
    setDocument(document);
    connect(view, &QPlainTextEdit::updateRequest, this, [this] { applyVisible(); });
}

NBEEditorHighlighter::~NBEEditorHighlighter() = default;

void NBEEditorHighlighter::setTokenizer(Tokenizer tokenizer)
{
    m_tokenizer = std::move(tokenizer);
    ++m_generation;
    m_running = false;
    if (!m_tokenizer)
        clearRuns();
}

void NBEEditorHighlighter::setStyles(const QList<QTextCharFormat> &styles)
{
    m_styles = styles;
    markAllDirty();
}

void NBEEditorHighlighter::highlight(const QString &text)
{
    start(text, 0);
}

void NBEEditorHighlighter::highlightWithQuickStart(const QString &text, int lineCount)
{
    start(text, lineCount);
}

void NBEEditorHighlighter::replaceWholeText(const std::function<void()> &replace)
{
    QTextDocument *doc = document();
    if (!doc) {
        replace();
        return;
    }
    // The base class would format (and give a layout to) every line of the
    // new text at once; off-screen lines need neither.
    const bool detached = disconnect(doc, SIGNAL(contentsChange(int, int, int)), this,
                                     SLOT(_q_reformatBlocks(int, int, int)));
    replace();
    if (detached)
        connect(doc, SIGNAL(contentsChange(int, int, int)), this,
                SLOT(_q_reformatBlocks(int, int, int)));
    m_blockCount = doc->blockCount();
    m_lines.assign(size_t(m_blockCount), {});
    m_dirty.assign(size_t(m_blockCount), false);
    // A line that kept a layout through the replacement may keep old formats.
    int number = 0;
    for (QTextBlock block = doc->begin(); block.isValid() && number < marginLines;
         block = block.next(), ++number) {
        if (!block.layout()->formats().isEmpty())
            m_dirty[size_t(number)] = true;
    }
}

void NBEEditorHighlighter::clearRuns()
{
    for (size_t i = 0; i < m_lines.size(); ++i) {
        if (!m_lines[i].isEmpty()) {
            m_lines[i].clear();
            m_dirty[i] = true;
        }
    }
    applyVisible();
}

std::vector<NBELineRuns> NBEEditorHighlighter::splitIntoLines(const QString &text,
                                                              const QList<NBEHighlightRun> &runs)
{
    std::vector<int> starts{0};
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) == QLatin1Char('\n'))
            starts.push_back(int(i + 1));
    }
    std::vector<NBELineRuns> lines(starts.size());
    size_t line = 0;
    for (const NBEHighlightRun &run : runs) {
        if (run.length <= 0 || run.start < 0)
            continue;
        int position = run.start;
        const int end = std::min<int>(run.start + run.length, int(text.size()));
        // Runs come sorted by start, so the line only moves forward; a stray
        // unsorted run is found by search.
        if (line >= starts.size() || starts[line] > position)
            line = size_t(std::upper_bound(starts.begin(), starts.end(), position) -
                          starts.begin() - 1);
        while (line + 1 < starts.size() && starts[line + 1] <= position)
            ++line;
        while (position < end) {
            const int lineEnd = line + 1 < starts.size() ? starts[line + 1] - 1 : int(text.size());
            const int pieceEnd = std::min(end, lineEnd);
            if (pieceEnd > position)
                lines[line].append({position - starts[line], pieceEnd - position, run.style});
            if (pieceEnd >= end || line + 1 >= starts.size())
                break;
            ++line;
            position = starts[line];
        }
    }
    return lines;
}

void NBEEditorHighlighter::start(const QString &text, int quickLines)
{
    if (!m_tokenizer)
        return;
    const quint64 generation = ++m_generation;
    const int revision = m_textRevision;
    m_running = true;
    const Tokenizer tokenizer = m_tokenizer;

    if (quickLines > 0) {
        qsizetype cut = 0;
        for (int line = 0; line < quickLines && cut >= 0; ++line) {
            cut = text.indexOf(QLatin1Char('\n'), cut);
            if (cut >= 0)
                ++cut;
        }
        if (cut > 0 && cut < text.size()) {
            const QString prefix = text.left(cut);
            nbeWhenFinished(QtConcurrent::run([tokenizer, prefix, generation, revision] {
                                Pass pass{generation, revision, true, {}};
                                pass.lines = splitIntoLines(prefix, tokenizer(prefix));
                                // The last entry is the empty line after the cut.
                                pass.lines.pop_back();
                                return pass;
                            }),
                            this, [this](const Pass &pass) { finish(pass); });
        }
    }
    nbeWhenFinished(QtConcurrent::run([tokenizer, text, generation, revision] {
                        Pass pass{generation, revision, false, {}};
                        pass.lines = splitIntoLines(text, tokenizer(text));
                        return pass;
                    }),
                    this, [this](const Pass &pass) { finish(pass); });
}

void NBEEditorHighlighter::finish(const Pass &pass)
{
    if (pass.generation != m_generation || pass.revision != m_textRevision) {
        // Superseded, or computed from a text the user has changed since: the
        // edit that changed it has asked for a new pass.
        if (!pass.partial && pass.generation == m_generation)
            m_running = false;
        return;
    }
    if (pass.partial && !m_running)
        return;
    const size_t count = std::min(pass.lines.size(), m_lines.size());
    for (size_t i = 0; i < count; ++i) {
        if (m_lines[i] != pass.lines[i]) {
            m_lines[i] = pass.lines[i];
            m_dirty[i] = true;
        }
    }
    if (!pass.partial) {
        for (size_t i = count; i < m_lines.size(); ++i) {
            if (!m_lines[i].isEmpty()) {
                m_lines[i].clear();
                m_dirty[i] = true;
            }
        }
        m_running = false;
    }
    applyVisible();
    if (!pass.partial)
        Q_EMIT passApplied();
}

void NBEEditorHighlighter::onContentsChange(int position, int removed, int added)
{
    if (m_applying)
        return;
    QTextDocument *doc = document();
    if (!doc)
        return;
    ++m_textRevision;
    const int newCount = doc->blockCount();
    const int delta = newCount - m_blockCount;
    m_blockCount = newCount;
    const QTextBlock block = doc->findBlock(position);
    const int b = block.isValid() ? block.blockNumber() : 0;
    if (int(m_lines.size()) != newCount - delta || b >= int(m_lines.size())) {
        // Out of step (should not happen): start over without runs.
        m_lines.assign(size_t(newCount), {});
        m_dirty.assign(size_t(newCount), false);
        return;
    }
    const int offset = position - block.position();
    NBELineRuns &runs = m_lines[size_t(b)];
    NBELineRuns moved;
    moved.reserve(runs.size());
    const bool withinLine = delta == 0 && offset + added <= block.length();
    for (NBEHighlightRun run : runs) {
        const int end = run.start + run.length;
        if (end <= offset) {
            moved.append(run);
        } else if (withinLine && run.start >= offset + removed) {
            run.start += added - removed;
            moved.append(run);
        } else if (run.start < offset) {
            run.length = offset - run.start;
            moved.append(run);
        }
    }
    runs = std::move(moved);
    if (delta > 0) {
        m_lines.insert(m_lines.begin() + b + 1, size_t(delta), NBELineRuns{});
        m_dirty.insert(m_dirty.begin() + b + 1, size_t(delta), false);
    } else if (delta < 0) {
        m_lines.erase(m_lines.begin() + b + 1, m_lines.begin() + b + 1 - delta);
        m_dirty.erase(m_dirty.begin() + b + 1, m_dirty.begin() + b + 1 - delta);
    }
}

void NBEEditorHighlighter::highlightBlock(const QString &text)
{
    const int number = currentBlock().blockNumber();
    if (number < 0 || size_t(number) >= m_lines.size())
        return;
    m_dirty[size_t(number)] = false;
    const int length = int(text.size());
    for (const NBEHighlightRun &run : m_lines[size_t(number)]) {
        if (run.style < 0 || run.style >= m_styles.size() || run.start >= length)
            continue;
        setFormat(run.start, std::min(run.length, length - run.start), m_styles.at(run.style));
    }
}

void NBEEditorHighlighter::markAllDirty()
{
    for (size_t i = 0; i < m_lines.size(); ++i)
        m_dirty[i] = m_dirty[i] || !m_lines[i].isEmpty();
    applyVisible();
}

void NBEEditorHighlighter::applyVisible()
{
    if (!m_view || m_applying || m_lines.empty())
        return;
    // The lines on screen and a margin around them. Lines are counted, not
    // measured: asking a line for its geometry lays it out, and rows of the
    // font's height over-count lines only when they wrap.
    const int rowHeight =
        std::max(1, QFontMetrics(m_view->document()->defaultFont()).lineSpacing());
    const int rows = m_view->viewport()->height() / rowHeight + 1;
    QTextBlock block = m_view->firstVisibleTextBlock();
    if (!block.isValid())
        return;
    int number = block.blockNumber();
    for (int i = 0; i < marginLines && block.previous().isValid(); ++i) {
        block = block.previous();
        --number;
    }
    const int last =
        std::min<int>(int(m_dirty.size()) - 1, number + marginLines + 2 * rows + marginLines);
    for (; block.isValid() && number <= last; block = block.next(), ++number) {
        if (m_dirty[size_t(number)]) {
            m_applying = true;
            rehighlightBlock(block);
            m_applying = false;
        }
    }
}
