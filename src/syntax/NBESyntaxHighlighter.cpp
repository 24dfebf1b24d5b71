// How the tokenizer works
//
// A language is an ordered list of token rules (regular expressions with a
// token type, in NBELanguageRegistry.cpp). A whole pass (`tokenize`) runs
// them in order over the whole text; a match is dropped whole when any of its
// units was already claimed by an earlier rule, so the first rule wins every
// overlap. The steps, each in its own file of this folder (namespace
// NBETokenizer), in the order a pass uses them:
//   - CompiledRules (NBECompiledRules.h): the rules compiled once per thread,
//     and which of them can read across a line end (only those matter after
//     an edit: the others start afresh at every line).
//   - Checkpoints (`checkpointsIn`, NBEClaimPass.h): line starts about every
//     2,000 units, preferably after a line that ends cleanly (">", ";", "}" ...).
//   - RuleSearch (NBERuleSearch.h): one rule's search, match by match, which
//     also tells where it stands *clean*: a cut no earlier attempt read past,
//     so a search started there goes on exactly as the whole one.
//   - ClaimPass (NBEClaimPass.h): claims every rule's matches over a stretch
//     and records at each checkpoint a mark per line-crossing rule
//     (NBERuleMark: its next match, or "clean").
//   - StretchRedo (NBEStretchRedo.h, used by `retokenize` below): after an
//     edit, starts from a checkpoint before it, walks forward until every
//     line-crossing rule stands at an old checkpoint exactly as its mark says,
//     and answers only that stretch; the rest keeps the old tokens, moved by
//     the edit. When a mark can't be matched (a rule that looks behind, a lone
//     surrogate) it falls back to a whole pass.
// The guard is differential: NBESyntaxHighlighterTest checks that every
// retokenization, and chains of edits, equal a whole pass of the edited text
// (RetokenizingAnEditEqualsAWholePass, EditsAfterEditsColourAsAWholePass),
// and fuzz/NBEIncrementalHighlightFuzz.cpp does the same on random edits.

#include "NBESyntaxHighlighter.h"

#include "NBEClaimPass.h"
#include "NBECompiledRules.h"
#include "NBEStretchRedo.h"

#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

using namespace NBETokenizer;

namespace {

bool isAscii(QStringView text)
{
    const char16_t *p = text.utf16();
    const char16_t *const end = p + text.size();
    char16_t any = 0;
    for (; p != end; ++p)
        any |= *p;
    return any < 0x80;
}

bool isValidUtf16(QStringView text)
{
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t u = text[i].unicode();
        if (u < 0xD800 || u > 0xDFFF)
            continue;
        if (u >= 0xDC00 || i + 1 >= n || !QChar::isLowSurrogate(text[i + 1].unicode()))
            return false;
        ++i;
    }
    return true;
}

// The matcher refuses text with a lone surrogate; one stand-in character of
// the same length keeps every offset.
QString withoutLoneSurrogates(QStringView text)
{
    QString copy = text.toString();
    const qsizetype n = copy.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t u = copy[i].unicode();
        if (u < 0xD800 || u > 0xDFFF)
            continue;
        if (u < 0xDC00 && i + 1 < n && QChar::isLowSurrogate(copy[i + 1].unicode())) {
            ++i;
            continue;
        }
        copy[i] = QChar::ReplacementCharacter;
    }
    return copy;
}

QList<NBEToken> tokenizeView(QStringView text, const NBELanguage &language, qsizetype base)
{
    QString repaired;
    if (!isValidUtf16(text)) {
        repaired = withoutLoneSurrogates(text);
        text = repaired;
    }
    QList<NBEToken> tokens = claimTokens(text, compiledRules(language, !isAscii(text)), 0,
                                         text.size(), nullptr, nullptr, {})
                                 .tokens;
    for (NBEToken &token : tokens)
        token.location += base;
    return tokens;
}

QTextCharFormat colourFormat(const QColor &colour)
{
    QTextCharFormat format;
    format.setForeground(colour);
    return format;
}

// Runs covering [0, length): token runs in their colour, gaps in `base`.
template <typename Make>
QList<QTextLayout::FormatRange> coveringRuns(qsizetype length, const QList<NBEToken> &tokens,
                                             const NBETheme &theme, Make make)
{
    QList<QTextLayout::FormatRange> runs;
    const QTextCharFormat base = make(theme.editorText);
    QTextCharFormat byType[NBETokenTypes::count];
    for (NBETokenType type : NBETokenTypes::allCases())
        byType[NBETokenTypes::ordinal(type)] = make(theme.colorFor(type));
    qsizetype cursor = 0;
    for (const NBEToken &token : tokens) {
        if (token.location > cursor)
            runs.append({int(cursor), int(token.location - cursor), base});
        runs.append(
            {int(token.location), int(token.length), byType[NBETokenTypes::ordinal(token.type)]});
        cursor = token.end();
    }
    if (cursor < length)
        runs.append({int(cursor), int(length - cursor), base});
    return runs;
}

} // namespace

QList<NBEToken> NBESyntaxHighlighter::tokenize(const QString &text, const NBELanguage &language)
{
    return tokenizeView(text, language, 0);
}

QList<NBEToken> NBESyntaxHighlighter::tokenize(const QString &text, const NBELanguage &language,
                                               NBETokenizerState *state)
{
    if (!state)
        return tokenize(text, language);
    *state = {};
    if (!isValidUtf16(text))
        return tokenize(text, language);
    state->unicode = !isAscii(text);
    const CompiledRules rules = compiledRules(language, state->unicode);
    std::vector<qsizetype> checkpoints = checkpointsIn(text, 0, text.size());
    Pass pass = claimTokens(text, rules, 0, text.size(), nullptr, nullptr, checkpoints);
    if (pass.outcome == PassOutcome::done && rules.followable) {
        state->checkpoints = std::move(checkpoints);
        state->marks = std::move(pass.marks);
        state->ruleCount = rules.crossingCount;
        state->reusable = true;
    } else if (pass.outcome != PassOutcome::done) {
        return tokenize(text, language);
    }
    return pass.tokens;
}

namespace {

// Whether what a tokenization left can be followed through an edit that put
// `added` units at `position`: it came from rules that can be followed, the
// same ones, and the edit split no surrogate pair (the units around it
// decide).
bool canFollow(QStringView text, const CompiledRules &rules, const NBETokenizerState &before,
               qsizetype position, qsizetype added)
{
    const qsizetype n = text.size();
    const qsizetype near = std::clamp<qsizetype>(position - 1, 0, n);
    return before.reusable && rules.followable && rules.crossingCount == before.ruleCount &&
           !before.checkpoints.empty() &&
           before.marks.size() == before.checkpoints.size() * size_t(before.ruleCount) &&
           isValidUtf16(text.sliced(near, std::min(position + added + 1, n) - near));
}

} // namespace

NBERetokenization NBESyntaxHighlighter::retokenize(const QString &text, const NBELanguage &language,
                                                   const NBETokenizerState &before,
                                                   qsizetype position, qsizetype removed,
                                                   qsizetype added)
{
    const bool fits =
        position >= 0 && removed >= 0 && added >= 0 && position + added <= text.size();
    const bool unicode =
        before.unicode || (fits && !isAscii(QStringView(text).sliced(position, added)));
    const CompiledRules rules = compiledRules(language, unicode);
    if (fits && canFollow(text, rules, before, position, added)) {
        const StretchRedo redo(text, rules, before, position, removed, added, unicode);
        if (std::optional<NBERetokenization> redone = redo.run())
            return std::move(*redone);
    }
    NBERetokenization result;
    result.to = text.size();
    result.tokens = tokenize(text, language, &result.state);
    return result;
}

QList<QTextLayout::FormatRange> NBESyntaxHighlighter::attributedLine(
    const QString &line, const std::optional<NBELanguage> &language, const NBETheme &theme)
{
    if (line.isEmpty())
        return {};
    const QList<NBEToken> tokens = language ? tokenize(line, *language) : QList<NBEToken>();
    return coveringRuns(line.size(), tokens, theme, colourFormat);
}
