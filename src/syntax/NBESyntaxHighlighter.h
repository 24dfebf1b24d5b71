#pragma once

#include "NBELanguage.h"
#include "NBETheme.h"
#include "NBEToken.h"

#include <QList>
#include <QString>
#include <QTextLayout>

#include <optional>
#include <vector>

// Where one rule whose searches read across line ends stands at a
// checkpoint: its first match that ends after the checkpoint, the offset its
// search for that match starts from, and whether the match's part before the
// checkpoint was free of earlier rules' tokens and whether it became a token.
struct NBERuleMark
{
    qsizetype origin = 0; // -1: the checkpoint can't be used (its next match is unknown)
    qsizetype start = -1; // -1: no match ends after the checkpoint
    qsizetype end = -1;
    bool clearBefore = false;
    bool accepted = false;
    // The search stands clean at the checkpoint: no attempt to match before
    // it read on from it, so the search goes on from the checkpoint itself
    // (`origin`), with no match across it. The next match isn't recorded.
    bool clean = false;
    bool operator==(const NBERuleMark &) const = default;
};

// What a tokenization leaves for redoing only part of it after an edit.
struct NBETokenizerState
{
    // Line starts about every 2,000 units, and for each the marks of the
    // rules that read across lines (`ruleCount` per checkpoint, in rule
    // order): where the old and the new tokens carry the same marks again,
    // the rest of the text has the old tokens.
    std::vector<qsizetype> checkpoints;
    std::vector<NBERuleMark> marks;
    qsizetype ruleCount = 0;
    // Whether the text held characters beyond ASCII.
    bool unicode = false;
    // False when the text held a lone surrogate (its tokens came from a
    // repaired copy) or a rule matched nothing: the next tokenization is a
    // whole one.
    bool reusable = false;
    bool operator==(const NBETokenizerState &) const = default;
};

// The tokens of [from, to) of an edited text, cut at both ends; before `from`
// and from `to` on the text has the earlier text's tokens (moved by the
// edit's change in length), of which one may reach across either end.
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
// How a pass and a redo after an edit work, and what tests guard them: the
// note at the top of NBESyntaxHighlighter.cpp.
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
    // stretch redone runs from a checkpoint before the edit to the first one
    // after it where every rule stands as it stood before (the same next
    // match, claimed the same way), so its cost follows the edit, not the
    // text, also inside strings and comments that span lines; the result
    // equals a whole tokenization.
    static NBERetokenization retokenize(const QString &text, const NBELanguage &language,
                                        const NBETokenizerState &before, qsizetype position,
                                        qsizetype removed, qsizetype added);

    // One line for list views: runs with a foreground colour only, covering
    // the line. Without a language the whole line is one run of text colour.
    static QList<QTextLayout::FormatRange>
    attributedLine(const QString &line, const std::optional<NBELanguage> &language,
                   const NBETheme &theme);
};
