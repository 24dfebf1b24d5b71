#include "NBETagClosingController.h"

#include "NBEAssistEdits.h"
#include "NBECodeTextEdit.h"
#include "NBEMarkupScan.h"
#include "NBETextWindow.h"

#include <QKeyEvent>

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

NBETagClosingController::NBETagClosingController(NBECodeTextEdit *textView, QObject *parent)
    : QObject(parent)
    , m_textView(textView)
{
    textView->addKeyHandler(this);
}

NBETagClosingController::~NBETagClosingController()
{
    if (m_textView)
        m_textView->removeKeyHandler(this);
}

void NBETagClosingController::setLanguageID(const std::optional<QString> &languageID)
{
    m_isHTML = languageID == QLatin1String("html");
}

bool NBETagClosingController::keyCommand(QKeyEvent *event)
{
    if (!m_textView || m_textView->isReadOnly() || !m_isHTML)
        return false;
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    if (event->text() != QLatin1String(">") || (modifiers & ~Qt::ShiftModifier))
        return false;
    return closeTag();
}

bool NBETagClosingController::closeTag()
{
    const int start = m_textView->textSelectionStart();
    const NBETextWindow before = NBETextWindow::read(m_textView->textGeometry().textDocument(),
                                                     start - NBEAssistEdits::windowBefore, start);
    const auto name = openingTagName(before.local(start), before.text);
    if (!name)
        return false;
    NBEAssistEdits::replace(m_textView, start, m_textView->textSelectionEnd() - start,
                            QLatin1String("></") + *name + u'>');
    NBEAssistEdits::placeCaret(m_textView, start + 1);
    return true;
}

std::optional<QString> NBETagClosingController::openingTagName(int offset, const QString &text)
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
    // A ">" in a comment, in a script, style or textarea, or inside a quoted
    // attribute value ends no tag: a closing tag there would break the text.
    const QStringView before = QStringView(text).left(offset);
    if (NBEMarkupScan::endsInHiddenText(before))
        return std::nullopt;
    NBEMarkupScan::TagIterator scan(before);
    std::optional<NBEMarkupScan::Tag> last;
    while (const auto next = scan.next())
        last = next;
    // The "<" found above may lie in an earlier tag's quoted value.
    if (last && !last->closed && last->end == offset && (last->openValue || last->start != open))
        return std::nullopt;
    return name;
}
