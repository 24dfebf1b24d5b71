#include "NBEFindBar.h"

#include "NBECodeTextEdit.h"
#include "NBETextGeometry.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QToolButton>

NBEFindBar::NBEFindBar(NBECodeTextEdit *editor, QWidget *parent)
    : QWidget(parent)
    , m_editor(editor)
    , m_findField(new QLineEdit(this))
    , m_replaceField(new QLineEdit(this))
    , m_caseButton(new QToolButton(this))
    , m_countLabel(new QLabel(this))
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(6, 4, 6, 4);
    layout->setSpacing(4);
    m_findField->setPlaceholderText(tr("Find"));
    m_findField->setClearButtonEnabled(true);
    m_replaceField->setPlaceholderText(tr("Replace"));
    m_caseButton->setText(QStringLiteral("Aa"));
    m_caseButton->setCheckable(true);
    m_caseButton->setToolTip(tr("Match Case"));
    auto *previous = new QToolButton(this);
    previous->setArrowType(Qt::UpArrow);
    previous->setToolTip(tr("Previous"));
    auto *next = new QToolButton(this);
    next->setArrowType(Qt::DownArrow);
    next->setToolTip(tr("Next"));
    auto *replace = new QToolButton(this);
    replace->setText(tr("Replace"));
    auto *all = new QToolButton(this);
    all->setText(tr("All"));
    all->setToolTip(tr("Replace All"));
    auto *done = new QToolButton(this);
    done->setText(tr("Done"));
    m_countLabel->setMinimumWidth(70);

    layout->addWidget(m_findField, 2);
    layout->addWidget(m_countLabel);
    layout->addWidget(m_caseButton);
    layout->addWidget(previous);
    layout->addWidget(next);
    layout->addWidget(m_replaceField, 1);
    layout->addWidget(replace);
    layout->addWidget(all);
    layout->addWidget(done);

    // Counting reads the whole text: once edits pause.
    m_countTimer.setSingleShot(true);
    m_countTimer.setInterval(150);
    connect(&m_countTimer, &QTimer::timeout, this, &NBEFindBar::updateCount);
    m_dropTimer.setSingleShot(true);
    m_dropTimer.setInterval(textKeptMs);
    connect(&m_dropTimer, &QTimer::timeout, this, [this] { dropText(); });
    connect(m_editor, &QPlainTextEdit::textChanged, this, [this] {
        if (isVisible())
            m_countTimer.start();
    });
    connect(m_findField, &QLineEdit::textEdited, this, [this] { searchFromAnchor(); });
    connect(m_findField, &QLineEdit::returnPressed, this, [this] { findNext(false); });
    connect(m_replaceField, &QLineEdit::returnPressed, this, [this] { replaceCurrent(); });
    connect(m_caseButton, &QToolButton::toggled, this, [this] { searchFromAnchor(); });
    connect(previous, &QToolButton::clicked, this, [this] { findNext(true); });
    connect(next, &QToolButton::clicked, this, [this] { findNext(false); });
    connect(replace, &QToolButton::clicked, this, [this] { replaceCurrent(); });
    connect(all, &QToolButton::clicked, this, [this] { replaceAll(); });
    connect(done, &QToolButton::clicked, this, [this] { close_(); });
    m_findField->installEventFilter(this);
    m_replaceField->installEventFilter(this);
    hide();
}

void NBEFindBar::open()
{
    m_anchor = m_editor->textCursor().selectionStart();
    const QString selected = selectedText();
    if (!selected.isEmpty() && !selected.contains(u'\n'))
        m_findField->setText(selected);
    show();
    m_findField->setFocus();
    m_findField->selectAll();
    updateCount();
}

void NBEFindBar::close_()
{
    dropText();
    hide();
    m_editor->setFocus();
}

void NBEFindBar::setSearchText(const QString &text)
{
    m_findField->setText(text);
    searchFromAnchor();
}

QString NBEFindBar::searchText() const
{
    return m_findField->text();
}

void NBEFindBar::setReplaceText(const QString &text)
{
    m_replaceField->setText(text);
}

void NBEFindBar::setCaseSensitive(bool caseSensitive)
{
    m_caseButton->setChecked(caseSensitive);
}

Qt::CaseSensitivity NBEFindBar::sensitivity() const
{
    return m_caseButton->isChecked() ? Qt::CaseSensitive : Qt::CaseInsensitive;
}

void NBEFindBar::searchFromAnchor()
{
    updateCount();
    const QString needle = m_findField->text();
    if (needle.isEmpty())
        return;
    QTextCursor from = m_editor->textCursor();
    from.setPosition(m_anchor);
    QTextCursor found = find(needle, from, false);
    if (found.isNull())
        found = find(needle, QTextCursor(m_editor->document()), false);
    if (!found.isNull()) {
        m_editor->setTextCursor(found);
        m_editor->ensureCursorVisible();
    }
}

bool NBEFindBar::findNext(bool backwards)
{
    const QString needle = m_findField->text();
    if (needle.isEmpty())
        return false;
    QTextCursor found = find(needle, m_editor->textCursor(), backwards);
    if (found.isNull()) {
        QTextCursor wrap(m_editor->document());
        wrap.movePosition(backwards ? QTextCursor::End : QTextCursor::Start);
        found = find(needle, wrap, backwards);
    }
    if (found.isNull())
        return false;
    m_editor->setTextCursor(found);
    m_editor->ensureCursorVisible();
    m_anchor = found.selectionStart();
    updateCount();
    return true;
}

QTextCursor NBEFindBar::find(const QString &needle, const QTextCursor &from, bool backwards) const
{
    // In the text, as the count finds: a view may show a line split.
    const NBETextGeometry &geometry = m_editor->textGeometry();
    const QString text = this->text();
    qsizetype at = -1;
    if (backwards) {
        const int before = geometry.toText(from.selectionStart());
        // A match that ends before the selection starts, so Previous visits
        // the matches Next does.
        const qsizetype from = before - needle.size();
        at = from >= 0 ? text.lastIndexOf(needle, from, sensitivity()) : -1;
    } else {
        at = text.indexOf(needle, geometry.toText(from.selectionEnd()), sensitivity());
    }
    if (at < 0)
        return {};
    const auto [start, end] = geometry.toViewRange(int(at), int(at + needle.size()));
    QTextCursor found(m_editor->document());
    found.setPosition(start);
    found.setPosition(end, QTextCursor::KeepAnchor);
    return found;
}

QString NBEFindBar::text() const
{
    QTextDocument *document = m_editor->textGeometry().textDocument();
    if (!m_text || m_textDocument != document) {
        dropText();
        m_text = m_editor->text();
        m_textDocument = document;
        // At once, inside the edit: whatever searches next sees the edit.
        m_textChanged =
            connect(document, &QTextDocument::contentsChange, this, [this] { dropText(); });
    }
    m_dropTimer.start();
    return *m_text;
}

void NBEFindBar::dropText() const
{
    m_dropTimer.stop();
    disconnect(m_textChanged);
    m_textDocument.clear();
    m_text.reset();
}

QString NBEFindBar::selectedText() const
{
    const QTextCursor cursor = m_editor->textCursor();
    return m_editor->textGeometry().textBetween(cursor.selectionStart(), cursor.selectionEnd());
}

int NBEFindBar::matchCount() const
{
    const QString needle = m_findField->text();
    if (needle.isEmpty())
        return 0;
    // Matches never span a line break (the document finds within lines).
    if (needle.contains(QLatin1Char('\n')))
        return 0;
    return int(matches(text(), needle).size());
}

QList<qsizetype> NBEFindBar::matches(const QString &text, const QString &needle) const
{
    // One after the other, as Next steps through them and Replace All
    // replaces them: "aa" is in "aaaa" twice, not three times.
    QList<qsizetype> found;
    for (qsizetype at = text.indexOf(needle, 0, sensitivity()); at >= 0;
         at = text.indexOf(needle, at + needle.size(), sensitivity()))
        found.append(at);
    return found;
}

QString NBEFindBar::countText() const
{
    return m_countLabel->text();
}

void NBEFindBar::updateCount()
{
    m_countTimer.stop();
    if (m_findField->text().isEmpty()) {
        m_countLabel->clear();
        return;
    }
    const int count = matchCount();
    m_countLabel->setText(count == 1 ? tr("1 match") : tr("%1 matches").arg(count));
}

bool NBEFindBar::selectionIsMatch() const
{
    const QString selected = selectedText();
    return !selected.isEmpty() && selected.compare(m_findField->text(), sensitivity()) == 0;
}

bool NBEFindBar::replaceCurrent()
{
    if (m_editor->isReadOnly() || m_findField->text().isEmpty())
        return false;
    if (!selectionIsMatch() && !findNext(false))
        return false;
    QTextCursor cursor = m_editor->textCursor();
    cursor.insertText(m_replaceField->text());
    m_editor->setTextCursor(cursor);
    findNext(false);
    updateCount();
    return true;
}

int NBEFindBar::replaceAll()
{
    const QString needle = m_findField->text();
    if (m_editor->isReadOnly() || needle.isEmpty())
        return 0;
    // In the text, as one change (one undo step): a view that shows the
    // text split gets it back split again.
    const NBETextGeometry &geometry = m_editor->textGeometry();
    const QList<qsizetype> matches = this->matches(text(), needle);
    if (matches.isEmpty())
        return 0;
    const QString replacement = m_replaceField->text();
    // Opened at the caret, where undo puts it back.
    const int caret = m_editor->textCaret();
    QTextCursor edit = geometry.textCursor(caret, caret);
    edit.beginEditBlock();
    for (auto at = matches.crbegin(); at != matches.crend(); ++at) {
        edit.setPosition(int(*at));
        edit.setPosition(int(*at + needle.size()), QTextCursor::KeepAnchor);
        edit.insertText(replacement);
    }
    edit.endEditBlock();
    // The caret stays by the text it stood in: a view that shows the text
    // split gets the replaced span back whole, which would leave the caret
    // after its last match, far from where the reader looks.
    const qsizetype change = replacement.size() - needle.size();
    qsizetype placed = caret;
    for (const qsizetype at : matches) {
        if (at >= caret)
            break;
        // A caret inside a match goes after its replacement.
        placed = at + needle.size() > caret ? at + (placed - caret) + replacement.size()
                                            : placed + change;
    }
    QTextCursor cursor = m_editor->textCursor();
    cursor.setPosition(m_editor->textGeometry().toView(int(placed)));
    m_editor->setTextCursor(cursor);
    updateCount();
    return int(matches.size());
}

bool NBEFindBar::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Escape) {
            close_();
            return true;
        }
        if (watched == m_findField &&
            (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
            (key->modifiers() & Qt::ShiftModifier)) {
            findNext(true);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
