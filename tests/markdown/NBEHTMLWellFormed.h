#pragma once

#include <QSet>
#include <QString>
#include <QStringList>

// Checks that HTML made by the Markdown renderer nests properly: every tag is
// one of the renderer's own, attributes are quoted and hold no markup, text
// holds no raw "<" or ">", and every "&" starts an entity. Returns the first
// fault, or an empty string.
inline QString htmlFault(const QString &html)
{
    static const QSet<QString> voids{"img", "hr", "br", "input"};
    static const QSet<QString> elements{
        "h1", "h2", "h3",  "h4",    "h5",         "h6",     "p",     "ul",
        "ol", "li", "pre", "code",  "blockquote", "table",  "thead", "tbody",
        "tr", "th", "td",  "img",   "div",        "sup",    "dl",    "dt",
        "dd", "hr", "br",  "input", "a",          "strong", "em",    "del"};
    const auto isNameChar = [](QChar c) {
        return (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9');
    };
    const qsizetype n = html.size();
    QStringList open;
    qsizetype p = 0;
    while (p < n) {
        const QChar c = html[p];
        if (c == u'<') {
            const qsizetype start = p;
            const bool closing = p + 1 < n && html[p + 1] == u'/';
            p += closing ? 2 : 1;
            const qsizetype nameStart = p;
            while (p < n && isNameChar(html[p]))
                ++p;
            const QString name = html.sliced(nameStart, p - nameStart);
            if (!elements.contains(name))
                return QStringLiteral("unknown element at %1: %2")
                    .arg(start)
                    .arg(html.mid(start, 40));
            // Attributes: ' name' or ' name="value"' with no markup in the value.
            while (!closing && p < n && html[p] == u' ') {
                const qsizetype attribute = ++p;
                while (p < n && html[p] >= u'a' && html[p] <= u'z')
                    ++p;
                if (p == attribute)
                    return QStringLiteral("empty attribute at %1").arg(p);
                if (p < n && html[p] == u'=') {
                    if (p + 1 >= n || html[p + 1] != u'"')
                        return QStringLiteral("unquoted attribute at %1").arg(p);
                    p += 2;
                    while (p < n && html[p] != u'"') {
                        if (html[p] == u'<' || html[p] == u'>')
                            return QStringLiteral("markup in attribute at %1").arg(p);
                        ++p;
                    }
                    ++p;
                }
            }
            if (p >= n || html[p] != u'>')
                return QStringLiteral("malformed tag at %1: %2")
                    .arg(start)
                    .arg(html.mid(start, 40));
            ++p;
            if (closing) {
                if (open.isEmpty() || open.last() != name)
                    return QStringLiteral("</%1> closes %2")
                        .arg(name, open.isEmpty() ? "nothing" : open.last());
                open.removeLast();
            } else if (!voids.contains(name)) {
                open.append(name);
            }
        } else if (c == u'>') {
            return QStringLiteral("stray '>' at %1").arg(p);
        } else if (c == u'&') {
            bool known = false;
            for (const char *entity : {"&amp;", "&lt;", "&gt;", "&quot;"}) {
                if (QStringView(html).sliced(p).startsWith(QLatin1StringView(entity))) {
                    p += qsizetype(strlen(entity));
                    known = true;
                    break;
                }
            }
            if (!known)
                return QStringLiteral("bare '&' at %1").arg(p);
        } else {
            ++p;
        }
    }
    return open.isEmpty() ? QString() : QStringLiteral("unclosed ") + open.join(u',');
}
