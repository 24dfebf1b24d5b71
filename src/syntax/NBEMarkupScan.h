#pragma once

#include <QList>
#include <QString>
#include <QStringView>

#include <algorithm>
#include <string_view>

// Small lexing steps that the HTML engines (validator, formatter, outline,
// tag pairs) share. Each engine keeps its own rules for what a tag means.
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

// The rest of a tag after its name: quoted values are skipped whole (an
// unclosed quote runs to the end), ">" closes the tag. With `stopAtOpen` a
// "<" outside quotes ends it unclosed.
struct TagTail
{
    qsizetype end = 0; // the ">" when closed, else where the scan stopped
    bool closed = false;
    QChar last; // the last character outside quotes that is no blank
    bool selfClosing() const { return closed && last == QLatin1Char('/'); }
};

inline TagTail tagTail(QStringView text, qsizetype from, bool stopAtOpen)
{
    TagTail tail;
    qsizetype j = from;
    const qsizetype n = text.size();
    while (j < n) {
        const QChar c = text[j];
        if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
            const qsizetype close = text.indexOf(c, j + 1);
            j = close < 0 ? n : close + 1;
            continue;
        }
        if (c == QLatin1Char('>')) {
            tail.closed = true;
            break;
        }
        if (stopAtOpen && c == QLatin1Char('<'))
            break;
        if (!isBlank(c))
            tail.last = c;
        ++j;
    }
    tail.end = j;
    return tail;
}

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
