#pragma once

#include "NBELanguage.h"
#include "NBETheme.h"
#include "NBEToken.h"

#include <QList>
#include <QString>
#include <QTextLayout>

#include <optional>

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

    // One line for list views: runs with a foreground colour only, covering
    // the line. Without a language the whole line is one run of text colour.
    static QList<QTextLayout::FormatRange>
    attributedLine(const QString &line, const std::optional<NBELanguage> &language,
                   const NBETheme &theme);
};
