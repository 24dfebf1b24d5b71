#include "NBEInlineRun.h"

#include "NBEMarkdownHTMLRenderer.h"

#include <QStringList>

#include <algorithm>

namespace {

// Reads back the few elements the export's inline rules write: text is
// escaped there, so every "<" starts one of its tags.
class Reader
{
public:
    explicit Reader(const QString &html)
        : m_html(html)
    {}

    QList<NBEInlineRun> runs()
    {
        const qsizetype n = m_html.size();
        qsizetype p = 0;
        while (p < n) {
            const QChar c = m_html[p];
            if (c == u'<') {
                const qsizetype end = m_html.indexOf(u'>', p);
                if (end < 0)
                    break;
                tag(QStringView(m_html).mid(p + 1, end - p - 1));
                p = end + 1;
            } else if (c == u'&') {
                p = entity(p);
            } else {
                m_text += c;
                ++p;
            }
        }
        flush();
        return m_runs;
    }

private:
    void flush()
    {
        if (m_text.isEmpty())
            return;
        if (!m_runs.isEmpty()) {
            NBEInlineRun &last = m_runs.last();
            if (last.bold == m_style.bold && last.italic == m_style.italic &&
                last.strikethrough == m_style.strikethrough && last.code == m_style.code &&
                last.link == m_style.link) {
                last.text += m_text;
                m_text.clear();
                return;
            }
        }
        NBEInlineRun run = m_style;
        run.text = std::exchange(m_text, QString());
        m_runs.append(std::move(run));
    }

    void tag(QStringView body)
    {
        flush();
        const bool closing = body.startsWith(u'/');
        const QStringView name = closing ? body.mid(1) : body;
        if (name == u"strong")
            m_bold += closing ? -1 : 1;
        else if (name == u"em")
            m_italic += closing ? -1 : 1;
        else if (name == u"del")
            m_strike += closing ? -1 : 1;
        else if (name == u"code")
            m_code += closing ? -1 : 1;
        else if (closing && name == u"a")
            m_links.isEmpty() ? void() : m_links.removeLast();
        else if (name.startsWith(u"a "))
            m_links.append(attribute(name, u"href"));
        else if (name.startsWith(u"img "))
            m_text += attribute(name, u"alt");
        m_style.bold = m_bold > 0;
        m_style.italic = m_italic > 0;
        m_style.strikethrough = m_strike > 0;
        m_style.code = m_code > 0;
        m_style.link = m_links.isEmpty() ? QString() : m_links.last();
    }

    static QString attribute(QStringView tag, QStringView name)
    {
        const QString key = name.toString() + QStringLiteral("=\"");
        const qsizetype start = tag.indexOf(key);
        if (start < 0)
            return {};
        const qsizetype from = start + key.size();
        const qsizetype end = tag.indexOf(u'"', from);
        return unescape(tag.mid(from, end < 0 ? -1 : end - from));
    }

    static QString unescape(QStringView text)
    {
        QString out;
        out.reserve(text.size());
        for (qsizetype p = 0; p < text.size();) {
            if (text[p] == u'&') {
                const qsizetype end = text.indexOf(u';', p);
                if (end > p) {
                    out += entityText(text.mid(p + 1, end - p - 1));
                    p = end + 1;
                    continue;
                }
            }
            out += text[p++];
        }
        return out;
    }

    static QString entityText(QStringView name)
    {
        if (name == u"amp")
            return QStringLiteral("&");
        if (name == u"lt")
            return QStringLiteral("<");
        if (name == u"gt")
            return QStringLiteral(">");
        if (name == u"quot")
            return QStringLiteral("\"");
        return u'&' + name.toString() + u';';
    }

    qsizetype entity(qsizetype p)
    {
        const qsizetype end = m_html.indexOf(u';', p);
        if (end < 0 || end - p > 6) {
            m_text += u'&';
            return p + 1;
        }
        m_text += entityText(QStringView(m_html).mid(p + 1, end - p - 1));
        return end + 1;
    }

    const QString &m_html;
    QList<NBEInlineRun> m_runs;
    QString m_text;
    NBEInlineRun m_style;
    int m_bold = 0;
    int m_italic = 0;
    int m_strike = 0;
    int m_code = 0;
    QStringList m_links;
};

} // namespace

QList<NBEInlineRun> NBEInlineRun::parse(const QString &text)
{
    // Most text has no markup: one run, without the trip through HTML.
    const bool plain = std::none_of(text.begin(), text.end(), [](QChar c) {
        return c == u'[' || c == u'`' || c == u'*' || c == u'_' || c == u'~';
    });
    if (plain)
        return text.isEmpty() ? QList<NBEInlineRun>() : QList<NBEInlineRun>{NBEInlineRun{text}};
    const QString html = NBEMarkdownHTMLRenderer::inlineHTML(text);
    return Reader(html).runs();
}
