#pragma once

#include <QString>
#include <QStringView>

#include <optional>

// Character-level helpers shared by the Markdown parser and renderer.
namespace NBEMarkdownText {

// Horizontal whitespace: tab and the Unicode space separators, not line breaks.
inline bool isHorizontalSpace(QChar c)
{
    if (c.unicode() < 0x80)
        return c == u' ' || c == u'\t';
    return c.category() == QChar::Separator_Space;
}

QStringView trimmedView(QStringView text);

// The code point that starts at `index` (a lone surrogate stands for itself).
char32_t codePointAt(QStringView text, qsizetype index);

} // namespace NBEMarkdownText

// Finds the next occurrence of one character from a position. Queries that
// move forward reuse the previous answer, so a left-to-right scan that asks
// again and again for the same closing bracket stays linear.
class NBENextFinder
{
public:
    NBENextFinder(QStringView text, QChar character)
        : m_text(text)
        , m_character(character)
    {}

    qsizetype find(qsizetype from)
    {
        if (m_known && from >= m_from && (m_result < 0 || from <= m_result))
            return m_result;
        m_known = true;
        m_from = from;
        m_result = m_text.indexOf(m_character, from);
        return m_result;
    }

private:
    QStringView m_text;
    QChar m_character;
    bool m_known = false;
    qsizetype m_from = 0;
    qsizetype m_result = -1;
};

struct NBEInlineImage
{
    QString alt;
    QString url;
    qsizetype end = 0; // index after the closing ")"
};

// Reads "![alt](url)" images starting at the "!" of any position of one text.
// Scanning a text left to right with one finder is linear in its length.
class NBEInlineImageFinder
{
public:
    explicit NBEInlineImageFinder(QStringView text)
        : m_text(text)
        , m_closeBracket(text, u']')
        , m_closeParen(text, u')')
        , m_space(text, u' ')
    {}

    std::optional<NBEInlineImage> imageAt(qsizetype p);

private:
    QStringView m_text;
    NBENextFinder m_closeBracket;
    NBENextFinder m_closeParen;
    NBENextFinder m_space;
    qsizetype m_startFor = -1; // the "]" whose URL start is known
    qsizetype m_start = 0;
    qsizetype m_trimmedFor = -1; // the ")" whose trimmed end is known
    qsizetype m_trimmedEnd = 0;
};

// One image at `p` of `text`, or none.
std::optional<NBEInlineImage> parseInlineImage(QStringView text, qsizetype p);
