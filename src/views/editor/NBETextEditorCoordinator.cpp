#include "NBETextEditorCoordinator.h"

#include "NBEChangeMarkers.h"
#include "NBECodeTextEdit.h"
#include "NBECompletionController.h"
#include "NBEDiagnosticOverlay.h"
#include "NBEEditorAssist.h"
#include "NBEEditorFormatting.h"
#include "NBEEditorLook.h"
#include "NBEGutterView.h"
#include "NBEHoverController.h"
#include "NBELineLayout.h"
#include "NBELongLineView.h"
#include "NBEScrollLink.h"
#include "NBEScrollRestore.h"
#include "NBESwatchScheduler.h"
#include "NBESyntaxHighlighter.h"
#include "NBETextGeometry.h"

#include <QPlainTextDocumentLayout>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>

namespace {

// The offset of a caret given by line and column (from 1, the column in
// UTF-16 units), put back within the text: a line past the end is the last
// line, a column past a line's end is that end.
int caretOffset(const QTextDocument &document, NBECursorPosition caret)
{
    QTextBlock block = document.findBlockByNumber(std::max(caret.line, 1) - 1);
    if (!block.isValid())
        block = document.lastBlock();
    const int column = std::clamp(caret.column, 1, block.length());
    return block.position() + column - 1;
}

} // namespace

NBETextEditorCoordinator::NBETextEditorCoordinator(std::shared_ptr<NBEEditorSession> session,
                                                   QObject *owner)
    : QObject(owner)
    , m_session(std::move(session))
    , m_formatting(new NBEEditorFormatting(m_session, this))
{}

NBETextEditorCoordinator::~NBETextEditorCoordinator() = default;

NBEDiagnosticOverlay *NBETextEditorCoordinator::diagnosticOverlay() const
{
    return m_diagnosticOverlay;
}

void NBETextEditorCoordinator::attach(NBECodeTextEdit *textView)
{
    m_textView = textView;
    m_buffer = m_session->buffer();
    m_changes = new NBEChangeMarkers(m_session, m_buffer, textView, this);
    m_swatches = new NBESwatchScheduler(m_session, m_buffer, textView, this);
    const NBEEditorSettings &settings = m_session->settings();
    m_font = NBEEditorLook::font(settings.fontSize);
    // First, so that a document made for the view takes its font and options.
    applySettings(settings);
    m_longLineView = new NBELongLineView(m_buffer, textView, this);
    connect(m_longLineView, &NBELongLineView::splitWillShow, this,
            &NBETextEditorCoordinator::splitWillShow);
    connect(m_longLineView, &NBELongLineView::splitShown, this,
            &NBETextEditorCoordinator::splitShown);
    // Asked for before the text is shown, a reveal waits for it.
    connect(m_session.get(), &NBEEditorSession::revealRequested, this,
            [this](int line, const std::optional<NBERevealRange> &range) {
                // From the event loop: a request that came with the editor
                // waits for its first layout.
                QTimer::singleShot(0, this, [this, line, range] { scrollTo(line, range); });
            });
    // The view shows the buffer's own document: its text, undo history and
    // (from an earlier view) layout and colours; or a split one, which may
    // be made off the main thread first.
    if (QTextDocument *document = m_longLineView->firstDocument())
        show(document);
    else
        connect(m_longLineView, &NBELongLineView::firstDocumentReady, this,
                &NBETextEditorCoordinator::show, Qt::SingleShotConnection);
}

void NBETextEditorCoordinator::show(QTextDocument *document)
{
    NBECodeTextEdit *textView = m_textView;
    const NBEEditorSettings &settings = m_session->settings();
    if (!qobject_cast<QPlainTextDocumentLayout *>(document->documentLayout())) {
        // Shown for the first time: font and options go in before the
        // layout, which lays the text out again at each change of them.
        applySettings(settings);
        textView->prepareDocument(document);
        m_buffer->setDocumentLayout(new NBELineLayout(document));
    }
    // Showing the document measures its first line.
    textView->keepGlyphsOf(document->firstBlock());
    textView->setDocument(document);
    placeInitialCaret();
    // Toolbar actions edit the text once it is shown.
    m_formatting->setTextView(textView);
    connect(m_buffer.get(), &NBETextBuffer::aboutToReplace, this,
            &NBETextEditorCoordinator::bufferWillBeReplaced);
    connect(m_buffer.get(), &NBETextBuffer::replaced, this,
            &NBETextEditorCoordinator::bufferReplaced);
    connect(m_buffer.get(), &NBETextBuffer::settled, this, &NBETextEditorCoordinator::textSettled);
    m_longLineView->enableUndo();
    // The settings of now: they may have changed while the text was split.
    m_font = NBEEditorLook::font(settings.fontSize);
    applySettings(settings);

    // Edits in the text's offsets, as the buffer reports them: colours the
    // highlighter applies are none.
    connect(m_buffer.get(), &NBETextBuffer::changed, this,
            &NBETextEditorCoordinator::textDidChange);
    m_highlighter = NBEEditorHighlighter::forView(textView);
    applyLanguage();
    applyColors();

    if (m_session->language())
        highlightWholeText();
    finishAttaching();
    listenToSession();
    if (const auto reveal = std::exchange(m_pendingReveal, std::nullopt))
        scrollTo(reveal->first, reveal->second);
}

void NBETextEditorCoordinator::splitWillShow()
{
    // The buffer's document keeps its highlighter, idle while not shown.
    m_highlighter->leaveView();
    m_wholeHighlighter = m_highlighter;
}

void NBETextEditorCoordinator::splitShown(int anchor, int position)
{
    NBECodeTextEdit *textView = m_textView;
    // After the split document's own, so that a change is noted once the
    // view shows it.
    disconnect(m_buffer.get(), &NBETextBuffer::changed, this,
               &NBETextEditorCoordinator::textDidChange);
    connect(m_buffer.get(), &NBETextBuffer::changed, this,
            &NBETextEditorCoordinator::textDidChange);
    m_highlighter = NBEEditorHighlighter::forView(textView);
    applyColors();
    if (const NBEEditorHighlighter *whole = std::exchange(m_wholeHighlighter, nullptr))
        m_longLineView->keepColours(*whole, *m_highlighter);
    placeCaret(position, anchor);
    textView->ensureCursorVisible();
    if (m_session->language())
        highlightWholeText();
    if (m_diagnosticOverlay)
        m_diagnosticOverlay->update();
}

NBECursorPosition NBETextEditorCoordinator::caretOf(const QTextCursor &viewCursor) const
{
    const NBETextGeometry &geometry = m_textView->textGeometry();
    // By the block, not a cursor on the text's document, which would lay
    // out the whole line to place itself.
    const int offset = geometry.toText(viewCursor.position());
    const QTextBlock block = geometry.textDocument()->findBlock(offset);
    return {block.blockNumber() + 1, offset - block.position() + 1};
}

void NBETextEditorCoordinator::placeCaret(int offset, std::optional<int> anchor)
{
    const NBETextGeometry &geometry = m_textView->textGeometry();
    QTextCursor cursor(m_textView->document());
    cursor.setPosition(geometry.toView(anchor.value_or(offset)));
    cursor.setPosition(geometry.toView(offset), QTextCursor::KeepAnchor);
    m_textView->setTextCursor(cursor);
}

void NBETextEditorCoordinator::placeInitialCaret()
{
    NBECodeTextEdit *textView = m_textView;
    const NBECursorPosition caret = m_session->initialCaret();
    const NBETextGeometry &geometry = m_textView->textGeometry();
    // Only for the text and the caret as they were left: an edit or a
    // reload since (the tab not shown) may have moved every offset.
    const std::optional<NBEEditorViewState> &kept = m_session->document().viewState();
    const int length = geometry.textDocument()->characterCount() - 1;
    const auto keptCaret = [&] {
        const int position = std::clamp(kept->position, 0, length);
        const QTextBlock block = geometry.textDocument()->findBlock(position);
        return NBECursorPosition{block.blockNumber() + 1, position - block.position() + 1};
    };
    if (kept && kept->revision == m_buffer->revision() && keptCaret() == caret) {
        placeCaret(std::clamp(kept->position, 0, length), std::clamp(kept->anchor, 0, length));
        // The view has no size before its layout: the place waits for it.
        NBEScrollRestore::start(
            textView, NBEScrollRestore::Place{kept->verticalScroll, kept->horizontalScroll});
    } else {
        placeCaret(caretOffset(*geometry.textDocument(), caret));
        NBEScrollRestore::start(textView, std::nullopt);
    }
    const NBECursorPosition placed = caretOf(textView->textCursor());
    if (placed != caret)
        m_session->reportCursor(placed.line, placed.column);
}

void NBETextEditorCoordinator::keepViewState()
{
    // Of this editor's text only, once shown: the document may have moved
    // on to another buffer (the preview tab showing another file).
    if (!m_textView || !m_highlighter || m_session->document().buffer() != m_buffer)
        return;
    const NBETextGeometry &geometry = m_textView->textGeometry();
    const QTextCursor cursor = m_textView->textCursor();
    m_session->document().setViewState(
        {m_buffer->revision(), geometry.toText(cursor.anchor()), geometry.toText(cursor.position()),
         m_textView->verticalScrollBar()->value(), m_textView->horizontalScrollBar()->value()});
}

void NBETextEditorCoordinator::takeHeldInput()
{
    if (m_textView && m_longLineView)
        m_longLineView->takeHeldInput();
}

void NBETextEditorCoordinator::applySettings(const NBEEditorSettings &settings)
{
    m_textView->setWordWrap(settings.wordWrap);
    m_textView->setEditorFont(m_font);
    m_textView->setSoftTabs(settings.useSoftTabs, settings.tabSize);
    m_textView->setShowInvisibles(settings.showInvisibles);
}

void NBETextEditorCoordinator::finishAttaching()
{
    NBECodeTextEdit *textView = m_textView;
    if (m_session->settings().showLineNumbers)
        m_changes->installGutter();
    connect(textView, &QPlainTextEdit::cursorPositionChanged, this,
            &NBETextEditorCoordinator::selectionDidChange);
    if (m_session->scrollLink())
        observeScroll(m_session->scrollLink());
    m_diagnosticOverlay = new NBEDiagnosticOverlay(textView);
    m_diagnosticOverlay->setDiagnostics(m_session->diagnostics());
    m_assist = new NBEEditorAssist(m_session.get(), m_buffer, textView, this);
    m_swatches->installOverlay();
}

NBECompletionController *NBETextEditorCoordinator::completion() const
{
    return m_assist ? m_assist->completion() : nullptr;
}

NBEHoverController *NBETextEditorCoordinator::hover() const
{
    return m_assist ? m_assist->hover() : nullptr;
}

void NBETextEditorCoordinator::applyColors()
{
    const NBETheme &theme = m_session->theme();
    m_textView->setColors(NBEEditorLook::colors(theme));
    m_highlighter->setStyles(NBEEditorLook::styles(theme));
}

void NBETextEditorCoordinator::listenToSession()
{
    NBEEditorSession *session = m_session.get();
    NBEEditorDocument *document = &session->document();
    connect(document, &NBEEditorDocument::languageChanged, this, [this] {
        m_assist->feed();
        languageDidChange();
    });
    connect(session, &NBEEditorSession::providersChanged, m_assist, &NBEEditorAssist::feed);
    connect(document, &NBEEditorDocument::settingsChanged, this,
            &NBETextEditorCoordinator::settingsDidChange);
    connect(session, &NBEEditorSession::themeChanged, this, [this] {
        applyColors();
        // A new gutter starts without markers and asks for them again.
        if (m_session->settings().showLineNumbers)
            m_changes->installGutter();
    });
    connect(document, &NBEEditorDocument::headContentChanged, m_changes,
            &NBEChangeMarkers::scheduleRecompute);
    connect(document, &NBEEditorDocument::diagnosticsChanged, this, [this] {
        if (m_diagnosticOverlay)
            m_diagnosticOverlay->setDiagnostics(m_session->diagnostics());
    });
}

void NBETextEditorCoordinator::settingsDidChange(const NBEEditorSettings &previous)
{
    NBECodeTextEdit *textView = m_textView;
    if (!textView)
        return;
    const NBEEditorSettings &settings = m_session->settings();
    m_assist->setSettings(settings);
    // Each of font size and line numbers brings a new gutter (the last one
    // stays); a new gutter starts without markers.
    if (settings.fontSize != previous.fontSize) {
        m_font = NBEEditorLook::font(settings.fontSize);
        textView->setEditorFont(m_font);
        if (settings.showLineNumbers)
            m_changes->installGutter();
    }
    if (settings.wordWrap != previous.wordWrap)
        textView->setWordWrap(settings.wordWrap);
    if (settings.showLineNumbers != previous.showLineNumbers) {
        if (settings.showLineNumbers)
            m_changes->installGutter();
        else
            textView->setLineNumbersVisible(false);
    }
    if (settings.showInvisibles != previous.showInvisibles)
        textView->setShowInvisibles(settings.showInvisibles);
    if (settings.useSoftTabs != previous.useSoftTabs || settings.tabSize != previous.tabSize)
        textView->setSoftTabs(settings.useSoftTabs, settings.tabSize);
}

void NBETextEditorCoordinator::languageDidChange()
{
    // While the user types, the pass after the pause takes the new language.
    if (!m_textView || m_isUserEditing)
        return;
    applyLanguage();
    if (m_session->language())
        highlightWholeText();
    else
        m_highlightedLanguageID = std::nullopt;
    m_swatches->recomputeAtRest();
}

void NBETextEditorCoordinator::applyLanguage()
{
    m_longLineView->setLanguage(*m_highlighter, m_session->language());
}

void NBETextEditorCoordinator::highlightWholeText(const std::optional<QString> &current)
{
    if (!m_textView || !m_session->language())
        return;
    const NBELanguage &language = *m_session->language();
    m_longLineView->highlight(*m_highlighter, language, current ? *current : m_buffer->snapshot(),
                              m_highlightedLanguageID != language.id);
    m_highlightedLanguageID = language.id;
}

void NBETextEditorCoordinator::bufferWillBeReplaced()
{
    if (!m_textView)
        return;
    m_replacing = true;
    m_replacedCaret = m_textView->textCaret();
    m_replacedScroll = m_textView->verticalScrollBar()->value();
    m_highlighter->beginWholeReplacement();
}

void NBETextEditorCoordinator::bufferReplaced()
{
    if (!m_textView)
        return;
    NBECodeTextEdit *textView = m_textView;
    m_highlighter->endWholeReplacement();
    m_replacing = false;
    // Split before the caret is placed: placing it lays its line out.
    m_longLineView->textReplaced();
    const NBETextGeometry &geometry = m_textView->textGeometry();
    placeCaret(std::min(m_replacedCaret, int(geometry.textDocument()->characterCount() - 1)));
    textView->verticalScrollBar()->setValue(m_replacedScroll);
    // The caret may have moved with the text: the status bar reads it again.
    selectionDidChange();
    if (m_session->language())
        highlightWholeText();
    m_changes->scheduleRecompute();
    if (m_diagnosticOverlay)
        m_diagnosticOverlay->update();
    m_swatches->scheduleRecompute();
}

void NBETextEditorCoordinator::textDidChange(const NBETextChange &change)
{
    if (m_replacing || !m_textView)
        return;
    const int position = int(change.position);
    const int added = int(change.inserted.size());
    noteEdit(position, added);
    if (m_assist)
        m_assist->textEdited(position, int(change.removed), added);
}

void NBETextEditorCoordinator::noteEdit(int position, int added)
{
    m_isUserEditing = true;
    // Whatever reads the whole text waits for the buffer's pause and shares
    // one copy then; a comparison or scan of an older text that is still
    // running stores nothing (it checks the revision).
    m_changes->stop();
    m_swatches->stop();
    const auto [from, to] = m_textView->textGeometry().toViewRange(position, position + added);
    // Squiggles of the changed lines are drawn again against their new layout.
    if (m_diagnosticOverlay)
        m_diagnosticOverlay->updateChange(from, to - from);
}

void NBETextEditorCoordinator::textSettled()
{
    // Only after this editor's own edits: a replacement has done its work.
    if (!m_isUserEditing)
        return;
    m_isUserEditing = false;
    if (!m_textView)
        return;
    m_longLineView->textSettled();
    const QString text = m_buffer->snapshot();
    if (m_session->language())
        highlightWholeText(text);
    m_changes->recompute(text);
    m_swatches->recompute(text);
}

void NBETextEditorCoordinator::selectionDidChange()
{
    if (m_replacing || !m_textView)
        return;
    const NBECursorPosition caret = caretOf(m_textView->textCursor());
    m_session->reportCursor(caret.line, caret.column);
}

void NBETextEditorCoordinator::scrollTo(int line, const std::optional<NBERevealRange> &range)
{
    NBECodeTextEdit *textView = m_textView;
    if (!textView)
        return;
    // Not shown yet (its text is being split): revealed once it is.
    if (!m_highlighter) {
        m_pendingReveal = {line, range};
        return;
    }
    const NBETextGeometry &geometry = textView->textGeometry();
    QTextDocument *document = geometry.textDocument();
    const QTextBlock block = document->findBlockByNumber(line - 1);
    // The empty line after a final line feed is no line of the text.
    const bool trailing = block.isValid() && block == document->lastBlock() &&
                          block.length() <= 1 && block.blockNumber() > 0;
    QTextCursor cursor(textView->document());
    cursor.movePosition(QTextCursor::End);
    // On a line wider than the view (a minified file) a whole-line
    // selection hides what was chosen and gives the next key all of it: the
    // chosen range is selected there, from its end, so the caret and the
    // view stand at its start.
    const bool wide = block.isValid() &&
                      QFontMetricsF(textView->font()).horizontalAdvance(u'x') * block.length() >
                          textView->viewport()->width();
    if (range && wide) {
        const int end = caretOffset(*document, range->end);
        cursor.setPosition(geometry.toView(std::max(end, caretOffset(*document, range->start))));
        cursor.setPosition(geometry.toView(caretOffset(*document, range->start)),
                           QTextCursor::KeepAnchor);
    } else if (line >= 1 && block.isValid() && !trailing) {
        // Selected from its end, so the caret and the view stand at its
        // first characters: a line longer than the view is shown from where
        // it begins, not where it ends.
        cursor.setPosition(geometry.toView(block.position() + block.length() - 1));
        cursor.setPosition(geometry.toView(block.position()), QTextCursor::KeepAnchor);
    }
    const bool visible = [&] {
        const QRect box = textView->cursorRect(cursor);
        return box.top() >= 0 && box.bottom() <= textView->viewport()->height();
    }();
    textView->setTextCursor(cursor);
    if (visible) {
        textView->ensureCursorVisible();
    } else {
        textView->centerCursor();
        textView->ensureCursorVisible();
    }
    textView->setFocus();
}

void NBETextEditorCoordinator::observeScroll(NBEScrollLink *link)
{
    if (m_scrollObserved || !m_textView)
        return;
    m_scrollObserved = true;
    QPointer<NBEScrollLink> weakLink(link);
    connect(m_textView, &NBECodeTextEdit::scrolled, this, [weakLink](double fraction) {
        if (weakLink)
            weakLink->editorScrolled(fraction);
    });
    QPointer<NBECodeTextEdit> weakView(m_textView);
    link->scrollEditor = [weakView](double fraction) {
        if (weakView)
            weakView->scrollToFraction(fraction);
    };
}

NBEGutterView *NBETextEditorCoordinator::gutter() const
{
    return m_changes ? m_changes->gutter() : nullptr;
}
