#include "NBEEmmetController.h"

#include "NBEAssistEdits.h"
#include "NBECodeTextEdit.h"
#include "NBEEmmet.h"
#include "NBEMarkupScan.h"
#include "NBETextWindow.h"

#include <QKeyEvent>
#include <QTextBlock>

NBEEmmetController::NBEEmmetController(NBECodeTextEdit *textView, QObject *parent)
    : QObject(parent)
    , m_textView(textView)
{
    textView->addKeyHandler(this);
}

NBEEmmetController::~NBEEmmetController()
{
    if (m_textView)
        m_textView->removeKeyHandler(this);
}

void NBEEmmetController::setLanguageID(const std::optional<QString> &languageID)
{
    m_isHTML = languageID == QLatin1String("html");
}

bool NBEEmmetController::keyCommand(QKeyEvent *event)
{
    if (!m_textView || m_textView->isReadOnly() || !m_isHTML)
        return false;
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    if (event->key() != Qt::Key_Tab || modifiers != Qt::NoModifier ||
        m_textView->textCursor().hasSelection())
        return false;
    return expand();
}

bool NBEEmmetController::expand()
{
    const QString indent = m_settings.useSoftTabs ? QString(std::max(0, m_settings.tabSize), u' ')
                                                  : QStringLiteral("\t");
    // The abbreviation lies on the caret's line.
    QTextDocument *document = m_textView->textGeometry().textDocument();
    const int at = m_textView->textCaret();
    const int lineStart = document->findBlock(at).position();
    const NBETextWindow line =
        NBETextWindow::read(document, std::max(lineStart, at - NBEAssistEdits::windowBefore), at);
    const auto expansion = NBEEmmet::expansion(line.local(at), line.text, indent);
    if (!expansion)
        return false;
    const int start = line.start + int(expansion->range.location);
    // Markup has no place in a comment, a script or a style sheet: there
    // Tab is a tab ("a.b" is code, ".card" a selector).
    const NBETextWindow before =
        NBETextWindow::read(document, start - NBEAssistEdits::windowBefore, start);
    if (NBEMarkupScan::endsInHiddenText(before.text))
        return false;
    NBEAssistEdits::replace(m_textView, start, int(expansion->range.length), expansion->html);
    // Inside the first empty element.
    if (const qsizetype inside = expansion->html.indexOf(QLatin1String("></")); inside >= 0)
        NBEAssistEdits::placeCaret(m_textView, start + int(inside) + 1);
    return true;
}
