#pragma once

#include "NBELanguage.h"
#include "NBETheme.h"
#include "NBEToken.h"

#include <QFont>
#include <QList>
#include <QString>
#include <QTextLayout>

#include <optional>

class QTextDocument;

// Colours text with the ordered token rules of its language. Rules are tried
// in order over the whole text; a match is dropped whole when any of its
// characters was already claimed by an earlier rule, so an earlier rule wins
// every overlap and text no rule claims gets no token.
//
// `tokenize` is pure and thread-safe: the editor runs it off the main thread
// and applies the result with the format functions below.
class NBESyntaxHighlighter
{
public:
    // Non-overlapping tokens sorted by location.
    static QList<NBEToken> tokenize(const QString &text, const NBELanguage &language);

    // The tokens of text[from, to) read as a text of its own, at their
    // locations in `text`. For a range of whole lines this equals the
    // whole-text tokens there when the language `isLineLocal`.
    static QList<NBEToken> tokenize(const QString &text, const NBELanguage &language,
                                    qsizetype from, qsizetype to);

    // Whether a match of the rule can contain or look past a line end.
    static bool canSpanLines(const NBETokenRule &rule);
    // Whether no rule of the language can span lines, so lines may be
    // tokenized one at a time.
    static bool isLineLocal(const NBELanguage &language);

    // Runs covering the whole text, each with `font` and the colour of its
    // token (the theme's text colour where no token or no token colour).
    static QList<QTextLayout::FormatRange> formatRanges(const QString &text,
                                                        const QList<NBEToken> &tokens,
                                                        const NBETheme &theme, const QFont &font);

    // The runs that fall in one block (a line) of `length` units at `start`,
    // cut to it and with locations relative to it.
    static QList<QTextLayout::FormatRange>
    rangesInBlock(const QList<QTextLayout::FormatRange> &ranges, qsizetype start, qsizetype length);

    // Restyles the whole document: every block's layout formats are replaced
    // by the font and the token colours. Main thread only; does not touch the
    // undo stack. An empty document is left untouched.
    static void highlight(QTextDocument *document, const NBELanguage &language,
                          const NBETheme &theme, const QFont &font);

    // One line for list views: runs with a foreground colour only, covering
    // the line. Without a language the whole line is one run of text colour.
    static QList<QTextLayout::FormatRange>
    attributedLine(const QString &line, const std::optional<NBELanguage> &language,
                   const NBETheme &theme);
};
