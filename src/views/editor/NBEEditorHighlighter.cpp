#include "NBEEditorHighlighter.h"

#include "NBEBackgroundPool.h"
#include "NBECodeTextEdit.h"
#include "NBELineLayout.h"
#include "NBEMemory.h"
#include "NBESoftBreaks.h"
#include "NBETokenType.h"
#include "NBEWhenFinished.h"

#include <QCoreApplication>
#include <QFontMetrics>
#include <QScopedValueRollback>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

#include <algorithm>
#include <cstring>

namespace {

// Lines formatted beyond the visible ones, so a short scroll shows colour at once.
constexpr int marginLines = 40;
// The characters of an ordinary line, for the margin's length in characters.
constexpr int marginLineLength = 100;
// A pass for the screen reads the text from its start when the screen ends
// within this many units; further down, it reads from a line this far before
// the screen. A screen of lines longer than the last bound waits for the
// whole pass.
constexpr qsizetype promptPrefixUnits = 256 * 1024;
constexpr qsizetype promptLeadUnits = 32 * 1024;
constexpr qsizetype promptScreenUnits = 256 * 1024;

void appendNumber(std::vector<uint8_t> &bytes, uint32_t value)
{
    while (value >= 0x80) {
        bytes.push_back(uint8_t(value | 0x80));
        value >>= 7;
    }
    bytes.push_back(uint8_t(value));
}

uint32_t readNumber(const uint8_t *&cursor)
{
    uint32_t value = 0;
    for (int shift = 0;; shift += 7) {
        const uint8_t byte = *cursor++;
        value |= uint32_t(byte & 0x7F) << shift;
        if (!(byte & 0x80))
            return value;
    }
}

QList<NBEHighlightRun> runsOf(const QList<NBEToken> &tokens, qsizetype offset)
{
    QList<NBEHighlightRun> runs;
    runs.reserve(tokens.size());
    for (const NBEToken &token : tokens)
        runs.append(
            {int(token.location - offset), int(token.length), NBETokenTypes::ordinal(token.type)});
    return runs;
}

// Runs a pass hands over, packed line by line as they are split; a line
// too long to colour gets none. Each line is packed as soon as its runs are
// known, so a pass over a large file never holds every line's runs unpacked.
std::vector<NBEPackedRuns> packedLines(const QString &text, const QList<NBEHighlightRun> &runs)
{
    std::vector<NBEPackedRuns> packed;
    const auto keep = [&](qsizetype lineStart, qsizetype lineEnd, const NBELineRuns &line) {
        if (lineEnd - lineStart <= NBESoftBreaks::longestWholeLine)
            packed.emplace_back(line);
        else
            packed.emplace_back();
    };
    const bool sorted = std::is_sorted(
        runs.cbegin(), runs.cend(),
        [](const NBEHighlightRun &a, const NBEHighlightRun &b) { return a.start < b.start; });
    if (!sorted) {
        std::vector<NBELineRuns> lines = NBEEditorHighlighter::splitIntoLines(text, runs);
        packed.reserve(lines.size());
        qsizetype lineStart = 0;
        for (const NBELineRuns &line : lines) {
            const qsizetype lineBreak = text.indexOf(u'\n', lineStart);
            const qsizetype lineEnd = lineBreak < 0 ? text.size() : lineBreak;
            keep(lineStart, lineEnd, line);
            lineStart = lineEnd + 1;
        }
        return packed;
    }
    packed.reserve(size_t(text.count(u'\n')) + 1);
    NBELineRuns line;
    auto run = runs.cbegin();
    for (qsizetype lineStart = 0;;) {
        const qsizetype lineBreak = text.indexOf(u'\n', lineStart);
        const qsizetype lineEnd = lineBreak < 0 ? text.size() : lineBreak;
        line.clear();
        for (; run != runs.cend(); ++run) {
            if (run->length <= 0 || run->start < 0)
                continue;
            const qsizetype start = std::max<qsizetype>(run->start, lineStart);
            if (start > lineEnd)
                break;
            const qsizetype end =
                std::min<qsizetype>(qsizetype(run->start) + run->length, text.size());
            const qsizetype pieceEnd = std::min(end, lineEnd);
            if (pieceEnd > start)
                line.append({int(start - lineStart), int(pieceEnd - start), run->style});
            // A run over the line break goes on in the next line.
            if (end > lineEnd && lineBreak >= 0)
                break;
        }
        keep(lineStart, lineEnd, line);
        if (lineBreak < 0)
            return packed;
        lineStart = lineBreak + 1;
    }
}

// A pass's lines are shared, not copied, on their way to the main thread:
// a long file's are thousands of allocations.
std::shared_ptr<std::vector<NBEPackedRuns>> linesOf(std::vector<NBEPackedRuns> lines)
{
    return std::make_shared<std::vector<NBEPackedRuns>>(std::move(lines));
}

} // namespace

NBEPackedRuns::NBEPackedRuns(const NBELineRuns &runs)
{
    if (runs.isEmpty())
        return;
    std::vector<uint8_t> bytes;
    bytes.reserve(size_t(runs.size()) * 3);
    int end = 0;
    for (const NBEHighlightRun &run : runs) {
        // Runs of one line come sorted and apart; anything else (never made
        // by a split) is dropped rather than stored wrongly.
        if (run.start < end || run.length <= 0 || run.style < 0 || run.style > 15)
            continue;
        appendNumber(bytes, uint32_t(run.start - end));
        appendNumber(bytes, (uint32_t(run.length) << 4) | uint32_t(run.style));
        end = run.start + run.length;
    }
    assign(bytes.data(), bytes.size());
}

NBEPackedRuns::NBEPackedRuns(const NBEPackedRuns &other)
{
    assign(other.data(), other.size());
}

NBEPackedRuns::NBEPackedRuns(NBEPackedRuns &&other) noexcept
{
    std::memcpy(m_raw, other.m_raw, sizeof m_raw);
    std::memset(other.m_raw, 0, sizeof other.m_raw);
}

NBEPackedRuns &NBEPackedRuns::operator=(const NBEPackedRuns &other)
{
    if (this != &other) {
        release();
        assign(other.data(), other.size());
    }
    return *this;
}

NBEPackedRuns &NBEPackedRuns::operator=(NBEPackedRuns &&other) noexcept
{
    if (this != &other) {
        release();
        std::memcpy(m_raw, other.m_raw, sizeof m_raw);
        std::memset(other.m_raw, 0, sizeof other.m_raw);
    }
    return *this;
}

NBEPackedRuns::~NBEPackedRuns()
{
    release();
}

size_t NBEPackedRuns::size() const
{
    if (m_raw[inlineCapacity] != onHeap)
        return m_raw[inlineCapacity];
    uint32_t size = 0;
    std::memcpy(&size, m_raw + sizeof(uint8_t *), sizeof size);
    return size;
}

const uint8_t *NBEPackedRuns::data() const
{
    if (m_raw[inlineCapacity] != onHeap)
        return m_raw;
    const uint8_t *pointer = nullptr;
    std::memcpy(&pointer, m_raw, sizeof pointer);
    return pointer;
}

void NBEPackedRuns::assign(const uint8_t *bytes, size_t size)
{
    std::memset(m_raw, 0, sizeof m_raw);
    if (size <= inlineCapacity) {
        if (size)
            std::memcpy(m_raw, bytes, size);
        m_raw[inlineCapacity] = uint8_t(size);
        return;
    }
    auto *heap = new uint8_t[size];
    std::memcpy(heap, bytes, size);
    const uint32_t size32 = uint32_t(size);
    std::memcpy(m_raw, &heap, sizeof heap);
    std::memcpy(m_raw + sizeof heap, &size32, sizeof size32);
    m_raw[inlineCapacity] = onHeap;
}

void NBEPackedRuns::release()
{
    if (m_raw[inlineCapacity] == onHeap)
        delete[] data();
    std::memset(m_raw, 0, sizeof m_raw);
}

NBELineRuns NBEPackedRuns::unpack() const
{
    NBELineRuns runs;
    const uint8_t *cursor = data();
    const uint8_t *const end = cursor + size();
    int position = 0;
    while (cursor < end) {
        const int start = position + int(readNumber(cursor));
        const uint32_t lengthAndStyle = readNumber(cursor);
        const int length = int(lengthAndStyle >> 4);
        runs.append({start, length, int(lengthAndStyle & 0xF)});
        position = start + length;
    }
    return runs;
}

bool NBEPackedRuns::operator==(const NBEPackedRuns &other) const
{
    const size_t count = size();
    return count == other.size() && std::memcmp(data(), other.data(), count) == 0;
}

NBEEditorHighlighter *NBEEditorHighlighter::forView(NBECodeTextEdit *view)
{
    auto *existing =
        view->document()->findChild<NBEEditorHighlighter *>(QString(), Qt::FindDirectChildrenOnly);
    if (!existing)
        return new NBEEditorHighlighter(view);
    existing->m_view = view;
    connect(view, &QPlainTextEdit::updateRequest, existing,
            [existing] { existing->applyVisible(); });
    return existing;
}

void NBEEditorHighlighter::leaveView()
{
    if (m_view)
        disconnect(m_view, nullptr, this, nullptr);
    m_view = nullptr;
    m_passes.supersede();
    letGoOfWholeText();
}

// Owned by the document: a document that outlives its view keeps its
// highlighter, since taking one off a document touches every line.
NBEEditorHighlighter::NBEEditorHighlighter(NBECodeTextEdit *view)
    : QSyntaxHighlighter(static_cast<QObject *>(view->document()))
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
    // The base class would format every line of a document that has text
    // already; lines are formatted when a pass has coloured them and they
    // come near the screen. Edited lines are formatted here, never by the
    // base class, which would format a line of megabytes whole at every key.
    QCoreApplication::removePostedEvents(this, QEvent::MetaCall);
    disconnect(document, SIGNAL(contentsChange(int, int, int)), this,
               SLOT(_q_reformatBlocks(int, int, int)));
    connect(view, &QPlainTextEdit::updateRequest, this, [this] { applyVisible(); });
}

NBEEditorHighlighter::~NBEEditorHighlighter() = default;

void NBEEditorHighlighter::setLanguage(const std::optional<NBELanguage> &language)
{
    if (!language) {
        setTokenizer({});
        return;
    }
    setTokenizer(tokenizerFor(*language));
    m_language = language;
}

NBEEditorHighlighter::Tokenizer NBEEditorHighlighter::tokenizerFor(const NBELanguage &language)
{
    // The language record is copied into the tokenizer: the pool thread
    // reads only its own copy.
    return [language](const QString &text) {
        return runsOf(NBESyntaxHighlighter::tokenize(text, language), 0);
    };
}

void NBEEditorHighlighter::letGoOfWholeText()
{
    // Megabytes no reader shares any more, freed here, would hold up a key.
    QString text = std::exchange(m_wholeText, QString());
    if (text.isDetached() && text.size() * qsizetype(sizeof(QChar)) >= NBEMemory::largeBlockBytes)
        NBEMemory::freeElsewhere(std::move(text));
}

void NBEEditorHighlighter::dropPass()
{
    m_passes.supersede();
    m_running = false;
    letGoOfWholeText();
    letGoOfQueuedTexts();
}

std::shared_ptr<NBEEditorHighlighter::QueuedText> NBEEditorHighlighter::queue(const QString &text)
{
    auto queued = std::make_shared<QueuedText>();
    queued->text = text;
    m_queued.push_back(queued);
    return queued;
}

std::optional<QString> NBEEditorHighlighter::take(QueuedText &queued)
{
    const QMutexLocker lock(&queued.mutex);
    return std::exchange(queued.text, std::nullopt);
}

void NBEEditorHighlighter::letGoOfQueuedTexts()
{
    for (const std::weak_ptr<QueuedText> &weak : std::exchange(m_queued, {})) {
        if (const std::shared_ptr<QueuedText> queued = weak.lock()) {
            std::optional<QString> text = take(*queued);
            if (text && text->isDetached() &&
                text->size() * qsizetype(sizeof(QChar)) >= NBEMemory::largeBlockBytes)
                NBEMemory::freeElsewhere(std::move(*text));
        }
    }
}

void NBEEditorHighlighter::forgetState()
{
    m_state.reset();
    m_edit.reset();
}

void NBEEditorHighlighter::setTokenizer(Tokenizer tokenizer, ShownText shown)
{
    m_tokenizer = std::move(tokenizer);
    m_shown = std::move(shown);
    m_language.reset();
    forgetState();
    dropPass();
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

void NBEEditorHighlighter::beginWholeReplacement()
{
    m_replacingWhole = true;
}

void NBEEditorHighlighter::endWholeReplacement()
{
    QTextDocument *doc = document();
    m_replacingWhole = false;
    dropPass();
    forgetState();
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
    forgetState();
    for (size_t i = 0; i < m_lines.size(); ++i) {
        if (!m_lines[i].isEmpty()) {
            m_lines[i] = {};
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
    const NBERequestOrder::Token generation = m_passes.next();
    m_running = true;
    letGoOfWholeText();
    letGoOfQueuedTexts();
    if (startStretch(text, generation))
        return;
    const Tokenizer tokenizer = m_tokenizer;
    // Partial passes colour lines of the document, which then holds the
    // text itself.
    if (!m_shown && text.size() == document()->characterCount() - 1) {
        m_wholeText = text;
        m_wholePass = generation;
        m_promptFirst = m_promptEnd = 0;
        if (quickLines > 0)
            startPrompt(0, quickLines);
        promptScreen();
    }
    // The text a partial pass reads is let go with the whole pass.
    const auto finishWhole = [this](const Pass &pass) {
        finish(pass);
        if (!m_running)
            letGoOfWholeText();
    };
    if (m_language) {
        // A whole pass of the language also leaves what the next pass
        // needs to redo only what edits touch.
        nbeWhenFinished(
            NBEBackgroundPool::run([language = *m_language, queued = queue(text), generation] {
                Pass pass{generation, false, {}, std::nullopt, {}};
                const std::optional<QString> read = take(*queued);
                if (!read)
                    return pass;
                const QString &text = *read;
                NBETokenizerState state;
                // The tokens go before the lines are packed.
                const QList<NBEHighlightRun> runs =
                    runsOf(NBESyntaxHighlighter::tokenize(text, language, &state), 0);
                pass.lines = linesOf(packedLines(text, runs));
                pass.state = std::make_shared<const NBETokenizerState>(std::move(state));
                return pass;
            }),
            this, finishWhole);
        return;
    }
    nbeWhenFinished(
        NBEBackgroundPool::run([tokenizer, shown = m_shown, queued = queue(text), generation] {
            Pass pass{generation, false, {}, std::nullopt, {}};
            const std::optional<QString> read = take(*queued);
            if (!read)
                return pass;
            const QString &text = *read;
            pass.lines = linesOf(packedLines(shown ? shown(text) : text, tokenizer(text)));
            return pass;
        }),
        this, finishWhole);
}

void NBEEditorHighlighter::startPrompt(int first, int end)
{
    m_promptFirst = first;
    m_promptEnd = end;
    const QTextDocument *doc = document();
    const QTextBlock firstBlock = doc->findBlockByNumber(first);
    QTextBlock lastBlock = doc->findBlockByNumber(end - 1);
    if (!lastBlock.isValid())
        lastBlock = doc->lastBlock();
    if (!firstBlock.isValid())
        return;
    const qsizetype begin = firstBlock.position();
    const qsizetype stop =
        std::min<qsizetype>(lastBlock.position() + lastBlock.length(), m_wholeText.size());
    // A pass over the whole of a short text is the whole pass.
    if (stop - begin > promptScreenUnits || (begin == 0 && stop >= m_wholeText.size()))
        return;
    const bool fromStart = stop <= promptPrefixUnits || begin <= promptLeadUnits;
    if (fromStart)
        m_promptFirst = 0;
    const NBERequestOrder::Token generation = m_wholePass;
    m_promptPass = generation;
    const int firstLine = m_promptFirst;
    nbeWhenFinished(
        NBEBackgroundPool::runPrompt([tokenizer = m_tokenizer, text = m_wholeText, begin, stop,
                                      fromStart, firstLine, generation] {
            // From a line start: the lines before the screen's margin are
            // read only to bring the tokens in step with the text.
            const qsizetype from =
                fromStart ? 0 : text.lastIndexOf(u'\n', begin - promptLeadUnits) + 1;
            const QString stretch = text.mid(from, stop - from);
            std::vector<NBEPackedRuns> lines = packedLines(stretch, tokenizer(stretch));
            // The empty line after the last line break is the first not read.
            if (stretch.endsWith(u'\n'))
                lines.pop_back();
            const qsizetype lead =
                fromStart ? 0 : QStringView(text).sliced(from, begin - from).count(u'\n');
            lines.erase(lines.begin(), lines.begin() + std::min<qsizetype>(lead, lines.size()));
            Pass pass{generation, true, linesOf(std::move(lines))};
            pass.firstLine = size_t(firstLine);
            return pass;
        }),
        this, [this](const Pass &pass) {
            if (pass.generation == m_promptPass)
                m_promptPass = 0;
            finish(pass);
        });
}

void NBEEditorHighlighter::promptScreen()
{
    // One partial pass at a time: a screen that moved while it ran gets the
    // next.
    if (!m_view || !m_running || m_wholeText.isNull() || !m_passes.isCurrent(m_wholePass) ||
        m_passes.isCurrent(m_promptPass))
        return;
    const QTextBlock top = m_view->firstVisibleTextBlock();
    if (!top.isValid())
        return;
    const int rowHeight =
        std::max(1, QFontMetrics(m_view->document()->defaultFont()).lineSpacing());
    const int rows = m_view->viewport()->height() / rowHeight + 1;
    const int first = std::max(0, top.blockNumber() - marginLines);
    const int end = std::min(m_blockCount, top.blockNumber() + rows + marginLines);
    if (first >= m_promptFirst && end <= m_promptEnd)
        return;
    startPrompt(first, end);
}

bool NBEEditorHighlighter::startStretch(const QString &text, NBERequestOrder::Token generation)
{
    if (!m_language || !m_state || !m_edit)
        return false;
    nbeWhenFinished(NBEBackgroundPool::run([language = *m_language, state = m_state, edit = *m_edit,
                                            queued = queue(text), generation] {
                        const std::optional<QString> read = take(*queued);
                        if (!read)
                            return Pass{generation, false, {}, std::nullopt, {}};
                        const QString &text = *read;
                        const NBERetokenization redone = NBESyntaxHighlighter::retokenize(
                            text, language, *state, edit.position, edit.removed, edit.added);
                        Pass pass{generation, false, {}, redone.from, {}};
                        const QString stretch = text.mid(redone.from, redone.to - redone.from);
                        pass.lines =
                            linesOf(packedLines(stretch, runsOf(redone.tokens, redone.from)));
                        // A stretch that stops at a line start ends with a line break;
                        // the empty line after it is the first one not redone.
                        if (redone.to < text.size())
                            pass.lines->pop_back();
                        pass.state = std::make_shared<const NBETokenizerState>(redone.state);
                        return pass;
                    }),
                    this, [this](const Pass &pass) { finish(pass); });
    return true;
}

void NBEEditorHighlighter::finish(const Pass &pass)
{
    // Superseded by a newer pass, or computed from a text the user has
    // changed since.
    if (!m_passes.isCurrent(pass.generation))
        return;
    if (pass.partial && !m_running)
        return;
    if (pass.state) {
        m_state = pass.state;
        m_edit.reset();
    }
    static const std::vector<NBEPackedRuns> none;
    const std::vector<NBEPackedRuns> &lines = pass.lines ? *pass.lines : none;
    if (pass.from) {
        // Only the lines of the stretch changed; the others keep their runs.
        const QTextBlock first = document()->findBlock(int(*pass.from));
        const size_t at = first.isValid() ? size_t(first.blockNumber()) : m_lines.size();
        for (size_t i = 0; i < lines.size() && at + i < m_lines.size(); ++i) {
            if (m_lines[at + i] != lines[i]) {
                m_lines[at + i] = lines[i];
                m_dirty[at + i] = true;
            }
        }
        m_running = false;
        applyVisible();
        Q_EMIT passApplied();
        return;
    }
    const size_t at = std::min(pass.firstLine, m_lines.size());
    const size_t count = std::min(lines.size(), m_lines.size() - at);
    for (size_t i = 0; i < count; ++i) {
        if (m_lines[at + i] != lines[i]) {
            m_lines[at + i] = lines[i];
            m_dirty[at + i] = true;
        }
    }
    if (!pass.partial) {
        for (size_t i = count; i < m_lines.size(); ++i) {
            if (!m_lines[i].isEmpty()) {
                m_lines[i] = {};
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
    if (m_applying || m_replacingWhole)
        return;
    QTextDocument *doc = document();
    if (!doc)
        return;
    // The pass under way read the text before this edit, which asks for a
    // new one.
    dropPass();
    if (m_state) {
        // One replacement covering every edit since the last pass: parts of
        // this edit outside the earlier one's span were unchanged text.
        const Edit next{position, removed, added};
        if (!m_edit) {
            m_edit = next;
        } else {
            Edit &span = *m_edit;
            const qsizetype start = std::min(span.position, next.position);
            const qsizetype end =
                std::max(span.position + span.added, next.position + next.removed);
            span.removed += (span.position - start) + (end - (span.position + span.added));
            span.added = end - start - next.removed + next.added;
            span.position = start;
        }
    }
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
    const NBELineRuns runs = m_lines[size_t(b)].unpack();
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
    m_lines[size_t(b)] = NBEPackedRuns(moved);
    if (delta > 0) {
        m_lines.insert(m_lines.begin() + b + 1, size_t(delta), NBEPackedRuns{});
        m_dirty.insert(m_dirty.begin() + b + 1, size_t(delta), false);
    } else if (delta < 0) {
        m_lines.erase(m_lines.begin() + b + 1, m_lines.begin() + b + 1 - delta);
        m_dirty.erase(m_dirty.begin() + b + 1, m_dirty.begin() + b + 1 - delta);
    }
    constexpr int formattedAtOnce = 64;
    const int last = std::min(b + std::max(delta, 0), newCount - 1);
    QTextBlock edited = block;
    for (int number = b; number <= last && edited.isValid(); ++number, edited = edited.next()) {
        if (last - b < formattedAtOnce)
            format(edited);
        else if (needsFormatting(edited))
            m_dirty[size_t(number)] = true;
    }
}

bool NBEEditorHighlighter::needsFormatting(const QTextBlock &block)
{
    // Formatting a line reads and compares it whole; a line too long for
    // colours needs it only to lose the colours it had while shorter.
    return block.length() - 1 <= NBESoftBreaks::longestWholeLine ||
           !block.layout()->formats().isEmpty();
}

void NBEEditorHighlighter::highlightBlock(const QString &text)
{
    const int number = currentBlock().blockNumber();
    if (number < 0 || size_t(number) >= m_lines.size())
        return;
    m_dirty[size_t(number)] = false;
    const int length = int(text.size());
    if (length > NBESoftBreaks::longestWholeLine)
        return;
    for (const NBEHighlightRun &run : m_lines[size_t(number)].unpack()) {
        if (run.style < 0 || run.style >= m_styles.size() || run.start >= length)
            continue;
        setFormat(run.start, std::min(run.length, length - run.start), m_styles.at(run.style));
    }
}

void NBEEditorHighlighter::adoptRuns(std::vector<NBEPackedRuns> lines)
{
    lines.resize(m_lines.size());
    for (size_t i = 0; i < m_lines.size(); ++i) {
        if (m_lines[i] != lines[i]) {
            m_lines[i] = std::move(lines[i]);
            m_dirty[i] = true;
        }
    }
    applyVisible();
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
    // A line laid out for the first time may wrap to more rows than it was
    // counted for, which moves the lines on screen: those are formatted too.
    for (int round = 0; round < 4; ++round) {
        const QTextBlock first = m_view->firstVisibleTextBlock();
        applyAround(first);
        if (m_view->firstVisibleTextBlock() == first)
            break;
    }
    promptScreen();
}

void NBEEditorHighlighter::applyAround(const QTextBlock &first)
{
    // The rows on screen and a margin around them. Rows are counted, not
    // measured: asking a line for its geometry lays it out. A line formatted
    // here is laid out, so it counts the rows it wraps to: a text of long
    // wrapped lines (a long line shown split) formats a screenful of them,
    // not hundreds. The margin is also held to a number of characters, as a
    // line is laid out whole, wrapped or not.
    if (!first.isValid())
        return;
    const int rowHeight =
        std::max(1, QFontMetrics(m_view->document()->defaultFont()).lineSpacing());
    int rowsLeft = m_view->viewport()->height() / rowHeight + 1;
    QTextBlock block = first;
    for (; block.isValid() && rowsLeft > 0; block = block.next())
        rowsLeft -= applyTo(block);
    const auto applyMargin = [this](QTextBlock block, bool forward) {
        int charactersLeft = marginLines * marginLineLength;
        for (int rowsLeft = marginLines; block.isValid() && rowsLeft > 0 && charactersLeft > 0;
             block = forward ? block.next() : block.previous()) {
            rowsLeft -= applyTo(block);
            charactersLeft -= block.length();
        }
    };
    applyMargin(block, true);
    applyMargin(first.previous(), false);
}

int NBEEditorHighlighter::applyTo(const QTextBlock &block)
{
    const size_t number = size_t(block.blockNumber());
    if (number < m_dirty.size() && m_dirty[number]) {
        m_dirty[number] = false;
        format(block);
    }
    return std::max(1, block.lineCount());
}

void NBEEditorHighlighter::format(const QTextBlock &block)
{
    const int number = block.blockNumber();
    if (!needsFormatting(block) || number < 0 || size_t(number) >= m_lines.size())
        return;
    const QScopedValueRollback<bool> applying(m_applying, true);
    QTextLayout *layout = block.layout();
    // Text being composed shifts the formats; the base class knows how.
    if (!layout->preeditAreaText().isEmpty()) {
        rehighlightBlock(block);
        return;
    }
    m_dirty[size_t(number)] = false;
    // The ranges are set as the base class would set them, without its
    // format for every character. Formats equal to those the line shows
    // change nothing on screen, and setting them would lay the line out and
    // draw it again.
    const QList<QTextLayout::FormatRange> ranges =
        formatRanges(m_lines[size_t(number)], block.length() - 1);
    if (layout->formats() == ranges)
        return;
    NBELineLayout::setFormats(block, ranges);
}

QList<QTextLayout::FormatRange> NBEEditorHighlighter::formatRanges(const NBEPackedRuns &runs,
                                                                   int length) const
{
    // As the base class makes them from highlightBlock's formats: a range
    // per stretch of one format, none for the plain format.
    QList<QTextLayout::FormatRange> ranges;
    if (length > NBESoftBreaks::longestWholeLine)
        return ranges;
    const QTextCharFormat plain;
    for (const NBEHighlightRun &run : runs.unpack()) {
        if (run.style < 0 || run.style >= m_styles.size() || run.start >= length)
            continue;
        const QTextCharFormat &format = m_styles.at(run.style);
        const int end = std::min(run.start + run.length, length);
        if (format == plain || end <= run.start)
            continue;
        if (!ranges.isEmpty() && ranges.last().start + ranges.last().length == run.start &&
            ranges.last().format == format) {
            ranges.last().length = end - ranges.last().start;
            continue;
        }
        ranges.append({run.start, end - run.start, format});
    }
    return ranges;
}
