#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

struct NBEMarkdownBlock;

enum class NBEMarkdownAlignment { leading, center, trailing };

struct NBEMarkdownListItem
{
    QString text;
    // Absent for an ordinary item; the state of the box for a task item.
    std::optional<bool> checked;
    // Nested lists that follow the item, in order.
    QList<NBEMarkdownBlock> children;

    bool operator==(const NBEMarkdownListItem &other) const;
};

struct NBEMarkdownDefinition
{
    QString term;
    QStringList definitions;

    bool operator==(const NBEMarkdownDefinition &) const = default;
};

// One block of a Markdown document. The payload fields that a kind does not
// use stay at their defaults, so equality by value compares only what counts.
struct NBEMarkdownBlock
{
    enum class Kind {
        heading,
        paragraph,
        bulletList,
        orderedList,
        codeBlock,
        blockquote,
        table,
        image,
        htmlBlock,
        footnoteDefinition,
        definitionList,
        thematicBreak,
    };

    Kind kind = Kind::paragraph;
    int level = 0; // heading
    QString text;  // heading, paragraph, blockquote, htmlBlock, footnoteDefinition
    QList<NBEMarkdownListItem> items; // bulletList, orderedList
    std::optional<QString> language;  // codeBlock
    QString code;                     // codeBlock
    QStringList headers;              // table
    QList<NBEMarkdownAlignment> alignments;
    QList<QStringList> rows;
    QString alt; // image
    QString url;
    QString id;                               // footnoteDefinition
    QList<NBEMarkdownDefinition> definitions; // definitionList

    bool operator==(const NBEMarkdownBlock &) const = default;

    static NBEMarkdownBlock heading(int level, const QString &text);
    static NBEMarkdownBlock paragraph(const QString &text);
    static NBEMarkdownBlock bulletList(const QList<NBEMarkdownListItem> &items);
    static NBEMarkdownBlock orderedList(const QList<NBEMarkdownListItem> &items);
    static NBEMarkdownBlock codeBlock(const std::optional<QString> &language, const QString &code);
    static NBEMarkdownBlock blockquote(const QString &text);
    static NBEMarkdownBlock table(const QStringList &headers,
                                  const QList<NBEMarkdownAlignment> &alignments,
                                  const QList<QStringList> &rows);
    static NBEMarkdownBlock image(const QString &alt, const QString &url);
    static NBEMarkdownBlock htmlBlock(const QString &text);
    static NBEMarkdownBlock footnoteDefinition(const QString &id, const QString &text);
    static NBEMarkdownBlock definitionList(const QList<NBEMarkdownDefinition> &items);
    static NBEMarkdownBlock thematicBreak();
};

// A piece of a paragraph as the preview lays it out: a text run or an image.
struct NBEInlineSegment
{
    enum class Kind { text, image };

    Kind kind = Kind::text;
    QString text; // text
    QString alt;  // image
    QString url;

    bool operator==(const NBEInlineSegment &) const = default;

    static NBEInlineSegment makeText(const QString &text) { return {Kind::text, text, {}, {}}; }
    static NBEInlineSegment makeImage(const QString &alt, const QString &url)
    {
        return {Kind::image, {}, alt, url};
    }
};
