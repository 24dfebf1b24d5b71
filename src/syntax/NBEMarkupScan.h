#pragma once

#include <QList>
#include <QString>
#include <QStringView>

#include <algorithm>
#include <optional>
#include <string_view>

// The lexing the HTML engines (validator, formatter, outline, tag pairs)
// share. Each engine keeps its own rules for what a tag means.
namespace NBEMarkupScan {

// Tag names are runs of ASCII letters, digits and "-".
inline bool isNameChar(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '-';
}

inline bool isBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n') ||
           c == QLatin1Char('\r');
}

inline qsizetype nameEnd(QStringView text, qsizetype from)
{
    while (from < text.size() && isNameChar(text[from]))
        ++from;
    return from;
}

// One tag as HTML reads it. Offsets are UTF-16 indices into the scanned text.
struct Tag
{
    qsizetype start = 0; // the "<"
    qsizetype nameStart = 0;
    qsizetype nameEnd = 0;
    qsizetype end = 0; // one past the ">" when closed, else where the tag stopped
    bool closing = false;
    bool closed = false;      // ends with ">"
    bool selfClosing = false; // ends with "/>" outside any value
    bool openValue = false;   // stopped inside a quoted value that never closes

    qsizetype nameLength() const { return nameEnd - nameStart; }
};

// Walks the tags of a text in order, the one tag scan of the HTML engines.
// Rules, as an HTML parser reads markup unless noted:
// - A tag starts with "<" or "</" and an ASCII letter; any other "<" is text.
// - "<!--" runs to "-->"; other "<!" and "<?" constructs run to ">".
// - Attribute values in quotes are skipped whole, so a ">" inside one does not
//   end the tag; a quote opens a value only right after "=".
// - The content of script, style and textarea is text up to its own closing
//   tag (any case), so "a<b" in a script is no tag.
// - Editor rule: a tag missing its ">" stops at the next "<" outside quotes,
//   which starts the next tag; half-typed markup keeps the structure after it.
// An unclosed comment, construct or element runs to the end of the text.
class TagIterator
{
public:
    // What the text ended inside of, if anything.
    enum class Open { nothing, comment, declaration, rawText };

    explicit TagIterator(QStringView text, qsizetype from = 0)
        : m_text(text)
        , m_at(from)
    {}

    std::optional<Tag> next();

    // Continues the scan at `offset` (a caller skipping a region of its own).
    void seek(qsizetype offset)
    {
        m_at = offset;
        m_rawName = {};
    }

    Open openAtEnd() const { return m_open; }
    // The raw-text element the text ended inside of (openAtEnd() == rawText).
    QStringView openRawName() const { return m_rawName; }

    static bool isRawTextElement(QStringView name);

private:
    qsizetype skipRawText();
    Tag readTag(qsizetype start, bool closing);

    QStringView m_text;
    qsizetype m_at = 0;
    QStringView m_rawName; // set after an opening raw-text tag
    Open m_open = Open::nothing;
};

// Whether the end of `text` lies in a comment or in the text of a script,
// style or textarea element: there a "<" or a ">" is no markup.
bool endsInHiddenText(QStringView text);

// Whether `name` (any case) is a void element, without allocating: the
// tag-pair lookup runs on every keystroke over the whole text.
inline bool isVoidElement(QStringView name)
{
    static constexpr std::u16string_view names[] = {
        u"area",  u"base", u"br",   u"col",   u"embed",  u"hr",    u"img",
        u"input", u"link", u"meta", u"param", u"source", u"track", u"wbr"};
    if (name.size() < 2 || name.size() > 6)
        return false;
    for (std::u16string_view candidate : names) {
        if (QStringView(candidate).compare(name, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

// 0, then one past every LF.
inline QList<qsizetype> lineStarts(QStringView text)
{
    QList<qsizetype> starts{0};
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('\n'))
            starts.append(i + 1);
    }
    return starts;
}

// The index of the last line start at or before `offset`.
inline qsizetype lineIndex(const QList<qsizetype> &starts, qsizetype offset)
{
    const auto it = std::upper_bound(starts.begin(), starts.end(), offset);
    return it == starts.begin() ? 0 : (it - starts.begin()) - 1;
}

} // namespace NBEMarkupScan
