#pragma once

#include "NBEMarkdownBlock.h"

#include <QString>

// Renders Markdown to one complete, self-contained HTML page (the "Export as
// HTML…" command). Pure and stateless; safe on any thread.
class NBEMarkdownHTMLRenderer
{
public:
    NBEMarkdownHTMLRenderer() = delete;

    // The whole page, titled `title`. Never fails.
    static QString render(const QString &markdown, const QString &title);

    // The HTML of one block, and of inline Markdown text. Inline text is
    // escaped first, so no input produces markup of its own; generated tags
    // are never rewritten by later rules, and a rule whose markers would
    // straddle an element boundary leaves its markers as text, so the result
    // always nests properly.
    static QString blockHTML(const NBEMarkdownBlock &block);
    // With `lineBreaks`, line breaks of the text become "<br>".
    static QString inlineHTML(const QString &text, bool lineBreaks = false);

    // "&", "<" and ">" as entities; escapeAttribute also quotes.
    static QString escape(const QString &text);
    static QString escapeAttribute(const QString &text);

private:
    static QString document(const QString &title, const QString &body);
    static QString listItemHTML(const NBEMarkdownListItem &item);
    static QString tableHTML(const QStringList &headers,
                             const QList<NBEMarkdownAlignment> &alignments,
                             const QList<QStringList> &rows);
};
