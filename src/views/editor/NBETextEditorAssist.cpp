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

QString NBETextEditorAssist::text() const
{
    const int revision = m_textView->document()->revision();
    if (revision != m_textRevision) {
        m_text = m_textView->text();
        m_textRevision = revision;
    }
    return m_text;
}

std::optional<QString> NBETextEditorAssist::languageID() const
{
    const auto &language = m_coordinator->parent().language;
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
    m_textView->setTextCursor(cursor);
    m_textView->ensureCursorVisible();
}

void NBETextEditorAssist::setCaret(int offset)
{
    QTextCursor cursor(m_textView->document());
    cursor.setPosition(std::clamp(offset, 0, int(m_textView->document()->characterCount() - 1)));
    m_textView->setTextCursor(cursor);
}

bool NBETextEditorAssist::keyCommand(QKeyEvent *event)
{
    if (!m_textView)
        return false;
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
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
        case Qt::Key_Tab:
            m_completion->acceptSelected();
            return true;
        case Qt::Key_Escape:
            m_completion->hide();
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
    const NBEEditorSettings &settings = m_coordinator->parent().settings;
    const QString indent =
        settings.useSoftTabs ? QString(std::max(0, settings.tabSize), u' ') : QStringLiteral("\t");
    const auto expansion = NBEEmmet::expansion(caret(), text(), indent);
    if (!expansion)
        return false;
    const int start = int(expansion->range.location);
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
    const auto name = openingTagName(start, text());
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
    const QString current = text();
    const auto link = NBETagPairs::caretLinkNearby(current, at);
    if (!link || !link->pairName || link->pairName->end() > current.size())
        return;
    const QString partner = current.mid(link->pairName->location, link->pairName->length);
    if (partner.compare(link->name, Qt::CaseInsensitive) != 0)
        return;
    m_caretLink = CaretLink{m_edits, int(link->caretName.location), int(link->caretName.end())};
}

bool NBETextEditorAssist::isMatchedPairNameEdit(int offset) const
{
    return isHTML() && m_caretLink && m_caretLink->edits == m_edits &&
           offset >= m_caretLink->nameStart && offset <= m_caretLink->nameEnd;
}

void NBETextEditorAssist::textEdited(int position, int, int)
{
    if (!m_textView)
        return;
    const bool armed = isMatchedPairNameEdit(position);
    ++m_edits;
    if (m_isMirroring)
        return;
    // Undo and redo put back what was there, partners included.
    if (armed && !m_textView->isUndoingOrRedoing())
        QTimer::singleShot(0, this, &NBETextEditorAssist::mirrorTagRename);

    cancelHover();
    m_hover->hide();

    const auto language = languageID();
    if (language == QLatin1String("html") || language == QLatin1String("css"))
        updateCompletion();
    else
        m_completion->hide();
}

void NBETextEditorAssist::mirrorTagRename()
{
    if (m_isMirroring || !m_textView || !isHTML() || hasSelection() || m_textView->isReadOnly())
        return;
    const QString current = text();
    const int at = caret();
    const auto link = NBETagPairs::caretLinkNearby(current, at);
    if (!link || !link->pairName || link->name.isEmpty())
        return;
    const NBETextRange partner = *link->pairName;
    if (partner.end() > current.size() ||
        QStringView(current).mid(partner.location, partner.length) == link->name)
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
    if (!m_completion->isVisible())
        return;
    const int at = caret();
    const QString current = text();
    if (at > current.size())
        return;
    bool empty = false;
    if (const auto path = pathContextAt(current, at)) {
        // Only a folder already read is looked at: no disk access here.
        empty = m_listedDir == path->dir &&
                NBECompletionSources::matchingEntries(m_listedEntries, path->namePart).isEmpty();
    } else {
        empty = NBECompletionSources::builtInItems(
                    NBECompletionSources::completionScope(current, at, languageID()))
                    .isEmpty();
    }
    if (empty)
        m_completion->hide();
}

std::optional<NBEPathContext> NBETextEditorAssist::pathContextAt(const QString &text,
                                                                 int offset) const
{
    const NBETextEditorInputs &parent = m_coordinator->parent();
    return NBECompletionSources::pathContext(
        NBECompletionSources::completionScope(text, offset, languageID()), parent.fileURL,
        parent.projectRoot);
}

void NBETextEditorAssist::cancelCompletionRequest()
{
    // A request nobody waits for any more is withdrawn from the server.
    if (m_completionRequest.isValid() && !m_completionRequest.isFinished())
        m_completionRequest.cancel();
    m_completionRequest = {};
}

void NBETextEditorAssist::updateCompletion()
{
    const quint64 generation = ++m_completionGeneration;
    cancelCompletionRequest();
    if (!m_textView || hasSelection()) {
        m_completion->hide();
        return;
    }
    const int at = caret();
    const auto &provider = m_coordinator->parent().lspCompletion;
    if (provider && !pathContextAt(text(), at)) {
        const QTextBlock block = m_textView->document()->findBlock(at);
        m_completionRequest = provider(block.blockNumber(), at - block.position());
        nbeWhenFinished(
            m_completionRequest, this,
            [this, generation, at](const std::optional<QList<NBELSPCompletionItem>> &answer) {
                // An answer for a text or caret that has moved on is dropped.
                if (!m_textView || generation != m_completionGeneration || hasSelection() ||
                    caret() != at) {
                    Q_EMIT completionAnswered(false);
                    return;
                }
                if (answer && !answer->isEmpty()) {
                    QHash<QString, QString> inserts;
                    QStringList labels;
                    for (const NBELSPCompletionItem &item : *answer) {
                        labels.append(item.label);
                        if (!inserts.contains(item.label))
                            inserts.insert(item.label, item.insertText);
                    }
                    m_activeLSPItems = inserts;
                    showItems(labels, at);
                } else {
                    showNativeCompletion(at);
                }
                Q_EMIT completionAnswered(true);
            });
        return;
    }
    showNativeCompletion(at);
}

void NBETextEditorAssist::showNativeCompletion(int offset)
{
    m_activeLSPItems.reset();
    const QString current = text();
    if (const auto path = pathContextAt(current, offset)) {
        listPaths(*path, offset);
        return;
    }
    const QStringList items = NBECompletionSources::builtInItems(
        NBECompletionSources::completionScope(current, offset, languageID()));
    if (items.isEmpty())
        m_completion->hide();
    else
        showItems(items, offset);
}

void NBETextEditorAssist::listPaths(const NBEPathContext &context, int offset)
{
    const quint64 generation = m_completionGeneration;
    const QUrl dir = context.dir;
    nbeWhenFinished(QtConcurrent::run([dir] { return NBECompletionSources::readDirectory(dir); }),
                    this, [this, context, generation, offset](const QList<NBEPathEntry> &entries) {
                        m_listedDir = context.dir;
                        m_listedEntries = entries;
                        Q_EMIT pathsListed();
                        if (!m_textView || generation != m_completionGeneration || hasSelection() ||
                            caret() != offset)
                            return;
                        const QStringList items =
                            NBECompletionSources::matchingEntries(entries, context.namePart);
                        if (items.isEmpty())
                            m_completion->hide();
                        else
                            showItems(items, offset);
                    });
}

QRect NBETextEditorAssist::caretRect(int offset) const
{
    QTextCursor cursor(m_textView->document());
    cursor.setPosition(std::clamp(offset, 0, int(m_textView->document()->characterCount() - 1)));
    const QRect local = m_textView->cursorRect(cursor);
    return QRect(m_textView->viewport()->mapToGlobal(local.topLeft()), local.size());
}

void NBETextEditorAssist::showItems(const QStringList &items, int offset)
{
    m_completion->show(items, caretRect(offset), m_textView->window());
}

void NBETextEditorAssist::acceptCompletion(const QString &label)
{
    if (!m_textView || m_textView->isReadOnly())
        return;
    const QString current = text();
    const int at = m_textView->textCursor().selectionStart();
    if (m_activeLSPItems && m_activeLSPItems->contains(label)) {
        const int typed = NBECompletionSources::wordPrefixLength(at, current);
        insert(at - typed, typed, m_activeLSPItems->value(label));
        return;
    }
    NBECompletionInsertion insertion;
    if (const auto path = pathContextAt(current, at)) {
        insertion = {int(path->namePart.size()), label, 0};
    } else {
        const auto builtIn = NBECompletionSources::builtInInsertion(
            label, NBECompletionSources::completionScope(current, at, languageID()));
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
    if (m_coordinator->parent().lspHover && !m_textView->document()->isEmpty())
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
    const auto &provider = m_coordinator->parent().lspHover;
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
        m_completion->show(m_completion->model()->items(), caretRect(cursor.position()),
                           m_textView->window());
    }
}
