#include "NBETextEditorAssist.h"

#include "NBECodeTextEdit.h"
#include "NBECompletionController.h"
#include "NBEEmmet.h"
#include "NBEHoverController.h"
#include "NBEMarkupScan.h"
#include "NBETagPairs.h"
#include "NBETextEditorCoordinator.h"
#include "NBEWhenFinished.h"

#include <QKeyEvent>
#include <QScrollBar>
#include <QTextBlock>
#include <QtConcurrent/QtConcurrentRun>

namespace {

bool isVoidElement(const QString &name)
{
    static const QStringList names = {
        QStringLiteral("area"),  QStringLiteral("base"),  QStringLiteral("br"),
        QStringLiteral("col"),   QStringLiteral("embed"), QStringLiteral("hr"),
        QStringLiteral("img"),   QStringLiteral("input"), QStringLiteral("link"),
        QStringLiteral("meta"),  QStringLiteral("param"), QStringLiteral("source"),
        QStringLiteral("track"), QStringLiteral("wbr")};
    return names.contains(name.toLower());
}

bool isTagNameCharacter(QStringView text, qsizetype i)
{
    // Letters and digits in the Unicode sense, a letter outside the basic
    // plane included.
    const QChar c = text[i];
    if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
        return QChar::isLetterOrNumber(QChar::surrogateToUcs4(c, text[i + 1]));
    return c.isLetterOrNumber() || c == u'-' || c == u'_';
}

} // namespace

NBETextEditorAssist::NBETextEditorAssist(NBETextEditorCoordinator *coordinator,
                                         NBECodeTextEdit *textView)
    : QObject(coordinator)
    , m_coordinator(coordinator)
    , m_textView(textView)
    , m_completion(new NBECompletionController(this))
    , m_hover(new NBEHoverController(this))
    , m_tracking(new NBEHoverTrackingView(textView->viewport()))
{
    m_completion->onAccept = [this](const QString &label) { acceptCompletion(label); };
    m_tracking->onMove = [this](const QPoint &local, const QPoint &global) {
        hoverMoved(local, global);
    };
    m_tracking->onExit = [this] { hoverExited(); };
    m_hoverTimer.setSingleShot(true);
    m_hoverTimer.setInterval(hoverDelayMs);
    connect(&m_hoverTimer, &QTimer::timeout, this, &NBETextEditorAssist::askHover);
    textView->keyCommandHandler = [this](QKeyEvent *event) { return keyCommand(event); };
    connect(textView, &QPlainTextEdit::cursorPositionChanged, this,
            &NBETextEditorAssist::selectionChanged);
    connect(textView->verticalScrollBar(), &QScrollBar::valueChanged, this,
            &NBETextEditorAssist::scrolled);
    connect(textView->horizontalScrollBar(), &QScrollBar::valueChanged, this,
            &NBETextEditorAssist::scrolled);
}

NBETextEditorAssist::~NBETextEditorAssist()
{
    cancelCompletionRequest();
    cancelHover();
    if (m_textView)
        m_textView->keyCommandHandler = nullptr;
    delete m_tracking;
}

NBETextWindow NBETextEditorAssist::nearCaret(int at) const
{
    // Most carets have their tag ("<") or their CSS rule ("{") close by;
    // the longer stretch is read only when the short one lacks it (inside a
    // long style element, say).
    const QTextDocument *document = m_textView->document();
    NBETextWindow window = NBETextWindow::around(document, at, shortWindowBefore, windowAfter);
    if (window.reachesStart())
        return window;
    const QStringView before = QStringView(window.text).left(window.local(at));
    const QChar anchor = isHTML() ? u'<' : u'{';
    if (before.contains(anchor))
        return window;
    return NBETextWindow::around(document, at, windowBefore, windowAfter);
}

std::optional<QString> NBETextEditorAssist::languageID() const
{
    const auto &language = m_coordinator->inputs().language;
    return language ? std::optional(language->id) : std::nullopt;
}

bool NBETextEditorAssist::isHTML() const
{
    return languageID() == QLatin1String("html");
}

int NBETextEditorAssist::caret() const
{
    return m_textView->textCursor().position();
}

bool NBETextEditorAssist::hasSelection() const
{
    return m_textView->textCursor().hasSelection();
}

void NBETextEditorAssist::insert(int start, int length, const QString &replacement)
{
    QTextCursor cursor(m_textView->document());
    cursor.beginEditBlock();
    cursor.setPosition(start);
    cursor.setPosition(start + length, QTextCursor::KeepAnchor);
    cursor.insertText(replacement);
    cursor.endEditBlock();
    moveCaret(cursor);
    m_textView->ensureCursorVisible();
}

void NBETextEditorAssist::setCaret(int offset, int selected)
{
    const int length = int(m_textView->document()->characterCount() - 1);
    QTextCursor cursor(m_textView->document());
    cursor.setPosition(std::clamp(offset, 0, length));
    if (selected > 0)
        cursor.setPosition(std::clamp(offset + selected, 0, length), QTextCursor::KeepAnchor);
    moveCaret(cursor);
}

void NBETextEditorAssist::moveCaret(const QTextCursor &cursor)
{
    // The assist's own caret moves are no reason to close the panel.
    m_expectedCaret = cursor.position();
    m_textView->setTextCursor(cursor);
}

bool NBETextEditorAssist::isTypedKey(int position, int added) const
{
    if (!m_key || m_key->edits != m_edits || added != m_key->text.size())
        return false;
    const QTextDocument *document = m_textView->document();
    for (int i = 0; i < added; ++i) {
        if (document->characterAt(position + i) != m_key->text[i])
            return false;
    }
    return true;
}

bool NBETextEditorAssist::keyCommand(QKeyEvent *event)
{
    if (!m_textView)
        return false;
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    // Only plain typing counts as typed: a paste (Ctrl+V carries a letter
    // too) or a shortcut never opens the panel.
    m_key.reset();
    if (!(modifiers & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) &&
        !event->text().isEmpty() && event->text().front().isPrint())
        m_key = Key{event->text(), m_edits};
    if (m_completion->isVisible() && modifiers == Qt::NoModifier) {
        switch (event->key()) {
        case Qt::Key_Down:
            m_completion->moveSelection(1);
            return true;
        case Qt::Key_Up:
            m_completion->moveSelection(-1);
            return true;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            // A list the user hasn't moved in takes Return only for a row
            // that continues the typed word; otherwise Return is a line break.
            if (m_completion->isMoved() ||
                m_takesReturn.value(m_completion->model()->selected(), false)) {
                m_completion->acceptSelected();
                return true;
            }
            hideCompletion();
            return false;
        case Qt::Key_Tab:
            m_completion->acceptSelected();
            return true;
        case Qt::Key_Escape:
            hideCompletion();
            return true;
        default:
            break;
        }
    }
    if (m_textView->isReadOnly() || !isHTML())
        return false;
    if (event->key() == Qt::Key_Tab && modifiers == Qt::NoModifier && !hasSelection())
        return expandEmmet();
    if (event->text() == QLatin1String(">") && !(modifiers & ~Qt::ShiftModifier))
        return closeTag(event);
    return false;
}

bool NBETextEditorAssist::expandEmmet()
{
    const NBEEditorSettings &settings = m_coordinator->inputs().settings;
    const QString indent =
        settings.useSoftTabs ? QString(std::max(0, settings.tabSize), u' ') : QStringLiteral("\t");
    // The abbreviation lies on the caret's line.
    const int at = caret();
    const int lineStart = m_textView->document()->findBlock(at).position();
    const NBETextWindow line =
        NBETextWindow::read(m_textView->document(), std::max(lineStart, at - windowBefore), at);
    const auto expansion = NBEEmmet::expansion(line.local(at), line.text, indent);
    if (!expansion)
        return false;
    const int start = line.start + int(expansion->range.location);
    insert(start, int(expansion->range.length), expansion->html);
    // Inside the first empty element.
    if (const qsizetype inside = expansion->html.indexOf(QLatin1String("></")); inside >= 0)
        setCaret(start + int(inside) + 1);
    return true;
}

bool NBETextEditorAssist::closeTag(QKeyEvent *)
{
    const QTextCursor cursor = m_textView->textCursor();
    const int start = cursor.selectionStart();
    const NBETextWindow before =
        NBETextWindow::read(m_textView->document(), start - windowBefore, start);
    const auto name = openingTagName(before.local(start), before.text);
    if (!name)
        return false;
    insert(start, cursor.selectionEnd() - start, QLatin1String("></") + *name + u'>');
    setCaret(start + 1);
    return true;
}

std::optional<QString> NBETextEditorAssist::openingTagName(int offset, const QString &text)
{
    if (offset < 0 || offset > text.size())
        return std::nullopt;
    const qsizetype open = QStringView(text).left(offset).lastIndexOf(u'<');
    if (open < 0)
        return std::nullopt;
    const QStringView tag = QStringView(text).mid(open + 1, offset - open - 1);
    if (tag.isEmpty() || tag.startsWith(u'/') || tag.startsWith(u'!') || tag.startsWith(u'>') ||
        tag.contains(u'>') || tag.endsWith(u'/'))
        return std::nullopt;
    qsizetype end = 0;
    while (end < tag.size() && isTagNameCharacter(tag, end))
        end += tag[end].isHighSurrogate() && end + 1 < tag.size() ? 2 : 1;
    const QString name = tag.left(end).toString();
    if (name.isEmpty() || isVoidElement(name))
        return std::nullopt;
    return name;
}

void NBETextEditorAssist::rememberCaretLink()
{
    m_caretLink.reset();
    if (!isHTML())
        return;
    // Most carets stand in no tag name: told from a few characters, without
    // reading the text.
    const QTextDocument *document = m_textView->document();
    const int at = m_textView->textCursor().selectionStart();
    int start = at;
    while (start > 0 && NBEMarkupScan::isNameChar(document->characterAt(start - 1)))
        --start;
    const QChar before = start > 0 ? document->characterAt(start - 1) : QChar();
    if (before != u'<' &&
        !(before == u'/' && start > 1 && document->characterAt(start - 2) == u'<'))
        return;
    const auto link = caretLink(at);
    if (!link || !link->pairName)
        return;
    const NBETextWindow partner =
        NBETextWindow::read(document, link->pairName->location, link->pairName->end());
    if (partner.text.size() != link->pairName->length ||
        partner.text.compare(link->name, Qt::CaseInsensitive) != 0)
        return;
    m_caretLink = CaretLink{m_edits, int(link->caretName.location), int(link->caretName.end())};
}

std::optional<NBETagPairsLink> NBETextEditorAssist::caretLink(int offset) const
{
    // Most partners are near; a far one costs what lies between the two, up
    // to a limit.
    const QTextDocument *document = m_textView->document();
    std::optional<NBETagPairsLink> link;
    for (int reach = windowBefore;; reach = std::min(reach * 8, partnerReach)) {
        const NBETextWindow window = NBETextWindow::around(document, offset, reach, reach);
        link = NBETagPairs::caretLinkNearby(window.text, window.local(offset));
        if (!link)
            return std::nullopt;
        const auto toDocument = [&](NBETextRange range) {
            return NBETextRange{range.location + window.start, range.length};
        };
        link->caretName = toDocument(link->caretName);
        if (link->pairName)
            link->pairName = toDocument(*link->pairName);
        if (link->pairName || (window.reachesStart() && window.reachesEnd()) ||
            reach >= partnerReach)
            return link;
    }
}

bool NBETextEditorAssist::isMatchedPairNameEdit(int offset) const
{
    return isHTML() && m_caretLink && m_caretLink->edits == m_edits &&
           offset >= m_caretLink->nameStart && offset <= m_caretLink->nameEnd;
}

void NBETextEditorAssist::textEdited(int position, int removed, int added)
{
    if (!m_textView)
        return;
    const bool armed = isMatchedPairNameEdit(position);
    const bool typed = isTypedKey(position, added);
    m_key.reset();
    ++m_edits;
    m_expectedCaret = caret();
    followEdit(position, removed, added);
    if (m_isMirroring)
        return;
    // Undo and redo put back what was there, partners included.
    if (armed && !m_textView->isUndoingOrRedoing())
        QTimer::singleShot(0, this, &NBETextEditorAssist::mirrorTagRename);

    cancelHover();
    m_hover->hide();

    const auto language = languageID();
    if (language == QLatin1String("html") || language == QLatin1String("css"))
        refreshCompletion(typed                       ? Edit::typed
                          : added == 0 && removed > 0 ? Edit::deleted
                                                      : Edit::other);
    else
        hideCompletion();
}

void NBETextEditorAssist::followEdit(int position, int removed, int added)
{
    if (!m_server || position >= m_server->wordStart)
        return;
    if (position + removed <= m_server->wordStart)
        m_server->wordStart += added - removed;
    else
        m_server.reset();
}

void NBETextEditorAssist::mirrorTagRename()
{
    if (m_isMirroring || !m_textView || !isHTML() || hasSelection() || m_textView->isReadOnly())
        return;
    const int at = caret();
    const auto link = caretLink(at);
    if (!link || !link->pairName || link->name.isEmpty())
        return;
    const NBETextRange partner = *link->pairName;
    const NBETextWindow partnerText =
        NBETextWindow::read(m_textView->document(), partner.location, partner.end());
    if (partnerText.text.size() != partner.length || partnerText.text == link->name)
        return;
    m_isMirroring = true;
    const int delta = int(link->name.size() - partner.length);
    insert(int(partner.location), int(partner.length), link->name);
    setCaret(partner.location < at ? at + delta : at);
    m_isMirroring = false;
}

void NBETextEditorAssist::selectionChanged()
{
    if (!m_textView)
        return;
    rememberCaretLink();
    // An edit leaves the caret where the list was made; a caret the user
    // moved leaves the word the list was made for.
    if (caret() != m_expectedCaret && (m_completion->isVisible() || m_server))
        hideCompletion();
}

NBECompletionScope NBETextEditorAssist::scopeAt(const NBETextWindow &window, int offset) const
{
    return NBECompletionSources::completionScope(window.text, window.local(offset), languageID());
}

std::optional<NBEPathContext>
NBETextEditorAssist::pathContextAt(const NBECompletionScope &scope) const
{
    const NBETextEditorInputs &inputs = m_coordinator->inputs();
    return NBECompletionSources::pathContext(scope, inputs.fileURL, inputs.projectRoot);
}

void NBETextEditorAssist::cancelCompletionRequest()
{
    // A request nobody waits for any more is withdrawn from the server.
    if (m_completionRequest.isValid() && !m_completionRequest.isFinished())
        m_completionRequest.cancel();
    m_completionRequest = {};
}

void NBETextEditorAssist::hideCompletion()
{
    ++m_completionGeneration;
    cancelCompletionRequest();
    m_server.reset();
    m_completion->hide();
}

void NBETextEditorAssist::refreshCompletion(Edit edit)
{
    if (!m_textView || hasSelection() || edit == Edit::other ||
        (edit == Edit::deleted && !m_completion->isVisible() && !m_server)) {
        hideCompletion();
        return;
    }
    const int at = caret();
    m_expectedCaret = at;
    // A blank opens nothing (not even in a path) unless it follows CSS's ":";
    // most keys between words are blanks, so they are told without reading.
    const QTextDocument *document = m_textView->document();
    if (edit == Edit::typed && at > 0 && document->characterAt(at - 1) == u' ' &&
        (at < 2 || document->characterAt(at - 2) != u':')) {
        hideCompletion();
        return;
    }
    const NBETextWindow window = nearCaret(at);
    const NBECompletionScope scope = scopeAt(window, at);
    const auto path = pathContextAt(scope);
    const QStringView before = QStringView(window.text).left(window.local(at));
    const int word = NBECompletionSources::wordPrefixLength(window.local(at), window.text);
    if (edit == Edit::deleted ? (path ? path->namePart.isEmpty() : word == 0)
                              : !path && !NBECompletionSources::opensCompletion(before, scope.lang,
                                                                                serverTriggers())) {
        // Backspace to an empty word, or a key that types no word.
        hideCompletion();
        return;
    }
    if (path) {
        if (edit == Edit::typed && !before.isEmpty() && before.back().isSpace()) {
            hideCompletion();
            return;
        }
        ++m_completionGeneration;
        cancelCompletionRequest();
        m_server.reset();
        listPaths(*path, at);
        return;
    }
    if (!m_coordinator->inputs().lspCompletion) {
        ++m_completionGeneration;
        showNativeCompletion(window, at);
        return;
    }
    const int wordStart = at - word;
    if (m_server && m_server->wordStart == wordStart) {
        // The list on its way, or here, serves the longer or shorter word.
        if (m_server->answered)
            showServerItems(window, at);
        return;
    }
    if (edit == Edit::deleted) {
        hideCompletion();
        return;
    }
    askServer(at, wordStart);
}

QString NBETextEditorAssist::serverTriggers() const
{
    const auto &triggers = m_coordinator->inputs().lspCompletionTriggers;
    return m_coordinator->inputs().lspCompletion && triggers ? triggers() : QString();
}

void NBETextEditorAssist::askServer(int at, int wordStart)
{
    const quint64 generation = ++m_completionGeneration;
    cancelCompletionRequest();
    // Rows for another word would take a key meant for this one.
    m_completion->hide();
    m_server = ServerList{wordStart, false, {}};
    const QTextBlock block = m_textView->document()->findBlock(at);
    m_completionRequest =
        m_coordinator->inputs().lspCompletion(block.blockNumber(), at - block.position());
    nbeWhenFinished(m_completionRequest, this,
                    [this, generation](const std::optional<QList<NBELSPCompletionItem>> &answer) {
                        // An answer for a word that has been left is dropped.
                        if (!m_textView || generation != m_completionGeneration || !m_server ||
                            hasSelection()) {
                            Q_EMIT completionAnswered(false);
                            return;
                        }
                        m_server->answered = true;
                        m_server->items = answer.value_or(QList<NBELSPCompletionItem>());
                        const int at = caret();
                        showServerItems(nearCaret(at), at);
                        Q_EMIT completionAnswered(true);
                    });
}

void NBETextEditorAssist::showServerItems(const NBETextWindow &window, int at)
{
    // A server that gave nothing leaves the word to the built-in lists.
    if (m_server->items.isEmpty()) {
        showNativeCompletion(window, at);
        return;
    }
    const QStringView before = QStringView(window.text).left(window.local(at));
    const QList<NBELSPCompletionItem> items =
        NBECompletionSources::narrowed(m_server->items, before);
    if (items.isEmpty()) {
        m_completion->hide();
        return;
    }
    const bool typed = NBECompletionSources::wordPrefixLength(window.local(at), window.text) > 0;
    QHash<QString, NBELSPCompletionItem> byLabel;
    QStringList labels;
    QList<bool> takesReturn;
    for (const NBELSPCompletionItem &item : items) {
        labels.append(item.label);
        takesReturn.append(typed);
        if (!byLabel.contains(item.label))
            byLabel.insert(item.label, item);
    }
    m_activeLSPItems = byLabel;
    showItems(labels, takesReturn, at);
}

void NBETextEditorAssist::showNativeCompletion(const NBETextWindow &window, int at)
{
    m_activeLSPItems.reset();
    const NBECompletionScope scope = scopeAt(window, at);
    const QStringList items = NBECompletionSources::builtInItems(scope);
    if (items.isEmpty()) {
        m_completion->hide();
        return;
    }
    // The engine's own prefix (the same for every row) is what its rows
    // continue.
    const auto insertion = NBECompletionSources::builtInInsertion(items.first(), scope);
    const int typed = insertion ? insertion->partialLength : 0;
    const QStringView prefix = QStringView(scope.text).mid(scope.offset - typed, typed);
    QList<bool> takesReturn;
    for (const QString &item : items)
        takesReturn.append(typed > 0 && item.startsWith(prefix, Qt::CaseInsensitive));
    showItems(items, takesReturn, at);
}

void NBETextEditorAssist::listPaths(const NBEPathContext &context, int offset)
{
    const quint64 generation = m_completionGeneration;
    const QUrl dir = context.dir;
    const bool chosen = m_folderChosen || !context.namePart.isEmpty();
    nbeWhenFinished(
        QtConcurrent::run([dir] { return NBECompletionSources::readDirectory(dir); }), this,
        [this, context, generation, offset, chosen](const QList<NBEPathEntry> &entries) {
            Q_EMIT pathsListed();
            if (!m_textView || generation != m_completionGeneration || hasSelection() ||
                caret() != offset)
                return;
            m_activeLSPItems.reset();
            const QStringList items =
                NBECompletionSources::matchingEntries(entries, context.namePart);
            QList<bool> takesReturn;
            for (qsizetype i = 0; i < items.size(); ++i)
                takesReturn.append(chosen);
            if (items.isEmpty())
                m_completion->hide();
            else
                showItems(items, takesReturn, offset);
        });
}

QRect NBETextEditorAssist::caretRect(int offset) const
{
    QTextCursor cursor(m_textView->document());
    cursor.setPosition(std::clamp(offset, 0, int(m_textView->document()->characterCount() - 1)));
    const QRect local = m_textView->cursorRect(cursor);
    return QRect(m_textView->viewport()->mapToGlobal(local.topLeft()), local.size());
}

void NBETextEditorAssist::showItems(const QStringList &items, const QList<bool> &takesReturn,
                                    int offset)
{
    m_takesReturn = takesReturn;
    m_completion->show(items, caretRect(offset), m_textView->window());
}

void NBETextEditorAssist::acceptCompletion(const QString &label)
{
    if (!m_textView || m_textView->isReadOnly())
        return;
    const int at = m_textView->textCursor().selectionStart();
    const NBETextWindow window = nearCaret(at);
    const QStringView before = QStringView(window.text).left(window.local(at));
    if (m_activeLSPItems && m_activeLSPItems->contains(label)) {
        const NBELSPCompletionItem item = m_activeLSPItems->value(label);
        const int typed = NBECompletionSources::typedLength(before, item.insertText);
        const int start = at - typed;
        insert(start, typed, item.insertText);
        // A snippet's caret goes to its first tab stop, its placeholder
        // selected.
        if (item.tabStop)
            setCaret(start + item.tabStop->location, item.tabStop->length);
        return;
    }
    const NBECompletionScope scope = scopeAt(window, at);
    NBECompletionInsertion insertion;
    const auto path = pathContextAt(scope);
    if (path) {
        insertion = {int(path->namePart.size()), label, 0};
    } else {
        const auto builtIn = NBECompletionSources::builtInInsertion(label, scope);
        if (!builtIn)
            return;
        insertion = *builtIn;
    }
    const int start = at - insertion.partialLength;
    if (start < 0)
        return;
    insert(start, insertion.partialLength, insertion.insertion);
    if (insertion.caretBack >= 1)
        setCaret(start + int(insertion.insertion.size()) - insertion.caretBack);
    // A folder goes on with its own entries, one of which Return takes.
    if (path && label.endsWith(u'/')) {
        m_folderChosen = true;
        refreshCompletion(Edit::typed);
        m_folderChosen = false;
    }
}

std::optional<int> NBETextEditorAssist::characterAt(const QPoint &local) const
{
    QTextDocument *document = m_textView->document();
    const int length = document->characterCount() - 1;
    const int nearest = m_textView->cursorForPosition(local).position();
    for (int candidate : {nearest - 1, nearest}) {
        if (candidate < 0 || candidate >= length)
            continue;
        const QTextBlock block = document->findBlock(candidate);
        if (candidate >= block.position() + block.length() - 1)
            continue; // the line's end is no glyph
        QTextCursor cursor(document);
        cursor.setPosition(candidate);
        const QRect left = m_textView->cursorRect(cursor);
        cursor.setPosition(candidate + 1);
        const QRect right = m_textView->cursorRect(cursor);
        // A glyph that ends its visual line reaches one average advance.
        const int end = right.top() == left.top()
                            ? right.left()
                            : left.left() + m_textView->fontMetrics().averageCharWidth();
        if (local.x() >= left.left() && local.x() < end && local.y() >= left.top() &&
            local.y() <= left.bottom())
            return candidate;
    }
    return std::nullopt;
}

void NBETextEditorAssist::cancelHover()
{
    m_hoverTimer.stop();
    m_hoverOffset.reset();
    ++m_hoverGeneration;
    if (m_hoverRequest.isValid() && !m_hoverRequest.isFinished())
        m_hoverRequest.cancel();
    m_hoverRequest = {};
}

void NBETextEditorAssist::hoverMoved(const QPoint &local, const QPoint &global)
{
    if (!m_textView)
        return;
    std::optional<int> index;
    if (m_coordinator->inputs().lspHover && !m_textView->document()->isEmpty())
        index = characterAt(local);
    if (!index) {
        cancelHover();
        m_hover->requestHide();
        return;
    }
    if (m_hoverOffset == index)
        return;
    cancelHover();
    m_hoverOffset = index;
    m_hoverScreenPoint = global;
    m_hover->requestHide();
    m_hoverTimer.start();
}

void NBETextEditorAssist::hoverExited()
{
    cancelHover();
    m_hover->requestHide();
}

void NBETextEditorAssist::askHover()
{
    const auto &provider = m_coordinator->inputs().lspHover;
    if (!m_textView || !m_hoverOffset || !provider)
        return;
    const int index = *m_hoverOffset;
    const quint64 generation = m_hoverGeneration;
    const QTextBlock block = m_textView->document()->findBlock(index);
    m_hoverRequest = provider(block.blockNumber(), index - block.position());
    nbeWhenFinished(m_hoverRequest, this, [this, index, generation](const auto &answer) {
        // Only the answer for where the mouse still rests is shown.
        const bool current =
            m_textView && generation == m_hoverGeneration && m_hoverOffset == index;
        if (answer && current)
            m_hover->show(*answer, m_hoverScreenPoint, m_textView->window());
        Q_EMIT hoverAnswered(answer && current);
    });
}

void NBETextEditorAssist::scrolled()
{
    cancelHover();
    m_hover->hide();
    // The panel stays with the caret.
    if (m_completion->isVisible()) {
        const QTextCursor cursor = m_textView->textCursor();
        m_completion->follow(caretRect(cursor.position()), m_textView->window());
    }
}
