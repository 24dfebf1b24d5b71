#pragma once

#include "NBELanguage.h"
#include "NBETheme.h"
#include "NBEToken.h"

#include <QList>
#include <QString>
#include <QTextLayout>

#include <optional>
#include <vector>

// What a tokenization leaves for redoing only part of it after an edit.
struct NBETokenizerState
{
    // Line starts where every rule's search starts afresh: no match spans
    // one, and no search that starts before one reads it or anything after.
    std::vector<qsizetype> restarts;
    // Whether the text held characters beyond ASCII.
    bool unicode = false;
    // False when the text held a lone surrogate (its tokens came from a
    // repaired copy): the next tokenization is a whole one.
    bool reusable = false;
    bool operator==(const NBETokenizerState &) const = default;
};

// The tokens of [from, to) of an edited text; before `from` and from `to` on
// they are the earlier text's tokens, moved by the edit's change in length.
struct NBERetokenization
{
    qsizetype from = 0;
    qsizetype to = 0;
    QList<NBEToken> tokens;
    NBETokenizerState state;
};

// Colours text with the ordered token rules of its language. Rules are tried
// in order over the whole text; a match is dropped whole when any of its
// characters was already claimed by an earlier rule, so an earlier rule wins
// every overlap and text no rule claims gets no token.
//
// `tokenize` is pure and thread-safe: the editor runs it off the main thread.
class NBESyntaxHighlighter
{
public:
    // Non-overlapping tokens sorted by location.
    static QList<NBEToken> tokenize(const QString &text, const NBELanguage &language);

    // The same tokens, and in `state` what `retokenize` needs after an edit.
    static QList<NBEToken> tokenize(const QString &text, const NBELanguage &language,
                                    NBETokenizerState *state);
    // The tokens an edit changed. `text` is the text that `before` belongs
    // to with `removed` units at `position` replaced by `added` units. The
    // stretch redone runs from the last restart before the edit to the first
    // one after it where the new tokens meet the old ones, so its cost
    // follows the edit, not the text; the result equals a whole tokenization.
    static NBERetokenization retokenize(const QString &text, const NBELanguage &language,
                                        const NBETokenizerState &before, qsizetype position,
                                        qsizetype removed, qsizetype added);

    // One line for list views: runs with a foreground colour only, covering
    // the line. Without a language the whole line is one run of text colour.
    static QList<QTextLayout::FormatRange>
    attributedLine(const QString &line, const std::optional<NBELanguage> &language,
                   const NBETheme &theme);
};
