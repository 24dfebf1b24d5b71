#include "NBEMarkdownText.h"

namespace NBEMarkdownText {

QStringView trimmedView(QStringView text)
{
    qsizetype start = 0;
    qsizetype end = text.size();
    while (start < end && isHorizontalSpace(text[start]))
        ++start;
    while (end > start && isHorizontalSpace(text[end - 1]))
        --end;
    return text.sliced(start, end - start);
}

char32_t codePointAt(QStringView text, qsizetype index)
{
    const QChar c = text[index];
    if (c.isHighSurrogate() && index + 1 < text.size() && text[index + 1].isLowSurrogate())
        return QChar::surrogateToUcs4(c, text[index + 1]);
    return c.unicode();
}

} // namespace NBEMarkdownText

std::optional<NBEInlineImage> NBEInlineImageFinder::imageAt(qsizetype p)
{
    using NBEMarkdownText::isHorizontalSpace;
    if (p + 1 >= m_text.size() || m_text[p + 1] != u'[')
        return std::nullopt;
    const qsizetype close = m_closeBracket.find(p + 2);
    if (close < 0 || close + 1 >= m_text.size() || m_text[close + 1] != u'(')
        return std::nullopt;
    const qsizetype paren = m_closeParen.find(close + 2);
    if (paren < 0)
        return std::nullopt;
    // The URL is the text in the parentheses, trimmed and cut at its first
    // space. Found by positions, not copies, so many "![" that share one ")"
    // cost no more than one.
    if (close != m_startFor) {
        m_startFor = close;
        m_start = close + 2;
        while (m_start < paren && isHorizontalSpace(m_text[m_start]))
            ++m_start;
    }
    const qsizetype start = m_start;
    if (paren != m_trimmedFor) {
        m_trimmedFor = paren;
        m_trimmedEnd = paren;
        while (m_trimmedEnd > close + 2 && isHorizontalSpace(m_text[m_trimmedEnd - 1]))
            --m_trimmedEnd;
    }
    if (start >= m_trimmedEnd)
        return std::nullopt;
    const qsizetype space = m_space.find(start);
    const qsizetype end = space < 0 ? m_trimmedEnd : std::min(space, m_trimmedEnd);
    return NBEInlineImage{m_text.sliced(p + 2, close - p - 2).toString(),
                          m_text.sliced(start, end - start).toString(), paren + 1};
}

std::optional<NBEInlineImage> parseInlineImage(QStringView text, qsizetype p)
{
    return NBEInlineImageFinder(text).imageAt(p);
}
