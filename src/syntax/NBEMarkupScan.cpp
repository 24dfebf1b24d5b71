#include "NBEMarkupScan.h"

namespace NBEMarkupScan {

namespace {

bool isASCIILetter(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z');
}

} // namespace

bool TagIterator::isRawTextElement(QStringView name)
{
    static constexpr std::u16string_view names[] = {u"script", u"style", u"textarea"};
    for (std::u16string_view candidate : names) {
        if (QStringView(candidate).compare(name, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

qsizetype TagIterator::skipRawText()
{
    const qsizetype n = m_text.size();
    const qsizetype length = m_rawName.size();
    for (qsizetype k = m_text.indexOf(u"</", m_at); k >= 0; k = m_text.indexOf(u"</", k + 2)) {
        const qsizetype after = k + 2 + length;
        if (after <= n && m_text.mid(k + 2, length).compare(m_rawName, Qt::CaseInsensitive) == 0 &&
            (after == n || !isNameChar(m_text[after]))) {
            m_rawName = {};
            return k;
        }
    }
    m_open = Open::rawText;
    return n;
}

Tag TagIterator::readTag(qsizetype start, bool closing)
{
    const qsizetype n = m_text.size();
    Tag tag;
    tag.start = start;
    tag.closing = closing;
    tag.nameStart = start + (closing ? 2 : 1);
    tag.nameEnd = nameEnd(m_text, tag.nameStart);
    qsizetype j = tag.nameEnd;
    bool slash = false; // the last thing read was a "/" between attributes
    while (j < n) {
        const QChar c = m_text[j];
        if (c == u'>') {
            tag.closed = true;
            tag.selfClosing = slash;
            ++j;
            break;
        }
        if (c == u'<')
            break;
        if (isBlank(c)) {
            ++j;
            continue;
        }
        slash = c == u'/';
        if (slash) {
            ++j;
            continue;
        }
        // An attribute name, then maybe "=" and a value.
        while (j < n && !isBlank(m_text[j]) && m_text[j] != u'>' && m_text[j] != u'<' &&
               m_text[j] != u'/' && m_text[j] != u'=')
            ++j;
        qsizetype k = j;
        while (k < n && isBlank(m_text[k]))
            ++k;
        if (k >= n || m_text[k] != u'=')
            continue;
        ++k;
        while (k < n && isBlank(m_text[k]))
            ++k;
        if (k < n && (m_text[k] == u'"' || m_text[k] == u'\'')) {
            const qsizetype close = m_text.indexOf(m_text[k], k + 1);
            tag.openValue = close < 0;
            j = close < 0 ? n : close + 1;
        } else {
            j = k;
            while (j < n && !isBlank(m_text[j]) && m_text[j] != u'>' && m_text[j] != u'<')
                ++j;
        }
    }
    tag.end = j;
    return tag;
}

std::optional<Tag> TagIterator::next()
{
    const qsizetype n = m_text.size();
    if (!m_rawName.isEmpty())
        m_at = skipRawText();
    while (m_at < n) {
        const qsizetype i = m_text.indexOf(u'<', m_at);
        if (i < 0 || i + 1 >= n) {
            m_at = n;
            break;
        }
        const QChar after = m_text[i + 1];
        if (after == u'!' || after == u'?') {
            const bool comment = m_text.mid(i, 4) == u"<!--";
            const qsizetype close =
                comment ? m_text.indexOf(u"-->", i + 4) : m_text.indexOf(u'>', i + 2);
            if (close < 0) {
                m_open = comment ? Open::comment : Open::declaration;
                m_at = n;
                break;
            }
            m_at = close + (comment ? 3 : 1);
            continue;
        }
        const bool closing = after == u'/';
        if (!isASCIILetter(closing ? (i + 2 < n ? m_text[i + 2] : QChar()) : after)) {
            m_at = i + 1;
            continue;
        }
        Tag tag = readTag(i, closing);
        m_at = tag.end;
        if (!closing && tag.closed && !tag.selfClosing) {
            const QStringView name = m_text.mid(tag.nameStart, tag.nameLength());
            if (isRawTextElement(name))
                m_rawName = name;
        }
        return tag;
    }
    return std::nullopt;
}

bool endsInHiddenText(QStringView text)
{
    TagIterator scan(text);
    while (scan.next()) {
    }
    return scan.openAtEnd() == TagIterator::Open::comment ||
           scan.openAtEnd() == TagIterator::Open::rawText;
}

} // namespace NBEMarkupScan
