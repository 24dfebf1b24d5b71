#include "NBELinkedRenameController.h"

#include "NBEAssistEdits.h"
#include "NBECodeTextEdit.h"
#include "NBEMarkupScan.h"
#include "NBETextBuffer.h"
#include "NBETextWindow.h"

#include <QTimer>

NBELinkedRenameController::NBELinkedRenameController(NBECodeTextEdit *textView,
                                                     std::shared_ptr<const NBETextBuffer> buffer,
                                                     QObject *parent)
    : QObject(parent)
    , m_textView(textView)
    , m_buffer(std::move(buffer))
{
    connect(textView, &QPlainTextEdit::cursorPositionChanged, this,
            &NBELinkedRenameController::rememberCaretLink);
}

void NBELinkedRenameController::setLanguageID(const std::optional<QString> &languageID)
{
    m_isHTML = languageID == QLatin1String("html");
}

void NBELinkedRenameController::rememberCaretLink()
{
    m_caretLink.reset();
    if (!m_textView || !m_isHTML)
        return;
    // Most carets stand in no tag name: told from a few characters, without
    // reading the text. A word longer than any tag name is none, however
    // long it grows as the user types.
    const QTextDocument *document = m_textView->textGeometry().textDocument();
    const int at = m_textView->textSelectionStart();
    int start = at;
    while (start > 0 && at - start <= longestTagName &&
           NBEMarkupScan::isNameChar(document->characterAt(start - 1)))
        --start;
    if (at - start > longestTagName)
        return;
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
    m_caretLink =
        CaretLink{m_buffer->revision(), int(link->caretName.location), int(link->caretName.end())};
}

std::optional<NBETagPairsLink> NBELinkedRenameController::caretLink(int offset) const
{
    // Most partners are near; a far one costs what lies between the two, up
    // to a limit.
    const QTextDocument *document = m_textView->textGeometry().textDocument();
    std::optional<NBETagPairsLink> link;
    for (int reach = NBEAssistEdits::windowBefore;; reach = std::min(reach * 8, partnerReach)) {
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

bool NBELinkedRenameController::isMatchedPairNameEdit(int offset) const
{
    // Told after the buffer counted this edit: the link holds when no other
    // edit came since it was found.
    return m_isHTML && m_caretLink && m_caretLink->revision + 1 == m_buffer->revision() &&
           offset >= m_caretLink->nameStart && offset <= m_caretLink->nameEnd;
}

void NBELinkedRenameController::textEdited(int position)
{
    if (!m_textView)
        return;
    const bool armed = isMatchedPairNameEdit(position);
    // Undo and redo put back what was there, partners included.
    if (!m_isMirroring && armed && !m_textView->isUndoingOrRedoing())
        QTimer::singleShot(0, this, &NBELinkedRenameController::mirrorTagRename);
}

void NBELinkedRenameController::mirrorTagRename()
{
    if (m_isMirroring || !m_textView || !m_isHTML || m_textView->textCursor().hasSelection() ||
        m_textView->isReadOnly())
        return;
    const int at = m_textView->textCaret();
    const auto link = caretLink(at);
    if (!link || !link->pairName || link->name.isEmpty())
        return;
    const NBETextRange partner = *link->pairName;
    const NBETextWindow partnerText = NBETextWindow::read(m_textView->textGeometry().textDocument(),
                                                          partner.location, partner.end());
    if (partnerText.text.size() != partner.length || partnerText.text == link->name)
        return;
    m_isMirroring = true;
    const int delta = int(link->name.size() - partner.length);
    NBEAssistEdits::replace(m_textView, int(partner.location), int(partner.length), link->name);
    NBEAssistEdits::placeCaret(m_textView, partner.location < at ? at + delta : at);
    m_isMirroring = false;
}
