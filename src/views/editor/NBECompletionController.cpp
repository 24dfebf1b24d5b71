#include "NBECompletionController.h"

#include "NBEAssistEdits.h"
#include "NBECodeTextEdit.h"
#include "NBETextBuffer.h"
#include "NBEWhenFinished.h"

#include <QKeyEvent>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QTextBlock>
#include <QtConcurrent/QtConcurrentRun>

NBECompletionController::NBECompletionController(QObject *parent)
    : QObject(parent)
    , m_model(new NBECompletionModel(this))
{}

NBECompletionController::NBECompletionController(NBECodeTextEdit *textView,
                                                 std::shared_ptr<const NBETextBuffer> buffer,
                                                 QObject *parent)
    : NBECompletionController(parent)
{
    m_textView = textView;
    textView->addKeyHandler(this);
    m_buffer = std::move(buffer);
    onAccept = [this](const QString &label) { accept(label); };
    connect(textView, &QPlainTextEdit::cursorPositionChanged, this,
            &NBECompletionController::selectionChanged);
    connect(textView, &QPlainTextEdit::textChanged, this, &NBECompletionController::placeAfterEdit);
    connect(textView->verticalScrollBar(), &QScrollBar::valueChanged, this,
            &NBECompletionController::scrolled);
    connect(textView->horizontalScrollBar(), &QScrollBar::valueChanged, this,
            &NBECompletionController::scrolled);
}

NBECompletionController::~NBECompletionController()
{
    cancelRequest();
    if (m_textView)
        m_textView->removeKeyHandler(this);
    // The panel belongs to the window, which may outlive the editor.
    delete m_panel;
}

int NBECompletionController::panelHeight(int count)
{
    return std::min(count * NBECompletionList::rowHeight + 2 * NBECompletionList::margin,
                    maxPanelHeight);
}

bool NBECompletionController::isVisible() const
{
    return m_shown && m_panel && m_panel->isVisible();
}

void NBECompletionController::show(const QStringList &items, const QRect &caretRect,
                                   QWidget *window)
{
    // Other rows are another choice: the user's move was in the old ones.
    if (items != m_model->items())
        m_moved = false;
    m_model->setItems(items);
    if (m_model->selected() >= items.size())
        m_model->setSelected(0);
    if (!window)
        return;
    if (m_panel && m_panel->parentWidget() != window)
        delete m_panel;
    if (!m_panel)
        m_panel = makePanel(window);
    place(caretRect, window);
    m_panel->raise();
    // Shown once, then only moved in and out of view: showing or hiding a
    // widget in a window under the pointer waits on the display server for
    // where the pointer is, and the panel comes and goes with the keys.
    if (m_panel->isHidden())
        m_panel->show();
    m_shown = true;
}

void NBECompletionController::follow(const QRect &caretRect, QWidget *window)
{
    if (isVisible() && m_panel->parentWidget() == window)
        place(caretRect, window);
}

void NBECompletionController::place(const QRect &caretRect, QWidget *window)
{
    if (m_inEdit) {
        // The text view says it has the edit right after; should an edit
        // come from elsewhere, the panel is placed once this event is done.
        if (!std::exchange(m_placeAfterEdit, true))
            QMetaObject::invokeMethod(this, &NBECompletionController::placeAfterEdit,
                                      Qt::QueuedConnection);
        return;
    }
    const int height = panelHeight(int(m_model->items().size()));
    // Below the caret; a child widget can't reach past its window, so near
    // the window's bottom (or right) edge the panel moves inside it.
    const QRect caret(window->mapFromGlobal(caretRect.topLeft()), caretRect.size());
    int y = caret.bottom() + 1 + 2;
    if (y + height > window->height() && caret.top() - 2 - height >= 0)
        y = caret.top() - 2 - height;
    const int x = std::max(0, std::min(caret.left(), window->width() - panelWidth));
    const QRect geometry(x, y, panelWidth, height);
    if (m_panel->geometry() != geometry)
        m_panel->setGeometry(geometry);
}

void NBECompletionController::placeAfterEdit()
{
    if (std::exchange(m_placeAfterEdit, false) && isVisible())
        place(caretRect(caret()), m_panel->parentWidget());
}

NBECompletionList *NBECompletionController::makePanel(QWidget *window)
{
    auto *panel = new NBECompletionList(m_model, window);
    panel->onPick = [this](const QString &label) {
        hide();
        if (onAccept)
            onAccept(label);
    };
    return panel;
}

void NBECompletionController::hide()
{
    m_model->setSelected(0);
    m_moved = false;
    // Kept for the next show: building the panel (its style sheets) costs
    // more than a keystroke should. It leaves the window instead of hiding
    // (see show()); a child beyond its window's edge is neither drawn nor
    // under the pointer.
    if (m_shown && m_panel)
        m_panel->move(-m_panel->width(), -m_panel->height());
    m_shown = false;
}

void NBECompletionController::moveSelection(int step)
{
    const int count = int(m_model->items().size());
    if (count == 0)
        return;
    m_moved = true;
    m_model->setSelected(std::max(0, std::min(m_model->selected() + step, count - 1)));
}

void NBECompletionController::acceptSelected()
{
    const QStringList &items = m_model->items();
    const int selected = m_model->selected();
    if (selected < 0 || selected >= items.size())
        return;
    const QString label = items[selected];
    hide();
    if (onAccept)
        onAccept(label);
}

void NBECompletionController::setDocumentLocation(const std::optional<QUrl> &fileURL,
                                                  const std::optional<QUrl> &projectRoot)
{
    m_fileURL = fileURL;
    m_projectRoot = projectRoot;
}

void NBECompletionController::setServer(const Provider &provider,
                                        const std::function<QString()> &triggers)
{
    m_provider = provider;
    m_triggers = triggers;
}

NBETextWindow NBECompletionController::nearCaret(int at) const
{
    // Most carets have their tag ("<") or their CSS rule ("{") close by;
    // the longer stretch is read only when the short one lacks it (inside a
    // long style element, say).
    const QTextDocument *document = m_textView->textGeometry().textDocument();
    NBETextWindow window = NBETextWindow::around(document, at, shortWindowBefore, windowAfter);
    if (window.reachesStart())
        return window;
    const QStringView before = QStringView(window.text).left(window.local(at));
    const QChar anchor = m_languageID == QLatin1String("html") ? u'<' : u'{';
    if (before.contains(anchor))
        return window;
    return NBETextWindow::around(document, at, NBEAssistEdits::windowBefore, windowAfter);
}

int NBECompletionController::caret() const
{
    return m_textView->textCaret();
}

bool NBECompletionController::hasSelection() const
{
    return m_textView->textCursor().hasSelection();
}

void NBECompletionController::moveCaret(const QTextCursor &cursor)
{
    // The completion's own caret moves are no reason to close the panel.
    m_expectedCaret = cursor.position();
    m_textView->showTextCursor(cursor);
}

bool NBECompletionController::isTypedKey(int position, int added) const
{
    // The edit is the buffer's first since the key went down.
    if (!m_key || m_key->revision + 1 != m_buffer->revision() || added != m_key->text.size())
        return false;
    const QTextDocument *document = m_textView->textGeometry().textDocument();
    for (int i = 0; i < added; ++i) {
        if (document->characterAt(position + i) != m_key->text[i])
            return false;
    }
    return true;
}

bool NBECompletionController::keyCommand(QKeyEvent *event)
{
    if (!m_textView)
        return false;
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    // Only plain typing counts as typed: a paste (Ctrl+V carries a letter
    // too) or a shortcut never opens the panel.
    m_key.reset();
    if (!(modifiers & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) &&
        !event->text().isEmpty() && event->text().front().isPrint())
        m_key = Key{event->text(), m_buffer->revision()};
    if (!isVisible() || modifiers != Qt::NoModifier)
        return false;
    switch (event->key()) {
    case Qt::Key_Down:
        moveSelection(1);
        return true;
    case Qt::Key_Up:
        moveSelection(-1);
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // A list the user hasn't moved in takes Return only for a row that
        // continues the typed word; otherwise Return is a line break.
        if (m_moved || m_takesReturn.value(m_model->selected(), false)) {
            acceptSelected();
            return true;
        }
        dismiss();
        return false;
    case Qt::Key_Tab:
        acceptSelected();
        return true;
    case Qt::Key_Escape:
        dismiss();
        return true;
    default:
        return false;
    }
}

void NBECompletionController::textEdited(int position, int removed, int added, bool assisted)
{
    if (!m_textView)
        return;
    const QScopedValueRollback<bool> inEdit(m_inEdit, true);
    const bool typed = isTypedKey(position, added);
    m_key.reset();
    m_expectedCaret = caret();
    followEdit(position, removed, added);
    if (assisted)
        return;
    if (m_languageID == QLatin1String("html") || m_languageID == QLatin1String("css"))
        refresh(typed ? Edit::typed : added == 0 && removed > 0 ? Edit::deleted : Edit::other);
    else
        dismiss();
}

void NBECompletionController::followEdit(int position, int removed, int added)
{
    if (!m_server || position >= m_server->wordStart)
        return;
    if (position + removed <= m_server->wordStart)
        m_server->wordStart += added - removed;
    else
        m_server.reset();
}

void NBECompletionController::selectionChanged()
{
    if (!m_textView)
        return;
    // An edit leaves the caret where the list was made; a caret the user
    // moved leaves the word the list was made for.
    if (caret() != m_expectedCaret && (isVisible() || m_server))
        dismiss();
}

void NBECompletionController::scrolled()
{
    // The panel stays with the caret.
    if (isVisible())
        follow(caretRect(caret()), m_textView->window());
}

NBECompletionScope NBECompletionController::scopeAt(const NBETextWindow &window, int offset) const
{
    return NBECompletionSources::completionScope(window.text, window.local(offset), m_languageID);
}

std::optional<NBEPathContext>
NBECompletionController::pathContextAt(const NBECompletionScope &scope) const
{
    return NBECompletionSources::pathContext(scope, m_fileURL, m_projectRoot);
}

void NBECompletionController::cancelRequest()
{
    // A request nobody waits for any more is withdrawn from the server.
    if (m_request.isValid() && !m_request.isFinished())
        m_request.cancel();
    m_request = {};
}

void NBECompletionController::dismiss()
{
    m_requests.supersede();
    cancelRequest();
    m_server.reset();
    hide();
}

void NBECompletionController::refresh(Edit edit)
{
    if (!m_textView || hasSelection() || edit == Edit::other ||
        (edit == Edit::deleted && !isVisible() && !m_server)) {
        dismiss();
        return;
    }
    const int at = caret();
    m_expectedCaret = at;
    // A blank opens nothing (not even in a path) unless it follows CSS's ":";
    // most keys between words are blanks, so they are told without reading.
    const QTextDocument *document = m_textView->textGeometry().textDocument();
    if (edit == Edit::typed && at > 0 && document->characterAt(at - 1) == u' ' &&
        (at < 2 || document->characterAt(at - 2) != u':')) {
        dismiss();
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
        dismiss();
        return;
    }
    if (path) {
        if (edit == Edit::typed && !before.isEmpty() && before.back().isSpace()) {
            dismiss();
            return;
        }
        cancelRequest();
        m_server.reset();
        listPaths(*path, at);
        return;
    }
    if (!m_provider) {
        m_requests.supersede();
        showNativeItems(window, at);
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
        dismiss();
        return;
    }
    askServer(at, wordStart);
}

QString NBECompletionController::serverTriggers() const
{
    return m_provider && m_triggers ? m_triggers() : QString();
}

void NBECompletionController::askServer(int at, int wordStart)
{
    const NBERequestOrder::Token generation = m_requests.next();
    cancelRequest();
    // Rows for another word would take a key meant for this one.
    hide();
    m_server = ServerList{wordStart, false, {}};
    const QTextBlock block = m_textView->textGeometry().textDocument()->findBlock(at);
    m_request = m_provider(block.blockNumber(), at - block.position());
    nbeWhenFinished(m_request, this,
                    [this, generation](const std::optional<QList<NBELSPCompletionItem>> &answer) {
                        // An answer for a word that has been left is dropped.
                        if (!m_textView || !m_requests.isCurrent(generation) || !m_server ||
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

void NBECompletionController::showServerItems(const NBETextWindow &window, int at)
{
    // A server that gave nothing leaves the word to the built-in lists.
    if (m_server->items.isEmpty()) {
        showNativeItems(window, at);
        return;
    }
    const QStringView before = QStringView(window.text).left(window.local(at));
    const QList<NBELSPCompletionItem> items =
        NBECompletionSources::narrowed(m_server->items, before);
    if (items.isEmpty()) {
        hide();
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

void NBECompletionController::showNativeItems(const NBETextWindow &window, int at)
{
    m_activeLSPItems.reset();
    const NBECompletionScope scope = scopeAt(window, at);
    const QStringList items = NBECompletionSources::builtInItems(scope);
    if (items.isEmpty()) {
        hide();
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

void NBECompletionController::listPaths(const NBEPathContext &context, int offset)
{
    const NBERequestOrder::Token generation = m_requests.next();
    const QUrl dir = context.dir;
    const bool chosen = m_folderChosen || !context.namePart.isEmpty();
    nbeWhenFinished(
        QtConcurrent::run([dir] { return NBECompletionSources::readDirectory(dir); }), this,
        [this, context, generation, offset, chosen](const QList<NBEPathEntry> &entries) {
            Q_EMIT pathsListed();
            if (!m_textView || !m_requests.isCurrent(generation) || hasSelection() ||
                caret() != offset)
                return;
            m_activeLSPItems.reset();
            const QStringList items =
                NBECompletionSources::matchingEntries(entries, context.namePart);
            QList<bool> takesReturn;
            for (qsizetype i = 0; i < items.size(); ++i)
                takesReturn.append(chosen);
            if (items.isEmpty())
                hide();
            else
                showItems(items, takesReturn, offset);
        });
}

QRect NBECompletionController::caretRect(int offset) const
{
    const QRect local = m_textView->cursorRect(NBEAssistEdits::cursorAt(
        m_textView->document(), m_textView->textGeometry().toView(offset)));
    return QRect(m_textView->viewport()->mapToGlobal(local.topLeft()), local.size());
}

void NBECompletionController::showItems(const QStringList &items, const QList<bool> &takesReturn,
                                        int offset)
{
    m_takesReturn = takesReturn;
    show(items, caretRect(offset), m_textView->window());
}

void NBECompletionController::accept(const QString &label)
{
    if (!m_textView || m_textView->isReadOnly())
        return;
    QTextDocument *document = m_textView->textGeometry().textDocument();
    const int at = m_textView->textSelectionStart();
    const NBETextWindow window = nearCaret(at);
    const QStringView before = QStringView(window.text).left(window.local(at));
    if (m_activeLSPItems && m_activeLSPItems->contains(label)) {
        const NBELSPCompletionItem item = m_activeLSPItems->value(label);
        const int typed = NBECompletionSources::typedLength(before, item.insertText);
        const int start = at - typed;
        moveCaret(NBEAssistEdits::replaced(document, start, typed, item.insertText));
        m_textView->ensureCursorVisible();
        // A snippet's caret goes to its first tab stop, its placeholder
        // selected.
        if (item.tabStop)
            moveCaret(NBEAssistEdits::cursorAt(document, start + item.tabStop->location,
                                               item.tabStop->length));
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
    moveCaret(
        NBEAssistEdits::replaced(document, start, insertion.partialLength, insertion.insertion));
    m_textView->ensureCursorVisible();
    if (insertion.caretBack >= 1)
        moveCaret(NBEAssistEdits::cursorAt(document, start + int(insertion.insertion.size()) -
                                                         insertion.caretBack));
    // A folder goes on with its own entries, one of which Return takes.
    if (path && label.endsWith(u'/')) {
        m_folderChosen = true;
        refresh(Edit::typed);
        m_folderChosen = false;
    }
}
