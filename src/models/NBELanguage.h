#pragma once

#include "NBETokenType.h"

#include <QChar>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// One highlighting rule: a regular expression (compiled with "^" and "$"
// matching at line ends) and the token type its matches get.
struct NBETokenRule
{
    QString pattern;
    NBETokenType tokenType = NBETokenType::plain;

    bool operator==(const NBETokenRule &) const = default;
};

// Line patterns for indenting: a line matching `increasePattern` indents the
// next one a level deeper; a line matching `decreasePattern` moves out a level.
struct NBEIndentationRules
{
    std::optional<QString> increasePattern;
    std::optional<QString> decreasePattern;

    bool operator==(const NBEIndentationRules &) const = default;
};

struct NBEBracketPair
{
    QChar open;
    QChar close;

    bool operator==(const NBEBracketPair &) const = default;
};

// What kind of text a buffer holds: its key, how its files are recognised and
// how it is coloured. Records come from NBELanguageRegistry and never change.
struct NBELanguage
{
    QString id;
    QString name;
    // Without the dot, lower case.
    QStringList fileExtensions;
    // Whole file names, compared case-sensitively.
    QStringList fileNames;
    // Priority order: an earlier rule wins every overlap.
    QList<NBETokenRule> tokenRules;
    NBEIndentationRules indentationRules;
    QList<NBEBracketPair> bracketPairs;
    std::optional<QString> lineCommentPrefix;
    std::optional<QString> blockCommentStart;
    std::optional<QString> blockCommentEnd;

    bool operator==(const NBELanguage &) const = default;
};
